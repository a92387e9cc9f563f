// One converter reached by device index through the driver library: a handle and an index,
// with one wrapper per driver function. A wrapper reports true when the low 8 bits of the
// driver's status are 0. Destroying the object closes nothing.
#pragma once

#include <cstdint>

#include "mvusb.h"

namespace eemint {

class TUsbDevice {
public:
    TUsbDevice() = default;

    void SetIndex(int index) { index_ = index; }
    int Index() const { return index_; }
    MV_HANDLE Handle() const { return handle_; }

    bool Open();  // MV_Open at the stored index; the handle is stored
    bool Close();
    bool Read(void* buffer, uint32_t bytesToRead, uint32_t* bytesRead);
    bool Write(const void* buffer, uint32_t bytesToWrite, uint32_t* bytesWritten);
    bool IoCtl(uint32_t requestCode, void* inBuffer, uint32_t inSize, void* outBuffer, uint32_t outSize,
               uint32_t* bytesReturned);

private:
    MV_HANDLE handle_ = nullptr;
    int index_ = 0;
};

}  // namespace eemint
