// Popup menus and their items. Items are components of the form (so the settings store walks
// them) and belong to a popup menu or, as a submenu, to another item. An item whose caption is
// "-" is a separator. Choosing an item runs its OnClick.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/toolkit/Component.h"

struct MenuDeleter {
    void operator()(HMENU m) const { DestroyMenu(m); }
};
using UniqueMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter>;

class TPopupMenu;

class TMenuItem : public TComponent {
public:
    TMenuItem(TComponent* owner, std::string name, TPopupMenu& menu);
    TMenuItem(TComponent* owner, std::string name, TMenuItem& parentItem);
    ~TMenuItem() override;

    const std::wstring& Caption() const { return caption_; }
    void SetCaption(const std::wstring& caption);
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);  // the mark only: no event
    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    TMenuItem* Item(int32_t index) const { return items_.at(static_cast<size_t>(index)); }

    void Click();  // as if the user had chosen it
    TNotifyEvent OnClick;

private:
    friend class TPopupMenu;
    HMENU Submenu();      // made when the first child item arrives
    void Update() const;  // writes caption, separator and mark into the native menu
    TMenuItem* Find(UINT command);

    HMENU menu_;  // the native menu this item is in (owned by the popup or the parent item)
    UINT command_;
    std::vector<TMenuItem*>* siblings_;  // the list this item is in
    std::wstring caption_;
    bool checked_ = false;
    UniqueMenu submenu_;
    std::vector<TMenuItem*> items_;  // not owned
};

class TPopupMenu : public TComponent {
public:
    TPopupMenu(TComponent* owner, std::string name);

    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    TMenuItem* Item(int32_t index) const { return items_.at(static_cast<size_t>(index)); }
    HMENU Handle() const { return menu_.get(); }

    // Opens the menu at a screen position for the given window and runs the chosen item's
    // OnClick after the menu has closed.
    void Popup(int32_t x, int32_t y, HWND window);

private:
    friend class TMenuItem;
    UniqueMenu menu_;
    std::vector<TMenuItem*> items_;  // not owned
};
