// A Reporter that records what an Eemint command reports, in order, instead of showing it:
// the log lines with the moment each arrived, the error and status messages, and the order
// of all of them with the repaints.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "reporter.h"

namespace testsupport {

class RecordingReporter : public eemint::Reporter {
public:
    using Clock = std::chrono::steady_clock;

    void Log(const std::string& line) override
    {
        log.push_back(line);
        logTimes.push_back(Clock::now());
        events.push_back("log");
    }
    void ShowError(const std::string& text) override
    {
        errors.push_back(text);
        events.push_back("error");
    }
    void ShowStatus(const std::string& text) override
    {
        statuses.push_back(text);
        events.push_back("status");
    }
    void Repaint() override
    {
        repaintsAfter.push_back(log.size());
        events.push_back("repaint");
    }

    void Clear() { *this = RecordingReporter(); }

    size_t Repaints() const { return repaintsAfter.size(); }
    // Seconds between the arrival of two log lines (by index).
    double SecondsBetween(size_t first, size_t second) const
    {
        return std::chrono::duration<double>(logTimes.at(second) - logTimes.at(first)).count();
    }

    std::vector<std::string> log;
    std::vector<std::string> errors;
    std::vector<std::string> statuses;
    std::vector<std::string> events;        // "log", "error", "status", "repaint" in order
    std::vector<Clock::time_point> logTimes;  // when each log line arrived
    std::vector<size_t> repaintsAfter;      // how many lines had been logged at each repaint
};

}  // namespace testsupport
