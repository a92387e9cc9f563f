#include "presetslots.h"

#include "porttraffic.h"
#include "presets.h"

#include <QComboBox>
#include <QStringList>

#include <filesystem>
#include <stdexcept>

namespace duoterm {

namespace {

// Replaces the line's list by the items; the first item becomes the text, or the text stays
// when there are none.
void Fill(QComboBox* line, const std::vector<std::string>& items)
{
    const QString text = line->currentText();
    QStringList decoded;
    decoded.reserve(static_cast<qsizetype>(items.size()));
    for (const std::string& item : items)
        decoded << From1251(item);
    line->clear();
    line->addItems(decoded);
    if (decoded.isEmpty())
        line->setEditText(text);
    else
        line->setCurrentIndex(0);
}

}  // namespace

void LoadPresetSlot(const QString& path, int slot, QComboBox* hexLine, QComboBox* asciiLine)
{
    const PresetFileResult read = ReadPresetFile(std::filesystem::path(path.toStdU16String()), slot, asciiLine != nullptr);
    Fill(hexLine, read.lists.hex);
    if (asciiLine)
        Fill(asciiLine, read.lists.ascii);
    if (read.error)
        throw std::runtime_error(*read.error);
}

}  // namespace duoterm
