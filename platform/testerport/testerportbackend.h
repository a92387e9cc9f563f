// The private interface behind TesterPort, one implementation per platform (picked by
// CMake), and the helpers the backends share: the line-description parser and the decoder
// of the standard requests for backends that have no such requests of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "testerport.h"

namespace platform::testerport {

// Each call returns 0 or the error code; Close never fails.
class Backend {
public:
    virtual ~Backend() = default;
    virtual uint32_t Open(const std::string& path) = 0;
    virtual void Close() = 0;
    virtual uint32_t Escape(uint32_t function) = 0;
    virtual uint32_t SetLine(const std::string& description) = 0;
    virtual uint32_t SetTimeouts(const Timeouts& timeouts) = 0;
    virtual uint32_t Read(void* buffer, uint32_t size, uint32_t* got) = 0;
    virtual uint32_t Write(const void* buffer, uint32_t size, uint32_t* put) = 0;
    virtual uint32_t Request(uint32_t code, const void* in, uint32_t inSize, void* out,
                             uint32_t outSize, uint32_t* returned) = 0;
};

std::unique_ptr<Backend> MakeBackend();

// Line settings as the standard line-control request codes them.
struct LineSettings {
    uint32_t baud = 0;
    int stopBitsCode = 0;  // 0: 1, 1: 1.5, 2: 2
    int parityCode = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int dataBits = 8;      // 5 to 8
};

// Parses "300,n,8,1" (also "300,N,8,1", blanks around the fields, an optional "COMn:"
// prefix). Empty when anything is missing, unknown, out of range or left over.
std::optional<LineSettings> ParseLineDescription(const std::string& description);

// What a backend without native requests offers, so the decoder can serve them.
class LineOperations {
public:
    virtual ~LineOperations() = default;
    virtual uint32_t SetBaud(uint32_t baud) = 0;
    virtual uint32_t SetLineControl(int stopBitsCode, int parityCode, int dataBits) = 0;
    virtual uint32_t SetTimeouts(const Timeouts& timeouts) = 0;
    virtual uint32_t Escape(uint32_t function) = 0;
    virtual uint32_t ModemStatus(uint32_t* status) = 0;
};

// Checks the buffers of a standard request and calls the matching operation; unknown codes
// and wrong buffer sizes give invalidParameter without any call.
uint32_t DecodeRequest(LineOperations& ops, uint32_t invalidParameter, uint32_t code,
                       const void* in, uint32_t inSize, void* out, uint32_t outSize,
                       uint32_t* returned);

}  // namespace platform::testerport
