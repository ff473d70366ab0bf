// The record as the player sees it: read through the loaded 64-bit DLL, not through our header.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/InModule.h"
#include "tests/wine/TestSupport.h"

namespace {

TEST(Record, ValuesAndBytesAsThePlayerReadsThem) {
    HMODULE dll = nullptr;
    In_Module* mod = testsupport::LoadPluginRecord(dll);
    ASSERT_NE(mod, nullptr);

    using GetModule = In_Module* (*)();
    auto get = reinterpret_cast<GetModule>(reinterpret_cast<void*>(GetProcAddress(dll, "winampGetInModule2")));
    EXPECT_EQ(get(), mod) << "every call returns the same record";

    EXPECT_EQ(mod->version, 0x100);
    const unsigned char description[] = {0x4B, 0x65, 0x6C, 0x76, 0x61, 0x6E, 0x65, 0x20, 0xB5, 0xC4, 0x20, 0x41, 0x54,
                                         0x52, 0x41, 0x43, 0x33, 0x20, 0x44, 0x53, 0x20, 0xB2, 0xE5, 0xBC, 0xFE, 0x00};
    ASSERT_NE(mod->description, nullptr);
    EXPECT_EQ(0, memcmp(mod->description, description, sizeof description));

    const char extensions[] = {'o', 'm', 'g', ';', 'o', 'm', 'a', 0, 0, 0};
    ASSERT_NE(mod->FileExtensions, nullptr);
    EXPECT_EQ(0, memcmp(mod->FileExtensions, extensions, sizeof extensions));

    EXPECT_EQ(mod->hMainWindow, nullptr);
    EXPECT_EQ(mod->hDllInstance, nullptr);
    EXPECT_EQ(mod->is_seekable, 1);
    EXPECT_EQ(mod->UsesOutputPlug, 0);

    // Every callback of ours is present; the player's own hooks are left for it to fill.
    EXPECT_TRUE(mod->Config && mod->About && mod->Init && mod->Quit && mod->GetFileInfo && mod->InfoBox &&
                mod->IsOurFile && mod->Play && mod->Pause && mod->UnPause && mod->IsPaused && mod->Stop &&
                mod->GetLength && mod->GetOutputTime && mod->SetOutputTime && mod->SetVolume && mod->SetPan &&
                mod->EQSet);
    EXPECT_FALSE(mod->SAVSAInit || mod->SAVSADeInit || mod->SAAddPCMData || mod->SAGetMode || mod->SAAdd ||
                 mod->VSAAddPCMData || mod->VSAGetMode || mod->VSAAdd || mod->VSASetInfo || mod->dsp_isactive ||
                 mod->dsp_dosamples || mod->SetInfo || mod->outMod);

    // The trivial callbacks, final: no file is claimed beyond the extension list.
    EXPECT_EQ(mod->IsOurFile("C:\\music\\a.oma"), 0);
    EXPECT_EQ(mod->IsOurFile("C:\\music\\a.omg"), 0);
    EXPECT_EQ(mod->IsOurFile(""), 0);
    mod->SetPan(-127);
    char eq[10] = {};
    mod->EQSet(1, eq, 31);
}

TEST(Record, TheDllExportsTheRecordAndTheExtendedExportsUndecorated) {
    HMODULE dll = nullptr;
    ASSERT_NE(testsupport::LoadPluginRecord(dll), nullptr);
    auto base = reinterpret_cast<const unsigned char*>(dll);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(dir.VirtualAddress, 0u);
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    auto names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::vector<std::string> found;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        found.emplace_back(reinterpret_cast<const char*>(base + names[i]));
    }
    // The export table lists its names sorted; winampUseUnifiedFileInfoDlg is not among them, so
    // the player keeps showing the plug-in's own info dialog.
    const std::vector<std::string> expected = {
        "winampGetExtendedFileInfo",     "winampGetExtendedFileInfoW", "winampGetExtendedRead_close",
        "winampGetExtendedRead_getData", "winampGetExtendedRead_open", "winampGetExtendedRead_openW",
        "winampGetExtendedRead_setTime", "winampGetInModule2",         "winampSetExtendedFileInfo",
        "winampSetExtendedFileInfoW",    "winampWriteExtendedFileInfo"};
    EXPECT_EQ(found, expected);
}

TEST(Record, StandInPlayerLoadsThePluginAndPrintsTheRecord) {
    std::string out;
    std::string cmd = testsupport::Quote(testsupport::ExeDir() + "host.exe") + " --record";
    int rc = testsupport::RunCapture(cmd, out);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("load ok same-record=1"), std::string::npos) << out;
    EXPECT_NE(out.find("record version=0x100"), std::string::npos) << out;
    EXPECT_NE(out.find("record description.hex=4B656C76616E6520B5C42041545241433320445320B2E5BCFE"), std::string::npos)
        << out;
    EXPECT_NE(out.find("record extensions.hex=6F6D673B6F6D61000000"), std::string::npos) << out;
    EXPECT_NE(out.find("unload done"), std::string::npos) << out;
}

}  // namespace
