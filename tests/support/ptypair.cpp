#include "ptypair.h"

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace testsupport {

namespace {
void MakeRaw(int fd)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        throw std::runtime_error("tcgetattr failed on a pseudo-terminal");
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0)
        throw std::runtime_error("tcsetattr failed on a pseudo-terminal");
}
}  // namespace

PtyPair::PtyPair()
{
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slavePath_ = name;
    MakeRaw(slave_);
    MakeRaw(master_);
}

PtyPair::~PtyPair()
{
    CloseMaster();
    CloseSlave();
}

void PtyPair::CloseMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

void PtyPair::CloseSlave()
{
    if (slave_ >= 0)
        ::close(slave_);
    slave_ = -1;
}

void PtyPair::WriteMaster(const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(master_, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw std::runtime_error("write to the pseudo-terminal failed");
        p += n;
        size -= static_cast<size_t>(n);
    }
}

std::string PtyPair::ReadMaster(size_t size, int timeoutMs)
{
    std::string result;
    while (result.size() < size) {
        pollfd pfd{master_, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || !(pfd.revents & POLLIN))
            break;
        char buffer[4096];
        const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, size - result.size()));
        if (n <= 0)
            break;
        result.append(buffer, static_cast<size_t>(n));
    }
    return result;
}

}  // namespace testsupport
