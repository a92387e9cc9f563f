#include "usbdevice.h"

#include "mvdriver.h"

namespace eemint {
namespace {

// The driver's status means success when its low 8 bits are zero; nothing else is read.
bool Succeeded(MV_STATUS status) { return (status & 0xFFu) == 0; }

}  // namespace

bool TUsbDevice::Open() {
    MV_HANDLE handle = nullptr;
    const bool ok = Succeeded(Driver().Open(index_, &handle));
    handle_ = ok ? handle : nullptr;
    return ok;
}

bool TUsbDevice::Close() {
    const bool ok = Succeeded(Driver().Close(handle_));
    // The handle is dead once closed; forgetting it keeps a later stray call from reaching
    // whatever the driver hands that value to next.
    handle_ = nullptr;
    return ok;
}

bool TUsbDevice::Read(void* buffer, uint32_t bytesToRead, uint32_t* bytesRead) {
    return Succeeded(Driver().Read(handle_, buffer, bytesToRead, bytesRead));
}

bool TUsbDevice::Write(const void* buffer, uint32_t bytesToWrite, uint32_t* bytesWritten) {
    return Succeeded(Driver().Write(handle_, buffer, bytesToWrite, bytesWritten));
}

bool TUsbDevice::IoCtl(uint32_t requestCode, void* inBuffer, uint32_t inSize, void* outBuffer, uint32_t outSize,
                       uint32_t* bytesReturned) {
    return Succeeded(Driver().IoCtl(handle_, requestCode, inBuffer, inSize, outBuffer, outSize, bytesReturned));
}

}  // namespace eemint
