// Stored configurations: naming, what a save writes, what a restore makes of complete,
// partial and odd subkeys, and the listing. The store cases run against the settings backend
// of the build (the file natively, the registry in the Win32 build under Wine), each test on
// a store of its own that is removed afterwards; the checks of the file's text run where the
// file backend is.
#include "configurationstore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>

namespace {

using eemint::ConfigurationStore;
using eemint::ProductConfiguration;

enum class Backend { File, Registry };

// The backend behind platform::OpenSettingsStore in this build.
#ifdef _WIN32
constexpr Backend kBuiltBackend = Backend::Registry;
#else
constexpr Backend kBuiltBackend = Backend::File;
#endif

const char* BackendText(Backend backend) { return backend == Backend::File ? "File" : "Registry"; }
std::string BackendName(const testing::TestParamInfo<Backend>& info) { return BackendText(info.param); }
// Names the backend in test listings (and so in CTest's test names) instead of its bytes.
void PrintTo(Backend backend, std::ostream* out) { *out << BackendText(backend); }

ProductConfiguration Identity(const std::string& manufacturer, const std::string& description,
                              const std::string& vendorId = "3A7E", const std::string& productId = "5C01")
{
    ProductConfiguration c;
    c.manufacturer = manufacturer;
    c.manufacturerId = "MV";
    c.vendorId = vendorId;
    c.productId = productId;
    c.description = description;
    return c;
}

// Every field differs from both the defaults of a missing value and ProductConfiguration's own.
ProductConfiguration Unusual()
{
    ProductConfiguration c = Identity("M\xFCller & S\xF6hne ", "Kabel \xE9t\xE9 [A=B] 100%   ", "1234", "ABCD");
    c.manufacturerId = "Q ";
    c.rev4 = true;
    c.isoIn = true;
    c.isoOut = true;
    c.intPdEn = true;
    c.intSerNo = false;
    c.intUsbVer = true;
    c.usbVersion = "0200";
    c.plugAndPlay = true;
    c.selfPowered = true;
    c.remoteWakeup = true;
    c.maxPower = 250;
    c.fixedSerial = true;
    c.fixedSerialText = "AB12CD34";
    return c;
}

void ExpectSame(const ProductConfiguration& a, const ProductConfiguration& b)
{
    EXPECT_EQ(a.manufacturer, b.manufacturer);
    EXPECT_EQ(a.manufacturerId, b.manufacturerId);
    EXPECT_EQ(a.vendorId, b.vendorId);
    EXPECT_EQ(a.productId, b.productId);
    EXPECT_EQ(a.description, b.description);
    EXPECT_EQ(a.rev4, b.rev4);
    EXPECT_EQ(a.isoIn, b.isoIn);
    EXPECT_EQ(a.isoOut, b.isoOut);
    EXPECT_EQ(a.intPdEn, b.intPdEn);
    EXPECT_EQ(a.intSerNo, b.intSerNo);
    EXPECT_EQ(a.intUsbVer, b.intUsbVer);
    EXPECT_EQ(a.usbVersion, b.usbVersion);
    EXPECT_EQ(a.plugAndPlay, b.plugAndPlay);
    EXPECT_EQ(a.selfPowered, b.selfPowered);
    EXPECT_EQ(a.remoteWakeup, b.remoteWakeup);
    EXPECT_EQ(a.maxPower, b.maxPower);
    EXPECT_EQ(a.fixedSerial, b.fixedSerial);
    EXPECT_EQ(a.fixedSerialText, b.fixedSerialText);
}

class ConfigurationStoreTest : public testing::TestWithParam<Backend> {
protected:
    void SetUp() override { location_ = NewLocation(); }
    void TearDown() override
    {
        for (const auto& location : locations_)
            EXPECT_TRUE(platform::DeleteSettingsStore(location)) << location.registryKey;
        std::error_code ignored;
        for (const auto& folder : folders_)
            std::filesystem::remove_all(folder, ignored);
    }

    // A store of its own: a file in a fresh temporary folder, and a key of its own under
    // HKEY_CURRENT_USER. Both fields are set whichever backend runs, so no test can reach the
    // user's real store; both are removed after the test.
    platform::SettingsLocation NewLocation()
    {
        static std::atomic<int> counter{0};
        const auto unique = std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
                            std::to_string(counter++);
        const auto folder = std::filesystem::temp_directory_path() / ("configurationstore-" + unique);
        std::filesystem::create_directories(folder);
        folders_.push_back(folder);
        platform::SettingsLocation location;
        location.registryKey = "Software\\SerialToolsTest-" + unique;
        location.file = (folder / "romtool.conf").string();
        locations_.push_back(location);
        return location;
    }

    // Each call is a fresh object over the same store, as each command of the window is.
    ConfigurationStore Configs() { return ConfigurationStore(platform::OpenSettingsStore(location_)); }
    std::unique_ptr<platform::SettingsStore> Raw() { return platform::OpenSettingsStore(location_); }

    platform::SettingsLocation location_;

private:
    std::vector<platform::SettingsLocation> locations_;
    std::vector<std::filesystem::path> folders_;
};

INSTANTIATE_TEST_SUITE_P(Backend, ConfigurationStoreTest, testing::Values(kBuiltBackend), BackendName);

// Checks of the store file itself, where this build's store is the file.
class ConfigurationFileTest : public ConfigurationStoreTest {
protected:
    std::string FileText()
    {
        std::ifstream in(location_.file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

INSTANTIATE_TEST_SUITE_P(Backend, ConfigurationFileTest,
                         testing::ValuesIn(kBuiltBackend == Backend::File ? std::vector<Backend>{Backend::File}
                                                                          : std::vector<Backend>{}),
                         BackendName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ConfigurationFileTest);

TEST(ConfigurationName, FollowsTheNameRule)
{
    struct Case { std::string manufacturer, description, expected; };
    const Case cases[] = {
        {"MAVIX           ", "USB SERIAL CABLE    ", "MAVIX USB SERIAL CABLE (VID=3A7E PID=5C01)"},
        {"MAVIX", "MAVIX CABLE", "MAVIX CABLE (VID=3A7E PID=5C01)"},
        {"MAVIX", "mavix cable", "mavix cable (VID=3A7E PID=5C01)"},  // prefix test ignores letter case
        {"\xC9" "COLE", "\xE9" "cole pilote", "\xE9" "cole pilote (VID=3A7E PID=5C01)"},  // Latin-1 letters too
        {"MAVIX", "MAVIXCABLE", "MAVIXCABLE (VID=3A7E PID=5C01)"},
        {"MAVIX", "MAV", "MAVIX MAV (VID=3A7E PID=5C01)"},  // description shorter than the manufacturer
        {"", "CABLE", "CABLE (VID=3A7E PID=5C01)"},
        {"A\\B", "C\\D", "A/B C/D (VID=3A7E PID=5C01)"},  // a backslash would split the key
    };
    for (const auto& c : cases)
        EXPECT_EQ(ConfigurationStore::ConfigurationName(Identity(c.manufacturer, c.description)), c.expected)
            << c.manufacturer << " / " << c.description;
}

TEST(ConfigurationStore, MaxPowerTextReadsAsTheDialogWould)
{
    struct Case { std::string text; int milliamps; };
    const Case cases[] = {{"44", 44},   {"500", 500}, {"999", 500}, {"", 0},   {"  50", 50},
                          {"12ab", 12}, {"+7", 7},    {"-5", -5},   {"x9", 0}, {"99999999999999", 500}};
    for (const auto& c : cases)
        EXPECT_EQ(eemint::MaxPowerFromText(c.text), c.milliamps) << '"' << c.text << '"';
}

TEST_P(ConfigurationStoreTest, EveryValueRoundTrips)
{
    const ProductConfiguration saved = Unusual();
    const std::string name = Configs().Save(saved);
    ASSERT_EQ(name, "M\xFCller & S\xF6hne Kabel \xE9t\xE9 [A=B] 100% (VID=1234 PID=ABCD)");
    EXPECT_EQ(Configs().Current(), name);
    // Latin-1 is held as UTF-8 in the store's texts, subkey names included.
    EXPECT_EQ(Raw()->ReadString("M\xC3\xBCller & S\xC3\xB6hne Kabel \xC3\xA9t\xC3\xA9 [A=B] 100% (VID=1234 PID=ABCD)",
                                "Manufacturer"),
              "M\xC3\xBCller & S\xC3\xB6hne");

    ProductConfiguration restored;  // the other way round wherever it can be
    restored.plugAndPlay = false;
    restored.selfPowered = false;
    ASSERT_TRUE(Configs().Restore(name, restored));
    ProductConfiguration expected = saved;
    expected.manufacturer = "M\xFCller & S\xF6hne";  // trailing blanks are not stored
    expected.description = "Kabel \xE9t\xE9 [A=B] 100%";
    ExpectSame(restored, expected);

    // The opposite booleans round-trip too, and an empty name restores the current one.
    ProductConfiguration flipped = Identity("MAVIX", "CABLE");
    flipped.rev4 = false;
    flipped.intSerNo = true;
    flipped.plugAndPlay = false;
    flipped.remoteWakeup = false;
    flipped.maxPower = 0;
    ASSERT_FALSE(Configs().Save(flipped).empty());
    ASSERT_TRUE(Configs().Restore("", restored));
    ExpectSame(restored, flipped);
}

TEST_P(ConfigurationStoreTest, SaveWritesEveryValueAsText)
{
    const std::string name = Configs().Save(Unusual());
    const std::pair<const char*, const char*> values[] = {
        {"Manufacturer", "M\xC3\xBCller & S\xC3\xB6hne"},
        {"Code", "Q "},
        {"ID", "VID_1234&PID_ABCD"},
        {"Description", "Kabel \xC3\xA9t\xC3\xA9 [A=B] 100%"},
        {"PnP", "1"},
        {"SelfPowered", "1"},
        {"RemoteWakeup", "1"},
        {"MaxPower", "250"},
        {"SerialNumber", "AB12CD34"},
        {"Rev4", "1"},
        {"IsoIn", "1"},
        {"IsoOut", "1"},
        {"IntPDEN", "1"},
        {"IntSerNo", "0"},
        {"IntUSBVer", "1"},
        {"USBVer", "0200"},
    };
    auto raw = Raw();
    const std::string key = "M\xC3\xBCller & S\xC3\xB6hne Kabel \xC3\xA9t\xC3\xA9 [A=B] 100% (VID=1234 PID=ABCD)";
    for (const auto& [value, text] : values)
        EXPECT_EQ(raw->ReadString(key, value), text) << value;
    EXPECT_EQ(raw->ReadString("Setup", "Current"), key);
    EXPECT_EQ(raw->SubkeyNames(""), (std::vector<std::string>{key, "Setup"}));
}

TEST_P(ConfigurationFileTest, SaveWritesTheValuesInOrder)
{
    Configs().Save(Unusual());
    const std::string text = FileText();
    EXPECT_NE(text.find("M\xC3\xBCller"), std::string::npos);  // Latin-1 held as UTF-8
    size_t last = 0;
    for (const char* value : {"Manufacturer=", "Code=", "ID=", "Description=", "PnP=", "SelfPowered=", "RemoteWakeup=",
                              "MaxPower=", "SerialNumber=", "Rev4=", "IsoIn=", "IsoOut=", "IntPDEN=", "IntSerNo=",
                              "IntUSBVer=", "USBVer="}) {
        const size_t at = text.find(std::string("\n") + value);
        ASSERT_NE(at, std::string::npos) << value;
        EXPECT_GT(at, last) << value;
        last = at;
    }
    EXPECT_NE(text.find("\nID=VID_1234&PID_ABCD\n"), std::string::npos);
    EXPECT_NE(text.find("\nMaxPower=250\n"), std::string::npos);
}

TEST_P(ConfigurationStoreTest, MissingValuesTakeTheirDefaults)
{
    ASSERT_TRUE(Raw()->WriteString("Hand made", "Manufacturer", "ACME"));
    ProductConfiguration c = Unusual();
    ASSERT_TRUE(Configs().Restore("Hand made", c));
    EXPECT_EQ(c.manufacturer, "ACME");
    EXPECT_EQ(c.manufacturerId, "XX");
    EXPECT_EQ(c.vendorId, "FFFF");
    EXPECT_EQ(c.productId, "FFFF");
    EXPECT_EQ(c.description, "");
    EXPECT_FALSE(c.plugAndPlay);
    EXPECT_FALSE(c.selfPowered);
    EXPECT_FALSE(c.remoteWakeup);
    EXPECT_EQ(c.maxPower, 44);
    EXPECT_FALSE(c.fixedSerial);
    EXPECT_EQ(c.fixedSerialText, "");
    EXPECT_FALSE(c.rev4);
    EXPECT_FALSE(c.isoIn);
    EXPECT_FALSE(c.isoOut);
    EXPECT_FALSE(c.intPdEn);
    EXPECT_TRUE(c.intSerNo);
    EXPECT_FALSE(c.intUsbVer);
    EXPECT_EQ(c.usbVersion, "0110");
}

TEST_P(ConfigurationStoreTest, BooleansComeFromIntegers)
{
    struct Case { std::string stored; bool pnp, intSerNo; };  // defaults: false, true
    const Case cases[] = {
        {"1", true, true},   {"0", false, false}, {"-1", true, true},    {"7", true, true},
        {" 0 ", false, false}, {"+0", false, false}, {"yes", false, true}, {"", false, true},
        {"1x", false, true}, {"0.5", false, true}, {"-", false, true},    {"99999999999", false, true},
    };
    auto raw = Raw();
    raw->WriteString("K", "Manufacturer", "ACME");
    for (const auto& c : cases) {
        raw->WriteString("K", "PnP", c.stored);
        raw->WriteString("K", "IntSerNo", c.stored);
        ProductConfiguration restored;
        ASSERT_TRUE(Configs().Restore("K", restored));
        EXPECT_EQ(restored.plugAndPlay, c.pnp) << '"' << c.stored << '"';
        EXPECT_EQ(restored.intSerNo, c.intSerNo) << '"' << c.stored << '"';
    }
}

TEST_P(ConfigurationStoreTest, IdSplitsAtFixedPositions)
{
    struct Case { std::string id, vendor, product; };
    const Case cases[] = {
        {"VID_1234&PID_ABCD", "1234", "ABCD"}, {"VID_12", "12", ""}, {"", "", ""}, {"VID_1234&PID_ABCDEF", "1234", "ABCD"},
    };
    auto raw = Raw();
    raw->WriteString("K", "Manufacturer", "ACME");
    for (const auto& c : cases) {
        raw->WriteString("K", "ID", c.id);
        ProductConfiguration restored;
        ASSERT_TRUE(Configs().Restore("K", restored));
        EXPECT_EQ(restored.vendorId, c.vendor) << c.id;
        EXPECT_EQ(restored.productId, c.product) << c.id;
    }
}

TEST_P(ConfigurationStoreTest, RestoreFailsWithoutManufacturerAndChangesNothing)
{
    auto raw = Raw();
    raw->WriteString("No manufacturer", "Code", "AB");
    raw->WriteString("Empty manufacturer", "Manufacturer", "");
    raw->WriteString("Empty manufacturer", "Code", "AB");
    const ProductConfiguration before = Unusual();
    for (const char* name : {"No manufacturer", "Empty manufacturer", "Not stored", ""}) {
        ProductConfiguration c = before;
        EXPECT_FALSE(Configs().Restore(name, c)) << name;  // "" with no current pointer
        ExpectSame(c, before);
    }
    raw->WriteString("Setup", "Current", "Not stored");  // a stale pointer
    ProductConfiguration c = before;
    EXPECT_FALSE(Configs().Restore("", c));
    ExpectSame(c, before);
}

TEST_P(ConfigurationStoreTest, TextsLongerThanTheirFieldsAreCut)
{
    auto raw = Raw();
    raw->WriteString("K", "Manufacturer", "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    raw->WriteString("K", "Code", "ABC");
    raw->WriteString("K", "Description", std::string(60, 'd'));
    raw->WriteString("K", "SerialNumber", "123456789");
    raw->WriteString("K", "USBVer", "01100");
    ProductConfiguration c;
    ASSERT_TRUE(Configs().Restore("K", c));
    EXPECT_EQ(c.manufacturer, "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(c.manufacturerId, "AB");
    EXPECT_EQ(c.description, std::string(40, 'd'));
    EXPECT_EQ(c.fixedSerialText, "12345678");
    EXPECT_EQ(c.usbVersion, "0110");
}

TEST_P(ConfigurationStoreTest, ListingLeavesOutSetupButNotOtherSpellings)
{
    Configs().Save(Identity("MAVIX", "B CABLE"));
    Configs().Save(Identity("MAVIX", "a cable"));
    EXPECT_EQ(Configs().Names(), (std::vector<std::string>{"MAVIX a cable (VID=3A7E PID=5C01)",
                                                            "MAVIX B CABLE (VID=3A7E PID=5C01)"}));

    // Keys are named without regard to case, so "setup" can only exist where "Setup" does not.
    const platform::SettingsLocation elsewhere = NewLocation();
    platform::OpenSettingsStore(elsewhere)->CreateKey("setup");
    platform::OpenSettingsStore(elsewhere)->CreateKey("Zeta");
    EXPECT_EQ(ConfigurationStore(platform::OpenSettingsStore(elsewhere)).Names(),
              (std::vector<std::string>{"setup", "Zeta"}));
}

TEST_P(ConfigurationStoreTest, SavingTheSameProductReusesItsSubkey)
{
    ProductConfiguration c = Identity("MAVIX", "CABLE");
    Configs().Save(c);
    c.maxPower = 100;
    Configs().Save(c);
    EXPECT_EQ(Configs().Names().size(), 1u);
    c.description = "OTHER CABLE";
    Configs().Save(c);
    EXPECT_EQ(Configs().Names().size(), 2u);
    EXPECT_EQ(Configs().Current(), "MAVIX OTHER CABLE (VID=3A7E PID=5C01)");
}

TEST_P(ConfigurationStoreTest, SavingWithoutFixedSerialRemovesTheOldOne)
{
    ProductConfiguration c = Identity("MAVIX", "CABLE");
    c.fixedSerial = true;
    c.fixedSerialText = "AB12CD34";
    const std::string name = Configs().Save(c);
    c.fixedSerial = false;  // the text stays in the dialog, but the option is off
    ASSERT_EQ(Configs().Save(c), name);
    EXPECT_EQ(Raw()->ReadString(name, "SerialNumber"), std::nullopt);
    ProductConfiguration restored;
    restored.fixedSerial = true;
    ASSERT_TRUE(Configs().Restore(name, restored));
    EXPECT_FALSE(restored.fixedSerial);
}

TEST_P(ConfigurationStoreTest, FixedSerialOfBlanksRestoresSwitchedOff)
{
    auto raw = Raw();
    raw->WriteString("K", "Manufacturer", "ACME");
    raw->WriteString("K", "SerialNumber", "        ");
    ProductConfiguration c;
    ASSERT_TRUE(Configs().Restore("K", c));
    EXPECT_FALSE(c.fixedSerial);
    EXPECT_EQ(c.fixedSerialText, "        ");
}

TEST_P(ConfigurationStoreTest, NameWithBackslashStaysOneSubkey)
{
    const std::string name = Configs().Save(Identity("A\\B", "CABLE"));
    EXPECT_EQ(name, "A/B CABLE (VID=3A7E PID=5C01)");
    EXPECT_EQ(Configs().Names(), std::vector<std::string>{name});
    ProductConfiguration c;
    ASSERT_TRUE(Configs().Restore(name, c));
    EXPECT_EQ(c.manufacturer, "A\\B");  // the manufacturer itself is kept as typed
}

// A name the store refuses as a key (longer than a key name may be) saves nothing and keeps
// the current pointer where it was.
TEST_P(ConfigurationStoreTest, RefusedNameSavesNothing)
{
    const std::string kept = Configs().Save(Identity("MAVIX", "CABLE"));
    ConfigurationStore configs = Configs();
    EXPECT_EQ(configs.Save(Identity("MAVIX", std::string(300, 'D'))), "");
    EXPECT_FALSE(configs.LastError().empty());
    EXPECT_EQ(Configs().Current(), kept);
    EXPECT_EQ(Configs().Names(), std::vector<std::string>{kept});
}

TEST_P(ConfigurationFileTest, FailedSaveReturnsNoName)
{
    std::filesystem::create_directory(location_.file);  // the store cannot be written
    ConfigurationStore configs = Configs();
    EXPECT_EQ(configs.Save(Identity("MAVIX", "CABLE")), "");
    EXPECT_FALSE(configs.LastError().empty());
    EXPECT_FALSE(configs.SetCurrent("x"));
    std::filesystem::remove(location_.file);  // so the store itself can be removed afterwards
}

}  // namespace
