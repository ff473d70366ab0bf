// A paged container; only the page index is kept (no form of ours shows pages yet).
#pragma once

#include "ui/toolkit/Control.h"

class TNotebook : public TWinControl {
public:
    TNotebook(TComponent* owner, std::string name, TWinControl& parent);
    int32_t PageIndex() const { return pageIndex_; }
    void SetPageIndex(int32_t index) { pageIndex_ = index; }

private:
    int32_t pageIndex_ = 0;
};
