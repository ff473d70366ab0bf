// The colour list draws each entry as a swatch and its name. Each entry's colour code is its item
// data; the custom entry (first) carries whatever colour was last given to it.
#include "ui/toolkit/ColorBox.h"

#include <commdlg.h>

namespace {

struct NamedColor {
    TColor color;
    const wchar_t* name;
};

constexpr TColor Sys(int index) { return kSystemColorFlag | static_cast<TColor>(index); }

// One row per group reads better than one line per colour.
// clang-format off
constexpr NamedColor kColors[] = {
    // standard
    {clBlack, L"黑色"}, {clMaroon, L"栗色"}, {clGreen, L"绿色"}, {clOlive, L"橄榄色"}, {clNavy, L"深蓝色"},
    {clPurple, L"紫色"}, {clTeal, L"蓝绿色"}, {clGray, L"灰色"}, {clSilver, L"银色"}, {clRed, L"红色"},
    {clLime, L"酸橙色"}, {clYellow, L"黄色"}, {clBlue, L"蓝色"}, {clFuchsia, L"紫红色"}, {clAqua, L"浅绿色"},
    {clWhite, L"白色"},
    // extended
    {clMoneyGreen, L"淡绿色"}, {clSkyBlue, L"天蓝色"}, {clCream, L"乳白色"}, {clMedGray, L"中灰色"},
    // system
    {Sys(COLOR_SCROLLBAR), L"滚动条"}, {Sys(COLOR_BACKGROUND), L"桌面"}, {Sys(COLOR_ACTIVECAPTION), L"活动标题"},
    {Sys(COLOR_INACTIVECAPTION), L"非活动标题"}, {Sys(COLOR_MENU), L"菜单"}, {Sys(COLOR_WINDOW), L"窗口"},
    {Sys(COLOR_WINDOWFRAME), L"窗口边框"}, {Sys(COLOR_MENUTEXT), L"菜单文字"}, {Sys(COLOR_WINDOWTEXT), L"窗口文字"},
    {Sys(COLOR_CAPTIONTEXT), L"标题文字"}, {Sys(COLOR_ACTIVEBORDER), L"活动边框"},
    {Sys(COLOR_INACTIVEBORDER), L"非活动边框"}, {Sys(COLOR_APPWORKSPACE), L"应用程序工作区"},
    {Sys(COLOR_HIGHLIGHT), L"突出显示"}, {Sys(COLOR_HIGHLIGHTTEXT), L"突出显示文字"},
    {Sys(COLOR_BTNFACE), L"按钮表面"}, {Sys(COLOR_BTNSHADOW), L"按钮阴影"}, {Sys(COLOR_GRAYTEXT), L"灰色文字"},
    {Sys(COLOR_BTNTEXT), L"按钮文字"}, {Sys(COLOR_INACTIVECAPTIONTEXT), L"非活动标题文字"},
    {Sys(COLOR_BTNHIGHLIGHT), L"按钮高光"}, {Sys(COLOR_3DDKSHADOW), L"三维深阴影"}, {Sys(COLOR_3DLIGHT), L"三维亮色"},
    {Sys(COLOR_INFOTEXT), L"提示文字"}, {Sys(COLOR_INFOBK), L"提示背景"}, {Sys(COLOR_HOTLIGHT), L"热跟踪"},
    {Sys(COLOR_GRADIENTACTIVECAPTION), L"渐变活动标题"}, {Sys(COLOR_GRADIENTINACTIVECAPTION), L"渐变非活动标题"},
    {Sys(COLOR_MENUHILIGHT), L"菜单突出显示"}, {Sys(COLOR_MENUBAR), L"菜单栏"},
};
// clang-format on

}  // namespace

TColorBox::TColorBox(TComponent* owner, std::string name, TWinControl& parent)
    : TComboBox(owner, std::move(name), parent, CBS_OWNERDRAWFIXED | CBS_HASSTRINGS) {
    // The list asked for its item height while it was being made, before this kind existed.
    SendMessageW(hwnd_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), 16);
    SendMessageW(hwnd_, CB_SETITEMHEIGHT, 0, 16);
    AddItem(L"自定义...", static_cast<LPARAM>(clBlack));
    for (const NamedColor& entry : kColors) AddItem(entry.name, static_cast<LPARAM>(entry.color));
}

TColor TColorBox::ItemColor(int32_t index) const {
    return static_cast<TColor>(SendMessageW(hwnd_, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

TColor TColorBox::Selected() const {
    int32_t index = ItemIndex();
    return index < 0 ? clBlack : ItemColor(index);
}

void TColorBox::SetSelected(TColor color) {
    for (int32_t i = 1; i < ItemCount(); ++i) {
        if (ItemColor(i) == color) {
            SetItemIndex(i);
            return;
        }
    }
    SendMessageW(hwnd_, CB_SETITEMDATA, 0, static_cast<LPARAM>(color));
    SetItemIndex(0);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void TColorBox::Change() {
    // Picking the custom entry asks for its colour; cancelling keeps the one it had.
    if (ItemIndex() == 0) {
        static COLORREF custom[16] = {};
        CHOOSECOLORW cc{};
        cc.lStructSize = sizeof cc;
        cc.hwndOwner = GetAncestor(hwnd_, GA_ROOT);
        cc.rgbResult = ColorToRGB(ItemColor(0));
        cc.lpCustColors = custom;
        cc.Flags = CC_RGBINIT | CC_FULLOPEN;
        if (ChooseColorW(&cc)) SendMessageW(hwnd_, CB_SETITEMDATA, 0, static_cast<LPARAM>(cc.rgbResult));
    }
    TComboBox::Change();
}

bool TColorBox::MeasureItem(MEASUREITEMSTRUCT& item) {
    item.itemHeight = 16;
    return true;
}

bool TColorBox::DrawItem(const DRAWITEMSTRUCT& item) {
    if (item.itemID == static_cast<UINT>(-1)) return true;
    HDC dc = item.hDC;
    RECT rc = item.rcItem;
    bool selected = (item.itemState & ODS_SELECTED) != 0;
    FillRect(dc, &rc, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    RECT swatch{rc.left + 2, rc.top + 2, rc.left + 26, rc.bottom - 2};
    HBRUSH brush = CreateSolidBrush(ColorToRGB(ItemColor(static_cast<int32_t>(item.itemID))));
    FillRect(dc, &swatch, brush);
    DeleteObject(brush);
    FrameRect(dc, &swatch, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    wchar_t name[64] = {};
    if (SendMessageW(hwnd_, CB_GETLBTEXTLEN, item.itemID, 0) < 64)
        SendMessageW(hwnd_, CB_GETLBTEXT, item.itemID, reinterpret_cast<LPARAM>(name));
    RECT text{swatch.right + 4, rc.top, rc.right, rc.bottom};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    DrawTextW(dc, name, -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &rc);
    return true;
}
