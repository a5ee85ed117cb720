// `orvex render`: one effect on a picture, or on every frame of a video with keyframed
// parameters (the video loop is in video_render.cpp).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "audio_input.h"
#include "commands.h"
#include "render_session.h"
#include "video_render.h"

namespace orvexcli {

namespace {

// Pictures are the files the image reader takes (by extension); everything else is a video for
// FFmpeg, so any container it reads (.m2ts, .3gp, .mxf, ...) renders.
bool IsVideoPath(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* p : {".png", ".jpg", ".jpeg", ".jpe", ".bmp", ".dib", ".tif", ".tiff", ".webp", ".exr", ".hdr",
                          ".pic", ".ppm", ".pgm", ".pbm", ".pnm", ".pam", ".pfm", ".pxm", ".jp2", ".sr", ".ras"})
        if (ext == p) return false;
    return true;
}

}  // namespace

const char* const kRenderUsage =
    "usage: orvex render --effect NAME [--param NAME=VALUE[@FRAME]]... [--device cpu|opencl|opengl]\n"
    "                    [--frame N] [--fps N] [--audio FILE.wav | --audio-from-input]\n"
    "                    [--codec NAME] [--crf Q | --bitrate RATE] [--pix-fmt FORMAT]\n"
    "                    [--frames A:B] [--no-audio] [--resources DIR] IN OUT\n"
    "\n"
    "Renders one effect on a picture (PNG, JPEG, ...) or on every frame of a video. NAME=VALUE@FRAME\n"
    "sets a keyframe; numbers are interpolated linearly between keyframes. Video frames are numbered\n"
    "from 0 and the number is the effect's frame position (--frame N for a picture).\n"
    "\n"
    "Video: any file FFmpeg reads; the output's container follows its extension (.mp4, .mov, .mkv,\n"
    ".webm, .avi). Decoded frames go through the library's own YUV <-> BGRA conversions on the\n"
    "render's device; the source's colour tags, frame rate, time base and rotation are kept.\n"
    "  --codec NAME      video encoder (ffmpeg -encoders); default libx264 for mp4, mov and mkv,\n"
    "                    libvpx-vp9 for webm, else the container's own\n"
    "  --crf Q           constant quality (x264, x265, VP9: lower is better); --bitrate RATE in\n"
    "                    bits per second (2M, 800k); neither: the codec's default quality\n"
    "  --pix-fmt FORMAT  output sampling (yuv420p, yuv420p10le, yuv422p, ...); default 4:2:0, with the\n"
    "                    source's 10 bits kept where the codec takes them\n"
    "  --frames A:B      only frames A to B-1 (counted from the source's start), in a file of their\n"
    "                    own that starts at time 0; scripts/render-chunks joins such pieces\n"
    "  --no-audio        drop the other streams (audio, subtitles, data), which are otherwise copied\n"
    "                    unchanged\n"
    "  --audio FILE.wav  the samples of each frame of a sound file, for the audio effects\n"
    "                    (at the video's rate, or --fps; 25 by default for a picture)\n"
    "  --audio-from-input  the same from the video's own sound\n"
    "  -v, --verbose     name the device a picture renders on (a video always does)\n"
    "  --device          OpenCL on a GPU or accelerator, else the CPU; opencl takes any OpenCL\n"
    "                    device (PoCL too); shader effects need OpenGL\n"
    "A progress line shows frames, fps, ETA and the device; Ctrl-C stops and leaves a playable file.\n"
    "exit codes: 0 ok, 1 usage, 2 bad input or unwritable output, 3 render failure\n";

namespace {

bool ParseRange(const std::string& text, int64_t* first, int64_t* end) {
    char* rest = nullptr;
    const long long a = std::strtoll(text.c_str(), &rest, 10);
    if (rest == text.c_str() || *rest != ':') return false;
    const char* b = rest + 1;
    const long long e = std::strtoll(b, &rest, 10);
    if (rest == b || *rest || a < 0 || e <= a) return false;
    *first = a;
    *end = e;
    return true;
}

// 2000000, 2M, 800k.
bool ParseRate(const std::string& text, int64_t* rate) {
    char* rest = nullptr;
    const double v = std::strtod(text.c_str(), &rest);
    double scale = 1;
    if (*rest == 'k' || *rest == 'K') scale = 1e3, ++rest;
    else if (*rest == 'M' || *rest == 'm') scale = 1e6, ++rest;
    if (rest == text.c_str() || *rest || !(v > 0) || v * scale > 1e10) return false;
    *rate = std::llround(v * scale);
    return true;
}

}  // namespace

int RenderCommand(int argc, char** argv) {
    auto usage = [](const std::string& message) {
        std::fprintf(stderr, "orvex render: %s\n\n%s", message.c_str(), kRenderUsage);
        return kUsage;
    };
    std::string effectName, device = "best", resources;
    std::vector<ParamTrack> tracks;
    std::vector<std::string> files;
    int64_t frame = 0;
    VideoJob job;
    bool audioGiven = false, verbose = false;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        const bool takesValue = a == "--effect" || a == "--param" || a == "--device" || a == "--frame" ||
                                a == "--fps" || a == "--audio" || a == "--resources" || a == "--codec" ||
                                a == "--crf" || a == "--bitrate" || a == "--pix-fmt" || a == "--frames";
        if (takesValue && !v) return usage(a + " needs a value");
        char* end = nullptr;
        if (a == "--help" || a == "-h") {
            std::fputs(kRenderUsage, stdout);
            return kOk;
        } else if (a == "--effect") {
            effectName = v;
        } else if (a == "--param") {
            std::string error;
            if (!AddParamText(v, &tracks, &error)) return usage(error);
        } else if (a == "--device") {
            device = v;
        } else if (a == "--frame") {
            frame = std::strtoll(v, &end, 10);
            if (*end || !*v) return usage("--frame wants an integer");
        } else if (a == "--fps") {
            job.fps = static_cast<int>(std::strtol(v, &end, 10));
            if (*end || !*v || job.fps < 1 || job.fps > 1000) return usage("--fps wants an integer from 1 to 1000");
        } else if (a == "--audio") {
            job.audioFile = v;
            audioGiven = true;
        } else if (a == "-v" || a == "--verbose") {
            verbose = true;
        } else if (a == "--audio-from-input") {
            job.audioFromInput = true;
        } else if (a == "--no-audio") {
            job.encode.copyStreams = false;
        } else if (a == "--resources") {
            resources = v;
        } else if (a == "--codec") {
            job.encode.codec = v;
        } else if (a == "--crf") {
            job.encode.crf = std::strtod(v, &end);
            if (*end || !*v || !(job.encode.crf >= 0 && job.encode.crf <= 63))
                return usage("--crf wants a number from 0 to 63");
        } else if (a == "--bitrate") {
            if (!ParseRate(v, &job.encode.bitrate)) return usage("--bitrate wants bits per second: 2000000, 2M or 800k");
        } else if (a == "--pix-fmt") {
            job.encode.pixFmt = v;
        } else if (a == "--frames") {
            if (!ParseRange(v, &job.first, &job.end)) return usage("--frames wants A:B with 0 <= A < B");
        } else if (a.rfind("--", 0) == 0) {
            return usage("unknown option: " + a);
        } else {
            files.push_back(a);
            continue;
        }
        if (takesValue) ++i;
    }
    if (effectName.empty()) return usage("render needs --effect NAME");
    if (files.size() != 2) return usage("render needs an input and an output file");
    if (audioGiven && job.audioFromInput) return usage("--audio and --audio-from-input exclude each other");
    const bool video = IsVideoPath(files[0]);
    if (video != IsVideoPath(files[1]))
        return usage(video ? "a video renders into a video file (.mp4, .mkv, .mov, .webm, .avi)"
                           : "a picture renders into a picture file");
    if (!video && (job.audioFromInput || job.end >= 0))
        return usage("--audio-from-input and --frames are for videos");

    cv::Mat input;
    if (!video && !ReadBGRA(files[0], &input)) {
        std::fprintf(stderr, "orvex: cannot read a picture from %s\n", files[0].c_str());
        return kInput;
    }
    if (video && !std::filesystem::exists(files[0])) {
        std::fprintf(stderr, "orvex: cannot read a video from %s: no such file\n", files[0].c_str());
        return kInput;
    }

    std::error_code ec;
    if (std::filesystem::equivalent(files[0], files[1], ec))
        return usage("the output would overwrite the input " + files[0]);

    RenderSession session;
    if (int rc = session.Open(effectName, device, resources); rc != kOk) return rc;
    if (int rc = session.SetTracks(std::move(tracks)); rc != kOk) return rc;
    if (video) {
        job.input = files[0];
        job.output = files[1];
        return RenderVideo(session, job);
    }

    // A video names its device on its start line; a picture does when asked.
    if (verbose) std::fprintf(stderr, "orvex: rendering %s on %s\n", effectName.c_str(), session.deviceName().c_str());
    const int fps = job.fps;
    const std::string& audioFile = job.audioFile;
    std::shared_ptr<orvex::EffectAudioFrame> audio;
    if (fps || !audioFile.empty()) session.SetFrameRate(fps ? fps : 25, 1);
    if (!audioFile.empty()) {
        std::string error;
        audio = ReadAudioFrame(audioFile, frame, fps ? fps : 25, &error);
        if (!audio) {
            std::fprintf(stderr, "orvex: cannot read audio from %s: %s\n", audioFile.c_str(), error.c_str());
            return kInput;
        }
    }
    cv::Mat output;
    if (int rc = session.Render(input, output, frame, audio); rc != kOk) return rc;
    if (!WritePicture(files[1], output)) {
        std::fprintf(stderr, "orvex: cannot write %s\n", files[1].c_str());
        return kInput;
    }
    return kOk;
}

}  // namespace orvexcli
