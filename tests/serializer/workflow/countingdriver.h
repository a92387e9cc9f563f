// The linked driver library with a count of converter opens, so a test can wait until auto
// mode's thread has checked for a converter a number of times (each check opens converter 0
// once) instead of sleeping for a guessed while.
#pragma once

#include <atomic>

#include "mvdriver.h"

namespace testsupport {

class CountingDriver : public eemint::MvDriver {
public:
    MV_STATUS Open(int deviceIndex, MV_HANDLE* handle) override
    {
        ++opens;
        return eemint::SystemDriver().Open(deviceIndex, handle);
    }
    MV_STATUS Close(MV_HANDLE handle) override { return eemint::SystemDriver().Close(handle); }
    MV_STATUS Read(MV_HANDLE handle, void* buffer, uint32_t bytesToRead, uint32_t* bytesRead) override
    {
        return eemint::SystemDriver().Read(handle, buffer, bytesToRead, bytesRead);
    }
    MV_STATUS Write(MV_HANDLE handle, const void* buffer, uint32_t bytesToWrite, uint32_t* bytesWritten) override
    {
        return eemint::SystemDriver().Write(handle, buffer, bytesToWrite, bytesWritten);
    }
    MV_STATUS IoCtl(MV_HANDLE handle, uint32_t requestCode, void* inBuffer, uint32_t inSize, void* outBuffer,
                    uint32_t outSize, uint32_t* bytesReturned) override
    {
        return eemint::SystemDriver().IoCtl(handle, requestCode, inBuffer, inSize, outBuffer, outSize, bytesReturned);
    }

    std::atomic<int> opens{0};
};

}  // namespace testsupport
