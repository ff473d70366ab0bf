// The library's face towards the player: the one export, the record it returns and the record's
// callbacks. The player loads us, calls winampGetInModule2 once, fills in hMainWindow and from
// then on calls only through the record, always on its UI thread.
#include "host/Main.h"

namespace {

// "Kelvane 的 ATRAC3 DS 插件" in code page 936: the player shows these bytes as they are, so they
// are written out rather than left to the compiler's execution character set.
constexpr char kDescription[] = "Kelvane \xB5\xC4 ATRAC3 DS \xB2\xE5\xBC\xFE";

// Pairs of extension list and description, ended by an empty string: "omg;oma" NUL "" NUL NUL.
constexpr char kExtensions[] = "omg;oma\0";

}  // namespace

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
    nullptr, nullptr, nullptr, nullptr, nullptr,  // SAVSAInit .. SAAdd: the player's
    nullptr, nullptr, nullptr, nullptr,           // VSAAddPCMData .. VSASetInfo: the player's
    nullptr, nullptr,                             // dsp_isactive, dsp_dosamples: the player's
    EQSet,
    nullptr,  // SetInfo: the player's
    nullptr,  // outMod: never read
};

extern "C" In_Module* WA_CALL winampGetInModule2() {
    return &Module;
}

void WA_CALL Quit() {}

// Files reach us by extension only.
int WA_CALL IsOurFile(const char* /*file*/) {
    return 0;
}

void WA_CALL SetPan(int /*pan*/) {}

void WA_CALL EQSet(int /*on*/, char /*data*/[10], int /*preamp*/) {}

// --- Not yet built: these answer as a plug-in with nothing open would. ---
void WA_CALL Config(HWND /*hwndParent*/) {}
void WA_CALL About(HWND /*hwndParent*/) {}
void WA_CALL Init() {}
void WA_CALL GetFileInfo(const char* /*file*/, char* title, int* lengthMs) {
    if (title) {
        title[0] = '\0';
    }
    if (lengthMs) {
        *lengthMs = 0;
    }
}
int WA_CALL InfoBox(const char* /*file*/, HWND /*hwndParent*/) {
    return 0;
}
int WA_CALL Play(const char* /*file*/) {
    return 1;
}
void WA_CALL Pause() {}
void WA_CALL UnPause() {}
int WA_CALL IsPaused() {
    return 0;
}
void WA_CALL Stop() {}
int WA_CALL GetLength() {
    return 0;
}
int WA_CALL GetOutputTime() {
    return -1;
}
void WA_CALL SetOutputTime(int /*timeMs*/) {}
void WA_CALL SetVolume(int /*volume*/) {}
