// Duoterm's window on pseudo-terminal pairs wired as a null modem by the modem-line shim:
// start-up, the port panels, the error box, the size cap and the saved texts at exit.
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
#include <QDate>
#include <QKeyEvent>
#include <QLocale>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <cstdlib>
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
    }

    QString SavePath() const { return QString::fromStdString((dir.Path() / "save.ini").string()); }

    void Start(std::vector<std::string> names = {})
    {
        TForm3Environment env;
        env.ports = [this](const QString& name) {
            const std::string upper = name.toUpper().toStdString();
            const std::string path = upper == "COM1" ? left->SlavePath()
                                     : upper == "COM2" ? right->SlavePath()
                                                       : "/nonexistent/" + upper;
            return TCustomComm::OpenSystemPort(QString::fromStdString(path));
        };
        env.portNames = [names] { return names; };
        env.savedTextsPath = SavePath();
        window = std::make_unique<TForm3>(env);
        window->show();
        ui = &window->Form();
    }

    testsupport::TempDir dir;
    std::unique_ptr<PtyPair> left = std::make_unique<PtyPair>();
    std::unique_ptr<PtyPair> right = std::make_unique<PtyPair>();
    std::vector<QString> errors;
    std::unique_ptr<TForm3> window;
    Ui::TForm3* ui = nullptr;
};

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
    // Typed into the port box: each keystroke is a change of the port.
    ui->COM->lineEdit()->selectAll();
    Type(ui->COM->lineEdit(), "COM9");
    EXPECT_EQ(window->Comm1().DeviceName(), "COM9");
    ui->OpenPort->click();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].startsWith("Error accessing specified device (Error: "));
    EXPECT_EQ(ui->opovesch->text(), "Устройство не подключено! COM-порт ЗАКРЫТ");
    EXPECT_TRUE(ui->OpenPort->isEnabled());
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
    EXPECT_EQ(errors[0], kDeviceLostMessage.arg("Com1"));
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
