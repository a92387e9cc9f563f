#include "modemport.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace tp = platform::testerport;

namespace eemint {

namespace {
constexpr char kResetCommand[] = "ATZ\r";
constexpr char kResetAnswer[] = "ATZ\r\r\nOK\r\n";  // the echo, then the reply
constexpr uint32_t kReplyLength = 6;              // "\r\nOK\r\n"
constexpr uint32_t kCommandBuffer = 128;
}  // namespace

TModemPort::TModemPort()
{
    if (port_.Open("\\\\.\\MVPORT-0")) {
        settleDelayMs_ = 50;
        open_ = true;
    }
}

TModemPort::~TModemPort()
{
    if (!open_)
        return;
    SetLine(1200);
    ResetModem();
    port_.Close();
    open_ = false;
}

bool TModemPort::SetLine(uint32_t baud)
{
    uint32_t returned = 0;
    port_.Request(tp::kRequestSetBaudRate, &baud, sizeof baud, nullptr, 0, &returned);
    const uint8_t lineControl[3] = {0, 0, 8};  // 1 stop bit, no parity, 8 bits
    port_.Request(tp::kRequestSetLineControl, lineControl, sizeof lineControl, nullptr, 0, &returned);
    const uint32_t timeouts[5] = {20, 10, 300, 20, 200};
    port_.Request(tp::kRequestSetTimeouts, timeouts, sizeof timeouts, nullptr, 0, &returned);
    return true;
}

bool TModemPort::ResetModem()
{
    if (!WriteAll(kResetCommand, 4))
        return false;
    char answer[16] = {};
    if (!ReadAll(answer, 10) || std::memcmp(answer, kResetAnswer, 10) != 0)
        return false;
    SetDtr(true);
    SetRts(true);
    return true;
}

bool TModemPort::SendCommand(const std::string& command)
{
    const uint32_t length = static_cast<uint32_t>(command.size());
    if (length + kReplyLength > kCommandBuffer)
        return false;  // the echo and reply would not fit the answer buffer
    if (!WriteAll(command.data(), length))
        return false;
    char answer[kCommandBuffer] = {};
    return ReadAll(answer, length + kReplyLength);
}

uint32_t TModemPort::ModemStatus()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(settleDelayMs_));
    uint32_t status = 0, returned = 0;
    if (!port_.Request(tp::kRequestGetModemStatus, nullptr, 0, &status, sizeof status, &returned) ||
        returned < sizeof status)
        return 0;
    return status;
}

void TModemPort::SetDtr(bool on)
{
    uint32_t returned = 0;
    port_.Request(on ? tp::kRequestSetDtr : tp::kRequestClrDtr, nullptr, 0, nullptr, 0, &returned);
}

void TModemPort::SetRts(bool on)
{
    uint32_t returned = 0;
    port_.Request(on ? tp::kRequestSetRts : tp::kRequestClrRts, nullptr, 0, nullptr, 0, &returned);
}

bool TModemPort::WriteAll(const void* data, uint32_t size)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (uint32_t sent = 0; sent < size;) {
        uint32_t put = 0;
        if (!port_.Write(bytes + sent, size - sent, &put) || put == 0)
            return false;
        sent += put;
    }
    return true;
}

bool TModemPort::ReadAll(void* buffer, uint32_t size)
{
    auto* bytes = static_cast<uint8_t*>(buffer);
    for (uint32_t got = 0; got < size;) {
        uint32_t n = 0;
        if (!port_.Read(bytes + got, size - got, &n) || n == 0)
            return false;
        got += n;
    }
    return true;
}

}  // namespace eemint
