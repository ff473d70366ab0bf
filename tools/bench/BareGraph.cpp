#include "tools/bench/BareGraph.h"

#include <vector>

#include "base/AnsiText.h"

bool BareGraph::Open(const std::string& file) {
    Close();
    comInitialized_ = SUCCEEDED(CoInitialize(nullptr));
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph_)))) {
        return false;
    }
    if (FAILED(graph_.As(&control_)) || FAILED(graph_.As(&seeking_)))
        return false;
    return graph_->RenderFile(AnsiToWide(file).c_str(), nullptr) == S_OK;
}

bool BareGraph::Run() {
    return control_ && SUCCEEDED(control_->Run());
}

int32_t BareGraph::PositionMs() {
    if (!seeking_)
        return -1;
    LONGLONG current = 0;
    LONGLONG stop = 0;
    if (seeking_->GetPositions(&current, &stop) != S_OK)
        return -1;
    return static_cast<int32_t>(current / 10000);
}

void BareGraph::PlaceLikeThePlugIn(HWND owner) {
    if (!graph_)
        return;
    placed_ = true;
    const auto oaOwner = reinterpret_cast<OAHWND>(owner);
    Microsoft::WRL::ComPtr<IMediaEventEx> events;
    if (SUCCEEDED(graph_->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(events.GetAddressOf())))) {
        (void)events->SetNotifyWindow(oaOwner, WM_APP + 1, 0);
        (void)events->SetNotifyFlags(0);
    }
    Microsoft::WRL::ComPtr<IBasicAudio> audio;
    if (SUCCEEDED(graph_->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(audio.GetAddressOf())))) {
        (void)audio->put_Volume(0);
    }
    Microsoft::WRL::ComPtr<IVideoWindow> window;
    if (SUCCEEDED(graph_->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(window.GetAddressOf())))) {
        (void)window->put_Owner(oaOwner);
        (void)window->put_MessageDrain(oaOwner);
        (void)window->put_WindowStyle(WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    }
    Cue();
}

void BareGraph::PlaceVideo(long left, long top, long width, long height) {
    Microsoft::WRL::ComPtr<IVideoWindow> window;
    if (placed_ && graph_ &&
        SUCCEEDED(graph_->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(window.GetAddressOf())))) {
        (void)window->SetWindowPosition(left, top, width, height);
    }
}

bool BareGraph::VideoSize(long& width, long& height) {
    Microsoft::WRL::ComPtr<IBasicVideo> video;
    return graph_ &&
           SUCCEEDED(graph_->QueryInterface(IID_IBasicVideo, reinterpret_cast<void**>(video.GetAddressOf()))) &&
           SUCCEEDED(video->GetVideoSize(&width, &height));
}

// Stopped, at the start and paused: how the plug-in leaves a file it has opened or stopped.
void BareGraph::Cue() {
    if (control_ && seeking_) {
        (void)control_->Stop();
        LONGLONG zero = 0;
        (void)seeking_->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
        (void)control_->Pause();
    }
}

void BareGraph::Close() {
    if (placed_)
        Cue();
    if (control_)
        (void)control_->Stop();
    if (placed_ && graph_) {
        placed_ = false;
        Microsoft::WRL::ComPtr<IEnumFilters> each;
        std::vector<Microsoft::WRL::ComPtr<IBaseFilter>> filters;
        if (SUCCEEDED(graph_->EnumFilters(&each))) {
            Microsoft::WRL::ComPtr<IBaseFilter> f;
            while (each->Next(1, f.ReleaseAndGetAddressOf(), nullptr) == S_OK)
                filters.push_back(f);
        }
        each.Reset();
        for (auto& f : filters)
            (void)graph_->RemoveFilter(f.Get());
        Microsoft::WRL::ComPtr<IVideoWindow> window;
        if (SUCCEEDED(graph_->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(window.GetAddressOf())))) {
            (void)window->put_Visible(OAFALSE);
            (void)window->put_Owner(0);
        }
    }
    seeking_.Reset();
    control_.Reset();
    graph_.Reset();
    if (comInitialized_) {
        CoUninitialize();
        comInitialized_ = false;
    }
}
