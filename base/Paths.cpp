#include "base/Paths.h"

#include <windows.h>

#include <vector>

#include "base/AnsiText.h"
#include "base/NamePart.h"

bool IsPlainFile(const std::wstring& name) {
    if (name.empty())
        return false;
    const DWORD attributes = GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsPlainFile(const std::string& ansiName) {
    return IsPlainFile(AnsiToWide(ansiName));
}

std::string HostExeDir() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    const std::string path(buffer.data(), buffer.size());
    size_t end = NameStart(path, SystemLeadByte);
    // A drive's root ("C:\") keeps its backslash, and so does a share's ("\\").
    if (end > 1 && path[end - 1] == '\\' && path[end - 2] != ':' && path[end - 2] != '\\')
        --end;
    return path.substr(0, end);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '\\' || folder.back() == ':') return folder + name;
    return folder + "\\" + name;
}
