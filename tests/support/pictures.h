// Taking pictures of windows for a look by eye (the screenshot programs run by
// scripts/screenshots): let a window become active and paint, and save a picture as a PNG file
// in a folder, printing its path.
#pragma once

#include <QPixmap>
#include <QString>
#include <QTest>
#include <QWidget>

#include <cstdio>

namespace testsupport {

// Activates the window and gives it time to paint.
inline void SettleWindow(QWidget& window)
{
    window.activateWindow();
    if (!QTest::qWaitFor([&] { return window.isActiveWindow(); }, 3000))
        std::fprintf(stderr, "screenshots: %s did not become active\n", qPrintable(window.objectName()));
    QTest::qWait(200);
}

// Saves folder/name.png and prints its path; false (with a message) when it cannot be written.
inline bool SavePicture(const QPixmap& picture, const QString& folder, const char* name)
{
    const QString path = folder + "/" + name + ".png";
    if (!picture.save(path)) {
        std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
    return true;
}

}  // namespace testsupport
