#include "host/ExtendedFields.h"

#include <algorithm>
#include <array>

namespace {

// Field names and extensions are ASCII; the locale has no say in how they compare.
template <class Char>
Char AsciiLower(Char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<Char>(c - 'A' + 'a') : c;
}

template <class Char>
bool SameName(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](Char x, Char y) { return AsciiLower(x) == AsciiLower(y); });
}

bool SameName(std::string_view a, std::string_view b) {
    return SameName<char>(a, b);
}

std::u16string Decimal(int64_t value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

std::u16string Padded2(int64_t value) {
    std::u16string text = Decimal(value);
    return text.size() < 2 ? u"0" + text : text;
}

bool IsReplayGainField(TagField field) {
    return field == TagField::ReplayGainTrackGain || field == TagField::ReplayGainTrackPeak ||
           field == TagField::ReplayGainAlbumGain || field == TagField::ReplayGainAlbumPeak;
}

// Whether the reader got as far as the header: only then is the file an OMA file.
bool HeaderRead(const OmaRead& read) {
    switch (read.status) {
        case OmaStatus::Ok:
        case OmaStatus::Encrypted:
        case OmaStatus::UnsupportedCodec:
        case OmaStatus::BadParameters:
        case OmaStatus::NoFrames:
        case OmaStatus::Undecodable:
            return true;
        default:
            return false;
    }
}

std::u16string CodecName(const OmaInfo& info) {
    switch (info.codec) {
        case OmaCodec::Atrac3:
            return u"ATRAC3";
        case OmaCodec::Atrac3Plus:
            return u"ATRAC3plus";
        case OmaCodec::Lpcm:
            return u"LPCM";
        case OmaCodec::Mp3:
            return u"MP3";
        case OmaCodec::Wma:
            return u"WMA";
        case OmaCodec::Atrac3PlusLossless:
            return u"ATRAC3plus 无损";
        case OmaCodec::Atrac3Lossless:
            return u"ATRAC3 无损";
        default:
            return u"未知（编号 " + Decimal(info.codecId) + u"）";
    }
}

// kb/s, rounded; 0 when the header does not give what it takes.
int64_t BitRateKbps(const OmaInfo& info) {
    if (info.codec == OmaCodec::Mp3) {
        // The mean over the frames: a VBR file's frames each have their own.
        return info.bitRate > 0 ? (int64_t{info.bitRate} + 500) / 1000 : 0;
    }
    if (info.frameSize <= 0 || info.sampleRate <= 0 || info.samplesPerFrame <= 0) {
        return 0;
    }
    const int64_t bits = int64_t{info.frameSize} * 8 * info.sampleRate;
    const int64_t per = int64_t{info.samplesPerFrame} * 1000;
    return (bits + per / 2) / per;
}

std::u16string FormatInformation(const OmaInfo& info) {
    std::u16string text = u"编码：" + CodecName(info);
    const auto line = [&text](std::u16string_view name, const std::u16string& value) {
        text += u"\r\n";
        text += name;
        text += value;
    };
    if (const int64_t kbps = BitRateKbps(info); kbps > 0) {
        line(u"比特率：", Decimal(kbps) + u" kbps");
    }
    if (info.sampleRate > 0) {
        line(u"采样率：", Decimal(info.sampleRate) + u" Hz");
    }
    if (info.channels > 0) {
        std::u16string channels = Decimal(info.channels);
        if (info.codec == OmaCodec::Atrac3) {
            channels += info.jointStereo ? u"（联合立体声）" : u"（立体声）";
        }
        line(u"声道：", channels);
    }
    if (info.frameSize > 0) {
        line(u"帧大小：", (info.codec == OmaCodec::Mp3 ? u"平均 " : u"") + Decimal(info.frameSize) + u" 字节");
        line(u"帧数：", Decimal(info.frames));
    }
    if (info.samples > 0) {
        const int64_t ms = StreamLengthMs(info);
        const int64_t seconds = ms / 1000;
        line(u"长度：", Decimal(seconds / 60) + u":" + Padded2(seconds % 60) + u"（" + Decimal(ms) + u" 毫秒）");
    }
    const bool plain = info.encryptionId == 0xFFFF || info.encryptionId == 0xFF80;
    line(u"加密：", plain ? u"否" : u"是（OpenMG）");
    return text;
}

}  // namespace

int64_t StreamLengthMs(const OmaInfo& info) {
    return info.sampleRate > 0 ? info.samples * 1000 / info.sampleRate : 0;
}

bool IsNameOnlyField(std::string_view field) {
    return SameName(field, "family");
}

std::optional<std::u16string> FamilyOfName(std::u16string_view name) {
    const size_t dot = name.find_last_of(u'.');
    // Without a dot the name is the extension itself; after it, a separator would make it no
    // extension, and no separator is part of "oma" or "omg".
    const std::u16string_view extension = dot == std::u16string_view::npos ? name : name.substr(dot + 1);
    if (SameName<char16_t>(extension, u"oma")) {
        return u"ATRAC 音频文件（OMA）";
    }
    if (SameName<char16_t>(extension, u"omg")) {
        return u"ATRAC 音频文件（OMG）";
    }
    return std::nullopt;
}

std::optional<std::u16string> FieldOfName(std::u16string_view name, std::string_view field) {
    const auto family = FamilyOfName(name);
    if (!family || name.empty()) {
        return std::nullopt;
    }
    if (SameName(field, "family")) {
        return family;
    }
    if (SameName(field, "type")) {
        return u"0";  // both extensions hold audio only
    }
    return std::nullopt;
}

std::optional<std::u16string> ExtendedField(const OmaRead& read, std::string_view field) {
    if (!HeaderRead(read)) {
        return std::nullopt;
    }
    const OmaInfo& info = read.info;
    // The library's name for the track number beside the tag-reading one.
    const std::string_view tagField = SameName(field, "track") ? std::string_view("tracknumber") : field;
    for (size_t i = 0; i < kTagFieldNames.size(); ++i) {
        if (SameName(tagField, kTagFieldNames[i])) {
            const auto which = static_cast<TagField>(i);
            const std::u16string& text = read.tags.Text(which);
            if (!text.empty()) {
                return text;
            }
            // The player's ReplayGain analysis skips a file whose gain it cannot ask for, so a file
            // we can decode answers that it has none yet; one we cannot decode stays unknown.
            if (IsReplayGainField(which) && read.status == OmaStatus::Ok) {
                return std::u16string();
            }
            return std::nullopt;
        }
    }
    if (SameName(field, "length")) {
        return info.samples > 0 ? std::optional(Decimal(StreamLengthMs(info))) : std::nullopt;
    }
    if (SameName(field, "bitrate")) {
        const int64_t kbps = BitRateKbps(info);
        return kbps > 0 ? std::optional(Decimal(kbps)) : std::nullopt;
    }
    if (SameName(field, "type")) {
        return u"0";  // audio
    }
    if (SameName(field, "lossless")) {
        return info.codec == OmaCodec::Lpcm ? u"1" : u"0";
    }
    if (SameName(field, "codec")) {
        return CodecName(info);
    }
    if (SameName(field, "formatinformation")) {
        return FormatInformation(info);
    }
    if (SameName(field, "family")) {
        return u"ATRAC 音频文件（OMA）";
    }
    return std::nullopt;
}
