#include "oma/Mp3Frames.h"

#include <algorithm>
#include <cstring>

#include "oma/OmaFile.h"

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
    // read fails (Failed() then says so).
    const uint8_t* At(int64_t offset, int32_t n) {
        if (offset < 0 || n > end_ - offset) {
            return nullptr;
        }
        if (start_ < 0 || offset < start_ || offset + n > start_ + length_) {
            const auto length = static_cast<int32_t>(std::min<int64_t>(kSize, end_ - offset));
            if (!file_.ReadAt(offset, bytes_.data(), length)) {
                failed_ = true;
                start_ = -1;
                return nullptr;
            }
            start_ = offset;
            length_ = length;
        }
        return bytes_.data() + (offset - start_);
    }

    std::optional<Mp3Header> HeaderAt(int64_t offset) {
        const uint8_t* p = At(offset, 4);
        if (!p) {
            return std::nullopt;
        }
        // Frames in a row mostly share their header: the last one parsed is kept.
        if (std::memcmp(p, last_, 4) != 0) {
            std::memcpy(last_, p, 4);
            lastHeader_ = ParseMp3Header(std::span<const uint8_t, 4>(p, 4));
        }
        return lastHeader_;
    }

    // The first offset in [from, limit) whose byte could start a header (0xFF), or limit.
    int64_t NextSync(int64_t from, int64_t limit) {
        limit = std::min(limit, end_);
        while (from < limit) {
            if (!At(from, 1)) {
                return limit;
            }
            const int64_t stop = std::min(limit, start_ + length_);
            const uint8_t* base = bytes_.data() + (from - start_);
            const void* hit = std::memchr(base, 0xFF, static_cast<size_t>(stop - from));
            if (hit) {
                return from + (static_cast<const uint8_t*>(hit) - base);
            }
            from = stop;
        }
        return limit;
    }

    int64_t End() const { return end_; }
    bool Failed() const { return failed_; }

private:
    static constexpr int32_t kSize = 1 << 16;
    FileBytes& file_;
    int64_t end_;
    std::vector<uint8_t> bytes_;
    int64_t start_ = -1;
    int32_t length_ = 0;
    bool failed_ = false;
    uint8_t last_[4] = {0, 0, 0, 0};  // never a header: its first byte is not 0xFF
    std::optional<Mp3Header> lastHeader_;
};

struct Found {
    int64_t offset = 0;
    Mp3Header header;
};

// The smallest frame a stream's version and rate allow: the lowest bit rate, unpadded.
int32_t SmallestFrame(const Mp3Header& h) {
    return (h.samplesPerFrame / 8) * kBitRates[h.version == 1 ? 0 : 1][1] * 1000 / h.sampleRate;
}

}  // namespace

// The walk's rules over a window: where the first frame is, and where the frame after a given
// one is.
struct Mp3Index::Walker {
    Walker(FileBytes& file, int64_t end) : window(file, end) {}

    // The first frame at or after begin, whatever its stream, and the tag its frame holds.
    std::optional<Found> First(int64_t begin, std::optional<Mp3XingTag>& tag) {
        const int64_t end = window.End();
        const int64_t limit = begin + kMaxMp3Skip + 1;
        for (int64_t at = window.NextSync(begin, limit); end - at >= 4 && at < limit;
             at = window.NextSync(at + 1, limit)) {
            const std::optional<Mp3Header> h = window.HeaderAt(at);
            if (!h || h->size > end - at) {
                continue;
            }
            const uint8_t* bytes = window.At(at, h->size);
            tag = bytes ? ReadMp3XingTag(*h, std::span<const uint8_t>(bytes, static_cast<size_t>(h->size)))
                        : std::nullopt;
            // A header counts only when another of the same stream follows it, or the data ends
            // right behind it, or its frame is the encoder's tag (the words "Xing" or "Info" in
            // place are sign enough, whatever follows).
            const int64_t next = at + h->size;
            const std::optional<Mp3Header> after = next == end ? std::nullopt : window.HeaderAt(next);
            if (next == end || (after && SameStream(*after, *h)) || tag) {
                return Found{at, *h};
            }
        }
        return std::nullopt;
    }

    // The frame of the stream whose first header is `first` that follows a frame ending at
    // `from`: right there, or found by searching.
    std::optional<Found> Next(const Mp3Header& first, int64_t from) {
        const int64_t end = window.End();
        if (const std::optional<Mp3Header> h = window.HeaderAt(from);
            h && h->size <= end - from && SameStream(*h, first)) {
            return Found{from, *h};
        }
        const int64_t limit = from + kMaxMp3Skip + 1;
        for (int64_t at = window.NextSync(from + 1, limit); end - at >= 4 && at < limit;
             at = window.NextSync(at + 1, limit)) {
            const std::optional<Mp3Header> h = window.HeaderAt(at);
            if (!h || h->size > end - at || !SameStream(*h, first)) {
                continue;
            }
            const int64_t next = at + h->size;
            const std::optional<Mp3Header> after = next == end ? std::nullopt : window.HeaderAt(next);
            if (next == end || (after && SameStream(*after, *h))) {
                return Found{at, *h};
            }
        }
        return std::nullopt;
    }

    Window window;
};

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
        } else if (i == 1) {
            tag.bytes = Be32(frame.data() + at);
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

int32_t Mp3MainDataSize(const Mp3Header& header) {
    return std::max(header.size - 4 - (header.crc ? 2 : 0) - header.sideInfoSize, 0);
}

int32_t Mp3LeastMainData(const Mp3Header& header) {
    return std::max(SmallestFrame(header) - 4 - 2 - header.sideInfoSize, 1);
}

std::optional<Mp3Frames> ReadMp3Frames(FileBytes& file, int64_t begin, int64_t end, int64_t maxFrames) {
    Mp3Index::Walker walker(file, end);
    Mp3Frames frames;
    frames.end = end;
    std::optional<Mp3XingTag> tag;
    const std::optional<Found> first = walker.First(begin, tag);
    if (!first) {
        return std::nullopt;
    }
    frames.first = first->header;
    std::optional<Found> audio = first;
    if (tag) {
        frames.tag = tag;
        audio = walker.Next(frames.first, first->offset + first->header.size);  // the tag's frame holds no audio
        if (!audio) {
            return std::nullopt;
        }
    }
    if (maxFrames <= 0) {
        // No more frames than the served WAV can hold, with the delay and padding a LAME-style
        // header can add.
        const int32_t spf = frames.first.samplesPerFrame;
        maxFrames = (MaxServedSamples(frames.first.channels) + 2 * 4095 + kMp3DecoderDelay) / spf + 2;
    }
    const int64_t audioSpan = end - audio->offset;
    // The tag's count, when the data can hold that many frames and is as long as the tag says:
    // a cut file is counted.
    const bool trusted = tag && tag->frames >= 1 && tag->frames <= audioSpan / SmallestFrame(frames.first) &&
                         (tag->bytes < 0 || end - first->offset >= tag->bytes);
    if (trusted) {
        frames.frames = std::min(tag->frames, maxFrames);
        frames.counted = false;
        const int64_t tagSize = first->header.size;
        frames.audioBytes = tag->bytes > tagSize ? std::min(tag->bytes - tagSize, audioSpan) : audioSpan;
        frames.checkpoints = {audio->offset};
        frames.walked = 1;
        return frames;
    }
    frames.counted = true;
    for (std::optional<Found> at = audio; at; at = walker.Next(frames.first, at->offset + at->header.size)) {
        if (frames.frames % kMp3CheckpointEvery == 0) {
            frames.checkpoints.push_back(at->offset);
        }
        ++frames.frames;
        frames.audioBytes += at->header.size;
        if (frames.frames == maxFrames) {
            break;
        }
    }
    frames.walked = frames.frames;
    return frames;
}

Mp3Index::Mp3Index(FileBytes& file, const Mp3Frames& frames)
    : walker_(std::make_unique<Walker>(file, frames.end)),
      first_(frames.first),
      frames_(frames.frames),
      checkpoints_(frames.checkpoints),
      walked_(frames.walked) {}

Mp3Index::~Mp3Index() = default;

std::optional<Mp3Index::Place> Mp3Index::PlaceAt(int64_t offset, int64_t index) {
    const std::optional<Mp3Header> h = walker_->window.HeaderAt(offset);
    if (!h) {
        failed_ = true;  // a frame found before: the file changed or cannot be read
        return std::nullopt;
    }
    return Place{index, offset, h->size};
}

std::optional<int64_t> Mp3Index::Offset(int64_t i) {
    if (i < 0 || i >= frames_ || failed_ || checkpoints_.empty()) {
        return std::nullopt;
    }
    if (!last_ || last_->index != i) {
        if (i >= walked_ && ended_) {
            return std::nullopt;
        }
        const int64_t k = std::min(i, walked_ - 1) / kMp3CheckpointEvery;
        std::optional<Place> at;
        if (last_ && last_->index <= i && last_->index >= k * kMp3CheckpointEvery) {
            at = last_;
        } else {
            at = PlaceAt(checkpoints_[static_cast<size_t>(k)], k * kMp3CheckpointEvery);
        }
        while (at && at->index < i) {
            const std::optional<Found> next = walker_->Next(first_, at->offset + at->size);
            if (walker_->window.Failed()) {
                failed_ = true;
                return std::nullopt;
            }
            if (!next) {
                ended_ = at->index + 1 >= walked_;
                return std::nullopt;
            }
            at = Place{at->index + 1, next->offset, next->header.size};
            if (at->index == walked_) {
                if (walked_ % kMp3CheckpointEvery == 0) {
                    checkpoints_.push_back(at->offset);
                }
                ++walked_;
            }
        }
        if (!at) {
            return std::nullopt;
        }
        last_ = at;
    }
    return last_->offset;
}

std::span<const uint8_t> Mp3Index::Frame(int64_t i) {
    if (!Offset(i)) {
        return {};
    }
    const uint8_t* bytes = walker_->window.At(last_->offset, last_->size);
    if (!bytes) {
        failed_ = true;
        return {};
    }
    return {bytes, static_cast<size_t>(last_->size)};
}
