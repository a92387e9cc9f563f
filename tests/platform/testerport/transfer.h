// Data helpers shared by the serial-device tests of every backend: the counting pattern the
// device tests send, and a read loop that stops as theirs does.
#pragma once

#include <cstdint>
#include <numeric>
#include <vector>

#include "testerport.h"

namespace serialtest {

// Bytes 0, 1, 2, ... (byte i = i mod 256).
inline std::vector<uint8_t> Pattern(size_t length)
{
    std::vector<uint8_t> bytes(length);
    std::iota(bytes.begin(), bytes.end(), uint8_t{0});
    return bytes;
}

// Reads until size bytes have come or a call moves nothing.
inline std::vector<uint8_t> ReadAll(platform::testerport::TesterPort& device, size_t size)
{
    std::vector<uint8_t> bytes(size);
    size_t got = 0;
    while (got < size) {
        uint32_t n = 0;
        if (!device.Read(bytes.data() + got, static_cast<uint32_t>(size - got), &n) || n == 0)
            break;
        got += n;
    }
    bytes.resize(got);
    return bytes;
}

}  // namespace serialtest
