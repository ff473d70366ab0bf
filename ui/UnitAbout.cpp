// The about dialog. Its three link labels open their addresses through the shell and leave the
// dialog open; the close button ends the modal showing.
#include "ui/UnitAbout.h"

#include <shellapi.h>

#include <cmath>
#include <cstdint>

std::unique_ptr<TFormAbout> FormAbout;

namespace {

constexpr wchar_t kAuthorAddress[] = L"https://example.org/patch-author";
constexpr wchar_t kFirstSiteAddress[] = L"https://example.org/minidisc";
constexpr wchar_t kSecondSiteAddress[] = L"https://example.com/atrac";

struct BitmapDeleter {
    void operator()(HBITMAP b) const { DeleteObject(b); }
};
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, BitmapDeleter>;

TFont FontOf(const wchar_t* name, int32_t height, TFontStyles style) {
    TFont font;
    font.SetName(name);
    font.SetHeight(height);
    font.SetStyle(style);
    return font;
}

}  // namespace

HICON MakeAboutIcon() {
    // A disc shaded from deep blue to teal with two light rings, on a transparent corner area.
    constexpr int kSize = 32;
    constexpr int kStride = kSize * 3;  // 96 bytes: already a multiple of four
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kSize;
    info.bmiHeader.biHeight = -kSize;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueBitmap color(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!color || !bits) {
        return nullptr;
    }
    uint8_t mask[kSize * kSize / 8] = {};  // 1 = transparent; rows of 4 bytes are word-aligned
    auto* pixels = static_cast<uint8_t*>(bits);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const double r = std::hypot(x - 15.5, y - 15.5);
            uint8_t* px = pixels + y * kStride + x * 3;  // blue, green, red
            if (r > 15.5) {
                px[0] = px[1] = px[2] = 0;
                mask[y * 4 + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
                continue;
            }
            const bool ring = std::fabs(r - 6.0) < 1.0 || std::fabs(r - 11.5) < 1.0;
            px[0] = ring ? 0xF0 : static_cast<uint8_t>(0x90 + y * 3);
            px[1] = ring ? 0xF0 : static_cast<uint8_t>(0x30 + y * 4);
            px[2] = ring ? 0xE0 : 0x20;
        }
    }
    UniqueBitmap monochrome(CreateBitmap(kSize, kSize, 1, 1, mask));
    ICONINFO icon = {TRUE, 0, 0, monochrome.get(), color.get()};
    return CreateIconIndirect(&icon);  // copies both bitmaps
}

TFormAbout::TFormAbout()
    : TForm("FormAbout"),
      Label1(Add<TLabel>("Label1", *this)),
      Label2(Add<TLabel>("Label2", *this)),
      Image2(Add<TImage>("Image2", *this)),
      Label3(Add<TLabel>("Label3", *this)),
      Label4(Add<TLabel>("Label4", *this)),
      Label5(Add<TLabel>("Label5", *this)),
      Label6(Add<TLabel>("Label6", *this)),
      Label7(Add<TLabel>("Label7", *this)),
      Bevel1(Add<TBevel>("Bevel1", *this)),
      Bevel2(Add<TBevel>("Bevel2", *this)),
      Bevel3(Add<TBevel>("Bevel3", *this)),
      Bevel4(Add<TBevel>("Bevel4", *this)),
      Button1(Add<TButton>("Button1", *this)) {
    SetCaption(L"关于 :o");
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    SetClientWidth(210);
    SetClientHeight(226);

    const auto place = [](TControl& control, int32_t left, int32_t top, const std::wstring& caption) {
        control.SetLeft(left);
        control.SetTop(top);
        control.SetCaption(caption);
    };
    Label1.SetFont(FontOf(L"Arial", -16, fsBold));
    place(Label1, 8, 8, L"ATRAC3 插件");
    place(Label2, 8, 32, L"版本 1.0");
    icon_ = MakeAboutIcon();
    Image2.SetAutoSize(true);
    Image2.SetBounds(136, 8, 32, 32);
    Image2.SetIcon(icon_);
    place(Label3, 8, 48, L"引擎源自一个开源播放库 v1.1");
    place(Label4, 8, 112, L"MiniDisc 链接:");

    const TFont linkFont = FontOf(L"宋体", -13, 0);
    for (TLabel* link : {&Label5, &Label6, &Label7}) {
        link->SetFont(linkFont);
        link->SetTransparent(true);
        link->SetLinkStyle(true);
    }
    place(Label5, 10, 91, L"补丁作者: Kelvane");
    place(Label6, 10, 131, L"MiniDisc 社区");
    place(Label7, 10, 156, L"ATRAC 资料");

    Bevel1.SetBounds(8, 90, 121, 17);
    Bevel2.SetBounds(8, 130, 121, 17);
    Bevel3.SetBounds(8, 155, 121, 17);
    Bevel4.SetShape(bsTopLine);
    Bevel4.SetBounds(8, 184, 164, 2);
    Button1.SetBounds(92, 192, 75, 25);
    Button1.SetCaption(L"关闭(&C)");

    OpenAddress = [](const std::wstring& address) {
        (void)ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    };
    Button1.OnClick = [this](TComponent* sender) { Button1Click(sender); };
    Label5.OnClick = [this](TComponent* sender) { Label5Click(sender); };
    Label6.OnClick = [this](TComponent* sender) { Label6Click(sender); };
    Label7.OnClick = [this](TComponent* sender) { Label7Click(sender); };
    DoCreate();
}

TFormAbout::~TFormAbout() {
    Image2.SetIcon(nullptr);
    if (icon_) {
        DestroyIcon(icon_);
    }
}

void TFormAbout::Button1Click(TComponent* /*Sender*/) {
    Close();
}

void TFormAbout::Label5Click(TComponent* /*Sender*/) {
    OpenAddress(kAuthorAddress);
}

void TFormAbout::Label6Click(TComponent* /*Sender*/) {
    OpenAddress(kFirstSiteAddress);
}

void TFormAbout::Label7Click(TComponent* /*Sender*/) {
    OpenAddress(kSecondSiteAddress);
}
