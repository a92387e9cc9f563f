// The registry backend with values it did not write itself: other value types, and texts
// stored without their terminating NUL, as other tools may leave them.
#include "settingsstore.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

class SettingsRegistryTest : public testing::Test {
protected:
    void SetUp() override
    {
        location_.registryKey = "Software\\SerialToolsTest-registry-" + std::to_string(GetCurrentProcessId());
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (location_.registryKey + "\\K").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        RegCloseKey(key_);
        EXPECT_TRUE(platform::DeleteSettingsStore(location_));
    }
    void Set(const char* name, DWORD type, const void* data, DWORD size)
    {
        ASSERT_EQ(RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }

    platform::SettingsLocation location_;
    HKEY key_ = nullptr;
};

TEST_F(SettingsRegistryTest, ValuesOfOtherTypes)
{
    const DWORD one = 1, big = 4000000000u;
    const unsigned long long q = 12345678901ull;
    const wchar_t unterminated[] = {L'A', L'B', L'C'};
    const wchar_t embedded[] = L"left\0right";
    const BYTE binary[] = {1, 2, 3};
    const BYTE odd[] = {'X', 0, 'Y'};  // an odd byte count: the half character is dropped
    Set("Dword", REG_DWORD, &one, sizeof one);
    Set("Big", REG_DWORD, &big, sizeof big);
    Set("Qword", REG_QWORD, &q, sizeof q);
    Set("ShortDword", REG_DWORD, &one, 2);
    Set("Binary", REG_BINARY, binary, sizeof binary);
    Set("Expand", REG_EXPAND_SZ, "%TEMP%\\x", 9);
    ASSERT_EQ(RegSetValueExW(key_, L"Unterminated", 0, REG_SZ, reinterpret_cast<const BYTE*>(unterminated), sizeof unterminated),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key_, L"Embedded", 0, REG_SZ, reinterpret_cast<const BYTE*>(embedded), sizeof embedded),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key_, L"Odd", 0, REG_SZ, odd, sizeof odd), ERROR_SUCCESS);

    auto store = platform::OpenSettingsStore(location_);
    EXPECT_EQ(store->ReadString("K", "Dword"), "1");
    EXPECT_EQ(store->ReadString("K", "Big"), "4000000000");
    EXPECT_EQ(store->ReadString("K", "Qword"), "12345678901");
    EXPECT_EQ(store->ReadString("K", "ShortDword"), std::nullopt);
    EXPECT_EQ(store->ReadString("K", "Binary"), std::nullopt);
    EXPECT_EQ(store->ReadString("K", "Expand"), "%TEMP%\\x");
    EXPECT_EQ(store->ReadString("K", "Unterminated"), "ABC");
    EXPECT_EQ(store->ReadString("K", "Embedded"), "left");
    EXPECT_EQ(store->ReadString("K", "Odd"), "X");
}

TEST_F(SettingsRegistryTest, TextsAreStoredAsUtf16)
{
    auto store = platform::OpenSettingsStore(location_);
    ASSERT_TRUE(store->WriteString("K", "Name", "\xC3\xA9t\xC3\xA9"));
    wchar_t buffer[16] = {};
    DWORD size = sizeof buffer, type = 0;
    ASSERT_EQ(RegQueryValueExW(key_, L"Name", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::wstring(buffer), L"\u00E9t\u00E9");
    EXPECT_EQ(size, 4 * sizeof(wchar_t));  // with its terminator
}

}  // namespace
