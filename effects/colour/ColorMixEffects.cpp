// The colour effects that mix each pixel's channels through per-frame tables: tint, channel mixer
// and black and white.
#include "effects/colour/ColorEffects.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <opencv2/core/hal/intrin.hpp>

#include "effects/ColorEffectsShared.h"
#include "effects/LumaTable.h"
#include "imagecpu/BlendTables.h"
#include "imagecpu/SaturatingCasts.h"

namespace orvex {

using colorfx::ColorRows;

namespace {

// --- tint ------------------------------------------------------------------------------------------

class parallelTint final : public ColorRows {
public:
    parallelTint(const cv::Mat& in, cv::Mat& out, const uint8_t* mix, const uint8_t (*target)[256])
        : ColorRows(in, out), mix_(mix), target_(target) {}
    void Rows(int y0, int y1) const override {
        const LumaTable& luma = IntegerLuma();
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr<uint8_t>(y);
            uint8_t* d = out_.ptr<uint8_t>(y);
            for (int x = 0; x < in_.cols; ++x, s += 4, d += 4) {
                const int Y = luma(s[0], s[1], s[2]);
                const uint8_t b = mix_[s[0] * 256 + target_[0][Y]];
                const uint8_t g = mix_[s[1] * 256 + target_[1][Y]];
                const uint8_t r = mix_[s[2] * 256 + target_[2][Y]];
                d[0] = b;
                d[1] = g;
                d[2] = r;
                d[3] = s[3];
            }
        }
    }

private:
    const uint8_t* mix_;
    const uint8_t (*target_)[256];
};

// --- channel mixer ------------------------------------------------------------------------------

class parallelChannelMixer final : public ColorRows {
public:
    parallelChannelMixer(const cv::Mat& in, cv::Mat& out, const int32_t (*terms)[4], bool monochrome)
        : ColorRows(in, out), terms_(terms), monochrome_(monochrome) {}

    // trunc(S * 0.01) is exactly S div 100 for these integer sums, and everything at or below 0
    // or at or above 256 * 100 clamps: integer arithmetic only.
    static int Channel(int red, int green, int blue, const int32_t* t) {
        const int sum = red * t[0] + green * t[1] + blue * t[2] + t[3] * 255;
        return sum <= 0 ? 0 : (sum >= 25600 ? 255 : static_cast<int>(static_cast<unsigned>(sum) / 100u));
    }

    void Rows(int y0, int y1) const override {
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr<uint8_t>(y);
            uint8_t* d = out_.ptr<uint8_t>(y);
            int x = Vector(s, d);
            for (s += 4 * x, d += 4 * x; x < in_.cols; ++x, s += 4, d += 4) {
                const int red = s[2], green = s[1], blue = s[0];
                const uint8_t r = static_cast<uint8_t>(Channel(red, green, blue, terms_[0]));
                const uint8_t g = monochrome_ ? r : static_cast<uint8_t>(Channel(red, green, blue, terms_[1]));
                const uint8_t b = monochrome_ ? r : static_cast<uint8_t>(Channel(red, green, blue, terms_[2]));
                d[0] = b;
                d[1] = g;
                d[2] = r;
                d[3] = s[3];
            }
        }
    }

private:
#if CV_SIMD128
    // Sixteen pixels of one output channel. The sum is two pairwise 16-bit products per pixel,
    // (R r + G g) + (B b + 255 c), exact in 32 bits; it then saturates to 16 bits, clamps to
    // 0..25599 and is divided by 100 as (S * 5243) >> 19, exact over that range.
    static cv::v_uint8x16 Mix(const cv::v_int16x8* rg, const cv::v_int16x8* b1, const cv::v_int16x8& krg,
                              const cv::v_int16x8& kbc) {
        cv::v_int32x4 s[4];
        for (int i = 0; i < 4; ++i) s[i] = cv::v_dotprod(rg[i], krg, cv::v_dotprod(b1[i], kbc));
        const cv::v_int16x8 zero = cv::v_setzero_s16(), top = cv::v_setall_s16(25599);
        const cv::v_uint16x8 magic = cv::v_setall_u16(5243);
        const cv::v_int16x8 lo = cv::v_min(cv::v_max(cv::v_pack(s[0], s[1]), zero), top);
        const cv::v_int16x8 hi = cv::v_min(cv::v_max(cv::v_pack(s[2], s[3]), zero), top);
        return cv::v_pack(cv::v_mul_hi(cv::v_reinterpret_as_u16(lo), magic) >> 3,
                          cv::v_mul_hi(cv::v_reinterpret_as_u16(hi), magic) >> 3);
    }
#endif

    // Whole groups of 16 pixels of one row; returns how many pixels it did.
    int Vector(const uint8_t* s, uint8_t* d) const {
        int x = 0;
#if CV_SIMD128
        cv::v_int16x8 krg[3], kbc[3];
        for (int o = 0; o < 3; ++o) {
            const int16_t r = static_cast<int16_t>(terms_[o][0]), g = static_cast<int16_t>(terms_[o][1]);
            const int16_t b = static_cast<int16_t>(terms_[o][2]), c = static_cast<int16_t>(terms_[o][3]);
            krg[o] = cv::v_int16x8(r, g, r, g, r, g, r, g);
            kbc[o] = cv::v_int16x8(b, c, b, c, b, c, b, c);
        }
        const cv::v_int16x8 k255 = cv::v_setall_s16(255);
        for (; x + 16 <= in_.cols; x += 16) {
            cv::v_uint8x16 b, g, r, a;
            cv::v_load_deinterleave(s + 4 * x, b, g, r, a);
            cv::v_uint16x8 b0, b1, g0, g1, r0, r1;
            cv::v_expand(b, b0, b1);
            cv::v_expand(g, g0, g1);
            cv::v_expand(r, r0, r1);
            // Pairs (R, G) and (B, 255), four pixels to a vector.
            cv::v_int16x8 rg[4], bk[4];
            cv::v_zip(cv::v_reinterpret_as_s16(r0), cv::v_reinterpret_as_s16(g0), rg[0], rg[1]);
            cv::v_zip(cv::v_reinterpret_as_s16(r1), cv::v_reinterpret_as_s16(g1), rg[2], rg[3]);
            cv::v_zip(cv::v_reinterpret_as_s16(b0), k255, bk[0], bk[1]);
            cv::v_zip(cv::v_reinterpret_as_s16(b1), k255, bk[2], bk[3]);
            const cv::v_uint8x16 red = Mix(rg, bk, krg[0], kbc[0]);
            if (monochrome_) {
                cv::v_store_interleave(d + 4 * x, red, red, red, a);
            } else {
                cv::v_store_interleave(d + 4 * x, Mix(rg, bk, krg[2], kbc[2]), Mix(rg, bk, krg[1], kbc[1]), red, a);
            }
        }
#else
        (void)s;
        (void)d;
#endif
        return x;
    }

    const int32_t (*terms_)[4];
    bool monochrome_;
};

// --- black and white ------------------------------------------------------------------------------

class parallelBlackWhiteHitfilm final : public ColorRows {
public:
    // Each table holds the luma term of its channel already weighted.
    parallelBlackWhiteHitfilm(const cv::Mat& in, cv::Mat& out, const double* wb, const double* wg, const double* wr)
        : ColorRows(in, out), wb_(wb), wg_(wg), wr_(wr) {}
    void Rows(int y0, int y1) const override {
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr<uint8_t>(y);
            uint8_t* d = out_.ptr<uint8_t>(y);
            for (int x = 0; x < in_.cols; ++x, s += 4, d += 4) {
                const uint8_t gray = static_cast<uint8_t>(ClampToByte(wb_[s[0]] + wg_[s[1]] + wr_[s[2]]));
                d[0] = gray;
                d[1] = gray;
                d[2] = gray;
                d[3] = s[3];
            }
        }
    }

private:
    const double* wb_;
    const double* wg_;
    const double* wr_;
};

}  // namespace

// --- tint ------------------------------------------------------------------------------------------------

VideoEffectTint::VideoEffectTint() : mix_(256 * 256) {
    IntegerLuma();
    DeclareInt("black_red", &blackRed_, 0, 0, 255, 0);
    DeclareInt("black_green", &blackGreen_, 0, 0, 255, 0);
    DeclareInt("black_blue", &blackBlue_, 0, 0, 255, 0);
    DeclareInt("white_red", &whiteRed_, 255, 0, 255, 255);
    DeclareInt("white_green", &whiteGreen_, 255, 0, 255, 255);
    DeclareInt("white_blue", &whiteBlue_, 255, 0, 255, 255);
    DeclareFloat("amount", &amount_, 100, 0, 100, 100);
}

void VideoEffectTint::BuildTables(uint8_t target[3][256]) {
    // Each channel's target colour for every luma: the black-to-white ramp of that channel.
    const int black[3] = {blackBlue_, blackGreen_, blackRed_};
    const int white[3] = {whiteBlue_, whiteGreen_, whiteRed_};
    for (int c = 0; c < 3; ++c)
        for (int Y = 0; Y < 256; ++Y)
            target[c][Y] = static_cast<uint8_t>(ClampToByte(Y * ((white[c] - black[c]) / 255.0) + black[c]));

    // rint(x + 0.5) is ceil(x) for every x that is not a whole number; a whole x stays as it is,
    // so amount 0 returns the input and amount 100 the pure target (ties to even would lift odd
    // values by one).
    const double keep = 1 - amount_ * 0.01;
    for (int in = 0; in < 256; ++in)
        for (int t = 0; t < 256; ++t)
            mix_[in * 256 + t] = static_cast<uint8_t>(ClampToByte(std::ceil((in - t) * keep + t)));
}

ResultCode VideoEffectTint::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;

    uint8_t target[3][256];
    BuildTables(target);
    cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    parallelTint body(in, out, mix_.data(), target);
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

// --- channel mixer ------------------------------------------------------------------------------------

VideoEffectChannel_Mixer::VideoEffectChannel_Mixer() {
    static const char* const kNames[3][4] = {
        {"red_channel_red", "red_channel_green", "red_channel_blue", "red_channel_const"},
        {"green_channel_red", "green_channel_green", "green_channel_blue", "green_channel_const"},
        {"blue_channel_red", "blue_channel_green", "blue_channel_blue", "blue_channel_const"},
    };
    for (int o = 0; o < 3; ++o) {
        for (int i = 0; i < 4; ++i) {
            const int32_t def = o == i ? 100 : 0;
            Kernel(DeclareInt(kNames[o][i], &terms_[o][i], def, -200, 200, def), kNames[o][i]);
        }
    }
    Kernel(DeclareBool("monochrome", &monochrome_, false), "monochrome_flag");
}

ResultCode VideoEffectChannel_Mixer::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    parallelChannelMixer body(in, out, terms_, monochrome_);
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

// --- black and white ------------------------------------------------------------------------------------

VideoEffectBlackWhiteHitfilm::VideoEffectBlackWhiteHitfilm() {
    IntegerLuma();
    DeclareFloat("Red", &red_, 100, 0, 300, 100);
    DeclareFloat("Yellow", &yellow_, 100, 0, 300, 100);
    DeclareFloat("Green", &green_, 100, 0, 300, 100);
    DeclareFloat("Cyan", &cyan_, 100, 0, 300, 100);
    DeclareFloat("Blue", &blue_, 100, 0, 300, 100);
    DeclareFloat("Magenta", &magenta_, 100, 0, 300, 100);
}

void VideoEffectBlackWhiteHitfilm::Weights(double w[3]) const {
    // Squared so that the slider's middle (100) is a weight of exactly 1 and 300 is 9.
    auto weight = [](float v) { return static_cast<double>(v) * v * 0.0001; };
    const double red = weight(red_), yellow = weight(yellow_), green = weight(green_);
    const double cyan = weight(cyan_), blue = weight(blue_), magenta = weight(magenta_);
    w[0] = blue * cyan * magenta;
    w[1] = green * yellow * cyan;
    w[2] = yellow * red * magenta;
}

ResultCode VideoEffectBlackWhiteHitfilm::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    double w[3];
    Weights(w);
    const double wB = w[0], wG = w[1], wR = w[2];
    const LumaTable& luma = IntegerLuma();
    cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    // The defaults (every weight 1) and any other whole weights.
    auto whole = [](double w) { return w >= 0 && w <= 1e6 && w == std::floor(w); };
    if (whole(wB) && whole(wG) && whole(wR)) {
        uint8_t tb[256], tg[256], tr[256];
        for (int v = 0; v < 256; ++v) {
            tb[v] = static_cast<uint8_t>(ClampToByte(luma.b[v] * wB));
            tg[v] = static_cast<uint8_t>(ClampToByte(luma.g[v] * wG));
            tr[v] = static_cast<uint8_t>(ClampToByte(luma.r[v] * wR));
        }
        // Each term is then a whole number, exact in the doubles, and never negative, so clamping
        // each to 255 before the lookup's saturating gray sum gives the clamped sum.
        colorfx::parallelColorTable body(in, out, tb, tg, tr, LookupFinish::GraySum);
        RunRowBands(body, in.cols, in.rows);
        return Ok;
    }
    double tb[256], tg[256], tr[256];
    for (int v = 0; v < 256; ++v) {
        tb[v] = luma.b[v] * wB;
        tg[v] = luma.g[v] * wG;
        tr[v] = luma.r[v] * wR;
    }
    parallelBlackWhiteHitfilm body(in, out, tb, tg, tr);
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

}  // namespace orvex
