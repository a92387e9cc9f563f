// Duoterm's receive display without the widgets: tick formatting and the compact store of
// received bytes with its hexadecimal and character views.
#include "rxdisplay.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <thread>

namespace traffic {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";
constexpr size_t kFirstBlock = size_t{64} << 10;  // blocks grow by doubling from 64 KiB...
constexpr size_t kLargestBlock = size_t{4} << 20;  // ...to 4 MiB (or one tick, if larger)
constexpr size_t kLargestLine = std::numeric_limits<uint32_t>::max();

// Finds the line ends (CR or LF) of a span from left to right. The next CR and the next LF
// are each looked for with memchr, which scans many bytes at a time, and kept until passed,
// so a span is scanned about once for each; a byte-by-byte scan held the window's thread for
// tens of milliseconds on a tick of a few megabytes.
class LineEnds {
public:
    LineEnds(const uint8_t* from, const uint8_t* end) : end_(end), cr_(Find(from, '\r')), lf_(Find(from, '\n')) {}
    // The first line end at or after `from` (the span's end when there is none).
    const uint8_t* Next(const uint8_t* from) {
        if (cr_ < from) cr_ = Find(from, '\r');
        if (lf_ < from) lf_ = Find(from, '\n');
        return std::min(cr_, lf_);
    }

private:
    const uint8_t* Find(const uint8_t* from, int byte) const {
        const void* at = from < end_ ? std::memchr(from, byte, static_cast<size_t>(end_ - from)) : nullptr;
        return at ? static_cast<const uint8_t*>(at) : end_;
    }
    const uint8_t* end_;
    const uint8_t* cr_;
    const uint8_t* lf_;
};

// The first line end of one line: the CR is looked for only up to the first LF, so a line in
// the middle of a long tick is scanned no further than its own end.
const uint8_t* FirstLineEnd(const uint8_t* from, const uint8_t* end) {
    const void* lf = from < end ? std::memchr(from, '\n', static_cast<size_t>(end - from)) : nullptr;
    const uint8_t* limit = lf ? static_cast<const uint8_t*>(lf) : end;
    const void* cr = from < limit ? std::memchr(from, '\r', static_cast<size_t>(limit - from)) : nullptr;
    return cr ? static_cast<const uint8_t*>(cr) : limit;
}

}  // namespace

void AppendHex(std::string& out, const uint8_t* bytes, size_t count) {
    const size_t at = out.size();
    out.resize(at + 3 * count);
    char* p = out.data() + at;
    for (size_t i = 0; i < count; ++i) {
        *p++ = kDigits[bytes[i] >> 4];
        *p++ = kDigits[bytes[i] & 0x0F];
        *p++ = ' ';
    }
}

void AppendChars(std::string& out, const uint8_t* bytes, size_t count) {
    const size_t at = out.size();
    out.resize(at + count);
    char* p = out.data() + at;
    for (size_t i = 0; i < count; ++i) p[i] = bytes[i] == 0 ? ' ' : static_cast<char>(bytes[i]);
}

DisplayLines FormatTick(const uint8_t* bytes, size_t count) {
    DisplayLines lines;
    AppendHex(lines.hex, bytes, count);
    AppendChars(lines.chars, bytes, count);
    return lines;
}

// A block of received bytes, from malloc so that a block left partly empty can be shrunk.
struct RxLog::Block {
    struct Free {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<uint8_t, Free> data;
    size_t capacity = 0;
    size_t used = 0;

    explicit Block(size_t size) : data(static_cast<uint8_t*>(std::malloc(size))), capacity(size) {
        if (!data) throw std::bad_alloc();
    }
    // Gives back the unused end (when a tick does not fit and the next block begins).
    void ShrinkToUsed() {
        if (used == 0 || used == capacity) return;
        if (auto* shrunk = static_cast<uint8_t*>(std::realloc(data.get(), used))) {
            (void)data.release();
            data.reset(shrunk);
            capacity = used;
        }
    }
};

// Prepares the store's next full-size block on a thread of its own, its pages written once:
// the first write to each page of a new block faults it in, and on a busy machine (a virtual
// machine's host backs each new page) that held the window's thread for tens of milliseconds
// a block in a flood. At most one block waits ready.
class RxLog::Spare {
public:
    Spare() : thread_([this] { Run(); }) {}
    ~Spare()
    {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    Spare(const Spare&) = delete;
    Spare& operator=(const Spare&) = delete;

    // The ready block (null when there is none yet); the next one is prepared meanwhile.
    std::unique_ptr<Block> Take()
    {
        std::unique_ptr<Block> block;
        {
            const std::lock_guard lock(mutex_);
            block = std::move(ready_);
            wanted_ = true;
        }
        wake_.notify_one();
        return block;
    }

private:
    void Run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stop_ || wanted_; });
            if (stop_)
                return;
            wanted_ = false;
            lock.unlock();
            std::unique_ptr<Block> block;
            try {
                block = std::make_unique<Block>(kLargestBlock);
                volatile uint8_t* page = block->data.get();
                for (size_t at = 0; at < kLargestBlock; at += 4096)
                    page[at] = 0;
            } catch (const std::bad_alloc&) {
                block.reset();  // the store allocates its block itself, as without a spare
            }
            lock.lock();
            ready_ = std::move(block);
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::unique_ptr<Block> ready_;
    bool wanted_ = false;
    bool stop_ = false;
    std::thread thread_;
};

RxLog::RxLog() = default;
RxLog::~RxLog() = default;

void RxLog::AppendTick(const uint8_t* bytes, size_t count, int64_t timeMs) {
    while (count > 0) {
        const size_t n = std::min(count, kLargestLine);
        lineTime_.push_back(timeMs);
        AppendLine(bytes, n);
        bytes += n;
        count -= n;
    }
    Trim();
}

void RxLog::SetBudget(size_t bytes) {
    budget_ = bytes;
    Trim();
}

size_t RxLog::HeldBytes() const {
    size_t bytes = lineStart_.size() * 24 + viewStart_.size() * 4;
    for (const auto& block : blocks_) bytes += block->capacity;
    return bytes;
}

void RxLog::Trim() {
    if (budget_ == 0) return;
    size_t held = HeldBytes();
    // The oldest blocks go while the store is past its budget; a tick lies in one block, so
    // the ticks that go are those that start before the first block kept.
    size_t blocks = 0, lines = 0;
    while (held > budget_ && blocks + 1 < blocks_.size()) {
        const uint64_t next = blockBase_[blocks + 1];
        const size_t endLine = static_cast<size_t>(
            std::lower_bound(lineStart_.begin() + static_cast<std::ptrdiff_t>(lines), lineStart_.end(), next) -
            lineStart_.begin());
        const size_t endView = endLine < lineFirstView_.size() ? FirstView(endLine) : viewStart_.size();
        const size_t firstView = lines < lineFirstView_.size() ? FirstView(lines) : viewStart_.size();
        held -= blocks_[blocks]->capacity + (endLine - lines) * 24 + (endView - firstView) * 4;
        lines = endLine;
        ++blocks;
    }
    if (blocks == 0) return;
    const size_t views = lines < lineFirstView_.size() ? FirstView(lines) : viewStart_.size();
    droppedBytes_ = blockBase_[blocks];
    droppedLines_ += lines;
    droppedViewLines_ += views;
    const auto lineCut = static_cast<std::ptrdiff_t>(lines);
    blocks_.erase(blocks_.begin(), blocks_.begin() + static_cast<std::ptrdiff_t>(blocks));
    blockBase_.erase(blockBase_.begin(), blockBase_.begin() + static_cast<std::ptrdiff_t>(blocks));
    lineStart_.erase(lineStart_.begin(), lineStart_.begin() + lineCut);
    lineTime_.erase(lineTime_.begin(), lineTime_.begin() + lineCut);
    // The ticks kept keep their first view lines' numbers: DroppedCharViewLines() is the base
    // they are counted from, so a drop does not rewrite every tick's.
    lineFirstView_.erase(lineFirstView_.begin(), lineFirstView_.begin() + lineCut);
    viewStart_.erase(viewStart_.begin(), viewStart_.begin() + static_cast<std::ptrdiff_t>(views));
}

// A tick's bytes lie in one block, so a line is one span; a tick that does not fit in what
// is left of the last block starts the next one, and the last block gives its rest back.
uint8_t* RxLog::Reserve(size_t count) {
    if (blocks_.empty() || blocks_.back()->capacity - blocks_.back()->used < count) {
        const size_t grown = blocks_.empty() ? kFirstBlock : std::min(blocks_.back()->capacity * 2, kLargestBlock);
        std::unique_ptr<Block> block;
        if (grown == kLargestBlock && count <= kLargestBlock) {
            // Only a store that has grown to full-size blocks has a spare (and its thread).
            if (!spare_)
                spare_ = std::make_unique<Spare>();
            block = spare_->Take();
        }
        if (!block)
            block = std::make_unique<Block>(std::max(grown, count));
        if (!blocks_.empty()) blocks_.back()->ShrinkToUsed();
        blockBase_.push_back(total_);
        blocks_.push_back(std::move(block));
    }
    Block& block = *blocks_.back();
    uint8_t* at = block.data.get() + block.used;
    block.used += count;
    return at;
}

void RxLog::AppendLine(const uint8_t* bytes, size_t count) {
    std::memcpy(Reserve(count), bytes, count);
    lineStart_.push_back(total_);
    lineFirstView_.push_back(droppedViewLines_ + viewStart_.size());
    total_ += count;

    // The character view's lines of this tick: one at its start (unless it starts with the LF
    // of a CR LF begun in the tick before) and one after every line end that has bytes after
    // it within the tick.
    const size_t first = lastWasCr_ && bytes[0] == '\n' ? 1 : 0;
    lastWasCr_ = bytes[count - 1] == '\r';
    if (first == count) return;
    viewStart_.push_back(static_cast<uint32_t>(first));
    const uint8_t* const end = bytes + count;
    LineEnds ends(bytes + first, end);
    for (const uint8_t* at = ends.Next(bytes + first); at < end; at = ends.Next(at)) {
        if (*at == '\r' && at + 1 < end && at[1] == '\n') ++at;
        ++at;
        if (at < end) viewStart_.push_back(static_cast<uint32_t>(at - bytes));
    }
}

void RxLog::Clear() {
    // Swapping with empty vectors gives their memory back too, and the spare block goes.
    spare_.reset();
    std::vector<std::unique_ptr<Block>>().swap(blocks_);
    std::vector<uint64_t>().swap(blockBase_);
    std::deque<uint64_t>().swap(lineStart_);
    std::deque<uint64_t>().swap(lineFirstView_);
    std::deque<uint32_t>().swap(viewStart_);
    std::deque<int64_t>().swap(lineTime_);
    total_ = 0;
    droppedBytes_ = droppedLines_ = droppedViewLines_ = 0;
    ++clears_;
    lastWasCr_ = false;
}

const uint8_t* RxLog::LineData(size_t line) const {
    const uint64_t start = lineStart_[line];
    const size_t block = static_cast<size_t>(std::upper_bound(blockBase_.begin(), blockBase_.end(), start) -
                                             blockBase_.begin()) - 1;
    return blocks_[block]->data.get() + (start - blockBase_[block]);
}

std::span<const uint8_t> RxLog::LineBytes(size_t line) const {
    const uint64_t end = line + 1 < lineStart_.size() ? lineStart_[line + 1] : total_;
    return {LineData(line), static_cast<size_t>(end - lineStart_[line])};
}

std::string RxLog::HexLine(size_t line) const {
    const std::span<const uint8_t> bytes = LineBytes(line);
    std::string out;
    AppendHex(out, bytes.data(), bytes.size());
    return out;
}

std::string RxLog::CharLine(size_t line) const {
    const std::span<const uint8_t> bytes = LineBytes(line);
    std::string out;
    AppendChars(out, bytes.data(), bytes.size());
    return out;
}

size_t RxLog::CharViewLineTick(size_t viewLine) const {
    const auto next = std::upper_bound(lineFirstView_.begin(), lineFirstView_.end(), droppedViewLines_ + viewLine);
    return static_cast<size_t>(next - lineFirstView_.begin()) - 1;
}

std::span<const uint8_t> RxLog::CharViewLineBytes(size_t viewLine) const {
    const std::span<const uint8_t> tick = LineBytes(CharViewLineTick(viewLine));
    const size_t start = viewStart_[viewLine];
    const uint8_t* from = tick.data() + start;
    return tick.subspan(start, static_cast<size_t>(FirstLineEnd(from, tick.data() + tick.size()) - from));
}

void RxLog::CharViewLineLengths(size_t first, std::vector<uint32_t>& out) const {
    if (first >= viewStart_.size()) return;
    // A view line that is not its tick's last ends at the line end just before the next one's
    // start, so its length needs no scan; only each tick's last line is looked through.
    for (size_t tick = CharViewLineTick(first), view = first; view < viewStart_.size(); ++tick) {
        const size_t tickEnd = tick + 1 < lineFirstView_.size() ? FirstView(tick + 1) : viewStart_.size();
        if (view >= tickEnd) continue;  // a tick with no view line of its own
        const std::span<const uint8_t> bytes = LineBytes(tick);
        for (; view + 1 < tickEnd; ++view) {
            const uint32_t start = viewStart_[view], next = viewStart_[view + 1];
            const bool crLf = next - start >= 2 && bytes[next - 1] == '\n' && bytes[next - 2] == '\r';
            out.push_back(next - start - (crLf ? 2 : 1));
        }
        const uint8_t* from = bytes.data() + viewStart_[view];
        out.push_back(static_cast<uint32_t>(FirstLineEnd(from, bytes.data() + bytes.size()) - from));
        ++view;
    }
}

std::string RxLog::CharViewLine(size_t viewLine) const {
    const std::span<const uint8_t> bytes = CharViewLineBytes(viewLine);
    std::string out;
    AppendChars(out, bytes.data(), bytes.size());
    return out;
}

size_t RxLog::MemoryBytes() const {
    size_t bytes = sizeof(*this);
    for (const auto& block : blocks_) bytes += sizeof(Block) + block->capacity;
    bytes += blocks_.capacity() * sizeof(blocks_[0]) + blockBase_.capacity() * sizeof(uint64_t) +
             lineStart_.size() * sizeof(uint64_t) + lineFirstView_.size() * sizeof(uint64_t) +
             viewStart_.size() * sizeof(uint32_t) + lineTime_.size() * sizeof(int64_t);
    return bytes;
}

}  // namespace traffic
