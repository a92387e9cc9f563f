// A Reporter that records everything a command reports, in order.
#pragma once

#include <string>
#include <vector>

#include "reporter.h"

namespace testsupport {

struct RecordingReporter : eemint::Reporter {
    std::vector<std::string> log, errors, statuses, events;

    void Log(const std::string& line) override {
        log.push_back(line);
        events.push_back("log");
    }
    void ShowError(const std::string& text) override {
        errors.push_back(text);
        events.push_back("error");
    }
    void ShowStatus(const std::string& text) override {
        statuses.push_back(text);
        events.push_back("status");
    }
    void Repaint() override { events.push_back("repaint"); }
};

}  // namespace testsupport
