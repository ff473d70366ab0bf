#include "tests/wine/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <stdexcept>

#include "base/Paths.h"
#include "tools/common/MessagePump.h"

namespace testsupport {

namespace {

// The folders MakeTempDir made and RemoveTree has not yet deleted.
std::set<std::string>& MadeFolders() {
    static std::set<std::string> folders;
    return folders;
}

}  // namespace

std::string ExeDir() {
    return JoinPath(HostExeDir(), "");
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

std::string MakeProgramFolder(const char* tag, std::initializer_list<const char*> files) {
    const std::string dir = MakeTempDir(tag);
    for (const char* file : files) {
        if (!CopyFileA((ExeDir() + file).c_str(), (dir + file).c_str(), FALSE)) {
            const DWORD error = GetLastError();
            RemoveTree(dir);
            throw std::runtime_error(std::string("cannot copy ") + file + " into " + dir + " (error " +
                                     std::to_string(error) + ")");
        }
    }
    return dir;
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
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

std::string ReadFileBytes(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) {
        ADD_FAILURE() << "cannot read " << path;
        return {};
    }
    std::string bytes;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;)
        bytes.append(buffer, n);
    fclose(f);
    return bytes;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

HWND ForeignChild(HWND parent, std::initializer_list<HWND> ours) {
    HWND found = nullptr;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (std::find(ours.begin(), ours.end(), c) == ours.end())
            found = c;
    }
    return found;
}

RECT RectInParent(HWND window) {
    RECT rc{};
    if (window && GetWindowRect(window, &rc))
        MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

HWND MakePlayerWindow(const wchar_t* className, WNDPROC proc, DWORD style, int width, int height) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = className;
    (void)RegisterClassW(&wc);  // already registered by an earlier case: the same class
    return CreateWindowExW(0, className, L"player", style, 0, 0, width, height, nullptr, nullptr, wc.hInstance,
                           nullptr);
}

In_Module* LoadPluginRecord(HMODULE& dll) {
    dll = LoadLibraryA(JoinPath(HostExeDir(), "in_atrac3ds.dll").c_str());
    if (!dll)
        return nullptr;
    using GetModule = In_Module* (*)();
    auto get = reinterpret_cast<GetModule>(reinterpret_cast<void*>(GetProcAddress(dll, "winampGetInModule2")));
    return get ? get() : nullptr;
}

std::string NoiseBytes(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<char>(seed >> 24);
    }
    return bytes;
}

void PumpMessages(DWORD ms) {
    PumpMessagesFor(ms);
}

bool HostLine::Is(const std::string& w, const std::string& key, const std::string& value) const {
    if (word != w)
        return false;
    if (key.empty())
        return true;
    const auto it = fields.find(key);
    return it != fields.end() && it->second == value;
}

std::string HostLine::Field(const std::string& key) const {
    const auto it = fields.find(key);
    return it == fields.end() ? "<none>" : it->second;
}

int64_t HostLine::Number(const std::string& key) const {
    const auto it = fields.find(key);
    const char* begin = it == fields.end() ? "" : it->second.c_str();
    char* end = nullptr;
    const long long value = strtoll(begin, &end, 0);
    if (*begin == '\0' || *end != '\0') {
        ADD_FAILURE() << "no number " << key << " in: " << text;
        return 0;
    }
    return value;
}

std::vector<HostLine> ParseHostOutput(const std::string& output) {
    std::vector<HostLine> lines;
    for (std::string& text : SplitLines(output)) {
        HostLine line;
        size_t i = text.find(' ');
        line.word = text.substr(0, i);
        while (i != std::string::npos && i < text.size()) {
            ++i;
            const size_t eq = text.find('=', i);
            if (eq == std::string::npos)
                break;
            const size_t space = text.find(' ', i);
            if (space < eq) {  // a bare word, as in "load ok": no field
                i = space;
                continue;
            }
            const std::string key = text.substr(i, eq - i);
            if (eq + 1 < text.size() && text[eq + 1] == '"') {
                // A quoted value may hold spaces and quotes: it ends at a quote before a space or the end.
                size_t close = eq + 1;
                do {
                    close = text.find('"', close + 1);
                } while (close != std::string::npos && close + 1 < text.size() && text[close + 1] != ' ');
                line.fields[key] = text.substr(eq + 2, close == std::string::npos ? close : close - eq - 2);
                i = close == std::string::npos ? close : close + 1;
            } else {
                i = text.find(' ', eq);
                line.fields[key] = text.substr(eq + 1, i == std::string::npos ? i : i - eq - 1);
            }
        }
        line.text = std::move(text);
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<HostLine> Only(const std::vector<HostLine>& lines, const std::string& word) {
    std::vector<HostLine> found;
    for (const HostLine& line : lines) {
        if (line.word == word)
            found.push_back(line);
    }
    return found;
}

}  // namespace testsupport
