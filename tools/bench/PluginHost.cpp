#include "tools/bench/PluginHost.h"

#include <cstdio>

#include "base/Paths.h"
#include "tools/common/MessageBoxes.h"
#include "tools/common/MessagePump.h"

namespace {

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER)
        return 0;  // playlist position 0, shuffle and repeat off
    return DefWindowProcW(window, message, wParam, lParam);
}

BOOL CALLBACK CloseIfMessageBox(HWND w, LPARAM) {
    if (IsMessageBoxOfThisProcess(w)) {
        wchar_t text[512] = L"";
        GetWindowTextW(GetDlgItem(w, kMessageBoxTextId), text, 512);
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
    PumpWaitingMessages();
}

void PluginHost::PumpFor(DWORD ms) {
    PumpMessagesFor(ms);
}

std::string ExecutableDir() {
    return JoinPath(HostExeDir(), "");
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
    return ok && written == bytes.size();
}
