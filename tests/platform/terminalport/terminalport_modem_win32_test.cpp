// Line events of the Win32 backend under Wine, with the modem-line shim preloaded so that the
// pseudo-terminals behind COM1 and COM2 have lines, wired as a null modem.
#include "terminalport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <future>

namespace tp = platform::terminalport;

namespace {

class WineNullModem : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("SERIALTOOLS_WINE_COM1") || !std::getenv("MODEMSHIM_PAIRS"))
            GTEST_SKIP() << "COM1 and COM2 are not a pair wired by the modem-line shim";
        a = tp::OpenTerminalPort("COM1");
        b = tp::OpenTerminalPort("COM2");
        ASSERT_TRUE(a && b) << tp::LastError();
        uint32_t status = 0;
        if (!a->ModemStatus(status))
            GTEST_SKIP() << "the modem-line shim is not loaded (error " << tp::LastError() << ")";
        for (auto* port : {a.get(), b.get()}) {
            tp::Timeouts t;
            t.readIntervalTimeout = tp::kMaxDword;
            t.writeTotalTimeoutConstant = 1500;
            port->SetTimeouts(t);
            port->Escape(tp::esc::SetDtr);
            port->Escape(tp::esc::SetRts);
            port->Purge(0x0F);
        }
    }
    // One wait on a, in a thread, that `cause` completes; a wait that never completes is
    // stopped after a generous bound and reports nothing.
    uint32_t WaitOnA(const std::function<void()>& cause)
    {
        auto waiter = std::async(std::launch::async, [this] {
            uint32_t mask = 0;
            for (int i = 0; i < 100; ++i) {
                const tp::WaitResult result = a->WaitEvent(mask);
                if (result == tp::WaitResult::Event || result == tp::WaitResult::Stopped)
                    break;
            }
            return mask;
        });
        // Wine compares the lines with their state when the wait began, so a change made
        // before that is missed; nothing outside the backend shows when the wait has begun,
        // so this pause stands in for that condition.
        Sleep(100);
        cause();
        if (waiter.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
            a->StopWait();
        return waiter.get();
    }

    std::unique_ptr<tp::TerminalPort> a, b;
};

TEST_F(WineNullModem, StatusFollowsTheFarEnd)
{
    uint32_t status = 0;
    ASSERT_TRUE(a->ModemStatus(status));
    EXPECT_EQ(status & (tp::ms::CtsOn | tp::ms::DsrOn | tp::ms::RlsdOn),
              tp::ms::CtsOn | tp::ms::DsrOn | tp::ms::RlsdOn);
    ASSERT_TRUE(b->Escape(tp::esc::ClrRts));
    ASSERT_TRUE(a->ModemStatus(status));
    EXPECT_FALSE(status & tp::ms::CtsOn);
}

TEST_F(WineNullModem, LineChangesAndDataCompleteWaits)
{
    a->SetEventMask(tp::ev::Cts | tp::ev::Dsr | tp::ev::Rlsd | tp::ev::RxChar);
    EXPECT_EQ(WaitOnA([&] { b->Escape(tp::esc::ClrRts); }) & tp::ev::Cts, tp::ev::Cts);
    EXPECT_EQ(WaitOnA([&] { b->Escape(tp::esc::ClrDtr); }) & (tp::ev::Dsr | tp::ev::Rlsd),
              tp::ev::Dsr | tp::ev::Rlsd);
    EXPECT_EQ(WaitOnA([&] { b->Write("d", 1, 2000); }) & tp::ev::RxChar, tp::ev::RxChar);
    uint32_t errors = 0, queued = 0;
    ASSERT_TRUE(a->ClearErrors(errors, queued));
    EXPECT_EQ(queued, 1u);
}

}  // namespace
