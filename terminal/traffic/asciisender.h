// Duoterm's ASCII sender `writeportASCCI`: the bytes one ASCII send
// writes. Plain C++ on Windows-1251 bytes (the window converts the line's text at its edge).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace traffic {

// The text's bytes in order, plus one 0x0D (carriage return only) when `vk` (the side's "VK"
// box) is ticked. An empty text gives 0D with VK and nothing without: an empty result means
// the window writes nothing. The text is sent whole, however long (no 1024-byte cut); there
// is no parsing, no checksum and no hand-over to the exchange.
std::vector<uint8_t> AsciiMessage(std::string_view text1251, bool vk);

}  // namespace traffic
