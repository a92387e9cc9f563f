// The bench's driver functions against its shared state: EEPROM requests, refusal of bad
// requests, faults, dense indices, persistence across processes and durability of writes.
#include "benchfixture.h"
#include "benchtest.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "testenv.h"

using namespace benchtest;

namespace {

std::array<uint8_t, 128> DumpOf(int index)
{
    auto image = mvbench::Dump(index);
    EXPECT_TRUE(image.has_value()) << mvbench::LastError();
    return image.value_or(std::array<uint8_t, 128>{});
}

TEST(BenchDriver, DefaultBenchHasTwoErasedConverters)
{
    testsupport::ScopedBench bench;
    MV_HANDLE h0 = nullptr, h1 = nullptr, h2 = nullptr;
    ASSERT_EQ(MV_Open(0, &h0), MV_OK);
    ASSERT_EQ(MV_Open(1, &h1), MV_OK);
    EXPECT_NE(MV_Open(2, &h2), MV_OK);
    EXPECT_NE(MV_Open(-1, &h2), MV_OK);
    for (uint32_t i : {0u, 31u, 63u}) {
        uint16_t word = 0;
        ASSERT_EQ(ReadWord(h1, i, word), MV_OK);
        EXPECT_EQ(word, 0xFFFF);
    }
    MV_Close(h0);
    MV_Close(h1);
    const auto s = mvbench::Snapshot();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->timing, mvbench::Timing::Fast);  // the fixture's choice; a new bench is real
    EXPECT_EQ(mvbench::DefaultState().timing, mvbench::Timing::Real);
    EXPECT_EQ(mvbench::DefaultState().latencyUs, 1000);
    EXPECT_EQ(s->attachment, mvbench::Attachment::Rig);
}

TEST(BenchDriver, WriteReadAndEraseReachTheSharedEeprom)
{
    testsupport::ScopedBench bench;
    MV_HANDLE h = nullptr;
    ASSERT_EQ(MV_Open(1, &h), MV_OK);
    ASSERT_EQ(WriteWord(h, 0, 0x1234), MV_OK);
    ASSERT_EQ(WriteWord(h, 63, 0xABCD), MV_OK);
    uint16_t word = 0;
    ASSERT_EQ(ReadWord(h, 63, word), MV_OK);
    EXPECT_EQ(word, 0xABCD);
    auto image = DumpOf(1);
    EXPECT_EQ(image[0], 0x34);
    EXPECT_EQ(image[1], 0x12);
    EXPECT_EQ(image[126], 0xCD);
    EXPECT_EQ(image[127], 0xAB);
    EXPECT_EQ(DumpOf(0)[0], 0xFF) << "another converter's EEPROM is untouched";

    uint32_t returned = 1;
    ASSERT_EQ(MV_IoCtl(h, MV_IOCTL_ERASE_EE, nullptr, 0, nullptr, 0, &returned, nullptr), MV_OK);
    image = DumpOf(1);
    EXPECT_TRUE(std::all_of(image.begin(), image.end(), [](uint8_t b) { return b == 0xFF; }));
    MV_Close(h);
}

TEST(BenchDriver, BadRequestsFailAndChangeNothing)
{
    testsupport::ScopedBench bench;
    MV_HANDLE h = nullptr, closed = nullptr;
    ASSERT_EQ(MV_Open(0, &h), MV_OK);
    ASSERT_EQ(WriteWord(h, 5, 0x5555), MV_OK);
    ASSERT_EQ(MV_Open(0, &closed), MV_OK);
    MV_Close(closed);
    const auto before = DumpOf(0);

    uint8_t buf[8] = {};
    uint8_t write64[4] = {64, 0, 0x11, 0x22};
    uint8_t write5[4] = {5, 0, 0x11, 0x22};
    uint32_t index64 = 64, index5 = 5, returned = 0, count = 0;
    MV_HANDLE garbage = reinterpret_cast<MV_HANDLE>(static_cast<uintptr_t>(0xDEADBEEF));
    struct Case {
        const char* what;
        std::function<MV_STATUS()> call;
    };
    const Case cases[] = {
        {"garbage handle", [&] { return WriteWord(garbage, 5, 0); }},
        {"null handle", [&] { return WriteWord(nullptr, 5, 0); }},
        {"closed handle", [&] { return WriteWord(closed, 5, 0); }},
        {"closed handle read", [&] { return MV_Read(closed, buf, 1, &count); }},
        {"read word 64", [&] { return MV_IoCtl(h, MV_IOCTL_READ_EE_WORD, &index64, 4, buf, 2, &returned, nullptr); }},
        {"write word 64", [&] { return MV_IoCtl(h, MV_IOCTL_WRITE_EE_WORD, write64, 4, write64, 4, &returned, nullptr); }},
        {"write without input", [&] { return MV_IoCtl(h, MV_IOCTL_WRITE_EE_WORD, nullptr, 4, buf, 4, &returned, nullptr); }},
        {"write short input", [&] { return MV_IoCtl(h, MV_IOCTL_WRITE_EE_WORD, write5, 3, nullptr, 0, &returned, nullptr); }},
        {"write short output", [&] { return MV_IoCtl(h, MV_IOCTL_WRITE_EE_WORD, write5, 4, buf, 2, &returned, nullptr); }},
        {"read without output", [&] { return MV_IoCtl(h, MV_IOCTL_READ_EE_WORD, &index5, 4, nullptr, 2, &returned, nullptr); }},
        {"read short output", [&] { return MV_IoCtl(h, MV_IOCTL_READ_EE_WORD, &index5, 4, buf, 1, &returned, nullptr); }},
        {"erase with a buffer", [&] { return MV_IoCtl(h, MV_IOCTL_ERASE_EE, buf, 4, nullptr, 0, &returned, nullptr); }},
        {"unknown request", [&] { return MV_IoCtl(h, 0x220090, nullptr, 0, nullptr, 0, &returned, nullptr); }},
        {"baud rate 0", [&] { return Request32(h, MV_IOCTL_SET_BAUD_RATE, 0); }},
        {"status without output", [&] { return MV_IoCtl(h, MV_IOCTL_GET_MODEM_STATUS, nullptr, 0, nullptr, 0, &returned, nullptr); }},
        {"read without count", [&] { return MV_Read(h, buf, 1, nullptr); }},
        {"write without buffer", [&] { return MV_Write(h, nullptr, 4, &count); }},
        {"open without handle pointer", [&] { return MV_Open(0, nullptr); }},
    };
    for (const Case& c : cases) {
        EXPECT_NE(c.call() & 0xFF, 0u) << c.what;
        EXPECT_EQ(DumpOf(0), before) << c.what;
    }
    MV_Close(h);
}

TEST(BenchDriver, IndicesStayDenseAndHandlesFollowTheirConverter)
{
    testsupport::ScopedBench bench;
    ASSERT_EQ(mvbench::Plug(), 2);
    for (int i = 0; i < 3; ++i) {
        MV_HANDLE h = nullptr;
        ASSERT_EQ(MV_Open(i, &h), MV_OK);
        ASSERT_EQ(WriteWord(h, 1, static_cast<uint16_t>(0x100 + i)), MV_OK);
        MV_Close(h);
    }
    MV_HANDLE middle = nullptr, last = nullptr;
    ASSERT_EQ(MV_Open(1, &middle), MV_OK);
    ASSERT_EQ(MV_Open(2, &last), MV_OK);
    ASSERT_TRUE(mvbench::Unplug(1));

    uint16_t word = 0;
    EXPECT_NE(ReadWord(middle, 1, word), MV_OK) << "the unplugged converter's handle fails";
    ASSERT_EQ(ReadWord(last, 1, word), MV_OK) << "an open handle follows its converter to its new index";
    EXPECT_EQ(word, 0x102);
    MV_Close(middle);
    MV_Close(last);

    MV_HANDLE h = nullptr;
    ASSERT_EQ(MV_Open(1, &h), MV_OK);
    ASSERT_EQ(ReadWord(h, 1, word), MV_OK);
    EXPECT_EQ(word, 0x102) << "index 1 is now the third converter plugged";
    MV_Close(h);
    EXPECT_NE(MV_Open(2, &h), MV_OK);
    EXPECT_EQ(mvbench::List().size(), 2u);
    EXPECT_EQ(mvbench::ListAll().size(), 3u);
    EXPECT_FALSE(mvbench::Unplug(2));
}

TEST(BenchDriver, ConverterVanishesAfterItsCountedRequests)
{
    testsupport::ScopedBench bench;
    ASSERT_TRUE(mvbench::UnplugAfterRequests(0, 3));
    MV_HANDLE h = nullptr;
    uint16_t word = 0;
    ASSERT_EQ(MV_Open(0, &h), MV_OK);          // 1
    ASSERT_EQ(WriteWord(h, 2, 0x0102), MV_OK);  // 2
    ASSERT_EQ(ReadWord(h, 2, word), MV_OK);     // 3
    EXPECT_NE(ReadWord(h, 2, word), MV_OK);
    MV_Close(h);
    EXPECT_EQ(mvbench::List().size(), 1u);
    // The converter that was index 1 is now index 0, untouched.
    EXPECT_EQ(DumpOf(0)[4], 0xFF);
}

TEST(BenchDriver, OpensFailFaultRefusesEveryOpen)
{
    testsupport::ScopedBench bench;
    ASSERT_TRUE(mvbench::SetOpensFail(true));
    MV_HANDLE h = nullptr;
    MVB_PORT p = nullptr;
    EXPECT_NE(MV_Open(0, &h), MV_OK);
    EXPECT_NE(MVB_PortOpen("\\\\.\\COM1", &p), 0);
    EXPECT_NE(MVB_PortOpen("\\\\.\\MVPORT-0", &p), 0);
    ASSERT_TRUE(mvbench::SetOpensFail(false));
    ASSERT_EQ(MV_Open(0, &h), MV_OK);
    MV_Close(h);
}

TEST(BenchDriver, StuckBitReadsBackWrong)
{
    testsupport::ScopedBench bench;
    ASSERT_TRUE(mvbench::SetStuckBit(0, 7, 3, true));
    ASSERT_TRUE(mvbench::SetStuckBit(0, 7, 15, false));
    MV_HANDLE h = nullptr;
    ASSERT_EQ(MV_Open(0, &h), MV_OK);
    ASSERT_EQ(WriteWord(h, 7, 0x8000), MV_OK);
    uint16_t word = 0;
    ASSERT_EQ(ReadWord(h, 7, word), MV_OK);
    EXPECT_EQ(word, 0x0008);
    EXPECT_EQ(DumpOf(0)[14], 0x08);
    ASSERT_TRUE(mvbench::ClearStuckBits(0));
    ASSERT_EQ(ReadWord(h, 7, word), MV_OK);
    EXPECT_EQ(word, 0x8000);
    MV_Close(h);
    EXPECT_FALSE(mvbench::SetStuckBit(0, 64, 0, true));
    EXPECT_FALSE(mvbench::SetStuckBit(0, 0, 16, true));
}

TEST(BenchDriver, ConverterPluggedByTheToolIsSeenHere)
{
    testsupport::ScopedBench bench;
    const auto out = bench.Dir() / "out.txt", err = bench.Dir() / "err.txt";
    MV_HANDLE h = nullptr;
    ASSERT_NE(MV_Open(2, &h), MV_OK);
    ASSERT_EQ(testsupport::RunProgram(MVBENCH_EXE, {"plug"}, out, err), 0);
    ASSERT_EQ(MV_Open(2, &h), MV_OK);
    ASSERT_EQ(WriteWord(h, 3, 0xBEEF), MV_OK);
    MV_Close(h);
    // ... and what this process wrote is seen by the tool.
    ASSERT_EQ(testsupport::RunProgram(MVBENCH_EXE, {"dump", "2"}, out, err), 0);
    std::ifstream in(out);
    std::string first;
    std::getline(in, first);
    if (!first.empty() && first.back() == '\r')  // the tool's text output on Windows
        first.pop_back();
    EXPECT_EQ(first, "0000: FF FF FF FF FF FF EF BE FF FF FF FF FF FF FF FF");
}

TEST(BenchDriver, CorruptStateIsReportedNotFatal)
{
    const std::string valid = mvbench::Serialize(mvbench::DefaultState());
    const std::string cases[] = {
        "",
        "hello world\n",
        std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10),
        valid.substr(0, valid.size() / 2),  // truncated
        "mvbench-state 1\nlatency-us -5\nend\n",
        "mvbench-state 1\nconverter 0000000000000001 plugged -1\neeprom ff\nend\n",
        "mvbench-state 1\nstuck 1 1 1\nend\n",
        "mvbench-state 1\nend\nextra\n",
        "mvbench-state 2\nend\n",
    };
    for (const std::string& text : cases) {
        testsupport::ScopedBench bench;
        {
            std::ofstream out(bench.Dir() / "state", std::ios::binary | std::ios::trunc);
            out << text;
        }
        MV_HANDLE h = nullptr;
        EXPECT_NE(MV_Open(0, &h), MV_OK) << text;
        EXPECT_FALSE(mvbench::Plug() >= 0) << text;
        EXPECT_NE(mvbench::LastError().find("corrupt"), std::string::npos) << mvbench::LastError();
        EXPECT_TRUE(mvbench::Reset());
        EXPECT_EQ(mvbench::List().size(), 2u);
    }
}

TEST(BenchDriver, EmptyFolderGetsTheDefaultBench)
{
    testsupport::TempDir dir("mvbench-empty");
    const char* old = std::getenv("MVBENCH_DIR");
    const std::string saved = old ? old : "";
    const std::u8string fresh = (dir.Path() / "new").u8string();
    testsupport::SetEnv("MVBENCH_DIR", std::string(fresh.begin(), fresh.end()));
    MV_HANDLE h = nullptr;
    EXPECT_EQ(MV_Open(1, &h), MV_OK);
    MV_Close(h);
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "new" / "state"));
    if (old)
        testsupport::SetEnv("MVBENCH_DIR", saved);
    else
        testsupport::UnsetEnv("MVBENCH_DIR");
}

}  // namespace
