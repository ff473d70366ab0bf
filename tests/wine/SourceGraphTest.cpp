// The source filter in a real graph: a PCM WAV the test makes is served from memory into the
// system's WAVE parser and played by whatever the graph renders it with. The length, the
// real-time position and the parser's own reading thread show the filter works with the real
// parts, apart from any OMA decoding.
#include "engine/AsyncSource.h"
#include "engine/SourceGraph.h"
#include "tests/wine/MemoryStream.h"
#include "tools/mkmedia/MediaWriter.h"

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <memory>

using Microsoft::WRL::ComPtr;

namespace {

constexpr LONGLONG kTicksPerMs = 10000;

class SourceGraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph)));
    }

    void TearDown() override {
        if (ComPtr<IMediaControl> control; graph && SUCCEEDED(graph.As(&control)))
            (void)control->Stop();
        graph.Reset();
        CoUninitialize();
    }

    HRESULT Render(std::shared_ptr<MemoryStream> stream) {
        ComPtr<IBaseFilter> source;
        const HRESULT hr = CreateAsyncSource(stream, &source);
        if (hr != S_OK)
            return hr;
        sourcePin.Reset();
        (void)source->FindPin(L"Output", &sourcePin);
        return RenderFromSource(graph.Get(), source.Get());
    }

    static LONGLONG PositionMs(IMediaSeeking* seeking) {
        LONGLONG now = -1;
        return SUCCEEDED(seeking->GetCurrentPosition(&now)) ? now / kTicksPerMs : -1;
    }

    ComPtr<IGraphBuilder> graph;
    ComPtr<IPin> sourcePin;
};

TEST_F(SourceGraphTest, AToneWavPlaysThroughTheWaveParserInRealTime) {
    auto stream = std::make_shared<MemoryStream>(MakeToneWav(3000, 22050, 1));
    ASSERT_EQ(S_OK, Render(stream));

    // The source feeds the WAVE parser itself, with our stream type.
    ComPtr<IPin> parserPin;
    ASSERT_EQ(S_OK, sourcePin->ConnectedTo(&parserPin));
    PIN_INFO info{};
    ASSERT_EQ(S_OK, parserPin->QueryPinInfo(&info));
    ComPtr<IBaseFilter> parser;
    parser.Attach(info.pFilter);
    CLSID parserClass{};
    ASSERT_EQ(S_OK, parser->GetClassID(&parserClass));
    EXPECT_TRUE(parserClass == kClsidWaveParser);
    AM_MEDIA_TYPE type{};
    ASSERT_EQ(S_OK, sourcePin->ConnectionMediaType(&type));
    EXPECT_TRUE(type.majortype == MEDIATYPE_Stream && type.subtype == MEDIASUBTYPE_WAVE);
    EXPECT_GT(stream->reads, 0);
    EXPECT_FALSE(stream->ReadOnlyOn(GetCurrentThreadId())) << "the parser reads on its own thread";

    ComPtr<IMediaSeeking> seeking;
    ASSERT_EQ(S_OK, graph.As(&seeking));
    LONGLONG duration = 0;
    ASSERT_EQ(S_OK, seeking->GetDuration(&duration));
    EXPECT_EQ(3000, duration / kTicksPerMs);

    ComPtr<IMediaControl> control;
    ASSERT_EQ(S_OK, graph.As(&control));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    const ULONGLONG started = GetTickCount64();
    while (PositionMs(seeking.Get()) <= 0 && GetTickCount64() - started < 3000)
        Sleep(10);
    const LONGLONG from = PositionMs(seeking.Get());
    const ULONGLONG wallFrom = GetTickCount64();
    ASSERT_GT(from, 0) << "the position never moved";
    Sleep(1000);
    const LONGLONG moved = PositionMs(seeking.Get()) - from;
    const auto wall = static_cast<LONGLONG>(GetTickCount64() - wallFrom);
    EXPECT_GT(moved, wall * 3 / 4) << "position moved " << moved << " ms in " << wall << " ms";
    EXPECT_LT(moved, wall * 5 / 4) << "position moved " << moved << " ms in " << wall << " ms";

    // Played out, the position rests at the end.
    Sleep(static_cast<DWORD>(3000 - from - moved + 700));
    EXPECT_EQ(3000, PositionMs(seeking.Get()));
    EXPECT_EQ(S_OK, control->Stop());
    EXPECT_FALSE(stream->outOfRange);
}

TEST_F(SourceGraphTest, AStereoWavSeeksWhilePaused) {
    auto stream = std::make_shared<MemoryStream>(MakeToneWav(2500, 44100, 2));
    ASSERT_EQ(S_OK, Render(stream));
    ComPtr<IMediaSeeking> seeking;
    ASSERT_EQ(S_OK, graph.As(&seeking));
    LONGLONG duration = 0;
    ASSERT_EQ(S_OK, seeking->GetDuration(&duration));
    EXPECT_EQ(2500, duration / kTicksPerMs);

    ComPtr<IMediaControl> control;
    ASSERT_EQ(S_OK, graph.As(&control));
    ASSERT_TRUE(SUCCEEDED(control->Pause()));
    LONGLONG target = 1800 * kTicksPerMs;
    ASSERT_EQ(S_OK, seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning));
    EXPECT_EQ(1800, PositionMs(seeking.Get()));
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    Sleep(300);
    const LONGLONG now = PositionMs(seeking.Get());
    EXPECT_GE(now, 1800);
    EXPECT_LE(now, 2500);
    EXPECT_FALSE(stream->outOfRange);
}

TEST_F(SourceGraphTest, BytesThatAreNoWavDoNotRender) {
    auto stream = std::make_shared<MemoryStream>(CountingBytes(40000));
    EXPECT_NE(S_OK, Render(stream));
    EXPECT_FALSE(stream->outOfRange);
}

}  // namespace
