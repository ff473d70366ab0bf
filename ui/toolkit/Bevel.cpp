// A bevel draws only its edges and lets clicks through, so the controls it frames stay usable.
#include "ui/toolkit/Bevel.h"

TBevel::TBevel(TComponent* owner, std::string name, TWinControl& parent) : TControl(owner, std::move(name), &parent) {
    CreateHandle(nullptr, 0, WS_EX_TRANSPARENT, parent.Handle());
}

void TBevel::SetShape(TBevelShape shape) {
    shape_ = shape;
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void TBevel::Dispatch(TMessage& m) {
    switch (m.Msg) {
        case WM_ERASEBKGND:
            m.Result = 1;
            return;
        case WM_NCHITTEST:
            m.Result = HTTRANSPARENT;
            return;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd_, &ps);
            RECT rc{};
            GetClientRect(hwnd_, &rc);
            DrawEdge(dc, &rc, shape_ == bsBox ? BDR_SUNKENOUTER : EDGE_ETCHED, shape_ == bsBox ? BF_RECT : BF_TOP);
            EndPaint(hwnd_, &ps);
            return;
        }
        default:
            TControl::Dispatch(m);
    }
}
