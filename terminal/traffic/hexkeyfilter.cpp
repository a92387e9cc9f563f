// The key filter of Duoterm's HEX send lines: Enter, the replacement table and the set of
// characters that pass.
#include "hexkeyfilter.h"

namespace traffic {

namespace {

// The replacement table, tested in this order (Windows-1251 codes).
struct Replacement {
    uint8_t from[3];
    uint8_t count;
    uint8_t to;
};
constexpr Replacement kReplacements[] = {
    {{0x61, 0xF4, 0xD4}, 3, 'A'},  // a ф Ф
    {{0x62, 0xC8, 0xE8}, 3, 'B'},  // b И и
    {{0x63, 0xD1, 0xF1}, 3, 'C'},  // c С с
    {{0x64, 0xC2, 0xE2}, 3, 'D'},  // d В в
    {{0x65, 0xD3, 0xF3}, 3, 'E'},  // e У у
    {{0x66, 0xC0, 0xE0}, 3, 'F'},  // f А а
    {{0xB9, 0, 0}, 1, '#'},        // №
};

bool Passes(uint8_t c) {
    return c <= 0x1F || c == ' ' || c == '#' || c == '*' || (c >= '0' && c <= '9') ||
           (c >= 'A' && c <= 'F') || (c >= 0xBA && c <= 0xBF);
}

}  // namespace

HexKeyResult otpraveditKeyPress(uint8_t code, bool sendButtonEnabled) {
    if (code == 13 && sendButtonEnabled) return {HexKeyAction::Send, 0};
    for (const Replacement& r : kReplacements)
        for (uint8_t k = 0; k < r.count; ++k)
            if (code == r.from[k]) return {HexKeyAction::Insert, r.to};
    if (Passes(code)) return {HexKeyAction::Insert, code};
    return {HexKeyAction::Suppress, 0};
}

}  // namespace traffic
