#include <gtest/gtest.h>

#include "tools/mkmedia/MediaWriter.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

uint32_t U32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(b.at(at))) |
           static_cast<uint32_t>(static_cast<unsigned char>(b.at(at + 1))) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(b.at(at + 2))) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(b.at(at + 3))) << 24;
}
uint32_t U16(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(b.at(at))) |
           static_cast<uint32_t>(static_cast<unsigned char>(b.at(at + 1))) << 8;
}

struct Chunk {
    std::string id;
    size_t headerAt;  // where the four-character id is
    size_t dataAt;    // first byte after the size (after the form type for RIFF/LIST)
    uint32_t size;    // as written, form type included
    std::string form;
};

// The chunks between begin and end, checking that their sizes tile the range exactly.
std::vector<Chunk> Children(const std::string& b, size_t begin, size_t end) {
    std::vector<Chunk> chunks;
    size_t at = begin;
    while (at < end) {
        Chunk c;
        c.id = b.substr(at, 4);
        c.headerAt = at;
        c.size = U32(b, at + 4);
        c.dataAt = at + 8;
        if (c.id == "RIFF" || c.id == "LIST") {
            c.form = b.substr(at + 8, 4);
            c.dataAt += 4;
        }
        chunks.push_back(c);
        at += 8 + c.size + c.size % 2;
    }
    EXPECT_EQ(at, end) << "chunk sizes do not add up";
    return chunks;
}
size_t EndOf(const Chunk& c) {
    return c.headerAt + 8 + c.size;
}

TEST(MakeToneWav, HeaderAndSampleCount) {
    const struct {
        int32_t ms, rate, channels;
        uint32_t frames;
    } rows[] = {
        {1000, 22050, 1, 22050},
        {333, 22050, 1, 7342},  // 7342.65 frames: the remainder is dropped
        {250, 8000, 2, 2000},
    };
    for (const auto& row : rows) {
        const std::string wav = MakeToneWav(row.ms, row.rate, row.channels);
        const uint32_t blockAlign = static_cast<uint32_t>(row.channels) * 2;
        ASSERT_EQ(wav.size(), 44 + row.frames * blockAlign) << row.ms;
        EXPECT_EQ(wav.substr(0, 4), "RIFF");
        EXPECT_EQ(U32(wav, 4), wav.size() - 8);
        EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
        EXPECT_EQ(U32(wav, 16), 16u);
        EXPECT_EQ(U16(wav, 20), 1u);  // PCM
        EXPECT_EQ(U16(wav, 22), static_cast<uint32_t>(row.channels));
        EXPECT_EQ(U32(wav, 24), static_cast<uint32_t>(row.rate));
        EXPECT_EQ(U32(wav, 28), static_cast<uint32_t>(row.rate) * blockAlign);
        EXPECT_EQ(U16(wav, 32), blockAlign);
        EXPECT_EQ(U16(wav, 34), 16u);
        EXPECT_EQ(wav.substr(36, 4), "data");
        EXPECT_EQ(U32(wav, 40), row.frames * blockAlign);
    }
}

TEST(MakeToneWav, Is440HzSine) {
    const std::string wav = MakeToneWav(1000);
    int32_t crossings = 0;
    int32_t peak = 0;
    int32_t previous = 0;
    for (size_t at = 44; at < wav.size(); at += 2) {
        const auto sample = static_cast<int16_t>(U16(wav, at));
        peak = std::max(peak, std::abs(static_cast<int32_t>(sample)));
        if ((sample >= 0) != (previous >= 0)) {
            ++crossings;
        }
        previous = sample;
    }
    EXPECT_NEAR(crossings, 880, 2);  // two per cycle
    EXPECT_GT(peak, 8000);           // audible, and well inside 16 bits
    EXPECT_LT(peak, 32000);
}

TEST(MakeAvi, HeadersStreamsChunksAndIndex) {
    const std::string avi = MakeAvi(1000, 320, 240, 10, true);
    const auto top = Children(avi, 0, avi.size());
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].id, "RIFF");
    EXPECT_EQ(top[0].form, "AVI ");
    EXPECT_EQ(top[0].size, avi.size() - 8);

    const auto parts = Children(avi, top[0].dataAt, EndOf(top[0]));
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0].form, "hdrl");
    EXPECT_EQ(parts[1].form, "movi");
    EXPECT_EQ(parts[2].id, "idx1");

    const auto hdrl = Children(avi, parts[0].dataAt, EndOf(parts[0]));
    ASSERT_EQ(hdrl.size(), 3u);
    const size_t avih = hdrl[0].dataAt;
    EXPECT_EQ(hdrl[0].id, "avih");
    EXPECT_EQ(hdrl[0].size, 56u);
    EXPECT_EQ(U32(avi, avih), 100000u);             // microseconds per frame
    EXPECT_EQ(U32(avi, avih + 12) & 0x10u, 0x10u);  // has an index
    EXPECT_EQ(U32(avi, avih + 16), 10u);            // frames
    EXPECT_EQ(U32(avi, avih + 24), 2u);             // streams
    EXPECT_EQ(U32(avi, avih + 32), 320u);
    EXPECT_EQ(U32(avi, avih + 36), 240u);

    const auto video = Children(avi, hdrl[1].dataAt, EndOf(hdrl[1]));
    ASSERT_EQ(video.size(), 2u);
    const size_t vh = video[0].dataAt;
    EXPECT_EQ(video[0].size, 56u);
    EXPECT_EQ(avi.substr(vh, 4), "vids");
    EXPECT_EQ(U32(avi, vh + 20), 1u);   // scale
    EXPECT_EQ(U32(avi, vh + 24), 10u);  // rate
    EXPECT_EQ(U32(avi, vh + 32), 10u);  // length in frames
    const size_t bih = video[1].dataAt;
    EXPECT_EQ(video[1].size, 40u);
    EXPECT_EQ(U32(avi, bih), 40u);
    EXPECT_EQ(U32(avi, bih + 4), 320u);
    EXPECT_EQ(U32(avi, bih + 8), 240u);  // positive: bottom-up
    EXPECT_EQ(U16(avi, bih + 14), 24u);
    EXPECT_EQ(U32(avi, bih + 16), 0u);  // BI_RGB
    EXPECT_EQ(U32(avi, bih + 20), 230400u);

    const auto audio = Children(avi, hdrl[2].dataAt, EndOf(hdrl[2]));
    ASSERT_EQ(audio.size(), 2u);
    const size_t ah = audio[0].dataAt;
    EXPECT_EQ(avi.substr(ah, 4), "auds");
    EXPECT_EQ(U32(avi, ah + 20), 2u);      // scale: one block
    EXPECT_EQ(U32(avi, ah + 24), 44100u);  // bytes per second
    EXPECT_EQ(U32(avi, ah + 32), 22050u);  // length in samples
    EXPECT_EQ(U32(avi, ah + 44), 2u);      // sample size
    const size_t wfx = audio[1].dataAt;
    EXPECT_EQ(audio[1].size, 18u);
    EXPECT_EQ(U16(avi, wfx), 1u);
    EXPECT_EQ(U16(avi, wfx + 2), 1u);
    EXPECT_EQ(U32(avi, wfx + 4), 22050u);
    EXPECT_EQ(U16(avi, wfx + 12), 2u);
    EXPECT_EQ(U16(avi, wfx + 14), 16u);

    // Frames and audio interleaved; the index lists every chunk at its offset from "movi".
    const auto movi = Children(avi, parts[1].dataAt, EndOf(parts[1]));
    ASSERT_EQ(movi.size(), 20u);
    ASSERT_EQ(parts[2].size, 20u * 16u);
    uint32_t audioBytes = 0;
    for (size_t i = 0; i < movi.size(); ++i) {
        EXPECT_EQ(movi[i].id, i % 2 == 0 ? "00db" : "01wb") << i;
        if (i % 2 == 0) {
            EXPECT_EQ(movi[i].size, 230400u) << i;
        } else {
            audioBytes += movi[i].size;
        }
        const size_t entry = parts[2].dataAt + 16 * i;
        EXPECT_EQ(avi.substr(entry, 4), movi[i].id) << i;
        EXPECT_EQ(U32(avi, entry + 4), 0x10u) << i;  // key frame
        EXPECT_EQ(parts[1].dataAt - 4 + U32(avi, entry + 8), movi[i].headerAt) << i;
        EXPECT_EQ(U32(avi, entry + 12), movi[i].size) << i;
    }
    EXPECT_EQ(audioBytes, 44100u);
    // The picture moves.
    EXPECT_NE(avi.substr(movi[0].dataAt, 230400), avi.substr(movi[2].dataAt, 230400));
}

TEST(MakeAvi, VideoOnlyWithPaddedRows) {
    // 33 pixels * 3 = 99 bytes per row, padded to 100; 1300 ms at 4 fps is 5 frames.
    const std::string avi = MakeAvi(1300, 33, 7, 4, false);
    const auto top = Children(avi, 0, avi.size());
    ASSERT_EQ(top.size(), 1u);
    const auto parts = Children(avi, top[0].dataAt, EndOf(top[0]));
    ASSERT_EQ(parts.size(), 3u);
    const auto hdrl = Children(avi, parts[0].dataAt, EndOf(parts[0]));
    ASSERT_EQ(hdrl.size(), 2u);  // avih and one strl
    EXPECT_EQ(U32(avi, hdrl[0].dataAt + 24), 1u);
    const auto movi = Children(avi, parts[1].dataAt, EndOf(parts[1]));
    ASSERT_EQ(movi.size(), 5u);
    for (const Chunk& frame : movi) {
        EXPECT_EQ(frame.id, "00db");
        EXPECT_EQ(frame.size, 700u);
    }
    EXPECT_EQ(parts[2].size, 5u * 16u);
}

TEST(MakeAvi, AudioSplitOverFramesAddsUp) {
    // 22050 samples over 4 frames: chunks of 5512 or 5513 samples, none lost.
    const std::string avi = MakeAvi(1000, 16, 16, 4, true);
    const auto top = Children(avi, 0, avi.size());
    const auto parts = Children(avi, top[0].dataAt, EndOf(top[0]));
    const auto movi = Children(avi, parts[1].dataAt, EndOf(parts[1]));
    ASSERT_EQ(movi.size(), 8u);
    uint32_t audioBytes = 0;
    for (size_t i = 1; i < movi.size(); i += 2) {
        EXPECT_TRUE(movi[i].size == 11024u || movi[i].size == 11026u) << movi[i].size;
        audioBytes += movi[i].size;
    }
    EXPECT_EQ(audioBytes, 44100u);
}

}  // namespace
