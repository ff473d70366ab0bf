// Labels are "Static" windows so that their text is readable from outside (the stand-in player
// and screen readers find the time bar this way). The parent reflects WM_CTLCOLORSTATIC here so
// the label can use its own font colour.
#include "ui/toolkit/Label.h"

TLabel::TLabel(TComponent* owner, std::string name, TWinControl& parent) : TControl(owner, std::move(name), &parent) {
    CreateHandle(L"Static", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_NOTIFY, 0, parent.Handle());
}

void TLabel::SetCaption(const std::wstring& caption) {
    TControl::SetCaption(caption);
    FitText();
}

void TLabel::SetFont(const TFont& font) {
    TControl::SetFont(font);
    FitText();
}

void TLabel::SetTransparent(bool transparent) {
    transparent_ = transparent;
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void TLabel::SetAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    FitText();
}

void TLabel::SetLinkStyle(bool link) {
    link_ = link;
    TFont font = font_;
    font.SetColor(link ? clBlue : clWindowText);
    font.SetStyle(link ? (font.Style() | fsUnderline) : (font.Style() & ~fsUnderline));
    SetFont(font);
}

void TLabel::FitText() {
    if (!autoSize_ || align_ != alNone || !hwnd_) return;
    std::wstring text = Caption();
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, font_.Handle());
    RECT rc{0, 0, 0, 0};
    DrawTextW(dc, text.empty() ? L" " : text.c_str(), -1, &rc, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    width_ = text.empty() ? 0 : rc.right;
    height_ = rc.bottom;
    PlaceWindow();
}

void TLabel::CommandNotify(WORD code) {
    if (code == STN_CLICKED && OnClick) OnClick(this);
}

HBRUSH TLabel::CtlColor(HDC dc) {
    SetTextColor(dc, ColorToRGB(font_.Color()));
    if (transparent_ && parent_) {
        SetBkMode(dc, TRANSPARENT);
        return parent_->Brush();
    }
    SetBkColor(dc, ColorToRGB(color_));
    return Brush();
}

void TLabel::Dispatch(TMessage& m) {
    if (m.Msg == WM_SETCURSOR && link_) {
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
        m.Result = TRUE;
        return;
    }
    TControl::Dispatch(m);
}
