// The blend and transform operations on OpenCL textures (PoCL here) against their CPU paths on the
// same frames, and the ground truths that only the GPU path has (the one-pixel feather, BlendMask2).
//
// Tolerances: the CPU blends bytes through the blend tables (products rounded, the straight mix
// truncated, screen and overlay scaled by 256 where the formula divides by 255), the kernels blend
// in float and round once, so a blended byte may differ by up to 3; a plain sample or copy by 1.
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "frames.h"
#include "host/kit/kit.h"
#include "gpu/GpuDispatch.h"
#include "log_capture.h"
#include "visual/BlendOps.h"
#include "visual/VisualProcess.h"

namespace orvex {
namespace {

using orvextest::HostFrame;
using orvextest::LogCapture;

zrp::ATLUFactory* SharedFactory() {
    static const std::unique_ptr<zrp::ATLUFactory> factory = [] {
        orvexhost::KitOptions options;
        options.opengl = false;
        options.openclOnCpu = true;
        return orvexhost::MakeFactory(options);
    }();
    return factory.get();
}

const fxPointd kCentre{0.5, 0.5};

HostFrame Random(int w, int h, uint32_t seed, bool opaque, bool premultiplied = false) {
    HostFrame f = orvextest::RandomFrame(w, h, seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            cv::Vec4b& p = f.image.at<cv::Vec4b>(y, x);
            if (opaque) p[3] = 255;
            if (premultiplied)
                for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(std::lround(p[c] * p[3] / 255.0));
        }
    return f;
}

// A smooth opaque picture: bilinear mixes of neighbours then differ by little between devices.
HostFrame Smooth(int w, int h) {
    HostFrame f = orvextest::SolidFrame(w, h, cv::Scalar::all(0));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            f.image.at<cv::Vec4b>(y, x) = cv::Vec4b(static_cast<uint8_t>(40 + 3 * x), static_cast<uint8_t>(30 + 4 * y),
                                                    static_cast<uint8_t>(200 - 2 * x - y), 255);
    return f;
}

struct Diff {
    int max = 0;
    std::string first;
};

// Bytes of a and b where mask (8-bit, one channel) is set, or everywhere without a mask.
Diff Compare(const cv::Mat& a, const cv::Mat& b, int tol, const cv::Mat& mask = cv::Mat()) {
    Diff d;
    for (int y = 0; y < a.rows; ++y)
        for (int x = 0; x < a.cols; ++x) {
            if (!mask.empty() && !mask.at<uint8_t>(y, x)) continue;
            const cv::Vec4b p = a.at<cv::Vec4b>(y, x), q = b.at<cv::Vec4b>(y, x);
            for (int c = 0; c < 4; ++c) {
                const int e = std::abs(p[c] - q[c]);
                d.max = std::max(d.max, e);
                if (e > tol && d.first.empty()) {
                    std::ostringstream s;
                    s << "(" << x << "," << y << ") cpu " << p << " opencl " << q;
                    d.first = s.str();
                }
            }
        }
    return d;
}

class BlendOpenCL : public ::testing::Test {
protected:
    void SetUp() override {
        factory_ = SharedFactory();
        if (!factory_) GTEST_SKIP() << "no OpenCL device (install pocl-opencl-icd)";
        ASSERT_EQ(vp_.SetATLUFactory(factory_), Ok);
    }
    void TearDown() override { g_atlu_factory = nullptr; }

    // The texture twin of a host frame, without host memory so that only the GPU path can run.
    EffectFrame Up(const HostFrame& f) {
        EffectFrame g = *f.frame;
        g.data[0] = nullptr;
        g.texture = orvexhost::UploadFrame(*factory_, *f.frame);
        EXPECT_TRUE(g.texture);
        return g;
    }
    cv::Mat Down(const EffectFrame& g) {
        HostFrame h = orvextest::SolidFrame(static_cast<int>(g.width[0]), static_cast<int>(g.height[0]), cv::Scalar::all(0));
        EXPECT_TRUE(g.texture && orvexhost::DownloadFrame(*g.texture, *h.frame));
        return h.image;
    }

    // One operation given its input frames and its output, on either path.
    using Op = std::function<ResultCode(const std::vector<const EffectFrame*>& in, EffectFrame& out)>;

    // Runs `op` on the host frames and on their texture twins into outputs of `size` that start as
    // `fill`, and expects the two pictures within `tol` per byte where `mask` is set (everywhere
    // without one).
    void ExpectBothPathsAgree(std::initializer_list<const HostFrame*> inputs, cv::Size size, const Op& op, int tol,
                              const std::string& what, const cv::Mat& mask = cv::Mat(),
                              cv::Scalar fill = cv::Scalar::all(0)) {
        std::vector<const EffectFrame*> host, gpuIn;
        std::vector<EffectFrame> textures;
        textures.reserve(inputs.size());
        for (const HostFrame* f : inputs) {
            host.push_back(f->frame.get());
            textures.push_back(Up(*f));
        }
        for (const EffectFrame& t : textures) gpuIn.push_back(&t);
        HostFrame cpu = orvextest::SolidFrame(size.width, size.height, fill);
        HostFrame gpu = orvextest::SolidFrame(size.width, size.height, fill);
        EffectFrame gout = Up(gpu);
        ASSERT_EQ(op(host, *cpu.frame), Ok) << what << " on the CPU";
        ASSERT_EQ(op(gpuIn, gout), Ok) << what << " on OpenCL";
        const Diff d = Compare(cpu.image, Down(gout), tol, mask);
        EXPECT_LE(d.max, tol) << what << ": " << d.first;
    }

    zrp::ATLUFactory* factory_ = nullptr;
    VisualProcess vp_;
};

// Output pixels whose centre maps into the overlay at least `band` pixels from its border, or
// clearly outside it: where an upright overlay's edge is drawn differently (a hard edge on the
// GPU, a transparent-neighbour mix on the CPU) is left out.
cv::Mat AwayFromEdges(int Wo, int Ho, int Wd, int Hd, fxPointd anchor, fxPointd centre, double theta, double sx,
                      double sy, double kx, double ky, double band) {
    PlacementGeometry p;
    EXPECT_TRUE(MakePlacement(Wo, Ho, Wd, Hd, anchor.x, anchor.y, centre.x, centre.y, theta, sx, sy, kx, ky, &p));
    cv::Matx23d inv;
    cv::invertAffineTransform(p.toBackground, inv);
    cv::Mat mask(Hd, Wd, CV_8UC1, cv::Scalar(0));
    for (int y = 0; y < Hd; ++y)
        for (int x = 0; x < Wd; ++x) {
            const double u = inv(0, 0) * (x + 0.5) + inv(0, 1) * (y + 0.5) + inv(0, 2);
            const double v = inv(1, 0) * (x + 0.5) + inv(1, 1) * (y + 0.5) + inv(1, 2);
            const bool inside = u >= band && v >= band && u <= Wo - band && v <= Ho - band;
            const bool outside = u < -band || v < -band || u > Wo + band || v > Ho + band;
            mask.at<uint8_t>(y, x) = inside || outside ? 255 : 0;
        }
    return mask;
}

TEST_F(BlendOpenCL, ProgramsAreInTheTable) {
    LogCapture cap;  // a program that does not build logs the compiler's words
    for (const char* name : {"MAIN", "MAIN_BaseBack", "CenterAlignBlend", "CenterAlignBlend_backBlank", "MAIN1",
                             "Motion", "solidColorBlend", "BlendAndTransform", "BlendAndTransform_backBlank",
                             "Transform", "BlendMask", "BlendMask2", "overlay"})
        EXPECT_EQ(EnsureAlgorithmRegistered(name), 0) << name << "\n" << cap.Dump();
}

// --- the blend modes, per form ----------------------------------------------------------------------------

struct ModeCase {
    int mode;
    int tolerance;
};

// Every mode in both overlay kinds, at full and at 80 % opacity, over an opaque background.
const ModeCase kTransformModes[] = {{0, 2}, {2, 3}, {5, 3}, {8, 3}, {14, 2}, {19, 1}, {20, 1}, {22, 1}, {23, 2}, {18, 2}};

TEST_F(BlendOpenCL, BlendAndTransformModesMatchTheCpu) {
    const HostFrame bg = Random(40, 24, 2, true);
    for (int pre : {0, 1}) {
        const HostFrame ovl = Random(40, 24, 1, false, pre != 0);
        for (const ModeCase& m : kTransformModes)
            for (double opacity : {1.0, 0.8})
                ExpectBothPathsAgree(
                    {&ovl, &bg}, {40, 24},
                    [&](const auto& in, EffectFrame& out) {
                        return vp_.BlendAndTransform(*in[0], kCentre, *in[1], kCentre, false, out, m.mode, 0, opacity,
                                                     pre, 1, 0, 1, 1, 0, 0);
                    },
                    m.tolerance,
                    "mode " + std::to_string(m.mode) + " pre " + std::to_string(pre) + " opacity " +
                        std::to_string(opacity));
    }
}

TEST_F(BlendOpenCL, BlendModesMatchTheCpu) {
    const ModeCase modes[] = {{0, 2}, {2, 3}, {5, 3}, {8, 3}, {14, 3}, {19, 1}, {20, 1}, {22, 1}, {23, 2}, {18, 2}};
    const HostFrame bg = Random(32, 20, 4, true);
    const fxRectf all{0, 0, 1, 1};
    for (int pre : {0, 1}) {
        const HostFrame ovl = Random(32, 20, 3, false, pre != 0);
        for (const ModeCase& m : modes)
            ExpectBothPathsAgree(
                {&ovl, &bg}, {32, 20},
                [&](const auto& in, EffectFrame& out) {
                    return vp_.Blend(*in[0], all, *in[1], all, out, 1, m.mode, 0.8, pre);
                },
                m.tolerance, "mode " + std::to_string(m.mode) + " pre " + std::to_string(pre));
    }
}

TEST_F(BlendOpenCL, SolidColorModesMatchTheCpu) {
    const ModeCase modes[] = {{0, 2}, {2, 3}, {5, 3}, {8, 3}, {14, 3}, {19, 1}, {20, 1}, {22, 0}, {23, 2}, {18, 2}};
    for (int pre : {0, 1}) {
        const HostFrame ovl = Random(24, 16, 5, false, pre != 0);
        for (const ModeCase& m : modes)
            ExpectBothPathsAgree(
                {&ovl}, {24, 16},
                [&](const auto& in, EffectFrame& out) {
                    return vp_.solidColorBlend(*in[0], out, 40, 120, 220, 255, m.mode, 0.8, pre);
                },
                m.tolerance, "mode " + std::to_string(m.mode) + " pre " + std::to_string(pre));
    }
}

TEST_F(BlendOpenCL, OverlayModesMatchTheCpu) {
    // The CPU computes the kernel's four-channel blend in float: one rounding apart at most.
    const HostFrame bg = Random(30, 18, 7, false);
    for (int pre : {0, 1}) {
        const HostFrame ovl = Random(30, 18, 6, false, pre != 0);
        for (int mode : {0, 2, 3, 5, 8, 9, 11, 14, 19, 20, 21, 22, 23, 18})
            ExpectBothPathsAgree(
                {&bg, &ovl}, {30, 18},
                [&](const auto& in, EffectFrame& out) { return vp_.overlay(*in[0], *in[1], out, mode, 0.7f, 0, pre); },
                1, "mode " + std::to_string(mode) + " pre " + std::to_string(pre));
    }
}

// --- one picture whatever the path: every mode on frames that sit on the thresholds -------------------

// The overlay and background of a threshold frame, 16 x 16 so that a quarter turn maps the overlay
// onto itself. Kind 0: the overlay over its own colour complement, each channel summing to 253,
// 254 or 255 with the background's (hard mix turns between 253 and 254); kind 1: channels of 0
// and 255 against 0 and 255 in every pairing (transparent black among the backgrounds). Alpha 0
// or 255 in both (a premultiplied overlay has no colour where it is 0). With `even` the overlay's
// channels are even, so that the half weight of a turned overlay's one-pixel fade is a whole byte
// on both paths.
struct ThresholdFrames {
    HostFrame ovl, bg;
};

ThresholdFrames MakeThresholdFrames(int kind, bool premultiplied, bool even) {
    ThresholdFrames f{orvextest::SolidFrame(16, 16, cv::Scalar::all(0)), orvextest::SolidFrame(16, 16, cv::Scalar::all(0))};
    std::mt19937 rng(31);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            cv::Vec4b& o = f.ovl.image.at<cv::Vec4b>(y, x);
            cv::Vec4b& b = f.bg.image.at<cv::Vec4b>(y, x);
            o[3] = (x + 2 * y) % 5 == 0 ? 0 : 255;
            b[3] = (3 * x + y) % 7 == 0 ? 0 : 255;
            for (int c = 0; c < 3; ++c) {
                if (kind == 0) {
                    o[c] = static_cast<uint8_t>(rng() & (even ? 0xfe : 0xff));
                    b[c] = static_cast<uint8_t>(std::clamp(253 + (x + y + c) % 3 - o[c], 0, 255));
                } else {
                    o[c] = (x >> (c % 2)) & 1 ? 255 : 0;
                    b[c] = ((y >> (c % 2)) ^ x) & 1 ? 255 : 0;
                }
                if (premultiplied && o[3] == 0) o[c] = 0;
            }
        }
    return f;
}

// One blend operation, given the overlay, the background and the output as host frames or as
// their texture twins.
struct BlendOp {
    const char* name;
    std::function<ResultCode(VisualProcess&, const EffectFrame& ovl, const EffectFrame& bg, EffectFrame& out, int mode,
                             int pre, double opacity)>
        run;
    bool turned;
};

const BlendOp kBlendOps[] = {
    {"Blend",
     [](VisualProcess& vp, const EffectFrame& o, const EffectFrame& b, EffectFrame& out, int mode, int pre, double op) {
         const fxRectf all{0, 0, 1, 1};
         return vp.Blend(o, all, b, all, out, 1, mode, op, pre);
     },
     false},
    {"BlendAndTransform",
     [](VisualProcess& vp, const EffectFrame& o, const EffectFrame& b, EffectFrame& out, int mode, int pre, double op) {
         return vp.BlendAndTransform(o, kCentre, b, kCentre, false, out, mode, 0, op, pre, 1, 0, 1, 1, 0, 0);
     },
     false},
    {"BlendAndTransform turned",
     [](VisualProcess& vp, const EffectFrame& o, const EffectFrame& b, EffectFrame& out, int mode, int pre, double op) {
         return vp.BlendAndTransform(o, kCentre, b, kCentre, false, out, mode, 0, op, pre, 1, 90, 1, 1, 0, 0);
     },
     true},
    {"CenterPointAlignBlend",
     [](VisualProcess& vp, const EffectFrame& o, const EffectFrame& b, EffectFrame& out, int mode, int pre, double op) {
         return vp.CenterPointAlignBlend(o, fxRectf{0, 0, 16, 16}, b, fxRectf{0, 0, 0, 0}, false, out, mode,
                                         static_cast<float>(op), pre, 0, 0, false);
     },
     false},
    {"solidColorBlend black",
     [](VisualProcess& vp, const EffectFrame& o, const EffectFrame&, EffectFrame& out, int mode, int pre, double op) {
         return vp.solidColorBlend(o, out, 0, 0, 0, 255, mode, op, pre);
     },
     false},
    {"solidColorBlend white",
     [](VisualProcess& vp, const EffectFrame& o, const EffectFrame&, EffectFrame& out, int mode, int pre, double op) {
         return vp.solidColorBlend(o, out, 255, 255, 255, 255, mode, op, pre);
     },
     false},
    {"solidColorBlend 1 127 254",
     [](VisualProcess& vp, const EffectFrame& o, const EffectFrame&, EffectFrame& out, int mode, int pre, double op) {
         return vp.solidColorBlend(o, out, 1, 127, 254, 255, mode, op, pre);
     },
     false},
    {"solidColorBlend clear 200 60 10",
     [](VisualProcess& vp, const EffectFrame& o, const EffectFrame&, EffectFrame& out, int mode, int pre, double op) {
         return vp.solidColorBlend(o, out, 200, 60, 10, 0, mode, op, pre);
     },
     false},
    {"overlay",
     [](VisualProcess& vp, const EffectFrame& o, const EffectFrame& b, EffectFrame& out, int mode, int pre, double op) {
         return vp.overlay(b, o, out, mode, static_cast<float>(op), 0, pre);
     },
     false},
};

TEST_F(BlendOpenCL, EveryModeAgreesWithTheCpuOnThresholdFrames) {
    // The same operation on host frames and on textures, every mode 0 to 23, straight and
    // premultiplied, at full and part opacity: within 2 per channel everywhere.
    for (const BlendOp& op : kBlendOps)
        for (int kind : {0, 1})
            for (int pre : {0, 1}) {
                const ThresholdFrames f = MakeThresholdFrames(kind, pre != 0, op.turned);
                for (double opacity : {1.0, 0.6})
                    for (int mode = 0; mode < 24; ++mode)
                        ExpectBothPathsAgree(
                            {&f.ovl, &f.bg}, {16, 16},
                            [&](const auto& in, EffectFrame& out) {
                                return op.run(vp_, *in[0], *in[1], out, mode, pre, opacity);
                            },
                            2,
                            std::string(op.name) + " kind " + std::to_string(kind) + " mode " + std::to_string(mode) +
                                " pre " + std::to_string(pre) + " opacity " + std::to_string(opacity));
            }
}

// --- geometry ----------------------------------------------------------------------------------------------

struct GeometryCase {
    const char* name;
    fxPointd anchor, centre;
    double theta, sx, sy, kx, ky;
};

const GeometryCase kGeometry[] = {{"upright", {0.5, 0.5}, {0.5, 0.5}, 0, 1, 1, 0, 0},
                                  {"half", {0.3, 0.6}, {0.4, 0.5}, 0, 0.5, 0.5, 0, 0},
                                  {"wide", {0.5, 0.5}, {0.5, 0.5}, 0, 1.5, 0.75, 0, 0},
                                  {"turned", {0.4, 0.5}, {0.5, 0.45}, 30, 1, 1, 0, 0},
                                  {"turned_scaled_skewed", {0.5, 0.5}, {0.55, 0.5}, -20, 0.8, 1.2, 0.2, 0}};

TEST_F(BlendOpenCL, BlendAndTransformGeometryMatchesTheCpu) {
    const HostFrame ovl = Smooth(40, 30), bg = Random(64, 48, 9, true);
    for (const GeometryCase& g : kGeometry) {
        // A turned overlay has the same one-pixel fade on both paths: compared to its last pixel.
        const cv::Mat mask = g.theta != 0 ? cv::Mat()
                                          : AwayFromEdges(40, 30, 64, 48, g.anchor, g.centre, g.theta, g.sx, g.sy,
                                                          g.kx, g.ky, 1.0);
        ExpectBothPathsAgree(
            {&ovl, &bg}, {64, 48},
            [&](const auto& in, EffectFrame& out) {
                return vp_.BlendAndTransform(*in[0], g.anchor, *in[1], g.centre, false, out, 0, 0, 1.0, 0, 1, g.theta,
                                             g.sx, g.sy, g.kx, g.ky);
            },
            2, g.name, mask);
    }
}

TEST_F(BlendOpenCL, TransformMatchesTheCpu) {
    const HostFrame picture = Smooth(40, 30);
    for (const GeometryCase& g : kGeometry)
        ExpectBothPathsAgree(
            {&picture}, {56, 40},
            [&](const auto& in, EffectFrame& out) {
                return vp_.Transform(*in[0], g.anchor, out, g.centre, 1, g.theta, g.sx, g.sy, 0, false, g.kx, g.ky);
            },
            1, g.name, AwayFromEdges(40, 30, 56, 40, g.anchor, g.centre, g.theta, g.sx, g.sy, g.kx, g.ky, 1.5),
            cv::Scalar::all(3));
}

TEST_F(BlendOpenCL, UprightUnitTransformCopiesTheOverlayInPlace) {
    const HostFrame ovl = Random(8, 6, 11, true), bg = Random(16, 12, 12, true);
    HostFrame gpu = orvextest::SolidFrame(16, 12, cv::Scalar::all(0));
    EffectFrame gout = Up(gpu);
    ASSERT_EQ(vp_.BlendAndTransform(Up(ovl), kCentre, Up(bg), kCentre, false, gout, 0, 0, 1.0, 0, 1, 0, 1, 1, 0, 0), Ok);
    const cv::Mat out = Down(gout);
    EXPECT_EQ(cv::norm(out(cv::Rect(4, 3, 8, 6)), ovl.image, cv::NORM_INF), 0);
    EXPECT_EQ(cv::norm(out(cv::Rect(0, 0, 16, 3)), bg.image(cv::Rect(0, 0, 16, 3)), cv::NORM_INF), 0);
}

TEST_F(BlendOpenCL, TurnedOverlayIsFeatheredOverOneOverlayPixel) {
    const HostFrame ovl = orvextest::SolidFrame(40, 40, cv::Scalar(200, 100, 50, 255));
    HostFrame gpu = orvextest::SolidFrame(80, 80, cv::Scalar::all(0));
    EffectFrame gout = Up(gpu);
    ASSERT_EQ(vp_.BlendAndTransform(Up(ovl), kCentre, EffectFrame{}, kCentre, true, gout, 0, 0, 1.0, 0, 1, 30, 1, 1, 0, 0),
              Ok);
    const cv::Mat out = Down(gout);
    EXPECT_EQ(out.at<cv::Vec4b>(40, 40)[3], 255);
    // Along the middle row the overlay coordinate advances cos 30 = 0.87 per pixel: one overlay
    // pixel of fade spans at most two output pixels between opaque and clear.
    int partial = 0;
    for (int x = 40; x < 80; ++x) {
        const int a = out.at<cv::Vec4b>(40, x)[3];
        partial += a > 0 && a < 255;
    }
    EXPECT_GE(partial, 1);
    EXPECT_LE(partial, 2);
}

TEST_F(BlendOpenCL, BlendAndTransformWithoutABackgroundTextureIsRefusedAtOnce) {
    const HostFrame ovl = Random(8, 8, 13, true), bg = Random(8, 8, 14, true);
    HostFrame gpu = orvextest::SolidFrame(8, 8, cv::Scalar::all(0));
    EffectFrame gout = Up(gpu);
    LogCapture cap;
    EXPECT_EQ(vp_.BlendAndTransform(Up(ovl), kCentre, *bg.frame, kCentre, false, gout, 0, 0, 1.0, 0, 1, 0, 1, 1, 0, 0),
              InvalidArgument);
    EXPECT_TRUE(cap.Has("background gpu frame is nullptr!!", "orvex:BlendAndTransform", 6)) << cap.Dump();
    EXPECT_EQ(cap.lines().size(), 1u) << "no dispatch was tried: " << cap.Dump();
}

TEST_F(BlendOpenCL, BlendRegionsMatchTheCpu) {
    const HostFrame ovl = Smooth(40, 32), bg = Random(48, 36, 15, true);
    const fxRectf cases[][2] = {{{0.25f, 0.25f, 0.5f, 0.5f}, {0.5f, 0, 0.5f, 0.5f}},
                                {{0.5f, 0, 1, 1}, {0, 0, 1, 1}},
                                {{0, 0, 1, 1}, {0.25f, 0.25f, 0.25f, 0.5f}}};
    for (const auto& c : cases)
        ExpectBothPathsAgree(
            {&ovl, &bg}, {48, 36},
            [&](const auto& in, EffectFrame& out) { return vp_.Blend(*in[0], c[0], *in[1], c[1], out, 1, 0, 1.0, 0); },
            1, std::to_string(c[0].x) + "," + std::to_string(c[1].x));
}

TEST_F(BlendOpenCL, CenterPointAlignBlendMatchesTheCpu) {
    const HostFrame ovl = Smooth(30, 24), bg = Random(48, 40, 16, true);
    struct Case {
        float offset;
        int mode;
        bool backBlank;
    };
    const fxRectf rect{4, 2, 20, 16}, pos{10, 12, 0, 0};
    for (const Case& c : {Case{0, 0, false}, Case{0, 2, false}, Case{0.5f, 0, false}, Case{0, 0, true}})
        ExpectBothPathsAgree(
            {&ovl, &bg}, {48, 40},
            [&](const auto& in, EffectFrame& out) {
                return vp_.CenterPointAlignBlend(*in[0], rect, *in[1], pos, c.backBlank, out, c.mode, 0.9f, 0, c.offset,
                                                 c.offset, false);
            },
            3, "offset " + std::to_string(c.offset) + " mode " + std::to_string(c.mode));
}

TEST_F(BlendOpenCL, MotionMatchesTheCpu) {
    const HostFrame picture = Smooth(40, 30);
    const fxRectf cases[][2] = {{{0, 0, 1, 1}, {0, 0, 1, 1}},
                                {{0.25f, 0.2f, 0.5f, 0.5f}, {0.1f, 0.1f, 0.8f, 0.6f}},
                                {{0, 0, 1, 1}, {0.5f, 0.5f, 0.5f, 0.5f}}};
    for (const auto& c : cases)
        ExpectBothPathsAgree(
            {&picture}, {48, 36}, [&](const auto& in, EffectFrame& out) { return vp_.Motion(*in[0], out, c[0], c[1]); },
            1, std::to_string(c[1].x), cv::Mat(), cv::Scalar::all(9));
}

TEST_F(BlendOpenCL, BlendMaskMatchesTheCpu) {
    const HostFrame ovl = Random(20, 16, 17, false), bg = Random(40, 32, 18, false);
    const fxRectf ro{0.25f, 0, 0.5f, 1}, rb{0.1f, 0.2f, 0.6f, 0.5f};
    ExpectBothPathsAgree(
        {&ovl, &bg}, {40, 32},
        [&](const auto& in, EffectFrame& out) { return vp_.BlendMask(*in[0], ro, *in[1], rb, out, 0); }, 1,
        "BlendMask");
}

TEST_F(BlendOpenCL, BlendMask2MixesByOneChannelTimesTheConstant) {
    const HostFrame first = Random(16, 8, 19, false), second = Random(16, 8, 20, false), alpha = Random(16, 8, 21, false);
    const EffectFrame g1 = Up(first), g2 = Up(second), ga = Up(alpha);
    struct Case {
        int channel, constAlpha;
    };
    for (const Case& c : {Case{3, 100}, Case{0, 50}, Case{2, 100}, Case{7, 100}, Case{3, 0}}) {
        HostFrame gpu = orvextest::SolidFrame(16, 8, cv::Scalar::all(0));
        EffectFrame gout = Up(gpu);
        ASSERT_EQ(vp_.BlendMask2(g1, g2, ga, c.channel, gout, c.constAlpha), Ok);
        const cv::Mat out = Down(gout);
        // BGRA bytes: channel 0 red (byte 2), 1 green, 2 blue (byte 0), 3 alpha, others red.
        const int byte = c.channel == 3 ? 3 : c.channel == 1 ? 1 : c.channel == 2 ? 0 : 2;
        int worst = 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x) {
                const double a = alpha.image.at<cv::Vec4b>(y, x)[byte] / 255.0 * c.constAlpha / 100.0;
                for (int k = 0; k < 4; ++k) {
                    const double want = first.image.at<cv::Vec4b>(y, x)[k] * a + (1 - a) * second.image.at<cv::Vec4b>(y, x)[k];
                    worst = std::max(worst, static_cast<int>(std::abs(out.at<cv::Vec4b>(y, x)[k] - want) + 0.5));
                }
            }
        EXPECT_LE(worst, 1) << "channel " << c.channel << " constalpha " << c.constAlpha;
        if (c.constAlpha == 0) {
            EXPECT_EQ(cv::norm(out, second.image, cv::NORM_INF), 0) << "constalpha 0 is the second";
        }
    }
}

TEST_F(BlendOpenCL, BaseOnBackFrameWindowMatchesTheCpu) {
    const HostFrame back = Smooth(48, 32);
    for (int type : {0, 1})
        for (int sampler : {0, 1})
            for (const cv::Size ovl : {cv::Size(16, 9), cv::Size(9, 16)})
                ExpectBothPathsAgree(
                    {&back}, {48, 32},
                    [&](const auto& in, EffectFrame& out) {
                        return vp_.BlendAndTransform_BaseOnBackFrame(*in[0], ovl.width, ovl.height, out, sampler, type);
                    },
                    sampler == 0 ? 0 : 1, "type " + std::to_string(type) + " sampler " + std::to_string(sampler));
}

TEST_F(BlendOpenCL, BaseOnBackFrameBlendMatchesTheCpu) {
    const HostFrame ovl = Smooth(24, 18), bg = Smooth(32, 24);
    const cv::Mat mask = AwayFromEdges(24, 18, 48, 40, kCentre, kCentre, 0, 0.8, 0.8, 0, 0, 1.0);
    for (int type : {0, 1})
        for (int mode : {0, 2})
            ExpectBothPathsAgree(
                {&ovl, &bg}, {48, 40},
                [&](const auto& in, EffectFrame& out) {
                    return vp_.BlendAndTransform_BaseOnBackFrame(*in[0], kCentre, *in[1], kCentre, false, out, mode, 0,
                                                                 0.9, 0, 1, 0, 0.8, 0.8, 0, 0, 1, type);
                },
                3, "type " + std::to_string(type) + " mode " + std::to_string(mode), mask);
}

}  // namespace
}  // namespace orvex
