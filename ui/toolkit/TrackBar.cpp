#include "ui/toolkit/TrackBar.h"

#include <commctrl.h>

#include <algorithm>

namespace {
constexpr int32_t kMax = 10;
}  // namespace

TTrackBar::TTrackBar(TComponent* owner, std::string name, TWinControl& parent)
    : TControl(owner, std::move(name), &parent) {
    CreateHandle(TRACKBAR_CLASSW, TBS_HORZ | TBS_AUTOTICKS | WS_TABSTOP, 0, parent.Handle());
    SendMessageW(hwnd_, TBM_SETRANGE, TRUE, MAKELPARAM(0, kMax));
}

void TTrackBar::SetPosition(int32_t position) {
    position = std::clamp<int32_t>(position, 0, kMax);
    if (position == position_) return;
    position_ = position;
    SendMessageW(hwnd_, TBM_SETPOS, TRUE, position_);
    if (OnChange) OnChange(this);
}

void TTrackBar::ScrollNotify() { SetPosition(static_cast<int32_t>(SendMessageW(hwnd_, TBM_GETPOS, 0, 0))); }
