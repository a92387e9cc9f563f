// An in-memory driver: converters with a 64-word EEPROM each, reached by dense index, with
// the word, erase and open/close requests of the real library. Handles are index + 1.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "mvdriver.h"

namespace testsupport {

class MemoryDriver : public eemint::MvDriver {
public:
    static constexpr MV_STATUS kFailed = 1;
    using Eeprom = std::array<uint16_t, 64>;

    explicit MemoryDriver(int converters = 1) : converters_(converters, Erased()) {}

    static Eeprom Erased() {
        Eeprom e;
        e.fill(0xFFFF);
        return e;
    }

    std::vector<Eeprom>& Converters() { return converters_; }
    int OpenCount() const { return openCount_; }

    MV_STATUS Open(int deviceIndex, MV_HANDLE* handle) override {
        if (handle == nullptr || deviceIndex < 0 || deviceIndex >= static_cast<int>(converters_.size()))
            return kFailed;
        *handle = reinterpret_cast<MV_HANDLE>(static_cast<intptr_t>(deviceIndex + 1));
        ++openCount_;
        return MV_OK;
    }
    MV_STATUS Close(MV_HANDLE handle) override {
        if (Find(handle) == nullptr) return kFailed;
        --openCount_;
        return MV_OK;
    }
    MV_STATUS Read(MV_HANDLE, void*, uint32_t, uint32_t* bytesRead) override {
        if (bytesRead != nullptr) *bytesRead = 0;
        return MV_OK;
    }
    MV_STATUS Write(MV_HANDLE, const void*, uint32_t count, uint32_t* bytesWritten) override {
        if (bytesWritten != nullptr) *bytesWritten = count;
        return MV_OK;
    }
    MV_STATUS IoCtl(MV_HANDLE handle, uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                    uint32_t* returned) override {
        Eeprom* eeprom = Find(handle);
        if (eeprom == nullptr) return kFailed;
        auto* inBytes = static_cast<uint8_t*>(in);
        auto* outBytes = static_cast<uint8_t*>(out);
        switch (code) {
        case MV_IOCTL_READ_EE_WORD: {
            if (in == nullptr || inSize < 4 || out == nullptr || outSize < 2) return kFailed;
            uint32_t index;
            std::memcpy(&index, in, 4);
            if (index >= 64) return kFailed;
            outBytes[0] = static_cast<uint8_t>((*eeprom)[index] & 0xFF);
            outBytes[1] = static_cast<uint8_t>((*eeprom)[index] >> 8);
            if (returned != nullptr) *returned = 2;
            return MV_OK;
        }
        case MV_IOCTL_WRITE_EE_WORD: {
            if (in == nullptr || inSize < 4) return kFailed;
            const unsigned index = inBytes[0] | (inBytes[1] << 8);
            if (index >= 64) return kFailed;
            (*eeprom)[index] = static_cast<uint16_t>(inBytes[2] | (inBytes[3] << 8));
            if (returned != nullptr) *returned = 4;
            return MV_OK;
        }
        case MV_IOCTL_ERASE_EE:
            eeprom->fill(0xFFFF);
            return MV_OK;
        default:
            return kFailed;
        }
    }

private:
    Eeprom* Find(MV_HANDLE handle) {
        const intptr_t value = reinterpret_cast<intptr_t>(handle);
        if (value < 1 || value > static_cast<intptr_t>(converters_.size())) return nullptr;
        return &converters_[static_cast<std::size_t>(value - 1)];
    }

    std::vector<Eeprom> converters_;
    int openCount_ = 0;
};

}  // namespace testsupport
