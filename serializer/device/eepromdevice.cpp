#include "eepromdevice.h"

#include <fstream>

namespace eemint {
namespace {

// A word whose read request the driver reports as failed is taken as an erased cell, so a
// failed read never passes for the value it should have held (Verify then fails for it).
constexpr uint16_t kUnreadWord = 0xFFFF;

}  // namespace

bool TEepromDevice::IsPresent() {
    if (!Open()) return false;
    Close();
    return true;
}

bool TEepromDevice::ReadAll() {
    if (!Open()) return false;
    cursor_ = 0;
    for (uint32_t i = 0; i < wordCount_; ++i) {
        uint32_t wordIndex = i;
        uint8_t out[2] = {0xFF, 0xFF};
        uint32_t returned = 0;
        const bool ok = IoCtl(MV_IOCTL_READ_EE_WORD, &wordIndex, sizeof wordIndex, out, sizeof out, &returned);
        PushWord(ok ? static_cast<uint16_t>(out[0] | (out[1] << 8)) : kUnreadWord);
    }
    Close();
    return true;
}

bool TEepromDevice::WriteAll() {
    if (!Open()) return false;
    cursor_ = 0;
    for (uint32_t i = 0; i < wordCount_; ++i) {
        const uint16_t word = PopWord();
        uint8_t buffer[4] = {static_cast<uint8_t>(i & 0xFF), static_cast<uint8_t>((i >> 8) & 0xFF),
                             static_cast<uint8_t>(word & 0xFF), static_cast<uint8_t>(word >> 8)};
        uint32_t returned = 0;
        IoCtl(MV_IOCTL_WRITE_EE_WORD, buffer, sizeof buffer, buffer, sizeof buffer, &returned);
    }
    Close();
    return true;
}

bool TEepromDevice::Erase() {
    if (!Open()) return false;
    uint32_t returned = 0;
    IoCtl(MV_IOCTL_ERASE_EE, nullptr, 0, nullptr, 0, &returned);
    Close();
    erased_ = true;
    return true;
}

bool TEepromDevice::Verify() {
    const Image written = image_;
    return ReadAll() && image_ == written;
}

bool TEepromDevice::ReadWord(int wordIndex, uint16_t* word) {
    if (word == nullptr || !Open()) return false;
    uint32_t index = static_cast<uint32_t>(wordIndex);
    uint8_t out[2] = {0xFF, 0xFF};
    uint32_t returned = 0;
    const bool ok = IoCtl(MV_IOCTL_READ_EE_WORD, &index, sizeof index, out, sizeof out, &returned);
    Close();
    // A refused request leaves nothing worth reporting: the caller would compare a made-up word.
    if (!ok) return false;
    *word = static_cast<uint16_t>(out[0] | (out[1] << 8));
    return true;
}

bool TEepromDevice::WordEquals(int wordIndex, uint16_t expected) {
    uint16_t word = 0;
    return ReadWord(wordIndex, &word) && word == expected;
}

bool TEepromDevice::SaveToFile(const std::string& path) const {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file.write(reinterpret_cast<const char*>(image_.data()), kEepromBytes);
    file.close();
    return !file.fail();
}

void TEepromDevice::PushWord(uint16_t word) {
    if (cursor_ >= 0 && cursor_ + 1 < kImageSize) {
        image_[cursor_] = static_cast<uint8_t>(word & 0xFF);
        image_[cursor_ + 1] = static_cast<uint8_t>(word >> 8);
    }
    if (word != 0xFFFF) erased_ = false;
    if (cursor_ < kImageSize) cursor_ += 2;
}

uint16_t TEepromDevice::PopWord() {
    uint16_t word = 0;
    if (cursor_ >= 0 && cursor_ + 1 < kImageSize) word = static_cast<uint16_t>(image_[cursor_] | (image_[cursor_ + 1] << 8));
    if (cursor_ < kImageSize) cursor_ += 2;
    return word;
}

}  // namespace eemint
