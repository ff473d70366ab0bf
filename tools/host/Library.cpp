#include "tools/host/Library.h"

#include <cstdint>
#include <cstdio>

#include "base/AnsiText.h"
#include "oma/WavLayout.h"

namespace {

using GetInfoA = int(__cdecl*)(const char*, const char*, char*, int);
using GetInfoW = int(__cdecl*)(const wchar_t*, const char*, wchar_t*, int);
using ReadOpenA = intptr_t(__cdecl*)(const char*, int*, int*, int*, int*);
using ReadOpenW = intptr_t(__cdecl*)(const wchar_t*, int*, int*, int*, int*);
using ReadGetData = intptr_t(__cdecl*)(intptr_t, char*, size_t, int*);
using ReadClose = void(__cdecl*)(intptr_t);

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

int ListFields(HMODULE dll, const std::vector<std::wstring>& files, bool ansi) {
    const auto getA = Export<GetInfoA>(dll, "winampGetExtendedFileInfo");
    const auto getW = Export<GetInfoW>(dll, "winampGetExtendedFileInfoW");
    if (!getA || !getW) {
        std::printf("fields error=no-export\n");
        return 3;
    }
    static const char* const kFields[] = {
        "title",    "artist",  "album",  "albumartist", "genre", "year",     "tracknumber", "disc",
        "composer", "comment", "length", "bitrate",     "type",  "lossless", "family",      "formatinformation"};
    for (const std::wstring& file : files) {
        for (const char* field : kFields) {
            std::string value;
            int known = 0;
            if (ansi) {
                char buffer[4096] = "";
                known = getA(WideToAnsi(file).c_str(), field, buffer, sizeof buffer);
                value = Utf8(AnsiToWide(buffer));
            } else {
                wchar_t buffer[4096] = L"";
                known = getW(file.c_str(), field, buffer, 4096);
                value = Utf8(buffer);
            }
            std::printf("field file=\"%s\" name=%s known=%d value=\"%s\"\n", Escaped(Utf8(file)).c_str(), field, known,
                        Escaped(value).c_str());
        }
    }
    std::fflush(stdout);
    return 0;
}

int ConvertToWav(HMODULE dll, const std::wstring& file, const std::wstring& out, bool ansi) {
    const auto openA = Export<ReadOpenA>(dll, "winampGetExtendedRead_open");
    const auto openW = Export<ReadOpenW>(dll, "winampGetExtendedRead_openW");
    const auto getData = Export<ReadGetData>(dll, "winampGetExtendedRead_getData");
    const auto close = Export<ReadClose>(dll, "winampGetExtendedRead_close");
    if (!openA || !openW || !getData || !close) {
        std::printf("convert error=no-export\n");
        return 3;
    }
    int size = 0, bps = 0, channels = 0, rate = 0;
    const DWORD start = GetTickCount();
    const intptr_t handle = ansi ? openA(WideToAnsi(file).c_str(), &size, &bps, &channels, &rate)
                                 : openW(file.c_str(), &size, &bps, &channels, &rate);
    if (!handle) {
        std::printf("convert file=\"%s\" result=refused\n", Escaped(Utf8(file)).c_str());
        std::fflush(stdout);
        return 1;
    }
    // The converter's buffer: 576 samples per channel, twice over.
    const size_t chunk = 576 * 2 * static_cast<size_t>(channels) * static_cast<size_t>(bps / 8);
    std::string pcm;
    std::string buffer(chunk, '\0');
    int killswitch = 0;
    while (true) {
        const intptr_t got = getData(handle, buffer.data(), buffer.size(), &killswitch);
        if (got <= 0) {
            break;
        }
        pcm.append(buffer.data(), static_cast<size_t>(got));
    }
    close(handle);
    const DWORD took = GetTickCount() - start;

    // The same RIFF header as the plug-in's own source serves: 16-bit PCM.
    const WavLayout layout(channels, rate, static_cast<int64_t>(pcm.size()) / (channels * 2), 1, 0);
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
    std::printf("convert file=\"%s\" result=%s size=%d bytes=%zu bps=%d channels=%d rate=%d ms=%lu\n",
                Escaped(Utf8(file)).c_str(), ok ? "ok" : "unwritable", size, pcm.size(), bps, channels, rate, took);
    std::fflush(stdout);
    return ok ? 0 : 4;
}
