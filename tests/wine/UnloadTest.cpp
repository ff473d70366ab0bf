// The library's life in a player's process: loaded, started, playing, and unloaded with or without
// Quit and Stop, again and again. An unload that hangs would hang this test too, so a watchdog
// ends the process with a message instead.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "engine/Morlune.h"
#include "host/InModule.h"
#include "host/Main.h"
#include "tests/wine/TestSupport.h"
#include "tools/mkmedia/MediaWriter.h"
#include "ui/UnitForm.h"

namespace {

constexpr wchar_t kOurWindowClass[] = L"Atrac3dsWindow";
constexpr wchar_t kOurTimerClass[] = L"Atrac3dsTimer";

bool InsideModule(HMODULE module, const void* address) {
    const auto base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto* at = static_cast<const unsigned char*>(address);
    return at >= base && at < base + nt->OptionalHeader.SizeOfImage;
}

// Ends the process if an unload does not come back: a hung FreeLibrary never returns to the test.
class Watchdog {
public:
    Watchdog() : done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        thread_ = CreateThread(nullptr, 0, &Watchdog::Watch, this, 0, nullptr);
    }
    ~Watchdog() {
        SetEvent(done_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        CloseHandle(done_);
    }
    void Arm(const char* what) { what_ = what; }

private:
    static DWORD WINAPI Watch(void* self) {
        auto* dog = static_cast<Watchdog*>(self);
        if (WaitForSingleObject(dog->done_, 60000) == WAIT_TIMEOUT) {
            fprintf(stderr, "unload hung: %s\n", dog->what_);
            fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
        return 0;
    }
    HANDLE done_;
    HANDLE thread_ = nullptr;
    const char* volatile what_ = "";
};

class Unload : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = testsupport::MakeTempDir("unload");
        wav_ = dir_ + "tone.wav";
        avi_ = dir_ + "clip.avi";
        ASSERT_TRUE(testsupport::WriteFileBytes(wav_, MakeToneWav(20000)));
        ASSERT_TRUE(testsupport::WriteFileBytes(avi_, MakeAvi(20000, 160, 120)));
    }
    static void TearDownTestSuite() { testsupport::RemoveTree(dir_); }

    In_Module* Load() { return testsupport::LoadPluginRecord(dll_); }

    // Plays until the position moves, as a player would see the track start.
    static int PlayUntilMoving(In_Module* mod, const std::string& file) {
        EXPECT_EQ(mod->Play(file.c_str()), 0) << file;
        int position = 0;
        for (int i = 0; i < 500 && position <= 0; ++i) {
            testsupport::PumpMessages(10);
            position = mod->GetOutputTime();
        }
        return position;
    }

    // FreeLibrary's own time, in milliseconds.
    DWORD TimedUnload() {
        const ULONGLONG start = GetTickCount64();
        EXPECT_TRUE(FreeLibrary(dll_));
        const auto ms = static_cast<DWORD>(GetTickCount64() - start);
        printf("unload ms=%lu\n", static_cast<unsigned long>(ms));
        return ms;
    }

    static std::string dir_;
    static std::string wav_;
    static std::string avi_;
    HMODULE dll_ = nullptr;
};

std::string Unload::dir_;
std::string Unload::wav_;
std::string Unload::avi_;

bool Loaded(const std::string& path) {
    return GetModuleHandleA(path.c_str()) != nullptr;
}

// Quit closes the graph, so its unload is the real one: nothing of ours is left behind. Without
// Quit the open graph keeps the library loaded, so that nothing it still runs is unmapped; the next
// load's Play closes that graph, and its Quit unloads for real.
TEST_F(Unload, WhilePlayingNeverHangsAndTheNextLoadStartsAfresh) {
    const std::string path = testsupport::ExeDir() + "in_atrac3ds.dll";
    Watchdog dog;
    for (int round = 1; round <= 3; ++round) {
        for (const std::string* file : {&wav_, &avi_}) {
            for (const bool quit : {true, false}) {
                SCOPED_TRACE(testing::Message()
                             << "round " << round << ", " << *file << (quit ? ", Quit" : ", no Quit"));
                HWND player = testsupport::MakePlayerWindow(L"UnloadTestPlayer");
                In_Module* mod = Load();
                ASSERT_NE(mod, nullptr);
                mod->hMainWindow = player;
                mod->Init();
                testsupport::PumpMessages(100);  // the settings timer's tick

                HWND video = FindWindowExW(player, nullptr, kOurWindowClass, nullptr);
                ASSERT_NE(video, nullptr);
                EXPECT_TRUE(InsideModule(dll_, reinterpret_cast<void*>(GetClassLongPtrW(video, GCLP_WNDPROC))));

                EXPECT_GT(PlayUntilMoving(mod, *file), 0);
                if (quit) {
                    mod->Quit();
                }
                const HMODULE gone = dll_;
                dog.Arm(file->c_str());
                EXPECT_LT(TimedUnload(), 2000u);

                if (quit) {
                    EXPECT_FALSE(Loaded(path));
                    EXPECT_EQ(FindWindowExW(player, nullptr, kOurWindowClass, nullptr), nullptr);
                    WNDCLASSEXW info{};
                    info.cbSize = sizeof info;
                    EXPECT_FALSE(GetClassInfoExW(reinterpret_cast<HINSTANCE>(gone), kOurWindowClass, &info));
                    EXPECT_FALSE(GetClassInfoExW(reinterpret_cast<HINSTANCE>(gone), kOurTimerClass, &info));
                } else {
                    EXPECT_TRUE(Loaded(path));
                }

                // The player goes on: its loop runs and its window closes, taking ours with it.
                testsupport::PumpMessages(300);
                EXPECT_TRUE(DestroyWindow(player));
            }
        }
    }

    // The last unload left a graph open: a new load closes it, and then unloads for real.
    HWND player = testsupport::MakePlayerWindow(L"UnloadTestPlayer");
    In_Module* mod = Load();
    ASSERT_NE(mod, nullptr);
    mod->hMainWindow = player;
    mod->Init();
    mod->Stop();
    mod->Quit();
    dog.Arm("after the last Stop");
    EXPECT_LT(TimedUnload(), 2000u);
    EXPECT_FALSE(Loaded(path));
    DestroyWindow(player);
}

// Another host may call before Init: each callback answers without touching what Init makes.
TEST_F(Unload, CallbacksBeforeInitDoNothingHarmful) {
    In_Module* mod = Load();
    ASSERT_NE(mod, nullptr);
    EXPECT_NE(mod->Play(wav_.c_str()), 0);
    EXPECT_EQ(mod->GetOutputTime(), -1);
    EXPECT_EQ(mod->GetLength(), 0);
    mod->Pause();
    mod->UnPause();
    mod->SetOutputTime(1000);
    mod->SetVolume(128);
    mod->Stop();
    mod->Config(nullptr);  // would block in a modal dialog if one were shown
    mod->About(nullptr);
    EXPECT_EQ(mod->InfoBox(wav_.c_str(), nullptr), 0);
    char title[MAX_PATH] = {};
    int length = -1;
    mod->GetFileInfo(wav_.c_str(), title, &length);
    EXPECT_STREQ(title, "tone.wav");
    EXPECT_EQ(length, 0);
    mod->Quit();
    EXPECT_LT(TimedUnload(), 2000u);
}

// An Init that made the video window and then failed leaves the other globals null; the callbacks
// must not reach for them, and a second Init completes the set.
TEST_F(Unload, CallbacksAfterAPartialInitDoNothingHarmfulAndInitCompletes) {
    HWND player = testsupport::MakePlayerWindow(L"UnloadTestPlayer");
    Module.hMainWindow = player;
    VideoForm = std::make_unique<TVideoForm>();
    ASSERT_FALSE(Engine);
    EXPECT_NE(Play(wav_.c_str()), 0);
    EXPECT_EQ(GetOutputTime(), -1);
    EXPECT_EQ(GetLength(), 0);
    Pause();
    UnPause();
    SetOutputTime(500);
    Config(nullptr);
    About(nullptr);
    Stop();

    Init();
    ASSERT_TRUE(Engine);
    EXPECT_EQ(Play(wav_.c_str()), 0);
    EXPECT_GT(Engine->GetDurationMs(), 0);
    Stop();
    Quit();
    ReleaseAtUnload();
    EXPECT_FALSE(VideoForm);
    Module.hMainWindow = nullptr;
    DestroyWindow(player);
}

}  // namespace
