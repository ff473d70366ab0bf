#include "oma/OmaFile.h"

#include <algorithm>
#include <array>
#include <span>
#include <vector>

#include "oma/Ea3Tag.h"
#include "oma/WavLayout.h"

namespace {

constexpr uint32_t kPlainEncryptionIds[] = {0xFFFF, 0xFF80};

// A tag body up to this is read whole; past it, frame by frame.
constexpr int64_t kMaxTagBodyRead = 1 << 20;

// The index in the parameter word's bits 13-15, in Hz; zero marks a rate no encoder writes.
constexpr int32_t kSampleRates[8] = {32000, 44100, 48000, 88200, 96000, 0, 0, 0};

// ATRAC3plus channel ids 1-7; the source serves mono and stereo only, since a plain PCM WAV
// header cannot say where more channels go.
constexpr int32_t kAtrac3PlusChannels[8] = {0, 1, 2, 3, 4, 6, 7, 8};

constexpr int64_t kLpcmFrameSize = 1024;  // 256 stereo samples, big-endian

// The largest frame libavcodec's ATRAC3 decoder sets itself up for.
constexpr int32_t kMaxAtrac3FrameSize = 4096;

OmaCodec CodecOf(int32_t id) {
    switch (id) {
        case 0:
            return OmaCodec::Atrac3;
        case 1:
            return OmaCodec::Atrac3Plus;
        case 3:
            return OmaCodec::Mp3;
        case 4:
            return OmaCodec::Lpcm;
        case 5:
            return OmaCodec::Wma;
        case 33:
            return OmaCodec::Atrac3PlusLossless;
        case 34:
            return OmaCodec::Atrac3Lossless;
        default:
            return OmaCodec::Unknown;
    }
}

bool LooksLikeHeaderStart(std::span<const uint8_t> bytes) {
    // "EA3", a version byte, then the header's size as a big-endian 16-bit 96.
    static constexpr std::array<int32_t, 6> kPattern = {'E', 'A', '3', -1, 0, kEa3HeaderSize};
    for (size_t i = 0; i < bytes.size() && i < kPattern.size(); ++i) {
        if (kPattern[i] >= 0 && bytes[i] != kPattern[i]) {
            return false;
        }
    }
    return true;
}

// The codec's parameters, and whether the source serves the codec with them.
OmaStatus ReadParameters(OmaInfo& info) {
    const uint32_t p = info.codecParams;
    switch (info.codec) {
        case OmaCodec::Atrac3: {
            info.sampleRate = kSampleRates[(p >> 13) & 7];
            info.frameSize = static_cast<int32_t>(p & 0x3FF) * 8;
            info.jointStereo = (p >> 17) & 1;
            info.channels = 2;
            info.samplesPerFrame = 1024;
            info.delay = kAtrac3Delay;
            // Encoders write frames of 192 to 1024 bytes (66 to 353 kb/s); the decoder takes
            // any size up to 4096 bytes, and whether it decodes one is for its first frame to say.
            const bool decodableSize = info.frameSize > 0 && info.frameSize <= kMaxAtrac3FrameSize;
            return info.sampleRate != 0 && decodableSize ? OmaStatus::Ok : OmaStatus::BadParameters;
        }
        case OmaCodec::Atrac3Plus: {
            info.sampleRate = kSampleRates[(p >> 13) & 7];
            info.frameSize = static_cast<int32_t>(p & 0x3FF) * 8 + 8;
            info.channels = kAtrac3PlusChannels[(p >> 10) & 7];
            info.samplesPerFrame = 2048;
            info.delay = kAtrac3PlusDelay;
            const bool served = info.channels == 1 || info.channels == 2;
            return info.sampleRate != 0 && served ? OmaStatus::Ok : OmaStatus::BadParameters;
        }
        case OmaCodec::Lpcm:
            // The header's parameters are not used for LPCM: it is always CD audio.
            info.sampleRate = 44100;
            info.channels = 2;
            info.frameSize = kLpcmFrameSize;
            info.samplesPerFrame = kLpcmFrameSize / 4;
            info.delay = 0;
            return OmaStatus::Ok;
        default:
            return OmaStatus::UnsupportedCodec;
    }
}

// MP3's parameters come from its frames, whatever the header's bits say.
OmaStatus ReadMp3(FileBytes& file, int64_t size, OmaRead& read) {
    OmaInfo& info = read.info;
    std::optional<Mp3Frames> frames = ReadMp3Frames(file, info.dataOffset, size);
    if (!frames) {
        return OmaStatus::NoFrames;
    }
    read.mp3 = std::move(*frames);
    const Mp3Frames& mp3 = read.mp3;
    info.sampleRate = mp3.first.sampleRate;
    info.channels = mp3.first.channels;
    info.samplesPerFrame = mp3.first.samplesPerFrame;
    info.frames = mp3.frames;
    info.frameSize = static_cast<int32_t>((mp3.audioBytes + info.frames / 2) / info.frames);
    info.bitRate =
        static_cast<int32_t>((mp3.audioBytes * 8 * info.sampleRate + info.frames * info.samplesPerFrame / 2) /
                             (info.frames * info.samplesPerFrame));
    const bool lame = mp3.tag && mp3.tag->encoderDelay >= 0;
    info.delay = kMp3DecoderDelay + (lame ? mp3.tag->encoderDelay : 0);
    const int64_t trimmed =
        info.frames * info.samplesPerFrame - info.delay - (lame ? mp3.tag->padding - kMp3DecoderDelay : 0);
    int64_t samples = std::min(std::max<int64_t>(trimmed, 0), MaxServedSamples(info.channels));
    if (info.tagLengthMs > 0) {
        samples = std::min(samples, info.tagLengthMs * info.sampleRate / 1000);
    }
    info.samples = samples;
    return info.samples > 0 ? OmaStatus::Ok : OmaStatus::NoFrames;
}

// The length in samples per channel (see ReadOma) of a stream that decodes to `decoded`.
int64_t StreamSamples(const OmaInfo& info, int64_t decoded) {
    if (info.tagLengthMs > 0) {
        // Truncating: a TLEN's last millisecond is not a whole one.
        const int64_t tagged = info.tagLengthMs * info.sampleRate / 1000;
        return std::min({tagged, decoded, MaxServedSamples(info.channels)});
    }
    // A stream longer than a RIFF size can count plays as far as it can count (6.7 hours of
    // 44.1 kHz stereo).
    return std::min(std::max<int64_t>(decoded - info.delay, 0), MaxServedSamples(info.channels));
}

}  // namespace

int64_t MaxServedSamples(int32_t channels) {
    return std::min(MaxWavSamples(channels), MaxWavSamples(2));
}

OmaRead ReadOma(FileBytes& file) {
    OmaRead read;
    OmaInfo& info = read.info;
    const int64_t size = file.Size();

    // Tag blocks, one after another, until something that is not one.
    int64_t at = 0;
    bool tagged = false;
    int32_t blocks = 0;
    int64_t bytesLeft = kMaxTagBytesRead;
    int32_t framesLeft = kMaxTagFramesWalked;
    while (true) {
        std::array<uint8_t, kEa3TagHeaderSize> head{};
        const int64_t left = size - at;
        if (left < kEa3TagHeaderSize) {
            // A tag header cut by the end of the file is a tag that runs past it.
            if (left >= 3) {
                std::array<uint8_t, 3> magic{};
                if (file.ReadAt(at, magic.data(), 3) && magic[0] == 'e' && magic[1] == 'a' && magic[2] == '3') {
                    read.status = OmaStatus::TagPastEnd;
                    return read;
                }
            }
            break;
        }
        if (!file.ReadAt(at, head.data(), kEa3TagHeaderSize)) {
            return read;
        }
        const auto header = ParseEa3TagHeader(head);
        if (!header) {
            break;
        }
        if (header->totalSize > left) {
            read.status = OmaStatus::TagPastEnd;
            return read;
        }
        if (++blocks > kMaxTagBlocks) {
            read.status = OmaStatus::TooManyTags;
            return read;
        }
        if (bytesLeft > 0) {
            // A body within the window is read whole; a larger one (a picture among its frames)
            // frame by frame, past what holds no text.
            const int64_t window = std::min(kMaxTagBodyRead, bytesLeft);
            std::optional<std::vector<uint8_t>> body;
            if (header->bodySize <= window) {
                body.emplace(static_cast<size_t>(header->bodySize));
                if (!file.ReadAt(at + kEa3TagHeaderSize, body->data(), static_cast<int32_t>(body->size()))) {
                    return read;
                }
            } else {
                body = ReadTagFrames(file, at + kEa3TagHeaderSize, *header, window, framesLeft);
                if (!body) {
                    return read;
                }
            }
            bytesLeft -= static_cast<int64_t>(body->size());
            read.tags.ReadBlock(*header, *body);
            info.tagLengthMs = read.tags.LengthMs();
        }
        at += header->totalSize;
        tagged = true;
    }

    // The header.
    const int64_t left = size - at;
    if (left < kEa3HeaderSize) {
        std::vector<uint8_t> rest(static_cast<size_t>(std::max<int64_t>(left, 0)));
        if (!file.ReadAt(at, rest.data(), static_cast<int32_t>(rest.size()))) {
            return read;
        }
        // A header cut short, or tags with nothing after them.
        const bool started = !rest.empty() || tagged;
        read.status = started && LooksLikeHeaderStart(rest) ? OmaStatus::TruncatedHeader : OmaStatus::NotOma;
        return read;
    }
    std::array<uint8_t, kEa3HeaderSize> header{};
    if (!file.ReadAt(at, header.data(), kEa3HeaderSize)) {
        return read;
    }
    if (header[0] != 'E' || header[1] != 'A' || header[2] != '3' || header[4] != 0 || header[5] != kEa3HeaderSize) {
        return read;  // NotOma
    }
    info.dataOffset = at + kEa3HeaderSize;
    info.encryptionId = header[6] << 8 | header[7];
    info.codecId = header[32];
    info.codec = CodecOf(info.codecId);
    info.codecParams = uint32_t{header[33]} << 16 | uint32_t{header[34]} << 8 | header[35];

    // Nothing of an encrypted file is decoded, whatever codec it names; its header and frame
    // count are in the clear, so its length is still known.
    const bool encrypted = std::find(std::begin(kPlainEncryptionIds), std::end(kPlainEncryptionIds),
                                     static_cast<uint32_t>(info.encryptionId)) == std::end(kPlainEncryptionIds);
    if (info.codec == OmaCodec::Mp3) {
        // An encrypted file's frames are not MPEG audio to walk.
        read.status = encrypted ? OmaStatus::UnsupportedCodec : ReadMp3(file, size, read);
    } else {
        read.status = ReadParameters(info);
    }
    if (read.status == OmaStatus::Ok && info.codec != OmaCodec::Mp3) {
        int64_t decoded = 0;
        if (info.codec == OmaCodec::Lpcm) {
            // LPCM is samples, not coded frames: every whole sample counts, and the last frame
            // may be short.
            decoded = (size - info.dataOffset) / (int64_t{info.channels} * 2);
            info.frames = (decoded + info.samplesPerFrame - 1) / info.samplesPerFrame;
        } else {
            // Whole frames only: a cut file plays up to its last whole frame.
            info.frames = (size - info.dataOffset) / info.frameSize;
            decoded = info.frames * info.samplesPerFrame;
        }
        info.samples = StreamSamples(info, decoded);
        // A clip shorter than the decoder's delay is still a file: it plays, for no time at all.
        if (info.frames == 0) {
            read.status = OmaStatus::NoFrames;
        }
        info.bitRate = static_cast<int32_t>((int64_t{info.frameSize} * 8 * info.sampleRate + info.samplesPerFrame / 2) /
                                            info.samplesPerFrame);
    }
    if (encrypted) {
        read.status = OmaStatus::Encrypted;
    }
    return read;
}
