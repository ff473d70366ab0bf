// The reference the library holds on itself while extended-read handles are open, so that a host
// that unloads us with a handle open unmaps nothing the handle's reader still runs: the handle
// stays usable until its close. Reached from the extended exports on the player's worker threads
// and from the record's callbacks on its UI thread.
#pragma once

// A reader opens: the first of them takes the reference.
void HoldLibraryForReader();

// A reader is gone. After the last one the reference goes, never while our code runs on the
// closing thread, since it may be the last: without windows of ours a thread-pool timer lets go
// a second later (a converter's next file reuses the reference meanwhile), and the pool unloads
// the library once the callback has returned. With windows, whose destruction belongs to the UI
// thread, the reference waits for the UI thread's next callback.
void LetGoOfLibraryForReader();

// Whether Init has made the windows, which only the UI thread may destroy at the unload.
void SetWindowsMade(bool made);

// On the UI thread, inside a callback of a player that holds the library: lets go of the
// references that waited for it.
void LetGoOfWaitingHolds();
