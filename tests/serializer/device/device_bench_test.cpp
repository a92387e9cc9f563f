// The device layer and the Read and Erase commands against the simulated bench, through the
// system driver: what really lands in a converter's EEPROM and what comes back.
#include <gtest/gtest.h>

#include "benchcontrol.h"
#include "benchfixture.h"
#include "devicedefaults.h"
#include "eepromimage.h"
#include "exampleimage.h"
#include "mvdriver.h"
#include "readerase.h"
#include "recordingreporter.h"

namespace {

using eemint::TEepromImage;
using testsupport::Bytes128;
using testsupport::ExampleImage;
using testsupport::First128;
using testsupport::RecordingReporter;

class DeviceOnBench : public ::testing::Test {
protected:
    void SetUp() override {
        // One converter only, so that an unplugged converter 0 leaves no other in its place.
        ASSERT_TRUE(mvbench::Unplug(1)) << mvbench::LastError();
    }

    static Bytes128 DumpOf(int index) {
        const auto dump = mvbench::Dump(index);
        EXPECT_TRUE(dump.has_value()) << mvbench::LastError();
        return dump.value_or(Bytes128{});
    }

    testsupport::ScopedBench bench;
    eemint::ScopedDriver driver{eemint::SystemDriver()};
};

TEST_F(DeviceOnBench, ProgramsTheExampleImageByteForByte) {
    TEepromImage image;
    ASSERT_EQ(image.BuildImage("MAVIX", "USB HS Serial Converter", "MV000001"), 0x8098);
    ASSERT_TRUE(image.Erase());
    ASSERT_TRUE(image.WriteAll());
    ASSERT_TRUE(image.Verify());
    EXPECT_EQ(DumpOf(0), ExampleImage());

    TEepromImage back;
    ASSERT_TRUE(back.ReadAndParse());
    EXPECT_FALSE(back.IsErased());
    EXPECT_EQ(back.GetManufacturer(), "MAVIX");
    EXPECT_EQ(back.GetDescription(), "USB HS Serial Converter");
    EXPECT_EQ(back.GetSerialNumber(), "MV000001");
    EXPECT_EQ(back.GetVendorId(), 0x3A7E);
    EXPECT_EQ(back.GetProductId(), 0x5C01);
    EXPECT_EQ(back.UpdateChecksum(), 0x8098);
    EXPECT_TRUE(back.WordEquals(1, 0x3A7E));
    EXPECT_FALSE(back.WordEquals(1, 0x3A7F));
}

TEST_F(DeviceOnBench, ErasedConverterReadsBackErased) {
    TEepromImage image;
    ASSERT_TRUE(image.ReadAndParse());
    EXPECT_TRUE(image.IsErased());
    EXPECT_EQ(First128(image), [] {
        Bytes128 ff;
        ff.fill(0xFF);
        return ff;
    }());
    EXPECT_EQ(image.GetManufacturer(), "");
    EXPECT_EQ(image.GetDescription(), "");
    EXPECT_EQ(image.GetSerialNumber(), "");
    EXPECT_EQ(image.GetVendorId(), 0xFFFF);
}

TEST_F(DeviceOnBench, ZeroWordsAndThePrefixLimitOnAnImageReadBack) {
    const int zero = mvbench::PlugImage(Bytes128{});
    ASSERT_GE(zero, 0) << mvbench::LastError();
    TEepromImage zeros;
    zeros.SetIndex(zero);
    ASSERT_TRUE(zeros.ReadAndParse());
    EXPECT_EQ(zeros.UpdateChecksum(), 0x5555) << "63 zero words";

    struct Case {
        uint8_t serialLength;
        bool fits;
    };
    for (const Case c : {Case{22, true}, Case{23, false}}) {
        Bytes128 bytes{};
        bytes[18] = 0x80 | 100;
        bytes[19] = c.serialLength;
        const int index = mvbench::PlugImage(bytes);
        ASSERT_GE(index, 0) << mvbench::LastError();
        TEepromImage image;
        image.SetIndex(index);
        ASSERT_TRUE(image.ReadAndParse());
        EXPECT_EQ(image.AppendPrefixDescriptor({0x02, 0x03}), c.fits) << "100 + " << int(c.serialLength);
        ASSERT_TRUE(mvbench::Unplug(index));
    }
}

TEST_F(DeviceOnBench, CharacterAboveSevenBitsIsStoredAsItsCodeUnit) {
    TEepromImage image;
    image.BuildImage("Caf\xE9", "USB", "MV000001");
    ASSERT_TRUE(image.Erase() && image.WriteAll() && image.Verify());
    const Bytes128 dump = DumpOf(0);
    EXPECT_EQ(dump[28], 0xE9);
    EXPECT_EQ(dump[29], 0x00);
    TEepromImage back;
    ASSERT_TRUE(back.ReadAndParse());
    EXPECT_EQ(back.GetManufacturer(), "Caf\xE9");
}

TEST_F(DeviceOnBench, VerifyFailsWhenTheConverterVanishesOrABitIsStuck) {
    TEepromImage image;
    image.BuildImage("MAVIX", "USB HS Serial Converter", "MV000001");
    ASSERT_TRUE(image.Erase());
    // Open, 64 word writes and close reach the converter; the verify's open does not.
    ASSERT_TRUE(mvbench::UnplugAfterRequests(0, 66));
    ASSERT_TRUE(image.WriteAll());
    EXPECT_FALSE(image.Verify());
    EXPECT_FALSE(image.IsPresent());

    ASSERT_GE(mvbench::Plug(), 0);
    ASSERT_TRUE(mvbench::SetStuckBit(0, 40, 3, true));
    ASSERT_TRUE(image.Erase() && image.WriteAll());
    EXPECT_FALSE(image.Verify());
}

TEST_F(DeviceOnBench, MissingConverterFailsEveryOperation) {
    TEepromImage image;
    image.SetIndex(1);
    image.BuildImage("MAVIX", "USB HS Serial Converter", "MV000001");
    EXPECT_FALSE(image.IsPresent());
    EXPECT_FALSE(image.Erase());
    EXPECT_FALSE(image.WriteAll());
    EXPECT_FALSE(image.Verify());
    EXPECT_FALSE(image.WordEquals(1, 0x3A7E));
    EXPECT_FALSE(image.ReadAndParse());

    ASSERT_TRUE(mvbench::Unplug(0));
    eemint::TDeviceDefaults defaults;
    EXPECT_EQ(defaults.GetVendorId(), 0);
    EXPECT_EQ(defaults.GetProductId(), 0);
    EXPECT_EQ(defaults.GetManufacturer(), "");
    EXPECT_EQ(defaults.GetSerialNumber(), "");
}

TEST_F(DeviceOnBench, ReadDumpsTheExampleImage) {
    ASSERT_GE(mvbench::PlugImage(ExampleImage()), 0);
    ASSERT_TRUE(mvbench::Unplug(0));
    RecordingReporter reporter;
    eemint::ReadItemRun(reporter);
    ASSERT_EQ(reporter.log.size(), 9u);
    EXPECT_EQ(reporter.log.front(), "00: 00 00 7E 3A 01 5C 00 02 A0 2D 00 00 00 00 94 0C ");
    EXPECT_EQ(reporter.log[7], "70: 00 00 00 00 00 00 00 00 00 00 00 00 01 00 98 80 ");
    EXPECT_EQ(reporter.log.back(), "");
    EXPECT_TRUE(reporter.errors.empty());
}

TEST_F(DeviceOnBench, ReadOfAnErasedConverterAndEraseOfAProgrammedOne) {
    RecordingReporter read;
    eemint::ReadItemRun(read);
    ASSERT_EQ(read.log.size(), 9u);
    EXPECT_EQ(read.log[0], "00: FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF ");

    ASSERT_GE(mvbench::PlugImage(ExampleImage()), 0);
    ASSERT_TRUE(mvbench::Unplug(0));
    RecordingReporter erase;
    eemint::EraseItemRun(erase);
    EXPECT_EQ(erase.statuses, std::vector<std::string>{"Device erased OK"});
    EXPECT_TRUE(erase.errors.empty());
    Bytes128 ff;
    ff.fill(0xFF);
    EXPECT_EQ(DumpOf(0), ff);
}

TEST_F(DeviceOnBench, ReadAndEraseFailureMessages) {
    // Unplugged between the presence probe (open and close) and the erase's open.
    ASSERT_TRUE(mvbench::UnplugAfterRequests(0, 2));
    RecordingReporter vanishing;
    eemint::EraseItemRun(vanishing);
    EXPECT_EQ(vanishing.errors, std::vector<std::string>{"Failed to open device for erase"});
    EXPECT_TRUE(vanishing.statuses.empty());

    RecordingReporter read, erase;
    eemint::ReadItemRun(read);
    eemint::EraseItemRun(erase);
    EXPECT_EQ(read.errors, std::vector<std::string>{"Failed to open device for read"});
    EXPECT_TRUE(read.log.empty());
    EXPECT_EQ(erase.errors, std::vector<std::string>{"Failed to open device"});
}

}  // namespace
