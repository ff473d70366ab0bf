// A single-line edit box; its text is the caption.
#pragma once

#include "ui/toolkit/Control.h"

class TEdit : public TControl {
public:
    TEdit(TComponent* owner, std::string name, TWinControl& parent);
    std::wstring Text() const { return Caption(); }
    void SetText(const std::wstring& text) { SetCaption(text); }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);
    HBRUSH CtlColor(HDC dc) override;

private:
    bool readOnly_ = false;
};
