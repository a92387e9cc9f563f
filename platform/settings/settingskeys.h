// Key-path and text helpers shared by the settings store's backends: path splitting and
// checking, UTF-8/UTF-16 conversion, and the registry's letter-case rules for names.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform::settings_detail {

// Registry limit on the length of one key name, in UTF-16 units.
inline constexpr size_t kMaxKeyNameLength = 255;

// The key names of a path ("" is the root: no names); nothing when the path is invalid (an
// empty name, a name that is too long, or a NUL).
std::optional<std::vector<std::string>> SplitKeyPath(const std::string& path);

// Invalid UTF-8 sequences and lone surrogates become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);

// Name comparison as the registry does it: each UTF-16 unit upper-cased, then compared.
int CompareNoCase(const std::string& a, const std::string& b);
inline bool EqualNoCase(const std::string& a, const std::string& b) { return CompareNoCase(a, b) == 0; }

inline bool HasNul(const std::string& text) { return text.find('\0') != std::string::npos; }

}  // namespace platform::settings_detail
