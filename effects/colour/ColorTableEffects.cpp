// The colour effects that are one byte table per channel: brightness and contrast, gamma,
// per-channel gain and levels (with the automatic levels, which measure each frame first).
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

}  // namespace orvex
