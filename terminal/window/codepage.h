// Duoterm's text is single-byte Windows-1251: the one place where the window's texts become
// those bytes and bytes become text again: Qt's codec (codepage_qt.cpp), or on Windows, whose Qt
// has no such codec without ICU, the system's conversion (codepage_win32.cpp).
//
// Threads: any; each call makes its own codec.
#pragma once

#include <QByteArrayView>
#include <QString>

#include <string>

namespace duoterm {

// The text as Windows-1251 bytes; false when a character has no place in that code page (it
// is then given as the codec's stand-in).
bool To1251(const QString& text, std::string& bytes);
QByteArray To1251(const QString& text);
QString From1251(QByteArrayView bytes);

}  // namespace duoterm
