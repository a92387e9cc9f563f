// Auto mode's detection thread on the bench: one program-and-test cycle per plug-in, one
// prompt per removal, and stopping or exiting at any moment, a pending hand-over included.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "automode.h"
#include "benchcontrol.h"
#include "benchfixture.h"
#include "countingdriver.h"
#include "expectedimage.h"
#include "fakeclock.h"
#include "mvdriver.h"
#include "programming.h"
#include "recordingreporter.h"

namespace {

using eemint::TMyConnection;
using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

constexpr auto kFastChecks = 20ms;
constexpr int kWaitMs = 5000;

// What the main window does with the two steps, on a log of its own.
class FakeWindow : public eemint::AutoModeTarget {
public:
    void RunAutoCycle() override
    {
        ++cycles;
        reporter.log.clear();
        flow.Program(config, false, reporter);
        reporter.Log("TEST DEVICE");  // stands for the device test that follows
        if (duringCycle)
            duringCycle();
    }
    void ShowConnectPrompt() override
    {
        ++prompts;
        reporter.Log(eemint::kConnectPrompt);
    }

    testsupport::FakeClock clock{2002, 3, 15, 10, 20, 30};
    eemint::ProgrammingFlow flow{clock};
    eemint::ProductConfiguration config = eemint::DefaultProductConfiguration();
    testsupport::RecordingReporter reporter;
    int cycles = 0;
    int prompts = 0;
    std::function<void()> duringCycle;
};

class AutoMode : public testing::Test {
protected:
    testsupport::ScopedBench bench;
    testsupport::CountingDriver counting;
    eemint::ScopedDriver driver{counting};
    FakeWindow window;

    static void UnplugAll()
    {
        while (!mvbench::List().empty())
            ASSERT_TRUE(mvbench::Unplug(0));
    }
    // Serves the event loop until the thread has made `checks` whole checks from now on (a
    // check under way now has opened the converter already; the next open starts a check
    // only once the one before it, with any hand-over, is over).
    bool ChecksPass(int checks = 2)
    {
        const int from = counting.opens;
        return QTest::qWaitFor([&] { return counting.opens >= from + checks + 1; }, kWaitMs);
    }
};

TEST_F(AutoMode, CyclePerPlugInAndPromptPerRemoval)
{
    UnplugAll();
    TMyConnection connection(window, kFastChecks);
    connection.start();

    // Started with nothing attached: the prompt once.
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.prompts == 1; }, kWaitMs));
    ASSERT_TRUE(ChecksPass());
    EXPECT_EQ(window.prompts, 1);
    EXPECT_EQ(window.cycles, 0);

    // Plugged in: one cycle on a freshly cleared log; nothing more while it stays.
    ASSERT_EQ(mvbench::Plug(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.cycles == 1; }, kWaitMs));
    ASSERT_TRUE(ChecksPass());
    EXPECT_EQ(window.cycles, 1);
    EXPECT_EQ(window.reporter.log, (Lines{eemint::ProgrammingFlow::ProgramLogLine("MVALF1JJ"), "TEST DEVICE"}));
    EXPECT_EQ(mvbench::Dump(0), testsupport::ExpectedImage(window.config, "MVALF1JJ"));

    // Removed: the prompt once.
    ASSERT_TRUE(mvbench::Unplug(0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.prompts == 2; }, kWaitMs));
    ASSERT_TRUE(ChecksPass());
    EXPECT_EQ(window.prompts, 2);
    EXPECT_EQ(window.reporter.log.back(), eemint::kConnectPrompt);

    // The next converter, a few seconds later: another cycle, and the prompt is gone from
    // the log.
    window.clock.Advance(5s);
    ASSERT_EQ(mvbench::Plug(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.cycles == 2; }, kWaitMs));
    EXPECT_EQ(window.reporter.log, (Lines{eemint::ProgrammingFlow::ProgramLogLine("MVALF1JL"), "TEST DEVICE"}));
    EXPECT_EQ(window.reporter.errors, Lines{});
}

TEST_F(AutoMode, ConverterAttachedAtStartAndFixedSerialNumber)
{
    ASSERT_TRUE(mvbench::Unplug(1));
    window.config.fixedSerial = true;
    window.config.fixedSerialText = "FIX 0042";
    TMyConnection connection(window, kFastChecks);
    connection.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.cycles == 1; }, kWaitMs));
    EXPECT_EQ(window.prompts, 0);

    // Exchanged for a fresh converter: it gets the same fixed text.
    ASSERT_TRUE(mvbench::Unplug(0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.prompts == 1; }, kWaitMs));
    ASSERT_EQ(mvbench::Plug(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.cycles == 2; }, kWaitMs));
    EXPECT_EQ(window.reporter.log.front(), eemint::ProgrammingFlow::ProgramLogLine("FIX 0042"));
    EXPECT_EQ(mvbench::Dump(0), testsupport::ExpectedImage(window.config, "FIX 0042"));
    EXPECT_EQ(window.reporter.errors, Lines{});
}

// Set by the thread when it posts a hand-over; waited for without serving the event loop.
class PostedLatch {
public:
    void Set()
    {
        {
            std::lock_guard lock(mutex_);
            posted_ = true;
        }
        changed_.notify_all();
    }
    bool Wait()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] { return posted_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool posted_ = false;
};

TEST_F(AutoMode, StopWhileAHandOverIsPendingDropsIt)
{
    TMyConnection connection(window, kFastChecks);
    PostedLatch posted;
    QObject::connect(&connection, &TMyConnection::HandOverRequested, &connection, [&] { posted.Set(); },
                     Qt::DirectConnection);
    connection.start();
    ASSERT_TRUE(posted.Wait());

    // The thread waits for this thread, which is not serving its loop: the stop alone frees it.
    connection.Stop();
    EXPECT_TRUE(connection.wait(kWaitMs));
    QCoreApplication::sendPostedEvents();  // the pending hand-over arrives, and is dropped
    EXPECT_EQ(window.cycles, 0);
    EXPECT_EQ(window.prompts, 0);
}

TEST_F(AutoMode, ExitWhileAHandOverIsPendingNeverReachesTheClosedWindow)
{
    auto closing = std::make_unique<FakeWindow>();
    bool reached = false;
    closing->duringCycle = [&] { reached = true; };
    auto connection = std::make_unique<TMyConnection>(*closing, kFastChecks);
    PostedLatch posted;
    QObject::connect(connection.get(), &TMyConnection::HandOverRequested, connection.get(),
                     [&] { posted.Set(); }, Qt::DirectConnection);
    connection->start();
    ASSERT_TRUE(posted.Wait());

    EXPECT_TRUE(connection->isRunning());  // waiting for its hand-over
    connection.reset();  // the window's end: joins
    closing.reset();
    QCoreApplication::sendPostedEvents();  // a step reaching the destroyed window would run here
    EXPECT_FALSE(reached);
}

TEST_F(AutoMode, StopAndJoinFromInsideTheCycle)
{
    TMyConnection connection(window, kFastChecks);
    bool joined = false;
    // As when the operator leaves the program from an error dialog of the cycle.
    window.duringCycle = [&] {
        connection.Stop();
        joined = connection.wait(kWaitMs);
    };
    connection.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.cycles == 1; }, kWaitMs));
    EXPECT_TRUE(joined);
    EXPECT_TRUE(connection.isFinished());
}

TEST_F(AutoMode, StopWakesThePauseAtOnce)
{
    UnplugAll();
    TMyConnection connection(window, std::chrono::hours(1));
    connection.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.prompts == 1; }, kWaitMs));
    connection.Stop();
    EXPECT_TRUE(connection.wait(kWaitMs));  // not an hour
}

}  // namespace
