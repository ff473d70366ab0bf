// The OMA reader over arbitrary files. It never reads outside the file, answers the same twice,
// and what it accepts is consistent: the frames it counts lie inside the file, the parameters
// are ones the decoders take, and the length follows the delay rule or a TLEN without passing
// what the frames hold.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "oma/Ea3Tag.h"
#include "oma/OmaFile.h"
#include "oma/WavLayout.h"
#include "tests/fuzz/CheckedFile.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

// MP3: every frame the index finds is a Layer III frame of the first one's stream, inside the
// file, in order and apart, found alike in order and after a jump back; a counted stream has
// them all; the checkpoints stay within one a block of frames; the length never passes what
// the frames hold.
void CheckMp3(const OmaRead& read, FileBytes& file, int64_t size) {
    const OmaInfo& info = read.info;
    const Mp3Frames& mp3 = read.mp3;
    FUZZ_REQUIRE(info.frames >= 1 && info.frames == mp3.frames);
    FUZZ_REQUIRE(!mp3.counted || mp3.walked == mp3.frames);
    Mp3Index index(file, mp3);
    int64_t end = info.dataOffset;
    int64_t found = 0;
    std::vector<int64_t> offsets;
    for (int64_t i = 0; i < info.frames && i < 1024; ++i) {
        const auto offset = index.Offset(i);
        if (!offset) {
            break;
        }
        const std::span<const uint8_t> bytes = index.Frame(i);
        FUZZ_REQUIRE(bytes.size() >= 4 && *offset >= end && *offset + static_cast<int64_t>(bytes.size()) <= size);
        const auto h = ParseMp3Header(std::span<const uint8_t, 4>(bytes.data(), 4));
        FUZZ_REQUIRE(h && h->size == static_cast<int32_t>(bytes.size()) && h->sampleRate == info.sampleRate &&
                     h->channels == info.channels);
        end = *offset + h->size;
        offsets.push_back(*offset);
        ++found;
    }
    FUZZ_REQUIRE(!index.Failed());
    FUZZ_REQUIRE(!mp3.counted || found == std::min<int64_t>(info.frames, 1024));
    FUZZ_REQUIRE(index.Checkpoints() <= static_cast<size_t>(index.Walked() / kMp3CheckpointEvery + 1));
    // Back again, every seventh frame: each is walked from the checkpoint before it.
    for (size_t i = offsets.size(); i-- > 0;) {
        if (i % 7 == 0 || i + 1 == offsets.size()) {
            FUZZ_REQUIRE(index.Offset(static_cast<int64_t>(i)) == offsets[i]);
        }
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
    FUZZ_REQUIRE(info.samples >= 0 && info.samples <= decoded && info.samples <= MaxServedSamples(info.channels));
    if (info.tagLengthMs > 0) {
        FUZZ_REQUIRE(info.samples > 0);
    }
    if (info.tagLengthMs < 0) {
        FUZZ_REQUIRE(info.samples ==
                     std::min(std::max<int64_t>(decoded - info.delay, 0), MaxServedSamples(info.channels)));
    }
}

// Inputs that start with 0xF0-0xFF stand for the rest repeated 16 to 256 times: chains of tag
// blocks and runs of MP3 frames long enough to reach the reader's bounds (the count of tag
// blocks, the index's checkpoints) from a small input.
std::vector<uint8_t> Synthesised(const uint8_t* data, size_t size) {
    if (size < 2 || data[0] < 0xF0) {
        return {};
    }
    const size_t times = (data[0] - 0xF0 + 1) * size_t{16};
    std::vector<uint8_t> file;
    file.reserve((size - 1) * times);
    for (size_t i = 0; i < times; ++i) {
        file.insert(file.end(), data + 1, data + size);
    }
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> synthesised = Synthesised(data, size);
    const std::span<const uint8_t> bytes =
        synthesised.empty() ? std::span<const uint8_t>(data, size) : std::span<const uint8_t>(synthesised);
    CheckedFile file(bytes);
    const OmaRead read = ReadOma(file);
    const OmaRead again = ReadOma(file);
    FUZZ_REQUIRE(read.status == again.status && read.info.samples == again.info.samples &&
                 read.info.dataOffset == again.info.dataOffset && read.info.tagLengthMs == again.info.tagLengthMs);

    FUZZ_REQUIRE(read.status != OmaStatus::TooManyTags || bytes.size() > size_t{kMaxTagBlocks} * kEa3TagHeaderSize);
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
