// TMorlune: builds a filter graph for one file, lets DirectShow render it, and drives it in
// milliseconds until the next CloseGraph. The graph's interfaces live at module level, so the
// engine is a singleton in effect; an operation whose interface is absent does nothing.
#include "engine/Morlune.h"

#include "base/AnsiText.h"
#include "base/Notify.h"
#include "base/Paths.h"
#include "engine/AsyncSource.h"
#include "decode/OmaStream.h"
#include "engine/RefTime.h"
#include "engine/SourceGraph.h"
#include "decode/WinFileBytes.h"

#include <wrl/client.h>

#include <utility>

using Microsoft::WRL::ComPtr;

namespace {

// Declared in build order: unloading the library releases them in reverse (events first, the
// graph last), and never removes filters or uninitialises COM at that point.
ComPtr<IGraphBuilder> graphBuilder;
ComPtr<IMediaControl> mediaControl;
ComPtr<IMediaSeeking> mediaSeeking;
ComPtr<IBasicAudio> basicAudio;
ComPtr<IBasicVideo> basicVideo;
ComPtr<IVideoWindow> videoWindow;
ComPtr<IMediaEventEx> mediaEvent;

// Set once OpenFile has rendered its file and set the graph up, cleared by CloseGraph: only then
// is a file open, whatever references a failure part-way left.
bool fileOpen = false;

// Successful CoInitialize calls of BuildGraph not yet balanced by CloseGraph. One per graph in
// practice; a count keeps the balance even if BuildGraph is called twice without a close.
int comInitsOwed = 0;

// While a graph is open the library holds a reference to itself. A player that unloads us
// without Quit then unmaps nothing that the graph's threads, the renderer's window or our own
// windows still run; the next CloseGraph, on the player's next Play or Stop, lets it go.
HMODULE heldModule = nullptr;

void HoldModule() {
    if (heldModule) {
        return;
    }
    (void)GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&HoldModule),
                             &heldModule);
}

// Never the last reference while our code runs: only the player's calls close a graph, and a
// player that calls us holds the library itself.
void LetGoOfModule() {
    HMODULE module = std::exchange(heldModule, nullptr);
    if (module) {
        (void)FreeLibrary(module);
    }
}

constexpr LONG_PTR kNotifyInstanceData = 54321;
constexpr long kVideoWindowStyle = 0x46000000;  // WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN
constexpr int kMaxFilters = 50;                 // CloseGraph removes at most this many one by one

GraphSource& Source() {
    static GraphSource source;
    return source;
}

HRESULT InitializeCom() {
    return Source().coInitialize ? Source().coInitialize() : CoInitialize(nullptr);
}

void UninitializeCom() {
    if (Source().coUninitialize) {
        Source().coUninitialize();
        return;
    }
    CoUninitialize();
}

HRESULT CreateGraph(IGraphBuilder** graph) {
    if (Source().createGraph) {
        return Source().createGraph(graph);
    }
    return CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IGraphBuilder,
                            reinterpret_cast<void**>(graph));
}

template <class Interface>
bool Query(Interface** out) {
    return SUCCEEDED(graphBuilder->QueryInterface(__uuidof(Interface), reinterpret_cast<void**>(out))) && *out;
}

OAHWND AsOaHwnd(HWND window) {
    return reinterpret_cast<OAHWND>(window);
}

void RemoveFilters() {
    ComPtr<IEnumFilters> filters;
    if (FAILED(graphBuilder->EnumFilters(&filters)) || !filters) {
        return;
    }
    int count = 0;
    while (filters->Skip(1) == S_OK) {
        ++count;
    }
    (void)filters->Reset();

    ComPtr<IBaseFilter> slots[kMaxFilters];
    ULONG fetched = 0;
    for (int slot = 0; slot < kMaxFilters; ++slot) {
        if (filters->Next(1, slots[slot].ReleaseAndGetAddressOf(), &fetched) != S_OK) {
            break;
        }
    }
    // Removing a filter changes the graph under an enumerator, so the enumerator goes first.
    filters.Reset();

    // Beyond the array the filters leave with the graph when its last reference goes.
    const int removable = count < kMaxFilters ? count : kMaxFilters;
    for (int slot = 0; slot < removable; ++slot) {
        if (!slots[slot]) {
            continue;  // counted but never handed out: nothing to remove
        }
        (void)graphBuilder->RemoveFilter(slots[slot].Get());
        slots[slot].Reset();
    }
}

constexpr wchar_t kCannotPlay[] = L"无法执行文件";
constexpr wchar_t kCannotPlayEncrypted[] = L"无法执行文件\n此文件经 OpenMG 加密，无法播放。";
constexpr wchar_t kCannotPlayNoSse2[] = L"无法执行文件\n此处理器不支持 SSE2 指令集，无法解码此文件。";

enum class OwnRoad { Refused, Encrypted, NoSse2, Rendered };

// The file read as OMA: null for anything the reader or the decoder refuses, with the status
// saying why. A file that is not OMA costs a few bytes read from its front.
OmaStream::Opened OpenOwnStream(const std::wstring& name) {
    return OmaStream::Open(OpenFileBytes(name));
}

// A plain OMA file with a codec we serve: the reader has accepted its front (the decoder may
// still refuse its first frame). The machine's filters are not asked about it: they would only
// refuse it, after reading it through, or play its frames untrimmed.
bool IsOwnFile(const OmaStream::Opened& opened) {
    return opened.stream || opened.status == OmaStatus::Undecodable || opened.status == OmaStatus::NeedsSse2;
}

// The fresh graph's file comes from our source: the OMA file decoded and served as a PCM WAV.
// The file counts only once its header is understood and its first frame has decoded; anything
// else, a file that is not OMA included, is refused. Only a file the machine's filters never saw
// gets this far, so the graph is still empty.
OwnRoad RenderOwnSource(OmaStream::Opened opened) {
    if (opened.status == OmaStatus::Encrypted) {
        return OwnRoad::Encrypted;  // nothing of it is decoded
    }
    if (opened.status == OmaStatus::NeedsSse2) {
        return OwnRoad::NoSse2;
    }
    if (!opened.stream) {
        return OwnRoad::Refused;
    }
    ComPtr<IBaseFilter> source;
    if (FAILED(CreateAsyncSource(std::shared_ptr<ByteStream>(std::move(opened.stream)), &source)) || !source) {
        return OwnRoad::Refused;
    }
    return RenderFromSource(graphBuilder.Get(), source.Get()) == S_OK ? OwnRoad::Rendered : OwnRoad::Refused;
}

}  // namespace

void SetGraphSource(GraphSource source) {
    Source() = std::move(source);
}

TMorlune::TMorlune() : State(esIdle), Duration(-1), OwnerWindow(nullptr), Volume(7), VideoWidth(0), VideoHeight(0) {}

void TMorlune::SetOwnerWindow(HWND owner) {
    OwnerWindow = owner;
}

bool TMorlune::BuildGraph() {
    try {
        const HRESULT init = InitializeCom();
        // A thread already in the multithreaded apartment answers RPC_E_CHANGED_MODE; the graph
        // works there too, and that answer leaves nothing to balance.
        if (init != RPC_E_CHANGED_MODE) {
            if (FAILED(init)) {
                return false;
            }
            ++comInitsOwed;
        }
        if (FAILED(CreateGraph(graphBuilder.ReleaseAndGetAddressOf())) || !graphBuilder) {
            return false;
        }
        // A refusal part-way leaves the references obtained so far for the next CloseGraph.
        if (!Query(mediaControl.ReleaseAndGetAddressOf()) || !Query(mediaSeeking.ReleaseAndGetAddressOf()) ||
            !Query(basicAudio.ReleaseAndGetAddressOf()) || !Query(basicVideo.ReleaseAndGetAddressOf()) ||
            !Query(videoWindow.ReleaseAndGetAddressOf()) || !Query(mediaEvent.ReleaseAndGetAddressOf())) {
            return false;
        }
        (void)mediaEvent->SetNotifyWindow(AsOaHwnd(OwnerWindow), WM_GRAPHNOTIFY, kNotifyInstanceData);
        (void)mediaEvent->SetNotifyFlags(0);
        return true;
    } catch (...) {
        return false;
    }
}

void TMorlune::OpenFile(const std::string& name) {
    // What a failed open leaves as it was, and whether the open is under way: a failure inside it
    // (out of memory while the file is read, say) must not leave a graph that counts as open, this
    // file's half-built one or the previous file's, or the player would be told the previous
    // file's length for this one.
    const int32_t state = State;
    const int64_t duration = Duration;
    const int32_t videoWidth = VideoWidth;
    const int32_t videoHeight = VideoHeight;
    bool building = true;
    bool told = false;
    try {
        FileName = name;
        // A directory is not a file to play; the whole name goes on, however long.
        const std::wstring wideName = AnsiToWide(name);
        if (!IsPlainFile(wideName)) {
            building = false;  // the previous graph, if any, plays on
            return;
        }
        CloseGraph();
        if (!BuildGraph()) {
            building = false;  // the references obtained so far stay for the next CloseGraph
            told = true;
            NotifyUser(L"无法创建 DirectShow 界面");
            return;
        }
        // A plain OMA file with a codec we serve goes straight to our own source. Everything
        // else asks the machine's filters first, since a filter pack may play what we cannot (an
        // encrypted file among them); only a complete render counts: S_FALSE and the other
        // success codes mean a stream was left unrendered. What they refuse gets our source's
        // answer.
        OmaStream::Opened opened = OpenOwnStream(wideName);
        const bool own = IsOwnFile(opened);
        if (own || graphBuilder->RenderFile(wideName.c_str(), nullptr) != S_OK) {
            const OwnRoad road = RenderOwnSource(std::move(opened));
            if (road != OwnRoad::Rendered) {
                told = true;
                NotifyUser(road == OwnRoad::Encrypted ? kCannotPlayEncrypted
                           : road == OwnRoad::NoSse2  ? kCannotPlayNoSse2
                                                      : kCannotPlay);
                CloseGraph();
                return;
            }
        }
        HoldModule();
        SetVolume(Volume);
        State = esOpened;
        if (mediaSeeking) {
            (void)mediaSeeking->GetDuration(&Duration);
        }
        if (videoWindow) {
            (void)videoWindow->put_Owner(AsOaHwnd(OwnerWindow));
            (void)videoWindow->put_MessageDrain(AsOaHwnd(OwnerWindow));
            (void)videoWindow->put_WindowStyle(kVideoWindowStyle);
        }
        Stop();
        if (basicVideo) {
            // A graph without a picture leaves the previous size in place.
            long width = VideoWidth;
            long height = VideoHeight;
            (void)basicVideo->GetVideoSize(&width, &height);
            VideoWidth = width;
            VideoHeight = height;
        }
        building = false;
        fileOpen = true;
    } catch (...) {
        if (building) {
            CloseGraph();
            State = state;
            Duration = duration;
            VideoWidth = videoWidth;
            VideoHeight = videoHeight;
            if (!told) {
                try {
                    NotifyUser(kCannotPlay);
                } catch (...) {
                }
            }
        }
    }
}

void TMorlune::CloseGraph() {
    fileOpen = false;
    try {
        if (mediaControl) {
            (void)mediaControl->Stop();
        }
        if (graphBuilder) {
            RemoveFilters();
        }
        // Hidden and unowned before release, so no renderer window lingers in the owner.
        if (videoWindow) {
            (void)videoWindow->put_Visible(OAFALSE);
            (void)videoWindow->put_Owner(0);
        }
        mediaControl.Reset();
        mediaSeeking.Reset();
        basicAudio.Reset();
        basicVideo.Reset();
        videoWindow.Reset();
        mediaEvent.Reset();
        graphBuilder.Reset();
        for (; comInitsOwed > 0; --comInitsOwed) {
            UninitializeCom();
        }
        LetGoOfModule();
    } catch (...) {
    }
}

void TMorlune::Stop() {
    if (State == esIdle || State == esStopped || !mediaControl) {
        return;
    }
    (void)mediaControl->Stop();
    SetPositionMs(0);
    (void)mediaControl->Pause();
    State = esStopped;
}

void TMorlune::Pause() {
    if (!mediaControl) {
        return;
    }
    (void)mediaControl->Pause();
    State = esPaused;
}

void TMorlune::Run() {
    if (!mediaControl) {
        return;
    }
    (void)mediaControl->Run();
    State = esRunning;
}

void TMorlune::Resume() {
    if (!mediaControl || (State != esStopped && State != esPaused)) {
        return;
    }
    (void)mediaControl->Run();
    State = esRunning;
}

void TMorlune::SetPositionMs(int64_t ms) {
    LONGLONG position = MsToRefTime(ms);
    if (!mediaSeeking) {
        return;
    }
    // The same variable for the stop position, which NoPositioning leaves alone.
    (void)mediaSeeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, &position, AM_SEEKING_NoPositioning);
}

int32_t TMorlune::GetPositionMs() {
    if (!mediaSeeking) {
        return -1;
    }
    LONGLONG current = 0;
    LONGLONG stop = 0;
    if (mediaSeeking->GetPositions(&current, &stop) != S_OK) {
        return -1;
    }
    return static_cast<int32_t>(RefTimeToMs(current));
}

int64_t TMorlune::GetDurationMs() {
    // Divided first, so even the most negative duration has an absolute value.
    const int64_t ms = RefTimeToMs(Duration);
    return ms < 0 ? -ms : ms;
}

void TMorlune::SetVolume(int32_t volume) {
    Volume = volume;
    if (basicAudio) {
        (void)basicAudio->put_Volume(volume);
    }
}

void TMorlune::SetVideoRect(int32_t left, int32_t top, int32_t width, int32_t height) {
    if (!videoWindow || State == esIdle) {
        return;
    }
    (void)videoWindow->SetWindowPosition(left, top, width, height);
}

void TMorlune::SetFullScreen(int32_t mode) {
    if (!videoWindow) {
        return;
    }
    (void)videoWindow->put_FullScreenMode(mode);
    // The owner's handle value itself, not OATRUE, is what the renderer is given as Focus.
    (void)videoWindow->SetWindowForeground(static_cast<long>(reinterpret_cast<LONG_PTR>(OwnerWindow)));
}

std::string TMorlune::GetFileName() {
    try {
        return FileName;
    } catch (...) {
        return std::string();
    }
}

void AbandonGraph() {
    // Detach hands each reference over to nobody, in reverse build order as a release would go.
    (void)mediaEvent.Detach();
    (void)videoWindow.Detach();
    (void)basicVideo.Detach();
    (void)basicAudio.Detach();
    (void)mediaSeeking.Detach();
    (void)mediaControl.Detach();
    (void)graphBuilder.Detach();
    comInitsOwed = 0;
    fileOpen = false;
    heldModule = nullptr;  // the unload is under way: there is nothing left to hold
}

bool GraphIsOpen() {
    return fileOpen && graphBuilder && mediaControl && mediaSeeking && basicAudio && basicVideo && videoWindow &&
           mediaEvent;
}
