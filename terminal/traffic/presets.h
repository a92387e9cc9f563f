// Duoterm's preset slots: reads the HEX and ASCII message lists of one slot (1 to 3) from the
// preset file "duoterm.ini" (Windows-1251 text, read only; the window decodes the items).
#pragma once

#include <filesystem>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace duoterm {

// A slot's lists, items in file order as raw bytes.
struct PresetLists {
    std::vector<std::string> hex;
    std::vector<std::string> ascii;
};

struct PresetFileResult {
    PresetLists lists;                 // empty on a failure
    std::optional<std::string> error;  // "File not found", "File access denied", "Disk read error"
};

// The lines of the slot's sections. A line ends at LF; one CR before it is part of the line
// end, so files written on Windows read alike everywhere. Sections are opened by a line that is
// exactly "[<slot>HEX]" or "[<slot>ASCII]" and closed by "[/<slot>HEX]" or "[/<slot>ASCII]"; every
// other line inside is an item (empty lines and spaces included). The HEX markers are tested
// first: an ASCII marker inside an open HEX section is a HEX item, and a HEX start marker
// inside an open ASCII section opens the HEX section, after whose end the ASCII section goes
// on. A section without its end marker runs to the end. Without `withAscii` only the HEX markers
// are tested and the ASCII list stays empty.
PresetLists ParsePresets(std::string_view text, int slot, bool withAscii);
PresetLists ParsePresets(std::istream& in, int slot, bool withAscii);

// Reads the file (by the window as "duoterm.ini" in the working folder).
PresetFileResult ReadPresetFile(const std::filesystem::path& path, int slot, bool withAscii);

}  // namespace duoterm
