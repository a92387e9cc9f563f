// What the window benchmarks measure of their own process on Linux, and the event loop they run
// while a writer works: the resident memory, the time the calling thread waited on a run queue
// (the machine's load, not the program's work), a plain event loop that ends on a condition or
// a deadline, and a watch on how long a thread goes without being free for new events. Header
// only: each benchmark is one executable.
//
// Threads: every function reads or runs the calling thread's own state; RunLoopUntil runs on
// the user-interface thread. A ThreadWatch samples on a thread of its own; its other calls may
// come from any thread.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <fcntl.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

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

// How long the user-interface thread is unavailable for new events, watched from a thread of
// its own so that the watching adds next to no work to the thread watched (a 10 ms timer on it
// would wake it a hundred times a second, as the program never does). The watched thread's
// state in /proc is sampled every 2 ms. Once it has been neither asleep nor seen answering for
// 10 ms, a probe is posted to it; the time from the last moment it was seen asleep or answering
// to the probe's delivery is how long new input would have waited (an upper bound, by at most
// a sample's interval). A thread that is busy all the time but answers at once is available.
class ThreadWatch {
public:
    // Watches the thread that `context` lives in, which must be the calling thread.
    explicit ThreadWatch(QObject* context)
        : context_(context), tid_(static_cast<pid_t>(::syscall(SYS_gettid)))
    {
        const std::string path = "/proc/self/task/" + std::to_string(tid_) + "/stat";
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        thread_ = std::thread([this] { Run(); });
        pthread_setname_np(thread_.native_handle(), kName);
    }
    ~ThreadWatch()
    {
        stop_.store(true);
        thread_.join();
        if (fd_ >= 0)
            ::close(fd_);
    }
    ThreadWatch(const ThreadWatch&) = delete;
    ThreadWatch& operator=(const ThreadWatch&) = delete;

    // Starts a new measure: the worst stretch from now on.
    void Restart() { restart_.store(true); }
    double WorstMs() const { return worstMs_.load(); }
    // The name of the watch's own thread, whose processor time is not the program's.
    static constexpr const char* kName = "thread watch";

private:
    static double NowMs()
    {
        timespec t{};
        clock_gettime(CLOCK_MONOTONIC, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    }
    // Whether the watched thread is asleep (waiting), from its stat line's state field.
    bool Asleep() const
    {
        char text[512];
        const ssize_t n = fd_ < 0 ? -1 : ::pread(fd_, text, sizeof text - 1, 0);
        if (n <= 0)
            return true;
        text[n] = 0;
        const char* close = std::strrchr(text, ')');
        return !close || close[1] == 0 || close[2] == 'S' || close[2] == 'I';
    }
    void Run()
    {
        double free = NowMs();  // the thread was last seen asleep or answering then
        double probeSince = -1;  // a probe is on its way for a stretch that began then
        while (!stop_.load()) {
            const timespec pause{0, 2'000'000};
            nanosleep(&pause, nullptr);
            const double now = NowMs();
            if (restart_.exchange(false))
                worstMs_.store(0);
            const double answered = answeredAt_.exchange(-1);
            if (answered >= 0 && probeSince >= 0) {
                worstMs_.store(std::max(worstMs_.load(), answered - probeSince));
                free = std::max(free, answered);
                probeSince = -1;
            }
            if (probeSince >= 0)
                continue;
            if (Asleep())
                free = now;
            else if (now - free >= 10) {
                probeSince = free;
                QMetaObject::invokeMethod(context_, [this] { answeredAt_.store(NowMs()); }, Qt::QueuedConnection);
            }
        }
    }

    QObject* context_;
    pid_t tid_;
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<bool> restart_{false};
    std::atomic<double> worstMs_{0};
    std::atomic<double> answeredAt_{-1};
    std::thread thread_;
};

}  // namespace benchmarks
