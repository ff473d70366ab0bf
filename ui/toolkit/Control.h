// Controls: a component with a parent and a real window whose window text is its caption, so
// screen readers and tests read what the user sees. TWinControl can hold child controls and
// lays out the aligned ones.
//
// Every window of ours (own class or a subclassed standard control) runs its messages through
// WindowProc, which starts as the standard handling WndProc; a form may replace it with a routine
// that hands each message on to WndProc. The window procedure is the event edge (Guarded).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/toolkit/Component.h"
#include "ui/toolkit/Font.h"
#include "ui/toolkit/Graphics.h"

struct TMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};
using TWndMethod = std::function<void(TMessage& message)>;

enum TAlign { alNone, alTop, alBottom, alClient };

class TWinControl;

class TControl : public TComponent {
public:
    ~TControl() override;

    TWinControl* Parent() const { return parent_; }
    HWND Handle() const { return hwnd_; }

    int32_t Left() const { return left_; }
    int32_t Top() const { return top_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    virtual void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height);
    void SetLeft(int32_t left) { SetBounds(left, top_, width_, height_); }
    void SetTop(int32_t top) { SetBounds(left_, top, width_, height_); }
    virtual void SetWidth(int32_t width) { SetBounds(left_, top_, width, height_); }
    virtual void SetHeight(int32_t height) { SetBounds(left_, top_, width_, height); }
    int32_t ClientWidth() const;
    int32_t ClientHeight() const;

    bool Visible() const { return visible_; }
    virtual void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    std::wstring Caption() const;  // the window text
    virtual void SetCaption(const std::wstring& caption);

    // Own font (a copy of the parent's when the control is made). Changing it redraws.
    const TFont& Font() const { return font_; }
    virtual void SetFont(const TFont& font);
    TColor Color() const { return color_; }  // background (the parent's when the control is made)
    virtual void SetColor(TColor color);

    TAlign Align() const { return align_; }
    void SetAlign(TAlign align);

    TWndMethod WindowProc;            // replaceable message routine; starts as WndProc
    void WndProc(TMessage& message);  // the standard handling
    void Perform(TMessage& message) { WindowProc(message); }

    // Reflected from the parent window: WM_COMMAND codes and WM_CTLCOLOR* for this control.
    // Return null from CtlColor for the standard colours.
    virtual void CommandNotify(WORD /*code*/) {}
    virtual HBRUSH CtlColor(HDC dc);
    virtual bool DrawItem(const DRAWITEMSTRUCT& /*item*/) { return false; }
    virtual bool MeasureItem(MEASUREITEMSTRUCT& /*item*/) { return false; }
    virtual void ScrollNotify() {}  // WM_HSCROLL/WM_VSCROLL from this control

    HBRUSH Brush() { return brush_.Get(color_); }  // a solid brush of Color
    static TControl* FromHandle(HWND hwnd);

protected:
    // parent may be null for a form. Derived constructors call CreateHandle with their class.
    TControl(TComponent* owner, std::string name, TWinControl* parent);
    // className null = our own window class. The caption becomes the window text.
    void CreateHandle(const wchar_t* className,
                      DWORD style,
                      DWORD exStyle,
                      HWND parentWindow,
                      const std::wstring& caption = L"");
    virtual void Dispatch(TMessage& message);  // standard handling of this kind; ends in Default
    void Default(TMessage& message);           // DefWindowProcW or the standard control's own
    virtual void PlaceWindow();                // moves the window to the stored bounds
    void AlignChanged();                       // the parent lays out again if this one is aligned

    HWND hwnd_ = nullptr;
    UINT id_;                  // child window identifier, unique in the process
    bool subclassed_ = false;  // a standard control hooked with SetWindowSubclass
    TWinControl* parent_;
    int32_t left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = true;
    bool enabled_ = true;
    TFont font_;
    TColor color_ = clBtnFace;
    TBrushCache brush_;
    TAlign align_ = alNone;

private:
    friend class TWinControl;  // lays out and reflects to its children
    friend LRESULT CALLBACK ToolkitWindowProc(HWND, UINT, WPARAM, LPARAM);
    friend LRESULT CALLBACK ToolkitSubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    LRESULT Receive(UINT msg, WPARAM wParam, LPARAM lParam);
};

class TWinControl : public TControl {
public:
    // Children in creation order (not owned: the form owns every component).
    const std::vector<TControl*>& Controls() const { return controls_; }
    // Lays out the aligned children: top ones at their own height, then the client one takes
    // the rest. Invisible children take no room.
    void Realign();

protected:
    using TControl::TControl;
    void Dispatch(TMessage& message) override;  // reflects notifications to the child control
    virtual void Resized() {}                   // after the window's size changed and Realign

private:
    friend class TControl;
    std::vector<TControl*> controls_;
    bool aligning_ = false;
};

// Standard control classes need the common controls loaded, and our own window classes must be
// registered; every kind calls this before it makes a window.
void InitToolkit();

// For the library's unload, once every window of ours is gone: a class left registered would keep
// a window procedure in unloaded code, and the next load of the library could not register its own.
void UnregisterToolkitClasses();

// The module the toolkit's classes and windows belong to.
HINSTANCE ToolkitModule();
