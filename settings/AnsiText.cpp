#include "settings/AnsiText.h"

#include <windows.h>

std::wstring AnsiToWide(std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    std::wstring wide(MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0), L'\0');
    (void)MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), static_cast<int>(wide.size()));
    return wide;
}

std::string WideToAnsi(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    std::string ansi(WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, nullptr), '\0');
    (void)WideCharToMultiByte(CP_ACP, 0, text.data(), size, ansi.data(), static_cast<int>(ansi.size()), nullptr,
                              nullptr);
    return ansi;
}
