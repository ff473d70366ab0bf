#include "ui/toolkit/ComboBox.h"

namespace {
constexpr int32_t kDropDownHeight = 200;  // room for the list when it drops down
}  // namespace

TComboBox::TComboBox(TComponent* owner, std::string name, TWinControl& parent)
    : TComboBox(owner, std::move(name), parent, 0) {}

TComboBox::TComboBox(TComponent* owner, std::string name, TWinControl& parent, DWORD extraStyle)
    : TControl(owner, std::move(name), &parent) {
    color_ = clWindow;
    height_ = 22;
    CreateHandle(L"ComboBox", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | extraStyle, 0, parent.Handle());
    PlaceWindow();
}

void TComboBox::PlaceWindow() {
    if (hwnd_)
        SetWindowPos(hwnd_, nullptr, left_, top_, width_, height_ + kDropDownHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

int32_t TComboBox::ItemCount() const { return static_cast<int32_t>(SendMessageW(hwnd_, CB_GETCOUNT, 0, 0)); }

void TComboBox::AddItem(const std::wstring& text, LPARAM data) {
    LRESULT index = SendMessageW(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (index >= 0) SendMessageW(hwnd_, CB_SETITEMDATA, static_cast<WPARAM>(index), data);
}

void TComboBox::ClearItems() { SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0); }

int32_t TComboBox::ItemIndex() const { return static_cast<int32_t>(SendMessageW(hwnd_, CB_GETCURSEL, 0, 0)); }

void TComboBox::SetItemIndex(int32_t index) { SendMessageW(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(index), 0); }

void TComboBox::Change() {
    if (OnChange) OnChange(this);
}

void TComboBox::CommandNotify(WORD code) {
    if (code == CBN_SELCHANGE) Change();
}
