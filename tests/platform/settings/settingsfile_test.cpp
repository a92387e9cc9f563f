// The file backend's own behaviour: where the file lives, how it reads files it did not
// write, that a change replaces the file whole, and that concurrent writers lose nothing.
#include "settingsstore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

class SettingsFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/settingsfile-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        location_.file = (folder_ / "store.conf").string();
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path File() const { return location_.file; }
    std::unique_ptr<platform::SettingsStore> Open() { return platform::OpenSettingsStore(location_); }
    std::vector<std::string> FolderEntries() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder_;
    platform::SettingsLocation location_;
};

TEST_F(SettingsFileTest, DefaultFileLiesInTheXdgConfigFolder)
{
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const char* oldHome = std::getenv("HOME");
    const std::string savedXdg = oldXdg ? oldXdg : "", savedHome = oldHome ? oldHome : "";

    setenv("XDG_CONFIG_HOME", (folder_ / "xdg").c_str(), 1);
    ASSERT_TRUE(platform::OpenSettingsStore()->WriteString("Setup", "Current", "x"));
    EXPECT_TRUE(fs::is_regular_file(folder_ / "xdg/eemint/romtool.conf"));

    // A relative XDG_CONFIG_HOME is ignored in favour of ~/.config.
    setenv("XDG_CONFIG_HOME", "relative", 1);
    setenv("HOME", (folder_ / "home").c_str(), 1);
    ASSERT_TRUE(platform::OpenSettingsStore()->WriteString("Setup", "Current", "y"));
    EXPECT_TRUE(fs::is_regular_file(folder_ / "home/.config/eemint/romtool.conf"));

    oldXdg ? setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    oldHome ? setenv("HOME", savedHome.c_str(), 1) : unsetenv("HOME");
}

TEST_F(SettingsFileTest, HandWrittenFileReadsLeniently)
{
    WriteFile(File(),
              "; written by hand\r\n"
              "rootvalue=at the top\r\n"
              "[MAVIX CABLE (VID=3A7E PID=5C01)]\r\n"
              "Manufacturer=MAVIX\r\n"
              "this line has no equals sign\n"
              "Code=MV\n"
              "Code=M2\n"  // a repeated value: the last one counts
              "[broken\\\\path]\n"
              "Lost=under an invalid header\n"
              "[Setup\n"
              "[setup]\n"
              "Current=MAVIX CABLE (VID=3A7E PID=5C01)\n"
              "Bad=%zz%4\n"
              "Trunc=no newline at the end");
    auto store = Open();
    EXPECT_EQ(store->ReadString("", "rootvalue"), "at the top");
    EXPECT_EQ(store->ReadString("MAVIX CABLE (VID=3A7E PID=5C01)", "Manufacturer"), "MAVIX");
    EXPECT_EQ(store->ReadString("MAVIX CABLE (VID=3A7E PID=5C01)", "Code"), "M2");
    EXPECT_EQ(store->ReadString("setup", "Bad"), "%zz%4");
    EXPECT_EQ(store->ReadString("setup", "Trunc"), "no newline at the end");
    EXPECT_EQ(store->SubkeyNames(""), (std::vector<std::string>{"MAVIX CABLE (VID=3A7E PID=5C01)", "setup"}));

    // The first change keeps the original, which had unreadable lines, beside the new file.
    const std::string original = ReadFile(File());
    ASSERT_TRUE(store->WriteString("setup", "Current", "other"));
    EXPECT_EQ(ReadFile(File().string() + ".unreadable"), original);
    EXPECT_EQ(Open()->ReadString("MAVIX CABLE (VID=3A7E PID=5C01)", "Code"), "M2");
    EXPECT_EQ(Open()->ReadString("setup", "Current"), "other");
}

TEST_F(SettingsFileTest, GarbageAndTruncatedFilesNeverCrash)
{
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919 + 13) % 256);
    const std::string good = "[Setup]\nCurrent=ABC\n[Other]\nV=1\n";
    for (const std::string& text : std::vector<std::string>{garbage, good.substr(0, 17), good.substr(0, 9), std::string("\0\0[\0]=\0", 8),
                                    std::string("[") + std::string(10000, 'x') + "]\nv=1\n"}) {
        WriteFile(File(), text);
        auto store = Open();
        store->SubkeyNames("");
        store->ReadString("Setup", "Current");
        ASSERT_TRUE(store->WriteString("Setup", "Current", "fresh")) << store->LastError();
        EXPECT_EQ(Open()->ReadString("Setup", "Current"), "fresh");
    }
}

TEST_F(SettingsFileTest, UnreadableStoreIsNeverReplaced)
{
    fs::create_directory(File());  // a folder where the file should be
    auto store = Open();
    EXPECT_FALSE(store->WriteString("Setup", "Current", "x"));
    EXPECT_NE(store->LastError().find("store.conf"), std::string::npos) << store->LastError();
    EXPECT_TRUE(fs::is_directory(File()));
}

TEST_F(SettingsFileTest, ChangeReplacesTheFileWholeAndLeavesNoTemporaryFiles)
{
    auto store = Open();
    ASSERT_TRUE(store->WriteString("Setup", "Current", "old"));
    std::ifstream before(File(), std::ios::binary);  // still open while the store changes
    ASSERT_TRUE(store->WriteString("Setup", "Current", std::string(100000, 'n')));
    std::ostringstream oldText;
    oldText << before.rdbuf();
    EXPECT_NE(oldText.str().find("Current=old\n"), std::string::npos);  // the old file was not rewritten in place
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"store.conf", "store.conf.lock"}));
}

TEST_F(SettingsFileTest, SubkeysSortAsOnWindows)
{
    auto store = Open();
    for (const char* key : {"a", "_", "Z", "[", "`"})
        ASSERT_TRUE(store->CreateKey(key));
    EXPECT_EQ(store->SubkeyNames(""), (std::vector<std::string>{"a", "Z", "[", "_", "`"}));
}

TEST_F(SettingsFileTest, ConcurrentWritersLoseNothing)
{
    constexpr int kWrites = 40;
    auto writer = [this](const std::string& prefix) {
        auto store = Open();
        for (int i = 0; i < kWrites; ++i)
            ASSERT_TRUE(store->WriteString("k", prefix + std::to_string(i), "v"));
    };
    std::thread a(writer, "a"), b(writer, "b");
    a.join();
    b.join();
    auto store = Open();
    for (int i = 0; i < kWrites; ++i) {
        EXPECT_EQ(store->ReadString("k", "a" + std::to_string(i)), "v") << i;
        EXPECT_EQ(store->ReadString("k", "b" + std::to_string(i)), "v") << i;
    }
}

}  // namespace
