#include "loopbacktester.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace tp = platform::testerport;

namespace eemint {

namespace {

// Sends a converter request whose result the tests do not examine.
void Request(TUsbDevice& device, uint32_t code, void* in, uint32_t inSize, void* out = nullptr,
             uint32_t outSize = 0)
{
    uint32_t returned = 0;
    device.IoCtl(code, in, inSize, out, outSize, &returned);
}

}  // namespace

TLoopbackTester::TLoopbackTester()
{
    converter_.SetIndex(0);
    if (!com1_.Open("\\\\.\\COM1"))
        return;
    if (!com2_.Open("\\\\.\\COM2")) {
        com1_.Close();
        return;
    }
    if (!converter_.Open()) {
        com2_.Close();
        com1_.Close();
        return;
    }
    settleDelayMs_ = 50;
    ready_ = true;
}

TLoopbackTester::~TLoopbackTester()
{
    if (!ready_)
        return;
    DropAllLines();
    com1_.Close();
    com2_.Close();
    converter_.Close();
    ready_ = false;
}

void TLoopbackTester::DropAllLines()
{
    SetCom2Rts(false);
    SetCom2Dtr(false);
    SetCom1Dtr(false);
    SetCom1Rts(false);
}

void TLoopbackTester::SetCom2Rts(bool on) { com2_.Escape(on ? tp::esc::SetRts : tp::esc::ClrRts); }
void TLoopbackTester::SetCom2Dtr(bool on) { com2_.Escape(on ? tp::esc::SetDtr : tp::esc::ClrDtr); }
void TLoopbackTester::SetCom1Dtr(bool on) { com1_.Escape(on ? tp::esc::SetDtr : tp::esc::ClrDtr); }
void TLoopbackTester::SetCom1Rts(bool on) { com1_.Escape(on ? tp::esc::SetRts : tp::esc::ClrRts); }

uint32_t TLoopbackTester::ConverterStatus()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(settleDelayMs_));
    uint8_t status[4] = {};
    uint32_t returned = 0;
    if (!converter_.IoCtl(MV_IOCTL_GET_MODEM_STATUS, nullptr, 0, status, sizeof status, &returned))
        return 0;
    return uint32_t(status[0]) | uint32_t(status[1]) << 8 | uint32_t(status[2]) << 16 |
           uint32_t(status[3]) << 24;
}

bool TLoopbackTester::SetUpLine(uint32_t baud)
{
    uint8_t baudBytes[4] = {uint8_t(baud), uint8_t(baud >> 8), uint8_t(baud >> 16), uint8_t(baud >> 24)};
    Request(converter_, MV_IOCTL_SET_BAUD_RATE, baudBytes, sizeof baudBytes);
    uint8_t lineControl[3] = {0, 0, 8};
    Request(converter_, MV_IOCTL_SET_LINE_CONTROL, lineControl, sizeof lineControl);
    if (baud == 115200)
        Request(converter_, MV_IOCTL_SET_HIGH_SPEED, nullptr, 0);
    uint8_t timeouts[8] = {0x2C, 0x01, 0, 0, 0x2C, 0x01, 0, 0};  // 300 ms, 300 ms
    Request(converter_, MV_IOCTL_SET_TIMEOUTS, timeouts, sizeof timeouts);

    const char* description = baud == 115200 ? "115200,n,8,1" : "300,n,8,1";
    if (!com2_.SetLine(description))
        return false;
    return com2_.SetTimeouts({20, 10, 300, 20, 200});
}

bool TLoopbackTester::SendToConverter(uint8_t* pattern, uint8_t* received, uint32_t length)
{
    for (uint32_t i = 0; i < length; ++i)
        pattern[i] = static_cast<uint8_t>(i);
    for (uint32_t sent = 0; sent < length;) {
        uint32_t put = 0;
        if (!com2_.Write(pattern + sent, length - sent, &put) || put == 0)
            return false;
        sent += put;
    }
    std::memset(received, 0, length);
    for (uint32_t got = 0; got < length;) {
        uint32_t n = 0;
        if (!converter_.Read(received + got, length - got, &n) || n == 0)
            return false;
        got += n;
    }
    return std::memcmp(pattern, received, length) == 0;
}

bool TLoopbackTester::SendFromConverter(const uint8_t* pattern, uint8_t* received, uint32_t length)
{
    SetCom2Rts(true);
    if (!(ConverterStatus() & tp::ms::CtsOn))
        return false;
    SetCom2Dtr(true);
    if (!(ConverterStatus() & tp::ms::DsrOn))
        return false;
    for (uint32_t sent = 0; sent < length;) {
        uint32_t put = 0;
        if (!converter_.Write(pattern + sent, length - sent, &put) || put == 0)
            return false;
        sent += put;
    }
    std::memset(received, 0, length);
    for (uint32_t got = 0; got < length;) {
        uint32_t n = 0;
        if (!com2_.Read(received + got, length - got, &n) || n == 0)
            return false;
        got += n;
    }
    return std::memcmp(pattern, received, length) == 0;
}

}  // namespace eemint
