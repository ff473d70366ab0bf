#include "tools/host/Library.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "base/AnsiText.h"
#include "oma/WavLayout.h"
#include "tools/host/Loudness.h"

namespace {

using GetInfoA = int(__cdecl*)(const char*, const char*, char*, int);
using GetInfoW = int(__cdecl*)(const wchar_t*, const char*, wchar_t*, int);
using SetInfoA = int(__cdecl*)(const char*, const char*, const char*);
using SetInfoW = int(__cdecl*)(const wchar_t*, const char*, const wchar_t*);
using WriteInfo = int(__cdecl*)();
using ReadOpenA = intptr_t(__cdecl*)(const char*, int*, int*, int*, int*);
using ReadOpenW = intptr_t(__cdecl*)(const wchar_t*, int*, int*, int*, int*);
using ReadGetData = intptr_t(__cdecl*)(intptr_t, char*, size_t, int*);
using ReadClose = void(__cdecl*)(intptr_t);

// One write per line: the UI thread prints beside the roads, and a formatted print may write its
// line in pieces.
void Print(const char* fmt, ...) {
    char line[8192];
    va_list ap;
    va_start(ap, fmt);
    (void)vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    fputs(line, stdout);
}

template <class Function>
Function Export(HMODULE dll, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

// Quotes and line ends would break the line's shape.
std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string Shown(const std::wstring& file) {
    return Escaped(Utf8(file));
}

// One field through the wide or the ANSI export, in a buffer of the player's size.
struct FieldReader {
    GetInfoA getA = nullptr;
    GetInfoW getW = nullptr;
    bool ansi = false;

    bool Usable() const { return ansi ? getA != nullptr : getW != nullptr; }

    int Read(const std::wstring& file, const char* field, int units, std::string& value) const {
        int known = 0;
        if (ansi) {
            std::string buffer(static_cast<size_t>(units), '\0');
            known = getA(PlayerAnsiName(file).c_str(), field, buffer.data(), units);
            buffer.resize(strnlen(buffer.c_str(), buffer.size()));
            value = Utf8(AnsiToWide(buffer));
        } else {
            std::wstring buffer(static_cast<size_t>(units), L'\0');
            known = getW(file.c_str(), field, buffer.data(), units);
            buffer.resize(wcsnlen(buffer.c_str(), buffer.size()));
            value = Utf8(buffer);
        }
        return known;
    }
};

FieldReader Fields(const RoadLinks& links) {
    return {Export<GetInfoA>(links.dll, "winampGetExtendedFileInfo"),
            Export<GetInfoW>(links.dll, "winampGetExtendedFileInfoW"), links.ansi};
}

// The extended read as the player's components call it. Opening happens on the UI thread, the
// reads and the close on the caller's; a failed open is closed all the same, as the player does.
class Reader {
public:
    explicit Reader(const RoadLinks& links)
        : links_(links),
          openA_(Export<ReadOpenA>(links.dll, "winampGetExtendedRead_open")),
          openW_(Export<ReadOpenW>(links.dll, "winampGetExtendedRead_openW")),
          getData_(Export<ReadGetData>(links.dll, "winampGetExtendedRead_getData")),
          close_(Export<ReadClose>(links.dll, "winampGetExtendedRead_close")) {}

    bool Usable() const { return (openW_ || openA_) && getData_ && close_; }

    // The size, bps, channels and rate given in are the caller's wishes; the plug-in may change them.
    bool Open(const std::wstring& file) {
        links_.onUiThread([&] {
            handle_ = openW_ && !links_.ansi ? openW_(file.c_str(), &size, &bps, &channels, &rate)
                                             : openA_(PlayerAnsiName(file).c_str(), &size, &bps, &channels, &rate);
            if (handle_ <= 0) {
                close_(handle_);
            }
        });
        return handle_ > 0;
    }

    // One request; the killswitch is checked before and after, as the player's loops do.
    intptr_t Read(char* to, size_t bytes) {
        if (Killed()) {
            return 0;
        }
        Killswitch* kill = links_.kill;
        if (kill) {
            kill->inRead = 1;
        }
        const intptr_t got = getData_(handle_, to, bytes, kill ? const_cast<int*>(&kill->value) : &noKill_);
        if (kill) {
            kill->inRead = 0;
            if (Killed() && !reported_) {
                reported_ = true;
                Print("cancel in-read=%d returned-ms=%lu\n", kill->setInRead.load(),
                      GetTickCount() - kill->setAt.load());
                std::fflush(stdout);
            }
        }
        return Killed() ? 0 : got;
    }

    bool Killed() const { return links_.kill && links_.kill->value != 0; }

    void Close() {
        if (handle_ > 0) {
            close_(handle_);
        }
        handle_ = 0;
    }

    int size = -1;
    int bps = 0;
    int channels = 0;
    int rate = 0;

private:
    const RoadLinks& links_;
    ReadOpenA openA_;
    ReadOpenW openW_;
    ReadGetData getData_;
    ReadClose close_;
    intptr_t handle_ = 0;
    int noKill_ = 0;
    bool reported_ = false;
};

size_t WholeFrames(size_t bytes, int channels, int bps) {
    const size_t frame = static_cast<size_t>(std::max(channels, 1)) * static_cast<size_t>(std::max(bps / 8, 1));
    return std::max(bytes / frame, size_t{1}) * frame;
}

// C-locale formats of the player's ReplayGain writer.
std::wstring GainText(double db) {
    char text[32];
    snprintf(text, sizeof text, "%-+.2f dB", db);
    return AnsiToWide(text);
}

std::wstring PeakText(double peak) {
    char text[32];
    snprintf(text, sizeof text, "%-.9f", peak);
    return AnsiToWide(text);
}

bool WriteWav(const std::wstring& out, int channels, int rate, const std::string& pcm) {
    const WavLayout layout(channels, rate, static_cast<int64_t>(pcm.size()) / (std::max(channels, 1) * 2), 1, 0);
    const auto header = layout.Header();
    std::string wav(header.begin(), header.end());
    wav += pcm;
    HANDLE target = CreateFileW(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool ok = target != INVALID_HANDLE_VALUE &&
                    WriteFile(target, wav.data(), static_cast<DWORD>(wav.size()), &written, nullptr) &&
                    written == wav.size();
    if (target != INVALID_HANDLE_VALUE) {
        CloseHandle(target);
    }
    return ok;
}

void AppendSample(std::string& to, double value) {
    const auto s = static_cast<int16_t>(std::clamp<long>(std::lround(value), -32768, 32767));
    to.push_back(static_cast<char>(s & 0xFF));
    to.push_back(static_cast<char>((s >> 8) & 0xFF));
}

}  // namespace

std::string Utf8(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

std::string PlayerAnsiName(const std::wstring& name) {
    BOOL lossy = FALSE;
    (void)WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.c_str(), -1, nullptr, 0, nullptr, &lossy);
    if (lossy) {
        wchar_t shortName[MAX_PATH];
        const DWORD k = GetShortPathNameW(name.c_str(), shortName, MAX_PATH);
        if (k > 0 && k < MAX_PATH) {
            return WideToAnsi(shortName);
        }
    }
    return WideToAnsi(name);
}

int ListFields(const RoadLinks& links, const std::vector<std::wstring>& files) {
    const FieldReader reader = Fields(links);
    if (!reader.Usable()) {
        Print("fields error=no-export\n");
        return 3;
    }
    // The scan's order and buffers: 128 units for the numbers, 1024 for text; nothing past a
    // title the plug-in does not know.
    struct Asked {
        const char* name;
        int units;
    };
    static const Asked kBefore[] = {{"type", 128}, {"length", 128}, {"bitrate", 128}, {"title", 1024}};
    static const Asked kAfter[] = {
        {"artist", 1024},
        {"album", 1024},
        {"comment", 1024},
        {"year", 128},
        {"genre", 1024},
        {"track", 128},
        {"disc", 128},
        {"albumartist", 1024},
        {"publisher", 1024},
        {"composer", 1024},
        {"replaygain_album_gain", 1024},
        {"replaygain_track_gain", 1024},
        {"bpm", 128},
        {"lossless", 128},
        {"category", 1024},
        {"codec", 1024},
        {"rating", 128},
        {"mime", 1024},
    };
    for (const std::wstring& file : files) {
        int titleKnown = 0;
        auto ask = [&](const Asked& asked) {
            std::string value;
            const int known = reader.Read(file, asked.name, asked.units, value);
            Print("field file=\"%s\" name=%s known=%d value=\"%s\"\n", Shown(file).c_str(), asked.name, known,
                  Escaped(value).c_str());
            return known;
        };
        for (const Asked& asked : kBefore) {
            titleKnown = ask(asked);
        }
        if (titleKnown) {
            for (const Asked& asked : kAfter) {
                (void)ask(asked);
            }
        }
    }
    std::fflush(stdout);
    return 0;
}

int ConvertToWav(const RoadLinks& links, const std::wstring& file, const std::wstring& out) {
    Reader reader(links);
    if (!reader.Usable()) {
        Print("convert error=no-export\n");
        return 3;
    }
    const DWORD start = GetTickCount();
    if (!reader.Open(file)) {
        Print("convert file=\"%s\" result=refused\n", Shown(file).c_str());
        std::fflush(stdout);
        return 1;
    }
    // The converter asks 64 KiB per request, in whole sample frames.
    std::string buffer(WholeFrames(65536, reader.channels, reader.bps), '\0');
    std::string pcm;
    size_t requests = 0;
    for (;;) {
        ++requests;
        const intptr_t got = reader.Read(buffer.data(), buffer.size());
        if (got <= 0) {
            break;
        }
        pcm.append(buffer.data(), static_cast<size_t>(got));
    }
    const bool cancelled = reader.Killed();
    reader.Close();
    const DWORD took = GetTickCount() - start;
    // The same RIFF header as the plug-in's own source serves: 16-bit PCM.
    const bool ok = cancelled || WriteWav(out, reader.channels, reader.rate, pcm);
    Print(
        "convert file=\"%s\" result=%s size=%d bytes=%zu requests=%zu request-bytes=%zu bps=%d channels=%d "
        "rate=%d ms=%lu\n",
        Shown(file).c_str(),
        cancelled ? "cancelled"
        : ok      ? "ok"
                  : "unwritable",
        reader.size, pcm.size(), requests, buffer.size(), reader.bps, reader.channels, reader.rate, took);
    std::fflush(stdout);
    return ok ? 0 : 4;
}

int AnalyseReplayGain(const RoadLinks& links, const std::vector<std::wstring>& files, bool album) {
    const FieldReader fields = Fields(links);
    Reader probe(links);
    if (!fields.Usable() || !probe.Usable()) {
        Print("replaygain error=no-export\n");
        return 3;
    }
    struct Result {
        std::wstring file;
        double gain;
        double peak;
    };
    std::vector<Result> results;
    std::vector<double> albumBlocks;
    double albumPeak = 0;
    for (const std::wstring& file : files) {
        // The analysis takes only a file whose gain it can ask for, known or empty.
        std::string gain;
        if (!fields.Read(file, "replaygain_track_gain", 64, gain)) {
            Print("replaygain file=\"%s\" result=skipped\n", Shown(file).c_str());
            std::fflush(stdout);
            continue;
        }
        Reader reader(links);
        const DWORD start = GetTickCount();
        if (!reader.Open(file)) {
            Print("replaygain file=\"%s\" result=refused\n", Shown(file).c_str());
            std::fflush(stdout);
            continue;
        }
        LoudnessMeter meter(reader.rate, reader.channels);
        std::vector<char> buffer(WholeFrames(16384, reader.channels, reader.bps));
        size_t requests = 0;
        for (;;) {
            ++requests;
            const intptr_t got = reader.Read(buffer.data(), buffer.size());
            if (got <= 0) {
                break;
            }
            meter.Add(reinterpret_cast<const int16_t*>(buffer.data()), static_cast<size_t>(got) / 2);
        }
        const bool cancelled = reader.Killed();
        reader.Close();  // mid-file when cancelled
        if (cancelled) {
            Print("replaygain file=\"%s\" result=cancelled requests=%zu\n", Shown(file).c_str(), requests);
            std::fflush(stdout);
            return 0;
        }
        const auto blocks = meter.BlockEnergies();
        const auto loudness = GatedLoudness(blocks);
        albumBlocks.insert(albumBlocks.end(), blocks.begin(), blocks.end());
        albumPeak = std::max(albumPeak, meter.Peak());
        // Silence has no loudness; it is given the gain of the loudest a file can be made.
        const double db = loudness ? ReplayGainDb(*loudness) : 64.82;
        results.push_back({file, db, meter.Peak()});
        Print(
            "replaygain file=\"%s\" result=ok before=\"%s\" gain=\"%s\" peak=\"%s\" requests=%zu "
            "request-bytes=%zu ms=%lu\n",
            Shown(file).c_str(), Escaped(gain).c_str(), Utf8(GainText(db)).c_str(),
            Utf8(PeakText(meter.Peak())).c_str(), requests, buffer.size(), GetTickCount() - start);
        std::fflush(stdout);
    }
    const auto albumLoudness = GatedLoudness(albumBlocks);
    const double albumGain = albumLoudness ? ReplayGainDb(*albumLoudness) : 64.82;
    if (album && !results.empty()) {
        Print("replaygain album gain=\"%s\" peak=\"%s\"\n", Utf8(GainText(albumGain)).c_str(),
              Utf8(PeakText(albumPeak)).c_str());
    }

    // The results go into the files as the player stores them: several sets, then one write.
    const auto setW = Export<SetInfoW>(links.dll, "winampSetExtendedFileInfoW");
    const auto setA = Export<SetInfoA>(links.dll, "winampSetExtendedFileInfo");
    const auto write = Export<WriteInfo>(links.dll, "winampWriteExtendedFileInfo");
    if (!(links.ansi ? setA != nullptr : setW != nullptr) || !write) {
        if (!results.empty()) {
            Print("replaygain stored=0 reason=no-export\n");
        }
        std::fflush(stdout);
        return 0;
    }
    for (const Result& r : results) {
        int sets = 0;
        int written = 0;
        links.onUiThread([&] {
            auto set = [&](const char* field, const std::wstring& value) {
                const int ok = links.ansi ? setA(PlayerAnsiName(r.file).c_str(), field, WideToAnsi(value).c_str())
                                          : setW(r.file.c_str(), field, value.c_str());
                sets += ok ? 1 : 0;
            };
            set("replaygain_track_gain", GainText(r.gain));
            set("replaygain_track_peak", PeakText(r.peak));
            if (album) {
                set("replaygain_album_gain", GainText(albumGain));
                set("replaygain_album_peak", PeakText(albumPeak));
            }
            written = write();
        });
        Print("replaygain file=\"%s\" stored=%d sets=%d\n", Shown(r.file).c_str(), written, sets);
    }
    std::fflush(stdout);
    return 0;
}

int BurnRead(const RoadLinks& links, const std::wstring& file, const std::wstring& out) {
    Reader reader(links);
    if (!reader.Usable()) {
        Print("burn error=no-export\n");
        return 3;
    }
    // What the burner asks for; the plug-in answers with what it gives.
    reader.bps = 16;
    reader.channels = 2;
    reader.rate = 44100;
    const DWORD start = GetTickCount();
    if (!reader.Open(file)) {
        Print("burn file=\"%s\" result=refused\n", Shown(file).c_str());
        std::fflush(stdout);
        return 1;
    }
    const bool resample = reader.bps != 16 || reader.channels != 2 || reader.rate != 44100;
    const int channels = std::max(reader.channels, 1);
    // Through its resampler the burner asks at most 4096 bytes at a time.
    std::vector<char> buffer(WholeFrames(resample ? 4096 : 16384, reader.channels, reader.bps));
    // Linear interpolation to CD audio, each request's frames after the last one of the request
    // before (at index -1).
    const double step = static_cast<double>(std::max(reader.rate, 1)) / 44100.0;
    double position = 0;
    double previous[2] = {0, 0};
    std::string cd;
    size_t requests = 0;
    for (;;) {
        ++requests;
        const intptr_t got = reader.Read(buffer.data(), buffer.size());
        if (got <= 0) {
            break;
        }
        if (!resample) {
            cd.append(buffer.data(), static_cast<size_t>(got));
            continue;
        }
        const auto* samples = reinterpret_cast<const int16_t*>(buffer.data());
        const auto frames = static_cast<int64_t>(got / 2 / channels);
        auto sample = [&](int64_t frame, int c) -> double {
            return frame < 0 ? previous[c] : samples[frame * channels + std::min(c, channels - 1)];
        };
        for (; position < static_cast<double>(frames - 1); position += step) {
            const auto i0 = static_cast<int64_t>(std::floor(position));
            const double frac = position - static_cast<double>(i0);
            for (int c = 0; c < 2; ++c) {
                AppendSample(cd, sample(i0, c) + (sample(i0 + 1, c) - sample(i0, c)) * frac);
            }
        }
        previous[0] = sample(frames - 1, 0);
        previous[1] = sample(frames - 1, 1);
        position -= static_cast<double>(frames);
    }
    const bool cancelled = reader.Killed();
    reader.Close();
    const bool written = out.empty() || cancelled || WriteWav(out, 2, 44100, cd);
    Print(
        "burn file=\"%s\" result=%s bps=%d channels=%d rate=%d resampled=%d bytes=%zu sectors=%zu "
        "requests=%zu request-bytes=%zu ms=%lu\n",
        Shown(file).c_str(),
        cancelled ? "cancelled"
        : written ? "ok"
                  : "unwritable",
        reader.bps, reader.channels, reader.rate, resample ? 1 : 0, cd.size(), (cd.size() + 2351) / 2352, requests,
        buffer.size(), GetTickCount() - start);
    std::fflush(stdout);
    return written ? 0 : 4;
}
