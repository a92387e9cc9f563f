// The exchange panel, auto-send and the preset slot buttons through the window, on two
// pseudo-terminal pairs joined as a null-modem cable whose relay can corrupt bytes (modem lines
// by the shim): whole runs with their log, refused starts, the number fields, the streams of
// auto-send and the lists the slot buttons load.
#include "exchange.h"
#include "windowtesting.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>

using namespace duoterm;
using namespace windowtesting;

namespace {

constexpr const char* kVerdict = "Ошибок не обнаружено";

QStringList LogLines(Ui::TForm3* ui)
{
    const QString text = ui->MemoInfo->toPlainText();
    return text.isEmpty() ? QStringList{} : text.split('\n');
}

QStringList Items(QComboBox* line)
{
    QStringList items;
    for (int i = 0; i < line->count(); ++i)
        items << line->itemText(i);
    return items;
}

// A wait for reception that holds on a loaded machine: a pass is checked only when it is over,
// and the bytes cross two pseudo-terminals, a relay thread and each port's wait thread.
constexpr const char* kLoadProofWait = "2000";
constexpr int kRunDeadlineMs = 120000;

class ExchangeWindow : public windowtesting::CableWindowTest {
protected:
    std::filesystem::path PresetsPath() const { return dir.Path() / "duoterm.ini"; }

    void SetFields(const QString& wait, const QString& delay, const QString& cycles)
    {
        ui->TimeOzPriom->setText(wait);
        ui->TimeOtvet->setText(delay);
        ui->ciklperedPriom->setText(cycles);
    }

    bool Running() { return window->ExchangePanel().Exchange().Running(); }

    // Runs the exchange to its end.
    void Run()
    {
        ui->ButtonObmen->click();
        ASSERT_TRUE(Running());
        ASSERT_TRUE(Eventually([&] { return !Running(); }, kRunDeadlineMs));
    }

    bool AnyExchangeTimer()
    {
        for (TimerId timer : {TimerId::otvetTimer, TimerId::ozidtimer2, TimerId::otvetTimer2, TimerId::ozidtimer})
            if (window->ExchangePanel().Exchange().TimerEnabled(timer))
                return true;
        return false;
    }

    // Everything the side's port wrote before has reached the far panel when a marker written
    // directly on the port arrives there after it: what that panel shows then is all of it.
    std::string ReceivedUpToAMarker(int from)
    {
        static const uint8_t marker = 0x7E;
        TComm& port = from == 1 ? window->Comm1() : window->Comm2();
        const duoterm::TPortTraffic& far = window->Traffic(from == 1 ? 2 : 1);
        const std::string before = Received(far);
        const auto markers = std::count(before.begin(), before.end(), '\x7E');
        port.Write(&marker, 1);
        std::string got;
        EXPECT_TRUE(Eventually([&] {
            got = Received(far);
            return std::count(got.begin(), got.end(), '\x7E') > markers && got.back() == '\x7E';
        }));
        return got.empty() ? got : got.substr(0, got.size() - 1);
    }

    // The controls a run disables, and enables again at its end.
    void ExpectIdleControls(bool enabled)
    {
        for (QWidget* control : std::initializer_list<QWidget*>{
                 ui->TimeOzPriom, ui->TimeOtvet, ui->ciklperedPriom, ui->EditPered, ui->EditPered2, ui->COM1Panel,
                 ui->COM2Panel, ui->Button10, ui->Button11, ui->Button12, ui->Button13, ui->Button14, ui->Button15})
            EXPECT_EQ(control->isEnabled(), enabled) << control->objectName().toStdString();
        EXPECT_EQ(ui->ButtonObmen->text(), enabled ? TExchange::kCaptionIdle : TExchange::kCaptionRunning);
    }
};

TEST_F(ExchangeWindow, ARunWithoutMismatchEndsWithTheVerdict)
{
    // The right line's message is longer than a log line shows: it is still compared whole.
    QString longMessage;
    for (int i = 0; i < 5000; ++i)
        longMessage += QString::asprintf("%02X", i & 0xFF);
    ui->MemoInfo->setPlainText("old line");
    ui->EditPered->setEditText("01 02 03*");
    ui->EditPered2->setEditText(longMessage);
    SetFields(kLoadProofWait, "10", "3");
    ui->autootpravchek->click();
    ui->autootpravchek2->click();
    ASSERT_TRUE(window->Traffic(1).AutoSend());

    ui->ButtonObmen->click();
    ExpectIdleControls(false);
    EXPECT_FALSE(ui->autootpravchek->isChecked() || ui->autootpravchek2->isChecked());
    EXPECT_FALSE(window->Traffic(1).AutoSend() || window->Traffic(2).AutoSend());
    EXPECT_TRUE(ui->MemoInfo->toPlainText().isEmpty());
    ASSERT_TRUE(Eventually([&] { return ui->ProgressBar1->value() >= 3333; }, kRunDeadlineMs));
    EXPECT_LT(ui->ProgressBar1->value(), 10000);
    ASSERT_TRUE(Eventually([&] { return !Running(); }, kRunDeadlineMs));

    EXPECT_EQ(LogLines(ui), QStringList{kVerdict});
    EXPECT_EQ(ui->ProgressBar1->value(), 10000);
    ExpectIdleControls(true);
    EXPECT_EQ(cable.Relayed(0), 3u * 4);
    EXPECT_EQ(cable.Relayed(1), 3u * 5000);
    // The exchange took what the ports received; the panels showed none of it.
    EXPECT_EQ(ReceivedUpToAMarker(1), "");
    EXPECT_EQ(ReceivedUpToAMarker(2), "");

    ui->Button9->click();
    EXPECT_TRUE(ui->MemoInfo->toPlainText().isEmpty());
    EXPECT_TRUE(errors.empty());
}

TEST_F(ExchangeWindow, AFarEndThatCorruptsPassTwoIsLoggedForThatPassOnly)
{
    std::atomic<int> chunks{0};
    cable.SetTransform([&](int direction, std::string& bytes) {
        if (direction == 0 && ++chunks == 2)
            bytes[1] = static_cast<char>(bytes[1] ^ 0xFF);
    });
    ui->EditPered->setEditText("01 02 03*");
    ui->EditPered2->setEditText("A0 B0 C0");
    SetFields(kLoadProofWait, "10", "3");
    Run();
    EXPECT_EQ(LogLines(ui), (QStringList{"1->2 проход 2", "01 02 03 F9  Отправлено 4 байт",
                                         "01 FD 03 F9  Получено 4 байт"}));
    EXPECT_EQ(chunks.load(), 3);
    EXPECT_TRUE(errors.empty());
}

// The device behind port 2 goes away in the middle of a run: its error box, and the run stops
// there as the stop button would, naming the closed port, instead of failing every pass left.
TEST_F(ExchangeWindow, APortThatGoesAwayDuringARunStopsIt)
{
    ui->EditPered->setEditText("01 02");
    ui->EditPered2->setEditText("03");
    SetFields(kLoadProofWait, "10", "50");
    ui->ButtonObmen->click();
    ASSERT_TRUE(Eventually([&] { return window->ExchangePanel().Exchange().PassCount() == 2; }, kRunDeadlineMs));
    cable.HangUp(1);
    ASSERT_TRUE(Eventually([&] { return !Running() && !errors.empty(); }, kRunDeadlineMs));
    EXPECT_FALSE(window->Comm2().IsOpen());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].startsWith("COM-порт")) << errors[0].toStdString();
    const QStringList log = LogLines(ui);
    EXPECT_TRUE(log.contains("Правый порт закрыт")) << log.join('|').toStdString();
    EXPECT_FALSE(log.contains("Левый порт закрыт"));
    EXPECT_LE(window->ExchangePanel().Exchange().PassCount(), 3);
    EXPECT_EQ(ui->ProgressBar1->value(), 10000);
    ExpectIdleControls(true);
    EXPECT_FALSE(AnyExchangeTimer());
}

TEST_F(ExchangeWindow, AStartWithAPortClosedIsRefusedWithTheClosedPortLines)
{
    const struct {
        bool closeLeft, closeRight;
        QStringList log;
    } cases[] = {
        {false, true, {"Правый порт закрыт"}},
        {true, false, {"Левый порт закрыт"}},
        {true, true, {"Левый порт закрыт", "Правый порт закрыт"}},
    };
    ui->EditPered->setEditText("01");
    ui->EditPered2->setEditText("02");
    for (const auto& c : cases) {
        if (c.closeLeft) ui->ClosePort->click();
        if (c.closeRight) ui->ClosePort2->click();
        ui->ButtonObmen->click();
        EXPECT_FALSE(Running());
        EXPECT_EQ(LogLines(ui), c.log);
        ExpectIdleControls(true);
        EXPECT_FALSE(AnyExchangeTimer()) << "nothing runs later either";
        ui->OpenPort->click();
        ui->OpenPort2->click();
    }
    EXPECT_EQ(cable.Relayed(0) + cable.Relayed(1), 0u);
    EXPECT_TRUE(errors.empty());
}

TEST_F(ExchangeWindow, AWrongNumberFieldShowsItsErrorAndTheExchangeStaysIdle)
{
    const struct {
        const char *wait, *delay, *cycles;
        QString message;
    } cases[] = {
        {"", "10", "10", "'' is not a valid integer value"},
        {"100", "1x", "10", "'1x' is not a valid integer value"},  // pasted: the keys would not type it
        {"100", "10", " 5", "' 5' is not a valid integer value"},
        {"100", "10", "0", QString::fromUtf8(TExchange::kZeroCyclesMessage)},
    };
    ui->MemoInfo->setPlainText("kept");
    for (const auto& c : cases) {
        errors.clear();
        SetFields(c.wait, c.delay, c.cycles);
        ui->ButtonObmen->click();
        EXPECT_EQ(errors, std::vector<QString>{c.message});
        EXPECT_FALSE(Running());
        ExpectIdleControls(true);
        EXPECT_EQ(LogLines(ui), QStringList{"kept"});
        EXPECT_FALSE(AnyExchangeTimer());
    }
    EXPECT_EQ(ReceivedUpToAMarker(1), "");
}

TEST_F(ExchangeWindow, TheNumberFieldsTakeOnlyDigitsAndBackspaceFromTheKeyboard)
{
    QApplication::clipboard()->setText("77");
    for (QLineEdit* field : {ui->TimeOzPriom, ui->TimeOtvet, ui->ciklperedPriom}) {
        field->setFocus();
        field->clear();
        Type(field, QStringLiteral("1a -Я2.\t"));
        QTest::keyClick(field, Qt::Key_Return);
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Insert, Qt::ShiftModifier);
        EXPECT_EQ(field->text(), "12");
        Type(field, "3456");
        EXPECT_EQ(field->text(), "1234");  // at most four characters
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClick(field, Qt::Key_Home);
        Type(field, "9");
        EXPECT_EQ(field->text(), "9123");
    }
    EXPECT_FALSE(Running());
}

// Auto-send repeats on every transmit-empty event of the port; the stream is checked by what
// the far side receives.
TEST_F(ExchangeWindow, AutoSendRepeatsTheLastHexSendWithTheLinesCurrentText)
{
    ui->otpravedit->setEditText("11 22");
    ui->autootpravchek->click();
    // Ticked, but nothing was sent yet: the marker's own transmit-empty repeats nothing.
    EXPECT_EQ(ReceivedUpToAMarker(1), "");
    EXPECT_EQ(ReceivedUpToAMarker(1), "\x7E");
    ui->Button8->click();

    ui->OtpravButton->click();
    ASSERT_TRUE(Eventually([&] { return Received(window->Traffic(2)).size() >= 20; }));
    ui->otpravedit->setEditText("33");
    std::string got;
    ASSERT_TRUE(Eventually([&] {
        got = Received(window->Traffic(2));
        return got.size() >= 10 && got.compare(got.size() - 10, 10, std::string(10, '\x33')) == 0;
    }));
    ui->autootpravchek->click();
    EXPECT_FALSE(window->Traffic(1).AutoSend());
    EXPECT_TRUE(window->Traffic(1).LastSendHex());

    // The pairs of the first text, then only the second's bytes.
    size_t at = 0;
    while (got.compare(at, 2, "\x11\x22") == 0)
        at += 2;
    EXPECT_GE(at, 20u);
    EXPECT_EQ(got.find_first_not_of('\x33', at), std::string::npos);

    // Unticked: the write under way arrives, then nothing more (two markers in a row).
    ui->Button8->click();
    const std::string tail = ReceivedUpToAMarker(1);
    EXPECT_EQ(tail.find_first_not_of('\x33'), std::string::npos);
    EXPECT_EQ(ReceivedUpToAMarker(1), tail + "\x7E");
    EXPECT_EQ(cable.Relayed(1), 0u);
    EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0].toStdString());
}

TEST_F(ExchangeWindow, AutoSendRepeatsAnAsciiSendWithTheCarriageReturnOfVk)
{
    ui->otpraveditASCCI2->setEditText(QStringLiteral("Да"));
    ui->VKcheck2->setChecked(true);
    ui->autootpravchek2->click();
    ui->OtpravButtonASCCI2->click();
    std::string got;
    ASSERT_TRUE(Eventually([&] {
        got = Received(window->Traffic(1));
        return got.size() >= 30;
    }));
    ui->autootpravchek2->click();
    // Unticked: the write under way arrives, then nothing more (two markers in a row).
    got = ReceivedUpToAMarker(2);
    EXPECT_EQ(ReceivedUpToAMarker(2), got + "\x7E");
    EXPECT_EQ(cable.Relayed(0), 0u);

    ASSERT_EQ(got.size() % 3, 0u);
    for (size_t at = 0; at < got.size(); at += 3)
        ASSERT_EQ(got.substr(at, 3), "\xC4\xE0\r") << at;
    EXPECT_FALSE(window->Traffic(2).LastSendHex());
    EXPECT_TRUE(errors.empty());
}

class SlotButtons : public ExchangeWindow {
protected:
    void WritePresets(const QByteArray& bytes)
    {
        QFile file(QString::fromStdString(PresetsPath().string()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
};

TEST_F(SlotButtons, EachButtonLoadsItsSlotIntoItsLines)
{
    // Windows line ends, sections in any order, Windows-1251 text.
    WritePresets("[2HEX]\r\n"
                 "10 20\r\n"
                 "30*\r\n"
                 "[/2HEX]\r\n"
                 "[1ASCII]\r\n"
                 "\xCF\xF0\xE8\xE2\xE5\xF2\r\n"  // Привет
                 "\r\n"
                 "[/1ASCII]\r\n"
                 "[1HEX]\r\n"
                 "  01 02*\r\n"
                 "1\r\n"
                 "[1ASCII]\r\n"
                 "[/1HEX]\r\n"
                 "[3HEX]\r\n"
                 "AA\r\n"
                 "[/3HEX]\r\n"
                 "[3ASCII]\r\n"
                 "three\r\n");  // no end marker: runs to the end
    ui->otpravedit->setEditText("keep hex");
    ui->otpraveditASCCI->setEditText("keep ascii");
    ui->otpravedit2->setEditText("keep hex 2");
    ui->otpraveditASCCI2->setEditText("keep ascii 2");
    ui->EditPered->setEditText("keep 1");
    ui->EditPered2->setEditText("keep 2");

    // In order, on one window: a later slot replaces the lists an earlier one loaded.
    const struct {
        QPushButton* button;
        QComboBox* hexLine;
        QStringList hexItems;
        QString hexText;
        QComboBox* asciiLine;  // null for the exchange lines
        QStringList asciiItems;
        QString asciiText;
    } cases[] = {
        {ui->Button1, ui->otpravedit, {"  01 02*", "1", "[1ASCII]"}, "  01 02*", ui->otpraveditASCCI, {"Привет", ""}, "Привет"},
        {ui->Button2, ui->otpravedit, {"10 20", "30*"}, "10 20", ui->otpraveditASCCI, {}, "Привет"},
        {ui->Button6, ui->otpravedit2, {"AA"}, "AA", ui->otpraveditASCCI2, {"three"}, "three"},
        {ui->Button5, ui->otpravedit2, {"10 20", "30*"}, "10 20", ui->otpraveditASCCI2, {}, "three"},
        {ui->Button10, ui->EditPered, {"  01 02*", "1", "[1ASCII]"}, "  01 02*", nullptr, {}, {}},
        {ui->Button11, ui->EditPered, {"10 20", "30*"}, "10 20", nullptr, {}, {}},
        {ui->Button15, ui->EditPered2, {"AA"}, "AA", nullptr, {}, {}},
        {ui->Button13, ui->EditPered2, {"  01 02*", "1", "[1ASCII]"}, "  01 02*", nullptr, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button->objectName().toStdString());
        c.button->click();
        EXPECT_EQ(Items(c.hexLine), c.hexItems);
        EXPECT_EQ(c.hexLine->currentText(), c.hexText);
        if (c.asciiLine) {
            EXPECT_EQ(Items(c.asciiLine), c.asciiItems);
            EXPECT_EQ(c.asciiLine->currentText(), c.asciiText);
        }
    }
    // The exchange lines' buttons leave the panels alone.
    EXPECT_EQ(Items(ui->otpraveditASCCI), QStringList{});
    EXPECT_TRUE(errors.empty());

    // A loaded item sends as typed text does: the spaces are dropped.
    ui->Button1->click();
    ui->OtpravButton->click();
    ASSERT_TRUE(Eventually([&] { return Received(window->Traffic(2)) == "\x01\x02\xFF"; }));
}

TEST_F(SlotButtons, AMissingFileIsReportedAndEmptiesTheListsButKeepsTheTexts)
{
    WritePresets("[1HEX]\n01\n02\n[/1HEX]\n[1ASCII]\nab\n[/1ASCII]\n");
    ui->Button1->click();
    ui->Button10->click();
    ASSERT_EQ(ui->otpravedit->count(), 2);
    std::filesystem::remove(PresetsPath());

    ui->Button1->click();
    ui->Button10->click();
    EXPECT_EQ(errors, (std::vector<QString>{"File not found", "File not found"}));
    for (QComboBox* line : {ui->otpravedit, ui->otpraveditASCCI, ui->EditPered})
        EXPECT_EQ(line->count(), 0) << line->objectName().toStdString();
    EXPECT_EQ(ui->otpravedit->currentText(), "01");
    EXPECT_EQ(ui->otpraveditASCCI->currentText(), "ab");
    EXPECT_EQ(ui->EditPered->currentText(), "01");
}

}  // namespace
