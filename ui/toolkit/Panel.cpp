// Panels draw themselves: colour, bevel and a centred caption in the panel's font.
#include "ui/toolkit/Panel.h"

TPanel::TPanel(TComponent* owner, std::string name, TWinControl& parent)
    : TWinControl(owner, std::move(name), &parent) {
    CreateHandle(nullptr, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, parent.Handle());
}

void TPanel::SetBevelOuter(TBevelCut bevel) {
    bevelOuter_ = bevel;
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void TPanel::SetCaption(const std::wstring& caption) {
    TWinControl::SetCaption(caption);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void TPanel::SetFont(const TFont& font) {
    TWinControl::SetFont(font);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void TPanel::SetColor(TColor color) { TWinControl::SetColor(color); }

void TPanel::Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    RECT rc{};
    GetClientRect(hwnd_, &rc);
    FillRect(dc, &rc, Brush());
    if (bevelOuter_ == bvLowered) DrawEdge(dc, &rc, BDR_SUNKENOUTER, BF_RECT);
    if (bevelOuter_ == bvRaised) DrawEdge(dc, &rc, BDR_RAISEDINNER, BF_RECT);
    std::wstring text = Caption();
    if (!text.empty()) {
        HGDIOBJ old = SelectObject(dc, font_.Handle());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, ColorToRGB(font_.Color()));
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, old);
    }
    EndPaint(hwnd_, &ps);
}

void TPanel::Dispatch(TMessage& m) {
    switch (m.Msg) {
        case WM_PAINT:
            Paint();
            return;
        case WM_ERASEBKGND:
            m.Result = 1;  // Paint fills the whole panel
            return;
        case WM_LBUTTONDOWN:
            SetCapture(hwnd_);
            pressed_ = true;
            return;
        case WM_LBUTTONUP:
            if (pressed_) {
                pressed_ = false;
                ReleaseCapture();
                RECT rc{};
                GetClientRect(hwnd_, &rc);
                POINT at{static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam))};
                if (PtInRect(&rc, at) && OnClick) OnClick(this);
            }
            return;
        case WM_CAPTURECHANGED:
            pressed_ = false;
            break;
        default:
            break;
    }
    TWinControl::Dispatch(m);
}
