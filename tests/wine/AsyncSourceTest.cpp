// The engine's source filter driven directly, as a pulling parser would: IAsyncReader's
// synchronous and queued reads with samples from the system's memory allocator, flushing,
// timeouts, alignment and the stream's end; and the COM surface a graph relies on (identity,
// counts across the filter, its pin and an enumerator, connection refusals).
#include "engine/AsyncSource.h"
#include "tests/wine/MemoryStream.h"

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

constexpr REFERENCE_TIME kUnits = 10000000;
constexpr int64_t kSize = 10007;  // odd, so that the end is never aligned

class AsyncSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        stream = std::make_shared<MemoryStream>(CountingBytes(kSize));
        ASSERT_EQ(S_OK, CreateAsyncSource(stream, &filter));
        ASSERT_EQ(S_OK, filter->FindPin(L"Output", &pin));
        ASSERT_EQ(S_OK, pin.As(&reader));
    }

    void TearDown() override {
        reader.Reset();
        pin.Reset();
        filter.Reset();
        CoUninitialize();
    }

    // An allocator from the reader itself, committed, with buffers of bufferSize bytes.
    ComPtr<IMemAllocator> Allocator(LONG align, LONG bufferSize = 4096, LONG buffers = 4) {
        ALLOCATOR_PROPERTIES props{buffers, bufferSize, align, 0};
        ComPtr<IMemAllocator> allocator;
        EXPECT_EQ(S_OK, reader->RequestAllocator(nullptr, &props, &allocator));
        if (allocator) {
            EXPECT_EQ(S_OK, allocator->Commit());
        }
        return allocator;
    }

    static ComPtr<IMediaSample> Sample(IMemAllocator* allocator, int64_t position, int64_t length) {
        ComPtr<IMediaSample> sample;
        EXPECT_EQ(S_OK, allocator->GetBuffer(&sample, nullptr, nullptr, 0));
        if (!sample)
            return sample;
        REFERENCE_TIME start = position * kUnits;
        REFERENCE_TIME stop = (position + length) * kUnits;
        EXPECT_EQ(S_OK, sample->SetTime(&start, &stop));
        return sample;
    }

    // The sample's data equals the stream's bytes at position.
    void ExpectHolds(IMediaSample* sample, int64_t position, int32_t length) {
        ASSERT_EQ(length, sample->GetActualDataLength());
        BYTE* data = nullptr;
        ASSERT_EQ(S_OK, sample->GetPointer(&data));
        EXPECT_EQ(0, memcmp(data, stream->Bytes().data() + position, static_cast<size_t>(length))) << "at " << position;
    }

    std::shared_ptr<MemoryStream> stream;
    ComPtr<IBaseFilter> filter;
    ComPtr<IPin> pin;
    ComPtr<IAsyncReader> reader;
};

TEST_F(AsyncSourceTest, LengthIsTheStreamsExactSize) {
    LONGLONG total = -1;
    LONGLONG available = -1;
    ASSERT_EQ(S_OK, reader->Length(&total, &available));
    EXPECT_EQ(kSize, total);
    EXPECT_EQ(kSize, available);
}

TEST_F(AsyncSourceTest, SyncReadFillsTheBufferAndZeroesPastTheEnd) {
    std::vector<BYTE> buffer(600, 0xCC);
    ASSERT_EQ(S_OK, reader->SyncRead(1234, 600, buffer.data()));
    EXPECT_EQ(0, memcmp(buffer.data(), stream->Bytes().data() + 1234, 600));

    // Crossing the end: 7 bytes of data, the rest zero, and S_FALSE.
    std::fill(buffer.begin(), buffer.end(), BYTE{0xCC});
    ASSERT_EQ(S_FALSE, reader->SyncRead(kSize - 7, 600, buffer.data()));
    EXPECT_EQ(0, memcmp(buffer.data(), stream->Bytes().data() + kSize - 7, 7));
    EXPECT_EQ(std::vector<BYTE>(593, 0), std::vector<BYTE>(buffer.begin() + 7, buffer.end()));

    // Wholly past the end.
    std::fill(buffer.begin(), buffer.end(), BYTE{0xCC});
    ASSERT_EQ(S_FALSE, reader->SyncRead(kSize + 100, 600, buffer.data()));
    EXPECT_EQ(std::vector<BYTE>(600, 0), buffer);

    EXPECT_EQ(E_INVALIDARG, reader->SyncRead(-1, 10, buffer.data()));
    EXPECT_EQ(E_INVALIDARG, reader->SyncRead(0, -1, buffer.data()));
    EXPECT_FALSE(stream->outOfRange) << "the stream was asked for bytes it does not have";
}

TEST_F(AsyncSourceTest, AStreamFailureIsAnError) {
    stream->fail = true;
    BYTE buffer[16];
    EXPECT_TRUE(FAILED(reader->SyncRead(0, 16, buffer)));
    auto allocator = Allocator(1);
    auto sample = Sample(allocator.Get(), 0, 16);
    EXPECT_TRUE(FAILED(reader->SyncReadAligned(sample.Get())));
}

TEST_F(AsyncSourceTest, QueuedRequestsComeBackInOrderWithTheirData) {
    auto allocator = Allocator(1);
    struct Asked {
        int64_t position;
        int32_t length;
        DWORD_PTR user;
    };
    const Asked asked[] = {{0, 4096, 11}, {5000, 3, 22}, {777, 1000, 33}};
    for (const Asked& a : asked) {
        auto sample = Sample(allocator.Get(), a.position, a.length);
        ASSERT_EQ(S_OK, reader->Request(sample.Get(), a.user));
    }
    EXPECT_EQ(0, stream->reads) << "requests are read when collected, not when queued";
    for (const Asked& a : asked) {
        ComPtr<IMediaSample> sample;
        DWORD_PTR user = 0;
        ASSERT_EQ(S_OK, reader->WaitForNext(1000, &sample, &user));
        ASSERT_TRUE(sample);
        EXPECT_EQ(a.user, user);
        ExpectHolds(sample.Get(), a.position, a.length);
    }
    EXPECT_TRUE(stream->ReadOnlyOn(GetCurrentThreadId()));
}

TEST_F(AsyncSourceTest, RequestsAtTheEndAreClippedAndSayS_FALSE) {
    auto allocator = Allocator(1);
    auto crossing = Sample(allocator.Get(), kSize - 10, 100);
    auto beyond = Sample(allocator.Get(), kSize + 50, 100);
    ASSERT_EQ(S_OK, reader->Request(crossing.Get(), 1));
    ASSERT_EQ(S_OK, reader->Request(beyond.Get(), 2));

    ComPtr<IMediaSample> sample;
    DWORD_PTR user = 0;
    ASSERT_EQ(S_FALSE, reader->WaitForNext(1000, &sample, &user));
    EXPECT_EQ(1u, user);
    ExpectHolds(sample.Get(), kSize - 10, 10);
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    ASSERT_EQ(S_OK, sample->GetTime(&start, &stop));
    EXPECT_EQ((kSize - 10) * kUnits, start);
    EXPECT_EQ(kSize * kUnits, stop) << "the stop time marks where the data ends";

    ASSERT_EQ(S_FALSE, reader->WaitForNext(1000, sample.ReleaseAndGetAddressOf(), &user));
    EXPECT_EQ(2u, user);
    EXPECT_EQ(0, sample->GetActualDataLength());
    EXPECT_FALSE(stream->outOfRange);
}

TEST_F(AsyncSourceTest, SyncReadAlignedReadsIntoTheSample) {
    auto allocator = Allocator(1);
    auto sample = Sample(allocator.Get(), 333, 2000);
    ASSERT_EQ(S_OK, reader->SyncReadAligned(sample.Get()));
    ExpectHolds(sample.Get(), 333, 2000);

    auto tail = Sample(allocator.Get(), kSize - 1, 2000);
    ASSERT_EQ(S_FALSE, reader->SyncReadAligned(tail.Get()));
    ExpectHolds(tail.Get(), kSize - 1, 1);
}

TEST_F(AsyncSourceTest, SamplesMustAskForWhatTheyCanHold) {
    auto allocator = Allocator(1, 512);
    auto tooLong = Sample(allocator.Get(), 0, 513);
    EXPECT_EQ(E_INVALIDARG, reader->Request(tooLong.Get(), 0));
    EXPECT_EQ(E_INVALIDARG, reader->SyncReadAligned(tooLong.Get()));

    ComPtr<IMediaSample> untimed;
    ASSERT_EQ(S_OK, allocator->GetBuffer(&untimed, nullptr, nullptr, 0));
    EXPECT_TRUE(FAILED(reader->Request(untimed.Get(), 0)));

    // Nothing was queued by the refusals.
    ComPtr<IMediaSample> sample;
    DWORD_PTR user = 0;
    EXPECT_EQ(VFW_E_TIMEOUT, reader->WaitForNext(0, &sample, &user));
    EXPECT_FALSE(sample);
}

TEST_F(AsyncSourceTest, AlignedReadsKeepTheAllocatorsAlignment) {
    auto allocator = Allocator(16);
    ALLOCATOR_PROPERTIES props{};
    ASSERT_EQ(S_OK, allocator->GetProperties(&props));
    ASSERT_EQ(16, props.cbAlign);

    struct Row {
        int64_t position;
        int64_t length;
        HRESULT expected;
    };
    const Row rows[] = {{32, 64, S_OK}, {8, 64, VFW_E_BADALIGN}, {32, 60, VFW_E_BADALIGN}, {1, 1, VFW_E_BADALIGN}};
    for (const Row& row : rows) {
        auto sample = Sample(allocator.Get(), row.position, row.length);
        EXPECT_EQ(row.expected, reader->SyncReadAligned(sample.Get())) << row.position << "+" << row.length;
        const HRESULT queued = reader->Request(sample.Get(), 0);
        EXPECT_EQ(row.expected, queued) << row.position << "+" << row.length;
        if (queued == S_OK) {
            ComPtr<IMediaSample> back;
            DWORD_PTR user = 0;
            EXPECT_EQ(S_OK, reader->WaitForNext(1000, &back, &user));
        }
    }

    // Unaligned reads stay free, and an allocator asked for no alignment gives byte alignment.
    BYTE buffer[3];
    EXPECT_EQ(S_OK, reader->SyncRead(5, 3, buffer));
    auto loose = Allocator(0);
    ASSERT_EQ(S_OK, loose->GetProperties(&props));
    EXPECT_EQ(1, props.cbAlign);
    auto odd = Sample(loose.Get(), 3, 5);
    EXPECT_EQ(S_OK, reader->SyncReadAligned(odd.Get()));
}

TEST_F(AsyncSourceTest, RequestAllocatorKeepsAPreferredAllocator) {
    ComPtr<IMemAllocator> preferred;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&preferred)));
    ALLOCATOR_PROPERTIES props{2, 1000, 4, 0};
    ComPtr<IMemAllocator> actual;
    ASSERT_EQ(S_OK, reader->RequestAllocator(preferred.Get(), &props, &actual));
    EXPECT_EQ(preferred.Get(), actual.Get());
    ALLOCATOR_PROPERTIES got{};
    ASSERT_EQ(S_OK, actual->GetProperties(&got));
    EXPECT_EQ(2, got.cBuffers);
    EXPECT_EQ(1000, got.cbBuffer);
}

TEST_F(AsyncSourceTest, WaitForNextTimesOut) {
    ComPtr<IMediaSample> sample;
    DWORD_PTR user = 7;
    EXPECT_EQ(VFW_E_TIMEOUT, reader->WaitForNext(0, &sample, &user));
    EXPECT_FALSE(sample);
    EXPECT_EQ(0u, user);

    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(VFW_E_TIMEOUT, reader->WaitForNext(200, &sample, &user));
    const ULONGLONG waited = GetTickCount64() - start;
    EXPECT_GE(waited, 180u);
    EXPECT_LT(waited, 2000u);
}

TEST_F(AsyncSourceTest, WaitForNextWakesForARequestFromAnotherThread) {
    auto allocator = Allocator(1);
    auto sample = Sample(allocator.Get(), 100, 50);
    std::thread requester([&] {
        Sleep(150);
        EXPECT_EQ(S_OK, reader->Request(sample.Get(), 5));
    });
    ComPtr<IMediaSample> back;
    DWORD_PTR user = 0;
    const HRESULT hr = reader->WaitForNext(10000, &back, &user);
    requester.join();
    ASSERT_EQ(S_OK, hr);
    EXPECT_EQ(5u, user);
    ExpectHolds(back.Get(), 100, 50);
    EXPECT_TRUE(stream->ReadOnlyOn(GetCurrentThreadId())) << "read on the thread that collected it";
}

TEST_F(AsyncSourceTest, AFlushHandsBackWaitingRequestsUnread) {
    auto allocator = Allocator(1);
    for (DWORD_PTR user = 1; user <= 3; ++user) {
        auto sample = Sample(allocator.Get(), static_cast<int64_t>(user) * 100, 100);
        ASSERT_EQ(S_OK, reader->Request(sample.Get(), user));
    }
    ASSERT_EQ(S_OK, reader->BeginFlush());
    auto late = Sample(allocator.Get(), 0, 10);
    EXPECT_EQ(VFW_E_WRONG_STATE, reader->Request(late.Get(), 9));

    for (DWORD_PTR user = 1; user <= 3; ++user) {
        ComPtr<IMediaSample> sample;
        DWORD_PTR got = 0;
        EXPECT_EQ(VFW_E_WRONG_STATE, reader->WaitForNext(INFINITE, &sample, &got));
        ASSERT_TRUE(sample) << "a flushed request still hands its sample back";
        EXPECT_EQ(user, got);
    }
    // Drained: while flushing, WaitForNext answers at once, without a sample.
    ComPtr<IMediaSample> none;
    DWORD_PTR user = 0;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(VFW_E_WRONG_STATE, reader->WaitForNext(5000, &none, &user));
    EXPECT_LT(GetTickCount64() - start, 1000u);
    EXPECT_FALSE(none);
    EXPECT_EQ(0, stream->reads) << "flushed requests are not read";

    ASSERT_EQ(S_OK, reader->EndFlush());
    ASSERT_EQ(S_OK, reader->Request(late.Get(), 9));
    ASSERT_EQ(S_OK, reader->WaitForNext(1000, none.ReleaseAndGetAddressOf(), &user));
    EXPECT_EQ(9u, user);
    ExpectHolds(none.Get(), 0, 10);
}

TEST_F(AsyncSourceTest, AFlushWakesAWaitingCollector) {
    HRESULT hr = S_OK;
    ULONGLONG waited = 0;
    ComPtr<IMediaSample> sample;
    std::thread collector([&] {
        DWORD_PTR user = 0;
        const ULONGLONG start = GetTickCount64();
        hr = reader->WaitForNext(20000, &sample, &user);
        waited = GetTickCount64() - start;
    });
    Sleep(150);
    ASSERT_EQ(S_OK, reader->BeginFlush());
    collector.join();
    EXPECT_EQ(VFW_E_WRONG_STATE, hr);
    EXPECT_FALSE(sample);
    EXPECT_LT(waited, 10000u);
    EXPECT_EQ(S_OK, reader->EndFlush());
}

TEST_F(AsyncSourceTest, TwoCollectorsShareTheQueue) {
    auto allocator = Allocator(1, 256, 8);
    constexpr int kRequests = 8;
    std::vector<ComPtr<IMediaSample>> samples;
    for (int i = 0; i < kRequests; ++i) {
        samples.push_back(Sample(allocator.Get(), i * 256, 256));
        ASSERT_EQ(S_OK, reader->Request(samples.back().Get(), static_cast<DWORD_PTR>(i)));
    }
    samples.clear();
    std::vector<int> seen(kRequests, 0);
    std::atomic<int> bad{0};
    auto collect = [&] {
        for (;;) {
            ComPtr<IMediaSample> sample;
            DWORD_PTR user = 0;
            const HRESULT hr = reader->WaitForNext(100, &sample, &user);
            if (hr == VFW_E_TIMEOUT)
                return;
            BYTE* data = nullptr;
            if (hr != S_OK || user >= kRequests || FAILED(sample->GetPointer(&data)) ||
                memcmp(data, stream->Bytes().data() + user * 256, 256) != 0) {
                ++bad;
                return;
            }
            ++seen[user];  // each index is written by one collector only, when the queue is right
        }
    };
    std::thread a(collect);
    std::thread b(collect);
    a.join();
    b.join();
    EXPECT_EQ(0, bad);
    EXPECT_EQ(std::vector<int>(kRequests, 1), seen);
}

// --- the COM surface ------------------------------------------------------------------------------

TEST_F(AsyncSourceTest, ThePinAndItsReaderAreOneObject) {
    ComPtr<IPin> fromReader;
    ASSERT_EQ(S_OK, reader.As(&fromReader));
    EXPECT_EQ(pin.Get(), fromReader.Get());
    ComPtr<IUnknown> a;
    ComPtr<IUnknown> b;
    ASSERT_EQ(S_OK, pin.As(&a));
    ASSERT_EQ(S_OK, reader.As(&b));
    EXPECT_EQ(a.Get(), b.Get());

    ComPtr<IMediaFilter> mediaFilter;
    ComPtr<IPersist> persist;
    EXPECT_EQ(S_OK, filter.As(&mediaFilter));
    EXPECT_EQ(S_OK, filter.As(&persist));
    ComPtr<IAsyncReader> notOnTheFilter;
    EXPECT_EQ(E_NOINTERFACE, filter.As(&notOnTheFilter));

    // What the pin offers is what it accepts.
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, pin->EnumMediaTypes(&types));
    AM_MEDIA_TYPE* type[2] = {};
    ULONG fetched = 0;
    ASSERT_EQ(S_FALSE, types->Next(2, type, &fetched));
    ASSERT_EQ(1u, fetched);
    EXPECT_EQ(S_OK, pin->QueryAccept(type[0]));
    CoTaskMemFree(type[0]);
    AM_MEDIA_TYPE other{};
    other.majortype = MEDIATYPE_Audio;
    EXPECT_EQ(S_FALSE, pin->QueryAccept(&other));
}

TEST_F(AsyncSourceTest, ThePinKeepsTheFilterAliveAndEverythingIsFreedAtTheEnd) {
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(S_OK, filter->EnumPins(&pins));
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, pin->EnumMediaTypes(&types));
    filter.Reset();

    PIN_INFO info{};
    ASSERT_EQ(S_OK, pin->QueryPinInfo(&info));
    ASSERT_TRUE(info.pFilter);
    EXPECT_EQ(PINDIR_OUTPUT, info.dir);
    EXPECT_STREQ(L"Output", info.achName);
    info.pFilter->Release();

    // Counts from two threads at once must balance.
    std::atomic<int> ready{0};
    auto churn = [&] {
        ++ready;
        while (ready < 2) {
        }
        for (int i = 0; i < 2000000; ++i) {
            reader->AddRef();
            pin->Release();
        }
    };
    std::thread a(churn);
    std::thread b(churn);
    a.join();
    b.join();

    EXPECT_GT(stream.use_count(), 1);
    reader.Reset();
    pin.Reset();
    EXPECT_GT(stream.use_count(), 1) << "the enumerators still hold the filter";
    pins.Reset();
    types.Reset();
    EXPECT_EQ(1, stream.use_count()) << "the filter was not freed";
}

TEST_F(AsyncSourceTest, ConnectionsAreRefusedCleanly) {
    // Another source's output pin is no receiver: its refusal leaves ours unconnected.
    ComPtr<IBaseFilter> otherFilter;
    ASSERT_EQ(S_OK, CreateAsyncSource(std::make_shared<MemoryStream>("x"), &otherFilter));
    ComPtr<IPin> other;
    ASSERT_EQ(S_OK, otherFilter->FindPin(L"Output", &other));
    EXPECT_TRUE(FAILED(pin->Connect(other.Get(), nullptr)));
    ComPtr<IPin> peer;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->ConnectedTo(&peer));
    AM_MEDIA_TYPE type{};
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->ConnectionMediaType(&type));
    EXPECT_EQ(S_FALSE, pin->Disconnect());

    AM_MEDIA_TYPE audio{};
    audio.majortype = MEDIATYPE_Audio;
    EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, pin->Connect(other.Get(), &audio));

    ASSERT_EQ(S_OK, filter->Pause());
    EXPECT_EQ(VFW_E_NOT_STOPPED, pin->Connect(other.Get(), nullptr));
    FILTER_STATE state = State_Stopped;
    EXPECT_EQ(S_OK, filter->GetState(0, &state));
    EXPECT_EQ(State_Paused, state);
    ASSERT_EQ(S_OK, filter->Stop());

    ComPtr<IPin> none;
    EXPECT_EQ(VFW_E_NOT_FOUND, filter->FindPin(L"Input", &none));
    EXPECT_FALSE(none);
}

// An input pin that, inside ReceiveConnection, has another thread use the connecting pin as a
// pulling parser does, and waits for it: a lock of the source held across the call would
// stall that thread.
class ProbingReceiver final : public IPin {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IPin)) {
            *out = static_cast<IPin*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&refs_)); }

    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override {
        offeredStream = type && type->majortype == MEDIATYPE_Stream && type->subtype == MEDIASUBTYPE_WAVE;
        HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        prober = std::thread([this, connector, done] {
            ComPtr<IAsyncReader> reader;
            LONGLONG total = 0;
            LONGLONG available = 0;
            BYTE head[4] = {};
            ComPtr<IPin> peer;
            AM_MEDIA_TYPE type{};
            PIN_INFO info{};
            probed = SUCCEEDED(connector->QueryInterface(IID_PPV_ARGS(&reader))) &&
                     reader->Length(&total, &available) == S_OK && reader->SyncRead(0, 4, head) == S_OK &&
                     SUCCEEDED(connector->QueryPinInfo(&info));
            if (info.pFilter) {
                FILTER_STATE state;
                probed = probed && info.pFilter->GetState(0, &state) == S_OK;
                info.pFilter->Release();
            }
            (void)connector->ConnectedTo(&peer);
            (void)connector->ConnectionMediaType(&type);
            SetEvent(done);
        });
        finishedInside = WaitForSingleObject(done, 3000) == WAIT_OBJECT_0;
        CloseHandle(done);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE Disconnect() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override {
        *pin = nullptr;
        return VFW_E_NOT_CONNECTED;
    }
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE*) override { return VFW_E_NOT_CONNECTED; }
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override {
        *direction = PINDIR_INPUT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

    std::thread prober;
    std::atomic<bool> probed{false};
    bool finishedInside = false;
    bool offeredStream = false;

private:
    LONG refs_ = 1;  // on the test's stack
};

TEST_F(AsyncSourceTest, TheReceiverCanReadWhileInsideTheConnection) {
    ProbingReceiver receiver;
    ASSERT_EQ(S_OK, pin->Connect(&receiver, nullptr));
    receiver.prober.join();
    EXPECT_TRUE(receiver.offeredStream);
    EXPECT_TRUE(receiver.finishedInside) << "the reading thread was held up until Connect returned";
    EXPECT_TRUE(receiver.probed);

    ComPtr<IPin> peer;
    ASSERT_EQ(S_OK, pin->ConnectedTo(&peer));
    EXPECT_EQ(static_cast<IPin*>(&receiver), peer.Get());
    peer.Reset();
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, pin->Connect(&receiver, nullptr));
    ASSERT_EQ(S_OK, filter->Run(0));
    EXPECT_EQ(VFW_E_NOT_STOPPED, pin->Disconnect());
    ASSERT_EQ(S_OK, filter->Stop());
    EXPECT_EQ(S_OK, pin->Disconnect());
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->ConnectedTo(&peer));
}

}  // namespace
