#include "decode/AtracDecoder.h"

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

int16_t FromFloat(float x) {
    // As Debian's ffmpeg converts: scale by 2^15, round to nearest, clip.
    const float scaled = std::nearbyint(x * 32768.0f);
    return static_cast<int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

class LibavDecoder final : public AtracDecoder {
public:
    explicit LibavDecoder(const OmaInfo& info) : info_(info) {}

    bool Open() {
        // The decoders complain on stderr about every damaged frame; the player has no console.
        static std::once_flag quiet;
        std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });

        const AVCodec* codec =
            avcodec_find_decoder(info_.codec == OmaCodec::Atrac3 ? AV_CODEC_ID_ATRAC3 : AV_CODEC_ID_ATRAC3P);
        if (!codec) {
            return false;
        }
        UniqueCodecContext context(avcodec_alloc_context3(codec));
        if (!context) {
            return false;
        }
        context->sample_rate = info_.sampleRate;
        context->block_align = info_.frameSize;
        context->thread_count = 1;  // the plug-in starts no threads, libavcodec included
        av_channel_layout_default(&context->ch_layout, info_.channels);
        if (info_.codec == OmaCodec::Atrac3) {
            // WAV-style extradata: version 1, the sample rate, the joint-stereo flag twice, a
            // frame factor of 1. Without it the decoder does not know the stereo coding.
            constexpr int kSize = 14;
            auto* extradata = static_cast<uint8_t*>(av_mallocz(kSize + AV_INPUT_BUFFER_PADDING_SIZE));
            if (!extradata) {
                return false;
            }
            PutLe16(&extradata[0], 1);
            PutLe16(&extradata[2], static_cast<uint32_t>(info_.sampleRate));
            PutLe16(&extradata[4], static_cast<uint32_t>(info_.sampleRate) >> 16);
            PutLe16(&extradata[6], info_.jointStereo ? 1 : 0);
            PutLe16(&extradata[8], info_.jointStereo ? 1 : 0);
            PutLe16(&extradata[10], 1);
            context->extradata = extradata;  // the context frees it
            context->extradata_size = kSize;
        }
        if (avcodec_open2(context.get(), codec, nullptr) < 0) {
            return false;
        }
        UniqueFrame frame(av_frame_alloc());
        UniquePacket packet(av_packet_alloc());
        if (!frame || !packet) {
            return false;
        }
        // libavcodec may read past a packet's end by the padding size.
        input_.assign(static_cast<size_t>(info_.frameSize) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        context_ = std::move(context);
        frame_ = std::move(frame);
        packet_ = std::move(packet);
        return true;
    }

    bool Decode(std::span<const uint8_t> frame, std::span<int16_t> out) override {
        std::fill(out.begin(), out.end(), int16_t{0});
        const size_t needed = static_cast<size_t>(info_.samplesPerFrame) * info_.channels;
        if (!context_ || frame.size() != static_cast<size_t>(info_.frameSize) || out.size() < needed) {
            return false;
        }
        std::copy(frame.begin(), frame.end(), input_.begin());
        packet_->data = input_.data();
        packet_->size = info_.frameSize;
        const int sent = avcodec_send_packet(context_.get(), packet_.get());
        av_packet_unref(packet_.get());
        if (sent < 0) {
            return false;
        }
        if (avcodec_receive_frame(context_.get(), frame_.get()) < 0) {
            return false;
        }
        const bool ok = Convert(*frame_, out);
        av_frame_unref(frame_.get());
        return ok;
    }

    bool Reset() override {
        // The decoders keep overlap and filter state that flushing leaves alone; a fresh
        // context is the only state a seek can reproduce.
        context_.reset();
        return Open();
    }

private:
    bool Convert(const AVFrame& frame, std::span<int16_t> out) const {
        const int channels = info_.channels;
        if (frame.ch_layout.nb_channels != channels) {
            return false;
        }
        const int count = std::min(frame.nb_samples, info_.samplesPerFrame);
        const auto format = static_cast<AVSampleFormat>(frame.format);
        for (int c = 0; c < channels; ++c) {
            for (int i = 0; i < count; ++i) {
                int16_t& to = out[static_cast<size_t>(i) * channels + c];
                switch (format) {
                    case AV_SAMPLE_FMT_FLTP:
                        to = FromFloat(reinterpret_cast<const float*>(frame.extended_data[c])[i]);
                        break;
                    case AV_SAMPLE_FMT_FLT:
                        to = FromFloat(reinterpret_cast<const float*>(frame.extended_data[0])[i * channels + c]);
                        break;
                    case AV_SAMPLE_FMT_S16P:
                        to = reinterpret_cast<const int16_t*>(frame.extended_data[c])[i];
                        break;
                    case AV_SAMPLE_FMT_S16:
                        to = reinterpret_cast<const int16_t*>(frame.extended_data[0])[i * channels + c];
                        break;
                    default:
                        return false;
                }
            }
        }
        return true;
    }

    OmaInfo info_;
    UniqueCodecContext context_;
    UniqueFrame frame_;
    UniquePacket packet_;
    std::vector<uint8_t> input_;
};

// 16-bit big-endian samples, already interleaved: only the byte order changes.
class LpcmDecoder final : public AtracDecoder {
public:
    explicit LpcmDecoder(const OmaInfo& info) : info_(info) {}

    bool Decode(std::span<const uint8_t> frame, std::span<int16_t> out) override {
        std::fill(out.begin(), out.end(), int16_t{0});
        const size_t count = static_cast<size_t>(info_.samplesPerFrame) * info_.channels;
        if (frame.size() != count * 2 || out.size() < count) {
            return false;
        }
        for (size_t i = 0; i < count; ++i) {
            out[i] = static_cast<int16_t>(static_cast<uint16_t>(frame[2 * i] << 8 | frame[2 * i + 1]));
        }
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
    if (info.codec != OmaCodec::Atrac3 && info.codec != OmaCodec::Atrac3Plus) {
        return nullptr;
    }
    auto decoder = std::make_unique<LibavDecoder>(info);
    if (!decoder->Open()) {
        return nullptr;
    }
    return decoder;
}
