#include "settings/FontStyleCode.h"

char FontStyleCode(const FontStyleFlags& style) {
    if (style.underline || style.strikeOut) {
        return '0';
    }
    if (style.bold && style.italic) {
        return '3';
    }
    if (style.bold) {
        return '1';
    }
    if (style.italic) {
        return '2';
    }
    return '0';
}

bool FontStyleFromCode(int32_t code, FontStyleFlags& style) {
    if (code < 0 || code > 3) {
        return false;
    }
    style = FontStyleFlags{};
    style.bold = (code & 1) != 0;
    style.italic = (code & 2) != 0;
    return true;
}
