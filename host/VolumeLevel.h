// The wave-output volume value for the player's volume setting.
#pragma once

#include <cstdint>

// Low 8 bits of the host's volume times 256, the same level for left (low half) and right
// (high half): 255 gives 0xFF00 per channel, so the loudest setting stays below full scale.
uint32_t WaveOutVolumeValue(int32_t hostVolume);
