// Programming through the main window's handlers on the bench: Program, a multi-program
// round, a fixed serial number and Program to File, with the log and the message dialog as
// the operator sees them. Modal dialogs are answered by a runner, so no test blocks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QPlainTextEdit>

#include "advancedform.h"
#include "benchcontrol.h"
#include "benchfixture.h"
#include "eemintforms.h"
#include "expectedimage.h"
#include "modalrunner.h"
#include "mvdriver.h"
#include "programming.h"
#include "sdiappform.h"
#include "tempdir.h"

namespace {

using eemint::ProgrammingFlow;
using Lines = std::vector<std::string>;

constexpr size_t kSerialAt = 32;  // the serial number follows the 32-column caption

class ProgramWindow : public testing::Test {
protected:
    void SetUp() override
    {
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            oldConfigHome_ = old;
        setenv("XDG_CONFIG_HOME", config_.Path().c_str(), 1);
        eemint::SetModalRunner([this](QDialog& dialog) { return Answer(dialog); });
        forms_ = std::make_unique<eemint::EemintForms>();
    }
    void TearDown() override
    {
        forms_.reset();
        eemint::SetModalRunner(nullptr);
        if (oldConfigHome_)
            setenv("XDG_CONFIG_HOME", oldConfigHome_->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }

    int Answer(QDialog& dialog)
    {
        if (auto* data = dialog.findChild<QLabel*>("InfoFormData"))
            errors.push_back(dialog.windowTitle().toStdString() + ": " + data->text().toStdString());
        if (auto* files = qobject_cast<QFileDialog*>(&dialog)) {
            if (!saveAs)
                return QDialog::Rejected;
            files->selectFile(QString::fromStdString(*saveAs));
        }
        return QDialog::Accepted;
    }

    eemint::TSDIAppForm& Window() { return *forms_->SDIAppForm(); }
    Lines Log()
    {
        const QString text = Window().findChild<QPlainTextEdit*>("Logger")->toPlainText();
        Lines lines;
        if (!text.isEmpty())
            for (const QString& line : text.split('\n'))
                lines.push_back(line.toStdString());
        return lines;
    }
    // The serial numbers of the pass lines in the log.
    Lines Serials()
    {
        Lines serials;
        for (const std::string& line : Log())
            if (line.starts_with("PROGRAM DEVICE -- Serial Number "))
                serials.push_back(line.substr(kSerialAt, 8));
        return serials;
    }
    testsupport::EepromBytes Dump(int index) { return mvbench::Dump(index).value_or(testsupport::EepromBytes{}); }

    testsupport::ScopedBench bench;
    eemint::ScopedDriver driver{eemint::SystemDriver()};
    testsupport::TempDir config_{"programwindow"};
    std::optional<std::string> oldConfigHome_;
    std::unique_ptr<eemint::EemintForms> forms_;
    Lines errors;
    std::optional<std::string> saveAs;
};

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

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
