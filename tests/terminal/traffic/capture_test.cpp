// The capture format (lines written and read back, a seeded random round trip, malformed and
// cut-off lines) and the capture writer (both ports both ways in one file in time order, the
// file reaching the disk while the capture runs, files that cannot be created).
#include "capture.h"
#include "capturetesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

using namespace traffic;
using captesting::ScratchDir;

namespace {

CaptureRecord Data(CaptureKind kind, int port, const std::string& bytes, int64_t micros = 1500)
{
    CaptureRecord r;
    r.wall = {2024, 5, 1, 9, 8, 7, 6};
    r.micros = micros;
    r.port = port;
    r.kind = kind;
    r.bytes.assign(bytes.begin(), bytes.end());
    return r;
}

CaptureFile ReadText(const std::string& text)
{
    std::istringstream in(text);
    return ReadCapture(in);
}

}  // namespace

TEST(CaptureFormat, LinesOfEachKind)
{
    CaptureRecord errors = Data(CaptureKind::LineErrors, 2, "");
    errors.counts = LineErrorCounts{1, 2, 30, 4};
    CaptureRecord noCounters = Data(CaptureKind::LineErrors, 1, "");
    CaptureRecord lost = Data(CaptureKind::PortEvent, 1, "");
    lost.event = PortEvent::Lost;
    lost.detail = "COM1 \\ \xCF\xEE\xF0\xF2";  // "COM1 \ Порт"
    CaptureRecord stop = Data(CaptureKind::Stop, 0, "");
    const struct {
        CaptureRecord record;
        std::string line;
    } cases[] = {
        {Data(CaptureKind::Received, 1, "AB\r\n"), "2024-05-01 09:08:07.006 1500 1 rx 41 42 0D 0A | AB\\r\\n\n"},
        // 0, other control bytes, 0x7F, 0x98 (no character in Windows-1251) and the backslash
        // are escaped; Cyrillic letters, spaces and a trailing space stay as they are.
        {Data(CaptureKind::Sent, 2, std::string("\0\x1B\x7F\x98\\\t\xC0\xFF ", 9)),
         "2024-05-01 09:08:07.006 1500 2 tx 00 1B 7F 98 5C 09 C0 FF 20 | \\x00\\x1B\\x7F\\x98\\\\\\t\xC0\xFF \n"},
        {Data(CaptureKind::Sent, 1, ""), "2024-05-01 09:08:07.006 1500 1 tx |\n"},
        {errors, "2024-05-01 09:08:07.006 1500 2 errors framing=1 parity=2 overrun=30 break=4\n"},
        {noCounters, "2024-05-01 09:08:07.006 1500 1 errors n/a\n"},
        {lost, "2024-05-01 09:08:07.006 1500 1 port lost | COM1 \\\\ \xCF\xEE\xF0\xF2\n"},
        {stop, "2024-05-01 09:08:07.006 1500 0 stop\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(CaptureLine(c.record), c.line);
        CaptureRecord back;
        std::string error;
        ASSERT_EQ(ParseCaptureLine(c.line.substr(0, c.line.size() - 1), back, error), LineParse::Record) << error;
        EXPECT_EQ(back, c.record);
        // A line end written on Windows reads alike.
        ASSERT_EQ(ParseCaptureLine(c.line.substr(0, c.line.size() - 1) + "\r", back, error), LineParse::Record);
        EXPECT_EQ(back, c.record);
    }
}

TEST(CaptureFormat, RandomTrafficRoundTrips)
{
    std::mt19937 random(19);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    std::vector<CaptureRecord> records;
    std::string text(kCaptureSignature);
    text += "\n# a comment\n\n";
    int64_t micros = 0;
    for (int i = 0; i < 3000; ++i) {
        CaptureRecord r;
        r.wall = {pick(1970, 9999), pick(1, 12), pick(1, 31), pick(0, 23), pick(0, 59), pick(0, 60), pick(0, 999)};
        micros += pick(0, 100000);
        r.micros = micros;
        r.port = pick(1, 2);
        switch (pick(0, 9)) {
        case 0:
            r.kind = CaptureKind::LineErrors;
            if (pick(0, 3))
                r.counts = LineErrorCounts{random(), random(), uint64_t{random()} << 32 | random(), random()};
            break;
        case 1:
            r.kind = CaptureKind::PortEvent;
            r.event = static_cast<PortEvent>(pick(0, 3));
            for (int n = pick(0, 20); n > 0; --n)
                r.detail += static_cast<char>(pick(0, 255));
            break;
        default:
            r.kind = pick(0, 1) ? CaptureKind::Received : CaptureKind::Sent;
            // Short chunks and the odd long one, every byte value.
            for (int n = pick(0, 3) ? pick(1, 40) : pick(0, 5000); n > 0; --n)
                r.bytes.push_back(static_cast<uint8_t>(pick(0, 255)));
            break;
        }
        AppendCaptureLine(text, r);
        records.push_back(std::move(r));
    }
    const CaptureFile back = ReadText(text);
    EXPECT_TRUE(back.signature);
    EXPECT_TRUE(back.problems.empty()) << back.problems.front().line << ": " << back.problems.front().error;
    EXPECT_FALSE(back.truncated);
    ASSERT_EQ(back.records.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i)
        ASSERT_EQ(back.records[i], records[i]) << "record " << i << ": " << CaptureLine(records[i]);
    // No record's line holds a line end of its own.
    EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')), records.size() + 3);
}

TEST(CaptureFormat, MalformedLinesAreReportedAndSkipped)
{
    const std::string good = "2024-05-01 09:08:07.006 1500 1 rx 41 | A";
    const char* bad[] = {
        "2024-05-01 09:08:07.006 1500 1 rx 41 | B",     // text and bytes disagree
        "2024-05-01 09:08:07.006 1500 1 rx 4G | A",     // not hexadecimal
        "2024-05-01 09:08:07.006 1500 1 rx 41 42",      // no text
        "2024-05-01 09:08:07.006 1500 1 rx 41 | \\q",   // a bad escape
        "2024-05-01 09:08:07.006 1500 1 rx 41 | \\x4",  // a cut-off escape
        "2024-05-01 09:08:07.006 1500 3 rx 41 | A",     // no port 3
        "2024-05-01 09:08:07.006 1500 0 rx 41 | A",     // port 0 is only for stop
        "2024-05-01 09:08:07.006 1500 1 stop",
        "2024-13-01 09:08:07.006 1500 1 rx 41 | A",     // month 13
        "2024-05-01 09:08:07.6 1500 1 rx 41 | A",       // milliseconds need three digits
        "2024-05-01 09:08:07.006 -5 1 rx 41 | A",
        "2024-05-01 09:08:07.006 1500 1 xx 41 | A",
        "2024-05-01 09:08:07.006 1500 1 errors framing=1 parity=2 overrun=3",
        "2024-05-01 09:08:07.006 1500 1 port gone | COM1",
        "2024-05-01 09:08:07.006 1500",
    };
    std::string text = std::string(kCaptureSignature) + "\n" + good + "\n";
    for (const char* line : bad) {
        SCOPED_TRACE(line);
        CaptureRecord record;
        std::string error;
        EXPECT_EQ(ParseCaptureLine(line, record, error), LineParse::Malformed);
        EXPECT_FALSE(error.empty());
        text += std::string(line) + "\n";
    }
    text += good + "\n";
    const CaptureFile back = ReadText(text);
    EXPECT_EQ(back.records.size(), 2u);
    ASSERT_EQ(back.problems.size(), std::size(bad));
    EXPECT_EQ(back.problems.front().line, 3u);
}

TEST(CaptureFormat, ACutOffLastLineAndAMissingSignature)
{
    const std::string line = "2024-05-01 09:08:07.006 1500 1 rx 41 42 | AB\n";
    CaptureFile cut = ReadText(std::string(kCaptureSignature) + "\n" + line + line.substr(0, 30));
    EXPECT_TRUE(cut.signature);
    EXPECT_TRUE(cut.truncated);
    EXPECT_TRUE(cut.problems.empty());
    EXPECT_EQ(cut.records.size(), 1u);

    CaptureFile other = ReadText("[1HEX]\n" + line);
    EXPECT_FALSE(other.signature);
    ASSERT_EQ(other.problems.size(), 1u);
    EXPECT_EQ(other.problems[0].line, 1u);
}

// ---------------------------------------------------------------------------------------

TEST(CaptureWriter, BothPortsBothWaysInOneTimeOrderedFile)
{
    ScratchDir dir;
    const std::string path = (dir.Path() / "both.cap").string();
    CaptureWriter writer;
    CaptureError error;
    ASSERT_TRUE(writer.Start(path, error)) << error.Text();
    EXPECT_TRUE(writer.Running());

    std::mt19937 random(7);
    std::vector<CaptureRecord> expected;
    auto record = [&](CaptureKind kind, int port, std::vector<uint8_t> bytes) {
        CaptureRecord r;
        r.kind = kind;
        r.port = port;
        r.bytes = std::move(bytes);
        if (kind == CaptureKind::Received)
            writer.Received(port, r.bytes.data(), r.bytes.size());
        else
            writer.Sent(port, r.bytes.data(), r.bytes.size());
        expected.push_back(std::move(r));
    };
    writer.Event(1, PortEvent::Opened, "COM1 4800 8N2");
    for (int i = 0; i < 4000; ++i) {
        std::vector<uint8_t> bytes(std::uniform_int_distribution<int>(1, 600)(random));
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(random());
        record(random() % 2 ? CaptureKind::Received : CaptureKind::Sent, 1 + static_cast<int>(random() % 2),
               std::move(bytes));
        if (i % 1000 == 0)
            std::this_thread::yield();
    }
    writer.LineErrors(2, LineErrorCounts{0, 0, 1, 0});
    writer.LineErrors(1, std::nullopt);
    writer.Received(1, nullptr, 0);  // records nothing
    writer.Stop();
    EXPECT_FALSE(writer.Running());
    EXPECT_FALSE(writer.TakeError());

    CaptureFile back;
    ASSERT_TRUE(ReadCaptureFile(path, back));
    EXPECT_TRUE(back.signature);
    EXPECT_TRUE(back.problems.empty());
    EXPECT_FALSE(back.truncated);
    EXPECT_TRUE(back.stopped);
    ASSERT_EQ(back.records.size(), expected.size() + 4);
    EXPECT_EQ(back.records.front().kind, CaptureKind::PortEvent);
    EXPECT_EQ(back.records.front().detail, "COM1 4800 8N2");
    for (size_t i = 0; i < expected.size(); ++i) {
        const CaptureRecord& got = back.records[i + 1];
        ASSERT_EQ(got.kind, expected[i].kind) << i;
        ASSERT_EQ(got.port, expected[i].port) << i;
        ASSERT_EQ(got.bytes, expected[i].bytes) << i;
    }
    const size_t n = back.records.size();
    EXPECT_EQ(back.records[n - 3].counts, (LineErrorCounts{0, 0, 1, 0}));
    EXPECT_EQ(back.records[n - 2].counts, std::nullopt);
    EXPECT_EQ(back.records[n - 1].kind, CaptureKind::Stop);
    for (size_t i = 1; i < n; ++i) {
        ASSERT_LE(back.records[i - 1].micros, back.records[i].micros) << i;
        ASSERT_LE(back.records[i - 1].wall, back.records[i].wall) << i;
    }
}

TEST(CaptureWriter, WhatIsRecordedReachesTheFileWhileTheCaptureRuns)
{
    ScratchDir dir;
    const std::string path = (dir.Path() / "running.cap").string();
    CaptureWriter writer;
    CaptureError error;
    ASSERT_TRUE(writer.Start(path, error)) << error.Text();
    const uint8_t bytes[] = {0x55, 0xAA};
    writer.Received(2, bytes, sizeof bytes);
    // Read back without stopping: the writer hands its lines to the system on its own.
    CaptureFile back;
    for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
         std::chrono::steady_clock::now() < deadline;
         std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
        ASSERT_TRUE(ReadCaptureFile(path, back));
        if (!back.records.empty())
            break;
    }
    ASSERT_EQ(back.records.size(), 1u);
    EXPECT_EQ(back.records[0].bytes, (std::vector<uint8_t>{0x55, 0xAA}));
    EXPECT_FALSE(back.stopped);
    EXPECT_TRUE(writer.Running());
}

TEST(CaptureWriter, AFileThatCannotBeCreatedFailsTheStart)
{
    ScratchDir dir;
    const std::string paths[] = {
        dir.Path().string(),                            // a folder
        (dir.Path() / "missing" / "a.cap").string(),    // in a folder that is not there
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        CaptureWriter writer;
        CaptureError error;
        EXPECT_FALSE(writer.Start(path, error));
        EXPECT_NE(error.code, 0);
        EXPECT_NE(error.Text().find(path), std::string::npos);
        EXPECT_FALSE(writer.Running());
        EXPECT_FALSE(writer.TakeError());
        const uint8_t byte = 1;
        writer.Received(1, &byte, 1);  // ignored
        writer.Stop();
    }
}
