#include "rxfind.h"

#include "codepage.h"

namespace duoterm {

TRxFind::Result TRxFind::Find(const traffic::RxLog& log, const QString& text, bool hex, Direction direction)
{
    traffic::SearchPattern pattern;
    if (hex) {
        std::string bytes;
        To1251(text, bytes);
        const auto parsed = traffic::ParseHexPattern(bytes);
        if (!parsed) {
            last_.reset();
            return {std::nullopt, kFindBadHex};
        }
        pattern = traffic::HexPattern(*parsed);
    } else {
        std::string bytes;
        To1251(text, bytes);
        pattern = traffic::TextPattern(bytes);
    }
    if (text != lastText_ || hex != lastHex_ || (last_ && last_->end > log.TotalBytes()))
        last_.reset();  // another search, or the store was cleared since
    lastText_ = text;
    lastHex_ = hex;

    std::optional<traffic::SearchMatch> match;
    if (direction == Direction::Next) {
        match = traffic::FindNext(log, pattern, last_ ? last_->begin + 1 : 0);
        if (!match && last_)
            match = traffic::FindNext(log, pattern, 0);
    } else {
        match = traffic::FindPrevious(log, pattern, last_ ? last_->begin : log.TotalBytes());
        if (!match && last_)
            match = traffic::FindPrevious(log, pattern, log.TotalBytes());
    }
    last_ = match;
    if (!match)
        return {std::nullopt, kFindNotFound};
    return {match, {}};
}

}  // namespace duoterm
