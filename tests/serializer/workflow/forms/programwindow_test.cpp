// Programming through the main window's handlers on the bench: Program, a multi-program
// round, a fixed serial number and Program to File, with the log and the message dialog as
// the operator sees them. Modal dialogs are answered by a runner, so no test blocks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <QApplication>

#include "advancedform.h"
#include "programming.h"
#include "programwindowfixture.h"

namespace {

using eemint::ProgrammingFlow;
using testsupport::Lines;
using testsupport::ProgramWindow;

TEST_F(ProgramWindow, ProgramWritesTheWindowsIdentity)
{
    const eemint::ProductConfiguration shown = Window().CurrentConfiguration();
    EXPECT_EQ(eemint::TrimTrailingBlanks(shown.manufacturer), "MAVIX");
    EXPECT_EQ(eemint::TrimTrailingBlanks(shown.description), "MVC110 EVALUATION KIT");
    Window().ProgramItemClick();
    EXPECT_EQ(errors, Lines{});
    const Lines serials = Serials();
    ASSERT_EQ(serials.size(), 1u);
    EXPECT_EQ(Log(), Lines{ProgrammingFlow::ProgramLogLine(serials[0])});
    EXPECT_EQ(serials[0].substr(0, 2), "MV");
    EXPECT_EQ(Dump(0), testsupport::ExpectedImage(shown, serials[0]));
}

TEST_F(ProgramWindow, NoConverterShowsTheErrorAndLogsNothing)
{
    ASSERT_TRUE(mvbench::Unplug(0));
    ASSERT_TRUE(mvbench::Unplug(0));
    Window().ProgramItemClick();
    EXPECT_EQ(errors, Lines{"Error: Failed to open device"});
    EXPECT_EQ(Log(), Lines{});
}

TEST_F(ProgramWindow, MultiProgramRound)
{
    Window().MultiProgramModeClick();
    ASSERT_EQ(Window().Mode(), eemint::WindowMode::MultiProgram);
    Window().ProgramItemClick();
    Window().ProgramItemClick();
    Window().ProgramItemClick();
    EXPECT_EQ(errors, Lines{"Error: 2 devices already serialised, re-plug to continue"});
    const Lines serials = Serials();
    ASSERT_EQ(serials.size(), 2u);
    EXPECT_NE(serials[0], serials[1]);
    EXPECT_EQ(Log().front(), ProgrammingFlow::ProgramLogLine(serials[0]) + " (1/2)");
    EXPECT_EQ(Log().back(), ProgrammingFlow::ProgramLogLine(serials[1]) + " (1/2)");
    const eemint::ProductConfiguration shown = Window().CurrentConfiguration();
    EXPECT_EQ(Dump(0), testsupport::ExpectedImage(shown, serials[0]));
    EXPECT_EQ(Dump(1), testsupport::ExpectedImage(shown, serials[1]));

    Window().MultiProgramModeClick();
    EXPECT_EQ(Window().Mode(), eemint::WindowMode::Program);
}

TEST_F(ProgramWindow, FixedSerialNumberFromTheAdvancedDialog)
{
    forms_->AdvancedForm()->SetFixedSerial(true);
    forms_->AdvancedForm()->SetFixedSerialText("FIX00042");
    Window().ProgramItemClick();
    Window().ProgramItemClick();
    const std::string line = ProgrammingFlow::ProgramLogLine("FIX00042");
    EXPECT_EQ(Log(), (Lines{line, line}));
    EXPECT_EQ(Dump(0), testsupport::ExpectedImage(Window().CurrentConfiguration(), "FIX00042"));
}

TEST_F(ProgramWindow, ProgramToFileThroughTheSaveDialog)
{
    testsupport::TempDir files{"programwindow-files"};
    const std::filesystem::path target = files.Path() / "image.bin";
    saveAs = target.string();
    Window().ProgramToFileItemClick();
    EXPECT_EQ(errors, Lines{});
    const Lines serials = Serials();
    ASSERT_EQ(serials.size(), 1u);
    std::ifstream in(target, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const testsupport::EepromBytes expected = testsupport::ExpectedImage(Window().CurrentConfiguration(), serials[0]);
    EXPECT_EQ(bytes, std::vector<uint8_t>(expected.begin(), expected.end()));
    testsupport::EepromBytes erased;
    erased.fill(0xFF);
    EXPECT_EQ(Dump(0), erased);  // no converter touched

    // Cancelled: nothing at all.
    saveAs.reset();
    Window().ProgramToFileItemClick();
    EXPECT_EQ(Serials().size(), 1u);
}

}  // namespace
