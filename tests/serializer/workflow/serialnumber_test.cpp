// Serial numbers: the packed time fields, base-36 digits, and the guard against issuing the
// same number twice in one run.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "fakeclock.h"
#include "serialnumber.h"

using eemint::SerialNumberGenerator;
using testsupport::FakeClock;

namespace {

struct SerialCase {
    const char* what;
    const char* manufacturerId;
    unsigned productBits;
    int year, month, day, hour, minute, second;  // month 1-12
    uint64_t value;
    const char* serial;
};

std::tm LocalTime(const SerialCase& c)
{
    return FakeClock(c.year, c.month, c.day, c.hour, c.minute, c.second).LocalNow();
}

void PrintTo(const SerialCase& c, std::ostream* out) { *out << c.what; }

class SerialNumberTable : public testing::TestWithParam<SerialCase> {};

TEST_P(SerialNumberTable, PacksTheClockAndFormatsEightCharacters)
{
    const SerialCase& c = GetParam();
    EXPECT_EQ(SerialNumberGenerator::PackTime(c.productBits, LocalTime(c)), c.value);
    EXPECT_EQ(SerialNumberGenerator::Format(c.manufacturerId, c.productBits, LocalTime(c)), c.serial);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SerialNumberTable,
    testing::Values(
        SerialCase{"worked example", "MV", 1, 2002, 3, 15, 10, 20, 30, 640635535, "MVALF1JJ"},
        SerialCase{"short value padded", "MV", 0, 1999, 1, 1, 0, 0, 0, 65536, "MV001EKG"},
        SerialCase{"product 5C03", "MV", 3, 2002, 3, 15, 10, 20, 30, 1714377359, "MVSCP21B"},
        SerialCase{"product 5C04", "MV", 0, 2002, 3, 15, 10, 20, 30, 103764623, "MV1PS1AN"},
        // Day 16 sets the bit the month field's lowest bit shares: ORed, not added.
        SerialCase{"day spills into month", "MV", 0, 2002, 2, 16, 0, 0, 0, 101711872, "MV1OK1DS"},
        // From 2015 the year's top bit lands on P's lowest bit.
        SerialCase{"year spills into P", "MV", 1, 2015, 1, 1, 0, 0, 0, 536936448, "MV8VOETC"},
        SerialCase{"odd second same slot", "MV", 1, 2002, 3, 15, 10, 20, 31, 640635535, "MVALF1JJ"},
        SerialCase{"blank kept in the ID", " V", 1, 2002, 3, 15, 10, 20, 30, 640635535, " VALF1JJ"},
        SerialCase{"short ID padded", "M", 1, 2002, 3, 15, 10, 20, 30, 640635535, "M ALF1JJ"}),
    [](const testing::TestParamInfo<SerialCase>& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (!isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

TEST(SerialNumberDigits, PadsAndCutsToSix)
{
    EXPECT_EQ(SerialNumberGenerator::SixDigits(0), "000000");
    EXPECT_EQ(SerialNumberGenerator::SixDigits(35), "00000Z");
    EXPECT_EQ(SerialNumberGenerator::SixDigits(2176782335ull), "ZZZZZZ");  // 36^6 - 1
    EXPECT_EQ(SerialNumberGenerator::SixDigits(2176782336ull), "100000");  // first six of seven
}

// The guard: numbers issued in this run never repeat.
class SerialNumberGuard : public testing::Test {
protected:
    FakeClock clock{2002, 3, 15, 10, 20, 30};
    SerialNumberGenerator generator{clock};
    std::vector<std::string> notes;

    std::string Issue(const std::string& id = "MV", unsigned p = 1)
    {
        auto serial = generator.Issue(id, p, [this](const std::string& note) { notes.push_back(note); });
        return serial.value_or("<none>");
    }
};

TEST_F(SerialNumberGuard, RepeatWithinTheSlotWaitsForTheNextOne)
{
    EXPECT_EQ(Issue(), "MVALF1JJ");
    clock.Advance(std::chrono::milliseconds(1500));  // still 10:20:31
    EXPECT_EQ(Issue(), "MVALF1JK");
    EXPECT_EQ(notes, std::vector<std::string>{SerialNumberGenerator::WaitNote("MVALF1JJ")});
    // The wait ends at the slot's end: 10:20:32, half a second later, not a whole slot.
    EXPECT_GE(clock.Slept(), std::chrono::milliseconds(500));
    EXPECT_LT(clock.Slept(), std::chrono::milliseconds(600));
}

TEST_F(SerialNumberGuard, NewSlotOrOtherIdentityIssuesAtOnce)
{
    EXPECT_EQ(Issue("MV", 1), "MVALF1JJ");
    EXPECT_EQ(Issue("AB", 1), "ABALF1JJ");  // another manufacturer ID is another number
    EXPECT_EQ(Issue("MV", 3), "MVSCP21B");
    clock.Advance(std::chrono::seconds(2));
    EXPECT_EQ(Issue("MV", 1), "MVALF1JK");
    EXPECT_TRUE(notes.empty());
    EXPECT_EQ(clock.Slept(), std::chrono::milliseconds(0));
}

TEST_F(SerialNumberGuard, EarlierNumberOfTheSlotAlsoWaits)
{
    EXPECT_EQ(Issue("MV"), "MVALF1JJ");
    EXPECT_EQ(Issue("AB"), "ABALF1JJ");
    EXPECT_EQ(Issue("MV"), "MVALF1JK");
    EXPECT_EQ(notes.size(), 1u);
}

TEST_F(SerialNumberGuard, PeekIssuesNothing)
{
    EXPECT_EQ(generator.Peek("MV", 1), "MVALF1JJ");
    EXPECT_EQ(Issue(), "MVALF1JJ");
    EXPECT_TRUE(notes.empty());
}

TEST_F(SerialNumberGuard, ClockSetBackSkipsNumbersIssuedBefore)
{
    // Issued at 02:20:30 and 02:20:34; then summer time ends and 02:20:30 comes round again.
    clock.Set(2002, 10, 27, 2, 20, 30);
    const std::string first = Issue();
    clock.Set(2002, 10, 27, 2, 20, 34);
    const std::string second = Issue();
    clock.Set(2002, 10, 27, 2, 20, 30);
    const std::string third = Issue();
    EXPECT_NE(third, "<none>");
    EXPECT_NE(third, first);
    EXPECT_NE(third, second);
    EXPECT_EQ(notes, std::vector<std::string>{SerialNumberGenerator::WaitNote(first)});
    EXPECT_GE(clock.Slept(), std::chrono::seconds(2));  // the 02:20:32 slot, not an issued one

    // Set back onto a number issued before and stopped there: nothing fresh, nothing issued.
    clock.Set(2002, 10, 27, 2, 20, 34);
    clock.Freeze();
    EXPECT_EQ(Issue(), "<none>");
}

TEST_F(SerialNumberGuard, ClockThatDoesNotMoveGivesNoNumber)
{
    EXPECT_EQ(Issue(), "MVALF1JJ");
    clock.Freeze();
    EXPECT_EQ(Issue(), "<none>");
    EXPECT_LE(clock.Slept(), std::chrono::seconds(3));
}

}  // namespace
