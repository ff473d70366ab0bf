#include "base/AnsiText.h"

#include <windows.h>

std::wstring AnsiToWide(std::string_view text) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length) != length)
        return {};
    return wide;
}

std::string WideToAnsi(std::wstring_view text) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return {};
    std::string ansi(static_cast<size_t>(length), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, text.data(), size, ansi.data(), length, nullptr, nullptr) != length)
        return {};
    return ansi;
}

bool SystemLeadByte(unsigned char byte) {
    return IsDBCSLeadByte(byte) != FALSE;
}
