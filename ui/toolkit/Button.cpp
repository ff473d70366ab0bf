#include "ui/toolkit/Button.h"

TButton::TButton(TComponent* owner, std::string name, TWinControl& parent) : TControl(owner, std::move(name), &parent) {
    CreateHandle(L"Button", BS_PUSHBUTTON | WS_TABSTOP, 0, parent.Handle());
}

void TButton::Click() {
    if (OnClick) OnClick(this);
}

void TButton::CommandNotify(WORD code) {
    if (code == BN_CLICKED) Click();
}
