// The main window's field rules as plain functions: the hexadecimal key filter, the
// description limit that follows the manufacturer's length, and the completeness checks.
// The window calls them; tests drive them directly.
#pragma once

#include <optional>
#include <string>

#include "productconfiguration.h"

namespace eemint {

// What the hex edits make of a typed character: control characters (below 32) and "0"-"9",
// "A"-"F" pass unchanged, "a"-"f" become "A"-"F", anything else is discarded (nothing).
std::optional<char32_t> HexKeyFilter(char32_t key);

// Width of the description once the manufacturer is known: 40 minus the length of the
// manufacturer's first 16 characters without trailing blanks, at most 38.
int DescriptionLimit(const std::string& manufacturer);
// The description cut after its first `limit` characters: positions from `limit` up to the
// full 38-character width become blanks.
std::string CutDescription(const std::string& description, int limit);

// The five identity texts (manufacturer, manufacturer ID, vendor ID, product ID,
// description) are all non-blank.
bool IdentityComplete(const ProductConfiguration& config);
// The identity is complete and, when the second-generation option and the own USB version
// are both on, the USB version is non-blank too: what Save requires.
bool ConfigurationComplete(const ProductConfiguration& config);

}  // namespace eemint
