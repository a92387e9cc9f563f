// Eemint's tester port: a plain synchronous serial device for the loopback and modem tests,
// opened by a device path ("\\.\COM1", "\\.\COM2", "\\.\MVPORT-0"), exclusive, with escape
// functions for RTS and DTR, the line set from a "300,n,8,1"-style description, time-outs,
// blocking read and write, and the standard serial device requests. Which backend serves it
// (the operating system's serial ports or the simulated bench's rig) is chosen when the
// program is linked.
//
// Threads: an object is used by one thread at a time; different objects are independent.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "serialdefs.h"

namespace platform::testerport {

// The escape functions, modem status bits and time-out record shared with Duoterm's ports.
namespace esc = serialdefs::esc;
namespace ms = serialdefs::ms;
using serialdefs::kMaxDword;
using serialdefs::Timeouts;

// Standard serial device request codes and their buffers.
constexpr uint32_t kRequestSetBaudRate = 0x1B0004;     // in: 32-bit baud rate
constexpr uint32_t kRequestSetLineControl = 0x1B000C;  // in: stop-bits code, parity code, word length
constexpr uint32_t kRequestSetTimeouts = 0x1B001C;     // in: the five time-out values, 32-bit each
constexpr uint32_t kRequestSetDtr = 0x1B0024;
constexpr uint32_t kRequestClrDtr = 0x1B0028;
constexpr uint32_t kRequestSetRts = 0x1B0030;
constexpr uint32_t kRequestClrRts = 0x1B0034;
constexpr uint32_t kRequestGetModemStatus = 0x1B0068;  // out: 32-bit modem status

class Backend;

class TesterPort {
public:
    TesterPort();
    ~TesterPort();  // closes the device
    TesterPort(const TesterPort&) = delete;
    TesterPort& operator=(const TesterPort&) = delete;

    // Opens an existing device for reading and writing, not shared with any other opener.
    bool Open(const std::string& path);
    // Closes the device if open; never fails.
    void Close();
    bool IsOpen() const;

    bool Escape(uint32_t function);  // esc::SetRts, esc::ClrRts, esc::SetDtr, esc::ClrDtr
    // "baud,parity,data,stop": parity n, o, e, m or s; data 5 to 8; stop 1, 1.5 or 2.
    bool SetLine(const std::string& description);
    bool SetTimeouts(const Timeouts& timeouts);
    // Both return true when the call itself worked, also when a time-out moved fewer bytes
    // than asked (the count says how many).
    bool Read(void* buffer, uint32_t size, uint32_t* got);
    bool Write(const void* buffer, uint32_t size, uint32_t* put);
    // One of the standard serial device requests above.
    bool Request(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                 uint32_t* returned);

    // The error code of the last failed call (the system's, or the bench's status); 0 if none.
    uint32_t LastError() const { return lastError_; }

private:
    bool Check(uint32_t error);  // every result passes here

    std::unique_ptr<Backend> backend_;
    bool open_ = false;
    uint32_t lastError_ = 0;
};

}  // namespace platform::testerport
