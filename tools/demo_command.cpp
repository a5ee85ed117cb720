// `orvex demo`: every creatable effect rendered on the test card (or a given picture), one PNG
// per effect and a labelled contact sheet.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "commands.h"
#include "render_session.h"
#include "testcard.h"

namespace orvexcli {

namespace {

// Settings shown on the sheet for effects whose defaults leave the picture as it is; every other
// effect renders at its defaults.
const std::map<std::string, std::vector<std::string>>& DemoSettings() {
    static const std::map<std::string, std::vector<std::string>> settings = {
        {"video/effect/brightness_contrast", {"bright=30", "contrast=40"}},
        {"video/effect/adjust_levels", {"rgb_input_black_level=60", "rgb_gray_level=160"}},
        {"video/effect/channel_blur", {"Red_Blurriness=20"}},
        {"video/effect/channel_mixer", {"red_channel_red=20", "red_channel_blue=100"}},
        {"video/effect/color_banlance", {"Red=160", "Blue=50"}},
        {"video/effect/color_correction_color_balance", {"midtone_blue=60", "highlight_red=40"}},
        {"video/effect/corner_pin", {"Upper_Left_x=0.2", "Lower_Right_y=0.8"}},
        {"video/effect/crop", {"Left=20", "Right=20", "EdgeFeather=8"}},
        {"video/effect/gamma_correction", {"Gamma=20"}},
        {"video/effect/lens_distortion", {"square_a=60"}},
        {"video/effect/motion", {"Rotation=20", "Scale_x=70", "Scale_y=70"}},
        {"video/effect/transform", {"Rotation=-15", "Scale_x=80", "Scale_y=80"}},
        {"video/effect/color_balance_hls", {"hue=120"}},
    };
    return settings;
}

std::string ShortName(const std::string& name) {
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

// A file name safe on every system for an effect name.
std::string FileName(const std::string& name) {
    std::string s = ShortName(name);
    for (char& c : s)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') c = '_';
    return s.empty() ? "effect" : s;
}

// A tone for the audio effects: one video frame (1/25 s) of 44.1 kHz stereo, a 220 Hz note with
// a 1760 Hz overtone so that both ends of the spectrum show.
std::shared_ptr<orvex::EffectAudioFrame> DemoTone() {
    auto audio = std::make_shared<orvex::EffectAudioFrame>();
    audio->channels = 2;
    audio->sampleCount = 1764;
    audio->samples.resize(static_cast<size_t>(audio->sampleCount) * 2);
    const double kPi = 3.14159265358979323846;
    for (int i = 0; i < audio->sampleCount; ++i) {
        const double t = i / 44100.0;
        const double v = 0.5 * std::sin(2 * kPi * 220 * t) + 0.25 * std::sin(2 * kPi * 1760 * t);
        const auto s = static_cast<int16_t>(std::lround(v * 32767));
        audio->samples[2 * i] = s;
        audio->samples[2 * i + 1] = s;
    }
    return audio;
}

// The device an effect renders on in the demo: its CPU body when it has one (the same pixels on
// every machine), else the GPU platform it has.
std::string DeviceFor(orvex::IOrvex* lab, const std::string& name) {
    orvex::IOrvexEffect* effect = lab->CreateOrvexEffect(name.c_str());
    if (!effect) return "cpu";
    bool cpu = false, cl = false, gl = false;
    effect->GetSupportedPaths(&cpu, &cl, &gl);
    lab->ReleaseOrvexEffect(effect);
    // Shader effects draw on OpenGL even where they also list a CPU path (for their mask input).
    if (gl) return "opengl";
    if (cpu) return "cpu";
    if (cl) return "opencl";
    return "cpu";
}

void DrawLabel(cv::Mat& tile, const std::string& text, int y0, int height) {
    cv::rectangle(tile, cv::Rect(0, y0, tile.cols, height), cv::Scalar(32, 32, 32, 255), cv::FILLED);
    double scale = 0.45;
    int baseline = 0;
    cv::Size size = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, scale, 1, &baseline);
    while (size.width > tile.cols - 8 && scale > 0.25) {
        scale -= 0.05;
        size = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, scale, 1, &baseline);
    }
    cv::putText(tile, text, cv::Point(4, y0 + (height + size.height) / 2), cv::FONT_HERSHEY_SIMPLEX, scale,
                cv::Scalar(235, 235, 235, 255), 1, cv::LINE_AA);
}

// Transparent pixels shown over a light checkerboard, as an editor's viewer would.
cv::Mat OverCheckerboard(const cv::Mat& bgra) {
    cv::Mat out(bgra.size(), CV_8UC4);
    for (int y = 0; y < bgra.rows; ++y) {
        const cv::Vec4b* s = bgra.ptr<cv::Vec4b>(y);
        cv::Vec4b* d = out.ptr<cv::Vec4b>(y);
        for (int x = 0; x < bgra.cols; ++x) {
            const int bg = ((x / 8 + y / 8) & 1) ? 200 : 150;
            const int a = s[x][3];
            for (int c = 0; c < 3; ++c) d[x][c] = static_cast<uint8_t>((s[x][c] * a + bg * (255 - a) + 127) / 255);
            d[x][3] = 255;
        }
    }
    return out;
}

}  // namespace

int DemoCommand(int argc, char** argv) {
    std::string outDir = "orvex-demo", inputPath, resources;
    int width = 480, height = 270;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--out" && hasValue) outDir = argv[++i];
        else if (a == "--input" && hasValue) inputPath = argv[++i];
        else if (a == "--resources" && hasValue) resources = argv[++i];
        else if (a == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width < 16 || height < 16 || width > 7680 ||
                height > 4320)
                return Usage("--size wants WxH between 16x16 and 7680x4320");
        } else return Usage("unknown demo argument: " + a);
    }

    cv::Mat input;
    if (!inputPath.empty()) {
        if (!ReadBGRA(inputPath, &input)) {
            std::fprintf(stderr, "orvex: cannot read a picture from %s\n", inputPath.c_str());
            return kInput;
        }
    } else {
        input = MakeTestCard(width, height);
    }
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    if (ec || !WritePicture(outDir + "/input.png", input)) {
        std::fprintf(stderr, "orvex: cannot write into %s\n", outDir.c_str());
        return kInput;
    }

    // The names and the device of each, from a lab of their own that is gone before the renders:
    // each render's lab then starts afresh with its own device.
    std::vector<std::pair<std::string, std::string>> work;
    {
        Lab lister;
        UseResources(lister.lab, FindResources(resources));
        for (const std::string& name : CreatableEffects(lister.lab)) {
            // The two generic kinds have no picture of their own: their described effects show them.
            if (name == "opengl_effect" || name == "audio_visualization") continue;
            work.emplace_back(name, DeviceFor(lister.lab, name));
        }
    }
    const auto tone = DemoTone();

    // Thumbnails 320 wide, keeping the picture's shape, with a label strip below.
    const int thumbW = 320;
    const int thumbH = std::max(1, static_cast<int>(std::lround(320.0 * input.rows / input.cols)));
    const int labelH = 22;
    std::vector<std::pair<std::string, cv::Mat>> tiles;
    tiles.emplace_back("input", input);
    int failed = 0;
    for (const auto& [name, device] : work) {
        RenderSession session;
        std::string label = ShortName(name);
        cv::Mat output;
        int rc = session.Open(name, device, resources);
        std::vector<ParamTrack> tracks;
        auto it = DemoSettings().find(name);
        if (rc == kOk && it != DemoSettings().end()) {
            std::string error;
            for (const std::string& s : it->second) {
                AddParamText(s, &tracks, &error);
                label += " " + s;
            }
        }
        if (rc == kOk) rc = session.SetTracks(tracks);
        if (rc == kOk) rc = session.Render(input, output, 12, tone);
        if (rc != kOk) {
            std::fprintf(stderr, "orvex: demo: %s did not render on %s; left off the sheet\n", name.c_str(),
                         device.c_str());
            ++failed;
            continue;
        }
        if (device != "cpu") label += " (" + device + ")";
        WritePicture(outDir + "/" + FileName(name) + ".png", output);
        tiles.emplace_back(label, output);
        std::printf("%-40s %s\n", name.c_str(), device.c_str());
    }

    const int columns = 6;
    const int rows = static_cast<int>((tiles.size() + columns - 1) / columns);
    const int gap = 4;
    cv::Mat sheet(rows * (thumbH + labelH + gap) + gap, columns * (thumbW + gap) + gap, CV_8UC4,
                  cv::Scalar(16, 16, 16, 255));
    for (size_t i = 0; i < tiles.size(); ++i) {
        cv::Mat tile(thumbH + labelH, thumbW, CV_8UC4);
        cv::Mat thumb;
        cv::resize(OverCheckerboard(tiles[i].second), thumb, cv::Size(thumbW, thumbH), 0, 0, cv::INTER_AREA);
        thumb.copyTo(tile(cv::Rect(0, 0, thumbW, thumbH)));
        DrawLabel(tile, tiles[i].first, thumbH, labelH);
        const int col = static_cast<int>(i % columns), row = static_cast<int>(i / columns);
        tile.copyTo(sheet(cv::Rect(gap + col * (thumbW + gap), gap + row * (thumbH + labelH + gap), thumbW,
                                   thumbH + labelH)));
    }
    const std::string sheetPath = outDir + "/contact_sheet.png";
    if (!WritePicture(sheetPath, sheet)) {
        std::fprintf(stderr, "orvex: cannot write %s\n", sheetPath.c_str());
        return kInput;
    }
    std::printf("%zu effects rendered, %d failed; contact sheet: %s\n", tiles.size() - 1, failed, sheetPath.c_str());
    return failed == 0 ? kOk : kRender;
}

}  // namespace orvexcli
