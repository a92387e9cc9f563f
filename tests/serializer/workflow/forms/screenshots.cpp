// Takes pictures of Eemint's windows for a look by eye: the main window in Program mode
// (with a dump in the log) and in Edit mode, the tool bar of both modes one above the other,
// the advanced setup dialog, the message dialog with an error and with the erase notice, the
// device selection and the about box. Run by scripts/screenshots under Xvfb, with a
// scratch settings folder and bench; writes PNG files into the folder given as argument.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>
#include <QTest>

#include "configurationstore.h"
#include "eemintforms.h"
#include "infoform.h"
#include "modalrunner.h"
#include "mvdriver.h"
#include "pictures.h"
#include "sdiappform.h"

namespace {

testsupport::PictureFolder pictures;

// The tool bars of several modes one above the other, each with its mode's name before it.
QPixmap ToolBars(const std::vector<std::pair<QString, QPixmap>>& bars)
{
    const QFontMetrics metrics(QApplication::font());
    int labelWidth = 0, width = 0, height = 0;
    for (const auto& [label, bar] : bars) {
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(label) + 16);
        width = std::max(width, bar.width());
        height += bar.height();
    }
    QPixmap picture(labelWidth + width, height);
    picture.fill(QApplication::palette().color(QPalette::Window));
    QPainter painter(&picture);
    int y = 0;
    for (const auto& [label, bar] : bars) {
        painter.drawText(QRect(8, y, labelWidth - 8, bar.height()), Qt::AlignVCenter | Qt::AlignLeft, label);
        painter.drawPixmap(labelWidth, y, bar);
        y += bar.height();
    }
    return picture;
}

// Shows a modal dialog long enough to take its picture, then closes it with `result`.
void PictureOfNextDialog(const char* name, int result)
{
    eemint::SetModalRunner([name, result](QDialog& dialog) {
        dialog.show();
        pictures.Settle(dialog);
        pictures.Save(dialog, name);
        dialog.hide();
        return result;
    });
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: eemint_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    pictures.Open(QString::fromLocal8Bit(argv[1]));
    eemint::InstallDriver(&eemint::SystemDriver());

    {
        eemint::ProductConfiguration config = eemint::DefaultProductConfiguration();
        eemint::ConfigurationStore().Save(config);
        // Saved last, so it is current: Program mode shows the second-generation options.
        config.description = "USB HS SERIAL CONVERTER CABLE";
        config.rev4 = true;
        eemint::ConfigurationStore().Save(config);
    }

    eemint::EemintForms forms;
    eemint::TSDIAppForm& window = *forms.SDIAppForm();
    PictureOfNextDialog("unexpected", QDialog::Rejected);
    window.show();
    pictures.Settle(window);
    window.ReadItemClick();  // converter 0 of the bench into the log
    pictures.Settle(window);
    pictures.Save(window, "program-mode");
    QWidget* toolBar = window.findChild<QWidget*>("SpeedPanel");
    const QPixmap programBar = toolBar->grab();

    PictureOfNextDialog("advanced-program-mode", QDialog::Accepted);
    window.AdvancedItemClick();
    PictureOfNextDialog("device-selection", QDialog::Rejected);
    window.OpenItemClick();
    PictureOfNextDialog("about", QDialog::Accepted);
    window.About1Click();
    PictureOfNextDialog("info-error", QDialog::Accepted);
    window.ShowError("3 devices already serialised, re-plug to continue");
    PictureOfNextDialog("info-erase-notice", QDialog::Accepted);
    window.EraseItemClick();  // converter 0 of the bench

    window.NewItemClick();
    pictures.Settle(window);
    QTest::keyClicks(window.findChild<QWidget*>("ManufacturerMaskEdit"), "OPERATOR TYPING");
    pictures.Settle(window);
    pictures.Save(window, "edit-mode");
    // Edit mode disables every tool button but Cancel (Advanced Setup until the identity is
    // complete).
    pictures.Save(ToolBars({{eemint::ModeStatusText(eemint::WindowMode::Program), programBar},
                   {eemint::ModeStatusText(eemint::WindowMode::Edit), toolBar->grab()}}),
         "toolbar-modes");
    PictureOfNextDialog("advanced-edit-mode", QDialog::Accepted);
    window.AdvancedItemClick();

    eemint::SetModalRunner(nullptr);
    return pictures.Failed() ? 1 : 0;
}
