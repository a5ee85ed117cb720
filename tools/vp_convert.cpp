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
#include "vp_ops.h"

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

bool ParseSize(const std::string& s, int* w, int* h) {
    char tail = 0;
    return std::sscanf(s.c_str(), "%dx%d%c", w, h, &tail) == 2 && *w > 0 && *h > 0 && *w <= 16384 && *h <= 16384;
}

bool IsRaw(const std::string& path) { return std::filesystem::path(path).extension() == ".yuv"; }

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
    const YuvFormat* format = nullptr;
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
            format = FindYuvFormat(v);
            if (!format) return Usage("unknown --format " + v + " (formats: " + YuvFormatNames() + ")");
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

    cv::Mat picture;
    std::unique_ptr<YuvPlanes> raw;
    if (decode) {
        raw = std::make_unique<YuvPlanes>(*format, w, h);
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
        raw = std::make_unique<YuvPlanes>(*format, picture.cols, picture.rows);
    }
    std::unique_ptr<zrp::ATLUFactory> factory;
    if (!DeviceFactory(device, &factory)) return kInput;
    std::unique_ptr<orvex::IVisualProcess, void (*)(orvex::IVisualProcess*)> vp(CreateVisualProcess(),
                                                                                 ReleaseVisualProcess);
    if (!vp) return kFailed;
    orvex::EffectFrame pic = WrapPicture(picture);
    const orvex::ResultCode r = ConvertFrame(factory.get(), *vp, *format, matrix, range, quality, decode, *raw, pic);
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
    std::ofstream file(files[1], std::ios::binary);
    if (!file.write(reinterpret_cast<const char*>(raw->bytes.data()), static_cast<std::streamsize>(raw->bytes.size()))) {
        std::fprintf(stderr, "orvex vp convert: cannot write %s\n", files[1].c_str());
        return kInput;
    }
    return kOk;
}

}  // namespace orvexcli
