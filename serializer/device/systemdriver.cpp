// The linked driver library behind the seam: each call goes straight to its function.
#include "mvdriver.h"

namespace eemint {
namespace {

class SystemMvDriver final : public MvDriver {
public:
    MV_STATUS Open(int deviceIndex, MV_HANDLE* handle) override { return MV_Open(deviceIndex, handle); }
    MV_STATUS Close(MV_HANDLE handle) override { return MV_Close(handle); }
    MV_STATUS Read(MV_HANDLE handle, void* buffer, uint32_t bytesToRead, uint32_t* bytesRead) override {
        return MV_Read(handle, buffer, bytesToRead, bytesRead);
    }
    MV_STATUS Write(MV_HANDLE handle, const void* buffer, uint32_t bytesToWrite,
                    uint32_t* bytesWritten) override {
        return MV_Write(handle, buffer, bytesToWrite, bytesWritten);
    }
    MV_STATUS IoCtl(MV_HANDLE handle, uint32_t requestCode, void* inBuffer, uint32_t inSize, void* outBuffer,
                    uint32_t outSize, uint32_t* bytesReturned) override {
        return MV_IoCtl(handle, requestCode, inBuffer, inSize, outBuffer, outSize, bytesReturned, nullptr);
    }
};

}  // namespace

MvDriver& SystemDriver() {
    static SystemMvDriver driver;
    return driver;
}

}  // namespace eemint
