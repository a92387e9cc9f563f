#include "programming.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

namespace eemint {

namespace {

// Far more converters than a hub holds; a driver that claims more is not believed.
constexpr int kMaxConverters = 256;

std::string Printf(const char* format, auto... args)
{
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0)
        return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, args...);
    text.pop_back();
    return text;
}

// A name beside the target that no one else uses: the target's name with a random suffix.
std::filesystem::path TemporaryBeside(const std::filesystem::path& target)
{
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::filesystem::path candidate = target;
        candidate += Printf(".%08x.part", static_cast<unsigned>(random()));
        std::error_code error;
        if (!std::filesystem::exists(candidate, error) && !error)
            return candidate;
    }
    return {};
}

}  // namespace

ProgrammingFlow::ProgrammingFlow(Clock& clock) : serials_(clock) {}

std::string ProgrammingFlow::ProgramLogLine(const std::string& serial)
{
    return Printf("%-32.32s", "PROGRAM DEVICE -- Serial Number") + serial;
}

int ProgrammingFlow::CountPresent()
{
    TEepromImage probe;
    int count = 0;
    while (count < kMaxConverters) {
        probe.SetIndex(count);
        if (!probe.IsPresent())
            break;
        ++count;
    }
    return count;
}

bool ProgrammingFlow::BuildProgramImage(const ProductConfiguration& config, const std::string& serial,
                                        TEepromImage& image)
{
    const std::string manufacturer = TrimTrailingBlanks(config.manufacturer);
    const std::string description = TrimTrailingBlanks(config.description);
    if (config.rev4) {
        image.BuildImageRev4(manufacturer, description, "", true, config.isoIn, config.isoOut, config.intPdEn,
                             config.intSerNo, config.intUsbVer, HexToWord(config.usbVersion));
    } else {
        image.BuildImage(manufacturer, description, "");
    }
    image.SetSerialDescriptor(TEepromImage::StringDescriptor(serial));
    if (!image.AppendPrefixDescriptor({0x02, 0x03}))
        return false;
    image.SetPnpWord(config.plugAndPlay ? 0 : 1);
    image.SetVendorId(HexToWord(config.vendorId));
    image.SetProductId(HexToWord(config.productId));
    image.SetConfigAttributes(config.Attributes());
    image.SetMaxPower(config.maxPower);
    return true;
}

bool ProgrammingFlow::PrepareImage(const ProductConfiguration& config, TEepromImage& image, Reporter& reporter)
{
    const unsigned productBits = HexToWord(config.productId) % 4;
    const std::string candidate =
        config.fixedSerial ? config.fixedSerialText : serials_.Peek(config.manufacturerId, productBits);
    if (!BuildProgramImage(config, candidate, image)) {
        reporter.ShowError("Port Name Prefix is too long");
        return false;
    }
    // A fixed serial number is the operator's choice and may repeat.
    if (config.fixedSerial)
        return true;

    const auto issued =
        serials_.Issue(config.manufacturerId, productBits, [&](const std::string& note) { reporter.Log(note); });
    if (!issued) {
        reporter.ShowError("Failed to generate a new serial number");
        return false;
    }
    // Same length as the candidate, so it fits as well.
    if (*issued != candidate)
        BuildProgramImage(config, *issued, image);
    return true;
}

void ProgrammingFlow::Program(const ProductConfiguration& config, bool multiProgram, Reporter& reporter)
{
    reporter.Repaint();
    TEepromImage image;

    int total = 0;
    if (multiProgram) {
        total = CountPresent();
        const uint16_t vendorId = HexToWord(config.vendorId);
        int index = 0;
        for (;; ++index) {
            image.SetIndex(index);
            if (index >= kMaxConverters || !image.IsPresent()) {
                if (index == 0)
                    reporter.ShowError("Failed to open device");
                else
                    reporter.ShowError(Printf("%d device%s already serialised, re-plug to continue", index,
                                              index > 1 ? "s" : ""));
                return;
            }
            if (!image.WordEquals(1, vendorId))
                break;
        }
    } else if (!image.IsPresent()) {
        reporter.ShowError("Failed to open device");
        return;
    }

    if (!PrepareImage(config, image, reporter))
        return;

    std::string line = ProgramLogLine(image.GetSerialNumber());
    if (multiProgram)
        line += Printf(" (1/%d)", total);
    reporter.Log(line);

    if (!image.Erase()) {
        reporter.ShowError("Failed to open device for erase");
        return;
    }
    if (!image.WriteAll()) {
        reporter.ShowError("Failed to open device for write");
        return;
    }
    if (!image.Verify())
        reporter.ShowError("Failed to write device");
}

void ProgrammingFlow::ProgramToFile(const ProductConfiguration& config, const std::string& path, Reporter& reporter)
{
    reporter.Repaint();
    TEepromImage image;
    if (!PrepareImage(config, image, reporter))
        return;
    reporter.Log(ProgramLogLine(image.GetSerialNumber()));

    // The image goes to a temporary file beside the target and is renamed over it only when
    // all 128 bytes are down, so no failure leaves a truncated image at the target.
    const std::filesystem::path target(path);
    const std::filesystem::path temporary = TemporaryBeside(target);
    bool written = !temporary.empty() && image.SaveToFile(temporary.string());
    if (written) {
        std::error_code error;
        std::filesystem::rename(temporary, target, error);
        written = !error;
    }
    if (!written) {
        std::error_code ignored;
        if (!temporary.empty())
            std::filesystem::remove(temporary, ignored);
        reporter.ShowError(Printf("Failed to write to %s", path.c_str()));
    }
}

}  // namespace eemint
