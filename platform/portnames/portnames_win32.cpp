// Win32: names open as they are; the table is the registry's list of serial ports.
#include "portnames.h"

#include <windows.h>

#include <algorithm>

namespace platform {

std::string ResolvePortPath(const std::string& name)
{
    // "COM10" and above are reachable only through the device namespace.
    const auto number = portnames_detail::ComNumber(name);
    if (number && *number >= 10 && !name.starts_with("\\\\.\\"))
        return "\\\\.\\" + name;
    return name;
}

std::vector<std::pair<std::string, std::string>> ComPortTable()
{
    std::vector<std::pair<int, std::pair<std::string, std::string>>> entries;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return {};
    for (DWORD index = 0;; ++index) {
        char valueName[256];
        DWORD nameSize = sizeof valueName;
        BYTE data[256];
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        const LONG rc = RegEnumValueA(key, index, valueName, &nameSize, nullptr, &type, data,
                                      &dataSize);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[dataSize] = 0;
        std::string com(reinterpret_cast<const char*>(data));
        while (!com.empty() && com.back() == '\0')
            com.pop_back();
        const auto number = portnames_detail::ComNumber(com);
        if (!number)
            continue;
        entries.push_back({*number, {com, std::string(valueName, nameSize)}});
    }
    RegCloseKey(key);
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::pair<std::string, std::string>> result;
    for (auto& entry : entries)
        result.push_back(std::move(entry.second));
    return result;
}

// The table reader of the Linux build has no meaning here; it answers with nothing.
namespace portnames_detail {
std::vector<std::pair<std::string, std::string>> ComPortTableFrom(const std::filesystem::path&,
                                                                  const std::filesystem::path&)
{
    return {};
}
}  // namespace portnames_detail

}  // namespace platform
