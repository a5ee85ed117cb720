// orvex vp resize|crop|rotate|flip|blend|transform: one IVisualProcess operation on a picture (or
// an overlay and a background), on the CPU or on OpenCL textures.
#include "vp_commands.h"

#include <cctype>
#include <cmath>
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
#include "vp_ops.h"
#include "host/kit/kit.h"
#include "orvex/orvex.h"

namespace orvexcli {

const char* const kVisualHelp =
    "  orvex vp resize --size WxH [--type T] [--quality Q] [--device cpu|opencl] IN OUT\n"
    "                                      scale; T: 0 stretch, 1 fit (transparent bars), 4 zoom\n"
    "                                      (fill, cropped); Q: 0 nearest, 1 bilinear, 2 bicubic\n"
    "                                      (area when reducing), 3 best\n"
    "  orvex vp crop --rect X,Y,W,H [--size WxH] [--device cpu|opencl] IN OUT\n"
    "                                      cut a rectangle given in fractions of the picture (0..1)\n"
    "                                      and scale it to WxH (default: the rectangle's own size)\n"
    "  orvex vp rotate (--quarter R | --angle DEG [--nearest] [--size WxH]) [--device cpu|opencl]\n"
    "               IN OUT                 R: 0 90 degrees clockwise, 1 180, 2 270, 3 mirror\n"
    "                                      left-right, 4 mirror top-bottom; --angle turns freely\n"
    "                                      about the centre (output size: the input's by default)\n"
    "  orvex vp flip --horizontal|--vertical [--device cpu|opencl] IN OUT\n"
    "  orvex vp convert --size WxH --format yv12|i420|nv12|p010|yuva420|yv12p10 [--matrix 601|709|2020]\n"
    "               [--range limited|full] [--out-size WxH] [--quality Q] [--device cpu|opencl] IN OUT\n"
    "                                      raw .yuv frame to a picture or a picture to a .yuv frame\n"
    "  orvex vp blend [--mode M] [--opacity A] [--premultiplied] [--overlay-rect X,Y,W,H]\n"
    "               [--rect X,Y,W,H] [--device cpu|opencl] OVERLAY BACKGROUND OUT\n"
    "                                      lay a region of the overlay on a region of the background\n"
    "                                      (fractions, whole pictures by default); M: blend mode 0..23\n"
    "  orvex vp transform [--mode M] [--opacity A] [--premultiplied] [--anchor X,Y] [--centre X,Y]\n"
    "               [--rotation DEG] [--scale S|SX,SY] [--skew KX,KY] [--nearest] [--device cpu|opencl]\n"
    "               OVERLAY BACKGROUND OUT  turn, scale and skew the overlay about its anchor (fractions\n"
    "                                      of the overlay), put the anchor on the centre (fractions of\n"
    "                                      the background) and blend it there\n"
    "  orvex vp lut [--mode 0|1|2] FILE.cube|FILE.3dl IN OUT\n"
    "                                      apply a 3D LUT: 0 nearest, 1 trilinear, 2 tetrahedral\n"
    "  orvex vp hdr2sdr --pq|--hlg [--device cpu|opencl] [--resources DIR] IN OUT\n"
    "                                      tone-map BT.2020 PQ or HLG to BT.709 SDR\n"
    "  orvex vp hdr sdr2hdr --pq|--hlg [--sdr 709|601-625|601-525] | pq2hlg | hlg2pq\n"
    "               [--device cpu|opencl] IN OUT  SDR to BT.2020 PQ or HLG, or PQ <-> HLG (1000 cd/m2);\n"
    "                                      16-bit PNG or TIFF out keeps 16 bits\n"
    "  orvex vp whitebalance [--pick X,Y | --colour RRGGBB] IN\n"
    "                                      print the temperature and tint that neutralise the\n"
    "                                      picture, the picked pixel or the reference colour\n"
    "                                      vp commands run on the CPU unless --device opencl\n";

namespace {

enum Exit { kOk = 0, kUsage = 1, kInput = 2, kFailed = 3 };

int Usage(const std::string& message) {
    std::fprintf(stderr, "orvex vp: %s\n\nusage:\n%s", message.c_str(), kVisualHelp);
    return kUsage;
}

bool ParseSize(const std::string& s, int* w, int* h) {
    char tail = 0;
    return std::sscanf(s.c_str(), "%dx%d%c", w, h, &tail) == 2 && *w > 0 && *h > 0 && *w <= 16384 && *h <= 16384;
}

bool ParseInt(const std::string& s, int lo, int hi, int* v) {
    char* end = nullptr;
    const long n = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end || n < lo || n > hi) return false;
    *v = static_cast<int>(n);
    return true;
}

bool ParseNumber(const std::string& s, double* v) {
    char* end = nullptr;
    *v = std::strtod(s.c_str(), &end);
    return !s.empty() && !*end && std::isfinite(*v);
}

bool ParseRect(const std::string& s, orvex::fxRectf* r) {
    char tail = 0;
    return std::sscanf(s.c_str(), "%f,%f,%f,%f%c", &r->x, &r->y, &r->width, &r->height, &tail) == 4 &&
           std::isfinite(r->x) && std::isfinite(r->y) && r->width > 0 && r->height > 0;
}


struct Options : VpOptions {
    std::string device = "cpu";
    std::vector<std::string> files;
};

// "X,Y" or, when one value may stand for both, "V".
bool ParsePair(const std::string& s, bool single, orvex::fxPointd* p) {
    char tail = 0;
    if (std::sscanf(s.c_str(), "%lf,%lf%c", &p->x, &p->y, &tail) == 2) return std::isfinite(p->x) && std::isfinite(p->y);
    if (single && std::sscanf(s.c_str(), "%lf%c", &p->x, &tail) == 1 && std::isfinite(p->x)) {
        p->y = p->x;
        return true;
    }
    return false;
}

// Parses the options after the operation name; an empty string means they are fine.
std::string Parse(int argc, char** argv, Options* o) {
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        const std::string v = hasValue ? argv[i + 1] : "";
        if (a == "--size") {
            if (!hasValue || !ParseSize(v, &o->width, &o->height)) return "--size wants WxH, for example 1280x720";
            ++i;
        } else if (a == "--type") {
            if (!hasValue || !ParseInt(v, 0, 4, &o->type)) return "--type wants 0 to 4";
            ++i;
        } else if (a == "--quality") {
            if (!hasValue || !ParseInt(v, 0, 3, &o->quality)) return "--quality wants 0 to 3";
            ++i;
        } else if (a == "--quarter") {
            if (!hasValue || !ParseInt(v, 0, 4, &o->quarter)) return "--quarter wants 0 to 4";
            ++i;
        } else if (a == "--angle") {
            if (!hasValue || !ParseNumber(v, &o->angle)) return "--angle wants a number of degrees";
            o->hasAngle = true;
            ++i;
        } else if (a == "--rect") {
            if (!hasValue || !ParseRect(v, &o->rect)) return "--rect wants X,Y,W,H as fractions, W and H above 0";
            o->hasRect = true;
            ++i;
        } else if (a == "--device") {
            if (!hasValue || (v != "cpu" && v != "opencl")) return "--device is cpu or opencl";
            o->device = v;
            ++i;
        } else if (a == "--mode") {
            if (!hasValue || !ParseInt(v, 0, 255, &o->mode)) return "--mode wants a blend mode 0 to 23";
            ++i;
        } else if (a == "--opacity") {
            if (!hasValue || !ParseNumber(v, &o->opacity) || o->opacity < 0 || o->opacity > 1)
                return "--opacity wants 0 to 1";
            ++i;
        } else if (a == "--overlay-rect") {
            if (!hasValue || !ParseRect(v, &o->overlayRect)) return "--overlay-rect wants X,Y,W,H as fractions";
            ++i;
        } else if (a == "--anchor" || a == "--centre" || a == "--scale" || a == "--skew") {
            orvex::fxPointd* p = a == "--anchor" ? &o->anchor : a == "--centre" ? &o->centre : a == "--scale" ? &o->scale : &o->skew;
            if (!hasValue || !ParsePair(v, a == "--scale", p)) return a + " wants X,Y";
            ++i;
        } else if (a == "--rotation") {
            if (!hasValue || !ParseNumber(v, &o->rotation)) return "--rotation wants a number of degrees";
            ++i;
        } else if (a == "--premultiplied") {
            o->premultiplied = true;
        } else if (a == "--nearest") {
            o->nearest = true;
        } else if (a == "--horizontal") {
            o->flip = 1;
        } else if (a == "--vertical") {
            o->flip = 2;
        } else if (a.rfind("--", 0) == 0) {
            return "unknown option " + a;
        } else {
            o->files.push_back(a);
        }
    }
    if (o->op == "blend" || o->op == "transform") {
        if (o->files.size() != 3) return o->op + " needs an overlay, a background and an output file";
        return {};
    }
    if (o->files.size() != 2) return o->op + " needs an input and an output file";
    return VpProblem(*o);
}

// blend and transform: the overlay composed onto the background, into a picture of the
// background's size.
int Compose(const Options& o) {
    cv::Mat overlay, background;
    for (int k = 0; k < 2; ++k) {
        if (!ReadBGRA(o.files[k], k == 0 ? &overlay : &background)) {
            std::fprintf(stderr, "orvex vp: cannot read a picture from %s\n", o.files[k].c_str());
            return kInput;
        }
    }
    cv::Mat output(background.size(), CV_8UC4, cv::Scalar::all(0));
    std::unique_ptr<zrp::ATLUFactory> factory;
    if (!DeviceFactory(o.device, &factory)) return kInput;
    std::unique_ptr<orvex::IVisualProcess, void (*)(orvex::IVisualProcess*)> vp(CreateVisualProcess(),
                                                                                 ReleaseVisualProcess);
    if (!vp) {
        std::fprintf(stderr, "orvex vp: cannot create the visual-processing object\n");
        return kFailed;
    }
    orvex::ResultCode r = RunOnDevice(factory.get(), *vp, {FrameOf(overlay), FrameOf(background)}, FrameOf(output),
                                      [&](std::vector<orvex::EffectFrame>& in, orvex::EffectFrame& out) {
                                          return VpCompose(*vp, o, in[0], in[1], out);
                                      });
    if (r != orvex::Ok) {
        std::fprintf(stderr, "orvex vp: %s failed (result %d)\n", o.op.c_str(), static_cast<int>(r));
        return kFailed;
    }
    if (!WritePicture(o.files[2], output)) {
        std::fprintf(stderr, "orvex vp: cannot write %s\n", o.files[2].c_str());
        return kInput;
    }
    return kOk;
}

}  // namespace

int VisualCommand(int argc, char** argv) {
    if (argc < 1) return Usage("vp needs an operation: resize, crop, rotate, flip, convert, blend, transform, lut, hdr2sdr or whitebalance");
    if (std::string(argv[0]) == "convert") return ConvertCommand(argc - 1, argv + 1);
    Options o;
    o.op = argv[0];
    if (o.op == "lut" || o.op == "hdr2sdr" || o.op == "hdr" || o.op == "whitebalance") return ColourCommand(argc, argv);
    if (o.op != "resize" && o.op != "crop" && o.op != "rotate" && o.op != "flip" && o.op != "blend" &&
        o.op != "transform")
        return Usage("unknown vp operation " + o.op);
    if (const std::string problem = Parse(argc - 1, argv + 1, &o); !problem.empty()) return Usage(problem);
    if (o.op == "blend" || o.op == "transform") return Compose(o);

    cv::Mat input;
    if (!ReadBGRA(o.files[0], &input)) {
        std::fprintf(stderr, "orvex vp: cannot read a picture from %s\n", o.files[0].c_str());
        return kInput;
    }
    int outW = 0, outH = 0;
    VpOutputSize(o, input.cols, input.rows, &outW, &outH);
    const cv::Size size(outW, outH);
    cv::Mat output(size, CV_8UC4, cv::Scalar::all(0));

    // The factory outlives the visual-processing object that points at it.
    std::unique_ptr<zrp::ATLUFactory> factory;
    if (!DeviceFactory(o.device, &factory)) return kInput;
    std::unique_ptr<orvex::IVisualProcess, void (*)(orvex::IVisualProcess*)> vp(CreateVisualProcess(),
                                                                                 ReleaseVisualProcess);
    if (!vp) {
        std::fprintf(stderr, "orvex vp: cannot create the visual-processing object\n");
        return kFailed;
    }
    orvex::ResultCode r = RunOnDevice(factory.get(), *vp, {FrameOf(input)}, FrameOf(output),
                                      [&](std::vector<orvex::EffectFrame>& in, orvex::EffectFrame& out) {
                                          return VpApply(*vp, o, in[0], out);
                                      });
    if (r != orvex::Ok) {
        std::fprintf(stderr, "orvex vp: %s failed (result %d)\n", o.op.c_str(), static_cast<int>(r));
        return kFailed;
    }
    if (!WritePicture(o.files[1], output)) {
        std::fprintf(stderr, "orvex vp: cannot write %s\n", o.files[1].c_str());
        return kInput;
    }
    return kOk;
}

bool DeviceFactory(const std::string& device, std::unique_ptr<zrp::ATLUFactory>* factory) {
    if (device != "opencl") return true;
    orvexhost::KitOptions options;
    options.opengl = false;
    options.openclOnCpu = true;  // --device opencl takes a CPU OpenCL device too
    *factory = orvexhost::MakeFactory(options);
    if (!*factory) std::fprintf(stderr, "orvex vp: no OpenCL device found; use --device cpu\n");
    return *factory != nullptr;
}

}  // namespace orvexcli
