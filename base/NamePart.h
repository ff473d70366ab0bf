// Where a path's name begins: after its last separator. Pure, so the code page is passed in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Tells whether a byte starts a double-byte character in the code page the path is written in.
using LeadByteTest = bool (*)(unsigned char byte);

// A separator is a backslash or colon byte that is not the second byte of a double-byte
// character; in code page 936 a trailing byte can be 0x5C, which must not cut the name.
// Answers the offset just past the last separator, 0 when there is none.
size_t NameStart(std::string_view path, LeadByteTest isLeadByte);

// The text after the last separator, or the whole text when it has none.
std::string NamePart(std::string_view path, LeadByteTest isLeadByte);
