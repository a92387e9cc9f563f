// Duoterm's automatic exchange: the four steps of a pass, the checks and their log lines.
#include "exchange.h"

#include "rxdisplay.h"

#include <algorithm>
#include <climits>

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
// "01 02  Отправлено 2 байт", or " Получено 0 байт" with no bytes. Of a longer message the line
// shows the first TExchange::kLogBytes bytes and says so after the true count.
std::string BytesLine(const std::vector<std::uint8_t>& bytes, std::size_t count, const char* word)
{
    const std::size_t shown = std::min({bytes.size(), count, TExchange::kLogBytes});
    std::string line;
    line.reserve(shown * 3 + 64);
    traffic::AppendHex(line, bytes.data(), shown);
    line += ' ';
    line += word;
    line += ' ';
    line += std::to_string(count);
    line += " байт";
    if (shown < count) line += ", показаны первые " + std::to_string(shown);
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
    for (Side& side : sides_) side.sent.clear();
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
    for (Side& side : sides_) {
        side.rx.clear();
        side.rxLen = 0;
    }
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
        host_.CollectReceived(2);
        Check(1);
        if (running_) EnableTimer(TimerId::otvetTimer2);
        break;
    case TimerId::otvetTimer2: AnswerFromPort2(); break;
    case TimerId::ozidtimer:
        host_.CollectReceived(1);
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
    s.sent.assign(bytes, bytes + count);
    EnableTimer(side == 1 ? TimerId::ozidtimer2 : TimerId::ozidtimer);
}

void TExchange::Received(int side, const std::uint8_t* bytes, std::size_t count)
{
    if (!TakesReceived() || !ValidSide(side)) return;
    Side& s = sides_[SideIndex(side)];
    if (s.rx.size() < kKeptBytes && count > 0)
        s.rx.insert(s.rx.end(), bytes, bytes + std::min(count, kKeptBytes - s.rx.size()));
    s.rxLen += count;
}

// Compares the sender's last message with what the other port received since the last check
// of this direction, logs the first mismatch, and empties the reception.
void TExchange::Check(int sender)
{
    const Side& sent = sides_[SideIndex(sender)];
    Side& got = sides_[SideIndex(sender == 1 ? 2 : 1)];
    if (!sent.sent.empty()) {
        // Whole messages are compared; a reception beyond what is kept cannot be equal.
        const bool same = sent.sent.size() == got.rxLen && got.rx.size() == got.rxLen && sent.sent == got.rx;
        if (!same) {
            host_.AppendLog((sender == 1 ? "1->2 проход " : "1<-2 проход ") + std::to_string(passCount_));
            host_.AppendLog(BytesLine(sent.sent, sent.sent.size(), "Отправлено"));
            host_.AppendLog(BytesLine(got.rx, got.rxLen, "Получено"));
            noErrors_ = false;
        }
    }
    got.rx.clear();
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
