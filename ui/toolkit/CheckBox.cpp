// The box is a plain (not automatic) check box: the state lives here, and both the user's click
// and our code change it through SetChecked, so OnClick fires once per change whoever made it.
#include "ui/toolkit/CheckBox.h"

TCheckBox::TCheckBox(TComponent* owner, std::string name, TWinControl& parent)
    : TControl(owner, std::move(name), &parent) {
    CreateHandle(L"Button", BS_CHECKBOX | WS_TABSTOP, 0, parent.Handle());
}

void TCheckBox::SetChecked(bool checked) {
    if (checked == checked_) return;
    checked_ = checked;
    SendMessageW(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    if (OnClick) OnClick(this);
}

void TCheckBox::CommandNotify(WORD code) {
    if (code == BN_CLICKED) SetChecked(!checked_);
}
