#include "rxview.h"

#include "porttraffic.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QKeySequence>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <climits>

namespace duoterm {

TRxModel::TRxModel(const traffic::RxLog& log, View view)
    : log_(log), view_(view),
      rowWidth_(view == View::Hex ? kHexRowBytes : kCharRowChars)
{
}

size_t TRxModel::Lines() const
{
    return view_ == View::Hex ? log_.LineCount() : log_.CharViewLineCount();
}

size_t TRxModel::LineLength(size_t line) const
{
    return view_ == View::Hex ? log_.LineBytes(line).size() : log_.CharViewLineBytes(line).size();
}

size_t TRxModel::RowsOf(size_t line) const
{
    return RowsFor(LineLength(line));
}

size_t TRxModel::RowsFor(size_t length) const
{
    return std::max<size_t>(1, (length + rowWidth_ - 1) / rowWidth_);
}

size_t TRxModel::LineOfRow(uint64_t row) const
{
    // The dropped-bytes row counts as the first line's.
    row = row >= Header() ? row - Header() : 0;
    const auto next = std::upper_bound(firstRow_.begin(), firstRow_.end(), row + rowBase_);
    return static_cast<size_t>(std::max<std::ptrdiff_t>(1, next - firstRow_.begin())) - 1;
}

QString TRxModel::LineText(size_t line, size_t from, size_t count) const
{
    if (view_ == View::Hex) {
        const auto bytes = log_.LineBytes(line).subspan(from, count);
        std::string text;
        traffic::AppendHex(text, bytes.data(), bytes.size());
        return QString::fromLatin1(text);
    }
    const auto bytes = log_.CharViewLineBytes(line).subspan(from, count);
    std::string text;
    traffic::AppendChars(text, bytes.data(), bytes.size());
    return From1251(text);
}

uint64_t TRxModel::RowOf(size_t line, size_t column) const
{
    if (line >= lines_)
        return RowCount() == 0 ? 0 : RowCount() - 1;
    return Header() + FirstRow(line) + std::min<uint64_t>(column / rowWidth_, RowsOf(line) - 1);
}

QString TRxModel::DroppedText(uint64_t bytes)
{
    return QStringLiteral("[из окна удалено %1 байт]").arg(bytes);
}

uint64_t TRxModel::Dropped() const
{
    return view_ == View::Hex ? log_.DroppedLines() : log_.DroppedCharViewLines();
}

void TRxModel::Reset()
{
    lines_ = 0;
    rows_ = 0;
    rowBase_ = 0;
    firstRow_.clear();
    firstRow_.shrink_to_fit();
    clears_ = log_.Clears();
    dropped_ = Dropped();
}

void TRxModel::SetShowTime(bool on)
{
    if (on == showTime_)
        return;
    showTime_ = on;
    if (view_ == View::Hex)
        rowWidth_ = on ? kHexRowBytesTimed : kHexRowBytes;
    else
        rowWidth_ = on ? kCharRowCharsTimed : kCharRowChars;
    // The rows are laid out again for the new width.
    Reset();
    Sync();
}

QString TRxModel::TimeText(int64_t timeMs)
{
    return QDateTime::fromMSecsSinceEpoch(timeMs).toString(QStringLiteral("hh:mm:ss.zzz "));
}

int64_t TRxModel::LineTime(size_t line) const
{
    return log_.LineTime(view_ == View::Hex ? line : log_.CharViewLineTick(line));
}

QString TRxModel::RowText(uint64_t row) const
{
    if (Header() && row == 0)
        return DroppedText(log_.DroppedBytes());
    row -= Header();
    if (!showTime_ || row >= rows_)
        return RowBody(row);
    const size_t line = LineOfRow(row + Header());
    if (row == FirstRow(line))
        return TimeText(LineTime(line)) + RowBody(row);
    return QString(13, QLatin1Char(' ')) + RowBody(row);
}

QString TRxModel::RowBody(uint64_t row) const
{
    if (row >= rows_)
        return {};
    const size_t line = LineOfRow(row + Header());
    const size_t from = static_cast<size_t>(row - FirstRow(line)) * rowWidth_;
    const size_t length = LineLength(line);
    return LineText(line, std::min(from, length), std::min(rowWidth_, length - std::min(from, length)));
}

QString TRxModel::CopyText(uint64_t first, uint64_t last) const
{
    // The dropped-bytes row is no data: it is left out of a copy.
    if (first < Header())
        first = Header();
    if (rows_ == 0 || first > last || first >= RowCount())
        return {};
    last = std::min(last, RowCount() - 1);
    // Exactly the rows selected: the rows of one wrapped line join up again, and the lines
    // are one a line.
    QString text;
    size_t line = LineOfRow(first);
    for (uint64_t row = first; row <= last; ++row) {
        const size_t rowLine = LineOfRow(row);
        if (rowLine != line) {
            text += QLatin1Char('\n');
            line = rowLine;
        }
        // The time once per line, where its first row is among those copied.
        if (showTime_ && row - Header() == FirstRow(rowLine))
            text += TimeText(LineTime(rowLine));
        text += RowBody(row - Header());
    }
    return text;
}

bool TRxModel::Sync()
{
    bool kept = true;
    if (log_.Clears() != clears_) {
        Reset();
        kept = false;
    } else if (const uint64_t dropped = Dropped(); dropped != dropped_) {
        // The store dropped its oldest lines: their rows go, the others move up.
        const size_t gone = static_cast<size_t>(std::min<uint64_t>(dropped - dropped_, lines_));
        // The rows kept move up by moving the base their first rows are counted from: a
        // store of millions of lines drops a block every few tens of milliseconds in a flood,
        // and rewriting every line's first row each time held the window for over 100 ms.
        const uint64_t rowsGone = gone < lines_ ? FirstRow(gone) : rows_;
        firstRow_.erase(firstRow_.begin(), firstRow_.begin() + static_cast<std::ptrdiff_t>(gone));
        rowBase_ += rowsGone;
        rows_ -= rowsGone;
        lines_ -= gone;
        dropped_ = dropped;
        kept = false;
    }
    const size_t lines = Lines();
    if (view_ == View::Chars) {
        // A busy tick brings tens of thousands of character lines: their lengths in one call.
        lengths_.clear();
        log_.CharViewLineLengths(lines_, lengths_);
        for (const uint32_t length : lengths_) {
            firstRow_.push_back(rowBase_ + rows_);
            rows_ += RowsFor(length);
        }
        if (lengths_.capacity() > kKeptLengths)
            std::vector<uint32_t>().swap(lengths_);
    } else {
        for (size_t line = lines_; line < lines; ++line) {
            firstRow_.push_back(rowBase_ + rows_);
            rows_ += RowsOf(line);
        }
    }
    lines_ = lines;
    return kept;
}

}  // namespace duoterm

// ---------------------------------------------------------------------------------------

TRxView::TRxView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* copy = new QAction(QStringLiteral("Копировать"), this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &TRxView::Copy);
    addAction(copy);
    auto* all = new QAction(QStringLiteral("Выделить всё"), this);
    all->setShortcut(QKeySequence::SelectAll);
    all->setShortcutContext(Qt::WidgetShortcut);
    connect(all, &QAction::triggered, this, &TRxView::SelectAll);
    addAction(all);
    auto* find = new QAction(QStringLiteral("Найти..."), this);
    find->setShortcut(QKeySequence::Find);
    find->setShortcutContext(Qt::WidgetShortcut);
    connect(find, &QAction::triggered, this, &TRxView::FindRequested);
    addAction(find);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
}

void TRxView::SetModel(duoterm::TRxModel* model)
{
    SetRowModel(model);
    panelModel_ = model;
}

void TRxView::SetRowModel(duoterm::TRowModel* model)
{
    model_ = model;
    panelModel_ = nullptr;
    hasSelection_ = false;
    UpdateScrollRange();
    viewport()->update();
}

int TRxView::RowHeight() const
{
    return std::max(1, fontMetrics().height());
}

int TRxView::VisibleRows() const
{
    return std::max(1, viewport()->height() / RowHeight());
}

uint64_t TRxView::TopRow() const
{
    return static_cast<uint64_t>(std::max(0, verticalScrollBar()->value()));
}

uint64_t TRxView::RowAt(int y) const
{
    return TopRow() + static_cast<uint64_t>(std::max(0, y) / RowHeight());
}

void TRxView::UpdateScrollRange()
{
    const uint64_t rows = model_ ? model_->RowCount() : 0;
    const uint64_t visible = static_cast<uint64_t>(VisibleRows());
    const uint64_t top = rows > visible ? rows - visible : 0;
    verticalScrollBar()->setRange(0, static_cast<int>(std::min<uint64_t>(top, INT_MAX)));
    verticalScrollBar()->setPageStep(VisibleRows());
    verticalScrollBar()->setSingleStep(1);
}

void TRxView::Sync()
{
    if (!model_)
        return;
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    if (!model_->Sync())
        hasSelection_ = false;
    UpdateScrollRange();
    if (atEnd)
        bar->setValue(bar->maximum());
    viewport()->update();
}

void TRxView::Relayout()
{
    hasSelection_ = false;
    UpdateScrollRange();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    viewport()->update();
}

void TRxView::SelectRows(uint64_t first, uint64_t last)
{
    anchor_ = first;
    current_ = last;
    hasSelection_ = model_ && model_->RowCount() > 0;
    viewport()->update();
}

void TRxView::Highlight(uint64_t first, uint64_t last)
{
    SelectRows(first, last);
    const uint64_t top = TopRow();
    const uint64_t visible = static_cast<uint64_t>(VisibleRows());
    if (first < top || last >= top + visible) {
        const uint64_t want = first > visible / 2 ? first - visible / 2 : 0;
        verticalScrollBar()->setValue(static_cast<int>(std::min<uint64_t>(want, INT_MAX)));
    }
}

void TRxView::SelectAll()
{
    if (model_ && model_->RowCount() > 0)
        SelectRows(0, model_->RowCount() - 1);
}

QString TRxView::SelectedText() const
{
    if (!hasSelection_ || !model_)
        return {};
    return model_->CopyText(std::min(anchor_, current_), std::max(anchor_, current_));
}

void TRxView::Copy()
{
    if (hasSelection_)
        QApplication::clipboard()->setText(SelectedText());
}

void TRxView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    if (!model_)
        return;
    const int height = RowHeight();
    const uint64_t top = TopRow();
    const uint64_t first = std::min(anchor_, current_), last = std::max(anchor_, current_);
    const int ascent = fontMetrics().ascent();
    rowPainter_.SetFont(font());
    for (int i = 0; i <= VisibleRows(); ++i) {
        const uint64_t row = top + static_cast<uint64_t>(i);
        if (row >= model_->RowCount())
            break;
        const QRect rect(0, i * height, viewport()->width(), height);
        const bool selected = hasSelection_ && row >= first && row <= last;
        if (selected)
            painter.fillRect(rect, palette().highlight());
        painter.setPen(selected ? palette().highlightedText().color() : palette().text().color());
        rowPainter_.Draw(painter, QPointF(2, i * height + ascent), model_->RowText(row));
    }
}

void TRxView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRange();
}

void TRxView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !model_ || model_->RowCount() == 0)
        return QAbstractScrollArea::mousePressEvent(event);
    const uint64_t row = std::min(RowAt(event->position().toPoint().y()), model_->RowCount() - 1);
    if (event->modifiers() & Qt::ShiftModifier && hasSelection_)
        SelectRows(anchor_, row);
    else
        SelectRows(row, row);
}

void TRxView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton) || !hasSelection_ || !model_ || model_->RowCount() == 0)
        return;
    const int y = event->position().toPoint().y();
    if (y < 0)
        verticalScrollBar()->setValue(verticalScrollBar()->value() - 1);
    else if (y > viewport()->height())
        verticalScrollBar()->setValue(verticalScrollBar()->value() + 1);
    SelectRows(anchor_, std::min(RowAt(y), model_->RowCount() - 1));
}

void TRxView::keyPressEvent(QKeyEvent* event)
{
    if (!model_ || model_->RowCount() == 0)
        return QAbstractScrollArea::keyPressEvent(event);
    const uint64_t last = model_->RowCount() - 1;
    uint64_t row = hasSelection_ ? current_ : TopRow();
    switch (event->key()) {
    case Qt::Key_Up: row = row > 0 ? row - 1 : 0; break;
    case Qt::Key_Down: row = std::min(row + 1, last); break;
    case Qt::Key_PageUp: row = row > static_cast<uint64_t>(VisibleRows()) ? row - VisibleRows() : 0; break;
    case Qt::Key_PageDown: row = std::min(row + VisibleRows(), last); break;
    case Qt::Key_Home: row = 0; break;
    case Qt::Key_End: row = last; break;
    default: return QAbstractScrollArea::keyPressEvent(event);
    }
    SelectRows(event->modifiers() & Qt::ShiftModifier && hasSelection_ ? anchor_ : row, row);
    if (row < TopRow())
        verticalScrollBar()->setValue(static_cast<int>(std::min<uint64_t>(row, INT_MAX)));
    else if (row >= TopRow() + static_cast<uint64_t>(VisibleRows()))
        verticalScrollBar()->setValue(static_cast<int>(std::min<uint64_t>(row - VisibleRows() + 1, INT_MAX)));
}
