// The real media beside the source tree and Debian's ffmpeg program as the reference decoder.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace reference {

inline std::filesystem::path MediaDir() {
    return ATRAC3DS_MEDIA_DIR;
}

inline std::vector<std::filesystem::path> MediaFiles() {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(MediaDir(), error)) {
        if (entry.path().extension() == ".oma") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

inline std::vector<uint8_t> FileContents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool HaveFfmpeg() {
    return std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

// The file decoded by `ffmpeg -f s16le`: interleaved 16-bit samples, nothing trimmed. Where the
// OMA file has a RealMedia twin holding the same frames, the twin is decoded: FFmpeg's OMA set-up
// refuses the frame sizes those files have.
inline std::optional<std::vector<int16_t>> FfmpegDecode(const std::filesystem::path& path) {
    std::filesystem::path source = path;
    if (std::filesystem::path twin = std::filesystem::path(path).replace_extension(".rm");
        std::filesystem::exists(twin)) {
        source = twin;
    }
    const std::string command = "ffmpeg -v error -nostdin -i '" + source.string() + "' -f s16le -acodec pcm_s16le -";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return std::nullopt;
    }
    std::vector<int16_t> samples;
    int16_t buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, sizeof(int16_t), 4096, pipe)) > 0) {
        samples.insert(samples.end(), buffer, buffer + n);
    }
    if (pclose(pipe) != 0) {
        return std::nullopt;
    }
    return samples;
}

}  // namespace reference
