#include "tools/bench/BareGraph.h"

bool BareGraph::Open(const std::string& file) {
    Close();
    comInitialized_ = SUCCEEDED(CoInitialize(nullptr));
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph_)))) {
        return false;
    }
    if (FAILED(graph_.As(&control_)) || FAILED(graph_.As(&seeking_))) return false;
    const int n = MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide.data(), n);
    return graph_->RenderFile(wide.c_str(), nullptr) == S_OK;
}

bool BareGraph::Run() {
    return control_ && SUCCEEDED(control_->Run());
}

int32_t BareGraph::PositionMs() {
    if (!seeking_) return -1;
    LONGLONG current = 0;
    LONGLONG stop = 0;
    if (seeking_->GetPositions(&current, &stop) != S_OK) return -1;
    return static_cast<int32_t>(current / 10000);
}

void BareGraph::Close() {
    if (control_) (void)control_->Stop();
    seeking_.Reset();
    control_.Reset();
    graph_.Reset();
    if (comInitialized_) {
        CoUninitialize();
        comInitialized_ = false;
    }
}
