#include "host/TimeText.h"

#include <cstdlib>

std::wstring TimeText(int32_t ms, std::wstring_view separator) {
    const int32_t seconds = ms / 1000;  // C++ division truncates toward zero: -1500 gives -1
    // |INT32_MIN / 1000| fits, so the absolute value cannot overflow.
    const int32_t ofDay = std::abs(seconds) % 86400;
    const int32_t parts[3] = {ofDay / 3600, ofDay / 60 % 60, ofDay % 60};
    std::wstring text;
    for (int32_t i = 0; i < 3; ++i) {
        if (i > 0) {
            text.append(separator);
        }
        text.push_back(static_cast<wchar_t>(L'0' + parts[i] / 10));
        text.push_back(static_cast<wchar_t>(L'0' + parts[i] % 10));
    }
    return text;
}

std::wstring TimeBarText(int32_t format, int32_t positionMs, int32_t durationMs, std::wstring_view separator) {
    // Two's-complement difference without signed overflow.
    const auto remainingMs =
        static_cast<int32_t>(static_cast<uint32_t>(durationMs) - static_cast<uint32_t>(positionMs));
    switch (format) {
        case 1:
            return TimeText(positionMs, separator).append(L"/").append(TimeText(durationMs, separator));
        case 2:
            return TimeText(remainingMs, separator);
        case 3:
            return TimeText(remainingMs, separator).append(L"/").append(TimeText(durationMs, separator));
        default:
            return TimeText(positionMs, separator);
    }
}
