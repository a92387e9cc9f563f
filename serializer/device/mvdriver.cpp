#include "mvdriver.h"

#include <atomic>

namespace eemint {
namespace {

// Stands in while no driver is installed: every call fails and nothing is written.
class NoDriver final : public MvDriver {
public:
    static constexpr MV_STATUS kNotInstalled = 0xFF;

    MV_STATUS Open(int, MV_HANDLE* handle) override {
        if (handle != nullptr) *handle = nullptr;
        return kNotInstalled;
    }
    MV_STATUS Close(MV_HANDLE) override { return kNotInstalled; }
    MV_STATUS Read(MV_HANDLE, void*, uint32_t, uint32_t* bytesRead) override {
        if (bytesRead != nullptr) *bytesRead = 0;
        return kNotInstalled;
    }
    MV_STATUS Write(MV_HANDLE, const void*, uint32_t, uint32_t* bytesWritten) override {
        if (bytesWritten != nullptr) *bytesWritten = 0;
        return kNotInstalled;
    }
    MV_STATUS IoCtl(MV_HANDLE, uint32_t, void*, uint32_t, void*, uint32_t, uint32_t* bytesReturned) override {
        if (bytesReturned != nullptr) *bytesReturned = 0;
        return kNotInstalled;
    }
};

NoDriver noDriver;
// Atomic so that the detection thread's presence polls see the driver installed at start-up.
std::atomic<MvDriver*> installed{nullptr};

}  // namespace

MvDriver& Driver() {
    MvDriver* driver = installed.load(std::memory_order_acquire);
    return driver != nullptr ? *driver : noDriver;
}

void InstallDriver(MvDriver* driver) { installed.store(driver, std::memory_order_release); }

ScopedDriver::ScopedDriver(MvDriver& driver) : previous_(installed.load(std::memory_order_acquire)) {
    InstallDriver(&driver);
}

ScopedDriver::~ScopedDriver() { InstallDriver(previous_); }

}  // namespace eemint
