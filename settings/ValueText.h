// Reading the settings file's value texts as numbers.
#pragma once

#include <cstdint>
#include <string_view>

// "0x"/"0X" followed by 1 to 8 hex digits is a 32-bit pattern ("0xFFFFFFFF" is -1); otherwise a
// decimal with an optional sign that fits in 32 bits. Leading blanks are skipped; anything else
// that is not a number ("", "12abc", "0x", words, overflow) yields defaultValue.
int32_t ParseIntegerText(std::string_view text, int32_t defaultValue);

// Booleans are stored as integers: any non-zero number is true; text that is not a number
// yields defaultValue.
bool ParseBoolText(std::string_view text, bool defaultValue);
