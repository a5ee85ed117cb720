// The colour effects whose pixels go through byte tables or integer sums: brightness and contrast,
// gamma, tint, channel mixer, per-channel gain, black and white, levels, colour pass, colour
// replace and leave colour.
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

using colorfx::parallelColorTable;

namespace {

// The table bodies of the effects that are one byte table per channel.
class parallelGammaCorrection final : public parallelColorTable {
    using parallelColorTable::parallelColorTable;
};
class parallelColorBanlance final : public parallelColorTable {
    using parallelColorTable::parallelColorTable;
};
class parallelAdjustLevels final : public parallelColorTable {
    using parallelColorTable::parallelColorTable;
};

// Runs a three-table pass from `input` into `output`.
template <class Body>
void RunTables(EffectFrame& input, EffectFrame& output, const uint8_t* blue, const uint8_t* green,
               const uint8_t* red) {
    cv::Mat in = WrapBGRA(input);
    cv::Mat out = WrapBGRA(output);
    Body body(in, out, blue, green, red);
    RunRowBands(body, in.cols, in.rows);
}

// A body over the wrapped input and output; derived bodies add their per-frame tables.
class ColorRows : public RowBandBody {
public:
    ColorRows(const cv::Mat& in, cv::Mat& out) : in_(in), out_(out) {}

protected:
    const cv::Mat& in_;
    cv::Mat& out_;
};

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

// The same gray when every weight is a whole number: each term is then a whole number, exact in
// the doubles, and the terms are never negative, so clamping each to 255 before a saturating sum
// gives the clamped sum. The terms come from byte tables through the shared lookup, summed in place.
class parallelBlackWhiteWhole final : public ColorRows {
public:
    parallelBlackWhiteWhole(const cv::Mat& in, cv::Mat& out, const uint8_t* tb, const uint8_t* tg, const uint8_t* tr)
        : ColorRows(in, out), tb_(tb), tg_(tg), tr_(tr) {}
    void Rows(int y0, int y1) const override {
        for (int y = y0; y < y1; ++y) {
            uint8_t* d = out_.ptr<uint8_t>(y);
            LookupBGRA(in_.ptr<uint8_t>(y), d, in_.cols, tb_, tg_, tr_);
            int x = 0;
#if CV_SIMD128
            // The 8-bit adds of the universal intrinsics saturate.
            for (; x + 16 <= in_.cols; x += 16) {
                cv::v_uint8x16 b, g, r, a;
                cv::v_load_deinterleave(d + 4 * x, b, g, r, a);
                const cv::v_uint8x16 gray = b + g + r;
                cv::v_store_interleave(d + 4 * x, gray, gray, gray, a);
            }
#endif
            for (uint8_t* p = d + 4 * x; x < in_.cols; ++x, p += 4)
                p[0] = p[1] = p[2] = static_cast<uint8_t>(std::min(255, p[0] + p[1] + p[2]));
        }
    }

private:
    const uint8_t* tb_;
    const uint8_t* tg_;
    const uint8_t* tr_;
};

// --- levels -----------------------------------------------------------------------------------------

// Histograms of blue, green, red and of the levels luma, one set per band, summed afterwards.
class parallelAdjustLevelsHistogram final : public ColorRows {
public:
    parallelAdjustLevelsHistogram(const cv::Mat& in, cv::Mat& unused, uint32_t* histograms)
        : ColorRows(in, unused), histograms_(histograms) {}
    void Rows(int y0, int y1) const override {
        uint32_t* h = histograms_ + static_cast<size_t>(colorfx::BandOf(y0, height)) * 4 * 256;
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr<uint8_t>(y);
            for (int x = 0; x < in_.cols; ++x, s += 4) {
                ++h[s[0]];
                ++h[256 + s[1]];
                ++h[512 + s[2]];
                const int luma = static_cast<int>(std::nearbyint((715 * s[1] + 213 * s[2] + 72 * s[0]) * 0.001));
                ++h[768 + luma];
            }
        }
    }

private:
    uint32_t* histograms_;
};

// The exponent curve of the gray level: E[127] is about 1 (no change), E[0] = 0.1, E[255] about 12.6.
const std::array<double, 256>& LevelsExponents() {
    static const std::array<double, 256> e = [] {
        std::array<double, 256> t{};
        for (int j = 0; j < 256; ++j) {
            const double x = j < 128 ? j * 0.0053840335 : (j - 127) * 0.019919859276649923 + 0.68377223398334;
            t[j] = (x + 0.31622776) * (x + 0.31622776);
        }
        return t;
    }();
    return e;
}

// L[v] of one group: gray curve G after the input range, then into the output range.
void BuildLevelsTable(const VideoEffectAdjustLevels::Levels& lv, uint8_t* table) {
    // Real division: with whole-number division every gray below 200 would pick E[255].
    const int index = ClampToByte((1 - lv.gray / 200.0) * 255);
    const double e = LevelsExponents()[index];
    uint8_t g[256];
    for (int v = 0; v < 256; ++v) g[v] = static_cast<uint8_t>(RoundToByte(std::pow(v / 255.0, e) * 255));
    // The levels are used as bytes (their low byte); differences stay signed.
    const int ib = static_cast<uint8_t>(lv.inputBlack);
    const int iw = static_cast<uint8_t>(lv.inputWhite);
    const int ob = static_cast<uint8_t>(lv.outputBlack);
    const int ow = static_cast<uint8_t>(lv.outputWhite);
    for (int v = 0; v < 256; ++v) {
        int t;
        if (v < ib) {
            t = 0;
        } else if (v <= iw) {
            // Equal black and white take the factor 1 rather than dividing by zero.
            t = ib == iw ? ClampToByte(v - ib) : RoundToByte((v - ib) * 255.0 / (iw - ib));
        } else {
            t = 255;
        }
        table[v] = static_cast<uint8_t>(RoundToByte(g[t] * (ow - ob) / 255.0 + ob));
    }
}

// --- colour pass, colour replace, leave colour -----------------------------------------------------

// Weighted squared distance of each channel to the chosen colour: 3 dB^2, 4 dG^2, 2 dR^2.
struct DistanceTables {
    int32_t b[256], g[256], r[256];
    DistanceTables(int blue, int green, int red) {
        for (int v = 0; v < 256; ++v) {
            b[v] = 3 * (v - blue) * (v - blue);
            g[v] = 4 * (v - green) * (v - green);
            r[v] = 2 * (v - red) * (v - red);
        }
    }
    int operator()(const uint8_t* p) const { return b[p[0]] + g[p[1]] + r[p[2]]; }
};

class parallelColorPass final : public ColorRows {
public:
    parallelColorPass(const cv::Mat& in, cv::Mat& out, const DistanceTables& dist, int theta, bool reverse)
        : ColorRows(in, out), dist_(dist), theta_(theta), reverse_(reverse) {}
    void Rows(int y0, int y1) const override {
        const LumaTable& luma = IntegerLuma();
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr<uint8_t>(y);
            uint8_t* d = out_.ptr<uint8_t>(y);
            for (int x = 0; x < in_.cols; ++x, s += 4, d += 4) {
                const int D = dist_(s);
                // D = theta keeps its colour either way.
                const bool gray = reverse_ ? D < theta_ : D > theta_;
                if (gray) {
                    const uint8_t Y = static_cast<uint8_t>(luma(s[0], s[1], s[2]));
                    d[0] = Y;
                    d[1] = Y;
                    d[2] = Y;
                } else {
                    const uint8_t b = s[0], g = s[1], r = s[2];
                    d[0] = b;
                    d[1] = g;
                    d[2] = r;
                }
                d[3] = s[3];
            }
        }
    }

private:
    const DistanceTables& dist_;
    int theta_;
    bool reverse_;
};

class parallelColorReplace final : public ColorRows {
public:
    // shaded[c][Y] is the replacement colour of channel c for a pixel of luma Y.
    parallelColorReplace(const cv::Mat& in, cv::Mat& out, const DistanceTables& dist, int theta,
                         const uint8_t (*shaded)[256])
        : ColorRows(in, out), dist_(dist), theta_(theta), shaded_(shaded) {}
    void Rows(int y0, int y1) const override {
        const LumaTable& luma = IntegerLuma();
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr<uint8_t>(y);
            uint8_t* d = out_.ptr<uint8_t>(y);
            for (int x = 0; x < in_.cols; ++x, s += 4, d += 4) {
                uint8_t b = s[0], g = s[1], r = s[2];
                if (dist_(s) < theta_) {
                    const int Y = luma(b, g, r);
                    b = shaded_[0][Y];
                    g = shaded_[1][Y];
                    r = shaded_[2][Y];
                }
                d[0] = b;
                d[1] = g;
                d[2] = r;
                d[3] = s[3];
            }
        }
    }

private:
    const DistanceTables& dist_;
    int theta_;
    const uint8_t (*shaded_)[256];
};

class parallelLeaveColor final : public ColorRows {
public:
    // keep[c] = M[c][k] and gray[Y] = M[Y][255 - k]: the two halves of the mix towards the luma.
    parallelLeaveColor(const cv::Mat& in, cv::Mat& out, int red, int green, int blue, int theta, const uint8_t* keep,
                       const uint8_t* gray)
        : ColorRows(in, out), red_(red), green_(green), blue_(blue), theta_(theta), keep_(keep), gray_(gray) {}
    void Rows(int y0, int y1) const override {
        const LumaTable& luma = IntegerLuma();
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr<uint8_t>(y);
            uint8_t* d = out_.ptr<uint8_t>(y);
            for (int x = 0; x < in_.cols; ++x, s += 4, d += 4) {
                uint8_t b = s[0], g = s[1], r = s[2];
                const int dr = r - red_, dg = g - green_, db = b - blue_;
                // The kept colour itself has distance 0, never above theta >= 0: unchanged.
                if (dr * dr + dg * dg + db * db > theta_) {
                    const int toGray = gray_[luma(b, g, r)];
                    b = static_cast<uint8_t>(ClampToByte(keep_[b] + toGray));
                    g = static_cast<uint8_t>(ClampToByte(keep_[g] + toGray));
                    r = static_cast<uint8_t>(ClampToByte(keep_[r] + toGray));
                }
                d[0] = b;
                d[1] = g;
                d[2] = r;
                d[3] = s[3];
            }
        }
    }

private:
    int red_, green_, blue_, theta_;
    const uint8_t* keep_;
    const uint8_t* gray_;
};

}  // namespace

// --- brightness and contrast ------------------------------------------------------------------------

VideoEffectBrightnessContrast::VideoEffectBrightnessContrast() {
    DeclareFloat("bright", &bright_, 20, -100, 100, 20);
    DeclareFloat("contrast", &contrast_, 20, -100, 100, 20);
}

std::array<uint8_t, 256> VideoEffectBrightnessContrast::BuildTable(bool* identity) const {
    std::array<uint8_t, 256> t{};
    const int c = static_cast<int>(contrast_ * 2.55 + 0.5);
    const int b = static_cast<int>(bright_ + 0.5);
    *identity = c == 0 && b == 0;
    if (*identity) {
        for (int i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>(i);
        return t;
    }
    double k = c / 255.0;
    if (c <= -255) k = -1;
    if (c >= 1 && c <= 254) k = k / (1 - k);
    for (int i = 0; i < 256; ++i) {
        const int v = c > 0 ? ClampToByte(i + b) : i;
        int w;
        if (c >= 255) {
            w = v >= 127 ? 255 : 0;
        } else {
            w = RoundToByte((v - 127) * k + v + 0.5);
        }
        if (c <= 0) w = ClampToByte(w + b);
        t[i] = static_cast<uint8_t>(w);
    }
    return t;
}

ResultCode VideoEffectBrightnessContrast::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    bool identity = false;
    const std::array<uint8_t, 256> table = BuildTable(&identity);
    if (identity) {
        cv::Mat out = WrapBGRA(*output);
        CopyFrame(WrapBGRA(*input), out);
        return Ok;
    }
    RunTables<parallelColorTable>(*input, *output, table.data(), table.data(), table.data());
    return Ok;
}

// --- gamma ----------------------------------------------------------------------------------------------

VideoEffectGammaCorrection::VideoEffectGammaCorrection() {
    DeclareFloat("Gamma", &gamma_, 10, 0, 28, 10);
}

void VideoEffectGammaCorrection::BuildTable(uint8_t t[256]) const {
    const double g = gamma_ * 0.1;
    // 0.003922 is a little over 1/255, so 255 maps slightly above 255 and the min keeps it a byte;
    // pow(0, 0) = 1 makes Gamma 0 a white frame.
    for (int i = 0; i < 256; ++i)
        t[i] = static_cast<uint8_t>(std::min(255, static_cast<int>(std::pow(i * 0.003922, g) * 255 + 0.5)));
}

ResultCode VideoEffectGammaCorrection::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    uint8_t t[256];
    BuildTable(t);
    RunTables<parallelGammaCorrection>(*input, *output, t, t, t);
    return Ok;
}

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

// --- per-channel gain ---------------------------------------------------------------------------------

VideoEffectColorBanlance::VideoEffectColorBanlance() {
    DeclareFloat("Red", &red_, 100, 0, 200, 100);
    DeclareFloat("Green", &green_, 100, 0, 200, 100);
    DeclareFloat("Blue", &blue_, 100, 0, 200, 100);
}

void VideoEffectColorBanlance::GainTables(uint8_t t[3][256]) const {
    const double gain[3] = {blue_, green_, red_};
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i) t[c][i] = static_cast<uint8_t>(RoundToByte(i * gain[c] * 0.01));
}

ResultCode VideoEffectColorBanlance::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    uint8_t t[3][256];
    GainTables(t);
    RunTables<parallelColorBanlance>(*input, *output, t[0], t[1], t[2]);
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
        parallelBlackWhiteWhole body(in, out, tb, tg, tr);
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

// --- levels ----------------------------------------------------------------------------------------------

VideoEffectAdjustLevels::VideoEffectAdjustLevels() {
    static const char* const kNames[4][5] = {
        {"rgb_input_black_level", "rgb_input_white_level", "rgb_output_black_level", "rgb_output_white_level",
         "rgb_gray_level"},
        {"red_input_black_level", "red_input_white_level", "red_output_black_level", "red_output_white_level",
         "red_gray_level"},
        {"green_input_black_level", "green_input_white_level", "green_output_black_level",
         "green_output_white_level", "green_gray_level"},
        {"blue_input_black_level", "blue_input_white_level", "blue_output_black_level", "blue_output_white_level",
         "blue_gray_level"},
    };
    for (int g = 0; g < 4; ++g) {
        DeclareInt(kNames[g][0], &groups_[g].inputBlack, 0);
        DeclareInt(kNames[g][1], &groups_[g].inputWhite, 255);
        DeclareInt(kNames[g][2], &groups_[g].outputBlack, 0);
        DeclareInt(kNames[g][3], &groups_[g].outputWhite, 255);
        DeclareInt(kNames[g][4], &groups_[g].gray, 100);
    }
    DeclareBool("auto_level", &autoLevel_, false);
}

void VideoEffectAdjustLevels::AutoLevels(const cv::Mat& in, Levels groups[4]) {
    histograms_.assign(static_cast<size_t>(kBandCount) * 4 * 256, 0);
    cv::Mat none;
    parallelAdjustLevelsHistogram body(in, none, histograms_.data());
    RunRowBands(body, in.cols, in.rows);
    uint32_t hist[4][256] = {};  // blue, green, red, luma
    for (int b = 0; b < kBandCount; ++b)
        for (int k = 0; k < 4; ++k)
            for (int v = 0; v < 256; ++v) hist[k][v] += histograms_[(static_cast<size_t>(b) * 4 + k) * 256 + v];

    // Half a percent of the pixels at each end are clipped.
    const int64_t n = static_cast<int64_t>(static_cast<double>(in.cols) * in.rows * 0.005);
    auto levelsOf = [n](const uint32_t* h) {
        int low = 0, high = 0;
        int64_t count = 0;
        for (int v = 0; v < 256; ++v) {
            count += h[v];
            if (count > n) {
                low = v;
                break;
            }
        }
        count = 0;
        for (int v = 255; v >= 0; --v) {
            count += h[v];
            if (count > n) {
                high = v;
                break;
            }
        }
        Levels lv;
        lv.inputBlack = low / 2;
        lv.inputWhite = high + (255 - high) / 2;
        return lv;
    };
    groups[kRgb] = levelsOf(hist[3]);
    groups[kRed] = levelsOf(hist[2]);
    groups[kGreen] = levelsOf(hist[1]);
    groups[kBlue] = levelsOf(hist[0]);
}

void VideoEffectAdjustLevels::FoldLevelsTables(const Levels groups[4], uint8_t t[3][256]) {
    uint8_t tables[4][256];
    for (int g = 0; g < 4; ++g) BuildLevelsTable(groups[g], tables[g]);
    const int channelGroup[3] = {kBlue, kGreen, kRed};
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v) t[c][v] = tables[kRgb][tables[channelGroup[c]][v]];
}

ResultCode VideoEffectAdjustLevels::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    cv::Mat in = WrapBGRA(*input);
    // Auto levels measure each frame and leave the stored levels alone.
    Levels groups[4] = {groups_[0], groups_[1], groups_[2], groups_[3]};
    if (autoLevel_) AutoLevels(in, groups);

    uint8_t t[3][256];
    FoldLevelsTables(groups, t);
    RunTables<parallelAdjustLevels>(*input, *output, t[0], t[1], t[2]);
    return Ok;
}

// --- colour pass -----------------------------------------------------------------------------------------

VideoEffectColorPass::VideoEffectColorPass() {
    IntegerLuma();
    Kernel(DeclareBool("Reverse", &reverse_, false), "reverse");
    Kernel(DeclareInt("Similar", &similar_, 8, 0, 100, 8), "similar");
    Kernel(DeclareByte("Pass_Red", &passRed_, 255), "pass_r");
    Kernel(DeclareByte("Pass_Green", &passGreen_, 0), "pass_g");
    Kernel(DeclareByte("Pass_Blue", &passBlue_, 0), "pass_b");
}

ResultCode VideoEffectColorPass::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    const DistanceTables dist(passBlue_, passGreen_, passRed_);
    cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    parallelColorPass body(in, out, dist, 36 * similar_ * similar_, reverse_);
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

// --- colour replace --------------------------------------------------------------------------------------

VideoEffectColorReplace::VideoEffectColorReplace() {
    IntegerLuma();
    Kernel(DeclareBool("Solid", &solid_, false), "soild_flag");
    Kernel(DeclareInt("Similar", &similar_, 8, 0, 100, 8), "similar");
    Kernel(DeclareByte("Target_Red", &targetRed_, 255), "target_r");
    Kernel(DeclareByte("Target_Green", &targetGreen_, 0), "target_g");
    Kernel(DeclareByte("Target_Blue", &targetBlue_, 0), "target_b");
    Kernel(DeclareByte("Replace_Red", &replaceRed_, 0), "replace_r");
    Kernel(DeclareByte("Replace_Green", &replaceGreen_, 0), "replace_g");
    Kernel(DeclareByte("Replace_Blue", &replaceBlue_, 255), "replace_b");
}

ResultCode VideoEffectColorReplace::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    const DistanceTables dist(targetBlue_, targetGreen_, targetRed_);
    // Solid replaces with the colour itself; otherwise the colour is shaded by the pixel's luma.
    uint8_t shaded[3][256];
    const int replace[3] = {replaceBlue_, replaceGreen_, replaceRed_};
    const uint8_t* M = MulTable();
    for (int c = 0; c < 3; ++c)
        for (int Y = 0; Y < 256; ++Y) shaded[c][Y] = solid_ ? static_cast<uint8_t>(replace[c]) : M[Y * 256 + replace[c]];
    cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    parallelColorReplace body(in, out, dist, 36 * similar_ * similar_, shaded);
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

// --- leave colour ------------------------------------------------------------------------------------------

VideoEffectLeaveColor::VideoEffectLeaveColor() {
    IntegerLuma();
    Kernel(DeclareInt("red_leave", &redLeave_, 255, 0, 255, 255), "red_leave");
    Kernel(DeclareInt("green_leave", &greenLeave_, 0, 0, 255, 255), "green_leave");
    Kernel(DeclareInt("blue_leave", &blueLeave_, 0, 0, 255, 255), "blue_leave");
    DeclareFloat("amount", &amount_, 100, 0, 100, 100);
    DeclareFloat("tolerance", &tolerance_, 15, 0, 100, 15);
}

void VideoEffectLeaveColor::Weights(int* k, int* theta) const {
    *k = static_cast<int>((1 - amount_ * 0.01) * 255);
    // 442.5 is about the largest RGB distance (sqrt(3) * 255 = 441.7), so tolerance is a percentage of it.
    const double radius = tolerance_ * 0.01 * 442.5;
    *theta = static_cast<int>(radius * radius);
}

ResultCode VideoEffectLeaveColor::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    int k = 0, theta = 0;
    Weights(&k, &theta);
    const uint8_t* M = MulTable();
    uint8_t keep[256], gray[256];
    for (int v = 0; v < 256; ++v) {
        keep[v] = M[v * 256 + k];
        gray[v] = M[v * 256 + 255 - k];
    }
    cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    parallelLeaveColor body(in, out, redLeave_, greenLeave_, blueLeave_, theta, keep, gray);
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

}  // namespace orvex
