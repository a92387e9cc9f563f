#include "portsettings.h"

#include "comm.h"

#include <algorithm>
#include <span>

namespace duoterm {

namespace {

struct Item {
    const char* text;
    int ordinal;
};

constexpr Item kSpeedItems[] = {
    {"110", cbr110},     {"300", cbr300},     {"600", cbr600},       {"1200", cbr1200},
    {"2400", cbr2400},   {"4800", cbr4800},   {"9600", cbr9600},     {"14400", cbr14400},
    {"19200", cbr19200}, {"38400", cbr38400}, {"56000", cbr56000},   {"57600", cbr57600},
    {"115200", cbr115200}};
constexpr Item kBitItems[] = {{"4", da4}, {"5", da5}, {"6", da6}, {"7", da7}, {"8", da8}};
constexpr Item kParityItems[] = {
    {"Even", paEven}, {"Mark", paMark}, {"None", paNone}, {"Odd", paOdd}, {"Space", paSpace}};
constexpr Item kStopItems[] = {{"1", sb10}, {"1.5", sb15}, {"2", sb20}};

std::span<const Item> ItemsOf(Setting setting)
{
    switch (setting) {
    case Setting::Speed: return kSpeedItems;
    case Setting::Bits: return kBitItems;
    case Setting::Parity: return kParityItems;
    case Setting::StopBits: return kStopItems;
    }
    return {};
}

}  // namespace

QStringList SelectorItems(Setting setting)
{
    QStringList items;
    for (const Item& item : ItemsOf(setting))
        items << QString::fromLatin1(item.text);
    return items;
}

int ItemOfValue(Setting setting, int ordinal)
{
    const auto items = ItemsOf(setting);
    const auto found = std::find_if(items.begin(), items.end(),
                                    [&](const Item& item) { return item.ordinal == ordinal; });
    return found == items.end() ? -1 : static_cast<int>(found - items.begin());
}

std::optional<int> ValueOfItem(Setting setting, int index)
{
    const auto items = ItemsOf(setting);
    if (index < 0 || index >= static_cast<int>(items.size()))
        return std::nullopt;
    return items[static_cast<size_t>(index)].ordinal;
}

int SettingOf(const TCustomComm& port, Setting setting)
{
    switch (setting) {
    case Setting::Speed: return port.BaudRate();
    case Setting::Bits: return port.Databits();
    case Setting::Parity: return port.Parity();
    case Setting::StopBits: return port.Stopbits();
    }
    return 0;
}

void SetSetting(TCustomComm& port, Setting setting, int ordinal)
{
    switch (setting) {
    case Setting::Speed: port.SetBaudRate(static_cast<TBaudRate>(ordinal)); break;
    case Setting::Bits: port.SetDatabits(static_cast<TDatabits>(ordinal)); break;
    case Setting::Parity: port.SetParity(static_cast<TParity>(ordinal)); break;
    case Setting::StopBits: port.SetStopbits(static_cast<TStopbits>(ordinal)); break;
    }
}

int InputQueueSize(TBaudRate rate)
{
    constexpr uint64_t kTickMs = 50;
    constexpr uint64_t kDefault = 4096;
    // Ten bits a byte on the line; four ticks' worth leaves room for a slow tick.
    const uint64_t perTick = TCustomComm::BaudRateValue(rate) / 10 * kTickMs / 1000;
    return static_cast<int>(std::max(kDefault, perTick * 4));
}

}  // namespace duoterm
