// A write through the driver is in the bench's state by the time the call returns, whatever
// becomes of the writer afterwards (here it is killed). Needs fork: Linux only.
#include "benchfixture.h"
#include "benchtest.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace benchtest;

namespace {

TEST(BenchDriver, WriteSurvivesTheWritersDeath)
{
    testsupport::ScopedBench bench;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        MV_HANDLE h = nullptr;
        char ok = (MV_Open(1, &h) == MV_OK && WriteWord(h, 9, 0x4242) == MV_OK) ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        for (;;)
            ::pause();
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_EQ(ok, 'y');
    const auto image = mvbench::Dump(1);
    ASSERT_TRUE(image.has_value()) << mvbench::LastError();
    EXPECT_EQ((*image)[18], 0x42);
    EXPECT_EQ((*image)[19], 0x42);
}

}  // namespace
