// Path facts that every unit asks the same way.
#pragma once

#include <string>

// A plain file of that name: a folder does not count. Asked in UTF-16, so names longer than the
// ANSI calls take (a "\\?\" name) are judged alike.
bool IsPlainFile(const std::wstring& name);
bool IsPlainFile(const std::string& ansiName);

// The folder of the host process's executable, in the ANSI code page: no trailing backslash
// unless it is a drive's root.
std::string HostExeDir();

// A name in a folder: one backslash between them, none added after a drive's or a share's root.
std::string JoinPath(const std::string& folder, const std::string& name);
