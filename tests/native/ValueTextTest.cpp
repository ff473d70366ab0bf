#include <gtest/gtest.h>

#include "settings/FontStyleCode.h"
#include "settings/ValueText.h"

#include <climits>

namespace {

TEST(ParseIntegerText, DecimalHexadecimalOrTheDefault) {
    const int32_t def = -77;
    const struct {
        const char* text;
        int32_t value;
    } rows[] = {
        {"12", 12},
        {"-5", -5},
        {"+7", 7},
        {"007", 7},
        {"000000000042", 42},
        {"  42", 42},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"0x1F", 31},
        {"0X1f", 31},
        {"0x0", 0},
        {"0x7FFFFFFF", INT_MAX},
        {"0xFFFFFFFF", -1},  // a 32-bit pattern
        {"0x80000000", INT_MIN},
        {"0", 0},
        {"0x", def},  // too short for hexadecimal, not a decimal either
        {"0x123456789", def},
        {"0xG1", def},
        {"0x-1", def},
        {"0x 1", def},
        {"2147483648", def},
        {"-2147483649", def},
        {"99999999999", def},
        {"12abc", def},
        {"abc", def},
        {"", def},
        {"-", def},
        {"+", def},
        {"4 2", def},
        {"42 ", def},
        {"1.5", def},
        {"--1", def},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ParseIntegerText(row.text, def), row.value) << '"' << row.text << '"';
    }
}

TEST(ParseBoolText, AnyNonZeroNumberIsTrue) {
    const struct {
        const char* text;
        bool defaultValue;
        bool value;
    } rows[] = {
        {"1", false, true}, {"2", false, true},     {"-1", false, true},  {"0x10", false, true},
        {"0", true, false}, {"0x0", true, false},   {"yes", true, true},  {"yes", false, false},
        {"", true, true},   {"true", false, false}, {"1x", false, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ParseBoolText(row.text, row.defaultValue), row.value)
            << '"' << row.text << "\" default " << row.defaultValue;
    }
}

TEST(FontStyleCode, OnlyExactBoldAndItalicAreKept) {
    const struct {
        FontStyleFlags style;
        char code;
    } rows[] = {
        {{false, false, false, false}, '0'}, {{true, false, false, false}, '1'},
        {{false, true, false, false}, '2'},  {{true, true, false, false}, '3'},
        {{true, false, true, false}, '0'},   // bold and underlined
        {{true, true, false, true}, '0'},    // strike-out spoils bold+italic
        {{false, false, true, false}, '0'},  {{true, true, true, true}, '0'},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FontStyleCode(row.style), row.code) << row.style.bold << row.style.italic << row.style.underline
                                                      << row.style.strikeOut;
    }
}

TEST(FontStyleCode, CodeSetsAllFourFlags) {
    const struct {
        int32_t code;
        bool bold;
        bool italic;
    } rows[] = {{0, false, false}, {1, true, false}, {2, false, true}, {3, true, true}};
    for (const auto& row : rows) {
        FontStyleFlags style{true, true, true, true};  // underline and strike-out must go
        ASSERT_TRUE(FontStyleFromCode(row.code, style)) << row.code;
        EXPECT_EQ(style.bold, row.bold) << row.code;
        EXPECT_EQ(style.italic, row.italic) << row.code;
        EXPECT_FALSE(style.underline) << row.code;
        EXPECT_FALSE(style.strikeOut) << row.code;
    }
    for (const int32_t code : {-1, 4, 7, int32_t{'3'}}) {
        FontStyleFlags style{false, true, true, false};
        EXPECT_FALSE(FontStyleFromCode(code, style)) << code;
        EXPECT_TRUE(!style.bold && style.italic && style.underline && !style.strikeOut) << code;
    }
}

}  // namespace
