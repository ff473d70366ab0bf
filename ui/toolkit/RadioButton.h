// A radio button. Setting Checked to true when it was false fires OnClick; so does the user's
// click on an unchecked button.
#pragma once

#include "ui/toolkit/Control.h"

class TRadioButton : public TControl {
public:
    TRadioButton(TComponent* owner, std::string name, TWinControl& parent);
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    TNotifyEvent OnClick;
    void CommandNotify(WORD code) override;

private:
    bool checked_ = false;
};
