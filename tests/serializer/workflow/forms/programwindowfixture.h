// The main window and its forms on a fresh bench, with modal dialogs answered by a runner
// (error dialogs recorded, the save dialog given a file name or cancelled), for tests that
// go through the window's handlers.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QPlainTextEdit>

#include "benchcontrol.h"
#include "benchfixture.h"
#include "eemintforms.h"
#include "expectedimage.h"
#include "modalrunner.h"
#include "mvdriver.h"
#include "sdiappform.h"
#include "scopedsettings.h"
#include "tempdir.h"

namespace testsupport {

using Lines = std::vector<std::string>;

constexpr size_t kSerialAt = 32;  // the serial number follows the 32-column caption

class ProgramWindow : public testing::Test {
protected:
    void SetUp() override
    {
        eemint::SetModalRunner([this](QDialog& dialog) { return Answer(dialog); });
        forms_ = std::make_unique<eemint::EemintForms>();
    }
    void TearDown() override
    {
        forms_.reset();
        eemint::SetModalRunner(nullptr);
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
    EepromBytes Dump(int index) { return mvbench::Dump(index).value_or(EepromBytes{}); }

    ScopedBench bench;
    eemint::ScopedDriver driver{eemint::SystemDriver()};
    ScopedSettings settings_;
    std::unique_ptr<eemint::EemintForms> forms_;
    Lines errors;
    std::optional<std::string> saveAs;
};

}  // namespace testsupport
