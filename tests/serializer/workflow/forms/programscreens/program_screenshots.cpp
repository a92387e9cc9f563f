// Takes pictures of Eemint's main window on the simulated bench, for a person to look at:
// the log after one programmed converter, and after a multi-program round over two
// converters with the message that ends it. Usage: program_screenshots OUTPUT_FOLDER (run it
// under an X server).
#include <cstdio>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPixmap>

#include "benchcontrol.h"
#include "eemintforms.h"
#include "modalrunner.h"
#include "mvdriver.h"
#include "sdiappform.h"

namespace {

bool Save(QWidget& widget, const QString& file)
{
    QApplication::processEvents();
    const bool saved = widget.grab().save(file);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(file));
    return saved;
}

bool FreshBench()
{
    if (mvbench::Reset() && mvbench::SetTiming(mvbench::Timing::Fast))
        return true;
    std::fprintf(stderr, "bench: %s\n", mvbench::LastError().c_str());
    return false;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: program_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    eemint::InstallDriver(&eemint::SystemDriver());
    QApplication app(argc, argv);
    const QDir out(QString::fromLocal8Bit(argv[1]));
    bool ok = true;

    // Message dialogs are pictured instead of waited on.
    QString dialogFile;
    eemint::SetModalRunner([&](QDialog& dialog) {
        dialog.show();
        if (!dialogFile.isEmpty())
            ok = Save(dialog, dialogFile) && ok;
        dialog.hide();
        return int(QDialog::Accepted);
    });

    if (!FreshBench())
        return 1;
    {
        eemint::EemintForms forms;
        eemint::TSDIAppForm& window = *forms.SDIAppForm();
        window.show();
        window.ProgramItemClick();
        ok = Save(window, out.filePath("program-pass.png")) && ok;
    }

    if (!FreshBench())
        return 1;
    {
        eemint::EemintForms forms;
        eemint::TSDIAppForm& window = *forms.SDIAppForm();
        window.show();
        window.MultiProgramModeClick();
        window.ProgramItemClick();
        window.ProgramItemClick();
        dialogFile = out.filePath("multiprogram-message.png");
        window.ProgramItemClick();
        dialogFile.clear();
        ok = Save(window, out.filePath("multiprogram-round.png")) && ok;
    }
    return ok ? 0 : 1;
}
