// Any tag block written back with edits: the first input byte picks the ID3v2 version and the
// block's flags, the second which fields are edited, the third their texts; the rest is the
// block's body. The writer always takes a block the reader took, the edited fields read back as
// set, every other field and the length read as before, every frame of a block written in place
// that the edits do not name comes through byte for byte and in order, and the header and audio
// after the blocks are the same bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "oma/Ea3TagWriter.h"
#include "oma/OmaFile.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr TagField kStored[] = {TagField::Title,
                                TagField::Artist,
                                TagField::Album,
                                TagField::AlbumArtist,
                                TagField::Genre,
                                TagField::Year,
                                TagField::TrackNumber,
                                TagField::Disc,
                                TagField::Composer,
                                TagField::Comment,
                                TagField::Publisher,
                                TagField::ReplayGainTrackGain,
                                TagField::ReplayGainTrackPeak,
                                TagField::ReplayGainAlbumGain,
                                TagField::ReplayGainAlbumPeak};

const std::u16string kTexts[] = {u"",     u"A",        u"中文",        u"\U0001F3B5 note", u"\u00FF\u00FFy",
                                 u"2024", u"-6.54 dB", u"0.987654321", u"Spring",          std::u16string(300, u'長')};

// The frames of a version 3 or 4 body without flags the writer rewrites, as the layout says.
std::vector<Bytes> Frames(int version, const Bytes& body) {
    std::vector<Bytes> frames;
    size_t at = 0;
    while (at + 10 <= body.size() && body[at] != 0) {
        uint64_t size = 0;
        for (size_t i = 4; i < 8; ++i) {
            if (version == 4 && (body[at + i] & 0x80)) {
                return frames;
            }
            size = version == 4 ? size << 7 | body[at + i] : size << 8 | body[at + i];
        }
        if (size > body.size() - at - 10) {
            break;
        }
        frames.emplace_back(body.begin() + static_cast<std::ptrdiff_t>(at),
                            body.begin() + static_cast<std::ptrdiff_t>(at + 10 + size));
        at += 10 + static_cast<size_t>(size);
    }
    return frames;
}

// Ids whose frames an edit may take away: the text frames of the stored fields and the frames
// that hold several fields.
bool MayBeEdited(const Bytes& frame) {
    static const char* const kIds[] = {"TIT2", "TPE1", "TALB", "TPE2", "TCON", "TYER", "TDRC",
                                       "TRCK", "TPOS", "TCOM", "TPUB", "COMM", "TXXX"};
    const std::string id(frame.begin(), frame.begin() + 4);
    return std::find(std::begin(kIds), std::end(kIds), id) != std::end(kIds);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3 || size > (1 << 16)) {
        return 0;
    }
    const uint8_t pick = data[0];
    const int version = 2 + pick % 3;
    const Bytes body(data + 3, data + size);
    const auto n = static_cast<uint32_t>(body.size());
    Bytes file = {'e',
                  'a',
                  '3',
                  static_cast<uint8_t>(version),
                  0,
                  static_cast<uint8_t>(pick & 0xF0),
                  static_cast<uint8_t>(n >> 21 & 0x7F),
                  static_cast<uint8_t>(n >> 14 & 0x7F),
                  static_cast<uint8_t>(n >> 7 & 0x7F),
                  static_cast<uint8_t>(n & 0x7F)};
    file.insert(file.end(), body.begin(), body.end());
    if (pick & 0x10) {
        file.insert(file.end(), {'3', 'a', 'e', file[3], 0, file[5], file[6], file[7], file[8], file[9]});
    }
    const size_t blocksSize = file.size();
    Bytes header(96, 0);
    header[0] = 'E', header[1] = 'A', header[2] = '3', header[3] = 1, header[5] = 0x60;
    header[6] = header[7] = 0xFF;
    header[33] = 0x00, header[34] = 0x20, header[35] = 0x30;
    file.insert(file.end(), header.begin(), header.end());
    for (int i = 0; i < 384 * 3; ++i) {
        file.push_back(static_cast<uint8_t>(i * 13));
    }
    MemoryFileBytes bytes(file);
    const OmaRead before = ReadOma(bytes);
    FUZZ_REQUIRE(before.status == OmaStatus::Ok);

    std::vector<TagEdit> edits;
    for (size_t i = 0; i < std::size(kStored); ++i) {
        if ((data[1] >> (i % 8)) & 1 && (i < 8) == ((data[2] & 0x80) == 0)) {
            edits.push_back({kStored[i], kTexts[(data[2] + i) % std::size(kTexts)]});
        }
    }
    const Bytes blocks(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(blocksSize));
    const auto rewritten = RewriteTagBlocks(blocks, edits);
    FUZZ_REQUIRE(rewritten);
    Bytes written = *rewritten;
    written.insert(written.end(), file.begin() + static_cast<std::ptrdiff_t>(blocksSize), file.end());
    MemoryFileBytes again(written);
    const OmaRead after = ReadOma(again);
    FUZZ_REQUIRE(after.status == OmaStatus::Ok);
    FUZZ_REQUIRE(after.info.dataOffset == static_cast<int64_t>(rewritten->size()) + 96);
    FUZZ_REQUIRE(after.info.samples == before.info.samples);
    FUZZ_REQUIRE(after.tags.LengthMs() == before.tags.LengthMs());
    for (size_t i = 0; i < kTagFieldNames.size(); ++i) {
        const auto field = static_cast<TagField>(i);
        const auto edit = std::find_if(edits.begin(), edits.end(), [&](const TagEdit& e) { return e.field == field; });
        FUZZ_REQUIRE(after.tags.Text(field) == (edit == edits.end() ? before.tags.Text(field) : edit->text));
    }
    // Where the block was written in place (only removals, or new frames that fit), it kept its
    // size and every frame the edits do not name.
    const bool rewritesFlags = (pick & 0xC0) != 0;
    if (version >= 3 && !rewritesFlags && !(pick & 0x10)) {
        if (rewritten->size() == blocksSize) {
            const Bytes newBody(rewritten->begin() + 10, rewritten->end());
            const auto old = Frames(version, body);
            const auto now = Frames(version, newBody);
            auto at = now.begin();
            for (const Bytes& frame : old) {
                if (MayBeEdited(frame)) {
                    continue;
                }
                at = std::find(at, now.end(), frame);
                FUZZ_REQUIRE(at != now.end());
                ++at;
            }
        }
    }
    return 0;
}
