// Milliseconds <-> DirectShow reference time (100 ns units).
#pragma once

#include <cstdint>

constexpr int64_t kRefTimePerMs = 10000;

// 64-bit product; wraps rather than overflowing for values no caller can pass (32-bit ms widened).
constexpr int64_t MsToRefTime(int64_t ms) {
    return static_cast<int64_t>(static_cast<uint64_t>(ms) * static_cast<uint64_t>(kRefTimePerMs));
}

// Signed division truncates toward zero, as the engine's surface requires.
constexpr int64_t RefTimeToMs(int64_t refTime) {
    return refTime / kRefTimePerMs;
}
