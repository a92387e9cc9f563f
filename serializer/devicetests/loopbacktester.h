// The loopback rig: converter 0 and the PC's COM1 and COM2, wired COM2 RTS to CTS, COM2 DTR
// to DSR, COM1 DTR to DCD, COM1 RTS to RI, COM2 transmit to the converter's receive and the
// converter's transmit to COM2 receive. The tester holds all three open for its lifetime,
// drives the PC's lines, reads the converter's modem status and moves data both ways.
//
// Threads: made, used and destroyed on one thread (the user-interface thread).
#pragma once

#include <cstdint>

#include "testerport.h"
#include "usbdevice.h"

namespace eemint {

class TLoopbackTester {
public:
    TLoopbackTester();   // opens "\\.\COM1", "\\.\COM2" and converter 0
    ~TLoopbackTester();  // when ready: drops all lines and closes the three
    TLoopbackTester(const TLoopbackTester&) = delete;
    TLoopbackTester& operator=(const TLoopbackTester&) = delete;

    bool Ready() const { return ready_; }

    void DropAllLines();  // RTS and DTR on COM2, then DTR and RTS on COM1
    void SetCom2Rts(bool on);
    void SetCom2Dtr(bool on);
    void SetCom1Dtr(bool on);
    void SetCom1Rts(bool on);

    // Waits the settle delay, then reads the converter's modem status (0 when the request
    // fails, so a dead converter shows every line clear).
    uint32_t ConverterStatus();

    // 300 or 115200 baud, 8 data bits, no parity, 1 stop bit, on the converter and COM2.
    bool SetUpLine(uint32_t baud);
    // Pattern 0, 1, 2, ... from COM2 to the converter; true when it arrives intact.
    bool SendToConverter(uint8_t* pattern, uint8_t* received, uint32_t length);
    // With CTS and DSR confirmed, the pattern from the converter to COM2.
    bool SendFromConverter(const uint8_t* pattern, uint8_t* received, uint32_t length);

    int SettleDelayMs() const { return settleDelayMs_; }

private:
    platform::testerport::TesterPort com1_;
    platform::testerport::TesterPort com2_;
    TUsbDevice converter_;
    bool ready_ = false;
    int settleDelayMs_ = 50;
};

}  // namespace eemint
