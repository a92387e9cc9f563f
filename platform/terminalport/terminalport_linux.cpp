// Linux backend: termios for the line, an epoll set over the device and an eventfd for the
// event wait, modem lines and line counters polled where the device has them.
#include "terminalport.h"
#include "lineconfig_linux.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>

namespace platform::terminalport {

namespace {

using Clock = std::chrono::steady_clock;

// How often modem lines and line counters are sampled while a wait runs: the kernel's own
// wait for modem changes cannot be interrupted, so they are polled.
constexpr int kSampleMs = 20;
// How often the output queue is checked while it drains after a write.
constexpr int kDrainMs = 2;
// While input streams in at a moderate rate, it is reported at most this often: many small
// arrivals then reach the owner in fewer, larger reports, each of which is a hand-over between
// two threads. Far less than the time the kernel's input buffers last at the fastest line rate.
constexpr auto kReportSpacing = std::chrono::milliseconds(20);
// From this rate (bytes a second read by the owner between two reports) on, every arrival is
// reported at once: held reports would leave a faster stream waiting for room in the buffers.
constexpr double kHeldRateLimit = 2e6;

bool FailErrno() { return Fail(static_cast<uint32_t>(errno)); }

}  // namespace

// The modem ioctls of a tty driver without modem lines (a pseudo-terminal) fail with these.
bool IsNoModemLinesError(uint32_t code)
{
    return code == ENOTTY || code == EINVAL;
}

namespace {

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// Waits for the descriptor to become ready for events, at most ms; false on time-out.
bool WaitReady(int fd, short events, int ms)
{
    pollfd pfd{fd, events, 0};
    for (;;) {
        const int rc = ::poll(&pfd, 1, ms);
        if (rc < 0 && errno == EINTR)
            continue;
        // A hung-up device is not ready: reads would only return nothing at once.
        return rc > 0 && !(pfd.revents & (POLLHUP | POLLERR | POLLNVAL));
    }
}

class LinuxTerminalPort final : public TerminalPort {
public:
    LinuxTerminalPort(int fd, int wake, int epoll) : fd_(fd), wake_(wake), epoll_(epoll)
    {
        // The driver's counters run from its own start; the open's values are the zero.
        hasCounts_ = ::ioctl(fd_, TIOCGICOUNT, &openCount_) == 0;
    }
    ~LinuxTerminalPort() override { Close(); }

    bool IsCharDevice() override
    {
        struct stat st {};
        if (::fstat(fd_, &st) != 0)
            return FailErrno();
        return S_ISCHR(st.st_mode);
    }

    bool Setup(int32_t inQueue, int32_t outQueue) override
    {
        // The kernel sizes its own queues; only the arguments and the device are checked.
        if (inQueue < 0 || outQueue < 0)
            return Fail(EINVAL);
        if (!::isatty(fd_))
            return FailErrno();
        return true;
    }

    bool GetState(Dcb& dcb) override
    {
        dcb.flags = (dcb.flags & ~(fDtrControlMask | fRtsControlMask)) | LineControls();
        if (!linux_tty::ReadLine(fd_, dcb))
            return FailErrno();
        dcb.xonLim = xonLim_;
        dcb.xoffLim = xoffLim_;
        return true;
    }

    bool SetState(const Dcb& dcb) override
    {
        if (!linux_tty::WriteLine(fd_, dcb))
            return FailErrno();
        xonLim_ = dcb.xonLim;
        xoffLim_ = dcb.xoffLim;
        // DTR and RTS follow the record where the device has the lines and the record asks
        // for a fixed level; a line already at that level is left alone.
        int lines = 0;
        if (::ioctl(fd_, TIOCMGET, &lines) == 0) {
            const uint32_t dtr = (dcb.flags & fDtrControlMask) >> kDtrControlShift;
            const uint32_t rts = (dcb.flags & fRtsControlMask) >> kRtsControlShift;
            SetLine(TIOCM_DTR, lines, dtr);
            SetLine(TIOCM_RTS, lines, rts);
        }
        return true;
    }

    bool SetTimeouts(const Timeouts& timeouts) override
    {
        if (!::isatty(fd_))
            return FailErrno();
        timeouts_ = timeouts;
        return true;
    }

    int Read(void* buffer, int count, uint32_t waitMs) override
    {
        if (count < 0)
            return Fail(EINVAL), -1;
        char* out = static_cast<char*>(buffer);
        const bool immediate = timeouts_.readIntervalTimeout == kMaxDword &&
                               timeouts_.readTotalTimeoutConstant == 0 &&
                               timeouts_.readTotalTimeoutMultiplier == 0;
        readSinceReport_.store(true);
        int got = 0;
        const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
        while (got < count) {
            const ssize_t n = ::read(fd_, out + got, static_cast<size_t>(count - got));
            if (n > 0) {
                got += static_cast<int>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN)
                return got > 0 ? got : (FailErrno(), -1);
            if (immediate)  // nothing queued
                break;
            // Before the first byte the whole bound applies; after it, the interval.
            int ms = RemainingMs(deadline);
            if (got > 0 && timeouts_.readIntervalTimeout != kMaxDword)
                ms = std::min<int64_t>(ms, timeouts_.readIntervalTimeout);
            if (ms == 0 || !WaitReady(fd_, POLLIN, ms))
                break;
        }
        readTotal_.fetch_add(static_cast<uint64_t>(got));
        return got;
    }

    int Write(const void* buffer, int count, uint32_t waitMs) override
    {
        if (count < 0)
            return Fail(EINVAL), -1;
        const char* in = static_cast<const char*>(buffer);
        uint32_t limit = timeouts_.writeTotalTimeoutConstant +
                         timeouts_.writeTotalTimeoutMultiplier * static_cast<uint32_t>(count);
        if (limit == 0 || limit > waitMs)
            limit = waitMs;
        const auto deadline = Clock::now() + std::chrono::milliseconds(limit);
        int done = 0;
        while (done < count) {
            const ssize_t n = ::write(fd_, in + done, static_cast<size_t>(count - done));
            if (n > 0) {
                done += static_cast<int>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN) {
                if (done == 0)
                    return FailErrno(), -1;
                break;
            }
            const int ms = RemainingMs(deadline);
            if (ms == 0 || !WaitReady(fd_, POLLOUT, ms))
                break;  // a time-out: what went out counts
        }
        if (done > 0) {
            txPending_.store(true);
            Kick();
        }
        return done;
    }

    bool Purge(uint32_t flags) override
    {
        const bool input = flags & (purge::RxAbort | purge::RxClear);
        const bool output = flags & (purge::TxAbort | purge::TxClear);
        if (!input && !output)
            return true;
        if (input)
            readSinceReport_.store(true);
        if (::tcflush(fd_, input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH) != 0)
            return FailErrno();
        return true;
    }

    bool ModemStatus(uint32_t& status) override
    {
        int lines = 0;
        if (::ioctl(fd_, TIOCMGET, &lines) != 0)
            return FailErrno();
        status = ModemBits(lines);
        return true;
    }

    bool Escape(uint32_t function) override
    {
        int bit = 0;
        int rc = 0;
        switch (function) {
        case esc::SetDtr: bit = TIOCM_DTR; rc = ::ioctl(fd_, TIOCMBIS, &bit); break;
        case esc::ClrDtr: bit = TIOCM_DTR; rc = ::ioctl(fd_, TIOCMBIC, &bit); break;
        case esc::SetRts: bit = TIOCM_RTS; rc = ::ioctl(fd_, TIOCMBIS, &bit); break;
        case esc::ClrRts: bit = TIOCM_RTS; rc = ::ioctl(fd_, TIOCMBIC, &bit); break;
        case esc::SetXoff: rc = ::tcflow(fd_, TCOOFF); break;
        case esc::SetXon: rc = ::tcflow(fd_, TCOON); break;
        case esc::SetBreak: rc = ::ioctl(fd_, TIOCSBRK); break;
        case esc::ClrBreak: rc = ::ioctl(fd_, TIOCCBRK); break;
        default: return Fail(EINVAL);
        }
        return rc == 0 || FailErrno();
    }

    bool SetEventMask(uint32_t mask) override
    {
        // The lines are sampled when the mask is first set, before the wait thread starts: a
        // change made between the open and the thread's first wait is then still reported.
        if (!primed_)
            Prime();
        eventMask_.store(mask);
        Kick();
        return true;
    }

    WaitResult WaitEvent(uint32_t& mask) override
    {
        mask = 0;
        if (!primed_)
            Prime();
        for (;;) {
            if (stop_.load())
                return WaitResult::Stopped;
            const uint32_t wanted = eventMask_.load();
            int timeout = -1;
            if ((modemLines_ && (wanted & ev::Modem)) || (counters_ && (wanted & (ev::Break | ev::Err))))
                timeout = kSampleMs;
            if (txPending_.load() && OutputQueued() > 0)
                timeout = timeout < 0 ? kDrainMs : std::min(timeout, kDrainMs);

            // While the next report is held back, arrivals do not end the wait: they go with it.
            const bool holding = rxHeldUntil_ != Clock::time_point{};
            if (holding) {
                const int left = RemainingMs(rxHeldUntil_) + 1;
                timeout = timeout < 0 ? left : std::min(timeout, left);
            }
            epoll_event events[2];
            int n = 0;
            if (holding) {
                pollfd pfd{wake_, POLLIN, 0};
                n = ::poll(&pfd, 1, timeout);
                if (n > 0) {
                    events[0].data.fd = wake_;
                    events[0].events = EPOLLIN;
                }
            } else
                n = ::epoll_wait(epoll_, events, 2, timeout);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                FailErrno();
                return WaitResult::Gone;
            }
            if (stop_.load())
                return WaitResult::Stopped;

            bool received = false;
            for (int i = 0; i < n; ++i) {
                if (events[i].data.fd == wake_) {
                    uint64_t value = 0;
                    [[maybe_unused]] const ssize_t r = ::read(wake_, &value, sizeof value);
                    continue;
                }
                if (events[i].events & (EPOLLHUP | EPOLLERR))
                    return Fail(EIO), WaitResult::Gone;
                if (events[i].events & EPOLLIN)
                    received = true;
            }

            uint32_t found = 0;
            if (wanted & ev::RxChar) {
                // The driver also wakes pollers for reasons other than new bytes; a report
                // needs bytes that were not queued at the last one, or a read since. What came
                // while a report was held back is looked for once its time has come.
                const auto now = Clock::now();
                const bool due = holding && now >= rxHeldUntil_;
                if (due)
                    rxHeldUntil_ = {};
                int queued = 0;
                if ((due || (!holding && received)) && ::ioctl(fd_, FIONREAD, &queued) == 0 && queued > 0 &&
                    (queued > lastReported_ || readSinceReport_.load()))
                    found |= ReportInput(queued, now);
            } else
                rxHeldUntil_ = {};
            if (txPending_.load() && OutputQueued() == 0) {
                txPending_.store(false);
                found |= wanted & ev::TxEmpty;
            }
            if (modemLines_ && (wanted & ev::Modem)) {
                int lines = 0;
                if (::ioctl(fd_, TIOCMGET, &lines) != 0) {
                    if (errno == EIO)
                        return Fail(EIO), WaitResult::Gone;
                } else {
                    const int changed = lines ^ lastLines_;
                    lastLines_ = lines;
                    if (changed & TIOCM_CTS) found |= wanted & ev::Cts;
                    if (changed & TIOCM_DSR) found |= wanted & ev::Dsr;
                    if (changed & TIOCM_CD) found |= wanted & ev::Rlsd;
                    if (changed & TIOCM_RI) found |= wanted & ev::Ring;
                }
            }
            if (counters_ && (wanted & (ev::Break | ev::Err)))
                found |= SampleCounters() & wanted;
            if (found) {
                mask = found;
                return WaitResult::Event;
            }
        }
    }

    void StopWait() override
    {
        stop_.store(true);
        Kick();
    }

    bool ClearErrors(uint32_t& errors, uint32_t& inQueue) override
    {
        int queued = 0;
        if (::ioctl(fd_, FIONREAD, &queued) != 0)
            return FailErrno();
        inQueue = static_cast<uint32_t>(queued);
        std::lock_guard lock(errorsMutex_);
        errors = errors_;
        errors_ = 0;
        return true;
    }

    bool LineCounts(LineCounters& counts) override
    {
        serial_icounter_struct now {};
        if (!hasCounts_ || ::ioctl(fd_, TIOCGICOUNT, &now) != 0)
            return false;
        // The kernel's counters are unsigned ints that wrap; the difference wraps alike.
        auto since = [](int now, int then) { return uint64_t{static_cast<unsigned>(now) - static_cast<unsigned>(then)}; };
        counts.framing = since(now.frame, openCount_.frame);
        counts.parity = since(now.parity, openCount_.parity);
        counts.overrun = since(now.overrun, openCount_.overrun);
        counts.breaks = since(now.brk, openCount_.brk);
        return true;
    }

    void Close() override
    {
        for (int* fd : {&epoll_, &wake_, &fd_}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
    }

private:
    static uint32_t ModemBits(int lines)
    {
        uint32_t status = 0;
        if (lines & TIOCM_CTS) status |= ms::CtsOn;
        if (lines & TIOCM_DSR) status |= ms::DsrOn;
        if (lines & TIOCM_RI) status |= ms::RingOn;
        if (lines & TIOCM_CD) status |= ms::RlsdOn;
        return status;
    }

    // The DTR and RTS levels as the record's control fields; "enable" where there are no lines.
    uint32_t LineControls()
    {
        int lines = TIOCM_DTR | TIOCM_RTS;
        if (::ioctl(fd_, TIOCMGET, &lines) != 0)
            lines = TIOCM_DTR | TIOCM_RTS;
        const uint32_t dtr = (lines & TIOCM_DTR) ? kControlEnable : kControlDisable;
        const uint32_t rts = (lines & TIOCM_RTS) ? kControlEnable : kControlDisable;
        return (dtr << kDtrControlShift) | (rts << kRtsControlShift);
    }

    void SetLine(int bit, int lines, uint32_t control)
    {
        if (control == kControlEnable && !(lines & bit))
            ::ioctl(fd_, TIOCMBIS, &bit);
        else if (control == kControlDisable && (lines & bit))
            ::ioctl(fd_, TIOCMBIC, &bit);
    }

    int OutputQueued()
    {
        int queued = 0;
        if (::ioctl(fd_, TIOCOUTQ, &queued) != 0)
            return 0;
        return queued;
    }

    // Learns once which of the modem lines and counters the device has, and their state.
    void Prime()
    {
        primed_ = true;
        modemLines_ = ::ioctl(fd_, TIOCMGET, &lastLines_) == 0;
        counters_ = ::ioctl(fd_, TIOCGICOUNT, &lastCount_) == 0;
    }

    uint32_t SampleCounters()
    {
        serial_icounter_struct now {};
        if (::ioctl(fd_, TIOCGICOUNT, &now) != 0)
            return 0;
        uint32_t errors = 0;
        if (now.brk != lastCount_.brk) errors |= ce::Break;
        if (now.frame != lastCount_.frame) errors |= ce::Frame;
        if (now.overrun != lastCount_.overrun) errors |= ce::Overrun;
        if (now.parity != lastCount_.parity) errors |= ce::RxParity;
        if (now.buf_overrun != lastCount_.buf_overrun) errors |= ce::RxOver;
        lastCount_ = now;
        if (!errors)
            return 0;
        {
            std::lock_guard lock(errorsMutex_);
            errors_ |= errors;
        }
        uint32_t found = 0;
        if (errors & ce::Break) found |= ev::Break;
        if (errors & ~ce::Break) found |= ev::Err;
        return found;
    }

    uint32_t ReportInput(int queued, Clock::time_point now)
    {
        // The rate of the stream: what the owner read between the last two reports, over the
        // time between them (after a pause, a low rate).
        const double seconds = std::chrono::duration<double>(now - lastReportAt_).count();
        const uint64_t read = readTotal_.load();
        streaming_ = seconds > 0 && static_cast<double>(read - readAtReport_) >= kHeldRateLimit * seconds;
        readAtReport_ = read;
        lastReported_ = queued;
        lastReportAt_ = now;
        // Until the next report is due, arrivals do not end the wait.
        if (!streaming_)
            rxHeldUntil_ = now + kReportSpacing;
        readSinceReport_.store(false);
        return ev::RxChar;
    }

    void Kick()
    {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t r = ::write(wake_, &one, sizeof one);
    }

    int fd_;
    int wake_;
    int epoll_;

    // Owner thread only.
    Timeouts timeouts_;
    bool hasCounts_ = false;
    serial_icounter_struct openCount_ {};
    uint16_t xonLim_ = 0, xoffLim_ = 0;

    // Shared between the owner and the wait thread.
    std::atomic<bool> stop_{false};
    std::atomic<bool> txPending_{false};
    std::atomic<bool> readSinceReport_{false};
    std::atomic<uint64_t> readTotal_{0};  // bytes read by the owner
    std::atomic<uint32_t> eventMask_{0};
    std::mutex errorsMutex_;
    uint32_t errors_ = 0;

    // Wait thread only.
    bool primed_ = false;
    int lastReported_ = 0;
    Clock::time_point lastReportAt_{};
    uint64_t readAtReport_ = 0;  // readTotal_ at the last report
    bool streaming_ = false;     // input came at kHeldRateLimit or faster before the last report
    Clock::time_point rxHeldUntil_{};  // a report held back until then; zero: none
    bool modemLines_ = false;
    bool counters_ = false;
    int lastLines_ = 0;
    serial_icounter_struct lastCount_ {};
};

}  // namespace

std::unique_ptr<TerminalPort> OpenTerminalPort(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return FailErrno(), nullptr;
    // Exclusive use, as a serial port is opened without sharing.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return Fail(static_cast<uint32_t>(code)), nullptr;
    }
    if (::isatty(fd))
        ::ioctl(fd, TIOCEXCL);
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (wake < 0 || epoll < 0) {
        const int code = errno;
        for (int d : {fd, wake, epoll})
            if (d >= 0)
                ::close(d);
        return Fail(static_cast<uint32_t>(code)), nullptr;
    }
    epoll_event wakeEvent{};
    wakeEvent.events = EPOLLIN;
    wakeEvent.data.fd = wake;
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, wake, &wakeEvent);
    // Edge-triggered input: one report per arrival, however long the bytes stay queued. A
    // device that cannot be polled reports no line events; the wait then only ends on stop.
    epoll_event deviceEvent{};
    deviceEvent.events = EPOLLIN | EPOLLET;
    deviceEvent.data.fd = fd;
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &deviceEvent);
    return std::make_unique<LinuxTerminalPort>(fd, wake, epoll);
}

}  // namespace platform::terminalport
