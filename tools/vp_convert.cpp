// orvex vp convert: raw YUV files to pictures and back through IVisualProcess::Convert, on the
// CPU or on OpenCL textures.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "host/kit/kit.h"
#include "orvex/orvex.h"
#include "vp_commands.h"

namespace orvexcli {
namespace {

enum Exit { kOk = 0, kUsage = 1, kInput = 2, kFailed = 3 };

const char* const kConvertUsage =
    "usage: orvex vp convert --size WxH --format F [--matrix 601|709|2020] [--range limited|full]\n"
    "                        [--out-size WxH] [--quality Q] [--device cpu|opencl] IN OUT\n"
    "  one of IN and OUT is a raw .yuv file of WxH frames in format F, the other a picture;\n"
    "  F: yv12 (Y, V, U planes), i420 (Y, U, V), nv12, p010 (10 bits at the top of 16-bit words),\n"
    "  yuva420 (Y, V, U, A), yv12p10 (Y, V, U, 10 bits at the bottom of 16-bit words),\n"
    "  yuv422p, yuva422p (Y, U, V[, A] with chroma on every row), yuv422p16 (the same in 16 bits).\n"
    "  A raw input converts its first frame; --out-size scales the picture (quality Q 0..3).\n";

int Usage(const std::string& message) {
    std::fprintf(stderr, "orvex vp convert: %s\n%s", message.c_str(), kConvertUsage);
    return kUsage;
}

struct Format {
    const char* name;
    uint32_t pixelFmt;
    uint32_t bitDepth;
    bool swapChroma;  // file order Y, U, V against the frame's Y, V, U
    // The 4:2:0 format of the same planes that encodes a 4:2:2 picture (below).
    bool is422 = false;
    uint32_t encodeAs = orvex::YV12;
};
const Format kFormats[] = {{"yv12", orvex::YV12, 8, false},
                           {"i420", orvex::YV12, 8, true},
                           {"nv12", orvex::NV12, 8, false},
                           {"p010", orvex::P010, 10, false},
                           {"yuva420", orvex::YUVA420, 8, false},
                           {"yv12p10", orvex::YV12P10, 10, false},
                           {"yuv422p", orvex::YUV422, 8, true, true, orvex::YV12},
                           {"yuv422p16", orvex::YUV422_16, 16, true, true, orvex::YV12P10},
                           {"yuva422p", orvex::YUVA422, 8, true, true, orvex::YUVA420}};

bool HasAlpha(uint32_t fmt) { return fmt == orvex::YUVA420 || fmt == orvex::YUVA422; }

bool ParseSize(const std::string& s, int* w, int* h) {
    char tail = 0;
    return std::sscanf(s.c_str(), "%dx%d%c", w, h, &tail) == 2 && *w > 0 && *h > 0 && *w <= 16384 && *h <= 16384;
}

bool IsRaw(const std::string& path) { return std::filesystem::path(path).extension() == ".yuv"; }

// Owned planes of one YUV frame, tightly packed in file order.
struct RawFrame {
    orvex::EffectFrame frame;
    std::vector<uint8_t> bytes;
    size_t planeBytes[4] = {};
    int planeCount = 0;

    RawFrame(const Format& f, int w, int h) : RawFrame(f.pixelFmt, f.bitDepth, f.swapChroma, w, h) {}
    RawFrame(uint32_t pixelFmt, uint32_t bitDepth, bool swapChroma, int w, int h) {
        const bool is422 = pixelFmt == orvex::YUV422 || pixelFmt == orvex::YUV422_16 || pixelFmt == orvex::YUVA422;
        const int cw = (w + 1) / 2, ch = is422 ? h : (h + 1) / 2, b = bitDepth > 8 ? 2 : 1;
        int samples[4] = {w, cw, cw, w}, rows[4] = {h, ch, ch, h};
        planeCount = pixelFmt == orvex::NV12 || pixelFmt == orvex::P010 ? 2 : HasAlpha(pixelFmt) ? 4 : 3;
        if (planeCount == 2) samples[1] = 2 * cw;
        size_t total = 0;
        for (int i = 0; i < planeCount; ++i) total += planeBytes[i] = static_cast<size_t>(samples[i]) * b * rows[i];
        bytes.assign(total, 0);
        frame.pixel_fmt = pixelFmt;
        frame.bitDepth = bitDepth;
        frame.planes = static_cast<uint32_t>(planeCount);
        size_t offset = 0;
        for (int i = 0; i < planeCount; ++i) {
            // The file's plane k is the frame's plane k, except that i420 swaps the chroma planes.
            const int p = swapChroma && (i == 1 || i == 2) ? 3 - i : i;
            frame.data[p] = bytes.data() + offset;
            frame.pitch[p] = samples[p] * b;
            frame.width[p] = static_cast<uint32_t>(samples[p]);
            frame.height[p] = static_cast<uint32_t>(rows[p]);
            offset += planeBytes[i];
        }
        frame.width[0] = static_cast<uint32_t>(w);
        frame.height[0] = static_cast<uint32_t>(h);
    }
};

// Row r of plane p of a frame.
uint8_t* Row(const orvex::EffectFrame& f, int p, int r) { return f.data[p] + static_cast<size_t>(f.pitch[p]) * r; }

// The library encodes to 4:2:0 only. A picture with every row repeated, encoded to 4:2:0, has the
// 4:2:2 chroma of the picture in its chroma rows (each the average of a row pair that is one row
// twice) and the picture's luma and alpha in its even rows: this copies them into the 4:2:2 frame.
void Take422(const orvex::EffectFrame& tall, orvex::EffectFrame& out) {
    const int h = static_cast<int>(out.height[0]);
    for (int p = 0; p < static_cast<int>(out.planes); ++p) {
        const bool chroma = p == 1 || p == 2;
        const size_t bytes = static_cast<size_t>(out.width[p]) * (out.bitDepth > 8 ? 2 : 1);
        for (int r = 0; r < h; ++r) std::memcpy(Row(out, p, r), Row(tall, p, chroma ? r : 2 * r), bytes);
    }
}

orvex::EffectFrame WrapPicture(cv::Mat& m) {
    orvex::EffectFrame f;
    f.planes = 1;
    f.bitDepth = 8;
    f.pixel_fmt = orvex::BGRA32;
    f.width[0] = static_cast<uint32_t>(m.cols);
    f.height[0] = static_cast<uint32_t>(m.rows);
    f.data[0] = m.data;
    f.pitch[0] = static_cast<int32_t>(m.step[0]);
    return f;
}

}  // namespace

int ConvertCommand(int argc, char** argv) {
    int w = 0, h = 0, outW = 0, outH = 0, quality = 1;
    const Format* format = nullptr;
    std::string device = "cpu", matrix = "709", range = "limited";
    std::vector<std::string> files;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        const std::string v = hasValue ? argv[i + 1] : "";
        if (a == "--size" || a == "--out-size") {
            if (!hasValue || !ParseSize(v, a == "--size" ? &w : &outW, a == "--size" ? &h : &outH))
                return Usage(a + " wants WxH, for example 1920x1080");
        } else if (a == "--format") {
            for (const Format& f : kFormats)
                if (v == f.name) format = &f;
            if (!format) return Usage("unknown --format " + v);
        } else if (a == "--matrix") {
            if (v != "601" && v != "709" && v != "2020") return Usage("--matrix is 601, 709 or 2020");
            matrix = v;
        } else if (a == "--range") {
            if (v != "limited" && v != "full") return Usage("--range is limited or full");
            range = v;
        } else if (a == "--quality") {
            if (v.size() != 1 || v[0] < '0' || v[0] > '3') return Usage("--quality wants 0 to 3");
            quality = v[0] - '0';
        } else if (a == "--device") {
            if (v != "cpu" && v != "opencl") return Usage("--device is cpu or opencl");
            device = v;
        } else if (a.rfind("--", 0) == 0) {
            return Usage("unknown option " + a);
        } else {
            files.push_back(a);
            continue;
        }
        ++i;
    }
    if (files.size() != 2) return Usage("convert needs an input and an output file");
    const bool decode = IsRaw(files[0]);
    if (decode == IsRaw(files[1])) return Usage("one of the two files must be a .yuv file");
    if (!format) return Usage("--format is needed for the .yuv file");
    if (decode && w == 0) return Usage("--size is needed to read a .yuv file");

    using namespace ColorSpace;
    const pl_color_system sys = matrix == "601"   ? PL_COLOR_SYSTEM_BT_601
                                : matrix == "709" ? PL_COLOR_SYSTEM_BT_709
                                                  : PL_COLOR_SYSTEM_BT_2020_NC;
    const int depth = static_cast<int>(format->bitDepth);
    const pl_color_repr repr{sys, range == "full" ? PL_COLOR_LEVELS_FULL : PL_COLOR_LEVELS_LIMITED,
                             PL_ALPHA_INDEPENDENT, {depth > 8 ? 16 : 8, depth, 0}};
    const pl_color_space space{matrix == "2020" ? PL_COLOR_PRIM_BT_2020 : PL_COLOR_PRIM_BT_709, PL_COLOR_TRC_BT_1886,
                               PL_COLOR_LIGHT_UNKNOWN, 0, 0, 0};

    cv::Mat picture;
    std::unique_ptr<RawFrame> raw;
    if (decode) {
        raw = std::make_unique<RawFrame>(*format, w, h);
        std::ifstream file(files[0], std::ios::binary);
        if (!file.read(reinterpret_cast<char*>(raw->bytes.data()), static_cast<std::streamsize>(raw->bytes.size()))) {
            std::fprintf(stderr, "orvex vp convert: %s is shorter than one %dx%d %s frame (%zu bytes)\n",
                         files[0].c_str(), w, h, format->name, raw->bytes.size());
            return kInput;
        }
        picture.create(outH ? outH : h, outW ? outW : w, CV_8UC4);
    } else {
        cv::Mat img = cv::imread(files[0], cv::IMREAD_UNCHANGED);
        if (img.empty()) {
            std::fprintf(stderr, "orvex vp convert: cannot read a picture from %s\n", files[0].c_str());
            return kInput;
        }
        if (img.depth() != CV_8U) img.convertTo(img, CV_8U, img.depth() == CV_16U ? 1.0 / 257.0 : 1.0);
        const int code = img.channels() == 1 ? cv::COLOR_GRAY2BGRA : img.channels() == 3 ? cv::COLOR_BGR2BGRA : -1;
        if (code >= 0) cv::cvtColor(img, picture, code);
        else picture = img;
        raw = std::make_unique<RawFrame>(*format, picture.cols, picture.rows);
    }
    // 4:2:2 output: the picture with its rows repeated, encoded to the 4:2:0 sibling format.
    cv::Mat tall;
    std::unique_ptr<RawFrame> tallRaw;
    if (!decode && format->is422) {
        tall.create(2 * picture.rows, picture.cols, CV_8UC4);
        for (int r = 0; r < tall.rows; ++r) picture.row(r / 2).copyTo(tall.row(r));
        tallRaw = std::make_unique<RawFrame>(format->encodeAs, format->bitDepth, false, tall.cols, tall.rows);
    }

    std::unique_ptr<zrp::ATLUFactory> factory;
    if (!DeviceFactory(device, &factory)) return kInput;
    std::unique_ptr<orvex::IVisualProcess, void (*)(orvex::IVisualProcess*)> vp(CreateVisualProcess(),
                                                                                 ReleaseVisualProcess);
    if (!vp) return kFailed;
    orvex::EffectFrame pic = WrapPicture(tallRaw ? tall : picture), none;
    none.pixel_fmt = orvex::BGRA32;
    orvex::EffectFrame& yuv = tallRaw ? tallRaw->frame : raw->frame;
    orvex::EffectFrame in = decode ? yuv : pic, out = decode ? pic : yuv;
    if (factory) {
        vp->SetATLUFactory(factory.get());
        in.texture = orvexhost::UploadFrame(*factory, in);
        out.texture = orvexhost::CreateTextureLike(*factory, out);
        if (!in.texture || !out.texture) {
            std::fprintf(stderr, "orvex vp convert: cannot create OpenCL textures\n");
            return kFailed;
        }
    }
    orvex::ResultCode r = vp->Convert(repr, space, in, none, out, quality, 1);
    if (r == orvex::Ok && factory && !orvexhost::DownloadFrame(*out.texture, decode ? pic : yuv)) r = orvex::Failed;
    if (r != orvex::Ok) {
        std::fprintf(stderr, "orvex vp: convert failed (result %d)\n", static_cast<int>(r));
        return kFailed;
    }
    if (decode) {
        if (!cv::imwrite(files[1], picture)) {
            std::fprintf(stderr, "orvex vp convert: cannot write %s\n", files[1].c_str());
            return kInput;
        }
        return kOk;
    }
    if (tallRaw) Take422(tallRaw->frame, raw->frame);
    std::ofstream file(files[1], std::ios::binary);
    if (!file.write(reinterpret_cast<const char*>(raw->bytes.data()), static_cast<std::streamsize>(raw->bytes.size()))) {
        std::fprintf(stderr, "orvex vp convert: cannot write %s\n", files[1].c_str());
        return kInput;
    }
    return kOk;
}

}  // namespace orvexcli
