// Line events of the Win32 backend under Wine, with the modem-line shim preloaded so that the
// pseudo-terminals behind COM1 and COM2 have lines, wired as a null modem.
#include "commport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <future>

namespace pc = platform::comm;

namespace {

class WineNullModem : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("SERIALTOOLS_WINE_COM1") || !std::getenv("MODEMSHIM_PAIRS"))
            GTEST_SKIP() << "COM1 and COM2 are not a pair wired by the modem-line shim";
        a = pc::OpenCommPort("COM1");
        b = pc::OpenCommPort("COM2");
        ASSERT_TRUE(a && b) << pc::LastError();
        uint32_t status = 0;
        if (!a->ModemStatus(status))
            GTEST_SKIP() << "the modem-line shim is not loaded (error " << pc::LastError() << ")";
        for (auto* port : {a.get(), b.get()}) {
            pc::Timeouts t;
            t.readIntervalTimeout = pc::kMaxDword;
            t.writeTotalTimeoutConstant = 1500;
            port->SetTimeouts(t);
            port->Escape(pc::esc::SetDtr);
            port->Escape(pc::esc::SetRts);
            port->Purge(0x0F);
        }
    }
    // One wait on a, in a thread, with a bound on how long it may take.
    uint32_t WaitOnA(const std::function<void()>& cause)
    {
        auto waiter = std::async(std::launch::async, [this] {
            uint32_t mask = 0;
            for (int i = 0; i < 100; ++i) {
                const pc::WaitResult result = a->WaitEvent(mask);
                if (result == pc::WaitResult::Event || result == pc::WaitResult::Stopped)
                    break;
            }
            return mask;
        });
        Sleep(50);
        cause();
        if (waiter.wait_for(std::chrono::seconds(3)) != std::future_status::ready)
            a->StopWait();
        return waiter.get();
    }

    std::unique_ptr<pc::CommPort> a, b;
};

TEST_F(WineNullModem, StatusFollowsTheFarEnd)
{
    uint32_t status = 0;
    ASSERT_TRUE(a->ModemStatus(status));
    EXPECT_EQ(status & (pc::ms::CtsOn | pc::ms::DsrOn | pc::ms::RlsdOn),
              pc::ms::CtsOn | pc::ms::DsrOn | pc::ms::RlsdOn);
    ASSERT_TRUE(b->Escape(pc::esc::ClrRts));
    ASSERT_TRUE(a->ModemStatus(status));
    EXPECT_FALSE(status & pc::ms::CtsOn);
}

TEST_F(WineNullModem, LineChangesAndDataCompleteWaits)
{
    a->SetEventMask(pc::ev::Cts | pc::ev::Dsr | pc::ev::Rlsd | pc::ev::RxChar);
    EXPECT_EQ(WaitOnA([&] { b->Escape(pc::esc::ClrRts); }) & pc::ev::Cts, pc::ev::Cts);
    EXPECT_EQ(WaitOnA([&] { b->Escape(pc::esc::ClrDtr); }) & (pc::ev::Dsr | pc::ev::Rlsd),
              pc::ev::Dsr | pc::ev::Rlsd);
    EXPECT_EQ(WaitOnA([&] { b->Write("d", 1, 2000); }) & pc::ev::RxChar, pc::ev::RxChar);
    uint32_t errors = 0, queued = 0;
    ASSERT_TRUE(a->ClearErrors(errors, queued));
    EXPECT_EQ(queued, 1u);
}

}  // namespace
