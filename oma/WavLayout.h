// The 16-bit PCM WAV that the engine's OMA source serves in place of the file: a 44-byte RIFF
// header, then the decoded samples with the decoder's start-up delay cut off. The source maps a
// byte offset that DirectShow asks for to the frame that must be decoded for it, and a WAVE
// parser takes the header's sizes as the truth, so they are exact. Pure: no Windows header.
#pragma once

#include <array>
#include <cstdint>

constexpr int32_t kWavHeaderSize = 44;

// Where a byte of the WAV's data lies in the decoder's output.
struct WavPlace {
    int64_t frame = 0;          // the frame that must be decoded
    int32_t sampleInFrame = 0;  // the sample within that frame's output, per channel
    int32_t byteInSample = 0;   // the byte within that sample's interleaved channels
};

class WavLayout {
public:
    // samples is the stream's length per channel; delay the decoded samples that precede it.
    WavLayout(int32_t channels, int32_t sampleRate, int64_t samples, int32_t samplesPerFrame, int32_t delay);

    int32_t Channels() const { return channels_; }
    int32_t SampleRate() const { return sampleRate_; }
    int64_t Samples() const { return samples_; }
    int32_t BlockAlign() const { return channels_ * 2; }
    int64_t DataSize() const { return samples_ * BlockAlign(); }
    int64_t Size() const { return kWavHeaderSize + DataSize(); }

    // The RIFF header: PCM, 16 bits, the RIFF and data chunk sizes from the length.
    std::array<uint8_t, kWavHeaderSize> Header() const;

    // The decoded sample behind a data byte; offset in [kWavHeaderSize, Size()).
    WavPlace Locate(int64_t offset) const;

    // The WAV offset of a decoded frame's first sample; below kWavHeaderSize for the frames
    // that the delay covers, past Size() for those beyond the stream's end.
    int64_t OffsetOfFrame(int64_t frame) const;

private:
    int32_t channels_;
    int32_t sampleRate_;
    int64_t samples_;
    int32_t samplesPerFrame_;
    int32_t delay_;
};

// The most samples per channel whose data the RIFF sizes (32 bits) can still count.
int64_t MaxWavSamples(int32_t channels);
