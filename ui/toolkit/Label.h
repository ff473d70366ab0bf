// A label: a "Static" window showing one line of text in its own font and font colour, on its
// own colour or transparent on its parent's. Autosized to its text unless aligned. Link style
// draws it blue and underlined with the hand cursor; OnClick fires on a click.
#pragma once

#include "ui/toolkit/Control.h"

class TLabel : public TControl {
public:
    TLabel(TComponent* owner, std::string name, TWinControl& parent);

    void SetCaption(const std::wstring& caption) override;
    void SetFont(const TFont& font) override;
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool transparent);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);
    void SetLinkStyle(bool link);  // blue, underlined, hand cursor

    TNotifyEvent OnClick;

    void CommandNotify(WORD code) override;
    HBRUSH CtlColor(HDC dc) override;

protected:
    void Dispatch(TMessage& message) override;

private:
    void FitText();
    bool transparent_ = false;
    bool autoSize_ = true;
    bool link_ = false;
};
