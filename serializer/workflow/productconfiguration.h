// The product identity shown in Eemint's windows, as one value that the command flows read.
// Texts hold exactly what the edits hold (single-byte, padded with blanks to the mask
// width); consumers trim trailing blanks themselves.
#pragma once

#include <cstdint>
#include <string>

namespace eemint {

enum class WindowMode : uint8_t { Program = 0, Edit = 1, Auto = 2, MultiProgram = 3 };

// "MODE: Program", "MODE: Edit", "MODE: Auto", "MODE: MultiProgram".
const char* ModeStatusText(WindowMode mode);

struct ProductConfiguration {
    std::string manufacturer;    // ManufacturerMaskEdit, 16 positions
    std::string manufacturerId;  // ManufacturerIDMaskEdit, 2 positions, blanks kept
    std::string vendorId;        // VendorIDMaskEdit, 4 hex digits
    std::string productId;       // ProductIDMaskEdit, 4 hex digits
    std::string description;     // DescriptionMaskEdit
    bool rev4 = false;           // Rev4CB
    bool isoIn = false;          // IsoInCB
    bool isoOut = false;         // IsoOutCB
    bool intPdEn = false;        // IntPdEnCB
    bool intSerNo = true;        // IntSerNoCB
    bool intUsbVer = false;      // IntUSBVerCB
    std::string usbVersion = "0110";  // IntUSBVerMaskEdit
    // Advanced setup dialog.
    bool plugAndPlay = true;
    bool selfPowered = false;
    bool remoteWakeup = true;
    int maxPower = 50;           // GetMaxPower: milliamps, at most 500
    bool fixedSerial = false;    // HasFixedSerial
    std::string fixedSerialText; // GetFixedSerial: 8 characters, blanks for untyped positions

    // 0x80, plus 0x40 self powered, plus 0x20 remote wakeup.
    uint8_t Attributes() const;
};

// The identity a new main window shows before a stored one is restored: manufacturer
// "MAVIX", manufacturer ID "MV", vendor ID 3A7E, product ID 5C01, description "MVC110
// EVALUATION KIT", and the options as the struct's members start. Texts are not padded; the
// window's edits pad them to their masks.
ProductConfiguration DefaultProductConfiguration();

// Removes blanks at the end of the first n characters and cuts the text there.
std::string TrimTrailingBlanks(const std::string& text, size_t n = std::string::npos);
// The 16-bit value of exactly the first four characters (c - 48 for digits, else c - 55),
// with 16-bit wrap-around; shorter texts count missing characters as NUL.
uint16_t HexToWord(const std::string& text);

}  // namespace eemint
