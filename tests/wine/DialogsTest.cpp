// The info and about dialogs with real windows: what they show, shown modally and closed by their
// own buttons from inside the modal loop, as a user would.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/wine/TestSupport.h"
#include "ui/UnitAbout.h"
#include "ui/UnitInfo.h"

namespace {

// Runs `inside` once from the modal loop of the next showing, through a thread timer.
std::function<void()> inside;
void CALLBACK RunInside(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    auto body = std::move(inside);
    body();
}
void WhenShown(std::function<void()> body) {
    inside = std::move(body);
    SetTimer(nullptr, 0, 30, RunInside);
}

void Click(const TControl& control) {
    SendMessageW(control.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(control.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

struct Seen {
    bool visible = false;
    std::wstring path, size;
};

// One InfoBox call; returns what the dialog showed while it was open.
Seen ShowInfo(const std::string& path, int& result) {
    Seen seen;
    WhenShown([&] {
        seen = {IsWindowVisible(FormInfo->Handle()) != FALSE, FormInfo->Edit1.Text(), FormInfo->Label7.Caption()};
        FormInfo->Button1.Click();
    });
    result = ShowInfoBox(path.c_str());
    return seen;
}

class Dialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        FormAbout = std::make_unique<TFormAbout>();
        FormInfo = std::make_unique<TFormInfo>();
    }
};

TEST_F(Dialogs, InfoShowsPathAndSizeOfWhatTheSearchFinds) {
    const std::string dir = testsupport::MakeTempDir("info");
    const std::string folder = dir + "\xD0\xC5\xCF\xA2";  // 信息 in code page 936
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(testsupport::WriteFileBytes(dir + "empty.oma", ""));
    ASSERT_TRUE(testsupport::WriteFileBytes(dir + "k.oma", std::string(1025, 'x')));
    ASSERT_TRUE(testsupport::WriteFileBytes(dir + "m.oma", std::string(1048577, 'x')));
    // 5 GiB without writing them: the high half of the size must count.
    const std::string big = dir + "big.oma";
    HANDLE file = CreateFileA(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = 5LL << 30;
    EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
    ASSERT_TRUE(SetFileAttributesA((dir + "k.oma").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

    const std::wstring wdir(dir.begin(), dir.end());  // the scratch folder's name is plain ASCII
    const struct {
        std::string path;
        std::wstring shown, size;
    } rows[] = {
        {dir + "k.oma", wdir + L"k.oma", L"1 kB"},  // hidden and read-only: any attributes count
        {dir + "missing.oma", wdir + L"missing.oma", L"0 字节"},
        {dir + "m.oma", wdir + L"m.oma", L"1 MB"},
        {dir + "empty.oma", wdir + L"empty.oma", L"0 字节"},
        {big, wdir + L"big.oma", L"5120 MB"},
        {folder, wdir + L"信息", L"0 字节"},  // the folder's own entry
        {"", L"", L"0 字节"},
    };
    for (const auto& row : rows) {
        int result = -1;
        const Seen seen = ShowInfo(row.path, result);
        EXPECT_TRUE(seen.visible) << row.path;
        EXPECT_EQ(seen.path, row.shown) << row.path;
        EXPECT_EQ(seen.size, row.size) << row.path;
        EXPECT_EQ(result, 0);
        EXPECT_FALSE(IsWindowVisible(FormInfo->Handle())) << "closing hides the dialog";
    }
    SetFileAttributesA((dir + "k.oma").c_str(), FILE_ATTRIBUTE_NORMAL);
    testsupport::RemoveTree(dir);
}

TEST_F(Dialogs, InfoControlsCaptionsAndTabOrder) {
    TFormInfo& f = *FormInfo;
    EXPECT_EQ(f.Caption(), L"信息");
    EXPECT_EQ(f.Label1.Caption(), L"文件名称");
    EXPECT_EQ(f.Size.Caption(), L"大小:");
    EXPECT_EQ(f.Button1.Caption(), L"关闭");
    EXPECT_EQ(f.ClientWidth(), 289);
    EXPECT_EQ(f.ClientHeight(), 130);
    EXPECT_EQ(f.Left(), 321);
    EXPECT_EQ(f.Top(), 220);
    EXPECT_EQ(f.Label7.Left(), 64);
    EXPECT_EQ(f.Edit1.Width(), 273);
    const HWND first = GetNextDlgTabItem(f.Handle(), nullptr, FALSE);
    EXPECT_EQ(first, f.Button1.Handle());
    EXPECT_EQ(GetNextDlgTabItem(f.Handle(), first, FALSE), f.Edit1.Handle());
}

TEST_F(Dialogs, AboutShowsItsCaptionsAndIcon) {
    TFormAbout& f = *FormAbout;
    EXPECT_EQ(f.Caption(), L"关于 :o");
    EXPECT_EQ(f.ClientWidth(), 210);
    EXPECT_EQ(f.ClientHeight(), 226);
    EXPECT_EQ(f.Label1.Caption(), L"ATRAC3 插件");
    EXPECT_EQ(f.Label1.Font().Name(), L"Arial");
    EXPECT_EQ(f.Label1.Font().Style(), fsBold);
    EXPECT_EQ(f.Label2.Caption(), L"版本 1.0");
    EXPECT_EQ(f.Label4.Caption(), L"MiniDisc 链接:");
    EXPECT_EQ(f.Label5.Caption(), L"补丁作者: Kelvane");
    EXPECT_FALSE(f.Label3.Caption().empty());
    EXPECT_FALSE(f.Label6.Caption().empty());
    EXPECT_FALSE(f.Label7.Caption().empty());
    EXPECT_EQ(f.Button1.Caption(), L"关闭(&C)");
    EXPECT_EQ(f.Bevel2.Top(), 130);
    EXPECT_EQ(f.Bevel3.Width(), 121);

    ASSERT_NE(f.Image2.Icon(), nullptr);
    EXPECT_EQ(f.Image2.Width(), 32);
    EXPECT_EQ(f.Image2.Height(), 32);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(f.Image2.Icon(), &info));
    BITMAP color = {};
    GetObjectW(info.hbmColor, sizeof color, &color);
    EXPECT_EQ(color.bmWidth, 32);
    EXPECT_EQ(color.bmHeight, 32);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
}

TEST_F(Dialogs, AboutLinksOpenTheirAddressesAndLeaveTheDialogOpen) {
    std::vector<std::wstring> opened;
    auto shell = std::move(FormAbout->OpenAddress);
    FormAbout->OpenAddress = [&](const std::wstring& address) { opened.push_back(address); };
    bool openAfterLinks = false;
    WhenShown([&] {
        Click(FormAbout->Label5);
        Click(FormAbout->Label6);
        Click(FormAbout->Label7);
        openAfterLinks = IsWindowVisible(FormAbout->Handle()) != FALSE;
        FormAbout->Button1.Click();
    });
    FormAbout->ShowModal();
    FormAbout->OpenAddress = std::move(shell);
    EXPECT_TRUE(openAfterLinks);
    EXPECT_FALSE(IsWindowVisible(FormAbout->Handle()));
    ASSERT_EQ(opened.size(), 3u);
    for (const auto& address : opened)
        EXPECT_EQ(address.rfind(L"https://example.", 0), 0u) << address;
    EXPECT_NE(opened[0], opened[1]);
    EXPECT_NE(opened[1], opened[2]);
}

}  // namespace
