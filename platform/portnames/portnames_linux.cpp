// Linux: the COM-name table from the user's "serialcomm" file and the machine's tty devices.
#include "portnames.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <system_error>

namespace fs = std::filesystem;

namespace platform {

namespace {

std::string Trim(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

fs::path ConfigHome()
{
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        return xdg;
    if (const char* home = std::getenv("HOME"); home && *home)
        return fs::path(home) / ".config";
    return {};
}

// Lines "COMn=/path"; blank lines, lines starting with '#' and malformed lines are skipped.
// A number named twice keeps its first entry.
void ReadTableFile(const fs::path& file, std::map<int, std::string>& table)
{
    std::ifstream in(file);
    std::string line;
    while (in && std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const auto number = portnames_detail::ComNumber(Trim(line.substr(0, eq)));
        const std::string path = Trim(line.substr(eq + 1));
        if (!number || path.empty())
            continue;
        table.emplace(*number, path);
    }
}

// Sort key: 8250-style ports first (they are the board's own COM ports), then by the name's
// letters and its trailing number as a number, so ttyUSB2 comes before ttyUSB10.
struct TtyKey {
    int rank;
    std::string prefix;
    long number;
    std::string name;
    auto operator<=>(const TtyKey&) const = default;
};

TtyKey KeyOf(const std::string& name)
{
    size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9')
        --digits;
    const std::string prefix = name.substr(0, digits);
    long number = -1;
    if (digits < name.size() && name.size() - digits < 9)
        number = std::stol(name.substr(digits));
    return {prefix == "ttyS" ? 0 : 1, prefix, number, name};
}

bool HasDriver(const fs::path& entry)
{
    std::error_code ec;
    if (!fs::exists(entry / "device" / "driver", ec))
        return false;
    // serial_core registers every possible 8250 slot; slots without a UART report type 0.
    std::ifstream type(entry / "type");
    int value = -1;
    if (type && (type >> value) && value == 0)
        return false;
    return true;
}

std::vector<std::string> SystemTtys(const fs::path& sysClassTty)
{
    std::vector<TtyKey> keys;
    std::error_code ec;
    for (fs::directory_iterator it(sysClassTty, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (HasDriver(it->path()))
            keys.push_back(KeyOf(name));
    }
    std::sort(keys.begin(), keys.end());
    std::vector<std::string> paths;
    for (const auto& key : keys)
        paths.push_back("/dev/" + key.name);
    return paths;
}

}  // namespace

namespace portnames_detail {

std::vector<std::pair<std::string, std::string>> ComPortTableFrom(const fs::path& tableFile,
                                                                  const fs::path& sysClassTty)
{
    std::map<int, std::string> table;
    if (!tableFile.empty())
        ReadTableFile(tableFile, table);
    // The machine's devices take the numbers the file leaves free, unless the file names them.
    std::vector<std::string> named;
    for (const auto& [number, path] : table)
        named.push_back(path);
    int next = 1;
    for (const auto& path : SystemTtys(sysClassTty)) {
        if (std::find(named.begin(), named.end(), path) != named.end())
            continue;
        while (table.count(next))
            ++next;
        table.emplace(next, path);
    }
    std::vector<std::pair<std::string, std::string>> result;
    for (const auto& [number, path] : table)
        result.emplace_back("COM" + std::to_string(number), path);
    return result;
}

}  // namespace portnames_detail

std::vector<std::pair<std::string, std::string>> ComPortTable()
{
    const fs::path config = ConfigHome();
    return portnames_detail::ComPortTableFrom(config.empty() ? fs::path() : config / "serialcomm",
                                              "/sys/class/tty");
}

std::string ResolvePortPath(const std::string& name)
{
    const auto number = portnames_detail::ComNumber(name);
    if (!number)
        return name;
    const std::string com = "COM" + std::to_string(*number);
    for (const auto& [entry, path] : ComPortTable())
        if (entry == com)
            return path;
    // An unknown COM name opens as it stands and fails there with the system's own error.
    return name;
}

}  // namespace platform
