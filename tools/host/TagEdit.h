// The player's library editing a file's tags through the plug-in's writing exports.
#pragma once

#include <windows.h>

// Runs the editor on the command line's --set FIELD=VALUE pairs and its one file: "title" first
// (the file's own title when none is given), then the rest in order, then the write, printing a
// "set" line per field, a "write" line and then the file's fields. Returns 0 when the write
// answered 1, 1 when a set or the write answered 0, 2 on a bad command line, 3 when the plug-in
// lacks the exports.
int RunTagEdit(HMODULE dll);
