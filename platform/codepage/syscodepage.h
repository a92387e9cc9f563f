// The system's own conversion between UTF-16 text and the single-byte Windows-1251 code page,
// for Qt builds whose codecs know no such code page (Qt without ICU, as on Windows, knows only
// the Unicode encodings and Latin-1). Windows only: MultiByteToWideChar and
// WideCharToMultiByte with code page 1251.
//
// Threads: any.
#pragma once

#include <string>
#include <string_view>

namespace platform::codepage {

// The text as Windows-1251 bytes; false when a character has no place in the code page (it
// is then given as "?", the system's stand-in).
bool Encode1251(std::u16string_view text, std::string& bytes);
// Every byte has a character in the code page but 0x98, which becomes U+FFFD.
std::u16string Decode1251(std::string_view bytes);

}  // namespace platform::codepage
