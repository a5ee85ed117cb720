#include "av_input.h"

#include <cmath>
#include <cstdio>

#include "cli_common.h"

namespace orvexcli {

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

VideoInput::~VideoInput() {
    avcodec_free_context(&decoder_);
    avformat_close_input(&format_);
}

int VideoInput::Open(const std::string& path) {
    path_ = path;
    int r = avformat_open_input(&format_, path.c_str(), nullptr, nullptr);
    if (r >= 0) r = avformat_find_stream_info(format_, nullptr);
    if (r < 0) {
        std::fprintf(stderr, "orvex: cannot read %s: %s\n", path.c_str(), AvError(r).c_str());
        return kInput;
    }
    const int index = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) {
        std::fprintf(stderr, "orvex: %s has no video stream\n", path.c_str());
        return kInput;
    }
    stream_ = format_->streams[index];
    const AVCodec* codec = avcodec_find_decoder(stream_->codecpar->codec_id);
    if (!codec) {
        std::fprintf(stderr, "orvex: %s: no decoder for its video codec %s\n", path.c_str(),
                     avcodec_get_name(stream_->codecpar->codec_id));
        return kInput;
    }
    decoder_ = avcodec_alloc_context3(codec);
    if (!decoder_ || avcodec_parameters_to_context(decoder_, stream_->codecpar) < 0) return kRender;
    decoder_->pkt_timebase = stream_->time_base;
    // As many threads as FFmpeg's own command takes.
    decoder_->thread_count = 0;
    if ((r = avcodec_open2(decoder_, codec, nullptr)) < 0) {
        std::fprintf(stderr, "orvex: %s: cannot open the %s decoder: %s\n", path.c_str(), codec->name,
                     AvError(r).c_str());
        return kInput;
    }
    if (decoder_->width <= 0 || decoder_->height <= 0) {
        std::fprintf(stderr, "orvex: %s: the video stream has no picture size\n", path.c_str());
        return kInput;
    }
    const AVRational guessed = av_guess_frame_rate(format_, stream_, nullptr);
    if (guessed.num > 0 && guessed.den > 0 && av_q2d(guessed) <= 1000) rate_ = guessed;
    // Other streams are read only when someone asks for them; the video stream always.
    return kOk;
}

int64_t VideoInput::EstimatedFrames() const {
    if (stream_->nb_frames > 0) return stream_->nb_frames;
    double seconds = -1;
    if (stream_->duration != AV_NOPTS_VALUE) seconds = stream_->duration * av_q2d(stream_->time_base);
    else if (format_->duration != AV_NOPTS_VALUE) seconds = format_->duration / static_cast<double>(AV_TIME_BASE);
    return seconds > 0 ? std::llround(seconds * av_q2d(rate_)) : 0;
}

void VideoInput::ReportCorrupt(int code) {
    // Decoder threads report a packet's failure late; the oldest packet without a frame is the
    // one that failed.
    const long long frame = inFlight_.empty() ? decoded_ : inFlight_.front();
    if (!inFlight_.empty()) inFlight_.pop_front();
    std::fprintf(stderr, "orvex: %s: corrupt packet at frame %lld (%s); skipped\n", path_.c_str(), frame,
                 AvError(code).c_str());
}

VideoInput::Result VideoInput::Read(AVFrame* frame, AVPacket* packet) {
    for (;;) {
        int r = avcodec_receive_frame(decoder_, frame);
        if (r >= 0) {
            ++decoded_;
            if (!inFlight_.empty()) inFlight_.pop_front();
            return kFrame;
        }
        if (r == AVERROR_EOF) return kEnd;
        if (r != AVERROR(EAGAIN)) {
            ReportCorrupt(r);
            continue;
        }
        if (flushed_) return kEnd;
        r = av_read_frame(format_, packet);
        if (r == AVERROR_EOF) {
            flushed_ = true;
            avcodec_send_packet(decoder_, nullptr);
            continue;
        }
        if (r < 0) {
            std::fprintf(stderr, "orvex: cannot read %s after frame %lld: %s\n", path_.c_str(),
                         static_cast<long long>(decoded_), AvError(r).c_str());
            return kError;
        }
        if (packet->stream_index != stream_->index) return kPacket;
        // The frame a packet holds, from its time (decoder threads report errors late).
        const int64_t start = stream_->start_time != AV_NOPTS_VALUE ? stream_->start_time : 0;
        const int64_t at = packet->pts != AV_NOPTS_VALUE
                               ? av_rescale_q(packet->pts - start, stream_->time_base, av_inv_q(rate_))
                               : sent_;
        ++sent_;
        inFlight_.push_back(at);
        r = avcodec_send_packet(decoder_, packet);
        av_packet_unref(packet);
        if (r < 0 && r != AVERROR(EAGAIN)) ReportCorrupt(r);
    }
}

}  // namespace orvexcli
