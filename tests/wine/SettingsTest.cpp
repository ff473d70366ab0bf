// The settings store on real files through the platform's profile calls, in a scratch folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "base/Exception.h"
#include "base/Paths.h"
#include "settings/AmpShell.h"
#include "tests/wine/TestSupport.h"

namespace {

using testsupport::ReadFileBytes;

class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testsupport::MakeTempDir("settings");
        SetSettingsFolder(dir_.substr(0, dir_.size() - 1));
        file_ = dir_ + "MorlunePlugin.INI";
    }
    void TearDown() override {
        SetSettingsFolder("");
        testsupport::RemoveTree(dir_);
    }
    std::string dir_;
    std::string file_;
    TAmpShell store_;
};

TEST_F(Settings, EachTypeRoundTripsInItsOwnSection) {
    store_.WriteInteger(-2147483647 - 1, "Min");
    store_.WriteInteger(8421504, "Color");
    store_.WriteBool(true, "On");
    store_.WriteBool(false, "Off");
    store_.WriteString("\xCB\xCE\xCC\xE5 Arial", "Font");  // 宋体 in code page 936

    int32_t min = 0, color = 0;
    store_.ReadInteger(min, "Min");
    store_.ReadInteger(color, "Color");
    bool on = false, off = true;
    store_.ReadBool(on, "On");
    store_.ReadBool(off, "Off");
    std::string font;
    store_.ReadString(font, "Font");
    EXPECT_EQ(min, -2147483647 - 1);
    EXPECT_EQ(color, 8421504);
    EXPECT_TRUE(on);
    EXPECT_FALSE(off);
    EXPECT_EQ(font, "\xCB\xCE\xCC\xE5 Arial");

    // The types do not share keys: each section is its own.
    int32_t fromWrongSection = 77;
    store_.ReadInteger(fromWrongSection, "On");
    EXPECT_EQ(fromWrongSection, 77);

    const std::string bytes = ReadFileBytes(file_);
    EXPECT_NE(bytes.find("[Integers]\r\nMin=-2147483648\r\nColor=8421504\r\n"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("[Boolean]\r\nOn=1\r\nOff=0\r\n"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("[Strings]\r\nFont=\xCB\xCE\xCC\xE5 Arial\r\n"), std::string::npos) << bytes;
}

TEST_F(Settings, AMissingKeyOrFileGivesBackExactlyThePassedValue) {
    std::string text = "  padded default with spaces  ";
    std::string longText(3000, 'x');
    int32_t number = -42;
    bool flag = true;
    store_.ReadString(text, "Nothing");  // no file at all yet
    store_.ReadString(longText, "Nothing");
    store_.ReadInteger(number, "Nothing");
    store_.ReadBool(flag, "Nothing");
    EXPECT_EQ(text, "  padded default with spaces  ");
    EXPECT_EQ(longText, std::string(3000, 'x'));
    EXPECT_EQ(number, -42);
    EXPECT_TRUE(flag);
    EXPECT_EQ(GetFileAttributesA(file_.c_str()), INVALID_FILE_ATTRIBUTES) << "reads never create the file";

    // An empty stored text is a value, not a missing key.
    store_.WriteString("", "Empty");
    store_.ReadString(text, "Empty");
    EXPECT_EQ(text, "");
}

// The parsers have their own tests; here the texts come out of a real file.
TEST_F(Settings, ValueTextsAreReadAsNumbers) {
    ASSERT_TRUE(testsupport::WriteFileBytes(
        file_, "[integers]\r\nHex=0x1F\r\nTrail=12abc\r\n[BOOLEAN]\r\nTwo=2\r\nWord=yes\r\nZero=0\r\n"));
    int32_t hex = 0, trail = 9;
    store_.ReadInteger(hex, "hex");  // names compare without regard to case
    store_.ReadInteger(trail, "Trail");
    EXPECT_EQ(hex, 31);
    EXPECT_EQ(trail, 9);

    bool two = false, wordTrue = true, wordFalse = false, zero = true;
    store_.ReadBool(two, "Two");
    store_.ReadBool(wordTrue, "Word");
    store_.ReadBool(wordFalse, "Word");
    store_.ReadBool(zero, "Zero");
    EXPECT_TRUE(two);
    EXPECT_TRUE(wordTrue);
    EXPECT_FALSE(wordFalse);
    EXPECT_FALSE(zero);
}

TEST_F(Settings, LongTextsAreCutAt2047Bytes) {
    std::string stored(3000, 'a');
    for (size_t i = 0; i < stored.size(); ++i)
        stored[i] = static_cast<char>('a' + i % 26);
    store_.WriteString(stored, "Long");
    std::string exact(2047, 'b');
    store_.WriteString(exact, "Exact");
    std::string back, exactBack;
    store_.ReadString(back, "Long");
    store_.ReadString(exactBack, "Exact");
    EXPECT_EQ(back.size(), 2047u);
    EXPECT_EQ(back, stored.substr(0, 2047));
    EXPECT_EQ(exactBack, exact);
    EXPECT_NE(ReadFileBytes(file_).find(stored), std::string::npos) << "the whole text is in the file";
}

TEST_F(Settings, AChangeMadeBehindTheStoresBackIsSeen) {
    store_.WriteInteger(1, "Time");
    int32_t time = 0;
    store_.ReadInteger(time, "Time");
    EXPECT_EQ(time, 1);
    Sleep(20);
    ASSERT_TRUE(testsupport::WriteFileBytes(file_, "[Integers]\r\nTime=3\r\n"));
    store_.ReadInteger(time, "Time");
    EXPECT_EQ(time, 3);

    // Writes replace in place, append missing keys to their section and keep everything else.
    ASSERT_TRUE(testsupport::WriteFileBytes(file_, "; note\r\n[Integers]\r\nTime=3\r\nOther=4\r\n[Mine]\r\nx=y\r\n"));
    store_.WriteInteger(2, "time");
    store_.WriteInteger(5, "New");
    const std::string bytes = ReadFileBytes(file_);
    EXPECT_NE(bytes.find("; note"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("[Integers]\r\nTime=2\r\nOther=4\r\nNew=5\r\n"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("[Mine]\r\nx=y"), std::string::npos) << bytes;
}

TEST_F(Settings, ARefusedWriteThrowsWithThePathAndKeepsWhatWasWritten) {
    store_.WriteInteger(7, "Kept");
    // Another program holding the file without sharing it: the platform refuses the write.
    HANDLE lock = CreateFileA(file_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    try {
        store_.WriteString("lost", "Font");
        ADD_FAILURE() << "no error for a locked file";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), L"Unable to write to " + std::wstring(file_.begin(), file_.end()));
    }
    CloseHandle(lock);
    EXPECT_EQ(ReadFileBytes(file_), "[Integers]\r\nKept=7\r\n");

    ASSERT_TRUE(DeleteFileA(file_.c_str()));
    ASSERT_TRUE(CreateDirectoryA(file_.c_str(), nullptr));  // a folder where the file should be
    EXPECT_THROW(store_.WriteBool(true, "TimeBar"), Exception);
}

TEST(SettingsPath, ComesFromTheRunningExecutablesFolder) {
    // Worked out here from the module's own name, not through the helpers under test.
    char self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    std::string dir = self;
    dir.resize(dir.find_last_of('\\'));
    EXPECT_EQ(HostExeDir(), dir);
    EXPECT_EQ(TAmpShell().SettingsBasePath(), dir + "\\MorlunePlugin");
    EXPECT_EQ(testsupport::ExeDir(), dir + "\\");
}

}  // namespace
