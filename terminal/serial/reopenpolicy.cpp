#include "reopenpolicy.h"

namespace serial {

void ReopenPolicy::SetEnabled(bool on)
{
    enabled_ = on;
    if (on && lost_)
        Wait();
    else if (!on)
        EndWait();
}

void ReopenPolicy::DeviceLost()
{
    lost_ = true;
    if (enabled_)
        Wait();
}

void ReopenPolicy::ManualAction()
{
    lost_ = false;
    EndWait();
}

void ReopenPolicy::Poll()
{
    // A shot that was already under way when the wait ended does nothing.
    if (state_ != ReopenState::Waiting)
        return;
    if (!host_.TryReopen()) {
        host_.StartTimer(kPollMs);
        return;
    }
    lost_ = false;
    SetState(ReopenState::Idle);
    host_.Reopened();
}

void ReopenPolicy::Wait()
{
    if (state_ == ReopenState::Waiting)
        return;
    host_.StartTimer(kPollMs);
    SetState(ReopenState::Waiting);
}

void ReopenPolicy::EndWait()
{
    if (state_ != ReopenState::Waiting)
        return;
    host_.StopTimer();
    SetState(ReopenState::Idle);
}

void ReopenPolicy::SetState(ReopenState state)
{
    if (state == state_)
        return;
    state_ = state;
    host_.StateChanged(state);
}

}  // namespace serial
