// The player's input-module record: the one structure the player reads from this library.
// The field order and widths are the player's published interface; on 32-bit Windows every
// field is 4 bytes and the record is 152, which the static_asserts below prove. The 64-bit
// build keeps the same fields in the same order, integers as 32-bit int and pointers native.
#pragma once

#include <windows.h>

#include <cstddef>

#if defined(_WIN64)
#define WA_CALL
#else
#define WA_CALL __cdecl
#endif

struct In_Module {
    int version;
    const char* description;
    HWND hMainWindow;
    HINSTANCE hDllInstance;
    const char* FileExtensions;
    int is_seekable;
    int UsesOutputPlug;
    void(WA_CALL* Config)(HWND hwndParent);
    void(WA_CALL* About)(HWND hwndParent);
    void(WA_CALL* Init)();
    void(WA_CALL* Quit)();
    void(WA_CALL* GetFileInfo)(const char* file, char* title, int* lengthMs);
    int(WA_CALL* InfoBox)(const char* file, HWND hwndParent);
    int(WA_CALL* IsOurFile)(const char* file);
    int(WA_CALL* Play)(const char* file);
    void(WA_CALL* Pause)();
    void(WA_CALL* UnPause)();
    int(WA_CALL* IsPaused)();
    void(WA_CALL* Stop)();
    int(WA_CALL* GetLength)();
    int(WA_CALL* GetOutputTime)();
    void(WA_CALL* SetOutputTime)(int timeMs);
    void(WA_CALL* SetVolume)(int volume);
    void(WA_CALL* SetPan)(int pan);
    // Filled by the player; this plug-in never calls them.
    void(WA_CALL* SAVSAInit)(int maxLatencyMs, int sampleRate);
    void(WA_CALL* SAVSADeInit)();
    void(WA_CALL* SAAddPCMData)(void* pcm, int channels, int bitsPerSample, int timeMs);
    int(WA_CALL* SAGetMode)();
    int(WA_CALL* SAAdd)(void* data, int timeMs, int type);
    void(WA_CALL* VSAAddPCMData)(void* pcm, int channels, int bitsPerSample, int timeMs);
    int(WA_CALL* VSAGetMode)(int* specNch, int* waveNch);
    int(WA_CALL* VSAAdd)(void* data, int timeMs);
    void(WA_CALL* VSASetInfo)(int sampleRate, int channels);
    int(WA_CALL* dsp_isactive)();
    int(WA_CALL* dsp_dosamples)(short* samples, int numSamples, int bitsPerSample, int channels, int sampleRate);
    void(WA_CALL* EQSet)(int on, char data[10], int preamp);
    void(WA_CALL* SetInfo)(int bitrate, int sampleRate, int stereo, int synched);
    void* outMod;
};

#if !defined(_WIN64)
static_assert(sizeof(In_Module) == 152, "the player reads a 152-byte record");
static_assert(offsetof(In_Module, version) == 0);
static_assert(offsetof(In_Module, description) == 4);
static_assert(offsetof(In_Module, hMainWindow) == 8);
static_assert(offsetof(In_Module, hDllInstance) == 12);
static_assert(offsetof(In_Module, FileExtensions) == 16);
static_assert(offsetof(In_Module, is_seekable) == 20);
static_assert(offsetof(In_Module, UsesOutputPlug) == 24);
static_assert(offsetof(In_Module, Config) == 28);
static_assert(offsetof(In_Module, About) == 32);
static_assert(offsetof(In_Module, Init) == 36);
static_assert(offsetof(In_Module, Quit) == 40);
static_assert(offsetof(In_Module, GetFileInfo) == 44);
static_assert(offsetof(In_Module, InfoBox) == 48);
static_assert(offsetof(In_Module, IsOurFile) == 52);
static_assert(offsetof(In_Module, Play) == 56);
static_assert(offsetof(In_Module, Pause) == 60);
static_assert(offsetof(In_Module, UnPause) == 64);
static_assert(offsetof(In_Module, IsPaused) == 68);
static_assert(offsetof(In_Module, Stop) == 72);
static_assert(offsetof(In_Module, GetLength) == 76);
static_assert(offsetof(In_Module, GetOutputTime) == 80);
static_assert(offsetof(In_Module, SetOutputTime) == 84);
static_assert(offsetof(In_Module, SetVolume) == 88);
static_assert(offsetof(In_Module, SetPan) == 92);
static_assert(offsetof(In_Module, SAVSAInit) == 96);
static_assert(offsetof(In_Module, SAVSADeInit) == 100);
static_assert(offsetof(In_Module, SAAddPCMData) == 104);
static_assert(offsetof(In_Module, SAGetMode) == 108);
static_assert(offsetof(In_Module, SAAdd) == 112);
static_assert(offsetof(In_Module, VSAAddPCMData) == 116);
static_assert(offsetof(In_Module, VSAGetMode) == 120);
static_assert(offsetof(In_Module, VSAAdd) == 124);
static_assert(offsetof(In_Module, VSASetInfo) == 128);
static_assert(offsetof(In_Module, dsp_isactive) == 132);
static_assert(offsetof(In_Module, dsp_dosamples) == 136);
static_assert(offsetof(In_Module, EQSet) == 140);
static_assert(offsetof(In_Module, SetInfo) == 144);
static_assert(offsetof(In_Module, outMod) == 148);
#endif

// The player's messages to its main window, and their roles.
constexpr UINT kWmWinampUser = WM_USER;  // 1024
constexpr LPARAM kIpcGetListPos = 125;
constexpr LPARAM kIpcGetPlaylistFile = 211;
constexpr LPARAM kIpcGetShuffle = 250;
constexpr LPARAM kIpcGetRepeat = 251;
constexpr WPARAM kCmdNextTrack = 40048;
// Posted to the main window when a track has ended: the player then moves on by its own rules.
constexpr UINT kWmWaMpegEof = WM_USER + 2;

extern "C" In_Module* WA_CALL winampGetInModule2();
