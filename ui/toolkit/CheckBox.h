// A check box. Setting Checked fires OnClick when, and only when, the state changes; the user's
// click toggles the state the same way.
#pragma once

#include "ui/toolkit/Control.h"

class TCheckBox : public TControl {
public:
    TCheckBox(TComponent* owner, std::string name, TWinControl& parent);
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    TNotifyEvent OnClick;
    void CommandNotify(WORD code) override;

private:
    bool checked_ = false;
};
