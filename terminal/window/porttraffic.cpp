#include "porttraffic.h"

#include "asciisender.h"
#include "comm.h"
#include "request.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace duoterm {

namespace {

constexpr size_t kReadChunk = 65536;
// What one receive event or tick takes from the port at most: far more than a tick brings at
// the fastest line rate, and little enough to keep the window's thread free at any rate.
constexpr size_t kReadAtOnce = 4 * kReadChunk;
// A long message goes out in pieces of about 20 ms of the line's time, at least 64 bytes and
// at most 4 KiB (ten bits a byte on the line). Between two pieces the window's events run, so
// its other port, which may be the one receiving, reads while the message goes out: a piece
// that waited long for room would leave that port's input unread meanwhile, and a line that
// fills up would end the message.
size_t WritePiece(uint32_t bitsPerSecond)
{
    return std::clamp<size_t>(bitsPerSecond / 10 / 50, 64, 4096);
}
constexpr size_t kKeptStage = size_t{16} << 20;

// The wall clock in milliseconds since the epoch: a tick's time.
int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

size_t DefaultViewBudget(uint64_t physicalBytes)
{
    constexpr uint64_t kLeast = uint64_t{64} << 20, kMost = uint64_t{2} << 30;
    if (physicalBytes == 0)
        return size_t{256} << 20;
    return static_cast<size_t>(std::clamp(physicalBytes / 16, kLeast, kMost));
}

TPortTraffic::TPortTraffic(int side, TCustomComm& port) : side_(side), port_(port) {}

void TPortTraffic::WriteWhole(const std::vector<uint8_t>& bytes)
{
    // Between the pieces the events of the ports run (the user's input waits): the port that
    // receives the message may be the window's other one, whose reading runs on this thread,
    // and a message longer than the line's buffers only moves on while it reads. A write that
    // moves nothing within the port's time-out ends the message, as a failed write does.
    const struct Writing {
        bool& flag;
        explicit Writing(bool& f) : flag(f) { flag = true; }
        ~Writing() { flag = false; }
    } writing(writing_);
    const size_t pieceSize = WritePiece(port_.BaudRateBps());
    size_t sent = 0;
    while (sent < bytes.size()) {
        const size_t piece = std::min(pieceSize, bytes.size() - sent);
        const int n = port_.Write(bytes.data() + sent, static_cast<int>(piece));
        if (n <= 0)
            return;
        if (onWrittenChunk)
            onWrittenChunk(side_, bytes.data() + sent, static_cast<size_t>(n));
        sentLog_.AppendTick(bytes.data() + sent, static_cast<size_t>(n), NowMs());
        if (onStored)
            onStored(side_, true);
        sent += static_cast<size_t>(n);
        if (sent < bytes.size()) {
            if (betweenPieces)
                betweenPieces();
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
    }
}

void TPortTraffic::Write(const std::vector<uint8_t>& bytes)
{
    WriteWhole(bytes);
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
    WriteWhole(traffic::AsciiMessage(bytes, vk));
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
    // A transmitter that runs empty between the pieces of a long message is not the end of it.
    if (!autoSend_ || !manualSent_ || writing_)
        return;
    if (lastSendHex_) {
        std::string bytes;
        To1251(hexLine, bytes);
        SendHexRequest(bytes);
    } else
        writeportASCCI(asciiLine, vk);
}

void TPortTraffic::ReadWaiting(std::vector<uint8_t>& into, size_t limit)
{
    // The reads return at once with what is there.
    static uint8_t buffer[kReadChunk];
    for (size_t taken = 0; taken < limit;) {
        const int n = port_.Read(buffer, static_cast<int>(kReadChunk));
        if (n > 0) {
            into.insert(into.end(), buffer, buffer + n);
            taken += static_cast<size_t>(n);
            if (onReadChunk)
                onReadChunk(side_, buffer, static_cast<size_t>(n));
        }
        if (n < static_cast<int>(kReadChunk))
            return;
    }
}

void TPortTraffic::HandToExchange(size_t limit)
{
    std::vector<uint8_t> bytes;
    ReadWaiting(bytes, limit);
    if (onExchangeReceived && !bytes.empty())
        onExchangeReceived(side_, bytes.data(), bytes.size());
}

void TPortTraffic::RxChar(int count)
{
    // The bytes are taken out of the port's queue now, so that the queue never runs full at
    // a high rate; they are shown at the next tick (or go to a running exchange).
    if (!(exchangeTakesReceived && exchangeTakesReceived()))
        pendingRx_ = count;
    TakeWaiting();
}

void TPortTraffic::TakeWaiting()
{
    if (!port_.IsOpen())
        return;
    if (exchangeTakesReceived && exchangeTakesReceived())
        HandToExchange(kReadAtOnce);
    else
        ReadWaiting(staged_, kReadAtOnce);
}

void TPortTraffic::CollectForExchange()
{
    if (port_.IsOpen() && exchangeTakesReceived && exchangeTakesReceived())
        HandToExchange(SIZE_MAX);
}

bool TPortTraffic::Tick()
{
    if (pendingRx_ > 0 || !staged_.empty()) {
        if (port_.IsOpen())
            ReadWaiting(staged_, kReadAtOnce);
        pendingRx_ = 0;
    }
    if (staged_.empty())
        return false;
    log_.AppendTick(staged_.data(), staged_.size(), NowMs());
    if (onStored)
        onStored(side_, false);
    staged_.clear();
    // The buffer keeps its size from tick to tick: giving it back after every busy tick made
    // the next one grow it again, copying and faulting in its pages each time. Only a burst far
    // beyond a fast line's tick is given back.
    if (staged_.capacity() > kKeptStage)
        staged_.shrink_to_fit();
    return true;
}

}  // namespace duoterm
