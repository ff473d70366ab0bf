// The boundary between the settings file's bytes (system ANSI code page) and the UTF-16 text
// that windows show.
#pragma once

#include <string>
#include <string_view>

std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);
