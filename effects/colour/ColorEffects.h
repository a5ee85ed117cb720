#pragma once
// Colour adjustment effects: each output pixel from the same input pixel, mostly through byte
// tables built once per frame. Bytes are B, G, R, A; alpha is copied unless said otherwise.
// trunc = toward zero, rint = nearest with ties to even, sat = clamp to 0..255, Y = integer luma
// (LumaTable.h), M[x][y] = x*y/255 rounded (the multiply table).
//
// Brightness and contrast: c = trunc(contrast * 2.55 + 0.5), b = trunc(bright + 0.5);
//   k = c / 255 (k = -1 for c <= -255; k / (1 - k) for 1 <= c <= 254);
//   v = c > 0 ? sat(i + b) : i;
//   w = c >= 255 ? (v >= 127 ? 255 : 0) : sat(rint((v - 127) k + v + 0.5)); c <= 0: w = sat(w + b).
// Gamma: T[i] = min(255, trunc(pow(i * 0.003922, Gamma * 0.1) * 255 + 0.5)).
// Tint: target_c = trunc(Y (w_c - k_c) / 255 + k_c); out = sat(rint(x + 0.5)) with
//   x = (in - target) (1 - amount / 100) + target, an integer x kept as it is.
// Channel mixer: out_c = clamp(trunc((R r_c + G g_c + B b_c + 255 const_c) * 0.01), 0, 255);
//   monochrome: every channel takes the red result.
// Per-channel gain: out_c = sat(rint(in_c * value_c * 0.01)).
// Black and white: X' = X^2 / 10000; wB = Blue' Cyan' Magenta', wG = Green' Yellow' Cyan',
//   wR = Yellow' Red' Magenta'; gray = clamp(trunc(Tb[B] wB + Tg[G] wG + Tr[R] wR)).
// HLS balance, on 8-bit HLS (H, L, S) and the float extremes mx, mn, d = mx - mn of the pixel:
//   L' = sat(rint((lightness > 0 ? 255 - L : L) * lightness / 100 + L));
//   S0 = L' < 128 ? (lightness > 0 ? d / (2 L') * 255 : d / (mx + mn)) * 255
//                 : (lightness > 0 ? d / (2 - mx - mn) * 255 : d * 32385 / (255 - L'));
//   H' = H + trunc(hue / 2), less 180 once it reaches 180; S' = sat(rint(trunc(S0 + 0.5)(1 + sat/100))).
// Colour balance by tonal range, per colour with shadow s, midtone m, highlight h and the curves
//   f(x) = 1.075 - 1 / (x / 16 + 1), g(x) = 0.667 (1 - ((x - 127) / 127)^2):
//   x1 = sat(i + trunc(s f(s > 0 ? i : 255 - i))); x2 = sat(x1 + trunc(m g(x1)));
//   T[i] = sat(x2 + trunc(h f(h > 0 ? 255 - x2 : x2))); optionally the input's HLS lightness kept.
// Channel invert: P = the selected inversion of I; P' = M[I][k] + M[P][255 - k] with
//   k = trunc(alpha_blend * 2.55); out_c = M[P'_c][A].
// Levels, per group (rgb, red, green, blue): e = E[trunc((1 - gray / 200) * 255)],
//   G[v] = sat(rint((v / 255)^e * 255)); t = v < ib ? 0 : v <= iw ? sat(rint((v - ib) 255 / (iw - ib))) : 255;
//   L[v] = sat(rint(G[t] (ow - ob) / 255 + ob)); out_c = L_rgb[L_c[in_c]].
// Colour pass / replace: D = 3 dB^2 + 4 dG^2 + 2 dR^2 against the chosen colour, theta = 36 Similar^2.
// Leave colour: k = trunc((1 - amount / 100) 255), theta = trunc((tolerance * 4.425)^2);
//   pixels with dR^2 + dG^2 + dB^2 > theta become sat(M[c][k] + M[Y][255 - k]).
// Change to colour: float HLS; pixels inside the hue, lightness and saturation windows are set to
//   or shifted towards the target; out = (changed m + in (255 - m)) div 255 with the matte
//   m = changed ? (softness <= 0 ? 255 : min(255, trunc(100 / softness (B + G + R) / 3))) : 0.
#include <array>
#include <cstdint>
#include <vector>

#include "effects/EffectSurface.h"

namespace orvex {


class VideoEffectBrightnessContrast : public EffectSurface {
public:
    VideoEffectBrightnessContrast();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

    // T[i] for the stored parameters; `identity` is set when the frame is copied unchanged.
    std::array<uint8_t, 256> BuildTable(bool* identity) const;

private:
    float bright_ = 20;
    float contrast_ = 20;
};

class VideoEffectGammaCorrection : public EffectSurface {
public:
    VideoEffectGammaCorrection();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

private:
    // The frame's byte table; both bodies map every channel through it.
    void BuildTable(uint8_t t[256]) const;
    float gamma_ = 10;
};

class VideoEffectTint : public EffectSurface {
public:
    VideoEffectTint();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

private:
    // The frame's tables: each channel's target for every luma, and mix_ for every (in, target).
    void BuildTables(uint8_t target[3][256]);
    int32_t blackRed_ = 0;
    int32_t blackGreen_ = 0;
    int32_t blackBlue_ = 0;
    int32_t whiteRed_ = 255;
    int32_t whiteGreen_ = 255;
    int32_t whiteBlue_ = 255;
    float amount_ = 100;
    // mix_[in * 256 + target]: the rounded blend of a byte towards its target, per frame.
    std::vector<uint8_t> mix_;
};

class VideoEffectChannel_Mixer : public EffectSurface {
public:
    VideoEffectChannel_Mixer();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;

private:
    // Output red, green, blue; each (red term, green term, blue term, constant), in percent.
    int32_t terms_[3][4] = {{100, 0, 0, 0}, {0, 100, 0, 0}, {0, 0, 100, 0}};
    bool monochrome_ = false;
};

class VideoEffectColorBanlance : public EffectSurface {
public:
    VideoEffectColorBanlance();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

private:
    // Each channel's gain table (blue, green, red): sat(rint(i value 0.01)).
    void GainTables(uint8_t t[3][256]) const;
    float red_ = 100;
    float green_ = 100;
    float blue_ = 100;
};

class VideoEffectBlackWhiteHitfilm : public EffectSurface {
public:
    VideoEffectBlackWhiteHitfilm();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

private:
    // The weights of the blue, green and red luma terms: each the product of three squared sliders.
    void Weights(double w[3]) const;

    // The OpenCL body's gray for every (blue, green, red) luma term, kept while the weights stay.
    std::vector<uint8_t> grayTable_;
    double grayWeights_[3] = {-1, -1, -1};
    float red_ = 100;
    float yellow_ = 100;
    float green_ = 100;
    float cyan_ = 100;
    float blue_ = 100;
    float magenta_ = 100;
};

class VideoEffectColorBalanceHLS : public EffectSurface {
public:
    VideoEffectColorBalanceHLS();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

private:
    // The kernel's per-frame table: the CPU body's own (L', S') by (max, min) of the pixel's
    // channels, 2 * 65536 bytes (and two of padding).
    const std::vector<uint8_t>& KernelTable();

    float hue_ = 0;
    float lightness_ = 0;
    float saturation_ = 0;
    BandScratchSet scratch_;
    std::vector<uint8_t> pairs_;  // per frame: (L', S') by (max, min) of the pixel's channels
};

class VideoEffectColorCorrectionColorBalance : public EffectSurface {
public:
    VideoEffectColorCorrectionColorBalance();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

protected:
    void OnParamStored(const ParamDecl& p) override;

private:
    void BuildTables();

    // Shadow, midtone and highlight of red, green and blue.
    float shadow_[3] = {0, 0, 0};
    float midtone_[3] = {0, 0, 0};
    float highlight_[3] = {0, 0, 0};
    bool reserveLuminosity_ = false;
    std::array<float, 256> shadowCurve_{};     // f
    std::array<float, 256> midtoneCurve_{};    // g
    std::array<uint8_t, 256> tables_[3]{};     // blue, green, red
    bool stale_ = true;
    BandScratchSet scratch_;
};

class VideoEffectChannelInvert : public EffectSurface {
public:
    VideoEffectChannelInvert();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;

private:
    int32_t channelIndex_ = 0;
    int32_t alphaBlend_ = 0;
    BandScratchSet scratch_;
};

class VideoEffectAdjustLevels : public EffectSurface {
public:
    VideoEffectAdjustLevels();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

    struct Levels {
        int32_t inputBlack = 0;
        int32_t inputWhite = 255;
        int32_t outputBlack = 0;
        int32_t outputWhite = 255;
        int32_t gray = 100;
    };
    enum Group { kRgb = 0, kRed = 1, kGreen = 2, kBlue = 3 };

private:
    void AutoLevels(const cv::Mat& in, Levels groups[4]);
    // out_c = L_rgb[L_c[in_c]], folded into one table per channel (blue, green, red).
    static void FoldLevelsTables(const Levels groups[4], uint8_t t[3][256]);

    Levels groups_[4];  // rgb, red, green, blue
    bool autoLevel_ = false;
    // Per-band histograms of blue, green, red and luma for auto levels.
    std::vector<uint32_t> histograms_;
};

class VideoEffectColorPass : public EffectSurface {
public:
    VideoEffectColorPass();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;

private:
    bool reverse_ = false;
    int32_t similar_ = 8;
    uint8_t passRed_ = 255;
    uint8_t passGreen_ = 0;
    uint8_t passBlue_ = 0;
};

class VideoEffectColorReplace : public EffectSurface {
public:
    VideoEffectColorReplace();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;

private:
    bool solid_ = false;
    int32_t similar_ = 8;
    uint8_t targetRed_ = 255;
    uint8_t targetGreen_ = 0;
    uint8_t targetBlue_ = 0;
    uint8_t replaceRed_ = 0;
    uint8_t replaceGreen_ = 0;
    uint8_t replaceBlue_ = 255;
};

class VideoEffectLeaveColor : public EffectSurface {
public:
    VideoEffectLeaveColor();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

private:
    // The frame's mix weight k and squared distance limit theta.
    void Weights(int* k, int* theta) const;
    int32_t redLeave_ = 255;
    int32_t greenLeave_ = 0;
    int32_t blueLeave_ = 0;
    float amount_ = 100;
    float tolerance_ = 15;
};

class VideoEffectChange2Color : public EffectSurface {
public:
    VideoEffectChange2Color();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;

private:
    // Hues in degrees; lightness, saturation and their tolerances stored as fractions.
    float fromH_ = 0;
    float fromL_ = 1;
    float fromS_ = 0;
    float toH_ = 0;
    float toL_ = 1;
    float toS_ = 0;
    float toleranceH_ = 10;
    float toleranceL_ = 1;
    float toleranceS_ = 1;
    float softness_ = 50;
    int32_t changeModeType_ = 0;
    int32_t changeType_ = 0;
    bool viewCorrectionMatte_ = false;
    BandScratchSet scratch_;
};

}  // namespace orvex
