// A port panel's logic on two twin panels over the scripted backend: states and labels,
// settings shared between the twins, reopening, DTR and RTS, modem labels and errors.
#include "comm.h"
#include "faketerminalport.h"
#include "portcontrol.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <memory>

using namespace duoterm;
namespace pc = platform::terminalport;
using testsupport::FakeTerminalPort;

namespace {

template <typename F>
std::string ErrorOf(F&& action)
{
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

class Twins : public ::testing::Test {
protected:
    Twins()
    {
        for (TComm* comm : {&comm1, &comm2}) {
            comm->SetPortFactory([this](const QString& name) -> std::unique_ptr<pc::TerminalPort> {
                ++opens[name];
                if (missing.count(name)) {
                    pc::Fail(2);
                    return nullptr;
                }
                auto port = std::make_unique<FakeTerminalPort>();
                port->modemStatus = modemStatus;
                port->refusedBaudRate = refusedBaudRate;
                fakes[name] = port.get();
                return port;
            });
        }
        port1.SetTwin(&port2);
        port2.SetTwin(&port1);
    }
    ~Twins() override
    {
        comm1.Close();
        comm2.Close();
    }

    std::map<QString, int> opens;
    std::map<QString, FakeTerminalPort*> fakes;
    std::set<QString> missing;
    uint32_t modemStatus = 0;
    uint32_t refusedBaudRate = 0;
    TComm comm1, comm2;
    TPortControl port1{1, comm1}, port2{2, comm2};
};

TEST_F(Twins, StartClosedWithTheDesignedSettingsAndOpenAndCloseShowTheirStates)
{
    for (TPortControl* port : {&port1, &port2}) {
        const PortPanelState& s = port->State();
        EXPECT_EQ(s.status, (LabelState{kStatusClosed, LabelColour::Red}));
        EXPECT_TRUE(s.openEnabled && !s.closeEnabled && s.sendHexEnabled);
        EXPECT_EQ(s.selected, (std::array<int, 4>{5, 4, 2, 2}));  // "4800", "8", "None", "2"
        EXPECT_EQ(s.cts, (LabelState{"CTS: NO", LabelColour::Red}));
    }
    EXPECT_EQ(comm1.DeviceName(), "Com1");
    EXPECT_EQ(comm2.DeviceName(), "Com2");
    EXPECT_EQ(comm1.MonitorEvents().ToBits(), 0x176u);  // no break, error or flag events
    EXPECT_EQ(comm2.MonitorEvents(), TCommEventType::All());
    EXPECT_EQ(comm1.WriteBufSize(), 4096);
    EXPECT_EQ(comm1.CharsTimeOut(), 0);

    modemStatus = pc::ms::CtsOn | pc::ms::RlsdOn;
    port1.OpenPortClick();
    port2.OpenPortClick();
    EXPECT_TRUE(comm1.IsOpen());
    EXPECT_EQ(port1.State().status, (LabelState{kStatusOpen, LabelColour::Green}));
    EXPECT_EQ(port2.State().status, (LabelState{kStatusOpenBang, LabelColour::Green}));
    EXPECT_EQ(port1.State().cts, (LabelState{"CTS: YES", LabelColour::Green}));
    EXPECT_EQ(port1.State().dcd, (LabelState{"DCD: YES", LabelColour::Green}));
    EXPECT_EQ(port1.State().dsr, (LabelState{"DSR: NO", LabelColour::Red}));
    EXPECT_EQ(port1.State().ri, (LabelState{"RI: NO", LabelColour::Red}));
    EXPECT_TRUE(!port1.State().openEnabled && port1.State().closeEnabled);
    // The boxes' states went onto the lines at open.
    EXPECT_EQ(fakes["Com1"]->escapes, (std::vector<uint32_t>{pc::esc::ClrDtr, pc::esc::ClrRts}));

    port1.ClosePortClick();
    EXPECT_FALSE(comm1.IsOpen());
    EXPECT_EQ(port1.State().status, (LabelState{kStatusClosed, LabelColour::Red}));
    EXPECT_TRUE(port1.State().openEnabled && !port1.State().closeEnabled);
    EXPECT_FALSE(port1.State().sendHexEnabled);
    EXPECT_EQ(port1.State().cts.text, "CTS: YES");  // the labels keep their last state
    port1.OpenPortClick();
    EXPECT_TRUE(port1.State().sendHexEnabled);
}

TEST_F(Twins, AFailedOpenLeavesTheNotConnectedStatus)
{
    missing.insert("Com1");
    EXPECT_EQ(ErrorOf([&] { port1.OpenPortClick(); }), "Error accessing specified device (Error: 2) ");
    EXPECT_EQ(port1.State().status, (LabelState{kStatusNotConnected, LabelColour::Red}));
    EXPECT_TRUE(port1.State().openEnabled && !port1.State().closeEnabled);
}

TEST_F(Twins, ARefusedRateGivesTheComponentsErrorAndEachPortKeepsTheRateInEffect)
{
    refusedBaudRate = 250000;
    port1.odinnastrClick(false);
    port1.OpenPortClick();
    port2.OpenPortClick();
    EXPECT_EQ(ErrorOf([&] { port1.SpeedTyped("250000"); }), "Error updating DataControlBlock (Error: 87) ");
    EXPECT_EQ(comm1.BaudRateBps(), 4800u);
    EXPECT_EQ(port1.State().speed, 4800u);
    EXPECT_EQ(port1.State().selected[0], 5);
    EXPECT_TRUE(comm1.IsOpen());
    EXPECT_EQ(port1.State().status, (LabelState{kStatusOpen, LabelColour::Green}));
    EXPECT_FALSE(port1.State().openEnabled);

    // Shared, and only port 2 refuses: the box names it, and each port shows what it has.
    refusedBaudRate = 0;
    fakes["Com2"]->refusedBaudRate = 250000;
    port1.odinnastrClick(true);
    EXPECT_EQ(ErrorOf([&] { port1.SpeedTyped("250000"); }),
              "Правый порт (Com2) не принял настройку: Error updating DataControlBlock (Error: 87)");
    EXPECT_EQ(comm1.BaudRateBps(), 250000u);
    EXPECT_EQ(port1.State().speed, 250000u);
    EXPECT_EQ(port1.State().selected[0], -1);  // no item shows it
    EXPECT_EQ(comm2.BaudRateBps(), 4800u);
    EXPECT_EQ(port2.State().speed, 4800u);
    EXPECT_EQ(fakes["Com2"]->states.back().baudRate, 4800u);  // the driver has the rate in effect again
    EXPECT_TRUE(comm1.IsOpen() && comm2.IsOpen());
}

TEST_F(Twins, SharedSettingsReachTheOpenTwinsDriverWithoutAReopen)
{
    port1.OpenPortClick();
    port2.OpenPortClick();
    const std::map<QString, int> opened = opens;
    for (int item = 0; item < 13; ++item) {
        port1.SpeedChange(item);
        EXPECT_EQ(port2.State().selected[0], item);
        EXPECT_EQ(fakes["Com2"]->states.back().baudRate, TCustomComm::BaudRateValue(comm1.BaudRate()));
        port2.SpeedChange(12 - item);
        EXPECT_EQ(port1.State().selected[0], 12 - item);
        EXPECT_EQ(comm1.BaudRate(), static_cast<TBaudRate>(12 - item));
    }
    // Each change reopened the changed port only.
    EXPECT_EQ(opens["Com1"], opened.at("Com1") + 13);
    EXPECT_EQ(opens["Com2"], opened.at("Com2") + 13);
    EXPECT_TRUE(comm1.IsOpen() && comm2.IsOpen());
    EXPECT_EQ(port1.State().status.text, kStatusOpen);

    port1.chetnostChange(3);
    EXPECT_EQ(comm2.Parity(), paOdd);
    EXPECT_EQ(port2.State().selected[2], 3);
    port1.BITChange(2);
    port1.StopBitChange(1);
    EXPECT_EQ(comm2.Databits(), da6);
    EXPECT_EQ(comm2.Stopbits(), sb15);
    // No item chosen: the setting is kept (and copied as it is).
    port1.SpeedChange(-1);
    EXPECT_EQ(comm1.BaudRate(), cbr110);
    EXPECT_EQ(comm2.BaudRate(), cbr110);
}

TEST_F(Twins, TheSameSettingsTicksMirrorEachOther)
{
    port1.odinnastrClick(false);
    EXPECT_FALSE(port2.State().sameSettings);
    port1.SpeedChange(6);
    EXPECT_EQ(comm2.BaudRate(), cbr4800);  // no longer shared
    port2.chetnostChange(0);
    EXPECT_EQ(comm1.Parity(), paNone);

    // Ticking the right box copies the right port's four settings to the left one.
    port2.odinnastrClick(true);
    EXPECT_TRUE(port1.State().sameSettings);
    EXPECT_EQ(comm1.BaudRate(), cbr4800);
    EXPECT_EQ(comm1.Parity(), paEven);
    EXPECT_EQ(port1.State().selected, port2.State().selected);
    port2.odinnastrClick(false);
    EXPECT_FALSE(port1.State().sameSettings);
}

TEST_F(Twins, SettingsAndPortChoiceOnAClosedPortOnlyStore)
{
    port1.SpeedChange(6);
    port1.COMChange("COM7");
    EXPECT_FALSE(comm1.IsOpen());
    EXPECT_EQ(comm1.BaudRate(), cbr9600);
    EXPECT_EQ(comm1.DeviceName(), "COM7");
    EXPECT_TRUE(opens.empty());
}

TEST_F(Twins, APortNameReopensOnlyWhenItNamesAnotherPort)
{
    port1.COMChange("COM3");
    port1.OpenPortClick();
    struct Case {
        const char* text;
        const char* device;  // the device afterwards
        bool reopened;
    } cases[] = {
        {"COM3", "COM3", false}, {"com3", "COM3", false}, {"", "COM3", false}, {" COM3 ", "COM3", false},
        {"COM2", "COM2", true},  {"COM26", "COM26", true}, {"com5", "com5", true}, {"/dev/ttyX", "/dev/ttyX", true},
    };
    for (const Case& c : cases) {
        int before = 0;
        for (const auto& [name, count] : opens)
            before += count;
        port1.COMChange(c.text);
        int after = 0;
        for (const auto& [name, count] : opens)
            after += count;
        EXPECT_TRUE(comm1.IsOpen()) << c.text;
        EXPECT_EQ(comm1.DeviceName(), c.device) << c.text;
        EXPECT_EQ(port1.State().status, (LabelState{kStatusOpen, LabelColour::Green}));
        EXPECT_EQ(after, before + (c.reopened ? 1 : 0)) << c.text;
    }

    // A reopen that fails leaves the port shown closed.
    missing.insert("COM9");
    EXPECT_EQ(ErrorOf([&] { port1.COMChange("COM9"); }), "Error accessing specified device (Error: 2) ");
    EXPECT_EQ(port1.State().status, (LabelState{kStatusClosed, LabelColour::Red}));
    EXPECT_TRUE(port1.State().openEnabled);
}

TEST_F(Twins, DtrAndRtsFollowTheirBoxesAndAClosedPortRefuses)
{
    EXPECT_EQ(ErrorOf([&] { port1.DTRchekClick(true); }), "Port not open, unable to complete operation (Error: -1) ");
    EXPECT_TRUE(port1.State().dtr);  // the box keeps its new tick
    EXPECT_EQ(ErrorOf([&] { port1.RTSchekClick(true); }), "Port not open, unable to complete operation (Error: -1) ");
    port1.OpenPortClick();
    EXPECT_EQ(fakes["Com1"]->escapes, (std::vector<uint32_t>{pc::esc::SetDtr, pc::esc::SetRts}));
    port1.RTSchekClick(false);
    EXPECT_EQ(fakes["Com1"]->escapes.back(), pc::esc::ClrRts);
}

TEST_F(Twins, ModemLabelsFollowTheLines)
{
    port1.OpenPortClick();
    FakeTerminalPort& fake = *fakes["Com1"];
    struct Line {
        uint32_t bit;
        void (TPortControl::*refresh)();
        LabelState PortPanelState::*label;
        const char* on;
    };
    const Line lines[] = {{pc::ms::CtsOn, &TPortControl::CommCTS, &PortPanelState::cts, "CTS: YES"},
                          {pc::ms::DsrOn, &TPortControl::CommDSR, &PortPanelState::dsr, "DSR: YES"},
                          {pc::ms::RingOn, &TPortControl::CommRing, &PortPanelState::ri, "RI: YES"},
                          {pc::ms::RlsdOn, &TPortControl::CommRLSD, &PortPanelState::dcd, "DCD: YES"}};
    for (const Line& line : lines) {
        fake.modemStatus = line.bit;
        (port1.*line.refresh)();
        EXPECT_EQ(port1.State().*line.label, (LabelState{line.on, LabelColour::Green}));
        fake.modemStatus = 0;
        (port1.*line.refresh)();
        EXPECT_EQ((port1.State().*line.label).colour, LabelColour::Red);
    }
}

TEST_F(Twins, ALostDeviceIsShownClosedAndReported)
{
    port1.OpenPortClick();
    EXPECT_EQ(ErrorOf([&] { port1.DeviceLost(); }), kDeviceLostMessage.arg("Com1").toStdString());
    EXPECT_FALSE(comm1.IsOpen());
    EXPECT_EQ(port1.State().status, (LabelState{kStatusClosed, LabelColour::Red}));
    EXPECT_TRUE(port1.State().openEnabled);
    port1.OpenPortClick();
    EXPECT_TRUE(comm1.IsOpen());
}

}  // namespace
