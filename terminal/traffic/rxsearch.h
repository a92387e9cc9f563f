// Search in a port's receive store (RxLog): a byte sequence, given as hexadecimal digits or as
// Windows-1251 text, found forward or backward from a position over every byte received since
// the last clear, a match may run across any number of display ticks. A match is a range of
// byte numbers (the numbering of RxLog::LineStart), which Locate turns into the tick line and
// column of the hexadecimal view and the line and column of the character view for
// highlighting. Plain C++, no Qt.
//
// Threads: the thread that owns the RxLog (the user-interface thread).
#pragma once

#include "rxdisplay.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace traffic {

// The bytes of a hexadecimal search text: pairs of digits (0-9, A-F, a-f), spaces anywhere.
// Nothing for an empty text, an odd number of digits or any other character.
std::optional<std::vector<uint8_t>> ParseHexPattern(std::string_view text);

struct SearchPattern {
    std::vector<uint8_t> bytes;
    // Text search: a space in the pattern also matches a 0 byte, which the character view
    // shows as a space. Off for a hexadecimal pattern, whose bytes are exact.
    bool spaceMatchesZero = false;
};
SearchPattern HexPattern(std::vector<uint8_t> bytes);
SearchPattern TextPattern(std::string_view windows1251);

// A match: byte numbers [begin, end).
struct SearchMatch {
    uint64_t begin = 0, end = 0;
    bool operator==(const SearchMatch&) const = default;
};

// The first match that begins at or after `from`; nothing when there is none or the pattern
// is empty. For the next match after one found, search from its begin + 1.
std::optional<SearchMatch> FindNext(const RxLog& log, const SearchPattern& pattern, uint64_t from);
// The last match that begins before `before` (pass TotalBytes() to start from the end, or a
// match's begin for the one before it).
std::optional<SearchMatch> FindPrevious(const RxLog& log, const SearchPattern& pattern, uint64_t before);

// Where a byte number lies in the two views: its tick (hexadecimal view line) and column there
// (the byte's index in the tick: its digits start at 3 * column), and its character view line
// and column. A byte of a line end lies at the end of the view line it ends (column = that
// line's length); a byte number past the last, or one that left the store under its budget,
// gives nothing.
struct ByteLocation {
    size_t tick = 0, tickColumn = 0;
    size_t viewLine = 0, viewColumn = 0;
};
std::optional<ByteLocation> Locate(const RxLog& log, uint64_t byte);

}  // namespace traffic
