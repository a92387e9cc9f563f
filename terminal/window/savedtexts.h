// The six entry texts kept from one run to the next in "save.ini": the HEX and ASCII send
// lines of both ports and the two exchange messages, one Windows-1251 line each, ended by
// CR LF, in that order.
#pragma once

#include <QByteArray>
#include <QString>

#include <array>

namespace duoterm {

using SavedTexts = std::array<QString, 6>;

inline const QString kSavedTextsFile = QStringLiteral("save.ini");

// The texts a file's bytes hold: a line ends at CR LF, LF or CR; missing lines are empty and
// lines after the sixth are ignored.
SavedTexts ParseSavedTexts(const QByteArray& bytes);
// The file's bytes for the texts; a line break inside a text is stored as a space, so that
// each text stays on its own line.
QByteArray FormatSavedTexts(const SavedTexts& texts);

struct SavedTextsRead {
    SavedTexts texts;
    QString error;  // empty when read, or when there is no file yet (the texts are empty)
};
SavedTextsRead ReadSavedTexts(const QString& path);

// Replaces the file whole: a failure while writing leaves the previous file as it was.
// Returns the error message, empty on success.
QString WriteSavedTexts(const QString& path, const SavedTexts& texts);

}  // namespace duoterm
