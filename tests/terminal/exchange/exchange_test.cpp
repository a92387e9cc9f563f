// The automatic exchange on a simulated bench: two ports wired to each other through a far end
// that can drop, add or change bytes, a clock, and an event queue standing in for the window's
// single-shot timers and the ports' receive events.
#include "exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using duoterm::ExchangeFields;
using duoterm::TExchange;
using duoterm::TimerId;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kVerdict = "Ошибок не обнаружено";

Bytes Hex(const std::string& text)
{
    Bytes bytes;
    std::string digits;
    for (char c : text)
        if (c != ' ') digits += c;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) bytes.push_back(std::stoi(digits.substr(i, 2), nullptr, 16));
    return bytes;
}

// The window as the exchange sees it. A request here is a simplified form of the real request
// language (whose parser has tests of its own): messages of hex pairs separated by "|" (an
// empty group is a message of no bytes), and a "+N" group that blocks the user-interface thread
// for N ms, as a pause does.
class Bench : public duoterm::ExchangeHost {
public:
    // What the far end delivers to port `to` for a message written by the other port, in
    // pass `pass` (the exchange's pass count at the time of writing).
    std::function<Bytes(int to, int pass, const Bytes& written)> farEnd = [](int, int, const Bytes& b) { return b; };
    int latencyMs = 2;
    // How late after its arrival the port's event for received bytes is served.
    int serveDelayMs = 0;
    bool open[3] = {false, true, true};

    TExchange exchange{*this};
    std::int64_t now = 0;
    std::vector<std::string> log;
    std::vector<std::int64_t> logTimes;
    std::vector<int> progress;
    std::vector<bool> runningUi;
    std::map<TimerId, std::vector<int>> timerStarts;  // intervals the timer was started with
    std::vector<int> sends[3];                        // pass count at each SendRequest per side
    Bytes displayed[3];                               // bytes that went to the panels' display
    bool restartedRunningTimer = false;

    ExchangeFields Fields(const std::string& wait, const std::string& delay, const std::string& cycles,
                          const std::string& request1 = "01 02 03", const std::string& request2 = "A0 B0")
    {
        return ExchangeFields{wait, delay, cycles, request1, request2};
    }

    // Starts a run that must start.
    void Start(const ExchangeFields& fields)
    {
        const auto error = exchange.Start(fields);
        ASSERT_FALSE(error) << *error;
        ASSERT_TRUE(exchange.Running());
    }

    // Handles queued events in time order up to `until` (events due meanwhile included).
    void RunUntil(std::int64_t until)
    {
        while (!queue_.empty()) {
            auto next = std::min_element(queue_.begin(), queue_.end(), [](const Event& a, const Event& b) {
                return a.due != b.due ? a.due < b.due : a.seq < b.seq;
            });
            if (next->due > until) break;
            Event event = *next;
            queue_.erase(next);
            now = std::max(now, event.due);
            if (event.isTimer)
                exchange.TimerFired(event.timer);
            else
                Deliver(event);
        }
        now = std::max(now, until);
    }
    // Runs until the exchange stops (bounded, so a stalled run fails instead of hanging).
    void RunToEnd()
    {
        for (int i = 0; i < 100000 && exchange.Running() && !queue_.empty(); ++i) RunUntil(NextDue());
        EXPECT_FALSE(exchange.Running()) << "the run stalled";
    }
    bool TimerPending(TimerId timer) const
    {
        return std::any_of(queue_.begin(), queue_.end(), [&](const Event& e) { return e.isTimer && e.timer == timer; });
    }
    // Delivers bytes to a port now, as if the far end sent them unprompted.
    void Arrive(int side, const Bytes& bytes) { Queue(Event{now, 0, false, {}, side, bytes, now}); }

    // ExchangeHost
    void SendRequest(int side, const std::string& request) override
    {
        sends[side].push_back(exchange.PassCount());
        std::size_t start = 0;
        while (start <= request.size()) {
            const std::size_t end = std::min(request.find('|', start), request.size());
            const std::string group = request.substr(start, end - start);
            if (!group.empty() && group[0] == '+') {
                now += std::stoi(group.substr(1));
            } else {
                const Bytes message = Hex(group);
                if (open[side]) {
                    const int to = side == 1 ? 2 : 1;
                    if (open[to])
                        Queue(Event{now + latencyMs + serveDelayMs, 0, false, {}, to, farEnd(to, exchange.PassCount(), message),
                                    now + latencyMs});
                }
                exchange.MessageWritten(side, message.data(), message.size());
            }
            start = end + 1;
        }
    }
    bool IsPortOpen(int side) override { return open[side]; }
    void CollectReceived(int side) override
    {
        for (auto e = queue_.begin(); e != queue_.end();) {
            if (e->isTimer || e->side != side || e->arrived > now) {
                ++e;
                continue;
            }
            Deliver(*e);
            e = queue_.erase(e);
        }
    }
    void AppendLog(const std::string& line) override
    {
        log.push_back(line);
        logTimes.push_back(now);
    }
    void ClearLog() override
    {
        log.clear();
        logTimes.clear();
    }
    void SetProgress(int position) override { progress.push_back(position); }
    void SetRunningUi(bool running) override { runningUi.push_back(running); }
    void StartTimer(TimerId timer, int ms) override
    {
        if (TimerPending(timer)) restartedRunningTimer = true;
        timerStarts[timer].push_back(ms);
        Queue(Event{now + ms, 0, true, timer, 0, {}});
    }
    void StopTimer(TimerId timer) override
    {
        std::erase_if(queue_, [&](const Event& e) { return e.isTimer && e.timer == timer; });
    }

private:
    struct Event {
        std::int64_t due;
        std::uint64_t seq;
        bool isTimer;
        TimerId timer;
        int side;
        Bytes bytes;
        std::int64_t arrived = 0;  // received bytes: when they are in the port's queue
    };
    void Deliver(const Event& event)
    {
        if (exchange.TakesReceived())
            exchange.Received(event.side, event.bytes.data(), event.bytes.size());
        else
            displayed[event.side].insert(displayed[event.side].end(), event.bytes.begin(), event.bytes.end());
    }
    void Queue(Event event)
    {
        event.seq = seq_++;
        queue_.push_back(std::move(event));
    }
    std::int64_t NextDue() const
    {
        std::int64_t due = queue_.front().due;
        for (const Event& e : queue_) due = std::min(due, e.due);
        return due;
    }

    std::vector<Event> queue_;
    std::uint64_t seq_ = 0;
};

// A bench after its test: no timer may have been restarted while running.
class ExchangeTest : public testing::Test {
protected:
    void TearDown() override { EXPECT_FALSE(bench.restartedRunningTimer); }
    Bench bench;
};

TEST_F(ExchangeTest, CleanRunsMoveTheBarAndEndWithTheVerdict)
{
    struct Case {
        const char* cycles;
        std::vector<int> progress;
    };
    for (const Case& c : {Case{"1", {0, 10000, 10000}}, Case{"3", {0, 3333, 6666, 9999, 10000}},
                          Case{"10", {0, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000, 10000}}}) {
        SCOPED_TRACE(c.cycles);
        Bench b;
        EXPECT_FALSE(b.exchange.TakesReceived());
        b.Start(b.Fields("100", "10", c.cycles));
        EXPECT_FALSE(b.exchange.TakesReceived()) << "armed only by the first send";
        b.RunToEnd();
        const int n = std::stoi(c.cycles);
        EXPECT_EQ(b.progress, c.progress);
        EXPECT_EQ(b.log, std::vector<std::string>{kVerdict});
        EXPECT_EQ(b.runningUi, (std::vector<bool>{true, false}));
        EXPECT_EQ(b.sends[1].size(), std::size_t(n));
        EXPECT_EQ(b.sends[2].size(), std::size_t(n));
        EXPECT_EQ(b.sends[1].back(), n);
        EXPECT_EQ(b.exchange.PassCount(), n);
        EXPECT_TRUE(b.exchange.NoErrors());
        // A pass: delay, wait, delay, wait; then one more delay before the stop.
        EXPECT_EQ(b.logTimes.front(), n * (10 + 100 + 10 + 100) + 10);
        EXPECT_EQ(b.timerStarts[TimerId::otvetTimer], std::vector<int>(n + 1, 10));
        EXPECT_EQ(b.timerStarts[TimerId::ozidtimer2], std::vector<int>(n, 100));
        EXPECT_FALSE(b.exchange.TakesReceived());
        EXPECT_TRUE(b.displayed[1].empty() && b.displayed[2].empty()) << "no byte went to the display";
        EXPECT_FALSE(b.restartedRunningTimer);
    }
}

// Bytes that arrived within the wait count, even when the port's event for them is served
// only after the wait (a busy machine): the check takes what the port holds.
TEST_F(ExchangeTest, BytesInThePortByTheCheckCountThoughTheirEventIsLate)
{
    bench.serveDelayMs = 150;
    bench.Start(bench.Fields("100", "10", "3"));
    bench.RunToEnd();
    EXPECT_EQ(bench.log, std::vector<std::string>{kVerdict});
    EXPECT_TRUE(bench.exchange.NoErrors());
}

// Each check logs its first mismatch as header, sent line and received line.
TEST_F(ExchangeTest, MismatchesAreLoggedInTheirPass)
{
    struct Case {
        const char* name;
        std::function<Bytes(int, int, const Bytes&)> farEnd;
        std::string request1;
        std::vector<std::string> log;
    };
    const std::vector<Case> cases = {
        {"port 2 receives nothing in pass 2",
         [](int to, int pass, const Bytes& b) { return to == 2 && pass == 2 ? Bytes{} : b; }, "01 02 03",
         {"1->2 проход 2", "01 02 03  Отправлено 3 байт", " Получено 0 байт"}},
        {"an echo: one byte too many",
         [](int to, int pass, const Bytes& b) {
             Bytes out = b;
             if (to == 2 && pass == 1) out.push_back(b.back());
             return out;
         },
         "01 02 03", {"1->2 проход 1", "01 02 03  Отправлено 3 байт", "01 02 03 03  Получено 4 байт"}},
        {"one byte changed on the way back in pass 3",
         [](int to, int pass, const Bytes& b) {
             Bytes out = b;
             if (to == 1 && pass == 3) out[1] ^= 0x01;
             return out;
         },
         "01 02 03", {"1<-2 проход 3", "A0 B0  Отправлено 2 байт", "A0 B1  Получено 2 байт"}},
        {"several messages: only the last is expected", nullptr, "01 02|C3",
         {"1->2 проход 1", "C3  Отправлено 1 байт", "01 02 C3  Получено 3 байт", "1->2 проход 2",
          "C3  Отправлено 1 байт", "01 02 C3  Получено 3 байт", "1->2 проход 3", "C3  Отправлено 1 байт",
          "01 02 C3  Получено 3 байт"}},
        {"several messages, the earlier ones empty", nullptr, "|+50|01 02", {kVerdict}},
        {"messages of no bytes are not checked", [](int to, int, const Bytes& b) { return to == 2 ? Hex("FF") : b; },
         "|", {kVerdict}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        if (c.farEnd) b.farEnd = c.farEnd;
        b.Start(b.Fields("100", "10", "3", c.request1));
        b.RunToEnd();
        EXPECT_EQ(b.log, c.log);
        EXPECT_EQ(b.exchange.NoErrors(), c.log == std::vector<std::string>{kVerdict});
        EXPECT_FALSE(b.restartedRunningTimer);
    }
}

TEST_F(ExchangeTest, TheWaitCountsFromTheFirstMessageOfARequest)
{
    // The request blocks 150 ms between its messages; the 100 ms wait started with the first
    // message is due meanwhile and checks as soon as the send returns, before the second
    // message has arrived.
    bench.Start(bench.Fields("100", "10", "1", "01|+150|02"));
    bench.RunToEnd();
    ASSERT_EQ(bench.log.size(), 3u);
    EXPECT_EQ(bench.log[1], "02  Отправлено 1 байт");
    EXPECT_EQ(bench.log[2], "01  Получено 1 байт");
    EXPECT_EQ(bench.logTimes[0], 10 + 150);
    EXPECT_EQ(bench.timerStarts[TimerId::ozidtimer2].size(), 1u);
}

TEST_F(ExchangeTest, StopDuringAWaitChecksNothingAndARunStartsAfresh)
{
    bench.farEnd = [](int, int, const Bytes&) { return Hex("EE"); };
    bench.Start(bench.Fields("100", "10", "5"));
    bench.RunUntil(10 + 50);  // port 1 has sent; the wrong answer arrived; the wait runs
    ASSERT_TRUE(bench.TimerPending(TimerId::ozidtimer2));
    ASSERT_EQ(bench.exchange.RxLen(2), 1u);
    bench.exchange.Stop();
    EXPECT_EQ(bench.log, std::vector<std::string>{kVerdict});
    EXPECT_EQ(bench.progress.back(), 10000);
    EXPECT_EQ(bench.exchange.RxLen(2), 0u);
    for (TimerId t : {TimerId::otvetTimer, TimerId::ozidtimer2, TimerId::otvetTimer2, TimerId::ozidtimer})
        EXPECT_FALSE(bench.TimerPending(t) || bench.exchange.TimerEnabled(t));
    // A fire the window had already queued is ignored.
    bench.exchange.TimerFired(TimerId::ozidtimer2);
    EXPECT_EQ(bench.log.size(), 1u);
    // Bytes arriving now are the display's again.
    bench.Arrive(2, Hex("55"));
    bench.RunUntil(bench.now);
    EXPECT_EQ(bench.displayed[2], Hex("55"));

    bench.farEnd = [](int, int, const Bytes& b) { return b; };
    bench.Start(bench.Fields("100", "10", "2"));
    EXPECT_TRUE(bench.log.empty());
    EXPECT_TRUE(bench.exchange.TakesReceived()) << "armed since the first run";
    bench.RunToEnd();
    EXPECT_EQ(bench.log, std::vector<std::string>{kVerdict});
    EXPECT_EQ(bench.exchange.PassCount(), 2);
}

TEST_F(ExchangeTest, APortClosingDuringARunFailsItsPassesAndIsReported)
{
    bench.Start(bench.Fields("100", "10", "3"));
    bench.RunUntil(220);  // pass 1 done
    ASSERT_EQ(bench.exchange.PassCount(), 1);
    bench.open[2] = false;
    bench.RunToEnd();
    const std::vector<std::string> pass2 = {"1->2 проход 2", "01 02 03  Отправлено 3 байт", " Получено 0 байт",
                                            "1<-2 проход 2", "A0 B0  Отправлено 2 байт",    " Получено 0 байт"};
    ASSERT_EQ(bench.log.size(), 13u);
    EXPECT_EQ(std::vector<std::string>(bench.log.begin(), bench.log.begin() + 6), pass2);
    EXPECT_EQ(bench.log[6], "1->2 проход 3");
    EXPECT_EQ(bench.log.back(), "Правый порт закрыт");
}

TEST_F(ExchangeTest, BadFieldsAreRefusedBeforeAnythingChanges)
{
    struct Case {
        const char *wait, *delay, *cycles, *error;
    };
    for (const Case& c : {
             Case{"", "10", "10", "'' is not a valid integer value"},
             Case{"100", "1a", "10", "'1a' is not a valid integer value"},
             Case{"100", "10", "-1", "'-1' is not a valid integer value"},
             Case{"100", "10", " 5", "' 5' is not a valid integer value"},
             Case{"100", "10", "+5", "'+5' is not a valid integer value"},
             Case{"99999999999", "10", "10", "'99999999999' is not a valid integer value"},
             Case{"abc", "", "0", "'abc' is not a valid integer value"},
             Case{"100", "10", "0", "Количество циклов должно быть больше нуля"},
             Case{"100", "10", "0000", "Количество циклов должно быть больше нуля"},
         }) {
        SCOPED_TRACE(c.error);
        Bench b;
        b.log = {"previous run"};
        const auto error = b.exchange.Start(b.Fields(c.wait, c.delay, c.cycles));
        ASSERT_TRUE(error);
        EXPECT_EQ(*error, c.error);
        EXPECT_FALSE(b.exchange.Running());
        EXPECT_EQ(b.log, std::vector<std::string>{"previous run"});
        EXPECT_TRUE(b.runningUi.empty() && b.progress.empty() && b.timerStarts.empty());
    }
}

TEST_F(ExchangeTest, ZeroWaitAndDelayRunAtOnce)
{
    bench.latencyMs = 0;
    bench.Start(bench.Fields("0", "0", "3"));
    bench.RunToEnd();
    EXPECT_EQ(bench.log, std::vector<std::string>{kVerdict});
    EXPECT_EQ(bench.exchange.PassCount(), 3);
    EXPECT_EQ(bench.now, 0);
}

TEST_F(ExchangeTest, AStartWithAPortClosedIsRefusedWithItsLines)
{
    struct Case {
        bool open1, open2;
        std::vector<std::string> log;
    };
    for (const Case& c : {Case{false, true, {"Левый порт закрыт"}}, Case{true, false, {"Правый порт закрыт"}},
                          Case{false, false, {"Левый порт закрыт", "Правый порт закрыт"}}}) {
        Bench b;
        b.open[1] = c.open1;
        b.open[2] = c.open2;
        b.log = {"previous run"};
        EXPECT_FALSE(b.exchange.Start(b.Fields("100", "10", "10")));
        EXPECT_FALSE(b.exchange.Running());
        EXPECT_EQ(b.log, c.log);
        EXPECT_TRUE(b.runningUi.empty() && b.timerStarts.empty() && b.sends[1].empty());
    }
}

// Messages are compared whole, however long; a mismatch's line shows at most 4096 bytes of a
// message and says so, with the true count.
TEST_F(ExchangeTest, LongMessagesAreComparedWholeAndTheirLogLinesSayWhenTheyArePart)
{
    const std::string big(2 * 5000, '5');  // one message of 5000 bytes 0x55
    bench.Start(bench.Fields("100", "10", "2", big, big + "6"));
    bench.RunToEnd();
    EXPECT_EQ(bench.log, std::vector<std::string>{kVerdict}) << "an exact long message is no mismatch";

    const Bytes flood(5000, 0xAB);
    Bench b;
    b.farEnd = [&](int to, int, const Bytes& bytes) { return to == 2 ? flood : bytes; };
    b.Start(b.Fields("100", "10", "1", "01", big));
    b.RunUntil(10 + 1);
    b.Arrive(2, flood);  // and another 5000 in the same pass
    b.farEnd = [](int, int, const Bytes& bytes) {
        Bytes changed = bytes;
        changed[4999] ^= 1;  // the last byte, beyond what a line shows
        return changed;
    };
    b.RunToEnd();
    const std::string shown4096 = [] {
        std::string s;
        for (int i = 0; i < 4096; ++i) s += "55 ";
        return s;
    }();
    ASSERT_EQ(b.log.size(), 6u);
    EXPECT_EQ(b.log[1], "01  Отправлено 1 байт");
    EXPECT_EQ(b.log[2].size(), 4096 * 3 + std::string(" Получено 10000 байт, показаны первые 4096").size());
    EXPECT_TRUE(b.log[2].ends_with("AB AB  Получено 10000 байт, показаны первые 4096"));
    EXPECT_EQ(b.log[3], "1<-2 проход 1");
    EXPECT_EQ(b.log[4], shown4096 + " Отправлено 5000 байт, показаны первые 4096");
    EXPECT_EQ(b.log[5], shown4096 + " Получено 5000 байт, показаны первые 4096") << "a difference past 4096 counts";
}

// A port that goes away ends the run at once, as the stop button does, naming the closed port.
TEST_F(ExchangeTest, APortLostDuringARunStopsItAsAStopWould)
{
    bench.Start(bench.Fields("100", "10", "5"));
    bench.RunUntil(150);  // pass 1, waiting for port 2's answer
    ASSERT_EQ(bench.exchange.PassCount(), 1);
    bench.open[2] = false;
    bench.exchange.PortLost();
    EXPECT_FALSE(bench.exchange.Running());
    EXPECT_EQ(bench.runningUi.back(), false);
    EXPECT_EQ(bench.progress.back(), TExchange::kProgressMax);
    EXPECT_EQ(bench.log, (std::vector<std::string>{"Правый порт закрыт", kVerdict}));
    bench.RunToEnd();
    EXPECT_EQ(bench.sends[1].size(), 1u) << "nothing more is sent";
    bench.exchange.PortLost();  // idle: nothing happens
    EXPECT_EQ(bench.log.size(), 2u);
}

}  // namespace
