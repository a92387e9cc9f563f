// The receive display without widgets: a tick's two lines, and RxLog's hexadecimal and
// character views, clearing, and its compactness.
#include "rxdisplay.h"
#include "rxsearch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using traffic::RxLog;

namespace {

const uint8_t* U(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

void Append(RxLog& log, const std::string& tick) { log.AppendTick(U(tick), tick.size()); }

std::vector<std::string> CharView(const RxLog& log) {
    std::vector<std::string> lines;
    for (size_t j = 0; j < log.CharViewLineCount(); ++j) lines.push_back(log.CharViewLine(j));
    return lines;
}

std::vector<uint32_t> Lengths(const RxLog& log, size_t first) {
    std::vector<uint32_t> lengths;
    log.CharViewLineLengths(first, lengths);
    return lengths;
}

std::vector<uint32_t> ViewLengths(const std::vector<std::string>& view, size_t first) {
    std::vector<uint32_t> lengths;
    for (size_t j = first; j < view.size(); ++j) lengths.push_back(static_cast<uint32_t>(view[j].size()));
    return lengths;
}

// The character view of a run of ticks as the rules read, one byte at a time.
std::vector<std::string> ModelCharView(const std::vector<std::string>& ticks) {
    std::vector<std::string> view;
    bool lastWasCr = false;
    for (const std::string& t : ticks) {
        size_t pos = lastWasCr && t[0] == '\n' ? 1 : 0;
        lastWasCr = t.back() == '\r';
        if (pos == t.size()) continue;
        auto lineAt = [&](size_t start) {
            size_t end = start;
            while (end < t.size() && t[end] != '\r' && t[end] != '\n') ++end;
            std::string line = t.substr(start, end - start);
            for (char& ch : line) if (ch == '\0') ch = ' ';
            view.push_back(line);
        };
        lineAt(pos);
        for (; pos < t.size(); ++pos) {
            if (t[pos] != '\r' && t[pos] != '\n') continue;
            if (t[pos] == '\r' && pos + 1 < t.size() && t[pos + 1] == '\n') ++pos;
            if (pos + 1 < t.size()) lineAt(pos + 1);
        }
    }
    return view;
}

}  // namespace

TEST(FormatTick, ThePartsExamples) {
    const struct {
        std::string bytes, hex, chars;
    } cases[] = {
        {std::string("AB\0", 3), "41 42 00 ", "AB "},       // 0 is shown as a space
        {"", "", ""},
        {"\r\n\x01\x1F", "0D 0A 01 1F ", "\r\n\x01\x1F"},   // other control characters unchanged
        {"\xC0\xDF\xE0\xFF", "C0 DF E0 FF ", "\xC0\xDF\xE0\xFF"},  // А Я а я stay 1251 bytes
        {"\x7F\x80\xA8\xB8\xB9", "7F 80 A8 B8 B9 ", "\x7F\x80\xA8\xB8\xB9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hex);
        const traffic::DisplayLines lines = traffic::FormatTick(U(c.bytes), c.bytes.size());
        EXPECT_EQ(lines.hex, c.hex);
        EXPECT_EQ(lines.chars, c.chars);
    }
}

TEST(RxLog, OneLinePerTickWithData) {
    RxLog log;
    EXPECT_EQ(log.LineCount(), 0u);
    Append(log, std::string("AB\0", 3));
    log.AppendTick(nullptr, 0);  // a tick with nothing pending adds no line
    Append(log, "\xC0\xFF");
    ASSERT_EQ(log.LineCount(), 2u);
    EXPECT_EQ(log.TotalBytes(), 5u);
    EXPECT_EQ(log.HexLine(0), "41 42 00 ");
    EXPECT_EQ(log.CharLine(0), "AB ");
    EXPECT_EQ(log.HexLine(1), "C0 FF ");
    EXPECT_EQ(log.CharLine(1), "\xC0\xFF");
    EXPECT_EQ(log.LineBytes(1).size(), 2u);
    EXPECT_EQ(log.LineBytes(1)[0], 0xC0);
}

TEST(RxLog, EachTickKeepsItsTimeUntilCleared) {
    RxLog log;
    log.AppendTick(reinterpret_cast<const uint8_t*>("a"), 1, 1000);
    log.AppendTick(reinterpret_cast<const uint8_t*>("b"), 1, 1714566896789);
    EXPECT_EQ(log.LineTime(0), 1000);
    EXPECT_EQ(log.LineTime(1), 1714566896789);
    log.Clear();
    log.AppendTick(reinterpret_cast<const uint8_t*>("c"), 1, 7);
    ASSERT_EQ(log.LineCount(), 1u);
    EXPECT_EQ(log.LineTime(0), 7);
}

// Clearing empties both views; what arrives afterwards is kept whole.
TEST(RxLog, ClearDuringReception) {
    RxLog log;
    Append(log, "one\r");
    Append(log, "two");
    log.Clear();
    EXPECT_EQ(log.LineCount(), 0u);
    EXPECT_EQ(log.CharViewLineCount(), 0u);
    EXPECT_EQ(log.TotalBytes(), 0u);
    Append(log, "\nthree");  // the CR before the clear joins nothing
    ASSERT_EQ(log.LineCount(), 1u);
    EXPECT_EQ(log.HexLine(0), "0A 74 68 72 65 65 ");
    EXPECT_EQ(CharView(log), (std::vector<std::string>{"", "three"}));
    EXPECT_EQ(log.TotalBytes(), 6u);
}

// The character view breaks at CR LF, LF and CR; ticks still start lines; a line end closing a
// tick opens no empty line; CR at the end of one tick and LF at the start of the next are one
// CR LF. The hexadecimal view keeps every byte, one line per tick.
TEST(RxLog, CharacterViewLineEnds) {
    using Lines = std::vector<std::string>;
    const struct {
        std::vector<std::string> ticks;
        Lines view;
    } cases[] = {
        {{"ab\r\ncd\r\n"}, {"ab", "cd"}},
        {{"ab\r", "\ncd"}, {"ab", "cd"}},
        {{"ab\r", "\n"}, {"ab"}},
        {{"ab", "cd"}, {"ab", "cd"}},
        {{"\r\n"}, {""}},
        {{"\r\n", "\r\n"}, {"", ""}},
        {{"ab\ncd\ref"}, {"ab", "cd", "ef"}},
        {{"a\n\rb"}, {"a", "", "b"}},                // LF CR is two line ends
        {{"a\r\n\r\nb"}, {"a", "", "b"}},
        {{"ab\r", "\r\ncd"}, {"ab", "", "cd"}},
        {{"ab\n", "\ncd"}, {"ab", "", "cd"}},       // only CR then LF joins across ticks
        {{std::string("x\0y\x01", 4)}, {std::string("x y\x01", 4)}},
    };
    for (const auto& c : cases) {
        std::string all;
        for (const auto& t : c.ticks) all += t;
        SCOPED_TRACE(testing::PrintToString(all));
        RxLog log;
        for (const auto& t : c.ticks) Append(log, t);
        EXPECT_EQ(CharView(log), c.view);
        EXPECT_EQ(log.LineCount(), c.ticks.size());
        for (size_t first = 0; first <= c.view.size(); ++first)
            EXPECT_EQ(Lengths(log, first), ViewLengths(c.view, first)) << first;
        std::string hex;
        for (size_t i = 0; i < log.LineCount(); ++i) hex += log.HexLine(i);
        EXPECT_EQ(hex, traffic::FormatTick(U(all), all.size()).hex);
    }
}

// Random ticks thick with line ends, taken in a few at a time as a view syncs: the view's
// lines and their lengths agree with the rules read byte by byte.
TEST(RxLog, CharacterViewAgreesWithTheRulesOnRandomTicks) {
    uint32_t seed = 7;
    auto next = [&seed] { return (seed = seed * 1103515245 + 12345) >> 16; };
    const char alphabet[] = {'a', 'b', '\r', '\n', '\0'};
    for (int round = 0; round < 200; ++round) {
        RxLog log;
        std::vector<std::string> ticks;
        size_t seen = 0;
        std::vector<uint32_t> lengths;
        for (int i = 0, n = 1 + static_cast<int>(next() % 12); i < n; ++i) {
            std::string tick(1 + next() % 9, 'a');
            for (char& ch : tick) ch = alphabet[next() % sizeof alphabet];
            ticks.push_back(tick);
            Append(log, tick);
            log.CharViewLineLengths(seen, lengths);
            seen = log.CharViewLineCount();
        }
        const std::vector<std::string> model = ModelCharView(ticks);
        ASSERT_EQ(CharView(log), model) << round;
        ASSERT_EQ(lengths, ViewLengths(model, 0)) << round;
    }
}

TEST(RxLog, CharacterViewLinesKnowTheirTick) {
    RxLog log;
    Append(log, "a\r\nb");    // tick 0: view lines 0, 1
    Append(log, "c\r");       // tick 1: view line 2
    Append(log, "\n");        // tick 2: none (the LF of the CR LF)
    Append(log, "d\ne\nf");   // tick 3: view lines 3, 4, 5
    ASSERT_EQ(log.CharViewLineCount(), 6u);
    const size_t ticks[] = {0, 0, 1, 3, 3, 3};
    for (size_t j = 0; j < 6; ++j) EXPECT_EQ(log.CharViewLineTick(j), ticks[j]) << j;
    EXPECT_EQ(log.FirstCharViewLine(0), 0u);
    EXPECT_EQ(log.FirstCharViewLine(1), 2u);
    EXPECT_EQ(log.FirstCharViewLine(2), 3u);
    EXPECT_EQ(log.FirstCharViewLine(3), 3u);
    EXPECT_EQ(log.CharViewLine(5), "f");
}

// Many ticks of varying size, across the store's blocks, and one larger than a block: every
// line reads back its own bytes, and the memory held stays close to the bytes received.
TEST(RxLog, ManyTicksReadBackWholeAndCompact) {
    RxLog log;
    std::vector<std::string> sent;
    uint32_t seed = 1;
    for (int i = 0; i < 3000; ++i) {
        const size_t n = 1 + (seed = seed * 1103515245 + 12345) % 6000;
        std::string tick(n, '\0');
        for (char& c : tick) c = char((seed = seed * 1103515245 + 12345) >> 16);
        sent.push_back(tick);
    }
    sent.push_back(std::string(6u << 20, '\x55'));  // larger than the largest block
    uint64_t total = 0;
    for (const auto& t : sent) {
        Append(log, t);
        total += t.size();
    }
    ASSERT_EQ(log.LineCount(), sent.size());
    EXPECT_EQ(log.TotalBytes(), total);
    for (size_t i = 0; i < sent.size(); ++i) {
        const auto bytes = log.LineBytes(i);
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()), sent[i]) << i;
    }
    EXPECT_EQ(log.HexLine(0).size(), 3 * sent[0].size());
    // Random bytes hold a line end in about 1 of 128: a little over 1 byte held per byte.
    EXPECT_LT(log.MemoryBytes(), total + total / 4);

    log.Clear();
    EXPECT_LT(log.MemoryBytes(), 1024u);
}

// Under a budget the oldest ticks leave the store a block at a time: what stays is the newest
// bytes, whole ticks with their times and their character-view lines, within the budget and
// one block; byte numbers stay those since the clear, and search and Locate see only what
// stays.
TEST(RxLog, ABudgetDropsTheOldestTicksAndKeepsTheRestWhole) {
    RxLog log;
    log.SetBudget(size_t{1} << 20);
    std::string all;
    for (int i = 0; i < 4000; ++i) {
        // Ticks of varying length with line ends inside, one CR LF split across two ticks.
        std::string tick = "tick " + std::to_string(i) + std::string(static_cast<size_t>(i % 700), 'x') + "\r\n";
        if (i % 97 == 0) tick += "\r";
        if (i % 97 == 1) tick = "\n" + tick;
        log.AppendTick(U(tick), tick.size(), i);
        all += tick;
        ASSERT_LE(log.HeldBytes(), log.Budget() + (size_t{4} << 20) + (size_t{1} << 20)) << i;
    }
    ASSERT_GT(log.DroppedBytes(), 0u);
    EXPECT_EQ(log.TotalBytes(), all.size());
    std::string kept;
    for (size_t line = 0; line < log.LineCount(); ++line) {
        const auto bytes = log.LineBytes(line);
        kept.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        EXPECT_EQ(log.LineStart(line), log.DroppedBytes() + kept.size() - bytes.size());
        EXPECT_EQ(log.LineTime(line), static_cast<int64_t>(log.DroppedLines() + line));
    }
    EXPECT_EQ(kept, all.substr(static_cast<size_t>(log.DroppedBytes())));
    // Each kept tick's view lines belong to it.
    for (size_t view = 0; view < log.CharViewLineCount(); ++view) {
        const size_t tick = log.CharViewLineTick(view);
        ASSERT_LT(tick, log.LineCount());
        const std::string text = log.CharViewLine(view);
        EXPECT_TRUE(text.empty() || text.rfind("tick ", 0) == 0) << view;  // empty: between CR LF and a CR
    }
    const auto match = traffic::FindNext(log, traffic::TextPattern("tick "), 0);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->begin, log.DroppedBytes() + (log.LineBytes(0)[0] == '\n' ? 1 : 0));
    EXPECT_FALSE(traffic::FindPrevious(log, traffic::TextPattern("tick "), log.DroppedBytes()));
    EXPECT_FALSE(traffic::Locate(log, log.DroppedBytes() - 1));
    EXPECT_TRUE(traffic::Locate(log, log.DroppedBytes()));

    log.Clear();
    EXPECT_EQ(log.DroppedBytes(), 0u);
    EXPECT_EQ(log.Budget(), size_t{1} << 20);  // the budget stays
}
