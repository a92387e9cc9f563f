// Registry backend of the settings store: a key under HKEY_CURRENT_USER, REG_SZ values,
// every key opened for one call and closed after it. Texts cross as UTF-16.
//
// Values of other types, written by hand: REG_EXPAND_SZ reads as its unexpanded text, REG_DWORD
// and REG_QWORD as their decimal number, anything else as missing.
#include "settingskeys.h"
#include "settingsstore.h"

#include <windows.h>

#include <cstring>

namespace platform {
namespace {

using namespace settings_detail;

std::wstring Wide(const std::string& utf8)
{
    const std::u16string u = Utf8ToUtf16(utf8);
    return std::wstring(u.begin(), u.end());
}

std::string Narrow(const wchar_t* text, size_t length)
{
    return Utf16ToUtf8(std::u16string(text, text + length));
}

std::string MessageOf(LONG code)
{
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = n && buffer ? Narrow(buffer, n) : "error " + std::to_string(code);
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

// An open registry key, closed with the object.
class KeyHandle {
public:
    KeyHandle() = default;
    ~KeyHandle()
    {
        if (key_)
            RegCloseKey(key_);
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    HKEY* Out() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

class RegistrySettingsStore final : public SettingsStore {
public:
    explicit RegistrySettingsStore(std::string root) : root_(std::move(root)) {}

    bool CreateKey(const std::string& path) override
    {
        KeyHandle key;
        return Create(path, key);
    }

    bool KeyExists(const std::string& path) override
    {
        KeyHandle key;
        return Open(path, KEY_READ, key) == ERROR_SUCCESS;
    }

    std::vector<std::string> SubkeyNames(const std::string& path) override
    {
        std::vector<std::string> names;
        KeyHandle key;
        if (Open(path, KEY_READ, key) != ERROR_SUCCESS)
            return names;
        std::wstring buffer(kMaxKeyNameLength + 1, L'\0');
        for (DWORD index = 0;; ++index) {
            DWORD length = static_cast<DWORD>(buffer.size());
            const LONG rc = RegEnumKeyExW(key.Get(), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_NO_MORE_ITEMS)
                break;
            if (rc != ERROR_SUCCESS) {
                Fail("enumerate the subkeys of " + Describe(path), rc);
                break;
            }
            names.push_back(Narrow(buffer.data(), length));
        }
        return names;
    }

    std::optional<std::string> ReadString(const std::string& path, const std::string& name) override
    {
        KeyHandle key;
        if (Open(path, KEY_QUERY_VALUE, key) != ERROR_SUCCESS)
            return std::nullopt;
        const std::wstring wname = Wide(name);
        std::vector<BYTE> data(256);
        DWORD type = 0;
        LONG rc;
        while (true) {
            DWORD size = static_cast<DWORD>(data.size());
            rc = RegQueryValueExW(key.Get(), wname.c_str(), nullptr, &type, data.data(), &size);
            if (rc == ERROR_MORE_DATA) {
                data.resize(size > data.size() ? size : data.size() * 2);
                continue;
            }
            if (rc == ERROR_SUCCESS)
                data.resize(size);
            break;
        }
        if (rc == ERROR_FILE_NOT_FOUND)
            return std::nullopt;
        if (rc != ERROR_SUCCESS) {
            Fail("read " + Describe(path) + " value " + name, rc);
            return std::nullopt;
        }
        switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ: {
            // The stored size need not be even nor include a terminator; the text ends at
            // the first NUL.
            std::wstring text(data.size() / sizeof(wchar_t), L'\0');
            std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
            const size_t end = text.find(L'\0');
            return Narrow(text.data(), end == std::wstring::npos ? text.size() : end);
        }
        case REG_DWORD:
            if (data.size() == sizeof(DWORD)) {
                DWORD v;
                std::memcpy(&v, data.data(), sizeof v);
                return std::to_string(v);
            }
            return std::nullopt;
        case REG_QWORD:
            if (data.size() == sizeof(unsigned long long)) {
                unsigned long long v;
                std::memcpy(&v, data.data(), sizeof v);
                return std::to_string(v);
            }
            return std::nullopt;
        default:
            return std::nullopt;
        }
    }

    bool WriteString(const std::string& path, const std::string& name, const std::string& value) override
    {
        if (HasNul(name) || HasNul(value))
            return Fail("write value: the name or the text holds a NUL character", ERROR_SUCCESS);
        KeyHandle key;
        if (!Create(path, key))
            return false;
        const std::wstring wvalue = Wide(value);
        const LONG rc = RegSetValueExW(key.Get(), Wide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wvalue.c_str()),
                                       static_cast<DWORD>((wvalue.size() + 1) * sizeof(wchar_t)));
        return rc == ERROR_SUCCESS || Fail("write " + Describe(path) + " value " + name, rc);
    }

    bool DeleteValue(const std::string& path, const std::string& name) override
    {
        KeyHandle key;
        const LONG open = Open(path, KEY_SET_VALUE, key);
        if (open == ERROR_FILE_NOT_FOUND)
            return true;
        if (open != ERROR_SUCCESS)
            return false;
        const LONG rc = RegDeleteValueW(key.Get(), Wide(name).c_str());
        return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND || Fail("delete " + Describe(path) + " value " + name, rc);
    }

    bool DeleteKey(const std::string& path) override
    {
        const auto names = SplitKeyPath(path);
        if (!names)
            return Fail("invalid key path", ERROR_SUCCESS);
        if (names->empty())
            return Fail("delete key: the root cannot be deleted", ERROR_SUCCESS);
        return DeleteTree(root_ + '\\' + path) || Fail("delete " + Describe(path), lastCode_);
    }

    std::string LastError() const override { return lastError_; }

    // Removes a key of HKEY_CURRENT_USER with everything below it; a missing key counts.
    bool DeleteTree(const std::string& fullPath)
    {
        const std::wstring wpath = Wide(fullPath);
        lastCode_ = RegDeleteTreeW(HKEY_CURRENT_USER, wpath.c_str());
        if (lastCode_ == ERROR_FILE_NOT_FOUND)
            return true;
        if (lastCode_ != ERROR_SUCCESS)
            return false;
        // RegDeleteTreeW with a subkey removes the key itself too; make sure of it.
        const LONG rc = RegDeleteKeyW(HKEY_CURRENT_USER, wpath.c_str());
        return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND || ((lastCode_ = rc), false);
    }

private:
    // The one place every failure passes: records what failed and returns false.
    bool Fail(const std::string& what, LONG code)
    {
        lastError_ = code == ERROR_SUCCESS ? what : what + ": " + MessageOf(code);
        return false;
    }

    std::string Describe(const std::string& path) const { return path.empty() ? "the root key" : "key " + path; }

    std::string FullPath(const std::string& path) const { return path.empty() ? root_ : root_ + '\\' + path; }

    // Opens an existing key; a missing key is no failure, only a missing key.
    LONG Open(const std::string& path, REGSAM access, KeyHandle& key)
    {
        if (!SplitKeyPath(path)) {
            Fail("invalid key path", ERROR_SUCCESS);
            return ERROR_INVALID_PARAMETER;
        }
        const LONG rc = RegOpenKeyExW(HKEY_CURRENT_USER, Wide(FullPath(path)).c_str(), 0, access, key.Out());
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
            Fail("open " + Describe(path), rc);
        return rc;
    }

    bool Create(const std::string& path, KeyHandle& key)
    {
        if (!SplitKeyPath(path))
            return Fail("invalid key path", ERROR_SUCCESS);
        const LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, Wide(FullPath(path)).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_READ | KEY_WRITE, nullptr, key.Out(), nullptr);
        return rc == ERROR_SUCCESS || Fail("create " + Describe(path), rc);
    }

    std::string root_;
    std::string lastError_;
    LONG lastCode_ = ERROR_SUCCESS;
};

}  // namespace

std::unique_ptr<SettingsStore> OpenSettingsStore(const SettingsLocation& location)
{
    return std::make_unique<RegistrySettingsStore>(location.registryKey);
}

bool DeleteSettingsStore(const SettingsLocation& location)
{
    return RegistrySettingsStore(location.registryKey).DeleteTree(location.registryKey);
}

}  // namespace platform
