// Like the check box, a plain radio button whose state lives here. Checking one unchecks its
// sibling radio buttons.
#include "ui/toolkit/RadioButton.h"

TRadioButton::TRadioButton(TComponent* owner, std::string name, TWinControl& parent)
    : TControl(owner, std::move(name), &parent) {
    CreateHandle(L"Button", BS_RADIOBUTTON | WS_TABSTOP, 0, parent.Handle());
}

void TRadioButton::SetChecked(bool checked) {
    if (checked == checked_) return;
    checked_ = checked;
    SendMessageW(hwnd_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    if (!checked) return;
    for (TControl* sibling : parent_->Controls())
        if (auto* radio = dynamic_cast<TRadioButton*>(sibling); radio && radio != this) radio->SetChecked(false);
    if (OnClick) OnClick(this);
}

void TRadioButton::CommandNotify(WORD code) {
    if (code == BN_CLICKED) SetChecked(true);
}
