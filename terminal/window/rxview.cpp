#include "rxview.h"

#include "porttraffic.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeySequence>
#include <QListView>
#include <QScrollBar>

#include <algorithm>
#include <climits>

namespace duoterm {

TRxModel::TRxModel(const traffic::RxLog& log, View view, QObject* parent)
    : QAbstractListModel(parent), log_(log), view_(view)
{
}

size_t TRxModel::Lines() const
{
    return view_ == View::Hex ? log_.LineCount() : log_.CharViewLineCount();
}

int TRxModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_;
}

QString TRxModel::LineText(int row) const
{
    if (row < 0 || row >= rows_)
        return {};
    const size_t line = static_cast<size_t>(row);
    return view_ == View::Hex ? QString::fromLatin1(log_.HexLine(line))
                              : From1251(log_.CharViewLine(line));
}

QVariant TRxModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    return LineText(index.row());
}

void TRxModel::Sync()
{
    const int lines = static_cast<int>(std::min<size_t>(Lines(), INT_MAX));
    if (lines < rows_) {
        beginResetModel();
        rows_ = lines;
        endResetModel();
    } else if (lines > rows_) {
        beginInsertRows({}, rows_, lines - 1);
        rows_ = lines;
        endInsertRows();
    }
}

void BindRxView(QListView* view, TRxModel* model)
{
    view->setModel(model);
    view->setUniformItemSizes(true);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* copy = new QAction(QStringLiteral("Копировать"), view);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    view->addAction(copy);
    QObject::connect(copy, &QAction::triggered, view, [view, model] {
        QModelIndexList rows = view->selectionModel()->selectedRows();
        std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
        QStringList lines;
        for (const QModelIndex& row : rows)
            lines << model->LineText(row.row());
        QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
    });
    // Follow the newest line while the view is at its end.
    QObject::connect(model, &QAbstractItemModel::rowsAboutToBeInserted, view, [view] {
        QScrollBar* bar = view->verticalScrollBar();
        view->setProperty("followEnd", bar->value() == bar->maximum());
    });
    QObject::connect(model, &QAbstractItemModel::rowsInserted, view, [view] {
        if (view->property("followEnd").toBool())
            view->scrollToBottom();
    });
}

}  // namespace duoterm
