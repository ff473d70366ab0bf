#include "tests/wine/FakeGraph.h"

#include <cstdio>
#include <new>

namespace {

std::string Number(long long value) {
    return std::to_string(value);
}

std::string Hex(unsigned long value) {
    char text[16];
    (void)snprintf(text, sizeof text, "0x%08lX", value);
    return text;
}

std::string Pointee(const LONGLONG* value) {
    return value ? Number(*value) : std::string("null");
}

}  // namespace

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length), '\0');
    (void)WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr,
                              nullptr);
    return bytes;
}

// Each part names itself in kName; the macros give it the IUnknown of the whole object, the
// IDispatch that nobody scripts, and methods that only log and answer E_NOTIMPL.
#define FAKE_UNKNOWN(Class)                                                                  \
    explicit Class(FakeGraph& graph) : owner(graph) {}                                       \
    FakeGraph& owner;                                                                        \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {           \
        return owner.QueryPart(kName, iid, object);                                          \
    }                                                                                        \
    ULONG STDMETHODCALLTYPE AddRef() override { return owner.AddRefPart(kName); }            \
    ULONG STDMETHODCALLTYPE Release() override { return owner.ReleasePart(kName); }

#define FAKE_NOTIMPL(Method, ...)                                                            \
    HRESULT STDMETHODCALLTYPE Method(__VA_ARGS__) override {                                 \
        return owner.Answer(std::string(kName).append("::" #Method), std::string(), E_NOTIMPL); \
    }

#define FAKE_DISPATCH                                                                        \
    FAKE_NOTIMPL(GetTypeInfoCount, UINT*)                                                    \
    FAKE_NOTIMPL(GetTypeInfo, UINT, LCID, ITypeInfo**)                                       \
    FAKE_NOTIMPL(GetIDsOfNames, REFIID, LPOLESTR*, UINT, LCID, DISPID*)                      \
    FAKE_NOTIMPL(Invoke, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)

#define FAKE_ANSWER(Method, arguments) owner.Answer(std::string(kName).append("::" #Method), arguments)

namespace {

struct FakeEnum;
struct FakeFilter;

}  // namespace

struct FakeGraph::Parts {
    explicit Parts(FakeGraph& graph);
    ~Parts();

    struct GraphPart : IGraphBuilder {
        static constexpr const char* kName = "IGraphBuilder";
        FAKE_UNKNOWN(GraphPart)
        FAKE_NOTIMPL(AddFilter, IBaseFilter*, LPCWSTR)
        HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter* filter) override {
            return FAKE_ANSWER(RemoveFilter, owner.FilterName(filter));
        }
        HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters** filters) override;
        FAKE_NOTIMPL(FindFilterByName, LPCWSTR, IBaseFilter**)
        FAKE_NOTIMPL(ConnectDirect, IPin*, IPin*, const AM_MEDIA_TYPE*)
        FAKE_NOTIMPL(Reconnect, IPin*)
        FAKE_NOTIMPL(Disconnect, IPin*)
        FAKE_NOTIMPL(SetDefaultSyncSource)
        FAKE_NOTIMPL(Connect, IPin*, IPin*)
        FAKE_NOTIMPL(Render, IPin*)
        HRESULT STDMETHODCALLTYPE RenderFile(LPCWSTR file, LPCWSTR playList) override {
            owner.renderedName = file ? file : L"";
            return FAKE_ANSWER(RenderFile, Utf8(owner.renderedName) + (playList ? " " + Utf8(playList) : " null"));
        }
        FAKE_NOTIMPL(AddSourceFilter, LPCWSTR, LPCWSTR, IBaseFilter**)
        FAKE_NOTIMPL(SetLogFile, DWORD_PTR)
        FAKE_NOTIMPL(Abort)
        FAKE_NOTIMPL(ShouldOperationContinue)
    };

    struct ControlPart : IMediaControl {
        static constexpr const char* kName = "IMediaControl";
        FAKE_UNKNOWN(ControlPart)
        FAKE_DISPATCH
        HRESULT STDMETHODCALLTYPE Run() override { return FAKE_ANSWER(Run, ""); }
        HRESULT STDMETHODCALLTYPE Pause() override { return FAKE_ANSWER(Pause, ""); }
        HRESULT STDMETHODCALLTYPE Stop() override { return FAKE_ANSWER(Stop, ""); }
        FAKE_NOTIMPL(GetState, LONG, OAFilterState*)
        FAKE_NOTIMPL(RenderFile, BSTR)
        FAKE_NOTIMPL(AddSourceFilter, BSTR, IDispatch**)
        FAKE_NOTIMPL(get_FilterCollection, IDispatch**)
        FAKE_NOTIMPL(get_RegFilterCollection, IDispatch**)
        FAKE_NOTIMPL(StopWhenReady)
    };

    struct SeekingPart : IMediaSeeking {
        static constexpr const char* kName = "IMediaSeeking";
        FAKE_UNKNOWN(SeekingPart)
        FAKE_NOTIMPL(GetCapabilities, DWORD*)
        FAKE_NOTIMPL(CheckCapabilities, DWORD*)
        FAKE_NOTIMPL(IsFormatSupported, const GUID*)
        FAKE_NOTIMPL(QueryPreferredFormat, GUID*)
        FAKE_NOTIMPL(GetTimeFormat, GUID*)
        FAKE_NOTIMPL(IsUsingTimeFormat, const GUID*)
        FAKE_NOTIMPL(SetTimeFormat, const GUID*)
        HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override {
            const HRESULT result = FAKE_ANSWER(GetDuration, "");
            if (SUCCEEDED(result) && duration) {
                *duration = owner.duration;
            }
            return result;
        }
        FAKE_NOTIMPL(GetStopPosition, LONGLONG*)
        FAKE_NOTIMPL(GetCurrentPosition, LONGLONG*)
        FAKE_NOTIMPL(ConvertTimeFormat, LONGLONG*, const GUID*, LONGLONG, const GUID*)
        HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                               DWORD stopFlags) override {
            return FAKE_ANSWER(SetPositions, Pointee(current) + " " + Number(currentFlags) + " " + Pointee(stop) +
                                                 " " + Number(stopFlags));
        }
        HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override {
            const HRESULT result = FAKE_ANSWER(GetPositions, "");
            if (SUCCEEDED(result)) {
                if (current) {
                    *current = owner.position;
                }
                if (stop) {
                    *stop = owner.duration;
                }
            }
            return result;
        }
        FAKE_NOTIMPL(GetAvailable, LONGLONG*, LONGLONG*)
        FAKE_NOTIMPL(SetRate, double)
        FAKE_NOTIMPL(GetRate, double*)
        FAKE_NOTIMPL(GetPreroll, LONGLONG*)
    };

    struct AudioPart : IBasicAudio {
        static constexpr const char* kName = "IBasicAudio";
        FAKE_UNKNOWN(AudioPart)
        FAKE_DISPATCH
        HRESULT STDMETHODCALLTYPE put_Volume(long volume) override { return FAKE_ANSWER(put_Volume, Number(volume)); }
        FAKE_NOTIMPL(get_Volume, long*)
        FAKE_NOTIMPL(put_Balance, long)
        FAKE_NOTIMPL(get_Balance, long*)
    };

    struct VideoPart : IBasicVideo {
        static constexpr const char* kName = "IBasicVideo";
        FAKE_UNKNOWN(VideoPart)
        FAKE_DISPATCH
        FAKE_NOTIMPL(get_AvgTimePerFrame, REFTIME*)
        FAKE_NOTIMPL(get_BitRate, long*)
        FAKE_NOTIMPL(get_BitErrorRate, long*)
        FAKE_NOTIMPL(get_VideoWidth, long*)
        FAKE_NOTIMPL(get_VideoHeight, long*)
        FAKE_NOTIMPL(put_SourceLeft, long)
        FAKE_NOTIMPL(get_SourceLeft, long*)
        FAKE_NOTIMPL(put_SourceWidth, long)
        FAKE_NOTIMPL(get_SourceWidth, long*)
        FAKE_NOTIMPL(put_SourceTop, long)
        FAKE_NOTIMPL(get_SourceTop, long*)
        FAKE_NOTIMPL(put_SourceHeight, long)
        FAKE_NOTIMPL(get_SourceHeight, long*)
        FAKE_NOTIMPL(put_DestinationLeft, long)
        FAKE_NOTIMPL(get_DestinationLeft, long*)
        FAKE_NOTIMPL(put_DestinationWidth, long)
        FAKE_NOTIMPL(get_DestinationWidth, long*)
        FAKE_NOTIMPL(put_DestinationTop, long)
        FAKE_NOTIMPL(get_DestinationTop, long*)
        FAKE_NOTIMPL(put_DestinationHeight, long)
        FAKE_NOTIMPL(get_DestinationHeight, long*)
        FAKE_NOTIMPL(SetSourcePosition, long, long, long, long)
        FAKE_NOTIMPL(GetSourcePosition, long*, long*, long*, long*)
        FAKE_NOTIMPL(SetDefaultSourcePosition)
        FAKE_NOTIMPL(SetDestinationPosition, long, long, long, long)
        FAKE_NOTIMPL(GetDestinationPosition, long*, long*, long*, long*)
        FAKE_NOTIMPL(SetDefaultDestinationPosition)
        HRESULT STDMETHODCALLTYPE GetVideoSize(long* width, long* height) override {
            const HRESULT result = FAKE_ANSWER(GetVideoSize, "");
            if (SUCCEEDED(result) && width && height) {
                *width = owner.videoWidth;
                *height = owner.videoHeight;
            }
            return result;
        }
        FAKE_NOTIMPL(GetVideoPaletteEntries, long, long, long*, long*)
        FAKE_NOTIMPL(GetCurrentImage, long*, long*)
        FAKE_NOTIMPL(IsUsingDefaultSource)
        FAKE_NOTIMPL(IsUsingDefaultDestination)
    };

    struct WindowPart : IVideoWindow {
        static constexpr const char* kName = "IVideoWindow";
        FAKE_UNKNOWN(WindowPart)
        FAKE_DISPATCH
        FAKE_NOTIMPL(put_Caption, BSTR)
        FAKE_NOTIMPL(get_Caption, BSTR*)
        HRESULT STDMETHODCALLTYPE put_WindowStyle(long style) override {
            return FAKE_ANSWER(put_WindowStyle, Hex(static_cast<unsigned long>(style)));
        }
        FAKE_NOTIMPL(get_WindowStyle, long*)
        FAKE_NOTIMPL(put_WindowStyleEx, long)
        FAKE_NOTIMPL(get_WindowStyleEx, long*)
        FAKE_NOTIMPL(put_AutoShow, long)
        FAKE_NOTIMPL(get_AutoShow, long*)
        FAKE_NOTIMPL(put_WindowState, long)
        FAKE_NOTIMPL(get_WindowState, long*)
        FAKE_NOTIMPL(put_BackgroundPalette, long)
        FAKE_NOTIMPL(get_BackgroundPalette, long*)
        HRESULT STDMETHODCALLTYPE put_Visible(long visible) override { return FAKE_ANSWER(put_Visible, Number(visible)); }
        FAKE_NOTIMPL(get_Visible, long*)
        FAKE_NOTIMPL(put_Left, long)
        FAKE_NOTIMPL(get_Left, long*)
        FAKE_NOTIMPL(put_Width, long)
        FAKE_NOTIMPL(get_Width, long*)
        FAKE_NOTIMPL(put_Top, long)
        FAKE_NOTIMPL(get_Top, long*)
        FAKE_NOTIMPL(put_Height, long)
        FAKE_NOTIMPL(get_Height, long*)
        HRESULT STDMETHODCALLTYPE put_Owner(OAHWND window) override { return FAKE_ANSWER(put_Owner, Number(window)); }
        FAKE_NOTIMPL(get_Owner, OAHWND*)
        HRESULT STDMETHODCALLTYPE put_MessageDrain(OAHWND window) override {
            return FAKE_ANSWER(put_MessageDrain, Number(window));
        }
        FAKE_NOTIMPL(get_MessageDrain, OAHWND*)
        FAKE_NOTIMPL(get_BorderColor, long*)
        FAKE_NOTIMPL(put_BorderColor, long)
        FAKE_NOTIMPL(get_FullScreenMode, long*)
        HRESULT STDMETHODCALLTYPE put_FullScreenMode(long mode) override {
            return FAKE_ANSWER(put_FullScreenMode, Number(mode));
        }
        HRESULT STDMETHODCALLTYPE SetWindowForeground(long focus) override {
            return FAKE_ANSWER(SetWindowForeground, Number(focus));
        }
        FAKE_NOTIMPL(NotifyOwnerMessage, OAHWND, long, LONG_PTR, LONG_PTR)
        HRESULT STDMETHODCALLTYPE SetWindowPosition(long left, long top, long width, long height) override {
            return FAKE_ANSWER(SetWindowPosition,
                               Number(left) + " " + Number(top) + " " + Number(width) + " " + Number(height));
        }
        FAKE_NOTIMPL(GetWindowPosition, long*, long*, long*, long*)
        FAKE_NOTIMPL(GetMinIdealImageSize, long*, long*)
        FAKE_NOTIMPL(GetMaxIdealImageSize, long*, long*)
        FAKE_NOTIMPL(GetRestorePosition, long*, long*, long*, long*)
        FAKE_NOTIMPL(HideCursor, long)
        FAKE_NOTIMPL(IsCursorHidden, long*)
    };

    struct EventPart : IMediaEventEx {
        static constexpr const char* kName = "IMediaEventEx";
        FAKE_UNKNOWN(EventPart)
        FAKE_DISPATCH
        FAKE_NOTIMPL(GetEventHandle, OAEVENT*)
        FAKE_NOTIMPL(GetEvent, long*, LONG_PTR*, LONG_PTR*, long)
        FAKE_NOTIMPL(WaitForCompletion, long, long*)
        FAKE_NOTIMPL(CancelDefaultHandling, long)
        FAKE_NOTIMPL(RestoreDefaultHandling, long)
        FAKE_NOTIMPL(FreeEventParams, long, LONG_PTR, LONG_PTR)
        HRESULT STDMETHODCALLTYPE SetNotifyWindow(OAHWND window, long message, LONG_PTR instanceData) override {
            return FAKE_ANSWER(SetNotifyWindow, Number(window) + " " + Number(message) + " " + Number(instanceData));
        }
        HRESULT STDMETHODCALLTYPE SetNotifyFlags(long flags) override { return FAKE_ANSWER(SetNotifyFlags, Number(flags)); }
        FAKE_NOTIMPL(GetNotifyFlags, long*)
    };

    GraphPart graph;
    ControlPart control;
    SeekingPart seeking;
    AudioPart audio;
    VideoPart video;
    WindowPart window;
    EventPart events;
    std::vector<std::unique_ptr<FakeFilter>> filters;
    std::vector<std::unique_ptr<FakeEnum>> enumerators;
};

namespace {

// A filter of the graph: only its reference count matters to the engine.
struct FakeFilter : IBaseFilter {
    FakeFilter(FakeGraph& graph, std::string filterName) : owner(graph), name(std::move(filterName)) {}
    FakeGraph& owner;
    std::string name;
    static constexpr const char* kName = "IBaseFilter";
    long refs = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return owner.Answer(name + "::QueryInterface", std::string(), E_NOINTERFACE);
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        (void)owner.Answer(name + "::AddRef");
        return static_cast<ULONG>(++refs);
    }
    ULONG STDMETHODCALLTYPE Release() override {
        (void)owner.Answer(name + "::Release");
        return static_cast<ULONG>(--refs);
    }
    FAKE_NOTIMPL(GetClassID, CLSID*)
    FAKE_NOTIMPL(Stop)
    FAKE_NOTIMPL(Pause)
    FAKE_NOTIMPL(Run, REFERENCE_TIME)
    FAKE_NOTIMPL(GetState, DWORD, FILTER_STATE*)
    FAKE_NOTIMPL(SetSyncSource, IReferenceClock*)
    FAKE_NOTIMPL(GetSyncSource, IReferenceClock**)
    FAKE_NOTIMPL(EnumPins, IEnumPins**)
    FAKE_NOTIMPL(FindPin, LPCWSTR, IPin**)
    FAKE_NOTIMPL(QueryFilterInfo, FILTER_INFO*)
    FAKE_NOTIMPL(JoinFilterGraph, IFilterGraph*, LPCWSTR)
    FAKE_NOTIMPL(QueryVendorInfo, LPWSTR*)
};

// Walks the graph's filters; Skip and Next answer S_OK while there is a filter left.
struct FakeEnum : IEnumFilters {
    static constexpr const char* kName = "IEnumFilters";
    explicit FakeEnum(FakeGraph& graph) : owner(graph) {}
    FakeGraph& owner;
    size_t cursor = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return FAKE_ANSWER(QueryInterface, "");
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        (void)FAKE_ANSWER(AddRef, "");
        owner.TakeRef();
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        (void)FAKE_ANSWER(Release, "");
        owner.DropRef();
        return 1;
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG count, IBaseFilter** filter, ULONG* fetched) override {
        (void)FAKE_ANSWER(Next, Number(count));
        owner.nextSlots.push_back(filter);
        const HRESULT result = count == 1 ? owner.NextFilter(cursor, filter) : E_INVALIDARG;
        if (fetched) {
            *fetched = result == S_OK ? 1 : 0;
        }
        return result;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        (void)FAKE_ANSWER(Skip, Number(count));
        const size_t total = static_cast<size_t>(owner.filterCount);
        if (cursor + count <= total) {
            cursor += count;
            return S_OK;
        }
        cursor = total;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        cursor = 0;
        return FAKE_ANSWER(Reset, "");
    }
    FAKE_NOTIMPL(Clone, IEnumFilters**)
};

}  // namespace

FakeGraph::Parts::Parts(FakeGraph& owner)
    : graph(owner), control(owner), seeking(owner), audio(owner), video(owner), window(owner), events(owner) {}

FakeGraph::Parts::~Parts() = default;

HRESULT FakeGraph::Parts::GraphPart::EnumFilters(IEnumFilters** filters) {
    const HRESULT result = FAKE_ANSWER(EnumFilters, "");
    if (FAILED(result)) {
        *filters = nullptr;
        return result;
    }
    auto& parts = *owner.parts_;
    while (parts.filters.size() < static_cast<size_t>(owner.filterCount)) {
        parts.filters.push_back(
            std::make_unique<FakeFilter>(owner, "filter" + std::to_string(parts.filters.size())));
    }
    parts.enumerators.push_back(std::make_unique<FakeEnum>(owner));
    owner.TakeRef();
    *filters = parts.enumerators.back().get();
    return result;
}

FakeGraph::FakeGraph() : parts_(std::make_unique<Parts>(*this)) {}

FakeGraph::~FakeGraph() = default;

GraphSource FakeGraph::Source() {
    GraphSource source;
    source.coInitialize = [this] { return Answer("CoInitialize"); };
    source.coUninitialize = [this] { (void)Answer("CoUninitialize"); };
    source.createGraph = [this](IGraphBuilder** graph) {
        const HRESULT result = Answer("CoCreateInstance");
        if (FAILED(result)) {
            *graph = nullptr;
            return result;
        }
        TakeRef();
        *graph = &parts_->graph;
        return result;
    };
    return source;
}

long FakeGraph::FilterRefs(int index) const {
    return parts_->filters.at(static_cast<size_t>(index))->refs;
}

std::vector<std::string> FakeGraph::LinesStartingWith(const std::string& prefix) const {
    std::vector<std::string> lines;
    for (const auto& line : log) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

HRESULT FakeGraph::Answer(const std::string& call, const std::string& arguments, HRESULT fallback) {
    const std::string line = arguments.empty() ? call : std::string(call).append(" ").append(arguments);
    log.push_back(line);
    if (throws.count(call) != 0) {
        throw std::bad_alloc();
    }
    if (auto whole = answers.find(line); whole != answers.end()) {
        return whole->second;
    }
    if (auto head = answers.find(call); head != answers.end()) {
        return head->second;
    }
    return fallback;
}

HRESULT FakeGraph::QueryPart(const char* through, REFIID iid, void** object) {
    struct Known {
        const IID& iid;
        const char* name;
        void* part;
    };
    const Known known[] = {
        {IID_IUnknown, "IUnknown", static_cast<IGraphBuilder*>(&parts_->graph)},
        {__uuidof(IFilterGraph), "IFilterGraph", static_cast<IGraphBuilder*>(&parts_->graph)},
        {__uuidof(IGraphBuilder), "IGraphBuilder", static_cast<IGraphBuilder*>(&parts_->graph)},
        {__uuidof(IMediaControl), "IMediaControl", static_cast<IMediaControl*>(&parts_->control)},
        {__uuidof(IMediaSeeking), "IMediaSeeking", static_cast<IMediaSeeking*>(&parts_->seeking)},
        {__uuidof(IBasicAudio), "IBasicAudio", static_cast<IBasicAudio*>(&parts_->audio)},
        {__uuidof(IBasicVideo), "IBasicVideo", static_cast<IBasicVideo*>(&parts_->video)},
        {__uuidof(IVideoWindow), "IVideoWindow", static_cast<IVideoWindow*>(&parts_->window)},
        {__uuidof(IMediaEventEx), "IMediaEventEx", static_cast<IMediaEventEx*>(&parts_->events)},
    };
    const Known* match = nullptr;
    for (const auto& entry : known) {
        if (IsEqualIID(iid, entry.iid)) {
            match = &entry;
        }
    }
    const HRESULT result = Answer(std::string(through).append("::QueryInterface"),
                                  match ? match->name : "other", match ? S_OK : E_NOINTERFACE);
    if (FAILED(result) || !match) {
        *object = nullptr;
        return FAILED(result) ? result : E_NOINTERFACE;
    }
    TakeRef();
    *object = match->part;
    return result;
}

ULONG FakeGraph::AddRefPart(const char* part) {
    (void)Answer(std::string(part).append("::AddRef"));
    return static_cast<ULONG>(++graphRefs_);
}

ULONG FakeGraph::ReleasePart(const char* part) {
    (void)Answer(std::string(part).append("::Release"));
    return static_cast<ULONG>(--graphRefs_);
}

std::string FakeGraph::FilterName(IBaseFilter* filter) const {
    for (const auto& candidate : parts_->filters) {
        if (candidate.get() == filter) {
            return candidate->name;
        }
    }
    return filter ? "unknown" : "null";
}

HRESULT FakeGraph::NextFilter(size_t& cursor, IBaseFilter** slot) {
    if (cursor >= static_cast<size_t>(filterCount) || cursor >= parts_->filters.size()) {
        return S_FALSE;
    }
    FakeFilter& filter = *parts_->filters[cursor++];
    ++filter.refs;
    *slot = &filter;
    return S_OK;
}
