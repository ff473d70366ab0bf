#include "decode/AtracDecoder.h"

#include "decode/CpuFeatures.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

namespace {

struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
using UniqueCodecContext = std::unique_ptr<AVCodecContext, CodecContextDeleter>;

struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using UniqueFrame = std::unique_ptr<AVFrame, FrameDeleter>;

struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using UniquePacket = std::unique_ptr<AVPacket, PacketDeleter>;

void PutLe16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void PutBe16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value);
}

void PutBe32(uint8_t* at, uint32_t value) {
    PutBe16(at, value >> 16);
    PutBe16(at + 2, value);
}

// As Debian's ffmpeg converts: scale by 2^15, round to nearest even, clip. lrintf is one
// instruction here (this file is built without errno for maths), where nearbyint costs a call
// and two control word loads per sample; both round in the current mode, which is to nearest.
inline int16_t FromFloat(float x) {
    const long rounded = std::lrintf(x * 32768.0f);
    return static_cast<int16_t>(std::clamp<long>(rounded, -32768, 32767));
}

// One pass over a frame: from the decoder's planes or interleaved buffer straight into the
// interleaved output. The format is tested once per frame, not per sample.
template <class Sample, bool Planar, class Convert>
void Interleave(const AVFrame& frame, int channels, int count, int16_t* out, Convert convert) {
    if constexpr (Planar) {
        if (channels == 2) {
            const auto* left = reinterpret_cast<const Sample*>(frame.extended_data[0]);
            const auto* right = reinterpret_cast<const Sample*>(frame.extended_data[1]);
            for (int i = 0; i < count; ++i) {
                out[2 * i] = convert(left[i]);
                out[2 * i + 1] = convert(right[i]);
            }
            return;
        }
        for (int c = 0; c < channels; ++c) {
            const auto* plane = reinterpret_cast<const Sample*>(frame.extended_data[c]);
            for (int i = 0; i < count; ++i) {
                out[i * channels + c] = convert(plane[i]);
            }
        }
    } else {
        const auto* in = reinterpret_cast<const Sample*>(frame.extended_data[0]);
        const int n = count * channels;
        for (int i = 0; i < n; ++i) {
            out[i] = convert(in[i]);
        }
    }
}

class LibavDecoder final : public AtracDecoder {
public:
    explicit LibavDecoder(const OmaInfo& info) : info_(info) {}

    bool Open() {
        // The decoders complain on stderr about every damaged frame; the player has no console.
        static std::once_flag quiet;
        std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });

        const AVCodecID id = info_.codec == OmaCodec::Atrac3       ? AV_CODEC_ID_ATRAC3
                             : info_.codec == OmaCodec::Atrac3Plus ? AV_CODEC_ID_ATRAC3P
                                                                   : AV_CODEC_ID_MP3;
        const AVCodec* codec = avcodec_find_decoder(id);
        if (!codec) {
            return false;
        }
        UniqueCodecContext context(avcodec_alloc_context3(codec));
        if (!context) {
            return false;
        }
        context->sample_rate = info_.sampleRate;
        if (info_.codec != OmaCodec::Mp3) {
            context->block_align = info_.frameSize;  // MP3's frames say their own size
        }
        context->thread_count = 1;  // the plug-in starts no threads, libavcodec included
        av_channel_layout_default(&context->ch_layout, info_.channels);
        if (info_.codec == OmaCodec::Atrac3 && !SetAtrac3Extradata(*context)) {
            return false;
        }
        if (avcodec_open2(context.get(), codec, nullptr) < 0) {
            return false;
        }
        UniqueFrame frame(av_frame_alloc());
        UniquePacket packet(av_packet_alloc());
        if (!frame || !packet) {
            return false;
        }
        context_ = std::move(context);
        frame_ = std::move(frame);
        packet_ = std::move(packet);
        return true;
    }

    bool Decode(std::span<const uint8_t> frame, std::span<int16_t> out) override {
        const size_t needed = static_cast<size_t>(info_.samplesPerFrame) * info_.channels;
        const bool sized = info_.codec == OmaCodec::Mp3 ? !frame.empty() && frame.size() <= size_t{kMaxMp3FrameSize}
                                                        : frame.size() == static_cast<size_t>(info_.frameSize);
        if (!context_ || !sized || out.size() < needed) {
            std::fill(out.begin(), out.end(), int16_t{0});
            return false;
        }
        if (realMediaStyle_) {
            frame = Scrambled(frame);
        }
        // Not reference-counted: libavcodec copies it into a padded buffer of its own, so the
        // caller's bytes are read once and need no padding.
        packet_->data = const_cast<uint8_t*>(frame.data());
        packet_->size = static_cast<int>(frame.size());
        const int sent = avcodec_send_packet(context_.get(), packet_.get());
        av_packet_unref(packet_.get());
        const bool ok = sent >= 0 && avcodec_receive_frame(context_.get(), frame_.get()) >= 0 && Convert(*frame_, out);
        av_frame_unref(frame_.get());
        if (!ok) {
            std::fill(out.begin(), out.end(), int16_t{0});
        }
        return ok;
    }

    bool Reset() override {
        // The decoders keep overlap and filter state that flushing leaves alone; a fresh
        // context is the only state a seek can reproduce.
        context_.reset();
        return Open();
    }

private:
    // The decoder knows the stereo coding only from its extradata, in one of two layouts. The
    // WAV style (version 1, the sample rate, the joint-stereo flag twice, a frame factor of 1)
    // it takes for 96, 152 or 192 bytes per channel only. The RealMedia style (version 4,
    // samples per frame, the 0x88E delay, the coding mode) takes any frame size; with it the
    // decoder expects the frames scrambled as RealMedia stores them, so Decode scrambles ours.
    bool SetAtrac3Extradata(AVCodecContext& context) {
        const int32_t perChannel = info_.frameSize / info_.channels;
        realMediaStyle_ =
            info_.frameSize % info_.channels != 0 || (perChannel != 96 && perChannel != 152 && perChannel != 192);
        const int size = realMediaStyle_ ? 10 : 14;
        auto* extradata = static_cast<uint8_t*>(av_mallocz(static_cast<size_t>(size) + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!extradata) {
            return false;
        }
        if (realMediaStyle_) {
            PutBe32(&extradata[0], 4);
            PutBe16(&extradata[4], static_cast<uint32_t>(1024 * info_.channels));
            PutBe16(&extradata[6], 0x88E);
            PutBe16(&extradata[8], info_.jointStereo ? 0x12 : 0x2);
        } else {
            PutLe16(&extradata[0], 1);
            PutLe16(&extradata[2], static_cast<uint32_t>(info_.sampleRate));
            PutLe16(&extradata[4], static_cast<uint32_t>(info_.sampleRate) >> 16);
            PutLe16(&extradata[6], info_.jointStereo ? 1 : 0);
            PutLe16(&extradata[8], info_.jointStereo ? 1 : 0);
            PutLe16(&extradata[10], 1);
        }
        context.extradata = extradata;  // the context frees it
        context.extradata_size = size;
        return true;
    }

    // RealMedia's scrambling: the frame XORed with a fixed 32-bit word from its first byte on.
    // Its own inverse: the decoder undoes it before it reads a bit.
    std::span<const uint8_t> Scrambled(std::span<const uint8_t> frame) {
        static constexpr uint8_t kKey[4] = {0x53, 0x7F, 0x61, 0x03};
        scrambled_.resize(frame.size());
        for (size_t i = 0; i < frame.size(); ++i) {
            scrambled_[i] = frame[i] ^ kKey[i % 4];
        }
        return scrambled_;
    }

    bool Convert(const AVFrame& frame, std::span<int16_t> out) const {
        const int channels = info_.channels;
        if (frame.ch_layout.nb_channels != channels) {
            return false;
        }
        const int count = std::min(frame.nb_samples, info_.samplesPerFrame);
        int16_t* to = out.data();
        const auto same = [](int16_t x) { return x; };
        switch (static_cast<AVSampleFormat>(frame.format)) {
            case AV_SAMPLE_FMT_FLTP:
                Interleave<float, true>(frame, channels, count, to, [](float x) { return FromFloat(x); });
                break;
            case AV_SAMPLE_FMT_FLT:
                Interleave<float, false>(frame, channels, count, to, [](float x) { return FromFloat(x); });
                break;
            case AV_SAMPLE_FMT_S16P:
                Interleave<int16_t, true>(frame, channels, count, to, same);
                break;
            case AV_SAMPLE_FMT_S16:
                Interleave<int16_t, false>(frame, channels, count, to, same);
                break;
            default:
                return false;
        }
        // A short frame (never seen from these decoders) leaves silence, not old samples.
        std::fill(out.begin() + static_cast<ptrdiff_t>(count) * channels,
                  out.begin() + static_cast<ptrdiff_t>(info_.samplesPerFrame) * channels, int16_t{0});
        return true;
    }

    OmaInfo info_;
    bool realMediaStyle_ = false;     // ATRAC3 set up the RealMedia way: frames go in scrambled
    std::vector<uint8_t> scrambled_;  // the frame being sent, scrambled
    UniqueCodecContext context_;
    UniqueFrame frame_;
    UniquePacket packet_;
};

// 16-bit big-endian samples, already interleaved: only the byte order changes.
class LpcmDecoder final : public AtracDecoder {
public:
    explicit LpcmDecoder(const OmaInfo& info) : info_(info) {}

    bool Decode(std::span<const uint8_t> frame, std::span<int16_t> out) override {
        const size_t count = static_cast<size_t>(info_.samplesPerFrame) * info_.channels;
        const size_t blockAlign = static_cast<size_t>(info_.channels) * 2;
        // The file's last frame may be short; the samples it lacks are silence.
        if (frame.empty() || frame.size() > count * 2 || frame.size() % blockAlign != 0 || out.size() < count) {
            std::fill(out.begin(), out.end(), int16_t{0});
            return false;
        }
        const size_t given = frame.size() / 2;
        for (size_t i = 0; i < given; ++i) {
            out[i] = static_cast<int16_t>(static_cast<uint16_t>(frame[2 * i] << 8 | frame[2 * i + 1]));
        }
        std::fill(out.begin() + static_cast<ptrdiff_t>(given), out.begin() + static_cast<ptrdiff_t>(count), int16_t{0});
        return true;
    }

    bool Reset() override { return true; }

private:
    OmaInfo info_;
};

}  // namespace

std::unique_ptr<AtracDecoder> OpenAtracDecoder(const OmaInfo& info) {
    if (info.channels <= 0 || info.samplesPerFrame <= 0 || info.frameSize <= 0) {
        return nullptr;
    }
    if (info.codec == OmaCodec::Lpcm) {
        return std::make_unique<LpcmDecoder>(info);
    }
    if (info.codec != OmaCodec::Atrac3 && info.codec != OmaCodec::Atrac3Plus && info.codec != OmaCodec::Mp3) {
        return nullptr;
    }
    if (!CpuHasSse2()) {
        return nullptr;  // not one of FFmpeg's instructions may run (decode/CpuFeatures.h)
    }
    auto decoder = std::make_unique<LibavDecoder>(info);
    if (!decoder->Open()) {
        return nullptr;
    }
    return decoder;
}
