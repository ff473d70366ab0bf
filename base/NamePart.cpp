#include "base/NamePart.h"

size_t NameStart(std::string_view path, LeadByteTest isLeadByte) {
    size_t start = 0;
    size_t i = 0;
    while (i < path.size()) {
        const auto byte = static_cast<unsigned char>(path[i]);
        if (isLeadByte(byte) && i + 1 < path.size()) {
            i += 2;  // a double-byte character: its second byte is never a separator
            continue;
        }
        if (byte == '\\' || byte == ':') {
            start = i + 1;
        }
        ++i;
    }
    return start;
}

std::string NamePart(std::string_view path, LeadByteTest isLeadByte) {
    return std::string(path.substr(NameStart(path, isLeadByte)));
}
