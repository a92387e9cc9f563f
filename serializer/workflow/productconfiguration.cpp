#include "productconfiguration.h"

namespace eemint {

const char* ModeStatusText(WindowMode mode)
{
    switch (mode) {
    case WindowMode::Program: return "MODE: Program";
    case WindowMode::Edit: return "MODE: Edit";
    case WindowMode::Auto: return "MODE: Auto";
    case WindowMode::MultiProgram: return "MODE: MultiProgram";
    }
    return "";
}

uint8_t ProductConfiguration::Attributes() const
{
    return static_cast<uint8_t>(0x80 | (selfPowered ? 0x40 : 0) | (remoteWakeup ? 0x20 : 0));
}

ProductConfiguration DefaultProductConfiguration()
{
    ProductConfiguration config;
    config.manufacturer = "MAVIX";
    config.manufacturerId = "MV";
    config.vendorId = "3A7E";
    config.productId = "5C01";
    config.description = "MVC110 EVALUATION KIT";
    return config;
}

std::string TrimTrailingBlanks(const std::string& text, size_t n)
{
    std::string result = text.substr(0, n);
    const auto end = result.find_last_not_of(' ');
    result.erase(end == std::string::npos ? 0 : end + 1);
    return result;
}

uint16_t HexToWord(const std::string& text)
{
    uint16_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        const int c = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
        const int digit = (c - 48 >= 0 && c - 48 <= 9) ? c - 48 : c - 55;
        value = static_cast<uint16_t>(value * 16 + digit);
    }
    return value;
}

}  // namespace eemint
