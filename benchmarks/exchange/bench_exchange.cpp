// Duoterm's automatic exchange through its window, offscreen, on a null-modem cable of two
// pseudo-terminal pairs: 1,000 passes with an answer delay of 1 ms and a wait of 20 ms, both
// ports at 115200 baud. A pass cannot take less than twice the delay, twice the wait and the
// line time of both messages; the figure is the mean pass period against that minimum.
// Goal: at most 1.10 times the minimum, and no mismatch.
#include "measure.h"
#include "ptycable.h"
#include "terminalport.h"
#include "tform3.h"
#include "ui_tform3.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

using benchmarks::RunQueueWaitSeconds;

namespace {

constexpr int kPasses = 1000;
constexpr int kDelayMs = 1;
constexpr int kWaitMs = 20;
const char* const kLeft = "01 02 03 04 05 06 07*";  // 8 bytes
const char* const kRight = "A0 B0 C0 D0 E0 F0";     // 6 bytes
constexpr int kMessageBytes = 8 + 6;

// Bits one character takes on the line: start bit, data, parity, stop bits (1.5 as 1.5).
double CharacterBits(const TComm& comm)
{
    const double data = 4 + static_cast<int>(comm.Databits());
    const double parity = comm.Parity() == paNone ? 0 : 1;
    const double stop = comm.Stopbits() == sb10 ? 1 : comm.Stopbits() == sb15 ? 1.5 : 2;
    return 1 + data + parity + stop;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testsupport::PtyCable cable;
    setenv("MODEMSHIM_PAIRS", (cable.LeftPath() + "=" + cable.RightPath()).c_str(), 1);
    duoterm::TForm3Environment env;
    env.ports = [&](const QString& name) {
        return TCustomComm::OpenSystemPort(
            QString::fromStdString(name.toUpper() == "COM1" ? cable.LeftPath() : cable.RightPath()));
    };
    env.portNames = [] { return std::vector<std::string>{}; };
    env.savedTextsPath = QStringLiteral("/dev/null/save.ini");
    env.presetsPath = QStringLiteral("/dev/null/duoterm.ini");
    duoterm::TForm3 window(env);
    window.show();
    Ui::TForm3& ui = window.Form();
    ui.OpenPort->click();
    ui.OpenPort2->click();
    if (!window.Comm1().IsOpen() || !window.Comm2().IsOpen()) {
        std::fprintf(stderr, "exchange: the ports did not open\n");
        return 1;
    }
    window.Comm1().SetBaudRate(cbr115200);
    window.Comm2().SetBaudRate(cbr115200);

    ui.EditPered->setEditText(QString::fromLatin1(kLeft));
    ui.EditPered2->setEditText(QString::fromLatin1(kRight));
    ui.TimeOzPriom->setText(QString::number(kWaitMs));
    ui.TimeOtvet->setText(QString::number(kDelayMs));
    ui.ciklperedPriom->setText(QString::number(kPasses));

    const duoterm::TExchange& exchange = window.ExchangePanel().Exchange();
    QElapsedTimer clock;
    clock.start();
    const double waitedBefore = RunQueueWaitSeconds();
    ui.ButtonObmen->click();
    if (!exchange.Running()) {
        std::fprintf(stderr, "exchange: the run did not start: %s\n", qPrintable(ui.MemoInfo->toPlainText()));
        return 1;
    }
    // The run ends on its own; the deadline only guards against a stalled run. A plain event
    // loop, as the program's own: QTest's waits sleep 10 ms between their turns of the loop,
    // which would hold up every timer and every receive event of the exchange.
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (!exchange.Running() || clock.elapsed() > kPasses * 1000)
            loop.quit();
    });
    check.start(100);
    loop.exec();
    const bool ended = !exchange.Running();
    const double totalMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    const double waitedMs = (RunQueueWaitSeconds() - waitedBefore) * 1000;
    if (!ended) {
        std::fprintf(stderr, "exchange: the run did not end (pass %d)\n", exchange.PassCount());
        return 1;
    }

    const double lineMs = kMessageBytes * CharacterBits(window.Comm1()) * 1000.0 /
                          static_cast<double>(TCustomComm::BaudRateValue(window.Comm1().BaudRate()));
    const double minimumMs = 2 * kDelayMs + 2 * kWaitMs + lineMs;
    // The run ends at the answer delay after the last pass.
    const double periodMs = (totalMs - kDelayMs) / kPasses;
    int mismatches = 0;
    for (const QString& line : ui.MemoInfo->toPlainText().split('\n'))
        if (line.contains(QStringLiteral(" проход ")))
            ++mismatches;
    if (mismatches > 0) {
        // The first mismatches, to tell late bytes (0 received, then twice as many) from wrong ones.
        const QStringList log = ui.MemoInfo->toPlainText().split('\n');
        for (qsizetype i = 0; i < std::min<qsizetype>(log.size(), 9); ++i)
            std::fprintf(stderr, "  %s\n", qPrintable(log[i]));
    }
    std::printf("user-interface thread runnable but not running (machine load): %.2f ms a pass\n", waitedMs / kPasses);
    if (std::FILE* load = std::fopen("/proc/loadavg", "r")) {
        char text[128] = {};
        if (std::fgets(text, sizeof text, load))
            std::printf("machine load (1, 5, 15 min): %s", text);
        std::fclose(load);
    }
    const double ratio = periodMs / minimumMs;
    std::printf("%d passes in %.1f s: mean pass %.2f ms, minimum %.2f ms (2 x %d ms delay, 2 x %d ms wait, "
                "%.2f ms on the line)\n",
                exchange.PassCount(), totalMs / 1000, periodMs, minimumMs, kDelayMs, kWaitMs, lineMs);
    const bool ok = ratio <= 1.10 && mismatches == 0 && exchange.PassCount() == kPasses;
    std::printf("exchange: mean pass period %.3f x the minimum (goal <= 1.10), %d mismatches (goal 0): %s\n", ratio,
                mismatches, ok ? "PASS" : "FAIL");
    window.Comm1().Close();
    window.Comm2().Close();
    return ok ? 0 : 1;
}
