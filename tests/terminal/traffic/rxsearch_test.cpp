// Search in the receive store: hexadecimal search texts, matches inside a tick and across
// several, next and previous checked against a plain search of all bytes, text search where
// the view shows 0 as a space, and where a match lies in the two views.
#include "rxsearch.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace traffic;

namespace {

void Append(RxLog& log, const std::string& tick)
{
    log.AppendTick(reinterpret_cast<const uint8_t*>(tick.data()), tick.size());
}

bool Same(uint8_t received, uint8_t wanted, bool spaceMatchesZero)
{
    return received == wanted || (spaceMatchesZero && wanted == ' ' && received == 0);
}

// Every match's begin in the concatenated bytes.
std::vector<uint64_t> AllMatches(const std::string& all, const SearchPattern& p)
{
    std::vector<uint64_t> begins;
    for (size_t i = 0; i + p.bytes.size() <= all.size(); ++i) {
        size_t k = 0;
        while (k < p.bytes.size() && Same(static_cast<uint8_t>(all[i + k]), p.bytes[k], p.spaceMatchesZero))
            ++k;
        if (k == p.bytes.size())
            begins.push_back(i);
    }
    return begins;
}

}  // namespace

TEST(RxSearch, HexSearchTexts)
{
    EXPECT_EQ(ParseHexPattern("41 42"), (std::vector<uint8_t>{0x41, 0x42}));
    EXPECT_EQ(ParseHexPattern(" 0d0A ff"), (std::vector<uint8_t>{0x0D, 0x0A, 0xFF}));
    EXPECT_EQ(ParseHexPattern("4 1"), (std::vector<uint8_t>{0x41}));  // spaces anywhere
    for (const char* bad : {"", "   ", "414", "4G", "41,42", "0x41"})
        EXPECT_EQ(ParseHexPattern(bad), std::nullopt) << bad;
}

TEST(RxSearch, MatchesInATickAndAcrossTicks)
{
    RxLog log;
    for (const char* tick : {"xxAB", "C", "D", "yyABCDzz", "AB", "CDxAB"})
        Append(log, tick);
    // All bytes: xxABCDyyABCDzzABCDxAB; ABCD begins at 2 (over three ticks), 8 (inside one),
    // 14 (over two); the last AB has no CD after it.
    const SearchPattern abcd = TextPattern("ABCD");
    EXPECT_EQ(FindNext(log, abcd, 0), (SearchMatch{2, 6}));
    EXPECT_EQ(FindNext(log, abcd, 3), (SearchMatch{8, 12}));
    EXPECT_EQ(FindNext(log, abcd, 9), (SearchMatch{14, 18}));
    EXPECT_EQ(FindNext(log, abcd, 15), std::nullopt);
    EXPECT_EQ(FindPrevious(log, abcd, log.TotalBytes()), (SearchMatch{14, 18}));
    EXPECT_EQ(FindPrevious(log, abcd, 14), (SearchMatch{8, 12}));
    EXPECT_EQ(FindPrevious(log, abcd, 8), (SearchMatch{2, 6}));
    EXPECT_EQ(FindPrevious(log, abcd, 2), std::nullopt);
    EXPECT_EQ(FindPrevious(log, abcd, 1000), (SearchMatch{14, 18}));  // past the end: from the end
    EXPECT_EQ(FindNext(log, HexPattern({0x44, 0x78}), 0), (SearchMatch{17, 19}));  // "Dx"
    EXPECT_EQ(FindNext(log, HexPattern({}), 0), std::nullopt);
    EXPECT_EQ(FindNext(RxLog(), abcd, 0), std::nullopt);
    EXPECT_EQ(FindPrevious(RxLog(), abcd, 0), std::nullopt);

    log.Clear();
    EXPECT_EQ(FindNext(log, abcd, 0), std::nullopt);
}

TEST(RxSearch, TextSearchTakesAZeroForTheSpaceTheViewShows)
{
    RxLog log;
    Append(log, std::string("A\0B A", 5));
    Append(log, "\xCF\xF0\xE8");  // "При" in Windows-1251
    EXPECT_EQ(FindNext(log, TextPattern("A B"), 0), (SearchMatch{0, 3}));
    EXPECT_EQ(FindNext(log, HexPattern({0x41, 0x20, 0x42}), 0), std::nullopt);
    EXPECT_EQ(FindNext(log, TextPattern(" "), 2), (SearchMatch{3, 4}));
    EXPECT_EQ(FindNext(log, TextPattern("A\xCF\xF0"), 0), (SearchMatch{4, 7}));
    // Exact bytes: no case folding.
    EXPECT_EQ(FindNext(log, TextPattern("a"), 0), std::nullopt);
}

TEST(RxSearch, NextAndPreviousAgreeWithAPlainSearchOnRandomTicks)
{
    std::mt19937 random(2024);
    const char alphabet[] = {'a', 'b', ' ', '\0'};
    for (int round = 0; round < 200; ++round) {
        RxLog log;
        std::string all;
        for (int ticks = random() % 12; ticks > 0; --ticks) {
            std::string tick;
            for (int n = 1 + random() % 6; n > 0; --n)
                tick += alphabet[random() % 4];
            Append(log, tick);
            all += tick;
        }
        std::string text;
        for (int n = 1 + random() % 4; n > 0; --n)
            text += alphabet[random() % 4];
        const SearchPattern pattern = random() % 2 ? TextPattern(text)
                                                   : HexPattern(std::vector<uint8_t>(text.begin(), text.end()));
        const std::vector<uint64_t> begins = AllMatches(all, pattern);
        for (uint64_t from = 0; from <= all.size() + 1; ++from) {
            SCOPED_TRACE(testing::Message() << "round " << round << " from " << from);
            auto next = std::lower_bound(begins.begin(), begins.end(), from);
            const auto found = FindNext(log, pattern, from);
            if (next == begins.end())
                EXPECT_EQ(found, std::nullopt);
            else
                EXPECT_EQ(found, (SearchMatch{*next, *next + pattern.bytes.size()}));
            const auto previous = FindPrevious(log, pattern, from);
            if (next == begins.begin())
                EXPECT_EQ(previous, std::nullopt);
            else
                EXPECT_EQ(previous, (SearchMatch{*(next - 1), *(next - 1) + pattern.bytes.size()}));
        }
    }
}

TEST(RxSearch, WhereAByteLiesInTheTwoViews)
{
    RxLog log;
    Append(log, "ab\r\ncd\r");  // view lines "ab", "cd"
    Append(log, "\nef");        // the LF closes the CR before: "ef" is the next view line
    Append(log, "gh");
    const struct {
        uint64_t byte;
        size_t tick, tickColumn, viewLine, viewColumn;
    } cases[] = {
        {0, 0, 0, 0, 0}, {1, 0, 1, 0, 1},
        {2, 0, 2, 0, 2}, {3, 0, 3, 0, 2},  // CR LF: at the end of "ab"
        {4, 0, 4, 1, 0}, {6, 0, 6, 1, 2},
        {7, 1, 0, 1, 2},                   // the LF of the next tick: still the end of "cd"
        {8, 1, 1, 2, 0}, {9, 1, 2, 2, 1},
        {10, 2, 0, 3, 0}, {11, 2, 1, 3, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.byte);
        const auto where = Locate(log, c.byte);
        ASSERT_TRUE(where);
        EXPECT_EQ(where->tick, c.tick);
        EXPECT_EQ(where->tickColumn, c.tickColumn);
        EXPECT_EQ(where->viewLine, c.viewLine);
        EXPECT_EQ(where->viewColumn, c.viewColumn);
    }
    EXPECT_EQ(Locate(log, 12), std::nullopt);
}
