// The one-digit code under which the options dialog stores the time bar's font style.
#pragma once

#include <cstdint>

struct FontStyleFlags {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
};

// '1' exactly bold, '2' exactly italic, '3' exactly bold and italic, '0' for anything else: only
// bold and italic are kept, and a style with underline or strike-out is saved as plain.
char FontStyleCode(const FontStyleFlags& style);

// 0 plain, 1 bold, 2 italic, 3 both: sets all four flags and returns true. Any other code
// leaves the style untouched and returns false.
bool FontStyleFromCode(int32_t code, FontStyleFlags& style);
