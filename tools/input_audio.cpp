#include "input_audio.h"

#include <algorithm>
#include <cmath>

#include "av_input.h"

namespace orvexcli {

namespace {

int16_t FromFloat(double v) { return static_cast<int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767.0)); }

// Sample i of channel c, as 16 bits, from any of FFmpeg's plain sample formats.
int16_t SampleAt(const AVFrame& f, int i, int c, int channels) {
    const AVSampleFormat fmt = static_cast<AVSampleFormat>(f.format);
    const bool planar = av_sample_fmt_is_planar(fmt);
    const uint8_t* base = planar ? f.extended_data[c] : f.extended_data[0];
    const size_t k = planar ? static_cast<size_t>(i) : static_cast<size_t>(i) * channels + c;
    switch (av_get_packed_sample_fmt(fmt)) {
    case AV_SAMPLE_FMT_U8: return static_cast<int16_t>((base[k] - 128) << 8);
    case AV_SAMPLE_FMT_S16: return reinterpret_cast<const int16_t*>(base)[k];
    case AV_SAMPLE_FMT_S32: return static_cast<int16_t>(reinterpret_cast<const int32_t*>(base)[k] >> 16);
    case AV_SAMPLE_FMT_FLT: return FromFloat(reinterpret_cast<const float*>(base)[k]);
    case AV_SAMPLE_FMT_DBL: return FromFloat(reinterpret_cast<const double*>(base)[k]);
    case AV_SAMPLE_FMT_S64: return static_cast<int16_t>(reinterpret_cast<const int64_t*>(base)[k] >> 48);
    default: return 0;
    }
}

}  // namespace

InputAudio::~InputAudio() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&decoder_);
    avformat_close_input(&format_);
}

bool InputAudio::Open(const std::string& path, std::string* error) {
    int r = avformat_open_input(&format_, path.c_str(), nullptr, nullptr);
    if (r >= 0) r = avformat_find_stream_info(format_, nullptr);
    if (r < 0) {
        *error = AvError(r);
        return false;
    }
    stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream_ < 0) {
        *error = "it has no audio stream";
        return false;
    }
    const AVCodecParameters* par = format_->streams[stream_]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    decoder_ = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!decoder_ || avcodec_parameters_to_context(decoder_, par) < 0 || avcodec_open2(decoder_, codec, nullptr) < 0) {
        *error = std::string("no decoder for its audio codec ") + avcodec_get_name(par->codec_id);
        return false;
    }
    channels_ = decoder_->ch_layout.nb_channels;
    if (channels_ < 1 || channels_ > 64 || decoder_->sample_rate < 1) {
        *error = "its audio stream has no channels or sample rate";
        return false;
    }
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    return packet_ && frame_;
}

void InputAudio::Append(const AVFrame& f) {
    const size_t at = samples_.size();
    samples_.resize(at + static_cast<size_t>(f.nb_samples) * channels_);
    for (int i = 0; i < f.nb_samples; ++i)
        for (int c = 0; c < channels_; ++c)
            samples_[at + static_cast<size_t>(i) * channels_ + c] = SampleAt(f, i, c, channels_);
}

bool InputAudio::DecodeMore() {
    while (!ended_) {
        int r = avcodec_receive_frame(decoder_, frame_);
        if (r >= 0) {
            Append(*frame_);
            av_frame_unref(frame_);
            return true;
        }
        if (r == AVERROR_EOF) break;
        if (r != AVERROR(EAGAIN)) continue;
        r = av_read_frame(format_, packet_);
        if (r < 0) {
            avcodec_send_packet(decoder_, nullptr);
            // Drain what the decoder holds, then stop.
            while (avcodec_receive_frame(decoder_, frame_) >= 0) {
                Append(*frame_);
                av_frame_unref(frame_);
            }
            break;
        }
        if (packet_->stream_index == stream_) avcodec_send_packet(decoder_, packet_);
        av_packet_unref(packet_);
    }
    ended_ = true;
    return false;
}

std::shared_ptr<orvex::EffectAudioFrame> InputAudio::Frame(int64_t frame, int fps) {
    auto audio = std::make_shared<orvex::EffectAudioFrame>();
    audio->channels = channels_;
    audio->sampleCount = std::max(1, decoder_->sample_rate / std::max(1, fps));
    audio->samples.assign(static_cast<size_t>(audio->sampleCount) * channels_, 0);
    const int64_t start = std::max<int64_t>(0, frame) * audio->sampleCount;
    const int64_t end = start + audio->sampleCount;
    while (base_ + static_cast<int64_t>(samples_.size()) / channels_ < end && DecodeMore()) {
    }
    // Samples before this frame are not asked for again.
    const int64_t drop = std::clamp<int64_t>(start - base_, 0, static_cast<int64_t>(samples_.size()) / channels_);
    samples_.erase(samples_.begin(), samples_.begin() + drop * channels_);
    base_ += drop;
    const int64_t have = std::min<int64_t>(end, base_ + static_cast<int64_t>(samples_.size()) / channels_) - start;
    if (have > 0 && start >= base_)
        std::copy_n(samples_.begin(), have * channels_, audio->samples.begin());
    return audio;
}

}  // namespace orvexcli
