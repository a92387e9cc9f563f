// The mvbench tool: what list and dump show, and that a command that fails says so, exits
// non-zero and leaves the bench as it was.
#include "benchfixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "testenv.h"

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

std::string Slurp(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The tool's text output with Windows line ends read as plain ones.
std::string Text(const std::filesystem::path& path)
{
    std::string text = Slurp(path), out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    return out;
}

// Runs the tool with `args` split at blanks, where single quotes group words as a shell does.
Result Tool(const testsupport::ScopedBench& bench, const std::string& args)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (char c : args) {
        if (c == '\'') {
            quoted = !quoted;
            inWord = true;
        } else if (c == ' ' && !quoted) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    const auto out = bench.Dir() / "out.txt", err = bench.Dir() / "err.txt";
    Result r;
    r.status = testsupport::RunProgram(MVBENCH_EXE, words, out, err);
    r.out = Text(out);
    r.err = Text(err);
    return r;
}

TEST(BenchTool, BadCommandsFailWithAMessageAndChangeNothing)
{
    testsupport::ScopedBench bench;
    const auto image = bench.Dir() / "short.bin";
    std::ofstream(image, std::ios::binary) << std::string(100, 'x');
    const std::string before = Slurp(bench.Dir() / "state");
    const std::string bad[] = {
        "",
        "frobnicate",
        "list extra",
        "unplug",
        "unplug 7",
        "unplug -1",
        "unplug one",
        "unplug ' 0'",
        "unplug +0",
        "unplug -",
        "dump 2",
        "plug /no/such/file",
        "plug '" + image.string() + "'",
        "plug a b",
        "plug /dev/zero",
        "timing slow",
        "latency 5000",
        "latency 1.5",
        "opens-fail maybe",
        "stuck-bit 0 64 0 1",
        "stuck-bit 0 1 16 1",
        "stuck-bit 5 1 1 1",
        "stuck-bit 0 1 1 2",
        "unplug-after 0 -3",
        "attach phone",
        "cut com3-tx",
        "restore",
        "modem-error yes",
        "modem-lines loose",
    };
    for (const std::string& args : bad) {
        const Result r = Tool(bench, args);
        EXPECT_NE(r.status, 0) << args;
        EXPECT_NE(r.err.find("mvbench"), std::string::npos) << args << ": " << r.err;
        EXPECT_EQ(Slurp(bench.Dir() / "state"), before) << args;
    }
}

TEST(BenchTool, ListDecodesIdentitiesAndDumpShowsOffsets)
{
    testsupport::ScopedBench bench;
    // An identity with descriptors at 20 ("AB") and 26 ("Box"), and a serial-number entry
    // whose offset flag is missing; the length byte of the last runs past the EEPROM's end.
    std::array<uint8_t, 128> image{};
    image[2] = 0x7E; image[3] = 0x3A; image[4] = 0x01; image[5] = 0x5C;
    image[14] = 0x80 | 20; image[15] = 6;
    image[16] = 0x80 | 26; image[17] = 8;
    image[18] = 120 | 0x80; image[19] = 0xFE;
    const uint8_t descriptors[] = {6, 3, 'A', 0, 'B', 0, 8, 3, 'B', 0, 'o', 0, 0xE9, 0};
    std::copy(std::begin(descriptors), std::end(descriptors), image.begin() + 20);
    const auto file = bench.Dir() / "image.bin";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), 128);

    Result r = Tool(bench, "plug '" + file.string() + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "plugged converter 2\n");
    ASSERT_EQ(Tool(bench, "unplug 0").status, 0);
    r = Tool(bench, "list");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("0     yes       erased"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1     yes       VID 3A7E  PID 5C01  manufacturer \"AB\"  description \"Bo\\xE9\"  serial \""),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("-     no        erased"), std::string::npos) << r.out;

    r = Tool(bench, "dump 1");
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line))
        all.push_back(line);
    ASSERT_EQ(all.size(), 8u);
    EXPECT_EQ(all[0], "0000: 00 00 7E 3A 01 5C 00 00 00 00 00 00 00 00 94 06");
    EXPECT_EQ(all[7].substr(0, 5), "0070:");
}

TEST(BenchTool, SwitchesReachTheState)
{
    testsupport::ScopedBench bench;
    for (const char* args : {"timing real", "latency 3", "opens-fail on", "attach modem", "cut com1-rts-ri",
                             "modem-error on", "modem-lines stuck", "unplug-after 1 4", "stuck-bit 0 2 3 1"})
        ASSERT_EQ(Tool(bench, args).status, 0) << args;
    const auto s = mvbench::Snapshot();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->timing, mvbench::Timing::Real);
    EXPECT_EQ(s->latencyUs, 3000);
    EXPECT_TRUE(s->opensFail);
    EXPECT_EQ(s->attachment, mvbench::Attachment::Modem);
    EXPECT_TRUE(s->IsCut(mvbench::Wire::Com1RtsToRi));
    EXPECT_TRUE(s->modemError);
    EXPECT_TRUE(s->modemLinesStuck);
    EXPECT_EQ(s->converters[1].unplugAfter, 4);
    ASSERT_EQ(s->converters[0].stuck.size(), 1u);
    EXPECT_EQ(Tool(bench, "reset").status, 0);
    EXPECT_EQ(mvbench::Snapshot()->attachment, mvbench::Attachment::Rig);
    EXPECT_EQ(Tool(bench, "help").status, 0);
}

}  // namespace
