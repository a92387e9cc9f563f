// The window's side of reopening one port after an unplug: a single-shot timer for the
// reopen policy, the reopen attempt through the panel's port control (with the settings the
// port has, and no error box while the device is still missing), and the status label that
// says the port waits for its device.
//
// Threads: user-interface thread only.
#pragma once

#include "portcontrol.h"
#include "reopenpolicy.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace duoterm {

class TReopenHost : public QObject, public serial::ReopenHost {
    Q_OBJECT
public:
    explicit TReopenHost(TPortControl& control, QObject* parent = nullptr);

    serial::ReopenPolicy& Policy() { return policy_; }
    bool Waiting() const { return policy_.State() == serial::ReopenState::Waiting; }

    // After the port was opened again, and after every change of the waiting state.
    std::function<void()> onReopened;
    std::function<void()> onStateChanged;

    void StartTimer(int ms) override { timer_.start(ms); }
    void StopTimer() override { timer_.stop(); }
    bool TryReopen() override;
    void Reopened() override;
    void StateChanged(serial::ReopenState state) override;

private:
    TPortControl& control_;
    QTimer timer_;
    serial::ReopenPolicy policy_;
};

}  // namespace duoterm
