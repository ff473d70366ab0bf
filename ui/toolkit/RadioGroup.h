// A radio group: a group box with one radio button per item. ItemIndex -1 is no selection.
// Setting ItemIndex clamps to -1 .. Items-1 and, when it selects a different item, fires OnClick,
// as the user's choice of another item does.
#pragma once

#include <vector>

#include "ui/toolkit/GroupBox.h"

class TRadioGroup : public TGroupBox {
public:
    TRadioGroup(TComponent* owner, std::string name, TWinControl& parent);

    const std::vector<std::wstring>& Items() const { return items_; }
    void SetItems(std::vector<std::wstring> items);  // selection becomes -1
    int32_t ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int32_t index);

    void SetFont(const TFont& font) override;  // the item buttons follow the group's font

    TNotifyEvent OnClick;

protected:
    void Dispatch(TMessage& message) override;
    void Resized() override;

private:
    void LayOutButtons();
    std::vector<std::wstring> items_;
    std::vector<HWND> buttons_;
    int32_t itemIndex_ = -1;
};
