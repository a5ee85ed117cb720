// The automatic effects (contrast, levels, colour), threshold and extract: a measurement or a
// per-frame table, then one table pass over the frame.
#include "effects/analysis/AnalysisEffects.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "effects/ColorEffectsShared.h"
#include "effects/LumaTable.h"
#include "imagecpu/BlendTables.h"
#include "imagecpu/SaturatingCasts.h"

namespace orvex {


namespace {

void RunTablePass(const cv::Mat& in, cv::Mat& out, const uint8_t* blue, const uint8_t* green, const uint8_t* red) {
    colorfx::parallelColorTable body(in, out, blue, green, red);
    RunRowBands(body, in.cols, in.rows);
}

}  // namespace

// --- shared measurement helpers -----------------------------------------------------------------

void StretchTable(int lo, int hi, uint8_t* table) {
    for (int v = 0; v < 256; ++v) {
        if (v < lo) table[v] = 0;
        else if (v < hi) table[v] = static_cast<uint8_t>(RoundToByte((v - lo) * 255.0 / (hi - lo)));
        else table[v] = 255;  // also every level of a uniform frame (lo = hi): no division
    }
}

void MeasureRange(const uint64_t* histogram, int64_t n, int* lo, int* hi) {
    // Counts are compared as signed values so that n = -1 lets the first level through.
    int64_t sum = 0;
    *lo = 255;
    for (int i = 0; i < 256; ++i) {
        sum += static_cast<int64_t>(histogram[i]);
        if (sum > n) {
            *lo = i;
            break;
        }
    }
    sum = 0;
    *hi = 0;
    for (int i = 255; i >= 0; --i) {
        sum += static_cast<int64_t>(histogram[i]);
        if (sum > n) {
            *hi = i;
            break;
        }
    }
}

int64_t ThresholdCount(int64_t pixels, float threshold) {
    const double n = static_cast<double>(pixels) * threshold * 0.01;
    if (!(n > -1)) return -1;
    if (n >= static_cast<double>(pixels)) return pixels;
    return static_cast<int64_t>(n);
}

void MixTable(const uint8_t* mapped, int32_t percent, uint8_t* out) {
    // Held to a byte: a percentage outside 0..100 must not index outside the multiply table.
    const double kd = percent * 0.01 * 255;
    const int k = kd >= 255 ? 255 : (kd > 0 ? static_cast<int>(kd) : 0);
    const uint8_t* M = MulTable();
    for (int c = 0; c < 256; ++c) out[c] = static_cast<uint8_t>(M[mapped[c] * 256 + k] + M[c * 256 + 255 - k]);
}

// --- auto contrast -------------------------------------------------------------------------------

VideoEffectAutoContrast::VideoEffectAutoContrast() {
    DeclareFloat("threshold", &threshold_, 0.5f, 0, 25, 0.5f).onSubstitute = Ok;
    DeclareInt("alpha", &alpha_, 100);
}

void VideoEffectAutoContrast::Measure(const cv::Mat& frame) {
    uint64_t h[1][256];
    CountHistograms(frame, h, [](const uint8_t* p, uint64_t(&band)[1][256]) { ++band[0][LibraryGray(p[0], p[1], p[2])]; });
    MeasureRange(h[0], ThresholdCount(static_cast<int64_t>(frame.cols) * frame.rows, threshold_), &grayMin_, &grayMax_);
    keptThreshold_ = threshold_;
}

ResultCode VideoEffectAutoContrast::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    const cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    // The measurement is kept until the threshold changes, so a scene cut keeps the old range.
    if (threshold_ != keptThreshold_) Measure(in);
    uint8_t t[256], mix[256];
    StretchTable(grayMin_, grayMax_, t);
    MixTable(t, alpha_, mix);
    RunTablePass(in, out, mix, mix, mix);
    return Ok;
}

// --- auto levels ---------------------------------------------------------------------------------

VideoEffectAutoLevels::VideoEffectAutoLevels() {
    DeclareFloat("threshold", &threshold_, 0.5f);
    DeclareInt("value", &value_, 100);
}

void VideoEffectAutoLevels::Measure(const cv::Mat& frame) {
    uint64_t h[3][256];
    CountHistograms(frame, h, [](const uint8_t* p, uint64_t(&band)[3][256]) {
        ++band[0][p[0]];
        ++band[1][p[1]];
        ++band[2][p[2]];
    });
    const int64_t n = ThresholdCount(static_cast<int64_t>(frame.cols) * frame.rows, threshold_);
    for (int c = 0; c < 3; ++c) MeasureRange(h[c], n, &min_[c], &max_[c]);
    keptThreshold_ = threshold_;
}

ResultCode VideoEffectAutoLevels::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    const cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    if (threshold_ != keptThreshold_) Measure(in);
    uint8_t t[256], mix[3][256];
    for (int c = 0; c < 3; ++c) {
        StretchTable(min_[c], max_[c], t);
        MixTable(t, value_, mix[c]);
    }
    RunTablePass(in, out, mix[0], mix[1], mix[2]);
    return Ok;
}

// --- auto colour ---------------------------------------------------------------------------------

VideoEffectAutoColor::VideoEffectAutoColor() {
    DeclareFloat("threshold", &threshold_, 0.5f);
    DeclareInt("value", &value_, 50);
    for (auto& table : gammaTables_)
        for (int v = 0; v < 256; ++v) table[v] = static_cast<uint8_t>(v);
}

void VideoEffectAutoColor::Measure(const cv::Mat& frame) {
    keptThreshold_ = threshold_;
    const int64_t pixels = static_cast<int64_t>(frame.cols) * frame.rows;
    // The channel and gray sums, from their histograms (blue, green, red, gray).
    uint64_t levels[4][256];
    CountHistograms(frame, levels, [](const uint8_t* p, uint64_t(&band)[4][256]) {
        ++band[0][p[0]];
        ++band[1][p[1]];
        ++band[2][p[2]];
        ++band[3][LibraryGray(p[0], p[1], p[2])];
    });
    uint64_t sum[3] = {}, graySum = 0;
    for (int v = 0; v < 256; ++v) {
        for (int c = 0; c < 3; ++c) sum[c] += levels[c][v] * static_cast<uint64_t>(v);
        graySum += levels[3][v] * static_cast<uint64_t>(v);
    }
    const double g = static_cast<double>(graySum) / static_cast<double>(pixels) * 0.003922;
    if (g < 0.03922) {
        // A nearly black frame has no colour cast worth correcting.
        gamma_ = {1, 1, 1};
        minVal_ = maxVal_ = 0;
        for (auto& table : gammaTables_)
            for (int v = 0; v < 256; ++v) table[v] = static_cast<uint8_t>(v);
        return;
    }
    for (int c = 0; c < 3; ++c) {
        const double mean = static_cast<double>(sum[c]) / static_cast<double>(pixels);
        // The gamma that carries the channel's mean onto the gray mean.
        gamma_[c] = mean >= 1 && mean <= 254 ? static_cast<float>(std::log(g) / std::log(mean * 0.003922)) : 1.0f;
        for (int v = 0; v < 256; ++v) {
            const float p = std::pow(static_cast<float>(v) * 0.003922f, gamma_[c]) * 255.0f;
            gammaTables_[c][v] = static_cast<uint8_t>(RoundToByte(p));
        }
    }
    uint64_t h[1][256];
    const auto& G = gammaTables_;
    CountHistograms(frame, h, [&G](const uint8_t* p, uint64_t(&band)[1][256]) {
        ++band[0][LibraryGray(G[0][p[0]], G[1][p[1]], G[2][p[2]])];
    });
    MeasureRange(h[0], ThresholdCount(pixels, threshold_), &minVal_, &maxVal_);
}

void VideoEffectAutoColor::BuildTables(uint8_t mix[3][256]) const {
    // The stretch between minVal and maxVal, then a square-root curve.
    uint8_t S[256];
    for (int v = 0; v < 256; ++v) {
        if (minVal_ == maxVal_) {
            S[v] = static_cast<uint8_t>(v);
            continue;
        }
        const int t = v <= minVal_   ? 0
                      : v >= maxVal_ ? 255
                                     : RoundToByte((v - minVal_) * (1.0 / (maxVal_ - minVal_)) * 255);
        S[v] = static_cast<uint8_t>(RoundToByte(std::pow(t * 0.003922, 0.5) * 255));
    }
    uint8_t mapped[256];
    for (int c = 0; c < 3; ++c) {
        for (int v = 0; v < 256; ++v) mapped[v] = S[gammaTables_[c][v]];
        MixTable(mapped, value_, mix[c]);
    }
}

ResultCode VideoEffectAutoColor::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    const cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    if (threshold_ != keptThreshold_) Measure(in);
    uint8_t mix[3][256];
    BuildTables(mix);
    RunTablePass(in, out, mix[0], mix[1], mix[2]);
    return Ok;
}

// --- threshold -----------------------------------------------------------------------------------

namespace {

class parallelThreshold final : public RowBandBody {
public:
    parallelThreshold(const cv::Mat& in, cv::Mat& out, int threshold) : in_(in), out_(out), threshold_(threshold) {}
    void Rows(int y0, int y1) const override {
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr<uint8_t>(y);
            uint8_t* d = out_.ptr<uint8_t>(y);
            for (int x = 0; x < in_.cols; ++x, s += 4, d += 4) {
                const uint8_t v = LibraryGray(s[0], s[1], s[2]) < threshold_ ? 0 : 255;
                const uint8_t a = s[3];
                d[0] = d[1] = d[2] = v;
                d[3] = a;
            }
        }
    }

private:
    const cv::Mat& in_;
    cv::Mat& out_;
    int threshold_;
};

}  // namespace

VideoEffectThreshold::VideoEffectThreshold() {
    Kernel(DeclareInt("threshold", &threshold_, 128, 0, 255, 128), "threshold").onSubstitute = Ok;
}

ResultCode VideoEffectThreshold::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    const cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    parallelThreshold body(in, out, threshold_);
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

// --- extract -------------------------------------------------------------------------------------

namespace {

class parallelExtract final : public RowBandBody {
public:
    parallelExtract(const cv::Mat& in, cv::Mat& out, const uint8_t* key) : in_(in), out_(out), key_(key) {}
    void Rows(int y0, int y1) const override {
        const LumaTable& Y = IntegerLuma();
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr<uint8_t>(y);
            uint8_t* d = out_.ptr<uint8_t>(y);
            for (int x = 0; x < in_.cols; ++x, s += 4, d += 4) {
                const uint8_t v = key_[Y(s[0], s[1], s[2])];
                const uint8_t a = s[3];
                d[0] = d[1] = d[2] = v;
                d[3] = a;
            }
        }
    }

private:
    const cv::Mat& in_;
    cv::Mat& out_;
    const uint8_t* key_;
};

}  // namespace

VideoEffectExtract::VideoEffectExtract() {
    IntegerLuma();
    DeclareInt("Black_level", &black_, 64);
    DeclareInt("White_level", &white_, 192);
    DeclareInt("Softness", &softness_, 25);
    DeclareBool("Reverse", &reverse_, false);
}

std::array<uint8_t, 256> VideoEffectExtract::KeyTable() const {
    // Levels live in 64-bit integers held to +-2^40: any int parameter, however wild, keeps every
    // sum and product below in range.
    const int64_t b = black_, w = white_;
    const double s = softness_ * 0.01;
    const int64_t mid = (b + w) >> 1;
    const double half = static_cast<double>(w - b) * 0.5;
    const double d = half * s;
    const int64_t lo = TruncToInt64(static_cast<double>(b) - d), hi = TruncToInt64(static_cast<double>(w) + d);
    const int64_t L = std::clamp<int64_t>(lo, 0, 255), H = std::clamp<int64_t>(hi, 0, 255);
    const int64_t e = TruncToInt64((1 - s) * half);
    const int64_t a = mid - e, z = mid + e;
    auto nonzero = [](int64_t v) { return static_cast<double>(v == 0 ? 1 : v); };
    // A ramp cut off by the level range keeps the slope it would have had over its full width.
    const double V = lo < 1 ? static_cast<double>(a) * 255 / nonzero(a - lo) : 255.0;
    const double V2 = hi >= 255 ? static_cast<double>(255 - z) * 255 / nonzero(hi - z) : 255.0;
    const double rise = V / nonzero(a - L), fall = V2 / nonzero(H - z);
    std::array<uint8_t, 256> key{};
    for (int Y = 0; Y < 256; ++Y) {
        int v;
        if (Y < L || Y > H) v = 0;
        else if (Y < a) v = RoundToByte(Y * rise + V - static_cast<double>(a) * rise);
        else if (Y > z) v = RoundToByte(Y * -fall + V2 + static_cast<double>(z) * fall);
        else v = 255;
        key[Y] = static_cast<uint8_t>(v);
    }
    return key;
}

ResultCode VideoEffectExtract::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    const cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    std::array<uint8_t, 256> key = KeyTable();
    if (reverse_)
        for (uint8_t& v : key) v = static_cast<uint8_t>(255 - v);
    parallelExtract body(in, out, key.data());
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

}  // namespace orvex
