// Reopening a port after an unplug: when a port was closed because its device went away and
// reopening is switched on, the port is tried again with the same settings every 500 ms (on a
// single-shot timer of the host, never in a loop) until it opens, the user opens or closes
// the port or changes its device or settings, or reopening is switched off. The state
// (waiting or not) is for the port's status label. A plain state machine: the host (the
// window's side of one port) gives it the timer and the open attempt.
//
// Threads: the user-interface thread only, like the port it serves.
#pragma once

namespace serial {

enum class ReopenState {
    Idle,     // nothing to reopen, or reopening is off
    Waiting,  // the device is gone; the port is tried again on each timer shot
};

class ReopenHost {
public:
    virtual ~ReopenHost() = default;
    // Starts the one single-shot timer (restarting it when it runs); its shot calls Poll.
    virtual void StartTimer(int ms) = 0;
    virtual void StopTimer() = 0;
    // Opens the port again with the settings it had. True when it is open now; a failure
    // (the device is not back yet) must leave the port closed and show no error.
    virtual bool TryReopen() = 0;
    // After a TryReopen that opened the port: the port is open again (the status label, and
    // the capture's record of the reopen).
    virtual void Reopened() = 0;
    // Called on every change of State().
    virtual void StateChanged(ReopenState state) = 0;
};

class ReopenPolicy {
public:
    // The pause between two attempts.
    static constexpr int kPollMs = 500;

    explicit ReopenPolicy(ReopenHost& host) : host_(host) {}

    // The menu toggle (off at start). Switching it on while a port lost earlier is still
    // closed and untouched starts waiting for it; switching it off ends a wait.
    void SetEnabled(bool on);
    bool Enabled() const { return enabled_; }

    // The port was closed because its device went away.
    void DeviceLost();
    // The user opened or closed the port, or changed its device or a setting: the port is no
    // longer the lost one, and a wait ends.
    void ManualAction();
    // The host's timer shot: one attempt, and another shot if it failed.
    void Poll();

    ReopenState State() const { return state_; }

private:
    void SetState(ReopenState state);
    void Wait();
    void EndWait();

    ReopenHost& host_;
    bool enabled_ = false;
    bool lost_ = false;  // closed by the device's loss, untouched by the user since
    ReopenState state_ = ReopenState::Idle;
};

}  // namespace serial
