// A GoogleMock driver; by default it forwards every call to an in-memory driver, so a test
// states only the calls it wants to check or make fail.
#pragma once

#include <gmock/gmock.h>

#include "memorydriver.h"

namespace testsupport {

class MockDriver : public eemint::MvDriver {
public:
    explicit MockDriver(int converters = 1) : memory(converters) {
        using ::testing::_;
        using ::testing::Invoke;
        ON_CALL(*this, Open(_, _)).WillByDefault(Invoke(&memory, &MemoryDriver::Open));
        ON_CALL(*this, Close(_)).WillByDefault(Invoke(&memory, &MemoryDriver::Close));
        ON_CALL(*this, Read(_, _, _, _)).WillByDefault(Invoke(&memory, &MemoryDriver::Read));
        ON_CALL(*this, Write(_, _, _, _)).WillByDefault(Invoke(&memory, &MemoryDriver::Write));
        ON_CALL(*this, IoCtl(_, _, _, _, _, _, _)).WillByDefault(Invoke(&memory, &MemoryDriver::IoCtl));
    }

    MOCK_METHOD(MV_STATUS, Open, (int deviceIndex, MV_HANDLE* handle), (override));
    MOCK_METHOD(MV_STATUS, Close, (MV_HANDLE handle), (override));
    MOCK_METHOD(MV_STATUS, Read, (MV_HANDLE handle, void* buffer, uint32_t bytesToRead, uint32_t* bytesRead),
                (override));
    MOCK_METHOD(MV_STATUS, Write,
                (MV_HANDLE handle, const void* buffer, uint32_t bytesToWrite, uint32_t* bytesWritten),
                (override));
    MOCK_METHOD(MV_STATUS, IoCtl,
                (MV_HANDLE handle, uint32_t requestCode, void* inBuffer, uint32_t inSize, void* outBuffer,
                 uint32_t outSize, uint32_t* bytesReturned),
                (override));

    MemoryDriver memory;
};

}  // namespace testsupport
