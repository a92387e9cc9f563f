#include "ptycable.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace testsupport {

PtyCable::PtyCable()
{
    if (::pipe2(wake_, O_CLOEXEC) != 0)
        wake_[0] = wake_[1] = -1;
    // The near ends stay open here too, so a far end never sees a hang-up while a port under
    // test is closed and reopened.
    thread_ = std::thread([this] { Run(); });
}

PtyCable::~PtyCable()
{
    stop_ = true;
    if (wake_[1] >= 0)
        [[maybe_unused]] auto r = ::write(wake_[1], "x", 1);
    thread_.join();
    for (int fd : wake_)
        if (fd >= 0)
            ::close(fd);
}

void PtyCable::SetTransform(Transform transform)
{
    std::lock_guard lock(mutex_);
    transform_ = std::move(transform);
}

void PtyCable::HangUp(int end)
{
    hangUp_[end] = true;
    if (wake_[1] >= 0)
        [[maybe_unused]] auto r = ::write(wake_[1], "h", 1);
    while (!hungUp_[end])
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void PtyCable::Run()
{
    int from[2] = {left_.MasterFd(), right_.MasterFd()};
    PtyPair* ends[2] = {&left_, &right_};
    PtyPair* to[2] = {&right_, &left_};
    while (!stop_) {
        // The far ends are closed here, where they are polled, never under a poll.
        for (int end = 0; end < 2; ++end) {
            if (hangUp_[end] && from[end] >= 0) {
                ends[end]->CloseMaster();
                from[end] = -1;  // poll skips it
                hungUp_[end] = true;
            }
        }
        pollfd fds[3] = {{from[0], POLLIN, 0}, {from[1], POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int ready = ::poll(fds, 3, 1000);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return;
        if (fds[2].revents & POLLIN) {
            char drain[16];
            [[maybe_unused]] auto r = ::read(wake_[0], drain, sizeof drain);
            continue;  // a stop ends the loop, a hang-up is done at its top
        }
        for (int direction = 0; direction < 2; ++direction) {
            if (!(fds[direction].revents & POLLIN))
                continue;
            char buffer[65536];
            const ssize_t n = ::read(from[direction], buffer, sizeof buffer);
            if (n <= 0)
                continue;
            std::string bytes(buffer, static_cast<size_t>(n));
            {
                std::lock_guard lock(mutex_);
                if (transform_)
                    transform_(direction, bytes);
            }
            if (from[1 - direction] < 0)
                continue;  // the other end is hung up: the bytes are lost on the way
            to[direction]->WriteMaster(bytes.data(), bytes.size());
            relayed_[direction] += static_cast<uint64_t>(n);
        }
    }
}

}  // namespace testsupport
