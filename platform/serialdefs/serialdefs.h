// The values both serial stacks share, with the numbers the Win32 serial API gives them:
// escape functions, modem status bits and the time-out record. Eemint's tester ports
// (platform/testerport) and Duoterm's port backend (platform/terminalport) both use them.
#pragma once

#include <cstdint>

namespace platform::serialdefs {

// Escape functions (EscapeCommFunction).
namespace esc {
inline constexpr uint32_t SetXoff = 1, SetXon = 2, SetRts = 3, ClrRts = 4, SetDtr = 5,
                          ClrDtr = 6, SetBreak = 8, ClrBreak = 9;
}

// Modem status bits of the input lines (GetCommModemStatus).
namespace ms {
inline constexpr uint32_t CtsOn = 0x10, DsrOn = 0x20, RingOn = 0x40, RlsdOn = 0x80;
}

// All 32 bits set: as a read interval with zero read totals, a read returns at once with
// what is queued.
inline constexpr uint32_t kMaxDword = 0xFFFFFFFFu;

// Read and write time-outs in milliseconds (COMMTIMEOUTS): a read ends when the gap between
// two bytes exceeds the interval (once a byte has come) or when multiplier x bytes +
// constant has passed; a write ends after its total. Zero totals mean no total limit.
struct Timeouts {
    uint32_t readIntervalTimeout = 0;
    uint32_t readTotalTimeoutMultiplier = 0;
    uint32_t readTotalTimeoutConstant = 0;
    uint32_t writeTotalTimeoutMultiplier = 0;
    uint32_t writeTotalTimeoutConstant = 0;
};

}  // namespace platform::serialdefs
