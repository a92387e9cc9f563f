#include "portnames.h"

#include <cctype>
#include <climits>

namespace platform::portnames_detail {

std::optional<int> ComNumber(const std::string& name)
{
    std::string_view rest = name;
    if (rest.starts_with("\\\\.\\"))
        rest.remove_prefix(4);
    if (rest.size() < 4)
        return std::nullopt;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(rest[i])) != "COM"[i])
            return std::nullopt;
    rest.remove_prefix(3);
    if (rest.size() > 9)  // keeps the number within int
        return std::nullopt;
    int number = 0;
    for (char c : rest) {
        if (c < '0' || c > '9')
            return std::nullopt;
        number = number * 10 + (c - '0');
    }
    if (number < 1)
        return std::nullopt;
    return number;
}

}  // namespace platform::portnames_detail
