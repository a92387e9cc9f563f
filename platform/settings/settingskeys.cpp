#include "settingskeys.h"

#include <algorithm>

namespace platform::settings_detail {

std::optional<std::vector<std::string>> SplitKeyPath(const std::string& path)
{
    std::vector<std::string> names;
    if (path.empty())
        return names;
    if (HasNul(path))
        return std::nullopt;
    size_t start = 0;
    while (true) {
        const size_t end = path.find('\\', start);
        std::string name = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (name.empty() || Utf8ToUtf16(name).size() > kMaxKeyNameLength)
            return std::nullopt;
        names.push_back(std::move(name));
        if (end == std::string::npos)
            return names;
        start = end + 1;
    }
}

std::u16string Utf8ToUtf16(const std::string& text)
{
    std::u16string out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        char32_t cp = 0xFFFD;
        size_t len = 1;
        size_t need = 0;
        char32_t min = 0;
        if (c < 0x80) { cp = c; }
        else if (c >= 0xC2 && c <= 0xDF) { need = 1; cp = c & 0x1F; min = 0x80; }
        else if (c >= 0xE0 && c <= 0xEF) { need = 2; cp = c & 0x0F; min = 0x800; }
        else if (c >= 0xF0 && c <= 0xF4) { need = 3; cp = c & 0x07; min = 0x10000; }
        if (need > 0) {
            size_t k = 1;
            for (; k <= need && i + k < n && (s[i + k] & 0xC0) == 0x80; ++k)
                cp = (cp << 6) | (s[i + k] & 0x3F);
            if (k <= need || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
                // Skip the lead byte and the continuation bytes that belonged to it.
                cp = 0xFFFD;
                len = k;
            } else {
                len = need + 1;
            }
        } else if (c >= 0x80) {
            cp = 0xFFFD;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(const std::u16string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

namespace {

// Upper case of one UTF-16 unit for the scripts whose names people type: Latin (basic,
// Latin-1, Extended-A), Greek and Cyrillic. Everything else compares as it stands.
char16_t Upper(char16_t c)
{
    if (c >= u'a' && c <= u'z') return c - 32;
    if (c < 0x80) return c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    if (c == 0xFF) return 0x178;
    if (c == 0xB5) return 0x39C;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c & ~char16_t(1);
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : c - 1;
    if ((c >= 0x3B1 && c <= 0x3C1) || (c >= 0x3C3 && c <= 0x3CB)) return c - 32;
    if (c == 0x3C2) return 0x3A3;
    if (c >= 0x430 && c <= 0x44F) return c - 32;
    if (c >= 0x450 && c <= 0x45F) return c - 80;
    if (c >= 0x460 && c <= 0x481) return c & ~char16_t(1);
    return c;
}

}  // namespace

int CompareNoCase(const std::string& a, const std::string& b)
{
    const std::u16string ua = Utf8ToUtf16(a), ub = Utf8ToUtf16(b);
    const size_t n = std::min(ua.size(), ub.size());
    for (size_t i = 0; i < n; ++i) {
        const char16_t ca = Upper(ua[i]), cb = Upper(ub[i]);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return ua.size() == ub.size() ? 0 : (ua.size() < ub.size() ? -1 : 1);
}

}  // namespace platform::settings_detail
