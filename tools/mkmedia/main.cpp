// mkmedia: writes the generated demo and test media to a file.
//   mkmedia wav PATH MS
//   mkmedia avi PATH MS [W H]
#include "tools/mkmedia/MediaWriter.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    const std::string kind = argc > 1 ? argv[1] : "";
    const bool wav = kind == "wav" && argc == 4;
    const bool avi = kind == "avi" && (argc == 4 || argc == 6);
    if (!wav && !avi) {
        std::fprintf(stderr, "usage: mkmedia wav PATH MS | mkmedia avi PATH MS [W H]\n");
        return 2;
    }
    const int32_t ms = std::atoi(argv[3]);
    if (ms <= 0) {
        std::fprintf(stderr, "mkmedia: MS must be a positive number of milliseconds\n");
        return 2;
    }
    std::string bytes;
    if (wav) {
        bytes = MakeToneWav(ms);
    } else {
        const int32_t width = argc == 6 ? std::atoi(argv[4]) : 320;
        const int32_t height = argc == 6 ? std::atoi(argv[5]) : 240;
        if (width <= 0 || height <= 0) {
            std::fprintf(stderr, "mkmedia: W and H must be positive\n");
            return 2;
        }
        bytes = MakeAvi(ms, width, height);
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "mkmedia: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
