// Edits the tags of an OMA file on disk: the file is rewritten beside itself, checked, and put in
// the old one's place in one step, so that whatever fails on the way (a full disk, a file another
// program holds, the process killed, the power cut) leaves the old bytes or the new ones and
// nothing else. Reached by the writing exports on the player's UI thread.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "oma/Ea3TagWriter.h"

enum class TagFileState { Editable, Missing, Directory, ReadOnly, NotOma, Encrypted };

// Whether the file is one whose tags we rewrite: a plain OMA or OMG file, neither read-only nor
// a directory. Clears what an interrupted write of it left first (which may bring a file cut off
// between the two renames of a replace back under its name).
TagFileState CheckTagFile(const std::wstring& name);

// Where tests step in: the writes of the new file, and the moment before the replace.
struct TagWriteSeams {
    std::function<bool(HANDLE file, const void* bytes, DWORD size)> write;  // empty: WriteFile
    std::function<void()> beforeReplace;                                    // empty: nothing
};

// Writes the edits into the file. True when the file now holds them all; false when nothing on
// disk changed (leftovers of an earlier interrupted write aside).
bool WriteTagFile(const std::wstring& name, const std::vector<TagEdit>& edits, const TagWriteSeams& seams = {});
