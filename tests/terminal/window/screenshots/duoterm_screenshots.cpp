// Takes pictures of Duoterm's window for a look by eye: both ports closed, both open with the
// modem lines up and after traffic both ways (two pseudo-terminal pairs joined as a null-modem
// cable, their modem lines wired by the modem-line shim), an error box and the about box. Run
// by scripts/screenshots under Xvfb; writes PNG files into the folder given as argument.
#include "terminalport.h"
#include "errorbox.h"
#include "ptycable.h"
#include "tempdir.h"
#include "tform1.h"
#include "tform3.h"
#include "ui_tform1.h"
#include "ui_tform3.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

QString outDir;
bool failed = false;

void Settle(QWidget& window)
{
    window.activateWindow();
    QTest::qWaitFor([&] { return window.isActiveWindow(); }, 3000);
    QTest::qWait(200);
}

void Save(QWidget& window, const char* name)
{
    const QString path = outDir + "/" + name + ".png";
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(path));
        failed = true;
        return;
    }
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: duoterm_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);
    for (const char* file : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
        QFontDatabase::addApplicationFont(QString::fromLatin1(file));

    testsupport::TempDir dir;
    testsupport::PtyCable cable;
    setenv("MODEMSHIM_PAIRS", (cable.LeftPath() + "=" + cable.RightPath()).c_str(), 1);
    duoterm::TForm3Environment env;
    env.ports = [&](const QString& name) {
        return TCustomComm::OpenSystemPort(QString::fromStdString(
            name.toUpper() == "COM1" ? cable.LeftPath() : cable.RightPath()));
    };
    env.portNames = [] { return std::vector<std::string>{"COM1", "COM2", "COM5"}; };
    env.savedTextsPath = QString::fromStdString((dir.Path() / "save.ini").string());
    duoterm::TForm3 window(env);
    window.SetEntryTexts({"01 02 03*", "Привет", "AA BB##CC", "Ответ", "10 20 30*", "40 50 60*"});
    window.show();
    Settle(window);
    Save(window, "duoterm-closed");

    duoterm::SetErrorPresenter([&](const QString& message) {
        const auto box = duoterm::ErrorBox(message);
        box->show();
        Settle(*box);
        Save(*box, "duoterm-error");
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
    Save(window, "duoterm-open");

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
    Save(window, "duoterm-traffic");

    QTimer::singleShot(0, [&] {
        auto* about = window.findChild<duoterm::TForm1*>();
        Settle(*about);
        Save(*about, "duoterm-about");
        about->Form().Button1->click();
    });
    window.N1Click();
    window.Comm1().Close();
    window.Comm2().Close();
    return failed ? 1 : 0;
}
