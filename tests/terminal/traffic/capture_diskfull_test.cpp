// A capture onto a full disk: a child process with a file size limit (and SIGXFSZ ignored, so
// a write past the limit fails instead of killing it) captures more than the limit lets
// through. It must get exactly one error, keep running otherwise, and leave a file of whole
// lines holding the start of what was recorded.
#include "capture.h"
#include "capturetesting.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace traffic;

namespace {

constexpr rlim_t kLimit = 64 * 1024;
constexpr int kChunks = 2000;

std::vector<uint8_t> Chunk(int i)
{
    std::vector<uint8_t> bytes(100);
    for (size_t j = 0; j < bytes.size(); ++j)
        bytes[j] = static_cast<uint8_t>(i * 7 + j);
    return bytes;
}

// The child's run; its exit code says what went wrong (0: nothing).
int CaptureIntoLimit(const std::string& path)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{kLimit, kLimit};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        return 10;
    CaptureWriter writer;
    CaptureError error;
    if (!writer.Start(path, error))
        return 11;
    int errors = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int i = 0; i < kChunks; ++i) {
        const std::vector<uint8_t> bytes = Chunk(i);
        writer.Received(1 + i % 2, bytes.data(), bytes.size());
        if (i % 50 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        errors += writer.TakeError().has_value();
    }
    // Wait for the failure (2000 lines of over 400 bytes cannot fit in 64 KiB).
    while (!errors && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (const auto e = writer.TakeError()) {
            ++errors;
            if (e->code != EFBIG)
                return 12;
        }
    }
    if (errors != 1)
        return 13;
    if (writer.Running())
        return 14;
    if (writer.TakeError())
        return 15;
    writer.Stop();
    return 0;
}

}  // namespace

TEST(CaptureWriter, AFullDiskStopsTheCaptureWithOneErrorAndWholeLines)
{
    captesting::ScratchDir dir;
    const std::string path = (dir.Path() / "full.cap").string();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(CaptureIntoLimit(path));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    EXPECT_LE(std::filesystem::file_size(path), kLimit);
    CaptureFile back;
    ASSERT_TRUE(ReadCaptureFile(path, back));
    EXPECT_TRUE(back.signature);
    EXPECT_FALSE(back.truncated);
    EXPECT_TRUE(back.problems.empty());
    EXPECT_FALSE(back.stopped);
    ASSERT_GT(back.records.size(), 10u);
    ASSERT_LT(back.records.size(), static_cast<size_t>(kChunks));
    for (size_t i = 0; i < back.records.size(); ++i) {
        ASSERT_EQ(back.records[i].bytes, Chunk(static_cast<int>(i))) << i;
        ASSERT_EQ(back.records[i].port, 1 + static_cast<int>(i % 2));
    }
}
