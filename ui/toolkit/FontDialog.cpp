#include "ui/toolkit/FontDialog.h"

#include <commdlg.h>

TFontDialog::TFontDialog(TComponent* owner, std::string name) : TComponent(owner, std::move(name)) {}

bool TFontDialog::Execute(HWND ownerWindow) {
    LOGFONTW lf = font_.ToLogFont();
    CHOOSEFONTW cf{};
    cf.lStructSize = sizeof cf;
    cf.hwndOwner = ownerWindow;
    cf.lpLogFont = &lf;
    // No CF_EFFECTS: the picker offers no colour, underline or strike-out; the colour stays ours.
    cf.Flags = CF_INITTOLOGFONTSTRUCT | CF_SCREENFONTS;
    if (!ChooseFontW(&cf)) return false;
    font_.AssignLogFont(lf);
    return true;
}
