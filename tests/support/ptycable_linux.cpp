// The cable's ends on Linux: two pseudo-terminal pairs whose masters the relay joins.
#include "ptycable.h"
#include "ptypair.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace testsupport {

struct PtyCable::Ends {
    PtyPair left, right;
    int wake[2] = {-1, -1};
};

PtyCable::PtyCable() : ends_(std::make_unique<Ends>())
{
    if (::pipe2(ends_->wake, O_CLOEXEC) != 0)
        ends_->wake[0] = ends_->wake[1] = -1;
    leftPath_ = ends_->left.SlavePath();
    rightPath_ = ends_->right.SlavePath();
    available_ = true;
    // The near ends stay open here too, so a far end never sees a hang-up while a port under
    // test is closed and reopened.
    thread_ = std::thread([this] { Run(); });
}

PtyCable::~PtyCable()
{
    stop_ = true;
    if (ends_->wake[1] >= 0)
        [[maybe_unused]] auto r = ::write(ends_->wake[1], "x", 1);
    thread_.join();
    for (int fd : ends_->wake)
        if (fd >= 0)
            ::close(fd);
}

void PtyCable::HangUp(int end)
{
    hangUp_[end] = true;
    if (ends_->wake[1] >= 0)
        [[maybe_unused]] auto r = ::write(ends_->wake[1], "h", 1);
    while (!hungUp_[end])
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void PtyCable::Run()
{
    int from[2] = {ends_->left.MasterFd(), ends_->right.MasterFd()};
    PtyPair* near[2] = {&ends_->left, &ends_->right};
    PtyPair* to[2] = {&ends_->right, &ends_->left};
    while (!stop_) {
        // The far ends are closed here, where they are polled, never under a poll.
        for (int end = 0; end < 2; ++end) {
            if (hangUp_[end] && from[end] >= 0) {
                near[end]->CloseMaster();
                from[end] = -1;  // poll skips it
                hungUp_[end] = true;
            }
        }
        pollfd fds[3] = {{from[0], POLLIN, 0}, {from[1], POLLIN, 0}, {ends_->wake[0], POLLIN, 0}};
        const int ready = ::poll(fds, 3, 1000);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return;
        if (fds[2].revents & POLLIN) {
            char drain[16];
            [[maybe_unused]] auto r = ::read(ends_->wake[0], drain, sizeof drain);
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
            Pass(direction, bytes);
            if (from[1 - direction] < 0)
                continue;  // the other end is hung up: the bytes are lost on the way
            to[direction]->WriteMaster(bytes.data(), bytes.size());
            relayed_[direction] += static_cast<uint64_t>(n);
        }
    }
}

}  // namespace testsupport
