// The colour effects that work through HLS or YIQ: HLS balance, colour balance by tonal range,
// channel invert and change to colour. Conversions run per band in strips of a few rows through
// scratch images the effect keeps.
#include <algorithm>
#include <array>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "effects/colour/ColorEffects.h"
#include "effects/ColorEffectsShared.h"
#include "effects/colour/HlsRows.h"
#include "imagecpu/BlendTables.h"
#include "imagecpu/TableLookup.h"
#include "imagecpu/SaturatingCasts.h"

namespace orvex {

using colorfx::BandOf;
using colorfx::ForStrips;
using colorfx::ScratchRows;

const float* colorfx::UnitFloats() {
    static const std::array<float, 256> table = [] {
        cv::Mat bytes(1, 256, CV_8U);
        for (int v = 0; v < 256; ++v) bytes.at<uint8_t>(v) = static_cast<uint8_t>(v);
        cv::Mat floats;
        bytes.convertTo(floats, CV_32F, 1 / 255.0);
        std::array<float, 256> t{};
        for (int v = 0; v < 256; ++v) t[v] = floats.at<float>(v);
        return t;
    }();
    return table.data();
}

namespace {

// Writes a strip of three-channel colours to the output rows with the input's alpha. Safe in
// place: each pixel's alpha is read before that pixel is written.
void WriteWithAlpha(const cv::Mat& bgr, const cv::Mat& in, cv::Mat& out, int y, int n) {
    for (int r = 0; r < n; ++r) {
        const uint8_t* c = bgr.ptr<uint8_t>(r);
        const uint8_t* a = in.ptr<uint8_t>(y + r);
        uint8_t* d = out.ptr<uint8_t>(y + r);
        for (int x = 0; x < in.cols; ++x, c += 3, a += 4, d += 4) {
            const uint8_t alpha = a[3];
            d[0] = c[0];
            d[1] = c[1];
            d[2] = c[2];
            d[3] = alpha;
        }
    }
}

class ScratchRowsBody : public RowBandBody {
public:
    ScratchRowsBody(const cv::Mat& in, cv::Mat& out, BandScratchSet& scratch)
        : in_(in), out_(out), scratch_(scratch) {}

protected:
    BandScratch& Scratch(int y0) const { return scratch_[BandOf(y0, height)]; }

    const cv::Mat& in_;
    cv::Mat& out_;
    BandScratchSet& scratch_;
};

// --- HLS balance -----------------------------------------------------------------------------------

// The image library's HLS lightness byte of a pixel, by its largest and smallest channel: it is
// round(255 * (max / 255 + min / 255) / 2) in floats, which no other channel enters. Read once
// from the library's own conversion of every (max, min) pair.
const uint8_t* HlsLightnessBytes() {
    static const std::vector<uint8_t> table = [] {
        cv::Mat pairs(256, 256, CV_8UC3);
        for (int mx = 0; mx < 256; ++mx)
            for (int mn = 0; mn < 256; ++mn) pairs.at<cv::Vec3b>(mx, mn) = cv::Vec3b(mn, mn, mx);
        cv::Mat hls;
        cv::cvtColor(pairs, hls, cv::COLOR_BGR2HLS);
        std::vector<uint8_t> t(256 * 256);
        for (int mx = 0; mx < 256; ++mx)
            for (int mn = 0; mn < 256; ++mn) t[mx * 256 + mn] = hls.at<cv::Vec3b>(mx, mn)[1];
        return t;
    }();
    return table.data();
}

class parallelColorBalanceHLS final : public ScratchRowsBody {
public:
    struct Frame {
        bool lighten;          // lightness > 1e-6: the formulas that move towards white
        int hueShift;          // trunc(hue / 2), in the 0..179 hue bytes
        double saturation;     // 1 + saturation / 100
        uint8_t lightness[256];  // L -> L'
        const uint8_t* ls;     // (L', S') at 2 (max * 256 + min) (FillPairs)
    };
    parallelColorBalanceHLS(const cv::Mat& in, cv::Mat& out, BandScratchSet& scratch, const Frame& f)
        : ScratchRowsBody(in, out, scratch), f_(f) {}

    // S' depends on the pixel only through its largest and smallest channel (L' through them too:
    // HlsLightnessBytes), so the frame's formulas run once per pair of them, not once per pixel.
    // `table` holds 2 * 65536 bytes and two more, which the vector rows' 4-byte reads may touch.
    static void FillPairs(const Frame& f, uint8_t* table) {
        const float* unit = colorfx::UnitFloats();
        const uint8_t* lightnessOf = HlsLightnessBytes();
        for (int mxb = 0; mxb < 256; ++mxb)
            for (int mnb = 0; mnb <= mxb; ++mnb) {
                const float mx = unit[mxb], mn = unit[mnb];
                const double delta = mx - mn;
                const int L = f.lightness[lightnessOf[mxb * 256 + mnb]];
                // A zero denominator only comes with L' at 0 or 255 (or a gray pixel), where
                // saturation has no effect: S0 = 0 there.
                double s0;
                if (L < 128) {
                    if (f.lighten) {
                        s0 = L > 0 ? delta / (2 * L) * 255 * 255 : 0;
                    } else {
                        const double sum = static_cast<double>(mx) + mn;
                        s0 = sum > 0 ? delta / sum * 255 : 0;
                    }
                } else if (f.lighten) {
                    const double rest = 2.0 - mx - mn;
                    s0 = rest > 0 ? delta / rest * 255 : 0;
                } else {
                    // 32385 = 127 * 255: the darkening branch scales by 127, not 127.5.
                    s0 = L < 255 ? delta * 32385 / (255 - L) : 0;
                }
                const double rounded = std::trunc(s0 + 0.5);
                table[2 * (mxb * 256 + mnb)] = static_cast<uint8_t>(L);
                table[2 * (mxb * 256 + mnb) + 1] = static_cast<uint8_t>(RoundToByte(rounded * f.saturation));
            }
    }

    void Rows(int y0, int y1) const override {
        // The vector rows do the columns the library's conversions do in vector lanes; its scalar
        // row tails, which round differently, stay with the library.
        int from = 0;
        if (BestLookupPath() >= LookupPath::Avx2 && hlsrows::Available()) {
            from = in_.cols - in_.cols % 8;
            for (int y = y0; y < y1; ++y)
                hlsrows::BalanceBGRA(f_.ls, f_.hueShift, in_.ptr<uint8_t>(y), out_.ptr<uint8_t>(y), from);
        }
        if (from < in_.cols) LibraryRows(y0, y1, from);
    }

private:
    // Columns [from, width) of rows [y0, y1) through the library's two conversions.
    void LibraryRows(int y0, int y1, int from) const {
        BandScratch& sc = Scratch(y0);
        // In locals: the byte stores below could alias the frame's fields.
        const int cols = in_.cols - from, shift = f_.hueShift;
        const uint8_t* lightness = f_.lightness;
        const uint8_t* pairs = f_.ls;
        const cv::Range columns(from, in_.cols);
        ForStrips(y0, y1, [&](int y, int n) {
            const cv::Mat src = in_(cv::Range(y, y + n), columns);
            cv::Mat hls = ScratchRows(sc.m[0], n, cols, CV_8UC3);
            cv::cvtColor(src, hls, cv::COLOR_BGR2HLS);
            for (int r = 0; r < n; ++r) {
                const uint8_t* p = src.ptr<uint8_t>(r);
                uint8_t* h = hls.ptr<uint8_t>(r);
                for (int x = 0; x < cols; ++x, p += 4, h += 3) {
                    const int mx = std::max({p[0], p[1], p[2]}), mn = std::min({p[0], p[1], p[2]});
                    const int hue = h[0] + shift;
                    h[0] = static_cast<uint8_t>(hue >= 180 ? hue - 180 : hue);
                    h[1] = lightness[h[1]];
                    h[2] = pairs[2 * (mx * 256 + mn) + 1];
                }
            }
            cv::Mat bgr = ScratchRows(sc.m[1], n, cols, CV_8UC3);
            cv::cvtColor(hls, bgr, cv::COLOR_HLS2BGR);
            cv::Mat dst = out_(cv::Range::all(), columns);
            WriteWithAlpha(bgr, in_(cv::Range::all(), columns), dst, y, n);
        });
    }

    const Frame& f_;
};

// --- colour balance by tonal range -------------------------------------------------------------------

class parallelColorCorrectionColorBalance final : public ScratchRowsBody {
public:
    parallelColorCorrectionColorBalance(const cv::Mat& in, cv::Mat& out, BandScratchSet& scratch,
                                        const std::array<uint8_t, 256>* tables, bool keepLightness)
        : ScratchRowsBody(in, out, scratch), t_(tables), keepLightness_(keepLightness) {}

    void Rows(int y0, int y1) const override {
        if (!keepLightness_) {
            colorfx::parallelColorTable(in_, out_, t_[0].data(), t_[1].data(), t_[2].data()).Rows(y0, y1);
            return;
        }
        BandScratch& sc = Scratch(y0);
        ForStrips(y0, y1, [&](int y, int n) {
            const cv::Mat src = in_.rowRange(y, y + n);
            cv::Mat mapped = ScratchRows(sc.m[0], n, in_.cols, CV_8UC3);
            for (int r = 0; r < n; ++r) {
                const uint8_t* s = src.ptr<uint8_t>(r);
                uint8_t* m = mapped.ptr<uint8_t>(r);
                for (int x = 0; x < in_.cols; ++x, s += 4, m += 3) {
                    m[0] = t_[0][s[0]];
                    m[1] = t_[1][s[1]];
                    m[2] = t_[2][s[2]];
                }
            }
            // The mapped colours with the unprocessed picture's HLS lightness.
            cv::Mat hlsIn = ScratchRows(sc.m[1], n, in_.cols, CV_8UC3);
            cv::Mat hlsMapped = ScratchRows(sc.m[2], n, in_.cols, CV_8UC3);
            cv::cvtColor(src, hlsIn, cv::COLOR_BGR2HLS);
            cv::cvtColor(mapped, hlsMapped, cv::COLOR_BGR2HLS);
            for (int r = 0; r < n; ++r) {
                const uint8_t* a = hlsIn.ptr<uint8_t>(r);
                uint8_t* b = hlsMapped.ptr<uint8_t>(r);
                for (int x = 0; x < in_.cols; ++x) b[3 * x + 1] = a[3 * x + 1];
            }
            cv::cvtColor(hlsMapped, mapped, cv::COLOR_HLS2BGR);
            WriteWithAlpha(mapped, in_, out_, y, n);
        });
    }

private:
    const std::array<uint8_t, 256>* t_;
    bool keepLightness_;
};

// --- channel invert ------------------------------------------------------------------------------------

class parallelChannelInvert final : public ScratchRowsBody {
public:
    parallelChannelInvert(const cv::Mat& in, cv::Mat& out, BandScratchSet& scratch, int selection, int k)
        : ScratchRowsBody(in, out, scratch), selection_(selection), k_(k) {}

    // The selections that invert bytes one by one (or make black): the mix before the alpha
    // scaling, keep[I] + blend[P(I)], is a table per channel, and the scaling is premultiplication:
    // a table pass with the lookup's premultiplying finish.
    static bool ByteWise(int selection) { return selection <= 3 || selection == 12; }
    static void BuildMixed(int selection, int k, uint8_t (*mixed)[256]) {
        const uint8_t* M = MulTable();
        for (int c = 0; c < 3; ++c) {
            const bool inverted = selection == 0 || (selection == 1 && c == 2) || (selection == 2 && c == 1) ||
                                  (selection == 3 && c == 0);
            for (int v = 0; v < 256; ++v) {
                const int p = selection == 12 ? 0 : (inverted ? 255 - v : v);
                mixed[c][v] = static_cast<uint8_t>(M[k * 256 + v] + M[(255 - k) * 256 + p]);
            }
        }
    }

    // The HLS hue reflection of selections 4 and 5, on 0..179 hue bytes.
    static int InvertHue(int h) { return ClampToByte(h <= 90 ? 90 - h : 270 - h); }

    void Rows(int y0, int y1) const override {
        BandScratch& sc = Scratch(y0);
        const uint8_t* M = MulTable();
        const uint8_t* keep = M + k_ * 256;            // M[k][I] = M[I][k]
        const uint8_t* blend = M + (255 - k_) * 256;   // M[255 - k][P]
        ForStrips(y0, y1, [&](int y, int n) {
            const cv::Mat src = in_.rowRange(y, y + n);
            cv::Mat inverted = ScratchRows(sc.m[0], n, in_.cols, CV_8UC3);
            Invert(src, inverted, sc, n);
            for (int r = 0; r < n; ++r) {
                const uint8_t* s = src.ptr<uint8_t>(r);
                const uint8_t* p = inverted.ptr<uint8_t>(r);
                uint8_t* d = out_.ptr<uint8_t>(y + r);
                for (int x = 0; x < in_.cols; ++x, s += 4, p += 3, d += 4) {
                    const int alpha = s[3];
                    const uint8_t* scale = M + alpha * 256;  // M[alpha][P'] = M[P'][alpha]
                    // M[I][k] + M[P][255 - k] never exceeds 255: each term is at most its weight.
                    const uint8_t b = scale[keep[s[0]] + blend[p[0]]];
                    const uint8_t g = scale[keep[s[1]] + blend[p[1]]];
                    const uint8_t rr = scale[keep[s[2]] + blend[p[2]]];
                    d[0] = b;
                    d[1] = g;
                    d[2] = rr;
                    d[3] = static_cast<uint8_t>(alpha);
                }
            }
        });
    }

private:
    // The inverted picture P of one strip.
    void Invert(const cv::Mat& src, cv::Mat& inv, BandScratch& sc, int n) const {
        const int w = src.cols;
        if (selection_ >= 4 && selection_ <= 7) {
            cv::Mat hls = ScratchRows(sc.m[1], n, w, CV_8UC3);
            cv::cvtColor(src, hls, cv::COLOR_BGR2HLS);
            for (int r = 0; r < n; ++r) {
                uint8_t* h = hls.ptr<uint8_t>(r);
                for (int x = 0; x < w; ++x, h += 3) {
                    if (selection_ == 4 || selection_ == 5) h[0] = static_cast<uint8_t>(InvertHue(h[0]));
                    if (selection_ == 4 || selection_ == 6) h[1] = static_cast<uint8_t>(255 - h[1]);
                    if (selection_ == 4 || selection_ == 7) h[2] = static_cast<uint8_t>(255 - h[2]);
                }
            }
            cv::cvtColor(hls, inv, cv::COLOR_HLS2BGR);
            return;
        }
        for (int r = 0; r < n; ++r) {
            const uint8_t* s = src.ptr<uint8_t>(r);
            uint8_t* p = inv.ptr<uint8_t>(r);
            for (int x = 0; x < w; ++x, s += 4, p += 3) {
                uint8_t b = s[0], g = s[1], rr = s[2];
                switch (selection_) {
                case 0:
                    b = static_cast<uint8_t>(255 - b);
                    g = static_cast<uint8_t>(255 - g);
                    rr = static_cast<uint8_t>(255 - rr);
                    break;
                case 1: rr = static_cast<uint8_t>(255 - rr); break;
                case 2: g = static_cast<uint8_t>(255 - g); break;
                case 3: b = static_cast<uint8_t>(255 - b); break;
                case 8: case 9: case 10: case 11: InvertYIQ(&b, &g, &rr); break;
                default: b = g = rr = 0; break;  // 12: opaque black
                }
                p[0] = b;
                p[1] = g;
                p[2] = rr;
            }
        }
    }

    void InvertYIQ(uint8_t* b, uint8_t* g, uint8_t* r) const {
        const double unit = 3.92156862745098e-6;  // 1 / 255000: the weights are in thousandths
        double Y = (587 * *g + 299 * *r + 114 * *b) * unit;
        double I = (596 * *r - 321 * *b - 275 * *g) * unit;
        double Q = (311 * *b - 523 * *g + 212 * *r) * unit;
        if (selection_ == 8 || selection_ == 9) Y = 1 - Y;
        if (selection_ == 8 || selection_ == 10) I = -I;
        if (selection_ == 8 || selection_ == 11) Q = -Q;
        *b = static_cast<uint8_t>(ClampToByte((Y - 1.106 * I + 1.703 * Q) * 255));
        *g = static_cast<uint8_t>(ClampToByte((Y - 0.272 * I - 0.647 * Q) * 255));
        *r = static_cast<uint8_t>(ClampToByte((Y + 0.956 * I + 0.619 * Q) * 255));
    }

    int selection_;
    int k_;
};

// --- change to colour ----------------------------------------------------------------------------------

class parallelChange2Color final : public ScratchRowsBody {
public:
    struct Frame {
        double hueLo, hueHi;   // open hue window in degrees, may reach below 0 or above 360
        double lightLo, lightHi;
        double satLo, satHi;
        int mode;              // 0 set, 1 shift, else nothing changes
        bool changeH, changeL, changeS;
        double fromH, fromL, fromS, toH, toL, toS;
        bool viewMatte;
        uint8_t matte[766];    // by B + G + R of the input pixel, for a changed pixel
    };
    parallelChange2Color(const cv::Mat& in, cv::Mat& out, BandScratchSet& scratch, const Frame& f)
        : ScratchRowsBody(in, out, scratch), f_(f) {}

    bool Matches(float h, float l, float s) const {
        const bool hue = (f_.hueLo < h && h < f_.hueHi) || (f_.hueLo < 0 && f_.hueLo + 360 < h && h < 360) ||
                         (f_.hueHi > 360 && h < f_.hueHi - 360);
        return hue && f_.lightLo < l && l < f_.lightHi && f_.satLo < s && s < f_.satHi;
    }

    // A changed component that came out non-finite keeps its value; hue stays in the range the
    // conversion back accepts.
    static float Kept(double v, double lo, double hi, float old) {
        return std::isnan(v) ? old : static_cast<float>(std::clamp(v, lo, hi));
    }

    void Change(float* hls) const {
        if (f_.mode == 0) {
            if (f_.changeH) hls[0] = static_cast<float>(f_.toH);
            if (f_.changeL) hls[1] = static_cast<float>(f_.toL);
            if (f_.changeS) hls[2] = static_cast<float>(f_.toS);
        } else if (f_.mode == 1) {
            if (f_.changeH) hls[0] = Kept(hls[0] - f_.fromH + f_.toH, 0, 360, hls[0]);
            if (f_.changeL) hls[1] = Kept(hls[1] - f_.fromL + f_.toL, 0, 1, hls[1]);
            if (f_.changeS) hls[2] = Kept(hls[2] - f_.fromS + f_.toS, 0, 1, hls[2]);
        }
    }

    void Rows(int y0, int y1) const override {
        BandScratch& sc = Scratch(y0);
        const int w = in_.cols;
        ForStrips(y0, y1, [&](int y, int n) {
            const cv::Mat src = in_.rowRange(y, y + n);
            cv::Mat unit = ScratchRows(sc.m[0], n, w, CV_32FC4);
            src.convertTo(unit, CV_32F, 1 / 255.0);
            cv::Mat hls = ScratchRows(sc.m[1], n, w, CV_32FC3);
            cv::cvtColor(unit, hls, cv::COLOR_BGR2HLS);
            for (int r = 0; r < n; ++r) {
                float* h = hls.ptr<float>(r);
                for (int x = 0; x < w; ++x, h += 3)
                    if (Matches(h[0], h[1], h[2])) Change(h);
            }
            cv::Mat back = ScratchRows(sc.m[2], n, w, CV_32FC3);
            cv::cvtColor(hls, back, cv::COLOR_HLS2BGR);
            cv::Mat changed = ScratchRows(sc.m[3], n, w, CV_8UC3);
            back.convertTo(changed, CV_8U, 255);
            for (int r = 0; r < n; ++r) {
                const uint8_t* s = src.ptr<uint8_t>(r);
                const uint8_t* c = changed.ptr<uint8_t>(r);
                uint8_t* d = out_.ptr<uint8_t>(y + r);
                for (int x = 0; x < w; ++x, s += 4, c += 3, d += 4) {
                    const uint8_t b = s[0], g = s[1], rr = s[2], a = s[3];
                    const bool moved = c[0] != b || c[1] != g || c[2] != rr;
                    const int m = moved ? f_.matte[b + g + rr] : 0;
                    if (f_.viewMatte) {
                        d[0] = d[1] = d[2] = static_cast<uint8_t>(m);
                    } else {
                        // trunc(changed * m/255 + input * (1 - m/255)) in exact integers, so a
                        // channel that did not change keeps its byte.
                        d[0] = static_cast<uint8_t>((c[0] * m + b * (255 - m)) / 255);
                        d[1] = static_cast<uint8_t>((c[1] * m + g * (255 - m)) / 255);
                        d[2] = static_cast<uint8_t>((c[2] * m + rr * (255 - m)) / 255);
                    }
                    d[3] = a;
                }
            }
        });
    }

private:
    const Frame& f_;
};

}  // namespace

// --- HLS balance -----------------------------------------------------------------------------------

VideoEffectColorBalanceHLS::VideoEffectColorBalanceHLS() {
    Kernel(DeclareFloat("hue", &hue_, 0, 0, 360, 0), "hue");
    DeclareFloat("lightness", &lightness_, 0, -100, 100, 0);
    DeclareFloat("saturation", &saturation_, 0, -100, 100, 0);
}

namespace {

// The frame's parameters of the HLS balance, its (L', S') table filled into `pairs`.
parallelColorBalanceHLS::Frame HlsBalanceFrame(float hue, float lightness, float saturation,
                                               std::vector<uint8_t>& pairs) {
    parallelColorBalanceHLS::Frame f;
    f.lighten = lightness > 1e-6;
    f.hueShift = static_cast<int>(hue * 0.5);
    f.saturation = saturation * 0.01 + 1;
    const double l = lightness * 0.01;
    for (int L = 0; L < 256; ++L)
        f.lightness[L] = static_cast<uint8_t>(RoundToByte((f.lighten ? 255 - L : L) * l + L));
    pairs.resize(2 * 256 * 256 + 2);
    parallelColorBalanceHLS::FillPairs(f, pairs.data());
    f.ls = pairs.data();
    return f;
}

}  // namespace

const std::vector<uint8_t>& VideoEffectColorBalanceHLS::KernelTable() {
    HlsBalanceFrame(hue_, lightness_, saturation_, pairs_);
    return pairs_;
}

ResultCode VideoEffectColorBalanceHLS::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    const parallelColorBalanceHLS::Frame f = HlsBalanceFrame(hue_, lightness_, saturation_, pairs_);
    cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    parallelColorBalanceHLS body(in, out, scratch_, f);
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

// --- colour balance by tonal range -------------------------------------------------------------------

VideoEffectColorCorrectionColorBalance::VideoEffectColorCorrectionColorBalance() {
    // f lifts shadows most (f(0) = 0.075 rising to about 1); g peaks at the midtones (g(127) = 0.667).
    for (int x = 0; x < 256; ++x) {
        shadowCurve_[x] = static_cast<float>(1.075 - 1 / (x / 16.0 + 1));
        const double d = (x - 127) / 127.0;
        midtoneCurve_[x] = static_cast<float>(0.667 * (1 - d * d));
    }
    static const char* const kNames[3][3] = {
        {"shadow_red", "shadow_green", "shadow_blue"},
        {"midtone_red", "midtone_green", "midtone_blue"},
        {"highlight_red", "highlight_green", "highlight_blue"},
    };
    float* fields[3] = {shadow_, midtone_, highlight_};
    for (int range = 0; range < 3; ++range)
        for (int c = 0; c < 3; ++c) DeclareFloat(kNames[range][c], &fields[range][c], 0);
    DeclareBool("reserve_luminosity", &reserveLuminosity_, false);
    stale_ = true;
}

void VideoEffectColorCorrectionColorBalance::OnParamStored(const ParamDecl& p) {
    if (p.field == ParamDecl::Field::Float) stale_ = true;
}

void VideoEffectColorCorrectionColorBalance::BuildTables() {
    // The values have no range: a NaN moves nothing, anything beyond a byte's span saturates.
    auto step = [](float v) { return std::isnan(v) ? 0 : static_cast<int>(std::clamp(v, -1024.f, 1024.f)); };
    const float* f = shadowCurve_.data();
    const float* g = midtoneCurve_.data();
    for (int c = 0; c < 3; ++c) {  // red, green, blue
        const float s = shadow_[c], m = midtone_[c], h = highlight_[c];
        std::array<uint8_t, 256>& t = tables_[2 - c];  // tables are in pixel order
        for (int i = 0; i < 256; ++i) {
            const int x1 = ClampToByte(i + step(s * (s > 0 ? f[i] : f[255 - i])));
            const int x2 = ClampToByte(x1 + step(m * g[x1]));
            const int x3 = ClampToByte(x2 + step(h * (h > 0 ? f[255 - x2] : f[x2])));
            t[i] = static_cast<uint8_t>(x3);
        }
    }
}

ResultCode VideoEffectColorCorrectionColorBalance::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    if (stale_) {
        BuildTables();
        stale_ = false;
    }
    bool allZero = true;
    for (int c = 0; c < 3; ++c) allZero = allZero && shadow_[c] == 0 && midtone_[c] == 0 && highlight_[c] == 0;
    if (allZero) {
        cv::Mat out = WrapBGRA(*output);
        CopyFrame(WrapBGRA(*input), out);
        return Ok;
    }
    cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    parallelColorCorrectionColorBalance body(in, out, scratch_, tables_, reserveLuminosity_);
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

// --- channel invert ------------------------------------------------------------------------------------

VideoEffectChannelInvert::VideoEffectChannelInvert() {
    Kernel(DeclareInt("channel_index", &channelIndex_, 0, 0, 12, 0), "channel_index");
    Kernel(DeclareInt("alpha_blend", &alphaBlend_, 0, 0, 100, 0), "alpha_blend");
}

ResultCode VideoEffectChannelInvert::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    // alpha_blend is the share of the unprocessed input.
    const int k = static_cast<int>(alphaBlend_ * 0.01 * 255);
    cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    if (parallelChannelInvert::ByteWise(channelIndex_)) {
        uint8_t mixed[3][256];
        parallelChannelInvert::BuildMixed(channelIndex_, k, mixed);
        colorfx::parallelColorTable body(in, out, mixed[0], mixed[1], mixed[2], LookupFinish::Premultiply);
        RunRowBands(body, in.cols, in.rows);
        return Ok;
    }
    parallelChannelInvert body(in, out, scratch_, channelIndex_, k);
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

// --- change to colour ------------------------------------------------------------------------------------

VideoEffectChange2Color::VideoEffectChange2Color() {
    // Lightness and saturation values are percentages kept as fractions, like the HLS picture.
    auto percent = [this](const char* name, float* field, float def) {
        Scaled(DeclareFloat(name, field, def), 0.01);
    };
    DeclareFloat("from_h", &fromH_, 0);
    percent("from_l", &fromL_, 100);
    percent("from_s", &fromS_, 0);
    DeclareFloat("to_h", &toH_, 0);
    percent("to_l", &toL_, 100);
    percent("to_s", &toS_, 0);
    DeclareFloat("tolerance_h", &toleranceH_, 10);
    percent("tolerance_l", &toleranceL_, 100);
    percent("tolerance_s", &toleranceS_, 100);
    DeclareFloat("softness", &softness_, 50);
    DeclareInt("changeModeType", &changeModeType_, 0);
    DeclareInt("changeType", &changeType_, 0);
    DeclareBool("view_correction_matte", &viewCorrectionMatte_, false);
}

ResultCode VideoEffectChange2Color::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    parallelChange2Color::Frame f;
    // The window half-widths scale each tolerance to its component's span.
    f.hueLo = fromH_ - 1.46139 * toleranceH_;
    f.hueHi = fromH_ + 1.46139 * toleranceH_;
    f.lightLo = fromL_ - 2.53807 * toleranceL_;
    f.lightHi = fromL_ + 2.53807 * toleranceL_;
    f.satLo = fromS_ - 3.0339801 * toleranceS_;
    f.satHi = fromS_ + 3.0339801 * toleranceS_;
    const bool known = changeType_ >= 0 && changeType_ <= 3;
    f.mode = known ? changeModeType_ : -1;
    f.changeH = true;
    f.changeL = changeType_ == 1 || changeType_ == 3;
    f.changeS = changeType_ == 2 || changeType_ == 3;
    f.fromH = fromH_;
    f.fromL = fromL_;
    f.fromS = fromS_;
    // Set targets: a hue wraps into 0..360, lightness and saturation stay in 0..1, and a
    // non-finite target changes nothing (the conversion back cannot take one).
    const double h = std::isfinite(toH_) ? std::fmod(static_cast<double>(toH_), 360.0) : NAN;
    f.toH = h < 0 ? h + 360 : h;
    f.toL = toL_;
    f.toS = toS_;
    if (f.mode == 0) {
        f.changeH = !std::isnan(f.toH);
        f.changeL = f.changeL && !std::isnan(f.toL);
        f.changeS = f.changeS && !std::isnan(f.toS);
        f.toL = std::clamp(f.toL, 0.0, 1.0);
        f.toS = std::clamp(f.toS, 0.0, 1.0);
    } else {
        f.toH = toH_;
    }
    f.viewMatte = viewCorrectionMatte_;
    for (int sum = 0; sum < 766; ++sum) {
        // Written so that a NaN softness gives the full matte, as a huge weight would.
        const double v = softness_ <= 0 ? 255 : 100.0 / softness_ * sum / 3;
        f.matte[sum] = static_cast<uint8_t>(v < 255 ? static_cast<int>(v) : 255);
    }
    cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    parallelChange2Color body(in, out, scratch_, f);
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

}  // namespace orvex
