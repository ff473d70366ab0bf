// What the player's other components do with an input plug-in's extended exports, each the way
// the player itself calls them: the media library's scan reads a file's fields in its order and
// buffers; the converter, the ReplayGain analysis and the CD burner open a file on the UI thread
// and read its PCM on a thread of their own, in their own request sizes, honouring a killswitch
// that the UI thread may set during a read. The stand-in player runs these beside its playback.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Text as UTF-8, the encoding of every line the stand-in prints.
std::string Utf8(std::wstring_view text);

// The name a non-Unicode plug-in gets: the ANSI code page's spelling without best-fit
// substitutes, or the short name where a character cannot be spelled.
std::string PlayerAnsiName(const std::wstring& name);

// The cancel a user gives from the UI thread while a road reads.
struct Killswitch {
    volatile int value = 0;         // what getData is handed
    std::atomic<int> inRead{0};     // a getData is running
    std::atomic<DWORD> setAt{0};    // tick at which the UI thread set it
    std::atomic<int> setInRead{0};  // it was set while a getData ran
};

struct RoadLinks {
    HMODULE dll = nullptr;
    bool ansi = false;  // the ANSI exports instead of the wide ones
    // Runs a step on the player's UI thread and returns when it is done.
    std::function<void(const std::function<void()>&)> onUiThread;
    Killswitch* kill = nullptr;
};

// The library's scan: one "field" line per field asked, for each file. Returns 0, or 3 when the
// plug-in lacks the exports.
int ListFields(const RoadLinks& links, const std::vector<std::wstring>& files);

// The converter: the file's PCM into a 16-bit WAV at out, one "convert" line. 0 done (or
// cancelled), 1 refused, 3 no exports, 4 out cannot be written.
int ConvertToWav(const RoadLinks& links, const std::wstring& file, const std::wstring& out);

// The ReplayGain analysis of each file (and of all of them as an album with album set): a
// "replaygain" line per file, the values stored through the plug-in's tag-writing exports when
// it has them. 0, or 3 without the reading exports.
int AnalyseReplayGain(const RoadLinks& links, const std::vector<std::wstring>& files, bool album);

// The CD burner's read: CD audio (16-bit, two channels, 44100 Hz) from the file, resampled where
// the file is otherwise, into a WAV at out unless out is empty; one "burn" line. 0 done (or
// cancelled), 1 refused, 3 no exports, 4 out cannot be written.
int BurnRead(const RoadLinks& links, const std::wstring& file, const std::wstring& out);
