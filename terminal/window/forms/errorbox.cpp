#include "errorbox.h"

#include "commeventthread.h"

#include <QMessageBox>
#include <QTimer>

#include <stdexcept>

namespace duoterm {

namespace {

ErrorPresenter& Presenter()
{
    static ErrorPresenter presenter;
    return presenter;
}

}  // namespace

QString ExceptionMessage(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

std::unique_ptr<QMessageBox> ErrorBox(const QString& message)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::Critical, QStringLiteral("Duoterm"), message,
                                             QMessageBox::Ok, QApplication::activeWindow());
    return box;
}

void SetErrorPresenter(ErrorPresenter presenter)
{
    Presenter() = std::move(presenter);
}

void ShowException(std::exception_ptr error)
{
    const QString message = ExceptionMessage(error);
    if (Presenter()) {
        Presenter()(message);
        return;
    }
    ErrorBox(message)->exec();
}

void InstallPortExceptionSink()
{
    // The box waits for the hand-over to finish, so that the port's wait thread is not held
    // while the user reads it.
    TCommEventThread::SetExceptionSink([](std::exception_ptr error) {
        QTimer::singleShot(0, qApp, [error] { ShowException(error); });
    });
}

bool TDuotermApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(std::current_exception());
        return false;
    }
}

}  // namespace duoterm
