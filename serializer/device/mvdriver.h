// The seam between the device layer and the driver library: every call of the five driver
// functions goes through the driver installed here, so tests can put a fake in its place.
// The program installs the system driver (the linked MVUSB library) once at start-up.
#pragma once

#include "mvusb.h"

namespace eemint {

class MvDriver {
public:
    virtual ~MvDriver() = default;
    virtual MV_STATUS Open(int deviceIndex, MV_HANDLE* handle) = 0;
    virtual MV_STATUS Close(MV_HANDLE handle) = 0;
    virtual MV_STATUS Read(MV_HANDLE handle, void* buffer, uint32_t bytesToRead, uint32_t* bytesRead) = 0;
    virtual MV_STATUS Write(MV_HANDLE handle, const void* buffer, uint32_t bytesToWrite,
                            uint32_t* bytesWritten) = 0;
    virtual MV_STATUS IoCtl(MV_HANDLE handle, uint32_t requestCode, void* inBuffer, uint32_t inSize,
                            void* outBuffer, uint32_t outSize, uint32_t* bytesReturned) = 0;
};

// The driver the device layer calls. Until one is installed, every call fails.
MvDriver& Driver();
// Installs a driver (nullptr: none). Not thread-safe: install before any device work starts.
void InstallDriver(MvDriver* driver);

// The linked driver library (mvusb), in the library serializer_device_system.
MvDriver& SystemDriver();

// Installs a driver for the lifetime of a scope and restores the previous one (tests).
class ScopedDriver {
public:
    explicit ScopedDriver(MvDriver& driver);
    ~ScopedDriver();
    ScopedDriver(const ScopedDriver&) = delete;
    ScopedDriver& operator=(const ScopedDriver&) = delete;

private:
    MvDriver* previous_;
};

}  // namespace eemint
