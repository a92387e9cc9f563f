#include "configurationstore.h"

#include <algorithm>
#include <climits>
#include <optional>

namespace eemint {
namespace {

const char kSetupKey[] = "Setup";
const char kCurrentValue[] = "Current";

// Field widths of the edits the restored texts go into.
constexpr size_t kManufacturerWidth = 16;
constexpr size_t kCodeWidth = 2;
constexpr size_t kHexWidth = 4;
constexpr size_t kDescriptionWidth = 40;
constexpr size_t kSerialWidth = 8;

std::string Latin1ToUtf8(const std::string& text)
{
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Characters beyond Latin-1 become "?"; a byte that starts no valid UTF-8 sequence is taken
// as the Latin-1 character it is, so a hand-written Latin-1 file still reads sensibly.
std::string Utf8ToLatin1(const std::string& text)
{
    std::string out;
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        size_t need = c >= 0xF0 && c <= 0xF4 ? 3 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xC2 && c <= 0xDF ? 1 : 0;
        bool valid = need > 0 && i + need < n;
        for (size_t k = 1; valid && k <= need; ++k)
            valid = i + k < n && (s[i + k] & 0xC0) == 0x80;
        if (c < 0x80 || !valid) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        char32_t cp = c & (need == 1 ? 0x1F : need == 2 ? 0x0F : 0x07);
        for (size_t k = 1; k <= need; ++k)
            cp = (cp << 6) | (s[i + k] & 0x3F);
        out += cp <= 0xFF ? static_cast<char>(cp) : '?';
        i += need + 1;
    }
    return out;
}

// Latin-1 letter case: a-z and the accented letters (not the multiplication or division sign).
unsigned char FoldCase(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<unsigned char>(c - 32);
    return c;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix)
{
    if (prefix.size() > text.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (FoldCase(static_cast<unsigned char>(text[i])) != FoldCase(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// A whole integer: optional blanks around an optional sign and decimal digits, within int.
std::optional<long long> ParseInteger(const std::string& text)
{
    size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos)
        return std::nullopt;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-')
        negative = text[i++] == '-';
    const size_t digits = i;
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            return std::nullopt;
    }
    if (i == digits || text.find_first_not_of(' ', i) != std::string::npos)
        return std::nullopt;
    value = negative ? -value : value;
    if (value > INT_MAX || value < INT_MIN)
        return std::nullopt;
    return value;
}

std::string Bool(bool on) { return on ? "1" : "0"; }

std::string Cut(const std::string& text, size_t width) { return text.substr(0, width); }

std::string From(const std::string& text, size_t pos) { return pos < text.size() ? text.substr(pos) : std::string(); }

}  // namespace

int MaxPowerFromText(const std::string& text)
{
    size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos)
        return 0;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-')
        negative = text[i++] == '-';
    int value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min(value * 10 + (text[i] - '0'), 1000000);  // saturates; only "500 or more" matters
    value = negative ? -value : value;
    return value >= 500 ? 500 : value;
}

ConfigurationStore::ConfigurationStore(std::unique_ptr<platform::SettingsStore> store) : store_(std::move(store)) {}

std::string ConfigurationStore::ConfigurationName(const ProductConfiguration& config)
{
    const std::string m = TrimTrailingBlanks(config.manufacturer);
    const std::string d = TrimTrailingBlanks(config.description);
    std::string name = StartsWithNoCase(d, m) ? d : m + ' ' + d;
    name += " (VID=" + config.vendorId + " PID=" + config.productId + ")";
    for (char& c : name)
        if (c == '\\')
            c = '/';
    return name;
}

std::string ConfigurationStore::Save(const ProductConfiguration& config)
{
    const std::string name = ConfigurationName(config);
    const std::string key = Latin1ToUtf8(name);
    const std::pair<const char*, std::string> head[] = {
        {"Manufacturer", TrimTrailingBlanks(config.manufacturer)},
        {"Code", config.manufacturerId},
        {"ID", "VID_" + config.vendorId + "&PID_" + config.productId},
        {"Description", TrimTrailingBlanks(config.description)},
        {"PnP", Bool(config.plugAndPlay)},
        {"SelfPowered", Bool(config.selfPowered)},
        {"RemoteWakeup", Bool(config.remoteWakeup)},
        {"MaxPower", std::to_string(config.maxPower)},
    };
    const std::pair<const char*, std::string> tail[] = {
        {"Rev4", Bool(config.rev4)},
        {"IsoIn", Bool(config.isoIn)},
        {"IsoOut", Bool(config.isoOut)},
        {"IntPDEN", Bool(config.intPdEn)},
        {"IntSerNo", Bool(config.intSerNo)},
        {"IntUSBVer", Bool(config.intUsbVer)},
        {"USBVer", config.usbVersion},
    };
    for (const auto& [value, text] : head)
        if (!store_->WriteString(key, value, Latin1ToUtf8(text)))
            return {};
    // Without the fixed serial number an old "SerialNumber" must go: restore would otherwise
    // switch the option back on and every converter would get the same serial number.
    const bool serialOk = config.fixedSerial
        ? store_->WriteString(key, "SerialNumber", Latin1ToUtf8(TrimTrailingBlanks(config.fixedSerialText)))
        : store_->DeleteValue(key, "SerialNumber");
    if (!serialOk)
        return {};
    for (const auto& [value, text] : tail)
        if (!store_->WriteString(key, value, Latin1ToUtf8(text)))
            return {};
    if (!SetCurrent(name))
        return {};
    return name;
}

bool ConfigurationStore::Restore(const std::string& name, ProductConfiguration& config)
{
    const std::string chosen = name.empty() ? Current() : name;
    if (chosen.empty())
        return false;
    const std::string key = Latin1ToUtf8(chosen);
    auto text = [&](const char* value, const char* fallback) {
        const auto stored = store_->ReadString(key, value);
        return stored ? Utf8ToLatin1(*stored) : std::string(fallback);
    };
    auto flag = [&](const char* value, bool fallback) {
        const auto stored = store_->ReadString(key, value);
        const auto number = stored ? ParseInteger(*stored) : std::nullopt;
        return number ? *number != 0 : fallback;
    };

    const std::string manufacturer = text("Manufacturer", "");
    if (manufacturer.empty())
        return false;
    ProductConfiguration restored = config;
    restored.manufacturer = Cut(manufacturer, kManufacturerWidth);
    restored.manufacturerId = Cut(text("Code", "XX"), kCodeWidth);
    const std::string id = text("ID", "VID_FFFF&PID_FFFF");
    restored.vendorId = Cut(From(id, 4), kHexWidth);
    restored.productId = Cut(From(id, 13), kHexWidth);
    restored.description = Cut(text("Description", ""), kDescriptionWidth);
    restored.plugAndPlay = flag("PnP", false);
    restored.selfPowered = flag("SelfPowered", false);
    restored.remoteWakeup = flag("RemoteWakeup", false);
    restored.maxPower = MaxPowerFromText(text("MaxPower", "44"));
    restored.fixedSerialText = Cut(text("SerialNumber", ""), kSerialWidth);
    restored.fixedSerial = !TrimTrailingBlanks(restored.fixedSerialText).empty();
    restored.rev4 = flag("Rev4", false);
    restored.isoIn = flag("IsoIn", false);
    restored.isoOut = flag("IsoOut", false);
    restored.intPdEn = flag("IntPDEN", false);
    restored.intSerNo = flag("IntSerNo", true);
    restored.intUsbVer = flag("IntUSBVer", false);
    restored.usbVersion = Cut(text("USBVer", "0110"), kHexWidth);
    config = std::move(restored);
    return true;
}

std::vector<std::string> ConfigurationStore::Names()
{
    std::vector<std::string> names;
    bool setupSkipped = false;
    for (const auto& subkey : store_->SubkeyNames("")) {
        if (!setupSkipped && subkey == kSetupKey) {
            setupSkipped = true;
            continue;
        }
        names.push_back(Utf8ToLatin1(subkey));
    }
    return names;
}

std::string ConfigurationStore::Current()
{
    return Utf8ToLatin1(store_->ReadString(kSetupKey, kCurrentValue).value_or(""));
}

bool ConfigurationStore::SetCurrent(const std::string& name)
{
    return store_->WriteString(kSetupKey, kCurrentValue, Latin1ToUtf8(name));
}

}  // namespace eemint
