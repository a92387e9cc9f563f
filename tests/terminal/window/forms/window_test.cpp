// Duoterm's window on pseudo-terminal pairs wired as a null modem by the modem-line shim:
// start-up, the port panels, the error box, the size cap and the saved texts at exit.
#include "captureformat.h"
#include "errorbox.h"
#include "ptypair.h"
#include "windowtesting.h"
#include "tempdir.h"
#include "tform1.h"
#include "tform3.h"
#include "terminalport.h"
#include "ui_tform1.h"
#include "ui_tform3.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QDate>
#include <QKeyEvent>
#include <QLocale>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <filesystem>
#include <map>
#include <memory>

using namespace duoterm;
using namespace windowtesting;
using testsupport::PtyPair;

namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("MODEMSHIM_PAIRS", (left->SlavePath() + "=" + right->SlavePath()).c_str(), 1);
        SetErrorPresenter([this](const QString& message) { errors.push_back(message); });
    }
    void TearDown() override
    {
        window.reset();
        SetErrorPresenter({});
        unsetenv("MODEMSHIM_PAIRS");
        unsetenv("MODEMSHIM_OFF");
    }

    QString SavePath() const { return QString::fromStdString((dir.Path() / "save.ini").string()); }

    void Start(std::vector<std::string> names = {})
    {
        TForm3Environment env;
        env.ports = [this](const QString& name) {
            ++opens[name.toUpper().toStdString()];
            const std::string upper = name.toUpper().toStdString();
            const std::string path = upper == "COM1"          ? left->SlavePath()
                                     : upper == "COM2"        ? right->SlavePath()
                                     : name.startsWith('/') ? name.toStdString()
                                                              : "/nonexistent/" + upper;
            return TCustomComm::OpenSystemPort(QString::fromStdString(path));
        };
        env.portNames = [names] { return names; };
        env.savedTextsPath = SavePath();
        env.capturePath = [this](QWidget*) { return capturePath; };
        window = std::make_unique<TForm3>(env);
        window->show();
        ui = &window->Form();
    }

    testsupport::TempDir dir;
    std::unique_ptr<PtyPair> left = std::make_unique<PtyPair>();
    std::unique_ptr<PtyPair> right = std::make_unique<PtyPair>();
    std::vector<QString> errors;
    std::map<std::string, int> opens;
    QString capturePath;  // what the capture's save dialog answers
    std::unique_ptr<TForm3> window;
    Ui::TForm3* ui = nullptr;
};

// Types a text over the whole of a box's text.
void TypeOver(QComboBox* box, const QString& text)
{
    box->lineEdit()->selectAll();
    Type(box->lineEdit(), text);
}

// Moves the focus into a widget of the active window, or away to another.
void FocusOn(QWidget* widget)
{
    widget->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(Eventually([&] { return widget->hasFocus(); }));
}

TEST_F(WindowTest, FirstStartHasTheDesignedWindowAndNoBox)
{
    Start();
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(window->windowTitle(), "Duoterm V 1.01");
    EXPECT_EQ(ui->COM->count(), 10);
    EXPECT_EQ(ui->COM->currentText(), "COM1");
    EXPECT_EQ(ui->COM2->currentText(), "COM2");
    EXPECT_EQ(window->Comm1().DeviceName(), "Com1");
    EXPECT_EQ(window->Comm2().DeviceName(), "Com2");
    EXPECT_EQ(ui->Speed->currentText(), "4800");
    EXPECT_EQ(ui->chetnost2->currentText(), "None");
    EXPECT_EQ(ui->StopBit->currentText(), "2");
    EXPECT_EQ(ui->opovesch->text(), "COM - ПОРТ ЗАКРЫТ!!!");
    EXPECT_FALSE(ui->ClosePort2->isEnabled());
    EXPECT_TRUE(ui->odinnastr->isChecked() && ui->odinnastr2->isChecked());
    EXPECT_FALSE(ui->NastrCom1->isVisible());
    EXPECT_TRUE(ui->NastrCOM2Panel->isVisible());
    EXPECT_EQ(window->EntryTexts(), SavedTexts{});
}

TEST_F(WindowTest, StartRestoresTheTextsThenDiscoversThePorts)
{
    QFile file(SavePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("01 02*\r\n \xCF\xF0\xE8\xE2\xE5\xF2 \r\n");  // " Привет "
    file.close();
    Start({"COM1", "COM3", "COM12"});
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(window->EntryTexts(), (SavedTexts{"01 02*", " Привет ", "", "", "", ""}));
    EXPECT_EQ(ui->COM->count(), 3);
    EXPECT_EQ(ui->COM2->itemText(2), "COM12");
    EXPECT_EQ(window->Comm1().DeviceName(), "COM1");
    EXPECT_EQ(window->Comm2().DeviceName(), "COM3");
}

TEST_F(WindowTest, AnUnreadableTextFileIsReportedAndDiscoveryStillRuns)
{
    std::filesystem::create_directory(dir.Path() / "save.ini");
    Start({"COM4", "COM5"});
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(window->Comm2().DeviceName(), "COM5");
}

TEST_F(WindowTest, PortsOpenCloseAndShowTheirLinesThroughTheButtons)
{
    Start();
    ui->DTR1chek->click();  // on a closed port: the component's error, the box keeps its tick
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Port not open, unable to complete operation (Error: -1) ");
    EXPECT_TRUE(ui->DTR1chek->isChecked());
    ui->RTS1chek->click();
    errors.clear();

    ui->OpenPort2->click();
    ui->OpenPort->click();
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(ui->opovesch->text(), "COM-порт ОТКРЫТ");
    EXPECT_EQ(ui->opovesch2->text(), "COM-порт ОТКРЫТ!!!");
    EXPECT_FALSE(ui->OpenPort->isEnabled());
    EXPECT_TRUE(ui->ClosePort->isEnabled());
    // Port 1 raised DTR and RTS on opening; the null modem shows them on port 2's side.
    EXPECT_TRUE(Eventually([&] { return ui->DSR222->text() == "DSR: YES" && ui->CTS222->text() == "CTS: YES"; }));
    EXPECT_EQ(ui->DCD222->text(), "DCD: YES");
    EXPECT_TRUE(ui->DSR222->styleSheet().contains("rgb(0, 128, 0)"));
    // The labels sit side by side: each text, YES too, leaves a gap before the next label.
    for (QLabel* label : {ui->DSR222, ui->CTS222, ui->DCD222, ui->RI222}) {
        label->ensurePolished();
        EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width() - 4)
            << label->objectName().toStdString() << " " << label->text().toStdString();
    }

    ui->DTR1chek->click();
    EXPECT_TRUE(Eventually([&] { return ui->DSR222->text() == "DSR: NO"; }));
    EXPECT_EQ(ui->DCD222->text(), "DCD: NO");
    EXPECT_EQ(ui->CTS222->text(), "CTS: YES");

    ui->ClosePort2->click();
    EXPECT_EQ(ui->opovesch2->text(), "COM - ПОРТ ЗАКРЫТ!!!");
    EXPECT_FALSE(ui->OtpravButton2->isEnabled());
    EXPECT_EQ(ui->CTS222->text(), "CTS: YES");  // the labels keep their last state
    EXPECT_TRUE(errors.empty());
}

TEST_F(WindowTest, AFailedOpenShowsTheErrorAndTheNotConnectedStatus)
{
    Start();
    TypeOver(ui->COM, "COM9");
    ui->OpenPort->click();
    EXPECT_EQ(window->Comm1().DeviceName(), "COM9");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].startsWith("Error accessing specified device (Error: "));
    EXPECT_EQ(ui->opovesch->text(), "Устройство не подключено! COM-порт ЗАКРЫТ");
    EXPECT_TRUE(ui->OpenPort->isEnabled());
}

TEST_F(WindowTest, LeavingAPortBoxReopensNothingAndOnlyAnotherPortDoes)
{
    Start({"COM1", "COM2", "COM3"});
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ui->OpenPort2->click();
    ASSERT_EQ(opens["COM2"], 1);
    FocusOn(ui->COM2);
    FocusOn(ui->otpravedit);
    Key(ui->COM2->lineEdit(), "\r", Qt::Key_Return);
    ui->COM2->setCurrentIndex(1);
    emit ui->COM2->activated(1);  // the item already in use, chosen again
    EXPECT_EQ(opens["COM2"], 1);
    EXPECT_TRUE(window->Comm2().IsOpen());
    EXPECT_EQ(ui->opovesch2->text(), "COM-порт ОТКРЫТ!!!");
    EXPECT_TRUE(errors.empty());

    ui->COM2->setCurrentIndex(2);
    emit ui->COM2->activated(2);  // a port that is not there: closed, with its error
    EXPECT_EQ(opens["COM3"], 1);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].startsWith("Error accessing specified device (Error: "));
    EXPECT_FALSE(window->Comm2().IsOpen());
    EXPECT_EQ(ui->opovesch2->text(), "COM - ПОРТ ЗАКРЫТ!!!");
    EXPECT_TRUE(ui->OpenPort2->isEnabled());
}

TEST_F(WindowTest, ATypedPortNameOpensThatPortOrFails)
{
    Start({"COM1", "COM2"});
    struct Case {
        QString typed;
        PtyPair* opened;  // null: the open fails
    } cases[] = {
        {"com2", right.get()},
        {QString::fromStdString(right->SlavePath()), right.get()},
        {"COM1", left.get()},
        {"blah", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        ui->ClosePort->click();
        errors.clear();
        TypeOver(ui->COM, c.typed);
        ui->OpenPort->click();
        EXPECT_EQ(window->Comm1().DeviceName(), c.typed);
        if (!c.opened) {
            ASSERT_EQ(errors.size(), 1u);
            EXPECT_TRUE(errors[0].startsWith("Error accessing specified device (Error: "));
            EXPECT_EQ(ui->opovesch->text(), "Устройство не подключено! COM-порт ЗАКРЫТ");
            EXPECT_TRUE(ui->OpenPort->isEnabled());
            EXPECT_FALSE(window->Comm1().IsOpen());
            continue;
        }
        EXPECT_TRUE(errors.empty());
        EXPECT_EQ(ui->opovesch->text(), "COM-порт ОТКРЫТ");
        ui->otpravedit->setEditText("5A A5");
        ui->OtpravButton->click();
        EXPECT_EQ(c.opened->ReadMaster(2), "\x5A\xA5");
    }

    // Confirmed with Enter while open, a typed name reopens on that port.
    errors.clear();
    ui->ClosePort->click();
    TypeOver(ui->COM, "COM1");
    ui->OpenPort->click();
    TypeOver(ui->COM, QString::fromStdString(right->SlavePath()));
    Key(ui->COM->lineEdit(), "\r", Qt::Key_Return);
    EXPECT_TRUE(window->Comm1().IsOpen());
    EXPECT_EQ(ui->opovesch->text(), "COM-порт ОТКРЫТ");
    ui->otpravedit->setEditText("C3");
    ui->OtpravButton->click();
    EXPECT_EQ(right->ReadMaster(1), "\xC3");
    EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0].toStdString());
}

TEST_F(WindowTest, APortWithoutModemLinesOpensAndWorksAndItsLinesStayOff)
{
    setenv("MODEMSHIM_OFF", "1", 1);  // the pseudo-terminals as they are: no modem lines
    Start();
    ui->DTR1chek->click();  // ticked while closed: put on the lines at the open
    ui->RTS2chek->click();
    errors.clear();
    ui->OpenPort->click();
    ui->OpenPort2->click();
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(window->Comm1().IsOpen());
    EXPECT_EQ(ui->opovesch->text(), "COM-порт ОТКРЫТ");
    EXPECT_EQ(ui->opovesch2->text(), "COM-порт ОТКРЫТ!!!");
    EXPECT_FALSE(ui->OpenPort->isEnabled());
    EXPECT_FALSE(ui->OpenPort2->isEnabled());
    ui->DTR1chek->click();
    ui->RTS1chek->click();
    EXPECT_TRUE(errors.empty());
    for (QLabel* label : {ui->DSR111, ui->CTS111, ui->DCD111, ui->RI111, ui->DSR222, ui->CTS222, ui->DCD222, ui->RI222})
        EXPECT_TRUE(label->text().endsWith(": NO")) << label->objectName().toStdString();

    ui->otpravedit->setEditText("01 02");
    ui->OtpravButton->click();
    EXPECT_EQ(left->ReadMaster(2), "\x01\x02");
    right->WriteMaster("\x7E", 1);
    EXPECT_TRUE(Eventually([&] { return Received(window->Traffic(2)) == "\x7E"; }));
    EXPECT_TRUE(errors.empty());
}

using CableWindow = CableWindowTest;

TEST_F(CableWindow, ATypedRateAppliesOnEnterOrLeavingTheBox)
{
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    enum Confirm { Enter, Leave };
    struct Case {
        QString typed;
        Confirm confirm;
        bool shared;
        uint32_t rate1, rate2;
    } cases[] = {
        {"250000", Enter, true, 250000, 250000},
        {"1200", Leave, true, 1200, 1200},
        {"abc", Enter, true, 1200, 1200},
        {" 19200 ", Leave, true, 19200, 19200},
        {"0", Enter, false, 19200, 19200},  // no rate
        {"57600", Leave, false, 57600, 19200},
        {"1234567", Enter, false, 1234567, 19200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        errors.clear();
        if (ui->odinnastr->isChecked() != c.shared)
            ui->odinnastr->click();
        FocusOn(ui->Speed);
        TypeOver(ui->Speed, c.typed);
        if (c.confirm == Enter)
            Key(ui->Speed->lineEdit(), "\r", Qt::Key_Return);
        else
            FocusOn(ui->otpravedit);
        EXPECT_EQ(window->Comm1().BaudRateBps(), c.rate1);
        EXPECT_EQ(window->Comm2().BaudRateBps(), c.rate2);
        EXPECT_EQ(ui->Speed->currentText(), QString::number(c.rate1));
        EXPECT_EQ(ui->Speed2->currentText(), QString::number(c.rate2));
        EXPECT_TRUE(errors.empty());
        EXPECT_TRUE(window->Comm1().IsOpen());
        EXPECT_EQ(ui->opovesch->text(), "COM-порт ОТКРЫТ");
        EXPECT_FALSE(ui->OpenPort->isEnabled());
    }
    ui->otpravedit->setEditText("3C");
    ui->OtpravButton->click();
    EXPECT_TRUE(Eventually([&] { return Received(window->Traffic(2)) == "\x3C"; }));
}

TEST_F(CableWindow, SharedSettingsThatAPortRefusesLeaveEachSideShowingWhatItsPortHas)
{
    const QString refusal = QStringLiteral("не принял настройку: Error updating DataControlBlock (Error: 22)");
    // Even parity, which a pseudo-terminal cannot take, chosen on port 1 while both are open.
    ui->chetnost->setCurrentIndex(0);
    emit ui->chetnost->activated(0);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Правый порт (COM2) " + refusal + "\nЛевый порт (COM1) " + refusal);
    for (TComm* comm : {&window->Comm1(), &window->Comm2()}) {
        EXPECT_TRUE(comm->IsOpen());
        EXPECT_EQ(comm->Parity(), paNone);
    }
    EXPECT_EQ(ui->chetnost->currentText(), "None");
    EXPECT_EQ(ui->chetnost2->currentText(), "None");
    EXPECT_EQ(ui->opovesch->text(), "COM-порт ОТКРЫТ");
    EXPECT_FALSE(ui->OpenPort->isEnabled());
    ui->otpravedit->setEditText("01");
    ui->OtpravButton->click();
    EXPECT_TRUE(Eventually([&] { return Received(window->Traffic(2)) == "\x01"; }));

    // Stored on closed port 1, then shared: port 2 refuses it, and port 1 takes port 2's back.
    errors.clear();
    ui->odinnastr->click();
    ui->ClosePort->click();
    ui->chetnost->setCurrentIndex(0);
    emit ui->chetnost->activated(0);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(window->Comm1().Parity(), paEven);
    ui->odinnastr->click();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Правый порт (COM2) " + refusal);
    EXPECT_EQ(window->Comm1().Parity(), paNone);
    EXPECT_EQ(window->Comm2().Parity(), paNone);
    EXPECT_EQ(ui->chetnost->currentText(), "None");
    EXPECT_EQ(ui->chetnost2->currentText(), "None");
    EXPECT_TRUE(ui->odinnastr->isChecked());
    EXPECT_TRUE(ui->odinnastr2->isChecked());
    EXPECT_TRUE(window->Comm2().IsOpen());
}

TEST_F(WindowTest, ASharedSettingShowsInTheOtherSelector)
{
    Start();
    ui->OpenPort->click();
    ui->OpenPort2->click();
    for (int item = 0; item < ui->Speed->count(); ++item) {
        ui->Speed->setCurrentIndex(item);
        emit ui->Speed->activated(item);
        EXPECT_EQ(ui->Speed2->currentText(), ui->Speed->itemText(item));
    }
    EXPECT_EQ(window->Comm2().BaudRate(), cbr115200);
    EXPECT_EQ(ui->opovesch->text(), "COM-порт ОТКРЫТ");
    ui->odinnastr2->click();
    EXPECT_FALSE(ui->odinnastr->isChecked());
    EXPECT_TRUE(errors.empty());
}

TEST_F(WindowTest, APortThatGoesAwayIsShownClosedWithOneBoxAndOpensAgain)
{
    Start();
    ui->OpenPort->click();
    left->CloseMaster();
    ASSERT_TRUE(Eventually([&] { return !errors.empty(); }));
    EXPECT_EQ(errors[0], kDeviceLostMessage.arg("COM1"));  // the port as its box names it
    EXPECT_EQ(ui->opovesch->text(), "COM - ПОРТ ЗАКРЫТ!!!");
    EXPECT_TRUE(ui->OpenPort->isEnabled());
    EXPECT_FALSE(window->Comm1().IsOpen());

    left = std::make_unique<PtyPair>();
    ui->OpenPort->click();
    EXPECT_TRUE(window->Comm1().IsOpen());
    // Bytes from the new far end come through; by then a second box would have been shown.
    left->WriteMaster("\x55", 1);
    ASSERT_TRUE(Eventually([&] { return Received(window->Traffic(1)) == "\x55"; }));
    EXPECT_EQ(errors.size(), 1u);
}

// Everything a capture file holds of one port and direction, and its port events.
struct CaptureContents {
    std::string rx1;
    std::vector<traffic::PortEvent> events1;
    traffic::CaptureFile file;
};
CaptureContents ReadBack(const QString& path)
{
    CaptureContents contents;
    EXPECT_TRUE(traffic::ReadCaptureFile(path.toStdString(), contents.file));
    for (const traffic::CaptureRecord& record : contents.file.records) {
        if (record.port != 1)
            continue;
        if (record.kind == traffic::CaptureKind::Received)
            contents.rx1.append(record.bytes.begin(), record.bytes.end());
        if (record.kind == traffic::CaptureKind::PortEvent)
            contents.events1.push_back(record.event);
    }
    return contents;
}

TEST_F(WindowTest, WithReopeningOnALostPortWaitsAndOpensAgainAndTheCaptureGoesOn)
{
    Start();
    EXPECT_FALSE(ui->Perepodkluchat->isChecked());  // off as designed
    ui->Perepodkluchat->trigger();
    capturePath = QString::fromStdString((dir.Path() / "reopen.txt").string());
    ui->ZapisVFail->trigger();
    ui->OpenPort->click();
    left->WriteMaster("\x01\x02", 2);
    ASSERT_TRUE(Eventually([&] { return Received(window->Traffic(1)) == "\x01\x02"; }));

    left->CloseMaster();
    ASSERT_TRUE(Eventually([&] { return ui->opovesch->text() == kStatusWaiting && !errors.empty(); }));
    ASSERT_EQ(errors.size(), 1u);  // the loss is told once; the attempts show nothing
    EXPECT_EQ(errors[0], kDeviceLostMessage.arg("COM1"));
    EXPECT_FALSE(window->Comm1().IsOpen());
    EXPECT_TRUE(window->Reopen(1).Waiting());
    // Some attempts fail while the device is away, and the label still says it waits.
    const int before = opens["COM1"];
    ASSERT_TRUE(Eventually([&] { return opens["COM1"] >= before + 2; }));
    EXPECT_EQ(ui->opovesch->text(), kStatusWaiting);

    left = std::make_unique<PtyPair>();  // the device is back
    ASSERT_TRUE(Eventually([&] { return window->Comm1().IsOpen(); }));
    EXPECT_EQ(ui->opovesch->text(), kStatusOpen);
    EXPECT_FALSE(ui->OpenPort->isEnabled());
    left->WriteMaster("\x03", 1);
    ASSERT_TRUE(Eventually([&] { return Received(window->Traffic(1)) == "\x01\x02\x03"; }));
    EXPECT_EQ(errors.size(), 1u);

    ui->OstanovitZapis->trigger();
    const CaptureContents contents = ReadBack(capturePath);
    EXPECT_EQ(contents.rx1, "\x01\x02\x03");
    EXPECT_EQ(contents.events1, (std::vector{traffic::PortEvent::Opened, traffic::PortEvent::Lost,
                                             traffic::PortEvent::Reopened}));
}

TEST_F(WindowTest, WithReopeningOffOrAfterTheUserClosesALostPortStaysClosed)
{
    Start();
    ui->OpenPort->click();
    left->CloseMaster();
    ASSERT_TRUE(Eventually([&] { return !errors.empty(); }));
    EXPECT_EQ(ui->opovesch->text(), kStatusClosed);
    EXPECT_FALSE(window->Reopen(1).Waiting());
    // Switched on later, the port lost earlier is waited for; a setting the user chooses
    // ends the wait (the port is no longer the one that was lost).
    ui->Perepodkluchat->trigger();
    EXPECT_EQ(ui->opovesch->text(), kStatusWaiting);
    ui->Speed->setCurrentIndex(6);
    emit ui->Speed->activated(6);
    EXPECT_FALSE(window->Reopen(1).Waiting());
    EXPECT_EQ(ui->opovesch->text(), kStatusClosed);
    const int attempts = opens["COM1"];
    left = std::make_unique<PtyPair>();
    QTest::qWait(1200);  // past two attempts' time: nothing is tried, nothing opens
    EXPECT_EQ(opens["COM1"], attempts);
    EXPECT_FALSE(window->Comm1().IsOpen());
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(WindowTest, ACaptureOntoAFullDiskStopsWithOneBoxAndTheWindowAndTheFileStayWhole)
{
    Start();
    ui->OpenPort->click();
    capturePath = QString::fromStdString((dir.Path() / "full.txt").string());
    ui->ZapisVFail->trigger();
    ASSERT_TRUE(window->Capture().Running());
    // A file size limit stands in for a full disk; a write past it fails with EFBIG.
    struct Limit {
        rlimit old{};
        void (*oldHandler)(int) = nullptr;
        Limit()
        {
            ::getrlimit(RLIMIT_FSIZE, &old);
            oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            rlimit small{32 * 1024, old.rlim_max};
            ::setrlimit(RLIMIT_FSIZE, &small);
        }
        ~Limit()
        {
            ::setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, oldHandler);
        }
    } limit;
    std::string sent;
    for (int i = 0; i < 40 && errors.empty(); ++i) {
        const std::string chunk(1000, static_cast<char>('A' + i % 26));
        left->WriteMaster(chunk.data(), chunk.size());
        sent += chunk;
        ASSERT_TRUE(Eventually([&] { return Received(window->Traffic(1)).size() == sent.size(); }));
    }
    ASSERT_TRUE(Eventually([&] { return !errors.empty(); }));
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("Запись в файл остановлена: write "))) << errors[0].toStdString();
    EXPECT_FALSE(window->Capture().Running());
    EXPECT_FALSE(ui->OstanovitZapis->isEnabled());
    // The window goes on receiving, and no second box comes.
    left->WriteMaster("xyz", 3);
    ASSERT_TRUE(Eventually([&] { return Received(window->Traffic(1)) == sent + "xyz"; }));
    QTest::qWait(600);
    EXPECT_EQ(errors.size(), 1u);
    // The file holds whole lines, the first of what was received.
    const CaptureContents contents = ReadBack(capturePath);
    EXPECT_TRUE(contents.file.problems.empty());
    EXPECT_FALSE(contents.file.truncated);
    EXPECT_FALSE(contents.file.stopped);
    EXPECT_GT(contents.rx1.size(), 0u);
    EXPECT_EQ(sent.compare(0, contents.rx1.size(), contents.rx1), 0);
}

TEST_F(WindowTest, TheWindowCannotGrowPastItsPanels)
{
    Start();
    window->resize(1200, 1000);
    EXPECT_EQ(window->frameGeometry().width(), 833);
    EXPECT_EQ(window->height(), window->SizeLimit().height());
    window->resize(400, 300);
    EXPECT_EQ(window->size(), QSize(400, 300));
}

TEST_F(WindowTest, ClosingStoresTheTextsTypedInWindows1251)
{
    Start();
    ui->otpraveditASCCI->setFocus();
    Type(ui->otpraveditASCCI, QStringLiteral(" Щука №1 "));
    Type(ui->EditPered2, QStringLiteral("AA BB"));
    ui->OpenPort->click();
    window->N2Click();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->Comm1().IsOpen());
    QFile file(SavePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("\r\n \xD9\xF3\xEA\xE0 \xB9" "1 \r\n\r\n\r\n\r\nAA BB\r\n"));
    EXPECT_TRUE(errors.empty());
}

TEST_F(WindowTest, AWindowWhoseTextsCannotBeStoredStillCloses)
{
    Start();
    std::filesystem::create_directory(dir.Path() / "save.ini");
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(WindowTest, TheClockRunsOnceASecond)
{
    Start();
    EXPECT_EQ(ui->SystemTimeCaption->text(), "SystemTimeCaption");
    ASSERT_TRUE(Eventually([&] { return ui->SystemTimeCaption->text() != "SystemTimeCaption"; }, 3000));
    const QString first = ui->SystemTimeCaption->text();
    EXPECT_TRUE(first.startsWith(QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat)))
        << first.toStdString();
    EXPECT_TRUE(Eventually([&] { return ui->SystemTimeCaption->text() != first; }, 3000));
}

TEST_F(WindowTest, TheAboutBoxOpensFromTheMenuAndCloses)
{
    Start();
    QTimer::singleShot(0, [this] {
        auto* about = window->findChild<TForm1*>();
        ASSERT_TRUE(about && about->isVisible());
        EXPECT_EQ(about->windowTitle(), "О программе Duoterm");
        EXPECT_EQ(about->size(), QSize(240, 198));
        about->Form().Button1->click();
    });
    ui->N1->trigger();
    EXPECT_TRUE(errors.empty());
}

}  // namespace
