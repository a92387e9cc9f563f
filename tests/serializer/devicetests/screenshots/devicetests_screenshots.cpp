// Takes pictures of Eemint's main window after a passed and after a failed loopback test on
// the simulated bench (the failed one with the rig's COM1 RTS to RI wire cut), for a person
// to look at. Usage: devicetests_screenshots OUTPUT_FOLDER (run it under an X server).
#include <cstdio>
#include <memory>

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include "benchcontrol.h"
#include "eemintforms.h"
#include "mvdriver.h"
#include "sdiappform.h"

namespace {

bool Shoot(const QString& file, bool cutRiWire)
{
    if (!mvbench::Reset() || !mvbench::SetTiming(mvbench::Timing::Fast) ||
        (cutRiWire && !mvbench::CutWire(mvbench::Wire::Com1RtsToRi))) {
        std::fprintf(stderr, "bench: %s\n", mvbench::LastError().c_str());
        return false;
    }
    eemint::EemintForms forms;
    eemint::TSDIAppForm* window = forms.SDIAppForm();
    window->show();
    QApplication::processEvents();
    window->TestItemClick();
    QApplication::processEvents();
    const bool saved = window->grab().save(file);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(file));
    return saved;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: devicetests_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    eemint::InstallDriver(&eemint::SystemDriver());
    QApplication app(argc, argv);
    const QDir out(QString::fromLocal8Bit(argv[1]));
    bool ok = Shoot(out.filePath("loopback-passed.png"), false);
    ok = Shoot(out.filePath("loopback-failed.png"), true) && ok;
    return ok ? 0 : 1;
}
