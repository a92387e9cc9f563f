// The request language: the checksum, the message converter with the rules for odd and
// invalid digits, the parser on every row of the request table, long messages, the
// order in which a request is carried out, and the blocking pause.
#include "request.h"
#include "waitt.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>

using traffic::RequestStep;
using Bytes = std::vector<uint8_t>;

namespace traffic {
void PrintTo(const RequestStep& step, std::ostream* os) {
    *os << "{write";
    for (uint8_t b : step.bytes) *os << ' ' << std::hex << std::uppercase << (b >> 4) << (b & 15) << std::dec;
    *os << ", pause " << step.pauseMs << "}";
}
}  // namespace traffic

TEST(CalcCheckSum, ThePartsExamples) {
    const uint8_t numbers[] = {0x01, 0x02, 0x03};
    const uint8_t letters[] = {'a', 'b', 'c'};
    EXPECT_EQ(traffic::calcCheckSum(nullptr, 0), 0xFF);
    EXPECT_EQ(traffic::calcCheckSum(numbers, 3), 0xF9);
    EXPECT_EQ(traffic::calcCheckSum(letters, 3), 0xBB);
    const uint8_t one = 0x01;
    EXPECT_EQ(traffic::calcCheckSum(&one, 1), 0xFD);  // FE rotated: bit 7 comes round to bit 0
}

// The conversion of one message, with the README's rules for the open cases: a
// non-hexadecimal character is the digit 0 in either position, a lone last digit is the high
// four bits of a last byte.
TEST(ConvertMessage, Rules) {
    const struct {
        const char* message;
        Bytes bytes;
    } cases[] = {
        {"", {}},
        {"   ", {}},
        {"*", {0xFF}},                       // the checksum over no bytes
        {"010203", {0x01, 0x02, 0x03}},
        {"01 02 03*", {0x01, 0x02, 0x03, 0xF9}},
        {"0a0B", {0x0A, 0x0B}},              // both cases
        {"aBcDeF", {0xAB, 0xCD, 0xEF}},
        {"1", {0x10}},                       // odd counts: the lone last digit is a high nibble
        {"123", {0x12, 0x30}},
        {"1*", {0x10, 0xDF}},                // the checksum over 10, after the odd digit
        {"G1", {0x01}},                      // non-hex first character: high nibble 0
        {"1G", {0x10}},                      // non-hex second character: low nibble 0
        {"GG", {0x00}},
        {"\xBA\xBF", {0x00}},                // codes the key filter lets through
        {"0\xB9", {0x00}},
        {"1*2*", {0x10, 0x20}},              // "*" not the only one: no checksum, digit 0
        {"*1", {0x01}},                      // "*" not last: no checksum, digit 0
        {"1#", {0x10}},                      // "#" (never in a parsed message) is digit 0 too
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(traffic::ConvertMessage(c.message), c.bytes);
    }
}

// Every row of the request table, byte for byte with the pauses and the number of
// writePort calls, and a few more requests that walk the other branches of the parser.
TEST(ObrabZapstr, RequestTable) {
    const struct {
        const char* request;
        std::vector<RequestStep> steps;
    } cases[] = {
        // The request table.
        {"", {}},
        {"    ", {}},
        {"*", {}},
        {"**", {}},
        {"01 02 03", {{{0x01, 0x02, 0x03}, 0}}},
        {"010203*", {{{0x01, 0x02, 0x03, 0xF9}, 0}}},
        {"01*", {{{0x01, 0xFD}, 0}}},
        {"0a0b", {{{0x0A, 0x0B}, 0}}},
        {"01##02", {{{0x01}, 100}, {{0x02}, 0}}},
        {"0102#", {{{0x01, 0x02}, 50}}},
        {"#0102", {{{}, 50}, {{0x01, 0x02}, 0}}},   // the empty message is still a writePort call
        {"*0102", {{{0xFF}, 0}, {{0x01, 0x02}, 0}}},
        {"01*02", {{{0x01, 0xFD}, 0}, {{0x02}, 0}}},
        {"01*#02", {{{0x01, 0xFD}, 50}, {{0x02}, 0}}},
        // More.
        {" * * ", {}},                                   // spaces go first, then "**" collapses
        {"***", {}},
        {"01***02", {{{0x01, 0xFD}, 0}, {{0x02}, 0}}},   // runs of "*" collapse to one
        {"01**#02", {{{0x01, 0xFD}, 50}, {{0x02}, 0}}},
        {"##", {{{}, 100}}},
        {"#", {{{}, 50}}},
        {"01#*", {{{0x01}, 50}, {{0xFF}, 0}}},
        {"01#02#", {{{0x01}, 50}, {{0x02}, 50}}},
        {"01*#*#", {{{0x01, 0xFD}, 50}, {{0xFF}, 50}}},
        {"0 1 # # # 0 2 *", {{{0x01}, 150}, {{0x02, 0xFB}, 0}}},
        {"1#23", {{{0x10}, 50}, {{0x23}, 0}}},            // odd digits before a mark
        {"12G", {{{0x12, 0x00}, 0}}},                    // no marks: the whole text, rules apply
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.request << '"');
        EXPECT_EQ(traffic::obrabZapstr(c.request), c.steps);
    }
}

// A long run of "#" is one long pause, clamped to the range of int.
TEST(ObrabZapstr, LongRunsArePausesNotSleeps) {
    const auto steps = traffic::obrabZapstr("01" + std::string(1000, '#'));
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].pauseMs, 50000);
}

// Messages and requests longer than a 1024-byte buffer go out whole.
TEST(ObrabZapstr, LongMessagesAreSentWhole) {
    std::string hex;
    Bytes bytes;
    for (int i = 0; i < 3000; ++i) {
        const char digits[] = "0123456789ABCDEF";
        hex += digits[(i >> 4) & 15];
        hex += digits[i & 15];
        bytes.push_back(uint8_t(i));
    }
    EXPECT_EQ(traffic::ConvertMessage(hex), bytes);
    const auto plain = traffic::obrabZapstr(hex);
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(plain[0].bytes, bytes);

    const auto withChecksum = traffic::obrabZapstr(hex + "*#" + hex);
    ASSERT_EQ(withChecksum.size(), 2u);
    Bytes first = bytes;
    first.push_back(traffic::calcCheckSum(bytes.data(), bytes.size()));
    EXPECT_EQ(withChecksum[0], (RequestStep{first, 50}));
    EXPECT_EQ(withChecksum[1], (RequestStep{bytes, 0}));
}

// RunRequest writes every step, the empty one too, and waits after it when it has a pause.
TEST(RunRequest, WritesAndPausesInOrder) {
    std::string trace;
    traffic::RunRequest(
        traffic::obrabZapstr("#01*02##03"),
        [&](const Bytes& bytes) {
            trace += "write";
            for (uint8_t b : bytes) trace += " " + std::to_string(b);
            trace += ";";
        },
        [&](int ms) { trace += "wait " + std::to_string(ms) + ";"; });
    EXPECT_EQ(trace, "write;wait 50;write 1 253;write 2;wait 100;write 3;");
}

TEST(WaitT, BlocksForTheWholePause) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    traffic::waitT(60);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(60));

    const auto again = Clock::now();
    traffic::waitT(0);
    traffic::waitT(-5);
    EXPECT_LT(Clock::now() - again, std::chrono::milliseconds(50));
}
