#include "timeline.h"

#include "codepage.h"

#include <algorithm>

namespace duoterm {

namespace {

constexpr uint64_t kTickMask = (uint64_t{1} << 62) - 1;

}  // namespace

TTimeline::TTimeline(std::array<const traffic::RxLog*, 4> stores) : stores_(stores)
{
    for (size_t i = 0; i < stores_.size(); ++i) {
        clears_[i] = stores_[i]->Clears();
        dropped_[i] = stores_[i]->DroppedLines();
    }
}

QString TTimeline::Tag(TimelineSource source)
{
    switch (source) {
    case TimelineSource::Received1: return QStringLiteral("1 приём    ");
    case TimelineSource::Sent1: return QStringLiteral("1 передача ");
    case TimelineSource::Received2: return QStringLiteral("2 приём    ");
    case TimelineSource::Sent2: return QStringLiteral("2 передача ");
    }
    return {};
}

void TTimeline::Stored(TimelineSource source)
{
    Prune();  // a clear before this tick, or a drop it caused
    const traffic::RxLog& store = *stores_[static_cast<size_t>(source)];
    if (store.LineCount() == 0)
        return;
    entries_.push_back(Pack(source, store.DroppedLines() + store.LineCount() - 1));
}

TTimeline::Entry TTimeline::EntryAt(size_t index) const
{
    const uint64_t packed = entries_[index];
    const auto source = static_cast<TimelineSource>(packed >> 62);
    return {source, static_cast<size_t>((packed & kTickMask) - stores_[static_cast<size_t>(source)]->DroppedLines())};
}

bool TTimeline::Prune()
{
    std::array<bool, 4> cleared{}, dropped{};
    bool any = false;
    for (size_t i = 0; i < stores_.size(); ++i) {
        cleared[i] = stores_[i]->Clears() != clears_[i];
        dropped[i] = stores_[i]->DroppedLines() != dropped_[i];
        clears_[i] = stores_[i]->Clears();
        dropped_[i] = stores_[i]->DroppedLines();
        any = any || cleared[i] || dropped[i];
    }
    if (!any)
        return false;
    std::erase_if(entries_, [&](uint64_t packed) {
        const size_t i = static_cast<size_t>(packed >> 62);
        return cleared[i] || (dropped[i] && (packed & kTickMask) < dropped_[i]);
    });
    firstRow_.clear();
    rows_ = 0;
    return true;
}

size_t TTimeline::RowsOf(size_t entry) const
{
    const Entry e = EntryAt(entry);
    const size_t bytes = stores_[static_cast<size_t>(e.source)]->LineBytes(e.line).size();
    return std::max<size_t>(1, (bytes + kRowBytes - 1) / kRowBytes);
}

bool TTimeline::Sync()
{
    const bool kept = !Prune();
    for (size_t entry = firstRow_.size(); entry < entries_.size(); ++entry) {
        firstRow_.push_back(rows_);
        rows_ += RowsOf(entry);
    }
    return kept;
}

size_t TTimeline::EntryOfRow(uint64_t row) const
{
    const auto next = std::upper_bound(firstRow_.begin(), firstRow_.end(), row);
    return static_cast<size_t>(std::max<std::ptrdiff_t>(1, next - firstRow_.begin())) - 1;
}

QString TTimeline::RowText(uint64_t row) const
{
    if (row >= rows_)
        return {};
    const size_t entry = EntryOfRow(row);
    const Entry e = EntryAt(entry);
    const traffic::RxLog& store = *stores_[static_cast<size_t>(e.source)];
    const auto tick = store.LineBytes(e.line);
    const size_t from = std::min(tick.size(), static_cast<size_t>(row - firstRow_[entry]) * kRowBytes);
    const auto bytes = tick.subspan(from, std::min(kRowBytes, tick.size() - from));
    QString text = row == firstRow_[entry] ? TRxModel::TimeText(store.LineTime(e.line)) + Tag(e.source)
                                           : QString(13 + 11, QLatin1Char(' '));
    std::string hex;
    traffic::AppendHex(hex, bytes.data(), bytes.size());
    hex.resize(kRowBytes * 3, ' ');
    // The text column shows control bytes as dots, so that a row stays one row.
    std::string chars(bytes.begin(), bytes.end());
    for (char& c : chars)
        if (static_cast<uint8_t>(c) < 0x20 || c == 0x7F)
            c = '.';
    return text + QString::fromLatin1(hex) + QStringLiteral("| ") + From1251(chars);
}

QString TTimeline::CopyText(uint64_t first, uint64_t last) const
{
    QString text;
    for (uint64_t row = first; row <= last && row < rows_; ++row) {
        if (row != first)
            text += QLatin1Char('\n');
        text += RowText(row);
    }
    return text;
}

}  // namespace duoterm
