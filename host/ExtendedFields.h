// The answers to the player's extended file-info questions about an OMA file: its tag text and
// what its header says, worked out from one read of the file's front (no decoding). The player's
// library, title formatting and playlist ask these from their own threads. Pure: no Windows
// header; the exports turn the text into the caller's encoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "oma/OmaFile.h"

// The value of one field for a file that ReadOma read, as UTF-16; nothing when the file does not
// know it (a tag it lacks, a header it does not have) or the name is no field of ours. Field
// names are compared without regard to case.
std::optional<std::u16string> ExtendedField(const OmaRead& read, std::string_view field);

// Whether a field is answered from the name alone ("family"), without reading the file.
bool IsNameOnlyField(std::string_view field);

// The short description of the file type for a name ending in .oma or .omg, or for such an
// extension given alone ("oma", ".OMG"); nothing for any other name.
std::optional<std::u16string> FamilyOfName(std::u16string_view name);

// What a name with one of our extensions tells without its file ("family", and "type", which is
// audio), for the names the player asks about that are no file ("test.oma", "Winamp.File.oma");
// nothing for other names and fields, and for an empty name.
std::optional<std::u16string> FieldOfName(std::u16string_view name, std::string_view field);

// The stream's length in whole milliseconds, as the player's length and position report it.
int64_t StreamLengthMs(const OmaInfo& info);

// Copies text into a caller's buffer of capacity units, NUL included, cutting it short where it
// does not fit but never inside a character (isLead tells whether a unit starts a pair); writes
// nothing when capacity < 1. Returns whether anything was written.
template <class Char, class IsLead>
bool CopyTruncated(std::basic_string_view<Char> text, Char* out, int capacity, IsLead isLead) {
    if (!out || capacity < 1) {
        return false;
    }
    size_t fit = 0;
    const auto room = static_cast<size_t>(capacity) - 1;
    while (fit < text.size()) {
        const size_t width = isLead(text[fit]) && fit + 1 < text.size() ? 2 : 1;
        if (fit + width > room) {
            break;
        }
        fit += width;
    }
    for (size_t i = 0; i < fit; ++i) {
        out[i] = text[i];
    }
    out[fit] = Char{};
    return true;
}
