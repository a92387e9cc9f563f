// Eemint: the converter serializer and tester.
#include <exception>

#include <QApplication>
#include <QMessageBox>

#include "eemintforms.h"
#include "mvdriver.h"
#include "sdiappform.h"

namespace {

// An exception that escapes a handler is shown in an error box and abandons that handler;
// the program goes on.
class EemintApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            ShowException(QString::fromLocal8Bit(error.what()));
        } catch (...) {
            ShowException("Unknown error");
        }
        return false;
    }

private:
    static void ShowException(const QString& text)
    {
        QMessageBox::critical(activeWindow(), "MVUSB Serializer and Tester", text);
    }
};

}  // namespace

int main(int argc, char* argv[])
{
    eemint::InstallDriver(&eemint::SystemDriver());
    EemintApplication app(argc, argv);
    // No display name: the windowing system would append it to every dialog's caption.
    QApplication::setApplicationName("Eemint");
    eemint::EemintForms forms;
    forms.SDIAppForm()->show();
    forms.SDIAppForm()->activateWindow();
    return app.exec();
}
