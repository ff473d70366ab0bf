// The extended exports as a player's library, converter and title threads call them: from the
// built DLL, by name, on worker threads, with tagged variants of the real media that the test
// writes, while the UI thread plays a file through the record.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "base/AnsiText.h"
#include "tests/native/OmaBytes.h"
#include "tests/wine/MediaDir.h"
#include "tests/wine/TestSupport.h"
#include "tools/common/MessageBoxes.h"
#include "tools/common/ProcessCounters.h"

namespace {

using omabytes::Append;
using omabytes::Block;
using omabytes::Bytes;
using omabytes::Frame;

using GetInfoA = int(__cdecl*)(const char*, const char*, char*, int);
using GetInfoW = int(__cdecl*)(const wchar_t*, const char*, wchar_t*, int);
using ReadOpenA = intptr_t(__cdecl*)(const char*, int*, int*, int*, int*);
using ReadOpenW = intptr_t(__cdecl*)(const wchar_t*, int*, int*, int*, int*);
using ReadGetData = intptr_t(__cdecl*)(intptr_t, char*, size_t, int*);
using ReadSetTime = int(__cdecl*)(intptr_t, int);
using ReadClose = void(__cdecl*)(intptr_t);

HMODULE dll = nullptr;
GetInfoA infoA = nullptr;
GetInfoW infoW = nullptr;
ReadOpenA openA = nullptr;
ReadOpenW openW = nullptr;
ReadGetData getData = nullptr;
ReadSetTime setTime = nullptr;
ReadClose closeRead = nullptr;
std::string dir;  // scratch folder for the variants

template <class Function>
Function Export(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

std::wstring Wide(const std::string& ansi) {
    return AnsiToWide(ansi);
}

// The field through the wide export; "<0>" when it answers 0.
std::wstring FieldW(const std::wstring& file, const char* field) {
    wchar_t buffer[2048];
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    if (!infoW(file.c_str(), field, buffer, 2048)) {
        return L"<0>";
    }
    return buffer;
}

std::string FieldA(const std::string& file, const char* field) {
    char buffer[2048] = "";
    if (!infoA(file.c_str(), field, buffer, sizeof buffer)) {
        return "<0>";
    }
    return buffer;
}

// Text in an ID3 encoding: 0 Latin-1 (code points below 256), 1 UTF-16 LE with its mark,
// 2 UTF-16 BE, 3 UTF-8.
Bytes Text(uint8_t encoding, const std::wstring& text) {
    Bytes b{encoding};
    if (encoding == 0) {
        for (wchar_t c : text)
            b.push_back(static_cast<uint8_t>(c));
    } else if (encoding == 3) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<size_t>(n), '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), n, nullptr, nullptr);
        b.insert(b.end(), utf8.begin(), utf8.end() - 1);
    } else {
        if (encoding == 1)
            Append(b, {0xFF, 0xFE});
        for (wchar_t c : text) {
            const auto hi = static_cast<uint8_t>(c >> 8), lo = static_cast<uint8_t>(c);
            Append(b, encoding == 1 ? Bytes{lo, hi} : Bytes{hi, lo});
        }
    }
    return b;
}

Bytes Described(uint8_t encoding, const char* language, const std::wstring& description, const std::wstring& text) {
    Bytes b = Text(encoding, description);
    if (language)
        b.insert(b.begin() + 1, language, language + 3);
    Append(b, encoding == 1 || encoding == 2 ? Bytes{0, 0} : Bytes{0});
    const Bytes value = Text(encoding, text);
    b.insert(b.end(), value.begin() + 1, value.end());
    return b;
}

Bytes Medium(const char* name) {
    const std::string bytes = testsupport::ReadFileBytes(testmedia::Path(name));
    return Bytes(bytes.begin(), bytes.end());
}

std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = dir + name;
    EXPECT_TRUE(testsupport::WriteFileBytes(path, std::string(bytes.begin(), bytes.end())));
    return path;
}

const std::wstring kTitle = L"\u6D4B\u8BD5\u66F2\u76EE";           // 测试曲目
const std::wstring kJapanese = L"\u3053\u3093\u306B\u3061\u306F";  // こんにちは
const std::wstring kKorean = L"\uD55C\uAD6D\uC5B4 \uB178\uB798";   // 한국어 노래

struct Variant {
    const char* name;
    Bytes tag;
    std::vector<std::pair<const char*, std::wstring>> fields;  // every tag field, "<0>" when absent
};

std::vector<Variant> Variants() {
    std::vector<Variant> variants;
    {  // Chinese, Japanese and Korean in UTF-16 with marks, version 3, every field.
        Bytes body;
        Append(body, Frame(3, "TIT2", Text(1, kTitle)));
        Append(body, Frame(3, "TPE1", Text(1, kJapanese)));
        Append(body, Frame(3, "TALB", Text(1, kKorean)));
        Append(body, Frame(3, "TPE2", Text(1, L"\u7FA4\u661F")));
        Append(body, Frame(3, "TCON", Text(1, L"\u6D41\u884C")));
        Append(body, Frame(3, "TYER", Text(1, L"2024")));
        Append(body, Frame(3, "TRCK", Text(1, L"3/12")));
        Append(body, Frame(3, "TPOS", Text(1, L"1/2")));
        Append(body, Frame(3, "TCOM", Text(1, L"\u4F5C\u66F2")));
        Append(body, Frame(3, "COMM", Described(1, "chi", L"", L"\u5907\u6CE8")));
        variants.push_back({"cjk.oma",
                            Block(3, body),
                            {{"title", kTitle},
                             {"artist", kJapanese},
                             {"album", kKorean},
                             {"albumartist", L"\u7FA4\u661F"},
                             {"genre", L"\u6D41\u884C"},
                             {"year", L"2024"},
                             {"tracknumber", L"3/12"},
                             {"disc", L"1/2"},
                             {"composer", L"\u4F5C\u66F2"},
                             {"comment", L"\u5907\u6CE8"}}});
    }
    {  // UTF-16 big-endian, version 4: a recording time for the year, the library's track number.
        Bytes body;
        Append(body, Frame(4, "TIT2", Text(2, kJapanese)));
        Append(body, Frame(4, "TDRC", Text(2, L"2019-03-04")));
        Append(body, Frame(4, "TXXX", Described(2, nullptr, L"OMG_TRACK", L"5")));
        variants.push_back({"be.oma",
                            Block(4, body),
                            {{"title", kJapanese},
                             {"year", L"2019"},
                             {"tracknumber", L"5"},
                             {"artist", L"<0>"},
                             {"comment", L"<0>"}}});
    }
    {  // UTF-8, version 4, in two blocks: the first block's title wins, the second fills in.
        Bytes first = Frame(4, "TIT2", Text(3, kKorean));
        Bytes second = Frame(4, "TIT2", Text(3, L"later"));
        Append(second, Frame(4, "TPE1", Text(3, L"\u00DCber \u4E2D")));
        Bytes tags = Block(4, first);
        Append(tags, Block(4, second));
        variants.push_back({"utf8.oma", tags, {{"title", kKorean}, {"artist", L"\u00DCber \u4E2D"}}});
    }
    {  // Latin-1, version 2.
        Bytes body;
        Append(body, Frame(2, "TT2", Text(0, L"Caf\u00E9 Cr\u00E8me")));
        Append(body, Frame(2, "TP1", Text(0, L"Artiste")));
        Append(body, Frame(2, "TCO", Text(0, L"(13)")));
        Append(body, Frame(2, "TRK", Text(0, L"07")));
        variants.push_back({"latin1.oma",
                            Block(2, body),
                            {{"title", L"Caf\u00E9 Cr\u00E8me"},
                             {"artist", L"Artiste"},
                             {"genre", L"(13)"},
                             {"tracknumber", L"07"},
                             {"album", L"<0>"}}});
    }
    return variants;
}

class ExtendedExports : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dll = LoadLibraryA((testsupport::ExeDir() + "in_atrac3ds.dll").c_str());
        ASSERT_TRUE(dll);
        infoA = Export<GetInfoA>("winampGetExtendedFileInfo");
        infoW = Export<GetInfoW>("winampGetExtendedFileInfoW");
        openA = Export<ReadOpenA>("winampGetExtendedRead_open");
        openW = Export<ReadOpenW>("winampGetExtendedRead_openW");
        getData = Export<ReadGetData>("winampGetExtendedRead_getData");
        setTime = Export<ReadSetTime>("winampGetExtendedRead_setTime");
        closeRead = Export<ReadClose>("winampGetExtendedRead_close");
        dir = testsupport::MakeTempDir("extended");
    }
    static void TearDownTestSuite() { testsupport::RemoveTree(dir); }

    void SetUp() override {
        ASSERT_TRUE(infoA && infoW && openA && openW && getData && setTime && closeRead);
        ASSERT_EQ(GetProcAddress(dll, "winampUseUnifiedFileInfoDlg"), nullptr) << "the plug-in keeps its own dialog";
    }
};

TEST_F(ExtendedExports, TagFieldsInEveryEncodingAndTheAnsiVariant) {
    SKIP_WITHOUT_MEDIA("atrac3_lp2_2500ms.oma");
    const Bytes plain = Medium("atrac3_lp2_2500ms.oma");
    for (const Variant& v : Variants()) {
        Bytes file = v.tag;
        Append(file, plain);
        const std::string path = Write(v.name, file);
        for (const auto& [field, expected] : v.fields) {
            const std::wstring got = FieldW(Wide(path), field);
            EXPECT_EQ(got, expected) << v.name << " " << field;
            // The ANSI variant is the platform's own conversion of the wide text, '?' and all.
            const std::string ansi = expected == L"<0>" ? "<0>" : WideToAnsi(got);
            EXPECT_EQ(FieldA(path, field), ansi) << v.name << " " << field;
        }
        // The header's facts are the same behind any tag: 108 x 1024 - 1162 samples.
        EXPECT_EQ(FieldW(Wide(path), "length"), L"2481") << v.name;
        EXPECT_EQ(FieldA(path, "bitrate"), "132") << v.name;
        EXPECT_EQ(FieldA(path, "type"), "0");
        EXPECT_EQ(FieldA(path, "lossless"), "0");
        EXPECT_EQ(FieldW(Wide(path), "formatinformation").rfind(L"\u7F16\u7801\uFF1AATRAC3\r\n", 0), 0u)
            << "the codec first";
    }
    // The family from a claimed extension alone, and from a file.
    EXPECT_NE(FieldW(L"oma", "family"), L"<0>");
    EXPECT_EQ(FieldW(L".OMG", "family"), FieldW(L"omg", "family"));
    EXPECT_EQ(FieldW(L"mp3", "family"), L"<0>");
    EXPECT_EQ(FieldA(dir + "cjk.oma", "family"), WideToAnsi(FieldW(L"oma", "family")));
    EXPECT_EQ(FieldA(dir + "cjk.oma", "nosuchfield"), "<0>");
}

TEST_F(ExtendedExports, TheNamesThePlayerAsksThatAreNoFileAndAFailedOpenIsClosed) {
    // At load the player asks "type" for an empty name, wide then ANSI: "1" would claim video.
    EXPECT_EQ(FieldW(L"", "type"), L"<0>");
    EXPECT_EQ(FieldA("", "type"), "<0>");
    EXPECT_EQ(FieldW(L"", "family"), L"<0>");
    // Registering the extension and the file-types page name files that do not exist.
    EXPECT_EQ(FieldW(L"Winamp.File.oma", "family"), FieldW(L"oma", "family"));
    EXPECT_EQ(FieldW(L"test.oma", "family"), FieldW(L"oma", "family"));
    EXPECT_EQ(FieldW(L"test.oma", "type"), L"0");
    EXPECT_EQ(FieldA("test.oma", "type"), "0");
    EXPECT_EQ(FieldW(L"test.oma", "length"), L"<0>");
    // After a failed open the player closes what it got; -1 and 0 are no handles.
    int size = 0, bps = 0, nch = 0, srate = 0;
    const intptr_t failed = openW((Wide(dir) + L"missing.oma").c_str(), &size, &bps, &nch, &srate);
    EXPECT_LE(failed, 0);
    closeRead(failed);
    closeRead(-1);
    char buffer[64];
    int kill = 0;
    EXPECT_EQ(getData(-1, buffer, sizeof buffer, &kill), 0);
}

TEST_F(ExtendedExports, TruncatesAtTheBufferAndTouchesNothingPastIt) {
    SKIP_WITHOUT_MEDIA("atrac3_lp2_2500ms.oma");
    Bytes file = Block(3, Frame(3, "TIT2", Text(1, kTitle)));
    Append(file, Medium("atrac3_lp2_2500ms.oma"));
    const std::string path = Write("short.oma", file);

    wchar_t wide[8];
    std::fill(std::begin(wide), std::end(wide), L'#');
    EXPECT_EQ(infoW(Wide(path).c_str(), "title", wide, 3), 1);
    EXPECT_EQ(std::wstring(wide, 5), kTitle.substr(0, 2) + std::wstring(L"\0##", 3));
    std::fill(std::begin(wide), std::end(wide), L'#');
    EXPECT_EQ(infoW(Wide(path).c_str(), "title", wide, 0), 1) << "known, with no room to write";
    EXPECT_EQ(wide[0], L'#');

    // In code page 936 each character is two bytes; four bytes hold one character and the NUL.
    char ansi[8];
    std::fill(std::begin(ansi), std::end(ansi), '#');
    EXPECT_EQ(infoA(path.c_str(), "title", ansi, 4), 1);
    const std::string whole = WideToAnsi(kTitle);
    EXPECT_EQ(std::string(ansi, 5), whole.substr(0, 2) + std::string("\0##", 3));
    std::fill(std::begin(ansi), std::end(ansi), '#');
    EXPECT_EQ(infoA(path.c_str(), "length", ansi, 3), 1);
    EXPECT_EQ(std::string(ansi, 4), std::string("24\0#", 4));
}

// A version 3 extended header whose size is near 4 GiB: with its own four bytes added that runs
// past the block, on 32 bits as on 64. Wrapped round, it would start the frames inside the size
// itself, where these bytes make a frame of no length and then a title.
TEST_F(ExtendedExports, AnExtendedHeaderNear4GiBHidesTheBlocksFrames) {
    SKIP_WITHOUT_MEDIA("atrac3_lp2_2500ms.oma");
    for (uint32_t wrapsTo = 0; wrapsTo < 4; ++wrapsTo) {
        SCOPED_TRACE(wrapsTo);
        const uint32_t size = 0xFFFFFFFCu + wrapsTo;
        Bytes body = {static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 16),
                      static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
        body.resize(body.size() + wrapsTo + 6, 0);
        Append(body, Frame(3, "TIT2", Text(0, L"wrapped")));
        Bytes file = Block(3, body, 0x40);
        Append(file, Medium("atrac3_lp2_2500ms.oma"));
        const std::string path = Write("extended.oma", file);
        EXPECT_EQ(FieldA(path, "title"), "<0>");
        EXPECT_EQ(FieldA(path, "length"), "2481") << "the file behind the block is read all the same";
    }
}

TEST_F(ExtendedExports, ANameTheCodePageCannotSpellThroughTheWideExports) {
    SKIP_WITHOUT_MEDIA("atrac3_lp2_2500ms.oma");
    const std::wstring name = Wide(dir) + kKorean + L".oma";
    ASSERT_EQ(GetACP(), 936u);
    if (!CopyFileW(Wide(testmedia::Path("atrac3_lp2_2500ms.oma")).c_str(), name.c_str(), FALSE)) {
        // Wine spells Linux file names in its locale's charset, and GBK has no Hangul.
        GTEST_SKIP() << "Wine cannot make a file named in Hangul under this locale (run it under zh_CN.UTF-8)";
    }
    EXPECT_EQ(FieldW(name, "length"), L"2481");
    int size = 0, bps = 0, nch = 0, srate = 0;
    const intptr_t handle = openW(name.c_str(), &size, &bps, &nch, &srate);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(size, 109430 * 4);
    closeRead(handle);
    // Its ANSI spelling has '?' where the Hangul was: no such file.
    EXPECT_EQ(openA(WideToAnsi(name).c_str(), &size, &bps, &nch, &srate), 0);
    EXPECT_EQ(FieldA(WideToAnsi(name), "length"), "<0>");
}

// --- extended read ---------------------------------------------------------------------------

struct Reference {
    std::vector<int16_t> samples;  // ffmpeg's decode, nothing trimmed
    int32_t delay = 0;
};

bool LoadReference(const char* name, Reference& ref) {
    const std::string path = testsupport::ExeDir() + "reference\\" + name + ".s16";
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    const std::string bytes = testsupport::ReadFileBytes(path);
    ref.samples.resize(bytes.size() / 2);
    memcpy(ref.samples.data(), bytes.data(), ref.samples.size() * 2);
    ref.delay = std::string(name).find("atrac3plus") == 0 ? 4464 : 1162;
    return true;
}

#define SKIP_WITHOUT_REFERENCE(name, ref)                                                         \
    SKIP_WITHOUT_MEDIA(name);                                                                     \
    if (!LoadReference(name, ref)) {                                                              \
        GTEST_SKIP() << "no reference decode of " << (name) << " beside the test (needs ffmpeg)"; \
    }

// Samples differing by more than one step from the reference from sample `from` (interleaved).
int Mismatches(const std::string& pcm, const Reference& ref, size_t from) {
    int bad = 0;
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
        const auto got = static_cast<int16_t>(static_cast<uint8_t>(pcm[i]) | static_cast<uint8_t>(pcm[i + 1]) << 8);
        const size_t at = from + i / 2;
        const int want = at < ref.samples.size() ? ref.samples[at] : 0;
        bad += std::abs(got - want) > 1;
    }
    return bad;
}

std::string ReadAll(intptr_t handle, size_t chunk, int* killswitch = nullptr) {
    int never = 0;
    std::string pcm;
    std::string buffer(chunk, '\0');
    while (true) {
        const intptr_t got = getData(handle, buffer.data(), chunk, killswitch ? killswitch : &never);
        if (got <= 0)
            break;
        pcm.append(buffer.data(), static_cast<size_t>(got));
    }
    return pcm;
}

const char* const kMedia[] = {"atrac3_lp2_2500ms.oma",  "atrac3_lp2_tone_10s.oma",      "atrac3_lp4_tone_10s.oma",
                              "atrac3_lp4_mix_20s.oma", "atrac3plus_352k_tone_10s.oma", "atrac3_94k_js_3100ms.oma",
                              "atrac3_176k_3100ms.oma"};

TEST_F(ExtendedExports, ReadEqualsTheReferenceInOddChunksAndAfterSetTime) {
    const size_t chunks[] = {1001, 4608, 33333, 7, 65536, 2222, 4099};
    static_assert(std::size(chunks) == std::size(kMedia));
    for (size_t m = 0; m < std::size(kMedia); ++m) {
        Reference ref;
        SKIP_WITHOUT_REFERENCE(kMedia[m], ref);
        int size = 0, bps = 0, nch = 0, srate = 0;
        const intptr_t handle = openA(testmedia::Path(kMedia[m]).c_str(), &size, &bps, &nch, &srate);
        ASSERT_NE(handle, 0) << kMedia[m];
        EXPECT_EQ(bps, 16);
        EXPECT_EQ(nch, 2);
        EXPECT_EQ(srate, 44100);
        const std::string pcm = ReadAll(handle, chunks[m]);
        EXPECT_EQ(static_cast<int>(pcm.size()), size) << kMedia[m];
        EXPECT_EQ(Mismatches(pcm, ref, static_cast<size_t>(ref.delay) * 2), 0) << kMedia[m] << " whole";
        // The length the library shows is this PCM's.
        EXPECT_EQ(FieldA(testmedia::Path(kMedia[m]), "length"), std::to_string(size / 4 * 1000LL / 44100));

        for (int ms : {0, 1, 777, 1234, 2222}) {
            EXPECT_EQ(setTime(handle, ms), 1);
            std::string part(6000, '\0');
            int never = 0;
            const intptr_t got = getData(handle, part.data(), part.size(), &never);
            ASSERT_GT(got, 0) << kMedia[m] << " at " << ms;
            part.resize(static_cast<size_t>(got));
            const size_t sample = static_cast<size_t>(ms) * 44100 / 1000;
            EXPECT_EQ(Mismatches(part, ref, (sample + ref.delay) * 2), 0) << kMedia[m] << " after setTime " << ms;
        }
        closeRead(handle);
    }
}

// ATRAC3 at frame sizes only the RealMedia-style set-up decodes: the library's length and bit
// rate, worked out by hand (135 x 1024 - 1162 samples; 272 and 512 bytes x 8 x 44100 / 1024).
TEST_F(ExtendedExports, LengthAndBitRateOfTheOtherAtrac3FrameSizes) {
    const std::pair<const char*, const char*> rows[] = {{"atrac3_94k_js_3100ms.oma", "94"},
                                                        {"atrac3_176k_3100ms.oma", "176"}};
    for (const auto& [name, kbps] : rows) {
        SKIP_WITHOUT_MEDIA(name);
        EXPECT_EQ(FieldA(testmedia::Path(name), "length"), "3108") << name;
        EXPECT_EQ(FieldA(testmedia::Path(name), "bitrate"), kbps) << name;
        EXPECT_EQ(FieldW(Wide(testmedia::Path(name)), "length"), L"3108") << name;
    }
}

TEST_F(ExtendedExports, KillswitchStopsAtOnceAndLosesNothing) {
    Reference ref;
    SKIP_WITHOUT_REFERENCE("atrac3_lp2_2500ms.oma", ref);
    int size = 0, bps = 0, nch = 0, srate = 0;
    const intptr_t handle = openW(Wide(testmedia::Path("atrac3_lp2_2500ms.oma")).c_str(), &size, &bps, &nch, &srate);
    ASSERT_NE(handle, 0);
    int kill = 1;
    char buffer[4096];
    EXPECT_EQ(getData(handle, buffer, sizeof buffer, &kill), 0);
    kill = 0;
    const std::string pcm = ReadAll(handle, 4096, &kill);
    EXPECT_EQ(static_cast<int>(pcm.size()), size) << "the cancelled call took nothing";
    EXPECT_EQ(Mismatches(pcm, ref, static_cast<size_t>(ref.delay) * 2), 0);
    closeRead(handle);
    // A handle that is closed, or never was, gives nothing.
    EXPECT_EQ(getData(handle, buffer, sizeof buffer, &kill), 0);
    EXPECT_EQ(setTime(handle, 0), 0);
    EXPECT_EQ(getData(12345, buffer, sizeof buffer, &kill), 0);
    closeRead(12345);
}

// Notes and dismisses any message box of this process (a stdcall function: a lambda will not
// convert to one in 32 bits).
BOOL CALLBACK CloseBoxes(HWND w, LPARAM found) {
    if (IsMessageBoxOfThisProcess(w)) {
        *reinterpret_cast<bool*>(found) = true;
        PostMessageW(w, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}

// Runs body on a worker thread, as the player's library does; a box shown there would wait for
// a person, so a call that does not come back in time fails the test instead of hanging it.
template <class Body>
void OnWorker(Body body) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        body();
        done = true;
    });
    const DWORD start = GetTickCount();
    while (!done && GetTickCount() - start < 60000) {
        testsupport::PumpMessages(20);
    }
    bool boxes = false;
    EnumWindows(CloseBoxes, reinterpret_cast<LPARAM>(&boxes));
    EXPECT_FALSE(boxes) << "a message box from a worker thread";
    ASSERT_TRUE(done.load()) << "the calls did not return";
    worker.join();
}

TEST_F(ExtendedExports, BadInputGivesZeroWithoutABox) {
    SKIP_WITHOUT_MEDIA("atrac3_lp2_2500ms.oma");
    const Bytes plain = Medium("atrac3_lp2_2500ms.oma");
    Bytes encrypted = plain;
    encrypted[6] = 0x00, encrypted[7] = 0x01;
    Bytes headerOnly(plain.begin(), plain.begin() + 96);
    Bytes cut(plain.begin(), plain.begin() + 96 + 200);
    Bytes random = headerOnly;
    const std::string noise = testsupport::NoiseBytes(plain.size() - 96, 11);
    random.insert(random.end(), noise.begin(), noise.end());
    const std::string junk = testsupport::NoiseBytes(1000, 3);

    struct Case {
        std::string path;
        const char* length;  // the "length" field: tags and header in the clear still give it
    };
    const Case cases[] = {
        {dir + "missing.oma", "<0>"},
        {dir.substr(0, dir.size() - 1), "<0>"},  // the folder itself
        {Write("encrypted.oma", encrypted), "2481"},
        {Write("header-only.oma", headerOnly), "<0>"},
        {Write("cut.oma", cut), "<0>"},
        {Write("random.oma", random), "2481"},
        {Write("junk.oma", Bytes(junk.begin(), junk.end())), "<0>"},
        {Write("empty.oma", {}), "<0>"},
        {"", "<0>"},
    };
    OnWorker([&] {
        for (const Case& c : cases) {
            int size = -7, bps = -7, nch = -7, srate = -7;
            EXPECT_EQ(openA(c.path.c_str(), &size, &bps, &nch, &srate), 0) << c.path;
            EXPECT_EQ(openW(Wide(c.path).c_str(), &size, &bps, &nch, &srate), 0) << c.path;
            EXPECT_EQ(FieldA(c.path, "length"), c.length) << c.path;
            EXPECT_EQ(FieldA(c.path, "title"), "<0>") << c.path;
        }
        int size = 0;
        EXPECT_EQ(openA(nullptr, &size, nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(openW(nullptr, &size, nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(infoA(nullptr, "length", nullptr, 0), 0);
        EXPECT_EQ(infoW(L"oma", nullptr, nullptr, 0), 0);
    });
}

TEST_F(ExtendedExports, OpenAndCloseCyclesHoldNothing) {
    SKIP_WITHOUT_MEDIA("atrac3plus_352k_tone_10s.oma");
    const std::string path = testmedia::Path("atrac3plus_352k_tone_10s.oma");
    auto cycle = [&] {
        int size = 0, bps = 0, nch = 0, srate = 0;
        const intptr_t handle = openA(path.c_str(), &size, &bps, &nch, &srate);
        ASSERT_NE(handle, 0);
        char buffer[8192];
        int never = 0;
        EXPECT_GT(getData(handle, buffer, sizeof buffer, &never), 0);
        EXPECT_EQ(setTime(handle, 5000), 1);
        EXPECT_GT(getData(handle, buffer, sizeof buffer, &never), 0);
        closeRead(handle);
    };
    for (int i = 0; i < 20; ++i)
        cycle();  // the first decoder's one-off allocations
    const ProcessCounters before = ReadProcessCounters();
    for (int i = 0; i < 200; ++i)
        cycle();
    const ProcessCounters after = ReadProcessCounters();
    printf("200 open/read/close cycles: before %s, after %s\n", Describe(before).c_str(), Describe(after).c_str());
    EXPECT_LE(after.handles - before.handles, 2);
    // One decoder holds about 100 KB; 200 leaked ones would be 20 MB.
    EXPECT_LT(after.privateBytes - before.privateBytes, 2 * 1024 * 1024);
}

// The player's threads convert four files while its UI thread plays a fifth through the record.
LRESULT CALLBACK QuietPlayer(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_USER)
        return 0;  // playlist, shuffle and repeat queries: nothing set
    return DefWindowProcW(w, msg, wp, lp);
}

TEST_F(ExtendedExports, FourConvertersWhileTheRecordPlays) {
    Reference refs[4];
    const char* const converted[4] = {kMedia[1], kMedia[2], kMedia[3], kMedia[4]};
    for (int i = 0; i < 4; ++i) {
        SKIP_WITHOUT_REFERENCE(converted[i], refs[i]);
    }
    HMODULE module = nullptr;
    In_Module* mod = testsupport::LoadPluginRecord(module);
    ASSERT_TRUE(mod);
    HWND player = testsupport::MakePlayerWindow(L"ExtendedPlayer", QuietPlayer);
    mod->hMainWindow = player;
    mod->Init();
    const std::string played = testmedia::Path("atrac3_lp4_mix_20s.oma");
    EXPECT_EQ(mod->Play(played.c_str()), 0);
    EXPECT_EQ(std::to_string(mod->GetLength()), FieldA(played, "length")) << "the library and the player agree";

    std::atomic<int> finished{0};
    int mismatches[4] = {-1, -1, -1, -1};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            int size = 0, bps = 0, nch = 0, srate = 0;
            const intptr_t handle = openW(Wide(testmedia::Path(converted[i])).c_str(), &size, &bps, &nch, &srate);
            if (handle) {
                // Slowed to about 40x real time, so that the conversions overlap the playback.
                std::string pcm;
                std::string buffer(4608, '\0');
                int never = 0;
                intptr_t got = 0;
                while ((got = getData(handle, buffer.data(), buffer.size(), &never)) > 0) {
                    pcm.append(buffer.data(), static_cast<size_t>(got));
                    if (pcm.size() % (4608 * 40) == 0)
                        Sleep(20);
                }
                closeRead(handle);
                mismatches[i] = static_cast<int>(pcm.size()) == size ? Mismatches(pcm, refs[i], refs[i].delay * 2) : -2;
            }
            ++finished;
        });
    }
    const DWORD start = GetTickCount();
    const int firstPosition = mod->GetOutputTime();
    int lastPosition = firstPosition;
    while (finished < 4 && GetTickCount() - start < 120000) {
        testsupport::PumpMessages(50);
        lastPosition = mod->GetOutputTime();
    }
    for (std::thread& t : threads)
        t.join();
    const int elapsed = static_cast<int>(GetTickCount() - start);
    const int advanced = lastPosition - firstPosition;
    printf("converted 4 files in %d ms while playback advanced %d ms\n", elapsed, advanced);
    mod->Stop();
    mod->Quit();
    DestroyWindow(player);
    FreeLibrary(module);

    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(mismatches[i], 0) << converted[i];
    }
    // The playback kept real time while the converters ran (the file is 20 s long).
    if (elapsed < 19000) {
        EXPECT_GT(advanced, elapsed / 2);
        EXPECT_LT(advanced, elapsed + 1000);
    }
}

}  // namespace
