#include "reopenhost.h"

#include "comm.h"

namespace duoterm {

TReopenHost::TReopenHost(TPortControl& control, QObject* parent)
    : QObject(parent), control_(control), policy_(*this)
{
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { policy_.Poll(); });
}

bool TReopenHost::TryReopen()
{
    // A device that is not back yet fails the open; that is no news for the user.
    try {
        control_.OpenPortClick();
    } catch (...) {
    }
    if (control_.Port().IsOpen() && control_.IsOpenShown())
        return true;
    control_.ShowWaiting(true);
    return false;
}

void TReopenHost::Reopened()
{
    if (onReopened)
        onReopened();
}

void TReopenHost::StateChanged(serial::ReopenState state)
{
    control_.ShowWaiting(state == serial::ReopenState::Waiting);
    if (onStateChanged)
        onStateChanged();
}

}  // namespace duoterm
