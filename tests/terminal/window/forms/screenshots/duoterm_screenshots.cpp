// Takes pictures of Duoterm's window for a look by eye: both ports closed, both open with the
// modem lines up and after traffic both ways (two pseudo-terminal pairs joined as a null-modem
// cable, their modem lines wired by the modem-line shim), an error box and the about box, a
// typed rate with a pasted request, a refused shared setting, and the ports without modem
// lines, the menus, a capture running, the views with each tick's time, the timeline of
// both ports and the find dialog with its match;
// then, on a null-modem cable whose relay corrupts a byte, the lists loaded from the sample
// preset file and the exchange during a run and after a run with one mismatch; last, a port
// whose far end went away waiting to reopen. Run by
// scripts/screenshots under Xvfb; writes PNG files into the folder given as argument.
#include "terminalport.h"
#include "testenv.h"
#include "errorbox.h"
#include "pictures.h"
#include "ptycable.h"
#include "tempdir.h"
#include "tform1.h"
#include "portpanel.h"
#include "tform3.h"
#include "timelinewindow.h"
#include "ui_tform1.h"
#include "ui_tform3.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QFontDatabase>
#include <QAbstractItemView>
#include <QMessageBox>
#include <QPainter>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

testsupport::PictureFolder pictures;

// The window with a combo box's open list drawn over it (the list is a window of its own).
void SaveWithPopup(QWidget& window, QComboBox* box, const char* name)
{
    box->showPopup();
    QWidget* popup = box->view()->window();
    if (!QTest::qWaitFor([&] { return popup->isVisible(); }, 3000))
        std::fprintf(stderr, "screenshots: the list of %s did not open\n", qPrintable(box->objectName()));
    QTest::qWait(200);
    QPixmap picture = window.grab();
    {
        QPainter painter(&picture);
        painter.drawPixmap(window.mapFromGlobal(popup->mapToGlobal(QPoint(0, 0))), popup->grab());
    }
    box->hidePopup();
    pictures.Save(picture, name);
}

// The window with a menu of its menu bar open over it.
void SaveWithMenu(QMainWindow& window, QMenu* menu, const char* name)
{
    QTimer::singleShot(0, [&window, menu, name] {
        if (!QTest::qWaitFor([&] { return menu->isVisible(); }, 3000))
            std::fprintf(stderr, "screenshots: the menu %s did not open\n", qPrintable(menu->objectName()));
        QTest::qWait(200);
        QPixmap picture = window.grab();
        {
            QPainter painter(&picture);
            painter.drawPixmap(window.mapFromGlobal(menu->mapToGlobal(QPoint(0, 0))), menu->grab());
        }
        pictures.Save(picture, name);
        menu->close();
    });
    menu->exec(window.mapToGlobal(window.menuBar()->actionGeometry(menu->menuAction()).bottomLeft()));
}

// A port whose far end went away while reopening is on: it waits for its device.
void WaitingShot(const testsupport::TempDir& dir)
{
    testsupport::PtyCable cable;
    duoterm::TForm3Environment env;
    env.ports = [&](const QString& name) {
        return TCustomComm::OpenSystemPort(QString::fromStdString(
            name.toUpper() == "COM1" ? cable.LeftPath() : cable.RightPath()));
    };
    env.portNames = [] { return std::vector<std::string>{"COM1", "COM2"}; };
    env.savedTextsPath = QString::fromStdString((dir.Path() / "save-waiting.ini").string());
    duoterm::TForm3 window(env);
    auto& ui = window.Form();
    window.show();
    ui.Perepodkluchat->trigger();
    ui.OpenPort->click();
    ui.OpenPort2->click();
    duoterm::SetErrorPresenter([](const QString&) {});  // the loss's box is pictured elsewhere
    cable.HangUp(0);
    if (!QTest::qWaitFor([&] { return ui.opovesch->text() == duoterm::kStatusWaiting; }, 5000)) {
        std::fprintf(stderr, "screenshots: the port does not wait for its device\n");
        pictures.Fail();
    }
    pictures.Settle(window);
    pictures.Save(window, "duoterm-waiting-to-reopen");
    duoterm::SetErrorPresenter({});
    window.Comm1().Close();
    window.Comm2().Close();
}

// The preset slots and the exchange, on a cable whose far end corrupts the second message
// port 1 sends.
// From now on an error box would wait for a click no one gives: its text is printed instead,
// and the run fails.
void FailOnErrorBoxes()
{
    duoterm::SetErrorPresenter([](const QString& message) {
        std::fprintf(stderr, "screenshots: unexpected error box: %s\n", qPrintable(message));
        pictures.Fail();
    });
}

void ExchangeShots(const testsupport::TempDir& dir, testsupport::PtyCable& cable)
{
    const auto presets = dir.Path() / "duoterm.ini";
    std::filesystem::copy_file(DUOTERM_PRESETS_SAMPLE, presets, std::filesystem::copy_options::overwrite_existing);
    duoterm::TForm3Environment env;
    env.ports = [&](const QString& name) {
        return TCustomComm::OpenSystemPort(QString::fromStdString(
            name.toUpper() == "COM1" ? cable.LeftPath() : cable.RightPath()));
    };
    env.portNames = [] { return std::vector<std::string>{"COM1", "COM2"}; };
    env.savedTextsPath = QString::fromStdString((dir.Path() / "save-exchange.ini").string());
    env.presetsPath = QString::fromStdString(presets.string());
    FailOnErrorBoxes();
    duoterm::TForm3 window(env);
    auto& ui = window.Form();
    window.show();
    ui.OpenPort->click();
    ui.OpenPort2->click();
    ui.Button1->click();
    ui.Button5->click();
    ui.Button10->click();
    ui.Button14->click();
    pictures.Settle(window);
    SaveWithPopup(window, ui.otpravedit, "duoterm-slots");

    std::atomic<int> chunks{0};
    cable.SetTransform([&](int direction, std::string& bytes) {
        if (direction == 0 && ++chunks == 2 && bytes.size() > 1)
            bytes[1] = static_cast<char>(bytes[1] ^ 0xFF);
    });
    ui.EditPered->setEditText("01 02 03*");
    ui.EditPered2->setEditText("A0 B0 C0");
    // A wait that holds on the Windows build's cable too: under Wine, on ports without modem
    // lines, a message can reach the far side several hundred milliseconds late.
    ui.TimeOzPriom->setText("1000");
    ui.TimeOtvet->setText("10");
    ui.ciklperedPriom->setText("5");
    ui.ButtonObmen->click();
    const bool midway = QTest::qWaitFor([&] { return ui.ProgressBar1->value() >= 6000; }, 30000);
    pictures.Save(window, "duoterm-exchange-running");
    const bool ended = QTest::qWaitFor([&] { return !window.ExchangePanel().Exchange().Running(); }, 30000);
    QTest::qWait(200);
    if (!midway || !ended || ui.MemoInfo->toPlainText().count('\n') != 2) {
        std::fprintf(stderr, "screenshots: the exchange logged %s\n", qPrintable(ui.MemoInfo->toPlainText()));
        pictures.Fail();
    }
    pictures.Save(window, "duoterm-exchange-mismatch");
    duoterm::SetErrorPresenter({});
    window.Comm1().Close();
    window.Comm2().Close();
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: duoterm_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    pictures.Open(QString::fromLocal8Bit(argv[1]));
    for (const char* file : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
        QFontDatabase::addApplicationFont(QString::fromLatin1(file));

    testsupport::TempDir dir;
    testsupport::PtyCable cable;
    if (!cable.Available()) {
        std::fprintf(stderr, "screenshots: no cable for the ports\n");
        return 1;
    }
    testsupport::SetEnv("MODEMSHIM_PAIRS", cable.LeftPath() + "=" + cable.RightPath());
    duoterm::TForm3Environment env;
    env.ports = [&](const QString& name) {
        return TCustomComm::OpenSystemPort(QString::fromStdString(
            name.toUpper() == "COM1" ? cable.LeftPath() : cable.RightPath()));
    };
    env.portNames = [] { return std::vector<std::string>{"COM1", "COM2", "COM5"}; };
    env.savedTextsPath = QString::fromStdString((dir.Path() / "save.ini").string());
    env.capturePath = [&](QWidget*) { return QString::fromStdString((dir.Path() / "capture.txt").string()); };
    duoterm::TForm3 window(env);
    window.SetEntryTexts({"01 02 03*", "Привет", "AA BB##CC", "Ответ", "10 20 30*", "40 50 60*"});
    window.show();
    pictures.Settle(window);
    pictures.Save(window, "duoterm-closed");

    duoterm::SetErrorPresenter([&](const QString& message) {
        const auto box = duoterm::ErrorBox(message);
        box->show();
        pictures.Settle(*box);
        pictures.Save(*box, "duoterm-error");
        box->hide();
    });
    window.Form().DTR1chek->click();  // on a closed port
    duoterm::SetErrorPresenter({});

    // The DTR box of port 1 kept its tick; opening puts it on the line.
    window.Form().OpenPort->click();
    window.Form().OpenPort2->click();
    window.Form().RTS1chek->click();
    window.Form().DTR2chek->click();
    window.Form().RTS2chek->click();
    QTest::qWaitFor([&] { return window.Form().CTS222->text() == "CTS: YES"; }, 3000);
    QTest::qWait(200);
    pictures.Save(window, "duoterm-open");

    // Traffic: a request with its checksum from the left, Cyrillic text from the right, and
    // a reply with line ends, each shown in the other panel's views.
    window.Form().otpravedit->setEditText("01 02 03* 0A## 41 42 00");
    window.Form().OtpravButton->click();
    window.Form().otpraveditASCCI2->setEditText(QStringLiteral("Привет, мир! Съешь же ещё этих мягких булок"));
    window.Form().VKcheck2->setChecked(true);
    window.Form().OtpravButtonASCCI2->click();
    window.Form().otpraveditASCCI->setEditText(QStringLiteral("Ответ: OK"));
    window.Form().OtpravButtonASCCI->click();
    QTest::qWaitFor([&] {
        return window.Traffic(1).Log().TotalBytes() >= 44 && window.Traffic(2).Log().TotalBytes() >= 18;
    }, 3000);
    QTest::qWait(200);
    pictures.Save(window, "duoterm-traffic");

    // The menus, a capture running (its file named at the menu bar's end), and the views with
    // each tick's time.
    SaveWithMenu(window, window.Form().fileOp, "duoterm-menu-file");
    SaveWithMenu(window, window.Form().parametry, "duoterm-menu-options");
    window.Form().ZapisVFail->trigger();
    window.Form().otpravedit->setEditText("10 20 30 40 50 60 70 80 90*");
    window.Form().OtpravButton->click();
    window.Form().otpraveditASCCI2->setEditText(QStringLiteral("Запись идёт"));
    window.Form().OtpravButtonASCCI2->click();
    QTest::qWaitFor([&] {
        return window.Traffic(1).Log().TotalBytes() >= 56 && window.Traffic(2).Log().TotalBytes() >= 28;
    }, 3000);
    QTest::qWait(200);
    pictures.Save(window, "duoterm-capture-running");
    window.Form().VremyaPriema->trigger();
    pictures.Settle(window);
    pictures.Save(window, "duoterm-views-with-time");
    window.Form().VremyaPriema->trigger();
    window.Form().OstanovitZapis->trigger();
    // The timeline of both ports, and the find dialog with a match selected.
    window.Form().LentaObmena->trigger();
    pictures.Settle(*window.TimelineWindow());
    pictures.Save(*window.TimelineWindow(), "duoterm-timeline");
    window.TimelineWindow()->hide();
    window.Form().dataHex2->setFocus();
    window.Panel(2).find->Open(true);
    window.Panel(2).find->text->setText("0A 41");
    window.Panel(2).find->next->click();
    pictures.Settle(*window.Panel(2).find);
    pictures.Save(window, "duoterm-find-match");
    pictures.Save(*window.Panel(2).find, "duoterm-find-dialog");
    window.Panel(2).find->hide();

    QTimer::singleShot(0, [&] {
        auto* about = window.findChild<duoterm::TForm1*>();
        pictures.Settle(*about);
        pictures.Save(*about, "duoterm-about");
        about->Form().Button1->click();
    });
    window.N1Click();

    // A rate typed into the rate box and a HEX request pasted over three lines, which the line
    // holds as one; then a shared setting the right port refuses, and its box.
    auto& ui = window.Form();
    ui.Speed->lineEdit()->setText("250000");
    emit ui.Speed->lineEdit()->editingFinished();
    QApplication::clipboard()->setText("01 02\n03 04\r\n05");
    ui.otpravedit->lineEdit()->selectAll();
    ui.otpravedit->lineEdit()->paste();
    pictures.Settle(window);
    pictures.Save(window, "duoterm-typed-rate-and-paste");
    duoterm::SetErrorPresenter([&](const QString& message) {
        const auto box = duoterm::ErrorBox(message);
        box->show();
        pictures.Settle(*box);
        pictures.Save(*box, "duoterm-refused-setting");
        box->hide();
    });
    ui.chetnost->setCurrentIndex(0);  // Even, which a pseudo-terminal cannot take
    emit ui.chetnost->activated(0);

    // Back to no parity, which every device takes: Wine's ports take Even while open and then
    // refuse it (error 87) when they are opened again.
    ui.chetnost->setCurrentIndex(2);
    emit ui.chetnost->activated(2);

    // The ports as they are, without modem lines: they open and work, the lines stay at NO.
    FailOnErrorBoxes();
    testsupport::SetEnv("MODEMSHIM_OFF", "1");
    ui.ClosePort->click();
    ui.ClosePort2->click();
    ui.OpenPort->click();
    ui.OpenPort2->click();
    ui.Button7->click();
    ui.Button8->click();
    ui.otpravedit->setEditText("55 AA*");
    ui.OtpravButton->click();
    QTest::qWaitFor([&] { return window.Traffic(2).Log().TotalBytes() >= 3; }, 3000);
    pictures.Settle(window);
    pictures.Save(window, "duoterm-no-modem-lines");
    testsupport::UnsetEnv("MODEMSHIM_OFF");
    duoterm::SetErrorPresenter({});

    window.Comm1().Close();
    window.Comm2().Close();
    window.hide();

    ExchangeShots(dir, cable);
    WaitingShot(dir);
    return pictures.Failed() ? 1 : 0;
}
