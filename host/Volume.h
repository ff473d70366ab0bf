// Output volume: the player's volume control sets the master volume of wave-output devices, and
// the graph's own volume stays at full level. The wave-output calls go through one table so that
// tests can see them; the real calls are the default (Wine rejects device identifiers in
// waveOutSetVolume, so the devices cannot be read back there).
#pragma once

#include <windows.h>
#include <mmsystem.h>

struct WaveOutCalls {
    UINT(WINAPI* GetNumDevs)();
    MMRESULT(WINAPI* GetDevCaps)(UINT_PTR device, LPWAVEOUTCAPSA caps, UINT size);
    MMRESULT(WINAPI* SetVolume)(HWAVEOUT device, DWORD volume);
};

// The table in use; a test may assign its own calls and must put the real ones back.
WaveOutCalls& WaveOut();
WaveOutCalls RealWaveOut();

// Step 1 of Init: VolumeDevice := the first device that reports volume control, else it stays 0.
// Nothing raised in the search gets out.
void FindVolumeDevice();
