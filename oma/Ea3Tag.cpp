#include "oma/Ea3Tag.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// A TLEN past this (about 31 years) is not a length.
constexpr int64_t kMaxTagLengthMs = 1'000'000'000'000;

constexpr uint8_t kFooterFlag = 0x10;
constexpr uint8_t kExtendedHeaderFlag = 0x40;
constexpr uint8_t kUnsyncFlag = 0x80;

uint32_t BigEndian(std::span<const uint8_t> b, size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) {
        value = value << 8 | b[i];
    }
    return value;
}

// Seven bits per byte; nothing when a top bit is set.
std::optional<uint32_t> Syncsafe(std::span<const uint8_t> b) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        if (b[i] & 0x80) {
            return std::nullopt;
        }
        value = value << 7 | b[i];
    }
    return value;
}

// Undoes the unsynchronisation scheme: every 0xFF 0x00 pair stands for 0xFF.
std::vector<uint8_t> Resynchronised(std::span<const uint8_t> bytes) {
    std::vector<uint8_t> out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == 0x00) {
            ++i;
        }
    }
    return out;
}

// The text's first string as code points, up to its terminator; nothing when malformed.
std::optional<std::vector<uint32_t>> TextCodePoints(std::span<const uint8_t> content) {
    if (content.empty()) {
        return std::nullopt;
    }
    const uint8_t encoding = content[0];
    std::span<const uint8_t> text = content.subspan(1);
    std::vector<uint32_t> points;
    if (encoding == 0 || encoding == 3) {
        // Digits and blanks are all we accept, and they are single bytes in both Latin-1 and
        // UTF-8; any other byte ends up rejected as a non-digit.
        for (uint8_t b : text) {
            if (b == 0) {
                break;
            }
            points.push_back(b);
        }
        return points;
    }
    if (encoding != 1 && encoding != 2) {
        return std::nullopt;
    }
    bool bigEndian = encoding == 2;
    if (encoding == 1) {
        if (text.size() < 2) {
            return std::nullopt;
        }
        if (text[0] == 0xFE && text[1] == 0xFF) {
            bigEndian = true;
        } else if (text[0] == 0xFF && text[1] == 0xFE) {
            bigEndian = false;
        } else {
            return std::nullopt;
        }
        text = text.subspan(2);
    }
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        const uint32_t unit =
            bigEndian ? (uint32_t{text[i]} << 8 | text[i + 1]) : (uint32_t{text[i + 1]} << 8 | text[i]);
        if (unit == 0) {
            break;
        }
        points.push_back(unit);
    }
    return points;
}

// Where the frames begin in a body, past an extended header.
std::optional<size_t> FramesStart(const Ea3TagHeader& header, std::span<const uint8_t> body) {
    if (!(header.flags & kExtendedHeaderFlag) || header.version < 3) {
        return 0;
    }
    if (body.size() < 4) {
        return std::nullopt;
    }
    // 64 bits whatever size_t is: a 32-bit size near 4 GiB plus its own four bytes must not wrap.
    uint64_t skip = 0;
    if (header.version == 3) {
        skip = uint64_t{4} + BigEndian(body, 4);  // the size leaves itself out
    } else {
        const auto size = Syncsafe(body);
        if (!size) {
            return std::nullopt;
        }
        skip = *size;  // the size counts itself
    }
    if (skip > body.size()) {
        return std::nullopt;
    }
    return static_cast<size_t>(skip);
}

// One frame's content made readable, or nothing when it is compressed or encrypted.
std::optional<std::vector<uint8_t>> FrameContent(int32_t version,
                                                 std::span<const uint8_t> flags,
                                                 std::span<const uint8_t> content) {
    if (version == 3) {
        const uint8_t format = flags[1];
        if (format & 0xC0) {  // compressed or encrypted
            return std::nullopt;
        }
        if (format & 0x20) {  // a group id byte leads
            if (content.empty()) {
                return std::nullopt;
            }
            content = content.subspan(1);
        }
        return std::vector<uint8_t>(content.begin(), content.end());
    }
    if (version == 4) {
        const uint8_t format = flags[1];
        if (format & 0x0C) {  // compressed or encrypted
            return std::nullopt;
        }
        if (format & 0x40) {  // a group id byte leads
            if (content.empty()) {
                return std::nullopt;
            }
            content = content.subspan(1);
        }
        if (format & 0x01) {  // a data length indicator leads
            if (content.size() < 4) {
                return std::nullopt;
            }
            content = content.subspan(4);
        }
        if (format & 0x02) {
            return Resynchronised(content);
        }
    }
    return std::vector<uint8_t>(content.begin(), content.end());
}

// Calls onFrame(id, content) for every readable frame of a body, in order, until it returns
// false. Version 2 ids are three characters, later ones four. A frame that runs out of its tag
// ends the walk; a compressed or encrypted one is passed over.
template <class OnFrame>
void WalkFrames(const Ea3TagHeader& header, std::span<const uint8_t> body, OnFrame onFrame) {
    if (header.version < 2 || header.version > 4) {
        return;
    }
    // Version 4 marks unsynchronisation per frame; before it the flag covers the whole body.
    std::vector<uint8_t> resynced;
    if ((header.flags & kUnsyncFlag) && header.version < 4) {
        resynced = Resynchronised(body);
        body = resynced;
    }
    const auto start = FramesStart(header, body);
    if (!start) {
        return;
    }
    const size_t frameHeaderSize = header.version == 2 ? 6 : 10;
    const size_t idSize = header.version == 2 ? 3 : 4;
    size_t at = *start;
    while (at + frameHeaderSize <= body.size()) {
        const std::span<const uint8_t> frame = body.subspan(at);
        if (frame[0] == 0) {
            break;  // padding
        }
        uint64_t size = 0;
        if (header.version == 2) {
            size = BigEndian(frame.subspan(3), 3);
        } else if (header.version == 3) {
            size = BigEndian(frame.subspan(4), 4);
        } else {
            const auto safe = Syncsafe(frame.subspan(4));
            if (!safe) {
                break;
            }
            size = *safe;
        }
        if (size > body.size() - at - frameHeaderSize) {
            break;
        }
        const auto content = frame.subspan(frameHeaderSize, static_cast<size_t>(size));
        const std::string_view id(reinterpret_cast<const char*>(frame.data()), idSize);
        if (header.version == 2) {
            if (!onFrame(id, content)) {  // version 2 frames have no flags
                return;
            }
        } else {
            std::array<uint8_t, 2> flags = {frame[8], frame[9]};
            // A version 4 tag whose header says unsynchronised has every frame so.
            if (header.version == 4 && (header.flags & kUnsyncFlag)) {
                flags[1] |= 0x02;
            }
            const auto readable = FrameContent(header.version, flags, content);
            if (readable && !onFrame(id, std::span<const uint8_t>(*readable))) {
                return;
            }
        }
        at += frameHeaderSize + static_cast<size_t>(size);
    }
}

void AppendUtf16(std::u16string& to, uint32_t point) {
    if (point >= 0x10000) {
        point -= 0x10000;
        to.push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
        to.push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
    } else {
        to.push_back(static_cast<char16_t>(point));
    }
}

constexpr char16_t kReplacement = 0xFFFD;

// One UTF-8 sequence from bytes[at]; a malformed one stands for U+FFFD and takes one byte.
uint32_t NextUtf8(std::span<const uint8_t> bytes, size_t& at) {
    const uint8_t lead = bytes[at];
    int more = 0;
    uint32_t point = 0;
    if (lead < 0x80) {
        ++at;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        more = 1;
        point = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        more = 2;
        point = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        more = 3;
        point = lead & 0x07;
    } else {
        ++at;
        return kReplacement;
    }
    if (bytes.size() - at <= static_cast<size_t>(more)) {
        ++at;
        return kReplacement;
    }
    for (int i = 1; i <= more; ++i) {
        const uint8_t b = bytes[at + static_cast<size_t>(i)];
        if ((b & 0xC0) != 0x80) {
            ++at;
            return kReplacement;
        }
        point = point << 6 | (b & 0x3F);
    }
    // Overlong forms, surrogates and points past Unicode are not text.
    static constexpr uint32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
    if (point < kSmallest[more] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
        ++at;
        return kReplacement;
    }
    at += static_cast<size_t>(more) + 1;
    return point;
}

// The NUL-separated strings of a text (the bytes after a frame's encoding byte, or after its
// language and description for COMM), as UTF-16. A missing last terminator is no fault; an odd
// last byte of UTF-16 text is dropped. Nothing for an unknown encoding.
std::vector<std::u16string> TextStrings(uint8_t encoding, std::span<const uint8_t> text) {
    std::vector<std::u16string> strings(1);
    if (encoding == 0) {
        for (uint8_t b : text) {
            if (b == 0) {
                strings.emplace_back();
            } else {
                strings.back().push_back(b);  // Latin-1 is the first 256 code points
            }
        }
    } else if (encoding == 3) {
        for (size_t at = 0; at < text.size();) {
            if (text[at] == 0) {
                strings.emplace_back();
                ++at;
            } else {
                AppendUtf16(strings.back(), NextUtf8(text, at));
            }
        }
    } else if (encoding == 1 || encoding == 2) {
        // Each string of encoding 1 may carry its own byte-order mark; without one it keeps the
        // order seen last, little-endian at first, as the writers that omit it use.
        bool bigEndian = encoding == 2;
        bool atStart = true;
        for (size_t i = 0; i + 1 < text.size(); i += 2) {
            const char16_t unit = bigEndian ? static_cast<char16_t>(text[i] << 8 | text[i + 1])
                                            : static_cast<char16_t>(text[i + 1] << 8 | text[i]);
            if (atStart && (unit == 0xFEFF || unit == 0xFFFE)) {
                if (unit == 0xFFFE) {
                    bigEndian = !bigEndian;
                }
                atStart = false;
                continue;
            }
            atStart = false;
            if (unit == 0) {
                strings.emplace_back();
                atStart = true;
            } else {
                strings.back().push_back(unit);
            }
        }
    } else {
        return {};
    }
    if (strings.size() > 1 && strings.back().empty()) {
        strings.pop_back();  // the terminator of the last string
    }
    return strings;
}

// The first string of a text frame's content.
std::u16string FirstString(std::span<const uint8_t> content) {
    if (content.empty()) {
        return {};
    }
    auto strings = TextStrings(content[0], content.subspan(1));
    return strings.empty() ? std::u16string() : std::move(strings.front());
}

// A frame holding a description and a value (COMM after its language, TXXX): the two strings.
std::pair<std::u16string, std::u16string> DescribedText(std::span<const uint8_t> content, size_t skip) {
    if (content.size() < 1 + skip) {
        return {};
    }
    auto strings = TextStrings(content[0], content.subspan(1 + skip));
    if (strings.size() < 2) {
        return {strings.empty() ? std::u16string() : strings[0], std::u16string()};
    }
    return {std::move(strings[0]), std::move(strings[1])};
}

struct TextFrameId {
    const char* v2;
    const char* v3;
    TagField field;
};

constexpr TextFrameId kTextFrames[] = {
    {"TT2", "TIT2", TagField::Title},       {"TP1", "TPE1", TagField::Artist}, {"TAL", "TALB", TagField::Album},
    {"TP2", "TPE2", TagField::AlbumArtist}, {"TCO", "TCON", TagField::Genre},  {"TYE", "TYER", TagField::Year},
    {"TRK", "TRCK", TagField::TrackNumber}, {"TPA", "TPOS", TagField::Disc},   {"TCM", "TCOM", TagField::Composer},
    {"TPB", "TPUB", TagField::Publisher},   {"TBP", "TBPM", TagField::Bpm},
};

// Taggers spell the ReplayGain descriptions in either case ("REPLAYGAIN_TRACK_GAIN" too).
std::optional<TagField> ReplayGainField(std::u16string_view description) {
    for (auto field : {TagField::ReplayGainTrackGain, TagField::ReplayGainTrackPeak, TagField::ReplayGainAlbumGain,
                       TagField::ReplayGainAlbumPeak}) {
        const std::string_view name = kTagFieldNames[static_cast<size_t>(field)];
        const bool same = description.size() == name.size() &&
                          std::equal(name.begin(), name.end(), description.begin(), [](char a, char16_t b) {
                              return char16_t(a) == (b >= u'A' && b <= u'Z' ? char16_t(b - u'A' + u'a') : b);
                          });
        if (same) {
            return field;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<Ea3TagHeader> ParseEa3TagHeader(std::span<const uint8_t, kEa3TagHeaderSize> bytes) {
    if (bytes[0] != 'e' || bytes[1] != 'a' || bytes[2] != '3' || bytes[3] == 0xFF || bytes[4] == 0xFF) {
        return std::nullopt;
    }
    const auto size = Syncsafe(std::span<const uint8_t>(bytes).subspan(6, 4));
    if (!size) {
        return std::nullopt;
    }
    Ea3TagHeader header;
    header.version = bytes[3];
    header.flags = bytes[5];
    header.bodySize = *size;
    header.totalSize = kEa3TagHeaderSize + header.bodySize + ((header.flags & kFooterFlag) ? kEa3TagHeaderSize : 0);
    return header;
}

int64_t ParseTlenContent(std::span<const uint8_t> content) {
    const auto points = TextCodePoints(content);
    if (!points) {
        return -1;
    }
    size_t i = 0;
    const size_t n = points->size();
    while (i < n && (*points)[i] == ' ') {
        ++i;
    }
    int64_t value = 0;
    size_t digits = 0;
    for (; i < n && (*points)[i] >= '0' && (*points)[i] <= '9'; ++i, ++digits) {
        value = value * 10 + ((*points)[i] - '0');
        if (value > kMaxTagLengthMs) {
            return -1;
        }
    }
    while (i < n && (*points)[i] == ' ') {
        ++i;
    }
    if (digits == 0 || i != n || value <= 0) {
        return -1;
    }
    return value;
}

int64_t FindTagLengthMs(const Ea3TagHeader& header, std::span<const uint8_t> body) {
    int64_t length = -1;
    WalkFrames(header, body, [&](std::string_view id, std::span<const uint8_t> content) {
        if (id == "TLE" || id == "TLEN") {
            length = ParseTlenContent(content);
            return false;  // the first TLEN decides, readable or not
        }
        return true;
    });
    return length;
}

const std::u16string& Ea3Tags::Text(TagField field) const {
    const std::u16string& text = text_[static_cast<size_t>(field)];
    if (field == TagField::TrackNumber && text.empty()) {
        return omgTrack_;
    }
    return text;
}

void Ea3Tags::Keep(TagField field, std::u16string text) {
    std::u16string& slot = text_[static_cast<size_t>(field)];
    if (slot.empty()) {
        slot = std::move(text);
    }
}

void Ea3Tags::ReadBlock(const Ea3TagHeader& header, std::span<const uint8_t> body) {
    bool tlenSeen = false;
    std::u16string yearFromTime;      // TDRC, where the block has no TYER
    std::u16string comment;           // the first COMM with an empty description
    std::u16string describedComment;  // else the first COMM at all (players' own notes carry one)
    WalkFrames(header, body, [&](std::string_view id, std::span<const uint8_t> content) {
        const bool v2 = id.size() == 3;
        for (const TextFrameId& frame : kTextFrames) {
            if (id == (v2 ? frame.v2 : frame.v3)) {
                Keep(frame.field, FirstString(content));
                return true;
            }
        }
        if (id == "TDRC") {
            // A recording time such as 2024-05-01: its year is the first four characters.
            if (yearFromTime.empty()) {
                yearFromTime = FirstString(content).substr(0, 4);
            }
        } else if (id == "COMM" || id == "COM") {
            auto [description, text] = DescribedText(content, 3);
            if (description.empty() && comment.empty()) {
                comment = std::move(text);
            } else if (describedComment.empty()) {
                describedComment = std::move(text);
            }
        } else if (id == "TXXX" || id == "TXX") {
            auto [description, value] = DescribedText(content, 0);
            if (description == u"OMG_TRACK" && omgTrack_.empty()) {
                omgTrack_ = std::move(value);
            } else if (const auto field = ReplayGainField(description)) {
                Keep(*field, std::move(value));
            }
        } else if ((id == "TLEN" || id == "TLE") && !tlenSeen) {
            tlenSeen = true;
            if (lengthMs_ < 0) {
                lengthMs_ = ParseTlenContent(content);
            }
        }
        return true;
    });
    Keep(TagField::Comment, comment.empty() ? std::move(describedComment) : std::move(comment));
    Keep(TagField::Year, std::move(yearFromTime));
}

std::optional<std::vector<uint8_t>> ReadTagFrames(FileBytes& file,
                                                  int64_t bodyOffset,
                                                  const Ea3TagHeader& header,
                                                  int64_t maxBytes,
                                                  int32_t& framesLeft) {
    const int64_t size = header.bodySize;
    auto prefix = [&](int64_t n) -> std::optional<std::vector<uint8_t>> {
        std::vector<uint8_t> bytes(static_cast<size_t>(std::max<int64_t>(std::min(size, n), 0)));
        if (!file.ReadAt(bodyOffset, bytes.data(), static_cast<int32_t>(bytes.size()))) {
            return std::nullopt;
        }
        return bytes;
    };
    if (header.version < 2 || header.version > 4 || ((header.flags & kUnsyncFlag) && header.version < 4)) {
        return prefix(maxBytes);
    }
    // An extended header is a few bytes; one that claims more is read as the walk reads it.
    constexpr int64_t kExtendedHeaderRead = 4096;
    std::optional<std::vector<uint8_t>> body = prefix(std::min(kExtendedHeaderRead, maxBytes));
    if (!body) {
        return std::nullopt;
    }
    const auto start = FramesStart(header, *body);
    if (!start) {
        return prefix(maxBytes);
    }
    body->resize(*start);
    const bool v2 = header.version == 2;
    const int32_t frameHeaderSize = v2 ? 6 : 10;
    for (auto at = static_cast<int64_t>(*start); size - at >= frameHeaderSize && framesLeft > 0;) {
        --framesLeft;
        std::array<uint8_t, 10> head{};
        if (!file.ReadAt(bodyOffset + at, head.data(), frameHeaderSize)) {
            return std::nullopt;
        }
        if (head[0] == 0) {
            break;  // padding
        }
        const std::span<const uint8_t> fields(head);
        int64_t frameSize = 0;
        if (v2) {
            frameSize = BigEndian(fields.subspan(3), 3);
        } else if (header.version == 3) {
            frameSize = BigEndian(fields.subspan(4), 4);
        } else if (const auto safe = Syncsafe(fields.subspan(4))) {
            frameSize = *safe;
        } else {
            break;
        }
        if (frameSize > size - at - frameHeaderSize) {
            break;
        }
        const std::string_view id(reinterpret_cast<const char*>(head.data()), v2 ? 3 : 4);
        const bool wanted = id[0] == 'T' || id == "COMM" || id == "COM";
        const auto kept = static_cast<int64_t>(body->size());
        if (wanted && frameHeaderSize + frameSize <= maxBytes - kept) {
            body->insert(body->end(), head.begin(), head.begin() + frameHeaderSize);
            body->resize(static_cast<size_t>(kept + frameHeaderSize + frameSize));
            if (frameSize > 0 && !file.ReadAt(bodyOffset + at + frameHeaderSize, body->data() + kept + frameHeaderSize,
                                              static_cast<int32_t>(frameSize))) {
                return std::nullopt;
            }
        }
        at += frameHeaderSize + frameSize;
    }
    return body;
}
