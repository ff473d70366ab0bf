// MP3 inside OMA: the frames behind the header are a plain MPEG audio stream (Layer III of
// MPEG-1, 2 or 2.5), so their sizes vary and the header's parameter bits say nothing reliable.
// This walks the frames once, from their own headers, into an index of offsets that seeking and
// decoding use, and reads the encoder's delay and padding from a Xing/Info frame that carries a
// LAME-style extension. Pure: no Windows header; it reads untrusted bytes, so every frame is
// checked against the stream's first and against the end of the data.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "oma/FileBytes.h"

// Samples (per channel) the MP3 decoder puts out before the encoder's first one: its filter
// bank's delay, which every LAME-style header counts on.
constexpr int32_t kMp3DecoderDelay = 529;

// The largest Layer III frame: 320 kb/s at 32 kHz with the padding byte (MPEG-2 and 2.5 stay
// below it).
constexpr int32_t kMaxMp3FrameSize = 1441;

struct Mp3Header {
    int32_t version = 0;  // 1, 2, or 25 for MPEG-2.5
    int32_t bitRate = 0;  // bits per second
    int32_t sampleRate = 0;
    int32_t channels = 0;
    int32_t samplesPerFrame = 0;  // 1152 for MPEG-1, 576 otherwise
    int32_t size = 0;             // bytes, header included
    int32_t sideInfoSize = 0;     // bytes between the header (and its CRC) and the main data
    bool crc = false;
};

// The four bytes of a Layer III frame header, or nothing for anything else: free format,
// reserved fields, other layers.
std::optional<Mp3Header> ParseMp3Header(std::span<const uint8_t, 4> bytes);

// What a Xing or Info frame says (a frame whose main data starts with the tag instead of audio).
struct Mp3XingTag {
    int64_t frames = -1;        // the audio frames that follow it, -1 when it does not say
    int32_t encoderDelay = -1;  // from the LAME-style extension, -1 without one
    int32_t padding = -1;
};

// The tag in one whole frame whose header is given, or nothing when the frame holds audio.
std::optional<Mp3XingTag> ReadMp3XingTag(const Mp3Header& header, std::span<const uint8_t> frame);

struct Mp3Frames {
    Mp3Header first;                // the first audio frame's header: rate, channels, frame length
    std::vector<int64_t> offsets;   // each audio frame's offset in the file
    std::vector<uint16_t> sizes;    // and its size in bytes
    int64_t audioBytes = 0;         // the frames' bytes together, for the mean bit rate
    std::optional<Mp3XingTag> tag;  // from a Xing/Info frame ahead of the audio
};

// Walks the frames in [begin, end) of the file. A frame counts when its header agrees with the
// stream's first (version, rate, channel count) and it ends inside the data; after anything
// else the walk searches byte by byte for a header that is followed by another one, so junk
// between frames is skipped. Nothing when not one frame is found.
std::optional<Mp3Frames> WalkMp3Frames(FileBytes& file, int64_t begin, int64_t end);
