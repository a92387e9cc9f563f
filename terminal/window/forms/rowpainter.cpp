#include "rowpainter.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QTextLayout>

namespace duoterm {

void TRowPainter::SetFont(const QFont& font)
{
    if (fontSet_ && font == font_)
        return;
    font_ = font;
    // A proportional font may kern pairs of characters, which advances alone do not show: its
    // rows are laid out by the text engine.
    raw_ = QFontInfo(font).fixedPitch() ? QRawFont::fromFont(font) : QRawFont();
    fontSet_ = true;
    common_.fill(Glyph{});
    other_.clear();
}

const TRowPainter::Glyph& TRowPainter::Lookup(char16_t c)
{
    Glyph& glyph = c < common_.size() ? common_[c] : other_[c];
    if (glyph.known)
        return glyph;
    glyph.known = true;
    // The text engine lays the character out alone: one glyph of the font itself (not of a
    // fallback font) is drawable from the table, at the advance the engine gives it.
    const QChar ch(c);
    if (!raw_.isValid() || ch.isSurrogate() || ch.category() == QChar::Other_Control ||
        ch.category() == QChar::Mark_NonSpacing || ch.category() == QChar::Mark_Enclosing ||
        ch.category() == QChar::Mark_SpacingCombining)
        return glyph;
    QTextLayout layout(QString(ch), font_);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    if (runs.size() != 1 || runs[0].glyphIndexes().size() != 1 || runs[0].rawFont() != raw_)
        return glyph;
    const quint32 index = runs[0].glyphIndexes()[0];
    if (index == 0)
        return glyph;
    glyph.index = index;
    glyph.advance = QFontMetricsF(font_).horizontalAdvance(ch);
    glyph.drawable = true;
    return glyph;
}

void TRowPainter::Draw(QPainter& painter, QPointF origin, const QString& text)
{
    lastFromTable_ = false;
    if (!raw_.isValid() || text.isEmpty()) {
        painter.drawText(origin, text);
        return;
    }
    QList<quint32> indexes;
    QList<QPointF> positions;
    indexes.reserve(text.size());
    positions.reserve(text.size());
    qreal x = 0;
    for (QChar ch : text) {
        const Glyph& glyph = Lookup(ch.unicode());
        if (!glyph.drawable) {
            painter.drawText(origin, text);
            return;
        }
        indexes.push_back(glyph.index);
        positions.push_back(QPointF(x, 0));
        x += glyph.advance;
    }
    QGlyphRun run;
    run.setRawFont(raw_);
    run.setGlyphIndexes(indexes);
    run.setPositions(positions);
    painter.drawGlyphRun(origin, run);
    lastFromTable_ = true;
}

}  // namespace duoterm
