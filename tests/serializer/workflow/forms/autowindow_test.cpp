// Auto mode through the main window's menu handler, with its detection thread: the prompt
// with nothing attached, one program-and-test cycle per plug-in on a cleared log, the prompt
// after removal, nothing once switched off, and leaving the program while it runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include <QApplication>
#include <QCoreApplication>
#include <QTest>

#include "automode.h"
#include "countingdriver.h"
#include "programming.h"
#include "programwindowfixture.h"

namespace {

using eemint::ProgrammingFlow;
using testsupport::Lines;
using testsupport::ProgramWindow;

constexpr int kWaitMs = 5000;

TEST_F(ProgramWindow, AutoModeCyclePerPlugIn)
{
    testsupport::CountingDriver counting;
    eemint::ScopedDriver countingDriver(counting);
    // Serves the event loop until the thread has made two whole checks from now on.
    auto twoChecksPass = [&] {
        const int from = counting.opens;
        return QTest::qWaitFor([&] { return counting.opens >= from + 3; }, kWaitMs);
    };
    ASSERT_TRUE(mvbench::Unplug(1));
    ASSERT_TRUE(mvbench::Unplug(0));
    Window().Log("from before");
    Window().AutoEnabledClick();
    EXPECT_EQ(Window().Mode(), eemint::WindowMode::Auto);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Log() == Lines{eemint::kConnectPrompt}; }, kWaitMs));

    ASSERT_EQ(mvbench::Plug(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Serials().size() == 1; }, kWaitMs));
    const Lines cycle = Log();
    EXPECT_EQ(cycle.front(), ProgrammingFlow::ProgramLogLine(Serials()[0]));
    EXPECT_EQ(std::count(cycle.begin(), cycle.end(), std::string(eemint::kConnectPrompt)), 0);
    EXPECT_EQ(errors, Lines{});
    EXPECT_EQ(Dump(0), testsupport::ExpectedImage(Window().CurrentConfiguration(), Serials()[0]));
    ASSERT_TRUE(twoChecksPass());
    EXPECT_EQ(Log(), cycle);  // nothing more while it stays

    ASSERT_TRUE(mvbench::Unplug(0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Log().back() == eemint::kConnectPrompt; }, kWaitMs));

    Window().AutoEnabledClick();
    EXPECT_EQ(Window().Mode(), eemint::WindowMode::Program);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Window().AutoModeRunning(); }, kWaitMs));
    ASSERT_EQ(mvbench::Plug(), 0);
    QCoreApplication::sendPostedEvents();  // a hand-over posted before the stop is dropped
    EXPECT_EQ(Serials().size(), 1u);  // switched off: no more cycles
}

TEST_F(ProgramWindow, ExitWithAutoModeOn)
{
    Window().AutoEnabledClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Serials().size() == 1; }, kWaitMs));
    ASSERT_TRUE(Window().AutoModeRunning());
    Window().ExitItemClick();
    // Ended before the window closed: nothing is left to wait for once it has.
    EXPECT_FALSE(Window().AutoModeRunning());
    forms_.reset();
    QCoreApplication::sendPostedEvents();  // a step posted before the exit never reaches the windows
}

}  // namespace
