#include "tools/common/ProcessCounters.h"

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The layouts below are the documented NT ones; MinGW's winternl.h does not declare them.
constexpr ULONG kSystemHandleInformation = 16;
constexpr NTSTATUS kStatusInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);

struct HandleEntry {
    USHORT processId;
    USHORT creatorBackTraceIndex;
    UCHAR objectTypeIndex;
    UCHAR handleAttributes;
    USHORT handleValue;
    PVOID object;
    ULONG grantedAccess;
};

struct HandleList {
    ULONG count;
    HandleEntry entries[1];
};

// One slot of the GDI handle table that the PEB points at; a slot is in use while its type is set.
struct GdiHandleEntry {
    UINT64 object;
    ULONG owner;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    UINT64 userPointer;
};
static_assert(sizeof(GdiHandleEntry) == 24);
constexpr size_t kGdiTableSlots = 0x10000;

using QuerySystemInformation = NTSTATUS(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
using QueryInformationProcess = NTSTATUS(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

FARPROC NtProc(const char* name) {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name);
}

int64_t CountHandles() {
    auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(NtProc("NtQuerySystemInformation")));
    if (!query)
        return -1;
    std::vector<unsigned char> buffer(1 << 20);
    NTSTATUS status;
    ULONG needed = 0;
    while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
           kStatusInfoLengthMismatch) {
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
    }
    if (status < 0)
        return -1;
    const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
    const auto self = static_cast<USHORT>(GetCurrentProcessId());
    int64_t count = 0;
    for (ULONG i = 0; i < list->count; ++i) {
        if (list->entries[i].processId == self)
            ++count;
    }
    return count;
}

const GdiHandleEntry* GdiTable() {
    auto query =
        reinterpret_cast<QueryInformationProcess>(reinterpret_cast<void*>(NtProc("NtQueryInformationProcess")));
    if (!query)
        return nullptr;
    PROCESS_BASIC_INFORMATION info = {};
    if (query(GetCurrentProcess(), 0 /* ProcessBasicInformation */, &info, sizeof info, nullptr) < 0)
        return nullptr;
    // GdiSharedHandleTable: 0xF8 into the 64-bit PEB, 0x94 into the 32-bit one.
    const size_t offset = sizeof(void*) == 8 ? 0xF8 : 0x94;
    const auto* peb = reinterpret_cast<const unsigned char*>(info.PebBaseAddress);
    return *reinterpret_cast<const GdiHandleEntry* const*>(peb + offset);
}

int64_t CountGdiObjects() {
    const GdiHandleEntry* table = GdiTable();
    if (!table)
        return -1;
    int64_t count = 0;
    for (size_t i = 0; i < kGdiTableSlots; ++i) {
        if (table[i].type != 0)
            ++count;
    }
    return count;
}

BOOL CALLBACK CountChild(HWND /*window*/, LPARAM count) {
    ++*reinterpret_cast<int64_t*>(count);
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM count) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId()) {
        ++*reinterpret_cast<int64_t*>(count);
        EnumChildWindows(window, CountChild, count);
    }
    return TRUE;
}

int64_t CountWindows() {
    int64_t count = 0;
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&count));
    // Message-only windows are not reached by EnumWindows.
    for (HWND w = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); w;
         w = FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == GetCurrentProcessId())
            ++count;
    }
    return count;
}

int64_t CountPrivateBytes() {
    int64_t bytes = 0;
    MEMORY_BASIC_INFORMATION region;
    const unsigned char* address = nullptr;
    while (VirtualQuery(address, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            bytes += static_cast<int64_t>(region.RegionSize);
        const unsigned char* next = static_cast<const unsigned char*>(region.BaseAddress) + region.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    return bytes;
}

}  // namespace

ProcessCounters ReadProcessCounters() {
    ProcessCounters counters;
    counters.handles = CountHandles();
    counters.gdiObjects = CountGdiObjects();
    counters.windows = CountWindows();
    counters.privateBytes = CountPrivateBytes();
    return counters;
}

std::string Describe(const ProcessCounters& counters) {
    char text[160];
    snprintf(text, sizeof text, "handles=%lld gdi=%lld windows=%lld private=%lld",
             static_cast<long long>(counters.handles), static_cast<long long>(counters.gdiObjects),
             static_cast<long long>(counters.windows), static_cast<long long>(counters.privateBytes));
    return text;
}
