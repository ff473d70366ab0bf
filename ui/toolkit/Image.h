// An image: an area that shows an icon (not owned) on its colour, centred or at the top left,
// optionally sized to the icon. Its own window class, so that the only "Static" windows of a form
// are its labels.
#pragma once

#include "ui/toolkit/Control.h"

class TImage : public TControl {
public:
    TImage(TComponent* owner, std::string name, TWinControl& parent);

    void SetIcon(HICON icon);  // the caller keeps the icon alive
    HICON Icon() const { return icon_; }
    void SetCenter(bool center);
    void SetAutoSize(bool autoSize);

protected:
    void Dispatch(TMessage& message) override;

private:
    HICON icon_ = nullptr;
    bool center_ = false;
    bool autoSize_ = false;
};
