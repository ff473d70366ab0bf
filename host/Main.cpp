// The library's face towards the player: the one export, the record it returns and the record's
// callbacks. The player loads us, calls winampGetInModule2 once, fills in hMainWindow and from
// then on calls only through the record, always on its UI thread.
#include "host/Main.h"

#include <cstring>
#include <string>

#include "base/AnsiText.h"
#include "base/NamePart.h"
#include "base/Paths.h"
#include "engine/Morlune.h"
#include "host/LibraryHold.h"
#include "host/Poll.h"
#include "host/Volume.h"
#include "settings/AmpShell.h"
#include "ui/UnitAbout.h"
#include "ui/UnitForm.h"
#include "ui/UnitInfo.h"
#include "ui/UnitOption.h"
#include "ui/toolkit/Component.h"
#include "ui/toolkit/Control.h"

namespace {

// "Kelvane 的 ATRAC3 DS 插件" in code page 936: the player shows these bytes as they are, so they
// are written out rather than left to the compiler's execution character set.
constexpr char kDescription[] = "Kelvane \xB5\xC4 ATRAC3 DS \xB2\xE5\xBC\xFE";

// Pairs of extension list and description, ended by an empty string: "omg;oma" NUL "" NUL NUL.
constexpr char kExtensions[] = "omg;oma\0";

// The host's file names are in the system's ANSI code page.
std::string HostNamePart(const std::string& path) {
    return NamePart(path, SystemLeadByte);
}

// What Play tells the player: 0 opened, -1 no such file, 1 the file could not be played.
constexpr int kPlayOpened = 0;
constexpr int kPlayNoFile = -1;
constexpr int kPlayFailed = 1;

}  // namespace

std::unique_ptr<TMorlune> Engine;
bool Paused = false;
int32_t TrackLengthMs = 0;
int32_t AdvanceOnEnd = 0;
uint32_t VolumeDevice = 0;

In_Module Module = {
    0x100,        // version
    kDescription,  // description
    nullptr,       // hMainWindow: the player writes it before Init
    nullptr,       // hDllInstance: the player writes it
    kExtensions,   // FileExtensions
    1,             // is_seekable
    0,             // UsesOutputPlug: sound leaves through the filter graph
    Config,
    About,
    Init,
    Quit,
    GetFileInfo,
    InfoBox,
    IsOurFile,
    Play,
    Pause,
    UnPause,
    IsPaused,
    Stop,
    GetLength,
    GetOutputTime,
    SetOutputTime,
    SetVolume,
    SetPan,
    // clang-format off
    nullptr, nullptr, nullptr, nullptr, nullptr,  // SAVSAInit .. SAAdd: the player's
    nullptr, nullptr, nullptr, nullptr,           // VSAAddPCMData .. VSASetInfo: the player's
    nullptr, nullptr,                             // dsp_isactive, dsp_dosamples: the player's
    // clang-format on
    EQSet,
    nullptr,  // SetInfo: the player's
    nullptr,  // outMod: never read
};

extern "C" In_Module* WA_CALL winampGetInModule2() {
    return &Module;
}

// The player's last call before it unloads us: no graph may be left running for the unload,
// which could not stop it. The engine and the windows stay until the unload itself.
void WA_CALL Quit() {
    Guarded([] {
        LetGoOfWaitingHolds();
        CancelPendingNextTrack();
        if (Engine) {
            Engine->Stop();
            Engine->CloseGraph();
        }
    });
}

void ReleaseAtUnload() {
    try {
        SetWindowsMade(false);
        AbandonGraph();
        // Reverse creation order; each form destroys its own windows. The engine holds nothing more.
        FormInfo.reset();
        FormAbout.reset();
        FormOptions.reset();
        VideoForm.reset();
        AmpShell.reset();
        Engine.reset();
        UnregisterToolkitClasses();
    } catch (...) {
    }
}

// Files reach us by extension only.
int WA_CALL IsOurFile(const char* /*file*/) {
    return 0;
}

void WA_CALL SetPan(int /*pan*/) {}

void WA_CALL EQSet(int /*on*/, char /*data*/[10], int /*preamp*/) {}

// Every callback runs its body behind the widget layer's edge: the player's process must never see
// one of our exceptions. Every callback that needs what Init makes checks for it first: a host that
// calls before Init, or after an Init that failed part-way, gets no answer rather than an access
// violation.
void WA_CALL Config(HWND /*hwndParent*/) {
    Guarded([] {
        if (FormOptions) (void)FormOptions->ShowModal();
    });
}

void WA_CALL About(HWND /*hwndParent*/) {
    Guarded([] {
        if (FormAbout) (void)FormAbout->ShowModal();
    });
}

void WA_CALL Init() {
    Guarded([] {
        FindVolumeDevice();
        // What an earlier Init made stays: another Init only completes what one that failed left,
        // and remakes the video window if the player destroyed it with a main window of its own
        // (a player that unloaded us without Quit while a graph kept the library loaded).
        SetWindowsMade(true);  // before the first, so no window is ever made without it
        if (!VideoForm || !IsWindow(VideoForm->Handle())) VideoForm = std::make_unique<TVideoForm>();
        if (!FormOptions) FormOptions = std::make_unique<TFormOptions>();  // arms the settings start-up timer
        if (!FormAbout) FormAbout = std::make_unique<TFormAbout>();
        if (!FormInfo) FormInfo = std::make_unique<TFormInfo>();
        if (!Engine) Engine = std::make_unique<TMorlune>();
        Engine->SetOwnerWindow(VideoForm->Handle());
        VideoForm->Connect({Module.hMainWindow, RequestNextTrack, Engine.get()});
        // Far outside the player's client area (the form's designed 9999, 9999), same handle.
        VideoForm->SetParentWindow(Module.hMainWindow);
        TrackLengthMs = 0;
    });
}

int WA_CALL Play(const char* file) {
    int result = kPlayFailed;
    Guarded([&] {
        LetGoOfWaitingHolds();
        if (!VideoForm || !Engine) return;
        CancelPendingNextTrack();
        Paused = false;
        const std::string name = file ? file : "";
        VideoForm->Show();
        Engine->OpenFile(name);
        if (!IsPlainFile(name)) {
            result = kPlayNoFile;
        } else if (GraphIsOpen()) {
            result = kPlayOpened;
        }
        Engine->Resume();
        VideoForm->SetWidth(Engine->VideoWidth);
        VideoForm->SetHeight(Engine->VideoHeight);
        const int32_t bar = VideoForm->TmPanel.Height();
        Engine->SetVideoRect(0, bar, VideoForm->VideoPanel.Width(), VideoForm->VideoPanel.Height() + bar);
        TrackLengthMs = static_cast<int32_t>(Engine->GetDurationMs());
        const std::wstring shown = AnsiToWide(HostNamePart(Engine->GetFileName()));
        VideoForm->Label1.SetCaption(shown);
        VideoForm->SetCaption(std::wstring(shown)
                                  .append(L" [")
                                  .append(std::to_wstring(VideoForm->Width()))
                                  .append(L" x ")
                                  .append(std::to_wstring(VideoForm->Height()))
                                  .append(L"]"));
        VideoForm->FormResize(nullptr);
    });
    return result;
}

void WA_CALL Pause() {
    Guarded([] {
        if (Engine) Engine->Pause();
        Paused = true;
    });
}

void WA_CALL UnPause() {
    Guarded([] {
        if (Engine) Engine->Run();
        Paused = false;
    });
}

int WA_CALL IsPaused() {
    return Paused ? 1 : 0;
}

void StopTrack() {
    if (Engine) {
        Engine->Stop();
        Engine->CloseGraph();
    }
    if (VideoForm) VideoForm->Hide();
}

void WA_CALL Stop() {
    Guarded([] {
        LetGoOfWaitingHolds();
        CancelPendingNextTrack();
        StopTrack();
    });
}

int WA_CALL GetLength() {
    int length = 0;
    Guarded([&] {
        if (Engine) length = static_cast<int32_t>(Engine->GetDurationMs());
    });
    return length;
}

void WA_CALL SetOutputTime(int timeMs) {
    Guarded([=] {
        if (Engine) Engine->SetPositionMs(static_cast<int64_t>(timeMs));
    });
}

// The player's title buffer for a file; we never write more than this, NUL included.
constexpr size_t kTitleBufferBytes = 2048;

void WA_CALL GetFileInfo(const char* file, char* title, int* lengthMs) {
    Guarded([=] {
        std::string path = file ? file : "";
        if (path.empty()) {
            const auto index = SendMessageW(Module.hMainWindow, kWmWinampUser, 0, kIpcGetListPos);
            const auto entry = reinterpret_cast<const char*>(
                SendMessageW(Module.hMainWindow, kWmWinampUser, static_cast<WPARAM>(index), kIpcGetPlaylistFile));
            path = entry ? entry : "";
        }
        if (title) {
            std::string name = HostNamePart(path);
            if (name.size() >= kTitleBufferBytes) {
                // Cut on a character boundary: never leave half of a double-byte character.
                size_t keep = 0;
                for (size_t i = 0; i < name.size();) {
                    const size_t step = SystemLeadByte(static_cast<unsigned char>(name[i])) ? 2 : 1;
                    if (i + step > kTitleBufferBytes - 1) break;
                    i += step;
                    keep = i;
                }
                name.resize(keep);
            }
            memcpy(title, name.c_str(), name.size() + 1);
        }
        if (lengthMs) {
            *lengthMs = TrackLengthMs;
        }
    });
}

int WA_CALL InfoBox(const char* file, HWND /*hwndParent*/) {
    Guarded([=] { (void)ShowInfoBox(file ? file : ""); });
    return 0;
}
