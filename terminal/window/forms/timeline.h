// The timeline of both ports: every tick received and sent on port 1 and port 2 in the order
// the window stored them, each tagged with its port and direction, as rows of a view. It keeps
// no bytes: each entry names a tick of one of the four stores (the panels' receive stores and
// the ports' sent stores), and the rows are formatted from the stores on demand; ticks a store
// dropped under its budget, or lost to its clear, leave the timeline too.
//
// Threads: user-interface thread only.
#pragma once

#include "rxview.h"

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

namespace duoterm {

enum class TimelineSource : uint8_t { Received1, Sent1, Received2, Sent2 };

class TTimeline : public TRowModel {
public:
    // Bytes a row shows; a longer tick wraps onto further rows.
    static constexpr size_t kRowBytes = 16;

    // The stores in TimelineSource order.
    explicit TTimeline(std::array<const traffic::RxLog*, 4> stores);

    // A tick was stored: the newest line of that store.
    void Stored(TimelineSource source);

    uint64_t RowCount() const override { return rows_; }
    QString RowText(uint64_t row) const override;
    QString CopyText(uint64_t first, uint64_t last) const override;
    bool Sync() override;

    // The entries kept, oldest first: which store, and the tick's line there.
    struct Entry {
        TimelineSource source;
        size_t line;
    };
    size_t EntryCount() const { return entries_.size(); }
    Entry EntryAt(size_t index) const;
    // The port and direction tag of a source ("1 приём", "1 передача", ...).
    static QString Tag(TimelineSource source);

private:
    // Entries hold the source in the top two bits and the tick's number since the store's
    // last clear below.
    static uint64_t Pack(TimelineSource source, uint64_t tick) { return uint64_t(source) << 62 | tick; }
    // Drops the entries of ticks a store no longer has; true when any went.
    bool Prune();
    size_t EntryOfRow(uint64_t row) const;
    size_t RowsOf(size_t entry) const;

    std::array<const traffic::RxLog*, 4> stores_;
    std::array<uint64_t, 4> clears_{};
    std::array<uint64_t, 4> dropped_{};
    std::deque<uint64_t> entries_;
    std::deque<uint64_t> firstRow_;  // of the entries laid out so far
    uint64_t rows_ = 0;
};

}  // namespace duoterm
