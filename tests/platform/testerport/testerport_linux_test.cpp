#include <gtest/gtest.h>

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <numeric>
#include <optional>
#include <vector>

#include "modemlinehook.h"
#include "ptypair.h"
#include "testerport.h"
#include "tempdir.h"
#include "transfer.h"

namespace tp = platform::testerport;
using platform::testerport::TesterPort;
using platform::testerport::Timeouts;
using testsupport::PtyPair;

namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

using serialtest::Pattern;
using serialtest::ReadAll;

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

TEST(LinuxTesterPort, MovesDataBothWaysAtBothBaudRates)
{
    struct Case {
        const char* line;
        speed_t speed;
        size_t length;
    } cases[] = {{"300,n,8,1", B300, 16}, {"115200,n,8,1", B115200, 256}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        PtyPair pty;
        TesterPort device;
        ASSERT_TRUE(device.Open(pty.SlavePath())) << device.LastError();
        ASSERT_TRUE(device.SetLine(c.line));
        ASSERT_TRUE(device.SetTimeouts({20, 10, 300, 20, 200}));

        termios tio{};
        ASSERT_EQ(tcgetattr(pty.SlaveFd(), &tio), 0);
        EXPECT_EQ(cfgetospeed(&tio), c.speed);
        EXPECT_EQ(tio.c_cflag & CSTOPB, tcflag_t(0));

        const auto pattern = Pattern(c.length);
        pty.WriteMaster(pattern.data(), pattern.size());
        EXPECT_EQ(ReadAll(device, c.length), pattern);

        uint32_t put = 0;
        ASSERT_TRUE(device.Write(pattern.data(), static_cast<uint32_t>(pattern.size()), &put));
        EXPECT_EQ(put, pattern.size());
        EXPECT_EQ(pty.ReadMaster(c.length), std::string(pattern.begin(), pattern.end()));
    }
}

TEST(LinuxTesterPort, ReadHonoursTotalIntervalAndImmediateTimeouts)
{
    PtyPair pty;
    TesterPort device;
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    uint8_t buffer[100];
    uint32_t got = 99;

    // Nothing comes: the read ends after 10 ms x 10 bytes + 100 ms, with no bytes.
    ASSERT_TRUE(device.SetTimeouts({20, 10, 100, 0, 0}));
    auto start = Clock::now();
    ASSERT_TRUE(device.Read(buffer, 10, &got));
    long elapsed = ElapsedMs(start);
    EXPECT_EQ(got, 0u);
    EXPECT_GE(elapsed, 190);
    EXPECT_LT(elapsed, 1500);

    // Three bytes, then silence: the 20 ms interval ends the read long before its 5 s total.
    ASSERT_TRUE(device.SetTimeouts({20, 0, 5000, 0, 0}));
    pty.WriteMaster("abc", 3);
    start = Clock::now();
    ASSERT_TRUE(device.Read(buffer, sizeof buffer, &got));
    EXPECT_EQ(got, 3u);
    EXPECT_LT(ElapsedMs(start), 2000);

    // An absurd multiplier makes the total endless; the interval still ends the read.
    std::vector<uint8_t> large(4096);
    ASSERT_TRUE(device.SetTimeouts({20, 0xFFFFFFFFu, 0, 0, 0}));
    pty.WriteMaster("abc", 3);
    start = Clock::now();
    ASSERT_TRUE(device.Read(large.data(), static_cast<uint32_t>(large.size()), &got));
    EXPECT_EQ(got, 3u);
    EXPECT_LT(ElapsedMs(start), 2000);

    // Interval 0xFFFFFFFF with no totals: whatever is there, at once.
    ASSERT_TRUE(device.SetTimeouts({0xFFFFFFFFu, 0, 0, 0, 0}));
    start = Clock::now();
    ASSERT_TRUE(device.Read(buffer, sizeof buffer, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_LT(ElapsedMs(start), 500);
}

TEST(LinuxTesterPort, WriteGivesUpAfterItsTotalWhenTheLineIsFull)
{
    PtyPair pty;
    TesterPort device;
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    ASSERT_TRUE(device.SetTimeouts({0, 0, 0, 0, 200}));
    // Nobody reads the far end, so the pseudo-terminal's buffer fills and the write stops.
    std::vector<uint8_t> big(1 << 20, 0x55);
    uint32_t put = 0;
    auto start = Clock::now();
    ASSERT_TRUE(device.Write(big.data(), static_cast<uint32_t>(big.size()), &put));
    EXPECT_GT(put, 0u);
    EXPECT_LT(put, big.size());
    EXPECT_LT(ElapsedMs(start), 3000);
}

TEST(LinuxTesterPort, ReadFailsInsteadOfWaitingWhenTheFarEndGoes)
{
    PtyPair pty;
    TesterPort device;
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    ASSERT_TRUE(device.SetTimeouts({0, 0, 0, 0, 0}));  // no time-out at all
    pty.CloseSlave();
    pty.CloseMaster();
    uint8_t buffer[4];
    uint32_t got = 0;
    EXPECT_FALSE(device.Read(buffer, sizeof buffer, &got));
    EXPECT_EQ(got, 0u);
}

TEST(LinuxTesterPort, OpensComNamesThroughTheComNameTable)
{
    PtyPair pty;
    testsupport::TempDir config;
    std::ofstream(config.Path() / "serialcomm") << "COM7=" << pty.SlavePath() << "\n";
    ScopedEnv env("XDG_CONFIG_HOME", config.Path().string());

    TesterPort device;
    ASSERT_TRUE(device.Open("\\\\.\\COM7")) << device.LastError();
    uint32_t put = 0;
    ASSERT_TRUE(device.Write("hi", 2, &put));
    EXPECT_EQ(pty.ReadMaster(2), "hi");
}

TEST(LinuxTesterPort, RefusesSharingNonTerminalsAndMissingDevices)
{
    PtyPair pty;
    TesterPort first, second;
    ASSERT_TRUE(first.Open(pty.SlavePath()));
    EXPECT_FALSE(second.Open(pty.SlavePath()));
    EXPECT_EQ(second.LastError(), uint32_t(EBUSY));
    first.Close();
    EXPECT_TRUE(second.Open(pty.SlavePath())) << "closing gives the device free again";

    testsupport::TempDir dir;
    std::ofstream(dir.Path() / "file") << "not a terminal";
    TesterPort device;
    EXPECT_FALSE(device.Open((dir.Path() / "file").string()));
    EXPECT_EQ(device.LastError(), uint32_t(ENOTTY));
    EXPECT_FALSE(device.Open((dir.Path() / "missing").string()));
    EXPECT_EQ(device.LastError(), uint32_t(ENOENT));

    uint8_t byte = 0;
    uint32_t n = 0;
    EXPECT_FALSE(device.Read(&byte, 1, &n)) << "calls on a closed device fail";
    EXPECT_FALSE(device.Escape(tp::esc::SetRts));
}

TEST(LinuxTesterPort, RefusesLineSettingsTheTerminalCannotTake)
{
    PtyPair pty;
    TesterPort device;
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    ASSERT_TRUE(device.SetLine("300,n,8,1"));
    termios tio{};
    for (const char* line : {"garbage", "12345,n,8,2", "300,n,8,1.5"}) {
        EXPECT_FALSE(device.SetLine(line)) << line;
        // A refused description changes nothing, not even the parts it got right.
        ASSERT_EQ(tcgetattr(pty.SlaveFd(), &tio), 0);
        EXPECT_EQ(tio.c_cflag & CSTOPB, tcflag_t(0)) << line;
        EXPECT_EQ(cfgetospeed(&tio), speed_t(B300)) << line;
    }
    EXPECT_TRUE(device.SetLine("1200,e,7,2")) << device.LastError();
    ASSERT_EQ(tcgetattr(pty.SlaveFd(), &tio), 0);
    EXPECT_EQ(cfgetispeed(&tio), speed_t(B1200));
    // A pseudo-terminal keeps 8 bits without parity whatever it is told; the stop bits stay.
    EXPECT_EQ(tio.c_cflag & CSTOPB, tcflag_t(CSTOPB));
}

namespace {

// Stands in for modem lines, which pseudo-terminals do not have: a null-modem view where
// the device's own RTS and DTR come back as CTS and DSR.
class FakeModemLines : public tp::ModemLineHook {
public:
    bool Drive(const std::string& path, tp::ModemOutput line, bool on) override
    {
        lastPath = path;
        (line == tp::ModemOutput::Rts ? rts : dtr) = on;
        return true;
    }
    bool Read(const std::string& path, uint32_t* status) override
    {
        lastPath = path;
        *status = (rts ? tp::ms::CtsOn : 0) | (dtr ? tp::ms::DsrOn : 0) | extra;
        return true;
    }
    bool rts = false, dtr = false;
    uint32_t extra = 0;
    std::string lastPath;
};

class ScopedHook {
public:
    explicit ScopedHook(tp::ModemLineHook* hook) { tp::InstallModemLineHook(hook); }
    ~ScopedHook() { tp::InstallModemLineHook(nullptr); }
};

uint32_t Status(TesterPort& device)
{
    uint32_t status = 0, returned = 0;
    EXPECT_TRUE(device.Request(tp::kRequestGetModemStatus, nullptr, 0, &status, 4, &returned));
    EXPECT_EQ(returned, 4u);
    return status;
}

}  // namespace

TEST(LinuxTesterPort, ModemLinesOfAPseudoTerminalFailCleanly)
{
    PtyPair pty;
    TesterPort device;
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    EXPECT_FALSE(device.Escape(tp::esc::SetRts));
    EXPECT_EQ(device.LastError(), uint32_t(ENOTTY));
    uint32_t status = 0, returned = 0;
    EXPECT_FALSE(device.Request(tp::kRequestGetModemStatus, nullptr, 0, &status, 4, &returned));
    EXPECT_EQ(returned, 0u);
}

TEST(LinuxTesterPort, EscapesAndRequestsDriveAndReadTheModemLines)
{
    FakeModemLines lines;
    ScopedHook hook(&lines);
    PtyPair pty;
    TesterPort device;
    ASSERT_TRUE(device.Open(pty.SlavePath()));

    ASSERT_TRUE(device.Escape(tp::esc::SetRts));
    EXPECT_EQ(Status(device), tp::ms::CtsOn);
    ASSERT_TRUE(device.Escape(tp::esc::SetDtr));
    EXPECT_EQ(Status(device), tp::ms::CtsOn | tp::ms::DsrOn);
    ASSERT_TRUE(device.Escape(tp::esc::ClrRts));
    EXPECT_EQ(Status(device), tp::ms::DsrOn);
    uint32_t returned = 0;
    ASSERT_TRUE(device.Request(tp::kRequestClrDtr, nullptr, 0, nullptr, 0, &returned));
    ASSERT_TRUE(device.Request(tp::kRequestSetRts, nullptr, 0, nullptr, 0, &returned));
    lines.extra = tp::ms::RingOn | tp::ms::RlsdOn;
    EXPECT_EQ(Status(device), tp::ms::CtsOn | tp::ms::RingOn | tp::ms::RlsdOn);
    EXPECT_EQ(lines.lastPath, pty.SlavePath());

    EXPECT_FALSE(device.Escape(2)) << "only the RTS and DTR escapes are served";
}
