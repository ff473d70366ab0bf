#include "ui/toolkit/GroupBox.h"

TGroupBox::TGroupBox(TComponent* owner, std::string name, TWinControl& parent)
    : TWinControl(owner, std::move(name), &parent) {
    CreateHandle(L"Button", BS_GROUPBOX | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, parent.Handle());
}
