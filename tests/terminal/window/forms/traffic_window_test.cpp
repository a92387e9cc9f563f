// Sending and receiving through the window, on two pseudo-terminal pairs joined as a
// null-modem cable (data by a relay, modem lines by the shim): what one side sends arrives in
// the other side's views byte for byte, the HEX lines' key filter and the ASCII lines' code
// page.
#include "finddialog.h"
#include "portpanel.h"
#include "rxview.h"
#include "timeline.h"
#include "timelinewindow.h"
#include "windowtesting.h"

#include <QClipboard>
#include <QFile>
#include <QLineEdit>

#include <cstring>

using namespace duoterm;
using namespace windowtesting;

namespace {

// The whole lines a receive view shows (a long line wraps over several rows).
QStringList Lines(TRxView* view)
{
    const uint64_t rows = view->Model()->RowCount();
    return rows == 0 ? QStringList{} : view->Model()->CopyText(0, rows - 1).split(QLatin1Char('\n'));
}

int RowCount(TRxView* view)
{
    return static_cast<int>(view->Model()->RowCount());
}

// Pastes text from the clipboard into an entry line with the keyboard's shortcut, replacing
// what it held.
void Paste(QComboBox* line, const QString& text)
{
    QApplication::clipboard()->setText(text);
    line->lineEdit()->selectAll();
    QTest::keyClick(line->lineEdit(), Qt::Key_V, Qt::ControlModifier);
}

using TrafficWindow = windowtesting::CableWindowTest;

TEST_F(TrafficWindow, HexAndAsciiSendsArriveInTheOtherPanelsViews)
{
    ui->otpravedit->setEditText("41 42 00*");
    ui->OtpravButton->click();
    ASSERT_TRUE(Eventually([&] { return RowCount(ui->dataHex2) == 1; }));
    EXPECT_EQ(Lines(ui->dataHex2), QStringList{"41 42 00 FC "});
    EXPECT_EQ(Lines(ui->dataASCCI2), QStringList{"AB ь"});
    EXPECT_TRUE(window->Traffic(1).LastSendHex());

    ui->otpraveditASCCI2->setEditText("Привет");
    ui->VKcheck2->setChecked(true);
    ui->OtpravButtonASCCI2->click();
    EXPECT_TRUE(Eventually([&] { return RowCount(ui->dataHex) == 1; })) << Lines(ui->dataHex).join("|").toStdString() << errors.size();
    EXPECT_EQ(Lines(ui->dataHex), QStringList{"CF F0 E8 E2 E5 F2 0D "});
    EXPECT_EQ(Lines(ui->dataASCCI), QStringList{"Привет"});
    EXPECT_FALSE(window->Traffic(2).LastSendHex());
    EXPECT_EQ(Lines(ui->dataHex2).size(), 1);  // nothing echoed on the sending side
    EXPECT_TRUE(errors.empty());
}

TEST_F(TrafficWindow, EveryByteValueArrivesUnchanged)
{
    QString request;
    std::string expected;
    for (int i = 0; i < 256; ++i) {
        request += QString::asprintf("%02X", i);
        expected += static_cast<char>(i);
    }
    // Twice, over 1024 bytes in one message: nothing is cut.
    for (int i = 0; i < 3; ++i) {
        request += request.left(512);
        expected += expected.substr(0, 256);
    }
    ui->otpravedit2->setEditText(request);
    ui->OtpravButton2->click();
    ASSERT_TRUE(Eventually([&] { return window->Traffic(1).Log().TotalBytes() >= expected.size(); }));
    EXPECT_EQ(Received(window->Traffic(1)), expected);
}

TEST_F(TrafficWindow, TheHexLinesFilterKeysAndEnterSends)
{
    // Keys reach the combo box itself when it has the focus.
    QWidget* line = ui->otpravedit;
    Type(line, QStringLiteral("ф1g- в№2*"));
    EXPECT_EQ(ui->otpravedit->currentText(), "A1 D#2*");
    ui->otpravedit->setEditText("0a0b");  // pasted text is not filtered; the converter takes it
    Key(ui->EditPered, "\r", Qt::Key_Return);  // Enter in an exchange line sends port 1's line
    ASSERT_TRUE(Eventually([&] { return RowCount(ui->dataHex2) == 1; }));
    EXPECT_EQ(Lines(ui->dataHex2), QStringList{"0A 0B "});

    // With the side's HEX button disabled (port closed) Enter runs no HEX send: the side's last
    // kind of send stays the ASCII one (an empty line without VK, which writes nothing).
    ui->otpraveditASCCI->setEditText(QString());
    ui->VKcheck->setChecked(false);
    ui->OtpravButtonASCCI->click();
    ASSERT_FALSE(window->Traffic(1).LastSendHex());
    ui->ClosePort->click();
    Key(line, "\r", Qt::Key_Return);
    EXPECT_FALSE(window->Traffic(1).LastSendHex());
    EXPECT_EQ(ui->otpravedit->currentText(), "0a0b");
}

TEST_F(TrafficWindow, APastedLineBreakIsASpaceAndTheSixTextsComeBackInTheirPlaces)
{
    Paste(ui->otpravedit, "01 02\n03 04\r\n05");
    EXPECT_EQ(ui->otpravedit->currentText(), "01 02 03 04 05");
    ui->OtpravButton->click();
    ASSERT_TRUE(Eventually([&] { return window->Traffic(2).Log().TotalBytes() >= 5; }));
    EXPECT_EQ(Received(window->Traffic(2)), std::string("\x01\x02\x03\x04\x05"));

    Paste(ui->otpraveditASCCI2, "AT\r\nZ\r");
    EXPECT_EQ(ui->otpraveditASCCI2->currentText(), "AT Z ");
    ui->OtpravButtonASCCI2->click();
    ASSERT_TRUE(Eventually([&] { return window->Traffic(1).Log().TotalBytes() >= 5; }));
    EXPECT_EQ(Received(window->Traffic(1)), "AT Z ");

    Paste(ui->EditPered2, "0A\n0B");
    EXPECT_EQ(ui->EditPered2->currentText(), "0A 0B");
    window->close();
    QFile file(QString::fromStdString((dir.Path() / "save.ini").string()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(ParseSavedTexts(file.readAll()), (SavedTexts{"01 02 03 04 05", "", "", "AT Z ", "", "0A 0B"}));
    EXPECT_TRUE(errors.empty());
}

TEST_F(TrafficWindow, LinesOfAHundredThousandCharactersAreKeptAndSentWhole)
{
    QString digits;
    std::string bytes;
    for (int i = 0; i < 50000; ++i) {
        const int value = (i * 7 + i / 256) & 0xFF;
        digits += QString::asprintf("%02X", value);
        bytes += static_cast<char>(value);
    }
    Paste(ui->otpravedit, digits);
    ASSERT_EQ(ui->otpravedit->currentText().size(), 100000);
    ui->OtpravButton->click();
    ASSERT_TRUE(Eventually([&] { return window->Traffic(2).Log().TotalBytes() >= bytes.size(); }, 30000))
        << window->Traffic(2).Log().TotalBytes() << " of " << window->Traffic(1).SentLog().TotalBytes() << " sent";
    EXPECT_EQ(Received(window->Traffic(2)), bytes);

    const QString text(100000, QLatin1Char('z'));
    Paste(ui->otpraveditASCCI2, text);
    ASSERT_EQ(ui->otpraveditASCCI2->currentText().size(), 100000);
    ui->OtpravButtonASCCI2->click();
    ASSERT_TRUE(Eventually([&] { return window->Traffic(1).Log().TotalBytes() >= 100000; }, 30000))
        << window->Traffic(1).Log().TotalBytes() << " of " << window->Traffic(2).SentLog().TotalBytes() << " sent";
    EXPECT_EQ(Received(window->Traffic(1)), text.toStdString());

    Paste(ui->EditPered, digits);
    EXPECT_EQ(ui->EditPered->currentText(), digits);
    EXPECT_EQ(window->EntryTexts()[4].size(), 100000);
    EXPECT_TRUE(errors.empty());
}

TEST_F(TrafficWindow, CopyTakesExactlyTheSelectedRows)
{
    QString request;
    for (int i = 0; i < 2500; ++i)
        request += QString::asprintf("%02X", i & 0xFF);
    ui->otpravedit->setEditText(request);
    ui->OtpravButton->click();
    ASSERT_TRUE(Eventually([&] { return window->Traffic(2).Log().TotalBytes() >= 2500; }));
    ASSERT_TRUE(Eventually([&] { return ui->dataHex2->Model()->RowCount() >= 2500 / 8; }));
    // Two rows inside the first line that wraps over three rows or more: eight bytes a row.
    const traffic::RxLog& log = window->Traffic(2).Log();
    TRxModel* model = ui->dataHex2->Model();
    uint64_t row = 0;
    while (row < model->RowCount() && log.LineBytes(model->LineOfRow(row)).size() < 17)
        ++row;
    ASSERT_LT(row, model->RowCount());
    const auto line = log.LineBytes(model->LineOfRow(row));
    QString expected;
    for (size_t i = 8; i < std::min<size_t>(24, line.size()); ++i)
        expected += QString::asprintf("%02X ", line[i]);
    ui->dataHex2->SelectRows(row + 1, row + 2);
    ui->dataHex2->setFocus();
    QApplication::clipboard()->clear();
    ui->dataHex2->Copy();
    EXPECT_EQ(QApplication::clipboard()->text(), expected);
}

TEST_F(TrafficWindow, TheAsciiLineTakesOnlyWhatTheCodePageHolds)
{
    Type(ui->otpraveditASCCI->lineEdit(), QStringLiteral("Щ€✓z"));
    EXPECT_EQ(ui->otpraveditASCCI->currentText(), QStringLiteral("Щ€z"));
}

// The timeline: a request and its answer across the two ports, in the order they happened,
// each tick tagged with its port and direction, in the window from the menu; a panel's clear
// takes its received ticks out of the timeline too.
TEST_F(TrafficWindow, TheTimelineListsBothPortsTicksInOrderWithTheirTags)
{
    const struct {
        int side;
        const char* request;
    } steps[] = {{1, "41 41"}, {2, "42 42"}, {1, "43"}};
    for (const auto& step : steps) {
        const int other = 3 - step.side;
        const uint64_t before = window->Traffic(other).Log().TotalBytes();
        window->Traffic(step.side).SendHexRequest(step.request);
        const uint64_t length = (std::strlen(step.request) + 1) / 3;
        ASSERT_TRUE(Eventually([&] { return window->Traffic(other).Log().TotalBytes() == before + length; }));
    }
    using S = TimelineSource;
    const TTimeline& timeline = window->Timeline();
    std::vector<std::pair<S, std::string>> got;
    for (size_t i = 0; i < timeline.EntryCount(); ++i) {
        const auto entry = timeline.EntryAt(i);
        const traffic::RxLog& store = entry.source == S::Received1 ? window->Traffic(1).Log()
                                      : entry.source == S::Sent1   ? window->Traffic(1).SentLog()
                                      : entry.source == S::Received2 ? window->Traffic(2).Log()
                                                                     : window->Traffic(2).SentLog();
        const auto bytes = store.LineBytes(entry.line);
        // A received message may come in more than one tick: join them.
        if (!got.empty() && got.back().first == entry.source)
            got.back().second.append(bytes.begin(), bytes.end());
        else
            got.emplace_back(entry.source, std::string(bytes.begin(), bytes.end()));
    }
    const std::vector<std::pair<S, std::string>> expected = {
        {S::Sent1, "AA"}, {S::Received2, "AA"}, {S::Sent2, "BB"}, {S::Received1, "BB"}, {S::Sent1, "C"},
        {S::Received2, "C"}};
    EXPECT_EQ(got, expected);

    ui->LentaObmena->trigger();
    TTimelineWindow* shown = window->TimelineWindow();
    ASSERT_TRUE(shown && shown->isVisible());
    TRxView* view = shown->View();
    view->Sync();
    view->SelectAll();
    const QStringList rows = view->SelectedText().split(QLatin1Char('\n'));
    ASSERT_EQ(rows.size(), 6);
    EXPECT_TRUE(rows[0].mid(13).startsWith(QStringLiteral("1 передача 41 41 "))) << rows[0].toStdString();
    EXPECT_TRUE(rows[0].endsWith(QStringLiteral("| AA")));
    EXPECT_TRUE(rows[1].mid(13).startsWith(QStringLiteral("2 приём    41 41 ")));
    EXPECT_TRUE(rows[3].mid(13).startsWith(QStringLiteral("1 приём    42 42 ")));

    ui->Button8->click();  // clears port 2's views
    view->Sync();
    EXPECT_EQ(view->Model(), nullptr);
    for (size_t i = 0; i < timeline.EntryCount(); ++i)
        EXPECT_NE(timeline.EntryAt(i).source, S::Received2);
    EXPECT_EQ(timeline.EntryCount(), 4u);
}

}  // namespace

namespace {

// Ctrl+F in a view opens its panel's find dialog; a match is selected in both views.
TEST_F(TrafficWindow, FindSelectsTheMatchInBothViewsOverTheWholeStore)
{
    QString request;
    for (int i = 0; i < 3000; ++i)
        request += QString::asprintf("%02X", i & 0x3F);
    request += "C1 C2 C3";  // "БВГ", once, at the end
    ui->otpravedit->setEditText(request);
    ui->OtpravButton->click();
    ASSERT_TRUE(Eventually([&] { return window->Traffic(2).Log().TotalBytes() == 3003; }));
    ASSERT_TRUE(Eventually([&] { return ui->dataHex2->Model()->RowCount() >= 3003 / 8; }));
    ui->dataHex2->setFocus();
    QTest::keyClick(ui->dataHex2, Qt::Key_F, Qt::ControlModifier);
    TFindDialog* find = window->Panel(2).find;
    ASSERT_TRUE(find->isVisible());
    EXPECT_TRUE(find->hex->isChecked());  // opened from the hexadecimal view
    find->hex->setChecked(false);
    find->text->setText(QStringLiteral("БВГ"));
    find->next->click();
    EXPECT_EQ(find->result->text(), "");
    EXPECT_EQ(ui->dataHex2->SelectedText().right(9), "C1 C2 C3 ");
    EXPECT_TRUE(ui->dataASCCI2->SelectedText().endsWith(QStringLiteral("БВГ")));
    // A hexadecimal text found from the start, then nothing for one never received.
    find->hex->setChecked(true);
    find->text->setText("3E 3F 00");
    find->next->click();
    EXPECT_TRUE(ui->dataHex2->SelectedText().remove(QLatin1Char('\n')).contains("3E 3F 00 "));
    find->text->setText("FF");
    find->previous->click();
    EXPECT_EQ(find->result->text(), kFindNotFound);
    find->close();
}

}  // namespace
