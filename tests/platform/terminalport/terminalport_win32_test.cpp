// The Win32 backend on COM1 and COM2, which the test run maps to the two ends of a
// pseudo-terminal pair under Wine; without that mapping the tests skip rather than touch the
// machine's own ports.
#include "terminalport.h"
#include "winecontrol.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

namespace tp = platform::terminalport;
using Clock = std::chrono::steady_clock;

namespace {

// Bounds the waits for something expected: it comes long before, also on a loaded machine.
constexpr long long kGenerousMs = 10000;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Polls the condition until it holds; false when the time ran out.
bool PollUntil(const std::function<bool()>& condition)
{
    const auto start = Clock::now();
    while (!condition()) {
        if (MsSince(start) > kGenerousMs)
            return false;
        Sleep(2);
    }
    return true;
}

class ComPair : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("SERIALTOOLS_WINE_COM1") || !std::getenv("SERIALTOOLS_WINE_COM2"))
            GTEST_SKIP() << "COM1 and COM2 are not mapped to a test pair";
        a = tp::OpenTerminalPort("COM1");
        ASSERT_TRUE(a) << tp::LastError();
        b = tp::OpenTerminalPort("COM2");
        ASSERT_TRUE(b) << tp::LastError();
        for (auto* port : {a.get(), b.get()}) {
            tp::Dcb dcb;
            ASSERT_TRUE(port->GetState(dcb));
            dcb.baudRate = 115200;
            dcb.byteSize = 8;
            dcb.parity = 0;
            dcb.stopBits = 0;
            ASSERT_TRUE(port->SetState(dcb)) << tp::LastError();
            ASSERT_TRUE(port->Setup(4096, 2048));
            SetInterval(*port, tp::kMaxDword);
            port->Purge(0x0F);
        }
    }
    static void SetInterval(tp::TerminalPort& port, uint32_t interval)
    {
        tp::Timeouts t;
        t.readIntervalTimeout = interval;
        t.writeTotalTimeoutConstant = 1500;
        ASSERT_TRUE(port.SetTimeouts(t));
    }
    // Reads until the expected bytes have arrived (or the time ran out).
    static std::string ReadFor(tp::TerminalPort& port, size_t expected)
    {
        std::string got;
        PollUntil([&] {
            char buffer[256];
            const int n = port.Read(buffer, sizeof buffer, 0);
            if (n > 0)
                got.append(buffer, static_cast<size_t>(n));
            return got.size() >= expected;
        });
        return got;
    }
    // The bytes in the port's input queue.
    static uint32_t Queued(tp::TerminalPort& port)
    {
        uint32_t errors = 0, queued = 0;
        port.ClearErrors(errors, queued);
        return queued;
    }

    std::unique_ptr<tp::TerminalPort> a, b;
};

TEST_F(ComPair, IsACharacterDeviceAndKeepsItsSettings)
{
    EXPECT_TRUE(a->IsCharDevice());
    tp::Dcb dcb;
    ASSERT_TRUE(a->GetState(dcb));
    EXPECT_EQ(dcb.baudRate, 115200u);
    EXPECT_EQ(dcb.byteSize, 8);
    dcb.baudRate = 19200;
    dcb.stopBits = 2;
    ASSERT_TRUE(a->SetState(dcb));
    tp::Dcb back;
    ASSERT_TRUE(a->GetState(back));
    EXPECT_EQ(back.baudRate, 19200u);
    EXPECT_EQ(back.stopBits, 2);
}

TEST_F(ComPair, DataPassesBothWays)
{
    const std::string hello("hello\0\x11\x13\xff", 9);
    EXPECT_EQ(a->Write(hello.data(), 9, 2000), 9);
    EXPECT_EQ(ReadFor(*b, 9), hello);
    EXPECT_EQ(b->Write("back", 4, 2000), 4);
    EXPECT_EQ(ReadFor(*a, 4), "back");
    uint32_t errors = 0, queued = 99;
    EXPECT_TRUE(a->ClearErrors(errors, queued));
    EXPECT_EQ(queued, 0u);
}

TEST_F(ComPair, ImmediateReadsReturnWhatIsQueued)
{
    char buffer[100];
    auto start = Clock::now();
    EXPECT_EQ(b->Read(buffer, 100, 0), 0);
    EXPECT_LT(MsSince(start), 200);
    a->Write("abc", 3, 2000);
    EXPECT_EQ(ReadFor(*b, 3), "abc");
}

TEST_F(ComPair, AReadThatDoesNotFinishIsBoundedAndKeepsItsBytes)
{
    SetInterval(*b, 50);
    char buffer[100];
    auto start = Clock::now();
    const int n = b->Read(buffer, 100, 200);
    EXPECT_EQ(n, 0);
    EXPECT_LT(MsSince(start), 1500);
    a->Write("xyz", 3, 2000);
    ASSERT_TRUE(PollUntil([&] { return Queued(*b) == 3; }));
    EXPECT_EQ(b->Read(buffer, 100, 500), 3);
    EXPECT_EQ(std::string(buffer, 3), "xyz");
}

TEST_F(ComPair, AStopEndsAPendingWaitAndAnEarlyStopCounts)
{
    b->SetEventMask(tp::ev::RxChar);
    tp::WaitResult result = tp::WaitResult::Event;
    std::atomic<int> events{0};
    std::thread waiter([&] {
        for (;;) {
            uint32_t mask = 0;
            result = b->WaitEvent(mask);
            if (result == tp::WaitResult::Event) {
                char buffer[16];
                b->Read(buffer, sizeof buffer, 0);
                ++events;
            } else if (result != tp::WaitResult::Failed) {
                return;
            }
        }
    });
    // A byte that completes a wait shows the waiter waiting; the stop then finds it in its
    // next wait, or just before it, which must end that wait at once as well.
    a->Write("w", 1, 2000);
    EXPECT_TRUE(PollUntil([&] { return events > 0; }));
    const auto start = Clock::now();
    b->StopWait();
    waiter.join();
    EXPECT_EQ(result, tp::WaitResult::Stopped);
    EXPECT_LT(MsSince(start), 1500);

    a->StopWait();  // before any wait
    uint32_t mask = 0;
    EXPECT_EQ(a->WaitEvent(mask), tp::WaitResult::Stopped);
}

TEST_F(ComPair, ModemCallsFailWithACodeWhereTheDriverLacksLines)
{
    uint32_t status = 0;
    if (!a->ModemStatus(status)) {
        EXPECT_NE(tp::LastError(), 0u);
    }
    if (!a->Escape(tp::esc::SetDtr)) {
        EXPECT_NE(tp::LastError(), 0u);
    }
    EXPECT_FALSE(a->Escape(9999));
}

// COM3 and COM4, a second pseudo-terminal pair that the test stage lets a test pull out (its
// socat is killed, both ends vanish) and put back.
class VanishingAdapter : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!control.Available())
            GTEST_SKIP() << "no second COM pair to pull out";
        ASSERT_TRUE(control.Restore("pair2"));
        ASSERT_TRUE(PollUntil([&] {
            port = tp::OpenTerminalPort("COM3");
            return port != nullptr;
        })) << "COM3 did not come back: " << tp::LastError();
    }
    void TearDown() override
    {
        port.reset();
        if (control.Available())
            control.Restore("pair2");  // for whatever runs next
    }

    testsupport::WineControl control;
    std::unique_ptr<tp::TerminalPort> port;
};

TEST_F(VanishingAdapter, APulledOutDeviceEndsTheWaitAsGone)
{
    ASSERT_TRUE(port->SetEventMask(tp::ev::RxChar | tp::ev::TxEmpty | tp::ev::Modem));
    std::atomic<bool> done{false};
    tp::WaitResult result = tp::WaitResult::Event;
    std::thread waiter([&] {
        for (;;) {
            uint32_t mask = 0;
            result = port->WaitEvent(mask);
            if (result == tp::WaitResult::Event) {
                char buffer[64];
                port->Read(buffer, sizeof buffer, 0);
            } else if (result != tp::WaitResult::Failed) {
                break;
            }
        }
        done = true;
    });
    ASSERT_TRUE(control.Cut("pair2"));
    const bool ended = PollUntil([&] { return done.load(); });
    if (!ended)
        port->StopWait();
    waiter.join();
    EXPECT_TRUE(ended) << "the wait went on after the device vanished";
    EXPECT_EQ(result, tp::WaitResult::Gone);
}

TEST(ComOpen, MissingPortsAndPlainFilesAreRecognised)
{
    // A name no driver owns (Wine maps free COM numbers to the machine's own ttyS devices).
    EXPECT_FALSE(tp::OpenTerminalPort("\\\\.\\NoSuchSerialPort"));
    EXPECT_EQ(tp::LastError(), static_cast<uint32_t>(ERROR_FILE_NOT_FOUND));

    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    const std::string file = std::string(dir) + "terminalport_plain.txt";
    std::ofstream(file) << "text";
    auto port = tp::OpenTerminalPort(file);
    ASSERT_TRUE(port);
    EXPECT_FALSE(port->IsCharDevice());
    port->Close();
    DeleteFileA(file.c_str());
}

}  // namespace
