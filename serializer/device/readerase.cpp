#include "readerase.h"

#include <cstdio>
#include <string>

#include "eepromimage.h"

namespace eemint {
namespace {

std::string Hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
    return text;
}

}  // namespace

void ReadItemRun(Reporter& reporter) {
    TEepromImage image;
    image.SetIndex(0);
    if (!image.ReadAndParse()) {
        reporter.ShowError("Failed to open device for read");
        return;
    }
    // Eight lines of 16 bytes, each byte followed by a space, labelled with the offset of its
    // first byte; then an empty line.
    image.Rewind();
    std::string line = "00: ";
    for (int i = 0; i < 64; ++i) {
        const uint16_t word = image.PopWord();
        line += Hex2(word & 0xFF) + " " + Hex2(word >> 8) + " ";
        if (i % 8 == 7) {
            reporter.Log(line);
            line = Hex2(static_cast<unsigned>(2 * i + 2)) + ": ";
        }
    }
    reporter.Log("");
}

void EraseItemRun(Reporter& reporter) {
    TEepromImage image;
    image.SetIndex(0);
    reporter.Repaint();
    if (!image.IsPresent()) {
        reporter.ShowError("Failed to open device");
        return;
    }
    if (image.Erase())
        reporter.ShowStatus("Device erased OK");
    else
        reporter.ShowError("Failed to open device for erase");
}

}  // namespace eemint
