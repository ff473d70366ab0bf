// The thread's message loop, reached from inside an operation.
#pragma once

// Handles every message waiting in this thread's queue and returns when none is left.
void ProcessMessages();
