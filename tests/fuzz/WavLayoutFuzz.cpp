// The WAV layout over arbitrary shapes: the header's fields read back (by their own offsets,
// little-endian) as the sizes, and every data byte maps to a decoded sample from which the
// byte's offset comes back, inside the frame that OffsetOfFrame places around it.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "oma/WavLayout.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t Take(int bytes) {
        uint64_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            value = value << 8 | (at_ < size_ ? data_[at_] : 0);
            ++at_;
        }
        return value;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

uint32_t Le(const uint8_t* at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = value << 8 | at[i];
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const auto channels = static_cast<int32_t>(in.Take(1) % 8 + 1);
    const auto sampleRate = static_cast<int32_t>(in.Take(3) % 192000 + 1);
    const auto samplesPerFrame = static_cast<int32_t>(in.Take(2) % 4096 + 1);
    const auto delay = static_cast<int32_t>(in.Take(2) % 8192);
    const auto samples = static_cast<int64_t>(in.Take(5) % static_cast<uint64_t>(MaxWavSamples(channels) + 1));
    const WavLayout layout(channels, sampleRate, samples, samplesPerFrame, delay);

    const auto h = layout.Header();
    FUZZ_REQUIRE(std::memcmp(&h[0], "RIFF", 4) == 0 && std::memcmp(&h[8], "WAVEfmt ", 8) == 0);
    FUZZ_REQUIRE(std::memcmp(&h[36], "data", 4) == 0);
    FUZZ_REQUIRE(Le(&h[16], 4) == 16 && Le(&h[20], 2) == 1 && Le(&h[34], 2) == 16);
    FUZZ_REQUIRE(static_cast<int32_t>(Le(&h[22], 2)) == channels);
    FUZZ_REQUIRE(static_cast<int32_t>(Le(&h[24], 4)) == sampleRate);
    FUZZ_REQUIRE(Le(&h[32], 2) == static_cast<uint32_t>(channels) * 2);
    FUZZ_REQUIRE(Le(&h[28], 4) == static_cast<uint32_t>(sampleRate) * static_cast<uint32_t>(channels) * 2);
    FUZZ_REQUIRE(int64_t{Le(&h[40], 4)} == samples * channels * 2);
    FUZZ_REQUIRE(int64_t{Le(&h[4], 4)} == samples * channels * 2 + 36);
    FUZZ_REQUIRE(layout.Size() == 44 + int64_t{Le(&h[40], 4)});

    if (layout.DataSize() == 0) {
        return 0;
    }
    for (int i = 0; i < 8; ++i) {
        const int64_t offset = 44 + static_cast<int64_t>(in.Take(5) % static_cast<uint64_t>(layout.DataSize()));
        const WavPlace p = layout.Locate(offset);
        FUZZ_REQUIRE(p.sampleInFrame >= 0 && p.sampleInFrame < samplesPerFrame);
        FUZZ_REQUIRE(p.byteInSample >= 0 && p.byteInSample < channels * 2);
        const int64_t decoded = p.frame * samplesPerFrame + p.sampleInFrame;
        FUZZ_REQUIRE(decoded >= delay && decoded < delay + samples);
        FUZZ_REQUIRE(44 + (decoded - delay) * channels * 2 + p.byteInSample == offset);
        FUZZ_REQUIRE(layout.OffsetOfFrame(p.frame) <= offset && offset < layout.OffsetOfFrame(p.frame + 1));
    }
    return 0;
}
