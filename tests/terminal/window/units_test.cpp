// The window's plain units: the selector table, port discovery and the saved-text file.
#include "portdiscovery.h"
#include "comm.h"
#include "portcontrol.h"
#include "portsettings.h"
#include "rxfind.h"
#include "savedtexts.h"
#include "codepage.h"
#include "filesizelimit.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QStringDecoder>


#include <csignal>
#include <cstring>
#include <filesystem>

using namespace duoterm;

namespace {

QString Path(const testsupport::TempDir& dir, const char* name)
{
    return QString::fromStdString((dir.Path() / name).string());
}

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Finding from the dialog: across ticks, next and previous wrapping round, hex and text, a
// bad hexadecimal text, a store cleared since the last match.
TEST(ReceiveFind, NextAndPreviousAcrossTicksWrapRoundAndStartAfreshOnANewText)
{
    traffic::RxLog log;
    for (const char* tick : {"xxAB", "Cxx", "ABCyy", "A", "BC"})
        log.AppendTick(reinterpret_cast<const uint8_t*>(tick), std::strlen(tick), 0);
    TRxFind find;
    using D = TRxFind::Direction;
    auto begin = [&](const QString& text, bool hex, D direction) {
        const auto result = find.Find(log, text, hex, direction);
        return result.match ? static_cast<int64_t>(result.match->begin) : -1;
    };
    EXPECT_EQ(begin("ABC", false, D::Next), 2);  // "AB" | "C": across a tick boundary
    EXPECT_EQ(begin("ABC", false, D::Next), 7);
    EXPECT_EQ(begin("ABC", false, D::Next), 12);  // "A" | "BC"
    EXPECT_EQ(begin("ABC", false, D::Next), 2);   // round again
    EXPECT_EQ(begin("ABC", false, D::Previous), 12);
    EXPECT_EQ(begin("ABC", false, D::Previous), 7);
    EXPECT_EQ(begin("41 42", true, D::Previous), 12);  // a new search starts from the end
    const auto bad = find.Find(log, "4", true, D::Next);
    EXPECT_FALSE(bad.match);
    EXPECT_EQ(bad.message, kFindBadHex);
    EXPECT_EQ(find.Find(log, "zz", false, D::Next).message, kFindNotFound);
    EXPECT_EQ(begin("yy", false, D::Next), 10);
    log.Clear();
    log.AppendTick(reinterpret_cast<const uint8_t*>("yy"), 2, 0);
    EXPECT_EQ(begin("yy", false, D::Next), 0);
}

TEST(LineErrorCounts, TheTooltipShowsTheCountsOrThatTheDeviceHasNone)
{
    EXPECT_EQ(LineErrorsText(false, std::nullopt), "");
    EXPECT_EQ(LineErrorsText(true, std::nullopt), "Ошибки линии: н/д (устройство не ведёт счёт)");
    EXPECT_EQ(LineErrorsText(true, TLineErrorCounts{1, 2, 3, 4}),
              "Ошибки линии с открытия: кадр 1, чётность 2, переполнение 3, BREAK 4");
}

TEST(SelectorTable, EveryItemShowsItsOwnValueAndBack)
{
    for (Setting setting : kAllSettings) {
        const QStringList items = SelectorItems(setting);
        for (int i = 0; i < items.size(); ++i) {
            const auto value = ValueOfItem(setting, i);
            ASSERT_TRUE(value) << items[i].toStdString();
            EXPECT_EQ(ItemOfValue(setting, *value), i) << items[i].toStdString();
        }
        EXPECT_FALSE(ValueOfItem(setting, -1));
        EXPECT_FALSE(ValueOfItem(setting, static_cast<int>(items.size())));
    }
    // The parity list is alphabetical, unlike the enumeration.
    EXPECT_EQ(ValueOfItem(Setting::Parity, 0), paEven);
    EXPECT_EQ(ValueOfItem(Setting::Parity, 2), paNone);
    EXPECT_EQ(ItemOfValue(Setting::Parity, paOdd), 3);
    EXPECT_EQ(SelectorItems(Setting::Speed).size(), 13);
    EXPECT_EQ(ItemOfValue(Setting::Speed, cbr115200), 12);
    EXPECT_EQ(ItemOfValue(Setting::Speed, cbr256000), -1);  // the port has rates no item shows
    EXPECT_EQ(ValueOfItem(Setting::StopBits, 1), sb15);
}

TEST(InputQueue, HoldsWhatArrivesBetweenTwoDisplayTicksAtEveryRate)
{
    for (int rate = cbr110; rate <= cbr256000; ++rate) {
        const auto baud = static_cast<TBaudRate>(rate);
        const int perTick = static_cast<int>(TCustomComm::BaudRateValue(baud) / 10 / 20);
        EXPECT_GE(InputQueueSize(baud), std::max(4096, 2 * perTick)) << rate;
    }
}

TEST(PortDiscovery, ListsTheSelectableNamesAndPicksTheFirstTwo)
{
    struct Case {
        std::vector<std::string> names;
        QStringList items;
        QString port1, port2;
    };
    const Case cases[] = {
        // Ports up to COM25 are listed: the selector accepts them and the port opens them.
        {{"COM1", "COM3", "COM12"}, {"COM1", "COM3", "COM12"}, "COM1", "COM3"},
        {{"COM4", "COM2"}, {"COM4", "COM2"}, "COM4", "COM2"},
        // One port in the system: the designed lists stay.
        {{"COM1"}, {}, "", ""},
        {{}, {}, "", ""},
        // Names the selector would not take are skipped instead of aborting the discovery.
        {{"COMX", "com5", "COM26", "COM0", "COM7", "LPT1", "COM9"}, {"COM7", "COM9"}, "COM7", "COM9"},
        // A single usable name among several: port 1 gets it, port 2 keeps its device.
        {{"COMA", "COM3"}, {"COM3"}, "COM3", ""},
        {{"COMA", "COMB"}, {}, "", ""},
    };
    for (const Case& c : cases) {
        const PortChoice choice = ChoosePorts(c.names);
        EXPECT_EQ(choice.items, c.items) << c.names.size();
        EXPECT_EQ(choice.port1, c.port1);
        EXPECT_EQ(choice.port2, c.port2);
    }
}

TEST(SavedTexts, RoundTripInWindows1251KeepsBlanksAndLineEnds)
{
    testsupport::TempDir dir;
    const QString path = Path(dir, "save.ini");
    const SavedTexts texts = {"  01 02 * ", "Привет, мир! ", "", "№ 5", " A ", "FF##"};
    ASSERT_EQ(WriteSavedTexts(path, texts), "");
    const QByteArray bytes = FileBytes(path);
    EXPECT_TRUE(bytes.contains(QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2", 6)));  // "Привет"
    EXPECT_EQ(bytes.count("\r\n"), 6);
    EXPECT_EQ(ParseSavedTexts(bytes), texts);
    const SavedTextsRead read = ReadSavedTexts(path);
    EXPECT_EQ(read.error, "");
    EXPECT_EQ(read.texts, texts);

    EXPECT_EQ(WriteSavedTexts(path, SavedTexts{}), "");
    EXPECT_EQ(FileBytes(path), QByteArray("\r\n\r\n\r\n\r\n\r\n\r\n"));
}

TEST(SavedTexts, ALineBreakInsideATextIsStoredAsASpaceAndEveryTextKeepsItsPlace)
{
    const SavedTexts texts = {"01 02\n03", "AT\r\nZ", "", "a\rb", "\n", "FF"};
    const QByteArray bytes = FormatSavedTexts(texts);
    EXPECT_EQ(bytes.count("\r\n"), 6);
    EXPECT_EQ(ParseSavedTexts(bytes), (SavedTexts{"01 02 03", "AT Z", "", "a b", " ", "FF"}));
}

TEST(SavedTexts, ShortLongAndForeignFiles)
{
    // Two lines restore the port 1 lines and empty the rest; lines past the sixth are
    // ignored; LF-only and CR-only line ends read alike.
    EXPECT_EQ(ParseSavedTexts("01 02\r\nhello\r\n"), (SavedTexts{"01 02", "hello", "", "", "", ""}));
    EXPECT_EQ(ParseSavedTexts("a\nb\rc\r\nd\n\ne\nf\ng\n"), (SavedTexts{"a", "b", "c", "d", "", "e"}));
    EXPECT_EQ(ParseSavedTexts("last line without end"), (SavedTexts{"last line without end"}));
    EXPECT_EQ(ParseSavedTexts(QByteArray("\0\xFF\r\n", 4)),
              (SavedTexts{From1251(QByteArray("\0\xFF", 2))}));
}

TEST(SavedTexts, MissingFileIsNoErrorAndUnreadableOrUnwritableOnesAre)
{
    testsupport::TempDir dir;
    const SavedTextsRead missing = ReadSavedTexts(Path(dir, "save.ini"));
    EXPECT_EQ(missing.error, "");
    EXPECT_EQ(missing.texts, SavedTexts{});

    // A folder where the file should be can be neither read nor replaced.
    std::filesystem::create_directory(dir.Path() / "save.ini");
    EXPECT_NE(ReadSavedTexts(Path(dir, "save.ini")).error, "");
    EXPECT_NE(WriteSavedTexts(Path(dir, "save.ini"), SavedTexts{"x"}), "");
}

TEST(SavedTexts, AFailedWriteLeavesThePreviousFileWhole)
{
    testsupport::TempDir dir;
    const QString path = Path(dir, "save.ini");
    ASSERT_EQ(WriteSavedTexts(path, SavedTexts{"old"}), "");
    // The disk runs full half-way through the new file.
    QString error;
    {
        testsupport::FileSizeLimit limit(4096);
        if (!limit.Active())
            GTEST_SKIP() << "no file size limit on this system";
        error = WriteSavedTexts(path, SavedTexts{QString(100000, QChar('A'))});
    }
    EXPECT_NE(error, "");
    EXPECT_EQ(FileBytes(path), QByteArray("old\r\n\r\n\r\n\r\n\r\n\r\n"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

}  // namespace
