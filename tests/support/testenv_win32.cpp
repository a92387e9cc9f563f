#include "testenv.h"

#include <windows.h>

#include <cstdlib>

namespace testsupport {

namespace {

std::wstring Wide(const std::string& text)
{
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

// One argument quoted as the C runtime's command-line parser splits it back.
void AppendQuoted(std::wstring& line, const std::wstring& arg)
{
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

HANDLE CreateOutput(const std::filesystem::path& path)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

// Both the C runtime's copy (std::getenv) and the process environment (what a DLL built
// with another runtime reads).
void SetEnv(const std::string& name, const std::string& value)
{
    ::_putenv_s(name.c_str(), value.c_str());
    ::SetEnvironmentVariableW(Wide(name).c_str(), Wide(value).c_str());
}

void UnsetEnv(const std::string& name)
{
    ::_putenv_s(name.c_str(), "");
    ::SetEnvironmentVariableW(Wide(name).c_str(), nullptr);
}

int RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
               const std::filesystem::path& out, const std::filesystem::path& err)
{
    std::wstring line;
    AppendQuoted(line, program.wstring());
    for (const std::string& a : args) {
        line += L' ';
        AppendQuoted(line, Wide(a));
    }
    const HANDLE o = CreateOutput(out), e = CreateOutput(err);
    int result = -1;
    if (o != INVALID_HANDLE_VALUE && e != INVALID_HANDLE_VALUE) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = o;
        startup.hStdError = e;
        PROCESS_INFORMATION process{};
        if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
            ::WaitForSingleObject(process.hProcess, INFINITE);
            DWORD code = 0;
            if (::GetExitCodeProcess(process.hProcess, &code))
                result = static_cast<int>(code);
            ::CloseHandle(process.hThread);
            ::CloseHandle(process.hProcess);
        }
    }
    if (o != INVALID_HANDLE_VALUE)
        ::CloseHandle(o);
    if (e != INVALID_HANDLE_VALUE)
        ::CloseHandle(e);
    return result;
}

}  // namespace testsupport
