// Entry lines hold no line break: the one rule that turns the line breaks of a pasted or
// stored text into spaces (Qt Core only, so the saved-text reader and its fuzz target need
// no widgets).
#pragma once

#include <QString>

namespace duoterm {

// The text with each line break (CR LF, CR, LF, or a Unicode line or paragraph separator)
// replaced by one space; pos, when given, is moved along.
QString LineBreaksToSpaces(const QString& text, int* pos = nullptr);

}  // namespace duoterm
