// The two read-only views of what a port panel received: the hexadecimal view (one line per
// display tick) and the character view (lines broken at line ends), each a list over the
// panel's receive store that formats only the lines on screen. Lines can be selected and
// copied (Ctrl+C or the context menu).
//
// Threads: user-interface thread only.
#pragma once

#include "rxdisplay.h"

#include <QAbstractListModel>

class QListView;

namespace duoterm {

class TRxModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum class View { Hex, Chars };
    TRxModel(const traffic::RxLog& log, View view, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The store has grown or been cleared: shows the new lines.
    void Sync();
    QString LineText(int row) const;

private:
    size_t Lines() const;

    const traffic::RxLog& log_;
    View view_;
    int rows_ = 0;
};

// Makes a list view show a receive model: uniform rows, extended selection, copy, and
// following the newest line while it is scrolled to the end.
void BindRxView(QListView* view, TRxModel* model);

}  // namespace duoterm
