// Duoterm's automatic exchange: port 1 sends the left message, port 2 must receive exactly
// those bytes and answers with the right one, for a set number of passes, every mismatch logged.
//
// Threads: everything runs on the user-interface thread: the start and stop button, the fires
// of the four timers, the hand-over of each written message and the received bytes, one call
// at a time. The unit has no locks and must not be called from a port's wait thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace duoterm {

// The four one-shot timers of a pass, in the order they run.
enum class TimerId {
    otvetTimer,   // answer delay, then port 1 sends
    ozidtimer2,   // wait, then check what port 2 received
    otvetTimer2,  // answer delay, then port 2 answers
    ozidtimer,    // wait, then check what port 1 received
};

// What the exchange needs of the window (and what tests fake). Sides are 1 (left port) and 2
// (right port). Log lines are UTF-8.
class ExchangeHost {
public:
    virtual ~ExchangeHost() = default;
    // Sends a HEX request (Windows-1251 bytes) on the side's port as a manual HEX send does,
    // pauses included. Every message written, whether or not the port is open, is handed back
    // through TExchange::MessageWritten before this returns.
    virtual void SendRequest(int side, const std::string& request1251) = 0;
    virtual bool IsPortOpen(int side) = 0;
    // Hands over, through TExchange::Received, what the side's port holds now but has not yet
    // passed on: a check counts every byte that has arrived by its time, even when the port's
    // event for it has not been served yet (a busy machine may serve it late).
    virtual void CollectReceived(int /*side*/) {}
    virtual void AppendLog(const std::string& utf8Line) = 0;
    virtual void ClearLog() = 0;
    // Position of the progress bar, 0 to TExchange::kProgressMax.
    virtual void SetProgress(int position) = 0;
    // Running: button caption TExchange::kCaptionRunning; the three number fields, the two
    // exchange lines, both port panels and the six exchange-line slot buttons disabled; both
    // auto-send boxes unticked and their flags cleared. Idle: caption kCaptionIdle and all of
    // those enabled again.
    virtual void SetRunningUi(bool running) = 0;
    // A single-shot timer: it fires once, by TExchange::TimerFired, unless stopped first. An
    // interval of 0 fires at the next turn of the event loop. The exchange never starts a timer
    // that is still running.
    virtual void StartTimer(TimerId timer, int ms) = 0;
    virtual void StopTimer(TimerId timer) = 0;
};

// The texts of the exchange panel at the start of a run.
struct ExchangeFields {
    std::string wait;      // wait for reception, ms (UTF-8 field text)
    std::string delay;     // delay before each send, ms
    std::string cycles;    // number of passes
    std::string request1;  // left exchange line, HEX request in Windows-1251
    std::string request2;  // right exchange line
};

class TExchange {
public:
    // A mismatch's log line shows at most this many bytes of a message; the line then says so,
    // and its count stays the true one.
    static constexpr std::size_t kLogBytes = 4096;
    // Bytes kept of one pass's reception for the comparison; what comes beyond is only counted
    // (and the pass is a mismatch, since no message is that long).
    static constexpr std::size_t kKeptBytes = std::size_t{64} << 20;
    static constexpr int kProgressMax = 10000;
    static constexpr const char* kCaptionIdle = "Начать обмен данными";
    static constexpr const char* kCaptionRunning = "Прекратить обмен данными";
    static constexpr const char* kZeroCyclesMessage = "Количество циклов должно быть больше нуля";

    explicit TExchange(ExchangeHost& host);
    TExchange(const TExchange&) = delete;
    TExchange& operator=(const TExchange&) = delete;

    // Starts a run. Each number field must be decimal digits only and fit an int; the first that
    // does not gives "'<text>' is not a valid integer value", and a cycle count of 0 gives
    // kZeroCyclesMessage: that text is returned for the error box and nothing changes. With
    // a port closed the log is cleared and gets "Левый порт закрыт" / "Правый порт закрыт",
    // and nothing runs (no text returned). Otherwise the log is cleared and the first answer
    // delay starts. Does nothing while running.
    std::optional<std::string> Start(const ExchangeFields& fields);
    // Ends a run at any point: no check is made for an unfinished pass; the bar goes to its end,
    // closed ports are logged, then "Ошибок не обнаружено" when no check failed. Does nothing
    // while idle.
    void Stop();
    bool Running() const { return running_; }
    // A port has gone away: a run stops there, as Stop does (its log then names the closed port).
    void PortLost() { Stop(); }

    // A timer started through the host has fired; a fire of a timer the exchange has stopped
    // meanwhile is ignored.
    void TimerFired(TimerId timer);

    // A message the side's port has just written (from any HEX send). While running it becomes
    // the side's expected bytes, replacing an earlier message of the same request, and starts
    // the other side's wait unless that is already running, so the wait counts from a
    // request's first message.
    void MessageWritten(int side, const std::uint8_t* bytes, std::size_t count);

    // Whether the ports' received bytes belong to the exchange (pass them to Received) rather
    // than to the display: while running, once the first run has made its first send.
    bool TakesReceived() const { return rxArmed_ && running_; }
    // Bytes the side's port received; they gather until that direction's next check. Any count
    // is taken: beyond kKeptBytes only the count grows, and the check reports a mismatch.
    void Received(int side, const std::uint8_t* bytes, std::size_t count);

    // State, for the window and tests.
    int PassCount() const { return passCount_; }
    int CycleTotal() const { return cycleTotal_; }
    int ProgressStep() const { return progressStep_; }
    int Progress() const { return progress_; }
    bool NoErrors() const { return noErrors_; }
    bool RxArmed() const { return rxArmed_; }
    bool TimerEnabled(TimerId timer) const { return timerEnabled_[Index(timer)]; }
    std::size_t SentLen(int side) const { return sides_[SideIndex(side)].sent.size(); }
    std::size_t RxLen(int side) const { return sides_[SideIndex(side)].rxLen; }

private:
    struct Side {
        std::vector<std::uint8_t> sent;  // the last message, whole
        std::vector<std::uint8_t> rx;    // received since the last check, at most kKeptBytes
        std::size_t rxLen = 0;           // true count since the last check
    };

    static std::size_t Index(TimerId timer) { return static_cast<std::size_t>(timer); }
    static std::size_t SideIndex(int side) { return side == 2 ? 1 : 0; }

    void EnableTimer(TimerId timer);
    void DisableTimer(TimerId timer);
    void SendFromPort1();
    void AnswerFromPort2();
    void Check(int sender);
    void LogClosedPorts();

    ExchangeHost& host_;
    bool running_ = false;
    bool rxArmed_ = false;
    bool noErrors_ = false;
    int waitMs_ = 0;
    int delayMs_ = 0;
    int cycleTotal_ = 0;
    int passCount_ = 0;
    int progressStep_ = 0;
    int progress_ = 0;
    std::string request1_;
    std::string request2_;
    std::array<bool, 4> timerEnabled_{};
    std::array<Side, 2> sides_{};
};

}  // namespace duoterm
