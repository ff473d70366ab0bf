// The own OMA source's decoding speed without DirectShow around it: opens a file as the engine
// does (OmaStream::Open over the Win32 file bytes) and reads the whole served WAV through the
// stream in the parser's block size, several times over, each pass from a fresh Open.
//   omaread FILE PASSES           prints "result figure=decode speed=… reads=… open_ms=… ms=… …":
//                                 speed over the whole pass, reads over the reads alone (the
//                                 open, which reads the header and walks MP3's frames, apart)
//   omaread FILE PASSES decoder   the same decoder alone: the frames held in memory and handed
//                                 to AtracDecoder one after another, "result figure=decoder …"
// speed is the audio's length over the median pass's wall time (times real time); the second
// form tells what the stream and the file reads add to the decoder of the same build.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "decode/AtracDecoder.h"
#include "decode/OmaStream.h"
#include "decode/WinFileBytes.h"
#include "tools/bench/Timing.h"

namespace {

// Reads of a fixed size, a few frames' worth each, as a parser pulls them.
constexpr int32_t kBlock = 32768;

std::wstring Wide(const char* s) {
    const int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
    std::wstring w(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s, -1, w.data(), n);
    w.resize(w.size() - 1);
    return w;
}

// The decoder without the stream around it: what is left once the wrapping is taken away.
int DecoderAlone(const std::wstring& file, int passes) {
    std::unique_ptr<FileBytes> bytes = OpenFileBytes(file);
    if (!bytes) {
        printf("result figure=decoder error=open\n");
        return 1;
    }
    const OmaRead read = ReadOma(*bytes);
    if (read.status != OmaStatus::Ok) {
        printf("result figure=decoder error=read status=%d\n", static_cast<int>(read.status));
        return 1;
    }
    const OmaInfo& info = read.info;
    // The whole file in memory; each frame where the reader found it (MP3's vary in size).
    std::vector<uint8_t> whole(static_cast<size_t>(bytes->Size()));
    if (!bytes->ReadAt(0, whole.data(), static_cast<int32_t>(whole.size()))) {
        printf("result figure=decoder error=frames\n");
        return 1;
    }
    std::vector<std::span<const uint8_t>> frames;
    MemoryFileBytes memory(whole);
    Mp3Index index(memory, read.mp3);
    for (int64_t f = 0; f < info.frames; ++f) {
        if (info.codec == OmaCodec::Mp3) {
            const auto at = index.Offset(f);
            if (!at) {
                break;
            }
            const auto size = static_cast<size_t>(index.Frame(f).size());
            frames.push_back(std::span<const uint8_t>(whole).subspan(static_cast<size_t>(*at), size));
        } else {
            frames.push_back(std::span<const uint8_t>(whole).subspan(
                static_cast<size_t>(info.dataOffset + f * info.frameSize), static_cast<size_t>(info.frameSize)));
        }
    }
    std::vector<int16_t> out(static_cast<size_t>(info.samplesPerFrame) * info.channels);
    std::vector<double> ms;
    for (int i = 0; i < passes; ++i) {
        const double t0 = NowMs();
        std::unique_ptr<AtracDecoder> decoder = OpenAtracDecoder(info);
        if (!decoder) {
            printf("result figure=decoder error=decoder\n");
            return 1;
        }
        for (const auto& frame : frames) {
            (void)decoder->Decode(frame, out);
        }
        ms.push_back(NowMs() - t0);
        printf("decoder pass=%d ms=%.2f\n", i, ms.back());
    }
    // All the frames' output, as ffmpeg decodes it (the stream serves that less the delay).
    const double seconds = static_cast<double>(info.frames * info.samplesPerFrame) / info.sampleRate;
    const double median = Median(ms);
    printf("result figure=decoder speed=%.1f ms=%.2f seconds=%.3f passes=%d\n", seconds * 1000 / median, median,
           seconds, passes);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: omaread FILE PASSES [decoder]\n");
        return 2;
    }
    const std::wstring file = Wide(argv[1]);
    const int passes = atoi(argv[2]);
    if (argc > 3 && std::string(argv[3]) == "decoder")
        return DecoderAlone(file, passes);
    std::vector<uint8_t> buffer(kBlock);
    std::vector<double> ms;
    std::vector<double> readMs;
    std::vector<double> openMs;
    int64_t bytes = 0;
    double seconds = 0;
    for (int i = 0; i < passes; ++i) {
        const double t0 = NowMs();
        OmaStream::Opened opened = OmaStream::Open(OpenFileBytes(file));
        const double t1 = NowMs();
        if (!opened.stream) {
            printf("result figure=decode error=open status=%d\n", static_cast<int>(opened.status));
            return 1;
        }
        OmaStream& stream = *opened.stream;
        const int64_t size = stream.Size();
        int64_t offset = 0;
        while (offset < size) {
            const int32_t got = stream.Read(offset, buffer.data(), kBlock);
            if (got <= 0)
                break;
            offset += got;
        }
        const double t2 = NowMs();
        ms.push_back(t2 - t0);
        readMs.push_back(t2 - t1);
        openMs.push_back(t1 - t0);
        if (offset != size) {
            printf("result figure=decode error=read offset=%lld size=%lld\n", static_cast<long long>(offset),
                   static_cast<long long>(size));
            return 1;
        }
        const WavLayout& layout = stream.Layout();
        bytes = size;
        seconds = static_cast<double>(layout.Samples()) / layout.SampleRate();
        printf("decode pass=%d ms=%.2f\n", i, ms.back());
    }
    const double median = Median(ms);
    printf("result figure=decode speed=%.1f reads=%.1f open_ms=%.2f ms=%.2f bytes=%lld seconds=%.3f passes=%d\n",
           seconds * 1000 / median, seconds * 1000 / Median(readMs), Median(openMs), median,
           static_cast<long long>(bytes), seconds, passes);
    return 0;
}
