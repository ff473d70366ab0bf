#include <gtest/gtest.h>

#include <vector>

#include "oma/WavLayout.h"

namespace {

TEST(WavLayout, HeaderBytes) {
    // Stereo 44.1 kHz, 441206 samples: data 1764824 = 0x1AEDD8 bytes, RIFF 0x1AEDFC, 176400 = 0x2B110
    // bytes a second.
    const WavLayout stereo(2, 44100, 441206, 1024, 1162);
    const std::vector<uint8_t> expected = {
        'R',  'I',  'F', 'F', 0xFC, 0xED, 0x1A, 0x00, 'W', 'A',  'V',  'E',  'f',  'm',  't',
        ' ',  16,   0,   0,   0,    1,    0,    2,    0,   0x44, 0xAC, 0,    0,    0x10, 0xB1,
        0x02, 0x00, 4,   0,   16,   0,    'd',  'a',  't', 'a',  0xD8, 0xED, 0x1A, 0x00,
    };
    const auto header = stereo.Header();
    EXPECT_EQ(std::vector<uint8_t>(header.begin(), header.end()), expected);
    EXPECT_EQ(stereo.Size(), 44 + 1764824);

    // Mono 1680 samples: data 0xD20, RIFF 0xD44, 88200 = 0x15888 bytes a second.
    const WavLayout mono(1, 44100, 1680, 2048, 4464);
    const std::vector<uint8_t> expectedMono = {
        'R',  'I',  'F', 'F', 0x44, 0x0D, 0,   0,   'W', 'A',  'V',  'E',  'f', 'm',  't',
        ' ',  16,   0,   0,   0,    1,    0,   1,   0,   0x44, 0xAC, 0,    0,   0x88, 0x58,
        0x01, 0x00, 2,   0,   16,   0,    'd', 'a', 't', 'a',  0x20, 0x0D, 0,   0,
    };
    const auto monoHeader = mono.Header();
    EXPECT_EQ(std::vector<uint8_t>(monoHeader.begin(), monoHeader.end()), expectedMono);
}

TEST(WavLayout, HeaderAtTheLargestCountableLength) {
    // (2^32 - 1 - 36) / 4 = 1073741814 samples: data 4294967256 = 0xFFFFFFD8, RIFF 0xFFFFFFFC.
    EXPECT_EQ(MaxWavSamples(2), 1073741814);
    EXPECT_EQ(MaxWavSamples(1), 2147483629);
    const auto h = WavLayout(2, 44100, 1073741814, 1024, 1162).Header();
    EXPECT_EQ((std::vector<uint8_t>(h.begin() + 4, h.begin() + 8)), (std::vector<uint8_t>{0xFC, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ((std::vector<uint8_t>(h.begin() + 40, h.end())), (std::vector<uint8_t>{0xD8, 0xFF, 0xFF, 0xFF}));
}

struct PlaceRow {
    int32_t channels;
    int32_t samplesPerFrame;
    int32_t delay;
    int64_t offset;
    int64_t frame;
    int32_t sampleInFrame;
    int32_t byteInSample;
};

TEST(WavLayout, LocatesDataBytesInTheDecodedFrames) {
    const PlaceRow rows[] = {
        // ATRAC3: the first served sample is decoded sample 1162, frame 1's 138th.
        {2, 1024, 1162, 44, 1, 138, 0},
        {2, 1024, 1162, 47, 1, 138, 3},
        {2, 1024, 1162, 48, 1, 139, 0},
        // Served sample 885 is decoded 2047, frame 1's last; 886 opens frame 2.
        {2, 1024, 1162, 44 + 885 * 4 + 3, 1, 1023, 3},
        {2, 1024, 1162, 44 + 886 * 4, 2, 0, 0},
        {2, 1024, 1162, 44 + 886 * 4 + 1024 * 4 * 100 + 6, 102, 1, 2},
        // ATRAC3plus: decoded sample 4464 is frame 2's 368th.
        {2, 2048, 4464, 44, 2, 368, 0},
        {1, 2048, 4464, 44 + 2 * 1680 + 1, 3, 0, 1},
        // LPCM has no delay.
        {2, 256, 0, 44, 0, 0, 0},
        {2, 256, 0, 44 + 256 * 4 * 7 + 13, 7, 3, 1},
    };
    for (const PlaceRow& row : rows) {
        SCOPED_TRACE(testing::Message() << row.channels << " channels, delay " << row.delay << ", offset "
                                        << row.offset);
        const WavLayout layout(row.channels, 44100, 1'000'000, row.samplesPerFrame, row.delay);
        const WavPlace place = layout.Locate(row.offset);
        EXPECT_EQ(place.frame, row.frame);
        EXPECT_EQ(place.sampleInFrame, row.sampleInFrame);
        EXPECT_EQ(place.byteInSample, row.byteInSample);
    }
}

TEST(WavLayout, OffsetOfFrame) {
    const WavLayout atrac3(2, 44100, 441206, 1024, 1162);
    EXPECT_EQ(atrac3.OffsetOfFrame(0), 44 - 1162 * 4);
    EXPECT_EQ(atrac3.OffsetOfFrame(1), 44 - 138 * 4);
    EXPECT_EQ(atrac3.OffsetOfFrame(2), 44 + 886 * 4);
    // The 432nd frame would start just past the stream's end.
    EXPECT_EQ(atrac3.OffsetOfFrame(432), atrac3.Size());
}

}  // namespace
