#include "av_output.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "cli_common.h"

namespace orvexcli {

namespace {

std::string Extension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

const AVCodec* DefaultEncoder(const std::string& ext, const AVOutputFormat* of) {
    const char* name = nullptr;
    if (ext == ".mp4" || ext == ".m4v" || ext == ".mov" || ext == ".mkv") name = "libx264";
    else if (ext == ".webm") name = "libvpx-vp9";
    if (name)
        if (const AVCodec* c = avcodec_find_encoder_by_name(name)) return c;
    return avcodec_find_encoder(of->video_codec);
}

bool Takes(const AVCodec* codec, AVPixelFormat f) {
    if (!codec->pix_fmts) return true;
    for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
        if (*p == f) return true;
    return false;
}

std::string FormatList(const AVCodec* codec) {
    std::string list;
    for (const AVPixelFormat* p = codec->pix_fmts; p && *p != AV_PIX_FMT_NONE; ++p)
        list += (list.empty() ? "" : " ") + std::string(av_get_pix_fmt_name(*p));
    return list;
}

}  // namespace

VideoOutput::~VideoOutput() {
    Discard();
    av_packet_free(&packet_);
    avcodec_free_context(&encoder_);
}

void VideoOutput::Discard() {
    if (!format_) return;
    const bool remove = created_ && !finished_;
    if (!(format_->oformat->flags & AVFMT_NOFILE)) avio_closep(&format_->pb);
    avformat_free_context(format_);
    format_ = nullptr;
    if (remove) {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
}

int VideoOutput::CopiedStream(int inputIndex) const {
    return inputIndex >= 0 && inputIndex < static_cast<int>(copied_.size()) ? copied_[inputIndex] : -1;
}

bool VideoOutput::OpenEncoder(const AVCodec* codec, const VideoInput& input, const EncodeOptions& options,
                              AVPixelFormat format, const StreamColour& colour, AVRational timeBase) {
    avcodec_free_context(&encoder_);
    encoder_ = avcodec_alloc_context3(codec);
    if (!encoder_) return false;
    const AVCodecContext* dec = input.decoder();
    encoder_->width = dec->width;
    encoder_->height = dec->height;
    encoder_->pix_fmt = format;
    encoder_->sample_aspect_ratio = dec->sample_aspect_ratio;
    encoder_->time_base = timeBase;
    encoder_->framerate = input.frameRate();
    encoder_->colorspace = colour.matrix;
    encoder_->color_range = colour.range;
    encoder_->color_primaries = colour.primaries;
    encoder_->color_trc = colour.transfer;
    encoder_->chroma_sample_location = dec->chroma_sample_location;
    encoder_->thread_count = 0;
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (options.bitrate > 0) encoder_->bit_rate = options.bitrate;
    if (options.crf >= 0) {
        if (av_opt_set_double(encoder_->priv_data, "crf", options.crf, 0) < 0) return false;
        // Without a bitrate the VP9 encoder's crf is constant quality.
        if (options.bitrate <= 0) encoder_->bit_rate = 0;
    }
    const int r = avcodec_open2(encoder_, codec, nullptr);
    if (r < 0) return false;
    return true;
}

int VideoOutput::Open(const std::string& path, const VideoInput& input, const EncodeOptions& options,
                      const StreamColour& colour) {
    path_ = path;
    const std::string ext = Extension(path);
    const AVOutputFormat* of = av_guess_format(nullptr, path.c_str(), nullptr);
    if (!of) {
        std::fprintf(stderr, "orvex: %s: no container for the extension '%s' (use .mp4, .mov, .mkv, .webm or .avi)\n",
                     path.c_str(), ext.c_str());
        return kInput;
    }
    const AVCodec* codec = options.codec.empty() ? DefaultEncoder(ext, of)
                                                 : avcodec_find_encoder_by_name(options.codec.c_str());
    if (!codec || codec->type != AVMEDIA_TYPE_VIDEO) {
        std::fprintf(stderr, "orvex: %s: video codec %s is not available (ffmpeg -encoders lists them)\n",
                     path.c_str(), options.codec.empty() ? "for this container" : options.codec.c_str());
        return kInput;
    }
    const void* encoderClass = &codec->priv_class;
    if (options.crf >= 0 &&
        !av_opt_find2(const_cast<void*>(encoderClass), "crf", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ, nullptr)) {
        std::fprintf(stderr, "orvex: the %s encoder has no --crf; use --bitrate\n", codec->name);
        return kUsage;
    }
    if (avformat_query_codec(of, codec->id, FF_COMPLIANCE_NORMAL) == 0) {
        std::fprintf(stderr, "orvex: %s: a %s file cannot hold %s video\n", path.c_str(), ext.c_str(), codec->name);
        return kInput;
    }
    // The sampling: as asked, else 4:2:0 at the source's depth where the codec can, else 8-bit.
    const AVPixFmtDescriptor* src = av_pix_fmt_desc_get(input.decoder()->pix_fmt);
    const bool deep = src && src->comp[0].depth > 8;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    if (!options.pixFmt.empty()) {
        format = av_get_pix_fmt(options.pixFmt.c_str());
        if (format == AV_PIX_FMT_NONE) {
            std::fprintf(stderr, "orvex: unknown --pix-fmt %s (ffmpeg -pix_fmts lists them)\n", options.pixFmt.c_str());
            return kUsage;
        }
        if (!Takes(codec, format)) {
            std::fprintf(stderr, "orvex: the %s encoder cannot take %s (it takes: %s)\n", codec->name,
                         options.pixFmt.c_str(), FormatList(codec).c_str());
            return kInput;
        }
    } else if (deep && Takes(codec, AV_PIX_FMT_YUV420P10LE)) {
        format = AV_PIX_FMT_YUV420P10LE;
    } else if (Takes(codec, AV_PIX_FMT_YUV420P)) {
        format = AV_PIX_FMT_YUV420P;
    } else {
        format = avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, AV_PIX_FMT_YUV420P, 0, nullptr);
    }

    if (avformat_alloc_output_context2(&format_, of, nullptr, path.c_str()) < 0 || !format_) return kRender;
    // The source's time base where the encoder takes it (MPEG-4 part 2 wants at most 65535 ticks
    // a second), else one tick a frame.
    AVRational tb = input.stream()->time_base;
    const int logLevel = av_log_get_level();
    av_log_set_level(AV_LOG_FATAL);  // the first try's complaint is not the user's concern
    const bool sourceTimeBase = OpenEncoder(codec, input, options, format, colour, tb);
    av_log_set_level(logLevel);
    if (!sourceTimeBase) {
        tb = av_inv_q(input.frameRate());
        if (!OpenEncoder(codec, input, options, format, colour, tb)) {
            std::fprintf(stderr, "orvex: cannot open the %s encoder for %dx%d %s\n", codec->name,
                         input.decoder()->width, input.decoder()->height, av_get_pix_fmt_name(format));
            Discard();
            return kInput;
        }
    }
    frameTb_ = input.stream()->time_base;
    int rc = WriteHeader(input, options.copyStreams);
    if (rc == kRetryWithoutCopies) {
        // A stream the container takes only as an experimental feature (FLAC in MP4): the video
        // goes without the copied streams rather than not at all.
        std::fprintf(stderr, "orvex: %s cannot hold the source's other streams as they are; left out "
                             "(a .mkv keeps them)\n", path.c_str());
        Discard();
        if (avformat_alloc_output_context2(&format_, of, nullptr, path.c_str()) < 0 || !format_) return kRender;
        rc = WriteHeader(input, false);
    }
    if (rc != kOk) return rc == kRetryWithoutCopies ? kInput : rc;
    packet_ = av_packet_alloc();
    return packet_ ? kOk : kRender;
}

int VideoOutput::WriteHeader(const VideoInput& input, bool copy) {
    const AVOutputFormat* of = format_->oformat;
    const std::string ext = Extension(path_);
    const std::string& path = path_;
    stream_ = avformat_new_stream(format_, nullptr);
    if (!stream_ || avcodec_parameters_from_context(stream_->codecpar, encoder_) < 0) return kRender;
    stream_->time_base = encoder_->time_base;
    stream_->avg_frame_rate = stream_->r_frame_rate = input.frameRate();
    stream_->sample_aspect_ratio = encoder_->sample_aspect_ratio;
    const AVStream* in = input.stream();
    // Rotation and the other stream-wide side data (mastering display, light level) go along.
    for (int i = 0; i < in->nb_side_data; ++i) {
        const AVPacketSideData& sd = in->side_data[i];
        if (uint8_t* d = av_stream_new_side_data(stream_, sd.type, sd.size)) std::memcpy(d, sd.data, sd.size);
    }
    av_dict_copy(&format_->metadata, input.format()->metadata, 0);
    av_dict_set(&format_->metadata, "encoder", nullptr, 0);
    if (const AVDictionaryEntry* lang = av_dict_get(in->metadata, "language", nullptr, 0))
        av_dict_set(&stream_->metadata, "language", lang->value, 0);

    AVFormatContext* ic = input.format();
    copied_.assign(ic->nb_streams, -1);
    copiedTb_.assign(ic->nb_streams, AVRational{1, 1});
    for (unsigned i = 0; copy && i < ic->nb_streams; ++i) {
        const AVStream* s = ic->streams[i];
        const AVMediaType type = s->codecpar->codec_type;
        if (s == in || (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_SUBTITLE && type != AVMEDIA_TYPE_DATA))
            continue;
        // 0: the container cannot hold it; below 0: it does not say (the header tells).
        if (avformat_query_codec(of, s->codecpar->codec_id, FF_COMPLIANCE_NORMAL) == 0) {
            std::fprintf(stderr, "orvex: %s stream %u (%s) cannot go into a %s file; left out\n",
                         av_get_media_type_string(type), i, avcodec_get_name(s->codecpar->codec_id), ext.c_str());
            continue;
        }
        AVStream* o = avformat_new_stream(format_, nullptr);
        if (!o || avcodec_parameters_copy(o->codecpar, s->codecpar) < 0) return kRender;
        o->codecpar->codec_tag = 0;
        o->time_base = s->time_base;
        o->disposition = s->disposition;
        av_dict_copy(&o->metadata, s->metadata, 0);
        copied_[i] = o->index;
        copiedTb_[i] = s->time_base;
    }
    int r = 0;
    if (!(of->flags & AVFMT_NOFILE) && (r = avio_open(&format_->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0) {
        std::fprintf(stderr, "orvex: cannot write %s: %s\n", path.c_str(), AvError(r).c_str());
        avformat_free_context(format_);
        format_ = nullptr;
        return kInput;
    }
    created_ = !(of->flags & AVFMT_NOFILE);
    if ((r = avformat_write_header(format_, nullptr)) < 0) {
        bool copies = false;
        for (int c : copied_) copies = copies || c >= 0;
        if (copies) return kRetryWithoutCopies;
        std::fprintf(stderr, "orvex: cannot write %s: %s\n", path.c_str(), AvError(r).c_str());
        Discard();
        return kInput;
    }
    return kOk;
}

bool VideoOutput::WriteFailed(int code) {
    if (!failed_) std::fprintf(stderr, "orvex: cannot write %s: %s\n", path_.c_str(), AvError(code).c_str());
    failed_ = true;
    return false;
}

bool VideoOutput::Drain() {
    for (;;) {
        int r = avcodec_receive_packet(encoder_, packet_);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
        if (r < 0) {
            std::fprintf(stderr, "orvex: the %s encoder failed: %s\n", encoder_->codec->name, AvError(r).c_str());
            failed_ = true;
            return false;
        }
        packet_->stream_index = stream_->index;
        av_packet_rescale_ts(packet_, encoder_->time_base, stream_->time_base);
        r = av_interleaved_write_frame(format_, packet_);
        if (r < 0) return WriteFailed(r);
        if (format_->pb && format_->pb->error < 0) return WriteFailed(format_->pb->error);
    }
}

bool VideoOutput::Encode(AVFrame* frame) {
    if (failed_) return false;
    if (frame) frame->pts = av_rescale_q(frame->pts, frameTb_, encoder_->time_base);
    const int r = avcodec_send_frame(encoder_, frame);
    if (r < 0 && r != AVERROR_EOF) {
        std::fprintf(stderr, "orvex: the %s encoder refused a frame: %s\n", encoder_->codec->name, AvError(r).c_str());
        failed_ = true;
        return false;
    }
    if (frame) ++written_;
    return Drain();
}

bool VideoOutput::Copy(AVPacket* packet, int64_t offset) {
    if (failed_) return false;
    const int in = packet->stream_index;
    const int out = CopiedStream(in);
    if (out < 0) return true;
    const AVRational tb = copiedTb_[in];
    const int64_t shift = av_rescale_q(offset, AV_TIME_BASE_Q, tb);
    if (packet->pts != AV_NOPTS_VALUE) packet->pts -= shift;
    if (packet->dts != AV_NOPTS_VALUE) packet->dts -= shift;
    av_packet_rescale_ts(packet, tb, format_->streams[out]->time_base);
    packet->stream_index = out;
    packet->pos = -1;
    const int r = av_interleaved_write_frame(format_, packet);
    return r < 0 ? WriteFailed(r) : true;
}

bool VideoOutput::Finish() {
    if (!format_) return false;
    if (!written_) {
        Discard();
        return false;
    }
    bool ok = !failed_;
    // The encoder's delayed frames, then the container's index: a stopped render stays playable.
    if (!failed_) ok = Encode(nullptr);
    const int t = av_write_trailer(format_);
    if (t < 0) ok = WriteFailed(t);
    if (!(format_->oformat->flags & AVFMT_NOFILE)) {
        if (format_->pb && format_->pb->error < 0) ok = WriteFailed(format_->pb->error);
        if (const int c = avio_closep(&format_->pb); c < 0) ok = WriteFailed(c);
    }
    finished_ = true;
    avformat_free_context(format_);
    format_ = nullptr;
    return ok;
}

}  // namespace orvexcli
