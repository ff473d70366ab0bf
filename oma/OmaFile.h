// What an OMA file holds, read from its front: any "ea3" tag blocks, then the 96-byte "EA3"
// header that names the codec and its parameters, then frames of one fixed size up to the end.
// The engine asks this before it builds anything, and the answer decides its message: every
// refusal has its own status. Pure: no Windows header; it reads untrusted bytes inside the
// player's process, so every size is checked against the file before it is used.
#pragma once

#include <cstdint>

#include "oma/Ea3Tag.h"
#include "oma/FileBytes.h"
#include "oma/Mp3Frames.h"

enum class OmaStatus {
    Ok,
    NotOma,            // no "EA3" header where one should be
    TruncatedHeader,   // the header starts but the file ends inside it
    TagPastEnd,        // a tag block's size runs past the end of the file
    Encrypted,         // OpenMG: an encryption id other than 0xFFFF and 0xFF80
    UnsupportedCodec,  // MP3, WMA, the lossless variants, unknown codec ids
    BadParameters,     // a codec we serve, with parameters its decoder would refuse
    NoFrames,          // not one whole frame of audio behind the header
    Undecodable,       // the decoder refused the parameters or the first frame
    NeedsSse2,         // the decoder is built for SSE2, which this processor lacks
    TooManyTags,       // more tag blocks in front of the header than any writer puts there
};

// Bounds on the tag blocks, which a file controls: no more blocks than this before the header
// (a file of empty blocks would cost two reads each), no more of their bytes read for text in
// all, and no more of their frames walked one by one past a picture.
constexpr int32_t kMaxTagBlocks = 64;
constexpr int64_t kMaxTagBytesRead = 4 << 20;
constexpr int32_t kMaxTagFramesWalked = 1024;

enum class OmaCodec { Atrac3, Atrac3Plus, Lpcm, Mp3, Wma, Atrac3PlusLossless, Atrac3Lossless, Unknown };

constexpr int32_t kEa3HeaderSize = 96;

// Samples (per channel) the decoders put out before the encoder's first input sample. Measured
// on tones with a known start (tests/native/DecoderDelayTest.cpp): the fitted tone phase of
// Debian's ffmpeg decode, both channels agreeing, placed by the tone's half-amplitude onset.
constexpr int32_t kAtrac3Delay = 1162;
constexpr int32_t kAtrac3PlusDelay = 4464;

struct OmaInfo {
    OmaCodec codec = OmaCodec::Unknown;
    int32_t codecId = -1;      // the header's codec byte
    uint32_t codecParams = 0;  // its 24-bit parameter word
    int32_t encryptionId = 0;  // 0xFFFF or 0xFF80 for a plain file
    int32_t frameSize = 0;     // bytes per frame; for MP3 the frames' mean size, rounded
    int32_t sampleRate = 0;    // Hz
    int32_t channels = 0;
    int32_t bitRate = 0;          // bits per second: for MP3 the mean over the frames, else the frame size's
    bool jointStereo = false;     // ATRAC3 only
    int32_t samplesPerFrame = 0;  // per channel
    int32_t delay = 0;            // decoded samples before the first real one
    int64_t dataOffset = 0;       // the first frame's byte offset in the file
    int64_t frames = 0;           // whole frames in the file
    int64_t tagLengthMs = -1;     // a tag's TLEN, -1 without one
    int64_t samples = 0;          // the stream's length in samples per channel
};

struct OmaRead {
    OmaStatus status = OmaStatus::NotOma;
    OmaInfo info;   // filled as far as the reader got: the codec of a refused file is known
    Ea3Tags tags;   // the text of every tag block read
    Mp3Frames mp3;  // MP3 only: the first frames, the encoder's header and the checkpoints
};

// The most samples per channel a stream serves: what a stereo WAV's sizes can count, for mono
// too. Wine's WAVE parser never answers for a mono WAV of more (measured: 1.04e9 samples play,
// 1.12e9 leave RenderFile waiting for good); that is 6.8 hours at 44.1 kHz.
int64_t MaxServedSamples(int32_t channels);

// Reads the tags and the header and works out the stream's length:
//   frames x samples per frame - delay, or the TLEN when a tag holds one (never more than
//   frames x samples per frame; what the decoder does not cover up to it is silence).
// MP3's frames are counted from their own headers, or taken from a Xing/Info frame's count
// (oma/Mp3Frames); its length is frames x
// samples per frame less the encoder's delay and padding and the decoder's own 529 samples of
// delay (the delay alone, without a LAME-style header), capped by a TLEN.
OmaRead ReadOma(FileBytes& file);
