// What a player's media library and converter do with an input plug-in's extended exports: read
// a file's fields for the library's columns, and decode it to a WAV file through extended read in
// the converter's chunk sizes. The stand-in player runs these instead of playing.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

// Text as UTF-8, the encoding of every line the stand-in prints.
std::string Utf8(std::wstring_view text);

// Prints one "field" line for every field the library asks about, for each file. Returns 0, or 3
// when the plug-in lacks the exports.
int ListFields(HMODULE dll, const std::vector<std::wstring>& files, bool ansi);

// Decodes file into a 16-bit PCM WAV at out, printing a "convert" line. Returns 0 when done,
// 1 when the plug-in refused the file, 3 when it lacks the exports, 4 when out cannot be written.
int ConvertToWav(HMODULE dll, const std::wstring& file, const std::wstring& out, bool ansi);
