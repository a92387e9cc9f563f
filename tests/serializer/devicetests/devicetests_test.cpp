// The Test and Test Modem commands end to end on the simulated bench: converter 0, the
// loopback rig or the modem, each case read back as the exact log lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "benchcontrol.h"
#include "benchfixture.h"
#include "devicetests.h"
#include "eepromimage.h"
#include "mvdriver.h"
#include "recordingreporter.h"
#include "testerport.h"
#include "usbdevice.h"

namespace {

using eemint::RunLoopbackTest;
using eemint::RunModemTest;
using Lines = std::vector<std::string>;
using testsupport::RecordingReporter;

const Lines kErasedIdentity = {"EEROM erased - no device data available", ""};

Lines Concat(Lines a, const Lines& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The group lines of a run and the verdict: labels padded to 32 columns, then the result.
Lines Verdict(const std::vector<std::pair<std::string, bool>>& groups)
{
    Lines lines;
    bool passed = true;
    for (const auto& [label, pass] : groups) {
        lines.push_back(label + std::string(32 - label.size(), ' ') + (pass ? "PASS" : "FAIL"));
        passed = passed && pass;
    }
    lines.insert(lines.end(), {"", passed ? "DEVICE PASSED" : "DEVICE FAILED", ""});
    return lines;
}

Lines LoopbackVerdict(bool cts, bool dsr, bool cd, bool ri, bool slow, bool fast)
{
    return Verdict({{"CTS Test", cts},
                    {"DSR Test", dsr},
                    {"CD Test", cd},
                    {"RI Test", ri},
                    {"Rx/Tx at 300 Baud", slow},
                    {"Rx/Tx at 115200 Baud", fast}});
}

Lines ModemVerdict(bool cts, bool dsr, bool cd, bool slow, bool fast)
{
    return Verdict({{"CTS Test", cts},
                    {"DSR Test", dsr},
                    {"CD Test", cd},
                    {"Rx/Tx at 300 Baud", slow},
                    {"Rx/Tx at 115200 Baud", fast}});
}

// Converter 0 holding a given image: the bench's two default converters are taken away.
void MakeConverterZero(const std::array<uint8_t, 128>& image)
{
    ASSERT_TRUE(mvbench::Unplug(0));
    ASSERT_TRUE(mvbench::Unplug(0));
    ASSERT_EQ(mvbench::PlugImage(image), 0);
}

std::array<uint8_t, 128> First128(const eemint::TEepromImage& image)
{
    std::array<uint8_t, 128> bytes{};
    std::copy_n(image.Bytes().begin(), 128, bytes.begin());
    return bytes;
}

class DeviceTests : public ::testing::Test {
protected:
    testsupport::ScopedBench bench;
    eemint::ScopedDriver driver{eemint::SystemDriver()};
    RecordingReporter reporter;
};

}  // namespace

TEST_F(DeviceTests, FullRigPassesEveryGroup)
{
    RunLoopbackTest(reporter);
    EXPECT_EQ(reporter.log, Concat(kErasedIdentity, LoopbackVerdict(true, true, true, true, true, true)));
    EXPECT_TRUE(reporter.errors.empty());
    // The identity shows before the slow part starts.
    EXPECT_EQ(reporter.repaintsAfter, std::vector<size_t>{kErasedIdentity.size()});
}

TEST_F(DeviceTests, EachCutLineWireFailsOnlyItsOwnGroup)
{
    struct Case {
        mvbench::Wire wire;
        Lines verdict;
    } cases[] = {
        {mvbench::Wire::Com1RtsToRi, LoopbackVerdict(true, true, true, false, true, true)},
        {mvbench::Wire::Com2RtsToCts, LoopbackVerdict(false, true, true, true, false, false)},
        {mvbench::Wire::Com1DtrToDcd, LoopbackVerdict(true, true, false, true, true, true)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(mvbench::WireName(c.wire));
        ASSERT_TRUE(mvbench::CutWire(c.wire));
        RecordingReporter run;
        RunLoopbackTest(run);
        EXPECT_EQ(run.log, Concat(kErasedIdentity, c.verdict));
        ASSERT_TRUE(mvbench::RestoreWire(c.wire));
    }
}

TEST_F(DeviceTests, CutDataWiresFailBothDataGroupsWithoutHanging)
{
    // Real timing, so the time-outs bound what a dead data path costs.
    ASSERT_TRUE(mvbench::SetTiming(mvbench::Timing::Real));
    ASSERT_TRUE(mvbench::SetLatencyMicroseconds(0));
    struct Case {
        const char* name;
        std::vector<mvbench::Wire> cut;
        double groupLimitSeconds;
    } cases[] = {
        // Nothing reaches the converter: its 300 ms read time-out ends each group.
        {"both data wires", {mvbench::Wire::Com2TxToRx, mvbench::Wire::TxToCom2Rx}, 1.5},
        // Nothing comes back: COM2's read time-out (10 ms a byte + 300 ms) ends each group.
        {"converter transmit wire", {mvbench::Wire::TxToCom2Rx}, 4.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (mvbench::Wire wire : c.cut)
            ASSERT_TRUE(mvbench::CutWire(wire));
        RecordingReporter run;
        RunLoopbackTest(run);
        EXPECT_EQ(run.log, Concat(kErasedIdentity, LoopbackVerdict(true, true, true, true, false, false)));
        // The two data group lines come right after "RI Test".
        const size_t ri = kErasedIdentity.size() + 3;
        ASSERT_GE(run.logTimes.size(), ri + 3);
        EXPECT_LT(run.SecondsBetween(ri, ri + 1), c.groupLimitSeconds);
        EXPECT_LT(run.SecondsBetween(ri + 1, ri + 2), c.groupLimitSeconds);
        for (mvbench::Wire wire : c.cut)
            ASSERT_TRUE(mvbench::RestoreWire(wire));
    }
}

TEST_F(DeviceTests, ConverterVanishingDuringTheTestFailsWhatFollowsWithoutHanging)
{
    // The identity read (open, 64 words, close) and the tester's open reach the converter,
    // then it is gone: every status read fails and shows the lines clear.
    ASSERT_TRUE(mvbench::UnplugAfterRequests(0, 67));
    RunLoopbackTest(reporter);
    EXPECT_EQ(reporter.log, Concat(kErasedIdentity, LoopbackVerdict(false, false, false, false, false, false)));
}

TEST_F(DeviceTests, IdentityPrintoutFollowsTheVendorWord)
{
    eemint::TEepromImage configured;
    configured.BuildImage("ACME", "Widget Port", "AC123456");
    configured.SetVendorId(0x1234);
    configured.SetProductId(0xABCD);

    eemint::TEepromImage unconfigured;
    unconfigured.BuildImage("X", "Y", "Z");
    unconfigured.SetVendorId(0);

    struct Case {
        const char* name;
        std::array<uint8_t, 128> image;
        Lines identity;
    } cases[] = {
        {"configured", First128(configured),
         {"Manufacturer: ACME", "DeviceID:     VID_1234&PID_ABCD", "Description:  Widget Port",
          "SerialNumber: AC123456", ""}},
        {"vendor word 0", First128(unconfigured),
         {"VendorID:     3A7E", "ProductID:    5C01", "Manufacturer: MAVIX", "Description:  USB HS Serial Converter",
          "SerialNumber: MV005C01", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(mvbench::Reset());
        ASSERT_TRUE(mvbench::SetTiming(mvbench::Timing::Fast));
        MakeConverterZero(c.image);
        RecordingReporter run;
        RunLoopbackTest(run);
        EXPECT_EQ(run.log, Concat(c.identity, LoopbackVerdict(true, true, true, true, true, true)));
    }
}

TEST_F(DeviceTests, MissingRigPartEndsAfterTheIdentity)
{
    ASSERT_TRUE(mvbench::Attach(mvbench::Attachment::Nothing));  // no COM1 and COM2
    RunLoopbackTest(reporter);
    EXPECT_EQ(reporter.log, Concat(kErasedIdentity, {"Failed to initialise tester"}));
    EXPECT_TRUE(reporter.errors.empty());

    // The tester released what it had opened: with the rig back, a run passes.
    ASSERT_TRUE(mvbench::Attach(mvbench::Attachment::Rig));
    RecordingReporter again;
    RunLoopbackTest(again);
    EXPECT_EQ(again.log, Concat(kErasedIdentity, LoopbackVerdict(true, true, true, true, true, true)));
}

TEST_F(DeviceTests, MissingConverterShowsOneErrorAndLogsNothing)
{
    ASSERT_TRUE(mvbench::Unplug(0));
    ASSERT_TRUE(mvbench::Unplug(0));
    for (auto run : {&RunLoopbackTest, &RunModemTest}) {
        RecordingReporter failed;
        run(failed);
        EXPECT_TRUE(failed.log.empty());
        EXPECT_EQ(failed.errors, Lines{"Failed to open device for read"});
    }
}

TEST_F(DeviceTests, ModemTestScoresLinesAndAnswers)
{
    ASSERT_TRUE(mvbench::Attach(mvbench::Attachment::Modem));
    struct Case {
        const char* name;
        bool errorReply, linesStuck;
        Lines verdict;
    } cases[] = {
        {"responsive modem", false, false, ModemVerdict(true, true, true, true, true)},
        {"lines never move", false, true, ModemVerdict(false, false, false, true, true)},
        {"error reply", true, false, ModemVerdict(true, true, true, false, false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(mvbench::SetModemErrorReply(c.errorReply));
        ASSERT_TRUE(mvbench::SetModemLinesStuck(c.linesStuck));
        RecordingReporter run;
        RunModemTest(run);
        EXPECT_EQ(run.log, Concat(kErasedIdentity, c.verdict));
        EXPECT_TRUE(run.errors.empty());
    }
}

TEST_F(DeviceTests, PortsInUseEndAfterTheIdentity)
{
    // Someone else holds the port (no sharing): the identity, then no tester.
    struct Case {
        const char* path;
        mvbench::Attachment attachment;
        void (*run)(eemint::Reporter&);
        Lines verdict;
    } cases[] = {
        {"\\\\.\\COM2", mvbench::Attachment::Rig, &RunLoopbackTest, LoopbackVerdict(true, true, true, true, true, true)},
        {"\\\\.\\MVPORT-0", mvbench::Attachment::Modem, &RunModemTest, ModemVerdict(true, true, true, true, true)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_TRUE(mvbench::Attach(c.attachment));
        {
            platform::testerport::TesterPort holder;
            ASSERT_TRUE(holder.Open(c.path));
            RecordingReporter refused;
            c.run(refused);
            EXPECT_EQ(refused.log, Concat(kErasedIdentity, {"Failed to initialise tester"}));
        }
        // The tester released what it had opened (COM1 and the converter): now it runs.
        RecordingReporter again;
        c.run(again);
        EXPECT_EQ(again.log, Concat(kErasedIdentity, c.verdict));
    }
}

TEST_F(DeviceTests, ModemTestWithNothingAttachedFailsEveryGroupWithoutHanging)
{
    ASSERT_TRUE(mvbench::Attach(mvbench::Attachment::Nothing));
    RunModemTest(reporter);
    EXPECT_EQ(reporter.log, Concat(kErasedIdentity, ModemVerdict(false, false, false, false, false)));
}

TEST_F(DeviceTests, RigPortKeepsItsLineFormatWhenOnlyTheBaudRateIsRequested)
{
    // COM2 at 300 baud, even parity, 7 bits, set from a description and then by the baud-rate
    // request alone; converter 0 at the same format: a byte sent by the converter arrives intact.
    platform::testerport::TesterPort com2;
    ASSERT_TRUE(com2.Open("\\\\.\\COM2"));
    ASSERT_TRUE(com2.SetLine("300,e,7,1"));
    uint32_t baud = 300, returned = 0;
    ASSERT_TRUE(com2.Request(platform::testerport::kRequestSetBaudRate, &baud, sizeof baud, nullptr, 0, &returned));
    ASSERT_TRUE(com2.SetTimeouts({20, 10, 300, 20, 200}));

    eemint::TUsbDevice converter;
    converter.SetIndex(0);
    ASSERT_TRUE(converter.Open());
    uint8_t line[3] = {0, 2, 7};
    uint8_t timeouts[8] = {0x2C, 0x01, 0, 0, 0x2C, 0x01, 0, 0};
    ASSERT_TRUE(converter.IoCtl(MV_IOCTL_SET_BAUD_RATE, &baud, sizeof baud, nullptr, 0, &returned));
    ASSERT_TRUE(converter.IoCtl(MV_IOCTL_SET_LINE_CONTROL, line, sizeof line, nullptr, 0, &returned));
    ASSERT_TRUE(converter.IoCtl(MV_IOCTL_SET_TIMEOUTS, timeouts, sizeof timeouts, nullptr, 0, &returned));
    uint32_t put = 0, got = 0;
    ASSERT_TRUE(converter.Write("A", 1, &put));
    char received = 0;
    ASSERT_TRUE(com2.Read(&received, 1, &got));
    converter.Close();
    ASSERT_EQ(got, 1u);
    EXPECT_EQ(received, 'A');
}
