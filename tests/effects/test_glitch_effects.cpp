// The glitch effects: the random engine against its published reference values, the draws, and
// pictures that depend on the frame position and nothing else.
#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>
#include <memory>
#include <random>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "effect_helpers.h"
#include "effects/glitch/GlitchEffects.h"
#include "effects/glitch/GlitchRandom.h"
#include "frames.h"
#include "imagecpu/SaturatingCasts.h"

using namespace orvex;
using namespace orvextest;

namespace {

template <class T>
std::unique_ptr<EffectSurface> Make() {
    return std::make_unique<T>();
}

struct Info {
    const char* name;
    std::unique_ptr<EffectSurface> (*make)();
};

const Info kGlitches[] = {
    {"glitch_box_shift", &Make<VideoEffectGlitchBoxShift>},
    {"glitch_chromatic_aberration", &Make<VideoEffectGlitchChromaticAberration>},
    {"glitch_fractal_box", &Make<VideoEffectGlitchFractalBox>},
};

cv::Mat RenderAt(EffectSurface& e, HostFrame& in, int64_t position) {
    HostFrame out = SolidFrame(in.image.cols, in.image.rows, cv::Scalar::all(0));
    EXPECT_EQ(Render(e, in, out, position), Ok);
    return out.image;
}

bool Same(const cv::Mat& a, const cv::Mat& b) { return cv::norm(a, b, cv::NORM_INF) == 0; }

}  // namespace

// MT19937-64 reference values (Matsumoto and Nishimura's mt19937-64.c; the C++ standard's
// check): seeded with 5489, the first output is 14514284786278117030 and the 10000th
// 9981545732273789042.
TEST(GlitchRandom, EngineMatchesTheReference) {
    GlitchRandom r(5489);
    EXPECT_EQ(r.Next(), 14514284786278117030ull);
    for (int i = 2; i < 10000; ++i) r.Next();
    EXPECT_EQ(r.Next(), 9981545732273789042ull);
}

TEST(GlitchRandom, Draws) {
    GlitchRandom r(42);
    // Bounds given the wrong way round are swapped, never undefined.
    int seen[3] = {};
    for (int i = 0; i < 3000; ++i) {
        const int64_t v = r.UniformInt(5, 3);
        ASSERT_GE(v, 3);
        ASSERT_LE(v, 5);
        ++seen[v - 3];
    }
    for (int s : seen) EXPECT_NEAR(s, 1000, 120);
    EXPECT_EQ(r.UniformInt(7, 7), 7);
    EXPECT_EQ(r.UniformInt(-3, -3), -3);
    for (int i = 0; i < 1000; ++i) {
        const float u = r.UniformReal(2, -1);
        ASSERT_GE(u, -1);
        ASSERT_LT(u, 2);
    }
    // normal(10, 3): mean and spread; sigma 0 gives the mean itself.
    double sum = 0, sum2 = 0;
    const int n = 200000;
    for (int i = 0; i < n; ++i) {
        const double v = r.Normal(10, 3);
        sum += v;
        sum2 += v * v;
    }
    const double mean = sum / n, sd = std::sqrt(sum2 / n - mean * mean);
    EXPECT_NEAR(mean, 10, 0.03);
    EXPECT_NEAR(sd, 3, 0.03);
    EXPECT_EQ(r.NormalInt(41.5f, 0), 42);   // trunc(41.5 + 0.5)
    EXPECT_EQ(r.NormalInt(-1.7f, 0), -1);   // trunc(-1.2)
    EXPECT_EQ(r.NormalInt(std::numeric_limits<float>::quiet_NaN(), 1), 0);
    EXPECT_EQ(r.NormalInt(FLT_MAX, FLT_MAX), int64_t{1} << 40);
    // A fresh engine with the same seed repeats its draws.
    GlitchRandom a(9), b(9);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(a.Normal(0, 1), b.Normal(0, 1));
}

TEST(GlitchEffects, DeclareNoPathButRenderOnTheCpu) {
    for (const Info& g : kGlitches) {
        auto e = g.make();
        bool cpu = true, cl = true, gl = true;
        e->GetSupportedPaths(&cpu, &cl, &gl);
        EXPECT_FALSE(cpu || cl || gl) << g.name;
        HostFrame in = RandomFrame(64, 48, 1);
        HostFrame out = SolidFrame(64, 48, cv::Scalar::all(0));
        EXPECT_EQ(Render(*e, in, out), Ok) << g.name;
        EXPECT_GT(cv::countNonZero(out.image.reshape(1)), 0) << g.name << " wrote nothing";
    }
}

// One position, one picture, whichever object renders it and in whatever order; the next
// position another picture; and in place like with two buffers.
TEST(GlitchEffects, PictureDependsOnlyOnThePosition) {
    for (const Info& g : kGlitches) {
        SCOPED_TRACE(g.name);
        HostFrame in = RandomFrame(320, 180, 6);
        auto e = g.make();
        const cv::Mat p7 = RenderAt(*e, in, 7).clone();
        const cv::Mat p8 = RenderAt(*e, in, 8).clone();
        EXPECT_TRUE(Same(RenderAt(*e, in, 7), p7));
        EXPECT_TRUE(Same(RenderAt(*g.make(), in, 7), p7));
        EXPECT_FALSE(Same(p7, p8));
        EXPECT_FALSE(Same(p7, in.image));
        HostFrame same = RandomFrame(320, 180, 6);
        ASSERT_EQ(Render(*e, same, same, 7), Ok);
        EXPECT_TRUE(Same(same.image, p7));
    }
}

TEST(GlitchBoxShift, NoBoxesCopies) {
    VideoEffectGlitchBoxShift e;
    ASSERT_EQ(SetI(e, "num_of_boxes", 0), Ok);
    HostFrame in = RandomFrame(50, 40, 2);
    EXPECT_TRUE(Same(RenderAt(e, in, 3), in.image));
    ASSERT_EQ(SetI(e, "num_of_boxes", -5), Ok);
    EXPECT_TRUE(Same(RenderAt(e, in, 3), in.image));
}

// With every variance 0 and equal bounds the box is fixed: on 40 x 30, width trunc(11 + 0.5),
// height trunc(3 + 1), left 10, top 15 and shift trunc(4 + 0.5); then a box clipped on the right.
TEST(GlitchBoxShift, MovesTheBoxByTheShift) {
    struct Case {
        float left, shift;
        int srcX, dstX, cols;  // the copied columns after clipping (cols 0: nothing)
    };
    const Case cases[] = {
        {0.25f, 0.1f, 10, 14, 11},
        {0.9f, -0.2f, 36, 29, 4},   // shift trunc(-8 + 0.5) = -7; the source runs out on the right
        {0.9f, 0.1f, 0, 0, 0},      // destination wholly outside
        {-0.1f, 0.2f, 0, 8, 8},     // left trunc(-4 + 0.5) = -3: columns 0..7 land on 8..15
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.left);
        VideoEffectGlitchBoxShift e;
        SetF(e, "base_box_width", 0.25f);
        SetF(e, "variant_box_width", 0);
        SetF(e, "min_box_height", 0.1f);
        SetF(e, "max_box_height", 0.1f);
        SetF(e, "base_box_horizontal_pos", c.left);
        SetF(e, "variant_box_horizontal_pos", 0);
        SetF(e, "min_box_vertical_pos", 0.5f);
        SetF(e, "max_box_vertical_pos", 0.5f);
        SetF(e, "base_box_shift", c.shift);
        SetF(e, "variant_box_shift", 0);
        HostFrame in = RandomFrame(40, 30, 8);
        cv::Mat expect = in.image.clone();
        if (c.cols) in.image(cv::Rect(c.srcX, 15, c.cols, 4)).copyTo(expect(cv::Rect(c.dstX, 15, c.cols, 4)));
        for (int64_t position : {0, 1, -99}) EXPECT_TRUE(Same(RenderAt(e, in, position), expect)) << position;
    }
    // variance 0 shifts every box by exactly trunc(W base_box_shift + 0.5).
    VideoEffectGlitchBoxShift e;
    SetI(e, "num_of_boxes", 20);
    SetF(e, "base_box_shift", 0.123f);
    SetF(e, "variant_box_shift", 0);
    for (int64_t s : e.Draw(5, 200, 100).shifts) EXPECT_EQ(s, 25);  // trunc(24.6 + 0.5)
}

// All four values 0: dx = dy = 1, so the masked channels still move by one pixel.
TEST(GlitchChromaticAberration, ZeroShiftsStillMoveOnePixel) {
    VideoEffectGlitchChromaticAberration e;
    for (const char* name : {"min_horizontal_shift", "max_horizontal_shift", "min_vertical_shift", "max_vertical_shift"})
        ASSERT_EQ(SetF(e, name, 0), Ok);
    HostFrame in = RandomFrame(30, 20, 4);
    for (int64_t position = 0; position < 6; ++position) {
        const auto d = e.Draw(position, 30, 20);
        ASSERT_EQ(std::abs(d.dx), 1);
        ASSERT_EQ(std::abs(d.dy), 1);
        ASSERT_GE(d.mask, 1);
        ASSERT_LE(d.mask, 7);
        const cv::Mat out = RenderAt(e, in, position);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 30; ++x) {
                const int sx = x - static_cast<int>(d.dx), sy = y - static_cast<int>(d.dy);
                const bool inside = sx >= 0 && sy >= 0 && sx < 30 && sy < 20;
                const cv::Vec4b p = At(in, x, y), s = inside ? At(in, sx, sy) : p;
                cv::Vec4b want = p;
                for (int c = 0; c < 3; ++c)
                    if (d.mask & (1 << c)) want[c] = s[c];
                ASSERT_EQ(out.at<cv::Vec4b>(y, x), want) << position << " at " << x << "," << y;
            }
    }
    // Equal bounds fix the size: trunc(100 0.1 + 1) = 11.
    SetF(e, "min_horizontal_shift", 0.1f);
    SetF(e, "max_horizontal_shift", 0.1f);
    EXPECT_EQ(std::abs(e.Draw(3, 100, 50).dx), 11);
}

TEST(GlitchFractalBox, NoiseTablesAndMap) {
    VideoEffectGlitchFractalBox a, b;
    const auto& V = a.ValueTable();
    const auto& P = a.IndexTable();
    ASSERT_EQ(V.size(), 2048u);
    ASSERT_EQ(P.size(), 4096u);
    for (int i = 0; i < 2048; ++i) {
        ASSERT_GE(V[i], 0);
        ASSERT_LT(V[i], 1);
        ASSERT_GE(P[i], 0);
        ASSERT_LE(P[i], 2047);
        ASSERT_EQ(P[i + 2048], P[i]);
    }
    EXPECT_EQ(V, b.ValueTable());
    EXPECT_EQ(P, b.IndexTable());

    const cv::Mat& map = a.NoiseMap(640, 360);
    EXPECT_EQ(map.size(), cv::Size(1920, 1080));
    double lo, hi;
    cv::minMaxLoc(map, &lo, &hi);
    EXPECT_EQ(hi, 1.0);
    EXPECT_GE(lo, 0.0);
    // A frame larger than the map doubles it around the frame.
    EXPECT_EQ(a.NoiseMap(2000, 1000).size(), cv::Size(4000, 2000));
    // No layers: a flat map, not a division by zero.
    SetI(b, "num_of_noise_layers", 0);
    cv::minMaxLoc(b.NoiseMap(64, 64), &lo, &hi);
    EXPECT_EQ(lo, 0.0);
    EXPECT_EQ(hi, 0.0);
}

// The dead zone: no displacement at all leaves the picture as it was.
TEST(GlitchFractalBox, DeadZoneKeepsThePicture) {
    VideoEffectGlitchFractalBox e;
    HostFrame in = RandomFrame(160, 90, 3);
    for (const char* name : {"horizontal_cast_scale", "vertical_cast_scale"}) SetF(e, name, 0);
    EXPECT_TRUE(Same(RenderAt(e, in, 11), in.image));
    SetF(e, "horizontal_cast_scale", 90);
    SetF(e, "vertical_cast_scale", 90);
    SetF(e, "horizontal_pos_threshold", 46);
    SetF(e, "horizontal_neg_threshold", -46);
    SetF(e, "vertical_pos_threshold", 46);
    SetF(e, "vertical_neg_threshold", -46);
    EXPECT_TRUE(Same(RenderAt(e, in, 11), in.image));
}

// The displacement written out plainly: each axis' window of the noise map cut as the position's
// engine draws it, scaled to the frame, through the dead-zone law, then sampled nearest with a
// black border. Equal stretch values share one window; different ones cut their own.
TEST(GlitchFractalBox, DisplacementMatchesThePlainSampling) {
    auto window = [](const cv::Mat& map, int64_t position, float sx, float sy, int w, int h) {
        const int mw = map.cols, mh = map.rows;
        const int64_t ww = std::clamp<int64_t>(TruncToInt64(mw / static_cast<double>(sx)), 1, mw);
        const int64_t wh = std::clamp<int64_t>(TruncToInt64(mh / static_cast<double>(sy)), 1, mh);
        GlitchRandom r(static_cast<uint64_t>(position));
        int64_t ox, oy;
        if (sx >= 2 && sy >= 2) {
            ox = r.UniformInt(0, mw / 2);
            oy = r.UniformInt(0, mh / 2);
        } else {
            ox = r.UniformInt(0, mw - ww);
            oy = r.UniformInt(0, mh - wh);
        }
        const cv::Rect rect(static_cast<int>(std::min(ox, mw - ww)), static_cast<int>(std::min(oy, mh - wh)),
                            static_cast<int>(ww), static_cast<int>(wh));
        cv::Mat out;
        cv::resize(map(rect), out, cv::Size(w, h), 0, 0, cv::INTER_NEAREST);
        return out;
    };
    auto law = [](float v, float cast, float pos, float neg) {
        float d = (v - 0.5f) * cast;
        if (neg <= d && d <= pos) d = 0;
        return d;
    };
    struct Case {
        float vx, vy;
        bool inPlace;
    };
    for (const Case c : {Case{5, 2, false}, Case{3, 1.5f, false}, Case{3, 1.5f, true}}) {
        SCOPED_TRACE("vertical stretch " + std::to_string(c.vx) + " x " + std::to_string(c.vy));
        VideoEffectGlitchFractalBox e;
        SetF(e, "vertical_map_stretch_x", c.vx);
        SetF(e, "vertical_map_stretch_y", c.vy);
        SetF(e, "vertical_cast_scale", 60);
        HostFrame in = RandomFrame(160, 90, 4);
        const int64_t position = 7;
        cv::Mat got;
        if (c.inPlace) {
            HostFrame same = RandomFrame(160, 90, 4);
            ASSERT_EQ(Render(e, same, same, position), Ok);
            got = same.image;
        } else {
            got = RenderAt(e, in, position);
        }
        const cv::Mat& map = e.NoiseMap(160, 90);
        const cv::Mat dh = window(map, position, 5, 2, 160, 90), dv = window(map, position, c.vx, c.vy, 160, 90);
        cv::Mat mx(90, 160, CV_32F), my(90, 160, CV_32F), expect;
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < 160; ++x) {
                mx.at<float>(y, x) = static_cast<float>(x) + law(dh.at<float>(y, x), 90, 20, -20);
                my.at<float>(y, x) = static_cast<float>(y) + law(dv.at<float>(y, x), 60, 20, -20);
            }
        cv::remap(in.image, expect, mx, my, cv::INTER_NEAREST, cv::BORDER_CONSTANT, cv::Scalar::all(0));
        EXPECT_TRUE(Same(got, expect));
        EXPECT_FALSE(Same(got, in.image)) << "the case displaces nothing";
    }
}

