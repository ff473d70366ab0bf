// The settings file's value readers over arbitrary text. A text either is a number, and then its
// value does not depend on the default and matches its canonical spelling, or it is not, and then
// the caller's default comes back untouched. Users edit this file by hand, so every byte sequence
// is a plausible value.
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "settings/ValueText.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

constexpr int32_t kDefaultA = 0x5A5A5A5A;
constexpr int32_t kDefaultB = -7;

std::string_view WithoutLeadingBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    return text;
}

// The decimal spelling std::to_string would give: no blanks, no plus sign, no leading zeros, no
// minus zero.
std::string CanonicalDecimal(std::string_view text) {
    text = WithoutLeadingBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    while (text.size() > 1 && text.front() == '0') {
        text.remove_prefix(1);
    }
    std::string canonical(text);
    if (negative && canonical != "0") {
        canonical.insert(0, "-");
    }
    return canonical;
}

void CheckInteger(std::string_view text) {
    const int32_t a = ParseIntegerText(text, kDefaultA);
    const int32_t b = ParseIntegerText(text, kDefaultB);
    const bool isNumber = a == b;
    // The default only ever comes back whole.
    FUZZ_REQUIRE(isNumber || (a == kDefaultA && b == kDefaultB));
    if (!isNumber) {
        return;
    }
    for (const char c : text) {
        FUZZ_REQUIRE(std::strchr("0123456789abcdefABCDEFxX+- ", c) != nullptr && c != '\0');
    }
    const std::string_view body = WithoutLeadingBlanks(text);
    if (body.size() > 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
        const std::string digits(body.substr(2));
        FUZZ_REQUIRE(digits.size() >= 1 && digits.size() <= 8);
        char* end = nullptr;
        const unsigned long pattern = std::strtoul(digits.c_str(), &end, 16);
        FUZZ_REQUIRE(*end == '\0' && digits.find_first_of("+- xX") == std::string::npos);
        FUZZ_REQUIRE(static_cast<uint32_t>(a) == pattern);
    } else {
        FUZZ_REQUIRE(std::to_string(a) == CanonicalDecimal(text));
    }
}

void CheckBool(std::string_view text) {
    for (const bool fallback : {false, true}) {
        const bool value = ParseBoolText(text, fallback);
        FUZZ_REQUIRE(value == (ParseIntegerText(text, fallback ? 1 : 0) != 0));
    }
}

// Every 32-bit value written in the spellings the store and users produce reads back as itself.
void CheckRoundTrips(int32_t n) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRId32, n);
    FUZZ_REQUIRE(ParseIntegerText(text, n ^ 1) == n);
    FUZZ_REQUIRE(ParseBoolText(text, n == 0) == (n != 0));
    std::snprintf(text, sizeof text, "   %" PRId32, n);
    FUZZ_REQUIRE(ParseIntegerText(text, n ^ 1) == n);
    std::snprintf(text, sizeof text, "0x%" PRIX32, static_cast<uint32_t>(n));
    FUZZ_REQUIRE(ParseIntegerText(text, n ^ 1) == n);
    std::snprintf(text, sizeof text, "0X%08" PRIx32, static_cast<uint32_t>(n));
    FUZZ_REQUIRE(ParseIntegerText(text, n ^ 1) == n);
    // One more digit: ten times the value, or out of range, never a wrapped value.
    const int64_t tenfold = static_cast<int64_t>(n) * 10;
    std::snprintf(text, sizeof text, "%" PRId32 "0", n);
    const bool fits = tenfold >= INT32_MIN && tenfold <= INT32_MAX;
    FUZZ_REQUIRE(ParseIntegerText(text, kDefaultB) == (fits ? static_cast<int32_t>(tenfold) : kDefaultB));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckInteger(text);
    CheckBool(text);
    if (size >= 4) {
        uint32_t bits = 0;
        std::memcpy(&bits, data, 4);
        CheckRoundTrips(static_cast<int32_t>(bits));
    }
    return 0;
}
