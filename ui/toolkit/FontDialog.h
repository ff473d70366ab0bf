// The platform's font picker, without its colour and effects part: Execute shows it modally with
// Font as the starting choice and, unless cancelled, leaves the choice in Font.
#pragma once

#include "ui/toolkit/Component.h"
#include "ui/toolkit/Font.h"

class TFontDialog : public TComponent {
public:
    TFontDialog(TComponent* owner, std::string name);
    const TFont& Font() const { return font_; }
    void SetFont(const TFont& font) { font_ = font; }
    bool Execute(HWND ownerWindow = nullptr);  // false when cancelled

private:
    TFont font_;
};
