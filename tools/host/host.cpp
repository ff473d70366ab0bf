// A stand-in for the player: loads an input plug-in, answers the player's queries from a playlist
// given on the command line and drives the record's callbacks the way the player itself does,
// printing one line for everything the player sees. Tests and benchmarks parse this output, so
// each line is "word key=value ..." and the words never change meaning.
//
//   host [--dll PATH] [--shuffle] [--repeat] [--manual-advance] [--passes N] [--seconds N]
//        [--poll-ms N] [--no-poll] [--script "cmd; cmd; ..."] [--record] [--auto-close-boxes] [FILE ...]
//   host [--dll PATH] [--ansi] [--beside FILE] --fields FILE ...        the library's scan
//   host [--dll PATH] [--ansi] [--beside FILE] [--cancel-after MS] --convert OUT.wav FILE
//   host [--dll PATH] [--ansi] [--beside FILE] [--cancel-after MS] [--album] --replaygain FILE ...
//   host [--dll PATH] [--ansi] [--beside FILE] [--cancel-after MS] --burn FILE [OUT.wav]
//   host [--dll PATH] --set FIELD=VALUE ... FILE                  the library's tag editor
//
// As the player: the UI thread is in the multithreaded apartment; Stop, SetVolume(200) and
// SetPan(0) come before every Play; GetOutputTime and GetLength are polled every 100 ms while a
// track plays; the playlist's titles are read through the extended "length", "artist" and "title",
// one entry per 100 ms. A track ends when the plug-in posts the end-of-track message: the next
// entry plays, and after the last the player stops (with --repeat it wraps; --passes N ends the
// run instead of starting pass N + 1; with --manual-advance it stops, or plays the track again
// with --repeat). The next-track command is handled inside the plug-in's send, as Stop and Play of
// the next entry; at the last entry with shuffle and repeat off it does nothing. A Play that fails
// moves on to the next entry by itself, unpolled; after as many failures in a row as entries the
// player stops. Without a script the run ends when the player stops.
//
// With a script the script is the user: the end-of-track message is printed ("eof") but moves
// nothing, and a failed play stays where it is. Script commands: play [N], stop, pause, unpause,
// seek MS, volume V, wait MS, info [FILE], length, paused, config, about, infobox FILE, key VK,
// quit, click TEXT (presses the visible button of this process captioned TEXT, given in the ANSI
// code page: scripts keep running while a dialog is modal), delete FILE (as another program might,
// while the plug-in runs).
//
// The library, converter, ReplayGain and burner roads run after Init on a thread of their own,
// opening on the UI thread, while the UI thread plays the --beside file; --cancel-after sets the
// killswitch from the UI thread that many ms after the reads began, during a read.
//
// --auto-close-boxes: a message box would wait for a person, so a watcher thread closes each one
// after the line box title="..." text="..." has been printed.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/AnsiText.h"
#include "base/Paths.h"
#include "host/InModule.h"
#include "tools/common/MessageBoxes.h"
#include "tools/host/Library.h"
#include "tools/host/TagEdit.h"

namespace {

enum class Road { Playlist, Fields, Convert, ReplayGain, Burn };

// A playlist entry: the player keeps the name in UTF-16 and hands a non-Unicode plug-in its ANSI
// spelling.
struct Entry {
    std::wstring wide;
    std::string ansi;
};

struct Options {
    std::string dll;
    bool shuffle = false;
    bool repeat = false;
    bool manualAdvance = false;
    bool printRecord = false;
    bool poll = true;
    bool autoCloseBoxes = false;
    double seconds = 0;  // 0: until the player stops
    int passes = 0;      // 0: wrap for ever with --repeat
    UINT pollMs = 100;
    std::vector<std::string> script;
    std::vector<Entry> playlist;
    Road road = Road::Playlist;
    std::vector<std::wstring> roadFiles;
    std::wstring roadOut;  // the converter's (or the burner's) WAV
    bool album = false;
    bool ansi = false;  // the ANSI extended exports instead of the wide ones
    int cancelAfterMs = -1;
    bool tagEdit = false;  // --set: edit tags instead of playing
};

Options opts;
In_Module* mod = nullptr;
HMODULE plugin = nullptr;
HWND mainWindow = nullptr;
int current = 0;
bool playing = false;
int failuresInRow = 0;
size_t scriptPos = 0;
DWORD waitUntil = 0;
DWORD startTick = 0;
int lastPos = INT32_MIN;
std::wstring lastBar;
bool lastBarValid = false;
int lastVisible = -1;
size_t titlesRead = 0;
// Set while a script's play runs: a message box from Play keeps the message loop going, and the
// script must not start its next command inside it. Dialog commands leave the script running so
// that it can press their buttons.
bool scriptHeld = false;
int pass = 1;
Killswitch killswitch;
int roadCode = 0;
bool roadStarted = false;

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT_PTR kScriptTimer = 2;
constexpr UINT_PTR kTitleTimer = 3;
constexpr UINT_PTR kCancelTimer = 4;
constexpr UINT kBoxSeen = WM_APP + 1;     // from the box watcher; lParam points at a BoxSeen
constexpr UINT kSkipFailed = WM_APP + 2;  // the player's own note to move past a failed Play
constexpr UINT kOnUiThread = WM_APP + 3;  // lParam points at a std::function<void()>
constexpr UINT kRoadDone = WM_APP + 4;    // wParam: the road's exit code
constexpr int kPlayerVolume = 200;        // the player's default volume setting

std::string Hex(const char* bytes, size_t n) {
    std::string s;
    char b[4];
    for (size_t i = 0; i < n; ++i) {
        snprintf(b, sizeof b, "%02X", static_cast<unsigned char>(bytes[i]));
        s += b;
    }
    return s;
}

std::string AnsiToUtf8(const char* a) {
    return a ? Utf8(AnsiToWide(a)) : std::string();
}

// One write per line: the roads print from their own threads.
void Say(const char* fmt, ...) {
    char line[8192];
    va_list ap;
    va_start(ap, fmt);
    const int n = vsnprintf(line, sizeof line - 1, fmt, ap);
    va_end(ap);
    std::string text(line, n < 0 ? 0 : static_cast<size_t>(std::min<int>(n, sizeof line - 2)));
    text += '\n';
    fputs(text.c_str(), stdout);
    fflush(stdout);
}

DWORD Now() {
    return GetTickCount() - startTick;
}

std::wstring WindowText(HWND w) {
    int n = GetWindowTextLengthW(w);
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    GetWindowTextW(w, s.data(), n + 1);
    s.resize(wcslen(s.c_str()));
    return s;
}

struct BoxSeen {
    std::wstring title;
    std::wstring text;
};

BOOL CALLBACK CollectMessageBox(HWND w, LPARAM p) {
    if (IsMessageBoxOfThisProcess(w))
        reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
    return TRUE;
}

std::vector<HWND> MessageBoxes() {
    std::vector<HWND> boxes;
    EnumWindows(CollectMessageBox, reinterpret_cast<LPARAM>(&boxes));
    return boxes;
}

// The main thread prints each box (it is inside the box's modal loop and handles the send), then
// the box is closed as its OK button would close it.
DWORD WINAPI WatchBoxes(void*) {
    std::vector<HWND> handled;
    for (;;) {
        for (HWND box : MessageBoxes()) {
            bool seen = false;
            for (HWND h : handled)
                seen = seen || h == box;
            if (seen)
                continue;
            BoxSeen what{WindowText(box), WindowText(GetDlgItem(box, kMessageBoxTextId))};
            SendMessageW(mainWindow, kBoxSeen, 0, reinterpret_cast<LPARAM>(&what));
            PostMessageW(box, WM_CLOSE, 0, 0);
            handled.push_back(box);
        }
        std::vector<HWND> alive;
        for (HWND h : handled) {
            if (IsWindow(h))
                alive.push_back(h);
        }
        handled.swap(alive);
        Sleep(30);
    }
}

// The visible button of this process whose caption is the text.
HWND FindButton(const std::wstring& caption) {
    struct Find {
        const std::wstring* caption;
        HWND found = nullptr;
        static BOOL CALLBACK Child(HWND w, LPARAM p) {
            auto* f = reinterpret_cast<Find*>(p);
            wchar_t cls[16];
            if (IsWindowVisible(w) && GetClassNameW(w, cls, 16) && _wcsicmp(cls, L"Button") == 0 &&
                WindowText(w) == *f->caption) {
                f->found = w;
                return FALSE;
            }
            return TRUE;
        }
        static BOOL CALLBACK Top(HWND w, LPARAM p) {
            if (OwnedByThisProcess(w))
                EnumChildWindows(w, Child, p);
            return reinterpret_cast<Find*>(p)->found ? FALSE : TRUE;
        }
    } find{&caption};
    EnumWindows(Find::Top, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

// The plug-in's video window is the one child window of ours that we did not make.
HWND VideoWindow() {
    return FindWindowExW(mainWindow, nullptr, nullptr, nullptr);
}

// The time bar's text: the first static control inside the video window.
HWND TimeBarLabel() {
    HWND video = VideoWindow();
    if (!video)
        return nullptr;
    struct Find {
        HWND found = nullptr;
        static BOOL CALLBACK Each(HWND w, LPARAM p) {
            wchar_t cls[64];
            GetClassNameW(w, cls, 64);
            if (_wcsicmp(cls, L"Static") == 0) {
                reinterpret_cast<Find*>(p)->found = w;
                return FALSE;
            }
            return TRUE;
        }
    } find;
    EnumChildWindows(video, Find::Each, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

void ReportWindow() {
    HWND video = VideoWindow();
    lastVisible = video && IsWindowVisible(video) ? 1 : 0;
    if (!video) {
        Say("window none");
        return;
    }
    RECT r;
    GetWindowRect(video, &r);
    Say("window visible=%d width=%ld height=%ld caption=\"%s\"", IsWindowVisible(video) ? 1 : 0, r.right - r.left,
        r.bottom - r.top, Utf8(WindowText(video)).c_str());
}

void ReportBar() {
    HWND label = TimeBarLabel();
    std::wstring bar = label ? WindowText(label) : L"";
    if (!lastBarValid || bar != lastBar) {
        lastBar = bar;
        lastBarValid = true;
        Say("bar text=\"%s\" t=%lu", Utf8(bar).c_str(), Now());
    }
}

int Entries() {
    return static_cast<int>(opts.playlist.size());
}

bool Scripted() {
    return !opts.script.empty();
}

void Finish(int code) {
    KillTimer(mainWindow, kPollTimer);
    KillTimer(mainWindow, kScriptTimer);
    KillTimer(mainWindow, kTitleTimer);
    PostQuitMessage(code);
}

// The player has stopped by its own rules: a playlist run is over; a road's run goes on until the
// road is done.
void PlayerStopped(const char* why) {
    mod->Stop();
    playing = false;
    Say("stop reason=%s", why);
    if (opts.road == Road::Playlist && !Scripted()) {
        Say("end reason=%s", why);
        Finish(0);
    }
}

void StopPlayback(const char* why) {
    mod->Stop();
    playing = false;
    Say("stop reason=%s", why);
}

// The playing entry's title, as the player asks a non-Unicode plug-in for it.
void ReportPlayingTitle() {
    char title[2048];
    memset(title, 0x7F, sizeof title);
    int length = -2;
    mod->GetFileInfo("", title, &length);
    const size_t n = strnlen(title, sizeof title);
    Say("title index=%d text=\"%s\" length=%d", current, AnsiToUtf8(n < sizeof title ? title : "").c_str(), length);
}

void PlayEntry(int index) {
    if (index < 0 || index >= Entries()) {
        Say("play index=%d error=out-of-range", index);
        return;
    }
    current = index;
    const std::string& file = opts.playlist[static_cast<size_t>(index)].ansi;
    // What the player does before every Play.
    mod->Stop();
    mod->SetVolume(kPlayerVolume);
    mod->SetPan(0);
    playing = false;
    const DWORD t0 = GetTickCount();
    const int rc = mod->Play(file.c_str());
    const int length = mod->GetLength();
    lastPos = INT32_MIN;
    Say("play index=%d result=%d length=%d ms=%lu file=\"%s\" t=%lu", index, rc, length, GetTickCount() - t0,
        AnsiToUtf8(file.c_str()).c_str(), Now());
    ReportWindow();
    ReportBar();
    if (rc == 0) {
        playing = true;
        failuresInRow = 0;
        ReportPlayingTitle();
        return;
    }
    // A failed Play is never polled nor stopped: the player notes its end to itself and moves on.
    ++failuresInRow;
    if (!Scripted())
        PostMessageW(mainWindow, kSkipFailed, 0, 0);
}

// The entry after the current one by the player's rules, or -1 where the list ends; a wrap counts
// a pass and may end the run.
int NextEntry(const char* why) {
    int next = current + 1;
    if (next < Entries())
        return next;
    if (!opts.repeat)
        return -1;
    if (opts.passes > 0 && pass >= opts.passes) {
        StopPlayback(why);
        Say("end reason=passes");
        Finish(0);
        return -2;
    }
    ++pass;
    return 0;
}

// The end of the playing track, by the plug-in's message or the player's own note.
void Advance(bool failed) {
    if (failed && failuresInRow >= Entries()) {
        PlayerStopped("failures");
        return;
    }
    if (!failed && opts.manualAdvance) {
        if (opts.repeat) {
            PlayEntry(current);
        } else {
            PlayerStopped("manual-advance");
        }
        return;
    }
    const int next = NextEntry("end-of-playlist");
    if (next == -2)
        return;
    if (next < 0) {
        PlayerStopped("end-of-playlist");
        return;
    }
    PlayEntry(next);
}

void Poll() {
    if (!opts.poll)
        return;
    const int pos = mod->GetOutputTime();
    (void)mod->GetLength();  // the player asks both every tick
    HWND video = VideoWindow();
    int visible = video && IsWindowVisible(video) ? 1 : 0;
    if (visible != lastVisible)
        ReportWindow();
    if (pos != lastPos) {
        lastPos = pos;
        Say("pos ms=%d t=%lu", pos, Now());
    }
    ReportBar();
}

// One playlist entry's title per tick, as the playlist window reads them: the extended length
// first ("type" only when it is unknown), then artist and title; GetFileInfo where those fail.
void ReadNextTitle() {
    if (titlesRead >= opts.playlist.size()) {
        KillTimer(mainWindow, kTitleTimer);
        return;
    }
    const size_t index = titlesRead++;
    const Entry& entry = opts.playlist[index];
    using GetInfoW = int(__cdecl*)(const wchar_t*, const char*, wchar_t*, int);
    const auto getW =
        reinterpret_cast<GetInfoW>(reinterpret_cast<void*>(GetProcAddress(plugin, "winampGetExtendedFileInfoW")));
    std::wstring lengthText(32, L'\0');
    int lengthKnown = 0;
    int typeKnown = -1;
    std::wstring artist(1024, L'\0');
    std::wstring title(1024, L'\0');
    int artistKnown = 0;
    int titleKnown = 0;
    if (getW) {
        lengthKnown = getW(entry.wide.c_str(), "length", lengthText.data(), 32);
        if (!lengthKnown) {
            std::wstring type(16, L'\0');
            typeKnown = getW(entry.wide.c_str(), "type", type.data(), 16);
        }
        artistKnown = getW(entry.wide.c_str(), "artist", artist.data(), 1024);
        titleKnown = getW(entry.wide.c_str(), "title", title.data(), 1024);
    }
    lengthText.resize(wcslen(lengthText.c_str()));
    artist.resize(wcslen(artist.c_str()));
    title.resize(wcslen(title.c_str()));
    int lengthMs = lengthKnown ? _wtoi(lengthText.c_str()) : -1;
    std::wstring shown;
    const char* via = "extended";
    if (!lengthKnown) {
        char text[2048] = "";
        int ms = -1;
        mod->GetFileInfo(entry.ansi.c_str(), text, &ms);
        shown = AnsiToWide(text);
        lengthMs = ms;
        via = "fileinfo";
    } else {
        if (lengthMs <= 0) {
            char ignored[2048] = "";
            int ms = -1;
            mod->GetFileInfo(entry.ansi.c_str(), ignored, &ms);
            lengthMs = ms;
        }
        // [%artist% - ]$if2(%title%,$filepart(%filename%))
        const std::wstring part = entry.wide.substr(entry.wide.find_last_of(L"\\/:") + 1);
        shown =
            (artistKnown && !artist.empty() ? artist + L" - " : L"") + (titleKnown && !title.empty() ? title : part);
    }
    Say("entry index=%zu length=%d type-known=%d title=\"%s\" via=%s", index, lengthMs, typeKnown, Utf8(shown).c_str(),
        via);
}

void PrintRecord() {
    Say("record version=0x%X", mod->version);
    Say("record description.hex=%s", Hex(mod->description, mod->description ? strlen(mod->description) : 0).c_str());
    Say("record description=\"%s\"", AnsiToUtf8(mod->description).c_str());
    Say("record extensions.hex=%s", Hex(mod->FileExtensions, 10).c_str());
    Say("record is_seekable=%d UsesOutputPlug=%d", mod->is_seekable, mod->UsesOutputPlug);
    Say("record callbacks Config=%d About=%d Init=%d Quit=%d GetFileInfo=%d InfoBox=%d IsOurFile=%d Play=%d "
        "Pause=%d UnPause=%d IsPaused=%d Stop=%d GetLength=%d GetOutputTime=%d SetOutputTime=%d SetVolume=%d "
        "SetPan=%d EQSet=%d",
        !!mod->Config, !!mod->About, !!mod->Init, !!mod->Quit, !!mod->GetFileInfo, !!mod->InfoBox, !!mod->IsOurFile,
        !!mod->Play, !!mod->Pause, !!mod->UnPause, !!mod->IsPaused, !!mod->Stop, !!mod->GetLength, !!mod->GetOutputTime,
        !!mod->SetOutputTime, !!mod->SetVolume, !!mod->SetPan, !!mod->EQSet);
}

// Runs script commands until one waits; returns false when the script asked to quit.
bool RunScript() {
    if (scriptHeld)
        return true;
    while (scriptPos < opts.script.size()) {
        if (waitUntil && static_cast<LONG>(GetTickCount() - waitUntil) < 0)
            return true;
        waitUntil = 0;
        std::string line = opts.script[scriptPos++];
        char verb[32] = {};
        char arg[1024] = {};
        sscanf(line.c_str(), "%31s %1023[^\n]", verb, arg);
        std::string v = verb;
        if (v.empty())
            continue;
        if (v == "wait") {
            waitUntil = GetTickCount() + static_cast<DWORD>(atoi(arg));
            if (waitUntil == 0)
                waitUntil = 1;
        } else if (v == "play") {
            scriptHeld = true;
            PlayEntry(arg[0] ? atoi(arg) : current);
            scriptHeld = false;
        } else if (v == "stop") {
            StopPlayback("script");
        } else if (v == "pause") {
            mod->Pause();
            Say("pause paused=%d", mod->IsPaused());
        } else if (v == "unpause") {
            mod->UnPause();
            Say("unpause paused=%d", mod->IsPaused());
        } else if (v == "paused") {
            Say("paused value=%d", mod->IsPaused());
        } else if (v == "seek") {
            mod->SetOutputTime(atoi(arg));
            Say("seek ms=%d", atoi(arg));
        } else if (v == "volume") {
            mod->SetVolume(atoi(arg));
            Say("volume value=%d", atoi(arg));
        } else if (v == "length") {
            Say("length ms=%d", mod->GetLength());
        } else if (v == "info") {
            char title[4096];
            memset(title, 0x7F, sizeof title);
            int len = -2;
            mod->GetFileInfo(arg[0] ? arg : nullptr, title, &len);
            size_t n = strnlen(title, sizeof title);
            Say("info title=\"%s\" title.hex=%s length=%d", AnsiToUtf8(n < sizeof title ? title : "").c_str(),
                Hex(title, n).c_str(), len);
        } else if (v == "window") {
            ReportWindow();
        } else if (v == "config") {
            mod->Config(mainWindow);
            Say("config closed");
        } else if (v == "about") {
            mod->About(mainWindow);
            Say("about closed");
        } else if (v == "infobox") {
            Say("infobox result=%d", mod->InfoBox(arg, mainWindow));
        } else if (v == "key") {
            HWND video = VideoWindow();
            SendMessageW(video, WM_KEYDOWN, static_cast<WPARAM>(atoi(arg)), 1);
            Say("key sent=%d", atoi(arg));
        } else if (v == "click") {
            HWND button = FindButton(AnsiToWide(arg));
            Say("click text=\"%s\" found=%d", AnsiToUtf8(arg).c_str(), button ? 1 : 0);
            if (button)
                SendMessageW(button, BM_CLICK, 0, 0);
        } else if (v == "delete") {
            Say("delete file=\"%s\" result=%d", AnsiToUtf8(arg).c_str(), DeleteFileA(arg) ? 1 : 0);
        } else if (v == "quit") {
            return false;
        } else {
            Say("script error=unknown-command command=\"%s\"", line.c_str());
        }
    }
    return true;
}

// The next-track command, inside the plug-in's own send: Stop, then Play of the next entry.
void NextTrackCommand() {
    Say("next-track t=%lu", Now());
    if (current + 1 >= Entries() && !opts.repeat) {
        if (!opts.shuffle) {
            Say("next-track ignored=last-entry");  // the player stays in its playing state
            return;
        }
        StopPlayback("next-track");
        Say("end reason=playlist");
        Finish(0);
        return;
    }
    const int next = NextEntry("next-track");
    if (next < 0)
        return;
    StopPlayback("next-track");
    PlayEntry(next);
}

// ---- The roads beside playback ------------------------------------------------------------

DWORD WINAPI RoadThread(void*) {
    RoadLinks links;
    links.dll = plugin;
    links.ansi = opts.ansi;
    links.kill = &killswitch;
    links.onUiThread = [](const std::function<void()>& step) {
        SendMessageW(mainWindow, kOnUiThread, 0, reinterpret_cast<LPARAM>(&step));
    };
    int code = 0;
    switch (opts.road) {
        case Road::Fields:
            code = ListFields(links, opts.roadFiles);
            break;
        case Road::Convert:
            code = opts.roadFiles.empty() ? 2 : ConvertToWav(links, opts.roadFiles.front(), opts.roadOut);
            break;
        case Road::ReplayGain:
            code = AnalyseReplayGain(links, opts.roadFiles, opts.album);
            break;
        case Road::Burn:
            code = opts.roadFiles.empty() ? 2 : BurnRead(links, opts.roadFiles.front(), opts.roadOut);
            break;
        case Road::Playlist:
            break;
    }
    PostMessageW(mainWindow, kRoadDone, static_cast<WPARAM>(code), 0);
    return 0;
}

void StartRoad() {
    if (roadStarted)
        return;
    roadStarted = true;
    Say("road start t=%lu", Now());
    if (opts.cancelAfterMs >= 0)
        SetTimer(mainWindow, kCancelTimer, static_cast<UINT>(opts.cancelAfterMs), nullptr);
    HANDLE thread = CreateThread(nullptr, 0, RoadThread, nullptr, 0, nullptr);
    if (!thread) {
        Say("road error=no-thread");
        Finish(3);
        return;
    }
    CloseHandle(thread);
}

// The user's cancel, from the UI thread: at a moment when a read is running, if one comes soon.
void Cancel() {
    KillTimer(mainWindow, kCancelTimer);
    const DWORD until = GetTickCount() + 2000;
    while (!killswitch.inRead && static_cast<LONG>(GetTickCount() - until) < 0)
        Sleep(0);
    killswitch.setInRead = killswitch.inRead.load();
    killswitch.setAt = GetTickCount();
    killswitch.value = 1;
    Say("cancel set in-read=%d t=%lu", killswitch.setInRead.load(), Now());
}

LRESULT CALLBACK MainProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_USER:
            switch (lp) {
                case kIpcGetListPos:
                    Say("query what=listpos answer=%d", current);
                    return current;
                case kIpcGetPlaylistFile: {
                    size_t i = static_cast<size_t>(wp);
                    const char* file = i < opts.playlist.size() ? opts.playlist[i].ansi.c_str() : nullptr;
                    Say("query what=playlistfile index=%d", static_cast<int>(wp));
                    return reinterpret_cast<LRESULT>(file);
                }
                case kIpcGetShuffle:
                    Say("query what=shuffle answer=%d t=%lu", opts.shuffle ? 1 : 0, Now());
                    return opts.shuffle ? 1 : 0;
                case kIpcGetRepeat:
                    Say("query what=repeat answer=%d t=%lu", opts.repeat ? 1 : 0, Now());
                    return opts.repeat ? 1 : 0;
                default:
                    return 0;
            }
        case kWmWaMpegEof:
            Say("eof wParam=%u lParam=%ld t=%lu", static_cast<unsigned>(wp), static_cast<long>(lp), Now());
            if (!Scripted())
                Advance(false);
            return 0;
        case kSkipFailed:
            Say("skip index=%d t=%lu", current, Now());
            Advance(true);
            return 0;
        case WM_COMMAND:
            if (LOWORD(wp) == kCmdNextTrack) {
                NextTrackCommand();
                return 0;
            }
            break;
        case WM_KEYDOWN:
            Say("keydown wParam=%u lParam=0x%lX", static_cast<unsigned>(wp), static_cast<unsigned long>(lp));
            return 0;
        case WM_TIMER:
            if (wp == kPollTimer) {
                if (playing)
                    Poll();
                if (opts.road != Road::Playlist && (opts.playlist.empty() || !playing || lastPos > 0))
                    StartRoad();
                if (opts.seconds > 0 && GetTickCount() - startTick >= static_cast<DWORD>(opts.seconds * 1000)) {
                    Say("end reason=seconds");
                    Finish(0);
                }
            } else if (wp == kScriptTimer) {
                if (!RunScript()) {
                    Say("end reason=script");
                    Finish(0);
                }
            } else if (wp == kTitleTimer) {
                ReadNextTitle();
            } else if (wp == kCancelTimer) {
                Cancel();
            }
            return 0;
        case kOnUiThread:
            (*reinterpret_cast<const std::function<void()>*>(lp))();
            return 0;
        case kRoadDone:
            roadCode = static_cast<int>(wp);
            Say("road done code=%d t=%lu", roadCode, Now());
            Finish(roadCode);
            return 0;
        case WM_CLOSE:
            Finish(0);
            return 0;
        case kBoxSeen: {
            const auto* box = reinterpret_cast<const BoxSeen*>(lp);
            Say("box title=\"%s\" text=\"%s\"", Utf8(box->title).c_str(), Utf8(box->text).c_str());
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(w, msg, wp, lp);
}

void Usage() {
    fprintf(stderr,
            "usage: host [--dll PATH] [--shuffle] [--repeat] [--manual-advance] [--passes N] [--seconds N]\n"
            "            [--poll-ms N] [--no-poll] [--script \"cmd; cmd\"] [--record] [--auto-close-boxes] [FILE ...]\n"
            "       host [--dll PATH] [--ansi] [--beside FILE] [--cancel-after MS]\n"
            "            (--fields FILE... | --convert OUT.wav FILE | [--album] --replaygain FILE... |\n"
            "             --burn FILE [OUT.wav])\n");
}

// The wide command line, as the player holds names; a non-Unicode plug-in gets the ANSI names.
bool ParseArgs() {
    int argc = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::wstring> args;
    for (int i = 0; wide && i < argc; ++i)
        args.emplace_back(wide[i]);
    LocalFree(wide);
    std::vector<std::wstring> files;
    bool ok = true;
    for (size_t i = 1; i < args.size() && ok; ++i) {
        const std::wstring& a = args[i];
        auto next = [&]() -> std::wstring {
            if (i + 1 < args.size())
                return args[++i];
            ok = false;
            return {};
        };
        auto number = [&] { return _wtoi(next().c_str()); };
        if (a == L"--dll") {
            opts.dll = WideToAnsi(next());
        } else if (a == L"--shuffle") {
            opts.shuffle = true;
        } else if (a == L"--repeat") {
            opts.repeat = true;
        } else if (a == L"--manual-advance") {
            opts.manualAdvance = true;
        } else if (a == L"--record") {
            opts.printRecord = true;
        } else if (a == L"--auto-close-boxes") {
            opts.autoCloseBoxes = true;
        } else if (a == L"--fields") {
            opts.road = Road::Fields;
        } else if (a == L"--replaygain") {
            opts.road = Road::ReplayGain;
        } else if (a == L"--burn") {
            opts.road = Road::Burn;
        } else if (a == L"--album") {
            opts.album = true;
        } else if (a == L"--ansi") {
            opts.ansi = true;
        } else if (a == L"--convert") {
            opts.road = Road::Convert;
            opts.roadOut = next();
        } else if (a == L"--beside") {
            const std::wstring file = next();
            opts.playlist.push_back({file, PlayerAnsiName(file)});
        } else if (a == L"--cancel-after") {
            opts.cancelAfterMs = number();
        } else if (a == L"--set") {
            (void)next();  // the editor reads its pairs from the command line itself
            opts.tagEdit = true;
        } else if (a == L"--no-poll") {
            opts.poll = false;
        } else if (a == L"--passes") {
            opts.passes = number();
        } else if (a == L"--seconds") {
            opts.seconds = _wtof(next().c_str());
        } else if (a == L"--poll-ms") {
            opts.pollMs = static_cast<UINT>(number());
        } else if (a == L"--script") {
            const std::string s = WideToAnsi(next());
            size_t start = 0;
            while (start <= s.size()) {
                size_t end = s.find(';', start);
                if (end == std::string::npos)
                    end = s.size();
                std::string cmd = s.substr(start, end - start);
                size_t b = cmd.find_first_not_of(' ');
                size_t e = cmd.find_last_not_of(' ');
                if (b != std::string::npos)
                    opts.script.push_back(cmd.substr(b, e - b + 1));
                start = end + 1;
            }
        } else if (a == L"--") {
            for (++i; i < args.size(); ++i)
                files.push_back(args[i]);
        } else if (a.size() > 1 && a[0] == L'-' && a[1] == L'-') {
            ok = false;
        } else {
            files.push_back(a);
        }
    }
    if (opts.road == Road::Playlist) {
        for (const std::wstring& f : files)
            opts.playlist.push_back({f, PlayerAnsiName(f)});
    } else {
        opts.roadFiles = files;
        if (opts.road == Road::Burn && files.size() == 2) {
            opts.roadOut = files[1];
            opts.roadFiles.resize(1);
        }
    }
    return ok;
}

}  // namespace

int main() {
    if (!ParseArgs()) {
        Usage();
        return 2;
    }
    // The player's UI thread, which calls every callback and Init, is in the multithreaded apartment.
    (void)CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (opts.dll.empty()) {
        opts.dll = JoinPath(HostExeDir(), "in_atrac3ds.dll");
    }
    plugin = LoadLibraryA(opts.dll.c_str());
    if (!plugin) {
        Say("load error=%lu dll=\"%s\"", GetLastError(), opts.dll.c_str());
        return 3;
    }
    using GetModule = In_Module*(WA_CALL*)();
    auto get = reinterpret_cast<GetModule>(reinterpret_cast<void*>(GetProcAddress(plugin, "winampGetInModule2")));
    if (!get) {
        Say("load error=no-export");
        return 3;
    }
    mod = get();
    Say("load ok same-record=%d acp=%u", get() == mod ? 1 : 0, GetACP());
    if (opts.tagEdit) {
        return RunTagEdit(plugin);  // on this thread, the player's UI thread
    }
    if (opts.printRecord)
        PrintRecord();

    WNDCLASSW wc = {};
    wc.lpfnWndProc = MainProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Atrac3dsStandInPlayer";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&wc);
    mainWindow = CreateWindowExW(0, wc.lpszClassName, L"stand-in player", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                                 nullptr, wc.hInstance, nullptr);
    ShowWindow(mainWindow, SW_SHOWNOACTIVATE);
    if (opts.autoCloseBoxes)
        CloseHandle(CreateThread(nullptr, 0, WatchBoxes, nullptr, 0, nullptr));

    mod->hMainWindow = mainWindow;
    mod->hDllInstance = plugin;
    startTick = GetTickCount();
    mod->Init();
    Say("init done ms=%lu", GetTickCount() - startTick);

    if (!opts.playlist.empty() && !Scripted())
        PlayEntry(0);
    const bool idle = opts.road == Road::Playlist && opts.playlist.empty() && !Scripted() && opts.seconds <= 0;
    if (idle) {
        // Nothing to play: let the plug-in's start-up timers run briefly, then leave.
        opts.seconds = 0.5;
    }
    SetTimer(mainWindow, kPollTimer, opts.pollMs, nullptr);
    SetTimer(mainWindow, kTitleTimer, 100, nullptr);
    if (Scripted())
        SetTimer(mainWindow, kScriptTimer, 10, nullptr);

    MSG m;
    int code = 0;
    while (true) {
        BOOL r = GetMessageW(&m, nullptr, 0, 0);
        if (r == 0) {
            code = static_cast<int>(m.wParam);
            break;
        }
        if (r == -1)
            break;
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    // The player's exit: Stop, then Quit, and never FreeLibrary.
    if (playing) {
        StopPlayback("exit");
    } else {
        mod->Stop();
    }
    mod->Quit();
    Say("unload done");
    return code;
}
