// `orvex render`: one effect on a picture, or on every frame of a video with keyframed
// parameters, a progress line and a clean stop on Ctrl-C.
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "audio_input.h"
#include "commands.h"
#include "render_session.h"

namespace orvexcli {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) {
    g_interrupted = 1;
    // A second Ctrl-C ends the program at once.
    std::signal(SIGINT, SIG_DFL);
}

bool IsVideoPath(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* v : {".mp4", ".m4v", ".mov", ".mkv", ".webm", ".avi", ".mpg", ".mpeg", ".ts", ".mts", ".flv",
                          ".wmv", ".ogv", ".y4m", ".nut", ".mxf", ".gif"})
        if (ext == v) return true;
    return false;
}

std::string Clock(double seconds) {
    if (!(seconds >= 0) || seconds > 359999) return "--:--";
    const long s = static_cast<long>(seconds + 0.5);
    char buf[32];
    if (s >= 3600) std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    return buf;
}

// A one-line progress bar on stderr, redrawn at most ten times a second; silent when stderr is
// not a terminal (logs and pipes get no carriage returns).
class Progress {
public:
    explicit Progress(int64_t total) : total_(total), enabled_(isatty(STDERR_FILENO) != 0) {}
    void Update(int64_t done, bool force = false) {
        if (!enabled_) return;
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        const double fps = elapsed > 0 ? done / elapsed : 0;
        char line[160];
        if (total_ > 0) {
            const int width = 30;
            const int filled = static_cast<int>(width * std::min<int64_t>(done, total_) / total_);
            std::string bar(static_cast<size_t>(filled), '#');
            bar.append(static_cast<size_t>(width - filled), '.');
            const double eta = fps > 0 ? (total_ - done) / fps : -1;
            std::snprintf(line, sizeof line, "\r[%s] %lld/%lld frames  %.1f fps  ETA %s ", bar.c_str(),
                          static_cast<long long>(done), static_cast<long long>(total_), fps, Clock(eta).c_str());
        } else {
            std::snprintf(line, sizeof line, "\r%lld frames  %.1f fps  %s ", static_cast<long long>(done), fps,
                          Clock(elapsed).c_str());
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
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_{};
};

int RenderVideo(RenderSession& session, const std::string& inPath, const std::string& outPath, int givenFps,
                const std::string& audioFile) {
    cv::VideoCapture capture;
    try {
        capture.open(inPath, cv::CAP_FFMPEG);
    } catch (const cv::Exception&) {
    }
    if (!capture.isOpened()) {
        std::fprintf(stderr, "orvex: cannot read a video from %s\n", inPath.c_str());
        return kInput;
    }
    double fps = givenFps ? givenFps : capture.get(cv::CAP_PROP_FPS);
    if (!(fps >= 1 && fps <= 1000)) fps = 25;
    // Effects that animate with time see the clip's rate (to the millisecond).
    session.SetFrameRate(std::llround(fps * 1000), 1000);
    const int64_t total = static_cast<int64_t>(capture.get(cv::CAP_PROP_FRAME_COUNT));

    cv::Mat frame, bgra, rendered, bgr;
    if (!capture.read(frame) || frame.empty()) {
        std::fprintf(stderr, "orvex: %s has no frames\n", inPath.c_str());
        return kInput;
    }
    const cv::Size size = frame.size();
    cv::VideoWriter writer;
    // H.264 where the FFmpeg build has an encoder for it, else MPEG-4 part 2; both play anywhere.
    for (const char* codec : {"avc1", "mp4v"}) {
        try {
            writer.open(outPath, cv::CAP_FFMPEG, cv::VideoWriter::fourcc(codec[0], codec[1], codec[2], codec[3]), fps,
                        size, true);
        } catch (const cv::Exception&) {
        }
        if (writer.isOpened()) break;
    }
    if (!writer.isOpened()) {
        std::fprintf(stderr, "orvex: cannot write a video to %s\n", outPath.c_str());
        return kInput;
    }

    g_interrupted = 0;
    auto previous = std::signal(SIGINT, OnInterrupt);
    Progress progress(total);
    int64_t index = 0;
    int rc = kOk;
    do {
        if (frame.size() != size) {
            std::fprintf(stderr, "orvex: frame %lld changes size; stopping\n", static_cast<long long>(index));
            rc = kInput;
            break;
        }
        if (frame.channels() == 4) bgra = frame;
        else if (frame.channels() == 1) cv::cvtColor(frame, bgra, cv::COLOR_GRAY2BGRA);
        else cv::cvtColor(frame, bgra, cv::COLOR_BGR2BGRA);
        std::shared_ptr<orvex::EffectAudioFrame> audio;
        if (!audioFile.empty()) {
            std::string error;
            audio = ReadAudioFrame(audioFile, index, static_cast<int>(std::lround(fps)), &error);
            if (!audio) {
                std::fprintf(stderr, "orvex: cannot read audio from %s: %s\n", audioFile.c_str(), error.c_str());
                rc = kInput;
                break;
            }
        }
        rc = session.Render(bgra, rendered, index, audio);
        if (rc != kOk) break;
        cv::cvtColor(rendered, bgr, cv::COLOR_BGRA2BGR);
        writer.write(bgr);
        ++index;
        progress.Update(index);
    } while (!g_interrupted && capture.read(frame) && !frame.empty());
    progress.Finish(index);
    std::signal(SIGINT, previous == SIG_ERR ? SIG_DFL : previous);
    // Releasing the writer finishes the container, so an interrupted run leaves a playable file.
    writer.release();
    if (g_interrupted) {
        std::fprintf(stderr, "orvex: interrupted; %s holds the first %lld frames\n", outPath.c_str(),
                     static_cast<long long>(index));
        return kOk;
    }
    return rc;
}

}  // namespace

int RenderCommand(int argc, char** argv) {
    std::string effectName, device = "best", resources;
    std::vector<ParamTrack> tracks;
    std::vector<std::string> files;
    int64_t frame = 0;
    int fps = 0;
    std::string audioFile;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--effect") {
            if (!v) return Usage("--effect needs a name");
            effectName = argv[++i];
        } else if (a == "--param") {
            std::string error;
            if (!v) return Usage("--param wants NAME=VALUE or NAME=VALUE@FRAME");
            if (!AddParamText(argv[++i], &tracks, &error)) return Usage(error);
        } else if (a == "--device") {
            if (!v) return Usage("--device needs cpu, opencl or opengl");
            device = argv[++i];
        } else if (a == "--frame") {
            char* end = nullptr;
            if (!v || (frame = std::strtoll(v, &end, 10), *end)) return Usage("--frame wants an integer");
            ++i;
        } else if (a == "--fps") {
            char* end = nullptr;
            if (!v || (fps = static_cast<int>(std::strtol(v, &end, 10)), *end) || fps < 1 || fps > 1000)
                return Usage("--fps wants an integer from 1 to 1000");
            ++i;
        } else if (a == "--audio") {
            if (!v) return Usage("--audio needs a sound file");
            audioFile = argv[++i];
        } else if (a == "--resources") {
            if (!v) return Usage("--resources needs a folder");
            resources = argv[++i];
        } else if (a.rfind("--", 0) == 0) {
            return Usage("unknown option: " + a);
        } else {
            files.push_back(a);
        }
    }
    if (effectName.empty()) return Usage("render needs --effect NAME");
    if (files.size() != 2) return Usage("render needs an input and an output file");
    const bool video = IsVideoPath(files[0]);
    if (video != IsVideoPath(files[1]))
        return Usage(video ? "a video renders into a video file (.mp4)" : "a picture renders into a picture file");

    cv::Mat input;
    if (!video && !ReadBGRA(files[0], &input)) {
        std::fprintf(stderr, "orvex: cannot read a picture from %s\n", files[0].c_str());
        return kInput;
    }
    if (video && !std::filesystem::exists(files[0])) {
        std::fprintf(stderr, "orvex: cannot read a video from %s\n", files[0].c_str());
        return kInput;
    }

    RenderSession session;
    if (int rc = session.Open(effectName, device, resources); rc != kOk) return rc;
    if (int rc = session.SetTracks(std::move(tracks)); rc != kOk) return rc;
    if (video) return RenderVideo(session, files[0], files[1], fps, audioFile);

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
