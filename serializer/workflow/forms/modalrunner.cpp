#include "modalrunner.h"

#include <QDialog>
#include <QMessageBox>

namespace eemint {

namespace {
ModalRunner& Runner()
{
    static ModalRunner runner;
    return runner;
}
}  // namespace

int RunModal(QDialog& dialog)
{
    if (Runner())
        return Runner()(dialog);
    return dialog.exec();
}

void SetModalRunner(ModalRunner runner)
{
    Runner() = std::move(runner);
}

void ShowInputError(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, parent ? parent->window()->windowTitle() : QString(), text,
                    QMessageBox::Ok, parent ? parent->window() : nullptr);
    box.setObjectName("InputErrorBox");
    RunModal(box);
}

}  // namespace eemint
