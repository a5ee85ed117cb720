#include "video_render.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include <unistd.h>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "audio_input.h"
#include "av_frames.h"
#include "av_input.h"
#include "bounded_queue.h"
#include "frame_path.h"
#include "input_audio.h"

namespace orvexcli {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) {
    g_interrupted = 1;
    // A second Ctrl-C ends the program at once.
    std::signal(SIGINT, SIG_DFL);
}

std::string Clock(double seconds) {
    if (!(seconds >= 0) || seconds > 359999) return "--:--";
    const long s = static_cast<long>(seconds + 0.5);
    char buf[32];
    if (s >= 3600) std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    return buf;
}

// A one-line progress bar on stderr (frames, fps, ETA, device), redrawn at most ten times a
// second; silent when stderr is not a terminal (logs and pipes get no carriage returns).
class Progress {
public:
    Progress(int64_t total, std::string device)
        : total_(total), device_(std::move(device)), enabled_(isatty(STDERR_FILENO) != 0) {}
    void Update(int64_t done, bool force = false) {
        if (!enabled_) return;
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        const double fps = elapsed > 0 ? done / elapsed : 0;
        char line[200];
        if (total_ > 0) {
            const int width = 30;
            const int filled = static_cast<int>(width * std::min<int64_t>(done, total_) / total_);
            std::string bar(static_cast<size_t>(filled), '#');
            bar.append(static_cast<size_t>(width - filled), '.');
            const double eta = fps > 0 ? std::max<int64_t>(0, total_ - done) / fps : -1;
            std::snprintf(line, sizeof line, "\r[%s] %lld/%lld frames  %.1f fps  ETA %s  %s ", bar.c_str(),
                          static_cast<long long>(done), static_cast<long long>(total_), fps, Clock(eta).c_str(),
                          device_.c_str());
        } else {
            std::snprintf(line, sizeof line, "\r%lld frames  %.1f fps  %s  %s ", static_cast<long long>(done), fps,
                          Clock(elapsed).c_str(), device_.c_str());
        }
        std::fputs(line, stderr);
        drawn_ = true;
    }
    void Finish(int64_t done) {
        if (!enabled_) return;
        Update(done, true);
        if (drawn_) std::fputc('\n', stderr);
    }

private:
    int64_t total_;
    std::string device_;
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_{};
};

struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

// What travels between the threads: a decoded (or rendered) frame with its position, or a
// packet of a copied stream, in file order.
struct Decoded {
    FramePtr frame;
    PacketPtr packet;
    int64_t index = -1;
};
struct Rendered {
    AVFrame* frame = nullptr;  // one of the pool's frames
    PacketPtr packet;
};

bool FullRangeFormat(AVPixelFormat f) {
    return f == AV_PIX_FMT_YUVJ420P || f == AV_PIX_FMT_YUVJ422P || f == AV_PIX_FMT_YUVJ444P ||
           f == AV_PIX_FMT_YUVJ440P || f == AV_PIX_FMT_YUVJ411P;
}

int Depth(AVPixelFormat f) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(f);
    return d ? d->comp[0].depth : 8;
}

// Signals restored when the render ends.
struct Signals {
    void (*interrupt)(int) = std::signal(SIGINT, OnInterrupt);
    // A file size limit makes writes fail (reported) instead of killing the process.
    void (*fileSize)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ~Signals() {
        std::signal(SIGINT, interrupt == SIG_ERR ? SIG_DFL : interrupt);
        std::signal(SIGXFSZ, fileSize == SIG_ERR ? SIG_DFL : fileSize);
    }
};

constexpr size_t kQueueDepth = 4;
// Frames in flight between render and encode, plus one each side.
constexpr size_t kPoolFrames = kQueueDepth + 2;

}  // namespace

int RenderVideo(RenderSession& session, const VideoJob& job) {
    // FFmpeg's own errors (a corrupt packet, an encoder's complaint) and nothing chattier.
    av_log_set_level(AV_LOG_ERROR);
    VideoInput input;
    if (int rc = input.Open(job.input); rc != kOk) return rc;
    AVCodecContext* dec = input.decoder();
    const int w = dec->width, h = dec->height;
    const AVRational rate = input.frameRate(), tb = input.stream()->time_base;
    const int64_t estimated = input.EstimatedFrames();
    const bool exactCount = input.stream()->nb_frames > 0;
    if (estimated > 0 && (job.first >= estimated || (exactCount && job.end > estimated))) {
        std::fprintf(stderr, "orvex: --frames %lld:%lld is outside %s, which has %lld frames\n",
                     static_cast<long long>(job.first), static_cast<long long>(job.end), job.input.c_str(),
                     static_cast<long long>(estimated));
        return kInput;
    }

    const StreamColour colour = ResolveColour({dec->colorspace, dec->color_range, dec->color_primaries, dec->color_trc},
                                              h, FullRangeFormat(dec->pix_fmt));
    std::unique_ptr<InputAudio> inputAudio;
    if (job.audioFromInput) {
        std::string error;
        inputAudio = std::make_unique<InputAudio>();
        if (!inputAudio->Open(job.input, &error)) {
            std::fprintf(stderr, "orvex: --audio-from-input: %s: %s\n", job.input.c_str(), error.c_str());
            return kInput;
        }
    }
    std::unique_ptr<SoundFile> sound;
    if (!job.audioFile.empty()) {
        std::string error;
        sound = std::make_unique<SoundFile>();
        if (!sound->Open(job.audioFile, &error)) {
            std::fprintf(stderr, "orvex: cannot read audio from %s: %s\n", job.audioFile.c_str(), error.c_str());
            return kInput;
        }
    }
    VideoOutput output;
    if (int rc = output.Open(job.output, input, job.encode, colour); rc != kOk) return rc;
    AVCodecContext* enc = output.encoder();

    ColorSpace::pl_color_repr inRepr, outRepr;
    ColorSpace::pl_color_space inSpace, outSpace;
    LibraryColour(colour, Depth(dec->pix_fmt), &inRepr, &inSpace);
    LibraryColour(colour, Depth(enc->pix_fmt), &outRepr, &outSpace);
    FramePath path;
    FrameIn frameIn;
    FrameOut frameOut;
    std::string error;
    if (!path.Open(session, w, h, inRepr, inSpace, outRepr, outSpace, &error) ||
        !frameIn.Open(dec->pix_fmt, w, h, path.gpu(), colour, &error) ||
        !frameOut.Open(enc->pix_fmt, w, h, path.gpu(), colour, &error)) {
        std::fprintf(stderr, "orvex: %s\n", error.c_str());
        return kRender;
    }
    // The encoder's frames, made once and cycled.
    std::vector<FramePtr> frames;
    BoundedQueue<AVFrame*> pool(kPoolFrames);
    for (size_t i = 0; i < kPoolFrames; ++i) {
        frames.emplace_back(av_frame_alloc());
        AVFrame* f = frames.back().get();
        if (!f) return kRender;
        f->format = enc->pix_fmt;
        f->width = w;
        f->height = h;
        if (av_frame_get_buffer(f, 0) < 0) return kRender;
        pool.Push(f);
    }

    // Effects that animate with time see the clip's rate, or the one given.
    const int effectFps = job.fps ? job.fps : std::max(1, static_cast<int>(std::lround(av_q2d(rate))));
    if (job.fps) session.SetFrameRate(job.fps, 1);
    else session.SetFrameRate(rate.num, rate.den);
    // A range starts its own file at time 0; a whole render keeps the source's timestamps.
    const bool ranged = job.first > 0 || job.end >= 0;
    const int64_t start = input.stream()->start_time != AV_NOPTS_VALUE ? input.stream()->start_time : 0;
    const int64_t offsetPts = ranged ? start + av_rescale_q(job.first, av_inv_q(rate), tb) : 0;
    const int64_t offsetUs = av_rescale_q(offsetPts, tb, AV_TIME_BASE_Q);
    const int64_t endUs = job.end >= 0 ? offsetUs + av_rescale_q(job.end - job.first, av_inv_q(rate), AV_TIME_BASE_Q)
                                       : INT64_MAX;

    const int64_t total = job.end >= 0 ? job.end - job.first : std::max<int64_t>(0, estimated - job.first);
    std::fprintf(stderr, "orvex: %s -> %s: %dx%d %s -> %s %s, on %s\n", job.input.c_str(), job.output.c_str(), w, h,
                 av_get_pix_fmt_name(dec->pix_fmt), enc->codec->name, av_get_pix_fmt_name(enc->pix_fmt),
                 session.deviceName().c_str());

    g_interrupted = 0;
    Signals signals;
    BoundedQueue<Decoded> decoded(kQueueDepth);
    BoundedQueue<Rendered> rendered(kQueueDepth);
    bool readFailed = false;
    int renderRc = kOk;

    std::thread decodeThread([&] {
        PacketPtr packet(av_packet_alloc());
        FramePtr frame;
        while (packet && !g_interrupted) {
            if (!frame) frame.reset(av_frame_alloc());
            const VideoInput::Result r = input.Read(frame.get(), packet.get());
            if (r == VideoInput::kEnd) break;
            if (r == VideoInput::kError) {
                readFailed = true;
                break;
            }
            if (r == VideoInput::kPacket) {
                const AVStream* s = input.format()->streams[packet->stream_index];
                const int64_t t = packet->pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE
                                                                : av_rescale_q(packet->pts, s->time_base, AV_TIME_BASE_Q);
                const bool inside = t == AV_NOPTS_VALUE || !ranged || (t >= offsetUs && t < endUs);
                if (output.CopiedStream(packet->stream_index) < 0 || !inside) {
                    av_packet_unref(packet.get());
                    continue;
                }
                PacketPtr copy(av_packet_alloc());
                av_packet_move_ref(copy.get(), packet.get());
                if (!decoded.Push({nullptr, std::move(copy), -1})) break;
                continue;
            }
            const int64_t index = input.framesDecoded() - 1;
            if (job.end >= 0 && index >= job.end) break;
            if (index < job.first) {
                av_frame_unref(frame.get());
                continue;
            }
            if (!decoded.Push({std::move(frame), nullptr, index})) break;
        }
        decoded.Close();
    });

    std::thread renderThread([&] {
        Decoded item;
        while (decoded.Pop(&item)) {
            if (item.packet) {
                if (!rendered.Push({nullptr, std::move(item.packet)})) break;
                continue;
            }
            const AVFrame& src = *item.frame;
            if (src.width != w || src.height != h || src.format != dec->pix_fmt) {
                std::fprintf(stderr, "orvex: %s: frame %lld changes size or pixel format; stopping\n",
                             job.input.c_str(), static_cast<long long>(item.index));
                renderRc = kInput;
                break;
            }
            AVFrame* out = nullptr;
            if (!pool.Pop(&out)) break;
            if (av_frame_make_writable(out) < 0) {
                renderRc = kRender;
                break;
            }
            std::shared_ptr<orvex::EffectAudioFrame> audio;
            if (inputAudio) audio = inputAudio->Frame(item.index, effectFps);
            else if (sound) audio = sound->Frame(item.index, effectFps);
            renderRc = path.Render(frameIn.Take(src), frameOut.Target(*out), item.index, audio);
            if (renderRc != kOk) break;
            frameOut.Finish(*out);
            const int64_t pts = src.best_effort_timestamp != AV_NOPTS_VALUE
                                    ? src.best_effort_timestamp
                                    : start + av_rescale_q(item.index, av_inv_q(rate), tb);
            out->pts = pts - offsetPts;
            item.frame.reset();
            if (!rendered.Push({out, nullptr})) break;
        }
        // Whatever stopped this thread stops the reading too.
        decoded.Close();
        rendered.Close();
    });

    Progress progress(total, session.deviceName());
    int64_t done = 0;
    bool writeFailed = false;
    Rendered item;
    while (rendered.Pop(&item)) {
        if (item.packet) {
            if (!output.Copy(item.packet.get(), offsetUs)) {
                writeFailed = true;
                break;
            }
            continue;
        }
        const bool ok = output.Encode(item.frame);
        pool.Push(item.frame);
        if (!ok) {
            writeFailed = true;
            break;
        }
        progress.Update(++done);
    }
    rendered.Close();
    pool.Close();
    decoded.Close();
    renderThread.join();
    decodeThread.join();
    progress.Finish(done);

    const bool interrupted = g_interrupted != 0;
    // The encoder's last frames and the container's index: what was rendered stays playable.
    const bool finished = output.Finish();
    if (done == 0) {
        if (renderRc != kOk || writeFailed || readFailed) return renderRc != kOk ? renderRc : kInput;
        if (interrupted) {
            std::fprintf(stderr, "orvex: interrupted before the first frame; %s was not written\n", job.output.c_str());
            return kOk;
        }
        if (job.first > 0)
            std::fprintf(stderr, "orvex: --frames %lld:%lld is outside %s, which has %lld frames\n",
                         static_cast<long long>(job.first), static_cast<long long>(job.end), job.input.c_str(),
                         static_cast<long long>(input.framesDecoded()));
        else std::fprintf(stderr, "orvex: %s has no video frames\n", job.input.c_str());
        return kInput;
    }
    if (renderRc != kOk) return renderRc;
    if (writeFailed || !finished) return kInput;
    if (interrupted) {
        std::fprintf(stderr, "orvex: interrupted; %s holds the first %lld frames\n", job.output.c_str(),
                     static_cast<long long>(done));
        return kOk;
    }
    if (readFailed) return kInput;
    if (job.end >= 0 && job.first + done < job.end) {
        std::fprintf(stderr, "orvex: --frames %lld:%lld is outside %s, which has %lld frames; %s holds %lld\n",
                     static_cast<long long>(job.first), static_cast<long long>(job.end), job.input.c_str(),
                     static_cast<long long>(input.framesDecoded()), job.output.c_str(), static_cast<long long>(done));
        return kInput;
    }
    return kOk;
}

}  // namespace orvexcli
