// Helpers shared by the Windows tests: where the build put things, scratch folders, and running
// the stand-in player as a child process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// Folder of the running test executable, with a trailing backslash; the DLL and host.exe are there.
std::string ExeDir();

// A new empty folder under the system's temporary folder, with a trailing backslash.
std::string MakeTempDir(const char* tag);

// Deletes a folder and everything in it.
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
