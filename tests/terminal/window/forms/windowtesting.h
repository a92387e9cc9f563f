// What Duoterm's window tests share: waiting on a condition, typing key events (Cyrillic
// included: QTest's key clicks refuse it), the bytes a panel has received, and a window whose
// two ports are joined by a pseudo-terminal null-modem cable and opened.
#pragma once

#include "testenv.h"
#include "errorbox.h"
#include "ptycable.h"
#include "tempdir.h"
#include "terminalport.h"
#include "tform3.h"
#include "ui_tform3.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace windowtesting {

// Runs the event loop until the condition holds or the generous deadline passes.
inline bool Eventually(const std::function<bool()>& condition, int ms = 10000)
{
    return QTest::qWaitFor(condition, ms);
}

// One key press and release carrying the text (and the key code, for keys such as Return).
inline void Key(QWidget* widget, const QString& text, int key = 0)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &release);
}

// Types text one key event per character.
inline void Type(QWidget* widget, const QString& text)
{
    for (const QChar ch : text)
        Key(widget, QString(ch));
}

// Every byte a panel has received since its last clear, in order.
inline std::string Received(const duoterm::TPortTraffic& traffic)
{
    std::string bytes;
    for (size_t line = 0; line < traffic.Log().LineCount(); ++line) {
        const auto span = traffic.Log().LineBytes(line);
        bytes.append(reinterpret_cast<const char*>(span.data()), span.size());
    }
    return bytes;
}

// The window with COM1 and COM2 on the two ends of a cable (data by the cable's relay, modem
// lines by the shim linked into the test), both ports opened; error boxes are recorded.
class CableWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!cable.Available())
            GTEST_SKIP() << "no cable: the test stage mapped no ports for it";
        testsupport::SetEnv("MODEMSHIM_PAIRS", cable.LeftPath() + "=" + cable.RightPath());
        duoterm::SetErrorPresenter([this](const QString& message) { errors.push_back(message); });
        duoterm::TForm3Environment env;
        env.ports = [this](const QString& name) {
            return TCustomComm::OpenSystemPort(QString::fromStdString(
                name.toUpper() == "COM1" ? cable.LeftPath() : cable.RightPath()));
        };
        env.portNames = [] { return std::vector<std::string>{}; };
        env.savedTextsPath = QString::fromStdString((dir.Path() / "save.ini").string());
        env.presetsPath = QString::fromStdString((dir.Path() / "duoterm.ini").string());
        env.capturePath = [this](QWidget*) { return capturePath; };
        window = std::make_unique<duoterm::TForm3>(env);
        window->show();
        ui = &window->Form();
        ui->OpenPort->click();
        ui->OpenPort2->click();
        ASSERT_TRUE(errors.empty());
    }
    void TearDown() override
    {
        window.reset();
        duoterm::SetErrorPresenter({});
        testsupport::UnsetEnv("MODEMSHIM_PAIRS");
    }

    testsupport::TempDir dir;
    testsupport::PtyCable cable;
    std::vector<QString> errors;
    // What the capture's save dialog answers.
    QString capturePath;
    std::unique_ptr<duoterm::TForm3> window;
    Ui::TForm3* ui = nullptr;
};

}  // namespace windowtesting
