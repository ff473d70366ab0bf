// The PCM WAV that the engine's OMA source serves: the file's frames decoded on demand at
// whatever offset DirectShow asks for, behind the 44-byte header, with the decoder's start-up
// delay cut off. Reads arrive on the parser's thread while the player's thread may ask for the
// length, so the decoder state sits behind one lock. Pure: no Windows header.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "decode/AtracDecoder.h"
#include "decode/ByteStream.h"
#include "oma/FileBytes.h"
#include "oma/OmaFile.h"
#include "oma/WavLayout.h"

class OmaStream final : public ByteStream {
public:
    struct Opened;

    // Reads the file's header, opens its decoder and decodes its first frame: a file counts as
    // playable only then. On any refusal the stream is null and the status says why.
    static Opened Open(std::unique_ptr<FileBytes> file);

    // What the reader found: codec, rate, channels, frames and the length in samples.
    const OmaInfo& Info() const { return info_; }
    const WavLayout& Layout() const { return layout_; }

    int64_t Size() const override { return layout_.Size(); }
    int32_t Read(int64_t offset, uint8_t* out, int32_t length) override;

    // Frames decoded and thrown away before the target after a seek, so that the decoder's
    // overlap, filter and bit reservoir state is what continuous decoding would have there.
    int64_t PrerollFrames(int64_t target);

private:
    // Only Open makes one, through make_unique.
    struct Key {
        explicit Key() = default;
    };

public:
    OmaStream(Key, std::unique_ptr<FileBytes> file, OmaRead read, std::unique_ptr<AtracDecoder> decoder);

private:
    // Decodes up to `frame`, that one into `into` (output_ or the caller's buffer); false when
    // the file cannot be read.
    bool DecodeTo(int64_t frame, std::span<int16_t> into);
    bool DecodeOne(int64_t frame, std::span<int16_t> into);
    // The frame's bytes, from the read-ahead window; empty when the file cannot be read.
    std::span<const uint8_t> FrameBytes(int64_t frame);

    const std::unique_ptr<FileBytes> file_;
    const OmaInfo info_;
    std::unique_ptr<Mp3Index> mp3_;  // MP3's frames, found as they are asked for; null for the others
    const WavLayout layout_;
    const std::array<uint8_t, kWavHeaderSize> header_;

    std::mutex mutex_;  // guards everything below, and mp3_
    std::unique_ptr<AtracDecoder> decoder_;
    std::vector<uint8_t> window_;  // file bytes from windowStart_, read many frames at a time
    int64_t windowStart_ = 0;
    int32_t windowLength_ = 0;
    std::vector<int16_t> output_;  // the decoded frame cached_, when a read took only part of it
    int64_t current_ = -1;         // the frame last decoded; -1 since the decoder was (re)opened
    int64_t cached_ = -1;          // the frame output_ holds, -1 for none
};

struct OmaStream::Opened {
    OmaStatus status = OmaStatus::NotOma;
    OmaInfo info;  // as far as the reader got
    std::unique_ptr<OmaStream> stream;
};
