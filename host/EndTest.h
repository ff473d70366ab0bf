// The end-of-track test of the position poll.
#pragma once

#include <cstdint>

// True once the position is within 500 ms of the duration. The subtraction wraps in 32 bits
// and the comparison is signed, so a duration near INT32_MIN wraps to a large positive bound.
bool TrackHasEnded(int32_t positionMs, int32_t durationMs);
