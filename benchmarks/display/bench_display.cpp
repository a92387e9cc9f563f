// Duoterm's window receiving on one port, offscreen, from a pseudo-terminal pair: first 20 s
// throttled at 1.2 MB/s (the rate of a 12 Mbaud line), then 20 s as fast as the pair carries
// bytes. The writer is a child process, so that the program's own processor time is that of
// this process (from /proc/self/stat, less the watch thread's below) and the writer never
// competes with it for a lock or a thread of its own. Reports the bytes shown against the bytes
// sent; how long the user-interface thread was unavailable (watched from a thread of its own,
// which adds no work to it): the most of its own work in one stretch, and the longest stretch
// whatever it was made of, the machine's stops (a shared virtual machine's host stops it now
// and then) told apart; the processor time at 1.2 MB/s and where it went by thread, the memory
// grown per MB received, and the rate shown unthrottled. Goals: every byte shown, never
// unavailable for more than 50 ms by its own work, at most 5 % of one core at 1.2 MB/s, at
// most 4 MB of memory per MB received, at least 20 MB/s shown unthrottled.
#include "measure.h"
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
#include <dirent.h>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>

using benchmarks::RunQueueWaitSeconds;
using benchmarks::ResidentMb;
using benchmarks::RunLoopUntil;
using benchmarks::ThreadWatch;

namespace {
// Processor time (user and system, seconds) of a /proc stat file, and the name in it.
double StatSeconds(const std::string& path, std::string* name = nullptr)
{
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t open = text.find('('), close = text.rfind(')');
    if (open == std::string::npos || close == std::string::npos)
        return 0;
    if (name)
        *name = text.substr(open + 1, close - open - 1);
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Processor time by thread name.
std::map<std::string, double> ThreadSeconds()
{
    std::map<std::string, double> seconds;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            std::string name;
            const double s = StatSeconds(std::string("/proc/self/task/") + entry->d_name + "/stat", &name);
            seconds[name] += s;
        }
        closedir(dir);
    }
    return seconds;
}

double Now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The writer: a child process writing random bytes to the far end for `seconds`, at most
// `bytesPerSecond` (0: as fast as the pair takes them), then reporting the count on `report`.
pid_t StartWriter(int masterFd, double seconds, double bytesPerSecond, int report)
{
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    std::mt19937 random(42);
    char chunk[4096];
    unsigned long long sent = 0;
    const double start = Now();
    for (;;) {
        const double elapsed = Now() - start;
        if (elapsed >= seconds)
            break;
        if (bytesPerSecond > 0 && static_cast<double>(sent) > elapsed * bytesPerSecond) {
            const timespec pause{0, 500000};
            nanosleep(&pause, nullptr);
            continue;
        }
        for (size_t i = 0; i < sizeof chunk; i += 4) {
            const uint32_t r = random();
            std::copy_n(reinterpret_cast<const char*>(&r), 4, chunk + i);
        }
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

struct Phase {
    double runQueueWait = 0;
    unsigned long long sent = 0;
    uint64_t shown = 0;
    double seconds = 0;
    double worstGapMs = 0;  // the most of the thread's own work in a stretch unavailable
    double worstLengthMs = 0;  // that stretch's length
    double worstStoppedMs = 0;  // the machine's stops in it
    double longestMs = 0;  // the longest stretch, whatever it was made of
    double stoppedS = 0;  // the machine stopped in the phase
    double worstRunningMs = 0;  // of the worst stretch, the interface thread running
    double worstWaitingMs = 0;  // and waiting for a processor
    double worstStolenMs = 0;  // and the host's steal from a processor meanwhile
    double worstAtS = 0;  // when it began, in seconds into the phase
    double cpuSeconds = 0;
    std::map<std::string, double> threads;
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testsupport::PtyPair pair;
    setenv("MODEMSHIM_PAIRS", (pair.SlavePath() + "=" + pair.SlavePath()).c_str(), 1);
    duoterm::TForm3Environment env;
    env.ports = [&](const QString&) { return TCustomComm::OpenSystemPort(QString::fromStdString(pair.SlavePath())); };
    env.portNames = [] { return std::vector<std::string>{}; };
    env.savedTextsPath = QStringLiteral("/dev/null/save.ini");
    duoterm::TForm3 window(env);
    window.show();
    window.Form().OpenPort->click();
    if (!window.Comm1().IsOpen()) {
        std::fprintf(stderr, "display: the port did not open\n");
        return 1;
    }
    const duoterm::TPortTraffic& traffic = window.Traffic(1);

    // The user-interface thread's availability, the machine's own stops apart.
    benchmarks::MachineStops stops;
    ThreadWatch watch(&app, &stops);

    auto runPhase = [&](double seconds, double bytesPerSecond) {
        Phase phase;
        const uint64_t shownBefore = traffic.Log().TotalBytes();
        int report[2];
        if (pipe(report) != 0)
            std::abort();
        const double cpuBefore = StatSeconds("/proc/self/stat");
        const double waitBefore = RunQueueWaitSeconds();
        const auto threadsBefore = ThreadSeconds();
        watch.Restart();
        const double phaseStartMs = benchmarks::MachineStops::NowMs();
        QElapsedTimer phaseClock;
        phaseClock.start();
        const pid_t writer = StartWriter(pair.MasterFd(), seconds, bytesPerSecond, report[1]);
        close(report[1]);
        // The user-interface thread runs a plain event loop while the child writes, as the
        // program's own does (QTest's waits sleep 10 ms between their turns of the loop, and
        // the port is not read while they sleep).
        int status = 0;
        RunLoopUntil([&] { return waitpid(writer, &status, WNOHANG) == writer; }, seconds + 60);
        if (read(report[0], &phase.sent, sizeof phase.sent) != sizeof phase.sent)
            phase.sent = 0;
        close(report[0]);
        // What is still on its way is shown within a few ticks.
        RunLoopUntil([&] { return traffic.Log().TotalBytes() - shownBefore >= phase.sent; }, 5);
        phase.seconds = static_cast<double>(phaseClock.nsecsElapsed()) / 1e9;
        phase.worstGapMs = watch.WorstMs();
        phase.worstStoppedMs = watch.WorstStoppedMs();
        phase.worstLengthMs = watch.WorstLengthMs();
        phase.longestMs = watch.LongestMs();
        phase.stoppedS = stops.StoppedMs(phaseStartMs, benchmarks::MachineStops::NowMs()) / 1e3;
        phase.worstRunningMs = watch.WorstRunningMs();
        phase.worstWaitingMs = watch.WorstWaitingMs();
        phase.worstStolenMs = watch.WorstStolenMs();
        phase.worstAtS = watch.WorstAtMs() / 1e3;
        phase.cpuSeconds = StatSeconds("/proc/self/stat") - cpuBefore;
        phase.runQueueWait = RunQueueWaitSeconds() - waitBefore;
        for (const auto& [name, s] : ThreadSeconds())
            phase.threads[name] = s - (threadsBefore.count(name) ? threadsBefore.at(name) : 0);
        phase.cpuSeconds -= phase.threads[ThreadWatch::kName] + phase.threads[benchmarks::MachineStops::kName];
        phase.shown = traffic.Log().TotalBytes() - shownBefore;
        return phase;
    };
    auto printThreads = [&stops](const Phase& phase) {
        std::printf("  user-interface thread runnable but not running (machine load): %.2f s\n", phase.runQueueWait);
        if (stops.Available())
            std::printf("  the machine stopped for %.2f s in all\n", phase.stoppedS);
        std::printf("  the longest unavailability, whatever it was made of: %.1f ms\n", phase.longestMs);
        std::printf("  the most of its own work in one: %.1f ms, in %.1f ms from %.2f s on: %.1f ms running, %.1f ms "
                    "waiting for a processor, %.1f ms of the machine stopped, up to %.0f ms of a processor taken by "
                    "the host\n",
                    phase.worstGapMs, phase.worstLengthMs, phase.worstAtS, phase.worstRunningMs,
                    phase.worstWaitingMs, phase.worstStoppedMs, phase.worstStolenMs);
        std::printf("  processor time by thread:");
        for (const auto& [name, s] : phase.threads)
            if (s > 0)
                std::printf(" %s %.2f s;", name.c_str(), s);
        std::printf("\n");
    };

    const double memoryBefore = ResidentMb();
    const Phase throttled = runPhase(20, 1.2e6);
    const Phase unthrottled = runPhase(20, 0);
    const double memoryAfter = ResidentMb();

    const uint64_t sent = throttled.sent + unthrottled.sent;
    const uint64_t shown = throttled.shown + unthrottled.shown;
    const double receivedMb = static_cast<double>(shown) / 1e6;
    const double memoryPerMb = receivedMb > 0 ? (memoryAfter - memoryBefore) / receivedMb : 0;
    const double worstGapMs = std::max(throttled.worstGapMs, unthrottled.worstGapMs);
    const double rate = static_cast<double>(unthrottled.shown) / 1e6 / unthrottled.seconds;
    const double cpuPercent = 100.0 * throttled.cpuSeconds / throttled.seconds;
    std::printf("throttled:   %.1f MB sent, %.1f MB shown in %.1f s, %.1f %% of a core, "
                "UI held by its own work at most %.1f ms\n",
                static_cast<double>(throttled.sent) / 1e6, static_cast<double>(throttled.shown) / 1e6,
                throttled.seconds, cpuPercent, throttled.worstGapMs);
    printThreads(throttled);
    std::printf("unthrottled: %.1f MB sent, %.1f MB shown in %.1f s, %.1f %% of a core, "
                "UI held by its own work at most %.1f ms\n",
                static_cast<double>(unthrottled.sent) / 1e6, static_cast<double>(unthrottled.shown) / 1e6,
                unthrottled.seconds, 100.0 * unthrottled.cpuSeconds / unthrottled.seconds, unthrottled.worstGapMs);
    printThreads(unthrottled);
    std::printf("memory: %.1f MB grown for %.1f MB received; the store's budget %.1f MB, %.1f MB of it dropped\n",
                memoryAfter - memoryBefore, receivedMb, static_cast<double>(traffic.Log().Budget()) / 1e6,
                static_cast<double>(traffic.Log().DroppedBytes()) / 1e6);
    if (std::FILE* load = std::fopen("/proc/loadavg", "r")) {
        char text[128] = {};
        if (std::fgets(text, sizeof text, load))
            std::printf("machine load (1, 5, 15 min): %s", text);
        std::fclose(load);
    }
    const bool ok = sent > 0 && shown == sent && worstGapMs <= 50 && cpuPercent <= 5 && memoryPerMb <= 4 && rate >= 20;
    std::printf("display: %lld bytes not shown (goal 0), UI unavailable by its own work at most %.1f ms (goal <= 50; "
                "%.1f ms with the machine's), %.1f %% of a core at 1.2 MB/s (goal <= 5), %.2f MB memory per MB received "
                "(goal <= 4), %.2f MB/s shown unthrottled (goal >= 20): %s\n",
                static_cast<long long>(sent) - static_cast<long long>(shown), worstGapMs,
                std::max(throttled.longestMs, unthrottled.longestMs), cpuPercent, memoryPerMb, rate,
                ok ? "PASS" : "FAIL");
    window.Comm1().Close();
    return ok ? 0 : 1;
}
