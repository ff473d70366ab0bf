// A stand-in for the player: loads an input plug-in, answers the player's queries from a playlist
// given on the command line and drives the record's callbacks the way a player does, printing one
// line for everything the player sees. Tests and benchmarks parse this output, so each line is
// "word key=value ..." and the words never change meaning.
//
//   host [--dll PATH] [--shuffle] [--repeat] [--passes N] [--seconds N] [--poll-ms N] [--no-poll]
//        [--script "cmd; cmd; ..."] [--record] [--auto-close-boxes] [FILE ...]
//   host [--dll PATH] [--ansi] --fields FILE ...        (the library: every extended field)
//   host [--dll PATH] [--ansi] --convert OUT.wav FILE   (the converter: extended read to a WAV)
//   host [--dll PATH] --set FIELD=VALUE ... FILE        (the library's tag editor)
//
// With --repeat the playlist wraps at its end; --passes N ends the run instead of starting pass
// N + 1. While polling, a change of the video window's visibility prints a "window" line.
//
// Script commands: play [N], stop, pause, unpause, seek MS, volume V, wait MS, info [FILE],
// length, paused, config, about, infobox FILE, key VK, quit, click TEXT (presses the visible
// button of this process captioned TEXT, given in the ANSI code page: scripts keep running while
// a dialog is modal), delete FILE (as another program might, while the plug-in runs).
//
// --auto-close-boxes: a message box would wait for a person, so a watcher thread closes each one
// after the line box title="..." text="..." has been printed.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/AnsiText.h"
#include "base/Paths.h"
#include "host/InModule.h"
#include "tools/common/MessageBoxes.h"
#include "tools/host/Library.h"
#include "tools/host/TagEdit.h"

namespace {

struct Options {
    std::string dll;
    bool shuffle = false;
    bool repeat = false;
    bool printRecord = false;
    bool poll = true;
    bool autoCloseBoxes = false;
    double seconds = 0;  // 0: until the playlist ends
    int passes = 0;      // 0: wrap for ever with --repeat
    UINT pollMs = 50;
    std::vector<std::string> script;
    std::vector<std::string> playlist;
    bool fields = false;      // list extended fields instead of playing
    std::string convertTo;    // convert to this WAV instead of playing
    bool ansi = false;        // the ANSI extended exports instead of the wide ones
    bool tagEdit = false;     // --set: edit tags instead of playing
};

Options opts;
In_Module* mod = nullptr;
HWND mainWindow = nullptr;
int current = 0;
bool playing = false;
size_t scriptPos = 0;
DWORD waitUntil = 0;
DWORD startTick = 0;
int lastPos = INT32_MIN;
std::wstring lastBar;
bool lastBarValid = false;
DWORD endedAt = 0;  // when a poll first read -1 after the track had a position
int lastVisible = -1;
// Set while a script's play runs: a message box from Play keeps the message loop going, and the
// script must not start its next command inside it. Dialog commands leave the script running so
// that it can press their buttons.
bool scriptHeld = false;
int pass = 1;

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT_PTR kScriptTimer = 2;
constexpr UINT kBoxSeen = WM_APP + 1;  // from the box watcher; lParam points at a BoxSeen

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

void Say(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vprintf(fmt, ap);
    va_end(ap);
    putchar('\n');
    fflush(stdout);
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
    if (IsMessageBoxOfThisProcess(w)) reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
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
            for (HWND h : handled) seen = seen || h == box;
            if (seen) continue;
            BoxSeen what{WindowText(box), WindowText(GetDlgItem(box, kMessageBoxTextId))};
            SendMessageW(mainWindow, kBoxSeen, 0, reinterpret_cast<LPARAM>(&what));
            PostMessageW(box, WM_CLOSE, 0, 0);
            handled.push_back(box);
        }
        std::vector<HWND> alive;
        for (HWND h : handled) {
            if (IsWindow(h)) alive.push_back(h);
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
            if (OwnedByThisProcess(w)) EnumChildWindows(w, Child, p);
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
    if (!video) return nullptr;
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
        Say("bar text=\"%s\" t=%lu", Utf8(bar).c_str(), GetTickCount() - startTick);
    }
}

void PlayEntry(int index) {
    if (index < 0 || index >= static_cast<int>(opts.playlist.size())) {
        Say("play index=%d error=out-of-range", index);
        return;
    }
    current = index;
    const std::string& file = opts.playlist[static_cast<size_t>(index)];
    DWORD t0 = GetTickCount();
    int rc = mod->Play(file.c_str());
    playing = true;
    endedAt = 0;
    lastPos = INT32_MIN;
    Say("play index=%d result=%d length=%d ms=%lu file=\"%s\"", index, rc, mod->GetLength(), GetTickCount() - t0,
        AnsiToUtf8(file.c_str()).c_str());
    ReportWindow();
    ReportBar();
}

void StopPlayback(const char* why) {
    mod->Stop();
    playing = false;
    Say("stop reason=%s", why);
}

void Finish(int code) {
    KillTimer(mainWindow, kPollTimer);
    KillTimer(mainWindow, kScriptTimer);
    PostQuitMessage(code);
}

void Poll() {
    if (!opts.poll) return;
    int pos = mod->GetOutputTime();
    HWND video = VideoWindow();
    int visible = video && IsWindowVisible(video) ? 1 : 0;
    if (visible != lastVisible) ReportWindow();
    if (pos == -1 && lastPos >= 0 && !endedAt) endedAt = GetTickCount();
    // With shuffle and repeat off nothing follows the end of a track: leave once it is clear.
    if (endedAt && !opts.shuffle && !opts.repeat && opts.script.empty() && GetTickCount() - endedAt > 1500) {
        Say("end reason=stopped");
        Finish(0);
    }
    if (pos != lastPos) {
        lastPos = pos;
        Say("pos ms=%d t=%lu", pos, GetTickCount() - startTick);
    }
    ReportBar();
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
        !!mod->Play, !!mod->Pause, !!mod->UnPause, !!mod->IsPaused, !!mod->Stop, !!mod->GetLength,
        !!mod->GetOutputTime, !!mod->SetOutputTime, !!mod->SetVolume, !!mod->SetPan, !!mod->EQSet);
}

// Runs script commands until one waits; returns false when the script asked to quit.
bool RunScript() {
    if (scriptHeld) return true;
    while (scriptPos < opts.script.size()) {
        if (waitUntil && static_cast<LONG>(GetTickCount() - waitUntil) < 0) return true;
        waitUntil = 0;
        std::string line = opts.script[scriptPos++];
        char verb[32] = {};
        char arg[1024] = {};
        sscanf(line.c_str(), "%31s %1023[^\n]", verb, arg);
        std::string v = verb;
        if (v.empty()) continue;
        if (v == "wait") {
            waitUntil = GetTickCount() + static_cast<DWORD>(atoi(arg));
            if (waitUntil == 0) waitUntil = 1;
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
            if (button) SendMessageW(button, BM_CLICK, 0, 0);
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

LRESULT CALLBACK MainProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_USER:
            switch (lp) {
                case kIpcGetListPos:
                    Say("query what=listpos answer=%d", current);
                    return current;
                case kIpcGetPlaylistFile: {
                    size_t i = static_cast<size_t>(wp);
                    const char* file = i < opts.playlist.size() ? opts.playlist[i].c_str() : nullptr;
                    Say("query what=playlistfile index=%d", static_cast<int>(wp));
                    return reinterpret_cast<LRESULT>(file);
                }
                case kIpcGetShuffle:
                    Say("query what=shuffle answer=%d t=%lu", opts.shuffle ? 1 : 0, GetTickCount() - startTick);
                    return opts.shuffle ? 1 : 0;
                case kIpcGetRepeat:
                    Say("query what=repeat answer=%d t=%lu", opts.repeat ? 1 : 0, GetTickCount() - startTick);
                    return opts.repeat ? 1 : 0;
                default:
                    return 0;
            }
        case WM_COMMAND:
            if (LOWORD(wp) == kCmdNextTrack) {
                Say("next-track t=%lu", GetTickCount() - startTick);
                StopPlayback("next-track");
                int next = current + 1;
                if (next >= static_cast<int>(opts.playlist.size())) {
                    if (!opts.repeat) {
                        Say("end reason=playlist");
                        Finish(0);
                        return 0;
                    }
                    if (opts.passes > 0 && pass >= opts.passes) {
                        Say("end reason=passes");
                        Finish(0);
                        return 0;
                    }
                    ++pass;
                    next = 0;
                }
                PlayEntry(next);
                return 0;
            }
            break;
        case WM_KEYDOWN:
            Say("keydown wParam=%u lParam=0x%lX", static_cast<unsigned>(wp), static_cast<unsigned long>(lp));
            return 0;
        case WM_TIMER:
            if (wp == kPollTimer) {
                if (playing) Poll();
                if (opts.seconds > 0 && GetTickCount() - startTick >= static_cast<DWORD>(opts.seconds * 1000)) {
                    Say("end reason=seconds");
                    Finish(0);
                }
            } else if (wp == kScriptTimer) {
                if (!RunScript()) {
                    Say("end reason=script");
                    Finish(0);
                }
            }
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
            "usage: host [--dll PATH] [--shuffle] [--repeat] [--passes N] [--seconds N] [--poll-ms N] [--no-poll]\n"
            "            [--script \"cmd; cmd\"] [--record] [--auto-close-boxes] [FILE ...]\n");
}

bool ParseArgs(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--dll") {
            const char* v = next();
            if (!v) return false;
            opts.dll = v;
        } else if (a == "--shuffle") {
            opts.shuffle = true;
        } else if (a == "--repeat") {
            opts.repeat = true;
        } else if (a == "--record") {
            opts.printRecord = true;
        } else if (a == "--auto-close-boxes") {
            opts.autoCloseBoxes = true;
        } else if (a == "--fields") {
            opts.fields = true;
        } else if (a == "--ansi") {
            opts.ansi = true;
        } else if (a == "--set") {
            if (!next()) return false;
            opts.tagEdit = true;
        } else if (a == "--convert") {
            const char* v = next();
            if (!v) return false;
            opts.convertTo = v;
        } else if (a == "--no-poll") {
            opts.poll = false;
        } else if (a == "--passes") {
            const char* v = next();
            if (!v) return false;
            opts.passes = atoi(v);
        } else if (a == "--seconds") {
            const char* v = next();
            if (!v) return false;
            opts.seconds = atof(v);
        } else if (a == "--poll-ms") {
            const char* v = next();
            if (!v) return false;
            opts.pollMs = static_cast<UINT>(atoi(v));
        } else if (a == "--script") {
            const char* v = next();
            if (!v) return false;
            std::string s = v;
            size_t start = 0;
            while (start <= s.size()) {
                size_t end = s.find(';', start);
                if (end == std::string::npos) end = s.size();
                std::string cmd = s.substr(start, end - start);
                size_t b = cmd.find_first_not_of(' ');
                size_t e = cmd.find_last_not_of(' ');
                if (b != std::string::npos) opts.script.push_back(cmd.substr(b, e - b + 1));
                start = end + 1;
            }
        } else if (a == "--") {
            for (++i; i < argc; ++i) opts.playlist.push_back(argv[i]);
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return false;
        } else {
            opts.playlist.push_back(a);
        }
    }
    return true;
}

// The player hands an input plug-in ANSI names. A name that the ANSI code page cannot hold (Korean
// under code page 936, say) goes as its short form, which every code page holds, as the player
// itself does for such files.
std::vector<std::string> AnsiArguments() {
    int n = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &n);
    std::vector<std::string> args;
    for (int i = 0; wide && i < n; ++i) {
        std::wstring w = wide[i];
        BOOL lossy = FALSE;
        (void)WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.c_str(), -1, nullptr, 0, nullptr, &lossy);
        if (lossy) {
            wchar_t shortName[MAX_PATH];
            DWORD k = GetShortPathNameW(w.c_str(), shortName, MAX_PATH);
            if (k > 0 && k < MAX_PATH)
                w = shortName;
        }
        args.push_back(WideToAnsi(w));
    }
    LocalFree(wide);
    return args;
}

// The library's files, and the converter's target, as the player's library holds names: UTF-16,
// taken from the wide command line (the ANSI one cannot spell every name).
struct LibraryJob {
    HMODULE dll;
    std::vector<std::wstring> files;
    std::wstring convertTo;
    int code;
};

void ReadWideArguments(LibraryJob& job) {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; i < count; ++i) {
        const std::wstring a = args[i];
        if (a == L"--convert" && i + 1 < count) {
            job.convertTo = args[++i];
        } else if (a == L"--dll") {
            ++i;
        } else if (a.rfind(L"--", 0) != 0) {
            job.files.push_back(a);
        }
    }
    LocalFree(args);
}

DWORD WINAPI LibraryThread(void* parameter) {
    auto* job = static_cast<LibraryJob*>(parameter);
    if (opts.fields) {
        job->code = ListFields(job->dll, job->files, opts.ansi);
    } else if (job->files.empty()) {
        job->code = 2;
    } else {
        job->code = ConvertToWav(job->dll, job->files.front(), job->convertTo, opts.ansi);
    }
    return 0;
}

int RunLibrary(HMODULE dll) {
    LibraryJob job{dll, {}, {}, 0};
    ReadWideArguments(job);
    HANDLE thread = CreateThread(nullptr, 0, LibraryThread, &job, 0, nullptr);
    if (!thread) return 3;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return job.code;
}

}  // namespace

int main() {
    std::vector<std::string> ansiArgs = AnsiArguments();
    std::vector<char*> argv;
    for (std::string& a : ansiArgs)
        argv.push_back(a.data());
    int argc = static_cast<int>(argv.size());
    if (!ParseArgs(argc, argv.data())) {
        Usage();
        return 2;
    }
    if (opts.dll.empty()) {
        opts.dll = JoinPath(HostExeDir(), "in_atrac3ds.dll");
    }
    HMODULE dll = LoadLibraryA(opts.dll.c_str());
    if (!dll) {
        Say("load error=%lu dll=\"%s\"", GetLastError(), opts.dll.c_str());
        return 3;
    }
    using GetModule = In_Module*(WA_CALL*)();
    auto get = reinterpret_cast<GetModule>(reinterpret_cast<void*>(GetProcAddress(dll, "winampGetInModule2")));
    if (!get) {
        Say("load error=no-export");
        return 3;
    }
    mod = get();
    Say("load ok same-record=%d acp=%u", get() == mod ? 1 : 0, GetACP());
    if (opts.tagEdit) {
        const int code = RunTagEdit(dll);  // on this thread, the player's UI thread
        FreeLibrary(dll);
        return code;
    }
    if (opts.fields || !opts.convertTo.empty()) {
        // The library's calls come from a worker thread, never with Init or a window.
        const int code = RunLibrary(dll);
        FreeLibrary(dll);
        return code;
    }
    if (opts.printRecord) PrintRecord();

    WNDCLASSW wc = {};
    wc.lpfnWndProc = MainProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Atrac3dsStandInPlayer";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&wc);
    mainWindow = CreateWindowExW(0, wc.lpszClassName, L"stand-in player", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                                 nullptr, nullptr, wc.hInstance, nullptr);
    ShowWindow(mainWindow, SW_SHOWNOACTIVATE);
    if (opts.autoCloseBoxes) CloseHandle(CreateThread(nullptr, 0, WatchBoxes, nullptr, 0, nullptr));

    mod->hMainWindow = mainWindow;
    mod->hDllInstance = dll;
    startTick = GetTickCount();
    mod->Init();
    Say("init done ms=%lu", GetTickCount() - startTick);

    if (!opts.playlist.empty() && opts.script.empty()) PlayEntry(0);
    bool idle = opts.playlist.empty() && opts.script.empty() && opts.seconds <= 0;
    if (idle) {
        // Nothing to play: let the plug-in's start-up timers run briefly, then leave.
        opts.seconds = 0.5;
    }
    SetTimer(mainWindow, kPollTimer, opts.pollMs, nullptr);
    if (!opts.script.empty()) SetTimer(mainWindow, kScriptTimer, 10, nullptr);

    MSG m;
    int code = 0;
    while (true) {
        BOOL r = GetMessageW(&m, nullptr, 0, 0);
        if (r == 0) {
            code = static_cast<int>(m.wParam);
            break;
        }
        if (r == -1) break;
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    if (playing) StopPlayback("exit");
    mod->Quit();
    FreeLibrary(dll);
    Say("unload done");
    return code;
}
