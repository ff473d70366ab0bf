#include <gtest/gtest.h>

#include "ui/SizeText.h"

namespace {

TEST(SizeText, BytesThenKilobytesThenMegabytes) {
    const struct {
        uint64_t bytes;
        const wchar_t* text;
    } rows[] = {
        {0, L"0 字节"},
        {1024, L"1024 字节"},
        {1025, L"1 kB"},
        {1048575, L"1023 kB"},
        {1048576, L"1024 kB"},
        {1048577, L"1 MB"},
        {5000000, L"4 MB"},
        {3221225472u, L"3072 MB"},  // 3 GiB: past 32 bits
        {4294967297u, L"4096 MB"},  // 4 GiB + 1 would read as 1 byte in 32 bits
    };
    for (const auto& row : rows) {
        EXPECT_EQ(SizeText(row.bytes), row.text) << row.bytes;
    }
}

}  // namespace
