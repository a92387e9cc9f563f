// Auto mode through the main window's menu handler, with its detection thread: the prompt
// with nothing attached, one program-and-test cycle per plug-in on a cleared log, the prompt
// after removal, nothing once switched off, and leaving the program while it runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include <QApplication>
#include <QTest>

#include "automode.h"
#include "programming.h"
#include "programwindowfixture.h"

namespace {

using eemint::ProgrammingFlow;
using testsupport::Lines;
using testsupport::ProgramWindow;

constexpr int kWaitMs = 5000;
// More than two checks of the thread.
constexpr int kSeveralChecksMs = 2500;

TEST_F(ProgramWindow, AutoModeCyclePerPlugIn)
{
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
    QTest::qWait(kSeveralChecksMs);
    EXPECT_EQ(Log(), cycle);  // nothing more while it stays

    ASSERT_TRUE(mvbench::Unplug(0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Log().back() == eemint::kConnectPrompt; }, kWaitMs));

    Window().AutoEnabledClick();
    EXPECT_EQ(Window().Mode(), eemint::WindowMode::Program);
    ASSERT_EQ(mvbench::Plug(), 0);
    QTest::qWait(kSeveralChecksMs);
    EXPECT_EQ(Serials().size(), 1u);  // switched off: no more cycles
}

TEST_F(ProgramWindow, ExitWithAutoModeOn)
{
    Window().AutoEnabledClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Serials().size() == 1; }, kWaitMs));
    Window().ExitItemClick();
    forms_.reset();  // the windows' end joins the thread
    QTest::qWait(100);
}

}  // namespace
