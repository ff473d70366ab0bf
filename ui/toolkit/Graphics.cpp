#include "ui/toolkit/Graphics.h"

COLORREF ColorToRGB(TColor color) {
    if (color & kSystemColorFlag) return GetSysColor(static_cast<int>(color & 0xFF));
    return color & 0xFFFFFF;
}

HBRUSH TBrushCache::Get(TColor color) {
    if (valid_ && color == color_) return brush_;
    if (color & kSystemColorFlag) {
        own_.reset();
        brush_ = GetSysColorBrush(static_cast<int>(color & 0xFF));
    } else {
        own_.reset(CreateSolidBrush(color & 0xFFFFFF));
        brush_ = own_.get();
    }
    color_ = color;
    valid_ = true;
    return brush_;
}
