// The host module: the record the player reads, the module globals, and the callbacks through
// which the player drives the plug-in. Everything here runs on the player's UI thread.
#pragma once

#include "host/InModule.h"

#include <cstdint>
#include <memory>

class TMorlune;

// The one playback engine, made by Init and kept for the life of the library.
extern std::unique_ptr<TMorlune> Engine;

// Module globals of the host (0 at load).
extern bool Paused;
extern int32_t TrackLengthMs;
extern int32_t AdvanceOnEnd;
extern uint32_t VolumeDevice;

// The deferred step at the end of a track: asks the player for the next one when shuffle or
// repeat was on at the end, and otherwise tells it that the track has ended.
void RequestNextTrack();

// The library's unload (DllMain, under the loader lock): a graph still held is let go without a
// release, the windows are destroyed and the window classes unregistered, so a later load of the
// library starts afresh. Nothing here waits for another thread or calls the player.
void ReleaseAtUnload();

// The one record; winampGetInModule2 hands out its address.
extern In_Module Module;

// Record callbacks (the player calls them through Module).
void WA_CALL Config(HWND hwndParent);
void WA_CALL About(HWND hwndParent);
void WA_CALL Init();
void WA_CALL Quit();
void WA_CALL GetFileInfo(const char* file, char* title, int* lengthMs);
int WA_CALL InfoBox(const char* file, HWND hwndParent);
int WA_CALL IsOurFile(const char* file);
int WA_CALL Play(const char* file);
void WA_CALL Pause();
void WA_CALL UnPause();
int WA_CALL IsPaused();
void WA_CALL Stop();
int WA_CALL GetLength();
int WA_CALL GetOutputTime();
void WA_CALL SetOutputTime(int timeMs);
void WA_CALL SetVolume(int volume);
void WA_CALL SetPan(int pan);
void WA_CALL EQSet(int on, char data[10], int preamp);
