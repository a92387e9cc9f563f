// The meaning of a converter's EEPROM image: builds it from a product identity (both chip
// generations), adjusts single fields, keeps the checksum current after every change, and
// recovers the identity from an image read back from a device. Images read back are
// untrusted: nothing here reads or writes outside the 256-byte buffer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "eepromdevice.h"

namespace eemint {

class TEepromImage : public TEepromDevice {
public:
    TEepromImage() = default;

    // Texts are single-byte: each char is one character with its byte value 0 to 255.
    uint16_t BuildImage(const std::string& manufacturer, const std::string& description,
                        const std::string& serialNumber);
    uint16_t BuildImageRev4(const std::string& manufacturer, const std::string& description,
                            const std::string& serialNumber, bool secondGeneration, bool isoIn,
                            bool isoOut, bool pullDowns, bool serialNumberEnable, bool usbVersionEnable,
                            uint16_t usbVersion);

    uint16_t SetSerialDescriptor(const std::vector<uint8_t>& descriptor);
    bool AppendPrefixDescriptor(const std::vector<uint8_t>& descriptor);
    uint16_t SetPnpWord(uint16_t word);
    uint16_t SetVendorId(uint16_t vendorId);
    uint16_t SetProductId(uint16_t productId);
    uint16_t SetConfigAttributes(uint8_t attributes);
    uint16_t SetMaxPower(int milliamperes);
    uint16_t UpdateChecksum();

    bool ReadAndParse();

    uint16_t GetVendorId() const;
    uint16_t GetProductId() const;
    std::string GetManufacturer() const;
    std::string GetDescription() const;
    std::string GetSerialNumber() const;

    uint16_t Checksum() const { return checksum_; }
    uint8_t ManufacturerOffset() const { return manufacturerOffset_; }
    uint8_t DescriptionOffset() const { return descriptionOffset_; }
    uint8_t SerialNumberOffset() const { return serialOffset_; }

    // The string descriptor of a text: length 2 + 2 x characters (mod 256), 0x03, one
    // little-endian code unit per character (its byte value).
    static std::vector<uint8_t> StringDescriptor(const std::string& text);

private:
    // The text of the string descriptor at a byte offset, cut at the end of the buffer.
    std::string DecodeString(uint8_t offset) const;

    uint16_t checksum_ = 0;
    uint8_t manufacturerOffset_ = 0;
    uint8_t descriptionOffset_ = 0;
    uint8_t serialOffset_ = 0;
};

}  // namespace eemint
