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
#include <sched.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
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

// When the whole machine was stopped: a virtual machine whose host gives its processors to
// others for a while (here, when the host was busy, tens of stops a minute of up to 190 ms,
// hardly any of it counted as steal time). A heartbeat thread per processor, pinned to it at the lowest real-time
// priority (so that no ordinary thread holds it off), wakes every 10 ms; a wake more than 10 ms
// past its time means that processor ran nothing from its time on. Where every processor's
// heartbeat was late at once, the machine was stopped: no thread of any program ran. Without
// the right to real-time priority nothing is detected (Available() is false).
class MachineStops {
public:
    MachineStops()
    {
        cpu_set_t allowed;
        CPU_ZERO(&allowed);
        if (sched_getaffinity(0, sizeof allowed, &allowed) != 0)
            return;
        std::vector<int> cpus;
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
            if (CPU_ISSET(cpu, &allowed))
                cpus.push_back(cpu);
        late_.resize(cpus.size());
        available_ = !cpus.empty();
        for (size_t i = 0; i < cpus.size(); ++i) {
            threads_.emplace_back([this, i] { Beat(i); });
            pthread_t thread = threads_.back().native_handle();
            pthread_setname_np(thread, kName);
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(cpus[i], &one);
            sched_param priority{};
            priority.sched_priority = sched_get_priority_min(SCHED_FIFO);
            if (pthread_setaffinity_np(thread, sizeof one, &one) != 0 ||
                pthread_setschedparam(thread, SCHED_FIFO, &priority) != 0)
                available_ = false;
        }
    }
    ~MachineStops()
    {
        stop_.store(true);
        for (auto& thread : threads_)
            thread.join();
    }
    MachineStops(const MachineStops&) = delete;
    MachineStops& operator=(const MachineStops&) = delete;

    bool Available() const { return available_; }
    // The milliseconds between `fromMs` and `toMs` (CLOCK_MONOTONIC) during which the machine
    // was stopped.
    double StoppedMs(double fromMs, double toMs) const
    {
        if (!available_ || toMs <= fromMs)
            return 0;
        std::lock_guard lock(mutex_);
        std::vector<Span> common{{fromMs, toMs}};
        for (const std::vector<Span>& late : late_) {
            std::vector<Span> both;
            for (size_t a = 0, b = 0; a < common.size() && b < late.size();) {
                const double from = std::max(common[a].from, late[b].from);
                const double to = std::min(common[a].to, late[b].to);
                if (from < to)
                    both.push_back({from, to});
                (common[a].to < late[b].to ? a : b)++;
            }
            common = std::move(both);
        }
        double stopped = 0;
        for (const Span& span : common)
            stopped += span.to - span.from;
        return stopped;
    }
    // The name of the heartbeat threads, whose processor time is not the program's.
    static constexpr const char* kName = "machine watch";

    static double NowMs()
    {
        timespec t{};
        clock_gettime(CLOCK_MONOTONIC, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    }

private:
    struct Span {
        double from, to;
    };
    static constexpr double kPeriodMs = 10;

    void Beat(size_t index)
    {
        while (!stop_.load()) {
            const double before = NowMs();
            const timespec pause{0, static_cast<long>(kPeriodMs * 1e6)};
            nanosleep(&pause, nullptr);
            const double after = NowMs();
            if (after - before > 2 * kPeriodMs) {
                std::lock_guard lock(mutex_);
                late_[index].push_back({before + kPeriodMs, after});
            }
        }
    }

    bool available_ = false;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::vector<Span>> late_;  // per processor, when its heartbeat was held off
    std::vector<std::thread> threads_;
};

// How long the user-interface thread is unavailable for new events, watched from a thread of
// its own so that the watching adds next to no work to the thread watched (a 10 ms timer on it
// would wake it a hundred times a second, as the program never does). The watched thread's
// state in /proc is sampled every 2 ms. Once it has been neither asleep nor seen answering for
// 10 ms, a probe is posted to it; the time from the last moment it was seen asleep or answering
// to the probe's delivery is how long new input would have waited (an upper bound, by at most
// a sample's interval). A thread that is busy all the time but answers at once is available.
// When the watch itself was held up between two samples, a stretch begins no earlier than the
// thread's own running and waiting time since it was last seen asleep allows.
//
// A stretch is made of the thread's own work and of the machine's: its waiting on a run queue
// for a processor others hold, the host's steal, and the machine's stops (no program runs
// then, yet the thread's clock goes on as running or waiting, whichever it was doing). The
// worst stretch is the one with the most of the thread's own work: its running time (from its
// schedstat) less the part of the machine's stops in it that it cannot have spent waiting.
// For that stretch the watch tells its length, running, waiting, stops and steal, and it
// tells the longest stretch whatever it was made of.
class ThreadWatch {
public:
    // Watches the thread that `context` lives in, which must be the calling thread.
    explicit ThreadWatch(QObject* context, const MachineStops* stops = nullptr)
        : context_(context), stops_(stops), tid_(static_cast<pid_t>(::syscall(SYS_gettid)))
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
    // The most of its own work the thread did in one stretch without answering: its running
    // time in the stretch, less what of the machine's stops it can only have spent running.
    double WorstMs() const { return worstMs_.load(); }
    // Of that stretch: how long it was, and the machine's stops within it.
    double WorstLengthMs() const { return worstLengthMs_.load(); }
    double WorstStoppedMs() const { return worstStoppedMs_.load(); }
    // The longest stretch, whatever it was made of.
    double LongestMs() const { return longestMs_.load(); }
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
    static double NowMs() { return MachineStops::NowMs(); }
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
                worstStoppedMs_.store(0);
                worstLengthMs_.store(0);
                longestMs_.store(0);
                worstAtMs_.store(0);
                worstRunningMs_.store(0);
                worstWaitingMs_.store(0);
                worstStolenMs_.store(0);
            }
            const double answered = answeredAt_.exchange(-1);
            if (answered >= 0 && probeSince >= 0) {
                // The thread's clocks as it answered (read by the thread itself then), so that
                // what it ran after answering does not count.
                const double length = answered - probeSince;
                const double waitedMs = answeredWaitingMs_.load() - waitingAtProbe;
                const double ranMs = answeredBusyMs_.load() - busyAtProbe - waitedMs;
                const double waiting = std::clamp(waitedMs, 0.0, length);
                const double running = std::clamp(ranMs, 0.0, length);
                const double stopped = stops_ ? stops_->StoppedMs(probeSince, answered) : 0;
                // The thread's own work: its running time, less the machine's stops that it
                // cannot have spent waiting (the thread's clock goes on through a stop).
                const double own = std::max(0.0, running - std::max(0.0, stopped - waiting));
                longestMs_.store(std::max(longestMs_.load(), length));
                if (own > worstMs_.load()) {
                    const std::vector<double> stolen = StolenMs();
                    double mostStolen = 0;
                    for (size_t cpu = 0; cpu < stolen.size() && cpu < stolenAtProbe.size(); ++cpu)
                        mostStolen = std::max(mostStolen, stolen[cpu] - stolenAtProbe[cpu]);
                    worstMs_.store(own);
                    worstLengthMs_.store(length);
                    worstStoppedMs_.store(stopped);
                    worstAtMs_.store(probeSince - restartedAt);
                    worstWaitingMs_.store(waiting);
                    worstRunningMs_.store(running);
                    worstStolenMs_.store(mostStolen);
                }
                free = std::max(free, answered);
                busyAtFree = answeredBusyMs_.load();
                waitingAtFree = answeredWaitingMs_.load();
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
                QMetaObject::invokeMethod(
                    context_,
                    [this] {
                        double waiting = 0;
                        answeredBusyMs_.store(BusyMs(&waiting));
                        answeredWaitingMs_.store(waiting);
                        answeredAt_.store(NowMs());
                    },
                    Qt::QueuedConnection);
            }
        }
    }

    QObject* context_;
    const MachineStops* stops_;
    pid_t tid_;
    int fd_ = -1;
    int schedFd_ = -1;
    int statFd_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<bool> restart_{false};
    std::atomic<double> worstMs_{0};
    std::atomic<double> worstStoppedMs_{0};
    std::atomic<double> worstLengthMs_{0};
    std::atomic<double> longestMs_{0};
    std::atomic<double> worstRunningMs_{0};
    std::atomic<double> worstWaitingMs_{0};
    std::atomic<double> worstStolenMs_{0};
    std::atomic<double> worstAtMs_{0};
    std::atomic<double> answeredAt_{-1};
    std::atomic<double> answeredBusyMs_{0};  // the thread's running and waiting time as it answered
    std::atomic<double> answeredWaitingMs_{0};
    std::thread thread_;
};

}  // namespace benchmarks
