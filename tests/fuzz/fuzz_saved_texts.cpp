// The saved-text reader on any file contents: six texts, none holding a line end, and what
// is written back reads as the same six texts.
#include "savedtexts.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const duoterm::SavedTexts texts = duoterm::ParseSavedTexts(bytes);
    for (const QString& text : texts) {
        if (text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')))
            std::abort();
    }
    const duoterm::SavedTexts again = duoterm::ParseSavedTexts(duoterm::FormatSavedTexts(texts));
    for (size_t i = 0; i < texts.size(); ++i) {
        // A byte the code page leaves undefined may come back as another character, but the
        // lines stay where they were.
        if (again[i].size() != texts[i].size())
            std::abort();
    }
    return 0;
}
