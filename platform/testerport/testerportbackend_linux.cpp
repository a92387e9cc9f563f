// Tester ports on Linux: termios in raw mode, non-blocking descriptor with poll for the
// time-outs, an exclusive lock against a second opener, modem lines by the TIOCM ioctls.
// COM names are resolved to device nodes by the COM-name table.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>

#include "modemlinehook.h"
#include "portnames.h"
#include "testerportbackend.h"

namespace platform::testerport {

namespace {

using Clock = std::chrono::steady_clock;

// A total time-out beyond this (about 35 years) is a wait without end in practice; capping it
// keeps the deadline arithmetic in range whatever multiplier the time-outs hold.
constexpr uint64_t kLongestTotalMs = uint64_t(1) << 40;

uint64_t TotalMs(uint32_t multiplier, uint32_t size, uint32_t constant)
{
    return std::min(uint64_t(multiplier) * size + constant, kLongestTotalMs);
}

bool BaudToSpeed(uint32_t baud, speed_t* speed)
{
    static const struct { uint32_t baud; speed_t speed; } table[] = {
        {50, B50},       {75, B75},         {110, B110},       {134, B134},     {150, B150},
        {200, B200},     {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
        {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
        {57600, B57600}, {115200, B115200}, {230400, B230400},
    };
    for (const auto& entry : table) {
        if (entry.baud == baud) {
            *speed = entry.speed;
            return true;
        }
    }
    return false;
}

class LinuxBackend final : public Backend, private LineOperations {
public:
    ~LinuxBackend() override { Close(); }

    uint32_t Open(const std::string& path) override
    {
        const std::string node = ResolvePortPath(path);
        int fd = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return Errno();
        termios tio{};
        // Only terminals are serial devices; anything else is refused before it is touched.
        if (tcgetattr(fd, &tio) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
            uint32_t error = Errno();
            ::close(fd);
            return error == EWOULDBLOCK ? EBUSY : error;
        }
        ioctl(fd, TIOCEXCL);
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        if (tcsetattr(fd, TCSANOW, &tio) != 0) {
            uint32_t error = Errno();
            ::close(fd);
            return error;
        }
        fd_ = fd;
        path_ = path;
        timeouts_ = {};
        return 0;
    }

    void Close() override
    {
        if (fd_ >= 0) {
            ioctl(fd_, TIOCNXCL);
            ::close(fd_);
        }
        fd_ = -1;
    }

    uint32_t Escape(uint32_t function) override
    {
        ModemOutput line;
        bool on;
        switch (function) {
        case esc::SetRts: line = ModemOutput::Rts; on = true; break;
        case esc::ClrRts: line = ModemOutput::Rts; on = false; break;
        case esc::SetDtr: line = ModemOutput::Dtr; on = true; break;
        case esc::ClrDtr: line = ModemOutput::Dtr; on = false; break;
        default: return EINVAL;
        }
        if (ModemLineHook* hook = InstalledModemLineHook())
            return hook->Drive(path_, line, on) ? 0 : EIO;
        int bits = line == ModemOutput::Rts ? TIOCM_RTS : TIOCM_DTR;
        return ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0 ? 0 : Errno();
    }

    uint32_t SetLine(const std::string& description) override
    {
        auto settings = ParseLineDescription(description);
        speed_t speed;
        // Refused before anything changes: a failed call leaves the line as it was.
        if (!settings || !BaudToSpeed(settings->baud, &speed))
            return EINVAL;
        if (uint32_t error = SetLineControl(settings->stopBitsCode, settings->parityCode, settings->dataBits))
            return error;
        return SetBaud(settings->baud);
    }

    uint32_t SetTimeouts(const Timeouts& timeouts) override
    {
        timeouts_ = timeouts;
        return 0;
    }

    uint32_t Read(void* buffer, uint32_t size, uint32_t* got) override
    {
        auto* bytes = static_cast<uint8_t*>(buffer);
        const uint32_t interval = timeouts_.readIntervalTimeout;
        const uint32_t multiplier = timeouts_.readTotalTimeoutMultiplier;
        const uint32_t constant = timeouts_.readTotalTimeoutConstant;
        const bool immediate = interval == kMaxDword && multiplier == 0 && constant == 0;
        const uint64_t totalMs = TotalMs(multiplier, size, constant);
        const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);
        const bool useInterval = interval != 0 && interval != kMaxDword;
        while (*got < size) {
            ssize_t n = ::read(fd_, bytes + *got, size - *got);
            if (n > 0) {
                *got += static_cast<uint32_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return Errno();
            if (n == 0 && !IsTerminalAlive())
                return EIO;
            if (immediate)
                break;
            int waitMs = -1;
            if (totalMs != 0)
                waitMs = RemainingMs(deadline);
            if (useInterval && *got > 0 && (waitMs < 0 || int64_t(interval) < waitMs))
                waitMs = static_cast<int>(interval);
            if (waitMs == 0)
                break;
            pollfd p{fd_, POLLIN, 0};
            int ready = ::poll(&p, 1, waitMs);
            if (ready < 0 && errno != EINTR)
                return Errno();
            if (ready == 0)
                break;  // the total or the interval time-out passed
            if (p.revents & (POLLERR | POLLNVAL))
                return EIO;
            if ((p.revents & POLLHUP) && !(p.revents & POLLIN))
                return EIO;  // the far end is gone: fail rather than spin until the time-out
        }
        return 0;
    }

    uint32_t Write(const void* buffer, uint32_t size, uint32_t* put) override
    {
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        const uint64_t totalMs =
            TotalMs(timeouts_.writeTotalTimeoutMultiplier, size, timeouts_.writeTotalTimeoutConstant);
        const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);
        while (*put < size) {
            ssize_t n = ::write(fd_, bytes + *put, size - *put);
            if (n > 0) {
                *put += static_cast<uint32_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return Errno();
            int waitMs = totalMs != 0 ? RemainingMs(deadline) : -1;
            if (waitMs == 0)
                break;
            pollfd p{fd_, POLLOUT, 0};
            int ready = ::poll(&p, 1, waitMs);
            if (ready < 0 && errno != EINTR)
                return Errno();
            if (ready == 0)
                break;
            if (p.revents & (POLLERR | POLLNVAL | POLLHUP))
                return EIO;
        }
        return 0;
    }

    uint32_t Request(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                     uint32_t* returned) override
    {
        return DecodeRequest(*this, EINVAL, code, in, inSize, out, outSize, returned);
    }

private:
    static uint32_t Errno() { return errno != 0 ? static_cast<uint32_t>(errno) : EIO; }

    static int RemainingMs(Clock::time_point deadline)
    {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return static_cast<int>(std::clamp<int64_t>(left, 0, std::numeric_limits<int>::max()));
    }

    // A read of 0 bytes on a non-blocking terminal means no data, unless the line hung up.
    bool IsTerminalAlive() const
    {
        pollfd p{fd_, POLLIN, 0};
        return !(::poll(&p, 1, 0) > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN));
    }

    uint32_t SetBaud(uint32_t baud) override
    {
        speed_t speed;
        if (!BaudToSpeed(baud, &speed))
            return EINVAL;
        termios tio{};
        if (tcgetattr(fd_, &tio) != 0)
            return Errno();
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        return tcsetattr(fd_, TCSANOW, &tio) == 0 ? 0 : Errno();
    }

    uint32_t SetLineControl(int stopBitsCode, int parityCode, int dataBits) override
    {
        termios tio{};
        if (tcgetattr(fd_, &tio) != 0)
            return Errno();
        tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR);
        switch (dataBits) {
        case 5: tio.c_cflag |= CS5; break;
        case 6: tio.c_cflag |= CS6; break;
        case 7: tio.c_cflag |= CS7; break;
        case 8: tio.c_cflag |= CS8; break;
        default: return EINVAL;
        }
        switch (stopBitsCode) {
        case 0: break;
        case 2: tio.c_cflag |= CSTOPB; break;
        default: return EINVAL;  // 1.5 stop bits have no termios setting
        }
        switch (parityCode) {
        case 0: break;
        case 1: tio.c_cflag |= PARENB | PARODD; break;
        case 2: tio.c_cflag |= PARENB; break;
        case 3: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
        case 4: tio.c_cflag |= PARENB | CMSPAR; break;
        default: return EINVAL;
        }
        return tcsetattr(fd_, TCSANOW, &tio) == 0 ? 0 : Errno();
    }

    uint32_t ModemStatus(uint32_t* status) override
    {
        if (ModemLineHook* hook = InstalledModemLineHook())
            return hook->Read(path_, status) ? 0 : EIO;
        int bits = 0;
        if (ioctl(fd_, TIOCMGET, &bits) != 0)
            return Errno();
        *status = ((bits & TIOCM_CTS) ? ms::CtsOn : 0) | ((bits & TIOCM_DSR) ? ms::DsrOn : 0) |
                  ((bits & TIOCM_RI) ? ms::RingOn : 0) | ((bits & TIOCM_CD) ? ms::RlsdOn : 0);
        return 0;
    }

    int fd_ = -1;
    std::string path_;
    Timeouts timeouts_;
};

}  // namespace

std::unique_ptr<Backend> MakeBackend() { return std::make_unique<LinuxBackend>(); }

}  // namespace platform::testerport
