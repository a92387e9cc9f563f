// Which ports the two port selectors list at start, and which two they select, from the
// system's list of serial port names.
#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace duoterm {

struct PortChoice {
    // Empty: the selectors keep their designed items and nothing is selected.
    QStringList items;
    // The texts to put into the port 1 and port 2 selectors; empty leaves a selector as it is.
    QString port1, port2;
};

// True for the names the port selector takes as a device: "COM1" to "COM25", exactly.
bool IsSelectablePortName(const QString& text);

// Lists the names the selectors accept ("COM1" to "COM25"), in the system's order, and
// selects the first for port 1 and the second for port 2. Other names are skipped. With fewer
// than two names in the system the designed lists stay; with a single usable name among
// several, only port 1 gets a port.
PortChoice ChoosePorts(const std::vector<std::string>& systemNames);

// The system's serial port names: the registry's serial port list on Windows, the COM-name
// table on Linux.
std::vector<std::string> SystemPortNames();

}  // namespace duoterm
