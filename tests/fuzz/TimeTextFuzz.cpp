// The time bar's texts over every position, duration, format index and separator. A time is
// always two digits of hours below 24, minutes and seconds below 60, joined by the separator, and
// names the whole seconds of the absolute time within one day; the bar's formats are made of
// such times, with the remaining time taken in 32-bit two's complement as the player does.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "host/TimeText.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

int32_t TakeInt32(const uint8_t*& data, size_t& size) {
    uint32_t bits = 0;
    const size_t n = size < 4 ? size : 4;
    std::memcpy(&bits, data, n);
    data += n;
    size -= n;
    return static_cast<int32_t>(bits);
}

int32_t TwoDigits(const std::wstring& text, size_t at) {
    FUZZ_REQUIRE(text[at] >= L'0' && text[at] <= L'9' && text[at + 1] >= L'0' && text[at + 1] <= L'9');
    return (text[at] - L'0') * 10 + (text[at + 1] - L'0');
}

// Checks the colon form against the clock reading worked out from the absolute milliseconds.
std::wstring CheckedTime(int32_t ms) {
    const std::wstring text = TimeText(ms, L":");
    FUZZ_REQUIRE(text.size() == 8 && text[2] == L':' && text[5] == L':');
    const int32_t hours = TwoDigits(text, 0);
    const int32_t minutes = TwoDigits(text, 3);
    const int32_t seconds = TwoDigits(text, 6);
    FUZZ_REQUIRE(hours < 24 && minutes < 60 && seconds < 60);
    const int64_t absolute = ms < 0 ? -static_cast<int64_t>(ms) : ms;
    FUZZ_REQUIRE(hours * 3600 + minutes * 60 + seconds == absolute / 1000 % 86400);
    return text;
}

std::wstring WithSeparator(const std::wstring& colonText, std::wstring_view separator) {
    std::wstring text = colonText.substr(0, 2);
    text.append(separator).append(colonText.substr(3, 2)).append(separator).append(colonText.substr(6, 2));
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int32_t position = TakeInt32(data, size);
    const int32_t duration = TakeInt32(data, size);
    const int32_t format = TakeInt32(data, size) % 6 - 1;  // mostly the four formats, sometimes others
    std::wstring separator;
    for (size_t i = 0; i + 1 < size && separator.size() < 6; i += 2) {
        separator.push_back(static_cast<wchar_t>(data[i] | data[i + 1] << 8));
    }

    const std::wstring positionText = CheckedTime(position);
    const std::wstring durationText = CheckedTime(duration);
    FUZZ_REQUIRE(TimeText(position, separator) == WithSeparator(positionText, separator));
    // A day later reads the same (negative times count backwards, so only from 0 on), and so
    // does the negated time.
    if (position >= 0 && position <= INT32_MAX - 86400000) {
        FUZZ_REQUIRE(TimeText(position + 86400000, L":") == positionText);
    }
    if (position != INT32_MIN) {
        FUZZ_REQUIRE(TimeText(-position, L":") == positionText);
    }

    const auto remaining = static_cast<int32_t>(static_cast<uint32_t>(duration) - static_cast<uint32_t>(position));
    const std::wstring remainingText = CheckedTime(remaining);
    std::wstring expected;
    switch (format) {
        case 1:
            expected = positionText + L"/" + durationText;
            break;
        case 2:
            expected = remainingText;
            break;
        case 3:
            expected = remainingText + L"/" + durationText;
            break;
        default:
            expected = positionText;
            break;
    }
    FUZZ_REQUIRE(TimeBarText(format, position, duration, L":") == expected);
    return 0;
}
