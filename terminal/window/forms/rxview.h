// The two read-only views of what a port panel received: the hexadecimal view (one line per
// display tick) and the character view (lines broken at line ends). Each shows the panel's
// receive store through a row index that formats only the rows on screen; a long line is shown
// wrapped over several rows of a fixed width, as a text box with word wrap shows it, so that
// no row costs more to draw than the view can show, and nothing is kept per row. Rows can be
// selected with the mouse and the keyboard and copied (Ctrl+C or the context menu): exactly
// the rows selected, the part of a wrapped line they show without a break inside it.
//
// Threads: user-interface thread only.
#pragma once

#include "rowpainter.h"
#include "rxdisplay.h"

#include <QAbstractScrollArea>

#include <deque>
#include <vector>

namespace duoterm {

// What a receive view draws: rows of text, formatted on demand, that grow at the end (and may
// lose rows at the start).
class TRowModel {
public:
    virtual ~TRowModel() = default;
    virtual uint64_t RowCount() const = 0;
    virtual QString RowText(uint64_t row) const = 0;
    // The text of rows first to last, as a copy takes it.
    virtual QString CopyText(uint64_t first, uint64_t last) const = 0;
    // Takes in what the store holds now; false when rows before the end changed.
    virtual bool Sync() = 0;
};

class TRxModel : public TRowModel {
public:
    enum class View { Hex, Chars };
    // Bytes a hexadecimal row shows, characters a character row shows.
    static constexpr size_t kHexRowBytes = 8;
    static constexpr size_t kCharRowChars = 24;

    // With the time shown a row is shorter by the time's width, so that it still fits the view.
    static constexpr size_t kHexRowBytesTimed = 4;
    static constexpr size_t kCharRowCharsTimed = 11;

    TRxModel(const traffic::RxLog& log, View view);

    // Prefixes the first row of every line with its tick's receive time ("hh:mm:ss.mmm ", the
    // local time) and the rows a long line wraps onto with as many spaces; off at start.
    void SetShowTime(bool on);
    bool ShowTime() const { return showTime_; }
    // The time prefix of a receive time (milliseconds since the epoch).
    static QString TimeText(int64_t timeMs);

    // Once the store has dropped its oldest bytes under its budget, row 0 says how many (the
    // dropped-bytes row) and the lines' rows follow it.
    uint64_t RowCount() const override { return rows_ + Header(); }
    // The store has grown, dropped old lines or been cleared: takes in the change. False when
    // rows before the end changed (the selection no longer holds).
    bool Sync() override;
    static QString DroppedText(uint64_t bytes);
    // The text of a row, and the line it belongs to.
    QString RowText(uint64_t row) const override;
    size_t LineOfRow(uint64_t row) const;
    // The row that shows a column of a line (a byte of a hexadecimal line, a character of a
    // character line; a column at the line's end is on its last row).
    uint64_t RowOf(size_t line, size_t column) const;
    // The text of rows first to last: the rows of a wrapped line joined, a line break between
    // the rows of two lines.
    QString CopyText(uint64_t first, uint64_t last) const override;

private:
    size_t Lines() const;
    size_t LineLength(size_t line) const;  // bytes of a hex line, characters of a char line
    size_t RowsOf(size_t line) const;
    size_t RowsFor(size_t length) const;  // the rows a line of that length wraps onto
    QString LineText(size_t line, size_t from, size_t count) const;
    // The row's own text, without the time prefix (a row of the lines, without the header).
    QString RowBody(uint64_t row) const;
    uint64_t Header() const { return log_.DroppedBytes() > 0 ? 1 : 0; }
    uint64_t Dropped() const;
    void Reset();
    int64_t LineTime(size_t line) const;

    const traffic::RxLog& log_;
    View view_;
    size_t rowWidth_;
    bool showTime_ = false;
    size_t lines_ = 0;
    // The first row of each line shown, counted from the layout's start: rows that left with
    // dropped lines are rowBase_ (the header not counted).
    std::deque<uint64_t> firstRow_;
    uint64_t rowBase_ = 0;
    uint64_t FirstRow(size_t line) const { return firstRow_[line] - rowBase_; }
    uint64_t rows_ = 0;
    uint64_t clears_ = 0;   // the store's clears seen
    uint64_t dropped_ = 0;  // lines the store had dropped when last seen
    std::vector<uint32_t> lengths_;  // the new lines' lengths, while Sync takes them in
    static constexpr size_t kKeptLengths = size_t{1} << 20;  // a larger buffer is given back
};

}  // namespace duoterm

// A receive view (the panels' dataHex and dataASCCI): draws the visible rows of its model,
// keeps a selected range of rows, copies it, and follows the newest row while scrolled to the
// end.
class TRxView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TRxView(QWidget* parent = nullptr);
    void SetModel(duoterm::TRxModel* model);
    // Any other rows (the timeline); Model() is then null.
    void SetRowModel(duoterm::TRowModel* rows);
    duoterm::TRxModel* Model() const { return panelModel_; }
    // Takes in what the store holds now.
    void Sync();
    // The model laid its rows out anew (the time shown or hidden): the selection is dropped
    // and the view shows the newest rows.
    void Relayout();
    void SelectRows(uint64_t first, uint64_t last);
    // Selects the rows and scrolls them into sight (a match found).
    void Highlight(uint64_t first, uint64_t last);
    void SelectAll();
    void Copy();
    QString SelectedText() const;

signals:
    // Ctrl+F in the view.
    void FindRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int RowHeight() const;
    int VisibleRows() const;
    uint64_t TopRow() const;
    uint64_t RowAt(int y) const;
    void UpdateScrollRange();

    duoterm::TRowModel* model_ = nullptr;
    duoterm::TRxModel* panelModel_ = nullptr;
    bool hasSelection_ = false;
    uint64_t anchor_ = 0, current_ = 0;
    duoterm::TRowPainter rowPainter_;
};
