// The main window's rules as plain data and functions: which commands each mode opens, the
// hexadecimal key filter, the description limit that follows the manufacturer's length, and
// the completeness checks. The window applies them; tests and screenshots read the same.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "productconfiguration.h"

namespace eemint {

// What entering a mode does to one command (a menu item or a tool button).
enum class Enabling : unsigned char {
    Off,
    On,
    Unchanged,
    OnWhenStored,   // on when at least one configuration is stored, else unchanged
    OffInEditMode,  // off when the window is in Edit mode, else unchanged
};

// One command's row: its object name and what Edit (EnableInputs), Program (DisableInputs)
// and Auto mode (DisableAll) do to it.
struct EnablingRule {
    const char* control;
    Enabling edit;
    Enabling program;
    Enabling autoMode;
};

// Every command the modes switch: New, Open, Save, Program, Read, Erase, Program to File,
// Advanced Setup, Test, Test Modem, Cancel and MultiProgram Mode.
std::span<const EnablingRule> EnablingTable();

// Whether the command is enabled after the window enters `entered` (Edit, Program or Auto)
// from `current` with `stored` configurations in the store; nothing when it keeps its state.
std::optional<bool> EnabledAfter(const EnablingRule& rule, WindowMode entered, WindowMode current, bool stored);

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
