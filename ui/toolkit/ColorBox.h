// A colour list: an owner-drawn drop-down of colour swatches with readable names: a custom-colour
// entry first, then the standard, extended and system colours. Selecting a colour that the list
// does not hold makes it the custom entry's colour. Picking the custom entry lets the user choose
// its colour in the platform's colour dialog.
#pragma once

#include "ui/toolkit/ComboBox.h"

class TColorBox : public TComboBox {
public:
    TColorBox(TComponent* owner, std::string name, TWinControl& parent);

    TColor Selected() const;  // black when nothing is selected
    void SetSelected(TColor color);

    bool DrawItem(const DRAWITEMSTRUCT& item) override;
    bool MeasureItem(MEASUREITEMSTRUCT& item) override;

protected:
    void Change() override;

private:
    TColor ItemColor(int32_t index) const;
};
