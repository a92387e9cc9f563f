// The EEPROM image: the layout a build produces, the checksum, the single-field setters,
// and decoding images read back from a converter, which may hold anything.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "eepromimage.h"
#include "exampleimage.h"
#include "memorydriver.h"
#include "tempdir.h"

namespace {

using eemint::TEepromImage;
using testsupport::MemoryDriver;

using testsupport::Bytes128;
using testsupport::ExampleImage;
using testsupport::First128;

// Puts raw bytes on converter 0 of a memory driver and reads them back through ReadAndParse.
struct ReadBack {
    MemoryDriver driver;
    eemint::ScopedDriver scoped{driver};
    TEepromImage image;

    explicit ReadBack(const Bytes128& bytes) {
        for (int i = 0; i < 64; ++i)
            driver.Converters()[0][i] = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        EXPECT_TRUE(image.ReadAndParse());
    }
};

TEST(EepromImage, ExampleBuildMatchesByteForByte) {
    TEepromImage image;
    EXPECT_EQ(image.BuildImage("MAVIX", "USB HS Serial Converter", "MV000001"), 0x8098);
    EXPECT_EQ(image.Checksum(), 0x8098);
    EXPECT_EQ(First128(image), ExampleImage());
    EXPECT_FALSE(image.IsErased());
    EXPECT_EQ(image.ManufacturerOffset(), 20);
    EXPECT_EQ(image.DescriptionOffset(), 32);
    EXPECT_EQ(image.SerialNumberOffset(), 80);
    EXPECT_EQ(image.GetManufacturer(), "MAVIX");
    EXPECT_EQ(image.GetDescription(), "USB HS Serial Converter");
    EXPECT_EQ(image.GetSerialNumber(), "MV000001");
}

TEST(EepromImage, SecondGenerationBuildSetsReleaseOptionsAndUsbVersion) {
    TEepromImage image;
    image.BuildImageRev4("MAVIX", "D", "S", true, true, false, true, false, true, 0x0110);
    EXPECT_EQ(image.Bytes()[7], 0x04);
    EXPECT_EQ(image.Bytes()[10], 0x01 | 0x04 | 0x10);
    EXPECT_EQ(image.Bytes()[12], 0x10);
    EXPECT_EQ(image.Bytes()[13], 0x01);
    image.BuildImageRev4("MAVIX", "D", "S", false, false, true, false, true, false, 0);
    EXPECT_EQ(image.Bytes()[7], 0x02);
    EXPECT_EQ(image.Bytes()[10], 0x02 | 0x08);
}

TEST(EepromImage, ChecksumCoversBytesZeroTo125Only) {
    TEepromImage image;
    EXPECT_EQ(image.Checksum(), 0);
    EXPECT_EQ(image.UpdateChecksum(), 0x5555) << "63 zero words";
    EXPECT_EQ(image.Bytes()[126], 0x55);
    EXPECT_EQ(image.Bytes()[127], 0x55);

    const uint16_t example = image.BuildImage("MAVIX", "USB HS Serial Converter", "MV000001");
    for (int i = 0; i < 256; ++i) {
        if (i == 126 || i == 127) continue;
        TEepromImage changed;
        changed.BuildImage("MAVIX", "USB HS Serial Converter", "MV000001");
        // Reach one byte through the word cursor, the only writable path to the image.
        changed.Rewind();
        for (int w = 0; w < i / 2; ++w) changed.PopWord();
        const uint16_t word = static_cast<uint16_t>(changed.Bytes()[i & ~1] | (changed.Bytes()[i | 1] << 8));
        changed.PushWord(static_cast<uint16_t>(word ^ (i % 2 ? 0x0100 : 0x0001)));
        if (i < 126)
            EXPECT_NE(changed.UpdateChecksum(), example) << "byte " << i;
        else
            EXPECT_EQ(changed.UpdateChecksum(), example) << "byte " << i;
    }
}

TEST(EepromImage, PrefixFitsWhenSerialDescriptorEndsAt122NotAt123) {
    struct Case {
        uint8_t serialOffset, serialLength;
        bool fits;
    };
    for (const Case c : {Case{100, 22, true}, Case{100, 23, false}, Case{20, 102, true}, Case{121, 2, false},
                         Case{127, 127, false}}) {
        Bytes128 bytes{};
        bytes[18] = 0x80 | c.serialOffset;
        bytes[19] = c.serialLength;
        ReadBack back(bytes);
        const auto before = back.image.Bytes();
        EXPECT_EQ(back.image.AppendPrefixDescriptor({0x02, 0x03}), c.fits) << int(c.serialOffset) << "+"
                                                                         << int(c.serialLength);
        const int end = c.serialOffset + c.serialLength;
        if (c.fits) {
            EXPECT_EQ(back.image.Bytes()[end], 0x02);
            EXPECT_EQ(back.image.Bytes()[end + 1], 0x03);
        } else {
            EXPECT_EQ(back.image.Bytes(), before) << "a refused prefix changes nothing";
        }
    }
}

TEST(EepromImage, TextsUpToFortyEightCharactersFitTheImage) {
    // 20 + 2 + 2 + 2 + 2 x 48 = 122: the prefix ends on byte 123, before the marker.
    TEepromImage image;
    image.BuildImage(std::string(16, 'M'), std::string(24, 'D'), "SER00001");
    EXPECT_EQ(image.Bytes()[122], 0x02);
    EXPECT_EQ(image.Bytes()[123], 0x03);
    EXPECT_EQ(image.Bytes()[124], 0x01);

    TEepromImage tooLong;
    tooLong.BuildImage(std::string(16, 'M'), std::string(25, 'D'), "SER00001");
    EXPECT_FALSE(tooLong.AppendPrefixDescriptor({0x02, 0x03}));
}

TEST(EepromImage, ProgrammingSequenceReplacesSerialThenPrefixAndPnpWord) {
    TEepromImage image;
    image.BuildImage("MAVIX", "USB HS Serial Converter", "MV000001");
    image.SetSerialDescriptor(TEepromImage::StringDescriptor("AB12CD34XY"));
    ASSERT_TRUE(image.AppendPrefixDescriptor({0x02, 0x03}));
    image.SetPnpWord(1);
    image.SetVendorId(0x1234);
    image.SetProductId(0xABCD);
    image.SetConfigAttributes(0xC0);
    const uint16_t checksum = image.SetMaxPower(500);

    EXPECT_EQ(image.Bytes()[19], 22);
    EXPECT_EQ(image.GetSerialNumber(), "AB12CD34XY");
    EXPECT_EQ(image.Bytes()[102], 0x02);
    EXPECT_EQ(image.Bytes()[103], 0x03);
    EXPECT_EQ(image.Bytes()[104], 0x01);
    EXPECT_EQ(image.Bytes()[105], 0x00);
    EXPECT_EQ(image.GetVendorId(), 0x1234);
    EXPECT_EQ(image.GetProductId(), 0xABCD);
    EXPECT_EQ(image.Bytes()[8], 0xC0);
    EXPECT_EQ(image.Bytes()[9], 0xFA);
    EXPECT_EQ(checksum, image.Bytes()[126] | (image.Bytes()[127] << 8));
    EXPECT_EQ(checksum, image.UpdateChecksum());
}

TEST(EepromImage, MaxPowerIsStoredInTwoMilliampereUnits) {
    struct Case {
        int milliamperes;
        uint8_t stored;
    };
    for (const Case c : {Case{500, 250}, Case{91, 45}, Case{90, 45}, Case{1, 0}, Case{0, 0}, Case{511, 255},
                         Case{600, 255}, Case{-4, 0}}) {
        TEepromImage image;
        image.SetMaxPower(c.milliamperes);
        EXPECT_EQ(image.Bytes()[9], c.stored) << c.milliamperes;
    }
}

TEST(EepromImage, ErasedReadBackGivesEmptyTextsAndFFFFIds) {
    Bytes128 erased;
    erased.fill(0xFF);
    ReadBack back(erased);
    EXPECT_TRUE(back.image.IsErased());
    EXPECT_EQ(back.image.GetManufacturer(), "");
    EXPECT_EQ(back.image.GetDescription(), "");
    EXPECT_EQ(back.image.GetSerialNumber(), "");
    EXPECT_EQ(back.image.GetVendorId(), 0xFFFF);
    EXPECT_EQ(back.image.GetProductId(), 0xFFFF);
    EXPECT_EQ(back.image.ManufacturerOffset(), 0x7F);
}

TEST(EepromImage, CharacterAboveSevenBitsRoundTripsAsItsCodeUnit) {
    TEepromImage built;
    built.BuildImage("Caf\xE9", "USB", "MV000001");
    EXPECT_EQ(built.Bytes()[20 + 2 + 2 * 3], 0xE9);
    EXPECT_EQ(built.Bytes()[20 + 2 + 2 * 3 + 1], 0x00);
    ReadBack back(First128(built));
    EXPECT_EQ(back.image.GetManufacturer(), "Caf\xE9");
}

TEST(EepromImage, ReadBackDescriptorsAreDecodedWithinTheBuffer) {
    struct Case {
        uint8_t length;
        std::string text;
    };
    // The manufacturer descriptor at offset 90 holds "ABCDEFGHIJKLMN" (14 characters).
    for (const Case& c : {Case{0, ""}, Case{2, ""}, Case{3, ""}, Case{4, "A"}, Case{5, "A"}, Case{8, "ABC"},
                          Case{30, "ABCDEFGHIJKLMN"}, Case{0x7F, "ABCDEFGHIJKLMN"}, Case{0x80, ""},
                          Case{0xFF, ""}}) {
        Bytes128 bytes{};
        bytes[14] = 0x80 | 90;
        bytes[90] = c.length;
        bytes[91] = 0x03;
        for (int i = 0; i < 14; ++i) bytes[92 + 2 * i] = static_cast<uint8_t>('A' + i);
        // A length of 0x7F claims 62 characters: the text ends at the first zero code unit.
        ReadBack back(bytes);
        EXPECT_EQ(back.image.GetManufacturer(), c.text) << "length " << int(c.length);
    }
}

TEST(EepromImage, OffsetsReadBackLoseBitSeven) {
    Bytes128 bytes{};
    bytes[14] = 0xFF;
    bytes[16] = 0x05;
    bytes[18] = 0x80;
    ReadBack back(bytes);
    EXPECT_EQ(back.image.ManufacturerOffset(), 0x7F);
    EXPECT_EQ(back.image.DescriptionOffset(), 0x05);
    EXPECT_EQ(back.image.SerialNumberOffset(), 0x00);
}

TEST(EepromImage, OverlongTextsNeverWriteOrReadPastTheBuffer) {
    // 120-character texts give wrapped lengths and offsets far beyond the EEPROM; the build
    // must leave out what does not fit and the getters must stop at the buffer's end.
    TEepromImage image;
    image.BuildImage(std::string(120, 'M'), std::string(60, 'D'), std::string(100, 'S'));
    EXPECT_LE(image.GetManufacturer().size(), 120u);
    (void)image.GetDescription();
    (void)image.GetSerialNumber();
    EXPECT_FALSE(image.AppendPrefixDescriptor({0x02, 0x03}));
    image.SetSerialDescriptor(TEepromImage::StringDescriptor(std::string(126, 'X')));
    image.SetPnpWord(1);
    EXPECT_EQ(image.Bytes()[124], 0x01);
}

TEST(EepromImage, CursorNeverLeavesTheBuffer) {
    TEepromImage image;
    for (int i = 0; i < 200; ++i) image.PushWord(0x0102);
    EXPECT_EQ(image.Cursor(), 256);
    EXPECT_EQ(image.PopWord(), 0);
    image.Rewind();
    EXPECT_EQ(image.PopWord(), 0x0102);
}

TEST(EepromImage, SaveToFileWritesExactlyTheEepromBytes) {
    testsupport::TempDir dir;
    TEepromImage image;
    image.BuildImage("MAVIX", "USB HS Serial Converter", "MV000001");
    image.Rewind();
    for (int i = 0; i < 64; ++i) image.PopWord();
    for (int i = 64; i < 128; ++i) image.PushWord(0x7777);  // the working space beyond the EEPROM
    const auto path = dir.Path() / "image.bin";
    { std::ofstream(path) << std::string(1000, 'x'); }
    ASSERT_TRUE(image.SaveToFile(path.string()));
    std::ifstream in(path, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(content.size(), 128u);
    EXPECT_TRUE(std::equal(content.begin(), content.end(), ExampleImage().begin(),
                           [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }));

    EXPECT_FALSE(image.SaveToFile((dir.Path() / "missing" / "image.bin").string()));
    EXPECT_FALSE(image.SaveToFile(dir.Path().string())) << "a folder is no file";
}

}  // namespace
