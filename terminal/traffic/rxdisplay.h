// Duoterm's receive display without the widgets: the formatting of one display
// tick's bytes into the hexadecimal and the character line, and RxLog, the compact store
// behind a panel's two read-only views. Plain C++ on Windows-1251 bytes, no Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace traffic {

// One tick's two lines: `hex` has two capital hexadecimal digits and
// one space per byte ("41 42 00 "); `chars` has one Windows-1251 byte per byte, 0 shown as a
// space (0x20) and every other byte, control characters included, unchanged ("AB ").
struct DisplayLines {
    std::string hex;
    std::string chars;
};
DisplayLines FormatTick(const uint8_t* bytes, size_t count);

// The two halves of FormatTick, appending to `out` (for a view that formats part of a line).
void AppendHex(std::string& out, const uint8_t* bytes, size_t count);
void AppendChars(std::string& out, const uint8_t* bytes, size_t count);

// Everything one port's panel has received since its last clear, for its two views.
//
// The hexadecimal view has one line per display tick that found data: line i is
// HexLine(i), LineCount() lines. The character view reads as text does in a Windows text box:
// a tick's bytes are broken into view lines at every line end, CR LF, a lone LF or a lone CR,
// and the line end itself is not shown. A tick still begins a new view line (each tick is one
// line), and a line end that closes a tick's bytes opens no empty line after
// it; a CR that ends one tick and an LF that begins the next are one CR LF, so that LF opens
// no line either. So "ab\r\ncd\r\n" in one tick reads "ab", "cd"; "ab\r" then "\ncd" reads
// "ab", "cd"; "\r\n" alone reads as one empty line. Every byte stays in the hexadecimal view.
//
// Storage: the received bytes once, in blocks of up to 4 MiB (no text of them is kept; a new
// block never copies the old ones, and a block a tick did not fit in gives its unused end
// back), plus 24 bytes per tick (its first byte, its first view line, its time) and 4 per
// character-view line. Lines are formatted on demand.
// A night at 115200 baud (about 400 MB) costs a little over 400 MB. A span returned by
// LineBytes or CharViewLineBytes is valid until the next AppendTick or Clear.
//
// Once its blocks have grown to 4 MiB, a store has its next block made ready on a thread of
// its own, so that the thread using the store does not fault in its pages (one spare block
// more, not counted against the budget; a clear gives it back).
//
// Threads: one thread (the user-interface thread) uses an RxLog; only the spare block is
// handed over between threads, under a lock.
class RxLog {
public:
    RxLog();
    ~RxLog();
    RxLog(const RxLog&) = delete;
    RxLog& operator=(const RxLog&) = delete;

    // Adds one tick's bytes as a new line, received at the given time (milliseconds since the
    // epoch, the wall clock); a tick of no bytes adds nothing (not even an empty line). A tick
    // of 4 GiB or more is taken as several lines of less than 4 GiB each, all of that time.
    void AppendTick(const uint8_t* bytes, size_t count, int64_t timeMs = 0);
    // Empties both views and gives the memory back (the Clear button).
    void Clear();

    // The hexadecimal view: one line per tick.
    size_t LineCount() const { return lineStart_.size(); }
    std::span<const uint8_t> LineBytes(size_t line) const;
    // The number of the tick's first byte among all bytes since the last clear.
    uint64_t LineStart(size_t line) const { return lineStart_[line]; }
    std::string HexLine(size_t line) const;
    // The tick's character line as one display tick shows it (line ends inside it kept as bytes).
    std::string CharLine(size_t line) const;
    // The time the tick was received at (as given to AppendTick).
    int64_t LineTime(size_t line) const { return lineTime_[line]; }

    // The character view: lines broken at CR LF, LF and CR as described above.
    size_t CharViewLineCount() const { return viewStart_.size(); }
    std::string CharViewLine(size_t viewLine) const;
    // The view line's bytes without its line end (0 not yet shown as a space).
    std::span<const uint8_t> CharViewLineBytes(size_t viewLine) const;
    // The lengths of view lines `first` to the last (each CharViewLineBytes(line).size()),
    // appended to `out`: what a view needs when the store has grown, at a fraction of the cost
    // of asking line by line.
    void CharViewLineLengths(size_t first, std::vector<uint32_t>& out) const;
    // The tick (hexadecimal view line) a character view line belongs to.
    size_t CharViewLineTick(size_t viewLine) const;
    // The first character view line of a tick (CharViewLineCount() when the tick has none:
    // a tick that is only the LF of a CR LF begun in the tick before).
    size_t FirstCharViewLine(size_t line) const { return FirstView(line); }

    // The bytes received since the last clear, and the memory held for them.
    uint64_t TotalBytes() const { return total_; }
    size_t MemoryBytes() const;

    // A budget for the memory the store holds (0: none, the default). Past it the oldest
    // ticks leave the store, a block at a time (so it holds at most the budget and one block
    // more), never the block being filled. Byte numbers stay those since the last clear: the
    // first kept tick starts at DroppedBytes(), and lines are numbered from the first kept
    // one (DroppedLines() and DroppedCharViewLines() ticks and view lines have gone before).
    void SetBudget(size_t bytes);
    size_t Budget() const { return budget_; }
    // What the budget counts: the blocks' bytes and 24 bytes a tick and 4 a view line.
    size_t HeldBytes() const;
    uint64_t DroppedBytes() const { return droppedBytes_; }
    uint64_t DroppedLines() const { return droppedLines_; }
    uint64_t DroppedCharViewLines() const { return droppedViewLines_; }
    // Counts the clears, so that a view can tell a clear from a drop.
    uint64_t Clears() const { return clears_; }

private:
    struct Block;
    class Spare;
    void AppendLine(const uint8_t* bytes, size_t count);
    uint8_t* Reserve(size_t count);
    const uint8_t* LineData(size_t line) const;

    std::vector<std::unique_ptr<Block>> blocks_;
    std::unique_ptr<Spare> spare_;  // the next full-size block, made ready on a thread of its own
    std::vector<uint64_t> blockBase_;      // the first byte number of each block
    std::deque<uint64_t> lineStart_;      // the first byte number of each tick
    // The first character view line of each tick, counted since the last clear (the view
    // lines dropped included).
    std::deque<uint64_t> lineFirstView_;
    size_t FirstView(size_t line) const { return static_cast<size_t>(lineFirstView_[line] - droppedViewLines_); }
    std::deque<uint32_t> viewStart_;      // each view line's start within its tick
    std::deque<int64_t> lineTime_;        // each tick's receive time, ms since the epoch
    void Trim();

    uint64_t total_ = 0;
    bool lastWasCr_ = false;
    size_t budget_ = 0;
    uint64_t droppedBytes_ = 0, droppedLines_ = 0, droppedViewLines_ = 0, clears_ = 0;
};

}  // namespace traffic
