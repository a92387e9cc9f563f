// Read and Erase of the Device menu against the GoogleMock driver: the dump's exact lines,
// the messages, and which requests each command sends.
#include <gtest/gtest.h>

#include "eepromimage.h"
#include "mockdriver.h"
#include "readerase.h"
#include "recordingreporter.h"

namespace {

using testsupport::MemoryDriver;
using testsupport::MockDriver;
using testsupport::RecordingReporter;
using ::testing::_;
using ::testing::InSequence;
using ::testing::NiceMock;
using ::testing::Return;

void Program(MemoryDriver& memory, const eemint::TEepromImage& image) {
    for (int i = 0; i < 64; ++i)
        memory.Converters()[0][i] = static_cast<uint16_t>(image.Bytes()[2 * i] | (image.Bytes()[2 * i + 1] << 8));
}

TEST(ReadItem, DumpsEightLabelledLinesAndAnEmptyLine) {
    NiceMock<MockDriver> driver;
    eemint::ScopedDriver scoped(driver);
    eemint::TEepromImage example;
    example.BuildImage("MAVIX", "USB HS Serial Converter", "MV000001");
    Program(driver.memory, example);

    RecordingReporter reporter;
    reporter.log.push_back("earlier line");  // the log is not cleared first
    eemint::ReadItemRun(reporter);
    ASSERT_EQ(reporter.log.size(), 10u);
    EXPECT_EQ(reporter.log[0], "earlier line");
    EXPECT_EQ(reporter.log[1], "00: 00 00 7E 3A 01 5C 00 02 A0 2D 00 00 00 00 94 0C ");
    EXPECT_EQ(reporter.log[2], "10: A0 30 D0 12 0C 03 4D 00 41 00 56 00 49 00 58 00 ");
    EXPECT_EQ(reporter.log[8], "70: 00 00 00 00 00 00 00 00 00 00 00 00 01 00 98 80 ");
    EXPECT_EQ(reporter.log[9], "");
    for (int i = 1; i <= 8; ++i) {
        EXPECT_EQ(reporter.log[i].size(), 4u + 16 * 3) << reporter.log[i];
        EXPECT_EQ(reporter.log[i].substr(0, 4), std::string(1, "01234567"[i - 1]) + "0: ");
    }
    EXPECT_TRUE(reporter.errors.empty());
    EXPECT_TRUE(reporter.statuses.empty());
    EXPECT_EQ(driver.memory.OpenCount(), 0);
}

TEST(ReadItem, ErasedConverterShowsEveryByteAsFF) {
    NiceMock<MockDriver> driver;
    eemint::ScopedDriver scoped(driver);
    RecordingReporter reporter;
    eemint::ReadItemRun(reporter);
    ASSERT_EQ(reporter.log.size(), 9u);
    std::string ff;
    for (int i = 0; i < 16; ++i) ff += "FF ";
    EXPECT_EQ(reporter.log[0], "00: " + ff);
    EXPECT_EQ(reporter.log[7], "70: " + ff);
    EXPECT_TRUE(reporter.errors.empty());
}

TEST(ReadItem, NoConverterFailsBeforeAnyLogLine) {
    NiceMock<MockDriver> driver(0);
    eemint::ScopedDriver scoped(driver);
    RecordingReporter reporter;
    eemint::ReadItemRun(reporter);
    EXPECT_TRUE(reporter.log.empty());
    EXPECT_EQ(reporter.errors, std::vector<std::string>{"Failed to open device for read"});
}

TEST(EraseItem, RepaintsProbesThenErasesAndReportsStatus) {
    NiceMock<MockDriver> driver;
    eemint::ScopedDriver scoped(driver);
    driver.memory.Converters()[0].fill(0x0000);
    {
        InSequence order;
        EXPECT_CALL(driver, Open(0, _));
        EXPECT_CALL(driver, Close(_));
        EXPECT_CALL(driver, Open(0, _));
        EXPECT_CALL(driver, IoCtl(_, MV_IOCTL_ERASE_EE, nullptr, 0u, nullptr, 0u, _));
        EXPECT_CALL(driver, Close(_));
    }
    RecordingReporter reporter;
    eemint::EraseItemRun(reporter);
    EXPECT_EQ(reporter.events, (std::vector<std::string>{"repaint", "status"}));
    EXPECT_EQ(reporter.statuses, std::vector<std::string>{"Device erased OK"});
    EXPECT_EQ(driver.memory.Converters()[0], MemoryDriver::Erased());
}

TEST(EraseItem, FailureMessages) {
    struct Case {
        int opensThatSucceed;
        const char* error;
    };
    for (const Case c : {Case{0, "Failed to open device"}, Case{1, "Failed to open device for erase"}}) {
        NiceMock<MockDriver> driver;
        eemint::ScopedDriver scoped(driver);
        int opens = 0;
        ON_CALL(driver, Open(_, _)).WillByDefault([&](int index, MV_HANDLE* handle) {
            return opens++ < c.opensThatSucceed ? driver.memory.Open(index, handle) : MemoryDriver::kFailed;
        });
        EXPECT_CALL(driver, IoCtl(_, _, _, _, _, _, _)).Times(0);
        RecordingReporter reporter;
        eemint::EraseItemRun(reporter);
        EXPECT_EQ(reporter.errors, std::vector<std::string>{c.error});
        EXPECT_TRUE(reporter.statuses.empty());
        EXPECT_EQ(reporter.events.front(), "repaint");
    }
}

TEST(EraseItem, TheEraseRequestsOwnStatusIsNotExamined) {
    NiceMock<MockDriver> driver;
    eemint::ScopedDriver scoped(driver);
    ON_CALL(driver, IoCtl(_, MV_IOCTL_ERASE_EE, _, _, _, _, _)).WillByDefault(Return(MemoryDriver::kFailed));
    RecordingReporter reporter;
    eemint::EraseItemRun(reporter);
    EXPECT_EQ(reporter.statuses, std::vector<std::string>{"Device erased OK"});
}

}  // namespace
