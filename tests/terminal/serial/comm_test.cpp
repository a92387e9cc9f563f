// The port component against the scripted backend: properties, settings, errors and event
// delivery, including what a pseudo-terminal cannot show (modem lines, escape failures).
#include "fakecomm.h"

#include <gtest/gtest.h>

#include <cerrno>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

namespace tp = platform::terminalport;
using testsupport::DrainPostedEvents;
using testsupport::Eventually;
using testsupport::FakeComm;
using testsupport::FakeTerminalPort;

namespace {

template <typename F>
std::string ErrorOf(F&& action, int32_t* code = nullptr)
{
    try {
        action();
    } catch (const ECommError& e) {
        if (code)
            *code = e.ErrorCode();
        return e.what();
    }
    return "(no error)";
}

class CommFixture : public ::testing::Test {
protected:
    FakeComm port;
};

TEST_F(CommFixture, StartsClosedWithTheConstructorValues)
{
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.DeviceName(), "Com2");
    EXPECT_EQ(port.MonitorEvents(), TCommEventType::All());
    EXPECT_EQ(port.MonitorEvents().ToBits(), 0x1FF);
    EXPECT_EQ(port.BaudRate(), cbr9600);
    EXPECT_EQ(port.Parity(), paNone);
    EXPECT_EQ(port.Stopbits(), sb10);
    EXPECT_EQ(port.Databits(), da8);
    EXPECT_EQ(port.ReadBufSize(), 4096);
    EXPECT_EQ(port.WriteBufSize(), 2048);
    EXPECT_EQ(port.CharsTimeOut(), 250);
    EXPECT_TRUE(port.Options().Empty());
    EXPECT_EQ(port.FlowControl(), fcDefault);
    EXPECT_EQ(port.EventChars()->XonChar(), 17);
    EXPECT_EQ(port.EventChars()->XoffChar(), 19);
    EXPECT_EQ(port.property("BaudRate").toInt(), cbr9600);
    EXPECT_EQ(port.property("DeviceName").toString(), "Com2");
}

TEST_F(CommFixture, PropertiesWithADefaultResetToIt)
{
    const std::pair<const char*, int> defaults[] = {
        {"BaudRate", cbr9600},   {"Parity", paNone},        {"Stopbits", sb10},
        {"Databits", da8},       {"ReadBufSize", 4096},     {"WriteBufSize", 2048},
        {"CharsTimeOut", 250},   {"FlowControl", fcDefault},
    };
    const QMetaObject* meta = port.metaObject();
    for (const auto& [name, value] : defaults) {
        const QMetaProperty property = meta->property(meta->indexOfProperty(name));
        ASSERT_TRUE(property.isResettable()) << name;
        ASSERT_TRUE(property.write(&port, value == 0 ? 1 : 0)) << name;
        EXPECT_NE(property.read(&port).toInt(), value) << name;
        property.reset(&port);
        EXPECT_EQ(property.read(&port).toInt(), value) << name;
    }
    for (const char* name : {"DeviceName", "MonitorEvents", "Options"})
        EXPECT_FALSE(meta->property(meta->indexOfProperty(name)).isResettable()) << name;
}

TEST_F(CommFixture, OpenAppliesEverythingInOrder)
{
    port.prepare = [](FakeTerminalPort& f) { f.driverDcb.flags = tp::fBinary | tp::fAbortOnError; };
    port.Open();
    ASSERT_TRUE(port.IsOpen());
    EXPECT_EQ(port.fake->calls,
              (std::vector<std::string>{"IsCharDevice", "GetState", "SetState", "Setup",
                                        "SetTimeouts"}));
    EXPECT_EQ(port.fake->eventMask, 0x1FFu);
    const tp::Dcb& dcb = port.fake->states.at(0);
    EXPECT_EQ(dcb.baudRate, 9600u);
    EXPECT_EQ(dcb.byteSize, 8);
    EXPECT_EQ(dcb.parity, 0);
    EXPECT_EQ(dcb.stopBits, 0);
    EXPECT_EQ(dcb.xonLim, 1024);
    EXPECT_EQ(dcb.xoffLim, 1024);
    EXPECT_EQ(dcb.xonChar, 17);
    EXPECT_EQ(dcb.xoffChar, 19);
    EXPECT_EQ(dcb.flags, tp::fBinary | tp::fAbortOnError);  // fcDefault keeps the driver's bits
    const tp::Timeouts& t = port.fake->timeouts.at(0);
    EXPECT_EQ(t.readIntervalTimeout, 250u);
    EXPECT_EQ(t.writeTotalTimeoutConstant, 1500u);
    EXPECT_EQ(t.readTotalTimeoutConstant + t.readTotalTimeoutMultiplier +
                  t.writeTotalTimeoutMultiplier, 0u);
}

TEST_F(CommFixture, EnumerationsReachTheDriverAsTheirValues)
{
    port.Open();
    const std::pair<TBaudRate, uint32_t> rates[] = {{cbr110, 110},     {cbr14400, 14400},
                                                    {cbr56000, 56000}, {cbr128000, 128000},
                                                    {cbr256000, 256000}};
    for (const auto& [rate, value] : rates) {
        port.SetBaudRate(rate);
        EXPECT_EQ(port.fake->states.back().baudRate, value);
    }
    // Any other rate in bits per second; a member's value sets that member.
    port.SetBaudRateBps(250000);
    EXPECT_EQ(port.fake->states.back().baudRate, 250000u);
    EXPECT_EQ(port.BaudRateBps(), 250000u);
    port.SetBaudRate(cbr256000);  // the member last set, chosen again
    EXPECT_EQ(port.fake->states.back().baudRate, 256000u);
    port.SetBaudRateBps(9600);
    EXPECT_EQ(port.BaudRate(), cbr9600);
    EXPECT_EQ(port.fake->states.back().baudRate, 9600u);
    port.SetParity(paSpace);
    EXPECT_EQ(port.fake->states.back().parity, 4);
    port.SetStopbits(sb15);
    EXPECT_EQ(port.fake->states.back().stopBits, 1);
    port.SetDatabits(da5);
    EXPECT_EQ(port.fake->states.back().byteSize, 5);
    port.EventChars()->SetXonChar('Q');
    EXPECT_EQ(port.fake->states.back().xonChar, 'Q');
}

TEST_F(CommFixture, FlowControlAndOptionsSetTheirFlagBits)
{
    const uint32_t driverFlags = tp::fBinary | tp::fOutxCtsFlow | tp::fOutX |
                                 (2u << tp::kRtsControlShift) | tp::fNull;
    port.prepare = [&](FakeTerminalPort& f) { f.driverDcb.flags = driverFlags; };
    port.Open();
    const uint32_t base = tp::fBinary | (3u << tp::kRtsControlShift) | (1u << tp::kDtrControlShift);
    const std::pair<TFlowControl, uint32_t> cases[] = {
        {fcNone, base},
        {fcCTS, base | tp::fOutxCtsFlow},
        {fcDTR, base | tp::fOutxDsrFlow},
        {fcSoftware, base | tp::fOutX | tp::fInX},
        {fcDefault, driverFlags & ~tp::fNull},  // options are always written
    };
    for (const auto& [flow, flags] : cases) {
        port.SetFlowControl(flow);
        EXPECT_EQ(port.fake->states.back().flags, flags) << int(flow);
    }
    port.SetOptions({coParityCheck, coDsrSensitivity, coIgnoreXOff, coErrorChar, coNullStrip});
    EXPECT_EQ(port.fake->states.back().flags & 0x0CC2u, 0x0CC2u);
    port.SetOptions({coIgnoreXOff});
    EXPECT_EQ(port.fake->states.back().flags & 0x0CC2u, tp::fTXContinueOnXoff);
}

TEST_F(CommFixture, EqualValuesMakeNoDriverCallAndClosedPortsOnlyStore)
{
    port.SetBaudRate(cbr115200);  // closed: stored only
    port.SetParity(paOdd);
    port.Open();
    EXPECT_EQ(port.fake->states.back().baudRate, 115200u);
    EXPECT_EQ(port.fake->states.back().parity, 1);
    const size_t before = port.fake->states.size();
    port.SetBaudRate(cbr115200);
    port.SetParity(paOdd);
    port.SetStopbits(sb10);
    port.SetDatabits(da8);
    port.SetOptions({});
    port.SetFlowControl(fcDefault);
    port.EventChars()->SetXonChar(17);
    port.EventChars()->SetXoffChar(19);
    EXPECT_EQ(port.fake->states.size(), before);
    port.SetStopbits(sb20);
    EXPECT_EQ(port.fake->states.size(), before + 1);
}

TEST_F(CommFixture, OpenOnlySettingsAreRefusedWhileOpen)
{
    port.Open();
    const std::vector<std::function<void()>> setters = {
        [&] { port.SetDeviceName("COM7"); },
        [&] { port.SetMonitorEvents({evRxChar}); },
        [&] { port.SetReadBufSize(100); },
        [&] { port.SetWriteBufSize(100); },
    };
    for (const auto& set : setters) {
        int32_t code = 0;
        EXPECT_EQ(ErrorOf(set, &code), "Device already assigned (open) (Error: -1) ");
        EXPECT_EQ(code, -1);
    }
    EXPECT_EQ(port.DeviceName(), "Com2");
    EXPECT_EQ(port.MonitorEvents(), TCommEventType::All());
    EXPECT_EQ(port.ReadBufSize(), 4096);
    EXPECT_EQ(port.WriteBufSize(), 2048);
    port.Close();
    port.SetDeviceName("COM7");
    EXPECT_EQ(port.DeviceName(), "COM7");
}

TEST_F(CommFixture, ConfigurationFailuresCarryTheSystemCode)
{
    struct Case {
        const char* message;
        std::function<void(FakeTerminalPort&)> prepare;
        std::function<void()> act;
    };
    const Case cases[] = {
        {"Error updating DataControlBlock (Error: 87) ",
         [](FakeTerminalPort& f) { f.failSetState = 87; }, [&] { port.Open(); }},
        {"Error initializing Read/Write Buffers (Error: 5) ",
         [](FakeTerminalPort& f) { f.failSetup = 5; }, [&] { port.Open(); }},
        {"Error updating CommTimeouts (Error: 6) ",
         [](FakeTerminalPort& f) { f.failTimeouts = 6; }, [&] { port.Open(); }},
        {"Invalid device handle, access denied (Error: -1) ",
         [](FakeTerminalPort& f) { f.charDevice = false; }, [&] { port.Open(); }},
    };
    for (const auto& c : cases) {
        port.Close();
        port.prepare = c.prepare;
        EXPECT_EQ(ErrorOf(c.act), c.message);
    }
    // Only the last left the port closed; the others stay open until closed.
    EXPECT_FALSE(port.IsOpen());
    port.prepare = [](FakeTerminalPort& f) { f.failSetState = 31; };
    EXPECT_EQ(ErrorOf([&] { port.Open(); }).substr(0, 31), "Error updating DataControlBlock");
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(ErrorOf([&] { port.SetBaudRate(cbr300); }),
              "Error updating DataControlBlock (Error: 31) ");
    EXPECT_EQ(port.BaudRate(), cbr300);  // the new value stays stored
    port.fake->failTimeouts = 1460;
    EXPECT_EQ(ErrorOf([&] { port.SetCharsTimeOut(0); }), "Error updating CommTimeouts (Error: 1460) ");
    EXPECT_EQ(port.CharsTimeOut(), 0);
    EXPECT_EQ(port.fake->timeouts.back().readIntervalTimeout, tp::kMaxDword);
}

TEST_F(CommFixture, EscapeFunctionsAndModemLines)
{
    int32_t code = 0;
    EXPECT_EQ(ErrorOf([&] { port.SetDTR(true); }, &code),
              "Port not open, unable to complete operation (Error: -1) ");
    EXPECT_EQ(code, -1);
    EXPECT_FALSE(port.ModemLineState(1));

    port.Open();
    port.SetDTR(true);
    port.SetDTR(false);
    port.SetRTS(true);
    port.SetRTS(false);
    EXPECT_EQ(port.fake->escapes, (std::vector<uint32_t>{5, 6, 3, 4}));
    port.fake->failEscape = 50;
    EXPECT_EQ(ErrorOf([&] { port.EscapeFunction(9); }), "EscapeCommFunction failure (Error: 50) ");
    // A device without modem lines: DTR and RTS do nothing and raise nothing; other failures
    // of them are reported.
    uint32_t noLines = 1;  // the system's own code for a device without modem lines
    while (!platform::terminalport::IsNoModemLinesError(noLines))
        ++noLines;
    port.fake->failEscape = noLines;
    port.SetDTR(true);
    port.SetRTS(false);
    port.fake->failEscape = EIO;
    EXPECT_EQ(ErrorOf([&] { port.SetRTS(true); }), "EscapeCommFunction failure (Error: 5) ");

    port.fake->modemStatus = 0x10 | 0x80;  // CTS and RLSD on
    const bool expected[] = {false, true, false, false, true, false};
    for (int line = 0; line <= 5; ++line)
        EXPECT_EQ(port.ModemLineState(line), expected[line]) << line;
    port.fake->modemFails = true;
    EXPECT_FALSE(port.ModemLineState(1));
}

TEST_F(CommFixture, LineErrorCountsFollowTheBackend)
{
    EXPECT_EQ(port.LineErrorCounts(), std::nullopt);  // closed
    port.prepare = [](FakeTerminalPort& fake) { fake.lineCounts = tp::LineCounters{}; };
    port.Open();
    EXPECT_EQ(port.LineErrorCounts(), (TLineErrorCounts{0, 0, 0, 0}));
    port.fake->lineCounts = tp::LineCounters{1, 2, 3, 4};
    EXPECT_EQ(port.LineErrorCounts(), (TLineErrorCounts{1, 2, 3, 4}));
    port.fake->lineCounts.reset();
    EXPECT_EQ(port.LineErrorCounts(), std::nullopt);  // the device keeps none
    port.fake->lineCounts = tp::LineCounters{5, 0, 0, 0};
    port.Close();
    EXPECT_EQ(port.LineErrorCounts(), std::nullopt);
    // A new open starts from the new device's counts.
    port.Open();
    EXPECT_EQ(port.LineErrorCounts(), (TLineErrorCounts{0, 0, 0, 0}));
}

TEST_F(CommFixture, ReadWriteAndPurgeOnAClosedPort)
{
    char buffer[4] = {};
    EXPECT_EQ(port.Write("abc", 3), -1);
    EXPECT_EQ(port.Read(buffer, 4), -1);
    port.PurgeInput();
    port.Close();
    EXPECT_EQ(port.opens, 0);  // none of them reached for a device

    // A second Close releases nothing more.
    port.Open();
    const int destroyed = FakeTerminalPort::destroyed;
    port.Close();
    port.Close();
    EXPECT_EQ(FakeTerminalPort::destroyed, destroyed + 1);
}

// ---- event delivery ----------------------------------------------------------------------

class EventFixture : public CommFixture {
protected:
    // The log dies before the base's port; a close may still run a pending hand-over.
    void TearDown() override { port.Close(); }
    void Record(const std::string& what) { log.push_back(what); }
    void Bind()
    {
        port.OnBreak = [this](QObject*) { Record("Break"); };
        port.OnCTS = [this](QObject*) { Record("CTS"); };
        port.OnDSR = [this](QObject*) { Record("DSR"); };
        port.OnError = [this](QObject*, int e) { Record("Error " + std::to_string(e)); };
        port.OnRing = [this](QObject*) { Record("Ring"); };
        port.OnRLSD = [this](QObject*) { Record("RLSD"); };
        port.OnRxChar = [this](QObject* s, int n) {
            EXPECT_EQ(s, &port);
            Record("RxChar " + std::to_string(n));
        };
        port.OnRxFlag = [this](QObject*) { Record("RxFlag"); };
        port.OnTxEmpty = [this](QObject*) { Record("TxEmpty"); };
    }
    std::vector<std::string> log;
};

TEST_F(EventFixture, OneWaitDispatchesInTheFixedOrder)
{
    Bind();
    port.prepare = [](FakeTerminalPort& f) {
        f.inQueue = 7;
        f.lineErrors = 0x0008;
    };
    port.Open();
    port.fake->Push(tp::WaitResult::Event, 0x1FF);
    ASSERT_TRUE(Eventually([&] { return log.size() == 9; }));
    EXPECT_EQ(log, (std::vector<std::string>{"Break", "CTS", "DSR", "Error 8", "Ring", "RLSD",
                                             "RxChar 7", "RxFlag", "TxEmpty"}));
    log.clear();
    port.fake->inQueue = 3;
    port.fake->Push(tp::WaitResult::Event, tp::ev::RxChar | tp::ev::Cts);
    ASSERT_TRUE(Eventually([&] { return log.size() == 2; }));
    EXPECT_EQ(log, (std::vector<std::string>{"CTS", "RxChar 3"}));
}

TEST_F(EventFixture, FailedWaitsAreSkippedAndUnassignedHandlersIgnored)
{
    port.OnRxChar = [this](QObject*, int n) { Record("RxChar " + std::to_string(n)); };
    port.Open();
    port.fake->Push(tp::WaitResult::Failed, tp::ev::RxChar);
    port.fake->Push(tp::WaitResult::Event, tp::ev::Break | tp::ev::Err | tp::ev::RxFlag | 0x8000);
    port.fake->Push(tp::WaitResult::Event, tp::ev::RxChar);
    ASSERT_TRUE(Eventually([&] { return port.fake->Waits() == 4 && port.fake->Idle(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(log, (std::vector<std::string>{"RxChar 0"}));
}

TEST_F(EventFixture, MonitorEventsDecideTheDriversMask)
{
    port.SetMonitorEvents({evRxChar, evCTS});
    port.Open();
    EXPECT_EQ(port.fake->eventMask, tp::ev::RxChar | tp::ev::Cts);
}

TEST_F(EventFixture, CloseFinishesAPendingHandOverAndNothingRunsAfterIt)
{
    Bind();
    port.Open();
    FakeTerminalPort* fake = port.fake;
    fake->Push(tp::WaitResult::Event, tp::ev::TxEmpty);
    // The thread has taken the event and hands it over (or is about to); the event loop has
    // not run, so the handler has not either.
    ASSERT_TRUE(fake->WaitUntilTaken());
    EXPECT_TRUE(log.empty());
    port.Close();
    EXPECT_EQ(log, (std::vector<std::string>{"TxEmpty"}));
    ASSERT_TRUE(DrainPostedEvents());
    EXPECT_EQ(log.size(), 1u);
}

TEST_F(EventFixture, AHandlerRunByCloseMayCloseOrReopenThePortItself)
{
    // An error handler that closes (or reopens) its port, run by a Close that finishes the
    // pending hand-over: the outer Close must still end with the port closed.
    for (const bool reopen : {false, true}) {
        int calls = 0;
        port.OnError = [&](QObject*, int) {
            ++calls;
            if (reopen)
                port.Open();
            else
                port.Close();
        };
        port.Open();
        FakeTerminalPort* fake = port.fake;
        fake->Push(tp::WaitResult::Event, tp::ev::Err);
        ASSERT_TRUE(fake->WaitUntilTaken()) << reopen;
        port.Close();
        EXPECT_EQ(calls, 1) << reopen;
        EXPECT_FALSE(port.IsOpen()) << reopen;
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(calls, 1) << reopen;
    }
}

TEST_F(EventFixture, ACloseFromALoopNestedInAHandlerKeepsTheDeliveryIntact)
{
    // A handler that runs a nested event loop (a message box does) in which the port is
    // closed: the retired thread must outlive the delivery still on the stack.
    port.OnCTS = [this](QObject*) {
        Record("CTS");
        QEventLoop loop;
        QTimer::singleShot(0, &loop, [this] { port.Close(); });
        QTimer::singleShot(30, &loop, &QEventLoop::quit);
        loop.exec();
        Record(port.IsOpen() ? "open" : "closed");
    };
    port.OnRxChar = [this](QObject*, int) { Record("RxChar"); };
    port.Open();
    port.fake->Push(tp::WaitResult::Event, tp::ev::Cts | tp::ev::RxChar);
    ASSERT_TRUE(Eventually([&] { return log.size() == 2; }));
    ASSERT_TRUE(DrainPostedEvents());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(log, (std::vector<std::string>{"CTS", "closed"}));
    port.Open();  // and the port opens again as usual
    port.fake->Push(tp::WaitResult::Event, tp::ev::RxChar);
    ASSERT_TRUE(Eventually([&] { return log.size() == 3; }));
}

TEST_F(EventFixture, AHandOverThatStartsWhileCloseWaitsIsServedByClose)
{
    Bind();
    port.Open();
    ASSERT_TRUE(Eventually([&] { return port.fake->Idle(); }));
    port.fake->eventOnStop = tp::ev::TxEmpty;
    port.Close();  // would hang if the late hand-over were left to the event loop
    EXPECT_EQ(log, (std::vector<std::string>{"TxEmpty"}));
    QCoreApplication::processEvents();
    EXPECT_EQ(log.size(), 1u);
}

TEST_F(EventFixture, OpenOnAnOpenPortReplacesTheThread)
{
    Bind();
    port.Open();
    const int destroyed = FakeTerminalPort::destroyed;
    port.Open();
    EXPECT_EQ(FakeTerminalPort::destroyed, destroyed + 1);
    port.fake->Push(tp::WaitResult::Event, tp::ev::RxChar);
    ASSERT_TRUE(Eventually([&] { return log.size() == 1; }));
    EXPECT_EQ(log[0], "RxChar 0");
}

TEST_F(EventFixture, ALostDeviceReportsOneErrorAndStopsWaiting)
{
    Bind();
    port.Open();
    port.fake->Push(tp::WaitResult::Gone);
    ASSERT_TRUE(Eventually([&] { return log.size() == 1; }));
    EXPECT_EQ(log[0], "Error " + std::to_string(tp::ce::Ioe));
    // The thread has ended (its last call is the purge) without waiting again.
    ASSERT_TRUE(Eventually([&] { return port.fake->Purges() == 1; }));
    EXPECT_EQ(port.fake->Waits(), 1);
    EXPECT_TRUE(port.IsOpen());
    port.Close();
    port.Open();
    port.fake->Push(tp::WaitResult::Event, tp::ev::Cts);
    ASSERT_TRUE(Eventually([&] { return log.size() == 2; }));
    EXPECT_EQ(log[1], "CTS");
}

TEST_F(EventFixture, AThrowingHandlerIsReportedAndDeliveryGoesOn)
{
    std::vector<std::string> reported;
    TCommEventThread::SetExceptionSink([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            reported.push_back(x.what());
        }
    });
    port.OnCTS = [](QObject*) { throw std::runtime_error("handler broke"); };
    port.OnRxChar = [this](QObject*, int) { Record("RxChar"); };
    port.Open();
    port.fake->Push(tp::WaitResult::Event, tp::ev::Cts | tp::ev::RxChar);
    port.fake->Push(tp::WaitResult::Event, tp::ev::RxChar);
    ASSERT_TRUE(Eventually([&] { return log.size() == 1; }));
    EXPECT_EQ(reported, (std::vector<std::string>{"handler broke"}));

    // Without a sink the error goes to the log; it still never reaches the event loop.
    TCommEventThread::SetExceptionSink(nullptr);
    port.OnRxChar = [this](QObject*, int) {
        Record("RxChar");
        throw 42;
    };
    port.fake->Push(tp::WaitResult::Event, tp::ev::RxChar);
    port.fake->Push(tp::WaitResult::Event, tp::ev::RxChar);
    ASSERT_TRUE(Eventually([&] { return log.size() == 3; }));
}

TEST_F(EventFixture, AHandlerMayCloseOrReopenItsOwnPort)
{
    port.OnCTS = [this](QObject*) {
        Record("CTS");
        port.Close();
    };
    port.OnRxChar = [this](QObject*, int) { Record("RxChar"); };
    port.Open();
    port.fake->Push(tp::WaitResult::Event, tp::ev::Cts | tp::ev::RxChar);
    ASSERT_TRUE(Eventually([&] { return !port.IsOpen(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(log, (std::vector<std::string>{"CTS"}));

    log.clear();
    int reopened = 0;
    port.OnCTS = [&](QObject*) {
        if (reopened++ == 0)
            port.Open();
    };
    port.Open();
    port.fake->Push(tp::WaitResult::Event, tp::ev::Cts | tp::ev::RxChar);
    ASSERT_TRUE(Eventually([&] { return reopened == 1 && port.opens == 3; }));
    port.fake->Push(tp::WaitResult::Event, tp::ev::RxChar);
    ASSERT_TRUE(Eventually([&] { return log.size() == 1; }));
    EXPECT_EQ(log, (std::vector<std::string>{"RxChar"}));
}

TEST_F(EventFixture, StopBeforeTheBodyRunsStillEndsTheThread)
{
    // Close releases the device only after the thread has ended; a stop the thread missed
    // would hang it.
    const int destroyed = FakeTerminalPort::destroyed;
    for (int i = 0; i < 50; ++i) {
        port.Open();
        port.Close();
    }
    EXPECT_EQ(FakeTerminalPort::destroyed, destroyed + 50);
}

TEST_F(EventFixture, DestroyingAnOpenPortClosesIt)
{
    const int destroyed = FakeTerminalPort::destroyed;
    {
        FakeComm other;
        other.Open();
        other.fake->Push(tp::WaitResult::Event, tp::ev::RxChar);
    }
    EXPECT_EQ(FakeTerminalPort::destroyed, destroyed + 1);
}

}  // namespace
