// Duoterm's preset slots: the section scan over the lines of the preset file.
#include "presets.h"

#include <fstream>
#include <system_error>

namespace duoterm {

namespace {

// Feeds lines one at a time and keeps the two section flags between them.
class SlotScanner {
public:
    SlotScanner(int slot, bool withAscii)
        : hexStart_("[" + std::to_string(slot) + "HEX]"), hexEnd_("[/" + std::to_string(slot) + "HEX]"),
          asciiStart_("[" + std::to_string(slot) + "ASCII]"), asciiEnd_("[/" + std::to_string(slot) + "ASCII]"),
          withAscii_(withAscii)
    {
    }

    void Line(std::string_view line)
    {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line == hexStart_) {
            inHex_ = true;
        } else if (inHex_) {
            if (line == hexEnd_) inHex_ = false;
            else lists_.hex.emplace_back(line);
        } else if (!withAscii_) {
            return;
        } else if (line == asciiStart_) {
            inAscii_ = true;
        } else if (inAscii_) {
            if (line == asciiEnd_) inAscii_ = false;
            else lists_.ascii.emplace_back(line);
        }
    }

    PresetLists Take() { return std::move(lists_); }

private:
    const std::string hexStart_, hexEnd_, asciiStart_, asciiEnd_;
    const bool withAscii_;
    bool inHex_ = false;
    bool inAscii_ = false;
    PresetLists lists_;
};

}  // namespace

PresetLists ParsePresets(std::string_view text, int slot, bool withAscii)
{
    SlotScanner scanner(slot, withAscii);
    while (!text.empty()) {
        const auto end = text.find('\n');
        scanner.Line(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return scanner.Take();
}

PresetLists ParsePresets(std::istream& in, int slot, bool withAscii)
{
    SlotScanner scanner(slot, withAscii);
    std::string line;
    while (std::getline(in, line)) scanner.Line(line);
    return scanner.Take();
}

PresetFileResult ReadPresetFile(const std::filesystem::path& path, int slot, bool withAscii)
{
    PresetFileResult result;
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) {
        result.error = "File not found";
        return result;
    }
    std::ifstream in;
    if (status.type() != std::filesystem::file_type::directory) in.open(path, std::ios::binary);
    if (!in.is_open()) {
        result.error = "File access denied";
        return result;
    }
    result.lists = ParsePresets(in, slot, withAscii);
    if (in.bad()) {
        result.lists = {};
        result.error = "Disk read error";
    }
    return result;
}

}  // namespace duoterm
