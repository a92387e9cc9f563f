// The device objects against a GoogleMock driver: which requests they send, in what order,
// with which buffers, and what they make of failures.
#include <gtest/gtest.h>

#include <cstring>

#include "devicedefaults.h"
#include "eepromimage.h"
#include "mockdriver.h"

namespace {

using eemint::TDeviceDefaults;
using eemint::TEepromDevice;
using eemint::TEepromImage;
using testsupport::MemoryDriver;
using testsupport::MockDriver;
using ::testing::_;
using ::testing::AnyNumber;
using ::testing::DoAll;
using ::testing::Eq;
using ::testing::InSequence;
using ::testing::Invoke;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::SetArgPointee;
using ::testing::StrictMock;

MV_HANDLE FakeHandle(intptr_t value) { return reinterpret_cast<MV_HANDLE>(value); }

// Matches a word-read request's 32-bit input holding the given index.
MATCHER_P(ReadIndexIs, index, "") {
    uint32_t value;
    std::memcpy(&value, arg, 4);
    return value == static_cast<uint32_t>(index);
}

TEST(UsbDevice, SuccessIsTheLowEightBitsOfTheStatusBeingZero) {
    struct Case {
        MV_STATUS status;
        bool ok;
    };
    for (const Case c : {Case{0, true}, Case{0x100, true}, Case{0xABCD0000, true}, Case{1, false},
                         Case{0x80, false}, Case{0x1FF, false}, Case{0xFFFFFFFF, false}}) {
        StrictMock<MockDriver> driver;
        eemint::ScopedDriver scoped(driver);
        EXPECT_CALL(driver, Open(0, _)).WillOnce(DoAll(SetArgPointee<1>(FakeHandle(7)), Return(c.status)));
        EXPECT_CALL(driver, Close(FakeHandle(7))).Times(c.ok ? 1 : 0);
        TEepromDevice device;
        EXPECT_EQ(device.IsPresent(), c.ok) << std::hex << c.status;
    }
}

TEST(UsbDevice, WithNoDriverInstalledEveryCallFails) {
    eemint::InstallDriver(nullptr);
    TEepromImage image;
    EXPECT_FALSE(image.Open());
    EXPECT_FALSE(image.IsPresent());
    EXPECT_FALSE(image.ReadAndParse());
    EXPECT_FALSE(image.Erase());
    EXPECT_FALSE(image.WriteAll());
    EXPECT_FALSE(image.WordEquals(1, 0));
    uint32_t count = 99;
    EXPECT_FALSE(image.Read(nullptr, 0, &count));
    EXPECT_EQ(count, 0u);
}

TEST(UsbDevice, ScopedDriverRestoresThePreviousDriver) {
    NiceMock<MockDriver> outer, inner;
    eemint::ScopedDriver scopedOuter(outer);
    {
        eemint::ScopedDriver scopedInner(inner);
        EXPECT_EQ(&eemint::Driver(), &inner);
    }
    EXPECT_EQ(&eemint::Driver(), &outer);
}

TEST(EepromDevice, IsPresentOpensAtItsIndexAndClosesTheHandleItGot) {
    StrictMock<MockDriver> driver(3);
    eemint::ScopedDriver scoped(driver);
    InSequence order;
    EXPECT_CALL(driver, Open(2, _)).WillOnce(DoAll(SetArgPointee<1>(FakeHandle(42)), Return(0)));
    EXPECT_CALL(driver, Close(FakeHandle(42))).WillOnce(Return(0));
    EXPECT_CALL(driver, Open(5, _)).WillOnce(Return(MemoryDriver::kFailed));
    TEepromDevice device;
    device.SetIndex(2);
    EXPECT_TRUE(device.IsPresent());
    device.SetIndex(5);
    EXPECT_FALSE(device.IsPresent());
}

TEST(EepromDevice, ReadAllSendsSixtyFourWordReadsBetweenOpenAndClose) {
    StrictMock<MockDriver> driver;
    eemint::ScopedDriver scoped(driver);
    for (int i = 0; i < 64; ++i) driver.memory.Converters()[0][i] = static_cast<uint16_t>(0x0100 * i + i + 1);
    {
        InSequence order;
        EXPECT_CALL(driver, Open(0, _));
        for (int i = 0; i < 64; ++i)
            EXPECT_CALL(driver, IoCtl(FakeHandle(1), MV_IOCTL_READ_EE_WORD, ReadIndexIs(i), 4u, _, 2u, _));
        EXPECT_CALL(driver, Close(FakeHandle(1)));
    }
    TEepromDevice device;
    ASSERT_TRUE(device.ReadAll());
    EXPECT_FALSE(device.IsErased());
    EXPECT_EQ(device.Cursor(), 128);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(device.Bytes()[2 * i], i + 1);
        EXPECT_EQ(device.Bytes()[2 * i + 1], i);
    }
}

TEST(EepromDevice, ReadAllIgnoresARefusedWordButTakesItAsErased) {
    NiceMock<MockDriver> driver;
    eemint::ScopedDriver scoped(driver);
    driver.memory.Converters()[0].fill(0x1234);
    EXPECT_CALL(driver, IoCtl(_, _, _, _, _, _, _)).Times(AnyNumber());
    // The refused request scribbles into its output: that must not become the word.
    EXPECT_CALL(driver, IoCtl(_, MV_IOCTL_READ_EE_WORD, ReadIndexIs(5), _, _, _, _))
        .WillOnce(Invoke([](MV_HANDLE, uint32_t, void*, uint32_t, void* out, uint32_t, uint32_t*) {
            std::memset(out, 0x00, 2);
            return MemoryDriver::kFailed;
        }));
    TEepromDevice device;
    ASSERT_TRUE(device.ReadAll());
    EXPECT_EQ(device.Bytes()[10], 0xFF);
    EXPECT_EQ(device.Bytes()[11], 0xFF);
    EXPECT_EQ(device.Bytes()[12], 0x34);
    EXPECT_EQ(driver.memory.OpenCount(), 0);
}

TEST(EepromDevice, ErasedStaysTrueOnlyWhileEveryWordReadIsFFFF) {
    NiceMock<MockDriver> driver;
    eemint::ScopedDriver scoped(driver);
    TEepromDevice device;
    ASSERT_TRUE(device.ReadAll());
    EXPECT_TRUE(device.IsErased());
    for (int i = 0; i < 128; ++i) ASSERT_EQ(device.Bytes()[i], 0xFF) << i;
    for (int i = 128; i < 256; ++i) ASSERT_EQ(device.Bytes()[i], 0x00) << i;

    driver.memory.Converters()[0][63] = 0xFFFE;
    ASSERT_TRUE(device.ReadAll());
    EXPECT_FALSE(device.IsErased());
    driver.memory.Converters()[0][63] = 0xFFFF;
    ASSERT_TRUE(device.ReadAll());
    EXPECT_FALSE(device.IsErased()) << "a read never sets erased again";
    ASSERT_TRUE(device.Erase());
    EXPECT_TRUE(device.IsErased());
}

TEST(EepromDevice, WriteAllSendsIndexLowHighAsOneInOutBuffer) {
    StrictMock<MockDriver> driver;
    eemint::ScopedDriver scoped(driver);
    TEepromDevice device;
    for (int i = 0; i < 64; ++i) device.PushWord(static_cast<uint16_t>(0xA000 + i));
    std::vector<std::array<uint8_t, 4>> sent;
    {
        InSequence order;
        EXPECT_CALL(driver, Open(0, _));
        EXPECT_CALL(driver, IoCtl(FakeHandle(1), MV_IOCTL_WRITE_EE_WORD, _, 4u, _, 4u, _))
            .Times(64)
            .WillRepeatedly(Invoke([&](MV_HANDLE h, uint32_t code, void* in, uint32_t inSize, void* out,
                                       uint32_t outSize, uint32_t* returned) {
                EXPECT_EQ(in, out);
                std::array<uint8_t, 4> b;
                std::memcpy(b.data(), in, 4);
                sent.push_back(b);
                return driver.memory.IoCtl(h, code, in, inSize, out, outSize, returned);
            }));
        EXPECT_CALL(driver, Close(FakeHandle(1)));
    }
    ASSERT_TRUE(device.WriteAll());
    ASSERT_EQ(sent.size(), 64u);
    for (int i = 0; i < 64; ++i) {
        const std::array<uint8_t, 4> expected = {static_cast<uint8_t>(i), 0, static_cast<uint8_t>(i), 0xA0};
        EXPECT_EQ(sent[i], expected) << i;
        EXPECT_EQ(driver.memory.Converters()[0][i], 0xA000 + i);
    }
}

TEST(EepromDevice, WordStatusesAreIgnoredButAFailedOpenStopsEveryOperation) {
    NiceMock<MockDriver> driver;
    eemint::ScopedDriver scoped(driver);
    ON_CALL(driver, IoCtl(_, _, _, _, _, _, _)).WillByDefault(Return(MemoryDriver::kFailed));
    TEepromDevice device;
    EXPECT_TRUE(device.WriteAll());
    EXPECT_TRUE(device.ReadAll());
    EXPECT_TRUE(device.Erase());

    EXPECT_CALL(driver, Open(_, _)).WillRepeatedly(Return(MemoryDriver::kFailed));
    EXPECT_CALL(driver, IoCtl(_, _, _, _, _, _, _)).Times(0);
    EXPECT_CALL(driver, Close(_)).Times(0);
    EXPECT_FALSE(device.WriteAll());
    EXPECT_FALSE(device.ReadAll());
    EXPECT_FALSE(device.Erase());
    EXPECT_FALSE(device.Verify());
    uint16_t word = 0x5A5A;
    EXPECT_FALSE(device.ReadWord(1, &word));
    EXPECT_EQ(word, 0x5A5A);
}

TEST(EepromDevice, EraseSendsOneBufferlessRequest) {
    StrictMock<MockDriver> driver;
    eemint::ScopedDriver scoped(driver);
    driver.memory.Converters()[0].fill(0);
    InSequence order;
    EXPECT_CALL(driver, Open(0, _));
    EXPECT_CALL(driver, IoCtl(FakeHandle(1), MV_IOCTL_ERASE_EE, nullptr, 0u, nullptr, 0u, _));
    EXPECT_CALL(driver, Close(FakeHandle(1)));
    TEepromImage image;
    image.BuildImage("A", "B", "C");
    ASSERT_FALSE(image.IsErased());
    EXPECT_TRUE(image.Erase());
    EXPECT_TRUE(image.IsErased());
    EXPECT_EQ(driver.memory.Converters()[0], MemoryDriver::Erased());
}

TEST(EepromDevice, VerifyComparesTheWholeImageAndKeepsWhatWasReadBack) {
    NiceMock<MockDriver> driver;
    eemint::ScopedDriver scoped(driver);
    TEepromImage image;
    image.BuildImage("MAVIX", "USB HS Serial Converter", "MV000001");
    ASSERT_TRUE(image.WriteAll());
    EXPECT_TRUE(image.Verify());

    driver.memory.Converters()[0][40] ^= 0x0100;
    const auto written = image.Bytes();
    EXPECT_FALSE(image.Verify());
    EXPECT_EQ(image.Bytes()[81], written[81] ^ 0x01) << "the image holds the read-back";

    // The device vanishes between write and verify.
    image.BuildImage("MAVIX", "USB HS Serial Converter", "MV000001");
    ASSERT_TRUE(image.WriteAll());
    driver.memory.Converters().clear();
    EXPECT_FALSE(image.Verify());
}

TEST(EepromDevice, ReadWordSendsTheIndexAsThirtyTwoBitsAndReportsARefusal) {
    NiceMock<MockDriver> driver;
    eemint::ScopedDriver scoped(driver);
    driver.memory.Converters()[0][1] = 0x3A7E;
    EXPECT_CALL(driver, IoCtl(_, _, _, _, _, _, _)).Times(AnyNumber());
    EXPECT_CALL(driver, IoCtl(_, MV_IOCTL_READ_EE_WORD, ReadIndexIs(1), 4u, _, 2u, _)).Times(3);
    TEepromDevice device;
    uint16_t word = 0;
    EXPECT_TRUE(device.ReadWord(1, &word));
    EXPECT_EQ(word, 0x3A7E);
    EXPECT_TRUE(device.WordEquals(1, 0x3A7E));
    EXPECT_FALSE(device.WordEquals(1, 0x3A7F));
    // An index the driver refuses gives no word at all.
    word = 0x1111;
    EXPECT_FALSE(device.ReadWord(64, &word));
    EXPECT_EQ(word, 0x1111);
    EXPECT_FALSE(device.WordEquals(64, 0xFFFF));
    EXPECT_EQ(driver.memory.OpenCount(), 0);
}

TEST(EepromDevice, WordEqualsOnAMissingDeviceIsFalseWhateverTheValue) {
    NiceMock<MockDriver> driver(0);
    eemint::ScopedDriver scoped(driver);
    TEepromDevice device;
    for (uint16_t value : {0x0000, 0xFFFF, 0x3A7E}) EXPECT_FALSE(device.WordEquals(1, value));
}

TEST(DeviceDefaults, FilledWhenConverterZeroOpens) {
    StrictMock<MockDriver> driver;
    eemint::ScopedDriver scoped(driver);
    InSequence order;
    EXPECT_CALL(driver, Open(0, _));
    EXPECT_CALL(driver, Close(FakeHandle(1)));
    TDeviceDefaults defaults;
    EXPECT_EQ(defaults.GetVendorId(), 0x3A7E);
    EXPECT_EQ(defaults.GetProductId(), 0x5C01);
    EXPECT_EQ(defaults.GetManufacturer(), "MAVIX");
    EXPECT_EQ(defaults.GetDescription(), "USB HS Serial Converter");
    EXPECT_EQ(defaults.GetSerialNumber(), "MV005C01");
}

TEST(DeviceDefaults, ZeroAndEmptyWithNoConverter) {
    NiceMock<MockDriver> driver(0);
    eemint::ScopedDriver scoped(driver);
    EXPECT_CALL(driver, Close(_)).Times(0);
    TDeviceDefaults defaults;
    EXPECT_EQ(defaults.GetVendorId(), 0);
    EXPECT_EQ(defaults.GetProductId(), 0);
    EXPECT_EQ(defaults.GetManufacturer(), "");
    EXPECT_EQ(defaults.GetDescription(), "");
    EXPECT_EQ(defaults.GetSerialNumber(), "");
}

}  // namespace
