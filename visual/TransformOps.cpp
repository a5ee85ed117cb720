// BlendAndTransform (and its two BaseOnBackFrame forms), Transform and TransformPoint, on host
// frames and on OpenCL textures, with the CPU placement geometry and transform samplers.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <opencv2/imgproc.hpp>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "corelog.h"
#include "imagecpu/BlendTables.h"
#include "imagecpu/CpuSupport.h"
#include "imagecpu/LayerBlend.h"
#include "imagecpu/RowBands.h"
#include "visual/AffineWarp.h"
#include "visual/BlendOps.h"
#include "visual/FramePlanes.h"
#include "visual/GpuTask.h"
#include "visual/TransformBlend16.h"
#include "visual/VisualProcess.h"

namespace orvex {

// --- placement geometry ----------------------------------------------------------------------------

cv::Rect PlacementGeometry::pixels() const {
    const cv::Rect2d& r = backgroundRegion;
    const int x0 = static_cast<int>(std::floor(r.x)), y0 = static_cast<int>(std::floor(r.y));
    const int x1 = static_cast<int>(std::ceil(r.x + r.width)), y1 = static_cast<int>(std::ceil(r.y + r.height));
    return cv::Rect(x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0));
}

bool MakePlacement(int Wo, int Ho, int Wb, int Hb, double ax, double ay, double bx, double by, double theta,
                   double scaleX, double scaleY, double skewX, double skewY, PlacementGeometry* g) {
    if (Wo < 1 || Ho < 1 || Wb < 1 || Hb < 1 || !g) return false;
    for (double v : {ax, ay, bx, by, theta, scaleX, scaleY, skewX, skewY})
        if (!std::isfinite(v) || std::abs(v) > 1e6) return false;
    const double rad = theta * 3.14159265359 / 180.0;
    double c = std::cos(rad), s = std::sin(rad);
    // A quarter turn is exact: cosine and sine of a multiple of 90 degrees are whole, so that the
    // turned overlay's pixel centres land on pixel centres and no neighbour bleeds in.
    const double quarters = theta / 90.0;
    if (std::abs(quarters - std::round(quarters)) * 90.0 < 1e-9) {
        const int q = static_cast<int>(std::fmod(std::round(quarters), 4.0) + 4) % 4;
        c = q == 0 ? 1 : q == 2 ? -1 : 0;
        s = q == 1 ? 1 : q == 3 ? -1 : 0;
    }
    const double sx = scaleX, sy = scaleY, kx = skewX, ky = skewY;
    const double a = c * sx + s * sx * ky, b = c * sy * kx + s * sy;
    const double cc = c * sx * ky - s * sx, d = c * sy - s * sy * kx;
    if (std::abs(a * d - b * cc) < 1e-12) return false;
    g->linear = cv::Matx22d(a, b, cc, d);

    const double Px = Wo * ax, Py = Ho * ay;
    double minX = 0, minY = 0;
    bool first = true;
    for (const cv::Point2d corner : {cv::Point2d(0, 0), cv::Point2d(Wo, 0), cv::Point2d(0, Ho), cv::Point2d(Wo, Ho)}) {
        const double u = corner.x - Px, v = corner.y - Py;
        const double X = a * u + b * v, Y = cc * u + d * v;
        minX = first ? X : std::min(minX, X);
        minY = first ? Y : std::min(minY, Y);
        first = false;
    }
    const double tx = -(a * Px + b * Py) - minX, ty = -(cc * Px + d * Py) - minY;
    const double as = std::abs(s), ac = std::abs(c);
    const double Bw = std::trunc(as * (std::abs(ky) * std::abs(sx) * Wo + std::abs(sy) * Ho) +
                                 ac * (std::abs(sx) * Wo + std::abs(kx) * std::abs(sy) * Ho));
    const double Bh = std::trunc(ac * (std::abs(ky) * std::abs(sx) * Wo + std::abs(sy) * Ho) +
                                 as * (std::abs(sx) * Wo + std::abs(kx) * std::abs(sy) * Ho));
    g->boxWidth = Bw;
    g->boxHeight = Bh;

    // The anchor: Q in the box, (Wb bx, Hb by) in the background.
    const double Qx = -minX, Qy = -minY, Ax = Wb * bx, Ay = Hb * by;
    const double x0 = std::clamp(Ax - Qx, 0.0, static_cast<double>(Wb));
    const double y0 = std::clamp(Ay - Qy, 0.0, static_cast<double>(Hb));
    const double ox = std::clamp(Qx - Ax, 0.0, Bw), oy = std::clamp(Qy - Ay, 0.0, Bh);
    double w = std::min(std::clamp(Bw - Qx + Ax, 0.0, static_cast<double>(Wb)) - x0, Wb - x0);
    double h = std::min(std::clamp(Bh - Qy + Ay, 0.0, static_cast<double>(Hb)) - y0, Hb - y0);
    w = std::max(0.0, std::min(w, Bw - ox));
    h = std::max(0.0, std::min(h, Bh - oy));
    g->backgroundRegion = cv::Rect2d(x0, y0, w, h);
    g->boxOrigin = cv::Point2d(ox, oy);
    g->matrix = cv::Matx23d(a, b, tx - ox, cc, d, ty - oy);
    g->toBackground = cv::Matx23d(a, b, tx - ox + x0, cc, d, ty - oy + y0);
    return true;
}

namespace {

// --- the BGRA transform-and-blend body ---------------------------------------------------------------

// How a sample meets its destination pixel. The table and normal rules leave the destination as
// it is for a transparent sample, so their rows pass over positions outside the overlay; the
// hollow rules and replace write there too and take every position.
enum class Rule { Table, NormalStraight, NormalPremultiplied, Other };

Rule RuleFor(int mode, bool premultiplied) {
    if (BlendModeTable(mode) >= 0) return Rule::Table;
    if (mode >= 19 && mode <= 22) return Rule::Other;  // hollow in, hollow out, background hollow in, replace
    return premultiplied ? Rule::NormalPremultiplied : Rule::NormalStraight;
}

class parallelTransformBlend : public cv::ParallelLoopBody {
    static constexpr int kTileRows = 8, kTileCols = 32;

public:
    parallelTransformBlend(const cv::Mat& ovl, cv::Mat& dst, const cv::Rect& region, const cv::Matx23d& inv,
                           int sampler, bool fade, int mode, uint8_t opacity, bool pre, int stripes)
        : o_(ovl), d_(dst), r_(region), inv_(inv), bilinear_(sampler != 0), fade_(fade), mode_(mode), op_(opacity),
          pre_(pre), stripes_(stripes) {
        switch (RuleFor(mode, pre)) {
        case Rule::Table: row_ = bilinear_ ? &parallelTransformBlend::Row<true, Rule::Table>
                                           : &parallelTransformBlend::Row<false, Rule::Table>; break;
        case Rule::NormalStraight:
            row_ = bilinear_ ? &parallelTransformBlend::Row<true, Rule::NormalStraight>
                             : &parallelTransformBlend::Row<false, Rule::NormalStraight>;
            break;
        case Rule::NormalPremultiplied:
            row_ = bilinear_ ? &parallelTransformBlend::Row<true, Rule::NormalPremultiplied>
                             : &parallelTransformBlend::Row<false, Rule::NormalPremultiplied>;
            break;
        case Rule::Other: row_ = bilinear_ ? &parallelTransformBlend::Row<true, Rule::Other>
                                           : &parallelTransformBlend::Row<false, Rule::Other>; break;
        }
    }

    // A turned overlay is read along slanted lines: one whole row touches a page of the overlay
    // per pixel or so. Tiles of a few rows by a few dozen pixels keep what they read in cache and
    // in the TLB; each row carries its position from tile to tile, so the sums stay as they were.
    void operator()(const cv::Range& range) const override {
        for (int s = range.start; s < range.end; ++s) {
            const cv::Range rows = BandRows(s, stripes_, r_.height);
            for (int y0 = rows.start; y0 < rows.end; y0 += kTileRows) {
                const int n = std::min(kTileRows, rows.end - y0);
                double sx[kTileRows], sy[kTileRows];
                for (int k = 0; k < n; ++k) {
                    const double py = r_.y + y0 + k + 0.5;
                    sx[k] = inv_(0, 0) * (r_.x + 0.5) + inv_(0, 1) * py + inv_(0, 2);
                    sy[k] = inv_(1, 0) * (r_.x + 0.5) + inv_(1, 1) * py + inv_(1, 2);
                }
                for (int x0 = 0; x0 < r_.width; x0 += kTileCols) {
                    const int x1 = std::min(r_.width, x0 + kTileCols);
                    for (int k = 0; k < n; ++k) (this->*row_)(r_.y + y0 + k, x0, x1, sx[k], sy[k]);
                }
            }
        }
    }

private:
    // The overlay and the blend parameters as plain values, copied into each row: the rows store
    // bytes, which may alias anything, so fields read through `this` would be read again per pixel.
    struct Source {
        const uint8_t* data;
        size_t step;
        int cols, rows;
        const uint8_t* Ptr(int i, int j) const {
            return data + step * static_cast<size_t>(j) + 4 * static_cast<size_t>(i);
        }
        // Pixel (i, j) of the overlay, transparent black outside it.
        const uint8_t* At(int i, int j) const {
            static const uint8_t kNone[4] = {0, 0, 0, 0};
            if (i < 0 || j < 0 || i >= cols || j >= rows) return kNone;
            return Ptr(i, j);
        }
    };
    struct Rules {
        const uint8_t* M;
        const uint8_t* T;
        int mode, op;
        bool pre;
    };

    // Smooth one-pixel ramp at both ends of one axis, s in overlay pixels from the left edge: the
    // GPU kernels' smoothstep feather, so that a turned overlay has one edge on either path.
    static constexpr double kFade = 1.0;
    static double EdgeFactor(double s, int size) {
        const double t0 = std::clamp(s / kFade, 0.0, 1.0), t1 = std::clamp((s - (size - kFade)) / kFade, 0.0, 1.0);
        return (3.0 - 2.0 * t0) * t0 * t0 * (1.0 - (3.0 - 2.0 * t1) * t1 * t1);
    }

    static void Fade(const Source& o, double sx, double sy, uint8_t* out) {
        const double f = EdgeFactor(sx, o.cols) * EdgeFactor(sy, o.rows);
        for (int c = 0; c < 4; ++c) out[c] = static_cast<uint8_t>(std::clamp(std::lrint(out[c] * f), 0L, 255L));
    }

    // The overlay at a position inside it, (sx, sy) in [0, cols] x [0, rows] (pixel (i, j) covers
    // [i, i+1) x [j, j+1)). Neighbours past the border are transparent, or with clampEdges the
    // border pixels again, as the GPU's edge-clamped sampler reads them under the fade.
    template <bool Bilinear>
    static void SampleInside(const Source& o, double sx, double sy, uint8_t* out, bool clampEdges = false) {
        if (!Bilinear) {
            const int i = std::min(static_cast<int>(sx), o.cols - 1), j = std::min(static_cast<int>(sy), o.rows - 1);
            std::memcpy(out, o.Ptr(i, j), 4);
            return;
        }
        // Centres sit at i + 0.5: the four around the position, 8-bit weights. cx > -1, so the
        // truncation stepped down below zero is the floor.
        const double cx = sx - 0.5, cy = sy - 0.5;
        int i = static_cast<int>(cx), j = static_cast<int>(cy);
        i -= cx < i;
        j -= cy < j;
        const int fx = static_cast<int>((cx - i) * 256), fy = static_cast<int>((cy - j) * 256);
        const int w00 = (256 - fy) * (256 - fx), w10 = (256 - fy) * fx, w01 = fy * (256 - fx), w11 = fy * fx;
        const uint8_t *p00, *p10, *p01, *p11;
        if (i >= 0 && j >= 0 && i + 1 < o.cols && j + 1 < o.rows) {
            p00 = o.Ptr(i, j);
            p10 = p00 + 4;
            p01 = p00 + o.step;
            p11 = p01 + 4;
        } else if (clampEdges) {
            const int i0 = std::clamp(i, 0, o.cols - 1), i1 = std::clamp(i + 1, 0, o.cols - 1);
            const int j0 = std::clamp(j, 0, o.rows - 1), j1 = std::clamp(j + 1, 0, o.rows - 1);
            p00 = o.Ptr(i0, j0), p10 = o.Ptr(i1, j0), p01 = o.Ptr(i0, j1), p11 = o.Ptr(i1, j1);
        } else {
            p00 = o.At(i, j), p10 = o.At(i + 1, j), p01 = o.At(i, j + 1), p11 = o.At(i + 1, j + 1);
        }
#if defined(__SSE2__)
        (void)w00, (void)w10, (void)w01, (void)w11;
        MixFour(p00, p10, p01, p11, fx, fy, out);
#else
        auto mix = [&](int c) { return (p00[c] * w00 + p10[c] * w10 + p01[c] * w01 + p11[c] * w11 + 32768) >> 16; };
        const int alpha = mix(3);
        out[3] = static_cast<uint8_t>(alpha);
        for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(alpha ? mix(c) : 0);
#endif
    }

    // SampleInside for a position in [1, cols - 1] x [1, rows - 1]: the centres around it are
    // all in the overlay, and with cx > 0 the truncation is the floor.
    template <bool Bilinear>
    static void SampleInterior(const Source& o, double sx, double sy, uint8_t* out) {
        if (!Bilinear) {
            std::memcpy(out, o.Ptr(static_cast<int>(sx), static_cast<int>(sy)), 4);
            return;
        }
        const double cx = sx - 0.5, cy = sy - 0.5;
        const int i = static_cast<int>(cx), j = static_cast<int>(cy);
        const int fx = static_cast<int>((cx - i) * 256), fy = static_cast<int>((cy - j) * 256);
        const uint8_t* p00 = o.Ptr(i, j);
        const uint8_t* p01 = p00 + o.step;
#if defined(__SSE2__)
        MixFour(p00, p00 + 4, p01, p01 + 4, fx, fy, out);
#else
        const int w00 = (256 - fy) * (256 - fx), w10 = (256 - fy) * fx, w01 = fy * (256 - fx), w11 = fy * fx;
        const uint8_t *p10 = p00 + 4, *p11 = p01 + 4;
        auto mix = [&](int c) { return (p00[c] * w00 + p10[c] * w10 + p01[c] * w01 + p11[c] * w11 + 32768) >> 16; };
        const int alpha = mix(3);
        out[3] = static_cast<uint8_t>(alpha);
        for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(alpha ? mix(c) : 0);
#endif
    }

#if defined(__SSE2__)
    // The same sum per channel, all four channels at once, taken by rows: p00 w00 + p10 w10 +
    // p01 w01 + p11 w11 = (256 - fy) top + fy bottom with top = (256 - fx) p00 + fx p10 (and bottom
    // likewise). Every value on the way is an integer below 2^24, so the float steps are exact.
    static void MixFour(const uint8_t* p00, const uint8_t* p10, const uint8_t* p01, const uint8_t* p11, int fx,
                        int fy, uint8_t* out) {
        auto load = [](const uint8_t* p) {
            uint32_t v;
            std::memcpy(&v, p, 4);
            return _mm_cvtsi32_si128(static_cast<int>(v));
        };
        const __m128i zero = _mm_setzero_si128();
        const __m128i wx = _mm_set1_epi32(static_cast<int>((static_cast<uint32_t>(fx) << 16) | (256u - fx)));
        const __m128i top = _mm_madd_epi16(_mm_unpacklo_epi8(_mm_unpacklo_epi8(load(p00), load(p10)), zero), wx);
        const __m128i bottom = _mm_madd_epi16(_mm_unpacklo_epi8(_mm_unpacklo_epi8(load(p01), load(p11)), zero), wx);
        const __m128 sum = _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(top), _mm_set1_ps(static_cast<float>(256 - fy))),
                                      _mm_mul_ps(_mm_cvtepi32_ps(bottom), _mm_set1_ps(static_cast<float>(fy))));
        const __m128i v = _mm_srli_epi32(_mm_cvttps_epi32(_mm_add_ps(sum, _mm_set1_ps(32768.0f))), 16);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(v, v), zero);
        uint32_t px = static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
        // A transparent mix leaves no colour.
        if ((px >> 24) == 0) px = 0;
        std::memcpy(out, &px, 4);
    }
#endif

    // The table modes with the separate-output rule: the output is a frame of its own, so its
    // alpha is the overlay's coverage over the background's, not the mode applied to alpha.
    static void TableOver(const Rules& b, const uint8_t* o, uint8_t* d) {
        if (o[3] == 0) return;
        const int a = b.M[b.op * 256 + o[3]];
        const uint8_t *Ma = b.M + a * 256, *Minv = b.M + (255 - a) * 256;
        for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(std::min(255, Ma[b.T[d[c] * 256 + o[c]]] + Minv[d[c]]));
        d[3] = static_cast<uint8_t>(std::min(255, a + Minv[d[3]]));
    }

    // The layer blender's pixel rule, with its common cases written out here.
    template <Rule R>
    static void Put(const Rules& b, const uint8_t* s, uint8_t* d) {
        // A transparent-black destination is blended like any other, as every other blend
        // operation and the GPU kernels blend it, so that a picture placed on a blank frame
        // is the same picture on either path.
        if (R == Rule::Table) {
            TableOver(b, s, d);
        } else if (R == Rule::NormalStraight) {
            const int a = b.M[b.op * 256 + s[3]];
            if (a == 0) return;
            if (a == 255) {
                d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255;
                return;
            }
            BlendOnePixel(s, d, b.mode, static_cast<uint8_t>(b.op), b.pre);
        } else if (R == Rule::NormalPremultiplied) {
            if (s[3] == 0) return;
            const uint8_t* Mop = b.M + b.op * 256;
            const int a = Mop[s[3]];
            const uint8_t* Minv = b.M + (255 - a) * 256;
            for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(std::min(255, Minv[d[c]] + Mop[s[c]]));
            d[3] = static_cast<uint8_t>(std::min(255, a + Minv[d[3]]));
        } else {
            BlendOnePixel(s, d, b.mode, static_cast<uint8_t>(b.op), b.pre);
        }
    }

    // Pixels [x0, x1) of the region's row y, (sx, sy) the position of pixel x0, left at x1's.
    // Positions step along the row by repeated addition from its first pixel; the rounding of
    // that sum is part of where each pixel samples, so it is kept as it is.
    template <bool Bilinear, Rule R>
    void Row(int y, int x0, int x1, double& startX, double& startY) const {
        uint8_t* d = d_.ptr<uint8_t>(y) + 4 * (r_.x + x0);
        double sx = startX, sy = startY;
        const double stepX = inv_(0, 0), stepY = inv_(1, 0);
        const Source o{o_.data, o_.step[0], o_.cols, o_.rows};
        const Rules b{M_, T_, mode_, op_, pre_};
        const bool fade = fade_;
        const double W = o.cols, H = o.rows;
        // Inside [1, size - 1] on both axes the fade's factor is exactly 1 and every pixel a
        // sample reads lies in the overlay.
        const double hiX = o.cols - kFade, hiY = o.rows - kFade;
        for (int x = x0; x < x1; ++x, d += 4, sx += stepX, sy += stepY) {
            uint8_t s[4];
            if (sx >= kFade && sy >= kFade && sx <= hiX && sy <= hiY) {
                // The slanted reads defeat the hardware prefetcher: ask for the two overlay rows
                // this row reads one tile on (the position there only roughly: a hint).
                const double ahX = sx + kTileCols * stepX, ahY = sy + kTileCols * stepY;
                if (ahX >= 0.0 && ahY >= 0.0 && ahX < W - 1 && ahY < H - 1) {
                    const uint8_t* ahead = o.Ptr(static_cast<int>(ahX), static_cast<int>(ahY));
                    __builtin_prefetch(ahead);
                    __builtin_prefetch(ahead + o.step);
                }
                SampleInterior<Bilinear>(o, sx, sy, s);
            } else if (!(sx >= 0.0 && sy >= 0.0 && sx <= W && sy <= H)) {
                // Transparent, faded or not.
                if (R != Rule::Other) continue;
                std::memset(s, 0, 4);
            } else {
                SampleInside<Bilinear>(o, sx, sy, s, fade);
                if (fade) Fade(o, sx, sy, s);
            }
            Put<R>(b, s, d);
        }
        startX = sx, startY = sy;
    }

    const cv::Mat& o_;
    cv::Mat& d_;
    cv::Rect r_;
    cv::Matx23d inv_;
    bool bilinear_, fade_;
    int mode_;
    uint8_t op_;
    bool pre_;
    int stripes_;
    const uint8_t* M_ = MulTable();
    const uint8_t* T_ = BlendModeTable(mode_) >= 0 ? GetBlendTables().table(BlendModeTable(mode_)) : nullptr;
    void (parallelTransformBlend::*row_)(int, int, int, double&, double&) const = nullptr;
};

// --- one plane of the YV12 transform -------------------------------------------------------------------

class parallelTransformPlane : public cv::ParallelLoopBody {
public:
    parallelTransformPlane(std::initializer_list<std::pair<const cv::Mat*, cv::Mat*>> planes, const cv::Matx23d& inv,
                           int black, int lo, int hi, int rows, int stripes)
        : inv_(inv), black_(black), lo_(lo), hi_(hi), rows_(rows), stripes_(stripes) {
        for (const auto& p : planes) planes_[count_++] = p;
    }

    void operator()(const cv::Range& range) const override {
        for (int s = range.start; s < range.end; ++s) {
            const cv::Range rows = BandRows(s, stripes_, rows_);
            for (int y = rows.start; y < rows.end; ++y)
                for (int k = 0; k < count_; ++k) Row(*planes_[k].first, *planes_[k].second, y);
        }
    }

private:
    void Row(const cv::Mat& src, cv::Mat& dst, int y) const {
        uint8_t* out = dst.ptr<uint8_t>(y);
        const double py = y + 0.5;
        for (int x = 0; x < dst.cols; ++x) {
            const double px = x + 0.5;
            const double cx = inv_(0, 0) * px + inv_(0, 1) * py + inv_(0, 2) - 0.5;
            const double cy = inv_(1, 0) * px + inv_(1, 1) * py + inv_(1, 2) - 0.5;
            int v = black_;
            if (cx > -1.0 && cy > -1.0 && cx < src.cols && cy < src.rows) {
                const double fx0 = std::floor(cx), fy0 = std::floor(cy);
                const int i = static_cast<int>(fx0), j = static_cast<int>(fy0);
                const int64_t fx = static_cast<int64_t>((cx - fx0) * 65536), fy = static_cast<int64_t>((cy - fy0) * 65536);
                const int64_t w[4] = {((65536 - fx) * (65536 - fy)) >> 16, (fx * (65536 - fy)) >> 16,
                                      ((65536 - fx) * fy) >> 16, (fx * fy) >> 16};
                const int ii[4] = {i, i + 1, i, i + 1}, jj[4] = {j, j, j + 1, j + 1};
                int64_t sum = 32768, inside = 0;
                for (int k = 0; k < 4; ++k) {
                    const bool in = ii[k] >= 0 && jj[k] >= 0 && ii[k] < src.cols && jj[k] < src.rows;
                    sum += w[k] * (in ? src.ptr<uint8_t>(jj[k])[ii[k]] : black_);
                    inside += in ? w[k] : 0;
                }
                // A position that reaches the picture by no more than a sliver stays black.
                if (inside > 128) v = static_cast<int>(sum >> 16);
            }
            out[x] = static_cast<uint8_t>(std::clamp(v, lo_, hi_));
        }
    }

    std::pair<const cv::Mat*, cv::Mat*> planes_[2];
    int count_ = 0;
    cv::Matx23d inv_;
    int black_, lo_, hi_, rows_, stripes_;
};

}  // namespace

void TransformBlendBGRA(const cv::Mat& overlay, cv::Mat& dst, const cv::Rect& region, const cv::Matx23d& inverse,
                        int sampler, bool fade, int mode, uint8_t opacity, bool premultiplied) {
    const cv::Rect r = region & cv::Rect(0, 0, dst.cols, dst.rows);
    if (r.empty()) return;
    const int stripes = BandsFor(static_cast<int64_t>(r.width) * r.height);
    const parallelTransformBlend body(overlay, dst, r, inverse, sampler, fade, mode, opacity, premultiplied, stripes);
    RunBands(body, stripes);
}

void TransformPlane(const cv::Mat& src, cv::Mat& dst, const cv::Matx23d& inverse, int black, int lo, int hi) {
    const int stripes = BandsFor(static_cast<int64_t>(dst.total()));
    const parallelTransformPlane body({{&src, &dst}}, inverse, black, lo, hi, dst.rows, stripes);
    RunBands(body, stripes);
}

namespace {

// --- shared checks and GPU arguments --------------------------------------------------------------------

bool SetFloat2(KernelArgs& args, const char* name, double x, double y) {
    const float v[2] = {static_cast<float>(x), static_cast<float>(y)};
    return args.params() && args.params()->SetParamValue(name, zrp::kParamFloat2, v, sizeof v) == 0;
}

bool HostBGRA8(const EffectFrame& f, FrameLayout* l) {
    return (f.pixel_fmt == BGRA32 || f.pixel_fmt == BGRA32_ALT) && LayoutOf(f, l) && HostPlanesOk(f, *l);
}

struct Geometry {
    fxPointd anchor, center;
    double theta, scaleX, scaleY, skewX, skewY;
};

// The transform arguments of the kernels; false when a value cannot be passed.
bool SetTransformArgs(KernelArgs& args, const Geometry& g) {
    bool ok = SetFloat2(args, "anchor_center", g.anchor.x, g.anchor.y) &&
              SetFloat2(args, "background_center", g.center.x, g.center.y);
    // The kernels turn by theta degrees; its sine and cosine are the frame's, not each pixel's.
    const float radians = static_cast<float>(g.theta) * 3.14159265358979323846f / 180.0f;
    ok = ok && SetFloat2(args, "rotation", std::sin(radians), std::cos(radians));
    args.Float("theta", static_cast<float>(g.theta)).Float("scale_x", static_cast<float>(g.scaleX));
    args.Float("scale_y", static_cast<float>(g.scaleY)).Float("skew_x", static_cast<float>(g.skewX));
    args.Float("skew_y", static_cast<float>(g.skewY));
    return ok && args.ok();
}

// The kernels divide by the scales: the geometry must be finite and keep the overlay a surface.
bool GeometryOk(const Geometry& g) {
    PlacementGeometry p;
    return MakePlacement(16, 16, 16, 16, g.anchor.x, g.anchor.y, g.center.x, g.center.y, g.theta, g.scaleX, g.scaleY,
                         g.skewX, g.skewY, &p) &&
           std::abs(g.scaleX) > 1e-9 && std::abs(g.scaleY) > 1e-9;
}

uint8_t OpacityByte(double opacity) {
    return static_cast<uint8_t>(std::clamp(std::isfinite(opacity) ? opacity : 0.0, 0.0, 1.0) * 255.0);
}

// The GPU transform blend of overlay over bgTexture (null: over transparent black) into out.
ResultCode TransformBlendGPU(const char* tag, const zrp::TexturePtr& overlay, const zrp::TexturePtr& bgTexture,
                             const zrp::TexturePtr& out, const Geometry& g, int mode, double opacity, int pre,
                             int sampleType) {
    TextureInfo to, ti, tb;
    if (!QueryTexture(out, &to) || !QueryTexture(overlay, &ti) || to.colorSpace != zrp::kColorSpaceBGRA ||
        ti.colorSpace != zrp::kColorSpaceBGRA ||
        (bgTexture && (!QueryTexture(bgTexture, &tb) || tb.colorSpace != zrp::kColorSpaceBGRA))) {
        ORVEX_LOG(6, tag, "input gpu frame is nullptr!!");
        return InvalidArgument;
    }
    KernelArgs args;
    if (!SetTransformArgs(args, g)) return Failed;
    args.Int("blendMode", mode).Float("kRender_Alpha", static_cast<float>(opacity));
    args.Int("ovlAlphaPreMul", pre).Int("sampleType", sampleType);
    if (!bgTexture) return RunVisualKernel(tag, "BlendAndTransform_backBlank", args, to, {overlay}, {out});
    return RunVisualKernel(tag, "BlendAndTransform", args, to, {overlay, bgTexture}, {out});
}

// BlendAndTransform of 16-bit host frames (overlay and output already of one format).
ResultCode BlendAndTransform16(const char* tag, const EffectFrame& overlay, const EffectFrame& background,
                               bool backBlank, EffectFrame& out, const TransformBlendArgs& a) {
    FrameLayout lo, lb, ld;
    if (!LayoutOf(overlay, &lo) || !HostPlanesOk(overlay, lo) || !LayoutOf(out, &ld) || !HostPlanesOk(out, ld)) {
        ORVEX_LOG(6, tag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    if (!backBlank) {
        if (background.pixel_fmt != out.pixel_fmt || !LayoutOf(background, &lb) || !HostPlanesOk(background, lb)) {
            ORVEX_LOG(6, tag, "input or output is nullptr!!");
            return InvalidArgument;
        }
        if (background.width[0] != out.width[0] || background.height[0] != out.height[0]) {
            ORVEX_LOG(6, tag, "input resolution is not equal output!!");
            return InvalidArgument;
        }
    }
    if (overlay.data[0] == out.data[0]) {
        ORVEX_LOG(6, tag, "overlay and output are one frame!!");
        return InvalidArgument;
    }
    TransformBlend16(overlay, backBlank ? nullptr : &background, out, a);
    return Ok;
}

}  // namespace

// --- BlendAndTransform ----------------------------------------------------------------------------------

ResultCode VisualProcess::BlendAndTransform(const EffectFrame& overlay, fxPointd anchor,
                                            const EffectFrame& background, fxPointd backgroundCenter, bool backBlank,
                                            EffectFrame& out, int32_t blendMode, int32_t rangeMode, double opacity,
                                            int32_t ovlAlphaPreMul, int32_t sampleType, double theta, double scaleX,
                                            double scaleY, double skewX, double skewY) {
    constexpr const char* kTag = "orvex:BlendAndTransform";
    (void)rangeMode;  // read by the YUV transform only, which this BGRA operation never reaches
    if (!IsBGRALike(overlay.pixel_fmt) || !IsBGRALike(out.pixel_fmt)) {
        ORVEX_LOG(6, kTag, "input format is not rgba format!");
        return Failed;
    }
    const Geometry g{anchor, backgroundCenter, theta, scaleX, scaleY, skewX, skewY};
    if (!GeometryOk(g)) {
        ORVEX_LOG(6, kTag, "transform parameters are out of range!!");
        return InvalidArgument;
    }
    if (out.texture) {
        if (!overlay.texture) {
            ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
            return InvalidArgument;
        }
        // No program blends into the background texture itself, so a background that lives in
        // host memory cannot be used here: refuse it before anything is dispatched.
        if (!backBlank && !background.texture) {
            ORVEX_LOG(6, kTag, "background gpu frame is nullptr!!");
            return InvalidArgument;
        }
        return TransformBlendGPU(kTag, overlay.texture, backBlank ? nullptr : background.texture, out.texture, g,
                                 blendMode, opacity, ovlAlphaPreMul, sampleType);
    }
    if (overlay.pixel_fmt != out.pixel_fmt) {
        ORVEX_LOG(6, kTag, "input format is not equal ouput format!");
        return WrongFormat;
    }
    if (out.pixel_fmt == BGRA64) {
        const TransformBlendArgs a{anchor.x, anchor.y, backgroundCenter.x, backgroundCenter.y, theta, scaleX, scaleY,
                                   skewX, skewY, blendMode, std::isfinite(opacity) ? opacity : 0.0, ovlAlphaPreMul,
                                   sampleType};
        return BlendAndTransform16(kTag, overlay, background, backBlank, out, a);
    }
    FrameLayout lo, lb, ld;
    if (!HostBGRA8(overlay, &lo) || !HostBGRA8(out, &ld)) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    if (!backBlank) {
        if (!HostBGRA8(background, &lb) || background.pixel_fmt != out.pixel_fmt) {
            ORVEX_LOG(6, kTag, "input or output is nullptr!!");
            return InvalidArgument;
        }
        if (background.width[0] != out.width[0] || background.height[0] != out.height[0]) {
            ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
            return InvalidArgument;
        }
    }
    if (overlay.data[0] == out.data[0]) {
        ORVEX_LOG(6, kTag, "overlay and output are one frame!!");
        return InvalidArgument;
    }
    const cv::Mat ovl = PlaneMat(overlay, 0, lo, 4);
    cv::Mat dst = PlaneMat(out, 0, ld, 4);
    PlacementGeometry p;
    cv::Matx23d inverse;
    if (!MakePlacement(ovl.cols, ovl.rows, dst.cols, dst.rows, anchor.x, anchor.y, backgroundCenter.x,
                       backgroundCenter.y, theta, scaleX, scaleY, skewX, skewY, &p)) {
        ORVEX_LOG(6, kTag, "transform parameters are out of range!!");
        return InvalidArgument;
    }
    return GuardImageLibrary(kTag, [&]() -> ResultCode {
        cv::invertAffineTransform(p.toBackground, inverse);
        if (backBlank) dst.setTo(cv::Scalar::all(0));
        else if (background.data[0] != out.data[0]) PlaneMat(background, 0, lb, 4).copyTo(dst);
        // The one-pixel fade antialiases the turned overlay's edges; an upright one keeps them.
        TransformBlendBGRA(ovl, dst, p.pixels(), inverse, sampleType, std::abs(theta) > 1e-5, blendMode,
                           OpacityByte(opacity), ovlAlphaPreMul != 0);
        return Ok;
    });
}

// --- BlendAndTransform_BaseOnBackFrame ------------------------------------------------------------------

ResultCode VisualProcess::BlendAndTransform_BaseOnBackFrame(const EffectFrame& back, int32_t overlayWidth,
                                                            int32_t overlayHeight, EffectFrame& out, int32_t sampler,
                                                            int32_t resizeType) {
    constexpr const char* kTag = "orvex:BlendAndTransform_BaseOnBackFrame";
    if (!IsBGRALike(back.pixel_fmt) || !IsBGRALike(out.pixel_fmt)) {
        ORVEX_LOG(6, kTag, "input format is not rgba format!");
        return Failed;
    }
    if (out.texture) {
        TextureInfo tb, to;
        if (!QueryTexture(back.texture, &tb) || !QueryTexture(out.texture, &to) ||
            tb.colorSpace != zrp::kColorSpaceBGRA || to.colorSpace != zrp::kColorSpaceBGRA) {
            ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
            return InvalidArgument;
        }
        KernelArgs args;
        args.Int("overlay_width", overlayWidth).Int("overlay_height", overlayHeight);
        args.Int("samperType", sampler).Int("resize_type", resizeType);
        return RunVisualKernel(kTag, "MAIN_BaseBack", args, to, {back.texture}, {out.texture});
    }
    FrameLayout lb, lo;
    if (!HostBGRA8(back, &lb) || !HostBGRA8(out, &lo)) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    if (back.width[0] != out.width[0] || back.height[0] != out.height[0]) {
        ORVEX_LOG(6, kTag, "input resolution is not equal output!");
        return InvalidArgument;
    }
    const cv::Mat src = PlaneMat(back, 0, lb, 4);
    cv::Mat dst = PlaneMat(out, 0, lo, 4);
    // The window of the back frame with the overlay's aspect ratio (type 1), else all of it.
    cv::Rect win(0, 0, src.cols, src.rows);
    if (resizeType == 1 && overlayWidth > 0 && overlayHeight > 0) {
        const int64_t Wb = src.cols, Hb = src.rows, Wo = overlayWidth, Ho = overlayHeight;
        const int64_t h = (Wb * Ho + Wo - 1) / Wo;
        if (h <= Hb) {
            win.y = static_cast<int>((Hb - h) >> 1);
            win.height = static_cast<int>(std::max<int64_t>(1, h));
        } else {
            const int64_t w = std::min(Wb, (Hb * Wo + Ho - 1) / Ho);
            win.x = static_cast<int>((Wb - w) >> 1);
            win.width = static_cast<int>(std::max<int64_t>(1, w));
        }
    }
    return GuardImageLibrary(kTag, [&]() -> ResultCode {
        // Through a scratch picture: the back frame may be the output itself.
        cv::resize(src(win), pictureScratch_, dst.size(), 0, 0, sampler == 0 ? cv::INTER_NEAREST_EXACT : cv::INTER_LINEAR);
        pictureScratch_.copyTo(dst);
        return Ok;
    });
}

ResultCode VisualProcess::BlendAndTransform_BaseOnBackFrame(
    const EffectFrame& overlay, fxPointd anchor, const EffectFrame& background, fxPointd backgroundCenter,
    bool backBlank, EffectFrame& out, int32_t blendMode, int32_t rangeMode, double opacity, int32_t ovlAlphaPreMul,
    int32_t sampleType, double theta, double scaleX, double scaleY, double skewX, double skewY, int32_t samperType,
    int32_t resizeType) {
    constexpr const char* kTag = "orvex:BlendAndTransform_BaseOnBackFrame";
    (void)rangeMode;
    if (!IsBGRALike(overlay.pixel_fmt) || !IsBGRALike(background.pixel_fmt) || !IsBGRALike(out.pixel_fmt)) {
        ORVEX_LOG(6, kTag, "input format is not rgba format!");
        return Failed;
    }
    const Geometry g{anchor, backgroundCenter, theta, scaleX, scaleY, skewX, skewY};
    if (!GeometryOk(g)) {
        ORVEX_LOG(6, kTag, "transform parameters are out of range!!");
        return InvalidArgument;
    }
    if (out.texture) {
        if (!overlay.texture || (!backBlank && !background.texture)) {
            ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
            return InvalidArgument;
        }
        if (backBlank)
            return TransformBlendGPU(kTag, overlay.texture, nullptr, out.texture, g, blendMode, opacity,
                                     ovlAlphaPreMul, sampleType);
        TextureInfo to, tb;
        if (!QueryTexture(out.texture, &to) || !QueryTexture(background.texture, &tb) ||
            to.colorSpace != zrp::kColorSpaceBGRA || tb.colorSpace != zrp::kColorSpaceBGRA) {
            ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
            return InvalidArgument;
        }
        // The resized background goes to a texture of our own: the blend reads it while writing
        // the output, and one image cannot be both in one kernel.
        const zrp::TexturePtr resized = ScratchTexture(to);
        if (!resized) {
            ORVEX_LOG(4, kTag, "CreateFrame Failed!!");
            return Failed;
        }
        KernelArgs args;
        args.Int("samperType", samperType).Int("resize_type", resizeType);
        if (const ResultCode r = RunVisualKernel(kTag, "MAIN", args, to, {background.texture}, {resized}); r != Ok)
            return r;
        return TransformBlendGPU(kTag, overlay.texture, resized, out.texture, g, blendMode, opacity, ovlAlphaPreMul,
                                 sampleType);
    }
    FrameLayout lo, lb, ld;
    if (!HostBGRA8(overlay, &lo) || !HostBGRA8(out, &ld) || (!backBlank && !HostBGRA8(background, &lb))) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    if (overlay.data[0] == out.data[0]) {
        ORVEX_LOG(6, kTag, "overlay and output are one frame!!");
        return InvalidArgument;
    }
    const cv::Mat ovl = PlaneMat(overlay, 0, lo, 4);
    cv::Mat dst = PlaneMat(out, 0, ld, 4);
    PlacementGeometry p;
    if (!MakePlacement(ovl.cols, ovl.rows, dst.cols, dst.rows, anchor.x, anchor.y, backgroundCenter.x,
                       backgroundCenter.y, theta, scaleX, scaleY, skewX, skewY, &p)) {
        ORVEX_LOG(6, kTag, "transform parameters are out of range!!");
        return InvalidArgument;
    }
    return GuardImageLibrary(kTag, [&]() -> ResultCode {
        // The background resized into a picture of its own, so that the blend writes a separate
        // output (its alpha is coverage, as on the GPU) and the background may be the output.
        backScratch_.create(dst.size(), CV_8UC4);
        if (backBlank) {
            backScratch_.setTo(cv::Scalar::all(0));
        } else {
            EffectFrame resized = out;
            resized.texture = nullptr;
            resized.pixel_fmt = background.pixel_fmt;
            resized.data[0] = backScratch_.data;
            resized.pitch[0] = static_cast<int32_t>(backScratch_.step[0]);
            if (const ResultCode r = Resize(background, resized, resizeType, samperType == 0 ? 0 : 1); r != Ok) return r;
        }
        blendScratch_.create(dst.size(), CV_8UC4);
        if (!AffineWarp(ovl, blendScratch_, p.toBackground, sampleType)) {
            ORVEX_LOG(4, kTag, "warp failed!!");
            return Failed;
        }
        BlendLayersAlone(blendScratch_, backScratch_, dst, blendMode, OpacityByte(opacity), ovlAlphaPreMul != 0,
                         BandsFor(static_cast<int64_t>(dst.total())));
        return Ok;
    });
}

zrp::TexturePtr VisualProcess::ScratchTexture(const TextureInfo& like) {
    TextureInfo have;
    if (gpuScratch_ && gpuScratchFactory_ == g_atlu_factory && QueryTexture(gpuScratch_, &have) &&
        have.width == like.width && have.height == like.height && have.colorSpace == like.colorSpace &&
        have.bits.kind == like.bits.kind)
        return gpuScratch_;
    gpuScratch_.reset();
    zrp::ImageFormat* format = nullptr;
    if (ZRPImageFormatAlloc(like.colorSpace, like.bits, like.width, like.height, 0, &format) != 0 || !format)
        return nullptr;
    gpuScratch_ = CreatePlatformTexture(format, OpenCL, nullptr, nullptr, 0, 0);
    ZRPObjectFree(format);
    gpuScratchFactory_ = g_atlu_factory;
    return gpuScratch_;
}

// --- Transform --------------------------------------------------------------------------------------------

namespace {

ResultCode TransformBGRA_CPU(const EffectFrame& in, fxPointd anchor, EffectFrame& out, fxPointd center, int sampler,
                             double theta, double scaleX, double scaleY, double skewX, double skewY) {
    constexpr const char* kTag = "orvex:Transform_CPU";
    FrameLayout li, lo;
    if (in.pixel_fmt != BGRA32 && in.pixel_fmt != BGRA32_ALT) {
        ORVEX_LOG(6, kTag, "input format is not BGRA32!");
        return WrongFormat;
    }
    if (!HostBGRA8(in, &li) || !HostBGRA8(out, &lo) || in.data[0] == out.data[0]) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    const cv::Mat src = PlaneMat(in, 0, li, 4);
    cv::Mat dst = PlaneMat(out, 0, lo, 4);
    PlacementGeometry p;
    if (!MakePlacement(src.cols, src.rows, dst.cols, dst.rows, anchor.x, anchor.y, center.x, center.y, theta, scaleX,
                       scaleY, skewX, skewY, &p)) {
        ORVEX_LOG(6, kTag, "transform parameters are out of range!!");
        return InvalidArgument;
    }
    // The placement maps straight into the output, so no resize follows.
    if (!AffineWarp(src, dst, p.toBackground, sampler)) {
        ORVEX_LOG(4, kTag, "warp failed!!");
        return Failed;
    }
    return Ok;
}

ResultCode YV12Transform(const EffectFrame& in, fxPointd anchor, EffectFrame& out, fxPointd center, double theta,
                         double scaleX, double scaleY, double skewX, double skewY, int32_t rangeMode) {
    constexpr const char* kTag = "orvex:YV12Transform";
    FrameLayout li, lo;
    if (!LayoutOf(in, &li) || !LayoutOf(out, &lo) || !HostPlanesOk(in, li) || !HostPlanesOk(out, lo) ||
        in.data[0] == out.data[0]) {
        ORVEX_LOG(6, kTag, "input is nullptr!!");
        return InvalidArgument;
    }
    const int Wo = static_cast<int>(in.width[0]), Ho = static_cast<int>(in.height[0]);
    const int Wd = static_cast<int>(out.width[0]), Hd = static_cast<int>(out.height[0]);
    PlacementGeometry p;
    if (!MakePlacement(Wo, Ho, Wd, Hd, anchor.x, anchor.y, center.x, center.y, theta, scaleX, scaleY, skewX, skewY,
                       &p)) {
        ORVEX_LOG(6, kTag, "transform parameters are out of range!!");
        return InvalidArgument;
    }
    cv::Matx23d inv;
    cv::invertAffineTransform(p.toBackground, inv);
    // Chroma samples cover 2 x 2 luma samples: the same map with the translation halved.
    cv::Matx23d invChroma = inv;
    invChroma(0, 2) *= 0.5;
    invChroma(1, 2) *= 0.5;
    const bool full = rangeMode == 1;
    const int lumaBlack = full ? 0 : 16;
    const cv::Mat srcY = PlaneMat(in, 0, li), srcV = PlaneMat(in, 1, li), srcU = PlaneMat(in, 2, li);
    cv::Mat dstY = PlaneMat(out, 0, lo), dstV = PlaneMat(out, 1, lo), dstU = PlaneMat(out, 2, lo);
    TransformPlane(srcY, dstY, inv, lumaBlack, lumaBlack, full ? 255 : 235);
    // Chroma of black is the neutral 128 in both ranges.
    const int chromaLo = full ? 0 : 16, chromaHi = full ? 255 : 240;
    const int stripes = BandsFor(static_cast<int64_t>(dstU.total()));
    const parallelTransformPlane chroma({{&srcV, &dstV}, {&srcU, &dstU}}, invChroma, 128, chromaLo, chromaHi,
                                       dstU.rows, stripes);
    RunBands(chroma, stripes);
    return Ok;
}

}  // namespace

ResultCode VisualProcess::Transform(const EffectFrame& in, fxPointd anchor, EffectFrame& out,
                                    fxPointd backgroundCenter, int32_t sampleType, double theta, double scaleX,
                                    double scaleY, int32_t rangeMode, bool cpuFlag, double skewX, double skewY) {
    constexpr const char* kTag = "orvex:Transform";
    // cpuFlag has no effect: the BGRA CPU path always warps straight into the output.
    (void)cpuFlag;
    if (in.pixel_fmt != out.pixel_fmt) {
        ORVEX_LOG(6, kTag, "input format is not equal ouput format!");
        return WrongFormat;
    }
    const Geometry g{anchor, backgroundCenter, theta, scaleX, scaleY, skewX, skewY};
    if (!GeometryOk(g)) {
        ORVEX_LOG(6, kTag, "transform parameters are out of range!!");
        return InvalidArgument;
    }
    return GuardImageLibrary(kTag, [&]() -> ResultCode {
        if (out.texture && (out.pixel_fmt == BGRA32 || out.pixel_fmt == BGRA32_ALT)) {
            TextureInfo ti, to;
            if (!QueryTexture(in.texture, &ti) || !QueryTexture(out.texture, &to) ||
                ti.colorSpace != zrp::kColorSpaceBGRA || to.colorSpace != zrp::kColorSpaceBGRA) {
                ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
                return InvalidArgument;
            }
            KernelArgs args;
            if (!SetTransformArgs(args, g)) return Failed;
            args.Int("sampleType", sampleType);
            return RunVisualKernel(kTag, "Transform", args, to, {in.texture}, {out.texture});
        }
        switch (in.pixel_fmt) {
        case BGRA32:
        case BGRA32_ALT:
            return TransformBGRA_CPU(in, anchor, out, backgroundCenter, sampleType, theta, scaleX, scaleY, skewX, skewY);
        case YV12:
            return YV12Transform(in, anchor, out, backgroundCenter, theta, scaleX, scaleY, skewX, skewY, rangeMode);
        default: break;
        }
        ORVEX_LOG(6, kTag, "format %u is not supported!!", in.pixel_fmt);
        return Failed;
    });
}

// --- TransformPoint -------------------------------------------------------------------------------------

fxPointd VisualProcess::TransformPoint(fxPointd point, fxRectf overlayRect, fxPointd anchor, fxRectf backgroundRect,
                                       fxPointd backgroundCenter, double theta, double scaleX, double scaleY,
                                       double skewX, double skewY) {
    constexpr const char* kTag = "orvex:TransformPoint";
    const double Wo = overlayRect.width, Ho = overlayRect.height, Wb = backgroundRect.width, Hb = backgroundRect.height;
    PlacementGeometry p;
    if (!std::isfinite(Wo) || !std::isfinite(Ho) || !std::isfinite(Wb) || !std::isfinite(Hb) || Wo < 1 || Ho < 1 ||
        Wb < 1 || Hb < 1 || Wo > kMaxFrameSide || Ho > kMaxFrameSide || Wb > kMaxFrameSide || Hb > kMaxFrameSide ||
        !std::isfinite(point.x) || !std::isfinite(point.y) ||
        !MakePlacement(static_cast<int>(Wo), static_cast<int>(Ho), static_cast<int>(Wb), static_cast<int>(Hb),
                       anchor.x, anchor.y, backgroundCenter.x, backgroundCenter.y, theta, scaleX, scaleY, skewX, skewY,
                       &p)) {
        // No result code to carry the failure: the point comes back unmoved, and the log says why.
        ORVEX_LOG(6, kTag, "transform parameters are out of range!!");
        return point;
    }
    // The point is normalised to the overlay; it lands where BlendAndTransform draws it.
    const double x = point.x * static_cast<int>(Wo), y = point.y * static_cast<int>(Ho);
    const cv::Matx23d& m = p.toBackground;
    return fxPointd{(m(0, 0) * x + m(0, 1) * y + m(0, 2)) / static_cast<int>(Wb),
                    (m(1, 0) * x + m(1, 1) * y + m(1, 2)) / static_cast<int>(Hb)};
}

}  // namespace orvex
