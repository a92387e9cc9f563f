// The Program pass and Program to File on the simulated bench: the image that reaches the
// converter, every failure message with the fault that causes it, multi-program rounds,
// fixed serial numbers, and the file written in one piece.
#include <gtest/gtest.h>


#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "benchcontrol.h"
#include "benchfixture.h"
#include "filesizelimit.h"
#include "expectedimage.h"
#include "fakeclock.h"
#include "mvdriver.h"
#include "programming.h"
#include "recordingreporter.h"
#include "tempdir.h"

namespace {

using eemint::ProductConfiguration;
using eemint::ProgrammingFlow;
using testsupport::EepromBytes;
using testsupport::ExpectedImage;
using testsupport::FakeClock;
using Lines = std::vector<std::string>;

// 15 March 2002, 10:20:30 with product 5C01 gives MVALF1JJ.
constexpr const char* kFirstSerial = "MVALF1JJ";
constexpr const char* kSecondSerial = "MVALF1JK";

EepromBytes Erased()
{
    EepromBytes bytes;
    bytes.fill(0xFF);
    return bytes;
}

std::vector<uint8_t> FileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ProgramOnBench : public testing::Test {
protected:
    testsupport::ScopedBench bench;
    eemint::ScopedDriver driver{eemint::SystemDriver()};
    FakeClock clock{2002, 3, 15, 10, 20, 30};
    ProgrammingFlow flow{clock};
    testsupport::RecordingReporter reporter;
    ProductConfiguration config = eemint::DefaultProductConfiguration();

    EepromBytes Dump(int index) { return mvbench::Dump(index).value_or(EepromBytes{}); }
    void Program(bool multi = false) { flow.Program(config, multi, reporter); }
};

// The image on the converter, for identities of both chip generations.
struct ImageCase {
    const char* what;
    std::function<void(ProductConfiguration&)> edit;
    const char* serial;  // the serial number the converter must carry
};

void PrintTo(const ImageCase& c, std::ostream* out) { *out << c.what; }

class ProgramImage : public ProgramOnBench, public testing::WithParamInterface<ImageCase> {};

TEST_P(ProgramImage, ConverterReadsBackTheLaidOutImage)
{
    GetParam().edit(config);
    Program();
    EXPECT_EQ(reporter.errors, Lines{});
    EXPECT_EQ(reporter.log, Lines{ProgrammingFlow::ProgramLogLine(GetParam().serial)});
    EXPECT_EQ(Dump(0), ExpectedImage(config, GetParam().serial));
    EXPECT_EQ(Dump(1), Erased());  // only converter 0
    EXPECT_GE(reporter.Repaints(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Identities, ProgramImage,
    testing::Values(
        ImageCase{"DefaultIdentity", [](ProductConfiguration&) {}, kFirstSerial},
        ImageCase{"SecondGeneration",
                  [](ProductConfiguration& c) {
                      c.rev4 = c.isoIn = c.isoOut = c.intPdEn = c.intUsbVer = true;
                      c.intSerNo = false;
                      c.usbVersion = "0200";
                      c.selfPowered = true;
                      c.remoteWakeup = false;
                      c.plugAndPlay = false;
                      c.maxPower = 500;
                      c.productId = "5C03";
                  },
                  "MVSCP21B"},
        // 16 + 24 + 8 characters fill the string area exactly.
        ImageCase{"StringAreaFull",
                  [](ProductConfiguration& c) {
                      c.manufacturer = "ABCDEFGHIJKLMNOP";
                      c.description = "012345678901234567890123";
                  },
                  kFirstSerial},
        ImageCase{"CharacterAbove7F", [](ProductConfiguration& c) { c.manufacturer = "M\xE9VIX"; }, kFirstSerial}),
    [](const testing::TestParamInfo<ImageCase>& info) { return std::string(info.param.what); });

TEST_F(ProgramOnBench, ExampleIdentityGivesTheKnownChecksum)
{
    config.manufacturer = "MAVIX";
    config.description = "USB HS Serial Converter";
    config.maxPower = 90;
    config.fixedSerial = true;
    config.fixedSerialText = "MV000001";
    Program();
    const EepromBytes image = Dump(0);
    EXPECT_EQ(image, ExpectedImage(config, "MV000001"));
    EXPECT_EQ(image[14], 0x94);
    EXPECT_EQ(image[19], 0x12);
    EXPECT_EQ(image[126], 0x98);
    EXPECT_EQ(image[127], 0x80);
}

// Every message of the failure table, each caused by a bench fault or a missing converter.
struct FailureCase {
    const char* what;
    std::function<void(ProductConfiguration&)> arrange;
    bool multiProgram;
    const char* error;
    bool logged;  // the pass's log line stands
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.what; }

class ProgramFailure : public ProgramOnBench, public testing::WithParamInterface<FailureCase> {};

TEST_P(ProgramFailure, EndsWithItsMessage)
{
    const FailureCase& c = GetParam();
    c.arrange(config);
    Program(c.multiProgram);
    EXPECT_EQ(reporter.errors, Lines{c.error});
    EXPECT_EQ(reporter.log.size(), c.logged ? 1u : 0u);
}

void NoConverter(ProductConfiguration&)
{
    ASSERT_TRUE(mvbench::Unplug(0));
    ASSERT_TRUE(mvbench::Unplug(0));
}

// With a second converter attached, it would move up to index 0 and take the pass.
void OnlyConverterGoesAfter(int requests)
{
    ASSERT_TRUE(mvbench::Unplug(1));
    ASSERT_TRUE(mvbench::UnplugAfterRequests(0, requests));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProgramFailure,
    testing::Values(
        FailureCase{"NoConverter", NoConverter, false, "Failed to open device", false},
        FailureCase{"OpensFail", [](ProductConfiguration&) { ASSERT_TRUE(mvbench::SetOpensFail(true)); }, false,
                    "Failed to open device", false},
        FailureCase{"NoConverterMultiProgram", NoConverter, true, "Failed to open device", false},
        // The probe is an open and a close; the converter goes before the erase opens it.
        FailureCase{"GoneBeforeErase", [](ProductConfiguration&) { OnlyConverterGoesAfter(2); }, false,
                    "Failed to open device for erase", true},
        // ... and the erase is an open, the request and a close.
        FailureCase{"GoneBeforeWrite", [](ProductConfiguration&) { OnlyConverterGoesAfter(5); }, false,
                    "Failed to open device for write", true},
        FailureCase{"StuckBit", [](ProductConfiguration&) { ASSERT_TRUE(mvbench::SetStuckBit(0, 1, 0, true)); }, false,
                    "Failed to write device", true}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.what); });

TEST_F(ProgramOnBench, StringsTooLongWriteNothing)
{
    config.manufacturer = "ABCDEFGHIJKLMNOP";             // 16
    config.description = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";  // 26
    for (bool multi : {false, true}) {
        reporter.Clear();
        Program(multi);
        EXPECT_EQ(reporter.errors, Lines{"Port Name Prefix is too long"});
        EXPECT_EQ(reporter.log, Lines{});
    }
    EXPECT_EQ(Dump(0), Erased());
    // No number was issued: the next fitting pass still gets the clock's first one.
    config = eemint::DefaultProductConfiguration();
    reporter.Clear();
    Program();
    EXPECT_EQ(reporter.log, Lines{ProgrammingFlow::ProgramLogLine(kFirstSerial)});
}

TEST_F(ProgramOnBench, StuckBitLeavesWhatTheWriteLeft)
{
    ASSERT_TRUE(mvbench::SetStuckBit(0, 1, 0, true));
    Program();
    EepromBytes expected = ExpectedImage(config, kFirstSerial);
    expected[2] |= 0x01;
    EXPECT_EQ(Dump(0), expected);
}

TEST_F(ProgramOnBench, PassesInOneSlotGetDistinctSerialNumbers)
{
    Program();
    Program();
    EXPECT_EQ(reporter.errors, Lines{});
    EXPECT_EQ(reporter.log, (Lines{ProgrammingFlow::ProgramLogLine(kFirstSerial),
                                   eemint::SerialNumberGenerator::WaitNote(kFirstSerial),
                                   ProgrammingFlow::ProgramLogLine(kSecondSerial)}));
    EXPECT_EQ(Dump(0), ExpectedImage(config, kSecondSerial));
}

// Multi-program rounds: one converter per command, then the re-plug message.
TEST_F(ProgramOnBench, MultiProgramRoundWithTwoConverters)
{
    Program(true);
    Program(true);
    Program(true);
    const std::string first = ProgrammingFlow::ProgramLogLine(kFirstSerial) + " (1/2)";
    const std::string second = ProgrammingFlow::ProgramLogLine(kSecondSerial) + " (1/2)";
    EXPECT_EQ(reporter.log, (Lines{first, eemint::SerialNumberGenerator::WaitNote(kFirstSerial), second}));
    EXPECT_EQ(reporter.errors, Lines{"2 devices already serialised, re-plug to continue"});
    EXPECT_EQ(Dump(0), ExpectedImage(config, kFirstSerial));
    EXPECT_EQ(Dump(1), ExpectedImage(config, kSecondSerial));

    // The operator exchanges both converters; the next round starts at index 0 again.
    ASSERT_TRUE(mvbench::Unplug(0));
    ASSERT_TRUE(mvbench::Unplug(0));
    ASSERT_EQ(mvbench::Plug(), 0);
    clock.Advance(std::chrono::seconds(10));
    reporter.Clear();
    Program(true);
    EXPECT_EQ(reporter.errors, Lines{});
    ASSERT_EQ(reporter.log.size(), 1u);
    EXPECT_TRUE(reporter.log[0].ends_with(" (1/1)"));
}

TEST_F(ProgramOnBench, MultiProgramRoundWithOneConverter)
{
    ASSERT_TRUE(mvbench::Unplug(1));
    Program(true);
    Program(true);
    EXPECT_EQ(reporter.log, Lines{ProgrammingFlow::ProgramLogLine(kFirstSerial) + " (1/1)"});
    EXPECT_EQ(reporter.errors, Lines{"1 device already serialised, re-plug to continue"});
}

TEST_F(ProgramOnBench, MultiProgramPassesOverConverterWithTheVendorId)
{
    EepromBytes foreign = Erased();
    foreign[2] = 0x7E;  // vendor ID 3A7E from elsewhere
    foreign[3] = 0x3A;
    NoConverter(config);
    ASSERT_EQ(mvbench::PlugImage(foreign), 0);
    ASSERT_EQ(mvbench::Plug(), 1);
    Program(true);
    EXPECT_EQ(reporter.errors, Lines{});
    EXPECT_EQ(Dump(0), foreign);
    EXPECT_EQ(Dump(1), ExpectedImage(config, kFirstSerial));
}

// A fixed serial number is the operator's choice: every converter gets it, without a wait.
TEST_F(ProgramOnBench, FixedSerialNumberInProgramAndMultiProgramMode)
{
    config.fixedSerial = true;
    config.fixedSerialText = "FIX 0042";
    const std::string line = ProgrammingFlow::ProgramLogLine("FIX 0042");
    Program();
    Program();
    EXPECT_EQ(reporter.log, (Lines{line, line}));
    EXPECT_EQ(Dump(0), ExpectedImage(config, "FIX 0042"));

    ASSERT_TRUE(mvbench::Unplug(0));
    ASSERT_EQ(mvbench::Plug(), 1);
    reporter.Clear();
    Program(true);
    Program(true);
    EXPECT_EQ(reporter.log, (Lines{line + " (1/2)", line + " (1/2)"}));
    EXPECT_EQ(Dump(0), ExpectedImage(config, "FIX 0042"));
    EXPECT_EQ(Dump(1), ExpectedImage(config, "FIX 0042"));
    EXPECT_EQ(clock.Slept(), std::chrono::milliseconds(0));
}

// Program to File.
class ProgramToFile : public ProgramOnBench {
protected:
    testsupport::TempDir dir{"programtofile"};
    std::filesystem::path target = dir.Path() / "image.bin";

    void ToFile(const std::filesystem::path& path) { flow.ProgramToFile(config, path.string(), reporter); }
    std::vector<std::filesystem::path> Entries()
    {
        std::vector<std::filesystem::path> entries;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            entries.push_back(entry.path().filename());
        return entries;
    }
};

TEST_F(ProgramToFile, WritesExactlyWhatAPassWrites)
{
    config.rev4 = config.isoIn = true;
    config.selfPowered = true;
    // A pass on the converter and a file made in the same slot by another run of the program.
    Program();
    FakeClock sameTime{2002, 3, 15, 10, 20, 30};
    ProgrammingFlow otherRun{sameTime};
    testsupport::RecordingReporter fileReporter;
    otherRun.ProgramToFile(config, target.string(), fileReporter);

    const EepromBytes pass = Dump(0);
    EXPECT_EQ(FileBytes(target), std::vector<uint8_t>(pass.begin(), pass.end()));
    EXPECT_EQ(fileReporter.errors, Lines{});
    EXPECT_EQ(fileReporter.log, Lines{ProgrammingFlow::ProgramLogLine(kFirstSerial)});
    EXPECT_EQ(Entries(), std::vector<std::filesystem::path>{"image.bin"});
}

TEST_F(ProgramToFile, ReplacesALongerFileWithTheImage)
{
    std::ofstream(target, std::ios::binary) << std::string(300, 'x');
    ToFile(target);
    EXPECT_EQ(reporter.errors, Lines{});
    const std::vector<uint8_t> bytes = FileBytes(target);
    const EepromBytes expected = ExpectedImage(config, kFirstSerial);
    EXPECT_EQ(bytes, std::vector<uint8_t>(expected.begin(), expected.end()));
}

TEST_F(ProgramToFile, TwoFilesInOneSlotCarryDistinctSerialNumbers)
{
    ToFile(target);
    ToFile(dir.Path() / "second.bin");
    EXPECT_EQ(reporter.log, (Lines{ProgrammingFlow::ProgramLogLine(kFirstSerial),
                                   eemint::SerialNumberGenerator::WaitNote(kFirstSerial),
                                   ProgrammingFlow::ProgramLogLine(kSecondSerial)}));
}

TEST_F(ProgramToFile, FolderThatDoesNotExist)
{
    const std::filesystem::path missing = dir.Path() / "no such folder" / "image.bin";
    ToFile(missing);
    EXPECT_EQ(reporter.errors, Lines{"Failed to write to " + missing.string()});
    EXPECT_EQ(reporter.log, Lines{ProgrammingFlow::ProgramLogLine(kFirstSerial)});
    EXPECT_FALSE(std::filesystem::exists(missing.parent_path()));
}

TEST_F(ProgramToFile, StringsTooLongWriteNoFile)
{
    config.manufacturer = "ABCDEFGHIJKLMNOP";
    config.description = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    ToFile(target);
    EXPECT_EQ(reporter.errors, Lines{"Port Name Prefix is too long"});
    EXPECT_EQ(reporter.log, Lines{});
    EXPECT_TRUE(Entries().empty());
}

TEST_F(ProgramToFile, FailedWriteLeavesTheTargetAsItWas)
{
    std::ofstream(target, std::ios::binary) << "previous image";
    {
        // Files may grow to 64 bytes only, so the image cannot be written in full.
        testsupport::FileSizeLimit limit(64);
        if (!limit.Active())
            GTEST_SKIP() << "no file size limit on this system";
        ToFile(target);
    }

    EXPECT_EQ(reporter.errors, Lines{"Failed to write to " + target.string()});
    const std::vector<uint8_t> bytes = FileBytes(target);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "previous image");
    EXPECT_EQ(Entries(), std::vector<std::filesystem::path>{"image.bin"});  // no temporary left
}

TEST_F(ProgramToFile, TargetThatIsAFolderIsRefused)
{
    std::filesystem::create_directory(target);
    ToFile(target);
    EXPECT_EQ(reporter.errors, Lines{"Failed to write to " + target.string()});
    EXPECT_TRUE(std::filesystem::is_directory(target));
    EXPECT_EQ(Entries(), std::vector<std::filesystem::path>{"image.bin"});
}

}  // namespace
