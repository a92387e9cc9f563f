// Feeds arbitrary EEPROM contents through ReadAndParse and the text getters, and through the
// setters the programming flow applies to an image, the way a converter's EEPROM would
// arrive: any length bytes, any offsets.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "eepromimage.h"
#include "mvdriver.h"

namespace {

// Converter 0 holding the fuzz bytes (short inputs are padded with 0xFF, as erased cells).
class FuzzDriver final : public eemint::MvDriver {
public:
    std::array<uint8_t, 128> eeprom{};

    MV_STATUS Open(int index, MV_HANDLE* handle) override {
        if (index != 0) return 1;
        *handle = reinterpret_cast<MV_HANDLE>(1);
        return MV_OK;
    }
    MV_STATUS Close(MV_HANDLE) override { return MV_OK; }
    MV_STATUS Read(MV_HANDLE, void*, uint32_t, uint32_t*) override { return 1; }
    MV_STATUS Write(MV_HANDLE, const void*, uint32_t, uint32_t*) override { return 1; }
    MV_STATUS IoCtl(MV_HANDLE, uint32_t code, void* in, uint32_t inSize, void* out, uint32_t outSize,
                    uint32_t*) override {
        if (code != MV_IOCTL_READ_EE_WORD || inSize < 4 || outSize < 2) return 1;
        uint32_t index;
        std::memcpy(&index, in, 4);
        if (index >= 64) return 1;
        std::memcpy(out, &eeprom[2 * index], 2);
        return MV_OK;
    }
};

volatile std::size_t sink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static FuzzDriver driver;
    eemint::InstallDriver(&driver);
    driver.eeprom.fill(0xFF);
    std::memcpy(driver.eeprom.data(), data, size < 128 ? size : 128);

    eemint::TEepromImage image;
    if (!image.ReadAndParse()) __builtin_trap();
    sink = image.GetManufacturer().size() + image.GetDescription().size() + image.GetSerialNumber().size() +
           image.GetVendorId() + image.GetProductId();

    // The same image with erased cleared, so the getters decode whatever it holds.
    image.PushWord(0x0000);
    sink = image.GetManufacturer().size() + image.GetDescription().size() + image.GetSerialNumber().size();

    // What the programming flow does to an image: new serial, prefix, plug-and-play word.
    const std::string serial(size > 128 ? data[128] % 64 : 8, 'S');
    image.SetSerialDescriptor(eemint::TEepromImage::StringDescriptor(serial));
    image.AppendPrefixDescriptor({0x02, 0x03});
    image.SetPnpWord(1);
    sink = image.GetSerialNumber().size() + image.UpdateChecksum();

    // Bytes past the first 129 become the three texts of a build: overlong texts wrap the
    // byte-sized lengths and offsets, which the build and the getters must keep in bounds.
    if (size > 132) {
        const uint8_t* rest = data + 132;
        const std::size_t restSize = size - 132;
        const std::size_t a = data[129] % (restSize + 1);
        const std::size_t b = data[130] % (restSize - a + 1);
        const std::string manufacturer(reinterpret_cast<const char*>(rest), a);
        const std::string description(reinterpret_cast<const char*>(rest + a), b);
        const std::string serialNumber(reinterpret_cast<const char*>(rest + a + b), restSize - a - b);
        eemint::TEepromImage built;
        built.BuildImageRev4(manufacturer, description, serialNumber, data[131] & 1, data[131] & 2,
                             data[131] & 4, data[131] & 8, data[131] & 16, data[131] & 32, 0x0110);
        built.SetSerialDescriptor(eemint::TEepromImage::StringDescriptor(serialNumber));
        built.AppendPrefixDescriptor({0x02, 0x03});
        built.SetPnpWord(0);
        sink = built.GetManufacturer().size() + built.GetDescription().size() + built.GetSerialNumber().size();
    }
    return 0;
}
