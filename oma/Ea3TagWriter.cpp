#include "oma/Ea3TagWriter.h"

#include <algorithm>
#include <array>

namespace {

constexpr uint8_t kFooterFlag = 0x10;
constexpr uint8_t kExtendedHeaderFlag = 0x40;
constexpr uint8_t kUnsyncFlag = 0x80;
constexpr int64_t kMaxBodySize = 0x0FFFFFFF;  // what four syncsafe bytes spell

using Bytes = std::vector<uint8_t>;

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

void Append(Bytes& to, std::span<const uint8_t> more) {
    to.insert(to.end(), more.begin(), more.end());
}

void AppendSyncsafe(Bytes& to, uint32_t n) {
    to.insert(to.end(), {static_cast<uint8_t>(n >> 21 & 0x7F), static_cast<uint8_t>(n >> 14 & 0x7F),
                         static_cast<uint8_t>(n >> 7 & 0x7F), static_cast<uint8_t>(n & 0x7F)});
}

uint32_t BigEndian(std::span<const uint8_t> b, size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) {
        value = value << 8 | b[i];
    }
    return value;
}

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

Bytes Resynchronised(std::span<const uint8_t> bytes) {
    Bytes out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == 0x00) {
            ++i;
        }
    }
    return out;
}

// A zero after every 0xFF: what resynchronising turns back into the content exactly.
Bytes Unsynchronised(std::span<const uint8_t> bytes) {
    Bytes out;
    for (uint8_t b : bytes) {
        out.push_back(b);
        if (b == 0xFF) {
            out.push_back(0);
        }
    }
    return out;
}

// One block as the reader walks it: its frames in the body it reads (resynchronised before
// version 4), and whatever follows the last frame.
struct Block {
    std::span<const uint8_t> raw;  // the whole block as it stands
    Ea3TagHeader header;
    bool editable = false;                         // a version the reader reads, and a body it can walk
    Bytes body;                                    // the body as the reader reads it
    size_t framesStart = 0;                        // past an extended header
    std::vector<std::span<const uint8_t>> frames;  // into body, headers included
    std::span<const uint8_t> tail;                 // into body: after the last frame
};

// Walks the frames exactly as the reader does, so that the frames kept are the ones it reads.
void WalkBlock(Block& block) {
    const Ea3TagHeader& h = block.header;
    if (h.version < 2 || h.version > 4) {
        return;
    }
    const auto rawBody = block.raw.subspan(kEa3TagHeaderSize, static_cast<size_t>(h.bodySize));
    block.body =
        (h.flags & kUnsyncFlag) && h.version < 4 ? Resynchronised(rawBody) : Bytes(rawBody.begin(), rawBody.end());
    const std::span<const uint8_t> body(block.body);
    size_t at = 0;
    if ((h.flags & kExtendedHeaderFlag) && h.version >= 3) {
        if (body.size() < 4) {
            return;
        }
        size_t skip = 0;
        if (h.version == 3) {
            skip = size_t{4} + BigEndian(body, 4);
        } else {
            const auto size = Syncsafe(body);
            if (!size) {
                return;
            }
            skip = *size;
        }
        if (skip > body.size()) {
            return;
        }
        at = skip;
    }
    block.editable = true;
    block.framesStart = at;
    const size_t frameHeaderSize = h.version == 2 ? 6 : 10;
    while (at + frameHeaderSize <= body.size()) {
        const auto frame = body.subspan(at);
        if (frame[0] == 0) {
            break;
        }
        uint64_t size = 0;
        if (h.version == 2) {
            size = BigEndian(frame.subspan(3), 3);
        } else if (h.version == 3) {
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
        const size_t length = frameHeaderSize + static_cast<size_t>(size);
        block.frames.push_back(body.subspan(at, length));
        at += length;
    }
    block.tail = body.subspan(at);
}

std::optional<std::vector<Block>> ParseBlocks(std::span<const uint8_t> bytes) {
    std::vector<Block> blocks;
    size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < static_cast<size_t>(kEa3TagHeaderSize)) {
            return std::nullopt;
        }
        const auto header = ParseEa3TagHeader(bytes.subspan(at).first<kEa3TagHeaderSize>());
        if (!header || header->totalSize > static_cast<int64_t>(bytes.size() - at)) {
            return std::nullopt;
        }
        Block block;
        block.raw = bytes.subspan(at, static_cast<size_t>(header->totalSize));
        block.header = *header;
        WalkBlock(block);
        blocks.push_back(std::move(block));
        at += static_cast<size_t>(header->totalSize);
    }
    return blocks;
}

struct FrameIds {
    const char* v2;
    const char* v3;
};

// The text frame of a field; nothing for those kept in COMM or TXXX.
std::optional<FrameIds> TextFrameOf(TagField field) {
    switch (field) {
        case TagField::Title:
            return FrameIds{"TT2", "TIT2"};
        case TagField::Artist:
            return FrameIds{"TP1", "TPE1"};
        case TagField::Album:
            return FrameIds{"TAL", "TALB"};
        case TagField::AlbumArtist:
            return FrameIds{"TP2", "TPE2"};
        case TagField::Genre:
            return FrameIds{"TCO", "TCON"};
        case TagField::Year:
            return FrameIds{"TYE", "TYER"};
        case TagField::TrackNumber:
            return FrameIds{"TRK", "TRCK"};
        case TagField::Disc:
            return FrameIds{"TPA", "TPOS"};
        case TagField::Composer:
            return FrameIds{"TCM", "TCOM"};
        case TagField::Publisher:
            return FrameIds{"TPB", "TPUB"};
        case TagField::Bpm:
            return FrameIds{"TBP", "TBPM"};
        default:
            return std::nullopt;
    }
}

bool IsReplayGain(TagField field) {
    return field == TagField::ReplayGainTrackGain || field == TagField::ReplayGainTrackPeak ||
           field == TagField::ReplayGainAlbumGain || field == TagField::ReplayGainAlbumPeak;
}

// What the reader makes of one frame on its own: the one judge of which field a TXXX or COMM
// frame feeds, so that the writer never disagrees with it.
Ea3Tags ReadAlone(const Ea3TagHeader& header, std::span<const uint8_t> frame) {
    Ea3TagHeader alone = header;
    alone.flags &= header.version == 4 ? kUnsyncFlag : 0;  // a version 4 tag's flag covers each frame
    alone.bodySize = static_cast<int64_t>(frame.size());
    Ea3Tags tags;
    tags.ReadBlock(alone, frame);
    return tags;
}

// Whether a COMM frame's description is empty: its terminator comes first, after a byte-order
// mark in UTF-16.
bool CommentWithoutDescription(int32_t version, std::span<const uint8_t> frame) {
    const size_t headerSize = version == 2 ? 6 : 10;
    if (frame.size() < headerSize + 4) {
        return false;
    }
    const auto content = frame.subspan(headerSize);
    const uint8_t encoding = content[0];
    auto text = content.subspan(4);
    if (encoding == 0 || encoding == 3) {
        return !text.empty() && text[0] == 0;
    }
    if (text.size() >= 2 && ((text[0] == 0xFF && text[1] == 0xFE) || (text[0] == 0xFE && text[1] == 0xFF))) {
        text = text.subspan(2);
    }
    return text.size() >= 2 && text[0] == 0 && text[1] == 0;
}

bool FrameOfEdit(const Block& block, std::span<const uint8_t> frame, const TagEdit& edit) {
    const int32_t version = block.header.version;
    const std::string_view id(reinterpret_cast<const char*>(frame.data()), version == 2 ? 3 : 4);
    if (const auto ids = TextFrameOf(edit.field)) {
        if (id == (version == 2 ? ids->v2 : ids->v3)) {
            return true;
        }
        if (edit.field == TagField::Year && id == "TDRC") {
            return true;
        }
        // A TXXX "OMG_TRACK" stands in for a missing TRCK, so a removed track goes with it.
        if (edit.field == TagField::TrackNumber && edit.text.empty() && (id == "TXXX" || id == "TXX")) {
            return !ReadAlone(block.header, frame).Text(TagField::TrackNumber).empty();
        }
        return false;
    }
    if (edit.field == TagField::Comment && (id == "COMM" || id == "COM")) {
        // A new comment replaces the plain ones; a removed one takes every comment the reader
        // would show in its place.
        return edit.text.empty() || CommentWithoutDescription(version, frame);
    }
    if (IsReplayGain(edit.field) && (id == "TXXX" || id == "TXX")) {
        return !ReadAlone(block.header, frame).Text(edit.field).empty();
    }
    return false;
}

bool FitsLatin1(std::u16string_view text) {
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c <= 0xFF; });
}

// One string in a frame's encoding, its terminator after it when terminated.
void AppendText(Bytes& to, bool utf16, std::u16string_view text, bool terminated) {
    if (utf16) {
        to.insert(to.end(), {0xFF, 0xFE});
        for (char16_t c : text) {
            to.insert(to.end(), {static_cast<uint8_t>(c & 0xFF), static_cast<uint8_t>(c >> 8)});
        }
        if (terminated) {
            to.insert(to.end(), {0, 0});
        }
    } else {
        for (char16_t c : text) {
            to.push_back(static_cast<uint8_t>(c));
        }
        if (terminated) {
            to.push_back(0);
        }
    }
}

bool IsFourDigitYear(std::u16string_view text) {
    return text.size() == 4 && std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

Bytes NewFrame(const Ea3TagHeader& header, const TagEdit& edit) {
    const int32_t version = header.version;
    const std::u16string_view text = edit.text;
    const bool utf16 = !FitsLatin1(text);
    std::string id;
    Bytes content{static_cast<uint8_t>(utf16 ? 1 : 0)};
    if (const auto ids = TextFrameOf(edit.field)) {
        id = version == 2 ? ids->v2 : ids->v3;
        if (edit.field == TagField::Year && version == 4 && IsFourDigitYear(text)) {
            id = "TDRC";  // version 4's year; anything else stays a TYER, which it still reads
        }
        AppendText(content, utf16, text, false);
    } else if (edit.field == TagField::Comment) {
        id = version == 2 ? "COM" : "COMM";
        content.insert(content.end(), {'u', 'n', 'd'});  // the language: undetermined
        AppendText(content, utf16, u"", true);
        AppendText(content, utf16, text, false);
    } else {
        id = version == 2 ? "TXX" : "TXXX";
        const std::string_view name = kTagFieldNames[static_cast<size_t>(edit.field)];
        AppendText(content, utf16, std::u16string(name.begin(), name.end()), true);
        AppendText(content, utf16, text, false);
    }
    if (version == 4 && (header.flags & kUnsyncFlag)) {
        content = Unsynchronised(content);
    }
    Bytes frame(id.begin(), id.end());
    const auto n = static_cast<uint32_t>(content.size());
    if (version == 2) {
        frame.insert(frame.end(),
                     {static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    } else {
        if (version == 4) {
            AppendSyncsafe(frame, n);
        } else {
            frame.insert(frame.end(), {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                                       static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
        }
        frame.insert(frame.end(), {0, 0});
    }
    Append(frame, content);
    return frame;
}

// The block written again: header, new frames, the frames kept, zeros up to its size (or its
// grown size), what followed the frames if it is not padding, and a footer when it had one.
std::optional<Bytes> WriteBlock(const Block& block, std::span<const TagEdit> edits, bool takesNewFrames) {
    const Ea3TagHeader& h = block.header;
    Bytes body;
    if (takesNewFrames) {
        for (const TagEdit& edit : edits) {
            if (!edit.text.empty()) {
                Append(body, NewFrame(h, edit));
            }
        }
    }
    for (const auto frame : block.frames) {
        const bool edited =
            std::any_of(edits.begin(), edits.end(), [&](const TagEdit& e) { return FrameOfEdit(block, frame, e); });
        if (!edited) {
            Append(body, frame);
        }
    }
    // What follows the last frame and is not padding stays the body's last bytes: there the
    // reader's walk stops at the zeros before it, or reads it exactly as before.
    std::span<const uint8_t> tail;
    if (std::any_of(block.tail.begin(), block.tail.end(), [](uint8_t b) { return b != 0; })) {
        tail = block.tail;
    }
    const bool footer = h.flags & kFooterFlag;
    const int64_t needed =
        kEa3TagHeaderSize + static_cast<int64_t>(body.size() + tail.size()) + (footer ? kEa3TagHeaderSize : 0);
    int64_t total = h.totalSize;
    if (needed > total) {
        if (!takesNewFrames) {
            return std::nullopt;  // only removals here: it cannot grow
        }
        total = GrownBlockSize(needed);
    }
    const int64_t bodySize = total - kEa3TagHeaderSize - (footer ? kEa3TagHeaderSize : 0);
    if (bodySize > kMaxBodySize) {
        return std::nullopt;
    }
    body.resize(static_cast<size_t>(bodySize) - tail.size(), 0);
    Append(body, tail);

    uint8_t flags = static_cast<uint8_t>(h.flags);
    if (h.version >= 3) {
        flags &= static_cast<uint8_t>(~kExtendedHeaderFlag);
    }
    if (h.version < 4) {
        flags &= static_cast<uint8_t>(~kUnsyncFlag);
    }
    Bytes out(block.raw.begin(), block.raw.begin() + 5);  // magic, version, revision
    out.push_back(flags);
    AppendSyncsafe(out, static_cast<uint32_t>(bodySize));
    Append(out, body);
    if (footer) {
        const auto old = block.raw.subspan(block.raw.size() - kEa3TagHeaderSize, 5);
        Append(out, old);
        out.push_back(flags);
        AppendSyncsafe(out, static_cast<uint32_t>(bodySize));
    }
    return out;
}

// A block as the edits leave it: the same bytes when none of its frames is edited.
std::optional<Bytes> Rewritten(const Block& block, std::span<const TagEdit> edits, bool takesNewFrames) {
    if (!block.editable) {
        return Bytes(block.raw.begin(), block.raw.end());
    }
    const bool adds = std::any_of(edits.begin(), edits.end(), [](const TagEdit& e) { return !e.text.empty(); });
    const bool touched =
        (takesNewFrames && adds) || std::any_of(block.frames.begin(), block.frames.end(), [&](auto frame) {
            return std::any_of(edits.begin(), edits.end(),
                               [&](const TagEdit& e) { return FrameOfEdit(block, frame, e); });
        });
    if (!touched) {
        return Bytes(block.raw.begin(), block.raw.end());
    }
    return WriteBlock(block, edits, takesNewFrames);
}

}  // namespace

std::optional<TagField> StoredTagField(std::string_view name) {
    if (SameName(name, "track")) {
        return TagField::TrackNumber;
    }
    for (size_t i = 0; i < kTagFieldNames.size(); ++i) {
        if (static_cast<TagField>(i) != TagField::Bpm && SameName(name, kTagFieldNames[i])) {
            return static_cast<TagField>(i);
        }
    }
    return std::nullopt;
}

int64_t GrownBlockSize(int64_t needed) {
    constexpr int64_t kSmallest = 3072;
    constexpr int64_t kSpare = 512;
    constexpr int64_t kGrain = 1024;
    return std::max(kSmallest, (needed + kSpare + kGrain - 1) / kGrain * kGrain);
}

std::optional<std::vector<uint8_t>> RewriteTagBlocks(std::span<const uint8_t> blocks, std::span<const TagEdit> edits) {
    const auto parsed = ParseBlocks(blocks);
    if (!parsed) {
        return std::nullopt;
    }
    // The player hands C strings: a text ends at its first NUL.
    // The player hands C strings: a text ends at its first NUL. A field edited twice takes the
    // later text.
    std::vector<TagEdit> cut;
    for (const TagEdit& edit : edits) {
        std::erase_if(cut, [&](const TagEdit& e) { return e.field == edit.field; });
        cut.push_back({edit.field, edit.text.substr(0, edit.text.find(u'\0'))});
    }
    const bool adds = std::any_of(cut.begin(), cut.end(), [](const TagEdit& e) { return !e.text.empty(); });
    Bytes out;
    const auto first = std::find_if(parsed->begin(), parsed->end(), [](const Block& b) { return b.editable; });
    if (first == parsed->end() && adds) {
        const std::array<uint8_t, kEa3TagHeaderSize> fresh = {'e', 'a', '3', 3, 0, 0, 0, 0, 0, 0};
        Block block;
        block.raw = fresh;
        block.header = *ParseEa3TagHeader(fresh);
        block.editable = true;
        const auto written = WriteBlock(block, cut, true);
        if (!written) {
            return std::nullopt;
        }
        Append(out, *written);
    }
    for (auto it = parsed->begin(); it != parsed->end(); ++it) {
        const auto written = Rewritten(*it, cut, it == first);
        if (!written) {
            return std::nullopt;
        }
        Append(out, *written);
    }
    return out;
}
