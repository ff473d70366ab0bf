// The extended read's PCM against Debian's ffmpeg decode of the same file with the decoder's
// start-up delay cut off: whole files in odd chunk sizes, and from arbitrary times.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "decode/PcmReader.h"
#include "decode/StdioFileBytes.h"
#include "tests/native/ReferenceDecode.h"

namespace {

#define SKIP_WITHOUT_REFERENCE()                                                                     \
    if (!reference::HaveFfmpeg() || reference::MediaFiles().empty()) {                               \
        GTEST_SKIP() << "needs Debian's ffmpeg and the media in " << reference::MediaDir().string(); \
    }

std::unique_ptr<PcmReader> Open(const std::filesystem::path& path) {
    return PcmReader::Open(OpenStdioFile(path.c_str()));
}

std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    }
    return samples;
}

// How many samples differ by more than one step from the reference, from the given sample on.
int Mismatches(const std::vector<int16_t>& got, const std::vector<int16_t>& ref, size_t refStart) {
    int bad = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        const int32_t want = refStart + i < ref.size() ? ref[refStart + i] : 0;
        bad += std::abs(got[i] - want) > 1;
    }
    return bad;
}

TEST(PcmReader, WholeFilesInOddChunksEqualTheReference) {
    SKIP_WITHOUT_REFERENCE();
    const size_t chunks[] = {5, 4095, 4096, 17, 65536 * 3 + 2};
    size_t turn = 0;
    for (const auto& path : reference::MediaFiles()) {
        const auto ref = reference::FfmpegDecode(path);
        ASSERT_TRUE(ref);
        auto reader = Open(path);
        ASSERT_TRUE(reader) << path;
        ASSERT_EQ(reader->BitsPerSample(), 16);
        const int32_t channels = reader->Channels();
        const int32_t delay = path.filename().string().find("atrac3plus") == 0 ? 4464 : 1162;

        const size_t chunk = chunks[turn++ % std::size(chunks)];
        std::vector<uint8_t> all;
        std::vector<uint8_t> buffer(chunk);
        while (true) {
            const int64_t got = reader->Read(buffer.data(), chunk, [] { return true; });
            ASSERT_GE(got, 0);
            if (got == 0) {
                break;
            }
            EXPECT_EQ(got % (channels * 2), 0) << "whole samples only";
            all.insert(all.end(), buffer.begin(), buffer.begin() + got);
        }
        EXPECT_EQ(static_cast<int64_t>(all.size()), reader->Bytes()) << path;
        EXPECT_EQ(Mismatches(Samples(all), *ref, static_cast<size_t>(delay) * channels), 0)
            << path << " in chunks of " << chunk;
        EXPECT_EQ(reader->Read(buffer.data(), chunk, [] { return true; }), 0) << "the end stays the end";
    }
}

TEST(PcmReader, SeeksLandOnTheExactSample) {
    SKIP_WITHOUT_REFERENCE();
    std::mt19937 random(7);
    for (const auto& path : reference::MediaFiles()) {
        const auto ref = reference::FfmpegDecode(path);
        ASSERT_TRUE(ref);
        auto reader = Open(path);
        ASSERT_TRUE(reader);
        const int32_t channels = reader->Channels();
        const int32_t delay = path.filename().string().find("atrac3plus") == 0 ? 4464 : 1162;
        const int64_t lengthMs = reader->Bytes() / (channels * 2) * 1000 / reader->SampleRate();
        for (int i = 0; i < 6; ++i) {
            const int32_t ms = std::uniform_int_distribution<int32_t>(0, static_cast<int32_t>(lengthMs))(random);
            reader->SeekMs(ms);
            std::vector<uint8_t> bytes(4000);
            const int64_t got = reader->Read(bytes.data(), bytes.size(), [] { return true; });
            bytes.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
            const size_t sample = static_cast<size_t>(int64_t{ms} * reader->SampleRate() / 1000);
            EXPECT_EQ(Mismatches(Samples(bytes), *ref, (sample + delay) * channels), 0)
                << path << " at " << ms << " ms";
        }
        // Past the end: nothing more; before the start: the start.
        reader->SeekMs(lengthMs + 5000);
        uint8_t byte[4];
        EXPECT_EQ(reader->Read(byte, 4, [] { return true; }), 0);
        reader->SeekMs(-300);
        EXPECT_EQ(reader->Read(byte, 4, [] { return true; }), 4);
    }
}

// A buffer too small for one sample gets nothing, and the reads after it start where they would
// have: a byte read there would shift every later sample by a byte.
TEST(PcmReader, AReadSmallerThanOneSampleTakesNothing) {
    SKIP_WITHOUT_REFERENCE();
    const auto path = reference::MediaDir() / "atrac3_lp2_2500ms.oma";
    const auto ref = reference::FfmpegDecode(path);
    ASSERT_TRUE(ref);
    auto reader = Open(path);
    ASSERT_TRUE(reader);
    std::vector<uint8_t> bytes(4096);
    for (const size_t small : {1, 2, 3}) {
        EXPECT_EQ(reader->Read(bytes.data(), small, [] { return true; }), 0) << small;
    }
    ASSERT_EQ(reader->Read(bytes.data(), bytes.size(), [] { return true; }), 4096);
    EXPECT_EQ(Mismatches(Samples(bytes), *ref, 1162 * 2), 0);
    // And in the middle of the stream, after a seek.
    reader->SeekMs(1000);
    EXPECT_EQ(reader->Read(bytes.data(), 3, [] { return true; }), 0);
    ASSERT_EQ(reader->Read(bytes.data(), bytes.size(), [] { return true; }), 4096);
    EXPECT_EQ(Mismatches(Samples(bytes), *ref, (44100 + 1162) * 2), 0);
}

TEST(PcmReader, ALongReadStopsWhenCancelledAndRefusedFilesGiveNoReader) {
    SKIP_WITHOUT_REFERENCE();
    auto reader = Open(reference::MediaFiles().front());
    ASSERT_TRUE(reader);
    std::vector<uint8_t> big(1 << 20);
    int asked = 0;
    const int64_t got = reader->Read(big.data(), big.size(), [&] { return ++asked < 2; });
    EXPECT_GT(got, 0);
    EXPECT_LT(got, static_cast<int64_t>(big.size()));

    OmaStatus status = OmaStatus::Ok;
    std::vector<uint8_t> junk(5000, 0x5A);
    EXPECT_FALSE(PcmReader::Open(std::make_unique<MemoryFileBytes>(junk), &status));
    EXPECT_EQ(status, OmaStatus::NotOma);
    EXPECT_FALSE(PcmReader::Open(nullptr));
}

}  // namespace
