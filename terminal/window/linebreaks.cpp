#include "linebreaks.h"

namespace duoterm {

QString LineBreaksToSpaces(const QString& text, int* pos)
{
    QString out;
    out.reserve(text.size());
    int newPos = pos ? *pos : 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool crlf = c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n');
        if (crlf) {
            if (pos && i + 1 < *pos)
                --newPos;
            ++i;
        }
        const bool lineBreak = crlf || c == QLatin1Char('\r') || c == QLatin1Char('\n') ||
                               c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
        out += lineBreak ? QLatin1Char(' ') : c;
    }
    if (pos)
        *pos = newPos;
    return out;
}

}  // namespace duoterm
