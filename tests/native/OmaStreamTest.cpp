#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>

#include "decode/OmaStream.h"
#include "decode/StdioFileBytes.h"
#include "tests/native/OmaBytes.h"
#include "tests/native/ReferenceDecode.h"

namespace {

using omabytes::Append;
using omabytes::Bytes;

// A file in memory that the stream owns: the test keeps the bytes alive.
struct MemoryFile {
    Bytes bytes;
    std::unique_ptr<FileBytes> Open() const { return std::make_unique<MemoryFileBytes>(bytes); }
};

bool HaveReference() {
    return reference::HaveFfmpeg() && !reference::MediaFiles().empty();
}

#define SKIP_WITHOUT_REFERENCE()                                                                     \
    if (!HaveReference()) {                                                                          \
        GTEST_SKIP() << "needs Debian's ffmpeg and the media in " << reference::MediaDir().string(); \
    }

std::vector<uint8_t> ReadAll(OmaStream& stream, int32_t chunk) {
    std::vector<uint8_t> bytes(static_cast<size_t>(stream.Size()));
    int64_t at = 0;
    while (at < stream.Size()) {
        const int32_t n = stream.Read(at, bytes.data() + at, chunk);
        EXPECT_GT(n, 0);
        if (n <= 0) {
            break;
        }
        at += n;
    }
    return bytes;
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// The served bytes from offset against the reference with the delay cut off, within one step
// per sample. Bytes past the reference's end must be silence.
void ExpectMatches(const std::vector<uint8_t>& served,
                   int64_t offset,
                   const std::vector<int16_t>& ref,
                   int32_t delay,
                   int32_t channels) {
    const int64_t begin = std::max<int64_t>(offset, kWavHeaderSize);
    int mismatches = 0;
    for (int64_t at = begin - (begin - kWavHeaderSize) % 2; at + 1 < offset + static_cast<int64_t>(served.size());
         at += 2) {
        const int64_t sample = (at - kWavHeaderSize) / 2 + int64_t{delay} * channels;
        const int32_t expected = sample < static_cast<int64_t>(ref.size()) ? ref[static_cast<size_t>(sample)] : 0;
        // Only whole samples inside the served range are compared.
        if (at < offset) {
            continue;
        }
        const auto lo = served[static_cast<size_t>(at - offset)];
        const auto hi = served[static_cast<size_t>(at - offset + 1)];
        const int32_t got = static_cast<int16_t>(static_cast<uint16_t>(lo | hi << 8));
        if (std::abs(got - expected) > 1 && ++mismatches <= 5) {
            ADD_FAILURE() << "byte " << at << " (sample " << sample << "): " << got << ", reference " << expected;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(OmaStreamFidelity, ContinuousReadingEqualsTheReferenceDecode) {
    SKIP_WITHOUT_REFERENCE();
    for (const auto& path : reference::MediaFiles()) {
        SCOPED_TRACE(path.filename().string());
        const auto ref = reference::FfmpegDecode(path);
        ASSERT_TRUE(ref.has_value());
        auto opened = OmaStream::Open(OpenStdioFile(path.c_str()));
        ASSERT_EQ(opened.status, OmaStatus::Ok);
        OmaStream& stream = *opened.stream;
        const OmaInfo& info = stream.Info();
        // The reference is not trimmed: it holds every frame's samples.
        EXPECT_EQ(static_cast<int64_t>(ref->size()), info.frames * info.samplesPerFrame * info.channels);
        EXPECT_EQ(stream.Size(), 44 + (info.frames * info.samplesPerFrame - info.delay) * info.channels * 2);

        // An odd chunk size, so reads straddle samples and frames.
        const std::vector<uint8_t> served = ReadAll(stream, 4099);
        EXPECT_EQ(std::string(served.begin(), served.begin() + 4), "RIFF");
        EXPECT_EQ(Le32(served, 4), stream.Size() - 8);
        EXPECT_EQ(Le32(served, 40), stream.Size() - 44);
        ExpectMatches(served, 0, *ref, info.delay, info.channels);
    }
}

TEST(OmaStreamFidelity, AfterRandomSeeksEqualsTheReferenceDecode) {
    SKIP_WITHOUT_REFERENCE();
    std::mt19937 random(20261209);
    for (const auto& path : reference::MediaFiles()) {
        SCOPED_TRACE(path.filename().string());
        const auto ref = reference::FfmpegDecode(path);
        ASSERT_TRUE(ref.has_value());
        auto opened = OmaStream::Open(OpenStdioFile(path.c_str()));
        ASSERT_EQ(opened.status, OmaStatus::Ok);
        OmaStream& stream = *opened.stream;
        const OmaInfo& info = stream.Info();
        const int64_t frameBytes = int64_t{info.samplesPerFrame} * info.channels * 2;

        std::vector<int64_t> offsets;
        for (int i = 0; i < 40; ++i) {
            offsets.push_back(std::uniform_int_distribution<int64_t>(0, stream.Size() - 1)(random));
        }
        // Frame starts, a step back inside the frame just read, the first data byte, the end.
        const int64_t middle = stream.Layout().OffsetOfFrame(info.frames / 2);
        offsets.push_back(middle);
        offsets.push_back(middle + frameBytes / 2);
        offsets.push_back(middle + 8);
        offsets.push_back(stream.Layout().OffsetOfFrame(3) - 1);
        offsets.push_back(44);
        offsets.push_back(stream.Size() - 3);
        for (int64_t offset : offsets) {
            SCOPED_TRACE(offset);
            const auto length = std::uniform_int_distribution<int32_t>(1, 3 * static_cast<int32_t>(frameBytes))(random);
            std::vector<uint8_t> served(static_cast<size_t>(length));
            const int32_t n = stream.Read(offset, served.data(), length);
            ASSERT_EQ(n, std::min<int64_t>(length, stream.Size() - offset));
            served.resize(static_cast<size_t>(n));
            ExpectMatches(served, offset, *ref, info.delay, info.channels);
        }
    }
}

TEST(OmaStreamFidelity, ReadsFromTwoThreadsAtOnce) {
    SKIP_WITHOUT_REFERENCE();
    const auto path = reference::MediaDir() / "atrac3_lp2_2500ms.oma";
    const auto ref = reference::FfmpegDecode(path);
    ASSERT_TRUE(ref.has_value());
    auto opened = OmaStream::Open(OpenStdioFile(path.c_str()));
    ASSERT_EQ(opened.status, OmaStatus::Ok);
    OmaStream& stream = *opened.stream;
    // One thread reads forwards, the other backwards: every read of one is a seek for the other.
    std::vector<uint8_t> forwards;
    std::vector<uint8_t> backwards(static_cast<size_t>(stream.Size()));
    std::thread other([&] {
        for (int64_t at = stream.Size(); at > 0;) {
            const int64_t from = std::max<int64_t>(at - 3000, 0);
            (void)stream.Read(from, backwards.data() + from, static_cast<int32_t>(at - from));
            at = from;
        }
    });
    forwards = ReadAll(stream, 2500);
    other.join();
    ExpectMatches(forwards, 0, *ref, kAtrac3Delay, 2);
    ExpectMatches(backwards, 0, *ref, kAtrac3Delay, 2);
}

TEST(OmaStreamVariants, TagInFrontCutFileAndTlen) {
    SKIP_WITHOUT_REFERENCE();
    const auto path = reference::MediaDir() / "atrac3_lp2_tone_10s.oma";
    const auto ref = reference::FfmpegDecode(path);
    ASSERT_TRUE(ref.has_value());
    const Bytes plain = reference::FileContents(path);

    // A tag with a TLEN of 2000 ms in front: 88200 samples.
    MemoryFile tagged;
    tagged.bytes = omabytes::Tag(3, 0, {0, 0, 0, 15}, omabytes::Frame3("TLEN", omabytes::Latin1(0, "2000")));
    Append(tagged.bytes, plain);
    auto withTag = OmaStream::Open(tagged.Open());
    ASSERT_EQ(withTag.status, OmaStatus::Ok);
    EXPECT_EQ(withTag.stream->Size(), 44 + 88200 * 4);
    ExpectMatches(ReadAll(*withTag.stream, 65536), 0, *ref, kAtrac3Delay, 2);

    // Cut inside frame 300 (of 432): 299 whole frames and a part. The ATRAC3 decoder is causal,
    // so the cut file's samples are the whole file's.
    MemoryFile cut;
    cut.bytes.assign(plain.begin(), plain.begin() + 96 + 299 * 384 + 200);
    auto cutStream = OmaStream::Open(cut.Open());
    ASSERT_EQ(cutStream.status, OmaStatus::Ok);
    EXPECT_EQ(cutStream.stream->Size(), 44 + (299 * 1024 - 1162) * 4);
    ExpectMatches(ReadAll(*cutStream.stream, 10000), 0, *ref, kAtrac3Delay, 2);
    uint8_t past[8];
    EXPECT_EQ(cutStream.stream->Read(cutStream.stream->Size(), past, 8), 0);
}

TEST(OmaStreamVariants, RefusedFiles) {
    SKIP_WITHOUT_REFERENCE();
    const Bytes plain = reference::FileContents(reference::MediaDir() / "atrac3_lp4_tone_10s.oma");

    MemoryFile encrypted{plain};
    encrypted.bytes[7] = 0x01;  // 0xFF01
    EXPECT_EQ(OmaStream::Open(encrypted.Open()).status, OmaStatus::Encrypted);

    // Frames the decoder rejects from the first: ATRAC3 frames start with a sound unit id.
    MemoryFile zeros{Bytes(plain.begin(), plain.begin() + 96)};
    zeros.bytes.resize(96 + 192 * 20, 0);
    auto opened = OmaStream::Open(zeros.Open());
    EXPECT_EQ(opened.status, OmaStatus::Undecodable);
    EXPECT_EQ(opened.stream, nullptr);

    MemoryFile headerOnly{Bytes(plain.begin(), plain.begin() + 96)};
    EXPECT_EQ(OmaStream::Open(headerOnly.Open()).status, OmaStatus::NoFrames);
    EXPECT_EQ(OmaStream::Open(nullptr).status, OmaStatus::NotOma);
}

TEST(OmaStreamVariants, DamagedFramesPlayAsSilenceAndTheRestStays) {
    SKIP_WITHOUT_REFERENCE();
    const auto path = reference::MediaDir() / "atrac3_lp2_tone_10s.oma";
    const auto ref = reference::FfmpegDecode(path);
    ASSERT_TRUE(ref.has_value());
    MemoryFile damaged{reference::FileContents(path)};
    // Frame 100's sound unit id zeroed: that frame plays as silence, the two after it miss
    // what it would have left in the decoder, and from frame 103 on the decoding is the whole
    // file's. Read straight through, as playback does.
    std::memset(damaged.bytes.data() + 96 + 100 * 384, 0, 4);
    auto opened = OmaStream::Open(damaged.Open());
    ASSERT_EQ(opened.status, OmaStatus::Ok);
    OmaStream& stream = *opened.stream;
    const int64_t from = stream.Layout().OffsetOfFrame(99);
    std::vector<uint8_t> served(static_cast<size_t>(stream.Layout().OffsetOfFrame(110) - from));
    int64_t at = 0;
    while (at < static_cast<int64_t>(served.size())) {
        const auto n = stream.Read(from + at, served.data() + at,
                                   static_cast<int32_t>(std::min<int64_t>(1000, std::ssize(served) - at)));
        ASSERT_GT(n, 0);
        at += n;
    }
    const int64_t frameBytes = 1024 * 4;
    const auto silent = std::count(served.begin() + frameBytes, served.begin() + 2 * frameBytes, 0);
    EXPECT_EQ(silent, frameBytes);
    ExpectMatches(std::vector<uint8_t>(served.begin(), served.begin() + frameBytes), from, *ref, kAtrac3Delay, 2);
    const std::vector<uint8_t> after(served.begin() + 4 * frameBytes, served.end());
    ExpectMatches(after, from + 4 * frameBytes, *ref, kAtrac3Delay, 2);
}

TEST(OmaStreamVariants, RandomFramesBehindAGoodHeader) {
    SKIP_WITHOUT_REFERENCE();
    std::mt19937 random(7);
    for (const char* name : {"atrac3_lp2_2500ms.oma", "atrac3plus_352k_tone_10s.oma", "atrac3_lp4_tone_10s.oma"}) {
        SCOPED_TRACE(name);
        const Bytes plain = reference::FileContents(reference::MediaDir() / name);
        for (int round = 0; round < 3; ++round) {
            MemoryFile noise{Bytes(plain.begin(), plain.begin() + 96)};
            // Random bytes after a real first frame, so that the file opens and plays them.
            const size_t frame = plain[32] == 1 ? 2048 : (plain[35] == 0x18 ? 192 : 384);
            noise.bytes.insert(noise.bytes.end(), plain.begin() + 96, plain.begin() + 96 + static_cast<int64_t>(frame));
            while (noise.bytes.size() < plain.size()) {
                noise.bytes.push_back(static_cast<uint8_t>(random()));
            }
            auto opened = OmaStream::Open(noise.Open());
            ASSERT_EQ(opened.status, OmaStatus::Ok);
            const auto served = ReadAll(*opened.stream, 7777);
            EXPECT_EQ(static_cast<int64_t>(served.size()), opened.stream->Size());
        }
    }
}

TEST(OmaStreamVariants, LpcmIsSwappedToLittleEndianToItsLastWholeSample) {
    // Three frames of 256 stereo samples and 250 of a fourth, sample i of channel c holding
    // i * 2 + c - 700, then three bytes that are not a whole stereo sample.
    MemoryFile lpcm{omabytes::Header(4, 0)};
    for (int32_t i = 0; i < 3 * 256 + 250; ++i) {
        for (int32_t c = 0; c < 2; ++c) {
            const auto v = static_cast<uint16_t>(static_cast<int16_t>(i * 2 + c - 700));
            lpcm.bytes.push_back(static_cast<uint8_t>(v >> 8));
            lpcm.bytes.push_back(static_cast<uint8_t>(v));
        }
    }
    lpcm.bytes.resize(lpcm.bytes.size() + 3, 0x11);
    auto opened = OmaStream::Open(lpcm.Open());
    ASSERT_EQ(opened.status, OmaStatus::Ok);
    EXPECT_EQ(opened.stream->Info().frames, 4);
    ASSERT_EQ(opened.stream->Size(), 44 + 3 * 1024 + 1000);
    // In one read, in reads that straddle the short frame, and after a seek into it.
    EXPECT_EQ(ReadAll(*opened.stream, 1 << 20), ReadAll(*opened.stream, 333));
    const auto served = ReadAll(*opened.stream, 333);
    for (int32_t s = 0; s < (3 * 256 + 250) * 2; ++s) {
        const auto got = static_cast<int16_t>(static_cast<uint16_t>(served[44 + 2 * s] | served[45 + 2 * s] << 8));
        ASSERT_EQ(got, s - 700) << s;
    }
}

// The 176 kb/s medium's frames (256 bytes per channel, no joint stereo) padded with zeros to the
// 265 and 353 kb/s sizes, 384 and 512 bytes per channel: the decoder reads only the bits each
// sound unit holds, so the padded file must decode as its RealMedia twin does, through a header
// that says the larger size.
TEST(OmaStreamFidelity, TheLargerAtrac3FrameSizesDecodeFromTheHeaderAlone) {
    SKIP_WITHOUT_REFERENCE();
    const auto path = reference::MediaDir() / "atrac3_176k_3100ms.oma";
    if (!std::filesystem::exists(path)) {
        GTEST_SKIP() << "no " << path.string();
    }
    const auto ref = reference::FfmpegDecode(path);
    ASSERT_TRUE(ref.has_value());
    const Bytes plain = reference::FileContents(path);
    ASSERT_EQ(plain.size(), 96u + 135 * 512);
    for (const uint32_t perChannel : {384u, 512u}) {
        SCOPED_TRACE(perChannel);
        MemoryFile padded{omabytes::Header(0, 0x002000 | (2 * perChannel / 8))};
        for (size_t frame = 0; frame < 135; ++frame) {
            for (size_t channel = 0; channel < 2; ++channel) {
                const auto from = plain.begin() + static_cast<ptrdiff_t>(96 + frame * 512 + channel * 256);
                padded.bytes.insert(padded.bytes.end(), from, from + 256);
                padded.bytes.resize(padded.bytes.size() + perChannel - 256, 0);
            }
        }
        auto opened = OmaStream::Open(padded.Open());
        ASSERT_EQ(opened.status, OmaStatus::Ok);
        EXPECT_EQ(opened.stream->Info().frameSize, static_cast<int32_t>(2 * perChannel));
        EXPECT_EQ(opened.stream->Info().frames, 135);
        ExpectMatches(ReadAll(*opened.stream, 9999), 0, *ref, kAtrac3Delay, 2);
    }
}

// A clip shorter than the decoder's delay (two ATRAC3plus frames: 4096 samples, the delay 4464)
// is a file all the same: it opens, and its stream is a WAV with no samples.
TEST(OmaStreamVariants, AClipShorterThanTheDelayOpensWithNoSamples) {
    SKIP_WITHOUT_REFERENCE();
    const Bytes plain = reference::FileContents(reference::MediaDir() / "atrac3plus_352k_tone_10s.oma");
    MemoryFile clip{Bytes(plain.begin(), plain.begin() + 96 + 2 * 2048)};
    auto opened = OmaStream::Open(clip.Open());
    ASSERT_EQ(opened.status, OmaStatus::Ok);
    EXPECT_EQ(opened.stream->Info().frames, 2);
    EXPECT_EQ(opened.stream->Info().samples, 0);
    ASSERT_EQ(opened.stream->Size(), 44);
    const auto served = ReadAll(*opened.stream, 100);
    EXPECT_EQ(Le32(served, 4), 36u);
    EXPECT_EQ(Le32(served, 40), 0u);
    uint8_t past[8];
    EXPECT_EQ(opened.stream->Read(44, past, 8), 0);
}

TEST(OmaStreamReads, EdgesOfTheStream) {
    MemoryFile lpcm{omabytes::Header(4, 0)};
    lpcm.bytes.resize(96 + 2 * 1024, 0x01);
    auto opened = OmaStream::Open(lpcm.Open());
    ASSERT_EQ(opened.status, OmaStatus::Ok);
    OmaStream& stream = *opened.stream;
    ASSERT_EQ(stream.Size(), 44 + 2048);
    uint8_t buffer[100] = {};
    EXPECT_EQ(stream.Read(stream.Size() - 10, buffer, 100), 10);
    EXPECT_EQ(buffer[9], 0x01);
    EXPECT_EQ(stream.Read(stream.Size(), buffer, 100), 0);
    EXPECT_EQ(stream.Read(stream.Size() + 5, buffer, 100), 0);
    EXPECT_EQ(stream.Read(-1, buffer, 100), -1);
    EXPECT_EQ(stream.Read(0, buffer, -1), -1);
    EXPECT_EQ(stream.Read(0, buffer, 0), 0);
    // Header and data in one read.
    EXPECT_EQ(stream.Read(40, buffer, 8), 8);
    EXPECT_EQ(Le32(std::vector<uint8_t>(buffer, buffer + 4), 0), 2048u);
    EXPECT_EQ(buffer[4], 0x01);
}

}  // namespace
