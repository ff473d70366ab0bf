#include "host/LibraryHold.h"

#include <windows.h>

#include <atomic>
#include <mutex>

namespace {

// How long the reference outlives the last reader: long enough for a converter's next file.
constexpr LONGLONG kLetGoAfter100ns = 10'000'000;

std::atomic<bool> windowsMade{false};
std::atomic<int> waitingHolds{0};

std::mutex mutex;  // guards what follows
int readers = 0;
HMODULE held = nullptr;
PTP_TIMER timer = nullptr;

HMODULE ThisLibrary(DWORD flags) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | flags,
                            reinterpret_cast<LPCWSTR>(&HoldLibraryForReader), &module)) {
        return nullptr;
    }
    return module;
}

VOID CALLBACK LetGoWhenIdle(PTP_CALLBACK_INSTANCE instance, PVOID, PTP_TIMER) {
    std::lock_guard lock(mutex);
    if (readers == 0 && held) {
        // The pool unloads the library after this returns, from its own code.
        FreeLibraryWhenCallbackReturns(instance, held);
        held = nullptr;
        // Its callback is this library's code: no timer of ours may outlive it. Freed once this
        // callback is done.
        CloseThreadpoolTimer(timer);
        timer = nullptr;
    }
}

}  // namespace

void HoldLibraryForReader() {
    std::lock_guard lock(mutex);
    if (readers++ == 0 && !held) {
        held = ThisLibrary(0);
    }
}

void LetGoOfLibraryForReader() {
    std::lock_guard lock(mutex);
    if (--readers > 0 || !held) {
        return;
    }
    if (windowsMade.load()) {
        held = nullptr;
        ++waitingHolds;
        return;
    }
    if (!timer) {
        timer = CreateThreadpoolTimer(LetGoWhenIdle, nullptr, nullptr);
    }
    if (!timer) {
        return;  // the reference stays: a library left loaded is safe, one unloaded under us is not
    }
    FILETIME due{};
    const ULONGLONG relative = static_cast<ULONGLONG>(-kLetGoAfter100ns);
    due.dwLowDateTime = static_cast<DWORD>(relative);
    due.dwHighDateTime = static_cast<DWORD>(relative >> 32);
    SetThreadpoolTimer(timer, &due, 0, 0);
}

void SetWindowsMade(bool made) {
    windowsMade.store(made);
}

void LetGoOfWaitingHolds() {
    // The player that calls us holds the library itself: none of these is the last reference.
    for (int n = waitingHolds.exchange(0); n > 0; --n) {
        if (HMODULE module = ThisLibrary(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT)) {
            (void)FreeLibrary(module);
        }
    }
}
