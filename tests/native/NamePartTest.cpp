#include <gtest/gtest.h>

#include "base/NamePart.h"

namespace {

bool NoLeadBytes(unsigned char) {
    return false;
}
// Code page 936: lead bytes are 0x81..0xFE.
bool Gbk(unsigned char b) {
    return b >= 0x81 && b <= 0xFE;
}

TEST(NamePart, CutsAfterTheLastSeparator) {
    EXPECT_EQ(NamePart("C:\\music\\b.omg", NoLeadBytes), "b.omg");
    EXPECT_EQ(NamePart("C:name.oma", NoLeadBytes), "name.oma");
    EXPECT_EQ(NamePart("plain.oma", NoLeadBytes), "plain.oma");
    EXPECT_EQ(NamePart("C:\\dir\\", NoLeadBytes), "");
    EXPECT_EQ(NamePart("", NoLeadBytes), "");
}

TEST(NamePart, KeepsDoubleByteCharactersWhoseSecondByteIsABackslash) {
    // "表" is B1 ED, "\x95\x5C" is a GBK character ending in the backslash byte.
    const std::string name = "\x95\x5C\xB1\xED.oma";
    EXPECT_EQ(NamePart("D:\\\xC4\xBF\\" + name, Gbk), name);
    EXPECT_EQ(NamePart(name, Gbk), name);
    // Without the code page rule the same bytes would be cut inside the character.
    EXPECT_EQ(NamePart(name, NoLeadBytes), "\xB1\xED.oma");
    // A lead byte at the very end has no second byte; the bytes before it still count.
    EXPECT_EQ(NamePart("a\\b\x95", Gbk), "b\x95");
}

}  // namespace
