// The name part of a path: the text after its last separator.
#pragma once

#include <string>
#include <string_view>

// Tells whether a byte starts a double-byte character in the code page the path is written in.
using LeadByteTest = bool (*)(unsigned char byte);

// A separator is a backslash or colon byte that is not the second byte of a double-byte
// character; in code page 936 a trailing byte can be 0x5C, which must not cut the name.
std::string NamePart(std::string_view path, LeadByteTest isLeadByte);
