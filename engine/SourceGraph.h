// Building a graph from the engine's own source filter: the system's WAVE parser behind it, and
// whatever the graph picks to play the parser's output.
#pragma once

#include <windows.h>
#include <dshow.h>

// The system's WAVE parser. MinGW-w64's headers do not define it.
inline constexpr CLSID kClsidWaveParser = {0xd51bd5a1,
                                           0x7548,
                                           0x11cf,
                                           {0xa5, 0x20, 0x00, 0x80, 0xc7, 0x7e, 0xf5, 0x8a}};

// Adds source and a new WAVE parser (made by its class ID: a stream pin rendered the usual way
// may go to a more general splitter) to graph, connects the source's output pin straight to the
// parser's input, and renders each output pin the parser then has. S_OK only when every step
// succeeded and every pin rendered completely; otherwise the first failure, or the success code
// of a partial render. What was added stays in the graph, for its owner to tear down.
HRESULT RenderFromSource(IGraphBuilder* graph, IBaseFilter* source);
