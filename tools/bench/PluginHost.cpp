#include "tools/bench/PluginHost.h"

#include <cstdio>
#include <cwchar>

namespace {

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER)
        return 0;  // playlist position 0, shuffle and repeat off
    return DefWindowProcW(window, message, wParam, lParam);
}

bool IsMessageBoxOfOurs(HWND w) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    wchar_t cls[16] = L"";
    return pid == GetCurrentProcessId() && IsWindowVisible(w) && GetClassNameW(w, cls, 16) &&
           wcscmp(cls, L"#32770") == 0 && GetDlgItem(w, 0xFFFF);  // 0xFFFF: a message box's text
}

BOOL CALLBACK CloseIfMessageBox(HWND w, LPARAM) {
    if (IsMessageBoxOfOurs(w)) {
        wchar_t text[512] = L"";
        GetWindowTextW(GetDlgItem(w, 0xFFFF), text, 512);
        char utf8[1536] = "";
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
        printf("box text=\"%s\"\n", utf8);
        fflush(stdout);
        SendMessageW(w, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

DWORD WINAPI CloseMessageBoxesForEver(void*) {
    for (;;) {
        EnumWindows(CloseIfMessageBox, 0);
        Sleep(50);
    }
}

}  // namespace

PluginHost::~PluginHost() {
    // The player calls Quit and lets the library stay until it exits; so do we.
    if (module_)
        module_->Quit();
    if (mainWindow_)
        DestroyWindow(mainWindow_);
}

bool PluginHost::Load(const std::string& dllPath) {
    dll_ = LoadLibraryA(dllPath.c_str());
    if (!dll_)
        return false;
    using GetModule = In_Module*(WA_CALL*)();
    auto get = reinterpret_cast<GetModule>(reinterpret_cast<void*>(GetProcAddress(dll_, "winampGetInModule2")));
    if (!get)
        return false;
    module_ = get();

    WNDCLASSW wc = {};
    wc.lpfnWndProc = MainProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Atrac3dsBenchPlayer";
    RegisterClassW(&wc);
    mainWindow_ = CreateWindowExW(0, wc.lpszClassName, L"bench", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    module_->hMainWindow = mainWindow_;
    module_->hDllInstance = dll_;
    return mainWindow_ != nullptr;
}

void PluginHost::CloseMessageBoxes() {
    CloseHandle(CreateThread(nullptr, 0, CloseMessageBoxesForEver, nullptr, 0, nullptr));
}

void PluginHost::Pump() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

void PluginHost::PumpFor(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        Pump();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    Pump();
}

std::string ExecutableDir() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    dir.resize(dir.find_last_of('\\') + 1);
    return dir;
}
