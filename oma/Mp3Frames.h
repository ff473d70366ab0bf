// MP3 inside OMA: the frames behind the header are a plain MPEG audio stream (Layer III of
// MPEG-1, 2 or 2.5), so their sizes vary and the header's parameter bits say nothing reliable.
// The reader finds the first frames and reads the encoder's Xing/Info frame (the frame count,
// the delay and padding of a LAME-style extension). A file with a trustworthy count is not
// walked when it is opened; others are walked once to count their frames. Either way the
// stream's frames are then found as decoding reaches them, from checkpoints every
// kMp3CheckpointEvery frames, so the index stays small whatever the file holds. Pure: no
// Windows header; it reads untrusted bytes, so every frame is checked against the stream's
// first and against the end of the data, and every search is bounded.
#pragma once

#include <cstdint>
#include <memory>
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

// Bytes searched past the end of the last frame for the next one before the stream counts as
// ended: damage in a real file is far shorter, noise behind a header far longer.
constexpr int64_t kMaxMp3Skip = 1 << 20;

// One frame offset kept for every this many frames: 8 bytes per 64 frames, and a seek walks at
// most 63 frames' headers from the checkpoint before it.
constexpr int64_t kMp3CheckpointEvery = 64;

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
    int64_t bytes = -1;         // the stream's bytes, this frame included, -1 when it does not say
    int32_t encoderDelay = -1;  // from the LAME-style extension, -1 without one
    int32_t padding = -1;
};

// The tag in one whole frame whose header is given, or nothing when the frame holds audio.
std::optional<Mp3XingTag> ReadMp3XingTag(const Mp3Header& header, std::span<const uint8_t> frame);

// Main-data bytes of a frame: what follows its header, CRC and side information, where the bit
// reservoir lives.
int32_t Mp3MainDataSize(const Mp3Header& header);

// The fewest main-data bytes a frame of header's stream holds (its lowest bit rate, with a CRC):
// never below one.
int32_t Mp3LeastMainData(const Mp3Header& header);

// What the reader found of a stream.
struct Mp3Frames {
    Mp3Header first;                   // the first frame's header: version, rate, channel count
    std::optional<Mp3XingTag> tag;     // from a Xing/Info frame ahead of the audio
    int64_t end = 0;                   // where the data ends
    int64_t frames = 0;                // the audio frames: counted, or the tag's count
    bool counted = false;              // true when the frames were walked, false for the tag's count
    int64_t audioBytes = 0;            // the audio frames' bytes together, for the mean bit rate
    std::vector<int64_t> checkpoints;  // the offset of frame k x kMp3CheckpointEvery, k = 0, 1, ...
    int64_t walked = 0;                // frames the checkpoints reach: all of them when counted
};

// Finds the frames in [begin, end) of the file. A frame counts when its header agrees with the
// stream's first (version, rate, channel count) and it ends inside the data; after anything
// else the search goes on byte by byte for a header that another of the stream follows, so junk
// between frames is skipped, for at most kMaxMp3Skip bytes. The frames are counted unless a
// Xing/Info frame gives a count the data can hold and the data is as long as the tag says; at
// most maxFrames are counted (0: as many as the served WAV can hold, no more can be served).
// Nothing when not one frame is found.
std::optional<Mp3Frames> ReadMp3Frames(FileBytes& file, int64_t begin, int64_t end, int64_t maxFrames = 0);

// The frames of one stream in order, found as they are asked for: from the nearest checkpoint
// or the frame last found, walking forward and keeping a checkpoint every kMp3CheckpointEvery
// frames. Reads through a window of its own, many frames at a time.
class Mp3Index {
public:
    // file outlives the index.
    Mp3Index(FileBytes& file, const Mp3Frames& frames);
    ~Mp3Index();

    // Frame i's bytes, its header first, valid until the next call; empty when the stream has
    // no frame i (past its count, or past where its frames end) or the file cannot be read,
    // which Failed() then tells.
    std::span<const uint8_t> Frame(int64_t i);
    // Where frame i starts in the file, or nothing as for Frame.
    std::optional<int64_t> Offset(int64_t i);
    bool Failed() const { return failed_; }
    const Mp3Header& First() const { return first_; }

    // Frames whose place is known so far: what a seek far ahead has walked, for the tests.
    int64_t Walked() const { return walked_; }
    size_t Checkpoints() const { return checkpoints_.size(); }

    struct Walker;  // the walk's rules over a window, which the reader shares

private:
    struct Place {
        int64_t index = -1;
        int64_t offset = 0;
        int32_t size = 0;
    };
    std::optional<Place> PlaceAt(int64_t offset, int64_t index);

    std::unique_ptr<Walker> walker_;
    const Mp3Header first_;
    const int64_t frames_;
    std::vector<int64_t> checkpoints_;
    int64_t walked_;
    bool ended_ = false;  // the walk met the end of the frames: none at walked_ or after
    bool failed_ = false;
    std::optional<Place> last_;  // the frame last found
};
