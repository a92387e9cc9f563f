// The per-OS backend of Duoterm's serial port component (TComm): one open serial device
// with the operations the component needs (line settings as a DCB-like record, time-outs,
// read, write, purge, modem lines, escape functions, and an event wait that another thread
// can stop). Plain C++ without Qt, so that the Win32 backend builds and is tested on its own.
//
// Threads: WaitEvent and SetEventMask run on the port's wait thread (SetEventMask also on the
// thread that starts it, before the wait thread runs); StopWait may be called from any thread;
// everything else runs on the thread that owns the port, while the wait thread is either
// blocked in WaitEvent or parked in a hand-over. Close runs only after the wait thread ended.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "serialdefs.h"

namespace platform::terminalport {

// Line settings in the layout of the Win32 device control block.
struct Dcb {
    uint32_t baudRate = 0;
    uint32_t flags = 0;  // the flag word, bits below
    uint16_t xonLim = 0;
    uint16_t xoffLim = 0;
    uint8_t byteSize = 8;
    uint8_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t stopBits = 0;  // 0 one, 1 one and a half, 2 two
    char xonChar = 17;
    char xoffChar = 19;
    char errorChar = 0;
    char eofChar = 0;
    char evtChar = 0;
    bool operator==(const Dcb&) const = default;
};

// Flag-word bits and fields.
inline constexpr uint32_t fBinary = 0x0001;
inline constexpr uint32_t fParity = 0x0002;
inline constexpr uint32_t fOutxCtsFlow = 0x0004;
inline constexpr uint32_t fOutxDsrFlow = 0x0008;
inline constexpr uint32_t fDtrControlMask = 0x0030;  // two bits, shift 4
inline constexpr uint32_t fDsrSensitivity = 0x0040;
inline constexpr uint32_t fTXContinueOnXoff = 0x0080;
inline constexpr uint32_t fOutX = 0x0100;
inline constexpr uint32_t fInX = 0x0200;
inline constexpr uint32_t fErrorChar = 0x0400;
inline constexpr uint32_t fNull = 0x0800;
inline constexpr uint32_t fRtsControlMask = 0x3000;  // two bits, shift 12
inline constexpr uint32_t fAbortOnError = 0x4000;
inline constexpr int kDtrControlShift = 4;
inline constexpr int kRtsControlShift = 12;
inline constexpr uint32_t kControlDisable = 0, kControlEnable = 1, kControlHandshake = 2,
                          kRtsControlToggle = 3;

// The escape functions, modem status bits and time-out record shared with the tester's ports.
namespace esc = serialdefs::esc;
namespace ms = serialdefs::ms;
using serialdefs::kMaxDword;
using serialdefs::Timeouts;

// Event mask bits (namespaced, since the Windows headers define the same names as macros).
namespace ev {
inline constexpr uint32_t RxChar = 0x0001, RxFlag = 0x0002, TxEmpty = 0x0004, Cts = 0x0008,
                          Dsr = 0x0010, Rlsd = 0x0020, Break = 0x0040, Err = 0x0080,
                          Ring = 0x0100;
inline constexpr uint32_t Modem = Cts | Dsr | Rlsd | Ring;
}  // namespace ev

// Line error bits reported by ClearErrors.
namespace ce {
inline constexpr uint32_t RxOver = 0x0001, Overrun = 0x0002, RxParity = 0x0004, Frame = 0x0008,
                          Break = 0x0010, Ioe = 0x0400;
}

// Purge flags.
namespace purge {
inline constexpr uint32_t TxAbort = 0x0001, RxAbort = 0x0002, TxClear = 0x0004,
                          RxClear = 0x0008;
}

// A port's line errors since it was opened: how many times the receiver saw a framing error,
// a parity error, an overrun of its hardware buffer and a break.
struct LineCounters {
    uint64_t framing = 0, parity = 0, overrun = 0, breaks = 0;
    bool operator==(const LineCounters&) const = default;
};

// What one WaitEvent came back with.
enum class WaitResult {
    Event,    // the mask holds what happened
    Failed,   // the wait completed with a failure: skip it and wait again
    Stopped,  // StopWait was called (before or during the wait)
    Gone,     // the device went away; waiting again would only spin
};

// The last error of a failed call on this thread: the system's own code (GetLastError on
// Windows, errno elsewhere). Every failure of the backends is recorded through Fail.
uint32_t LastError();
void SetLastError(uint32_t code);
bool Fail(uint32_t code);  // records the code, returns false
// Whether a failed modem-line call (DTR, RTS, the modem status) failed because the device has
// no modem lines at all, as a pseudo-terminal or some adapters: such a device still works,
// and its lines are simply not there.
bool IsNoModemLinesError(uint32_t code);

class TerminalPort {
public:
    virtual ~TerminalPort() = default;

    virtual bool IsCharDevice() = 0;
    virtual bool Setup(int32_t inQueue, int32_t outQueue) = 0;
    virtual bool GetState(Dcb& dcb) = 0;
    virtual bool SetState(const Dcb& dcb) = 0;
    virtual bool SetTimeouts(const Timeouts& timeouts) = 0;

    // Bytes read or written, or -1. A transfer the device has not finished at once is waited
    // for, at most waitMs, then cancelled; what it moved by then counts.
    virtual int Read(void* buffer, int count, uint32_t waitMs) = 0;
    virtual int Write(const void* buffer, int count, uint32_t waitMs) = 0;

    virtual bool Purge(uint32_t flags) = 0;
    virtual bool ModemStatus(uint32_t& status) = 0;
    virtual bool Escape(uint32_t function) = 0;
    virtual bool SetEventMask(uint32_t mask) = 0;
    // Blocks until a monitored event, a failure, the device's loss or StopWait. A stop
    // requested before the wait began ends it at once. A backend may keep its driver's wait
    // pending from one call to the next; a stopped wait, a lost device and Close end it.
    virtual WaitResult WaitEvent(uint32_t& mask) = 0;
    virtual void StopWait() = 0;
    virtual bool ClearErrors(uint32_t& errors, uint32_t& inQueue) = 0;
    // The line errors since the open. False when the device keeps no such counts (a
    // pseudo-terminal, a device whose driver has no counters), so that "not known" is never
    // shown as zeros; a backend without counters need not override it. The Linux backend
    // reads the serial driver's counters; the Win32 one counts the error flags of every
    // ClearCommError, so each count there is the number of checks that found that error
    // (several errors between two checks count once). Owner thread.
    virtual bool LineCounts(LineCounters& counts)
    {
        (void)counts;
        return false;
    }

    // Releases the device; never fails.
    virtual void Close() = 0;
};

// Opens a device by the path the operating system takes (FILE_FLAG_OVERLAPPED on Windows).
// On failure returns nothing and LastError() holds the system's code.
std::unique_ptr<TerminalPort> OpenTerminalPort(const std::string& path);

}  // namespace platform::terminalport
