// Search in the receive store: a candidate at each position whose byte matches the pattern's
// first, checked byte by byte on into the following ticks.
#include "rxsearch.h"

#include <algorithm>
#include <cstring>

namespace traffic {

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

class Matcher {
public:
    Matcher(const RxLog& log, const SearchPattern& pattern) : log_(log), pattern_(pattern) {}

    bool Same(uint8_t received, uint8_t wanted) const
    {
        return received == wanted || (pattern_.spaceMatchesZero && wanted == ' ' && received == 0);
    }

    // True when the pattern's bytes begin at `pos` of tick `line`, running on into the ticks
    // after it as far as needed.
    bool MatchesAt(size_t line, size_t pos) const
    {
        const std::vector<uint8_t>& want = pattern_.bytes;
        size_t i = 0;
        for (; line < log_.LineCount(); ++line, pos = 0) {
            const std::span<const uint8_t> bytes = log_.LineBytes(line);
            for (; pos < bytes.size(); ++pos, ++i) {
                if (i == want.size())
                    return true;
                if (!Same(bytes[pos], want[i]))
                    return false;
            }
            if (i == want.size())
                return true;
        }
        return false;
    }

    // The tick that holds byte number `byte` (< TotalBytes()).
    size_t TickOf(uint64_t byte) const
    {
        size_t low = 0, high = log_.LineCount();  // LineStart(low) <= byte < LineStart(high)
        while (high - low > 1) {
            const size_t mid = low + (high - low) / 2;
            (log_.LineStart(mid) <= byte ? low : high) = mid;
        }
        return low;
    }

    // Where in a tick a candidate may start: the first byte, or a byte equal to it.
    const uint8_t* NextCandidate(const uint8_t* at, const uint8_t* end) const
    {
        const uint8_t first = pattern_.bytes[0];
        if (pattern_.spaceMatchesZero && first == ' ')
            return std::find_if(at, end, [](uint8_t b) { return b == ' ' || b == 0; });
        const void* found = std::memchr(at, first, static_cast<size_t>(end - at));
        return found ? static_cast<const uint8_t*>(found) : end;
    }

    SearchMatch Match(size_t line, size_t pos) const
    {
        const uint64_t begin = log_.LineStart(line) + pos;
        return {begin, begin + pattern_.bytes.size()};
    }

private:
    const RxLog& log_;
    const SearchPattern& pattern_;
};

}  // namespace

std::optional<std::vector<uint8_t>> ParseHexPattern(std::string_view text)
{
    std::vector<uint8_t> bytes;
    int high = -1;
    for (char c : text) {
        if (c == ' ')
            continue;
        const int digit = HexValue(c);
        if (digit < 0)
            return std::nullopt;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0 || bytes.empty())
        return std::nullopt;
    return bytes;
}

SearchPattern HexPattern(std::vector<uint8_t> bytes)
{
    return {std::move(bytes), false};
}

SearchPattern TextPattern(std::string_view windows1251)
{
    return {std::vector<uint8_t>(windows1251.begin(), windows1251.end()), true};
}

std::optional<SearchMatch> FindNext(const RxLog& log, const SearchPattern& pattern, uint64_t from)
{
    if (pattern.bytes.empty() || from >= log.TotalBytes())
        return std::nullopt;
    const Matcher matcher(log, pattern);
    for (size_t line = matcher.TickOf(from); line < log.LineCount(); ++line) {
        const std::span<const uint8_t> bytes = log.LineBytes(line);
        const uint8_t* end = bytes.data() + bytes.size();
        const uint8_t* at = bytes.data() + (log.LineStart(line) < from ? from - log.LineStart(line) : 0);
        for (at = matcher.NextCandidate(at, end); at < end; at = matcher.NextCandidate(at + 1, end)) {
            const size_t pos = static_cast<size_t>(at - bytes.data());
            if (matcher.MatchesAt(line, pos))
                return matcher.Match(line, pos);
        }
    }
    return std::nullopt;
}

std::optional<SearchMatch> FindPrevious(const RxLog& log, const SearchPattern& pattern, uint64_t before)
{
    before = std::min(before, log.TotalBytes());
    if (pattern.bytes.empty() || before <= log.DroppedBytes())
        return std::nullopt;
    const Matcher matcher(log, pattern);
    for (size_t line = matcher.TickOf(before - 1) + 1; line-- > 0;) {
        const std::span<const uint8_t> bytes = log.LineBytes(line);
        size_t pos = static_cast<size_t>(std::min<uint64_t>(before - log.LineStart(line), bytes.size()));
        while (pos-- > 0) {
            if (matcher.Same(bytes[pos], pattern.bytes[0]) && matcher.MatchesAt(line, pos))
                return matcher.Match(line, pos);
        }
    }
    return std::nullopt;
}

std::optional<ByteLocation> Locate(const RxLog& log, uint64_t byte)
{
    if (byte >= log.TotalBytes() || byte < log.DroppedBytes())
        return std::nullopt;
    const SearchPattern none;
    ByteLocation where;
    where.tick = Matcher(log, none).TickOf(byte);
    where.tickColumn = static_cast<size_t>(byte - log.LineStart(where.tick));

    const std::span<const uint8_t> tick = log.LineBytes(where.tick);
    const size_t first = log.FirstCharViewLine(where.tick);
    const size_t end = where.tick + 1 < log.LineCount() ? log.FirstCharViewLine(where.tick + 1) : log.CharViewLineCount();
    auto startOf = [&](size_t viewLine) {
        return static_cast<size_t>(log.CharViewLineBytes(viewLine).data() - tick.data());
    };
    // The tick's last view line that starts at or before the byte; none when the byte comes
    // before the tick's first view line (the LF of a CR LF begun in the tick before).
    size_t low = first, high = end;
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        (startOf(mid) <= where.tickColumn ? low = mid + 1 : high = mid);
    }
    if (low == first) {
        if (first == 0)
            return where;  // (cannot happen: a tick's first byte begins or continues a view line)
        where.viewLine = first - 1;
        where.viewColumn = log.CharViewLineBytes(first - 1).size();
        return where;
    }
    where.viewLine = low - 1;
    where.viewColumn = std::min(where.tickColumn - startOf(low - 1), log.CharViewLineBytes(low - 1).size());
    return where;
}

}  // namespace traffic
