// Duoterm's blocking request pause: a wait on a condition that nobody signals, until the
// deadline.
#include "waitt.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace traffic {

void waitT(int ms) {
    if (ms <= 0) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::mutex mutex;
    std::condition_variable never;
    std::unique_lock lock(mutex);
    while (never.wait_until(lock, deadline) != std::cv_status::timeout) {
    }
}

}  // namespace traffic
