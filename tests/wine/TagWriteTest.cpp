// The writing exports as the player's library and ReplayGain call them, on copies of the real
// media: set "title" first, then the rest, write, read back through both reading exports, play.
// Every refusal leaves the bytes and the last-write time as they were; a write while the record
// plays the file leaves the playback whole; a full disk and a writer killed at many points leave
// the old bytes or the new ones, never anything else.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "base/AnsiText.h"
#include "host/AtomicReplace.h"
#include "host/TagFileWriter.h"
#include "oma/Ea3TagWriter.h"
#include "tests/wine/MediaDir.h"
#include "tests/wine/TestSupport.h"

namespace {

using GetInfoA = int(__cdecl*)(const char*, const char*, char*, int);
using GetInfoW = int(__cdecl*)(const wchar_t*, const char*, wchar_t*, int);
using SetInfoA = int(__cdecl*)(const char*, const char*, const char*);
using SetInfoW = int(__cdecl*)(const wchar_t*, const char*, const wchar_t*);
using WriteInfo = int(__cdecl*)();

HMODULE dll = nullptr;
GetInfoA infoA = nullptr;
GetInfoW infoW = nullptr;
SetInfoA setA = nullptr;
SetInfoW setW = nullptr;
WriteInfo writeInfo = nullptr;
std::string dir;

template <class Function>
Function Export(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

std::wstring FieldW(const std::wstring& file, const char* field) {
    wchar_t buffer[1024];
    if (!infoW(file.c_str(), field, buffer, 1024)) {
        return L"<0>";
    }
    return buffer;
}

std::string FieldA(const std::string& file, const char* field) {
    char buffer[1024] = "";
    if (!infoA(file.c_str(), field, buffer, sizeof buffer)) {
        return "<0>";
    }
    return buffer;
}

std::string Copy(const char* medium, const std::string& name) {
    const std::string path = dir + name;
    (void)SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(testsupport::WriteFileBytes(path, testsupport::ReadFileBytes(testmedia::Path(medium))));
    return path;
}

FILETIME LastWrite(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA facts{};
    (void)GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &facts);
    return facts.ftLastWriteTime;
}

// Names left in the folder by a write: there must be none once a write has answered.
std::vector<std::string> Leftovers() {
    std::vector<std::string> found;
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA((dir + "*~").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            found.emplace_back(data.cFileName);
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    return found;
}

std::wstring Gain(double db) {
    wchar_t text[64];
    swprintf(text, 64, L"%-+.2f dB", db);
    return text;
}

std::wstring Peak(double peak) {
    wchar_t text[64];
    swprintf(text, 64, L"%-.9f", peak);
    return text;
}

LRESULT CALLBACK QuietPlayer(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_USER) {
        return 0;  // shuffle and repeat off: the track stops at its end
    }
    return DefWindowProcW(w, msg, wp, lp);
}

struct Played {
    int length = -1;        // GetLength at the start
    int lengthAtEnd = -1;   // and at the end
    int lastPosition = -1;  // the furthest position the polls read
    bool stopped = false;   // the position fell back: the record ended the track
};

// Plays a file through the record, polling as the player does, until the position falls back
// (the track stopped at its end) or stands still; during runs once, shortly after the start.
template <class During>
Played PlayToEnd(const std::string& path, DWORD limitMs, During during) {
    Played played;
    HMODULE module = nullptr;
    In_Module* mod = testsupport::LoadPluginRecord(module);
    EXPECT_TRUE(mod);
    if (!mod) {
        return played;
    }
    HWND player = testsupport::MakePlayerWindow(L"TagWritePlayer", QuietPlayer);
    mod->hMainWindow = player;
    mod->Init();
    if (mod->Play(path.c_str()) == 0) {
        played.length = mod->GetLength();
        testsupport::PumpMessages(300);
        during();
        const DWORD start = GetTickCount();
        DWORD still = GetTickCount();
        while (GetTickCount() - start < limitMs) {
            testsupport::PumpMessages(100);
            const int position = mod->GetOutputTime();
            if (position > played.lastPosition) {
                played.lastPosition = position;
                still = GetTickCount();
            } else if (position < played.lastPosition || GetTickCount() - still > 1500) {
                played.stopped = position < played.lastPosition;
                break;
            }
        }
        played.lengthAtEnd = mod->GetLength();
        mod->Stop();
    }
    mod->Quit();
    DestroyWindow(player);
    return played;
}

// The record ends a track at the first poll within 500 ms of its length; the polls here come
// every 100 ms, and Wine's renderer reports positions up to about 100 ms early or late.
void ExpectPlayedToTheEnd(const Played& played, const std::wstring& length) {
    EXPECT_EQ(std::to_wstring(played.length), length);
    EXPECT_EQ(played.lengthAtEnd, played.length);
    EXPECT_TRUE(played.stopped) << "the record ended the track";
    EXPECT_GE(played.lastPosition, played.length - 500 - 250) << "played to its end";
    EXPECT_LE(played.lastPosition, played.length);
}

class TagWrite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dll = LoadLibraryA((testsupport::ExeDir() + "in_atrac3ds.dll").c_str());
        ASSERT_TRUE(dll);
        infoA = Export<GetInfoA>("winampGetExtendedFileInfo");
        infoW = Export<GetInfoW>("winampGetExtendedFileInfoW");
        setA = Export<SetInfoA>("winampSetExtendedFileInfo");
        setW = Export<SetInfoW>("winampSetExtendedFileInfoW");
        writeInfo = Export<WriteInfo>("winampWriteExtendedFileInfo");
        dir = testsupport::MakeTempDir("tagwrite");
    }
    static void TearDownTestSuite() { testsupport::RemoveTree(dir); }
    void SetUp() override { ASSERT_TRUE(infoA && infoW && setA && setW && writeInfo); }
};

TEST_F(TagWrite, TheLibraryEditorsRoadOnTheRealMedia) {
    for (const char* medium : {"atrac3_lp2_2500ms.oma", "atrac3plus_352k_tone_10s.oma"}) {
        SKIP_WITHOUT_MEDIA(medium);
        SCOPED_TRACE(medium);
        const std::string path = Copy(medium, std::string("road-") + medium);
        const std::wstring wide = AnsiToWide(path);
        const std::wstring lengthBefore = FieldW(wide, "length");
        const std::wstring trackGain = Gain(-6.5449), trackPeak = Peak(0.98765432123);
        EXPECT_EQ(trackGain, L"-6.54 dB");
        const std::pair<const char*, std::wstring> fields[] = {
            {"title", L"标题 \U0001F3B5 Title"},
            {"artist", L"艺术家"},
            {"album", L"Caf\u00E9"},
            {"albumartist", L"Various"},
            {"year", L"2024"},
            {"genre", L"流行"},
            {"track", L"3/12"},
            {"disc", L"1/2"},
            {"composer", L"作曲家"},
            {"publisher", L"Label"},
            {"comment", L"注释 comment"},
            {"REPLAYGAIN_TRACK_GAIN", trackGain},
            {"replaygain_track_peak", trackPeak},
            {"replaygain_album_gain", Gain(1.2)},
            {"replaygain_album_peak", Peak(1.0)},
        };
        for (const auto& [field, value] : fields) {
            EXPECT_EQ(setW(wide.c_str(), field, value.c_str()), 1) << field;
        }
        EXPECT_EQ(setW(wide.c_str(), "bpm", L"120"), 0) << "not a field the library writes";
        EXPECT_EQ(setW(wide.c_str(), "length", L"1"), 0);
        EXPECT_EQ(writeInfo(), 1);
        EXPECT_TRUE(Leftovers().empty());
        for (const auto& [field, value] : fields) {
            // The reading exports name the track "tracknumber".
            const char* read = std::string(field) == "track" ? "tracknumber" : field;
            EXPECT_EQ(FieldW(wide, read), value) << field;
            EXPECT_EQ(FieldA(path, read), WideToAnsi(value)) << field;
        }
        EXPECT_EQ(FieldW(wide, "length"), lengthBefore);
        EXPECT_EQ(writeInfo(), 0) << "nothing is pending after a write";

        // An empty value removes a field; the others stay.
        EXPECT_EQ(setW(wide.c_str(), "title", L"Only the title"), 1);
        EXPECT_EQ(setW(wide.c_str(), "comment", L""), 1);
        EXPECT_EQ(writeInfo(), 1);
        EXPECT_EQ(FieldW(wide, "title"), L"Only the title");
        EXPECT_EQ(FieldW(wide, "comment"), L"<0>");
        EXPECT_EQ(FieldW(wide, "artist"), L"艺术家");

        ExpectPlayedToTheEnd(PlayToEnd(path, 20000, [] {}), lengthBefore);
    }
}

TEST_F(TagWrite, TheAnsiSetTakesCodePage936) {
    SKIP_WITHOUT_MEDIA("atrac3_lp2_2500ms.oma");
    const std::string path = Copy("atrac3_lp2_2500ms.oma", "ansi.oma");
    // 中文 in code page 936.
    EXPECT_EQ(setA(path.c_str(), "title", "\xD6\xD0\xCE\xC4"), 1);
    EXPECT_EQ(setA(path.c_str(), "artist", "plain"), 1);
    EXPECT_EQ(writeInfo(), 1);
    EXPECT_EQ(FieldW(AnsiToWide(path), "title"), L"中文");
    EXPECT_EQ(FieldA(path, "artist"), "plain");
}

TEST_F(TagWrite, EditsWaitForTheFileNamedLastOnly) {
    SKIP_WITHOUT_MEDIA("atrac3_lp2_2500ms.oma");
    const std::wstring a = AnsiToWide(Copy("atrac3_lp2_2500ms.oma", "first.oma"));
    const std::wstring b = AnsiToWide(Copy("atrac3_lp2_2500ms.oma", "second.oma"));
    const std::string before = testsupport::ReadFileBytes(WideToAnsi(a));
    EXPECT_EQ(setW(a.c_str(), "title", L"for a"), 1);
    EXPECT_EQ(setW(b.c_str(), "title", L"for b"), 1);
    EXPECT_EQ(writeInfo(), 1);
    EXPECT_EQ(FieldW(b, "title"), L"for b");
    EXPECT_EQ(testsupport::ReadFileBytes(WideToAnsi(a)), before);
}

// The front reads are kept by name, size and last write: a rewrite of the same size whose last
// write reads the same (a file system with a coarse clock) must not answer the old text.
TEST_F(TagWrite, ASameSizeRewriteIsReadAtOnce) {
    SKIP_WITHOUT_MEDIA("atrac3_lp2_2500ms.oma");
    const std::string path = Copy("atrac3_lp2_2500ms.oma", "same-size.oma");
    const std::wstring wide = AnsiToWide(path);
    EXPECT_EQ(setW(wide.c_str(), "title", L"AAAA"), 1);
    EXPECT_EQ(writeInfo(), 1);
    const FILETIME first = LastWrite(path);
    for (const wchar_t* title : {L"AAAA", L"BBBB", L"CCCC"}) {
        EXPECT_EQ(setW(wide.c_str(), "title", title), 1);
        EXPECT_EQ(writeInfo(), 1);
        HANDLE file =
            CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &first));
        CloseHandle(file);
        EXPECT_EQ(FieldW(wide, "title"), title);
        EXPECT_EQ(FieldW(wide, "length"), L"2481");
    }
}

struct Refused {
    std::string name;
    std::string path;
};

TEST_F(TagWrite, RefusalsLeaveTheBytesAndTheLastWriteAlone) {
    SKIP_WITHOUT_MEDIA("atrac3_lp2_2500ms.oma");
    const std::string plain = testsupport::ReadFileBytes(testmedia::Path("atrac3_lp2_2500ms.oma"));
    std::vector<Refused> cases;
    {
        std::string encrypted = plain;
        encrypted[6] = 0x00;  // an encryption id other than 0xFFFF and 0xFF80
        encrypted[7] = 0x01;
        ASSERT_TRUE(testsupport::WriteFileBytes(dir + "encrypted.oma", encrypted));
        cases.push_back({"encrypted", dir + "encrypted.oma"});
    }
    {
        const std::string path = Copy("atrac3_lp2_2500ms.oma", "readonly.oma");
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
        cases.push_back({"read-only", path});
    }
    ASSERT_TRUE(testsupport::WriteFileBytes(dir + "noise.oma", testsupport::NoiseBytes(50000, 7)));
    cases.push_back({"not OMA", dir + "noise.oma"});
    ASSERT_TRUE(CreateDirectoryA((dir + "folder.oma").c_str(), nullptr));
    cases.push_back({"directory", dir + "folder.oma"});
    cases.push_back({"missing", dir + "missing.oma"});
    Sleep(50);  // a rewrite now would have another last-write time
    for (const Refused& c : cases) {
        SCOPED_TRACE(c.name);
        const bool isFile = c.name != "directory" && c.name != "missing";
        const std::string bytes = isFile ? testsupport::ReadFileBytes(c.path) : "";
        const FILETIME written = LastWrite(c.path);
        const std::wstring wide = AnsiToWide(c.path);
        EXPECT_EQ(setW(wide.c_str(), "title", L"refused"), 0);
        EXPECT_EQ(setA(c.path.c_str(), "artist", "refused"), 0);
        EXPECT_EQ(writeInfo(), 0);
        if (isFile) {
            EXPECT_EQ(testsupport::ReadFileBytes(c.path), bytes);
        }
        const FILETIME now = LastWrite(c.path);
        EXPECT_EQ(CompareFileTime(&written, &now), 0);
    }
    EXPECT_TRUE(GetFileAttributesA((dir + "readonly.oma").c_str()) & FILE_ATTRIBUTE_READONLY) << "never cleared";
    EXPECT_EQ(GetFileAttributesA((dir + "missing.oma").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(Leftovers().empty());

    // Held for writing by another program: the set may pass, the write must not.
    const std::string held = Copy("atrac3_lp2_2500ms.oma", "held.oma");
    const std::string heldBytes = testsupport::ReadFileBytes(held);
    HANDLE other = CreateFileA(held.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    (void)setW(AnsiToWide(held).c_str(), "title", L"locked");
    EXPECT_EQ(writeInfo(), 0);
    CloseHandle(other);
    EXPECT_EQ(testsupport::ReadFileBytes(held), heldBytes);
    EXPECT_TRUE(Leftovers().empty());
    EXPECT_EQ(writeInfo(), 1) << "the edit waits for a retry";
    EXPECT_EQ(FieldW(AnsiToWide(held), "title"), L"locked");

    // Read by a program that does not share deletion (a file source of the machine's own
    // filters): nothing may rename it, so the write answers 0.
    const std::string reading = Copy("atrac3_lp2_2500ms.oma", "reading.oma");
    const std::string readingBytes = testsupport::ReadFileBytes(reading);
    HANDLE reader = CreateFileA(reading.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(setW(AnsiToWide(reading).c_str(), "title", L"not now"), 1);
    EXPECT_EQ(writeInfo(), 0);
    CloseHandle(reader);
    EXPECT_EQ(testsupport::ReadFileBytes(reading), readingBytes);
    EXPECT_TRUE(Leftovers().empty());
}

// The source reads through a handle that shares writing and deletion, so the file is replaced
// under it: it goes on reading the old file to its end, with the old length.
TEST_F(TagWrite, AWriteWhileTheRecordPlaysTheFileLeavesThePlaybackWhole) {
    SKIP_WITHOUT_MEDIA("atrac3_lp2_2500ms.oma");
    const std::string path = Copy("atrac3_lp2_2500ms.oma", "playing.oma");
    const std::wstring wide = AnsiToWide(path);
    const std::wstring length = FieldW(wide, "length");
    int written = -1;
    const std::wstring title(500, L'长');  // the header moves
    const Played played = PlayToEnd(path, 20000, [&] {
        EXPECT_EQ(setW(wide.c_str(), "title", title.c_str()), 1);
        written = writeInfo();
    });
    EXPECT_EQ(written, 1);
    ExpectPlayedToTheEnd(played, length);
    EXPECT_TRUE(FieldW(wide, "title") == title) << "the new title";
    EXPECT_EQ(FieldW(wide, "length"), length);
    EXPECT_TRUE(Leftovers().empty()) << "the old file went once playback closed it";
}

TEST_F(TagWrite, AFullDiskLeavesTheOldBytes) {
    SKIP_WITHOUT_MEDIA("atrac3_lp4_mix_20s.oma");
    const std::string path = Copy("atrac3_lp4_mix_20s.oma", "full.oma");
    const std::string before = testsupport::ReadFileBytes(path);
    for (DWORD room : {DWORD{0}, DWORD{100}, DWORD{3072}, DWORD{100000}}) {
        SCOPED_TRACE(room);
        DWORD used = 0;
        TagWriteSeams seams;
        seams.write = [&](HANDLE file, const void* bytes, DWORD size) {
            DWORD fits = std::min(size, room - used);
            DWORD written = 0;
            if (fits > 0 && (!WriteFile(file, bytes, fits, &written, nullptr) || written != fits)) {
                return false;
            }
            used += fits;
            if (fits < size) {
                SetLastError(ERROR_DISK_FULL);
                return false;
            }
            return true;
        };
        EXPECT_FALSE(WriteTagFile(AnsiToWide(path), {{TagField::Title, u"does not fit"}}, seams));
        EXPECT_EQ(testsupport::ReadFileBytes(path), before);
        EXPECT_TRUE(Leftovers().empty());
    }
    EXPECT_TRUE(WriteTagFile(AnsiToWide(path), {{TagField::Title, u"fits"}}));
}

TEST_F(TagWrite, LeftoversOfAnInterruptedWriteGoTheNextTime) {
    SKIP_WITHOUT_MEDIA("atrac3_lp2_2500ms.oma");
    const std::string path = Copy("atrac3_lp2_2500ms.oma", "leftover.oma");
    const std::wstring wide = AnsiToWide(path);
    const std::string old = testsupport::ReadFileBytes(path);
    ASSERT_TRUE(testsupport::WriteFileBytes(WideToAnsi(ReplacementName(wide)), "half a file"));
    ASSERT_TRUE(testsupport::WriteFileBytes(WideToAnsi(BackupName(wide, 7)), "an old backup"));
    EXPECT_EQ(setW(wide.c_str(), "title", L"after"), 1);
    EXPECT_EQ(writeInfo(), 1);
    EXPECT_TRUE(Leftovers().empty());

    // Cut between the replace's two renames: the name is gone, the old bytes wait as a backup.
    ASSERT_TRUE(MoveFileA(path.c_str(), WideToAnsi(BackupName(wide, 8)).c_str()));
    ASSERT_TRUE(testsupport::WriteFileBytes(WideToAnsi(ReplacementName(wide)), "half a file"));
    EXPECT_EQ(setW(wide.c_str(), "title", L"again"), 1);
    EXPECT_TRUE(Leftovers().empty());
    EXPECT_EQ(FieldW(wide, "title"), L"after");
    EXPECT_EQ(writeInfo(), 1);
    EXPECT_EQ(FieldW(wide, "title"), L"again");
    (void)old;
}

// A writer killed anywhere: at random moments while it writes the new file, and around the
// replace. The file is the old bytes or the new ones every time, and the next write succeeds.
TEST_F(TagWrite, AWriterKilledAtManyPointsLosesNothing) {
    SKIP_WITHOUT_MEDIA("atrac3_lp2_tone_10s.oma");
    // About 24 MB, so that the copy takes long enough to be killed inside it.
    const std::string medium = testsupport::ReadFileBytes(testmedia::Path("atrac3_lp2_tone_10s.oma"));
    std::string big = medium;
    while (big.size() < 24u << 20) {
        big.append(medium, 96, medium.size() - 96);
    }
    const std::string path = dir + "killed.oma";
    ASSERT_TRUE(testsupport::WriteFileBytes(path, big));
    const std::string child = testsupport::ExeDir() + "tag_write_child.exe";
    HANDLE started = CreateEventW(nullptr, TRUE, FALSE, L"TagWriteStarted");
    HANDLE replacing = CreateEventW(nullptr, TRUE, FALSE, L"TagWriteReplacing");
    ASSERT_TRUE(started && replacing);

    const auto launch = [&](const std::string& title) {
        std::string line = testsupport::Quote(child) + " " + testsupport::Quote(path) + " " +
                           testsupport::Quote(title) + " TagWriteStarted TagWriteReplacing";
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        ResetEvent(started);
        ResetEvent(replacing);
        EXPECT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        CloseHandle(pi.hThread);
        return pi.hProcess;
    };
    const auto expectedAfter = [&](const std::string& before, const std::string& title) {
        // The tag blocks end where "EA3" begins: no block of ours holds those bytes.
        const size_t header = before.find("EA3\x01\x00\x60", 0, 6);
        const std::vector<uint8_t> blocks(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(header));
        const std::vector<TagEdit> edits = {{TagField::Title, std::u16string(title.begin(), title.end())}};
        const auto rewritten = RewriteTagBlocks(blocks, edits);
        std::string after(rewritten->begin(), rewritten->end());
        after.append(before, header, std::string::npos);
        return after;
    };

    // One whole run first: how long the copy takes.
    HANDLE whole = launch("whole");
    ASSERT_EQ(WaitForSingleObject(started, 30000), WAIT_OBJECT_0);
    const DWORD copyStart = GetTickCount();
    ASSERT_EQ(WaitForSingleObject(replacing, 30000), WAIT_OBJECT_0);
    const DWORD copyMs = std::max<DWORD>(GetTickCount() - copyStart, 1);
    WaitForSingleObject(whole, 30000);
    DWORD code = 99;
    GetExitCodeProcess(whole, &code);
    CloseHandle(whole);
    ASSERT_EQ(code, 0u);

    std::mt19937 random(20261210);
    int kills = 0, old = 0, fresh = 0, other = 0, finished = 0;
    const int kRuns = 60;
    for (int run = 0; run < kRuns; ++run) {
        const std::string before = testsupport::ReadFileBytes(path);
        const std::string title = "kill " + std::to_string(run) + std::string(run % 7, '+');
        const std::string after = expectedAfter(before, title);
        HANDLE process = launch(title);
        if (run % 3 == 2) {
            // Around the replace: from just before the call to a few milliseconds into it.
            WaitForSingleObject(replacing, 30000);
            const LONGLONG spin = std::uniform_int_distribution<int>(0, 3000)(random);
            LARGE_INTEGER t0, t, f;
            QueryPerformanceFrequency(&f);
            QueryPerformanceCounter(&t0);
            do {
                QueryPerformanceCounter(&t);
            } while ((t.QuadPart - t0.QuadPart) * 1000000 / f.QuadPart < spin);
        } else {
            WaitForSingleObject(started, 30000);
            Sleep(std::uniform_int_distribution<DWORD>(0, copyMs)(random));
        }
        (void)TerminateProcess(process, 9);
        WaitForSingleObject(process, 30000);
        GetExitCodeProcess(process, &code);
        CloseHandle(process);
        if (code == 9) {
            ++kills;
        } else {
            ++finished;  // it ended before the kill
        }
        const std::string now = testsupport::ReadFileBytes(path);
        if (now == before) {
            ++old;
        } else if (now == after) {
            ++fresh;
        } else {
            ++other;
            ADD_FAILURE() << "run " << run << ": " << now.size() << " bytes, neither old nor new";
        }
    }
    std::printf("kill test: %d runs, %d killed, %d had finished, copy %lu ms; old %d, new %d, other %d\n", kRuns, kills,
                finished, copyMs, old, fresh, other);
    EXPECT_EQ(other, 0);
    EXPECT_GT(old, 0);
    EXPECT_GT(fresh, 0);
    // The next write succeeds and clears what the kills left.
    EXPECT_TRUE(WriteTagFile(AnsiToWide(path), {{TagField::Title, u"after the kills"}}));
    EXPECT_TRUE(Leftovers().empty());
    CloseHandle(started);
    CloseHandle(replacing);
}

}  // namespace
