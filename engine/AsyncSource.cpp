// The private source filter: a filter object, its one output pin, and the pin's IAsyncReader.
// All three share the filter's reference count, as DirectShow pins do; enumerators are objects
// of their own, and the pin enumerator keeps the filter alive. IPin and IAsyncReader both declare BeginFlush and
// EndFlush with one signature and different meanings, so the reader is a separate C++ object
// that answers QueryInterface as the pin does.
//
// Locks: the filter's guards its state, clock, graph, name and the pin's peer; the reader's
// guards its queue. Neither is held across a call out of the filter, since the parser reads
// from its own thread while the graph is still inside ReceiveConnection. Every COM method
// catches what could throw inside it.
#include "engine/AsyncSource.h"

#include <wrl/client.h>

#include <algorithm>
#include <cwchar>
#include <deque>
#include <iterator>
#include <new>
#include <string>
#include <utility>

using Microsoft::WRL::ComPtr;

namespace {

// Our own class ID, for GetClassID only: the filter is never registered.
constexpr CLSID kClsidAsyncSource = {0x2a01191f, 0x8637, 0x4966, {0xa0, 0xa7, 0x03, 0x48, 0xc6, 0x02, 0x0c, 0xbc}};
constexpr wchar_t kPinName[] = L"Output";
constexpr REFERENCE_TIME kUnits = 10000000;  // Request's times are byte offsets times this

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& lock_;
};

template <class Body>
HRESULT Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

void FillStreamType(AM_MEDIA_TYPE& type) {
    type = AM_MEDIA_TYPE{};
    type.majortype = MEDIATYPE_Stream;
    type.subtype = MEDIASUBTYPE_WAVE;
    type.bFixedSizeSamples = TRUE;
    type.bTemporalCompression = FALSE;
    type.lSampleSize = 1;
    type.formattype = GUID_NULL;
}

// GUID_NULL in a proposed type leaves that part open, as in IPin::Connect.
bool AcceptsPartial(const AM_MEDIA_TYPE& type) {
    return (type.majortype == GUID_NULL || type.majortype == MEDIATYPE_Stream) &&
           (type.subtype == GUID_NULL || type.subtype == MEDIASUBTYPE_WAVE);
}

bool IsStreamType(const AM_MEDIA_TYPE& type) {
    return type.majortype == MEDIATYPE_Stream && type.subtype == MEDIASUBTYPE_WAVE;
}

// IUnknown for an object that is all one interface, with its own count.
template <class Interface>
class SimpleObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(Interface)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0)
            delete this;  // COM objects own themselves
        return static_cast<ULONG>(left);
    }

protected:
    virtual ~SimpleObject() = default;

private:
    LONG refs_ = 1;
};

// An enumerator over exactly one item (the one pin, the one media type).
template <class Interface, class Item>
class OneItemEnum : public SimpleObject<Interface> {
public:
    explicit OneItemEnum(ULONG position) : position_(position) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG count, Item** items, ULONG* fetched) override {
        if (!items || (!fetched && count != 1))
            return E_POINTER;
        ULONG done = 0;
        if (count > 0 && position_ == 0) {
            items[0] = MakeItem();
            if (!items[0])
                return E_OUTOFMEMORY;
            done = 1;
            position_ = 1;
        }
        if (fetched)
            *fetched = done;
        return done == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        if (count > 1 - position_) {
            position_ = 1;
            return S_FALSE;
        }
        position_ += count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        position_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Interface** out) override {
        if (!out)
            return E_POINTER;
        *out = CloneAt(position_);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

protected:
    virtual Item* MakeItem() = 0;
    virtual Interface* CloneAt(ULONG position) = 0;

private:
    ULONG position_;
};

class MediaTypeEnum final : public OneItemEnum<IEnumMediaTypes, AM_MEDIA_TYPE> {
public:
    explicit MediaTypeEnum(ULONG position = 0) : OneItemEnum(position) {}

private:
    AM_MEDIA_TYPE* MakeItem() override {
        auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        if (type)
            FillStreamType(*type);
        return type;
    }
    IEnumMediaTypes* CloneAt(ULONG position) override { return new (std::nothrow) MediaTypeEnum(position); }
};

class PinEnum final : public OneItemEnum<IEnumPins, IPin> {
public:
    PinEnum(IBaseFilter* filter, IPin* pin, ULONG position = 0) : OneItemEnum(position), filter_(filter), pin_(pin) {}

private:
    IPin* MakeItem() override {
        pin_->AddRef();
        return pin_;
    }
    IEnumPins* CloneAt(ULONG position) override { return new (std::nothrow) PinEnum(filter_.Get(), pin_, position); }

    ComPtr<IBaseFilter> filter_;  // keeps the pin alive
    IPin* pin_;
};

class SourceFilter;

class SourceReader final : public IAsyncReader {
public:
    SourceReader(SourceFilter& filter, std::shared_ptr<ByteStream> stream);
    ~SourceReader();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE RequestAllocator(IMemAllocator* preferred,
                                               ALLOCATOR_PROPERTIES* props,
                                               IMemAllocator** actual) override;
    HRESULT STDMETHODCALLTYPE Request(IMediaSample* sample, DWORD_PTR user) override;
    HRESULT STDMETHODCALLTYPE WaitForNext(DWORD timeoutMs, IMediaSample** sample, DWORD_PTR* user) override;
    HRESULT STDMETHODCALLTYPE SyncReadAligned(IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE SyncRead(LONGLONG position, LONG length, BYTE* buffer) override;
    HRESULT STDMETHODCALLTYPE Length(LONGLONG* total, LONGLONG* available) override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;

private:
    // One read a sample asks for: its place, and its buffer clipped to the stream's end.
    struct Read {
        ComPtr<IMediaSample> sample;
        DWORD_PTR user = 0;
        int64_t position = 0;
        int32_t asked = 0;   // what the sample's times ask for
        int32_t length = 0;  // what lies inside the stream
        BYTE* buffer = nullptr;
        bool aborted = false;  // a flush came before it was read
    };

    HRESULT Prepare(IMediaSample* sample, Read& read);
    HRESULT Perform(const Read& read);
    int32_t Fill(int64_t position, BYTE* buffer, int32_t length);

    SourceFilter& filter_;
    const std::shared_ptr<ByteStream> stream_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;  // a request queued or a flush begun
    std::deque<Read> queue_;
    bool flushing_ = false;
    int32_t alignment_ = 1;  // what the allocator from RequestAllocator aligns to
};

class SourcePin final : public IPin {
public:
    SourcePin(SourceFilter& filter, std::shared_ptr<ByteStream> stream) : filter_(filter), reader_(filter, stream) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

private:
    SourceFilter& filter_;
    SourceReader reader_;
};

class SourceFilter final : public IBaseFilter {
public:
    explicit SourceFilter(std::shared_ptr<ByteStream> stream) : pin_(*this, std::move(stream)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0)
            delete this;  // COM objects own themselves
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override;
    HRESULT STDMETHODCALLTYPE Stop() override { return SetState(State_Stopped); }
    HRESULT STDMETHODCALLTYPE Pause() override { return SetState(State_Paused); }
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME /*start*/) override { return SetState(State_Running); }
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* info) override;

    // For the pin, under the filter's lock.
    SRWLOCK& Lock() { return lock_; }
    FILTER_STATE StateLocked() const { return state_; }
    ComPtr<IPin>& PeerLocked() { return peer_; }

private:
    ~SourceFilter() = default;
    HRESULT SetState(FILTER_STATE state);

    LONG refs_ = 1;
    SRWLOCK lock_ = SRWLOCK_INIT;
    FILTER_STATE state_ = State_Stopped;
    ComPtr<IReferenceClock> clock_;
    IFilterGraph* graph_ = nullptr;  // not counted: the graph holds us, and a count back would be a cycle
    std::wstring name_ = kAsyncSourceName;
    ComPtr<IPin> peer_;  // the pin's connection, kept here under the filter's lock
    SourcePin pin_;
};

// --- the filter ---------------------------------------------------------------------------------

HRESULT SourceFilter::QueryInterface(REFIID iid, void** out) {
    if (!out)
        return E_POINTER;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IPersist) || iid == __uuidof(IMediaFilter) ||
        iid == __uuidof(IBaseFilter)) {
        *out = static_cast<IBaseFilter*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT SourceFilter::GetClassID(CLSID* id) {
    if (!id)
        return E_POINTER;
    *id = kClsidAsyncSource;
    return S_OK;
}

HRESULT SourceFilter::SetState(FILTER_STATE state) {
    ExclusiveLock hold(lock_);
    state_ = state;
    return S_OK;
}

HRESULT SourceFilter::GetState(DWORD /*timeoutMs*/, FILTER_STATE* state) {
    if (!state)
        return E_POINTER;
    ExclusiveLock hold(lock_);
    *state = state_;
    return S_OK;
}

HRESULT SourceFilter::SetSyncSource(IReferenceClock* clock) {
    ComPtr<IReferenceClock> swapped(clock);  // counted here, and the old one released here, unlocked
    {
        ExclusiveLock hold(lock_);
        clock_.Swap(swapped);
    }
    return S_OK;
}

HRESULT SourceFilter::GetSyncSource(IReferenceClock** clock) {
    if (!clock)
        return E_POINTER;
    IReferenceClock* current = nullptr;
    {
        ExclusiveLock hold(lock_);
        current = clock_.Get();
        if (current)
            current->AddRef();
    }
    *clock = current;
    return S_OK;
}

HRESULT SourceFilter::EnumPins(IEnumPins** pins) {
    if (!pins)
        return E_POINTER;
    *pins = new (std::nothrow) PinEnum(this, &pin_);
    return *pins ? S_OK : E_OUTOFMEMORY;
}

HRESULT SourceFilter::FindPin(LPCWSTR id, IPin** pin) {
    if (!id || !pin)
        return E_POINTER;
    if (wcscmp(id, kPinName) != 0) {
        *pin = nullptr;
        return VFW_E_NOT_FOUND;
    }
    pin_.AddRef();
    *pin = &pin_;
    return S_OK;
}

HRESULT SourceFilter::QueryFilterInfo(FILTER_INFO* info) {
    if (!info)
        return E_POINTER;
    ExclusiveLock hold(lock_);
    const size_t length = std::min(name_.size(), std::size(info->achName) - 1);
    std::copy_n(name_.c_str(), length, info->achName);
    info->achName[length] = L'\0';
    info->pGraph = graph_;
    if (graph_)
        graph_->AddRef();
    return S_OK;
}

HRESULT SourceFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    return Guarded([&] {
        std::wstring newName = name ? name : L"";
        ExclusiveLock hold(lock_);
        graph_ = graph;
        name_ = std::move(newName);
        return S_OK;
    });
}

HRESULT SourceFilter::QueryVendorInfo(LPWSTR* info) {
    if (info)
        *info = nullptr;
    return E_NOTIMPL;
}

// --- the pin ------------------------------------------------------------------------------------

HRESULT SourcePin::QueryInterface(REFIID iid, void** out) {
    if (!out)
        return E_POINTER;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IPin)) {
        *out = static_cast<IPin*>(this);
    } else if (iid == __uuidof(IAsyncReader)) {
        *out = static_cast<IAsyncReader*>(&reader_);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    filter_.AddRef();
    return S_OK;
}

ULONG SourcePin::AddRef() {
    return filter_.AddRef();
}
ULONG SourcePin::Release() {
    return filter_.Release();
}

HRESULT SourcePin::Connect(IPin* receiver, const AM_MEDIA_TYPE* type) {
    if (!receiver)
        return E_POINTER;
    if (type && !AcceptsPartial(*type))
        return VFW_E_TYPE_NOT_ACCEPTED;
    {
        // Taken before the call, so that a second Connect meanwhile is refused.
        ExclusiveLock hold(filter_.Lock());
        if (filter_.StateLocked() != State_Stopped)
            return VFW_E_NOT_STOPPED;
        if (filter_.PeerLocked())
            return VFW_E_ALREADY_CONNECTED;
        filter_.PeerLocked() = receiver;
    }
    // Unlocked: the parser starts reading from its own thread before this returns.
    AM_MEDIA_TYPE ours;
    FillStreamType(ours);
    const HRESULT hr = receiver->ReceiveConnection(this, &ours);
    if (SUCCEEDED(hr))
        return S_OK;
    ComPtr<IPin> refused;
    {
        ExclusiveLock hold(filter_.Lock());
        refused.Swap(filter_.PeerLocked());
    }
    return hr;
}

HRESULT SourcePin::ReceiveConnection(IPin* /*connector*/, const AM_MEDIA_TYPE* /*type*/) {
    return E_UNEXPECTED;  // an output pin is never the receiving end
}

HRESULT SourcePin::Disconnect() {
    ComPtr<IPin> peer;
    {
        ExclusiveLock hold(filter_.Lock());
        if (filter_.StateLocked() != State_Stopped)
            return VFW_E_NOT_STOPPED;
        peer.Swap(filter_.PeerLocked());
    }
    return peer ? S_OK : S_FALSE;
}

HRESULT SourcePin::ConnectedTo(IPin** pin) {
    if (!pin)
        return E_POINTER;
    ComPtr<IPin> peer;
    {
        ExclusiveLock hold(filter_.Lock());
        peer = filter_.PeerLocked();
    }
    *pin = peer.Detach();
    return *pin ? S_OK : VFW_E_NOT_CONNECTED;
}

HRESULT SourcePin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
    if (!type)
        return E_POINTER;
    bool connected = false;
    {
        ExclusiveLock hold(filter_.Lock());
        connected = filter_.PeerLocked() != nullptr;
    }
    if (!connected) {
        *type = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    FillStreamType(*type);
    return S_OK;
}

HRESULT SourcePin::QueryPinInfo(PIN_INFO* info) {
    if (!info)
        return E_POINTER;
    info->pFilter = &filter_;
    filter_.AddRef();
    info->dir = PINDIR_OUTPUT;
    wcscpy(info->achName, kPinName);
    return S_OK;
}

HRESULT SourcePin::QueryDirection(PIN_DIRECTION* direction) {
    if (!direction)
        return E_POINTER;
    *direction = PINDIR_OUTPUT;
    return S_OK;
}

HRESULT SourcePin::QueryId(LPWSTR* id) {
    if (!id)
        return E_POINTER;
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof kPinName));
    if (!*id)
        return E_OUTOFMEMORY;
    wcscpy(*id, kPinName);
    return S_OK;
}

HRESULT SourcePin::QueryAccept(const AM_MEDIA_TYPE* type) {
    if (!type)
        return E_POINTER;
    return IsStreamType(*type) ? S_OK : S_FALSE;
}

HRESULT SourcePin::EnumMediaTypes(IEnumMediaTypes** types) {
    if (!types)
        return E_POINTER;
    *types = new (std::nothrow) MediaTypeEnum();
    return *types ? S_OK : E_OUTOFMEMORY;
}

HRESULT SourcePin::QueryInternalConnections(IPin** /*pins*/, ULONG* /*count*/) {
    return E_NOTIMPL;
}

// Data goes downstream only through IAsyncReader: the stream calls of IPin belong to input pins.
HRESULT SourcePin::EndOfStream() {
    return E_UNEXPECTED;
}
HRESULT SourcePin::BeginFlush() {
    return E_UNEXPECTED;
}
HRESULT SourcePin::EndFlush() {
    return E_UNEXPECTED;
}
HRESULT SourcePin::NewSegment(REFERENCE_TIME /*start*/, REFERENCE_TIME /*stop*/, double /*rate*/) {
    return S_OK;
}

// --- the reader ---------------------------------------------------------------------------------

SourceReader::SourceReader(SourceFilter& filter, std::shared_ptr<ByteStream> stream)
    : filter_(filter), stream_(std::move(stream)) {}

SourceReader::~SourceReader() = default;

HRESULT SourceReader::QueryInterface(REFIID iid, void** out) {
    IPin* pin = nullptr;
    if (filter_.FindPin(kPinName, &pin) != S_OK)
        return E_UNEXPECTED;
    const HRESULT hr = pin->QueryInterface(iid, out);
    pin->Release();
    return hr;
}

ULONG SourceReader::AddRef() {
    return filter_.AddRef();
}
ULONG SourceReader::Release() {
    return filter_.Release();
}

HRESULT SourceReader::RequestAllocator(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* props, IMemAllocator** actual) {
    if (!props || !actual)
        return E_POINTER;
    *actual = nullptr;
    ALLOCATOR_PROPERTIES wanted = *props;
    if (wanted.cbAlign <= 0)
        wanted.cbAlign = 1;

    // Any alignment serves the stream; what the allocator grants is what aligned reads must keep.
    ComPtr<IMemAllocator> allocator(preferred);
    ALLOCATOR_PROPERTIES granted{};
    if (!allocator || FAILED(allocator->SetProperties(&wanted, &granted))) {
        allocator.Reset();
        HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(allocator.GetAddressOf()));
        if (FAILED(hr))
            return hr;
        hr = allocator->SetProperties(&wanted, &granted);
        if (FAILED(hr))
            return hr;
    }
    {
        ExclusiveLock hold(lock_);
        alignment_ = std::max<LONG>(granted.cbAlign, 1);
    }
    *actual = allocator.Detach();
    return S_OK;
}

// Reads the sample's times (byte offsets × 10^7) and buffer into read, checking alignment and
// clipping the length to the stream's end.
HRESULT SourceReader::Prepare(IMediaSample* sample, Read& read) {
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    HRESULT hr = sample->GetTime(&start, &stop);
    if (FAILED(hr))
        return hr;
    if (start < 0 || stop < start)
        return E_INVALIDARG;
    const int64_t position = start / kUnits;
    const int64_t asked = (stop - start) / kUnits;
    if (asked > sample->GetSize())
        return E_INVALIDARG;

    BYTE* buffer = nullptr;
    hr = sample->GetPointer(&buffer);
    if (FAILED(hr))
        return hr;

    int32_t alignment = 1;
    {
        ExclusiveLock hold(lock_);
        alignment = alignment_;
    }
    if (position % alignment != 0 || asked % alignment != 0 ||
        reinterpret_cast<uintptr_t>(buffer) % static_cast<uintptr_t>(alignment) != 0) {
        return VFW_E_BADALIGN;
    }

    const int64_t size = stream_->Size();
    const int64_t length = std::clamp<int64_t>(size - position, 0, asked);
    if (length < asked) {
        // The sample tells its reader where its data ends.
        REFERENCE_TIME end = (position + length) * kUnits;
        (void)sample->SetTime(&start, &end);
    }
    read.sample = sample;
    read.position = position;
    read.asked = static_cast<int32_t>(asked);
    read.length = static_cast<int32_t>(length);
    read.buffer = buffer;
    return S_OK;
}

// Reads into the sample's buffer and sets its data length: S_OK when it got all it asked for,
// S_FALSE when the stream ended first.
HRESULT SourceReader::Perform(const Read& read) {
    const int32_t got = Fill(read.position, read.buffer, read.length);
    if (got < 0) {
        (void)read.sample->SetActualDataLength(0);
        return E_FAIL;
    }
    (void)read.sample->SetActualDataLength(got);
    return got == read.asked ? S_OK : S_FALSE;
}

// The stream's bytes at position, at most length of them; -1 when the stream fails.
int32_t SourceReader::Fill(int64_t position, BYTE* buffer, int32_t length) {
    const int64_t size = stream_->Size();
    if (position >= size || length <= 0)
        return 0;
    const auto inside = static_cast<int32_t>(std::min<int64_t>(length, size - position));
    const int32_t got = stream_->Read(position, buffer, inside);
    return got < 0 ? -1 : std::min(got, inside);
}

HRESULT SourceReader::Request(IMediaSample* sample, DWORD_PTR user) {
    if (!sample)
        return E_POINTER;
    return Guarded([&] {
        Read read;
        HRESULT hr = Prepare(sample, read);
        if (FAILED(hr))
            return hr;
        read.user = user;
        {
            ExclusiveLock hold(lock_);
            if (flushing_)
                return VFW_E_WRONG_STATE;
            queue_.push_back(std::move(read));
        }
        WakeAllConditionVariable(&changed_);
        return S_OK;
    });
}

// The plug-in has no thread of its own, so the oldest queued read is done here, on the caller's
// thread. Flushed reads come back unread, with VFW_E_WRONG_STATE, so that the caller can release
// their samples.
HRESULT SourceReader::WaitForNext(DWORD timeoutMs, IMediaSample** sample, DWORD_PTR* user) {
    if (!sample || !user)
        return E_POINTER;
    *sample = nullptr;
    *user = 0;
    return Guarded([&] {
        Read read;
        {
            ExclusiveLock hold(lock_);
            const ULONGLONG deadline = GetTickCount64() + timeoutMs;
            while (queue_.empty()) {
                if (flushing_)
                    return VFW_E_WRONG_STATE;
                DWORD wait = INFINITE;
                if (timeoutMs != INFINITE) {
                    const ULONGLONG now = GetTickCount64();
                    if (now >= deadline)
                        return VFW_E_TIMEOUT;
                    wait = static_cast<DWORD>(deadline - now);
                }
                if (!SleepConditionVariableSRW(&changed_, &lock_, wait, 0) && GetLastError() != ERROR_TIMEOUT) {
                    return E_FAIL;
                }
            }
            read = std::move(queue_.front());
            queue_.pop_front();
        }
        const HRESULT hr = read.aborted ? VFW_E_WRONG_STATE : Perform(read);
        *user = read.user;
        *sample = read.sample.Detach();
        return hr;
    });
}

HRESULT SourceReader::SyncReadAligned(IMediaSample* sample) {
    if (!sample)
        return E_POINTER;
    return Guarded([&] {
        Read read;
        const HRESULT hr = Prepare(sample, read);
        if (FAILED(hr))
            return hr;
        return Perform(read);
    });
}

// Wine's WAVE parser uses the whole buffer even on S_FALSE, so what lies past the end is zeroed.
HRESULT SourceReader::SyncRead(LONGLONG position, LONG length, BYTE* buffer) {
    if (position < 0 || length < 0)
        return E_INVALIDARG;
    if (length == 0)
        return S_OK;
    if (!buffer)
        return E_POINTER;
    const int32_t got = Fill(position, buffer, length);
    if (got < 0)
        return E_FAIL;
    if (got == length)
        return S_OK;
    std::fill(buffer + got, buffer + length, BYTE{0});
    return S_FALSE;
}

HRESULT SourceReader::Length(LONGLONG* total, LONGLONG* available) {
    if (!total && !available)
        return E_POINTER;
    const int64_t size = stream_->Size();
    if (total)
        *total = size;
    if (available)
        *available = size;
    return S_OK;
}

HRESULT SourceReader::BeginFlush() {
    {
        ExclusiveLock hold(lock_);
        flushing_ = true;
        for (Read& read : queue_)
            read.aborted = true;
    }
    WakeAllConditionVariable(&changed_);
    return S_OK;
}

HRESULT SourceReader::EndFlush() {
    ExclusiveLock hold(lock_);
    flushing_ = false;
    return S_OK;
}

}  // namespace

HRESULT CreateAsyncSource(std::shared_ptr<ByteStream> stream, IBaseFilter** filter) {
    if (!filter)
        return E_POINTER;
    *filter = nullptr;
    if (!stream)
        return E_POINTER;
    *filter = new (std::nothrow) SourceFilter(std::move(stream));
    return *filter ? S_OK : E_OUTOFMEMORY;
}
