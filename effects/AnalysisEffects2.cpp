// Histogram equalisation and the paint-bucket fill.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <opencv2/imgproc.hpp>

#include "effects/AnalysisEffects.h"
#include "effects/ColorEffectsShared.h"

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
        for (int y = 0; y < frame.rows; ++y) {
            const uint8_t* p = frame.ptr<uint8_t>(y);
            for (int x = 0; x < frame.cols; ++x, p += 4) {
                // Rec. 709 luma in float, rounded half up.
                const float Y = 0.2126f * p[2] + 0.7152f * p[1] + 0.0722f * p[0] + 0.5f;
                ++h[std::min(255, static_cast<int>(Y))];
            }
        }
        N = static_cast<uint64_t>(frame.cols) * frame.rows;
    } else {
        // Two histograms taken in turn halve the stalls on runs of one colour.
        uint64_t h2[256] = {};
        for (int y = 0; y < frame.rows; ++y) {
            const uint8_t* p = frame.ptr<uint8_t>(y);
            for (int x = 0; x < frame.cols; ++x, p += 4) {
                ++h[p[0]];
                ++h2[p[1]];
                ++h[p[2]];
            }
        }
        for (int v = 0; v < 256; ++v) h[v] += h2[v];
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
    try {
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
    } catch (const cv::Exception&) {
        return Failed;
    }
    return Ok;
}

// --- paint bucket ----------------------------------------------------------------------------------

VideoEffectPaintBucket::VideoEffectPaintBucket() {
    DeclareFloat("point_x", &pointX_, 0.5f);
    DeclareFloat("point_y", &pointY_, 0.5f);
    DeclareFloat("tolerance", &tolerance_, 50);
    DeclareByte("fill_color_red", &red_, 255);
    DeclareByte("fill_color_green", &green_, 0);
    DeclareByte("fill_color_blue", &blue_, 0);
}

void VideoEffectPaintBucket::Seed(float px, float py, int w, int h, int* x, int* y) {
    // A point outside the frame (or NaN) fills from the nearest edge pixel rather than nothing.
    auto place = [](double v, int size) {
        if (!(v >= 0)) return 0;
        if (v >= size) return size - 1;
        return static_cast<int>(v);
    };
    *x = place(static_cast<double>(w) * px, w);
    *y = place(static_cast<double>(h) * py, h);
}

bool VideoEffectPaintBucket::Joins(const uint8_t* p) const {
    int d2 = 0;
    for (int c = 0; c < 4; ++c) {
        const int d = p[c] - seedColour_[c];
        d2 += d * d;
    }
    return d2 < bound_;
}

void VideoEffectPaintBucket::Fill(int x, int y, int depth) {
    const cv::Mat& src = *src_;
    uint8_t* row = out_->ptr<uint8_t>(y);
    const uint8_t* srow = src.ptr<uint8_t>(y);
    auto paint = [&](int px) {
        Visit(px, y);
        row[px * 4 + 0] = blue_;
        row[px * 4 + 1] = green_;
        row[px * 4 + 2] = red_;
    };
    // The visited bit is tested first: a painted pixel is never read back as source.
    paint(x);
    int left = x, right = x;
    while (left > 0 && !Visited(left - 1, y) && Joins(srow + (left - 1) * 4)) paint(--left);
    while (right + 1 < src.cols && !Visited(right + 1, y) && Joins(srow + (right + 1) * 4)) paint(++right);
    ScanRow(left, right, y - 1, depth);
    ScanRow(left, right, y + 1, depth);
}

void VideoEffectPaintBucket::ScanRow(int left, int right, int y, int depth) {
    if (y < 0 || y >= src_->rows) return;
    const uint8_t* srow = src_->ptr<uint8_t>(y);
    for (int x = left; x <= right; ++x) {
        if (Visited(x, y) || !Joins(srow + x * 4)) continue;
        if (depth + 1 < kMaxDepth) {
            Fill(x, y, depth + 1);
        } else {
            pending_.push_back({x, y});
            // One seed per run: the fill of the seed extends over the rest of it.
            while (x + 1 <= right && !Visited(x + 1, y) && Joins(srow + (x + 1) * 4)) ++x;
        }
    }
}

ResultCode VideoEffectPaintBucket::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    const cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    // The same picture in place needs no copy (only unvisited pixels are read, only visited ones
    // written); frames that overlap any other way are read from a copy.
    const bool same = in.data == out.data && in.step == out.step;
    const bool overlap = in.datastart < out.dataend && out.datastart < in.dataend;
    if (overlap && !same) in.copyTo(stable_);
    const cv::Mat& src = overlap && !same ? stable_ : in;
    CopyFrame(src, out);

    int sx = 0, sy = 0;
    Seed(pointX_, pointY_, in.cols, in.rows, &sx, &sy);
    const uint8_t* seed = src.ptr<uint8_t>(sy) + sx * 4;
    for (int c = 0; c < 4; ++c) seedColour_[c] = seed[c];
    // Strictly below tolerance^2: tolerance 0 (or NaN) fills nothing.
    bound_ = static_cast<double>(tolerance_) * tolerance_;
    wordsPerRow_ = (static_cast<size_t>(in.cols) + 63) / 64;
    visited_.assign(wordsPerRow_ * in.rows, 0);
    pending_.clear();
    src_ = &src;
    out_ = &out;

    if (Joins(seed)) Fill(sx, sy, 0);
    while (!pending_.empty()) {
        const Point p = pending_.front();
        pending_.pop_front();
        if (!Visited(p.x, p.y) && Joins(src.ptr<uint8_t>(p.y) + p.x * 4)) Fill(p.x, p.y, 0);
    }
    src_ = nullptr;
    out_ = nullptr;
    return Ok;
}

}  // namespace orvex
