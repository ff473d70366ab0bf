// Whole "ea3" tag blocks in front of a valid header: the first input byte picks the ID3v2 version
// and the header's flags, the rest is the block's body. The reader never reads outside the body,
// answers the same twice, keeps no NUL inside a text (the player would cut it there), gives no
// text longer than the body could spell, and every extended field's answer fits a small buffer
// whole characters at a time. Read frame by frame past what holds no text, as a body past the
// reader's window is, the body gives the same text as read whole.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "host/ExtendedFields.h"
#include "oma/OmaFile.h"
#include "tests/fuzz/CheckedFile.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > (1 << 16)) {
        return 0;
    }
    const uint8_t pick = data[0];
    const auto body = std::vector<uint8_t>(data + 1, data + size);
    const auto bodySize = static_cast<uint32_t>(body.size());

    std::vector<uint8_t> file = {'e',
                                 'a',
                                 '3',
                                 static_cast<uint8_t>(2 + pick % 3),
                                 0,
                                 static_cast<uint8_t>(pick & 0xF0),
                                 static_cast<uint8_t>(bodySize >> 21 & 0x7F),
                                 static_cast<uint8_t>(bodySize >> 14 & 0x7F),
                                 static_cast<uint8_t>(bodySize >> 7 & 0x7F),
                                 static_cast<uint8_t>(bodySize & 0x7F)};
    file.insert(file.end(), body.begin(), body.end());
    if (pick & 0x10) {
        // The footer flag: a copy of the header, "3ae" first.
        file.insert(file.end(), {'3', 'a', 'e', file[3], 0, file[5], file[6], file[7], file[8], file[9]});
    }
    std::vector<uint8_t> header(96, 0);
    header[0] = 'E', header[1] = 'A', header[2] = '3', header[3] = 1, header[5] = 0x60;
    header[6] = header[7] = 0xFF;
    header[33] = 0x00, header[34] = 0x20, header[35] = 0x30;  // ATRAC3, 44.1 kHz, 384-byte frames
    file.insert(file.end(), header.begin(), header.end());
    file.resize(file.size() + 384 * 4, 0);

    MemoryFileBytes bytes(file);
    const OmaRead read = ReadOma(bytes);
    MemoryFileBytes again(file);
    const OmaRead second = ReadOma(again);
    FUZZ_REQUIRE(read.status == OmaStatus::Ok && second.status == OmaStatus::Ok);

    for (size_t i = 0; i < kTagFieldNames.size(); ++i) {
        const std::u16string& text = read.tags.Text(static_cast<TagField>(i));
        FUZZ_REQUIRE(text == second.tags.Text(static_cast<TagField>(i)));
        FUZZ_REQUIRE(text.find(u'\0') == std::u16string::npos);
        FUZZ_REQUIRE(text.size() <= body.size());
    }
    FUZZ_REQUIRE(read.tags.LengthMs() == second.tags.LengthMs());

    const auto tagHeader =
        ParseEa3TagHeader(std::span<const uint8_t, kEa3TagHeaderSize>(file.data(), kEa3TagHeaderSize));
    FUZZ_REQUIRE(tagHeader);
    CheckedFile checked(file);
    int32_t framesLeft = 1 << 20;
    const auto gathered = ReadTagFrames(checked, kEa3TagHeaderSize, *tagHeader, int64_t{1} << 30, framesLeft);
    FUZZ_REQUIRE(gathered && gathered->size() <= body.size());
    Ea3Tags whole;
    Ea3Tags byFrames;
    whole.ReadBlock(*tagHeader, body);
    byFrames.ReadBlock(*tagHeader, *gathered);
    for (size_t i = 0; i < kTagFieldNames.size(); ++i) {
        FUZZ_REQUIRE(whole.Text(static_cast<TagField>(i)) == byFrames.Text(static_cast<TagField>(i)));
    }
    FUZZ_REQUIRE(whole.LengthMs() == byFrames.LengthMs());

    const std::string_view names[] = {"title",  "artist",      "album", "albumartist", "genre",
                                      "year",   "tracknumber", "disc",  "composer",    "comment",
                                      "length", "bitrate",     "type",  "lossless",    "formatinformation",
                                      "family", "nonsense"};
    for (const std::string_view name : names) {
        const auto value = ExtendedField(read, name);
        if (!value) {
            continue;
        }
        const auto isLead = [](char16_t u) { return u >= 0xD800 && u <= 0xDBFF; };
        for (int capacity = 1; capacity <= 4; ++capacity) {
            std::vector<char16_t> out(static_cast<size_t>(capacity) + 1, u'#');
            FUZZ_REQUIRE(CopyTruncated(std::u16string_view(*value), out.data(), capacity, isLead));
            FUZZ_REQUIRE(out[static_cast<size_t>(capacity)] == u'#');  // nothing past the capacity
            const std::u16string_view copied(out.data());
            FUZZ_REQUIRE(copied.size() < static_cast<size_t>(capacity));
            FUZZ_REQUIRE(value->compare(0, copied.size(), copied) == 0);
            // The cut falls between characters, a lead unit and the unit after it counting as one
            // (stored text may hold lone surrogates, which pair with whatever follows), and no
            // further character would have fitted.
            size_t boundary = 0;
            while (boundary < copied.size()) {
                boundary += isLead((*value)[boundary]) && boundary + 1 < value->size() ? 2 : 1;
            }
            FUZZ_REQUIRE(boundary == copied.size());
            if (boundary < value->size()) {
                const size_t next = boundary + (isLead((*value)[boundary]) && boundary + 1 < value->size() ? 2 : 1);
                FUZZ_REQUIRE(next > static_cast<size_t>(capacity) - 1);
            }
        }
    }
    return 0;
}
