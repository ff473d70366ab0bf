// Controls over real windows. One window procedure serves every window of our own class and one
// subclass procedure every standard control; both find the control through a window property
// and run the message through the control's WindowProc inside the event edge.
#include "ui/toolkit/Control.h"

#include <commctrl.h>

#include <algorithm>

#include "ui/toolkit/Timer.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

constexpr wchar_t kWindowClass[] = L"Atrac3dsWindow";
constexpr wchar_t kControlProperty[] = L"Atrac3dsControl";
UINT nextId = 1000;
bool classesRegistered = false;

HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

}  // namespace

HINSTANCE ToolkitModule() { return ThisModule(); }

LRESULT CALLBACK ToolkitWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* control = static_cast<TControl*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        control->hwnd_ = hwnd;
        SetPropW(hwnd, kControlProperty, control);
    }
    TControl* control = TControl::FromHandle(hwnd);
    if (!control) return DefWindowProcW(hwnd, msg, wParam, lParam);
    return control->Receive(msg, wParam, lParam);
}

LRESULT CALLBACK
ToolkitSubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR /*id*/, DWORD_PTR data) {
    auto* control = reinterpret_cast<TControl*>(data);
    if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(hwnd, ToolkitSubclassProc, 1);
        RemovePropW(hwnd, kControlProperty);
        control->hwnd_ = nullptr;
        return DefSubclassProc(hwnd, msg, wParam, lParam);
    }
    return control->Receive(msg, wParam, lParam);
}

void InitToolkit() {
    if (classesRegistered) return;
    classesRegistered = true;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
    (void)InitCommonControlsEx(&icc);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = ToolkitWindowProc;
    wc.hInstance = ThisModule();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kWindowClass;
    (void)RegisterClassExW(&wc);
    RegisterTimerClass();
}

void UnregisterToolkitClasses() {
    (void)UnregisterClassW(kWindowClass, ThisModule());
    UnregisterTimerClass();
    classesRegistered = false;
}

TControl::TControl(TComponent* owner, std::string name, TWinControl* parent)
    : TComponent(owner, std::move(name)), id_(nextId++), parent_(parent) {
    InitToolkit();
    WindowProc = [this](TMessage& message) { WndProc(message); };
    if (parent_) {
        font_ = parent_->font_;
        color_ = parent_->color_;
        parent_->controls_.push_back(this);
    }
}

TControl::~TControl() {
    if (parent_) {
        auto& siblings = parent_->controls_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    if (!hwnd_) return;
    HWND hwnd = hwnd_;
    // Cut the window off from this half-destroyed object before it goes: its last messages get the
    // standard handling only. A window of another thread (unload) is left to the system.
    RemovePropW(hwnd, kControlProperty);
    if (subclassed_) RemoveWindowSubclass(hwnd, ToolkitSubclassProc, 1);
    hwnd_ = nullptr;
    if (IsWindow(hwnd) && GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId()) DestroyWindow(hwnd);
}

TControl* TControl::FromHandle(HWND hwnd) {
    return hwnd ? static_cast<TControl*>(GetPropW(hwnd, kControlProperty)) : nullptr;
}

void TControl::CreateHandle(const wchar_t* className,
                            DWORD style,
                            DWORD exStyle,
                            HWND parentWindow,
                            const std::wstring& caption) {
    if (visible_) style |= WS_VISIBLE;
    if (parentWindow) style |= WS_CHILD | WS_CLIPSIBLINGS;
    HMENU id = (style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id_)) : nullptr;
    if (!className) {
        (void)CreateWindowExW(exStyle, kWindowClass, caption.c_str(), style, left_, top_, width_, height_, parentWindow,
                              id, ThisModule(), this);
    } else {
        hwnd_ = CreateWindowExW(exStyle, className, caption.c_str(), style, left_, top_, width_, height_, parentWindow,
                                id, ThisModule(), nullptr);
        if (!hwnd_) return;
        SetPropW(hwnd_, kControlProperty, this);
        // Without the hook the control still works as the platform made it; it just raises no events.
        subclassed_ = SetWindowSubclass(hwnd_, ToolkitSubclassProc, 1, reinterpret_cast<DWORD_PTR>(this)) != FALSE;
    }
    if (hwnd_) SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), FALSE);
}

LRESULT TControl::Receive(UINT msg, WPARAM wParam, LPARAM lParam) {
    TMessage message{msg, wParam, lParam, 0};
    Guarded([&] { WindowProc(message); });
    return message.Result;
}

void TControl::WndProc(TMessage& message) { Dispatch(message); }

void TControl::Dispatch(TMessage& message) { Default(message); }

void TControl::Default(TMessage& message) {
    if (!hwnd_) return;
    message.Result = subclassed_ ? DefSubclassProc(hwnd_, message.Msg, message.WParam, message.LParam)
                                 : DefWindowProcW(hwnd_, message.Msg, message.WParam, message.LParam);
}

void TControl::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
    bool resized = width != width_ || height != height_;
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    PlaceWindow();
    if (resized) AlignChanged();
}

void TControl::PlaceWindow() {
    if (hwnd_) SetWindowPos(hwnd_, nullptr, left_, top_, width_, height_, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TControl::AlignChanged() {
    if (align_ != alNone && parent_) parent_->Realign();
}

int32_t TControl::ClientWidth() const {
    RECT rc{};
    if (hwnd_) GetClientRect(hwnd_, &rc);
    return rc.right - rc.left;
}

int32_t TControl::ClientHeight() const {
    RECT rc{};
    if (hwnd_) GetClientRect(hwnd_, &rc);
    return rc.bottom - rc.top;
}

void TControl::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    if (hwnd_) ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
    AlignChanged();
}

void TControl::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (hwnd_) EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

std::wstring TControl::Caption() const {
    if (!hwnd_) return {};
    int length = GetWindowTextLengthW(hwnd_);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(hwnd_, text.data(), length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

void TControl::SetCaption(const std::wstring& caption) {
    if (hwnd_) SetWindowTextW(hwnd_, caption.c_str());
}

void TControl::SetFont(const TFont& font) {
    font_ = font;
    if (!hwnd_) return;
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), FALSE);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void TControl::SetColor(TColor color) {
    color_ = color;
    if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

void TControl::SetAlign(TAlign align) {
    align_ = align;
    if (parent_) parent_->Realign();
}

HBRUSH TControl::CtlColor(HDC dc) {
    SetTextColor(dc, ColorToRGB(font_.Color()));
    SetBkColor(dc, ColorToRGB(color_));
    return Brush();
}

void TWinControl::Realign() {
    if (!hwnd_ || aligning_) return;
    aligning_ = true;
    RECT rc{};
    GetClientRect(hwnd_, &rc);
    for (TControl* c : controls_) {
        if (!c->visible_) continue;
        if (c->align_ == alTop) {
            c->left_ = rc.left, c->top_ = rc.top, c->width_ = rc.right - rc.left;
            rc.top += c->height_;
        } else if (c->align_ == alBottom) {
            rc.bottom -= c->height_;
            c->left_ = rc.left, c->top_ = rc.bottom, c->width_ = rc.right - rc.left;
        } else {
            continue;
        }
        c->PlaceWindow();
    }
    for (TControl* c : controls_) {
        if (!c->visible_ || c->align_ != alClient) continue;
        c->left_ = rc.left, c->top_ = rc.top;
        c->width_ = std::max<int32_t>(0, rc.right - rc.left), c->height_ = std::max<int32_t>(0, rc.bottom - rc.top);
        c->PlaceWindow();
    }
    aligning_ = false;
}

void TWinControl::Dispatch(TMessage& m) {
    switch (m.Msg) {
        case WM_COMMAND:
            if (TControl* child = FromHandle(reinterpret_cast<HWND>(m.LParam))) {
                child->CommandNotify(HIWORD(m.WParam));
                return;
            }
            break;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX: {
            // A window that is not one of our controls (a radio group's buttons) takes this one's colours.
            TControl* child = FromHandle(reinterpret_cast<HWND>(m.LParam));
            if (HBRUSH brush = (child ? child : this)->CtlColor(reinterpret_cast<HDC>(m.WParam))) {
                m.Result = reinterpret_cast<LRESULT>(brush);
                return;
            }
            break;
        }
        case WM_DRAWITEM: {
            auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
            if (TControl* child = FromHandle(item->hwndItem); child && child->DrawItem(*item)) {
                m.Result = TRUE;
                return;
            }
            break;
        }
        case WM_MEASUREITEM: {
            // Sent while the child is still being made, before its window is known: find it by id.
            auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
            for (TControl* child : controls_) {
                if (child->id_ == item->CtlID && child->MeasureItem(*item)) {
                    m.Result = TRUE;
                    return;
                }
            }
            break;
        }
        case WM_HSCROLL:
        case WM_VSCROLL:
            if (TControl* child = FromHandle(reinterpret_cast<HWND>(m.LParam))) {
                child->ScrollNotify();
                return;
            }
            break;
        case WM_ERASEBKGND: {
            RECT rc{};
            GetClientRect(hwnd_, &rc);
            FillRect(reinterpret_cast<HDC>(m.WParam), &rc, Brush());
            m.Result = 1;
            return;
        }
        case WM_SIZE:
            Default(m);
            Realign();
            Resized();
            return;
        default:
            break;
    }
    TControl::Dispatch(m);
}
