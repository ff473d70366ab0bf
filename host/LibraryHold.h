// The references the library holds on itself for the extended-read handles, so that a host that
// unloads us while a handle is open unmaps nothing the handle's reader still runs: the handle
// stays usable until its close. Reached from the extended exports on the player's worker threads
// and from the record's callbacks on its UI thread.
#pragma once

#include <windows.h>

// A reference on this library, or null when none could be taken.
HMODULE HoldLibrary();

// Lets go of a reference that HoldLibrary gave, from a worker thread. It may be the last one, so
// it is never let go while our code runs on this thread: without windows of ours it goes through
// the thread pool, which unloads the library once the callback has returned. With windows, whose
// destruction belongs to the UI thread, it waits for the UI thread's next callback.
void LetGoOfLibrary(HMODULE module);

// Whether Init has made the windows, which only the UI thread may destroy at the unload.
void SetWindowsMade(bool made);

// On the UI thread, inside a callback of a player that holds the library: lets go of the
// references that waited for it.
void LetGoOfWaitingHolds();
