// OMA files that the tests build byte by byte: headers, tag blocks and TLEN frames, written
// from the container's layout rather than from the reader's code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace omabytes {

using Bytes = std::vector<uint8_t>;

inline void Append(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}

// The 96-byte header: "EA3", version 1, size 0x0060, the encryption id, the codec byte at 32 and
// its 24-bit big-endian parameters at 33.
inline Bytes Header(uint8_t codec, uint32_t params, uint16_t encryptionId = 0xFFFF) {
    Bytes h(96, 0);
    h[0] = 'E';
    h[1] = 'A';
    h[2] = '3';
    h[3] = 1;
    h[4] = 0x00;
    h[5] = 0x60;
    h[6] = static_cast<uint8_t>(encryptionId >> 8);
    h[7] = static_cast<uint8_t>(encryptionId);
    h[32] = codec;
    h[33] = static_cast<uint8_t>(params >> 16);
    h[34] = static_cast<uint8_t>(params >> 8);
    h[35] = static_cast<uint8_t>(params);
    return h;
}

// A tag block header whose four size bytes are given as they appear in the file.
inline Bytes TagHeader(uint8_t version, uint8_t flags, const uint8_t (&size)[4]) {
    return {'e', 'a', '3', version, 0, flags, size[0], size[1], size[2], size[3]};
}

// A whole tag block: header, body, and a footer (ten bytes, "3ae" and a copy of the header's
// fields) when the footer flag 0x10 is set. sizeBytes must spell body.size() syncsafe.
inline Bytes Tag(uint8_t version, uint8_t flags, const uint8_t (&sizeBytes)[4], const Bytes& body) {
    Bytes tag = TagHeader(version, flags, sizeBytes);
    Append(tag, body);
    if (flags & 0x10) {
        Append(tag, {'3', 'a', 'e', version, 0, flags, sizeBytes[0], sizeBytes[1], sizeBytes[2], sizeBytes[3]});
    }
    return tag;
}

// An ID3v2.3 frame: id, 32-bit big-endian size, two flag bytes, content.
inline Bytes Frame3(const std::string& id, const Bytes& content, uint8_t formatFlags = 0) {
    Bytes f(id.begin(), id.end());
    const auto n = static_cast<uint32_t>(content.size());
    Append(f, {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
               static_cast<uint8_t>(n), 0, formatFlags});
    Append(f, content);
    return f;
}

inline Bytes Latin1(uint8_t encoding, const std::string& text) {
    Bytes b{encoding};
    b.insert(b.end(), text.begin(), text.end());
    return b;
}

// UTF-16 text of ASCII characters, with the byte-order mark given (none when empty).
inline Bytes Utf16(uint8_t encoding, const Bytes& bom, bool bigEndian, const std::string& text) {
    Bytes b{encoding};
    Append(b, bom);
    for (char c : text) {
        if (bigEndian) {
            Append(b, {0, static_cast<uint8_t>(c)});
        } else {
            Append(b, {static_cast<uint8_t>(c), 0});
        }
    }
    return b;
}

// Four bytes of seven bits each, as ID3v2 writes the sizes of a tag and of version 4 frames.
inline Bytes Syncsafe(uint32_t n) {
    return {static_cast<uint8_t>(n >> 21 & 0x7F), static_cast<uint8_t>(n >> 14 & 0x7F),
            static_cast<uint8_t>(n >> 7 & 0x7F), static_cast<uint8_t>(n & 0x7F)};
}

// A frame of an ID3v2 version: 2 (three-letter ids, 24-bit sizes, no flags), 3 (32-bit sizes) or
// 4 (syncsafe sizes), with the format flag byte given for 3 and 4.
inline Bytes Frame(int version, const std::string& id, const Bytes& content, uint8_t formatFlags = 0) {
    Bytes f(id.begin(), id.end());
    const auto n = static_cast<uint32_t>(content.size());
    if (version == 2) {
        Append(f, {static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    } else {
        Append(f, version == 4 ? Syncsafe(n)
                               : Bytes{static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                                       static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
        Append(f, {0, formatFlags});
    }
    Append(f, content);
    return f;
}

// An "ea3" tag block of a version around a body, its size syncsafe.
inline Bytes Block(int version, const Bytes& body, uint8_t flags = 0) {
    Bytes tag{'e', 'a', '3', static_cast<uint8_t>(version), 0, flags};
    Append(tag, Syncsafe(static_cast<uint32_t>(body.size())));
    Append(tag, body);
    return tag;
}

}  // namespace omabytes
