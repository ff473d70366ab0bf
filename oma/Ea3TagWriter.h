// Writes text fields into the "ea3" tag blocks in front of an OMA file's header, the way the
// player's library edits a file: whatever the edits do not name stays as it was, frame by frame
// and byte by byte. Pure: no Windows header. The caller reads the blocks (every byte before the
// 96-byte "EA3" header), hands them here with the edits, and writes the answer in their place;
// what follows them is never looked at.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "oma/Ea3Tag.h"

// One field's new text; an empty text removes the field.
struct TagEdit {
    TagField field;
    std::u16string text;
};

// The fields a library may write, by the player's names (any letter case): title, artist,
// album, albumartist, year, genre, track (or tracknumber), disc, composer, publisher, comment and
// the four ReplayGain values. Nothing for any other name (bpm among them: the player never
// writes it).
std::optional<TagField> StoredTagField(std::string_view name);

// The bytes of a first tag block that must grow to hold needed bytes (header included): at
// least 3072, the size most encoders give theirs, else whole KiB with at least 512 bytes of zero
// padding, so that the next edit (the ReplayGain results after a title, a longer album) fits
// without moving the header again.
int64_t GrownBlockSize(int64_t needed);

// The tag blocks with the edits made, or nothing when the bytes are not a run of whole blocks.
// Every frame of an edited field is removed from every block the reader reads, and the new
// frames open the first such block (in its version and frame layout; a version 4 block takes a
// year that is no four-digit year as a version 3 TYER frame). Text goes in as Latin-1 where that
// holds it, else as UTF-16 with a byte-order mark. A block whose new frames fit keeps its size,
// padded with zeros, so everything after it stays at its offset; the first block grows by
// GrownBlockSize when they do not. Without a block the reader reads, a new version 3 block opens
// the file. Two things of a block are dropped rather than kept, because a rewrite makes them
// false: an extended header (its padding size and CRC) and, before version 4, whole-tag
// unsynchronisation (its frames are kept as the reader reads them).
std::optional<std::vector<uint8_t>> RewriteTagBlocks(std::span<const uint8_t> blocks, std::span<const TagEdit> edits);
