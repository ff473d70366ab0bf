// A panel: a coloured area that holds child controls, with an optional bevel, a centred caption
// and a click event.
#pragma once

#include "ui/toolkit/Control.h"

enum TBevelCut { bvNone, bvLowered, bvRaised };

class TPanel : public TWinControl {
public:
    TPanel(TComponent* owner, std::string name, TWinControl& parent);

    TBevelCut BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevelCut bevel);
    void SetCaption(const std::wstring& caption) override;
    void SetFont(const TFont& font) override;
    void SetColor(TColor color) override;

    TNotifyEvent OnClick;

protected:
    void Dispatch(TMessage& message) override;

private:
    void Paint();
    TBevelCut bevelOuter_ = bvRaised;
    bool pressed_ = false;
};
