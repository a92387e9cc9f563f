// A converter's 128-byte configuration EEPROM as a memory image of 64 little-endian words,
// moved to and from the device word by word. Every operation that touches the device opens
// it at its index and closes it again. The image buffer is 256 bytes; only the first 128
// ever reach a device.
// Threads: an object belongs to the thread that made it. IsPresent also runs on auto mode's
// detection thread, on its own object, while no other device work runs.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "usbdevice.h"

namespace eemint {

class TEepromDevice : public TUsbDevice {
public:
    static constexpr int kImageSize = 256;
    static constexpr int kEepromBytes = 128;
    using Image = std::array<uint8_t, kImageSize>;

    TEepromDevice() = default;

    // Each returns false when the device does not open. ReadAll and WriteAll move all words
    // whatever the single word requests report; a word whose read is refused counts as 0xFFFF.
    bool IsPresent();
    bool ReadAll();
    bool WriteAll();
    bool Erase();   // also marks the image erased
    bool Verify();  // true when a fresh ReadAll gives back all 256 bytes; the image then holds it
    // False also when the word request itself is refused; *word is then left alone.
    bool ReadWord(int wordIndex, uint16_t* word);
    bool WordEquals(int wordIndex, uint16_t expected);
    bool SaveToFile(const std::string& path) const;  // bytes 0 to 127; true when all were written

    // Sequential word access at the cursor (little-endian). Outside the buffer nothing is
    // stored and PopWord gives 0.
    void PushWord(uint16_t word);
    uint16_t PopWord();
    void Rewind() { cursor_ = 0; }

    bool IsErased() const { return erased_; }
    const Image& Bytes() const { return image_; }
    int Cursor() const { return cursor_; }
    uint32_t WordCount() const { return wordCount_; }

protected:
    Image image_{};
    int cursor_ = 0;
    bool erased_ = true;
    uint32_t wordCount_ = 64;
};

}  // namespace eemint
