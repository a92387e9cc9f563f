// A panel's sending and receiving over the scripted backend: the writes of a request, the
// last kind of send, auto-send, the display tick's batching, clearing, and the exchange's
// receive path.
#include "capturecontrol.h"
#include "captureformat.h"
#include "comm.h"
#include "faketerminalport.h"
#include "porttraffic.h"
#include "rxview.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <string>
#include <vector>

using namespace duoterm;
namespace pc = platform::terminalport;

namespace {

// A scripted port whose input queue the test fills and whose writes it records.
class QueuePort : public testsupport::FakeTerminalPort {
public:
    std::string* input;
    std::vector<std::string>* writes;
    int Read(void* buffer, int count, uint32_t) override
    {
        const size_t n = std::min(input->size(), static_cast<size_t>(count));
        input->copy(static_cast<char*>(buffer), n);
        input->erase(0, n);
        return static_cast<int>(n);
    }
    int Write(const void* buffer, int count, uint32_t) override
    {
        writes->emplace_back(static_cast<const char*>(buffer), static_cast<size_t>(count));
        return count;
    }
};

class PortTraffic : public ::testing::Test {
protected:
    void SetUp() override
    {
        port.SetPortFactory([this](const QString&) {
            auto fake = std::make_unique<QueuePort>();
            fake->input = &input;
            fake->writes = &writes;
            return fake;
        });
        port.SetCharsTimeOut(0);
        port.Open();
        traffic.onMessageWritten = [this](int side, const uint8_t* bytes, size_t n) {
            handedOver.push_back(std::to_string(side) + ":" + std::string(reinterpret_cast<const char*>(bytes), n));
        };
    }
    std::vector<std::string> HexLines() const
    {
        std::vector<std::string> lines;
        for (size_t i = 0; i < traffic.Log().LineCount(); ++i)
            lines.push_back(traffic.Log().HexLine(i));
        return lines;
    }

    std::string input;
    std::vector<std::string> writes, handedOver;
    TComm port;
    TPortTraffic traffic{2, port};
};

TEST_F(PortTraffic, SendsWriteEachMessageAndHandItOver)
{
    traffic.OtpravButtonClick("01*#02");
    EXPECT_EQ(writes, (std::vector<std::string>{"\x01\xFD", "\x02"}));
    EXPECT_EQ(handedOver, (std::vector<std::string>{"2:\x01\xFD", "2:\x02"}));
    EXPECT_TRUE(traffic.LastSendHex());

    writes.clear();
    handedOver.clear();
    traffic.OtpravButtonASCCIClick(QStringLiteral("Щ"), true);
    traffic.OtpravButtonASCCIClick(QString(), false);  // nothing to send
    traffic.OtpravButtonASCCIClick(QString(), true);
    EXPECT_EQ(writes, (std::vector<std::string>{"\xD9\r", "\r"}));
    EXPECT_TRUE(handedOver.empty());  // ASCII sends are not the exchange's
    EXPECT_FALSE(traffic.LastSendHex());

    // Auto-send and the exchange send without changing the last kind.
    traffic.SendHexRequest("AA");
    EXPECT_FALSE(traffic.LastSendHex());
    // A leading pause writes nothing but hands over an empty message.
    handedOver.clear();
    traffic.SendHexRequest("#");
    EXPECT_EQ(handedOver, (std::vector<std::string>{"2:"}));
}

TEST_F(PortTraffic, AutoSendRepeatsTheLastKindOfManualSendWithTheCurrentTexts)
{
    traffic.SetAutoSend(true);
    traffic.TxEmpty("01", "x", true);  // no manual send yet: nothing to repeat
    EXPECT_TRUE(writes.empty());

    traffic.OtpravButtonClick("01*");
    traffic.TxEmpty("02 03", "x", true);
    traffic.TxEmpty("04", "x", true);
    EXPECT_EQ(writes, (std::vector<std::string>{"\x01\xFD", "\x02\x03", "\x04"}));

    writes.clear();
    traffic.OtpravButtonASCCIClick("a", false);
    traffic.TxEmpty("05", QStringLiteral("Я"), true);  // the VK box as it is now
    traffic.TxEmpty("05", "b", false);
    EXPECT_EQ(writes, (std::vector<std::string>{"a", "\xDF\r", "b"}));
    EXPECT_FALSE(traffic.LastSendHex());  // repeats keep the kind

    writes.clear();
    traffic.SetAutoSend(false);
    traffic.TxEmpty("05", "c", false);
    EXPECT_TRUE(writes.empty());
}

TEST_F(PortTraffic, ATickShowsEverythingSinceTheLastOneAsOneLine)
{
    EXPECT_FALSE(traffic.Tick());  // nothing pending: no line, not even an empty one
    input = "AB";
    traffic.RxChar(2);
    input += std::string("\0", 1);
    traffic.RxChar(3);  // a second event before the tick
    EXPECT_TRUE(traffic.Tick());
    EXPECT_EQ(HexLines(), (std::vector<std::string>{"41 42 00 "}));
    EXPECT_EQ(traffic.Log().CharLine(0), "AB ");
    EXPECT_FALSE(traffic.Tick());

    // More than a read buffer, some of it arriving after the last event: all of it is shown.
    input = std::string(150000, 'x');
    traffic.RxChar(4096);
    input = std::string(5000, 'y');
    EXPECT_TRUE(traffic.Tick());
    EXPECT_EQ(traffic.Log().LineBytes(1).size(), 155000u);
    EXPECT_TRUE(input.empty());
}

TEST_F(PortTraffic, ClearingDuringReceptionLosesNothingThatFollows)
{
    input = "\x01";
    traffic.RxChar(1);
    traffic.Clear();
    input += "\x02";
    EXPECT_TRUE(traffic.Tick());
    EXPECT_EQ(HexLines(), (std::vector<std::string>{"01 02 "}));
    traffic.Clear();
    EXPECT_EQ(traffic.Log().LineCount(), 0u);
}

TEST_F(PortTraffic, TheExchangeTakesReceivedBytesInsteadOfTheDisplay)
{
    bool takes = true;
    std::string taken;
    traffic.exchangeTakesReceived = [&] { return takes; };
    traffic.onExchangeReceived = [&](int side, const uint8_t* bytes, size_t n) {
        EXPECT_EQ(side, 2);
        taken.append(reinterpret_cast<const char*>(bytes), n);
    };
    input = "\x10\x20";
    traffic.RxChar(2);
    EXPECT_EQ(taken, "\x10\x20");
    EXPECT_FALSE(traffic.Tick());
    takes = false;
    input = "\x30";
    traffic.RxChar(1);
    EXPECT_TRUE(traffic.Tick());
    EXPECT_EQ(taken, "\x10\x20");
}

TEST_F(PortTraffic, TheViewsWrapLongLinesAndCopyExactlyTheSelectedRows)
{
    input = "first line\r\nsecond\r\n\xCF\xF0\xE8";
    traffic.RxChar(23);
    traffic.Tick();
    TRxModel hex(traffic.Log(), TRxModel::View::Hex), chars(traffic.Log(), TRxModel::View::Chars);
    hex.Sync();
    chars.Sync();
    EXPECT_EQ(hex.RowCount(), 3u);  // 23 bytes, 8 a row
    EXPECT_EQ(hex.RowText(2), "6E 64 0D 0A CF F0 E8 ");
    EXPECT_EQ(hex.CopyText(1, 1), "6E 65 0D 0A 73 65 63 6F ");  // one row of a wrapped line
    EXPECT_EQ(hex.CopyText(1, 2), "6E 65 0D 0A 73 65 63 6F 6E 64 0D 0A CF F0 E8 ");  // joined again
    EXPECT_EQ(chars.RowCount(), 3u);
    EXPECT_EQ(chars.CopyText(0, 2), QStringLiteral("first line\nsecond\nПри"));
    EXPECT_EQ(chars.CopyText(1, 2), QStringLiteral("second\nПри"));

    traffic.Clear();
    EXPECT_FALSE(hex.Sync());
    EXPECT_EQ(hex.RowCount(), 0u);
    EXPECT_EQ(hex.CopyText(0, 5), "");
}

}  // namespace

namespace {

// The line-error counters from the backend reach the capture only when they change (and once
// more after the port's next open), "n/a" for a device that keeps none; the capture also holds
// the chunks read and written.
TEST(CaptureControl, LineErrorCountsFromTheBackendAreRecordedWhenTheyChange)
{
    QueuePort* fake = nullptr;
    std::string input = "in";
    std::vector<std::string> writes;
    TComm port;
    port.SetPortFactory([&](const QString&) {
        auto made = std::make_unique<QueuePort>();
        made->input = &input;
        made->writes = &writes;
        fake = made.get();
        return made;
    });
    port.SetCharsTimeOut(0);
    port.Open();
    TPortTraffic traffic{1, port};
    TCaptureControl capture;
    traffic.onReadChunk = [&](int side, const uint8_t* b, size_t n) { capture.Received(side, b, n); };
    traffic.onWrittenChunk = [&](int side, const uint8_t* b, size_t n) { capture.Sent(side, b, n); };
    QTemporaryDir dir;
    const QString where = dir.filePath("counters.txt");
    const std::filesystem::path path(where.toStdU16String());
    ASSERT_EQ(capture.Start(where), "");

    fake->lineCounts = pc::LineCounters{0, 0, 0, 0};
    capture.PortState(1, true, "COM1");
    capture.LineErrors(1, port.LineErrorCounts());
    capture.LineErrors(1, port.LineErrorCounts());  // no change: nothing
    fake->lineCounts = pc::LineCounters{1, 0, 2, 0};
    capture.LineErrors(1, port.LineErrorCounts());
    traffic.RxChar(2);
    traffic.SendHexRequest("55");
    capture.PortState(1, false, "COM1");
    capture.PortState(1, true, "COM1");  // counted anew after an open
    capture.LineErrors(1, port.LineErrorCounts());
    fake->lineCounts.reset();
    capture.LineErrors(1, port.LineErrorCounts());
    capture.Stop();

    traffic::CaptureFile file;
    ASSERT_TRUE(traffic::ReadCaptureFile(path, file));
    std::vector<std::string> kinds;
    for (const traffic::CaptureRecord& r : file.records) {
        if (r.kind == traffic::CaptureKind::LineErrors)
            kinds.push_back(r.counts ? "errors " + std::to_string(r.counts->framing) + "," +
                                           std::to_string(r.counts->overrun)
                                     : "errors n/a");
        else if (r.kind == traffic::CaptureKind::Received || r.kind == traffic::CaptureKind::Sent)
            kinds.push_back(std::string(r.kind == traffic::CaptureKind::Received ? "rx " : "tx ") +
                            std::string(r.bytes.begin(), r.bytes.end()));
        else if (r.kind == traffic::CaptureKind::PortEvent)
            kinds.push_back(r.event == traffic::PortEvent::Opened ? "opened" : "closed");
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"opened", "errors 0,0", "errors 1,2", "rx in", "tx U", "closed",
                                               "opened", "errors 1,2", "errors n/a"}));
}

}  // namespace
