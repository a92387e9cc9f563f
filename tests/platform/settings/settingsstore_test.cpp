// Store cases run against whichever backend this build has: the file natively, the registry
// under Wine. Each test works on its own root (a temporary folder and a registry key of its
// own) and removes it afterwards.
#include "settingsstore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>

namespace {

using platform::SettingsStore;

class SettingsStoreTest : public testing::Test {
protected:
    void SetUp() override
    {
        static std::atomic<int> counter{0};
        const auto unique = std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
                            std::to_string(counter++);
        folder_ = std::filesystem::temp_directory_path() / ("settings-test-" + unique);
        std::filesystem::create_directories(folder_);
        location_.registryKey = "Software\\SerialToolsTest-" + unique;
        location_.file = (folder_ / "store.conf").string();
        store_ = platform::OpenSettingsStore(location_);
    }
    void TearDown() override
    {
        store_.reset();
        EXPECT_TRUE(platform::DeleteSettingsStore(location_));
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    // A second, independent store over the same location: what another run would see.
    std::unique_ptr<SettingsStore> Reopen() { return platform::OpenSettingsStore(location_); }

    std::filesystem::path folder_;
    platform::SettingsLocation location_;
    std::unique_ptr<SettingsStore> store_;
};

TEST_F(SettingsStoreTest, EmptyStoreHasNothing)
{
    EXPECT_TRUE(store_->SubkeyNames("").empty());
    EXPECT_FALSE(store_->KeyExists("Setup"));
    EXPECT_EQ(store_->ReadString("Setup", "Current"), std::nullopt);
    EXPECT_TRUE(store_->DeleteValue("Setup", "Current"));  // nothing to delete is no failure
    EXPECT_TRUE(store_->DeleteKey("Setup"));
}

TEST_F(SettingsStoreTest, ValuesRoundTripAndOverwrite)
{
    ASSERT_TRUE(store_->WriteString("Setup", "Current", "first"));
    ASSERT_TRUE(store_->WriteString("Setup", "Current", "second"));
    ASSERT_TRUE(store_->WriteString("Setup", "Empty", ""));
    auto other = Reopen();
    EXPECT_EQ(other->ReadString("Setup", "Current"), "second");
    EXPECT_EQ(other->ReadString("Setup", "Empty"), "");  // present but empty, not missing
    EXPECT_EQ(other->ReadString("Setup", "Other"), std::nullopt);
    ASSERT_TRUE(other->DeleteValue("Setup", "Current"));
    EXPECT_EQ(store_->ReadString("Setup", "Current"), std::nullopt);
    EXPECT_TRUE(store_->KeyExists("Setup"));  // deleting a value keeps its key
}

TEST_F(SettingsStoreTest, NamesAndTextsSurviveIntact)
{
    struct Case { const char* what; std::string key, name, value; };
    const Case cases[] = {
        {"slash and ampersand", "MAVIX/CABLE (VID=3A7E&PID=5C01)", "ID", "VID_3A7E&PID_5C01"},
        {"equals and brackets", "[a]=b [c]", "[x]=y", "=[z]="},
        {"comment marks", "#key;", "#name", ";value # not a comment"},
        {"percent escapes", "100%25 %", "%41", "%%20%"},
        {"non-ASCII", "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC", "N\xC3\xA4me", "\xC3\xA9t\xC3\xA9 \xF0\x9F\x94\x8C"},
        {"newlines and tabs", "two\nlines\r", "tab\tname", "line1\nline2\r\n\tend"},
        {"blanks kept", " lead and trail ", " ", "  value  "},
        {"empty value name", "Defaults", "", "the key's own value"},
    };
    for (const auto& c : cases)
        ASSERT_TRUE(store_->WriteString(c.key, c.name, c.value)) << c.what << ": " << store_->LastError();
    auto other = Reopen();
    const auto names = other->SubkeyNames("");
    for (const auto& c : cases) {
        EXPECT_EQ(other->ReadString(c.key, c.name), c.value) << c.what;
        EXPECT_EQ(std::count(names.begin(), names.end(), c.key), 1) << c.what;
    }
    EXPECT_EQ(names.size(), std::size(cases));
}

// Wine compares lower-cased names, Windows upper-cased ones: they disagree only on the five
// characters between "Z" and "a", which this case leaves out (the file backend does as Windows).
TEST_F(SettingsStoreTest, SubkeysListedAlphabeticallyIgnoringCase)
{
    for (const char* key : {"b", "Setup", "A", "setupX", "c", "\xC3\xA4", "~x", "10", "9", " z"})
        ASSERT_TRUE(store_->CreateKey(key));
    EXPECT_EQ(Reopen()->SubkeyNames(""),
              (std::vector<std::string>{" z", "10", "9", "A", "b", "c", "Setup", "setupX", "~x", "\xC3\xA4"}));
}

TEST_F(SettingsStoreTest, NamesMatchIgnoringCaseAndKeepTheirFirstSpelling)
{
    ASSERT_TRUE(store_->WriteString("Setup", "Current", "one"));
    ASSERT_TRUE(store_->WriteString("SETUP", "CURRENT", "two"));
    ASSERT_TRUE(store_->WriteString("setup", "other", "x"));
    EXPECT_EQ(store_->SubkeyNames(""), std::vector<std::string>{"Setup"});
    EXPECT_EQ(store_->ReadString("sEtUp", "current"), "two");
    EXPECT_TRUE(store_->DeleteValue("SETUP", "Other"));
    EXPECT_EQ(store_->ReadString("Setup", "other"), std::nullopt);
}

TEST_F(SettingsStoreTest, NestedPathsAndKeyDeletion)
{
    ASSERT_TRUE(store_->WriteString("a\\b\\c", "v", "deep"));
    ASSERT_TRUE(store_->CreateKey("a\\empty"));
    ASSERT_TRUE(store_->WriteString("z", "v", "kept"));
    auto other = Reopen();
    EXPECT_EQ(other->SubkeyNames(""), (std::vector<std::string>{"a", "z"}));
    EXPECT_EQ(other->SubkeyNames("a"), (std::vector<std::string>{"b", "empty"}));
    EXPECT_EQ(other->ReadString("A\\B\\C", "v"), "deep");
    EXPECT_TRUE(other->KeyExists("a\\empty"));  // a key without values persists

    ASSERT_TRUE(store_->DeleteKey("a"));
    EXPECT_FALSE(store_->KeyExists("a\\b\\c"));
    EXPECT_EQ(store_->SubkeyNames(""), std::vector<std::string>{"z"});
    EXPECT_EQ(store_->ReadString("z", "v"), "kept");
}

TEST_F(SettingsStoreTest, InvalidPathsAndTextsFail)
{
    const std::string tooLong(256, 'k');
    for (const std::string& path : std::vector<std::string>{"\\a", "a\\", "a\\\\b", tooLong, std::string("nu\0l", 4)}) {
        EXPECT_FALSE(store_->WriteString(path, "v", "x")) << path;
        EXPECT_FALSE(store_->CreateKey(path)) << path;
        EXPECT_EQ(store_->ReadString(path, "v"), std::nullopt) << path;
        EXPECT_FALSE(store_->LastError().empty());
    }
    EXPECT_TRUE(store_->WriteString(std::string(255, 'k'), "v", "longest name"));
    EXPECT_FALSE(store_->WriteString("k", "v", std::string("a\0b", 3)));
    EXPECT_FALSE(store_->DeleteKey(""));  // the root stays
    EXPECT_EQ(store_->SubkeyNames(""), std::vector<std::string>{std::string(255, 'k')});
}

TEST_F(SettingsStoreTest, LongValueRoundTrips)
{
    std::string value;
    for (int i = 0; i < 5000; ++i)
        value += static_cast<char>('a' + i % 26);
    ASSERT_TRUE(store_->WriteString("k", "long", value));
    EXPECT_EQ(Reopen()->ReadString("k", "long"), value);
}

}  // namespace
