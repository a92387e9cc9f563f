#include "codepage.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace duoterm {

namespace {
constexpr const char* kCodePage = "windows-1251";
}  // namespace

bool To1251(const QString& text, std::string& bytes)
{
    QStringEncoder encode(kCodePage);
    const QByteArray encoded = encode(text);
    bytes.assign(encoded.constData(), static_cast<size_t>(encoded.size()));
    return !encode.hasError();
}

QByteArray To1251(const QString& text)
{
    QStringEncoder encode(kCodePage);
    return encode(text);
}

QString From1251(QByteArrayView bytes)
{
    QStringDecoder decode(kCodePage);
    return decode(bytes);
}

}  // namespace duoterm
