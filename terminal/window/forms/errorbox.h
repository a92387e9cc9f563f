// The one place where Duoterm tells the user of a failure: an exception a handler raises (a
// port's ECommError, a file error, anything else) ends that handler and its message is shown
// in an error box. Handlers reach it through RunHandler, the port event thread through its
// exception sink, and anything else through the application's event delivery.
//
// Threads: user-interface thread; the event thread's sink queues the box to it.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <exception>
#include <functional>
#include <memory>

namespace duoterm {

// The text of an exception as the box shows it.
QString ExceptionMessage(std::exception_ptr error);

// The error box for a message, not yet shown.
std::unique_ptr<QMessageBox> ErrorBox(const QString& message);

// Shows the error box for an exception.
void ShowException(std::exception_ptr error);

// What shows the box; tests record the messages instead. An empty presenter restores the box.
using ErrorPresenter = std::function<void(const QString& message)>;
void SetErrorPresenter(ErrorPresenter presenter);

// Runs one handler: an exception ends it and is shown.
template <typename F>
void RunHandler(F&& handler)
{
    try {
        handler();
    } catch (...) {
        ShowException(std::current_exception());
    }
}

// Sends the exceptions of port event handlers to the error box.
void InstallPortExceptionSink();

// The application: an exception that escapes an event handler is shown, not fatal.
class TDuotermApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace duoterm
