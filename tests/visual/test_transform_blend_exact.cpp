// The BGRA transform-and-blend against a plain per-pixel reference kept here: the straightforward
// body the fast rows replaced, run serially. Every byte must match over turns, scales, skews,
// placements that leave the background, both samplers, the blend rules and opacities.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "imagecpu/BlendTables.h"
#include "imagecpu/LayerBlend.h"
#include "visual/BlendOps.h"

namespace orvex {
namespace {

// --- the reference ------------------------------------------------------------------------------------

struct Reference {
    const cv::Mat& o;
    cv::Mat& d;
    cv::Rect r;
    cv::Matx23d inv;
    bool bilinear, fade;
    int mode;
    uint8_t op;
    bool pre;
    const uint8_t* M = MulTable();
    const uint8_t* T = BlendModeTable(mode) >= 0 ? GetBlendTables().table(BlendModeTable(mode)) : nullptr;

    const uint8_t* At(int i, int j) const {
        static const uint8_t kNone[4] = {0, 0, 0, 0};
        if (i < 0 || j < 0 || i >= o.cols || j >= o.rows) return kNone;
        return o.ptr<uint8_t>(j) + 4 * i;
    }

    // The GPU feather: smoothstep over one overlay pixel at each border.
    static double EdgeFactor(double s, int size) {
        const double t0 = std::clamp(s, 0.0, 1.0), t1 = std::clamp(s - (size - 1), 0.0, 1.0);
        return (3.0 - 2.0 * t0) * t0 * t0 * (1.0 - (3.0 - 2.0 * t1) * t1 * t1);
    }

    void Sample(double sx, double sy, uint8_t* out) const {
        if (!(sx >= 0.0 && sy >= 0.0 && sx <= o.cols && sy <= o.rows)) {
            std::memset(out, 0, 4);
            return;
        }
        if (!bilinear) {
            std::memcpy(out, At(std::min(static_cast<int>(sx), o.cols - 1), std::min(static_cast<int>(sy), o.rows - 1)), 4);
        } else {
            const double cx = sx - 0.5, cy = sy - 0.5;
            const double fx0 = std::floor(cx), fy0 = std::floor(cy);
            const int i = static_cast<int>(fx0), j = static_cast<int>(fy0);
            const int fx = static_cast<int>((cx - fx0) * 256), fy = static_cast<int>((cy - fy0) * 256);
            const int w00 = (256 - fy) * (256 - fx), w10 = (256 - fy) * fx, w01 = fy * (256 - fx), w11 = fy * fx;
            // Under the fade the border pixels repeat past the edge, as an edge-clamped sampler reads.
            auto at = [&](int a, int b) {
                return fade ? At(std::clamp(a, 0, o.cols - 1), std::clamp(b, 0, o.rows - 1)) : At(a, b);
            };
            const uint8_t *p00 = at(i, j), *p10 = at(i + 1, j), *p01 = at(i, j + 1), *p11 = at(i + 1, j + 1);
            auto mix = [&](int c) { return (p00[c] * w00 + p10[c] * w10 + p01[c] * w01 + p11[c] * w11 + 32768) >> 16; };
            const int alpha = mix(3);
            out[3] = static_cast<uint8_t>(alpha);
            for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(alpha ? mix(c) : 0);
        }
        if (fade) {
            const double f = EdgeFactor(sx, o.cols) * EdgeFactor(sy, o.rows);
            for (int c = 0; c < 4; ++c) out[c] = static_cast<uint8_t>(std::clamp(std::lrint(out[c] * f), 0L, 255L));
        }
    }

    void TableOver(const uint8_t* s, uint8_t* px) const {
        if (s[3] == 0) return;
        const int a = M[op * 256 + s[3]];
        const uint8_t *Ma = M + a * 256, *Minv = M + (255 - a) * 256;
        for (int c = 0; c < 3; ++c) px[c] = static_cast<uint8_t>(std::min(255, Ma[T[px[c] * 256 + s[c]]] + Minv[px[c]]));
        px[3] = static_cast<uint8_t>(std::min(255, a + Minv[px[3]]));
    }

    void Run() const {
        for (int y = r.y; y < r.y + r.height; ++y) {
            uint8_t* px = d.ptr<uint8_t>(y) + 4 * r.x;
            const double py = y + 0.5;
            double sx = inv(0, 0) * (r.x + 0.5) + inv(0, 1) * py + inv(0, 2);
            double sy = inv(1, 0) * (r.x + 0.5) + inv(1, 1) * py + inv(1, 2);
            for (int x = 0; x < r.width; ++x, px += 4, sx += inv(0, 0), sy += inv(1, 0)) {
                uint8_t s[4];
                Sample(sx, sy, s);
                if (T) TableOver(s, px);
                else BlendOnePixel(s, px, mode, op, pre);
            }
        }
    }
};

// --- pictures -------------------------------------------------------------------------------------------

// Alphas of every kind: transparent (with colour left in it), opaque, and in between.
cv::Mat Overlay(int w, int h, uint32_t seed) {
    std::mt19937 rng(seed);
    cv::Mat m(h, w, CV_8UC4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            cv::Vec4b& p = m.at<cv::Vec4b>(y, x);
            for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(rng());
            const uint32_t k = rng() % 4;
            p[3] = k == 0 ? 0 : k == 1 ? 255 : static_cast<uint8_t>(rng());
        }
    return m;
}

// Opaque, translucent and transparent-black pixels.
cv::Mat Background(int w, int h, uint32_t seed) {
    std::mt19937 rng(seed);
    cv::Mat m(h, w, CV_8UC4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            cv::Vec4b& p = m.at<cv::Vec4b>(y, x);
            const uint32_t k = rng() % 4;
            for (int c = 0; c < 4; ++c) p[c] = k == 0 ? 0 : static_cast<uint8_t>(rng());
            if (k == 1) p[3] = 255;
        }
    return m;
}

struct Placement {
    double theta, scaleX, scaleY, skewX, skewY, anchorX, anchorY, centreX, centreY;
};

TEST(TransformBlendExact, EveryByteMatchesThePlainPerPixelBody) {
    const Placement placements[] = {
        {0, 1, 1, 0, 0, 0.5, 0.5, 0.5, 0.5},        {30, 0.8, 0.8, 0, 0, 0.5, 0.5, 0.5, 0.5},
        {-45, 1.3, 0.7, 0, 0, 0.3, 0.6, 0.5, 0.5},  {90, 1, 1, 0, 0, 0.5, 0.5, 0.2, 0.9},
        {137.5, 2.2, 1.9, 0.2, -0.1, 0.5, 0.5, 0.5, 0.5}, {200, 0.5, 0.9, 0, 0.3, 0.1, 0.1, 0.8, 0.3},
        {0, 1.5, 0.6, 0, 0, 0.5, 0.5, 0.0, 1.0},    {12, -0.9, 1.1, 0, 0, 0.5, 0.5, 0.5, 0.5},
    };
    // Normal (straight and premultiplied through the flag), the table modes, the hollow rules,
    // replace, and numbers routed onto normal.
    const int modes[] = {0, 2, 5, 9, 14, 18, 19, 20, 21, 22, 23, 30};
    const cv::Mat overlay = Overlay(61, 47, 7);
    // The larger background runs in parallel bands; the smaller one on the calling thread.
    for (const cv::Size size : {cv::Size(150, 110), cv::Size(40, 30)}) {
        const cv::Mat background = Background(size.width, size.height, 11);
        for (size_t g = 0; g < std::size(placements); ++g) {
            const Placement& q = placements[g];
            PlacementGeometry p;
            ASSERT_TRUE(MakePlacement(overlay.cols, overlay.rows, size.width, size.height, q.anchorX, q.anchorY,
                                      q.centreX, q.centreY, q.theta, q.scaleX, q.scaleY, q.skewX, q.skewY, &p));
            cv::Matx23d inv;
            cv::invertAffineTransform(p.toBackground, inv);
            const cv::Rect region = p.pixels() & cv::Rect(0, 0, size.width, size.height);
            for (int sampler : {0, 1})
                for (bool fade : {false, true})
                    for (int mode : modes)
                        for (int op : {255, 140, 0})
                            for (bool pre : {false, true}) {
                                cv::Mat want = background.clone(), got = background.clone();
                                Reference{overlay, want, region, inv, sampler != 0, fade, mode,
                                          static_cast<uint8_t>(op), pre}
                                    .Run();
                                TransformBlendBGRA(overlay, got, p.pixels(), inv, sampler, fade, mode,
                                                   static_cast<uint8_t>(op), pre);
                                ASSERT_EQ(cv::norm(want, got, cv::NORM_INF), 0.0)
                                    << "size " << size << " placement " << g << " sampler " << sampler << " fade "
                                    << fade << " mode " << mode << " opacity " << op << " premultiplied " << pre;
                            }
        }
    }
}

// Overlays wider than the background and fully opaque ones take the copy path for whole runs of
// pixels; a large frame in bands, at the turn and scale the benchmark uses.
TEST(TransformBlendExact, LargeOpaqueFrameMatches) {
    cv::Mat overlay = Overlay(320, 180, 3);
    for (int y = 0; y < overlay.rows; y += 2)
        for (int x = 0; x < overlay.cols; ++x) overlay.at<cv::Vec4b>(y, x)[3] = 255;
    const cv::Mat background = Background(300, 200, 5);
    for (int sampler : {0, 1})
        for (double theta : {30.0, -0.00001, 271.0}) {
            PlacementGeometry p;
            ASSERT_TRUE(MakePlacement(overlay.cols, overlay.rows, background.cols, background.rows, 0.5, 0.5, 0.5, 0.5,
                                      theta, 0.8, 0.8, 0, 0, &p));
            cv::Matx23d inv;
            cv::invertAffineTransform(p.toBackground, inv);
            const cv::Rect region = p.pixels() & cv::Rect(0, 0, background.cols, background.rows);
            cv::Mat want = background.clone(), got = background.clone();
            Reference{overlay, want, region, inv, sampler != 0, true, 0, 255, false}.Run();
            TransformBlendBGRA(overlay, got, p.pixels(), inv, sampler, true, 0, 255, false);
            ASSERT_EQ(cv::norm(want, got, cv::NORM_INF), 0.0) << "sampler " << sampler << " theta " << theta;
        }
}

}  // namespace
}  // namespace orvex
