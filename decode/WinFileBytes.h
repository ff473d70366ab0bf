// A file's bytes through a Win32 handle, for the OMA reader and stream: read at any offset, from
// any thread (each read names its own offset, so no shared file position is moved).
#pragma once

#include <memory>
#include <string>

#include "oma/FileBytes.h"

// Opens the file for reading, sharing it with other readers and writers; null when it cannot.
std::unique_ptr<FileBytes> OpenFileBytes(const std::wstring& name);
