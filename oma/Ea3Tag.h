// The "ea3" tag blocks in front of an OMA file's header: ID3v2 tags under another magic. The
// reader needs where they end, the TLEN frame (the length in milliseconds) that some encoders
// write when the audio is shorter than its frames, and the text frames that the player's library
// shows. Pure: no Windows header; it reads untrusted bytes, so every size is checked.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "oma/FileBytes.h"

constexpr int32_t kEa3TagHeaderSize = 10;

struct Ea3TagHeader {
    int32_t version = 0;    // ID3v2 major version: 2, 3 or 4 (others are skipped unread)
    int32_t flags = 0;      // the header's flag byte
    int64_t bodySize = 0;   // the syncsafe size: the bytes after the header, footer excluded
    int64_t totalSize = 0;  // header, body and the footer when the footer flag is set
};

// The text fields a player's library asks for, in the order of kTagFieldNames.
enum class TagField {
    Title,
    Artist,
    Album,
    AlbumArtist,
    Genre,
    Year,
    TrackNumber,
    Disc,
    Composer,
    Comment,
    Publisher,
    Bpm,
    ReplayGainTrackGain,  // the four ReplayGain values live in TXXX frames named after them
    ReplayGainTrackPeak,
    ReplayGainAlbumGain,
    ReplayGainAlbumPeak,
    Count
};

// The player's names for the fields.
constexpr std::array<const char*, static_cast<size_t>(TagField::Count)> kTagFieldNames = {"title",
                                                                                          "artist",
                                                                                          "album",
                                                                                          "albumartist",
                                                                                          "genre",
                                                                                          "year",
                                                                                          "tracknumber",
                                                                                          "disc",
                                                                                          "composer",
                                                                                          "comment",
                                                                                          "publisher",
                                                                                          "bpm",
                                                                                          "replaygain_track_gain",
                                                                                          "replaygain_track_peak",
                                                                                          "replaygain_album_gain",
                                                                                          "replaygain_album_peak"};

// What a file's tag blocks say, as UTF-16 text exactly as stored. The first block that holds a
// field gives it; an empty text is a field the tags lack.
class Ea3Tags {
public:
    const std::u16string& Text(TagField field) const;
    int64_t LengthMs() const { return lengthMs_; }  // TLEN, -1 without one

    // Reads the frames of one block's body (the bytes after its header), keeping what an
    // earlier block gave.
    void ReadBlock(const Ea3TagHeader& header, std::span<const uint8_t> body);

private:
    void Keep(TagField field, std::u16string text);

    std::array<std::u16string, static_cast<size_t>(TagField::Count)> text_;
    std::u16string omgTrack_;  // TXXX "OMG_TRACK": the track number where no TRCK is
    int64_t lengthMs_ = -1;
};

// The header at the start of bytes, or nothing when they do not begin one (wrong magic, a
// version or revision byte of 0xFF, a size byte with its top bit set).
std::optional<Ea3TagHeader> ParseEa3TagHeader(std::span<const uint8_t, kEa3TagHeaderSize> bytes);

// The frames of a body that ReadBlock looks at (text, comments), read from the file one by one
// past the others, so that a large picture costs nothing and what follows it is still found:
// a body of their own (the extended header kept) of at most maxBytes, for ReadBlock. Each frame
// looked at takes one of framesLeft; none left, the walk ends. A body unsynchronised as a whole
// cannot be walked unread: its first maxBytes stand for it. Nothing when the file cannot be read.
std::optional<std::vector<uint8_t>> ReadTagFrames(FileBytes& file,
                                                  int64_t bodyOffset,
                                                  const Ea3TagHeader& header,
                                                  int64_t maxBytes,
                                                  int32_t& framesLeft);

// The first TLEN frame's value in milliseconds within a tag's body (the bytes after its
// header), or -1 when there is none or it does not hold a positive decimal number.
int64_t FindTagLengthMs(const Ea3TagHeader& header, std::span<const uint8_t> body);

// A TLEN frame's content (its encoding byte first: 0 Latin-1, 1 UTF-16 with a byte-order mark,
// 2 UTF-16 big-endian, 3 UTF-8) as milliseconds, or -1 when it is not a positive decimal number.
int64_t ParseTlenContent(std::span<const uint8_t> content);
