// The "ea3" tag blocks in front of an OMA file's header: ID3v2 tags under another magic. The
// reader needs two things from them: where they end, and the TLEN frame (the length in
// milliseconds) that some encoders write when the audio is shorter than its frames.
// Pure: no Windows header.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

constexpr int32_t kEa3TagHeaderSize = 10;

struct Ea3TagHeader {
    int32_t version = 0;    // ID3v2 major version: 2, 3 or 4 (others are skipped unread)
    int32_t flags = 0;      // the header's flag byte
    int64_t bodySize = 0;   // the syncsafe size: the bytes after the header, footer excluded
    int64_t totalSize = 0;  // header, body and the footer when the footer flag is set
};

// The header at the start of bytes, or nothing when they do not begin one (wrong magic, a
// version or revision byte of 0xFF, a size byte with its top bit set).
std::optional<Ea3TagHeader> ParseEa3TagHeader(std::span<const uint8_t, kEa3TagHeaderSize> bytes);

// The first TLEN frame's value in milliseconds within a tag's body (the bytes after its
// header), or -1 when there is none or it does not hold a positive decimal number.
int64_t FindTagLengthMs(const Ea3TagHeader& header, std::span<const uint8_t> body);

// A TLEN frame's content (its encoding byte first: 0 Latin-1, 1 UTF-16 with a byte-order mark,
// 2 UTF-16 big-endian, 3 UTF-8) as milliseconds, or -1 when it is not a positive decimal number.
int64_t ParseTlenContent(std::span<const uint8_t> content);
