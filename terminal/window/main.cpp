// Duoterm: the two-port serial terminal.
#include "errorbox.h"
#include "tform3.h"

#include <QFile>
#include <QFontDatabase>

int main(int argc, char* argv[])
{
    duoterm::TDuotermApplication app(argc, argv);
    // The window is designed in Tahoma; where the system has no Tahoma, the metric-compatible
    // one that comes with Wine's fonts is used when it is installed.
    if (!QFontDatabase::families().contains(QStringLiteral("Tahoma"))) {
        for (const char* file : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
            if (QFile::exists(QString::fromLatin1(file)))
                QFontDatabase::addApplicationFont(QString::fromLatin1(file));
        }
    }
    duoterm::InstallPortExceptionSink();
    duoterm::TForm3 window;
    window.show();
    return app.exec();
}
