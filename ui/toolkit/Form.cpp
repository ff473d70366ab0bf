// Forms: top-level windows that own their components. The size negotiation lives at
// WM_WINDOWPOSCHANGING because every size change, from any source, passes there with the size
// Windows is about to apply.
#include "ui/toolkit/Form.h"

#include <windowsx.h>

#include <algorithm>

#include "ui/toolkit/Menu.h"

namespace {

constexpr DWORD kSizeableStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

BOOL CALLBACK CollectEnabledWindow(HWND window, LPARAM list) {
    if (IsWindowVisible(window) && IsWindowEnabled(window))
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

// The form's own state, whether or not a (foreign) parent is shown.
bool OwnVisibleBit(HWND window) { return (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

}  // namespace

TForm::TForm(std::string name) : TWinControl(nullptr, std::move(name), nullptr) {
    visible_ = false;
    // No parent notification: once a foreign window is our parent, destroying the form at unload
    // must not call into that window's owner.
    CreateHandle(nullptr, kSizeableStyle, WS_EX_CONTROLPARENT | WS_EX_NOPARENTNOTIFY, nullptr);
    ReadBounds();
}

TForm::~TForm() {
    // The replaced routine and the handlers may belong to the derived form, which is already gone.
    WindowProc = [this](TMessage& message) { WndProc(message); };
    OnResize = nullptr;
    OnCanResize = nullptr;
    OnClose = nullptr;
    // Later components may hang in earlier ones (a label in a panel, an item in a menu): undo the
    // creation from its end.
    while (!components_.empty()) components_.pop_back();
}

void TForm::DoCreate() {
    if (OnCreate) OnCreate(this);
}

void TForm::ReadBounds() {
    if (!hwnd_) return;
    RECT rc{};
    GetWindowRect(hwnd_, &rc);
    if (HWND parent = GetParent(hwnd_); parent && (GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_CHILD))
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    left_ = rc.left;
    top_ = rc.top;
    width_ = rc.right - rc.left;
    height_ = rc.bottom - rc.top;
}

void TForm::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
    if (left == left_ && top == top_ && width == width_ && height == height_) return;
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    if (left == left_ && top == top_) flags |= SWP_NOMOVE;
    if (width == width_ && height == height_) flags |= SWP_NOSIZE;
    SetWindowPos(hwnd_, nullptr, left, top, width, height, flags);
    ReadBounds();
}

void TForm::SetWidth(int32_t width) { SetBounds(left_, top_, width, height_); }

void TForm::SetHeight(int32_t height) { SetBounds(left_, top_, width_, height); }

void TForm::SetClientWidth(int32_t width) { SetWidth(width + (width_ - ClientWidth())); }

void TForm::SetClientHeight(int32_t height) { SetHeight(height + (height_ - ClientHeight())); }

void TForm::SetCaption(const std::wstring& caption) { SetWindowTextW(hwnd_, caption.c_str()); }

void TForm::SetVisible(bool visible) {
    if (visible && position_ == poScreenCenter && !(GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_CHILD)) {
        int32_t x = (GetSystemMetrics(SM_CXSCREEN) - width_) / 2;
        int32_t y = (GetSystemMetrics(SM_CYSCREEN) - height_) / 2;
        SetBounds(x, y, width_, height_);
    }
    ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
    visible_ = OwnVisibleBit(hwnd_);
}

void TForm::SetBorderStyle(TBorderStyle style) {
    borderStyle_ = style;
    LONG_PTR keep = GetWindowLongPtrW(hwnd_, GWL_STYLE) & (WS_CHILD | WS_VISIBLE | WS_DISABLED);
    LONG_PTR frame = style == bsDialog ? kDialogStyle : kSizeableStyle;
    if (keep & WS_CHILD) frame &= ~static_cast<LONG_PTR>(WS_POPUP);
    SetWindowLongPtrW(hwnd_, GWL_STYLE, frame | keep);
    LONG_PTR ex = GetWindowLongPtrW(hwnd_, GWL_EXSTYLE);
    ex = style == bsDialog ? (ex | WS_EX_DLGMODALFRAME) : (ex & ~static_cast<LONG_PTR>(WS_EX_DLGMODALFRAME));
    SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, ex);
    SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    ReadBounds();
}

void TForm::SetParentWindow(HWND parentWindow) {
    LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE);
    style = parentWindow ? ((style & ~static_cast<LONG_PTR>(WS_POPUP)) | WS_CHILD)
                         : (style & ~static_cast<LONG_PTR>(WS_CHILD));
    if (!parentWindow && borderStyle_ == bsDialog) style |= WS_POPUP;
    // The style goes first, so that SetParent makes a child window rather than an owned one.
    SetWindowLongPtrW(hwnd_, GWL_STYLE, style);
    SetParent(hwnd_, parentWindow);
    parentWindow_ = parentWindow;
    // Left and Top keep their values, now in the new parent's client coordinates.
    SetWindowPos(hwnd_, nullptr, left_, top_, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    ReadBounds();
}

int32_t TForm::ShowModal() {
    // The thread's other windows take no input while the form is up, as with a dialog box.
    std::vector<HWND> disabled;
    EnumThreadWindows(GetCurrentThreadId(), CollectEnabledWindow, reinterpret_cast<LPARAM>(&disabled));
    disabled.erase(std::remove(disabled.begin(), disabled.end(), hwnd_), disabled.end());
    for (HWND w : disabled) EnableWindow(w, FALSE);

    modal_ = true;
    modalEnded_ = false;
    SetVisible(true);
    SetActiveWindow(hwnd_);
    MSG msg;
    while (!modalEnded_) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));  // leave the quit to the outer loop
            break;
        }
        if (!IsDialogMessageW(hwnd_, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    for (HWND w : disabled) EnableWindow(w, TRUE);
    SetVisible(false);
    modal_ = false;
    return 1;
}

void TForm::Close() {
    TCloseAction action = caHide;
    if (OnClose) OnClose(this, action);
    if (action == caNone) return;
    if (modal_)
        modalEnded_ = true;
    else
        SetVisible(false);
}

void TForm::WindowPosChanging(WINDOWPOS& pos) {
    if (pos.flags & SWP_NOSIZE) return;
    RECT rc{};
    GetWindowRect(hwnd_, &rc);
    if (pos.cx == rc.right - rc.left && pos.cy == rc.bottom - rc.top) return;
    int32_t width = pos.cx;
    int32_t height = pos.cy;
    bool resize = true;
    if (OnCanResize) OnCanResize(this, width, height, resize);
    if (resize) {
        pos.cx = width;
        pos.cy = height;
    } else {
        pos.flags |= SWP_NOSIZE;
    }
}

void TForm::Resized() {
    if (OnResize) OnResize(this);
}

void TForm::Dispatch(TMessage& m) {
    switch (m.Msg) {
        case WM_WINDOWPOSCHANGING:
            WindowPosChanging(*reinterpret_cast<WINDOWPOS*>(m.LParam));
            break;
        case WM_WINDOWPOSCHANGED:
            // Before the standard handling, which sends WM_SIZE: OnResize sees the new bounds.
            ReadBounds();
            visible_ = OwnVisibleBit(hwnd_);
            break;
        case WM_CLOSE:
            Close();  // never the standard handling, which would destroy the window
            return;
        case WM_CONTEXTMENU:
            if (popupMenu_) {
                POINT at{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
                if (at.x == -1 && at.y == -1) GetCursorPos(&at);  // from the keyboard
                popupMenu_->Popup(at.x, at.y, hwnd_);
                return;
            }
            break;
        default:
            break;
    }
    TWinControl::Dispatch(m);
}
