// Helpers shared by the Windows tests: where the build put things, scratch folders, and running
// the stand-in player as a child process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// Folder of the running test executable, with a trailing backslash; the DLL and host.exe are there.
std::string ExeDir();

// A new empty folder under the system's temporary folder, with a trailing backslash. When none
// can be made it throws, which fails the calling test (or suite set-up) there and then: a caller
// must never go on to write into, or delete, a folder it did not make.
std::string MakeTempDir(const char* tag);

// Deletes a folder made by MakeTempDir and everything in it. Any other folder is refused (and the
// test fails), so a fixture can only ever delete what it made.
void RemoveTree(const std::string& dir);

// Runs a command line to completion with its output captured; returns the exit code.
int RunCapture(const std::string& commandLine, std::string& output, DWORD timeoutMs = 120000);

// The stand-in player's output, one entry per line, without line ends.
std::vector<std::string> SplitLines(const std::string& output);

// The text in double quotes, for a command line.
std::string Quote(const std::string& text);

// Writes bytes to a file, replacing it.
bool WriteFileBytes(const std::string& path, const std::string& bytes);

}  // namespace testsupport
