// Images paint their icon themselves on the image's colour.
#include "ui/toolkit/Image.h"

TImage::TImage(TComponent* owner, std::string name, TWinControl& parent) : TControl(owner, std::move(name), &parent) {
    CreateHandle(nullptr, 0, 0, parent.Handle());
}

void TImage::SetIcon(HICON icon) {
    icon_ = icon;
    if (autoSize_ && icon_) {
        ICONINFO info{};
        if (GetIconInfo(icon_, &info)) {
            BITMAP bm{};
            GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
            int32_t height = info.hbmColor ? bm.bmHeight : bm.bmHeight / 2;
            if (info.hbmColor) DeleteObject(info.hbmColor);
            if (info.hbmMask) DeleteObject(info.hbmMask);
            SetBounds(left_, top_, bm.bmWidth, height);
        }
    }
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void TImage::SetCenter(bool center) {
    center_ = center;
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void TImage::SetAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    if (icon_) SetIcon(icon_);
}

void TImage::Dispatch(TMessage& m) {
    if (m.Msg == WM_ERASEBKGND) {
        m.Result = 1;
        return;
    }
    if (m.Msg != WM_PAINT) return TControl::Dispatch(m);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    RECT rc{};
    GetClientRect(hwnd_, &rc);
    FillRect(dc, &rc, Brush());
    if (icon_) {
        int x = 0, y = 0;
        if (center_) {
            x = (rc.right - GetSystemMetrics(SM_CXICON)) / 2;
            y = (rc.bottom - GetSystemMetrics(SM_CYICON)) / 2;
        }
        DrawIconEx(dc, x, y, icon_, 0, 0, 0, nullptr, DI_NORMAL);
    }
    EndPaint(hwnd_, &ps);
}
