#include "commeventthread.h"

#include "comm.h"
#include "terminalport.h"

#include <QDebug>
#include <QMetaObject>

namespace tp = platform::terminalport;

namespace {

std::mutex sinkMutex;
TCommEventThread::TExceptionSink& Sink()
{
    static TCommEventThread::TExceptionSink sink;
    return sink;
}

void ReportHandlerException(std::exception_ptr error)
{
    TCommEventThread::TExceptionSink sink;
    {
        std::lock_guard lock(sinkMutex);
        sink = Sink();
    }
    if (sink) {
        try {
            sink(error);
            return;
        } catch (...) {
            // A sink that throws itself falls back to the log below.
        }
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        qWarning("serial port event handler failed: %s", e.what());
    } catch (...) {
        qWarning("serial port event handler failed with an unknown exception");
    }
}

}  // namespace

void TCommEventThread::SetExceptionSink(TExceptionSink sink)
{
    std::lock_guard lock(sinkMutex);
    Sink() = std::move(sink);
}

TCommEventThread::TCommEventThread(tp::TerminalPort* handle, TCommEventType events) : handle_(handle)
{
    uint32_t mask = 0;
    for (int event = evBreak; event <= evTxEmpty; ++event)
        if (events.Contains(static_cast<TCommEventState>(event)))
            mask |= TCustomComm::EventBit(static_cast<TCommEventState>(event));
    monitored_ = mask;
    handle_->SetEventMask(mask);
    start(QThread::HighestPriority);
}

TCommEventThread::~TCommEventThread()
{
    // The port always waits for the end first; this only guards against misuse.
    if (isRunning()) {
        StopSignal();
        WaitForEnd();
    }
}

void TCommEventThread::StopSignal()
{
    terminated_.store(true);
    handle_->StopWait();
}

void TCommEventThread::WaitForEnd()
{
    if (InDelivery()) {
        // The body waits for the handlers that are running now; let it go on.
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    for (;;) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return pending_ || finished_; });
        if (finished_)
            break;
        lock.unlock();
        ServePending();
    }
    wait();
}

void TCommEventThread::run()
{
    while (!terminated_.load()) {
        uint32_t mask = 0;
        const tp::WaitResult result = handle_->WaitEvent(mask);
        if (result == tp::WaitResult::Stopped)
            break;
        if (result == tp::WaitResult::Failed)
            continue;
        if (result == tp::WaitResult::Gone) {
            // Report the loss once, as an error event when that is monitored, and wait no
            // more: the device would only answer every wait at once.
            lost_ = true;
            eventMask_ = tp::ev::Err & monitored_;
            HandOver();
            break;
        }
        eventMask_ = mask;
        HandOver();
    }
    handle_->Purge(tp::purge::RxAbort | tp::purge::RxClear);
    std::lock_guard lock(mutex_);
    finished_ = true;
    changed_.notify_all();
}

void TCommEventThread::HandOver()
{
    {
        std::lock_guard lock(mutex_);
        pending_ = true;
        released_ = false;
        changed_.notify_all();  // a Close waiting for the end serves it from there
    }
    // The queued call dies with this object if the port is closed before it runs. It is
    // queued by name, so that nothing the call carries is written here and read there.
    QMetaObject::invokeMethod(this, "ServePending", Qt::QueuedConnection);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return released_; });
}

void TCommEventThread::ServePending()
{
    {
        std::lock_guard lock(mutex_);
        if (!pending_)
            return;
        pending_ = false;
    }
    ++delivering_;
    DeliverEvents();
    --delivering_;
    {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    if (retired_ && delivering_ == 0)
        deleteLater();
}

void TCommEventThread::DeleteWhenDelivered()
{
    // Deleting at once, or queueing the deletion now, could free this object inside a loop
    // nested in the delivery, while the delivery's own frame still uses it.
    if (InDelivery())
        retired_ = true;
    else
        deleteLater();
}

void TCommEventThread::DeliverEvents()
{
    if (!callback_)
        return;
    // A handler's exception must neither end event delivery nor reach the event loop.
    try {
        callback_(this, eventMask_);
    } catch (...) {
        ReportHandlerException(std::current_exception());
    }
}
