// A drop-down list. Setting ItemIndex from code is silent; the user's choice fires OnChange.
#pragma once

#include <vector>

#include "ui/toolkit/Control.h"

class TComboBox : public TControl {
public:
    TComboBox(TComponent* owner, std::string name, TWinControl& parent);

    int32_t ItemCount() const;
    void AddItem(const std::wstring& text, LPARAM data = 0);
    void ClearItems();
    int32_t ItemIndex() const;
    void SetItemIndex(int32_t index);

    TNotifyEvent OnChange;
    void CommandNotify(WORD code) override;

protected:
    // For owner-drawn kinds: extra style bits.
    TComboBox(TComponent* owner, std::string name, TWinControl& parent, DWORD extraStyle);
    virtual void Change();        // the user picked an item
    void PlaceWindow() override;  // the window's height includes the dropped-down list
};
