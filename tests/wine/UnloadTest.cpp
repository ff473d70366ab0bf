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

using ReadOpenW = intptr_t(__cdecl*)(const wchar_t*, int*, int*, int*, int*);
using ReadGetData = intptr_t(__cdecl*)(intptr_t, char*, size_t, int*);
using ReadClose = void(__cdecl*)(intptr_t);

// Waits a little for the library to go: a close lets go of it through the thread pool.
bool UnloadedWithin(const std::string& path, DWORD ms) {
    const ULONGLONG start = GetTickCount64();
    while (Loaded(path)) {
        if (GetTickCount64() - start > ms)
            return false;
        Sleep(20);
    }
    return true;
}

// An open extended-read handle keeps the library loaded as an open graph does: a host that
// unloads us with a handle open still reads and closes it, and then the library goes. Where Init
// made windows, which only the UI thread may destroy, it goes at the player's next call instead.
TEST_F(Unload, AnOpenExtendedReadHandleKeepsTheLibraryUntilItsClose) {
    const std::string path = testsupport::ExeDir() + "in_atrac3ds.dll";
    // LPCM needs no decoder: the 96-byte header (codec 4 at byte 32) and 100 frames.
    std::string lpcm(96, '\0');
    lpcm.replace(0, 8, std::string("EA3\x01\x00\x60\xFF\xFF", 8));
    lpcm[32] = 4;
    lpcm.append(100 * 1024, '\x11');
    const std::string file = dir_ + "pcm.oma";
    ASSERT_TRUE(testsupport::WriteFileBytes(file, lpcm));
    const std::wstring wideFile(file.begin(), file.end());
    Watchdog dog;
    dog.Arm("extended read");

    for (const bool init : {false, true}) {
        SCOPED_TRACE(init ? "after Init" : "without Init");
        HWND player = testsupport::MakePlayerWindow(L"UnloadTestPlayer");
        In_Module* mod = Load();
        ASSERT_NE(mod, nullptr);
        if (init) {
            mod->hMainWindow = player;
            mod->Init();
            testsupport::PumpMessages(100);
        }
        const auto open =
            reinterpret_cast<ReadOpenW>(reinterpret_cast<void*>(GetProcAddress(dll_, "winampGetExtendedRead_openW")));
        const auto getData = reinterpret_cast<ReadGetData>(
            reinterpret_cast<void*>(GetProcAddress(dll_, "winampGetExtendedRead_getData")));
        const auto close =
            reinterpret_cast<ReadClose>(reinterpret_cast<void*>(GetProcAddress(dll_, "winampGetExtendedRead_close")));
        ASSERT_TRUE(open && getData && close);
        int size = 0, bps = 0, nch = 0, srate = 0;
        const intptr_t handle = open(wideFile.c_str(), &size, &bps, &nch, &srate);
        ASSERT_NE(handle, 0);
        EXPECT_EQ(size, 100 * 1024);
        if (init)
            mod->Quit();
        EXPECT_TRUE(FreeLibrary(dll_));
        ASSERT_TRUE(Loaded(path)) << "unloaded under an open handle";

        char buffer[4096];
        int never = 0;
        EXPECT_EQ(getData(handle, buffer, sizeof buffer, &never), 4096);
        EXPECT_EQ(buffer[4095], '\x11');
        close(handle);
        if (!init) {
            EXPECT_TRUE(UnloadedWithin(path, 5000)) << "the close let the library go";
        } else {
            // The windows still belong to the player's thread: the library waits for its next call.
            testsupport::PumpMessages(300);
            ASSERT_TRUE(Loaded(path));
            mod = Load();
            ASSERT_NE(mod, nullptr);
            mod->Stop();
            mod->Quit();
            EXPECT_LT(TimedUnload(), 2000u);
            EXPECT_FALSE(Loaded(path));
            EXPECT_EQ(FindWindowExW(player, nullptr, kOurWindowClass, nullptr), nullptr);
        }
        DestroyWindow(player);
    }
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
