// The HEX lines' key filter: replacements, the characters that pass, suppression and Enter.
#include "hexkeyfilter.h"

#include <gtest/gtest.h>

using traffic::HexKeyAction;
using traffic::otpraveditKeyPress;

namespace {

struct KeyCase {
    uint8_t typed;
    HexKeyAction action;
    uint8_t code;
};

void ExpectAll(const std::initializer_list<KeyCase>& cases, bool buttonEnabled) {
    for (const KeyCase& k : cases) {
        SCOPED_TRACE(testing::Message() << "typed 0x" << std::hex << int(k.typed));
        const traffic::HexKeyResult r = otpraveditKeyPress(k.typed, buttonEnabled);
        EXPECT_EQ(r.action, k.action);
        EXPECT_EQ(int(r.code), int(k.code));
    }
}

constexpr HexKeyAction Insert = HexKeyAction::Insert;
constexpr HexKeyAction Suppress = HexKeyAction::Suppress;

}  // namespace

// The replacement table (Windows-1251 codes): Latin a-f, the Cyrillic letters on the same keys of
// the Russian layout in both cases, and № (Shift+3 there).
TEST(HexKeyFilter, ReplacementTable) {
    ExpectAll({{0x61, Insert, 'A'}, {0xF4, Insert, 'A'}, {0xD4, Insert, 'A'},  // a ф Ф
               {0x62, Insert, 'B'}, {0xC8, Insert, 'B'}, {0xE8, Insert, 'B'},  // b И и
               {0x63, Insert, 'C'}, {0xD1, Insert, 'C'}, {0xF1, Insert, 'C'},  // c С с
               {0x64, Insert, 'D'}, {0xC2, Insert, 'D'}, {0xE2, Insert, 'D'},  // d В в
               {0x65, Insert, 'E'}, {0xD3, Insert, 'E'}, {0xF3, Insert, 'E'},  // e У у
               {0x66, Insert, 'F'}, {0xC0, Insert, 'F'}, {0xE0, Insert, 'F'},  // f А а
               {0xB9, Insert, '#'}},                                           // №
              true);
}

TEST(HexKeyFilter, PassingAndSuppressedCharacters) {
    ExpectAll({{0x00, Insert, 0x00}, {0x08, Insert, 0x08}, {0x16, Insert, 0x16}, {0x1F, Insert, 0x1F},
               {' ', Insert, ' '}, {'#', Insert, '#'}, {'*', Insert, '*'}, {'0', Insert, '0'},
               {'9', Insert, '9'}, {'A', Insert, 'A'}, {'F', Insert, 'F'}, {0xBA, Insert, 0xBA},
               {0xBF, Insert, 0xBF},
               {'g', Suppress, 0}, {'-', Suppress, 0}, {'G', Suppress, 0}, {'z', Suppress, 0},
               {'!', Suppress, 0}, {0x7F, Suppress, 0}, {0x80, Suppress, 0}, {0xA8, Suppress, 0},  // Ё
               {0xB8, Suppress, 0}, {0xC1, Suppress, 0}, {0xFF, Suppress, 0}},                    // ё Б я
              true);
}

TEST(HexKeyFilter, EnterSendsOnlyWhileTheButtonIsEnabled) {
    EXPECT_EQ(otpraveditKeyPress(13, true).action, HexKeyAction::Send);
    const traffic::HexKeyResult disabled = otpraveditKeyPress(13, false);
    EXPECT_EQ(disabled.action, HexKeyAction::Insert);
    EXPECT_EQ(disabled.code, 13);
}

// Over every code: only Enter sends, the button matters for nothing else, and whatever is
// inserted is a character the line may hold.
TEST(HexKeyFilter, EveryCode) {
    for (int c = 0; c < 256; ++c) {
        SCOPED_TRACE(c);
        const auto enabled = otpraveditKeyPress(uint8_t(c), true);
        const auto disabled = otpraveditKeyPress(uint8_t(c), false);
        EXPECT_EQ(enabled.action == HexKeyAction::Send, c == 13);
        if (c == 13) continue;
        EXPECT_EQ(enabled.action, disabled.action);
        EXPECT_EQ(enabled.code, disabled.code);
        if (enabled.action != HexKeyAction::Insert) continue;
        const uint8_t k = enabled.code;
        EXPECT_TRUE(k <= 0x1F || k == ' ' || k == '#' || k == '*' || (k >= '0' && k <= '9') ||
                    (k >= 'A' && k <= 'F') || (k >= 0xBA && k <= 0xBF));
    }
}
