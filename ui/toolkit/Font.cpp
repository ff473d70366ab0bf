#include "ui/toolkit/Font.h"

#include <cwchar>

int32_t ScreenPixelsPerInch() {
    static const int32_t ppi = [] {
        HDC dc = GetDC(nullptr);
        int32_t value = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
        if (dc) ReleaseDC(nullptr, dc);
        return value > 0 ? value : 96;
    }();
    return ppi;
}

TFont::TFont() : name_(L"宋体"), height_(-12), color_(clWindowText) {}

void TFont::SetName(std::wstring name) {
    if (name.size() > LF_FACESIZE - 1) name.resize(LF_FACESIZE - 1);
    if (name == name_) return;
    name_ = std::move(name);
    Changed();
}

void TFont::SetHeight(int32_t height) {
    if (height == height_) return;
    height_ = height;
    Changed();
}

// MulDiv rounds half away from zero, which keeps size and height the pair the user expects
// (12 points <-> -16 pixels at 96 ppi).
int32_t TFont::Size() const { return -MulDiv(height_, 72, ScreenPixelsPerInch()); }

void TFont::SetSize(int32_t points) { SetHeight(-MulDiv(points, ScreenPixelsPerInch(), 72)); }

void TFont::SetStyle(TFontStyles style) {
    if (style == style_) return;
    style_ = style;
    Changed();
}

void TFont::SetCharset(uint8_t charset) {
    if (charset == charset_) return;
    charset_ = charset;
    Changed();
}

LOGFONTW TFont::ToLogFont() const {
    LOGFONTW lf{};
    lf.lfHeight = height_;
    lf.lfWeight = (style_ & fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (style_ & fsItalic) ? TRUE : FALSE;
    lf.lfUnderline = (style_ & fsUnderline) ? TRUE : FALSE;
    lf.lfStrikeOut = (style_ & fsStrikeOut) ? TRUE : FALSE;
    lf.lfCharSet = charset_;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH;
    wcsncpy(lf.lfFaceName, name_.c_str(), LF_FACESIZE - 1);
    return lf;
}

void TFont::AssignLogFont(const LOGFONTW& lf) {
    SetName(lf.lfFaceName);
    SetHeight(lf.lfHeight);
    TFontStyles style = 0;
    if (lf.lfWeight >= FW_BOLD) style |= fsBold;
    if (lf.lfItalic) style |= fsItalic;
    if (lf.lfUnderline) style |= fsUnderline;
    if (lf.lfStrikeOut) style |= fsStrikeOut;
    SetStyle(style);
    SetCharset(lf.lfCharSet);
}

HFONT TFont::Handle() const {
    if (!handle_) {
        LOGFONTW lf = ToLogFont();
        handle_.reset(CreateFontIndirectW(&lf), [](HFONT f) {
            if (f) DeleteObject(f);
        });
    }
    return handle_.get();
}

bool TFont::operator==(const TFont& other) const {
    return name_ == other.name_ && height_ == other.height_ && style_ == other.style_ && color_ == other.color_ &&
           charset_ == other.charset_;
}
