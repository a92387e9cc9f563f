// The Win32 serial device under Wine: COM1 and COM2 are the two ends of a pseudo-terminal
// pair (SERIALTOOLS_WINE_COM1/2 name them), so what one writes the other reads. Wine gives
// pseudo-terminals no modem lines; those are tested through a stand-in.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <numeric>
#include <vector>

#include "modemlinehook.h"
#include "testerport.h"
#include "transfer.h"

namespace tp = platform::testerport;
using platform::testerport::TesterPort;

namespace {

class WineComPorts : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("SERIALTOOLS_WINE_COM1") || !std::getenv("SERIALTOOLS_WINE_COM2"))
            GTEST_SKIP() << "COM1 and COM2 are not mapped to a pseudo-terminal pair";
        ASSERT_TRUE(com1.Open("\\\\.\\COM1")) << com1.LastError();
        ASSERT_TRUE(com2.Open("\\\\.\\COM2")) << com2.LastError();
        // The pair outlives each test: drop what an earlier test left in either direction.
        for (TesterPort* port : {&com1, &com2}) {
            ASSERT_TRUE(port->SetTimeouts({0xFFFFFFFFu, 0, 0, 0, 0}));
            uint8_t stale[256];
            uint32_t got = 0;
            while (port->Read(stale, sizeof stale, &got) && got > 0) {
            }
        }
    }

    TesterPort com1, com2;
};

using serialtest::Pattern;
using serialtest::ReadAll;

bool WriteAll(TesterPort& device, const std::vector<uint8_t>& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        uint32_t n = 0;
        if (!device.Write(bytes.data() + sent, static_cast<uint32_t>(bytes.size() - sent), &n) || n == 0)
            return false;
        sent += n;
    }
    return true;
}

}  // namespace

TEST_F(WineComPorts, MoveDataBothWaysAtBothBaudRates)
{
    struct Case {
        const char* line;
        size_t length;
    } cases[] = {{"300,n,8,1", 16}, {"115200,n,8,1", 256}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        for (TesterPort* port : {&com1, &com2}) {
            ASSERT_TRUE(port->SetLine(c.line)) << port->LastError();
            ASSERT_TRUE(port->SetTimeouts({20, 10, 300, 20, 200})) << port->LastError();
        }
        const auto pattern = Pattern(c.length);
        ASSERT_TRUE(WriteAll(com2, pattern));
        EXPECT_EQ(ReadAll(com1, c.length), pattern);
        ASSERT_TRUE(WriteAll(com1, pattern));
        EXPECT_EQ(ReadAll(com2, c.length), pattern);
    }
}

TEST_F(WineComPorts, ReadEndsAfterItsTimeoutWithNothing)
{
    ASSERT_TRUE(com2.SetTimeouts({20, 10, 100, 20, 200}));
    uint8_t buffer[8];
    uint32_t got = 99;
    DWORD start = GetTickCount();
    ASSERT_TRUE(com2.Read(buffer, sizeof buffer, &got)) << com2.LastError();
    EXPECT_EQ(got, 0u);
    EXPECT_LT(GetTickCount() - start, 3000u);
}

// Wine does not enforce the exclusive share mode on serial devices, so a second opener is
// not tested here.
TEST_F(WineComPorts, RefuseBadLineDescriptions)
{
    EXPECT_FALSE(com2.SetLine("garbage"));
    EXPECT_NE(com2.LastError(), 0u);
}

namespace {

class RecordingLines : public tp::ModemLineHook {
public:
    bool Drive(const std::string& path, tp::ModemOutput line, bool on) override
    {
        calls.push_back(path + (line == tp::ModemOutput::Rts ? " RTS " : " DTR ") + (on ? "on" : "off"));
        return true;
    }
    bool Read(const std::string&, uint32_t* status) override
    {
        *status = tp::ms::CtsOn | tp::ms::RlsdOn;
        return true;
    }
    std::vector<std::string> calls;
};

}  // namespace

TEST_F(WineComPorts, ModemLinesGoThroughTheStandInWhenInstalled)
{
    // Without a stand-in the system is asked, and Wine's pseudo-terminals refuse.
    EXPECT_FALSE(com1.Escape(tp::esc::SetDtr));
    EXPECT_NE(com1.LastError(), 0u);

    RecordingLines lines;
    tp::InstallModemLineHook(&lines);
    EXPECT_TRUE(com1.Escape(tp::esc::SetDtr));
    EXPECT_TRUE(com1.Escape(tp::esc::ClrRts));
    uint32_t returned = 0, status = 0;
    EXPECT_TRUE(com2.Request(tp::kRequestSetRts, nullptr, 0, nullptr, 0, &returned));
    EXPECT_TRUE(com2.Request(tp::kRequestGetModemStatus, nullptr, 0, &status, 4, &returned));
    tp::InstallModemLineHook(nullptr);
    EXPECT_EQ(status, tp::ms::CtsOn | tp::ms::RlsdOn);
    EXPECT_EQ(returned, 4u);
    EXPECT_EQ(lines.calls, (std::vector<std::string>{"\\\\.\\COM1 DTR on", "\\\\.\\COM1 RTS off",
                                                     "\\\\.\\COM2 RTS on"}));
}
