#include "settings/ValueText.h"

namespace {

int32_t HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

int32_t ParseIntegerText(std::string_view text, int32_t defaultValue) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }

    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const std::string_view digits = text.substr(2);
        if (digits.size() > 8) {
            return defaultValue;
        }
        uint32_t value = 0;
        for (const char c : digits) {
            const int32_t digit = HexDigit(c);
            if (digit < 0) {
                return defaultValue;
            }
            value = value * 16u + static_cast<uint32_t>(digit);
        }
        return static_cast<int32_t>(value);  // the bit pattern: 0x80000000 is INT32_MIN
    }

    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return defaultValue;
    }
    // Accumulate the magnitude in 64 bits and stop as soon as it cannot fit.
    const int64_t limit = negative ? int64_t{2147483648} : int64_t{2147483647};
    int64_t magnitude = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return defaultValue;
        }
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit) {
            return defaultValue;
        }
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

bool ParseBoolText(std::string_view text, bool defaultValue) {
    return ParseIntegerText(text, defaultValue ? 1 : 0) != 0;
}
