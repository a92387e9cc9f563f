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
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

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
// When the watch itself was held up between two samples, a stretch begins no earlier than the
// thread's own running and waiting time since it was last seen asleep allows. For the worst
// stretch it also tells how much of it the thread ran and how much it waited on a
// run queue (from its schedstat), so that the program's own work and the machine's load can be
// told apart.
class ThreadWatch {
public:
    // Watches the thread that `context` lives in, which must be the calling thread.
    explicit ThreadWatch(QObject* context)
        : context_(context), tid_(static_cast<pid_t>(::syscall(SYS_gettid)))
    {
        const std::string task = "/proc/self/task/" + std::to_string(tid_);
        fd_ = ::open((task + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
        schedFd_ = ::open((task + "/schedstat").c_str(), O_RDONLY | O_CLOEXEC);
        statFd_ = ::open("/proc/stat", O_RDONLY | O_CLOEXEC);
        thread_ = std::thread([this] { Run(); });
        pthread_setname_np(thread_.native_handle(), kName);
    }
    ~ThreadWatch()
    {
        stop_.store(true);
        thread_.join();
        if (fd_ >= 0)
            ::close(fd_);
        if (schedFd_ >= 0)
            ::close(schedFd_);
        if (statFd_ >= 0)
            ::close(statFd_);
    }
    ThreadWatch(const ThreadWatch&) = delete;
    ThreadWatch& operator=(const ThreadWatch&) = delete;

    // Starts a new measure: the worst stretch from now on.
    void Restart() { restart_.store(true); }
    double WorstMs() const { return worstMs_.load(); }
    // Of the worst stretch: the milliseconds the thread ran, and those it waited on a run queue.
    double WorstRunningMs() const { return worstRunningMs_.load(); }
    double WorstWaitingMs() const { return worstWaitingMs_.load(); }
    // Of the worst stretch: the most time the host took from one of the machine's processors
    // (a virtual machine's steal time, counted in the system's ticks).
    double WorstStolenMs() const { return worstStolenMs_.load(); }
    // When the worst stretch began, in ms since the measure began.
    double WorstAtMs() const { return worstAtMs_.load(); }
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
    // The watched thread's processor time and run-queue wait so far, in ms.
    double BusyMs(double* waitingMs = nullptr) const
    {
        char text[128];
        const ssize_t n = schedFd_ < 0 ? -1 : ::pread(schedFd_, text, sizeof text - 1, 0);
        unsigned long long running = 0, waiting = 0;
        if (n > 0) {
            text[n] = 0;
            if (std::sscanf(text, "%llu %llu", &running, &waiting) != 2)
                running = waiting = 0;
        }
        if (waitingMs)
            *waitingMs = static_cast<double>(waiting) / 1e6;
        return static_cast<double>(running + waiting) / 1e6;
    }
    // Per processor, the time the host has given to others so far (a virtual machine's steal
    // time, in the system's ticks), in ms.
    std::vector<double> StolenMs() const
    {
        std::vector<double> stolen;
        char all[4096];
        const ssize_t m = statFd_ < 0 ? -1 : ::pread(statFd_, all, sizeof all - 1, 0);
        if (m <= 0)
            return stolen;
        all[m] = 0;
        static const double msPerTick = 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
        for (const char* line = std::strstr(all, "\ncpu"); line; line = std::strstr(line + 1, "\ncpu")) {
            unsigned long long v[8] = {};
            if (std::sscanf(line + 1, "cpu%*u %llu %llu %llu %llu %llu %llu %llu %llu", &v[0], &v[1], &v[2], &v[3],
                            &v[4], &v[5], &v[6], &v[7]) == 8)
                stolen.push_back(static_cast<double>(v[7]) * msPerTick);
        }
        return stolen;
    }
    void Run()
    {
        double free = NowMs();  // the thread was last seen asleep or answering then
        double waitingAtFree = 0;
        double busyAtFree = BusyMs(&waitingAtFree);  // its running and waiting time then
        double sampled = free;  // the watch's own last sample
        double restartedAt = free;
        double probeSince = -1;  // a probe is on its way for a stretch that began then
        double waitingAtProbe = 0;
        double busyAtProbe = 0;
        std::vector<double> stolenAtProbe;
        while (!stop_.load()) {
            const timespec pause{0, 2'000'000};
            nanosleep(&pause, nullptr);
            const double now = NowMs();
            const double previous = std::exchange(sampled, now);
            if (restart_.exchange(false)) {
                restartedAt = now;
                worstMs_.store(0);
                worstAtMs_.store(0);
                worstRunningMs_.store(0);
                worstWaitingMs_.store(0);
                worstStolenMs_.store(0);
            }
            const double answered = answeredAt_.exchange(-1);
            if (answered >= 0 && probeSince >= 0) {
                if (answered - probeSince > worstMs_.load()) {
                    double waiting = 0;
                    const double busy = BusyMs(&waiting);
                    const std::vector<double> stolen = StolenMs();
                    double mostStolen = 0;
                    for (size_t cpu = 0; cpu < stolen.size() && cpu < stolenAtProbe.size(); ++cpu)
                        mostStolen = std::max(mostStolen, stolen[cpu] - stolenAtProbe[cpu]);
                    worstMs_.store(answered - probeSince);
                    worstAtMs_.store(probeSince - restartedAt);
                    worstWaitingMs_.store(waiting - waitingAtProbe);
                    worstRunningMs_.store(busy - busyAtProbe - (waiting - waitingAtProbe));
                    worstStolenMs_.store(mostStolen);
                }
                free = std::max(free, answered);
                busyAtFree = BusyMs(&waitingAtFree);
                probeSince = -1;
            }
            if (probeSince >= 0)
                continue;
            if (Asleep()) {
                free = now;
                busyAtFree = BusyMs(&waitingAtFree);
                continue;
            }
            // When the watch itself was held up, the thread may have slept for most of the
            // time unseen: it has been busy at most as long as it ran and waited to run since.
            const double busy = BusyMs();
            if (now - previous > 4)
                free = std::max(free, now - (busy - busyAtFree) - 2);
            if (now - free >= 10) {
                probeSince = free;
                waitingAtProbe = waitingAtFree;
                busyAtProbe = busyAtFree;
                stolenAtProbe = StolenMs();
                QMetaObject::invokeMethod(context_, [this] { answeredAt_.store(NowMs()); }, Qt::QueuedConnection);
            }
        }
    }

    QObject* context_;
    pid_t tid_;
    int fd_ = -1;
    int schedFd_ = -1;
    int statFd_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<bool> restart_{false};
    std::atomic<double> worstMs_{0};
    std::atomic<double> worstRunningMs_{0};
    std::atomic<double> worstWaitingMs_{0};
    std::atomic<double> worstStolenMs_{0};
    std::atomic<double> worstAtMs_{0};
    std::atomic<double> answeredAt_{-1};
    std::thread thread_;
};

}  // namespace benchmarks
