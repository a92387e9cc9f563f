// Auto mode's detection thread: probes converter 0 once a second and, on each change, hands
// one step to the user-interface thread and waits until it has run there: the
// program-and-test cycle when a converter arrives, the connect prompt when it leaves (and on
// the first check when nothing is attached).
//
// Threads: construct, Stop, StopAndJoin and destroy on the user-interface thread, which must
// run an event loop; the target's steps run there too, one at a time. The thread itself only
// probes and sleeps. A stop wakes the pause at once and cancels a hand-over that has not
// started, so joining never waits for the user-interface thread and cannot deadlock with a
// pending hand-over.
#pragma once

#include <QThread>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace eemint {

// What auto mode drives; the main window implements it, tests fake it.
class AutoModeTarget {
public:
    virtual ~AutoModeTarget() = default;
    // A converter arrived: clear the log, program it, test it.
    virtual void RunAutoCycle() = 0;
    // No converter (any more): log kConnectPrompt.
    virtual void ShowConnectPrompt() = 0;
};

inline constexpr const char* kConnectPrompt = "Please connect new device...";

class TMyConnection : public QThread {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kCheckInterval{1000};

    // Hand-overs are delivered to this object, so it must be created on the user-interface
    // thread. `interval` is the pause between checks (shorter only in tests).
    explicit TMyConnection(AutoModeTarget& target, std::chrono::milliseconds interval = kCheckInterval,
                           QObject* parent = nullptr);
    // Stops and joins.
    ~TMyConnection() override;

    // Asks the thread to stop without waiting for it: the pause ends at once and a hand-over
    // not yet started is dropped. A step already running finishes.
    void Stop();
    // Stop, then wait for the thread to end (for exit and before starting a new thread).
    void StopAndJoin();

signals:
    void HandOverRequested(int step, quint64 sequence);

protected:
    void run() override;

private:
    enum Step : int { Cycle = 0, Prompt = 1 };

    // Shared between the two threads; held by the step being run as well, so a step that ends
    // after this object is gone still finds it.
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        bool stop = false;
        uint64_t requested = 0;  // last hand-over posted
        uint64_t completed = 0;  // last hand-over that ran to its end
    };

    // Thread side: post one step and wait until it ran or a stop came.
    void HandOver(Step step);
    // User-interface side.
    void RunHandOver(int step, quint64 sequence);

    AutoModeTarget& target_;
    const std::chrono::milliseconds interval_;
    std::shared_ptr<State> state_;
};

}  // namespace eemint
