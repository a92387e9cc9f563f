// Duoterm's window receiving on both ports, offscreen, each from a pseudo-terminal pair whose
// far end a child process writes at 1.2 MB/s (the rate of a 12 Mbaud line), with the capture
// to a file on and the timeline window open: first 60 s under the views' default budget, then
// 20 s with a budget of 16 MiB, which the run goes past. The capture is read back with its
// parser and every received byte compared with what the writers sent (each writer's bytes
// come from a seeded generator, so they are generated again here rather than kept). Reports
// the bytes missing from the file or wrong in it, the longest time the user-interface thread
// was unavailable (a 10 ms timer's longest late start), the memory grown per MB received in
// the first run, and what the stores hold after the second. Goals: no byte missing or wrong,
// never unavailable for more than 50 ms, at most 4 MB of memory per MB received (the display
// benchmark's goal), the stores within their budget and one block after the second run.
#include "measure.h"
#include "captureformat.h"
#include "terminalport.h"
#include "ptypair.h"
#include "tform3.h"
#include "ui_tform3.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>

using benchmarks::RunQueueWaitSeconds;
using benchmarks::ResidentMb;
using benchmarks::RunLoopUntil;

namespace {
double Now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The bytes of a writer, in 4 KiB chunks from a generator seeded per writer and run.
struct Stream {
    std::mt19937 random;
    explicit Stream(unsigned seed) : random(seed) {}
    void Next(char* chunk, size_t size)
    {
        for (size_t i = 0; i < size; i += 4) {
            const uint32_t r = random();
            std::copy_n(reinterpret_cast<const char*>(&r), 4, chunk + i);
        }
    }
};

// A child process writing the stream to the far end for `seconds` at `bytesPerSecond`, then
// reporting the count on `report`.
pid_t StartWriter(int masterFd, unsigned seed, double seconds, double bytesPerSecond, int report)
{
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    Stream stream(seed);
    char chunk[4096];
    unsigned long long sent = 0;
    const double start = Now();
    for (;;) {
        const double elapsed = Now() - start;
        if (elapsed >= seconds)
            break;
        if (static_cast<double>(sent) > elapsed * bytesPerSecond) {
            const timespec pause{0, 500000};
            nanosleep(&pause, nullptr);
            continue;
        }
        stream.Next(chunk, sizeof chunk);
        size_t at = 0;
        while (at < sizeof chunk) {
            const ssize_t n = write(masterFd, chunk + at, sizeof chunk - at);
            if (n <= 0)
                _exit(1);
            at += static_cast<size_t>(n);
        }
        sent += sizeof chunk;
    }
    [[maybe_unused]] auto r = write(report, &sent, sizeof sent);
    _exit(0);
}

// Compares a port's received bytes in the capture with its writer's stream: the bytes that
// differ or are missing (or extra).
uint64_t Mismatches(const traffic::CaptureFile& file, int port, unsigned seed, uint64_t sent)
{
    Stream stream(seed);
    char chunk[4096];
    size_t at = sizeof chunk;
    uint64_t seen = 0, wrong = 0;
    for (const traffic::CaptureRecord& record : file.records) {
        if (record.kind != traffic::CaptureKind::Received || record.port != port)
            continue;
        for (const uint8_t byte : record.bytes) {
            if (seen++ >= sent) {
                ++wrong;
                continue;
            }
            if (at == sizeof chunk) {
                stream.Next(chunk, sizeof chunk);
                at = 0;
            }
            wrong += static_cast<uint8_t>(chunk[at++]) != byte;
        }
    }
    return wrong + (sent > seen ? sent - seen : 0);
}

struct Run {
    unsigned long long sent[2] = {};
    double worstGapMs = 0;
    double runQueueWait = 0;
    uint64_t missing = 0;
    bool fileWhole = false;
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testsupport::PtyPair pair1, pair2;
    setenv("MODEMSHIM_PAIRS", (pair1.SlavePath() + "=" + pair2.SlavePath()).c_str(), 1);
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("duoterm-bench-capture-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    duoterm::TForm3Environment env;
    env.ports = [&](const QString& name) {
        return TCustomComm::OpenSystemPort(
            QString::fromStdString(name.toUpper() == "COM1" ? pair1.SlavePath() : pair2.SlavePath()));
    };
    env.portNames = [] { return std::vector<std::string>{}; };
    env.savedTextsPath = QStringLiteral("/dev/null/save.ini");
    QString capturePath;
    env.capturePath = [&](QWidget*) { return capturePath; };
    duoterm::TForm3 window(env);
    window.show();
    window.Form().OpenPort->click();
    window.Form().OpenPort2->click();
    if (!window.Comm1().IsOpen() || !window.Comm2().IsOpen()) {
        std::fprintf(stderr, "capture: the ports did not open\n");
        return 1;
    }
    window.Form().LentaObmena->trigger();

    QElapsedTimer clock;
    clock.start();
    double lastTick = 0, worstGap = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const double now = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        worstGap = std::max(worstGap, now - lastTick - 10.0);
        lastTick = now;
    });

    int errors = 0;
    auto run = [&](const char* name, unsigned seed, double seconds, double* memoryPerMb) {
        Run result;
        capturePath = QString::fromStdString((folder / (std::string(name) + ".txt")).string());
        window.Form().ZapisVFail->trigger();
        const uint64_t before[2] = {window.Traffic(1).Log().TotalBytes(), window.Traffic(2).Log().TotalBytes()};
        const double memoryBefore = ResidentMb();
        int report[2][2];
        pid_t writers[2];
        const double waitBefore = RunQueueWaitSeconds();
        lastTick = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        worstGap = 0;
        probe.start(10);
        for (int side = 0; side < 2; ++side) {
            if (pipe(report[side]) != 0)
                std::abort();
            writers[side] = StartWriter((side == 0 ? pair1 : pair2).MasterFd(), seed + side, seconds, 1.2e6,
                                        report[side][1]);
            close(report[side][1]);
        }
        int done = 0;
        RunLoopUntil([&] {
            for (int side = 0; side < 2; ++side) {
                int status = 0;
                if (writers[side] > 0 && waitpid(writers[side], &status, WNOHANG) == writers[side]) {
                    writers[side] = 0;
                    ++done;
                }
            }
            return done == 2;
        }, seconds + 60);
        for (int side = 0; side < 2; ++side) {
            if (read(report[side][0], &result.sent[side], sizeof result.sent[side]) != sizeof result.sent[side])
                result.sent[side] = 0;
            close(report[side][0]);
        }
        RunLoopUntil([&] {
            return window.Traffic(1).Log().TotalBytes() - before[0] >= result.sent[0] &&
                   window.Traffic(2).Log().TotalBytes() - before[1] >= result.sent[1];
        }, 5);
        probe.stop();
        result.worstGapMs = worstGap;
        result.runQueueWait = RunQueueWaitSeconds() - waitBefore;
        const uint64_t received = window.Traffic(1).Log().TotalBytes() - before[0] +
                                  window.Traffic(2).Log().TotalBytes() - before[1];
        if (memoryPerMb)
            *memoryPerMb = received > 0 ? (ResidentMb() - memoryBefore) / (static_cast<double>(received) / 1e6) : 0;
        window.Form().OstanovitZapis->trigger();
        traffic::CaptureFile file;
        if (!traffic::ReadCaptureFile(capturePath.toStdString(), file)) {
            std::fprintf(stderr, "capture: %s cannot be read back\n", qPrintable(capturePath));
            ++errors;
        }
        result.fileWhole = file.signature && file.stopped && !file.truncated && file.problems.empty();
        result.missing = Mismatches(file, 1, seed, result.sent[0]) + Mismatches(file, 2, seed + 1, result.sent[1]);
        std::filesystem::remove(capturePath.toStdString());
        std::printf("%s: %.1f + %.1f MB sent in %.0f s, %llu bytes missing or wrong in the capture, file %s, UI "
                    "unavailable at most %.1f ms (runnable but not running, machine load: %.2f s)\n",
                    name, static_cast<double>(result.sent[0]) / 1e6, static_cast<double>(result.sent[1]) / 1e6,
                    seconds, static_cast<unsigned long long>(result.missing), result.fileWhole ? "whole" : "NOT whole",
                    result.worstGapMs, result.runQueueWait);
        std::fflush(stdout);
        return result;
    };

    double memoryPerMb = 0;
    std::printf("views' budget: %.0f MB per store (default)\n", static_cast<double>(window.ViewBudget()) / 1e6);
    const Run first = run("default-budget", 1000, 60, &memoryPerMb);
    std::printf("memory: %.2f MB grown per MB received\n", memoryPerMb);

    // Past the budget: the stores keep to it, the capture keeps everything.
    constexpr size_t kBudget = size_t{16} << 20;
    window.SetViewBudget(kBudget);
    const Run second = run("past-budget", 2000, 20, nullptr);
    size_t held = 0;
    for (int side = 1; side <= 2; ++side)
        held = std::max({held, window.Traffic(side).Log().HeldBytes(), window.Traffic(side).SentLog().HeldBytes()});
    constexpr size_t kBlock = size_t{4} << 20;
    std::printf("past the budget: the largest store holds %.1f MB (budget %.1f MB and one %.1f MB block); %llu "
                "bytes dropped from the views of port 1\n",
                static_cast<double>(held) / 1e6, static_cast<double>(kBudget) / 1e6, static_cast<double>(kBlock) / 1e6,
                static_cast<unsigned long long>(window.Traffic(1).Log().DroppedBytes()));
    std::filesystem::remove_all(folder);
    if (std::FILE* load = std::fopen("/proc/loadavg", "r")) {
        char text[128] = {};
        if (std::fgets(text, sizeof text, load))
            std::printf("machine load (1, 5, 15 min): %s", text);
        std::fclose(load);
    }

    const uint64_t missing = first.missing + second.missing;
    const double worstGapMs = std::max(first.worstGapMs, second.worstGapMs);
    const bool ok = errors == 0 && first.sent[0] > 0 && first.sent[1] > 0 && missing == 0 && first.fileWhole &&
                    second.fileWhole && worstGapMs <= 50 && memoryPerMb <= 4 && held <= kBudget + kBlock &&
                    window.Traffic(1).Log().DroppedBytes() > 0;
    std::printf("capture: %llu bytes missing or wrong in the capture (goal 0), UI unavailable at most %.1f ms (goal <= "
                "50), %.2f MB memory per MB received (goal <= 4), stores past the budget %.1f MB (goal <= %.1f): %s\n",
                static_cast<unsigned long long>(missing), worstGapMs, memoryPerMb, static_cast<double>(held) / 1e6,
                static_cast<double>(kBudget + kBlock) / 1e6, ok ? "PASS" : "FAIL");
    window.Comm1().Close();
    window.Comm2().Close();
    return ok ? 0 : 1;
}
