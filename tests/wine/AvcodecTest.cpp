// The libavcodec that scripts/ffmpeg cross-builds, run under Wine: it holds the two ATRAC
// decoders and nothing else, and decodes the real media files frame by frame to the sample
// counts their frame counts give, with the tones the files were made from.
extern "C" {
#include <libavcodec/avcodec.h>
}

#include <gtest/gtest.h>

#include "tests/wine/MediaDir.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr size_t kHeaderSize = 96;  // the media files start with the bare header, no tag block

std::string ReadMedia(const char* name) {
    std::string bytes;
    const std::string path = testmedia::Path(name);
    if (FILE* f = fopen(path.c_str(), "rb")) {
        char buffer[65536];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;)
            bytes.append(buffer, n);
        fclose(f);
    }
    return bytes;
}

struct Decoded {
    int64_t samples = 0;      // per channel
    std::vector<float> left;  // the first channel, as decoded
    std::vector<float> right;
    int failures = 0;
};

Decoded Decode(AVCodecID id, const std::string& file, int frameSize, bool jointStereo) {
    Decoded out;
    const AVCodec* codec = avcodec_find_decoder(id);
    if (!codec)
        return out;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->sample_rate = 44100;
    context->block_align = frameSize;
    av_channel_layout_default(&context->ch_layout, 2);
    if (id == AV_CODEC_ID_ATRAC3) {
        // WAV-style, little-endian: version 1, four bytes the decoder skips, the coding mode
        // twice, frame factor 1, a zero word.
        const auto js = static_cast<uint8_t>(jointStereo);
        const uint8_t extra[14] = {1, 0, 0, 0, 0, 0, js, 0, js, 0, 1, 0, 0, 0};
        context->extradata = static_cast<uint8_t*>(av_mallocz(sizeof extra + AV_INPUT_BUFFER_PADDING_SIZE));
        memcpy(context->extradata, extra, sizeof extra);
        context->extradata_size = sizeof extra;
    }
    if (avcodec_open2(context, codec, nullptr) < 0) {
        avcodec_free_context(&context);
        out.failures = -1;
        return out;
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::vector<uint8_t> padded(static_cast<size_t>(frameSize) + AV_INPUT_BUFFER_PADDING_SIZE);
    for (size_t at = kHeaderSize; at + static_cast<size_t>(frameSize) <= file.size(); at += frameSize) {
        memcpy(padded.data(), file.data() + at, static_cast<size_t>(frameSize));
        packet->data = padded.data();
        packet->size = frameSize;
        if (avcodec_send_packet(context, packet) < 0) {
            ++out.failures;
            continue;
        }
        while (avcodec_receive_frame(context, frame) == 0) {
            out.samples += frame->nb_samples;
            if (frame->format == AV_SAMPLE_FMT_FLTP && frame->ch_layout.nb_channels == 2) {
                const auto* l = reinterpret_cast<const float*>(frame->extended_data[0]);
                const auto* r = reinterpret_cast<const float*>(frame->extended_data[1]);
                out.left.insert(out.left.end(), l, l + frame->nb_samples);
                out.right.insert(out.right.end(), r, r + frame->nb_samples);
            }
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    return out;
}

// Upward zero crossings in one second from sample `from`: the frequency of a clean tone.
int CrossingsPerSecond(const std::vector<float>& samples, size_t from) {
    int crossings = 0;
    for (size_t i = from + 1; i < from + 44100 && i < samples.size(); ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0)
            ++crossings;
    }
    return crossings;
}

TEST(CrossBuiltAvcodec, HoldsTheAtracAndMp3DecodersAndNothingElse) {
    std::set<std::string> names;
    void* at = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&at)) {
        names.insert(codec->name);
        EXPECT_TRUE(av_codec_is_decoder(codec)) << codec->name;
    }
    EXPECT_EQ((std::set<std::string>{"atrac3", "atrac3plus", "mp3float"}), names);
}

TEST(CrossBuiltAvcodec, DecodesTheMediaFiles) {
    struct Row {
        const char* file;
        AVCodecID codec;
        int frameSize;
        bool jointStereo;
        int64_t frames;
        int64_t samplesPerFrame;
    };
    const Row rows[] = {
        {"atrac3_lp2_tone_10s.oma", AV_CODEC_ID_ATRAC3, 384, false, 432, 1024},
        {"atrac3_lp4_tone_10s.oma", AV_CODEC_ID_ATRAC3, 192, true, 432, 1024},
        {"atrac3_lp4_mix_20s.oma", AV_CODEC_ID_ATRAC3, 192, true, 864, 1024},
        {"atrac3plus_352k_tone_10s.oma", AV_CODEC_ID_ATRAC3P, 2048, false, 216, 2048},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        SKIP_WITHOUT_MEDIA(row.file);
        const std::string file = ReadMedia(row.file);
        ASSERT_EQ(kHeaderSize + static_cast<size_t>(row.frames * row.frameSize), file.size());
        const Decoded decoded = Decode(row.codec, file, row.frameSize, row.jointStereo);
        EXPECT_EQ(0, decoded.failures);
        EXPECT_EQ(row.frames * row.samplesPerFrame, decoded.samples);
        EXPECT_EQ(static_cast<size_t>(decoded.samples), decoded.left.size()) << "planar float stereo";
    }
}

TEST(CrossBuiltAvcodec, TheLp2ToneHasItsTwoFrequencies) {
    SKIP_WITHOUT_MEDIA("atrac3_lp2_tone_10s.oma");
    const Decoded decoded = Decode(AV_CODEC_ID_ATRAC3, ReadMedia("atrac3_lp2_tone_10s.oma"), 384, false);
    ASSERT_GE(decoded.left.size(), 3u * 44100);
    // One second from two seconds in, well past the decoder's start-up delay: 440 Hz left, 660 right.
    EXPECT_NEAR(440, CrossingsPerSecond(decoded.left, 2 * 44100), 3);
    EXPECT_NEAR(660, CrossingsPerSecond(decoded.right, 2 * 44100), 3);
}

}  // namespace
