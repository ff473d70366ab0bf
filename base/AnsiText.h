// The boundary between bytes in the system's ANSI code page (file names from the player, the
// settings file) and the UTF-16 text that windows and DirectShow take.
#pragma once

#include <string>
#include <string_view>

// The whole text, embedded NULs included; text the code page cannot convert gives "".
std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);

// Whether the byte starts a double-byte character of the system's ANSI code page.
bool SystemLeadByte(unsigned char byte);
