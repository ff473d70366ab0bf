// The bytes of a file as they are on disk, for checking what the settings store wrote.
#pragma once

#include <cstdio>
#include <string>

inline std::string ReadFileBytes(const std::string& path) {
    std::string bytes;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;) bytes.append(buffer, n);
        fclose(f);
    }
    return bytes;
}
