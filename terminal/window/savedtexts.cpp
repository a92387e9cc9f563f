#include "savedtexts.h"

#include "codepage.h"
#include "linebreaks.h"

#include <QFile>
#include <QSaveFile>

namespace duoterm {

namespace {

// The file errors as the user is told of them.
QString FileErrorText(QFileDevice::FileError error, bool writing)
{
    switch (error) {
    case QFileDevice::NoError: return {};
    case QFileDevice::OpenError:
    case QFileDevice::PermissionsError: return QStringLiteral("Access denied");
    default: return writing ? QStringLiteral("Disk write error") : QStringLiteral("Disk read error");
    }
}

}  // namespace

SavedTexts ParseSavedTexts(const QByteArray& bytes)
{
    SavedTexts texts;
    qsizetype pos = 0;
    for (QString& text : texts) {
        if (pos >= bytes.size())
            break;
        qsizetype end = pos;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        text = From1251(QByteArrayView(bytes).sliced(pos, end - pos));
        pos = end + 1;
        if (end + 1 < bytes.size() && bytes[end] == '\r' && bytes[end + 1] == '\n')
            ++pos;
    }
    return texts;
}

QByteArray FormatSavedTexts(const SavedTexts& texts)
{
    QByteArray bytes;
    for (const QString& text : texts) {
        // A line break inside a text would split it over two lines and move every text after
        // it: it is stored as the space an entry line shows for it.
        bytes += To1251(LineBreaksToSpaces(text));
        bytes += "\r\n";
    }
    return bytes;
}

SavedTextsRead ReadSavedTexts(const QString& path)
{
    SavedTextsRead result;
    QFile file(path);
    if (!file.exists())
        return result;
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = FileErrorText(file.error(), false);
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.error = FileErrorText(file.error(), false);
        return result;
    }
    result.texts = ParseSavedTexts(bytes);
    return result;
}

QString WriteSavedTexts(const QString& path, const SavedTexts& texts)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return FileErrorText(file.error(), true);
    const QByteArray bytes = FormatSavedTexts(texts);
    if (file.write(bytes) != bytes.size() || !file.commit())
        return FileErrorText(file.error() == QFileDevice::NoError ? QFileDevice::WriteError : file.error(), true);
    return {};
}

}  // namespace duoterm
