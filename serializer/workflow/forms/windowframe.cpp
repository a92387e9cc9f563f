#include "windowframe.h"

#include <QDialog>
#include <QLayout>
#include <QMainWindow>

namespace eemint {

namespace {
constexpr Qt::WindowFlags kFixedFrame =
    Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// Windows draws a disabled maximize button beside any minimize button, so there the main
// window goes without both; other window systems show the minimize button alone.
#ifdef Q_OS_WIN
constexpr Qt::WindowFlags kMainWindowButtons = {};
#else
constexpr Qt::WindowFlags kMainWindowButtons = Qt::WindowMinimizeButtonHint;
#endif
}  // namespace

void UseFixedFrame(QMainWindow& window)
{
    window.setWindowFlags(Qt::Window | kFixedFrame | kMainWindowButtons);
}

void UseFixedFrame(QDialog& dialog)
{
    dialog.setWindowFlags(Qt::Dialog | kFixedFrame);
    dialog.setSizeGripEnabled(false);
    if (QLayout* layout = dialog.layout())
        layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace eemint
