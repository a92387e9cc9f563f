#include "automode.h"

#include "eepromimage.h"

namespace eemint {

TMyConnection::TMyConnection(AutoModeTarget& target, std::chrono::milliseconds interval, QObject* parent)
    : QThread(parent), target_(target), interval_(interval), state_(std::make_shared<State>())
{
    // Queued: the signal is emitted on the thread, the step runs where this object lives.
    connect(this, &TMyConnection::HandOverRequested, this, &TMyConnection::RunHandOver, Qt::QueuedConnection);
}

TMyConnection::~TMyConnection()
{
    StopAndJoin();
}

void TMyConnection::Stop()
{
    {
        std::lock_guard lock(state_->mutex);
        state_->stop = true;
    }
    state_->wake.notify_all();
}

void TMyConnection::StopAndJoin()
{
    Stop();
    // Nothing the thread still does needs the user-interface thread: the wait is short.
    wait();
    // The thread's last act on the shared state was to release this mutex; taking it once
    // more orders everything the thread did before whatever the caller does next (the end
    // of the thread as QThread reports it is invisible to the race detector).
    std::lock_guard fence(state_->mutex);
}

void TMyConnection::run()
{
    bool presentAtLastCheck = false;
    bool firstCheck = true;
    for (;;) {
        const auto checkStart = std::chrono::steady_clock::now();
        {
            std::lock_guard lock(state_->mutex);
            if (state_->stop)
                return;
        }
        TEepromImage probe;
        const bool present = probe.IsPresent();
        if (present) {
            if (firstCheck || !presentAtLastCheck)
                HandOver(Cycle);
            presentAtLastCheck = true;
        } else {
            if (firstCheck || presentAtLastCheck)
                HandOver(Prompt);
            presentAtLastCheck = false;
        }
        firstCheck = false;

        // Checks are a fixed interval apart, so the time from plug-in to the cycle's start
        // stays within one interval; after a long cycle the next check follows at once.
        std::unique_lock lock(state_->mutex);
        state_->wake.wait_until(lock, checkStart + interval_, [this] { return state_->stop; });
    }
}

void TMyConnection::HandOver(Step step)
{
    const std::shared_ptr<State> state = state_;
    std::unique_lock lock(state->mutex);
    if (state->stop)
        return;
    const uint64_t sequence = ++state->requested;
    lock.unlock();
    emit HandOverRequested(step, sequence);
    lock.lock();
    state->wake.wait(lock, [&] { return state->stop || state->completed >= sequence; });
}

void TMyConnection::RunHandOver(int step, quint64 sequence)
{
    const std::shared_ptr<State> state = state_;
    {
        std::lock_guard lock(state->mutex);
        // Dropped when a stop came first: no cycle after auto mode was switched off or the
        // window went away.
        if (state->stop || sequence != state->requested)
            return;
    }
    AutoModeTarget& target = target_;
    if (step == Cycle)
        target.RunAutoCycle();
    else
        target.ShowConnectPrompt();
    {
        std::lock_guard lock(state->mutex);
        state->completed = sequence;
    }
    state->wake.notify_all();
}

}  // namespace eemint
