// Telling a message box of this process from the plug-in's own dialogs, for the tools that close
// the boxes a person would otherwise have to click away.
#pragma once

#include <windows.h>

#include <cwchar>

// The dialog control that holds a message box's text.
constexpr int kMessageBoxTextId = 0xFFFF;

inline bool OwnedByThisProcess(HWND w) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    return pid == GetCurrentProcessId();
}

// A visible dialog of this process holding a message box's text control: modal dialogs of the
// plug-in have no such control and are left alone.
inline bool IsMessageBoxOfThisProcess(HWND w) {
    wchar_t cls[16] = L"";
    return OwnedByThisProcess(w) && IsWindowVisible(w) && GetClassNameW(w, cls, 16) && wcscmp(cls, L"#32770") == 0 &&
           GetDlgItem(w, kMessageBoxTextId);
}
