// The extended exports' speed, driven through the built DLL as the player's library and
// converter drive them:
//   extread scan FILE DIR COUNT   writes COUNT tagged copies of FILE into DIR, then reads title,
//                                 artist, album and length of each twice over (the second pass is
//                                 the warm cache): "result figure=scan us-per-file=… files=…"
//   extread convert FILE PASSES   extended read of the whole file in the converter's chunks:
//                                 "result figure=convert speed=…" (times real time, median pass)
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/AnsiText.h"
#include "base/Paths.h"
#include "tools/bench/Timing.h"

namespace {

using GetInfoW = int(__cdecl*)(const wchar_t*, const char*, wchar_t*, int);
using ReadOpenW = intptr_t(__cdecl*)(const wchar_t*, int*, int*, int*, int*);
using ReadGetData = intptr_t(__cdecl*)(intptr_t, char*, size_t, int*);
using ReadClose = void(__cdecl*)(intptr_t);

HMODULE dll = nullptr;

template <class Function>
Function Export(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

std::string ReadWhole(const std::wstring& path) {
    std::string bytes;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return bytes;
    LARGE_INTEGER size{};
    GetFileSizeEx(f, &size);
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(f);
    return bytes;
}

// An ID3v2.3 text frame in UTF-16 with its mark.
std::string TextFrame(const char* id, const std::wstring& text) {
    std::string content = "\x01\xFF\xFE";
    for (wchar_t c : text) {
        content += static_cast<char>(c & 0xFF);
        content += static_cast<char>(c >> 8);
    }
    const auto n = static_cast<uint32_t>(content.size());
    std::string frame = id;
    frame +=
        {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8), static_cast<char>(n), 0, 0};
    return frame + content;
}

std::string TagBlock(int i) {
    std::string body = TextFrame("TIT2", L"\u6D4B\u8BD5\u66F2\u76EE " + std::to_wstring(i));
    body += TextFrame("TPE1", L"\u827A\u672F\u5BB6");
    body += TextFrame("TALB", L"\u4E13\u8F91 " + std::to_wstring(i / 10));
    body.resize(body.size() + 512, '\0');  // the padding writers leave
    const auto n = static_cast<uint32_t>(body.size());
    std::string tag = "ea3";
    tag += {3,
            0,
            0,
            static_cast<char>(n >> 21 & 0x7F),
            static_cast<char>(n >> 14 & 0x7F),
            static_cast<char>(n >> 7 & 0x7F),
            static_cast<char>(n & 0x7F)};
    return tag + body;
}

int Scan(const std::wstring& source, const std::wstring& dir, int count) {
    const auto info = Export<GetInfoW>("winampGetExtendedFileInfoW");
    const std::string plain = ReadWhole(source);
    if (!info || plain.empty()) {
        printf("result figure=scan error=setup\n");
        return 1;
    }
    std::vector<std::wstring> files;
    for (int i = 0; i < count; ++i) {
        files.push_back(dir + L"\\scan" + std::to_wstring(i) + L".oma");
        const std::string bytes = TagBlock(i) + plain;
        HANDLE f = CreateFileW(files.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(f);
    }
    double warmMs = 0;
    int known = 0;
    for (int pass = 0; pass < 2; ++pass) {
        known = 0;
        const double start = NowMs();
        for (const std::wstring& file : files) {
            for (const char* field : {"title", "artist", "album", "length"}) {
                wchar_t value[512];
                known += info(file.c_str(), field, value, 512);
            }
        }
        warmMs = NowMs() - start;
    }
    for (const std::wstring& file : files)
        DeleteFileW(file.c_str());
    printf("result figure=scan us-per-file=%.1f files=%d fields-known=%d\n", warmMs * 1000.0 / count, count, known);
    return known == count * 4 ? 0 : 1;
}

int Convert(const std::wstring& file, int passes) {
    const auto open = Export<ReadOpenW>("winampGetExtendedRead_openW");
    const auto getData = Export<ReadGetData>("winampGetExtendedRead_getData");
    const auto close = Export<ReadClose>("winampGetExtendedRead_close");
    if (!open || !getData || !close) {
        printf("result figure=convert error=no-export\n");
        return 1;
    }
    std::vector<double> times;
    double seconds = 0;
    for (int pass = 0; pass < passes; ++pass) {
        int size = 0, bps = 0, nch = 0, srate = 0;
        const double start = NowMs();
        const intptr_t handle = open(file.c_str(), &size, &bps, &nch, &srate);
        if (!handle) {
            printf("result figure=convert error=open\n");
            return 1;
        }
        std::vector<char> buffer(576 * 2 * static_cast<size_t>(nch) * 2);
        int kill = 0;
        int64_t total = 0;
        intptr_t got = 0;
        while ((got = getData(handle, buffer.data(), buffer.size(), &kill)) > 0)
            total += got;
        close(handle);
        times.push_back(NowMs() - start);
        seconds = static_cast<double>(total) / (nch * 2) / srate;
    }
    const double ms = Median(times);
    printf("result figure=convert speed=%.1f ms=%.1f seconds=%.3f\n", seconds * 1000.0 / ms, ms, seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    dll = LoadLibraryA(JoinPath(HostExeDir(), "in_atrac3ds.dll").c_str());
    if (!dll) {
        printf("result error=load\n");
        return 3;
    }
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "scan" && argc > 4)
        return Scan(AnsiToWide(argv[2]), AnsiToWide(argv[3]), atoi(argv[4]));
    if (mode == "convert" && argc > 3)
        return Convert(AnsiToWide(argv[2]), atoi(argv[3]));
    fprintf(stderr, "usage: extread scan FILE DIR COUNT | extread convert FILE PASSES\n");
    return 2;
}
