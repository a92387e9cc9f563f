#include "benchplatform.h"

#include <windows.h>
#include <timeapi.h>

#include <mutex>
#include <optional>
#include <string>

namespace mvbench {

namespace {

// The variable's value from the process environment (not the C runtime's copy, so that a
// client built with another runtime sets it for the library too), or nothing when it is
// unset or empty.
std::optional<std::wstring> Environment(const wchar_t* name)
{
    std::wstring value(256, L'\0');
    for (;;) {
        const DWORD n = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
        if (n == 0)
            return std::nullopt;
        if (n < value.size()) {
            value.resize(n);
            return value;
        }
        value.resize(n);  // n counts the terminating zero here
    }
}

}  // namespace

std::filesystem::path BenchDir()
{
    if (auto dir = Environment(L"MVBENCH_DIR"))
        return *dir;
    if (auto local = Environment(L"LOCALAPPDATA"))
        return std::filesystem::path(*local) / L"mvbench";
    if (auto profile = Environment(L"USERPROFILE"))
        return std::filesystem::path(*profile) / L"AppData" / L"Local" / L"mvbench";
    std::error_code ignored;
    return std::filesystem::temp_directory_path(ignored) / L"mvbench";
}

uint64_t ProcessId() { return ::GetCurrentProcessId(); }

void UsePreciseTimers()
{
    static std::once_flag once;
    std::call_once(once, [] { ::timeBeginPeriod(1); });
}

}  // namespace mvbench
