// Duoterm's automatic exchange: the four steps of a pass, the checks and their log lines.
#include "exchange.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace duoterm {

namespace {

// A number field: decimal digits only, and a value that fits an int.
std::optional<int> FieldValue(const std::string& text)
{
    if (text.empty()) return std::nullopt;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > INT_MAX) return std::nullopt;
    }
    return static_cast<int>(value);
}

std::string NotAnInteger(const std::string& text) { return "'" + text + "' is not a valid integer value"; }

// The bytes as two capital hex digits and a space each, then the word and the count:
// "01 02  Отправлено 2 байт", or " Получено 0 байт" with no bytes.
std::string BytesLine(const std::uint8_t* bytes, std::size_t kept, std::size_t count, const char* word)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string line;
    line.reserve(kept * 3 + 32);
    for (std::size_t i = 0; i < kept; ++i) {
        line += digits[bytes[i] >> 4];
        line += digits[bytes[i] & 0x0F];
        line += ' ';
    }
    line += ' ';
    line += word;
    line += ' ';
    line += std::to_string(count);
    line += " байт";
    return line;
}

bool ValidSide(int side) { return side == 1 || side == 2; }

}  // namespace

TExchange::TExchange(ExchangeHost& host) : host_(host) {}

std::optional<std::string> TExchange::Start(const ExchangeFields& fields)
{
    if (running_) return std::nullopt;
    const auto wait = FieldValue(fields.wait);
    if (!wait) return NotAnInteger(fields.wait);
    const auto delay = FieldValue(fields.delay);
    if (!delay) return NotAnInteger(fields.delay);
    const auto cycles = FieldValue(fields.cycles);
    if (!cycles) return NotAnInteger(fields.cycles);
    if (*cycles == 0) return std::string(kZeroCyclesMessage);

    host_.ClearLog();
    if (!host_.IsPortOpen(1) || !host_.IsPortOpen(2)) {
        LogClosedPorts();
        return std::nullopt;
    }

    running_ = true;
    waitMs_ = *wait;
    delayMs_ = *delay;
    cycleTotal_ = *cycles;
    progressStep_ = kProgressMax / cycleTotal_;
    passCount_ = 0;
    progress_ = 0;
    request1_ = fields.request1;
    request2_ = fields.request2;
    for (Side& side : sides_) side.sentLen = 0;
    noErrors_ = true;
    host_.SetProgress(progress_);
    host_.SetRunningUi(true);
    EnableTimer(TimerId::otvetTimer);
    return std::nullopt;
}

void TExchange::Stop()
{
    if (!running_) return;
    running_ = false;
    host_.SetRunningUi(false);
    for (TimerId timer : {TimerId::otvetTimer, TimerId::otvetTimer2, TimerId::ozidtimer, TimerId::ozidtimer2})
        DisableTimer(timer);
    progress_ = kProgressMax;
    host_.SetProgress(progress_);
    for (Side& side : sides_) side.rxLen = 0;
    LogClosedPorts();
    if (noErrors_) host_.AppendLog("Ошибок не обнаружено");
}

void TExchange::TimerFired(TimerId timer)
{
    if (!timerEnabled_[Index(timer)]) return;
    // The host's timer is single-shot, so it no longer runs; each step below leaves it off.
    timerEnabled_[Index(timer)] = false;
    switch (timer) {
    case TimerId::otvetTimer: SendFromPort1(); break;
    case TimerId::ozidtimer2:
        Check(1);
        if (running_) EnableTimer(TimerId::otvetTimer2);
        break;
    case TimerId::otvetTimer2: AnswerFromPort2(); break;
    case TimerId::ozidtimer:
        Check(2);
        if (running_) EnableTimer(TimerId::otvetTimer);
        break;
    }
}

void TExchange::SendFromPort1()
{
    if (passCount_ == cycleTotal_) {
        Stop();
        return;
    }
    progress_ += progressStep_;
    host_.SetProgress(progress_);
    ++passCount_;
    host_.SendRequest(1, request1_);
    rxArmed_ = true;
}

void TExchange::AnswerFromPort2() { host_.SendRequest(2, request2_); }

void TExchange::MessageWritten(int side, const std::uint8_t* bytes, std::size_t count)
{
    if (!running_ || !ValidSide(side)) return;
    Side& s = sides_[SideIndex(side)];
    if (count > 0) std::memcpy(s.sentBuf.data(), bytes, std::min(count, kBufferSize));
    s.sentLen = count;
    EnableTimer(side == 1 ? TimerId::ozidtimer2 : TimerId::ozidtimer);
}

void TExchange::Received(int side, const std::uint8_t* bytes, std::size_t count)
{
    if (!TakesReceived() || !ValidSide(side)) return;
    Side& s = sides_[SideIndex(side)];
    if (s.rxLen < kBufferSize && count > 0)
        std::memcpy(s.rxBuf.data() + s.rxLen, bytes, std::min(count, kBufferSize - s.rxLen));
    s.rxLen += count;
}

// Compares the sender's last message with what the other port received since the last check
// of this direction, logs the first mismatch, and empties the reception.
void TExchange::Check(int sender)
{
    const Side& sent = sides_[SideIndex(sender)];
    Side& got = sides_[SideIndex(sender == 1 ? 2 : 1)];
    if (sent.sentLen > 0) {
        // Bytes beyond the buffers cannot be compared: a pass that long is a mismatch.
        const bool same = sent.sentLen == got.rxLen && got.rxLen <= kBufferSize &&
                          std::equal(sent.sentBuf.begin(), sent.sentBuf.begin() + sent.sentLen, got.rxBuf.begin());
        if (!same) {
            host_.AppendLog((sender == 1 ? "1->2 проход " : "1<-2 проход ") + std::to_string(passCount_));
            host_.AppendLog(BytesLine(sent.sentBuf.data(), std::min(sent.sentLen, kBufferSize), sent.sentLen,
                                      "Отправлено"));
            host_.AppendLog(BytesLine(got.rxBuf.data(), std::min(got.rxLen, kBufferSize), got.rxLen, "Получено"));
            noErrors_ = false;
        }
    }
    got.rxLen = 0;
}

void TExchange::LogClosedPorts()
{
    if (!host_.IsPortOpen(1)) host_.AppendLog("Левый порт закрыт");
    if (!host_.IsPortOpen(2)) host_.AppendLog("Правый порт закрыт");
}

void TExchange::EnableTimer(TimerId timer)
{
    if (timerEnabled_[Index(timer)]) return;
    timerEnabled_[Index(timer)] = true;
    host_.StartTimer(timer, timer == TimerId::otvetTimer || timer == TimerId::otvetTimer2 ? delayMs_ : waitMs_);
}

void TExchange::DisableTimer(TimerId timer)
{
    if (!timerEnabled_[Index(timer)]) return;
    timerEnabled_[Index(timer)] = false;
    host_.StopTimer(timer);
}

}  // namespace duoterm
