// The wait thread of an open port: blocks in the driver until a monitored event happens or
// the port stops it, and hands each completed wait to the thread that created it (the
// user-interface thread), blocking until the port's handlers have run there.
//
// Threads: the constructor, SetCallback, StopSignal, WaitForEnd and the destructor run on the
// creating thread; the body runs on its own thread and touches only the backend's wait calls.
// A hand-over runs on the creating thread, from its event loop or inside WaitForEnd.
#pragma once

#include "commtypes.h"

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>

namespace platform::terminalport {
class TerminalPort;
}

class TCommEventThread : public QThread {
    Q_OBJECT
public:
    using TCallback = std::function<void(TCommEventThread* thread, uint32_t eventMask)>;

    // Sets the driver's event mask and starts the body at the highest priority.
    TCommEventThread(platform::terminalport::TerminalPort* handle, TCommEventType events);
    // The body must have ended (WaitForEnd).
    ~TCommEventThread() override;

    void SetCallback(TCallback callback) { callback_ = std::move(callback); }
    // Asks the body to stop; a stop before the body runs still ends it.
    void StopSignal();
    // Waits until the body has ended, running any hand-over it is blocked in meanwhile. Called
    // from inside this thread's own hand-over, it first lets the body go on without waiting
    // for the handlers still running.
    void WaitForEnd();

    // True while this thread's hand-over runs on the creating thread.
    bool InDelivery() const { return delivering_ > 0; }
    // Frees this ended thread once the hand-over running now has returned to the event loop
    // (a handler may spin a nested loop meanwhile), or from the event loop when none runs.
    void DeleteWhenDelivered();
    // True when the wait ended because the device went away (its last hand-over says so).
    bool DeviceLost() const { return lost_; }
    uint32_t EventMask() const { return eventMask_; }

    // Where an exception thrown by a handler during a hand-over goes: to the program's error
    // box when it sets one, to the warning log otherwise. Delivery goes on either way.
    using TExceptionSink = std::function<void(std::exception_ptr)>;
    static void SetExceptionSink(TExceptionSink sink);

protected:
    void run() override;
    void DeliverEvents();

private slots:
    // Runs the hand-over the body waits in, if any (creating thread).
    void ServePending();

private:
    void HandOver();

    platform::terminalport::TerminalPort* handle_;
    uint32_t monitored_ = 0;
    uint32_t eventMask_ = 0;  // written by the body before a hand-over, read during it
    bool lost_ = false;
    TCallback callback_;
    std::atomic<bool> terminated_{false};
    int delivering_ = 0;  // creating thread only
    bool retired_ = false;  // creating thread only: DeleteWhenDelivered was called

    std::mutex mutex_;
    std::condition_variable changed_;
    bool pending_ = false;   // a hand-over waits to run
    bool released_ = false;  // the body may go on
    bool finished_ = false;  // the body has left its loop
};
