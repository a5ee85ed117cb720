// Histogram equalisation.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <opencv2/imgproc.hpp>

#include "effects/analysis/AnalysisEffects.h"
#include "effects/ColorEffectsShared.h"
#include "imagecpu/CpuSupport.h"

namespace orvex {

// --- histogram equalisation ------------------------------------------------------------------------

namespace {

// Mode 1: through 8-bit HLS with the lightness mapped by Q, then each colour byte c and its
// converted-back value e mixed by mix[c * 256 + e]. Strips of a few rows keep the scratch small.
class parallelHistogramEqualize final : public RowBandBody {
public:
    using Scratch = std::array<std::array<cv::Mat, 2>, kBandCount>;
    parallelHistogramEqualize(const cv::Mat& in, cv::Mat& out, const int32_t* Q, const uint8_t* mix, Scratch& scratch)
        : in_(in), out_(out), Q_(Q), mix_(mix), scratch_(scratch) {}
    void Rows(int y0, int y1) const override {
        auto& s = scratch_[colorfx::BandOf(y0, height)];
        colorfx::ForStrips(y0, y1, [&](int y, int n) {
            cv::Mat hls = colorfx::ScratchRows(s[0], n, in_.cols, CV_8UC3);
            cv::Mat bgr = colorfx::ScratchRows(s[1], n, in_.cols, CV_8UC3);
            cv::cvtColor(in_.rowRange(y, y + n), hls, cv::COLOR_BGR2HLS);
            for (int r = 0; r < n; ++r) {
                uint8_t* p = hls.ptr<uint8_t>(r);
                for (int x = 0; x < in_.cols; ++x, p += 3) p[1] = static_cast<uint8_t>(Q_[p[1]]);
            }
            cv::cvtColor(hls, bgr, cv::COLOR_HLS2BGR);
            for (int r = 0; r < n; ++r) {
                const uint8_t* e = bgr.ptr<uint8_t>(r);
                const uint8_t* c = in_.ptr<uint8_t>(y + r);
                uint8_t* d = out_.ptr<uint8_t>(y + r);
                for (int x = 0; x < in_.cols; ++x, e += 3, c += 4, d += 4) {
                    const uint8_t alpha = c[3];
                    d[0] = mix_[c[0] * 256 + e[0]];
                    d[1] = mix_[c[1] * 256 + e[1]];
                    d[2] = mix_[c[2] * 256 + e[2]];
                    d[3] = alpha;
                }
            }
        });
    }

private:
    const cv::Mat& in_;
    cv::Mat& out_;
    const int32_t* Q_;
    const uint8_t* mix_;
    Scratch& scratch_;
};

// trunc(c (1 - s) + q s) in float, the mix of both modes.
inline uint8_t Mix(int c, int q, float s) {
    const float v = static_cast<float>(c) * (1.0f - s) + static_cast<float>(q) * s;
    return static_cast<uint8_t>(std::clamp(static_cast<int>(v), 0, 255));
}

}  // namespace

VideoEffectHistogramEqualize::VideoEffectHistogramEqualize() {
    DeclareInt("equalize_grain", &grain_, 50, 0, 100, 50).onSubstitute = Ok;
    DeclareInt("mode", &mode_, 0, 0, 1, 0);
}

std::array<int32_t, 256> VideoEffectHistogramEqualize::CdfTable(const cv::Mat& frame) const {
    uint64_t h[256] = {};
    uint64_t N = 0;
    if (mode_ == 1) {
        uint64_t luma[1][256];
        CountHistograms(frame, luma, [](const uint8_t* p, uint64_t(&band)[1][256]) {
            // Rec. 709 luma in float, rounded half up.
            const float Y = 0.2126f * p[2] + 0.7152f * p[1] + 0.0722f * p[0] + 0.5f;
            ++band[0][std::min(255, static_cast<int>(Y))];
        });
        std::copy_n(luma[0], 256, h);
        N = static_cast<uint64_t>(frame.cols) * frame.rows;
    } else {
        // Two histograms taken in turn halve the stalls on runs of one colour.
        uint64_t bytes[2][256];
        CountHistograms(frame, bytes, [](const uint8_t* p, uint64_t(&band)[2][256]) {
            ++band[0][p[0]];
            ++band[1][p[1]];
            ++band[0][p[2]];
        });
        for (int v = 0; v < 256; ++v) h[v] = bytes[0][v] + bytes[1][v];
        N = 3 * static_cast<uint64_t>(frame.cols) * frame.rows;
    }
    std::array<int32_t, 256> Q{};
    const float step = 255.0f / static_cast<float>(N);
    uint64_t cum = 0;
    for (int v = 0; v < 256; ++v) {
        cum += h[v];
        const float x = static_cast<float>(cum) * step - 1.0f;
        Q[v] = x > 1e-6f ? static_cast<int32_t>(x) : 0;
        // Every level from the last one reached on is 254, whatever the float rounding of
        // N (255 / N) makes of the full count.
        if (cum == N) Q[v] = 254;
    }
    return Q;
}

ResultCode VideoEffectHistogramEqualize::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    const cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    if (grain_ == 0) {
        CopyFrame(in, out);
        return Ok;
    }
    return GuardImageLibrary([&] {
        const std::array<int32_t, 256> Q = CdfTable(in);
        const float s = static_cast<float>(grain_) * 0.01f;
        if (mode_ == 1) {
            mix_.resize(256 * 256);
            for (int c = 0; c < 256; ++c)
                for (int e = 0; e < 256; ++e) mix_[c * 256 + e] = Mix(c, e, s);
            parallelHistogramEqualize body(in, out, Q.data(), mix_.data(), scratch_);
            RunRowBands(body, in.cols, in.rows);
        } else {
            uint8_t table[256];
            for (int c = 0; c < 256; ++c) table[c] = Mix(c, Q[c], s);
            colorfx::parallelColorTable body(in, out, table, table, table);
            RunRowBands(body, in.cols, in.rows);
        }
        return Ok;
    });
}

}  // namespace orvex
