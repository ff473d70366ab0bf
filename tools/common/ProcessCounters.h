// What a process holds, counted the way that works under Wine, where GetGuiResources,
// GetProcessHandleCount and the private-usage figure all read 0: kernel handles from the system's
// handle list, GDI objects from the process's GDI handle table, windows by enumeration and private
// memory by walking the address space. Leak checks compare two readings of the same process.
#pragma once

#include <cstdint>
#include <string>

struct ProcessCounters {
    int64_t handles = 0;
    int64_t gdiObjects = 0;
    int64_t windows = 0;       // top-level, child and message-only windows of this process
    int64_t privateBytes = 0;  // committed private memory
};

ProcessCounters ReadProcessCounters();

// "handles=… gdi=… windows=… private=…", for logs and benchmark output.
std::string Describe(const ProcessCounters& counters);
