// The playback engine: one object over the DirectShow filter graph of the file that is open.
// The host's callbacks and the video window reach it through the global `Engine`; it speaks
// milliseconds and ANSI names, the graph speaks reference time and UTF-16. Everything runs on
// the player's UI thread. No method throws.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <cstdint>
#include <functional>
#include <string>

// MinGW-w64 declares no interface ID for __uuidof on these four, so ComPtr::As() on them would
// not link. Declared here once, for the engine and for anything that fakes its graph.
__CRT_UUID_DECL(IBasicAudio, 0x56a868b3, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70)
__CRT_UUID_DECL(IVideoWindow, 0x56a868b4, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70)
__CRT_UUID_DECL(IBasicVideo, 0x56a868b5, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70)
__CRT_UUID_DECL(IMediaEventEx, 0x56a868c0, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70)

enum TEngineState : int32_t { esIdle = 0, esRunning = 1, esStopped = 2, esPaused = 3, esOpened = 4 };

// Posted by the graph to the owner window for each event it queues; nobody reads the events.
constexpr UINT WM_GRAPHNOTIFY = 45113;

class TMorlune {
public:
    TMorlune();

    int32_t State;        // TEngineState
    int64_t Duration;     // 100 ns units, as the graph reported it at the last successful open
    HWND OwnerWindow;     // owner and message drain of the renderer's window, target of notifications
    int32_t Volume;       // IBasicAudio units, applied again to every new graph
    int32_t VideoWidth;   // native picture size, read at open and otherwise kept
    int32_t VideoHeight;
    std::string FileName; // the name last passed to OpenFile

    void SetOwnerWindow(HWND owner);
    void OpenFile(const std::string& name);  // ANSI code page
    void CloseGraph();
    bool BuildGraph();
    void Stop();  // stop, rewind to 0 and pause: the file stays cued
    void Pause();
    void Run();
    void Resume();
    void SetPositionMs(int64_t ms);
    int32_t GetPositionMs();  // -1 when the graph cannot tell
    int64_t GetDurationMs();
    void SetVolume(int32_t volume);
    void SetVideoRect(int32_t left, int32_t top, int32_t width, int32_t height);
    void SetFullScreen(int32_t mode);  // -1 on, 0 off
    std::string GetFileName();
};

// Where the engine's COM apartment and its graph come from. An empty member means the real call
// (CoInitialize, CoUninitialize, CoCreateInstance of the filter graph); tests hand in a scripted
// graph here. SetGraphSource({}) restores the real calls.
struct GraphSource {
    std::function<HRESULT()> coInitialize;
    std::function<void()> coUninitialize;
    std::function<HRESULT(IGraphBuilder** graph)> createGraph;
};
void SetGraphSource(GraphSource source);

// For the library's unload only: lets go of any graph still held without releasing it. Releasing
// a graph that still runs waits for its streaming threads, and under the loader lock that wait
// never ends.
void AbandonGraph();

// True from an OpenFile that rendered its file and set the graph up to the next CloseGraph, with
// every interface reference present. The host tells the player from this whether Play opened the
// file: a failure anywhere inside the open leaves it false.
bool GraphIsOpen();
