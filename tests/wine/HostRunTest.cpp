// The settings file as the player meets it: the stand-in player with the plug-in, run in a fresh
// folder, where the settings file appears beside the player's executable.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/wine/TestSupport.h"

namespace {

using testsupport::ReadFileBytes;

void Replace(std::string& text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

class HostRun : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testsupport::MakeProgramFolder("hostrun", {"host.exe", "in_atrac3ds.dll"});
        file_ = dir_ + "MorlunePlugin.INI";
    }
    void TearDown() override { testsupport::RemoveTree(dir_); }

    std::string Run(const std::string& script = "") {
        std::string command = testsupport::Quote(dir_ + "host.exe");
        command.append(" --dll ").append(testsupport::Quote(dir_ + "in_atrac3ds.dll"));
        command.append(" --auto-close-boxes --seconds 2");
        if (!script.empty())
            command.append(" --script ").append(testsupport::Quote(script));
        std::string output;
        EXPECT_EQ(testsupport::RunCapture(command, output), 0) << output;
        EXPECT_EQ(output.find("box "), std::string::npos) << output;
        return output;
    }
    std::string dir_;
    std::string file_;
};

TEST_F(HostRun, FirstRunWritesDefaultsNextLoadsThemAndAHandEditIsHonoured) {
    Run();
    std::string first = ReadFileBytes(file_);
    EXPECT_NE(first.find("\r\nTmPanel=1\r\n"), std::string::npos) << first;
    EXPECT_NE(first.find("\r\nMantainaspectratio_Menu=1\r\n"), std::string::npos) << first;
    EXPECT_NE(first.find("[Boolean]\r\nTimeBar=1\r\n[Strings]\r\nFont=Arial\r\nFontS=1\r\n"
                         "[Integers]\r\nColor=8421504\r\nFontSz=12\r\nTime=0\r\n"),
              std::string::npos)
        << first;

    // A later start loads: a key taken out stays out, where a save would have put it back.
    std::string trimmed = first;
    Replace(trimmed, "FontSz=12\r\nTime=0\r\n", "FontSz=12\r\n");
    ASSERT_TRUE(testsupport::WriteFileBytes(file_, trimmed));
    Run();
    EXPECT_EQ(ReadFileBytes(file_), trimmed);

    std::string edited = first;
    Replace(edited, "TimeBar=1", "TimeBar=0");
    Replace(edited, "Time=0", "Time=2");
    ASSERT_TRUE(testsupport::WriteFileBytes(file_, edited));
    // Saving from the dialog writes what the start-up load put into force.
    const std::string output = Run("wait 300; config; click \xB1\xA3\xB4\xE6(&S); click \xB9\xD8\xB1\xD5(&C)");
    EXPECT_NE(output.find("config closed"), std::string::npos) << output;
    const std::string saved = ReadFileBytes(file_);
    EXPECT_NE(saved.find("\r\nTmPanel=0\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\r\nTimeBar=0\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\r\nTime=2\r\n"), std::string::npos) << saved;
}

}  // namespace
