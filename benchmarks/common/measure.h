// What the window benchmarks measure of their own process on Linux, and the event loop they run
// while a writer works: the resident memory, the time the calling thread waited on a run queue
// (the machine's load, not the program's work), and a plain event loop that ends on a
// condition or a deadline. Header only: each benchmark is one executable.
//
// Threads: every function reads or runs the calling thread's own state; RunLoopUntil runs on
// the user-interface thread.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <unistd.h>

#include <fstream>
#include <functional>

namespace benchmarks {

// The process's resident memory in MB (10^6 bytes).
inline double ResidentMb()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1e6;
}

// Seconds this thread has waited on a run queue, runnable but not running.
inline double RunQueueWaitSeconds()
{
    std::ifstream in("/proc/thread-self/schedstat");
    unsigned long long running = 0, waiting = 0;
    in >> running >> waiting;
    return static_cast<double>(waiting) / 1e9;
}

// Runs the event loop until the condition holds (checked every 100 ms) or the deadline passes.
// A plain loop, as the program's own: QTest's waits sleep between their turns of the loop.
inline void RunLoopUntil(const std::function<bool()>& condition, double seconds)
{
    QEventLoop loop;
    QTimer check;
    QElapsedTimer elapsed;
    elapsed.start();
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (condition() || static_cast<double>(elapsed.nsecsElapsed()) / 1e9 > seconds)
            loop.quit();
    });
    check.start(100);
    if (!condition())
        loop.exec();
}

}  // namespace benchmarks
