// COM port names and the device nodes they stand for. On Windows a name opens as it is
// ("COM10" and above get the "\\.\" prefix Windows needs there). On Linux "COMn" (any letter
// case, with or without "\\.\") is looked up in the COM-name table: the file "serialcomm" in
// the user's XDG config directory (lines "COM3=/dev/ttyUSB0"), then, for numbers it leaves
// free, the machine's serial devices under /sys/class/tty that have a driver, in a stable
// order. Any other name is a path and opens as it stands.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// The path to hand to the operating system's open call for a port name.
std::string ResolvePortPath(const std::string& name);

// The COM-name table, ordered by COM number: ("COM1", "/dev/ttyS0"), ...
std::vector<std::pair<std::string, std::string>> ComPortTable();

namespace portnames_detail {

// The number n of a name "COMn" (any letter case, optionally behind "\\.\"), n >= 1.
std::optional<int> ComNumber(const std::string& name);

// The table built from an explicit table file and sysfs tty folder (either may be missing).
std::vector<std::pair<std::string, std::string>> ComPortTableFrom(
    const std::filesystem::path& tableFile, const std::filesystem::path& sysClassTty);

}  // namespace portnames_detail

}  // namespace platform
