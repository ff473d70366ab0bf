// A scripted filter graph for the engine's tests. One COM object answers for IGraphBuilder,
// IMediaControl, IMediaSeeking, IBasicAudio, IBasicVideo, IVideoWindow and IMediaEventEx, each
// through its own part, so the log can tell which interface a call (a Release included) came
// through. Every call the engine makes is logged with its arguments as one line
// ("IMediaSeeking::SetPositions 900000000 1 900000000 0"); each answer comes from the script,
// S_OK when the script says nothing. The graph's filters and enumerator are stubs of the same kind.
//
// Reference counts are plain counters: the test owns the object, and what the engine still holds
// shows in OutstandingRefs().
#pragma once

#include "engine/Morlune.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class FakeGraph {
public:
    FakeGraph();
    ~FakeGraph();
    FakeGraph(const FakeGraph&) = delete;
    FakeGraph& operator=(const FakeGraph&) = delete;

    // The script. Keys are the log line's head: "IGraphBuilder::RenderFile", "CoInitialize",
    // "QueryInterface IBasicVideo" (whatever part it comes through). A failing QueryInterface
    // hands out null; a succeeding one (S_FALSE too) hands out the part.
    std::map<std::string, HRESULT> answers;
    // Calls, by the same heads, that throw std::bad_alloc after they are logged: what an
    // allocation that fails inside the open looks like to the engine.
    std::set<std::string> throws;
    int filterCount = 0;       // filters the enumerator walks through
    LONGLONG duration = 0;     // GetDuration, and the stop of GetPositions
    LONGLONG position = 0;     // current of GetPositions
    long videoWidth = 0;       // GetVideoSize, written whenever its answer succeeds
    long videoHeight = 0;

    // The record.
    std::vector<std::string> log;
    std::wstring renderedName;               // the last name RenderFile was given
    std::vector<IBaseFilter**> nextSlots;    // where each Next call was asked to write

    // The engine's graph source over this object: logs "CoInitialize", "CoUninitialize" and
    // "CoCreateInstance" and answers from the script.
    GraphSource Source();

    // References handed out on the graph's parts and not yet released.
    long OutstandingRefs() const { return graphRefs_; }
    // References on one filter beyond the graph's own.
    long FilterRefs(int index) const;
    // Log lines that start with the prefix, in order.
    std::vector<std::string> LinesStartingWith(const std::string& prefix) const;

    // Used by the parts.
    // Logs the call and answers from the script; the fallback when the script says nothing.
    HRESULT Answer(const std::string& call, const std::string& arguments = std::string(), HRESULT fallback = S_OK);
    HRESULT QueryPart(const char* through, REFIID iid, void** object);
    ULONG AddRefPart(const char* part);
    ULONG ReleasePart(const char* part);
    void TakeRef() { ++graphRefs_; }
    void DropRef() { --graphRefs_; }
    std::string FilterName(IBaseFilter* filter) const;
    HRESULT NextFilter(size_t& cursor, IBaseFilter** slot);

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
    long graphRefs_ = 0;
};

// UTF-16 to UTF-8, for log lines and messages.
std::string Utf8(const std::wstring& text);
