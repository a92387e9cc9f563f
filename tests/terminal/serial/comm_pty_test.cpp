// The port component on real pseudo-terminal pairs through the Linux backend.
#include "comm.h"
#include "eventwait.h"
#include "ptypair.h"
#include "tempdir.h"
#include "terminalport.h"
#include "ttyreadback.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tp = platform::terminalport;
using testsupport::DrainPostedEvents;
using testsupport::Eventually;
using testsupport::PtyPair;

namespace {

template <typename F>
std::string ErrorOf(F&& action)
{
    try {
        action();
    } catch (const ECommError& e) {
        return e.what();
    }
    return "(no error)";
}

// What the backend under a port was asked to do, counted by CountingPort.
struct BackendCounts {
    std::atomic<int> setStates{0};
    std::atomic<int> events{0};  // waits that came back with an event
    std::atomic<int> purges{0};  // the wait thread's last call is one
};

// Passes every call to the real backend and counts some of them.
class CountingPort : public tp::TerminalPort {
public:
    CountingPort(std::unique_ptr<tp::TerminalPort> inner, BackendCounts& counts)
        : inner_(std::move(inner)), counts_(counts)
    {
    }

    bool IsCharDevice() override { return inner_->IsCharDevice(); }
    bool Setup(int32_t i, int32_t o) override { return inner_->Setup(i, o); }
    bool GetState(tp::Dcb& d) override { return inner_->GetState(d); }
    bool SetState(const tp::Dcb& d) override { ++counts_.setStates; return inner_->SetState(d); }
    bool SetTimeouts(const tp::Timeouts& t) override { return inner_->SetTimeouts(t); }
    int Read(void* b, int c, uint32_t w) override { return inner_->Read(b, c, w); }
    int Write(const void* b, int c, uint32_t w) override { return inner_->Write(b, c, w); }
    bool Purge(uint32_t f) override { ++counts_.purges; return inner_->Purge(f); }
    bool ModemStatus(uint32_t& s) override { return inner_->ModemStatus(s); }
    bool Escape(uint32_t f) override { return inner_->Escape(f); }
    bool SetEventMask(uint32_t m) override { return inner_->SetEventMask(m); }
    tp::WaitResult WaitEvent(uint32_t& m) override
    {
        const tp::WaitResult result = inner_->WaitEvent(m);
        if (result == tp::WaitResult::Event)
            ++counts_.events;
        return result;
    }
    void StopWait() override { inner_->StopWait(); }
    bool ClearErrors(uint32_t& e, uint32_t& q) override { return inner_->ClearErrors(e, q); }
    bool LineCounts(tp::LineCounters& c) override { return inner_->LineCounts(c); }
    void Close() override { inner_->Close(); }

private:
    std::unique_ptr<tp::TerminalPort> inner_;
    BackendCounts& counts_;
};

// Makes the port open the system's device under a CountingPort; `counts` must outlive it.
void CountCalls(TComm& port, BackendCounts& counts)
{
    port.SetPortFactory([&counts](const QString& name) -> std::unique_ptr<tp::TerminalPort> {
        auto inner = TCustomComm::OpenSystemPort(name);
        if (!inner)
            return nullptr;
        return std::make_unique<CountingPort>(std::move(inner), counts);
    });
}

class PtyFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        CountCalls(port, counts);
        port.SetDeviceName(QString::fromStdString(pair.SlavePath()));
        port.OnRxChar = [this](QObject*, int count) { rx.push_back(count); };
        port.OnTxEmpty = [this](QObject*) { ++txEmpty; };
        port.OnError = [this](QObject*, int errors) { errors_.push_back(errors); };
    }
    std::string ReadAll(int expected)
    {
        std::string got;
        Eventually([&] {
            char buffer[256];
            const int n = port.Read(buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, static_cast<size_t>(n));
            return got.size() >= static_cast<size_t>(expected);
        });
        return got;
    }

    void TearDown() override { port.Close(); }

    // The handlers' records outlive the port, whose close may still run a hand-over.
    std::vector<int> rx;
    int txEmpty = 0;
    std::vector<int> errors_;
    BackendCounts counts;
    PtyPair pair;
    TComm port;
};

TEST_F(PtyFixture, DataPassesBothWays)
{
    port.SetCharsTimeOut(0);
    port.Open();
    ASSERT_TRUE(port.IsOpen());
    std::string binary = "hello";
    binary += std::string("\0\x11\x13\xff\r\n", 6);
    EXPECT_EQ(port.Write(binary.data(), static_cast<int>(binary.size())), 11);
    EXPECT_EQ(pair.ReadMaster(11), binary);

    std::string big(100000, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7);
    pair.WriteMaster(big.data(), 3000);
    EXPECT_EQ(ReadAll(3000), big.substr(0, 3000));
}

TEST_F(PtyFixture, APseudoTerminalHasNoLineErrorCounts)
{
    EXPECT_EQ(port.LineErrorCounts(), std::nullopt);
    port.Open();
    ASSERT_TRUE(port.IsOpen());
    // Not zeros: the device keeps no counts at all.
    EXPECT_EQ(port.LineErrorCounts(), std::nullopt);
}

TEST_F(PtyFixture, SettingsReachTheDriver)
{
    port.SetBaudRate(cbr115200);
    port.SetStopbits(sb20);
    port.SetFlowControl(fcSoftware);
    port.EventChars()->SetXonChar(0x21);
    port.Open();
    testsupport::TtyState tty;
    ASSERT_TRUE(testsupport::ReadTty(pair.SlaveFd(), tty));
    EXPECT_EQ(tty.ospeed, 115200u);
    EXPECT_TRUE(tty.twoStopBits);
    EXPECT_TRUE(tty.xon && tty.xoff);
    EXPECT_EQ(tty.vstart, 0x21);
    EXPECT_EQ(tty.vstop, 19);
    EXPECT_TRUE(tty.raw);
    termios tio{};
    ASSERT_EQ(tcgetattr(pair.SlaveFd(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B115200);

    // Rates the kernel has no constant for go through as arbitrary rates.
    for (auto [rate, value] : {std::pair{cbr14400, 14400u}, {cbr56000, 56000u},
                               {cbr128000, 128000u}, {cbr256000, 256000u}}) {
        port.SetBaudRate(rate);
        ASSERT_TRUE(testsupport::ReadTty(pair.SlaveFd(), tty));
        EXPECT_EQ(tty.ospeed, value);
        EXPECT_TRUE(tty.bother);
    }
    port.SetFlowControl(fcCTS);
    ASSERT_TRUE(testsupport::ReadTty(pair.SlaveFd(), tty));
    EXPECT_TRUE(tty.rtsCts);
    EXPECT_FALSE(tty.xon || tty.xoff);
    port.SetFlowControl(fcNone);
    ASSERT_TRUE(testsupport::ReadTty(pair.SlaveFd(), tty));
    EXPECT_FALSE(tty.rtsCts || tty.xon || tty.xoff);
}

TEST_F(PtyFixture, AnEqualValueMakesNoDriverCall)
{
    port.Open();
    const int afterOpen = counts.setStates;
    port.SetBaudRate(cbr9600);
    port.SetStopbits(sb10);
    port.SetFlowControl(fcDefault);
    port.EventChars()->SetXoffChar(19);
    EXPECT_EQ(counts.setStates, afterOpen);
    port.SetBaudRate(cbr2400);
    EXPECT_EQ(counts.setStates, afterOpen + 1);
}

TEST_F(PtyFixture, ReadsWithoutTimeOutReturnAtOnce)
{
    port.SetCharsTimeOut(0);
    port.Open();
    char buffer[100];
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(port.Read(buffer, 100), 0);
    pair.WriteMaster("abc", 3);
    ASSERT_TRUE(Eventually([&] { return !rx.empty(); }));
    clock.restart();
    EXPECT_EQ(port.Read(buffer, 100), 3);
    EXPECT_EQ(std::string(buffer, 3), "abc");
    EXPECT_EQ(port.Read(buffer, 100), 0);
    EXPECT_LT(clock.elapsed(), 50);
}

TEST_F(PtyFixture, ReadsWithTimeOutWaitAndReturnWhatCame)
{
    port.SetCharsTimeOut(100);
    port.Open();
    char buffer[100];
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(port.Read(buffer, 100), 0);  // nothing came: bounded by the time-out
    EXPECT_GE(clock.elapsed(), 90);
    EXPECT_LT(clock.elapsed(), 1000);
    pair.WriteMaster("xyz", 3);
    EXPECT_EQ(port.Read(buffer, 100), 3);
    EXPECT_EQ(port.Read(buffer, 2), 0);
}

TEST_F(PtyFixture, RxCharReportsTheQueueOncePerArrival)
{
    port.Open();
    pair.WriteMaster("0123456789", 10);
    ASSERT_TRUE(Eventually([&] { return !rx.empty(); }));
    EXPECT_EQ(rx[0], 10);
    // Unread bytes do not make the thread report them again and again: the TxEmpty of a
    // write, reported by a later wait, finds no second report before it.
    ASSERT_EQ(port.Write("w", 1), 1);
    ASSERT_TRUE(Eventually([&] { return txEmpty == 1; }));
    EXPECT_EQ(rx.size(), 1u);
    pair.WriteMaster("abcde", 5);
    ASSERT_TRUE(Eventually([&] { return rx.size() == 2; }));
    EXPECT_EQ(rx[1], 15);
}

// Writes closer together than the port reports arrivals, read when a report comes and, as the
// window's display does, once more at a timer's tick after it: each byte is reported or read, and the stream
// arrives whole, up to its last write.
TEST_F(PtyFixture, AStreamOfWritesIsReportedToItsLastByte)
{
    std::string got;
    auto readAll = [&] {
        char buffer[4096];
        for (int n; (n = port.Read(buffer, sizeof buffer)) > 0;)
            got.append(buffer, static_cast<size_t>(n));
    };
    // The display reads once more at its next tick after a report.
    bool reported = false;
    port.OnRxChar = [&](QObject*, int) {
        reported = true;
        readAll();
    };
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (std::exchange(reported, false))
            readAll();
    });
    tick.start(7);
    port.Open();
    std::string sent(600 * 1024, '\0');
    for (size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<char>(i * 131 + i / 4096);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (size_t at = 0; at < sent.size() && !stop;) {
            pollfd out{pair.MasterFd(), POLLOUT, 0};
            if (::poll(&out, 1, 100) <= 0)
                continue;
            const ssize_t n = ::write(pair.MasterFd(), sent.data() + at, std::min<size_t>(4096, sent.size() - at));
            if (n > 0)
                at += static_cast<size_t>(n);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
    EXPECT_TRUE(Eventually([&] { return got.size() >= sent.size(); }, 60000)) << got.size();
    stop = true;
    writer.join();
    EXPECT_TRUE(got == sent);
}

// Arrivals a millisecond apart reach the handler in a few reports rather than one each, and the
// last of them, held back for being close to the one before, is still reported with nothing
// arriving after it: read at reports only, the stream arrives whole.
TEST_F(PtyFixture, ArrivalsCloseTogetherAreReportedTogetherToTheLastOne)
{
    std::string got;
    port.OnRxChar = [&](QObject*, int count) {
        rx.push_back(count);
        char buffer[4096];
        for (int n; (n = port.Read(buffer, sizeof buffer)) > 0;)
            got.append(buffer, static_cast<size_t>(n));
    };
    port.SetCharsTimeOut(0);  // reads return at once, as the window's do
    port.Open();
    QElapsedTimer clock;
    clock.start();
    constexpr int kArrivals = 300;
    std::string sent;
    for (int i = 0; i < kArrivals; ++i)
        sent += static_cast<char>('a' + i % 26);
    // The writer has a thread of its own; this one runs a plain event loop meanwhile, as the
    // program does, so that each report is delivered as soon as it comes.
    std::thread writer([&] {
        for (char byte : sent) {
            pair.WriteMaster(&byte, 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (got.size() >= sent.size() || clock.elapsed() > testsupport::kGenerousMs)
            loop.quit();
    });
    check.start(1);
    loop.exec();
    writer.join();
    EXPECT_EQ(got, sent);
    // Reported at most every 20 ms while the bytes came (300 ms or more), with room for the ends.
    EXPECT_LE(rx.size(), static_cast<size_t>(clock.elapsed() / 20 + 3)) << clock.elapsed();
}

TEST_F(PtyFixture, TxEmptyFollowsAWrite)
{
    // Each check that no TxEmpty came waits first for the report of bytes received later.
    port.Open();
    pair.WriteMaster("1", 1);
    ASSERT_TRUE(Eventually([&] { return rx.size() == 1; }));
    EXPECT_EQ(txEmpty, 0);  // nothing written, nothing reported
    EXPECT_EQ(port.Write("ping", 4), 4);
    ASSERT_TRUE(Eventually([&] { return txEmpty == 1; }));
    EXPECT_EQ(pair.ReadMaster(4), "ping");
    pair.WriteMaster("2", 1);
    ASSERT_TRUE(Eventually([&] { return rx.size() == 2; }));
    EXPECT_EQ(txEmpty, 1);  // one write, one report

    // Without the event in its set, the handler is never called.
    int calls = 0, received = 0;
    PtyPair other;
    TComm quiet;
    quiet.SetDeviceName(QString::fromStdString(other.SlavePath()));
    quiet.SetMonitorEvents(TCommEventType::All().Exclude(evTxEmpty));
    quiet.OnTxEmpty = [&](QObject*) { ++calls; };
    quiet.OnRxChar = [&](QObject*, int) { ++received; };
    quiet.Open();
    EXPECT_EQ(quiet.Write("x", 1), 1);
    EXPECT_EQ(other.ReadMaster(1), "x");
    other.WriteMaster("y", 1);
    ASSERT_TRUE(Eventually([&] { return received == 1; }));
    EXPECT_EQ(calls, 0);
}

TEST_F(PtyFixture, CloseFinishesAPendingHandOverThenNothingRuns)
{
    port.Open();
    pair.WriteMaster("q", 1);
    // The wait has come back with the arrival, so its hand-over is queued (or about to be);
    // without the event loop the handler cannot have run.
    ASSERT_TRUE(testsupport::WithoutEventLoopUntil([&] { return counts.events == 1; }));
    EXPECT_TRUE(rx.empty());
    port.Close();
    EXPECT_EQ(rx, std::vector<int>{1});
    ASSERT_TRUE(DrainPostedEvents());
    EXPECT_EQ(rx.size(), 1u);
}

TEST_F(PtyFixture, OpenOnAnOpenPortStartsAFreshThread)
{
    port.Open();
    port.Open();
    ASSERT_TRUE(port.IsOpen());
    pair.WriteMaster("z", 1);
    ASSERT_TRUE(Eventually([&] { return rx.size() == 1; }));
    // One thread reports it, not two: the report of the next arrival is the second.
    pair.WriteMaster("y", 1);
    ASSERT_TRUE(Eventually([&] { return rx.size() >= 2; }));
    EXPECT_EQ(rx, (std::vector<int>{1, 2}));
}

TEST_F(PtyFixture, TheFarEndClosingReportsOneErrorAndLeavesThePortUsable)
{
    port.Open();
    pair.CloseMaster();
    ASSERT_TRUE(Eventually([&] { return errors_.size() == 1; }));
    EXPECT_TRUE(errors_[0] & tp::ce::Ioe);
    // The thread has ended (its last call is the purge) after that one report.
    ASSERT_TRUE(Eventually([&] { return counts.purges == 1; }));
    EXPECT_EQ(errors_.size(), 1u);
    EXPECT_TRUE(port.IsOpen());
    char buffer[8];
    EXPECT_LE(port.Read(buffer, 8), 0);
    port.Close();

    PtyPair fresh;
    port.SetDeviceName(QString::fromStdString(fresh.SlavePath()));
    port.Open();
    fresh.WriteMaster("ok", 2);
    ASSERT_TRUE(Eventually([&] { return !rx.empty(); }));
}

TEST(PtyErrors, FailuresAPseudoTerminalOrAFileCanProvoke)
{
    testsupport::TempDir dir;
    const std::string file = (dir.Path() / "plain.txt").string();
    std::ofstream(file) << "not a device";
    PtyPair pair;

    TComm port;
    port.SetDeviceName(QString::fromStdString((dir.Path() / "missing").string()));
    EXPECT_EQ(ErrorOf([&] { port.Open(); }), "Error accessing specified device (Error: 2) ");
    EXPECT_FALSE(port.IsOpen());

    port.SetDeviceName(QString::fromStdString(file));
    EXPECT_EQ(ErrorOf([&] { port.Open(); }), "Invalid device handle, access denied (Error: -1) ");
    EXPECT_FALSE(port.IsOpen());

    port.SetDeviceName(QString::fromStdString(pair.SlavePath()));
    port.Open();
    TComm second;
    second.SetDeviceName(port.DeviceName());
    EXPECT_EQ(ErrorOf([&] { second.Open(); }), "Error accessing specified device (Error: 16) ");

    // What the device cannot take is refused with the system's code, never dropped.
    const std::string invalid = "Error updating DataControlBlock (Error: 22) ";
    EXPECT_EQ(ErrorOf([&] { port.SetDatabits(da7); }), invalid);  // a pty is 8 bits only
    EXPECT_EQ(ErrorOf([&] { port.SetDatabits(da4); }), invalid);
    EXPECT_EQ(ErrorOf([&] { port.SetDatabits(da8); }), "(no error)");
    EXPECT_EQ(ErrorOf([&] { port.SetParity(paEven); }), invalid);
    EXPECT_EQ(ErrorOf([&] { port.SetParity(paNone); }), "(no error)");
    EXPECT_EQ(ErrorOf([&] { port.SetFlowControl(fcDTR); }), invalid);
    EXPECT_EQ(ErrorOf([&] { port.SetFlowControl(fcNone); }), "(no error)");
    EXPECT_EQ(ErrorOf([&] { port.SetOptions({coNullStrip}); }), invalid);
    EXPECT_EQ(ErrorOf([&] { port.SetOptions({coParityCheck, coIgnoreXOff}); }), "(no error)");

    // Buffer sizes the system cannot take.
    TComm sized;
    PtyPair other;
    sized.SetDeviceName(QString::fromStdString(other.SlavePath()));
    sized.SetReadBufSize(-1);
    EXPECT_EQ(ErrorOf([&] { sized.Open(); }), "Error initializing Read/Write Buffers (Error: 22) ");
    EXPECT_TRUE(sized.IsOpen());  // open, as after any failure past the handle
    sized.Close();

    // A character device that is no terminal takes no line settings and no time-outs.
    TComm null;
    null.SetDeviceName("/dev/null");
    EXPECT_EQ(ErrorOf([&] { null.Open(); }), "Error updating DataControlBlock (Error: 25) ");
    EXPECT_TRUE(null.IsOpen());
    EXPECT_EQ(ErrorOf([&] { null.SetCharsTimeOut(0); }), "Error updating CommTimeouts (Error: 25) ");
    null.Close();

    // A pseudo-terminal has no modem lines: DTR and RTS do nothing there, and raise nothing;
    // the escape function itself still reports the driver's answer.
    port.SetDTR(true);
    port.SetRTS(true);
    EXPECT_EQ(ErrorOf([&] { port.EscapeFunction(5); }), "EscapeCommFunction failure (Error: 25) ");
    EXPECT_FALSE(port.ModemLineState(1));
    EXPECT_TRUE(port.IsOpen());
}

TEST(PtyNames, ComNamesResolveThroughTheUsersTable)
{
    testsupport::TempDir dir;
    PtyPair pair;
    std::ofstream(dir.Path() / "serialcomm") << "COM5=" << pair.SlavePath() << "\n";
    const std::string saved = getenv("XDG_CONFIG_HOME") ? getenv("XDG_CONFIG_HOME") : "";
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    TComm port;
    port.SetDeviceName("com5");
    port.Open();
    EXPECT_TRUE(port.IsOpen());
    port.Write("!", 1);
    EXPECT_EQ(pair.ReadMaster(1), "!");
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

}  // namespace
