#include "tools/mkmedia/MediaWriter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr int32_t kAudioRate = 22050;
constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAvifIsInterleaved = 0x100;
constexpr uint32_t kAviifKeyframe = 0x10;

// Little-endian, byte by byte, so the files are the same on every host.
class ByteWriter {
public:
    void U8(uint32_t v) { bytes_.push_back(static_cast<char>(v & 0xFF)); }
    void U16(uint32_t v) {
        U8(v);
        U8(v >> 8);
    }
    void U32(uint32_t v) {
        U16(v);
        U16(v >> 16);
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void FourCC(std::string_view code) { bytes_.append(code.substr(0, 4)); }

    // Opens a chunk ("RIFF"/"LIST" take a form type); returns where its size goes.
    size_t Begin(std::string_view id, std::string_view form = {}) {
        FourCC(id);
        const size_t sizeAt = bytes_.size();
        U32(0);
        if (!form.empty()) {
            FourCC(form);
        }
        return sizeAt;
    }
    // Writes the chunk's size and pads its data to an even length, as RIFF wants.
    void End(size_t sizeAt) {
        const size_t size = bytes_.size() - sizeAt - 4;
        for (size_t i = 0; i < 4; ++i) {
            bytes_[sizeAt + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
        }
        if (size % 2 != 0) {
            U8(0);
        }
    }
    size_t Size() const { return bytes_.size(); }
    std::string Take() { return std::move(bytes_); }

private:
    std::string bytes_;
};

int16_t ToneSample(int64_t index, int32_t sampleRate) {
    const double t = static_cast<double>(index) / sampleRate;
    return static_cast<int16_t>(std::lround(9830.0 * std::sin(2.0 * 3.14159265358979323846 * 440.0 * t)));
}

void WriteWaveFormat(ByteWriter& w, int32_t sampleRate, int32_t channels, bool withExtraSize) {
    const auto blockAlign = static_cast<uint32_t>(channels * 2);
    w.U16(1);  // WAVE_FORMAT_PCM
    w.U16(static_cast<uint32_t>(channels));
    w.U32(static_cast<uint32_t>(sampleRate));
    w.U32(static_cast<uint32_t>(sampleRate) * blockAlign);
    w.U16(blockAlign);
    w.U16(16);
    if (withExtraSize) {
        w.U16(0);  // WAVEFORMATEX.cbSize
    }
}

// One frame: dark blue with a white bar that moves a sixteenth of the width per frame.
void WriteFrame(ByteWriter& w, int32_t frame, int32_t width, int32_t height) {
    const int32_t stride = (width * 3 + 3) / 4 * 4;
    const int32_t barWidth = width / 16 > 0 ? width / 16 : 1;
    const int32_t barLeft = static_cast<int32_t>(static_cast<int64_t>(frame) * barWidth % width);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const bool bar = x >= barLeft && x < barLeft + barWidth;
            w.U8(bar ? 0xFF : 0x60);  // blue
            w.U8(bar ? 0xFF : 0x20);  // green
            w.U8(bar ? 0xFF : 0x10);  // red
        }
        for (int32_t pad = width * 3; pad < stride; ++pad) {
            w.U8(0);
        }
    }
}

}  // namespace

std::string MakeToneWav(int32_t durationMs, int32_t sampleRate, int32_t channels) {
    const int64_t frames = static_cast<int64_t>(durationMs) * sampleRate / 1000;
    ByteWriter w;
    const size_t riff = w.Begin("RIFF", "WAVE");
    const size_t fmt = w.Begin("fmt ");
    WriteWaveFormat(w, sampleRate, channels, false);
    w.End(fmt);
    const size_t data = w.Begin("data");
    for (int64_t i = 0; i < frames; ++i) {
        const int16_t sample = ToneSample(i, sampleRate);
        for (int32_t c = 0; c < channels; ++c) {
            w.U16(static_cast<uint16_t>(sample));
        }
    }
    w.End(data);
    w.End(riff);
    return w.Take();
}

std::string MakeAvi(int32_t durationMs, int32_t width, int32_t height, int32_t fps, bool withAudio) {
    const int32_t frames = std::max<int32_t>(1, static_cast<int32_t>(static_cast<int64_t>(durationMs) * fps / 1000));
    const auto frameBytes = static_cast<uint32_t>((width * 3 + 3) / 4 * 4 * height);
    // Audio of the same length as the video, split so that chunk i covers frame i's interval.
    const int64_t audioSamples = static_cast<int64_t>(frames) * kAudioRate / fps;
    const auto maxAudioChunk = static_cast<uint32_t>((kAudioRate + fps - 1) / fps * 2);
    const auto streams = withAudio ? 2u : 1u;
    const auto microSecPerFrame = static_cast<uint32_t>(1000000 / fps);

    ByteWriter w;
    const size_t riff = w.Begin("RIFF", "AVI ");
    const size_t hdrl = w.Begin("LIST", "hdrl");
    {
        const size_t avih = w.Begin("avih");
        w.U32(microSecPerFrame);
        w.U32(frameBytes * static_cast<uint32_t>(fps) + (withAudio ? kAudioRate * 2u : 0u));  // max bytes/s
        w.U32(0);  // padding granularity
        w.U32(kAvifHasIndex | kAvifIsInterleaved);
        w.U32(static_cast<uint32_t>(frames));
        w.U32(0);  // initial frames
        w.U32(streams);
        w.U32(frameBytes);  // suggested buffer size
        w.I32(width);
        w.I32(height);
        for (int32_t i = 0; i < 4; ++i) {
            w.U32(0);
        }
        w.End(avih);
    }
    {
        const size_t strl = w.Begin("LIST", "strl");
        const size_t strh = w.Begin("strh");
        w.FourCC("vids");
        w.FourCC("DIB ");
        w.U32(0);  // flags
        w.U16(0);  // priority
        w.U16(0);  // language
        w.U32(0);  // initial frames
        w.U32(1);  // scale
        w.U32(static_cast<uint32_t>(fps));
        w.U32(0);  // start
        w.U32(static_cast<uint32_t>(frames));
        w.U32(frameBytes);
        w.U32(0xFFFFFFFF);  // quality: default
        w.U32(0);           // sample size: varies per chunk (video)
        w.U16(0);
        w.U16(0);
        w.U16(static_cast<uint32_t>(width));
        w.U16(static_cast<uint32_t>(height));
        w.End(strh);
        const size_t strf = w.Begin("strf");  // BITMAPINFOHEADER
        w.U32(40);
        w.I32(width);
        w.I32(height);  // positive: bottom-up rows
        w.U16(1);       // planes
        w.U16(24);      // bits per pixel
        w.U32(0);       // BI_RGB
        w.U32(frameBytes);
        w.U32(0);
        w.U32(0);
        w.U32(0);
        w.U32(0);
        w.End(strf);
        w.End(strl);
    }
    if (withAudio) {
        const size_t strl = w.Begin("LIST", "strl");
        const size_t strh = w.Begin("strh");
        w.FourCC("auds");
        w.U32(0);  // no handler
        w.U32(0);
        w.U16(0);
        w.U16(0);
        w.U32(0);
        w.U32(2);               // scale: block align, so rate / scale is samples per second
        w.U32(kAudioRate * 2);  // rate: bytes per second
        w.U32(0);
        w.U32(static_cast<uint32_t>(audioSamples));
        w.U32(maxAudioChunk);
        w.U32(0xFFFFFFFF);
        w.U32(2);  // sample size: one block
        w.U16(0);
        w.U16(0);
        w.U16(0);
        w.U16(0);
        w.End(strh);
        const size_t strf = w.Begin("strf");
        WriteWaveFormat(w, kAudioRate, 1, true);
        w.End(strf);
        w.End(strl);
    }
    w.End(hdrl);

    struct IndexEntry {
        const char* id;
        uint32_t offset;
        uint32_t size;
    };
    std::vector<IndexEntry> index;
    const size_t movi = w.Begin("LIST", "movi");
    const size_t moviType = movi + 4;  // idx1 offsets count from the "movi" form type
    int64_t sampleDone = 0;
    for (int32_t f = 0; f < frames; ++f) {
        const size_t video = w.Begin("00db");
        WriteFrame(w, f, width, height);
        index.push_back({"00db", static_cast<uint32_t>(video - 4 - moviType), frameBytes});
        w.End(video);
        if (withAudio) {
            const int64_t sampleEnd = audioSamples * (f + 1) / frames;
            const size_t audio = w.Begin("01wb");
            for (; sampleDone < sampleEnd; ++sampleDone) {
                w.U16(static_cast<uint16_t>(ToneSample(sampleDone, kAudioRate)));
            }
            index.push_back({"01wb", static_cast<uint32_t>(audio - 4 - moviType),
                             static_cast<uint32_t>(w.Size() - audio - 4)});
            w.End(audio);
        }
    }
    w.End(movi);

    const size_t idx1 = w.Begin("idx1");
    for (const IndexEntry& entry : index) {
        w.FourCC(entry.id);
        w.U32(kAviifKeyframe);
        w.U32(entry.offset);
        w.U32(entry.size);
    }
    w.End(idx1);
    w.End(riff);
    return w.Take();
}
