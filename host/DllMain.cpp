// The library's entry point. Only the unload does anything: it runs under the loader lock, where
// nothing may wait for another thread, so it hands over to ReleaseAtUnload, which is written for
// that. On process exit (reserved not null) the same holds, and the other threads are gone.
#include <windows.h>

#include "host/Main.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_DETACH) {
        ReleaseAtUnload();
    }
    return TRUE;
}
