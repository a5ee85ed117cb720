// The paint-bucket fill.
#include "effects/analysis/AnalysisEffects.h"

namespace orvex {

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
