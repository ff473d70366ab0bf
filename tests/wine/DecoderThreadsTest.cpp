// The player's library and converter open files on several worker threads at once, so the first
// decoders of a process may be opened by two threads together. FFmpeg sets up its codec list and
// each decoder's static tables once; a thread that starts decoding while another still builds
// them gets wrong samples or crashes. Each round runs in a fresh child process, whose threads are
// the first to open each decoder.
#include "decode/AtracDecoder.h"
#include "tests/wine/MediaDir.h"
#include "tests/wine/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr size_t kHeaderSize = 96;  // the media files start with the bare header
constexpr int kFrames = 6;          // enough to pass the decoders' start-up delay

struct Stream {
    const char* file;
    OmaInfo info;
    std::string bytes;
};

OmaInfo Info(OmaCodec codec, int32_t frameSize, bool jointStereo, int32_t samplesPerFrame) {
    OmaInfo info;
    info.codec = codec;
    info.frameSize = frameSize;
    info.sampleRate = 44100;
    info.channels = 2;
    info.jointStereo = jointStereo;
    info.samplesPerFrame = samplesPerFrame;
    return info;
}

std::string ReadFront(const char* name, size_t size) {
    std::string bytes(size, '\0');
    FILE* f = fopen(testmedia::Path(name).c_str(), "rb");
    if (!f)
        return {};
    bytes.resize(fread(bytes.data(), 1, size, f));
    fclose(f);
    return bytes;
}

// The samples of the stream's first frames, or empty when the decoder would not open.
std::vector<int16_t> DecodeFront(const Stream& s) {
    std::unique_ptr<AtracDecoder> decoder = OpenAtracDecoder(s.info);
    if (!decoder)
        return {};
    std::vector<int16_t> out(static_cast<size_t>(kFrames * s.info.samplesPerFrame * s.info.channels));
    const size_t perFrame = static_cast<size_t>(s.info.samplesPerFrame * s.info.channels);
    for (int i = 0; i < kFrames; ++i) {
        const auto* frame = reinterpret_cast<const uint8_t*>(s.bytes.data()) + kHeaderSize + i * s.info.frameSize;
        (void)decoder->Decode({frame, static_cast<size_t>(s.info.frameSize)}, {out.data() + i * perFrame, perFrame});
    }
    return out;
}

// One round: this process's first opens, on threads that spin until all of them can start at once
// (a blocking wait would wake them one by one).
void Race(const std::vector<Stream>& streams) {
    const OmaInfo mp3 = Info(OmaCodec::Mp3, 418, false, 1152);
    constexpr int kThreads = 4;
    std::atomic<int> ready = 0;
    std::atomic<bool> go = false;
    std::vector<std::vector<std::vector<int16_t>>> got(kThreads, std::vector<std::vector<int16_t>>(streams.size()));
    std::vector<int> mp3Opened(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        // Each thread takes the streams in an order of its own, so that each decoder is opened
        // first by several threads together; the MP3 decoder (the largest tables) first or last.
        threads.emplace_back([&, t] {
            ++ready;
            while (!go) {
            }
            if (t % 2 == 0)
                mp3Opened[t] = OpenAtracDecoder(mp3) != nullptr;
            for (size_t k = 0; k < streams.size(); ++k) {
                const size_t i = (k + static_cast<size_t>(t)) % streams.size();
                got[t][i] = DecodeFront(streams[i]);
            }
            if (t % 2 == 1)
                mp3Opened[t] = OpenAtracDecoder(mp3) != nullptr;
        });
    }
    while (ready < kThreads) {
    }
    go = true;
    for (std::thread& thread : threads)
        thread.join();

    // Now that every set-up is done, one thread's decode is the reference.
    for (size_t i = 0; i < streams.size(); ++i) {
        SCOPED_TRACE(streams[i].file);
        const std::vector<int16_t> expected = DecodeFront(streams[i]);
        ASSERT_FALSE(expected.empty());
        for (int t = 0; t < kThreads; ++t)
            EXPECT_EQ(expected, got[t][i]) << "thread " << t;
    }
    for (int t = 0; t < kThreads; ++t)
        EXPECT_TRUE(mp3Opened[t]) << "thread " << t;
}

constexpr char kChild[] = "ATRAC3DS_DECODER_RACE";

TEST(DecoderThreads, FirstOpensOnManyThreadsAtOnceDecodeAsOneThreadDoes) {
    std::vector<Stream> streams = {
        {"atrac3_lp2_tone_10s.oma", Info(OmaCodec::Atrac3, 384, false, 1024), {}},
        {"atrac3_lp4_mix_20s.oma", Info(OmaCodec::Atrac3, 192, true, 1024), {}},
        {"atrac3plus_352k_tone_10s.oma", Info(OmaCodec::Atrac3Plus, 2048, false, 2048), {}},
    };
    for (Stream& s : streams) {
        SKIP_WITHOUT_MEDIA(s.file);
        s.bytes = ReadFront(s.file, kHeaderSize + kFrames * static_cast<size_t>(s.info.frameSize));
        ASSERT_EQ(kHeaderSize + kFrames * static_cast<size_t>(s.info.frameSize), s.bytes.size()) << s.file;
    }
    if (getenv(kChild)) {
        Race(streams);
        return;
    }
    // A round needs a process whose decoders were never opened: each runs in a child of its own.
    char self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    SetEnvironmentVariableA(kChild, "1");
    constexpr int kRounds = 16;
    for (int round = 0; round < kRounds; ++round) {
        std::string output;
        const int code =
            testsupport::RunCapture("\"" + std::string(self) + "\" --gtest_filter=DecoderThreads.*", output);
        EXPECT_EQ(0, code) << "round " << round << ":\n" << output;
        if (code != 0)
            break;
    }
    SetEnvironmentVariableA(kChild, nullptr);
}

}  // namespace
