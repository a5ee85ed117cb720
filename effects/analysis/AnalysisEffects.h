#pragma once
// Analysis-driven effects: each measures the frame, then maps its pixels. Bytes are B, G, R, A;
// alpha is copied. trunc = toward zero, rint = nearest with ties to even, sat = clamp to 0..255,
// M[x][y] = x*y/255 rounded (the multiply table), Y = the integer luma (LumaTable.h), gray = the
// image library's gray (LibraryGray below).
//
// Auto contrast, measured only when the threshold changes: n = trunc(W H threshold / 100);
//   lo = the first level from 0 up whose running count exceeds n, hi the same from 255 down;
//   T[v] = 0 below lo, sat(rint((v - lo) 255 / (hi - lo))) from lo to hi, 255 from hi on;
//   out = M[T[c]][k] + M[c][255 - k], k = trunc(alpha 0.01 255).
// Auto levels: the same per blue, green and red histogram, each channel its own T, mixed by value.
// Auto colour, measured only when the threshold changes: g = mean gray 0.003922; gamma_c =
//   log g / log(mean_c 0.003922) for a channel mean in 1..254, else 1 (all 1 when g < 0.03922);
//   G_c[v] = sat(rint(pow(v 0.003922, gamma_c) 255)) in float; minVal, maxVal = lo, hi as above
//   on the gray of the G-mapped frame. Per frame S[v] = sat(rint(pow(t 0.003922, 0.5) 255)) of the
//   stretch t of v between minVal and maxVal (S[v] = v when they are equal);
//   out = M[S[G_c[c]]][k] + M[c][255 - k].
// Equalise: one histogram h of the colour bytes (mode 0, N = 3 W H) or of the Rec. 709 luma
//   trunc(0.2126 R + 0.7152 G + 0.0722 B + 0.5) (mode 1, N = W H); in float x = cum h(v) (255 / N)
//   - 1, Q[v] = x > 1e-6 ? trunc(x) : 0; s = grain 0.01; mode 0: out = trunc(c (1 - s) + Q[c] s);
//   mode 1: the HLS lightness L becomes Q[L], e the converted-back colour, out = trunc(c (1 - s) + e s).
// Threshold: B = G = R = gray < threshold ? 0 : 255.
// Extract: b, w the levels, s = Softness 0.01; mid = (b + w) >> 1, half = (w - b) 0.5, d = half s,
//   lo = trunc(b - d), hi = trunc(w + d), L, H those clamped to 0..255, e = trunc((1 - s) half),
//   a = mid - e, z = mid + e. Y outside [L, H]: 0; L <= Y < a: the ramp r = V / (a - L),
//   sat(rint(Y r + V - a r)), V = 255 (a 255 / (a - lo) when lo < 1); z < Y <= H: the mirrored
//   ramp (V' = (255 - z) 255 / (hi - z) when hi >= 255); otherwise 255. Reverse inverts it.
// Paint bucket: a scanline flood fill (4-connected) from (trunc(W point_x), trunc(H point_y)) of
//   the pixels whose BGRA bytes lie at a squared distance below tolerance^2 from the seed's.
#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "effects/EffectSurface.h"
#include "imagecpu/RowBands.h"

namespace orvex {

// K histograms of a BGRA frame counted a band of rows per worker and summed: count(p, h) adds
// the pixel at p to its band's own histograms h[K][256]. Counts add up, so the bands' order and
// number change nothing.
template <int K, class Count>
void CountHistograms(const cv::Mat& frame, uint64_t (&histograms)[K][256], const Count& count) {
    for (auto& h : histograms) std::fill(h, h + 256, 0);
    std::mutex sum;
    ForRowBands(frame.cols, frame.rows, [&](int y0, int y1) {
        uint64_t h[K][256] = {};
        for (int y = y0; y < y1; ++y) {
            const uint8_t* p = frame.ptr<uint8_t>(y);
            for (int x = 0; x < frame.cols; ++x, p += 4) count(p, h);
        }
        const std::lock_guard<std::mutex> hold(sum);
        for (int k = 0; k < K; ++k)
            for (int v = 0; v < 256; ++v) histograms[k][v] += h[k][v];
    });
}

// The image library's 8-bit BGR(A) to gray conversion: 0.114, 0.587, 0.299 in 15-bit fixed point,
// rounded. A test holds it equal to cv::cvtColor over every colour.
inline int LibraryGray(int b, int g, int r) { return (b * 3735 + g * 19235 + r * 9798 + 16384) >> 15; }

// The stretch table: 0 below lo, sat(rint((v - lo) 255 / (hi - lo))) for lo <= v < hi, 255 above.
void StretchTable(int lo, int hi, uint8_t* table);
// lo and hi of a histogram: the first level from each end whose running count exceeds n.
void MeasureRange(const uint64_t* histogram, int64_t n, int* lo, int* hi);
// n = trunc(pixels threshold 0.01), held inside -1..pixels (NaN gives -1: every level counts).
int64_t ThresholdCount(int64_t pixels, float threshold);
// k = trunc(percent 0.01 255) held to a byte; out[c] = M[T[c]][k] + M[c][255 - k].
void MixTable(const uint8_t* mapped, int32_t percent, uint8_t* out);

class VideoEffectAutoContrast : public EffectSurface {
public:
    VideoEffectAutoContrast();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

    int GrayMin() const { return grayMin_; }
    int GrayMax() const { return grayMax_; }

private:
    void Measure(const cv::Mat& frame);

    float threshold_ = 0.5f;
    int32_t alpha_ = 100;
    int grayMin_ = 0, grayMax_ = 255;
    float keptThreshold_ = -1;  // no frame measured yet
};

class VideoEffectAutoLevels : public EffectSurface {
public:
    VideoEffectAutoLevels();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

    // Blue, green, red.
    const std::array<int, 3>& Minimum() const { return min_; }
    const std::array<int, 3>& Maximum() const { return max_; }

private:
    void Measure(const cv::Mat& frame);

    float threshold_ = 0.5f;
    int32_t value_ = 100;
    std::array<int, 3> min_{0, 0, 0}, max_{255, 255, 255};
    float keptThreshold_ = -1;
};

class VideoEffectAutoColor : public EffectSurface {
public:
    VideoEffectAutoColor();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

    // Blue, green, red.
    const std::array<float, 3>& Gammas() const { return gamma_; }
    int MinVal() const { return minVal_; }
    int MaxVal() const { return maxVal_; }

private:
    void Measure(const cv::Mat& frame);
    // The frame's tables (blue, green, red): gamma, stretch and square-root curve, mixed.
    void BuildTables(uint8_t mix[3][256]) const;

    float threshold_ = 0.5f;
    int32_t value_ = 50;
    std::array<float, 3> gamma_{1, 1, 1};
    std::array<std::array<uint8_t, 256>, 3> gammaTables_{};
    int minVal_ = 0, maxVal_ = 0;
    float keptThreshold_ = -1;
};

class VideoEffectHistogramEqualize : public EffectSurface {
public:
    VideoEffectHistogramEqualize();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

    // Q for a frame under the stored mode.
    std::array<int32_t, 256> CdfTable(const cv::Mat& frame) const;

private:
    int32_t grain_ = 50;
    int32_t mode_ = 0;
    std::vector<uint8_t> mix_;                                // mode 1: [c * 256 + e], per frame
    std::array<std::array<cv::Mat, 2>, kBandCount> scratch_;  // mode 1: HLS strips, one pair per band
};

class VideoEffectThreshold : public EffectSurface {
public:
    VideoEffectThreshold();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;

private:
    int32_t threshold_ = 128;
};

class VideoEffectExtract : public EffectSurface {
public:
    VideoEffectExtract();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

    // The key value for each luma 0..255 (before Reverse).
    std::array<uint8_t, 256> KeyTable() const;

private:
    int32_t black_ = 64;
    int32_t white_ = 192;
    int32_t softness_ = 25;
    bool reverse_ = false;
};

class VideoEffectPaintBucket : public EffectSurface {
public:
    VideoEffectPaintBucket();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;

    // Seeds deeper than this are queued instead of filled by recursion, bounding the stack.
    static constexpr int kMaxDepth = 4;
    // The seed pixel for a w x h frame; a point outside the frame is moved to its nearest edge.
    static void Seed(float px, float py, int w, int h, int* x, int* y);

private:
    struct Point {
        int x, y;
    };
    bool Joins(const uint8_t* p) const;
    bool Visited(int x, int y) const { return (visited_[Word(x, y)] >> (x & 63)) & 1; }
    void Visit(int x, int y) { visited_[Word(x, y)] |= uint64_t{1} << (x & 63); }
    size_t Word(int x, int y) const { return static_cast<size_t>(y) * wordsPerRow_ + (x >> 6); }
    void Fill(int x, int y, int depth);
    void ScanRow(int left, int right, int y, int depth);

    float pointX_ = 0.5f;
    float pointY_ = 0.5f;
    float tolerance_ = 50;
    uint8_t red_ = 255, green_ = 0, blue_ = 0;

    // Per frame: the source and output pictures, the seed colour and the join bound.
    const cv::Mat* src_ = nullptr;
    cv::Mat* out_ = nullptr;
    int seedColour_[4] = {0, 0, 0, 0};
    double bound_ = 0;
    std::vector<uint64_t> visited_;  // one bit per pixel, rows of wordsPerRow_ words
    size_t wordsPerRow_ = 0;
    std::deque<Point> pending_;
    cv::Mat stable_;  // the input when it overlaps the output other than as the same picture
};

}  // namespace orvex
