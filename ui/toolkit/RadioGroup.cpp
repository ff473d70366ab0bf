// The item buttons are plain windows inside the group box, not components: the group's
// ItemIndex is the one state the settings store keeps.
#include "ui/toolkit/RadioGroup.h"

#include <algorithm>

TRadioGroup::TRadioGroup(TComponent* owner, std::string name, TWinControl& parent)
    : TGroupBox(owner, std::move(name), parent) {}

void TRadioGroup::SetItems(std::vector<std::wstring> items) {
    for (HWND button : buttons_)
        DestroyWindow(button);
    buttons_.clear();
    items_ = std::move(items);
    itemIndex_ = -1;
    for (size_t i = 0; i < items_.size(); ++i) {
        DWORD style = WS_CHILD | WS_VISIBLE | BS_RADIOBUTTON | (i == 0 ? WS_TABSTOP | WS_GROUP : 0);
        HWND button = CreateWindowExW(0, L"Button", items_[i].c_str(), style, 0, 0, 0, 0, hwnd_,
                                      reinterpret_cast<HMENU>(i + 1), nullptr, nullptr);
        SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), FALSE);
        buttons_.push_back(button);
    }
    LayOutButtons();
}

// The buttons use the group's font handle, which the group's old font deletes when it goes: hand
// them the new one before the old one is let go, so that none ever holds a deleted font.
void TRadioGroup::SetFont(const TFont& font) {
    const TFont outgoing = font_;
    TGroupBox::SetFont(font);
    for (HWND button : buttons_)
        SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), TRUE);
}

void TRadioGroup::SetItemIndex(int32_t index) {
    index = std::clamp<int32_t>(index, -1, static_cast<int32_t>(items_.size()) - 1);
    if (index == itemIndex_)
        return;
    if (itemIndex_ >= 0)
        SendMessageW(buttons_[static_cast<size_t>(itemIndex_)], BM_SETCHECK, BST_UNCHECKED, 0);
    itemIndex_ = index;
    if (itemIndex_ < 0)
        return;
    SendMessageW(buttons_[static_cast<size_t>(itemIndex_)], BM_SETCHECK, BST_CHECKED, 0);
    if (OnClick)
        OnClick(this);
}

void TRadioGroup::LayOutButtons() {
    if (buttons_.empty())
        return;
    // Below the caption, the items share the height evenly.
    const int32_t top = 16;
    const int32_t rowHeight = std::max<int32_t>(1, (height_ - top - 4) / static_cast<int32_t>(buttons_.size()));
    for (size_t i = 0; i < buttons_.size(); ++i)
        MoveWindow(buttons_[i], 8, top + static_cast<int32_t>(i) * rowHeight, std::max<int32_t>(0, width_ - 16),
                   std::min<int32_t>(rowHeight, 20), TRUE);
}

void TRadioGroup::Resized() {
    LayOutButtons();
}

void TRadioGroup::Dispatch(TMessage& m) {
    if (m.Msg == WM_COMMAND && HIWORD(m.WParam) == BN_CLICKED) {
        auto it = std::find(buttons_.begin(), buttons_.end(), reinterpret_cast<HWND>(m.LParam));
        if (it != buttons_.end()) {
            SetItemIndex(static_cast<int32_t>(it - buttons_.begin()));
            return;
        }
    }
    TGroupBox::Dispatch(m);
}
