// The example image (MAVIX, USB HS Serial Converter, MV000001), written out byte by byte
// independently of the image builder, and small helpers to move images around in tests.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "eepromimage.h"

namespace testsupport {

using Bytes128 = std::array<uint8_t, 128>;

// A string descriptor written out by hand: length, 0x03, then char and 0 per character.
inline void PutDescriptor(Bytes128& b, int at, const char* text) {
    const int n = static_cast<int>(std::strlen(text));
    b[at] = static_cast<uint8_t>(2 + 2 * n);
    b[at + 1] = 0x03;
    for (int i = 0; i < n; ++i) b[at + 2 + 2 * i] = static_cast<uint8_t>(text[i]);
}

inline Bytes128 ExampleImage() {
    Bytes128 b{};
    const uint8_t head[20] = {0x00, 0x00, 0x7E, 0x3A, 0x01, 0x5C, 0x00, 0x02, 0xA0, 0x2D,
                              0x00, 0x00, 0x00, 0x00, 0x94, 0x0C, 0xA0, 0x30, 0xD0, 0x12};
    std::copy(std::begin(head), std::end(head), b.begin());
    PutDescriptor(b, 20, "MAVIX");
    PutDescriptor(b, 32, "USB HS Serial Converter");
    PutDescriptor(b, 80, "MV000001");
    b[98] = 0x02;
    b[99] = 0x03;
    b[124] = 0x01;
    b[126] = 0x98;
    b[127] = 0x80;
    return b;
}

inline Bytes128 First128(const eemint::TEepromImage& image) {
    Bytes128 b;
    std::copy_n(image.Bytes().begin(), 128, b.begin());
    return b;
}

}  // namespace testsupport
