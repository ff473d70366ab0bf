#include "host/LibraryHold.h"

#include <atomic>

namespace {

std::atomic<bool> windowsMade{false};
std::atomic<int> waitingHolds{0};

VOID CALLBACK FreeWhenDone(PTP_CALLBACK_INSTANCE instance, PVOID module) {
    // The pool unloads the library after this returns, from its own code.
    FreeLibraryWhenCallbackReturns(instance, static_cast<HMODULE>(module));
}

}  // namespace

HMODULE HoldLibrary() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&HoldLibrary), &module)) {
        return nullptr;
    }
    return module;
}

void LetGoOfLibrary(HMODULE module) {
    if (!module) {
        return;
    }
    if (windowsMade.load()) {
        ++waitingHolds;
        return;
    }
    // Without the pool the reference stays: a library left loaded is safe, one unloaded under
    // our feet is not.
    (void)TrySubmitThreadpoolCallback(FreeWhenDone, module, nullptr);
}

void SetWindowsMade(bool made) {
    windowsMade.store(made);
}

void LetGoOfWaitingHolds() {
    // The player that calls us holds the library itself: none of these is the last reference.
    for (int n = waitingHolds.exchange(0); n > 0; --n) {
        HMODULE module = nullptr;
        if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               reinterpret_cast<LPCWSTR>(&LetGoOfWaitingHolds), &module)) {
            (void)FreeLibrary(module);
        }
    }
}
