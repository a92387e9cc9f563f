#include "syscodepage.h"

#include <windows.h>

namespace platform::codepage {

namespace {
constexpr UINT kCodePage = 1251;
}  // namespace

bool Encode1251(std::u16string_view text, std::string& bytes)
{
    bytes.clear();
    if (text.empty())
        return true;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return false;
    bytes.resize(static_cast<size_t>(size));
    WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, length, bytes.data(), size, nullptr, &usedDefault);
    return !usedDefault;
}

std::u16string Decode1251(std::string_view bytes)
{
    std::u16string text;
    if (bytes.empty())
        return text;
    const int length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(kCodePage, 0, bytes.data(), length, nullptr, 0);
    if (size <= 0)
        return text;
    text.resize(static_cast<size_t>(size));
    MultiByteToWideChar(kCodePage, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(text.data()), size);
    return text;
}

}  // namespace platform::codepage
