// The position poll. The player's polls are our only clock: each one may end the track, then
// rewrites the time bar in the chosen format and answers the position. What follows the end (the
// next-track command or the end-of-track message) waits one second on the video window's one-shot
// timer.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "engine/Morlune.h"
#include "host/EndTest.h"
#include "host/Main.h"
#include "host/Poll.h"
#include "host/TimeText.h"
#include "ui/UnitForm.h"
#include "ui/UnitOption.h"

namespace {

// The user's time separator, read once: the regional settings are not worth a query per poll.
const std::wstring& TimeSeparator() {
    static const std::wstring separator = [] {
        wchar_t text[8] = {};
        const int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, text, 8);
        return n > 1 ? std::wstring(text) : std::wstring(L":");
    }();
    return separator;
}

// What the time bar shows, as far as the poll knows. Reading the label back costs a window message
// per poll (most of a poll's time under Wine), so the poll remembers what it wrote, and a hook on
// the label keeps that true: any text set there by anyone else (Play's file name) is noticed.
struct ShownTime {
    HWND label = nullptr;
    std::wstring text;
    bool known = false;  // the label shows text
};
ShownTime shown;

LRESULT CALLBACK WatchTimeBar(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (msg == WM_SETTEXT) {
        const auto* text = reinterpret_cast<const wchar_t*>(lParam);
        shown.known = text && shown.text == text;
    }
    return DefSubclassProc(window, msg, wParam, lParam);
}

void ShowTime(const std::wstring& text) {
    TLabel& label = VideoForm->Label1;
    if (shown.label != label.Handle()) {
        shown = {label.Handle(), {}, false};
        (void)SetWindowSubclass(shown.label, WatchTimeBar, 1, 0);
    }
    if (shown.known && shown.text == text) {
        return;  // an unchanged text would only repaint the bar
    }
    shown.text = text;
    shown.known = false;
    label.SetCaption(text);
}

// Asks the player for shuffle and repeat (in this order), stops without cancelling a pending
// request (this runs again on every poll while a short track keeps ending) and arms the timer.
void EndTrack() {
    const auto shuffle = static_cast<int32_t>(SendMessageW(Module.hMainWindow, WM_USER, 0, kIpcGetShuffle));
    const auto repeat = static_cast<int32_t>(SendMessageW(Module.hMainWindow, WM_USER, 0, kIpcGetRepeat));
    AdvanceOnEnd = static_cast<int32_t>(static_cast<uint32_t>(shuffle) + static_cast<uint32_t>(repeat));
    StopTrack();
    VideoForm->Timer1.SetEnabled(true);  // enabling a running timer does not restart its wait
}

}  // namespace

int WA_CALL GetOutputTime() {
    try {
        if (!Engine || !VideoForm || !FormOptions) {
            return -1;  // polled before Init
        }
        // Each step asks the engine again: the end rule may have closed the graph in between.
        if (TrackHasEnded(Engine->GetPositionMs(), static_cast<int32_t>(Engine->GetDurationMs()))) {
            EndTrack();
        }
        const std::wstring text = TimeBarText(FormOptions->RadioGroup1.ItemIndex(), Engine->GetPositionMs(),
                                              static_cast<int32_t>(Engine->GetDurationMs()), TimeSeparator());
        ShowTime(text);
        return Engine->GetPositionMs();
    } catch (...) {
        return -1;
    }
}

// With shuffle or repeat on, the next-track command, as players have long been asked; with both
// off, the end-of-track message, without which the player would stay in its playing state with
// nothing playing. Never both: the player would skip an entry.
void RequestNextTrack() {
    if (AdvanceOnEnd > 0) {
        (void)SendMessageW(Module.hMainWindow, WM_COMMAND, kCmdNextTrack, 0);
    } else {
        (void)PostMessageW(Module.hMainWindow, kWmWaMpegEof, 0, 0);
    }
}

void CancelPendingNextTrack() {
    if (VideoForm) {
        VideoForm->Timer1.SetEnabled(false);
    }
}
