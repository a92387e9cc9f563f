// The ASCII sender: the text's bytes, a carriage return with "VK", nothing cut off.
#include "asciisender.h"

#include <gtest/gtest.h>

#include <string>

using Bytes = std::vector<uint8_t>;

TEST(AsciiMessage, WithAndWithoutVk) {
    const struct {
        std::string text;
        bool vk;
        Bytes bytes;
    } cases[] = {
        {"", true, {0x0D}},      // an empty line with VK sends the single byte 0D
        {"", false, {}},         // without VK nothing is written
        {"AT", true, {'A', 'T', 0x0D}},
        {"AT", false, {'A', 'T'}},
        {"\xCF\xF0\xE8\xE2\xE5\xF2", false, {0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2}},  // Привет in 1251
        {std::string("a\0b*#", 5), false, {'a', 0, 'b', '*', '#'}},             // no parsing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + (c.vk ? " with VK" : " without VK"));
        EXPECT_EQ(traffic::AsciiMessage(c.text, c.vk), c.bytes);
    }
}

TEST(AsciiMessage, LongTextIsSentWhole) {
    const std::string text(5000, 'x');
    const Bytes bytes = traffic::AsciiMessage(text, true);
    ASSERT_EQ(bytes.size(), 5001u);
    EXPECT_EQ(bytes.back(), 0x0D);
    EXPECT_EQ(bytes[4999], 'x');
}
