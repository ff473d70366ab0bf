// Helpers shared by the Windows tests: where the build put things, scratch folders, files, the
// thread's message loop, and running the stand-in player as a child process and reading its output.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "host/InModule.h"

namespace testsupport {

// Folder of the running test executable, with a trailing backslash; the DLL and host.exe are there.
std::string ExeDir();

// A new empty folder under the system's temporary folder, with a trailing backslash. When none
// can be made it throws, which fails the calling test (or suite set-up) there and then: a caller
// must never go on to write into, or delete, a folder it did not make.
std::string MakeTempDir(const char* tag);

// A scratch folder (as MakeTempDir) holding its own copies of the named files from ExeDir(): a
// player run from there writes its settings file there. A file that cannot be copied throws.
std::string MakeProgramFolder(const char* tag, std::initializer_list<const char*> files);

// Deletes a folder made by MakeTempDir and everything in it. Any other folder is refused (and the
// test fails), so a fixture can only ever delete what it made.
void RemoveTree(const std::string& dir);

// Runs a command line to completion with its output captured; returns the exit code.
int RunCapture(const std::string& commandLine, std::string& output, DWORD timeoutMs = 120000);

// Text split into lines, without line ends.
std::vector<std::string> SplitLines(const std::string& output);

// The text in double quotes, for a command line.
std::string Quote(const std::string& text);

// Writes bytes to a file, replacing it.
bool WriteFileBytes(const std::string& path, const std::string& bytes);

// The bytes of a file as they are on disk. The callers check what was written, so a file that
// cannot be read fails the calling test (and reads as no bytes).
std::string ReadFileBytes(const std::string& path);

// A window standing in for the player's main window, hidden unless the style says otherwise; its
// class, named className, is registered on first use.
HWND MakePlayerWindow(const wchar_t* className,
                      WNDPROC proc = DefWindowProcW,
                      DWORD style = WS_OVERLAPPEDWINDOW,
                      int width = 400,
                      int height = 300);

// Loads the built plug-in beside the test, as a player does, and answers its record (null when
// either step fails); dll gets the module, null when it did not load.
In_Module* LoadPluginRecord(HMODULE& dll);

// Bytes that are no media format: a fixed pseudo-random sequence, so a failure can be repeated.
std::string NoiseBytes(size_t size, uint32_t seed);

// A window's text, whole.
std::wstring WindowText(HWND window);

// The last child window of `parent` that is none of `ours`: the one something else put there (the
// video renderer); null when there is none.
HWND ForeignChild(HWND parent, std::initializer_list<HWND> ours);

// A window's rectangle in its parent's client coordinates; empty for no window.
RECT RectInParent(HWND window);

// Runs this thread's messages for `ms` milliseconds, at least once, so that its timers fire and its
// windows answer what other threads send them.
void PumpMessages(DWORD ms);

// One line of the stand-in player's output (tools/host; the bench's "result" lines have the same
// shape): "word key=value key="quoted value" ...".
struct HostLine {
    std::string word;
    std::string text;  // the whole line, for failure messages
    std::map<std::string, std::string> fields;

    // The line's word is `word` and, when a key is given, its field `key` reads `value`.
    bool Is(const std::string& w, const std::string& key = "", const std::string& value = "") const;
    // The field's text; "<none>" when the line has no such field.
    std::string Field(const std::string& key) const;
    // The field as a number; a missing or non-numeric field fails the calling test and reads 0.
    int64_t Number(const std::string& key) const;
};

std::vector<HostLine> ParseHostOutput(const std::string& output);

// The lines whose word is `word`, in order.
std::vector<HostLine> Only(const std::vector<HostLine>& lines, const std::string& word);

}  // namespace testsupport
