// The graph behind the engine's own source: source -> WAVE parser -> what Render picks.
#include "engine/SourceGraph.h"

#include "engine/AsyncSource.h"

#include <wrl/client.h>

#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

// The filter's pins of one direction, in its order.
std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* filter, PIN_DIRECTION wanted) {
    std::vector<ComPtr<IPin>> pins;
    ComPtr<IEnumPins> all;
    if (FAILED(filter->EnumPins(&all)))
        return pins;
    for (ComPtr<IPin> pin; all->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
        PIN_DIRECTION direction;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted)
            pins.push_back(pin);
    }
    return pins;
}

}  // namespace

HRESULT RenderFromSource(IGraphBuilder* graph, IBaseFilter* source) {
    if (!graph || !source)
        return E_POINTER;
    try {
        ComPtr<IBaseFilter> parser;
        HRESULT hr = CoCreateInstance(kClsidWaveParser, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&parser));
        if (FAILED(hr))
            return hr;
        hr = graph->AddFilter(source, kAsyncSourceName);
        if (FAILED(hr))
            return hr;
        hr = graph->AddFilter(parser.Get(), L"WAVE parser");
        if (FAILED(hr))
            return hr;

        const auto outputs = PinsOf(source, PINDIR_OUTPUT);
        const auto inputs = PinsOf(parser.Get(), PINDIR_INPUT);
        if (outputs.empty() || inputs.empty())
            return VFW_E_CANNOT_CONNECT;
        hr = graph->ConnectDirect(outputs.front().Get(), inputs.front().Get(), nullptr);
        if (FAILED(hr))
            return hr;

        // The parser makes its output pins once its input is connected.
        const auto streams = PinsOf(parser.Get(), PINDIR_OUTPUT);
        if (streams.empty())
            return VFW_E_CANNOT_RENDER;
        for (const auto& pin : streams) {
            hr = graph->Render(pin.Get());
            if (hr != S_OK)
                return hr;
        }
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;  // only the pin lists allocate
    }
}
