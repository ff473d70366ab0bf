#include "tests/wine/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <stdexcept>

namespace testsupport {

namespace {

// The folders MakeTempDir made and RemoveTree has not yet deleted.
std::set<std::string>& MadeFolders() {
    static std::set<std::string> folders;
    return folders;
}

}  // namespace

std::string ExeDir() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    dir.resize(dir.find_last_of('\\') + 1);
    return dir;
}

std::string MakeTempDir(const char* tag) {
    char base[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, base);
    if (length == 0 || length >= MAX_PATH) {
        throw std::runtime_error("no temporary folder to make a scratch folder in (error " +
                                 std::to_string(GetLastError()) + ")");
    }
    const unsigned first = GetTickCount();
    for (unsigned n = first; n - first < 1000; ++n) {
        char dir[MAX_PATH];
        snprintf(dir, sizeof dir, "%satrac3ds-%s-%lu-%u\\", base, tag, GetCurrentProcessId(), n);
        if (CreateDirectoryA(dir, nullptr)) {
            MadeFolders().insert(dir);
            return dir;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) {
            throw std::runtime_error(std::string("cannot make the scratch folder ") + dir + " (error " +
                                     std::to_string(error) + ")");
        }
    }
    throw std::runtime_error(std::string("every scratch folder name for ") + tag + " is taken in " + base);
}

namespace {

// Deletes the folder `d` (given without a trailing backslash) and everything in it.
void RemoveContents(const std::string& d) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((d + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string full = d + "\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveContents(full);
            } else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    SetFileAttributesA(d.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(d.c_str());
}

}  // namespace

void RemoveTree(const std::string& dir) {
    if (MadeFolders().erase(dir) == 0) {
        ADD_FAILURE() << "refusing to delete \"" << dir << "\": not a scratch folder made by MakeTempDir";
        return;
    }
    RemoveContents(dir.substr(0, dir.size() - 1));
}

int RunCapture(const std::string& commandLine, std::string& output, DWORD timeoutMs) {
    output.clear();
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0))
        return -1;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi = {};
    std::string cmd = commandLine;
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return -1;
    }
    CloseHandle(writeEnd);
    DWORD start = GetTickCount();
    char buf[4096];
    for (;;) {
        DWORD avail = 0;
        if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &avail, nullptr))
            break;
        if (avail) {
            DWORD got = 0;
            if (!ReadFile(readEnd, buf, sizeof buf, &got, nullptr) || got == 0)
                break;
            output.append(buf, got);
            continue;
        }
        if (WaitForSingleObject(pi.hProcess, 20) == WAIT_OBJECT_0) {
            // Drain what the child wrote before it ended.
            while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &avail, nullptr) && avail) {
                DWORD got = 0;
                if (!ReadFile(readEnd, buf, sizeof buf, &got, nullptr) || got == 0)
                    break;
                output.append(buf, got);
            }
            break;
        }
        if (GetTickCount() - start > timeoutMs) {
            TerminateProcess(pi.hProcess, 99);
            output += "\n[timed out]\n";
            break;
        }
    }
    DWORD code = 0;
    WaitForSingleObject(pi.hProcess, 5000);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(readEnd);
    return static_cast<int>(code);
}

std::vector<std::string> SplitLines(const std::string& output) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        std::string text = output.substr(start, end - start);
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        lines.push_back(std::move(text));
        start = end + 1;
    }
    return lines;
}

std::string Quote(const std::string& text) {
    std::string q(1, '"');
    q.append(text);
    q.push_back('"');
    return q;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

}  // namespace testsupport
