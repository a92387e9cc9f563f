#include "windowrules.h"

#include <algorithm>

namespace eemint {

std::optional<char32_t> HexKeyFilter(char32_t key)
{
    if (key < 32 || (key >= '0' && key <= '9') || (key >= 'A' && key <= 'F'))
        return key;
    if (key >= 'a' && key <= 'f')
        return key - 'a' + 'A';
    return std::nullopt;
}

int DescriptionLimit(const std::string& manufacturer)
{
    const int length = static_cast<int>(TrimTrailingBlanks(manufacturer, 16).size());
    return std::min(40 - length, 38);
}

std::string CutDescription(const std::string& description, int limit)
{
    constexpr size_t fullWidth = 38;
    std::string text = description;
    if (text.size() < fullWidth)
        text.resize(fullWidth, ' ');
    const size_t from = static_cast<size_t>(std::max(limit, 0));
    for (size_t i = from; i < fullWidth; ++i)
        text[i] = ' ';
    return text;
}

bool IdentityComplete(const ProductConfiguration& config)
{
    for (const std::string* field : {&config.manufacturer, &config.manufacturerId, &config.vendorId,
                                     &config.productId, &config.description}) {
        if (TrimTrailingBlanks(*field).empty())
            return false;
    }
    return true;
}

bool ConfigurationComplete(const ProductConfiguration& config)
{
    if (!IdentityComplete(config))
        return false;
    return !(config.rev4 && config.intUsbVer) || !TrimTrailingBlanks(config.usbVersion).empty();
}

}  // namespace eemint
