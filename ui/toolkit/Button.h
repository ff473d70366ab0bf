// A push button.
#pragma once

#include "ui/toolkit/Control.h"

class TButton : public TControl {
public:
    TButton(TComponent* owner, std::string name, TWinControl& parent);
    void Click();  // as if the user had pressed it
    TNotifyEvent OnClick;
    void CommandNotify(WORD code) override;
};
