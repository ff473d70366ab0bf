// The volume callback and the device search of Init. SetVolume keeps the graph at full level and
// sets device 0, the device found at Init, and device 0 again, whatever their answers.
#include "host/Volume.h"

#include "engine/Morlune.h"
#include "host/Main.h"
#include "host/VolumeLevel.h"

static_assert(sizeof(WAVEOUTCAPSA) == 52, "the capabilities record the platform fills in its ANSI form");

WaveOutCalls RealWaveOut() {
    return {waveOutGetNumDevs, waveOutGetDevCapsA, waveOutSetVolume};
}

WaveOutCalls& WaveOut() {
    static WaveOutCalls calls = RealWaveOut();
    return calls;
}

void FindVolumeDevice() {
    try {
        const UINT count = WaveOut().GetNumDevs();
        for (UINT device = 0; device < count; ++device) {
            // A device whose query fails counts as having no flags.
            WAVEOUTCAPSA caps = {};
            if (WaveOut().GetDevCaps(device, &caps, sizeof caps) == MMSYSERR_NOERROR &&
                (caps.dwSupport & WAVECAPS_VOLUME)) {
                VolumeDevice = device;
                return;
            }
        }
    } catch (...) {
        // The player must still start: without a device of our own, device 0 serves.
    }
}

void WA_CALL SetVolume(int volume) {
    try {
        if (Engine) {
            Engine->SetVolume(0);
        }
        const DWORD value = WaveOutVolumeValue(volume);
        // A device identifier goes where the call takes a handle, as the platform allows.
        const auto device = [](UINT id) { return reinterpret_cast<HWAVEOUT>(static_cast<UINT_PTR>(id)); };
        (void)WaveOut().SetVolume(device(0), value);
        (void)WaveOut().SetVolume(device(VolumeDevice), value);
        (void)WaveOut().SetVolume(device(0), value);
    } catch (...) {
    }
}
