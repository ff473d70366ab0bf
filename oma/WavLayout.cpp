#include "oma/WavLayout.h"

#include <cassert>

namespace {

void Put32(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
    at[3] = static_cast<uint8_t>(value >> 24);
}

void Put16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void PutId(uint8_t* at, const char (&id)[5]) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(id[i]);
    }
}

}  // namespace

WavLayout::WavLayout(int32_t channels, int32_t sampleRate, int64_t samples, int32_t samplesPerFrame, int32_t delay)
    : channels_(channels),
      sampleRate_(sampleRate),
      samples_(samples),
      samplesPerFrame_(samplesPerFrame),
      delay_(delay) {
    assert(channels > 0 && samplesPerFrame > 0 && delay >= 0 && samples >= 0);
    assert(samples <= MaxWavSamples(channels));
}

std::array<uint8_t, kWavHeaderSize> WavLayout::Header() const {
    std::array<uint8_t, kWavHeaderSize> h{};
    const auto dataSize = static_cast<uint32_t>(DataSize());
    PutId(&h[0], "RIFF");
    Put32(&h[4], dataSize + (kWavHeaderSize - 8));
    PutId(&h[8], "WAVE");
    PutId(&h[12], "fmt ");
    Put32(&h[16], 16);
    Put16(&h[20], 1);  // PCM
    Put16(&h[22], static_cast<uint32_t>(channels_));
    Put32(&h[24], static_cast<uint32_t>(sampleRate_));
    Put32(&h[28], static_cast<uint32_t>(sampleRate_) * static_cast<uint32_t>(BlockAlign()));
    Put16(&h[32], static_cast<uint32_t>(BlockAlign()));
    Put16(&h[34], 16);
    PutId(&h[36], "data");
    Put32(&h[40], dataSize);
    return h;
}

WavPlace WavLayout::Locate(int64_t offset) const {
    assert(offset >= kWavHeaderSize && offset < Size());
    const int64_t dataByte = offset - kWavHeaderSize;
    const int64_t decodedSample = dataByte / BlockAlign() + delay_;
    WavPlace place;
    place.frame = decodedSample / samplesPerFrame_;
    place.sampleInFrame = static_cast<int32_t>(decodedSample % samplesPerFrame_);
    place.byteInSample = static_cast<int32_t>(dataByte % BlockAlign());
    return place;
}

int64_t WavLayout::OffsetOfFrame(int64_t frame) const {
    return kWavHeaderSize + (frame * samplesPerFrame_ - delay_) * BlockAlign();
}

int64_t MaxWavSamples(int32_t channels) {
    // The RIFF size counts the data and the 36 header bytes after itself.
    return (int64_t{0xFFFFFFFF} - (kWavHeaderSize - 8)) / (int64_t{channels} * 2);
}
