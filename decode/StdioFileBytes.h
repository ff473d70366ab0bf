// FileBytes over a stdio file, for the native tests and tools; the Windows side reads through a
// file handle instead. Pure: no Windows header.
#pragma once

#include <memory>

#include "oma/FileBytes.h"

// The file at path, or null when it cannot be opened.
std::unique_ptr<FileBytes> OpenStdioFile(const char* path);
