// The 128-byte EEPROM image a programmed converter must hold, laid out field by field from
// the identity, independently of the image class, so the tests compare against the layout
// itself.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "productconfiguration.h"

namespace testsupport {

using EepromBytes = std::array<uint8_t, 128>;

inline uint16_t ImageChecksum(const EepromBytes& image)
{
    uint16_t sum = 0xAAAA;
    for (int i = 0; i < 63; ++i) {
        sum ^= static_cast<uint16_t>(image[2 * i] | image[2 * i + 1] << 8);
        sum = static_cast<uint16_t>(sum << 1 | sum >> 15);
    }
    return sum;
}

inline EepromBytes ExpectedImage(const eemint::ProductConfiguration& c, const std::string& serial)
{
    EepromBytes image{};
    auto word = [&](int at, uint16_t value) {
        image[at] = static_cast<uint8_t>(value);
        image[at + 1] = static_cast<uint8_t>(value >> 8);
    };
    const std::string manufacturer = eemint::TrimTrailingBlanks(c.manufacturer);
    const std::string description = eemint::TrimTrailingBlanks(c.description);
    word(2, eemint::HexToWord(c.vendorId));
    word(4, eemint::HexToWord(c.productId));
    image[7] = c.rev4 ? 4 : 2;
    image[8] = static_cast<uint8_t>(0x80 | (c.selfPowered ? 0x40 : 0) | (c.remoteWakeup ? 0x20 : 0));
    image[9] = static_cast<uint8_t>(c.maxPower / 2);
    if (c.rev4) {
        image[10] = static_cast<uint8_t>((c.isoIn ? 1 : 0) | (c.isoOut ? 2 : 0) | (c.intPdEn ? 4 : 0) |
                                         (c.intSerNo ? 8 : 0) | (c.intUsbVer ? 16 : 0));
        word(12, eemint::HexToWord(c.usbVersion));
    }
    int at = 20;
    auto descriptor = [&](int header, const std::string& text) {
        image[header] = static_cast<uint8_t>(0x80 | at);
        image[header + 1] = static_cast<uint8_t>(2 + 2 * text.size());
        image[at++] = static_cast<uint8_t>(2 + 2 * text.size());
        image[at++] = 0x03;
        for (char ch : text) {
            image[at++] = static_cast<uint8_t>(ch);
            image[at++] = 0;
        }
    };
    descriptor(14, manufacturer);
    descriptor(16, description);
    descriptor(18, serial);
    image[at++] = 0x02;  // empty port-name prefix
    image[at++] = 0x03;
    image[124] = 0x01;
    // The plug-and-play word is placed after the marker: with the string area full it lands
    // on bytes 124-125.
    word(at, c.plugAndPlay ? 0 : 1);
    word(126, ImageChecksum(image));
    return image;
}

}  // namespace testsupport
