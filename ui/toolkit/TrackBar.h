// A track bar (range 0..10); a new Position, from code or the user, fires OnChange.
#pragma once

#include "ui/toolkit/Control.h"

class TTrackBar : public TControl {
public:
    TTrackBar(TComponent* owner, std::string name, TWinControl& parent);
    int32_t Position() const { return position_; }
    void SetPosition(int32_t position);
    TNotifyEvent OnChange;
    void ScrollNotify() override;

private:
    int32_t position_ = 0;
};
