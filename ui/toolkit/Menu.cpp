// Menu items keep their native item in step with their properties. Every item has a command
// identifier unique in the process; the popup returns the chosen one and we run its OnClick.
#include "ui/toolkit/Menu.h"

#include <algorithm>

namespace {
UINT nextCommand = 1;
}  // namespace

TMenuItem::TMenuItem(TComponent* owner, std::string name, TPopupMenu& menu)
    : TComponent(owner, std::move(name)), menu_(menu.Handle()), command_(nextCommand++), siblings_(&menu.items_) {
    siblings_->push_back(this);
    AppendMenuW(menu_, MF_STRING, command_, L"");
}

TMenuItem::TMenuItem(TComponent* owner, std::string name, TMenuItem& parentItem)
    : TComponent(owner, std::move(name)),
      menu_(parentItem.Submenu()),
      command_(nextCommand++),
      siblings_(&parentItem.items_) {
    siblings_->push_back(this);
    AppendMenuW(menu_, MF_STRING, command_, L"");
}

TMenuItem::~TMenuItem() {
    siblings_->erase(std::remove(siblings_->begin(), siblings_->end(), this), siblings_->end());
    // Detach first: the submenu is ours to destroy, not the parent menu's.
    RemoveMenu(menu_, command_, MF_BYCOMMAND);
}

HMENU TMenuItem::Submenu() {
    if (!submenu_) {
        submenu_.reset(CreatePopupMenu());
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_SUBMENU;
        info.hSubMenu = submenu_.get();
        SetMenuItemInfoW(menu_, command_, FALSE, &info);
    }
    return submenu_.get();
}

void TMenuItem::SetCaption(const std::wstring& caption) {
    caption_ = caption;
    Update();
}

void TMenuItem::SetChecked(bool checked) {
    checked_ = checked;
    Update();
}

void TMenuItem::Update() const {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE;
    info.fState = checked_ ? MFS_CHECKED : MFS_UNCHECKED;
    if (caption_ == L"-") {
        info.fType = MFT_SEPARATOR;
    } else {
        info.fMask |= MIIM_STRING;
        info.fType = MFT_STRING;
        info.dwTypeData = const_cast<wchar_t*>(caption_.c_str());
    }
    SetMenuItemInfoW(menu_, command_, FALSE, &info);
}

void TMenuItem::Click() {
    if (OnClick) OnClick(this);
}

TMenuItem* TMenuItem::Find(UINT command) {
    if (command == command_) return this;
    for (TMenuItem* item : items_)
        if (TMenuItem* found = item->Find(command)) return found;
    return nullptr;
}

TPopupMenu::TPopupMenu(TComponent* owner, std::string name)
    : TComponent(owner, std::move(name)), menu_(CreatePopupMenu()) {}

void TPopupMenu::Popup(int32_t x, int32_t y, HWND window) {
    // The menu closes on a click elsewhere only while its window's top level is in front.
    SetForegroundWindow(GetAncestor(window, GA_ROOT));
    UINT command = static_cast<UINT>(
        TrackPopupMenu(menu_.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN, x, y, 0, window, nullptr));
    if (!command) return;
    for (TMenuItem* item : items_) {
        if (TMenuItem* found = item->Find(command)) {
            found->Click();
            return;
        }
    }
}
