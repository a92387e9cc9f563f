#include "windowrules.h"

#include <algorithm>

namespace eemint {

namespace {
constexpr Enabling Off = Enabling::Off;
constexpr Enabling On = Enabling::On;

constexpr EnablingRule kEnablingTable[] = {
    {"NewItem", Off, On, Off},
    {"NewBtn", Off, On, Off},
    {"OpenItem", Off, On, Off},
    {"OpenBtn", Off, On, Off},
    {"SaveItem", Off, Off, Off},
    {"SaveBtn", Off, Off, Off},
    {"ProgramItem", Off, On, Off},
    {"ProgramBtn", Off, On, Off},
    {"ReadItem", Enabling::OffInEditMode, On, Off},
    {"EraseItem", Enabling::OffInEditMode, On, Off},
    {"ProgramToFileItem", Off, On, Off},
    {"AdvancedItem", Off, On, Off},
    {"AdvancedBtn", Off, On, Off},
    {"TestItem", Off, On, Off},
    {"TestBtn", Off, On, Off},
    {"TestModemItem", Off, On, Off},
    {"CancelItem", Enabling::OnWhenStored, Off, Enabling::Unchanged},
    {"CancelBtn", Enabling::OnWhenStored, Off, Enabling::Unchanged},
    {"MultiProgramMode", Off, On, Off},
};
}  // namespace

std::span<const EnablingRule> EnablingTable()
{
    return kEnablingTable;
}

std::optional<bool> EnabledAfter(const EnablingRule& rule, WindowMode entered, WindowMode current, bool stored)
{
    const Enabling enabling = entered == WindowMode::Edit      ? rule.edit
                              : entered == WindowMode::Program ? rule.program
                              : entered == WindowMode::Auto    ? rule.autoMode
                                                               : Enabling::Unchanged;
    switch (enabling) {
    case Enabling::Off: return false;
    case Enabling::On: return true;
    case Enabling::OnWhenStored: return stored ? std::optional<bool>(true) : std::nullopt;
    case Enabling::OffInEditMode: return current == WindowMode::Edit ? std::optional<bool>(false) : std::nullopt;
    case Enabling::Unchanged: break;
    }
    return std::nullopt;
}

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
