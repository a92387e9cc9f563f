#include "portnames.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "tempdir.h"

namespace fs = std::filesystem;
using platform::portnames_detail::ComNumber;
using platform::portnames_detail::ComPortTableFrom;
using Table = std::vector<std::pair<std::string, std::string>>;

TEST(ComNumber, AcceptsComNamesOnly)
{
    const std::pair<const char*, int> cases[] = {
        {"COM1", 1}, {"com3", 3}, {"Com12", 12}, {"\\\\.\\COM7", 7}, {"\\\\.\\cOm10", 10},
        {"COM", 0},  {"COM0", 0}, {"COMx", 0},   {"COM1a", 0},       {"/dev/ttyS0", 0},
        {"", 0},     {"XCOM1", 0}, {"COM99999999999", 0},
    };
    for (const auto& [name, number] : cases) {
        const auto got = ComNumber(name);
        EXPECT_EQ(got.value_or(0), number) << name;
    }
}

class FakeMachine : public ::testing::Test {
protected:
    void AddTty(const std::string& name, bool withDriver, const char* type = nullptr)
    {
        const fs::path entry = dir.Path() / "sys" / name;
        fs::create_directories(entry / "device");
        if (withDriver)
            fs::create_directories(entry / "device" / "driver");
        if (type)
            std::ofstream(entry / "type") << type << "\n";
    }
    void WriteTable(const std::string& text) { std::ofstream(dir.Path() / "serialcomm") << text; }
    Table Build() { return ComPortTableFrom(dir.Path() / "serialcomm", dir.Path() / "sys"); }

    testsupport::TempDir dir;
};

TEST_F(FakeMachine, DevicesWithDriversAreNumberedInStableOrder)
{
    AddTty("ttyUSB10", true);
    AddTty("ttyUSB2", true);
    AddTty("ttyS1", true, "0");   // an empty 8250 slot
    AddTty("ttyS0", true, "4");
    AddTty("ttyACM0", true);
    AddTty("tty5", false);        // a virtual console: no driver
    EXPECT_EQ(Build(), (Table{{"COM1", "/dev/ttyS0"},
                              {"COM2", "/dev/ttyACM0"},
                              {"COM3", "/dev/ttyUSB2"},
                              {"COM4", "/dev/ttyUSB10"}}));
}

TEST_F(FakeMachine, TableFileTakesPrecedenceAndDevicesFillTheGaps)
{
    AddTty("ttyS0", true, "4");
    AddTty("ttyUSB0", true);
    AddTty("ttyUSB1", true);
    WriteTable("# test ports\n"
               "  com2 = /dev/pts/7 \n"
               "COM3=/dev/ttyUSB1\n"
               "garbage line\n"
               "COMx=/dev/null\n"
               "COM5=\n"
               "COM2=/dev/pts/9\n");
    EXPECT_EQ(Build(), (Table{{"COM1", "/dev/ttyS0"},
                              {"COM2", "/dev/pts/7"},
                              {"COM3", "/dev/ttyUSB1"},
                              {"COM4", "/dev/ttyUSB0"}}));
}

TEST_F(FakeMachine, MissingSourcesGiveAnEmptyTable)
{
    EXPECT_TRUE(Build().empty());
    EXPECT_TRUE(ComPortTableFrom("", dir.Path() / "nowhere").empty());
}

TEST(ResolvePortPath, UsesTheUsersTableForComNamesAndKeepsPaths)
{
    testsupport::TempDir dir;
    std::ofstream(dir.Path() / "serialcomm") << "COM41=/dev/pts/41\nCOM42=/dev/pts/42\n";
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);

    EXPECT_EQ(platform::ResolvePortPath("COM41"), "/dev/pts/41");
    EXPECT_EQ(platform::ResolvePortPath("com42"), "/dev/pts/42");
    EXPECT_EQ(platform::ResolvePortPath("\\\\.\\COM42"), "/dev/pts/42");
    EXPECT_EQ(platform::ResolvePortPath("/dev/ttyUSB3"), "/dev/ttyUSB3");
    EXPECT_EQ(platform::ResolvePortPath("COM999"), "COM999");  // unknown: fails at open

    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}
