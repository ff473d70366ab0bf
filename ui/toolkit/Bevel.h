// A bevel: a sunken frame or a horizontal line, drawn only.
#pragma once

#include "ui/toolkit/Control.h"

enum TBevelShape { bsBox, bsTopLine };

class TBevel : public TControl {
public:
    TBevel(TComponent* owner, std::string name, TWinControl& parent);
    TBevelShape Shape() const { return shape_; }
    void SetShape(TBevelShape shape);

protected:
    void Dispatch(TMessage& message) override;

private:
    TBevelShape shape_ = bsBox;
};
