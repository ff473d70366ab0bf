#include "oma/Mp3Frames.h"

#include <algorithm>
#include <cstring>

namespace {

// Layer III bit rates in kb/s by index 1-14; MPEG-2 and 2.5 share the second row.
constexpr int32_t kBitRates[2][15] = {
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
constexpr int32_t kMpeg1Rates[3] = {44100, 48000, 32000};

bool SameStream(const Mp3Header& a, const Mp3Header& b) {
    return a.version == b.version && a.sampleRate == b.sampleRate && a.channels == b.channels;
}

uint32_t Be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// The file's bytes through a window of a fixed size, so that walking tens of megabytes of
// frames costs a few hundred reads rather than one per frame.
class Window {
public:
    Window(FileBytes& file, int64_t end) : file_(file), end_(end), bytes_(kSize) {}

    // The n bytes at offset (n <= kMaxMp3FrameSize), or null when they pass the end or the
    // read fails.
    const uint8_t* At(int64_t offset, int32_t n) {
        if (offset < 0 || n > end_ - offset) {
            return nullptr;
        }
        if (start_ < 0 || offset < start_ || offset + n > start_ + length_) {
            const auto length = static_cast<int32_t>(std::min<int64_t>(kSize, end_ - offset));
            if (!file_.ReadAt(offset, bytes_.data(), length)) {
                return nullptr;
            }
            start_ = offset;
            length_ = length;
        }
        return bytes_.data() + (offset - start_);
    }

    std::optional<Mp3Header> HeaderAt(int64_t offset) {
        const uint8_t* p = At(offset, 4);
        return p ? ParseMp3Header(std::span<const uint8_t, 4>(p, 4)) : std::nullopt;
    }

private:
    static constexpr int32_t kSize = 1 << 16;
    FileBytes& file_;
    int64_t end_;
    std::vector<uint8_t> bytes_;
    int64_t start_ = -1;
    int32_t length_ = 0;
};

}  // namespace

std::optional<Mp3Header> ParseMp3Header(std::span<const uint8_t, 4> b) {
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) {
        return std::nullopt;
    }
    const int versionBits = (b[1] >> 3) & 3;
    const int layerBits = (b[1] >> 1) & 3;
    const int rateIndex = b[2] >> 4;
    const int sampleRateIndex = (b[2] >> 2) & 3;
    if (versionBits == 1 || layerBits != 1 || rateIndex == 0 || rateIndex == 15 || sampleRateIndex == 3) {
        return std::nullopt;  // reserved, not Layer III, free format or a forbidden index
    }
    Mp3Header h;
    h.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    h.sampleRate = kMpeg1Rates[sampleRateIndex] >> (h.version == 1 ? 0 : h.version == 2 ? 1 : 2);
    h.bitRate = kBitRates[h.version == 1 ? 0 : 1][rateIndex] * 1000;
    h.channels = (b[3] >> 6) == 3 ? 1 : 2;
    h.samplesPerFrame = h.version == 1 ? 1152 : 576;
    const int32_t padding = (b[2] >> 1) & 1;
    h.size = (h.samplesPerFrame / 8) * h.bitRate / h.sampleRate + padding;
    h.crc = (b[1] & 1) == 0;
    h.sideInfoSize = h.version == 1 ? (h.channels == 1 ? 17 : 32) : (h.channels == 1 ? 9 : 17);
    return h;
}

std::optional<Mp3XingTag> ReadMp3XingTag(const Mp3Header& header, std::span<const uint8_t> frame) {
    size_t at = 4 + (header.crc ? 2 : 0) + static_cast<size_t>(header.sideInfoSize);
    if (frame.size() < at + 8) {
        return std::nullopt;
    }
    const uint8_t* p = frame.data() + at;
    if (std::memcmp(p, "Xing", 4) != 0 && std::memcmp(p, "Info", 4) != 0) {
        return std::nullopt;
    }
    Mp3XingTag tag;
    const uint32_t flags = Be32(p + 4);
    at += 8;
    // The optional fields, in their order: frames, bytes, a 100-byte table, a quality word.
    const size_t fieldSizes[4] = {4, 4, 100, 4};
    for (int i = 0; i < 4; ++i) {
        if (!(flags & (1u << i))) {
            continue;
        }
        if (frame.size() < at + fieldSizes[i]) {
            return tag;
        }
        if (i == 0) {
            tag.frames = Be32(frame.data() + at);
        }
        at += fieldSizes[i];
    }
    // The extension: a 9-byte encoder name ("LAME3.100", "Lavc59.37", ...), then revision,
    // lowpass, peak, two gains, flags and bit rate (12 bytes), then the delay and padding as two
    // 12-bit numbers. A name of printable characters tells an extension from zeros.
    constexpr size_t kDelayAt = 21;
    if (frame.size() < at + kDelayAt + 3) {
        return tag;
    }
    const uint8_t* name = frame.data() + at;
    for (int i = 0; i < 4; ++i) {
        if (name[i] < 0x20 || name[i] > 0x7E) {
            return tag;
        }
    }
    const uint8_t* d = name + kDelayAt;
    tag.encoderDelay = d[0] << 4 | d[1] >> 4;
    tag.padding = (d[1] & 0x0F) << 8 | d[2];
    return tag;
}

std::optional<Mp3Frames> WalkMp3Frames(FileBytes& file, int64_t begin, int64_t end) {
    Window window(file, end);
    Mp3Frames frames;
    bool haveFirst = false;
    bool synced = false;
    int64_t at = begin;
    while (end - at >= 4) {
        const std::optional<Mp3Header> h = window.HeaderAt(at);
        const bool fits = h && h->size <= end - at && (!haveFirst || SameStream(*h, frames.first));
        bool take = fits && synced;
        std::optional<Mp3XingTag> tag;
        if (fits && !haveFirst) {
            const uint8_t* bytes = window.At(at, h->size);
            tag = bytes ? ReadMp3XingTag(*h, std::span<const uint8_t>(bytes, static_cast<size_t>(h->size)))
                        : std::nullopt;
        }
        if (fits && !synced) {
            // Searching: a header counts only when another of the same stream follows it, or
            // the data ends right behind it, or its frame is the encoder's tag (the words
            // "Xing" or "Info" in place are sign enough, whatever follows).
            const int64_t next = at + h->size;
            const std::optional<Mp3Header> after = next == end ? std::nullopt : window.HeaderAt(next);
            take = next == end || (after && SameStream(*after, *h)) || tag;
        }
        if (!take) {
            synced = false;
            ++at;
            continue;
        }
        synced = true;
        if (!haveFirst) {
            haveFirst = true;
            frames.first = *h;
            frames.tag = tag;
            if (tag) {
                at += h->size;  // the tag's frame holds no audio
                continue;
            }
        }
        frames.offsets.push_back(at);
        frames.sizes.push_back(static_cast<uint16_t>(h->size));
        frames.audioBytes += h->size;
        at += h->size;
    }
    if (frames.offsets.empty()) {
        return std::nullopt;
    }
    return frames;
}
