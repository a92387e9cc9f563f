// Finding in a panel's receive store from its find dialog: the dialog's text read as
// hexadecimal bytes or as Windows-1251 text, the next or the previous match after the last one
// found (wrapping round at either end of the store), over every byte received since the last
// clear. No widgets: the dialog passes the text in and highlights the match it gets.
//
// Threads: user-interface thread only.
#pragma once

#include "rxsearch.h"

#include <QString>

#include <optional>

namespace duoterm {

inline const QString kFindBadHex = QStringLiteral("Неверная HEX-последовательность");
inline const QString kFindNotFound = QStringLiteral("Не найдено");

class TRxFind {
public:
    enum class Direction { Next, Previous };
    struct Result {
        std::optional<traffic::SearchMatch> match;
        QString message;  // why there is none: a bad hexadecimal text, or nothing found
    };

    // The next (or previous) match of the text; a text or kind other than the last one's
    // starts from the start (or the end) of the store.
    Result Find(const traffic::RxLog& log, const QString& text, bool hex, Direction direction);

private:
    std::optional<traffic::SearchMatch> last_;
    QString lastText_;
    bool lastHex_ = false;
};

}  // namespace duoterm
