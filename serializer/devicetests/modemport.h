// A modem on the converter's serial side, reached through the converter's own serial port
// "\\.\MVPORT-0" with the standard serial device requests: line settings, DTR and RTS, the
// modem status, and the AT dialogue (every command is echoed, then answered "\r\nOK\r\n").
//
// Threads: made, used and destroyed on one thread (the user-interface thread).
#pragma once

#include <cstdint>
#include <string>

#include "testerport.h"

namespace eemint {

class TModemPort {
public:
    TModemPort();   // opens "\\.\MVPORT-0"
    ~TModemPort();  // when open: back to 1200 baud, resets the modem, closes
    TModemPort(const TModemPort&) = delete;
    TModemPort& operator=(const TModemPort&) = delete;

    bool IsOpen() const { return open_; }

    // Baud rate, 8 data bits, no parity, 1 stop bit, and the time-outs that bound every
    // wait; results are not examined.
    bool SetLine(uint32_t baud);
    // "ATZ\r"; true when the echo and "\r\nOK\r\n" came back, and then DTR and RTS are raised.
    bool ResetModem();
    // Writes the command and waits for its echo and a six-byte reply (not compared).
    bool SendCommand(const std::string& command);
    // Waits the settle delay, then reads the modem status (0 when the request fails).
    uint32_t ModemStatus();
    void SetDtr(bool on);
    void SetRts(bool on);

private:
    bool WriteAll(const void* data, uint32_t size);
    bool ReadAll(void* buffer, uint32_t size);

    platform::testerport::TesterPort port_;
    bool open_ = false;
    int settleDelayMs_ = 50;
};

}  // namespace eemint
