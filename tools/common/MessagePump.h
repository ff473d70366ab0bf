// The one message pump of the tools and the tests: runs this thread's messages for a while, so
// that its timers fire and its windows answer what other threads send them.
#pragma once

#include <windows.h>

// Handles every message waiting now.
void PumpWaitingMessages();

// Handles messages for `ms` milliseconds, at least once, waking as soon as one arrives.
void PumpMessagesFor(DWORD ms);
