// The file-info dialog. The size comes from a directory search that accepts any attributes, so a
// folder shows the size its entry reports; a path the search does not find shows 0 bytes.
#include "ui/UnitInfo.h"

#include <cstdint>

#include "base/AnsiText.h"
#include "ui/SizeText.h"

std::unique_ptr<TFormInfo> FormInfo;

namespace {

uint64_t SizeOfEntry(const char* path) {
    WIN32_FIND_DATAA entry;
    const HANDLE search = FindFirstFileA(path, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    FindClose(search);
    // Both halves, so files of 2 GiB and more keep their true size.
    return (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
}

}  // namespace

TFormInfo::TFormInfo()
    : TForm("FormInfo"),
      Label1(Add<TLabel>("Label1", *this)),
      Size(Add<TLabel>("Size", *this)),
      Label7(Add<TLabel>("Label7", *this)),
      Bevel1(Add<TBevel>("Bevel1", *this)),
      Button1(Add<TButton>("Button1", *this)),
      Edit1(Add<TEdit>("Edit1", *this)) {
    SetCaption(L"信息");
    SetBorderStyle(bsDialog);
    SetPosition(poDesigned);
    SetLeft(321);
    SetTop(220);
    SetClientWidth(289);
    SetClientHeight(130);

    // Labels size themselves to their text: only their places are set.
    const auto place = [](TLabel& label, int32_t left, int32_t top, const std::wstring& caption) {
        label.SetLeft(left);
        label.SetTop(top);
        label.SetCaption(caption);
    };
    place(Label1, 8, 8, L"文件名称");
    Edit1.SetBounds(8, 24, 273, 21);
    Edit1.SetColor(clBtnFace);
    Edit1.SetText(L"Edit1");
    place(Size, 16, 64, L"大小:");
    place(Label7, 64, 64, L"Label7");
    Bevel1.SetShape(bsTopLine);
    Bevel1.SetBounds(8, 86, 273, 2);
    Button1.SetBounds(200, 98, 75, 25);
    Button1.SetCaption(L"关闭");

    Button1.OnClick = [this](TComponent* sender) { Button1Click(sender); };
    DoCreate();
}

void TFormInfo::Button1Click(TComponent* /*Sender*/) {
    Close();
}

int ShowInfoBox(const char* path) {
    try {
        if (!FormInfo) {
            return 0;  // asked before Init
        }
        const char* name = path ? path : "";
        FormInfo->Edit1.SetText(AnsiToWide(name));
        FormInfo->Label7.SetCaption(SizeText(SizeOfEntry(name)));
        (void)FormInfo->ShowModal();
    } catch (...) {
    }
    return 0;
}
