// A null-modem cable between two pseudo-terminal pairs: whatever one near end sends arrives at
// the other, relayed between the far ends by a thread. A test may alter the bytes on their way
// (a far end that corrupts a byte) or cut the cable.
#pragma once

#include "ptypair.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace testsupport {

class PtyCable {
public:
    // Gets each chunk relayed: the direction (0 from the left end to the right, 1 back) and
    // the bytes, which it may change.
    using Transform = std::function<void(int direction, std::string& bytes)>;

    PtyCable();
    ~PtyCable();
    PtyCable(const PtyCable&) = delete;
    PtyCable& operator=(const PtyCable&) = delete;

    const std::string& LeftPath() const { return left_.SlavePath(); }
    const std::string& RightPath() const { return right_.SlavePath(); }
    void SetTransform(Transform transform);
    // Bytes relayed so far in a direction.
    uint64_t Relayed(int direction) const { return relayed_[direction].load(); }
    // Closes the far end of one near end (0 the left, 1 the right), as when the device behind
    // it goes away; returns once it is closed. Nothing is relayed to or from it afterwards.
    void HangUp(int end);

private:
    void Run();

    PtyPair left_, right_;
    std::mutex mutex_;
    Transform transform_;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> relayed_[2] = {0, 0};
    std::atomic<bool> hangUp_[2] = {false, false};
    std::atomic<bool> hungUp_[2] = {false, false};
    int wake_[2] = {-1, -1};
    std::thread thread_;
};

}  // namespace testsupport
