#include "host/EndTest.h"

bool TrackHasEnded(int32_t positionMs, int32_t durationMs) {
    const auto bound = static_cast<int32_t>(static_cast<uint32_t>(durationMs) - 500u);
    return positionMs >= bound;
}
