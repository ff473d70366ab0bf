// Where the real OMA media are: the shared folder beside the source tree, which the build names
// in ATRAC3DS_MEDIA_DIR as a Unix path. Wine maps the Unix root to drive Z:, so the tests turn it
// into that form. A fresh clone may have no media beside it; the tests that need them skip then.
#pragma once

#include <windows.h>

#include <string>

namespace testmedia {

// The folder in Wine's Z: form, with a trailing backslash.
inline std::string Dir() {
    std::string dir = std::string("Z:") + ATRAC3DS_MEDIA_DIR;
    for (char& c : dir) {
        if (c == '/')
            c = '\\';
    }
    if (dir.back() != '\\')
        dir += '\\';
    return dir;
}

inline std::string Path(const char* name) {
    return Dir() + name;
}

inline bool Have(const char* name) {
    const DWORD attributes = GetFileAttributesA(Path(name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace testmedia

// Skips the running test, saying which file it missed and where it looked.
#define SKIP_WITHOUT_MEDIA(name)                                                                             \
    do {                                                                                                     \
        if (!testmedia::Have(name))                                                                          \
            GTEST_SKIP() << "no " << (name) << " in " << testmedia::Dir() << " (the media beside the tree)"; \
    } while (0)
