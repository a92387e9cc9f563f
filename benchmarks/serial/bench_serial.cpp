// Throughput and latency of the serial port component on pseudo-terminals, against plain
// reads and writes on the same line. The line runs from one pseudo-terminal to another
// through a bridge thread that copies between their far ends, for both measurements alike.
#include "comm.h"
#include "ptypair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

using testsupport::PtyPair;
using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t kThroughputBytes = 64u << 20;
constexpr int kLatencySamples = 300;

// Copies everything arriving at one far end to the other until stopped.
class Bridge {
public:
    Bridge(int from, int to) : thread_([this, from, to] { Run(from, to); }) {}
    ~Bridge()
    {
        stop_ = true;
        thread_.join();
    }

private:
    void Run(int from, int to)
    {
        std::vector<char> buffer(65536);
        while (!stop_) {
            pollfd pfd{from, POLLIN, 0};
            if (::poll(&pfd, 1, 20) <= 0)
                continue;
            const ssize_t n = ::read(from, buffer.data(), buffer.size());
            for (ssize_t done = 0; n > 0 && done < n;) {
                const ssize_t w = ::write(to, buffer.data() + done, static_cast<size_t>(n - done));
                if (w > 0)
                    done += w;
                else {
                    pollfd out{to, POLLOUT, 0};
                    ::poll(&out, 1, 20);
                    if (stop_)
                        return;
                }
            }
        }
    }
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
        } else {
            pollfd pfd{fd, POLLOUT, 0};
            ::poll(&pfd, 1, 100);
        }
    }
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Figures {
    double mbPerSecond = 0;
    double latencyUs = 0;
};

// Plain write on one near end, plain read on the other.
Figures MeasureRaw()
{
    PtyPair a, b;
    Bridge bridge(a.MasterFd(), b.MasterFd());
    Figures figures;
    std::vector<char> chunk(65536, 'r');
    {
        const auto start = Clock::now();
        std::thread writer([&] {
            for (size_t sent = 0; sent < kThroughputBytes; sent += chunk.size())
                WriteAll(a.SlaveFd(), chunk.data(), chunk.size());
        });
        std::vector<char> buffer(65536);
        for (size_t got = 0; got < kThroughputBytes;) {
            pollfd pfd{b.SlaveFd(), POLLIN, 0};
            ::poll(&pfd, 1, 1000);
            const ssize_t n = ::read(b.SlaveFd(), buffer.data(), buffer.size());
            if (n > 0)
                got += static_cast<size_t>(n);
        }
        writer.join();
        figures.mbPerSecond = kThroughputBytes / Seconds(start) / 1e6;
    }
    std::vector<double> samples;
    for (int i = 0; i < kLatencySamples; ++i) {
        char byte = 'x';
        const auto start = Clock::now();
        WriteAll(a.SlaveFd(), &byte, 1);
        pollfd pfd{b.SlaveFd(), POLLIN, 0};
        ::poll(&pfd, 1, 1000);
        if (::read(b.SlaveFd(), &byte, 1) == 1)
            samples.push_back(Seconds(start) * 1e6);
    }
    figures.latencyUs = Median(samples);
    return figures;
}

// One port writes, the other reads on every received-data event on this thread.
Figures MeasureComponent()
{
    PtyPair a, b;
    Bridge bridge(a.MasterFd(), b.MasterFd());
    TComm sender, receiver;
    sender.SetDeviceName(QString::fromStdString(a.SlavePath()));
    receiver.SetDeviceName(QString::fromStdString(b.SlavePath()));
    sender.SetCharsTimeOut(0);
    receiver.SetCharsTimeOut(0);
    sender.SetMonitorEvents({});
    sender.Open();
    receiver.Open();

    Figures figures;
    std::vector<char> buffer(65536);
    size_t received = 0;
    Clock::time_point sentAt;
    std::vector<double> samples;
    bool latencyPhase = false;
    receiver.OnRxChar = [&](QObject*, int count) {
        while (count > 0) {
            const int n = receiver.Read(buffer.data(), std::min<int>(count, static_cast<int>(buffer.size())));
            if (n <= 0)
                break;
            received += static_cast<size_t>(n);
            count -= n;
        }
        if (latencyPhase)
            samples.push_back(Seconds(sentAt) * 1e6);
    };

    {
        std::vector<char> chunk(65536, 'c');
        const auto start = Clock::now();
        std::thread writer([&] {
            for (size_t sent = 0; sent < kThroughputBytes;) {
                const int n = sender.Write(chunk.data(), static_cast<int>(chunk.size()));
                if (n > 0)
                    sent += static_cast<size_t>(n);
            }
        });
        while (received < kThroughputBytes)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        writer.join();
        figures.mbPerSecond = kThroughputBytes / Seconds(start) / 1e6;
    }
    // Anything still queued goes before the timed single bytes.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 100)
        QCoreApplication::processEvents();

    latencyPhase = true;
    for (int i = 0; i < kLatencySamples; ++i) {
        const size_t before = samples.size();
        sentAt = Clock::now();
        sender.Write("x", 1);
        QElapsedTimer limit;
        limit.start();
        while (samples.size() == before && limit.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    sender.Close();
    receiver.Close();
    figures.latencyUs = samples.empty() ? 1e9 : Median(samples);
    return figures;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const Figures raw = MeasureRaw();
    const Figures comm = MeasureComponent();
    const double throughputRatio = comm.mbPerSecond / raw.mbPerSecond;
    const double latencyRatio = comm.latencyUs / raw.latencyUs;
    std::printf("raw pair:  %.1f MB/s, single byte %.1f us (median)\n", raw.mbPerSecond, raw.latencyUs);
    std::printf("component: %.1f MB/s, single byte %.1f us (median)\n", comm.mbPerSecond, comm.latencyUs);
    const bool ok = throughputRatio >= 0.3 && comm.mbPerSecond >= 10 && latencyRatio < 3;
    std::printf("serial: throughput %.2f x raw (%.1f MB/s; goal >= 0.30 x and >= 10 MB/s), "
                "latency %.2f x raw median (goal < 3.00 x): %s\n",
                throughputRatio, comm.mbPerSecond, latencyRatio, ok ? "met" : "NOT met");
    return ok ? 0 : 1;
}
