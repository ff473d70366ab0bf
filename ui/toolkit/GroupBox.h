// A group box: a captioned frame that holds child controls.
#pragma once

#include "ui/toolkit/Control.h"

class TGroupBox : public TWinControl {
public:
    TGroupBox(TComponent* owner, std::string name, TWinControl& parent);
};
