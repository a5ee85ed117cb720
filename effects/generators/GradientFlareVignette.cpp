// The four-colour gradient, the lens flare and the vignette.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <opencv2/imgproc.hpp>

#include "effects/ColorEffectsShared.h"
#include "effects/EffectMath.h"
#include "effects/generators/GeneratorEffects.h"
#include "imagecpu/BlendTables.h"
#include "imagecpu/LayerBlend.h"
#include "imagecpu/TableLookup.h"
#include "imagecpu/SaturatingCasts.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVEX_GRADIENT_X86 1
// A product and a sum must stay two roundings. AVX2 without FMA gives the compiler no fused form;
// AVX-512 has one, which GCC would contract into unless told not to (clang contracts only within
// one expression, never across the intrinsics' calls).
#define ORVEX_TARGET_AVX2 __attribute__((target("avx2")))
#if defined(__clang__)
#define ORVEX_TARGET_AVX512 __attribute__((target("avx512f")))
#else
#define ORVEX_TARGET_AVX512 __attribute__((target("avx512f"), optimize("fp-contract=off")))
#endif
#else
#define ORVEX_GRADIENT_X86 0
#endif

namespace orvex {


namespace {

float Distance(float dx, float dy) { return 1.0f / FastInvSqrt(dx * dx + dy * dy); }

// One gradient pixel from its squared distances to the four points.
void GradientPixel(const GradientLayout& g, const float d2[4], const int32_t* products, uint8_t bgr[3]) {
    int32_t acc[3] = {0, 0, 0};
    int32_t weights = 0;
    for (int i = 0; i < 4; ++i) {
        const float d = 1.0f / FastInvSqrt(d2[i]);
        if (!(d < g.reach[i])) continue;
        const float t = d / std::max(g.reach[i], 1.0f);
        const int w = RoundToByte(255.0f - 255.0f * t);
        weights += w;
        for (int c = 0; c < 3; ++c) {
            const int L = RoundToByte(static_cast<float>(g.color[i][c]) + static_cast<float>(128 - g.color[i][c]) * t);
            acc[c] += products[w * 256 + L];
        }
    }
    const float divisor = static_cast<float>(std::max(weights, 1));
    for (int c = 0; c < 3; ++c) bgr[c] = static_cast<uint8_t>(RoundToByte(static_cast<float>(acc[c]) / divisor));
}

#if ORVEX_GRADIENT_X86

// RoundToByte(float) per lane with the same float steps: the clamp first (NaN to 0, as max_ps returns its
// second operand), then the add and subtract of 1.5 * 2^23.
ORVEX_TARGET_AVX2 inline __m256 SatRint8(__m256 v) {
    const __m256 shift = _mm256_set1_ps(12582912.0f);
    v = _mm256_min_ps(_mm256_max_ps(v, _mm256_setzero_ps()), _mm256_set1_ps(255.0f));
    return _mm256_sub_ps(_mm256_add_ps(v, shift), shift);
}

// GradientPixel on 8 pixels at a time from column x on; returns the column where it stopped. The
// products w L (both whole numbers up to 255) and their sums (below 2^24) are exact in float, so
// they equal the integer table's.
ORVEX_TARGET_AVX2 int GradientRowAvx2(const GradientLayout& g, const float dy2[4], int x, int width,
                                      const float* squares, const uint8_t* in, uint8_t* out) {
    const __m256 one = _mm256_set1_ps(1.0f), k255 = _mm256_set1_ps(255.0f);
    const __m256 threeHalves = _mm256_set1_ps(1.5f), half = _mm256_set1_ps(0.5f);
    const __m256i magic = _mm256_set1_epi32(1597463174);
    const __m256i alphaMask = _mm256_set1_epi32(static_cast<int32_t>(0xff000000u));
    for (; x + 8 <= width; x += 8) {
        __m256 weights = _mm256_setzero_ps();
        __m256 acc[3] = {_mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps()};
        for (int i = 0; i < 4; ++i) {
            const __m256 d2 = _mm256_add_ps(_mm256_loadu_ps(squares + i * width + x), _mm256_set1_ps(dy2[i]));
            // FastInvSqrt: y (1.5 - ((0.5 d2) y) y) from the bit-trick guess.
            const __m256i guess = _mm256_sub_epi32(magic, _mm256_srai_epi32(_mm256_castps_si256(d2), 1));
            const __m256 y0 = _mm256_castsi256_ps(guess);
            const __m256 step = _mm256_mul_ps(_mm256_mul_ps(_mm256_mul_ps(half, d2), y0), y0);
            const __m256 inv = _mm256_mul_ps(y0, _mm256_sub_ps(threeHalves, step));
            const __m256 d = _mm256_div_ps(one, inv);
            const __m256 inside = _mm256_cmp_ps(d, _mm256_set1_ps(g.reach[i]), _CMP_LT_OQ);
            const __m256 t = _mm256_div_ps(d, _mm256_set1_ps(std::max(g.reach[i], 1.0f)));
            const __m256 w = _mm256_and_ps(SatRint8(_mm256_sub_ps(k255, _mm256_mul_ps(k255, t))), inside);
            weights = _mm256_add_ps(weights, w);
            for (int c = 0; c < 3; ++c) {
                const __m256 colour = _mm256_set1_ps(static_cast<float>(g.color[i][c]));
                const __m256 slope = _mm256_set1_ps(static_cast<float>(128 - g.color[i][c]));
                const __m256 L = SatRint8(_mm256_add_ps(colour, _mm256_mul_ps(slope, t)));
                acc[c] = _mm256_add_ps(acc[c], _mm256_mul_ps(w, L));
            }
        }
        const __m256 divisor = _mm256_max_ps(weights, one);
        const __m256i b = _mm256_cvttps_epi32(SatRint8(_mm256_div_ps(acc[0], divisor)));
        const __m256i gr = _mm256_cvttps_epi32(SatRint8(_mm256_div_ps(acc[1], divisor)));
        const __m256i r = _mm256_cvttps_epi32(SatRint8(_mm256_div_ps(acc[2], divisor)));
        const __m256i alpha =
            _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * x)), alphaMask);
        const __m256i px = _mm256_or_si256(_mm256_or_si256(b, _mm256_slli_epi32(gr, 8)),
                                           _mm256_or_si256(_mm256_slli_epi32(r, 16), alpha));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * x), px);
    }
    return x;
}

// The zero-masked forms here and below: GCC 12 warns about the undefined pass-through of the plain
// AVX-512 min, max, shifts and conversion.
ORVEX_TARGET_AVX512 inline __m512 SatRint16(__m512 v) {
    const __m512 shift = _mm512_set1_ps(12582912.0f);
    v = _mm512_maskz_min_ps(0xffff, _mm512_maskz_max_ps(0xffff, v, _mm512_setzero_ps()), _mm512_set1_ps(255.0f));
    return _mm512_sub_ps(_mm512_add_ps(v, shift), shift);
}

// The AVX2 row on 16 pixels at a time, then 8.
ORVEX_TARGET_AVX512 int GradientRowAvx512(const GradientLayout& g, const float dy2[4], int x, int width,
                                          const float* squares, const uint8_t* in, uint8_t* out) {
    const __m512 one = _mm512_set1_ps(1.0f), k255 = _mm512_set1_ps(255.0f);
    const __m512 threeHalves = _mm512_set1_ps(1.5f), half = _mm512_set1_ps(0.5f);
    const __m512i magic = _mm512_set1_epi32(1597463174);
    const __m512i alphaMask = _mm512_set1_epi32(static_cast<int32_t>(0xff000000u));
    for (; x + 16 <= width; x += 16) {
        __m512 weights = _mm512_setzero_ps();
        __m512 acc[3] = {_mm512_setzero_ps(), _mm512_setzero_ps(), _mm512_setzero_ps()};
        for (int i = 0; i < 4; ++i) {
            const __m512 d2 = _mm512_add_ps(_mm512_loadu_ps(squares + i * width + x), _mm512_set1_ps(dy2[i]));
            const __m512i guess =
                _mm512_sub_epi32(magic, _mm512_maskz_srai_epi32(0xffff, _mm512_castps_si512(d2), 1));
            const __m512 y0 = _mm512_castsi512_ps(guess);
            const __m512 step = _mm512_mul_ps(_mm512_mul_ps(_mm512_mul_ps(half, d2), y0), y0);
            const __m512 inv = _mm512_mul_ps(y0, _mm512_sub_ps(threeHalves, step));
            const __m512 d = _mm512_div_ps(one, inv);
            const __mmask16 inside = _mm512_cmp_ps_mask(d, _mm512_set1_ps(g.reach[i]), _CMP_LT_OQ);
            const __m512 t = _mm512_div_ps(d, _mm512_set1_ps(std::max(g.reach[i], 1.0f)));
            const __m512 w = _mm512_maskz_mov_ps(inside, SatRint16(_mm512_sub_ps(k255, _mm512_mul_ps(k255, t))));
            weights = _mm512_add_ps(weights, w);
            for (int c = 0; c < 3; ++c) {
                const __m512 colour = _mm512_set1_ps(static_cast<float>(g.color[i][c]));
                const __m512 slope = _mm512_set1_ps(static_cast<float>(128 - g.color[i][c]));
                const __m512 L = SatRint16(_mm512_add_ps(colour, _mm512_mul_ps(slope, t)));
                acc[c] = _mm512_add_ps(acc[c], _mm512_mul_ps(w, L));
            }
        }
        const __m512 divisor = _mm512_maskz_max_ps(0xffff, weights, one);
        const __m512i b = _mm512_maskz_cvttps_epi32(0xffff, SatRint16(_mm512_div_ps(acc[0], divisor)));
        const __m512i gr = _mm512_maskz_cvttps_epi32(0xffff, SatRint16(_mm512_div_ps(acc[1], divisor)));
        const __m512i r = _mm512_maskz_cvttps_epi32(0xffff, SatRint16(_mm512_div_ps(acc[2], divisor)));
        const __m512i alpha = _mm512_and_si512(_mm512_loadu_si512(in + 4 * x), alphaMask);
        const __m512i px = _mm512_or_si512(_mm512_or_si512(b, _mm512_maskz_slli_epi32(0xffff, gr, 8)),
                                           _mm512_or_si512(_mm512_maskz_slli_epi32(0xffff, r, 16), alpha));
        _mm512_storeu_si512(out + 4 * x, px);
    }
    return GradientRowAvx2(g, dy2, x, width, squares, in, out);
}

#endif

}  // namespace

// --- four-colour gradient ---------------------------------------------------------------------------------

void GradientLayout::At(int x, int y, const int32_t* products, uint8_t bgr[3]) const {
    float d2[4];
    for (int i = 0; i < 4; ++i) {
        const float dx = static_cast<float>(x - px[i]), dy = static_cast<float>(y - py[i]);
        d2[i] = dx * dx + dy * dy;
    }
    GradientPixel(*this, d2, products, bgr);
}

void GradientLayout::ColumnSquares(int width, float* squares) const {
    for (int i = 0; i < 4; ++i)
        for (int x = 0; x < width; ++x) {
            const float dx = static_cast<float>(x - px[i]);
            squares[i * width + x] = dx * dx;
        }
}

void GradientLayout::DrawRow(int y, int width, const float* squares, const int32_t* products, const uint8_t* in,
                             uint8_t* out) const {
    float dy2[4];
    for (int i = 0; i < 4; ++i) {
        const float dy = static_cast<float>(y - py[i]);
        dy2[i] = dy * dy;
    }
    int x = 0;
#if ORVEX_GRADIENT_X86
    const LookupPath path = BestLookupPath();
    if (path == LookupPath::Avx512Vbmi) x = GradientRowAvx512(*this, dy2, 0, width, squares, in, out);
    else if (path == LookupPath::Avx2) x = GradientRowAvx2(*this, dy2, 0, width, squares, in, out);
#endif
    for (; x < width; ++x) {
        const float d2[4] = {squares[x] + dy2[0], squares[width + x] + dy2[1], squares[2 * width + x] + dy2[2],
                             squares[3 * width + x] + dy2[3]};
        GradientPixel(*this, d2, products, out + 4 * x);
        out[4 * x + 3] = in[4 * x + 3];
    }
}

VideoEffect4ColorGradient::VideoEffect4ColorGradient() : products_(256 * 256) {
    static const char* const kChannels[3] = {"red", "green", "blue"};
    static const uint8_t kDefaults[4][3] = {{255, 255, 0}, {0, 255, 0}, {255, 0, 255}, {0, 0, 255}};
    static const float kPositions[4][2] = {{0.1f, 0.1f}, {0.9f, 0.1f}, {0.1f, 0.9f}, {0.9f, 0.9f}};
    std::string names[4][5];
    for (int i = 0; i < 4; ++i) {
        const std::string point = "position" + std::to_string(i + 1) + "_";
        for (int c = 0; c < 3; ++c) {
            names[i][c] = point + kChannels[c];
            DeclareByte(names[i][c].c_str(), &colors_[i][c], kDefaults[i][c]);
        }
        names[i][3] = point + "x";
        names[i][4] = point + "y";
    }
    for (int i = 0; i < 4; ++i) {
        DeclareFloat(names[i][3].c_str(), &positions_[i][0], kPositions[i][0]);
        DeclareFloat(names[i][4].c_str(), &positions_[i][1], kPositions[i][1]);
    }
    DeclareInt("alpha", &alpha_, 100, 0, 100, 100);
    DeclareInt("blend_mode", &blendMode_, 5, 0, 17, 5);
    for (int i = 0; i < 256; ++i)
        for (int j = 0; j < 256; ++j) products_[i * 256 + j] = i * j;
}

GradientLayout VideoEffect4ColorGradient::Layout(int w, int h) const {
    GradientLayout g;
    const float corners[4][2] = {{0, 0}, {static_cast<float>(w), 0}, {0, static_cast<float>(h)},
                                 {static_cast<float>(w), static_cast<float>(h)}};
    for (int i = 0; i < 4; ++i) {
        g.px[i] = ScaledPosition(w, positions_[i][0]);
        g.py[i] = ScaledPosition(h, positions_[i][1]);
        float reach = 0;
        for (const auto& c : corners)
            reach = std::max(reach, Distance(c[0] - static_cast<float>(g.px[i]), c[1] - static_cast<float>(g.py[i])));
        g.reach[i] = reach;
        g.color[i][0] = colors_[i][2];
        g.color[i][1] = colors_[i][1];
        g.color[i][2] = colors_[i][0];
    }
    return g;
}

int VideoEffect4ColorGradient::LayerMode(int blendMode) {
    static const int kModes[14] = {-1, 0, 23, 2, 5, 8, 9, 10, 6, 3, 1, 17, 15, 16};
    return blendMode >= 1 && blendMode <= 13 ? kModes[blendMode] : -1;
}

namespace {

// The gradient picture, its alpha the frame's.
class parallelGradientDraw final : public RowBandBody {
public:
    parallelGradientDraw(const GradientLayout& g, const float* squares, const int32_t* products, const cv::Mat& in,
                         cv::Mat& out)
        : g_(g), squares_(squares), p_(products), in_(in), out_(out) {}
    void Rows(int y0, int y1) const override {
        for (int y = y0; y < y1; ++y) g_.DrawRow(y, in_.cols, squares_, p_, in_.ptr<uint8_t>(y), out_.ptr<uint8_t>(y));
    }

private:
    const GradientLayout& g_;
    const float* squares_;
    const int32_t* p_;
    const cv::Mat& in_;
    cv::Mat& out_;
};

class parallelColorGradientNoBlend final : public RowBandBody {
public:
    parallelColorGradientNoBlend(const cv::Mat& in, const cv::Mat& grad, cv::Mat& out, int k0)
        : in_(in), g_(grad), out_(out), Mk_(MulTable() + k0 * 256) {}
    void Rows(int y0, int y1) const override {
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr<uint8_t>(y);
            const uint8_t* g = g_.ptr<uint8_t>(y);
            uint8_t* d = out_.ptr<uint8_t>(y);
            for (int x = 0; x < in_.cols; ++x, s += 4, g += 4, d += 4) {
                const uint8_t alpha = s[3];
                for (int c = 0; c < 3; ++c) d[c] = Mk_[g[c]];
                d[3] = alpha;
            }
        }
    }

private:
    const cv::Mat& in_;
    const cv::Mat& g_;
    cv::Mat& out_;
    const uint8_t* Mk_;
};

// The frame's HLS with the gradient's hue, saturation, both or lightness, mixed by opacity.
class parallelColorGradientHSLBlend final : public RowBandBody {
public:
    parallelColorGradientHSLBlend(const cv::Mat& in, const cv::Mat& grad, cv::Mat& out, int k0, int variant,
                                  BandScratchSet& scratch)
        : in_(in), g_(grad), out_(out), k0_(k0), variant_(variant), scratch_(scratch) {}
    void Rows(int y0, int y1) const override {
        BandScratch& sc = scratch_[colorfx::BandOf(y0, height)];
        const uint8_t* Mk = MulTable() + k0_ * 256;
        const uint8_t* Mn = MulTable() + (255 - k0_) * 256;
        colorfx::ForStrips(y0, y1, [&](int y, int n) {
            cv::Mat hls = colorfx::ScratchRows(sc.m[0], n, in_.cols, CV_8UC3);
            cv::Mat ghls = colorfx::ScratchRows(sc.m[1], n, in_.cols, CV_8UC3);
            cv::cvtColor(in_.rowRange(y, y + n), hls, cv::COLOR_BGR2HLS);
            cv::cvtColor(g_.rowRange(y, y + n), ghls, cv::COLOR_BGR2HLS);
            for (int r = 0; r < n; ++r) {
                uint8_t* h = hls.ptr<uint8_t>(r);
                const uint8_t* gh = ghls.ptr<uint8_t>(r);
                for (int x = 0; x < in_.cols; ++x, h += 3, gh += 3) {
                    if (variant_ == 0 || variant_ == 2) h[0] = gh[0];
                    if (variant_ == 1 || variant_ == 2) h[2] = gh[2];
                    if (variant_ == 3) h[1] = gh[1];
                }
            }
            cv::Mat bgr = colorfx::ScratchRows(sc.m[2], n, in_.cols, CV_8UC3);
            cv::cvtColor(hls, bgr, cv::COLOR_HLS2BGR);
            for (int r = 0; r < n; ++r) {
                const uint8_t* s = in_.ptr<uint8_t>(y + r);
                const uint8_t* p = bgr.ptr<uint8_t>(r);
                uint8_t* d = out_.ptr<uint8_t>(y + r);
                for (int x = 0; x < in_.cols; ++x, s += 4, p += 3, d += 4) {
                    const uint8_t alpha = s[3];
                    for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(Mk[p[c]] + Mn[s[c]]);
                    d[3] = alpha;
                }
            }
        });
    }

private:
    const cv::Mat& in_;
    const cv::Mat& g_;
    cv::Mat& out_;
    int k0_;
    int variant_;
    BandScratchSet& scratch_;
};

}  // namespace

ResultCode VideoEffect4ColorGradient::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    cv::Mat out = WrapBGRA(*output);
    const cv::Mat in = PixelInput(WrapBGRA(*input), out);
    const GradientLayout layout = Layout(in.cols, in.rows);
    gradient_.create(in.rows, in.cols, CV_8UC4);
    squares_.resize(4 * static_cast<size_t>(in.cols));
    layout.ColumnSquares(in.cols, squares_.data());
    parallelGradientDraw draw(layout, squares_.data(), products_.data(), in, gradient_);
    RunRowBands(draw, in.cols, in.rows);
    // trunc(alpha 2.55) taken exactly: 100 percent is the full byte 255.
    const int k0 = std::clamp(alpha_, 0, 100) * 255 / 100;
    const int mode = std::clamp(blendMode_, 0, 17);
    if (mode == 0) {
        parallelColorGradientNoBlend body(in, gradient_, out, k0);
        RunRowBands(body, in.cols, in.rows);
    } else if (mode <= 13) {
        // The layer blend treats alpha as a fourth colour (difference and exclusion would make an
        // opaque frame transparent): the frame keeps its own alpha, as in every other mode.
        cv::extractChannel(in, frameAlpha_, 3);
        CopyFrame(in, out);
        BlendLayers(gradient_, out, LayerMode(mode), static_cast<uint8_t>(k0), true, kBandCount);
        cv::insertChannel(frameAlpha_, out, 3);
    } else {
        parallelColorGradientHSLBlend body(in, gradient_, out, k0, mode - 14, scratch_);
        RunRowBands(body, in.cols, in.rows);
    }
    return Ok;
}

// --- lens flare ---------------------------------------------------------------------------------------------

namespace {

enum FlareType { kSquaredDisc = 0, kLinearDisc = 1, kHaloRing = 2, kEdgeDisc = 3, kRimDisc = 4, kThinRing = 5 };

struct Reflection {
    float t, size;
    int type;
    uint8_t color[3];
};

// Reflection k sits on the line from the light through the frame centre, t_k of the way past it.
const Reflection kReflections[19] = {
    {0.6699f, 0.027f, kSquaredDisc, {0, 14, 113}},  {0.2692f, 0.01f, kSquaredDisc, {90, 181, 142}},
    {-0.0112f, 0.005f, kSquaredDisc, {56, 140, 106}}, {0.649f, 0.031f, kEdgeDisc, {9, 29, 19}},
    {0.4696f, 0.015f, kEdgeDisc, {24, 14, 0}},      {0.4087f, 0.037f, kEdgeDisc, {24, 14, 0}},
    {-0.2003f, 0.022f, kEdgeDisc, {42, 19, 0}},     {-0.4103f, 0.025f, kEdgeDisc, {0, 9, 17}},
    {-0.4503f, 0.058f, kEdgeDisc, {0, 4, 10}},      {-0.5112f, 0.017f, kEdgeDisc, {5, 5, 14}},
    {-1.496f, 0.2f, kEdgeDisc, {9, 4, 0}},          {-1.496f, 0.5f, kEdgeDisc, {9, 4, 0}},
    {0.4487f, 0.075f, kRimDisc, {34, 19, 0}},       {1.0f, 0.1f, kRimDisc, {14, 26, 0}},
    {-1.301f, 0.039f, kRimDisc, {10, 25, 13}},      {1.309f, 0.19f, kThinRing, {9, 0, 17}},
    {1.309f, 0.195f, kThinRing, {9, 16, 5}},        {1.309f, 0.2f, kThinRing, {17, 4, 0}},
    {-1.301f, 0.038f, kThinRing, {17, 4, 0}},
};

FlareComponent Component(float x, float y, float size, int type, int r, int g, int b) {
    return {x, y, size, type, {r / 255.0f, g / 255.0f, b / 255.0f}};
}

// A component's factor at distance d (0 when it adds nothing).
float FlareFactor(const FlareComponent& c, float d) {
    const float s = c.size;
    switch (c.type) {
    case kSquaredDisc: {
        if (!(d < s)) return 0.0f;
        const float u = 1.0f - d / s;
        return u * u;
    }
    case kLinearDisc: return d < s ? 1.0f - d / s : 0.0f;
    case kHaloRing:
    case kThinRing: {
        const float q = std::fabs(d - s) / ((c.type == kHaloRing ? 0.07f : 0.04f) * s);
        return q < 1.0f ? 1.0f - q : 0.0f;
    }
    case kEdgeDisc: return std::min(1.0f, (s - d) / (0.15f * s));
    default: {
        const float u = (s - d) / (0.12f * s);
        if (!(u > 0.0f)) return 0.0f;
        return u <= 1.0f ? u : 1.0f - 0.12f * u;
    }
    }
}

class parallelLensFlare final : public RowBandBody {
public:
    parallelLensFlare(const std::array<FlareComponent, kFlareComponents>& c, cv::Mat& out) : c_(c), out_(out) {}
    void Rows(int y0, int y1) const override {
        for (int y = y0; y < y1; ++y) {
            uint8_t* row = out_.ptr<uint8_t>(y);
            // Component by component, each only over the columns it can reach: a pixel still
            // receives the components in table order.
            for (const FlareComponent& c : c_) {
                if (!(c.size > 0.0f)) continue;
                const float reach = FlareReach(c);
                const float dy = static_cast<float>(y) - c.y;
                if (!(std::fabs(dy) < reach)) continue;
                const float half = std::sqrt(reach * reach - dy * dy);
                const int xa = static_cast<int>(std::max(0.0f, std::floor(c.x - half)));
                const int xb = static_cast<int>(std::min(static_cast<float>(out_.cols - 1), std::ceil(c.x + half)));
                for (int x = xa; x <= xb; ++x) {
                    const float d = Distance(static_cast<float>(x) - c.x, dy);
                    const float f = FlareFactor(c, d);
                    if (!(f > 0.0f)) continue;
                    uint8_t* p = row + 4 * x;
                    // k is R, G, B; the bytes are B, G, R.
                    for (int ch = 0; ch < 3; ++ch) {
                        const int v = p[ch];
                        p[ch] = static_cast<uint8_t>(
                            static_cast<int>(static_cast<float>(v) + static_cast<float>(255 - v) * f * c.k[2 - ch]));
                    }
                }
            }
        }
    }

private:
    const std::array<FlareComponent, kFlareComponents>& c_;
    cv::Mat& out_;
};

}  // namespace

float FlareReach(const FlareComponent& c) {
    const float ring = c.type == kHaloRing ? 1.07f : (c.type == kThinRing ? 1.04f : 1.0f);
    return c.size * ring * 1.01f + 2.0f;
}

VideoEffectLensFlare::VideoEffectLensFlare() {
    DeclareFloat("center_x", &centerX_, 0.5f);
    DeclareFloat("center_y", &centerY_, 0.5f);
}

std::array<FlareComponent, kFlareComponents> VideoEffectLensFlare::Components(int w, int h) const {
    std::array<FlareComponent, kFlareComponents> c{};
    const int lx = ScaledPosition(w, centerX_), ly = ScaledPosition(h, centerY_);
    const int zx = w / 2, zy = h / 2;
    const float W = static_cast<float>(w), fx = static_cast<float>(lx), fy = static_cast<float>(ly);
    c[0] = Component(fx, fy, 0.0375f * W, kSquaredDisc, 239, 239, 239);
    c[1] = Component(fx, fy, 0.078125f * W, kSquaredDisc, 245, 245, 245);
    c[2] = Component(fx, fy, 0.1796875f * W, kSquaredDisc, 255, 38, 43);
    c[3] = Component(fx, fy, 0.3359375f * W, kLinearDisc, 69, 59, 64);
    c[4] = Component(fx, fy, 0.084375f * W, kHaloRing, 80, 15, 4);
    for (int k = 0; k < 19; ++k) {
        const Reflection& r = kReflections[k];
        int qx, qy;
        if (k == 13) {
            // The light mirrored through the centre of the even part of the frame.
            qx = TruncToInt(static_cast<double>(w & ~1) - lx);
            qy = TruncToInt(static_cast<double>(h & ~1) - ly);
        } else {
            qx = TruncToInt(zx + static_cast<double>(zx - static_cast<double>(lx)) * r.t);
            qy = TruncToInt(zy + static_cast<double>(zy - static_cast<double>(ly)) * r.t);
        }
        c[5 + k] = Component(static_cast<float>(qx), static_cast<float>(qy), r.size * W, r.type, r.color[0],
                             r.color[1], r.color[2]);
    }
    return c;
}

ResultCode VideoEffectLensFlare::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    cv::Mat out = WrapBGRA(*output);
    const cv::Mat in = WrapBGRA(*input);
    CopyFrame(in, out);
    const auto components = Components(in.cols, in.rows);
    parallelLensFlare body(components, out);
    RunRowBands(body, out.cols, out.rows);
    return Ok;
}

// --- vignette ------------------------------------------------------------------------------------------------

uint8_t ReverseBits(uint8_t v) {
    v = static_cast<uint8_t>((v << 4) | (v >> 4));
    v = static_cast<uint8_t>(((v & 0xcc) >> 2) | ((v & 0x33) << 2));
    return static_cast<uint8_t>(((v & 0xaa) >> 1) | ((v & 0x55) << 1));
}

VideoEffectVignette::VideoEffectVignette() {
    DeclareFloat("Radius", &radius_, 9, 0, 20, 6);
    DeclareFloat("ColorStrength", &colorStrength_, 50, 0, 100, 50);
    DeclareInt("ColorMode", &colorMode_, 0, 0, 29, 0);
}

const std::array<std::array<uint8_t, 256>, 3>& VideoEffectVignette::Map() {
    const int mode = std::clamp(colorMode_, 0, kVignetteMaps - 1);
    if (mode != loadedMode_) {
        const uint8_t* stored = VignetteStoredMap(mode);
        for (int i = 0; i < 256; ++i)
            for (int c = 0; c < 3; ++c) map_[c][i] = ReverseBits(stored[i * 3 + c]);
        loadedMode_ = mode;
    }
    return map_;
}

namespace {

// The darkening factor at a distance already scaled by k: a parabolic cosine squared.
double VignetteFactor(double scaled) {
    const double t = scaled + 1.570796;
    // Past the falloff's first zero (t = pi) the squared cosine would rise again, and further out
    // the parabola leaves its range and brightens without bound: a vignette only darkens with
    // distance, so it stays black there.
    if (!(t <= 3.141592)) return 0;
    const double q = 1.273239 * t - 0.4052847 * t * std::fabs(t);
    return q * q;
}

class parallelVignette final : public RowBandBody {
public:
    parallelVignette(const cv::Mat& in, cv::Mat& out, const uint8_t (*tint)[256], int hw, int hh, double k,
                     bool closed)
        : in_(in), out_(out), tint_(tint), hw_(hw), hh_(hh), k_(k), closed_(closed) {}
    void Rows(int y0, int y1) const override {
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr<uint8_t>(y);
            uint8_t* d = out_.ptr<uint8_t>(y);
            const double dy = static_cast<double>(hh_ - y);
            for (int x = 0; x < in_.cols; ++x, s += 4, d += 4) {
                const double dx = static_cast<double>(hw_ - x);
                const double dist = std::sqrt(dx * dx + dy * dy);
                // A radius of 0 closes the vignette to its centre pixel.
                const double f = closed_ ? (dist == 0 ? 1.0 : 0.0) : VignetteFactor(dist * k_);
                const uint8_t alpha = s[3];
                for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(RoundToByte(tint_[c][s[c]] * f));
                d[3] = alpha;
            }
        }
    }

private:
    const cv::Mat& in_;
    cv::Mat& out_;
    const uint8_t (*tint_)[256];
    int hw_, hh_;
    double k_;
    bool closed_;
};

}  // namespace

ResultCode VideoEffectVignette::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    cv::Mat out = WrapBGRA(*output);
    const cv::Mat in = PixelInput(WrapBGRA(*input), out);
    const auto& map = Map();
    const double s = std::clamp(static_cast<double>(colorStrength_), 0.0, 100.0) * 0.01;
    // Tinted bytes per channel, in the frame's B, G, R order (the maps are R, G, B).
    uint8_t tint[3][256];
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v) tint[c][v] = static_cast<uint8_t>(RoundToByte(map[2 - c][v] * s + v * (1 - s)));
    const int hw = in.cols / 2, hh = in.rows / 2;
    const double radius = std::clamp(static_cast<double>(radius_), 0.0, 20.0);
    const bool closed = !(radius > 0);
    const double k = closed ? 0 : 1.0 / (std::sqrt(static_cast<double>(hw) * hw + static_cast<double>(hh) * hh) *
                                         radius * 0.1);
    parallelVignette body(in, out, tint, hw, hh, std::isfinite(k) ? k : 0, closed || !std::isfinite(k));
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

}  // namespace orvex
