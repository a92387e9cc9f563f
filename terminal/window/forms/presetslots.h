// The preset slot buttons: load one slot of the preset file into the drop-down lists of a
// port panel's HEX and ASCII lines, or of an exchange line (HEX only).
//
// Threads: user-interface thread only.
#pragma once

#include <QString>

class QComboBox;

namespace duoterm {

// The preset file, read (never written) in the working folder.
inline const QString kPresetsFile = QStringLiteral("duoterm.ini");

// Empties the target lists, reads the slot (1 to 3) from the file and fills them with its items
// decoded from Windows-1251, then selects each list's first item, which puts its text into the
// line; a line whose list stays empty keeps its text. Without an ASCII line only the HEX
// sections are read. A file that cannot be read throws its message ("File not found" when
// there is none), with the lists left empty and the lines' texts as they were.
void LoadPresetSlot(const QString& path, int slot, QComboBox* hexLine, QComboBox* asciiLine = nullptr);

}  // namespace duoterm
