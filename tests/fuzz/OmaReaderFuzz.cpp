// The OMA reader over arbitrary files. It never reads outside the file, answers the same twice,
// and what it accepts is consistent: the frames it counts lie inside the file, the parameters
// are ones the decoders take, and the length follows the delay rule or a TLEN without passing
// what the frames hold.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "oma/Ea3Tag.h"
#include "oma/OmaFile.h"
#include "oma/WavLayout.h"
#include "tests/fuzz/CheckedFile.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

// MP3: every indexed frame is a Layer III frame of the first one's stream, inside the file, in
// order and apart; the length never passes what the frames hold.
void CheckMp3(const OmaRead& read, FileBytes& file, int64_t size) {
    const OmaInfo& info = read.info;
    const Mp3Frames& mp3 = read.mp3;
    FUZZ_REQUIRE(info.frames >= 1 && static_cast<size_t>(info.frames) == mp3.offsets.size());
    FUZZ_REQUIRE(mp3.sizes.size() == mp3.offsets.size());
    int64_t end = info.dataOffset;
    for (size_t i = 0; i < mp3.offsets.size(); ++i) {
        FUZZ_REQUIRE(mp3.offsets[i] >= end && mp3.offsets[i] + mp3.sizes[i] <= size);
        std::array<uint8_t, 4> head{};
        FUZZ_REQUIRE(file.ReadAt(mp3.offsets[i], head.data(), 4));
        const auto h = ParseMp3Header(std::span<const uint8_t, 4>(head));
        FUZZ_REQUIRE(h && h->size == mp3.sizes[i] && h->sampleRate == info.sampleRate && h->channels == info.channels);
        end = mp3.offsets[i] + mp3.sizes[i];
    }
    FUZZ_REQUIRE(info.sampleRate >= 8000 && info.sampleRate <= 48000);
    FUZZ_REQUIRE(info.samplesPerFrame == 1152 || info.samplesPerFrame == 576);
    FUZZ_REQUIRE(info.delay >= kMp3DecoderDelay);
    FUZZ_REQUIRE(info.samples > 0 && info.samples <= info.frames * info.samplesPerFrame);
}

void CheckAccepted(const OmaInfo& info, int64_t size) {
    FUZZ_REQUIRE(info.codec == OmaCodec::Atrac3 || info.codec == OmaCodec::Atrac3Plus || info.codec == OmaCodec::Lpcm);
    FUZZ_REQUIRE(info.encryptionId == 0xFFFF || info.encryptionId == 0xFF80);
    FUZZ_REQUIRE(info.dataOffset >= kEa3HeaderSize && info.frames >= 1);
    FUZZ_REQUIRE(info.channels == 1 || info.channels == 2);
    FUZZ_REQUIRE(info.sampleRate >= 32000 && info.sampleRate <= 96000);
    int64_t decoded = info.frames * info.samplesPerFrame;
    if (info.codec == OmaCodec::Lpcm) {
        // Every whole sample counts; the last frame may be short.
        decoded = (size - info.dataOffset) / (info.channels * 2);
        FUZZ_REQUIRE(decoded > (info.frames - 1) * info.samplesPerFrame &&
                     decoded <= info.frames * info.samplesPerFrame);
    } else {
        FUZZ_REQUIRE(info.dataOffset + info.frames * info.frameSize <= size);
        FUZZ_REQUIRE(size - (info.dataOffset + info.frames * info.frameSize) < info.frameSize);
    }
    if (info.codec == OmaCodec::Atrac3) {
        FUZZ_REQUIRE(info.frameSize > 0 && info.frameSize <= 4096 && info.frameSize % 8 == 0);
        FUZZ_REQUIRE(info.channels == 2 && info.samplesPerFrame == 1024);
    }
    // A clip within the decoder's delay has no samples, and is a file all the same.
    FUZZ_REQUIRE(info.samples >= 0 && info.samples <= decoded && info.samples <= MaxWavSamples(info.channels));
    if (info.tagLengthMs > 0) {
        FUZZ_REQUIRE(info.samples > 0);
    }
    if (info.tagLengthMs < 0) {
        FUZZ_REQUIRE(info.samples ==
                     std::min(std::max<int64_t>(decoded - info.delay, 0), MaxWavSamples(info.channels)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    CheckedFile file(bytes);
    const OmaRead read = ReadOma(file);
    const OmaRead again = ReadOma(file);
    FUZZ_REQUIRE(read.status == again.status && read.info.samples == again.info.samples &&
                 read.info.dataOffset == again.info.dataOffset && read.info.tagLengthMs == again.info.tagLengthMs);

    switch (read.status) {
        case OmaStatus::Ok:
            if (read.info.codec == OmaCodec::Mp3) {
                CheckMp3(read, file, file.Size());
            } else {
                CheckAccepted(read.info, file.Size());
            }
            break;
        case OmaStatus::Encrypted:
            FUZZ_REQUIRE(read.info.encryptionId != 0xFFFF && read.info.encryptionId != 0xFF80);
            break;
        case OmaStatus::UnsupportedCodec:
            FUZZ_REQUIRE(read.info.codec != OmaCodec::Atrac3 && read.info.codec != OmaCodec::Atrac3Plus &&
                         read.info.codec != OmaCodec::Lpcm && read.info.codec != OmaCodec::Mp3);
            break;
        case OmaStatus::Undecodable:
        case OmaStatus::NeedsSse2:
            FUZZ_REQUIRE(false);  // only the stream, once it has tried a decoder, says so
            break;
        default:
            break;
    }
    FUZZ_REQUIRE(read.info.tagLengthMs == -1 || read.info.tagLengthMs > 0);

    // The same bytes as one TLEN frame's content.
    const int64_t ms = ParseTlenContent(bytes);
    FUZZ_REQUIRE(ms == -1 || (ms > 0 && ms <= 1'000'000'000'000));
    return 0;
}
