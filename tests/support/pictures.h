// Taking pictures of windows for a look by eye (the screenshot programs run by
// scripts/screenshots): let a window become active and paint, and save pictures as PNG files
// in one folder, printing each path and remembering whether any could not be written.
#pragma once

#include <QDir>
#include <QPixmap>
#include <QString>
#include <QTest>
#include <QWidget>

#include <cstdio>

namespace testsupport {

class PictureFolder {
public:
    // Makes the folder when it is missing.
    void Open(const QString& folder)
    {
        folder_ = folder;
        QDir().mkpath(folder_);
    }

    // Activates the window and gives it time to paint.
    static void Settle(QWidget& window)
    {
        window.activateWindow();
        if (!QTest::qWaitFor([&] { return window.isActiveWindow(); }, 3000))
            std::fprintf(stderr, "screenshots: %s did not become active\n", qPrintable(window.objectName()));
        QTest::qWait(200);
    }

    // Saves folder/name.png and prints its path.
    void Save(const QPixmap& picture, const char* name)
    {
        const QString path = folder_ + "/" + name + ".png";
        if (!picture.save(path)) {
            std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(path));
            failed_ = true;
            return;
        }
        std::printf("%s\n", qPrintable(path));
        std::fflush(stdout);
    }
    void Save(QWidget& window, const char* name) { Save(window.grab(), name); }

    // Something went wrong: the program ends with a failure.
    void Fail() { failed_ = true; }
    bool Failed() const { return failed_; }

private:
    QString folder_;
    bool failed_ = false;
};

}  // namespace testsupport
