// orvex vp lut|hdr2sdr|hdr|whitebalance: 3D LUTs, HDR tone mapping, SDR to HDR and the PQ <-> HLG
// transfers, and white-balance estimates on picture files.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "picture_io.h"
#include "host/kit/kit.h"
#include "imagecpu/CubeLut.h"
#include "orvex/orvex.h"
#include "vp_commands.h"
#include "vp_ops.h"

namespace orvexcli {
namespace {

enum Exit { kOk = 0, kUsage = 1, kInput = 2, kFailed = 3 };

int Usage(const std::string& message) {
    std::fprintf(stderr, "orvex vp: %s\n\nusage:\n%s", message.c_str(), kVisualHelp);
    return kUsage;
}


int Lut(const std::vector<std::string>& files, int mode) {
    if (files.size() != 3) return Usage("lut needs a LUT file, an input and an output file");
    orvex::CubeLut lut;
    if (!lut.LoadFile(files[0])) {
        std::fprintf(stderr, "orvex vp: cannot load the LUT %s (status %d)\n", files[0].c_str(), lut.status());
        return kInput;
    }
    cv::Mat in;
    if (!ReadBGRA(files[1], &in)) {
        std::fprintf(stderr, "orvex vp: cannot read a picture from %s\n", files[1].c_str());
        return kInput;
    }
    cv::Mat out = in.clone();
    const int r = lut.Apply(out.data, static_cast<int>(out.step[0]), in.data, in.cols, in.rows,
                            static_cast<int>(in.step[0]), 4, mode, 255);
    if (r != 0) {
        std::fprintf(stderr, "orvex vp: lut failed (status %d)\n", r);
        return kFailed;
    }
    if (!WritePicture(files[2], out)) {
        std::fprintf(stderr, "orvex vp: cannot write %s\n", files[2].c_str());
        return kInput;
    }
    return kOk;
}

int Hdr2Sdr(const std::vector<std::string>& files, int pq, const std::string& device, const std::string& resources) {
    if (files.size() != 2) return Usage("hdr2sdr needs an input and an output file");
    cv::Mat input;
    if (!ReadBGRA(files[0], &input)) {
        std::fprintf(stderr, "orvex vp: cannot read a picture from %s\n", files[0].c_str());
        return kInput;
    }
    cv::Mat output(input.size(), CV_8UC4, cv::Scalar::all(0));
    std::unique_ptr<zrp::ATLUFactory> factory;
    if (!DeviceFactory(device, &factory)) return kInput;
    std::unique_ptr<orvex::IVisualProcess, void (*)(orvex::IVisualProcess*)> vp(CreateVisualProcess(),
                                                                                 ReleaseVisualProcess);
    const std::string root = FindCubeRoot(resources);
    if (!vp || (!factory && root.empty())) {
        std::fprintf(stderr, "orvex vp: no resource tree with the HDR cubes found; give --resources DIR\n");
        return kInput;
    }
    vp->SetResourcePath(root.c_str());
    const orvex::ResultCode r =
        RunOnDevice(factory.get(), *vp, {FrameOf(input)}, FrameOf(output), [&](std::vector<orvex::EffectFrame>& in, orvex::EffectFrame& out) {
            return vp->HDR2SDR(in[0], out, pq, ColorSpace::PL_COLOR_PRIM_BT_2020, ColorSpace::PL_COLOR_PRIM_BT_709);
        });
    if (r != orvex::Ok) {
        std::fprintf(stderr, "orvex vp: hdr2sdr failed (result %d)\n", static_cast<int>(r));
        return kFailed;
    }
    if (!WritePicture(files[1], output)) {
        std::fprintf(stderr, "orvex vp: cannot write %s\n", files[1].c_str());
        return kInput;
    }
    return kOk;
}

// A picture as 16-bit BGRA (8-bit files widened by 257), so that the transfers keep their
// precision from a 16-bit PNG to a 16-bit PNG.
bool ReadPicture16(const std::string& path, cv::Mat* out) {
    cv::Mat img = cv::imread(path, cv::IMREAD_UNCHANGED);
    if (img.empty()) return false;
    if (img.depth() == CV_8U) img.convertTo(img, CV_16U, 257.0);
    else if (img.depth() != CV_16U) img.convertTo(img, CV_16U);
    if (img.channels() == 1) cv::cvtColor(img, *out, cv::COLOR_GRAY2BGRA);
    else if (img.channels() == 3) cv::cvtColor(img, *out, cv::COLOR_BGR2BGRA);
    else if (img.channels() == 4) *out = img;
    else return false;
    return true;
}

// sdr2hdr (to PQ or HLG from BT.709, BT.601 625 or 525 primaries), pq2hlg and hlg2pq.
int Hdr(const std::vector<std::string>& args, int pq, int sdrMode, const std::string& device) {
    if (args.size() != 3 || (args[0] != "sdr2hdr" && args[0] != "pq2hlg" && args[0] != "hlg2pq"))
        return Usage("hdr needs sdr2hdr, pq2hlg or hlg2pq, an input and an output file");
    const std::string& what = args[0];
    if (what == "sdr2hdr" && pq < 0) return Usage("hdr sdr2hdr needs --pq or --hlg");
    cv::Mat input;
    if (!ReadPicture16(args[1], &input)) {
        std::fprintf(stderr, "orvex vp: cannot read a picture from %s\n", args[1].c_str());
        return kInput;
    }
    cv::Mat output(input.size(), CV_16UC4, cv::Scalar::all(0));
    std::unique_ptr<zrp::ATLUFactory> factory;
    if (!DeviceFactory(device, &factory)) return kInput;
    std::unique_ptr<orvex::IVisualProcess, void (*)(orvex::IVisualProcess*)> vp(CreateVisualProcess(),
                                                                                 ReleaseVisualProcess);
    if (!vp) return kFailed;
    orvex::EffectFrame in = FrameOf(input), out = FrameOf(output);
    const orvex::ResultCode r = RunOnDevice(factory.get(), *vp, {in}, out, [&](std::vector<orvex::EffectFrame>& i, orvex::EffectFrame& o) {
        return what == "sdr2hdr" ? vp->SDR2HDR(i[0], o, pq, sdrMode) : what == "pq2hlg" ? vp->PQToHLG(i[0], o) : vp->HLGToPQ(i[0], o);
    });
    if (r != orvex::Ok) {
        std::fprintf(stderr, "orvex vp: hdr %s failed (result %d)\n", what.c_str(), static_cast<int>(r));
        return kFailed;
    }
    // Formats that hold 16 bits get them; the others (JPEG, BMP) the nearest 8-bit codes.
    const std::string ext = std::filesystem::path(args[2]).extension().string();
    cv::Mat written = output;
    if (ext != ".png" && ext != ".PNG" && ext != ".tif" && ext != ".tiff") output.convertTo(written, CV_8U, 1.0 / 257.0);
    if (!WritePicture(args[2], written)) {
        std::fprintf(stderr, "orvex vp: cannot write %s\n", args[2].c_str());
        return kInput;
    }
    return kOk;
}

int WhiteBalance(const std::vector<std::string>& files, int pickX, int pickY, long colour) {
    if (files.size() != 1) return Usage("whitebalance needs one input file");
    cv::Mat input;
    if (!ReadBGRA(files[0], &input)) {
        std::fprintf(stderr, "orvex vp: cannot read a picture from %s\n", files[0].c_str());
        return kInput;
    }
    cv::Mat packed = input.isContinuous() ? input : input.clone();
    std::unique_ptr<orvex::IVisualProcess, void (*)(orvex::IVisualProcess*)> vp(CreateVisualProcess(),
                                                                                 ReleaseVisualProcess);
    float temperature = 0, tint = 0;
    const orvex::ResultCode r =
        colour >= 0 ? vp->WhiteBalanceFromColor(packed.data, packed.cols, packed.rows, static_cast<uint32_t>(colour),
                                                &temperature, &tint)
                    : vp->EstimateWhiteBalance(packed.data, packed.cols, packed.rows, &temperature, &tint, pickX, pickY);
    if (r != orvex::Ok) {
        std::fprintf(stderr, "orvex vp: whitebalance failed (result %d)\n", static_cast<int>(r));
        return kFailed;
    }
    std::printf("temperature %.2f tint %.2f\n", temperature, tint);
    return kOk;
}

}  // namespace

int ColourCommand(int argc, char** argv) {
    const std::string op = argv[0];
    std::vector<std::string> files;
    std::string device = "cpu", resources;
    int mode = 2, pq = -1, pickX = -1, pickY = -1, sdrMode = 2;
    long colour = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        const std::string v = hasValue ? argv[i + 1] : "";
        if (a == "--mode") {
            if (!hasValue || (v != "0" && v != "1" && v != "2")) return Usage("--mode is 0, 1 or 2");
            mode = v[0] - '0';
            ++i;
        } else if (a == "--pq" || a == "--hlg") {
            pq = a == "--pq" ? 1 : 0;
        } else if (a == "--sdr") {
            // The SDR input's primaries: the service's codes 0 PAL, 1 NTSC, 2 (any other) BT.709.
            if (!hasValue || (v != "709" && v != "601-625" && v != "601-525"))
                return Usage("--sdr is 709, 601-625 or 601-525");
            sdrMode = v == "601-625" ? 0 : v == "601-525" ? 1 : 2;
            ++i;
        } else if (a == "--device") {
            if (!hasValue || (v != "cpu" && v != "opencl")) return Usage("--device is cpu or opencl");
            device = v;
            ++i;
        } else if (a == "--resources") {
            if (!hasValue) return Usage("--resources wants a folder");
            resources = v;
            ++i;
        } else if (a == "--pick") {
            char tail = 0;
            if (!hasValue || std::sscanf(v.c_str(), "%d,%d%c", &pickX, &pickY, &tail) != 2 || pickX < 0 || pickY < 0)
                return Usage("--pick wants X,Y in pixels");
            ++i;
        } else if (a == "--colour") {
            char* end = nullptr;
            colour = hasValue ? std::strtol(v.c_str(), &end, 16) : -1;
            if (!hasValue || v.empty() || *end || colour < 0 || colour > 0xFFFFFF) return Usage("--colour wants RRGGBB");
            ++i;
        } else if (a.rfind("--", 0) == 0) {
            return Usage("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (op == "lut") return Lut(files, mode);
    if (op == "hdr2sdr") {
        if (pq < 0) return Usage("hdr2sdr needs --pq or --hlg");
        return Hdr2Sdr(files, pq, device, resources);
    }
    if (op == "hdr") return Hdr(files, pq, sdrMode, device);
    return WhiteBalance(files, pickX, pickY, colour);
}

}  // namespace orvexcli
