// A timer: a real SetTimer on a hidden message-only window of its own. Enabled when made, with
// an interval of 1000 ms. Enabling an enabled timer does not restart it; a new interval does.
// OnTimer runs at each tick while it is set.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/toolkit/Component.h"

class TTimer : public TComponent {
public:
    TTimer(TComponent* owner, std::string name);
    ~TTimer() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    uint32_t Interval() const { return interval_; }
    void SetInterval(uint32_t intervalMs);

    TNotifyEvent OnTimer;

private:
    friend LRESULT CALLBACK TimerWindowProc(HWND, UINT, WPARAM, LPARAM);
    void Restart();
    HWND window_ = nullptr;
    bool enabled_ = true;
    uint32_t interval_ = 1000;
};

// The timers' window class, registered and unregistered with the toolkit's own.
void RegisterTimerClass();
void UnregisterTimerClass();
