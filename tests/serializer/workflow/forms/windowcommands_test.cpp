// The Device menu of the main window against the simulated bench: Read's dump into the log,
// Erase's notice and the messages of both when no converter answers, shown through the
// message dialog (answered by a recording runner).
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>

#include "benchfixture.h"
#include "eemintforms.h"
#include "modalrunner.h"
#include "mvdriver.h"
#include "sdiappform.h"
#include "scopedsettings.h"
#include "tempdir.h"

namespace eemint {
namespace {

struct Message {
    std::string caption;
    std::string text;
};

class WindowCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetModalRunner([this](QDialog& dialog) {
            auto* data = dialog.findChild<QLabel*>("InfoFormData");
            messages_.push_back({dialog.windowTitle().toStdString(), data ? data->text().toStdString() : ""});
            return QDialog::Accepted;
        });
        forms_ = std::make_unique<EemintForms>();
        window().DisableInputs();  // Program mode, every device command open
    }

    void TearDown() override
    {
        forms_.reset();
        SetModalRunner(nullptr);
    }

    TSDIAppForm& window() { return *forms_->SDIAppForm(); }
    void Trigger(const char* item) { window().findChild<QAction*>(item)->trigger(); }
    QStringList LogLines() { return window().findChild<QPlainTextEdit*>("Logger")->toPlainText().split('\n'); }

    testsupport::ScopedBench bench_;
    ScopedDriver driver_{SystemDriver()};
    testsupport::ScopedSettings settings_;
    std::unique_ptr<EemintForms> forms_;
    std::vector<Message> messages_;
};

TEST_F(WindowCommandsTest, ReadDumpsConverterZeroIntoTheLog)
{
    window().Log("kept");
    Trigger("ReadItem");
    const QStringList lines = LogLines();
    ASSERT_EQ(lines.size(), 10);  // the earlier line, eight dump lines, the empty line
    EXPECT_EQ(lines[0], "kept");
    EXPECT_EQ(lines[1], "00: " + QString("FF ").repeated(16));
    EXPECT_EQ(lines[8], "70: " + QString("FF ").repeated(16));
    EXPECT_EQ(lines[9], "");
    EXPECT_TRUE(messages_.empty());
}

TEST_F(WindowCommandsTest, EraseConfirmsWithAStatusNotice)
{
    Trigger("EraseItem");
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].caption, "Status");
    EXPECT_EQ(messages_[0].text, "Device erased OK");
}

TEST_F(WindowCommandsTest, WithoutAConverterBothCommandsShowTheirError)
{
    ASSERT_TRUE(mvbench::Unplug(0));
    ASSERT_TRUE(mvbench::Unplug(0));
    Trigger("ReadItem");
    Trigger("EraseItem");
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_[0].caption, "Error");
    EXPECT_EQ(messages_[0].text, "Failed to open device for read");
    EXPECT_EQ(messages_[1].caption, "Error");
    EXPECT_EQ(messages_[1].text, "Failed to open device");
    EXPECT_EQ(LogLines(), QStringList{""});
}

}  // namespace
}  // namespace eemint
