#include "ui/UnitOption.h"

#include <windows.h>

#include <string>

#include "base/AnsiText.h"
#include "base/Paths.h"
#include "settings/AmpShell.h"
#include "settings/FontStyleCode.h"
#include "settings/ValueText.h"
#include "ui/UnitForm.h"

std::unique_ptr<TFormOptions> FormOptions;

namespace {

constexpr wchar_t kChangeHint[] = L" (点此更改)";
constexpr int32_t kNoStyleCode = -1;

FontStyleFlags FlagsOf(TFontStyles style) {
    return {(style & fsBold) != 0, (style & fsItalic) != 0, (style & fsUnderline) != 0, (style & fsStrikeOut) != 0};
}

TFontStyles StyleOf(const FontStyleFlags& flags) {
    return static_cast<TFontStyles>((flags.bold ? fsBold : 0) | (flags.italic ? fsItalic : 0) |
                                    (flags.underline ? fsUnderline : 0) | (flags.strikeOut ? fsStrikeOut : 0));
}

void SetFontColor(TControl& control, TColor color) {
    TFont font = control.Font();
    font.SetColor(color);
    control.SetFont(font);
}

void SetFontSize(TControl& control, int32_t points) {
    TFont font = control.Font();
    font.SetSize(points);
    control.SetFont(font);
}

// Tab order is the windows' z-order; the designer's creation order differs from it.
void SetTabOrder(std::initializer_list<TControl*> controls) {
    for (TControl* control : controls) {
        (void)SetWindowPos(control->Handle(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

// The bar's own font, in the dialog's text colour.
TFont PreviewFont() {
    TFont font = TimeBarFont();
    font.SetColor(clWindowText);
    return font;
}

}  // namespace

TFormOptions::TFormOptions()
    : TForm("FormOptions"),
      GroupBox2(Add<TGroupBox>("GroupBox2", *this)),
      CheckBox3(Add<TCheckBox>("CheckBox3", GroupBox2)),
      Label1(Add<TLabel>("Label1", GroupBox2)),
      Panel1(Add<TPanel>("Panel1", GroupBox2)),
      Label2(Add<TLabel>("Label2", GroupBox2)),
      ColorBox1(Add<TColorBox>("ColorBox1", GroupBox2)),
      RadioGroup1(Add<TRadioGroup>("RadioGroup1", *this)),
      Button3(Add<TButton>("Button3", *this)),
      Button2(Add<TButton>("Button2", *this)),
      Button1(Add<TButton>("Button1", *this)),
      FontDialog(Add<TFontDialog>("FontDialog")),
      Timer1(Add<TTimer>("Timer1")) {
    SetCaption(L"选项");
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    SetClientWidth(326);
    SetClientHeight(249);

    GroupBox2.SetBounds(8, 8, 313, 121);
    GroupBox2.SetCaption(L"时间栏");
    CheckBox3.SetBounds(8, 24, 97, 15);
    CheckBox3.SetCaption(L"显示时间栏");
    CheckBox3.SetChecked(true);
    Label1.SetCaption(L"时间字体");  // sized to its text
    Label1.SetBounds(8, 56, Label1.Width(), Label1.Height());
    Panel1.SetBounds(120, 56, 185, 25);
    Panel1.SetBevelOuter(bvLowered);
    Panel1.SetFont(PreviewFont());
    Panel1.SetCaption(std::wstring(L"Arial").append(kChangeHint));
    Label2.SetCaption(L"时间颜色");
    Label2.SetBounds(8, 96, Label2.Width(), Label2.Height());
    ColorBox1.SetBounds(120, 88, 185, 22);
    ColorBox1.SetSelected(clGray);

    RadioGroup1.SetBounds(8, 136, 225, 105);
    RadioGroup1.SetCaption(L"时间格式");
    RadioGroup1.SetItems({L"时间", L"时间和长度", L"剩余时间", L"剩余时间和长度"});
    RadioGroup1.SetItemIndex(0);
    Button3.SetBounds(240, 144, 75, 25);
    Button3.SetCaption(L"载入(&L)");
    Button2.SetBounds(240, 176, 75, 25);
    Button2.SetCaption(L"保存(&S)");
    Button1.SetBounds(240, 208, 75, 25);
    Button1.SetCaption(L"关闭(&C)");
    Timer1.SetInterval(50);
    SetTabOrder({&Button1, &GroupBox2, &Button2, &Button3, &RadioGroup1});
    SetTabOrder({&Panel1, &CheckBox3, &ColorBox1, &Label1, &Label2});

    // Bound after the initial states, which are the resource's and fire nothing.
    CheckBox3.OnClick = [this](TComponent* sender) { CheckBox3Click(sender); };
    Panel1.OnClick = [this](TComponent* sender) { Panel1Click(sender); };
    ColorBox1.OnChange = [this](TComponent* sender) { ColorBox1Change(sender); };
    Button3.OnClick = [this](TComponent* sender) { Button3Click(sender); };
    Button2.OnClick = [this](TComponent* sender) { Button2Click(sender); };
    Button1.OnClick = [this](TComponent* sender) { Button1Click(sender); };
    Timer1.OnTimer = [this](TComponent* sender) { Timer1Timer(sender); };
    OnCreate = [this](TComponent* sender) { FormCreate(sender); };
    DoCreate();
}

void TFormOptions::FormCreate(TComponent* /*Sender*/) {
    AmpShell = std::make_unique<TAmpShell>();
}

// Once per loading of the library, from the player's message loop soon after Init: a first start
// writes the defaults (which the time bar already shows), a later one loads the file.
void TFormOptions::Timer1Timer(TComponent* /*Sender*/) {
    Timer1.SetEnabled(false);
    if (IsPlainFile(SettingsFilePath())) {
        Button3Click(nullptr);
    } else {
        Button2Click(nullptr);
    }
}

// Each step is its own store operation: a refused write ends the save there and keeps what the
// earlier steps wrote.
void TFormOptions::Button2Click(TComponent* /*Sender*/) {
    const TFont& font = Panel1.Font();
    AmpShell->SaveFormState(VideoForm.get());
    AmpShell->WriteBool(CheckBox3.Checked(), "TimeBar");
    AmpShell->WriteString(WideToAnsi(font.Name()), "Font");
    AmpShell->WriteString(std::string(1, FontStyleCode(FlagsOf(font.Style()))), "FontS");
    AmpShell->WriteInteger(static_cast<int32_t>(ColorBox1.Selected()), "Color");
    AmpShell->WriteInteger(font.Size(), "FontSz");
    AmpShell->WriteInteger(RadioGroup1.ItemIndex(), "Time");
}

// Every read takes the option's current value as its default, so a key missing from the file
// leaves that option as it is.
void TFormOptions::Button3Click(TComponent* /*Sender*/) {
    TLabel& timeLabel = VideoForm->Label1;
    AmpShell->LoadFormState(VideoForm.get());

    bool timeBar = CheckBox3.Checked();
    AmpShell->ReadBool(timeBar, "TimeBar");
    CheckBox3.SetChecked(timeBar);  // its handler runs only when this changes the state

    std::string styleText;
    AmpShell->ReadString(styleText, "FontS");  // saved as text, read as an integer
    const int32_t styleCode = ParseIntegerText(styleText, kNoStyleCode);

    std::string name = WideToAnsi(Panel1.Font().Name());
    AmpShell->ReadString(name, "Font");
    TFont font = Panel1.Font();
    if (!name.empty())
        font.SetName(AnsiToWide(name));  // the font keeps 31 characters at most
    Panel1.SetCaption(AnsiToWide(name).append(kChangeHint));
    FontStyleFlags flags = FlagsOf(font.Style());
    if (FontStyleFromCode(styleCode, flags))
        font.SetStyle(StyleOf(flags));
    Panel1.SetFont(font);
    timeLabel.SetFont(Panel1.Font());

    // Black is never applied: 0 is also what an unset colour reads as.
    int32_t color = static_cast<int32_t>(ColorBox1.Selected());
    AmpShell->ReadInteger(color, "Color");
    if (color != 0) {
        ColorBox1.SetSelected(static_cast<TColor>(color));
        SetFontColor(timeLabel, ColorBox1.Selected());
    }

    int32_t size = Panel1.Font().Size();
    AmpShell->ReadInteger(size, "FontSz");
    SetFontSize(Panel1, size);
    SetFontSize(timeLabel, size);

    int32_t format = RadioGroup1.ItemIndex();
    AmpShell->ReadInteger(format, "Time");
    RadioGroup1.SetItemIndex(format < -1 ? -1 : format > 3 ? 3 : format);
}

void TFormOptions::Button1Click(TComponent* /*Sender*/) {
    Close();
}

// The text colour always comes from the colour list, never from the picked font.
void TFormOptions::Panel1Click(TComponent* /*Sender*/) {
    TLabel& timeLabel = VideoForm->Label1;
    FontDialog.SetFont(timeLabel.Font());
    if (!FontDialog.Execute(Handle()))
        return;
    Panel1.SetFont(FontDialog.Font());
    Panel1.SetCaption(std::wstring(FontDialog.Font().Name()).append(kChangeHint));
    timeLabel.SetFont(FontDialog.Font());
    SetFontColor(timeLabel, ColorBox1.Selected());
}

void TFormOptions::CheckBox3Click(TComponent* /*Sender*/) {
    TPanel& timeBar = VideoForm->TmPanel;
    timeBar.SetVisible(CheckBox3.Checked());
    timeBar.SetHeight(timeBar.Visible() ? kTimeBarHeight : 0);
    VideoForm->FormResize(nullptr);  // the video goes right below the bar
}

void TFormOptions::ColorBox1Change(TComponent* /*Sender*/) {
    SetFontColor(VideoForm->Label1, ColorBox1.Selected());
}
