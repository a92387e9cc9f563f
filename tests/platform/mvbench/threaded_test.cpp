// The bench used from several threads at once: concurrent changes of the shared state are
// all kept, and a blocked read is woken by a write from another thread.
#include "benchfixture.h"
#include "benchtest.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

using namespace benchtest;

namespace {

TEST(BenchThreads, ConcurrentChangesAreAllKept)
{
    testsupport::ScopedBench bench;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 5; ++i)
                mvbench::Plug();
            MV_HANDLE h = nullptr;
            if (MV_Open(0, &h) == MV_OK) {
                WriteWord(h, static_cast<uint16_t>(t), static_cast<uint16_t>(t));
                MV_Close(h);
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(mvbench::List().size(), 22u);
    const auto image = mvbench::Dump(0);
    ASSERT_TRUE(image);
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ((*image)[2 * t], t);
}

// The read's own deadline is far beyond the wait for it here: a read that returns only at its
// deadline (the write did not wake it) fails the test instead of passing late.
TEST(BenchThreads, WriteWakesABlockedRead)
{
    constexpr uint32_t kReadDeadlineMs = 120000;
    testsupport::ScopedBench bench;
    MVB_PORT com2 = nullptr;
    MV_HANDLE h = nullptr;
    ASSERT_EQ(MVB_PortOpen("COM2", &com2), 0);
    ASSERT_EQ(MV_Open(0, &h), MV_OK);
    SetUpConverter(h, 9600, 0);
    ASSERT_EQ(MVB_PortSetTimeouts(com2, 0, 0, kReadDeadlineMs, 0, 0), 0);
    std::string got;
    std::promise<void> read;
    std::future<void> readDone = read.get_future();
    std::thread reader([&] {
        got = PortReadAll(com2, 3);
        read.set_value();
    });
    // Most likely blocked by now; a write before the read blocks must be read all the same.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    uint32_t put = 0;
    ASSERT_EQ(MV_Write(h, "xyz", 3, &put), MV_OK);
    const bool woken = readDone.wait_for(std::chrono::milliseconds(kReadDeadlineMs / 2)) == std::future_status::ready;
    reader.join();
    EXPECT_TRUE(woken) << "the read returned only at its own deadline";
    EXPECT_EQ(got, "xyz");
    MV_Close(h);
    MVB_PortClose(com2);
}

}  // namespace
