// The preset reader: which lines of a preset file become a slot's HEX and ASCII items, from a
// buffer, a stream and a file, and the failures of reading the file.
#include "presets.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using duoterm::ParsePresets;
using duoterm::PresetLists;
using duoterm::ReadPresetFile;
using Items = std::vector<std::string>;
using namespace std::string_literals;

struct Case {
    const char* name;
    std::string file;
    int slot;
    bool withAscii;
    Items hex, ascii;
};

const std::string kThreeSlots =
    "[1HEX]\n01 02\n[/1HEX]\n[1ASCII]\nhello\n[/1ASCII]\n"
    "[2HEX]\n21\n22*\n[/2HEX]\n"
    "[3ASCII]\nthree\n[/3ASCII]\n[3HEX]\n31\n[/3HEX]\n";

const std::vector<Case> kCases = {
    {"slot 1 ignores the other slots", kThreeSlots, 1, true, {"01 02"}, {"hello"}},
    {"a slot with HEX only leaves ASCII empty", kThreeSlots, 2, true, {"21", "22*"}, {}},
    {"sections in any order", kThreeSlots, 3, true, {"31"}, {"three"}},
    {"without ASCII only HEX is read", kThreeSlots, 1, false, {"01 02"}, {}},
    {"lines outside the sections are ignored", "x\n[1HEX]\n01\n[/1HEX]\ny\n[1HEX]\n02\n", 1, true, {"01", "02"}, {}},
    {"items keep spaces and empty lines", "[1HEX]\n  01 02 \n\n03\n[/1HEX]\n", 1, true, {"  01 02 ", "", "03"}, {}},
    {"a HEX start inside ASCII opens HEX, then ASCII goes on",
     "[1ASCII]\na\n[1HEX]\n01\n[/1HEX]\nb\n[/1ASCII]\nc\n", 1, true, {"01"}, {"a", "b"}},
    {"an ASCII marker inside HEX is a HEX item", "[1HEX]\n[1ASCII]\n01\n[/1ASCII]\n[/1HEX]\n", 1, true,
     {"[1ASCII]", "01", "[/1ASCII]"}, {}},
    {"an ASCII marker inside HEX is a HEX item without ASCII too", "[1HEX]\n[1ASCII]\n[/1HEX]\n[1ASCII]\nx\n", 1, false, {"[1ASCII]"}, {}},
    {"no end marker runs to the end", "[1ASCII]\na\n[1HEX]\n01\n02", 1, true, {"01", "02"}, {"a"}},
    {"short lines inside a section are items", "[1HEX]\n1\nHEX\n]\n[\n[1HEX]\n[/1\n[/1HEX]\n", 1, true,
     {"1", "HEX", "]", "[", "[/1"}, {}},
    {"short lines outside a section open nothing", "1\nHEX\n[1\nASCII\n", 1, true, {}, {}},
    {"markers match exactly", "[1HEX] \n a\n [1HEX]\n[1hex]\n[1HEX]x\n[1HEX]\nb\n[/1HEX] \n[/1hex]\n", 1, true,
     {"b", "[/1HEX] ", "[/1hex]"}, {}},
    {"CR LF lines", "[1HEX]\r\n01 02\r\n\r\n[/1HEX]\r\n[1ASCII]\r\nab\r\n[/1ASCII]\r\n", 1, true, {"01 02", ""},
     {"ab"}},
    {"only one CR is a line end", "[1HEX]\r\n[1ASCII]\r\r\n01\r\r\n[/1HEX]\r\r\n[/1HEX]\r\n[1HEX]\r\r\n02\n", 1,
     true, {"[1ASCII]\r", "01\r", "[/1HEX]\r"}, {}},
    {"a lone CR is part of the line", "[1HEX]\n01\r02\n[/1HEX]\r", 1, true, {"01\r02"}, {}},
    {"Windows-1251 and binary bytes are kept",
     "[1ASCII]\n\xcf\xf0\xe8\xe2\xe5\xf2\n\x00\x01\xff\n[/1ASCII]\n"s, 1, true, {},
     {"\xcf\xf0\xe8\xe2\xe5\xf2", "\x00\x01\xff"s}},
    {"a NUL inside a marker line is no marker", "[1HEX]\0\n01\n"s, 1, true, {}, {}},
    {"an empty file", "", 1, true, {}, {}},
    {"an empty last line", "[1HEX]\n\n", 1, true, {""}, {}},
};

TEST(PresetsTest, SectionsAndItems)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const PresetLists fromText = ParsePresets(c.file, c.slot, c.withAscii);
        EXPECT_EQ(fromText.hex, c.hex);
        EXPECT_EQ(fromText.ascii, c.ascii);
        std::istringstream stream(c.file);
        const PresetLists fromStream = ParsePresets(stream, c.slot, c.withAscii);
        EXPECT_EQ(fromStream.hex, c.hex);
        EXPECT_EQ(fromStream.ascii, c.ascii);
    }
}

TEST(PresetsTest, VeryLongLinesAreItems)
{
    const std::string line(4 << 20, 'A');
    const PresetLists lists = ParsePresets("[2ASCII]\n" + line + "\n[/2ASCII]\n", 2, true);
    ASSERT_EQ(lists.ascii.size(), 1u);
    EXPECT_EQ(lists.ascii[0], line);
}

class PresetFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() /
              ("presets_test_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
};

TEST_F(PresetFileTest, ReadsTheFileAsBytes)
{
    const auto path = dir / "duoterm.ini";
    std::ofstream(path, std::ios::binary) << "[1HEX]\r\n01 02*\r\n[/1HEX]\r\n[1ASCII]\r\n\xc0\xc1\r\n[/1ASCII]\r\n";
    const auto result = ReadPresetFile(path, 1, true);
    EXPECT_FALSE(result.error);
    EXPECT_EQ(result.lists.hex, Items{"01 02*"});
    EXPECT_EQ(result.lists.ascii, Items{"\xc0\xc1"});
}

TEST_F(PresetFileTest, FailuresGiveTheirMessageAndNoItems)
{
    struct Failure {
        std::filesystem::path path;
        const char* error;
    };
    for (const Failure& f : {Failure{dir / "duoterm.ini", "File not found"},
                             Failure{dir / "missing" / "duoterm.ini", "File not found"},
                             Failure{dir, "File access denied"}}) {
        SCOPED_TRACE(f.path.string());
        const auto result = ReadPresetFile(f.path, 1, true);
        ASSERT_TRUE(result.error);
        EXPECT_EQ(*result.error, f.error);
        EXPECT_TRUE(result.lists.hex.empty() && result.lists.ascii.empty());
    }
}

}  // namespace
