#include "ui/toolkit/Edit.h"

TEdit::TEdit(TComponent* owner, std::string name, TWinControl& parent) : TControl(owner, std::move(name), &parent) {
    color_ = clWindow;
    CreateHandle(L"Edit", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, parent.Handle());
}

void TEdit::SetReadOnly(bool readOnly) {
    readOnly_ = readOnly;
    SendMessageW(hwnd_, EM_SETREADONLY, readOnly ? TRUE : FALSE, 0);
}

// A read-only edit asks with WM_CTLCOLORSTATIC, an editable one with WM_CTLCOLOREDIT; both get
// the edit's own colour.
HBRUSH TEdit::CtlColor(HDC dc) {
    SetTextColor(dc, ColorToRGB(font_.Color()));
    SetBkColor(dc, ColorToRGB(color_));
    return Brush();
}
