// Programming converters: one Program pass (single or multi-program mode) and Program to
// File, from the product identity in the window, with generated or fixed serial numbers.
#pragma once

#include <chrono>
#include <ctime>
#include <string>

#include "productconfiguration.h"
#include "reporter.h"

namespace eemint {

// The local time for serial numbers, and the wait for the next clock slot; tests give any
// date and need not sleep.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::tm LocalNow() = 0;
    virtual void Sleep(std::chrono::milliseconds duration) = 0;
};
Clock& SystemClock();

class ProgrammingFlow {
public:
    explicit ProgrammingFlow(Clock& clock = SystemClock());

    // ProgramItemClick: programs converter 0, or in multi-program mode the first converter
    // not yet carrying the configured vendor ID.
    void Program(const ProductConfiguration& config, bool multiProgram, Reporter& reporter);
    // ProgramToFileItemClick after the save dialog: the same image into a 128-byte file.
    void ProgramToFile(const ProductConfiguration& config, const std::string& path, Reporter& reporter);

private:
    Clock& clock_;
};

}  // namespace eemint
