// MP3 test media: generated audio encoded by Debian's ffmpeg (libmp3lame), then wrapped behind
// an EA3 header with codec id 3 as the desktop software writes them. The plain MP3 stays beside
// it as the reference decoder's input.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/native/OmaBytes.h"
#include "tests/native/ReferenceDecode.h"

namespace mp3media {

struct Made {
    std::filesystem::path mp3;
    omabytes::Bytes oma;   // header, then the MP3's bytes
    int64_t inputSamples;  // per channel, what the encoder was given
};

// Two tones and a chirp, different on each channel where there are two.
inline std::string Source(int32_t rate, int32_t channels, int32_t seconds) {
    const std::string left = "0.3*sin(2*PI*440*t)+0.2*sin(2*PI*300*t*t)";
    const std::string right = "0.25*sin(2*PI*660*t)+0.15*sin(2*PI*(100+900*t)*t)";
    return "-f lavfi -i \"aevalsrc=" + left + (channels == 2 ? "|" + right : "") + ":s=" + std::to_string(rate) +
           ":d=" + std::to_string(seconds) + "\"";
}

// The bytes that follow the EA3 header; the header's parameter bits are left zero, since the
// frames carry their own.
inline omabytes::Bytes Wrap(const omabytes::Bytes& mp3, uint16_t encryptionId = 0xFFFF) {
    omabytes::Bytes oma = omabytes::Header(3, 0, encryptionId);
    omabytes::Append(oma, mp3);
    return oma;
}

// Encodes with `options` (rate, channels, bit rate or quality, Xing on or off) into the test's
// temporary folder. Empty mp3 path when ffmpeg fails.
inline Made Make(const std::string& name, int32_t rate, int32_t channels, int32_t seconds, const std::string& options) {
    Made made;
    made.inputSamples = int64_t{rate} * seconds;
    const auto dir = std::filesystem::temp_directory_path() / "atrac3ds-mp3";
    std::filesystem::create_directories(dir);
    const auto path = dir / (name + ".mp3");
    const std::string command = "ffmpeg -v error -nostdin -y " + Source(rate, channels, seconds) + " -ac " +
                                std::to_string(channels) + " -c:a libmp3lame " + options + " -id3v2_version 0 '" +
                                path.string() + "'";
    if (std::system(command.c_str()) != 0) {
        return made;
    }
    made.mp3 = path;
    made.oma = Wrap(reference::FileContents(path));
    return made;
}

// Where ffprobe (not our walker) says each frame of an MP3 file starts.
inline std::vector<int64_t> FrameOffsets(const std::filesystem::path& mp3) {
    std::vector<int64_t> offsets;
    const std::string command = "ffprobe -v error -show_entries packet=pos -of csv=p=0 '" + mp3.string() + "'";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return offsets;
    }
    // One line per packet; the first may carry a side-data note after a comma.
    char line[256];
    while (std::fgets(line, sizeof line, pipe)) {
        if (line[0] >= '0' && line[0] <= '9') {
            offsets.push_back(std::strtoll(line, nullptr, 10));
        }
    }
    pclose(pipe);
    return offsets;
}

}  // namespace mp3media
