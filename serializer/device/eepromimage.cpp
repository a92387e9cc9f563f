#include "eepromimage.h"

#include <algorithm>

namespace eemint {
namespace {

constexpr int kChecksumWords = 63;
constexpr int kChecksumLow = 126;
constexpr int kDescriptorsEnd = 124;  // the marker byte; descriptors and the prefix end before it
constexpr int kMarker = 124;
constexpr int kFirstDescriptor = 20;
constexpr uint16_t kDefaultVendorId = 0x3A7E;
constexpr uint16_t kDefaultProductId = 0x5C01;
constexpr uint8_t kStringDescriptorType = 0x03;

}  // namespace

std::vector<uint8_t> TEepromImage::StringDescriptor(const std::string& text) {
    std::vector<uint8_t> descriptor;
    descriptor.reserve(2 + 2 * text.size());
    descriptor.push_back(static_cast<uint8_t>((2 + 2 * text.size()) & 0xFF));
    descriptor.push_back(kStringDescriptorType);
    for (char c : text) {
        descriptor.push_back(static_cast<uint8_t>(c));
        descriptor.push_back(0);
    }
    return descriptor;
}

uint16_t TEepromImage::BuildImage(const std::string& manufacturer, const std::string& description,
                                  const std::string& serialNumber) {
    return BuildImageRev4(manufacturer, description, serialNumber, false, false, false, false, false, false, 0);
}

uint16_t TEepromImage::BuildImageRev4(const std::string& manufacturer, const std::string& description,
                                      const std::string& serialNumber, bool secondGeneration, bool isoIn,
                                      bool isoOut, bool pullDowns, bool serialNumberEnable,
                                      bool usbVersionEnable, uint16_t usbVersion) {
    image_.fill(0);

    image_[2] = kDefaultVendorId & 0xFF;
    image_[3] = kDefaultVendorId >> 8;
    image_[4] = kDefaultProductId & 0xFF;
    image_[5] = kDefaultProductId >> 8;
    image_[6] = 0x00;
    image_[7] = secondGeneration ? 0x04 : 0x02;
    image_[8] = 0xA0;
    image_[9] = 0x2D;
    image_[10] = static_cast<uint8_t>((isoIn ? 0x01 : 0) | (isoOut ? 0x02 : 0) | (pullDowns ? 0x04 : 0) |
                                      (serialNumberEnable ? 0x08 : 0) | (usbVersionEnable ? 0x10 : 0));
    image_[11] = 0;
    image_[12] = static_cast<uint8_t>(usbVersion & 0xFF);
    image_[13] = static_cast<uint8_t>(usbVersion >> 8);

    const std::vector<uint8_t> descriptors[3] = {StringDescriptor(manufacturer), StringDescriptor(description),
                                                 StringDescriptor(serialNumber)};
    // Offsets and lengths are bytes: sums wrap at 256 as the image stores them.
    image_[14] = kFirstDescriptor;
    image_[15] = descriptors[0][0];
    image_[16] = static_cast<uint8_t>(image_[14] + image_[15]);
    image_[17] = descriptors[1][0];
    image_[18] = static_cast<uint8_t>(image_[16] + image_[17]);
    image_[19] = descriptors[2][0];

    // Taken before the descriptors go in: with wrapped offsets a descriptor may land on the
    // header itself.
    const uint8_t offsets[3] = {image_[14], image_[16], image_[18]};
    for (int i = 0; i < 3; ++i) {
        const std::vector<uint8_t>& d = descriptors[i];
        // A descriptor that would pass the end of the buffer is left out.
        if (offsets[i] + d.size() <= image_.size()) std::copy(d.begin(), d.end(), image_.begin() + offsets[i]);
    }

    manufacturerOffset_ = offsets[0];
    descriptionOffset_ = offsets[1];
    serialOffset_ = offsets[2];
    image_[14] |= 0x80;
    image_[16] |= 0x80;
    image_[18] |= 0x80;

    AppendPrefixDescriptor({0x02, 0x03});
    SetPnpWord(0);
    SetVendorId(kDefaultVendorId);
    SetProductId(kDefaultProductId);

    image_[kMarker] = 0x01;
    UpdateChecksum();
    erased_ = false;
    return checksum_;
}

uint16_t TEepromImage::SetSerialDescriptor(const std::vector<uint8_t>& descriptor) {
    const std::size_t length = descriptor.empty() ? 0 : descriptor[0];
    const std::size_t count = std::min(length, descriptor.size());
    if (serialOffset_ + count <= image_.size())
        std::copy(descriptor.begin(), descriptor.begin() + count, image_.begin() + serialOffset_);
    image_[19] = static_cast<uint8_t>(length);
    return UpdateChecksum();
}

bool TEepromImage::AppendPrefixDescriptor(const std::vector<uint8_t>& descriptor) {
    if (descriptor.empty() || descriptor[0] > descriptor.size()) return false;
    const int length = descriptor[0];
    const int end = serialOffset_ + image_[19];
    if (end + length > kDescriptorsEnd) return false;
    std::copy(descriptor.begin(), descriptor.begin() + length, image_.begin() + end);
    UpdateChecksum();
    return true;
}

uint16_t TEepromImage::SetPnpWord(uint16_t word) {
    std::size_t position = serialOffset_ + image_[19];
    if (position < image_.size()) position += image_[position];
    if (position + 1 < image_.size()) {
        image_[position] = static_cast<uint8_t>(word & 0xFF);
        image_[position + 1] = static_cast<uint8_t>(word >> 8);
    }
    return UpdateChecksum();
}

uint16_t TEepromImage::SetVendorId(uint16_t vendorId) {
    image_[2] = static_cast<uint8_t>(vendorId & 0xFF);
    image_[3] = static_cast<uint8_t>(vendorId >> 8);
    return UpdateChecksum();
}

uint16_t TEepromImage::SetProductId(uint16_t productId) {
    image_[4] = static_cast<uint8_t>(productId & 0xFF);
    image_[5] = static_cast<uint8_t>(productId >> 8);
    return UpdateChecksum();
}

uint16_t TEepromImage::SetConfigAttributes(uint8_t attributes) {
    image_[8] = attributes;
    return UpdateChecksum();
}

uint16_t TEepromImage::SetMaxPower(int milliamperes) {
    // The byte counts 2 mA units; a current it cannot hold saturates instead of wrapping round
    // to a small value.
    image_[9] = static_cast<uint8_t>(std::clamp(milliamperes / 2, 0, 255));
    return UpdateChecksum();
}

uint16_t TEepromImage::UpdateChecksum() {
    uint16_t checksum = 0xAAAA;
    for (int i = 0; i < kChecksumWords; ++i) {
        const uint16_t word = static_cast<uint16_t>(image_[2 * i] | (image_[2 * i + 1] << 8));
        checksum ^= word;
        checksum = static_cast<uint16_t>((checksum << 1) | (checksum >> 15));
    }
    image_[kChecksumLow] = static_cast<uint8_t>(checksum & 0xFF);
    image_[kChecksumLow + 1] = static_cast<uint8_t>(checksum >> 8);
    checksum_ = checksum;
    return checksum;
}

bool TEepromImage::ReadAndParse() {
    const bool ok = ReadAll();
    manufacturerOffset_ = image_[14] & 0x7F;
    descriptionOffset_ = image_[16] & 0x7F;
    serialOffset_ = image_[18] & 0x7F;
    return ok;
}

uint16_t TEepromImage::GetVendorId() const { return static_cast<uint16_t>(image_[2] | (image_[3] << 8)); }

uint16_t TEepromImage::GetProductId() const { return static_cast<uint16_t>(image_[4] | (image_[5] << 8)); }

std::string TEepromImage::DecodeString(uint8_t offset) const {
    std::string text;
    if (erased_) return text;
    // The length byte is signed: a length below 4 or with bit 7 set gives no characters.
    const int length = static_cast<int8_t>(image_[offset]);
    const int characters = length / 2 - 1;
    for (int k = 0; k < characters; ++k) {
        const std::size_t position = offset + 2 + 2 * static_cast<std::size_t>(k);
        if (position >= image_.size()) break;  // a descriptor that runs past the buffer is cut there
        const char c = static_cast<char>(image_[position]);
        if (c == '\0') break;  // the text ends at its first NUL, as the stored C text would
        text.push_back(c);
    }
    return text;
}

std::string TEepromImage::GetManufacturer() const { return DecodeString(manufacturerOffset_); }

std::string TEepromImage::GetDescription() const { return DecodeString(descriptionOffset_); }

std::string TEepromImage::GetSerialNumber() const { return DecodeString(serialOffset_); }

}  // namespace eemint
