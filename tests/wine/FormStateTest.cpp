// Saving and restoring a whole form through the settings store: which components get keys, what
// a restore changes and leaves, and which handlers it runs.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "base/Notify.h"
#include "settings/AmpShell.h"
#include "tests/wine/TestSupport.h"
#include "ui/toolkit/Toolkit.h"

namespace {

using testsupport::ReadFileBytes;

// A window that counts the messages posted to it: shows when the message loop has run.
struct PostCounter {
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_APP)
            ++handled;
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    PostCounter() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = L"SettingsTestPostCounter";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    }
    ~PostCounter() { DestroyWindow(window); }
    void Post() { PostMessageW(window, WM_APP, 0, 0); }
    static inline int handled = 0;
    HWND window;
};

// One component of every kind, and handlers that log who called them.
class KindsForm : public TForm {
public:
    explicit KindsForm(std::string name = "KindsForm")
        : TForm(std::move(name)),
          Box(Add<TCheckBox>("Box", *this)),
          Radio(Add<TRadioButton>("Radio", *this)),
          Menu(Add<TPopupMenu>("Menu")),
          Sub(Add<TMenuItem>("Sub", Menu)),
          Child(Add<TMenuItem>("Child", Sub)),
          Sep(Add<TMenuItem>("Sep", Menu)),
          Item(Add<TMenuItem>("Item", Menu)),
          Book(Add<TNotebook>("Book", *this)),
          Group(Add<TRadioGroup>("Group", *this)),
          Bar(Add<TTrackBar>("Bar", *this)),
          Pane(Add<TPanel>("Pane", *this)),
          Combo(Add<TComboBox>("Combo", *this)),
          Text(Add<TLabel>("Text", *this)),
          Btn(Add<TButton>("Btn", *this)),
          Tick(Add<TTimer>("Tick")) {
        Sub.SetCaption(L"Sub");
        Child.SetCaption(L"Child");
        Sep.SetCaption(L"-");
        Item.SetCaption(L"Item");
        Group.SetItems({L"a", L"b", L"c"});
        Combo.AddItem(L"x");
        Combo.AddItem(L"y");
        Combo.AddItem(L"z");
        Tick.SetEnabled(false);
        Box.OnClick = Logger("Box");
        Group.OnClick = Logger("Group");
        Bar.OnChange = Logger("Bar");
        Combo.OnChange = Logger("Combo");
        Radio.OnClick = Logger("Radio");
        Btn.OnClick = Logger("Btn");
        Item.OnClick = Logger("Item");
    }
    TNotifyEvent Logger(std::string what) {
        return [this, what](TComponent* sender) {
            log.push_back(what + (sender ? "(self)" : "(null)"));
            if (counter) {
                pumped.push_back(PostCounter::handled);
                counter->Post();
            }
        };
    }

    TCheckBox& Box;
    TRadioButton& Radio;
    TPopupMenu& Menu;
    TMenuItem& Sub;
    TMenuItem& Child;
    TMenuItem& Sep;
    TMenuItem& Item;
    TNotebook& Book;
    TRadioGroup& Group;
    TTrackBar& Bar;
    TPanel& Pane;
    TComboBox& Combo;
    TLabel& Text;
    TButton& Btn;
    TTimer& Tick;
    std::vector<std::string> log;
    std::vector<int> pumped;  // messages handled when each handler ran
    PostCounter* counter = nullptr;
};

class FormState : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testsupport::MakeTempDir("formstate");
        SetSettingsFolder(dir_.substr(0, dir_.size() - 1));
        file_ = dir_ + "MorlunePlugin.INI";
    }
    void TearDown() override {
        SetSettingsFolder("");
        SetNoticeHook({});
        testsupport::RemoveTree(dir_);
    }
    std::string dir_;
    std::string file_;
    TAmpShell store_;
};

TEST_F(FormState, SaveWritesCaptionBoundsAndEachStatefulKindInOrder) {
    KindsForm form;
    form.SetCaption(L"测试窗");
    form.SetBounds(30, 40, 300, 200);
    form.Box.SetChecked(true);
    form.Sub.SetChecked(true);
    form.Book.SetPageIndex(2);
    form.Group.SetItemIndex(1);
    form.Bar.SetPosition(7);
    form.Pane.SetVisible(false);
    form.Combo.SetItemIndex(2);
    store_.SaveFormState(&form);
    EXPECT_EQ(ReadFileBytes(file_),
              "[KindsForm]\r\nKindsForm=\xB2\xE2\xCA\xD4\xB4\xB0\r\nWidth=300\r\nHeight=200\r\nTop=40\r\nLeft=30\r\n"
              "Box=1\r\nRadio=0\r\nSub=1\r\nChild=0\r\nItem=0\r\nBook=2\r\nGroup=1\r\nBar=7\r\nPane=0\r\n");
}

TEST_F(FormState, RestoreSetsComponentsRunsHandlersAndKeepsCaptionAndBounds) {
    ASSERT_TRUE(testsupport::WriteFileBytes(file_,
                                            "[kindsform]\r\nKindsForm=Other\r\nWidth=500\r\nHeight=400\r\nTop=1\r\n"
                                            "Left=2\r\nBox=1\r\nRadio=1\r\nSub=1\r\nChild=1\r\nSep=1\r\nItem=1\r\n"
                                            "Book=3\r\nGroup=2\r\nBar=5\r\nPane=0\r\nCombo=1\r\nText=0\r\nBtn=0\r\n"));
    KindsForm form;
    form.SetCaption(L"Mine");
    form.SetBounds(30, 40, 300, 200);
    PostCounter counter;
    form.counter = &counter;
    PostCounter::handled = 0;
    counter.Post();
    store_.LoadFormState(&form);

    EXPECT_EQ(form.Caption(), L"Mine");
    EXPECT_EQ(form.Left(), 30);
    EXPECT_EQ(form.Top(), 40);
    EXPECT_EQ(form.Width(), 300);
    EXPECT_EQ(form.Height(), 200);
    EXPECT_TRUE(form.Box.Checked());
    EXPECT_TRUE(form.Radio.Checked());
    EXPECT_TRUE(form.Sub.Checked());
    EXPECT_TRUE(form.Child.Checked());
    EXPECT_FALSE(form.Sep.Checked()) << "a separator is not restored";
    EXPECT_TRUE(form.Item.Checked());
    EXPECT_EQ(form.Book.PageIndex(), 3);
    EXPECT_EQ(form.Group.ItemIndex(), 2);
    EXPECT_EQ(form.Bar.Position(), 5);
    EXPECT_FALSE(form.Pane.Visible());
    EXPECT_EQ(form.Combo.ItemIndex(), 1);

    // The first pass fires what the properties themselves fire on a change; the second pass
    // calls the four kinds' handlers with no sender, changed or not.
    const std::vector<std::string> expected = {"Box(self)", "Radio(self)", "Group(self)", "Bar(self)",
                                               "Box(null)", "Group(null)", "Bar(null)",   "Combo(null)"};
    EXPECT_EQ(form.log, expected);
    // Each handler posted a message; the loop ran before the next component in both passes.
    const std::vector<int> pumped = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(form.pumped, pumped);
}

TEST_F(FormState, UnchangedValuesAndMissingKeysStillRunTheSecondPass) {
    KindsForm form;
    form.Combo.SetItemIndex(2);
    form.Group.SetItemIndex(0);
    form.log.clear();
    store_.LoadFormState(&form);  // no file at all
    EXPECT_EQ(form.Combo.ItemIndex(), 2);
    EXPECT_EQ(form.Group.ItemIndex(), 0);
    const std::vector<std::string> expected = {"Box(null)", "Group(null)", "Bar(null)", "Combo(null)"};
    EXPECT_EQ(form.log, expected);

    store_.SaveFormState(&form);
    EXPECT_EQ(ReadFileBytes(file_).find("Combo"), std::string::npos) << "a combo box is never written";
}

TEST_F(FormState, FormsWithOneNameShareASection) {
    KindsForm first("Shared");
    KindsForm second("Shared");
    first.Box.SetChecked(true);
    first.Bar.SetPosition(9);
    store_.SaveFormState(&first);
    store_.LoadFormState(&second);
    EXPECT_TRUE(second.Box.Checked());
    EXPECT_EQ(second.Bar.Position(), 9);

    second.Bar.SetPosition(4);
    store_.SaveFormState(&second);
    const std::string bytes = ReadFileBytes(file_);
    EXPECT_EQ(bytes.find("[Shared]"), bytes.rfind("[Shared]"));
    EXPECT_NE(bytes.find("Bar=4"), std::string::npos);
}

TEST_F(FormState, AnythingButAFormIsLeftAlone) {
    KindsForm form;
    store_.SaveFormState(&form.Box);
    store_.SaveFormState(nullptr);
    store_.LoadFormState(&form.Menu);
    store_.LoadFormState(nullptr);
    EXPECT_EQ(GetFileAttributesA(file_.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(form.log.empty());
}

TEST_F(FormState, ARefusedWriteEndsTheSaveAndIsShownAtTheEventEdge) {
    ASSERT_TRUE(testsupport::WriteFileBytes(file_, "[Strings]\r\nFont=Arial\r\n"));
    HANDLE lock = CreateFileA(file_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    std::vector<std::wstring> shown;
    SetNoticeHook([&](const std::wstring& text, NoticeKind kind) {
        EXPECT_EQ(kind, NoticeKind::Error);
        shown.push_back(text);
    });
    KindsForm form;
    bool after = false;
    Guarded([&] {
        store_.SaveFormState(&form);
        after = true;
    });
    CloseHandle(lock);
    EXPECT_FALSE(after);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], L"Unable to write to " + std::wstring(file_.begin(), file_.end()) + L".");
    EXPECT_EQ(ReadFileBytes(file_), "[Strings]\r\nFont=Arial\r\n");
}

}  // namespace
