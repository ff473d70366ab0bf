#include "oma/Ea3Tag.h"

#include <cstddef>
#include <vector>

namespace {

// A TLEN past this (about 31 years) is not a length.
constexpr int64_t kMaxTagLengthMs = 1'000'000'000'000;

constexpr uint8_t kFooterFlag = 0x10;
constexpr uint8_t kExtendedHeaderFlag = 0x40;
constexpr uint8_t kUnsyncFlag = 0x80;

uint32_t BigEndian(std::span<const uint8_t> b, size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) {
        value = value << 8 | b[i];
    }
    return value;
}

// Seven bits per byte; nothing when a top bit is set.
std::optional<uint32_t> Syncsafe(std::span<const uint8_t> b) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        if (b[i] & 0x80) {
            return std::nullopt;
        }
        value = value << 7 | b[i];
    }
    return value;
}

// Undoes the unsynchronisation scheme: every 0xFF 0x00 pair stands for 0xFF.
std::vector<uint8_t> Resynchronised(std::span<const uint8_t> bytes) {
    std::vector<uint8_t> out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == 0x00) {
            ++i;
        }
    }
    return out;
}

// The text's first string as code points, up to its terminator; nothing when malformed.
std::optional<std::vector<uint32_t>> TextCodePoints(std::span<const uint8_t> content) {
    if (content.empty()) {
        return std::nullopt;
    }
    const uint8_t encoding = content[0];
    std::span<const uint8_t> text = content.subspan(1);
    std::vector<uint32_t> points;
    if (encoding == 0 || encoding == 3) {
        // Digits and blanks are all we accept, and they are single bytes in both Latin-1 and
        // UTF-8; any other byte ends up rejected as a non-digit.
        for (uint8_t b : text) {
            if (b == 0) {
                break;
            }
            points.push_back(b);
        }
        return points;
    }
    if (encoding != 1 && encoding != 2) {
        return std::nullopt;
    }
    bool bigEndian = encoding == 2;
    if (encoding == 1) {
        if (text.size() < 2) {
            return std::nullopt;
        }
        if (text[0] == 0xFE && text[1] == 0xFF) {
            bigEndian = true;
        } else if (text[0] == 0xFF && text[1] == 0xFE) {
            bigEndian = false;
        } else {
            return std::nullopt;
        }
        text = text.subspan(2);
    }
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        const uint32_t unit =
            bigEndian ? (uint32_t{text[i]} << 8 | text[i + 1]) : (uint32_t{text[i + 1]} << 8 | text[i]);
        if (unit == 0) {
            break;
        }
        points.push_back(unit);
    }
    return points;
}

// Where the frames begin in a body, past an extended header.
std::optional<size_t> FramesStart(const Ea3TagHeader& header, std::span<const uint8_t> body) {
    if (!(header.flags & kExtendedHeaderFlag) || header.version < 3) {
        return 0;
    }
    if (body.size() < 4) {
        return std::nullopt;
    }
    size_t skip = 0;
    if (header.version == 3) {
        skip = size_t{4} + BigEndian(body, 4);  // the size leaves itself out
    } else {
        const auto size = Syncsafe(body);
        if (!size) {
            return std::nullopt;
        }
        skip = *size;  // the size counts itself
    }
    if (skip > body.size()) {
        return std::nullopt;
    }
    return skip;
}

// One frame's content made readable, or nothing when it is compressed or encrypted.
std::optional<std::vector<uint8_t>> FrameContent(int32_t version,
                                                 std::span<const uint8_t> flags,
                                                 std::span<const uint8_t> content) {
    if (version == 3) {
        const uint8_t format = flags[1];
        if (format & 0xC0) {  // compressed or encrypted
            return std::nullopt;
        }
        if (format & 0x20) {  // a group id byte leads
            if (content.empty()) {
                return std::nullopt;
            }
            content = content.subspan(1);
        }
        return std::vector<uint8_t>(content.begin(), content.end());
    }
    if (version == 4) {
        const uint8_t format = flags[1];
        if (format & 0x0C) {  // compressed or encrypted
            return std::nullopt;
        }
        if (format & 0x40) {  // a group id byte leads
            if (content.empty()) {
                return std::nullopt;
            }
            content = content.subspan(1);
        }
        if (format & 0x01) {  // a data length indicator leads
            if (content.size() < 4) {
                return std::nullopt;
            }
            content = content.subspan(4);
        }
        if (format & 0x02) {
            return Resynchronised(content);
        }
    }
    return std::vector<uint8_t>(content.begin(), content.end());
}

}  // namespace

std::optional<Ea3TagHeader> ParseEa3TagHeader(std::span<const uint8_t, kEa3TagHeaderSize> bytes) {
    if (bytes[0] != 'e' || bytes[1] != 'a' || bytes[2] != '3' || bytes[3] == 0xFF || bytes[4] == 0xFF) {
        return std::nullopt;
    }
    const auto size = Syncsafe(std::span<const uint8_t>(bytes).subspan(6, 4));
    if (!size) {
        return std::nullopt;
    }
    Ea3TagHeader header;
    header.version = bytes[3];
    header.flags = bytes[5];
    header.bodySize = *size;
    header.totalSize = kEa3TagHeaderSize + header.bodySize + ((header.flags & kFooterFlag) ? kEa3TagHeaderSize : 0);
    return header;
}

int64_t ParseTlenContent(std::span<const uint8_t> content) {
    const auto points = TextCodePoints(content);
    if (!points) {
        return -1;
    }
    size_t i = 0;
    const size_t n = points->size();
    while (i < n && (*points)[i] == ' ') {
        ++i;
    }
    int64_t value = 0;
    size_t digits = 0;
    for (; i < n && (*points)[i] >= '0' && (*points)[i] <= '9'; ++i, ++digits) {
        value = value * 10 + ((*points)[i] - '0');
        if (value > kMaxTagLengthMs) {
            return -1;
        }
    }
    while (i < n && (*points)[i] == ' ') {
        ++i;
    }
    if (digits == 0 || i != n || value <= 0) {
        return -1;
    }
    return value;
}

int64_t FindTagLengthMs(const Ea3TagHeader& header, std::span<const uint8_t> body) {
    if (header.version < 2 || header.version > 4) {
        return -1;
    }
    // Version 4 marks unsynchronisation per frame; before it the flag covers the whole body.
    std::vector<uint8_t> resynced;
    if ((header.flags & kUnsyncFlag) && header.version < 4) {
        resynced = Resynchronised(body);
        body = resynced;
    }
    const auto start = FramesStart(header, body);
    if (!start) {
        return -1;
    }
    const size_t frameHeaderSize = header.version == 2 ? 6 : 10;
    size_t at = *start;
    while (at + frameHeaderSize <= body.size()) {
        const std::span<const uint8_t> frame = body.subspan(at);
        if (frame[0] == 0) {
            break;  // padding
        }
        uint64_t size = 0;
        if (header.version == 2) {
            size = BigEndian(frame.subspan(3), 3);
        } else if (header.version == 3) {
            size = BigEndian(frame.subspan(4), 4);
        } else {
            const auto safe = Syncsafe(frame.subspan(4));
            if (!safe) {
                break;
            }
            size = *safe;
        }
        if (size > body.size() - at - frameHeaderSize) {
            break;  // a frame that runs out of its tag ends the walk
        }
        const auto content = frame.subspan(frameHeaderSize, static_cast<size_t>(size));
        const bool isTlen = header.version == 2
                                ? (frame[0] == 'T' && frame[1] == 'L' && frame[2] == 'E')
                                : (frame[0] == 'T' && frame[1] == 'L' && frame[2] == 'E' && frame[3] == 'N');
        if (isTlen) {
            if (header.version == 2) {
                return ParseTlenContent(content);  // version 2 frames have no flags
            }
            const auto readable = FrameContent(header.version, frame.subspan(8, 2), content);
            return readable ? ParseTlenContent(*readable) : -1;
        }
        at += frameHeaderSize + static_cast<size_t>(size);
    }
    return -1;
}
