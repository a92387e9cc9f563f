// Draws the receive views' rows of text from a table of the font's glyphs, built as characters
// first appear: the same pixels as QPainter::drawText, without shaping every row anew on every
// paint (at a fast line's tick rate, shaping was most of the window's painting time). Rows in
// a proportional font (which may kern) and rows with a character the font has no glyph of, or
// that does not stand alone (a control character, a combining mark), are drawn by drawText.
//
// Threads: user-interface thread only.
#pragma once

#include <QFont>
#include <QHash>
#include <QPointF>
#include <QRawFont>
#include <QString>

#include <array>

class QPainter;

namespace duoterm {

class TRowPainter {
public:
    // The font rows are drawn in; a different one empties the table.
    void SetFont(const QFont& font);
    // Draws text with its baseline's left end at `origin`, as painter.drawText(origin, text).
    void Draw(QPainter& painter, QPointF origin, const QString& text);
    // Whether the last row drawn came from the table.
    bool LastFromTable() const { return lastFromTable_; }

private:
    struct Glyph {
        bool known = false;
        bool drawable = false;  // a glyph of the font's own, advanced as a lone character
        quint32 index = 0;
        qreal advance = 0;
    };
    const Glyph& Lookup(char16_t c);

    QFont font_;
    QRawFont raw_;
    bool fontSet_ = false;
    bool lastFromTable_ = false;
    std::array<Glyph, 0x500> common_{};  // Latin and Cyrillic
    QHash<char16_t, Glyph> other_;
};

}  // namespace duoterm
