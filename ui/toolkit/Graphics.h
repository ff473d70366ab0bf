// Colours of the widget layer: the platform's 32-bit colour codes, where a code with the top bit
// set names a system colour (its low byte is the COLOR_ index) and is negative when read as a
// signed integer, which is how the settings file stores it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

using TColor = COLORREF;

constexpr TColor kSystemColorFlag = 0x80000000u;
constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080, clNavy = 0x800000,
                 clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080, clSilver = 0xC0C0C0, clRed = 0x0000FF,
                 clLime = 0x00FF00, clYellow = 0x00FFFF, clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00,
                 clWhite = 0xFFFFFF;
constexpr TColor clMoneyGreen = 0xC0DCC0, clSkyBlue = 0xF0CAA6, clCream = 0xF0FBFF, clMedGray = 0xA4A0A0;
constexpr TColor clBtnFace = kSystemColorFlag | COLOR_BTNFACE;
constexpr TColor clWindow = kSystemColorFlag | COLOR_WINDOW;
constexpr TColor clWindowText = kSystemColorFlag | COLOR_WINDOWTEXT;

// The RGB value a colour code stands for now (system colours are looked up).
COLORREF ColorToRGB(TColor color);

struct BrushDeleter {
    void operator()(HBRUSH b) const { DeleteObject(b); }
};
using UniqueBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, BrushDeleter>;

// A solid brush for a colour code (system colours give the system's own brush, never deleted).
class TBrushCache {
public:
    HBRUSH Get(TColor color);

private:
    TColor color_ = 0;
    bool valid_ = false;
    UniqueBrush own_;
    HBRUSH brush_ = nullptr;
};
