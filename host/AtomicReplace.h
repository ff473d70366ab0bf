// Puts a finished file in the place of another in one step, so that whoever looks at the name
// (another program, a power cut, the next start after a crash) finds the old file or the new one
// and never a mixture, and clears what an interrupted replace left beside it. Reached by the tag
// writer on the player's UI thread.
#pragma once

#include <string>

// The names kept beside target while it is rewritten: the new file being built (one per target,
// held exclusively while it is written), and a backup of the old one for the replace call, each
// with a number of its own so that a backup still held open elsewhere never blocks the next.
std::wstring ReplacementName(const std::wstring& target);
std::wstring BackupName(const std::wstring& target, unsigned serial);

// Replaces target by replacement with one rename over it, the old file's access rules copied
// first; where the platform renames nothing over an open file, through its replace call, which
// moves the old file to the backup name. True when target now is the replacement; on false
// target holds its old bytes (or, where even the way back failed, they wait under the backup
// name for RecoverInterruptedReplace) and replacement is left for the caller.
bool ReplaceAtomically(const std::wstring& target, const std::wstring& replacement, const std::wstring& backup);

// Clears what a replace of target that was cut short left: a missing target gets its backup
// back (the old bytes), an unfinished replacement and backups no longer needed are removed. A
// leftover that another writer still holds open stays.
void RecoverInterruptedReplace(const std::wstring& target);
