// A font as a value: name, height (pixels, negative = character height) or size (points), style,
// colour and character set. Controls keep a copy and ask it for an HFONT, which is made on first
// use and shared between copies until one of them changes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "ui/toolkit/Graphics.h"

enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint8_t;  // an OR of TFontStyle flags

class TFont {
public:
    TFont();  // 宋体 at 12 pixels (height -12), no style, window-text colour, default charset

    const std::wstring& Name() const { return name_; }
    void SetName(std::wstring name);  // cut to 31 characters, the platform's face-name limit
    int32_t Height() const { return height_; }
    void SetHeight(int32_t height);
    // Points at the screen's pixels per inch: Size = -Height * 72 / ppi, rounded (96 ppi: -16 <-> 12).
    int32_t Size() const;
    void SetSize(int32_t points);
    TFontStyles Style() const { return style_; }
    void SetStyle(TFontStyles style);
    TColor Color() const { return color_; }
    void SetColor(TColor color) { color_ = color; }  // drawing colour only: the HFONT is kept
    uint8_t Charset() const { return charset_; }
    void SetCharset(uint8_t charset);

    HFONT Handle() const;  // made on first use; valid while this value or a copy lives unchanged
    LOGFONTW ToLogFont() const;
    void AssignLogFont(const LOGFONTW& logFont);  // everything but the colour

    bool operator==(const TFont& other) const;

private:
    void Changed() { handle_.reset(); }

    std::wstring name_;
    int32_t height_;
    TFontStyles style_ = 0;
    TColor color_;
    uint8_t charset_ = DEFAULT_CHARSET;
    mutable std::shared_ptr<std::remove_pointer_t<HFONT>> handle_;
};

// The screen's logical pixels per inch (96 here), read once.
int32_t ScreenPixelsPerInch();
