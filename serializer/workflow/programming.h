// Programming converters: one Program pass (single or multi-program mode) and Program to
// File, from the product identity in the window, with generated or fixed serial numbers.
//
// Threads: a flow runs on one thread at a time (the user-interface thread in the program),
// like every device command.
#pragma once

#include <cstdint>
#include <string>

#include "eepromimage.h"
#include "productconfiguration.h"
#include "reporter.h"
#include "serialnumber.h"

namespace eemint {

class ProgrammingFlow {
public:
    // The flow remembers the serial numbers it issued, so the window keeps one for its life.
    explicit ProgrammingFlow(Clock& clock = SystemClock());

    // ProgramItemClick: programs converter 0, or in multi-program mode the first converter
    // not yet carrying the configured vendor ID. Success is the log line; every failure is
    // one ShowError that ends the pass.
    void Program(const ProductConfiguration& config, bool multiProgram, Reporter& reporter);
    // ProgramToFileItemClick after the save dialog: the same image into a 128-byte file,
    // written beside the target and renamed into place, so a failure leaves the target as
    // it was. `path` is in the file system's narrow encoding (what QFile::encodeName gives).
    void ProgramToFile(const ProductConfiguration& config, const std::string& path, Reporter& reporter);

    // The image a pass writes for a given serial number, in the order the image operations
    // must run. False when the strings do not fit the image.
    static bool BuildProgramImage(const ProductConfiguration& config, const std::string& serial,
                                  TEepromImage& image);

    // The log line of a pass: the padded caption and the serial number read back.
    static std::string ProgramLogLine(const std::string& serial);

    // Converters counted from index 0 until the first that does not open.
    static int CountPresent();

private:
    // The image from the window's identity with its serial number: the fixed one, or a
    // freshly issued one (checked for fit with the clock's current number first, so a pass
    // that cannot fit issues nothing). Reports its own failure.
    bool PrepareImage(const ProductConfiguration& config, TEepromImage& image, Reporter& reporter);

    SerialNumberGenerator serials_;
};

}  // namespace eemint
