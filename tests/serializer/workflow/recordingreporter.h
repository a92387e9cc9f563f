// A Reporter that records what a command reports, in order, instead of showing it.
#pragma once

#include <string>
#include <vector>

#include "reporter.h"

namespace testsupport {

class RecordingReporter : public eemint::Reporter {
public:
    void Log(const std::string& line) override { log.push_back(line); }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    void ShowStatus(const std::string& text) override { statuses.push_back(text); }
    void Repaint() override { ++repaints; }

    void Clear() { *this = RecordingReporter(); }

    std::vector<std::string> log;
    std::vector<std::string> errors;
    std::vector<std::string> statuses;
    int repaints = 0;
};

}  // namespace testsupport
