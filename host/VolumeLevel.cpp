#include "host/VolumeLevel.h"

uint32_t WaveOutVolumeValue(int32_t hostVolume) {
    const uint32_t level = (static_cast<uint32_t>(hostVolume) & 0xFFu) * 256u;
    return level | (level << 16);
}
