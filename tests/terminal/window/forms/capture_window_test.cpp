// The capture through the window, on the pseudo-terminal cable: both ports sending to each
// other at once while the capture runs, and the file read back with the format's parser holds
// every byte in both directions, in order, with non-decreasing times and the ports' records.
#include "captureformat.h"
#include "rxview.h"
#include "windowtesting.h"

#include <QDateTime>

#include <random>

using namespace duoterm;
using namespace windowtesting;

namespace {

using CaptureWindow = windowtesting::CableWindowTest;

QString HexRequest(const std::string& bytes)
{
    QString text;
    for (const char c : bytes)
        text += QString::asprintf("%02X", static_cast<uint8_t>(c));
    return text;
}

std::string RandomBytes(size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

TEST_F(CaptureWindow, BothPortsBusyEveryByteIsInTheFileWithItsPortDirectionAndTime)
{
    capturePath = QString::fromStdString((dir.Path() / "both.txt").string());
    ASSERT_FALSE(ui->OstanovitZapis->isEnabled());
    ui->ZapisVFail->trigger();
    ASSERT_TRUE(window->Capture().Running());
    EXPECT_TRUE(ui->OstanovitZapis->isEnabled());

    // Each side sends several messages while the other's are still arriving: the window reads
    // both ports between the pieces of a long message.
    std::string sent1, sent2;
    for (unsigned i = 0; i < 6; ++i) {
        const std::string a = RandomBytes(3000 + i * 1500, i);
        const std::string b = RandomBytes(2500 + i * 1700, 100 + i);
        window->Traffic(1).SendHexRequest(HexRequest(a).toStdString());
        window->Traffic(2).SendHexRequest(HexRequest(b).toStdString());
        sent1 += a;
        sent2 += b;
    }
    ASSERT_TRUE(Eventually([&] {
        return Received(window->Traffic(2)).size() == sent1.size() &&
               Received(window->Traffic(1)).size() == sent2.size();
    }));
    ui->OstanovitZapis->trigger();
    EXPECT_FALSE(window->Capture().Running());
    EXPECT_FALSE(ui->OstanovitZapis->isEnabled());

    traffic::CaptureFile file;
    ASSERT_TRUE(traffic::ReadCaptureFile(capturePath.toStdString(), file));
    EXPECT_TRUE(file.signature);
    EXPECT_TRUE(file.stopped);
    EXPECT_FALSE(file.truncated);
    EXPECT_TRUE(file.problems.empty());
    std::string tx[3], rx[3];
    int64_t micros = 0;
    int opened[3] = {};
    for (const traffic::CaptureRecord& record : file.records) {
        EXPECT_GE(record.micros, micros);
        micros = record.micros;
        const std::string bytes(record.bytes.begin(), record.bytes.end());
        if (record.kind == traffic::CaptureKind::Sent)
            tx[record.port] += bytes;
        else if (record.kind == traffic::CaptureKind::Received)
            rx[record.port] += bytes;
        else if (record.kind == traffic::CaptureKind::PortEvent && record.event == traffic::PortEvent::Opened)
            ++opened[record.port];
    }
    EXPECT_TRUE(tx[1] == sent1) << tx[1].size() << " of " << sent1.size();
    EXPECT_TRUE(rx[2] == sent1) << rx[2].size() << " of " << sent1.size();
    EXPECT_TRUE(tx[2] == sent2) << tx[2].size() << " of " << sent2.size();
    EXPECT_TRUE(rx[1] == sent2) << rx[1].size() << " of " << sent2.size();
    // The two ports open when the capture began are recorded, once each.
    EXPECT_EQ(opened[1], 1);
    EXPECT_EQ(opened[2], 1);
    EXPECT_TRUE(errors.empty());
}

TEST_F(CaptureWindow, ClosingAndOpeningAPortAreRecordedAndAFileThatCannotBeCreatedIsOneBox)
{
    capturePath = QString::fromStdString((dir.Path() / "events.txt").string());
    ui->ZapisVFail->trigger();
    ui->ClosePort->click();
    ui->OpenPort->click();
    ui->OstanovitZapis->trigger();
    traffic::CaptureFile file;
    ASSERT_TRUE(traffic::ReadCaptureFile(capturePath.toStdString(), file));
    std::vector<traffic::PortEvent> events;
    for (const traffic::CaptureRecord& record : file.records)
        if (record.kind == traffic::CaptureKind::PortEvent && record.port == 1)
            events.push_back(record.event);
    EXPECT_EQ(events, (std::vector{traffic::PortEvent::Opened, traffic::PortEvent::Closed,
                                   traffic::PortEvent::Opened}));
    EXPECT_TRUE(errors.empty());

    capturePath = QString::fromStdString((dir.Path() / "no such folder" / "x.txt").string());
    ui->ZapisVFail->trigger();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("Не удалось начать запись в файл: create ")));
    EXPECT_FALSE(window->Capture().Running());
    EXPECT_FALSE(ui->OstanovitZapis->isEnabled());
}

// Past the views' budget the oldest bytes leave the views, which say how many, while the
// capture keeps every byte.
TEST_F(CaptureWindow, PastTheViewsBudgetTheViewsDropTheOldestBytesAndTheCaptureKeepsThemAll)
{
    // The line's highest rate: the message goes out in the largest pieces the rate allows.
    ui->Speed->setCurrentIndex(ui->Speed->findText("115200"));
    ui->Speed2->setCurrentIndex(ui->Speed2->findText("115200"));
    EXPECT_GE(window->ViewBudget(), size_t{64} << 20);  // the default, from the machine's memory
    window->SetViewBudget(size_t{256} << 10);
    capturePath = QString::fromStdString((dir.Path() / "budget.txt").string());
    ui->ZapisVFail->trigger();
    const std::string sent = RandomBytes(size_t{1} << 20, 7);
    window->Traffic(1).SendHexRequest(HexRequest(sent).toStdString());
    ASSERT_TRUE(Eventually([&] { return window->Traffic(2).Log().TotalBytes() == sent.size(); }, 120000))
        << window->Traffic(2).Log().TotalBytes() << " of " << window->Traffic(1).SentLog().TotalBytes() << " sent";
    ui->OstanovitZapis->trigger();

    const traffic::RxLog& log = window->Traffic(2).Log();
    ASSERT_GT(log.DroppedBytes(), 0u);
    EXPECT_LE(log.HeldBytes(), (size_t{256} << 10) + (size_t{4} << 20));
    EXPECT_TRUE(Received(window->Traffic(2)) == sent.substr(static_cast<size_t>(log.DroppedBytes())));
    EXPECT_EQ(ui->dataHex2->Model()->RowText(0), TRxModel::DroppedText(log.DroppedBytes()));
    EXPECT_EQ(ui->dataASCCI2->Model()->RowText(0), TRxModel::DroppedText(log.DroppedBytes()));

    traffic::CaptureFile file;
    ASSERT_TRUE(traffic::ReadCaptureFile(capturePath.toStdString(), file));
    std::string rx2;
    for (const traffic::CaptureRecord& record : file.records)
        if (record.kind == traffic::CaptureKind::Received && record.port == 2)
            rx2.append(record.bytes.begin(), record.bytes.end());
    EXPECT_TRUE(rx2 == sent) << rx2.size() << " of " << sent.size();
    EXPECT_TRUE(errors.empty());
}

}  // namespace
