// A null-modem cable between two serial ports a test opens by name: whatever one near end
// sends arrives at the other, relayed between the far ends by a thread. A test may alter the
// bytes on their way (a far end that corrupts a byte).
//
// On Linux the ends are two in-process pseudo-terminal pairs (LeftPath/RightPath are the
// near ends' device paths). Under Wine they are COM ports the test stage maps to two socat
// pairs, named in SERIALTOOLS_WINE_CABLE ("near-left near-right far-left far-right", for
// example "COM5 COM6 COM7 COM8"): the near ends are the names the port under test opens, the
// far ends are opened here through the Win32 port backend and relayed.
//
// Threads: the relay runs on a thread of its own; SetTransform and Relayed may be called from
// any thread, the transform runs on the relay thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
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

    // Whether the cable's ends exist (false under Wine when the test stage mapped none).
    bool Available() const { return available_; }
    const std::string& LeftPath() const { return leftPath_; }
    const std::string& RightPath() const { return rightPath_; }
    void SetTransform(Transform transform);
    // Bytes relayed so far in a direction.
    uint64_t Relayed(int direction) const { return relayed_[direction].load(); }
    // Closes the far end of one near end (0 the left, 1 the right), as when the device behind
    // it goes away; returns once it is closed. Nothing is relayed to or from it afterwards.
    void HangUp(int end);

private:
    struct Ends;  // the far ends, per operating system
    void Run();
    // Applies the transform to a chunk on its way.
    void Pass(int direction, std::string& bytes);

    std::unique_ptr<Ends> ends_;
    bool available_ = false;
    std::string leftPath_, rightPath_;
    std::mutex mutex_;
    Transform transform_;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> relayed_[2] = {0, 0};
    std::atomic<bool> hangUp_[2] = {false, false};
    std::atomic<bool> hungUp_[2] = {false, false};
    std::thread thread_;
};

}  // namespace testsupport
