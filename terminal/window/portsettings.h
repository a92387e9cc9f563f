// The port panel's four setting selectors and the port values their items stand for. The
// selectors list their items in the order the user reads them, which is not the order of the
// enumerations (the parity list is alphabetical), so every conversion goes through this table.
#pragma once

#include "commtypes.h"

#include <QStringList>

#include <optional>

class TCustomComm;

namespace duoterm {

enum class Setting { Speed, Bits, Parity, StopBits };
constexpr Setting kAllSettings[] = {Setting::Speed, Setting::Bits, Setting::Parity,
                                    Setting::StopBits};

// The items of a selector, as the window lists them.
QStringList SelectorItems(Setting setting);

// The item that shows a port's value (-1 when no item shows it).
int ItemOfValue(Setting setting, int ordinal);
// The value an item stands for; nothing for an index outside the list.
std::optional<int> ValueOfItem(Setting setting, int index);

// Reads and writes one setting of a port by its enumeration ordinal.
int SettingOf(const TCustomComm& port, Setting setting);
void SetSetting(TCustomComm& port, Setting setting, int ordinal);

// The input queue a port asks for at a rate: at least the component's default, and room for
// what arrives between two 50 ms display ticks several times over.
int InputQueueSize(TBaudRate rate);

}  // namespace duoterm
