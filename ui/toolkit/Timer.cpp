// Each timer has a message-only window of its own, so a tick finds its timer without a table and
// a destroyed timer can never be called.
#include "ui/toolkit/Timer.h"

#include "ui/toolkit/Control.h"

namespace {
constexpr wchar_t kTimerClass[] = L"Atrac3dsTimer";
constexpr UINT_PTR kTimerId = 1;
}  // namespace

LRESULT CALLBACK TimerWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_TIMER && wParam == kTimerId) {
        auto* timer = reinterpret_cast<TTimer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (timer && timer->OnTimer) Guarded([timer] { timer->OnTimer(timer); });
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void RegisterTimerClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = TimerWindowProc;
    wc.hInstance = ToolkitModule();
    wc.lpszClassName = kTimerClass;
    (void)RegisterClassExW(&wc);
}

void UnregisterTimerClass() { (void)UnregisterClassW(kTimerClass, ToolkitModule()); }

TTimer::TTimer(TComponent* owner, std::string name) : TComponent(owner, std::move(name)) {
    InitToolkit();
    window_ = CreateWindowExW(0, kTimerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ToolkitModule(), nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    Restart();
}

TTimer::~TTimer() {
    if (!window_) return;
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    KillTimer(window_, kTimerId);
    if (GetWindowThreadProcessId(window_, nullptr) == GetCurrentThreadId()) DestroyWindow(window_);
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Restart();
}

void TTimer::SetInterval(uint32_t intervalMs) {
    if (intervalMs == interval_) return;
    interval_ = intervalMs;
    Restart();
}

void TTimer::Restart() {
    KillTimer(window_, kTimerId);
    if (enabled_ && interval_ > 0) SetTimer(window_, kTimerId, interval_, nullptr);
}
