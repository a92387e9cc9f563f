// A scripted stand-in for the serial backend: records every call, answers from its fields,
// and plays a queue of wait results to the port's wait thread.
#pragma once

#include "terminalport.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class FakeTerminalPort : public platform::terminalport::TerminalPort {
public:
    struct Wait {
        platform::terminalport::WaitResult result;
        uint32_t mask = 0;
    };

    ~FakeTerminalPort() override { ++destroyed; }
    static inline int destroyed = 0;

    // Answers and failures the test sets before the port uses them.
    bool charDevice = true;
    uint32_t failSetup = 0, failSetState = 0, failTimeouts = 0, failEscape = 0;
    platform::terminalport::Dcb driverDcb;  // what GetState reports
    uint32_t modemStatus = 0;
    bool modemFails = false;
    uint32_t refusedBaudRate = 0;  // SetState refuses this rate (code 87)
    uint32_t lineErrors = 0, inQueue = 0;
    // What LineCounts reports; none: the device keeps no counts.
    std::optional<platform::terminalport::LineCounters> lineCounts;
    uint32_t eventOnStop = 0;  // a wait that completes with these events when stopped

    // What the port did.
    std::vector<std::string> calls;
    std::vector<platform::terminalport::Dcb> states;
    std::vector<platform::terminalport::Timeouts> timeouts;
    std::vector<uint32_t> escapes;
    uint32_t eventMask = 0;
    int closes = 0;

    // Queues one completed wait for the wait thread.
    void Push(platform::terminalport::WaitResult result, uint32_t mask = 0)
    {
        std::lock_guard lock(mutex_);
        waits_.push_back({result, mask});
        changed_.notify_all();
    }
    size_t Queued()
    {
        std::lock_guard lock(mutex_);
        return waits_.size();
    }
    int Waits()
    {
        std::lock_guard lock(mutex_);
        return waitCalls_;
    }
    // True once the wait thread sits in WaitEvent with nothing queued.
    bool Idle()
    {
        std::lock_guard lock(mutex_);
        return idle_;
    }
    // Blocks until the wait thread has taken every queued wait, at most ms; false when the
    // time ran out. The thread then goes on to the hand-over of what it took.
    bool WaitUntilTaken(int ms = 10000)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return waits_.empty(); });
    }
    // How often Purge was called; the wait thread's last call is one.
    int Purges()
    {
        std::lock_guard lock(mutex_);
        return purges_;
    }

    bool IsCharDevice() override { return Log("IsCharDevice"), charDevice; }
    bool Setup(int32_t, int32_t) override { return Log("Setup"), Result(failSetup); }
    bool GetState(platform::terminalport::Dcb& dcb) override
    {
        Log("GetState");
        dcb = driverDcb;
        return true;
    }
    bool SetState(const platform::terminalport::Dcb& dcb) override
    {
        Log("SetState");
        states.push_back(dcb);
        if (refusedBaudRate != 0 && dcb.baudRate == refusedBaudRate)
            return platform::terminalport::Fail(87);
        return Result(failSetState);
    }
    bool SetTimeouts(const platform::terminalport::Timeouts& t) override
    {
        Log("SetTimeouts");
        timeouts.push_back(t);
        return Result(failTimeouts);
    }
    int Read(void*, int, uint32_t) override { return Log("Read"), 0; }
    int Write(const void*, int count, uint32_t) override { return Log("Write"), count; }
    bool Purge(uint32_t) override
    {
        std::lock_guard lock(mutex_);
        ++purges_;
        return true;
    }
    bool ModemStatus(uint32_t& status) override
    {
        status = modemStatus;
        return modemFails ? platform::terminalport::Fail(31) : true;
    }
    bool Escape(uint32_t function) override
    {
        escapes.push_back(function);
        return Result(failEscape);
    }
    bool SetEventMask(uint32_t mask) override
    {
        std::lock_guard lock(mutex_);
        eventMask = mask;
        return true;
    }
    platform::terminalport::WaitResult WaitEvent(uint32_t& mask) override
    {
        std::unique_lock lock(mutex_);
        ++waitCalls_;
        idle_ = waits_.empty();
        changed_.notify_all();
        changed_.wait(lock, [this] { return stop_ || !waits_.empty(); });
        idle_ = false;
        if (stop_ && eventOnStop) {
            // The driver completes one more wait just as the port stops it.
            mask = eventOnStop;
            eventOnStop = 0;
            return platform::terminalport::WaitResult::Event;
        }
        if (stop_)
            return platform::terminalport::WaitResult::Stopped;
        const Wait wait = waits_.front();
        waits_.pop_front();
        changed_.notify_all();
        mask = wait.mask;
        return wait.result;
    }
    void StopWait() override
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        changed_.notify_all();
    }
    bool ClearErrors(uint32_t& errors, uint32_t& queued) override
    {
        errors = lineErrors;
        queued = inQueue;
        return true;
    }
    bool LineCounts(platform::terminalport::LineCounters& counts) override
    {
        if (!lineCounts)
            return false;
        counts = *lineCounts;
        return true;
    }
    void Close() override { ++closes; }

private:
    void Log(const char* call) { calls.emplace_back(call); }
    static bool Result(uint32_t failure) { return failure ? platform::terminalport::Fail(failure) : true; }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Wait> waits_;
    bool stop_ = false;
    bool idle_ = false;
    int waitCalls_ = 0;
    int purges_ = 0;
};

}  // namespace testsupport
