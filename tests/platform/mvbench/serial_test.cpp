// The serial side of the bench: the loopback rig between COM1/COM2 and converter 0, the
// converter's own port, the modem, line corruption, time-outs and real-mode line time.
#include "benchfixture.h"
#include "benchtest.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace benchtest;
using Clock = std::chrono::steady_clock;

namespace {

// The rig's three parts, opened and closed with the test.
struct Rig {
    MVB_PORT com1 = nullptr, com2 = nullptr;
    MV_HANDLE converter = nullptr;
    Rig()
    {
        EXPECT_EQ(MVB_PortOpen("\\\\.\\COM1", &com1), 0);
        EXPECT_EQ(MVB_PortOpen("\\\\.\\com2", &com2), 0);
        EXPECT_EQ(MV_Open(0, &converter), MV_OK);
    }
    ~Rig()
    {
        MVB_PortClose(com1);
        MVB_PortClose(com2);
        MV_Close(converter);
    }
    // Both sides at `baud` 8N1; COM2 with the time-outs the loopback test uses.
    void SetUp(uint32_t baud)
    {
        SetUpConverter(converter, baud, 300);
        EXPECT_EQ(MVB_PortSetLine(com2, baud, 0, 0, 8), 0);
        EXPECT_EQ(MVB_PortSetTimeouts(com2, 20, 10, 300, 20, 200), 0);
    }
    std::string ToConverter(const std::string& data)
    {
        uint32_t put = 0;
        EXPECT_EQ(MVB_PortWrite(com2, data.data(), static_cast<uint32_t>(data.size()), &put), 0);
        return ConverterReadAll(converter, data.size());
    }
    std::string FromConverter(const std::string& data)
    {
        uint32_t put = 0;
        EXPECT_EQ(MV_Write(converter, data.data(), static_cast<uint32_t>(data.size()), &put), MV_OK);
        EXPECT_EQ(put, data.size());
        return PortReadAll(com2, data.size());
    }
};

TEST(BenchRig, DataPassesBothWaysAtBothSpeeds)
{
    testsupport::ScopedBench bench;
    Rig rig;
    for (uint32_t baud : {300u, 115200u}) {
        rig.SetUp(baud);
        const std::string pattern = Pattern(baud == 300 ? 16 : 256);
        EXPECT_EQ(rig.ToConverter(pattern), pattern) << baud;
        EXPECT_EQ(rig.FromConverter(pattern), pattern) << baud;
    }
}

TEST(BenchRig, EachLineFollowsItsWireUnlessCut)
{
    struct Line {
        bool com1;
        int set, clear;
        uint32_t bit;
        mvbench::Wire wire;
    };
    const Line lines[] = {
        {false, MVB_SETRTS, MVB_CLRRTS, MV_MODEM_CTS, mvbench::Wire::Com2RtsToCts},
        {false, MVB_SETDTR, MVB_CLRDTR, MV_MODEM_DSR, mvbench::Wire::Com2DtrToDsr},
        {true, MVB_SETDTR, MVB_CLRDTR, MV_MODEM_DCD, mvbench::Wire::Com1DtrToDcd},
        {true, MVB_SETRTS, MVB_CLRRTS, MV_MODEM_RI, mvbench::Wire::Com1RtsToRi},
    };
    testsupport::ScopedBench bench;
    Rig rig;
    EXPECT_EQ(ConverterStatus(rig.converter), 0u);
    for (const Line& l : lines) {
        MVB_PORT port = l.com1 ? rig.com1 : rig.com2;
        ASSERT_EQ(MVB_PortEscape(port, l.set), 0);
        EXPECT_EQ(ConverterStatus(rig.converter), l.bit) << mvbench::WireName(l.wire);
        ASSERT_TRUE(mvbench::CutWire(l.wire));
        EXPECT_EQ(ConverterStatus(rig.converter), 0u) << mvbench::WireName(l.wire) << " cut";
        ASSERT_TRUE(mvbench::RestoreWire(l.wire));
        ASSERT_EQ(MVB_PortEscape(port, l.clear), 0);
        EXPECT_EQ(ConverterStatus(rig.converter), 0u) << mvbench::WireName(l.wire);
    }
    EXPECT_NE(MVB_PortEscape(rig.com2, 8), 0) << "only the four line functions";
}

TEST(BenchRig, CutDataWireLosesTheBytesAndReadsTimeOut)
{
    testsupport::ScopedBench bench;
    Rig rig;
    rig.SetUp(115200);
    const std::string pattern = Pattern(32);
    ASSERT_TRUE(mvbench::CutWire(mvbench::Wire::Com2TxToRx));
    EXPECT_EQ(rig.ToConverter(pattern), "");
    EXPECT_EQ(rig.FromConverter(pattern), pattern) << "the other direction still works";
    ASSERT_TRUE(mvbench::CutWire(mvbench::Wire::TxToCom2Rx));
    EXPECT_EQ(rig.FromConverter(pattern), "");
    ASSERT_TRUE(mvbench::RestoreWire(mvbench::Wire::Com2TxToRx));
    EXPECT_EQ(rig.ToConverter(pattern), pattern);

    // An absurd multiplier makes COM2's total endless; the 20 ms interval still ends the read.
    ASSERT_TRUE(mvbench::RestoreWire(mvbench::Wire::TxToCom2Rx));
    ASSERT_EQ(MVB_PortSetTimeouts(rig.com2, 20, 0xFFFFFFFFu, 0, 0, 0), 0);
    uint32_t put = 0, got = 0;
    ASSERT_EQ(MV_Write(rig.converter, "abc", 3, &put), MV_OK);
    std::vector<char> large(4096);
    ASSERT_EQ(MVB_PortRead(rig.com2, large.data(), static_cast<uint32_t>(large.size()), &got), 0);
    EXPECT_EQ(std::string(large.data(), got), "abc");
}

TEST(BenchRig, MismatchedLineCorruptsEveryByteTheSameWay)
{
    testsupport::ScopedBench bench;
    Rig rig;
    rig.SetUp(115200);
    ASSERT_EQ(MVB_PortSetLine(rig.com2, 300, 0, 0, 8), 0);
    const std::string pattern = Pattern(256);
    const std::string first = rig.ToConverter(pattern);
    ASSERT_EQ(first.size(), pattern.size());
    for (size_t i = 0; i < pattern.size(); ++i)
        EXPECT_NE(first[i], pattern[i]) << i;
    EXPECT_EQ(rig.ToConverter(pattern), first);
    // A parity mismatch at the same speed corrupts too.
    ASSERT_EQ(MVB_PortSetLine(rig.com2, 115200, 0, 2, 8), 0);
    EXPECT_NE(rig.ToConverter(pattern), pattern);
}

TEST(BenchRig, ReadsWaitNoLongerThanTheirTimeOut)
{
    testsupport::ScopedBench bench;
    ASSERT_TRUE(mvbench::Attach(mvbench::Attachment::Nothing));
    MV_HANDLE h = nullptr;
    ASSERT_EQ(MV_Open(0, &h), MV_OK);
    SetUpConverter(h, 300, 150);
    char buffer[4];
    uint32_t got = 99;
    auto start = Clock::now();
    ASSERT_EQ(MV_Read(h, buffer, 4, &got), MV_OK);
    auto took = Clock::now() - start;
    EXPECT_EQ(got, 0u);
    EXPECT_GE(took, std::chrono::milliseconds(150));
    EXPECT_LT(took, std::chrono::milliseconds(1500));
    uint32_t put = 0;
    EXPECT_EQ(MV_Write(h, "ab", 2, &put), MV_OK) << "writes to nothing are accepted";
    EXPECT_EQ(put, 2u);
    MV_Close(h);
    MVB_PORT p = nullptr;
    EXPECT_EQ(MVB_PortOpen("\\\\.\\COM2", &p), MVB_ERROR_NOT_FOUND) << "no rig, no COM2";
}

TEST(BenchRig, PortsAreExclusiveAndMustExist)
{
    testsupport::ScopedBench bench;
    MVB_PORT a = nullptr, b = nullptr;
    ASSERT_EQ(MVB_PortOpen("\\\\.\\COM2", &a), 0);
    EXPECT_EQ(MVB_PortOpen("COM2", &b), MVB_ERROR_ACCESS_DENIED);
    MVB_PortClose(a);
    EXPECT_EQ(MVB_PortOpen("COM2", &b), 0);
    MVB_PortClose(b);
    MVB_PortClose(b);  // a second close is harmless
    uint32_t got = 0;
    char c;
    EXPECT_EQ(MVB_PortRead(b, &c, 1, &got), MVB_ERROR_INVALID_HANDLE);
    EXPECT_EQ(MVB_PortOpen("\\\\.\\COM3", &a), MVB_ERROR_NOT_FOUND);
    ASSERT_TRUE(mvbench::Unplug(0));
    ASSERT_TRUE(mvbench::Unplug(0));
    EXPECT_EQ(MVB_PortOpen("\\\\.\\MVPORT-0", &a), MVB_ERROR_NOT_FOUND);
}

TEST(BenchRig, RealModeTakesTheLineTime)
{
    testsupport::ScopedBench bench(mvbench::Timing::Real);
    ASSERT_TRUE(mvbench::SetLatencyMicroseconds(0));
    Rig rig;
    rig.SetUp(300);
    MVB_ResetCharged();
    const std::string pattern = Pattern(16);
    uint32_t put = 0;
    ASSERT_EQ(MVB_PortWrite(rig.com2, pattern.data(), 16, &put), 0);
    SetUpConverter(rig.converter, 300, 0);  // reads return at once
    char early[16];
    uint32_t got = 0;
    ASSERT_EQ(MV_Read(rig.converter, early, 16, &got), MV_OK);
    EXPECT_LT(got, 16u) << "16 bytes at 300 baud need more than half a second";
    SetUpConverter(rig.converter, 300, 300);
    const std::string rest = ConverterReadAll(rig.converter, 16 - got);
    EXPECT_EQ(std::string(early, got) + rest, pattern);
    EXPECT_GE(MVB_ChargedMicroseconds(), 480000u);  // 16 x 10 bits at 300 baud is 533 ms
}

// The modem on the converter's own port, driven as the modem test drives it.
struct ModemPort {
    MVB_PORT port = nullptr;
    ModemPort()
    {
        EXPECT_TRUE(mvbench::Attach(mvbench::Attachment::Modem));
        EXPECT_EQ(MVB_PortOpen("\\\\.\\MVPORT-0", &port), 0);
        EXPECT_EQ(MVB_PortSetLine(port, 1200, 0, 0, 8), 0);
        EXPECT_EQ(MVB_PortSetTimeouts(port, 20, 10, 300, 20, 200), 0);
    }
    ~ModemPort() { MVB_PortClose(port); }
    std::string Say(const std::string& command, size_t replyBytes)
    {
        uint32_t put = 0;
        EXPECT_EQ(MVB_PortWrite(port, command.data(), static_cast<uint32_t>(command.size()), &put), 0);
        return PortReadAll(port, replyBytes);
    }
    uint32_t Status()
    {
        uint32_t status = 0xDEAD;
        EXPECT_EQ(MVB_PortModemStatus(port, &status), 0);
        return status;
    }
};

TEST(BenchModem, AnswersAndDrivesItsLines)
{
    testsupport::ScopedBench bench;
    ModemPort modem;
    EXPECT_EQ(modem.Say("ATZ\r", 10), "ATZ\r\r\nOK\r\n");
    EXPECT_EQ(modem.Say("AT&R1\r", 12), "AT&R1\r\r\nOK\r\n");
    EXPECT_TRUE(modem.Status() & MV_MODEM_CTS);
    ASSERT_EQ(MVB_PortEscape(modem.port, MVB_CLRRTS), 0);
    modem.Say("AT&R0\r", 12);
    EXPECT_FALSE(modem.Status() & MV_MODEM_CTS) << "with &R0 CTS follows the converter's RTS";
    ASSERT_EQ(MVB_PortEscape(modem.port, MVB_SETRTS), 0);
    EXPECT_TRUE(modem.Status() & MV_MODEM_CTS);

    modem.Say("AT&S0\r", 12);
    EXPECT_TRUE(modem.Status() & MV_MODEM_DSR);
    modem.Say("AT&S1\r", 12);
    EXPECT_FALSE(modem.Status() & MV_MODEM_DSR);
    modem.Say("AT&C0\r", 12);
    EXPECT_TRUE(modem.Status() & MV_MODEM_DCD);
    modem.Say("AT&C1\r", 12);
    EXPECT_FALSE(modem.Status() & MV_MODEM_DCD);
    modem.Say("AT&C0\r", 12);
    modem.Say("ATZ\r", 10);
    EXPECT_FALSE(modem.Status() & MV_MODEM_DCD) << "ATZ restores the defaults";
    EXPECT_EQ(modem.Status() & MV_MODEM_RI, 0u);

    // The modem follows the speed it is spoken to at.
    for (uint32_t baud : {300u, 115200u}) {
        ASSERT_EQ(MVB_PortSetLine(modem.port, baud, 0, 0, 8), 0);
        EXPECT_EQ(modem.Say("ATZ\r", 10), "ATZ\r\r\nOK\r\n") << baud;
    }
}

TEST(BenchModem, ErrorReplyAndStuckLines)
{
    testsupport::ScopedBench bench;
    ModemPort modem;
    ASSERT_TRUE(mvbench::SetModemErrorReply(true));
    EXPECT_EQ(modem.Say("ATZ\r", 13), "ATZ\r\r\nERROR\r\n");
    EXPECT_EQ(modem.Say("AT&C0\r", 12).size(), 12u) << "the echo and the start of the reply";
    PortReadAll(modem.port, 3);
    EXPECT_TRUE(modem.Status() & MV_MODEM_DCD) << "the command is still obeyed";
    ASSERT_TRUE(mvbench::SetModemErrorReply(false));
    ASSERT_TRUE(mvbench::SetModemLinesStuck(true));
    modem.Say("AT&S0\r", 12);
    modem.Say("AT&R1\r", 12);
    EXPECT_EQ(modem.Status(), 0u);
}

TEST(BenchModem, ConverterHandleSharesTheSerialSide)
{
    testsupport::ScopedBench bench;
    ASSERT_TRUE(mvbench::Attach(mvbench::Attachment::Modem));
    MV_HANDLE h = nullptr;
    ASSERT_EQ(MV_Open(0, &h), MV_OK);
    SetUpConverter(h, 1200, 300);
    uint32_t put = 0;
    ASSERT_EQ(MV_Write(h, "ATZ\r", 4, &put), MV_OK);
    EXPECT_EQ(ConverterReadAll(h, 10), "ATZ\r\r\nOK\r\n");
    MV_Close(h);
}

}  // namespace
