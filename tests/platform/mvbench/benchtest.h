// Small helpers for driving the bench's driver functions in tests.
#pragma once

#include "benchcontrol.h"
#include "mvbench_ports.h"
#include "mvusb.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace benchtest {

inline MV_STATUS ReadWord(MV_HANDLE h, uint32_t index, uint16_t& word)
{
    uint8_t out[2] = {};
    uint32_t returned = 0;
    MV_STATUS s = MV_IoCtl(h, MV_IOCTL_READ_EE_WORD, &index, 4, out, 2, &returned, nullptr);
    word = static_cast<uint16_t>(out[0] | (out[1] << 8));
    return s;
}

inline MV_STATUS WriteWord(MV_HANDLE h, uint16_t index, uint16_t word)
{
    uint8_t buffer[4] = {static_cast<uint8_t>(index & 0xFF), static_cast<uint8_t>(index >> 8),
                         static_cast<uint8_t>(word & 0xFF), static_cast<uint8_t>(word >> 8)};
    uint32_t returned = 0;
    return MV_IoCtl(h, MV_IOCTL_WRITE_EE_WORD, buffer, 4, buffer, 4, &returned, nullptr);
}

inline MV_STATUS Request32(MV_HANDLE h, uint32_t code, uint32_t value)
{
    uint32_t returned = 0;
    return MV_IoCtl(h, code, &value, 4, nullptr, 0, &returned, nullptr);
}

inline uint32_t ConverterStatus(MV_HANDLE h)
{
    uint32_t status = 0xDEAD, returned = 0;
    if (MV_IoCtl(h, MV_IOCTL_GET_MODEM_STATUS, nullptr, 0, &status, 4, &returned, nullptr) != MV_OK)
        return 0xDEAD;
    return status;
}

// Sets a converter's line: baud rate, 8N1, read and write time-outs in ms.
inline void SetUpConverter(MV_HANDLE h, uint32_t baud, uint32_t timeoutMs)
{
    Request32(h, MV_IOCTL_SET_BAUD_RATE, baud);
    uint8_t line[3] = {0, 0, 8};
    uint32_t returned = 0;
    MV_IoCtl(h, MV_IOCTL_SET_LINE_CONTROL, line, 3, nullptr, 0, &returned, nullptr);
    uint32_t timeouts[2] = {timeoutMs, timeoutMs};
    MV_IoCtl(h, MV_IOCTL_SET_TIMEOUTS, timeouts, 8, nullptr, 0, &returned, nullptr);
}

// Reads from the converter until `size` bytes came or a read brings nothing.
inline std::string ConverterReadAll(MV_HANDLE h, size_t size)
{
    std::string out;
    while (out.size() < size) {
        char buffer[512];
        uint32_t got = 0;
        const uint32_t want = static_cast<uint32_t>(std::min(size - out.size(), sizeof buffer));
        if (MV_Read(h, buffer, want, &got) != MV_OK || got == 0)
            break;
        out.append(buffer, got);
    }
    return out;
}

inline std::string PortReadAll(MVB_PORT p, size_t size)
{
    std::string out;
    while (out.size() < size) {
        char buffer[512];
        uint32_t got = 0;
        const uint32_t want = static_cast<uint32_t>(std::min(size - out.size(), sizeof buffer));
        if (MVB_PortRead(p, buffer, want, &got) != 0 || got == 0)
            break;
        out.append(buffer, got);
    }
    return out;
}

inline std::string Pattern(size_t size)
{
    std::string p(size, '\0');
    for (size_t i = 0; i < size; ++i)
        p[i] = static_cast<char>(i & 0xFF);
    return p;
}

}  // namespace benchtest
