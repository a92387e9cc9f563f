// Windows-1251 through the system's conversion: the Windows Qt is built without ICU, whose
// codecs alone know that code page.
#include "codepage.h"
#include "syscodepage.h"

namespace duoterm {

namespace cp = platform::codepage;

bool To1251(const QString& text, std::string& bytes)
{
    return cp::Encode1251(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                              static_cast<size_t>(text.size())),
                          bytes);
}

QByteArray To1251(const QString& text)
{
    std::string bytes;
    To1251(text, bytes);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString From1251(QByteArrayView bytes)
{
    const std::u16string text = cp::Decode1251(std::string_view(bytes.data(), static_cast<size_t>(bytes.size())));
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace duoterm
