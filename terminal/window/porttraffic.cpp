#include "porttraffic.h"

#include "asciisender.h"
#include "comm.h"
#include "request.h"

#include <algorithm>

namespace duoterm {

namespace {

constexpr size_t kReadChunk = 65536;
constexpr size_t kKeptStage = size_t{16} << 20;

}  // namespace

TPortTraffic::TPortTraffic(int side, TCustomComm& port) : side_(side), port_(port) {}

void TPortTraffic::Write(const std::vector<uint8_t>& bytes)
{
    if (!bytes.empty())
        port_.Write(bytes.data(), static_cast<int>(bytes.size()));
    if (onMessageWritten)
        onMessageWritten(side_, bytes.data(), bytes.size());
}

void TPortTraffic::SendHexRequest(std::string_view request1251)
{
    traffic::RunRequest(traffic::obrabZapstr(request1251),
                        [this](const std::vector<uint8_t>& message) { Write(message); });
}

void TPortTraffic::writeportASCCI(const QString& text, bool vk)
{
    std::string bytes;
    To1251(text, bytes);
    const std::vector<uint8_t> message = traffic::AsciiMessage(bytes, vk);
    if (!message.empty())
        port_.Write(message.data(), static_cast<int>(message.size()));
}

void TPortTraffic::OtpravButtonClick(const QString& request)
{
    std::string bytes;
    To1251(request, bytes);
    SendHexRequest(bytes);
    lastSendHex_ = true;
    manualSent_ = true;
}

void TPortTraffic::OtpravButtonASCCIClick(const QString& text, bool vk)
{
    writeportASCCI(text, vk);
    lastSendHex_ = false;
    manualSent_ = true;
}

void TPortTraffic::TxEmpty(const QString& hexLine, const QString& asciiLine, bool vk)
{
    if (!autoSend_ || !manualSent_)
        return;
    if (lastSendHex_) {
        std::string bytes;
        To1251(hexLine, bytes);
        SendHexRequest(bytes);
    } else
        writeportASCCI(asciiLine, vk);
}

void TPortTraffic::ReadWaiting(std::vector<uint8_t>& into)
{
    // Everything waiting, however much: the reads return at once with what is there.
    static uint8_t buffer[kReadChunk];
    for (;;) {
        const int n = port_.Read(buffer, static_cast<int>(kReadChunk));
        if (n > 0)
            into.insert(into.end(), buffer, buffer + n);
        if (n < static_cast<int>(kReadChunk))
            return;
    }
}

void TPortTraffic::RxChar(int count)
{
    if (exchangeTakesReceived && exchangeTakesReceived()) {
        std::vector<uint8_t> bytes;
        ReadWaiting(bytes);
        if (onExchangeReceived && !bytes.empty())
            onExchangeReceived(side_, bytes.data(), bytes.size());
        return;
    }
    // The bytes are taken out of the port's queue now, so that the queue never runs full at
    // a high rate; they are shown at the next tick.
    pendingRx_ = count;
    ReadWaiting(staged_);
}

bool TPortTraffic::Tick()
{
    if (pendingRx_ > 0 || !staged_.empty()) {
        if (port_.IsOpen())
            ReadWaiting(staged_);
        pendingRx_ = 0;
    }
    if (staged_.empty())
        return false;
    log_.AppendTick(staged_.data(), staged_.size());
    staged_.clear();
    // The buffer keeps its size from tick to tick: giving it back after every busy tick made
    // the next one grow it again, copying and faulting in its pages each time. Only a burst far
    // beyond a fast line's tick is given back.
    if (staged_.capacity() > kKeptStage)
        staged_.shrink_to_fit();
    return true;
}

}  // namespace duoterm
