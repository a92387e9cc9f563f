// Feeds arbitrary preset files through the slot reader: the first byte picks the slot and
// whether the ASCII sections are read, the rest is the file. The buffer and stream readers
// must agree, and no item may span a line end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "presets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const int slot = 1 + data[0] % 3;
    const bool withAscii = (data[0] & 0x80) == 0;
    const std::string_view file(reinterpret_cast<const char*>(data + 1), size - 1);

    const duoterm::PresetLists fromText = duoterm::ParsePresets(file, slot, withAscii);
    std::istringstream stream{std::string(file)};
    const duoterm::PresetLists fromStream = duoterm::ParsePresets(stream, slot, withAscii);

    if (fromText.hex != fromStream.hex || fromText.ascii != fromStream.ascii) std::abort();
    if (!withAscii && !fromText.ascii.empty()) std::abort();
    std::size_t bytes = 0;
    for (const auto* list : {&fromText.hex, &fromText.ascii})
        for (const std::string& item : *list) {
            if (item.find('\n') != std::string::npos) std::abort();
            bytes += item.size();
        }
    if (bytes > file.size()) std::abort();
    return 0;
}
