// Duoterm's window receiving on one port, offscreen, from a pseudo-terminal pair: first 20 s
// throttled at 1.2 MB/s (the rate of a 12 Mbaud line), then 20 s as fast as the pair carries
// bytes. Reports the bytes shown against the bytes sent, the longest time the user-interface
// thread was unavailable (a 10 ms timer's longest late start), the memory grown per MB
// received, and the rate shown unthrottled. Goals: no byte lost, never unavailable for more
// than 50 ms, at most 4 MB of memory per MB received, at least 3.3 MB/s shown unthrottled.
#include "terminalport.h"
#include "ptypair.h"
#include "tform3.h"
#include "ui_tform3.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <thread>

namespace {

double ResidentMb()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1e6;
}

struct Phase {
    uint64_t sent = 0;
    uint64_t shown = 0;
    double seconds = 0;
    double worstGapMs = 0;
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

    // The user-interface thread's availability: how late a 10 ms timer fires at worst.
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

    auto runPhase = [&](double seconds, double bytesPerSecond) {
        Phase phase;
        const uint64_t shownBefore = traffic.Log().TotalBytes();
        std::atomic<bool> done{false};
        std::atomic<uint64_t> sent{0};
        std::thread writer([&] {
            std::mt19937 random(42);
            std::vector<char> chunk(4096);
            const auto start = std::chrono::steady_clock::now();
            for (;;) {
                const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                if (elapsed >= seconds)
                    break;
                if (bytesPerSecond > 0 && static_cast<double>(sent.load()) > elapsed * bytesPerSecond) {
                    std::this_thread::sleep_for(std::chrono::microseconds(500));
                    continue;
                }
                for (char& c : chunk)
                    c = static_cast<char>(random());
                pair.WriteMaster(chunk.data(), chunk.size());
                sent += chunk.size();
            }
            done = true;
        });
        lastTick = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        worstGap = 0;
        probe.start(10);
        QElapsedTimer phaseClock;
        phaseClock.start();
        while (!done.load())
            QTest::qWait(5);
        writer.join();
        // What is still on its way is shown within a few ticks.
        QTest::qWaitFor([&] { return traffic.Log().TotalBytes() - shownBefore >= sent.load(); }, 5000);
        phase.seconds = static_cast<double>(phaseClock.nsecsElapsed()) / 1e9;
        probe.stop();
        phase.sent = sent.load();
        phase.shown = traffic.Log().TotalBytes() - shownBefore;
        phase.worstGapMs = worstGap;
        return phase;
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
    std::printf("throttled:   %.1f MB sent, %.1f MB shown, UI unavailable at most %.1f ms\n",
                static_cast<double>(throttled.sent) / 1e6, static_cast<double>(throttled.shown) / 1e6, throttled.worstGapMs);
    std::printf("unthrottled: %.1f MB sent, %.1f MB shown in %.1f s, UI unavailable at most %.1f ms\n",
                static_cast<double>(unthrottled.sent) / 1e6, static_cast<double>(unthrottled.shown) / 1e6,
                unthrottled.seconds, unthrottled.worstGapMs);
    std::printf("memory: %.1f MB grown for %.1f MB received\n", memoryAfter - memoryBefore, receivedMb);
    const bool ok = shown == sent && worstGapMs <= 50 && memoryPerMb <= 4 && rate >= 3.3;
    std::printf("display: %lld bytes lost (goal 0), UI unavailable at most %.1f ms (goal <= 50), "
                "%.2f MB memory per MB received (goal <= 4), %.2f MB/s shown unthrottled (goal >= 3.3): %s\n",
                static_cast<long long>(sent) - static_cast<long long>(shown), worstGapMs, memoryPerMb, rate,
                ok ? "PASS" : "FAIL");
    window.Comm1().Close();
    return ok ? 0 : 1;
}
