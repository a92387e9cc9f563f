// Duoterm's ASCII sender: the text's bytes, with a carriage return when "VK" is ticked.
#include "asciisender.h"

namespace traffic {

std::vector<uint8_t> AsciiMessage(std::string_view text1251, bool vk) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text1251.size() + (vk ? 1 : 0));
    bytes.insert(bytes.end(), text1251.begin(), text1251.end());
    if (vk) bytes.push_back(0x0D);
    return bytes;
}

}  // namespace traffic
