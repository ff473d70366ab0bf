// The engine's private DirectShow source filter: one output pin that serves the bytes of a
// ByteStream as a WAVE file (MEDIATYPE_Stream, MEDIASUBTYPE_WAVE) through IAsyncReader, for a
// parser downstream to pull from. The engine creates it for a file the machine's own filters do
// not render; it is never registered on the system and has no class factory.
//
// Reads come from the parser's threads. The plug-in starts no thread of its own, so a queued
// Request is read on the thread that collects it in WaitForNext. The stream guards its own
// state; the filter's lock covers only its own fields and is never held across a call out.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <memory>

#include "decode/ByteStream.h"

// Names the filter in the graph and in QueryFilterInfo.
inline constexpr wchar_t kAsyncSourceName[] = L"ATRAC3 source";

// Makes a new source filter over stream (shared: the filter keeps it while the graph holds the
// filter). *filter gets one reference. E_POINTER for null arguments.
HRESULT CreateAsyncSource(std::shared_ptr<ByteStream> stream, IBaseFilter** filter);
