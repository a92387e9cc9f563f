// The receive views' row model: the time of each tick's line, and the notice of the bytes
// a store past its budget dropped; and their rows drawn from the glyph table.
#include "rowpainter.h"
#include "rxview.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QStringDecoder>

#include <string>

using namespace duoterm;

namespace {

// The receive views with the time: the first row of each line carries its tick's time, the
// rows a long line wraps onto are indented as far, and a copy has the time once per line.
TEST(ReceiveViewTime, EachLineStartsWithItsTicksTimeAndCopiesKeepItOnce)
{
    traffic::RxLog log;
    const int64_t t0 = QDateTime(QDate(2024, 5, 1), QTime(12, 34, 56, 789)).toMSecsSinceEpoch();
    log.AppendTick(reinterpret_cast<const uint8_t*>("ABCDEF\r\n"), 8, t0);
    log.AppendTick(reinterpret_cast<const uint8_t*>("xy"), 2, t0 + 1005);
    TRxModel hex(log, TRxModel::View::Hex), chars(log, TRxModel::View::Chars);
    hex.Sync();
    chars.Sync();
    EXPECT_EQ(hex.RowText(0), "41 42 43 44 45 46 0D 0A ");  // off at start, as designed
    EXPECT_FALSE(hex.ShowTime());

    hex.SetShowTime(true);
    chars.SetShowTime(true);
    ASSERT_EQ(hex.RowCount(), 3u);  // 8 bytes wrap over two rows of four, then "xy"
    EXPECT_EQ(hex.RowText(0), "12:34:56.789 41 42 43 44 ");
    EXPECT_EQ(hex.RowText(1), "             45 46 0D 0A ");
    EXPECT_EQ(hex.RowText(2), "12:34:57.794 78 79 ");
    EXPECT_EQ(hex.CopyText(0, 2), "12:34:56.789 41 42 43 44 45 46 0D 0A \n12:34:57.794 78 79 ");
    ASSERT_EQ(chars.RowCount(), 2u);
    EXPECT_EQ(chars.RowText(0), "12:34:56.789 ABCDEF");
    EXPECT_EQ(chars.RowText(1), "12:34:57.794 xy");

    hex.SetShowTime(false);
    EXPECT_EQ(hex.RowCount(), 2u);
    EXPECT_EQ(hex.RowText(1), "78 79 ");
}

// A store past its budget: row 0 says how many bytes left the view, the rows of the lines that
// stay follow it, and a copy leaves the notice out.
TEST(ReceiveViewBudget, TheFirstRowTellsTheBytesDroppedAndTheRowsMoveUp)
{
    traffic::RxLog log;
    TRxModel hex(log, TRxModel::View::Hex), chars(log, TRxModel::View::Chars);
    const std::string tick(1000, 'a');
    for (int i = 0; i < 100; ++i)
        log.AppendTick(reinterpret_cast<const uint8_t*>(tick.data()), tick.size(), 0);
    hex.Sync();
    chars.Sync();
    EXPECT_EQ(hex.RowCount(), 100u * 125);
    EXPECT_EQ(hex.RowText(0).left(6), "61 61 ");
    log.SetBudget(64 * 1024);
    for (int i = 0; i < 200; ++i)
        log.AppendTick(reinterpret_cast<const uint8_t*>(tick.data()), tick.size(), 0);
    EXPECT_FALSE(hex.Sync());  // rows before the end changed
    chars.Sync();
    ASSERT_GT(log.DroppedBytes(), 0u);
    EXPECT_EQ(hex.RowCount(), 1 + log.LineCount() * 125);
    EXPECT_EQ(chars.RowCount(), 1 + log.CharViewLineCount() * 42);  // 1000 characters, 24 a row
    EXPECT_EQ(hex.RowText(0), QStringLiteral("[из окна удалено %1 байт]").arg(log.DroppedBytes()));
    EXPECT_EQ(chars.RowText(0), hex.RowText(0));
    EXPECT_EQ(hex.RowText(1).left(6), "61 61 ");
    EXPECT_EQ(hex.LineOfRow(1), 0u);
    EXPECT_EQ(hex.RowOf(0, 0), 1u);
    EXPECT_EQ(hex.CopyText(0, 1), QString("61 ").repeated(8));
    log.Clear();
    EXPECT_FALSE(hex.Sync());
    EXPECT_EQ(hex.RowCount(), 0u);
}

// Drop after drop, with the views taking each in: every row still shows its line's text, rows
// and lines still map onto each other, and the store's ticks still own their view lines.
TEST(ReceiveViewBudget, RowsStayRightOverManyDrops)
{
    traffic::RxLog log;
    log.SetBudget(64 * 1024);
    TRxModel hex(log, TRxModel::View::Hex), chars(log, TRxModel::View::Chars);
    int drops = 0;
    uint64_t dropped = 0;
    for (int round = 0; round < 150; ++round) {
        for (int i = 0; i < 40; ++i) {
            // Lines of 0 to 120 characters, several to a tick, one CR LF split between ticks.
            std::string tick;
            for (int line = 0; line < 8; ++line)
                tick += std::string(static_cast<size_t>((round * 7 + i * 13 + line * 29) % 121), 'a' + line) + "\r\n";
            tick.pop_back();
            log.AppendTick(reinterpret_cast<const uint8_t*>(tick.data()), tick.size(), 0);
        }
        hex.Sync();
        chars.Sync();
        if (log.DroppedBytes() != dropped) {
            ++drops;
            dropped = log.DroppedBytes();
        }
        for (size_t view = 0; view < log.CharViewLineCount(); view += 97) {
            const size_t tick = log.CharViewLineTick(view);
            ASSERT_LE(log.FirstCharViewLine(tick), view);
            ASSERT_TRUE(tick + 1 == log.LineCount() || log.FirstCharViewLine(tick + 1) > view);
            const std::string text = log.CharViewLine(view);
            const uint64_t row = chars.RowOf(view, 0);
            ASSERT_EQ(chars.LineOfRow(row), view) << round;
            ASSERT_EQ(chars.RowText(row), QString::fromLatin1(text.substr(0, TRxModel::kCharRowChars))) << round;
        }
        const size_t last = log.LineCount() - 1;
        ASSERT_EQ(hex.LineOfRow(hex.RowCount() - 1), last);
        ASSERT_EQ(hex.RowText(hex.RowOf(last, 0)), QString::fromLatin1(log.HexLine(last).substr(0, 24)));
    }
    EXPECT_GE(drops, 4);
    EXPECT_EQ(chars.RowText(0), TRxModel::DroppedText(log.DroppedBytes()));
}

// Rows drawn from the glyph table look exactly as drawText draws them, in the views' fonts and
// in a proportional one, for every character the views show (Windows-1251 decoded, the time
// prefix, the dropped-bytes row), at whole and fractional origins and in the selection's
// colours; a character the font has no glyph of is drawn by drawText all the same.
TEST(ReceiveViewRows, GlyphTableRowsMatchDrawText)
{
    QString all1251;
    {
        QByteArray bytes;
        for (int b = 32; b < 256; ++b)
            bytes.append(static_cast<char>(b));
        all1251 = QStringDecoder("windows-1251").decode(bytes);
    }
    const std::vector<QString> rows = {
        QStringLiteral("00 1F A0 FF 7E 0D 0A 20 "),
        QStringLiteral("12:34:56.789 41 42 43 44 "),
        QStringLiteral("Привет, мир! Ёё №1 «x» — €"),
        all1251.left(60), all1251.mid(60, 60), all1251.mid(120, 60), all1251.mid(180),
        QStringLiteral("ab\u4E2D\u6587cd \U0001F600"),  // beyond the font: drawText's fallback
        QStringLiteral("tab\there, nul\u0000, mark e\u0301"),
    };
    std::vector<QFont> fonts = {QFontDatabase::systemFont(QFontDatabase::FixedFont), QFont()};
    fonts.push_back(QFont(QStringLiteral("Courier"), 8));  // the views' font in the window
    fonts.push_back(QFont(QStringLiteral("Courier New"), 10));
    for (const QFont& font : fonts) {
        duoterm::TRowPainter rows_painter;
        rows_painter.SetFont(font);
        int fromTable = 0;
        for (const QString& row : rows) {
            for (const QPointF origin : {QPointF(2, 14), QPointF(2.5, 14.25)}) {
                for (const QColor pen : {QColor(Qt::black), QColor(Qt::white)}) {
                    QImage expected(900, 24, QImage::Format_ARGB32_Premultiplied), got = expected;
                    for (QImage* image : {&expected, &got}) {
                        image->fill(pen == Qt::white ? QColor(Qt::darkBlue) : QColor(Qt::white));
                        QPainter painter(image);
                        painter.setFont(font);
                        painter.setPen(pen);
                        if (image == &expected)
                            painter.drawText(origin, row);
                        else
                            rows_painter.Draw(painter, origin, row);
                    }
                    EXPECT_TRUE(got == expected) << font.family().toStdString() << ": " << row.toStdString();
                }
            }
            fromTable += rows_painter.LastFromTable() ? 1 : 0;
        }
        // The hexadecimal rows of a fixed font come from the table; a proportional font's never.
        if (QFontInfo(font).fixedPitch())
            EXPECT_GE(fromTable, 2) << font.family().toStdString();
        else
            EXPECT_EQ(fromTable, 0) << font.family().toStdString();
    }
}

}  // namespace
