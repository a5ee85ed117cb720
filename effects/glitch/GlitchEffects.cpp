#include "effects/glitch/GlitchEffects.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include <opencv2/imgproc.hpp>

#include "effects/glitch/GlitchRandom.h"
#include "imagecpu/SaturatingCasts.h"

namespace orvex {
namespace {

// The glitch bodies read pixels other than the one they write, so a frame rendered in place is
// first copied aside, into a scratch image the effect keeps (only a new size allocates).
const cv::Mat& StableInput(const cv::Mat& in, const cv::Mat& out, cv::Mat& scratch) {
    const bool overlap = in.datastart < out.dataend && out.datastart < in.dataend;
    if (!overlap) return in;
    in.copyTo(scratch);
    return scratch;
}

}  // namespace

// --- box shift ---------------------------------------------------------------------------------------

VideoEffectGlitchBoxShift::VideoEffectGlitchBoxShift() {
    // No path is declared: hosts are told of none, while Render still serves the CPU body.
    DeclareInt("num_of_boxes", &count_, 1);
    DeclareFloat("base_box_width", &baseWidth_, 0.75f);
    DeclareFloat("variant_box_width", &variantWidth_, 0.25f);
    DeclareFloat("min_box_height", &minHeight_, 0);
    DeclareFloat("max_box_height", &maxHeight_, 0.2f);
    DeclareFloat("base_box_horizontal_pos", &baseLeft_, 0.5f);
    DeclareFloat("variant_box_horizontal_pos", &variantLeft_, 0.5f);
    DeclareFloat("min_box_vertical_pos", &minTop_, 0);
    DeclareFloat("max_box_vertical_pos", &maxTop_, 1);
    DeclareFloat("base_box_shift", &baseShift_, 0);
    DeclareFloat("variant_box_shift", &variantShift_, 0.2f);
}

const VideoEffectGlitchBoxShift::Boxes& VideoEffectGlitchBoxShift::Draw(int64_t position, int w, int h) {
    const size_t n = static_cast<size_t>(std::clamp(count_, 0, kMaxBoxes));
    const uint64_t seed = static_cast<uint64_t>(position);
    const float W = static_cast<float>(w), H = static_cast<float>(h);
    // Each list from its own engine, all seeded alike.
    auto fill = [&](std::vector<int64_t>& list, auto draw) {
        list.resize(n);
        GlitchRandom r(seed);
        for (int64_t& v : list) v = draw(r);
    };
    fill(boxes_.widths, [&](GlitchRandom& r) { return r.NormalInt(W * baseWidth_ + 1, W * variantWidth_ / 3); });
    fill(boxes_.heights, [&](GlitchRandom& r) {
        return r.UniformInt(TruncToInt64(H * minHeight_ + 1), TruncToInt64(H * maxHeight_ + 1));
    });
    fill(boxes_.lefts, [&](GlitchRandom& r) { return r.NormalInt(W * baseLeft_, W * variantLeft_ / 3); });
    fill(boxes_.tops, [&](GlitchRandom& r) { return r.UniformInt(TruncToInt64(H * minTop_), TruncToInt64(H * maxTop_)); });
    fill(boxes_.shifts, [&](GlitchRandom& r) { return r.NormalInt(W * baseShift_, W * variantShift_ / 3); });
    return boxes_;
}

ResultCode VideoEffectGlitchBoxShift::ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    try {
        const cv::Mat in = WrapBGRA(*input);
        cv::Mat out = WrapBGRA(*output);
        const int64_t W = in.cols, H = in.rows;
        const Boxes& b = Draw(position, in.cols, in.rows);
        const cv::Mat& src = StableInput(in, out, stable_);
        CopyFrame(src, out);
        for (size_t i = 0; i < b.widths.size(); ++i) {
            const int64_t x = b.lefts[i], s = b.shifts[i];
            // Columns t of the box whose source x + t and destination x + s + t both lie in the frame.
            const int64_t t0 = std::max({int64_t{0}, -x, -(x + s)});
            const int64_t t1 = std::min({b.widths[i], W - x, W - x - s});
            const int64_t y0 = std::max(int64_t{0}, b.tops[i]);
            const int64_t y1 = std::min(H, b.tops[i] + b.heights[i]);
            if (t0 >= t1 || y0 >= y1) continue;
            const size_t bytes = static_cast<size_t>(t1 - t0) * 4;
            for (int64_t y = y0; y < y1; ++y) {
                std::memcpy(out.ptr<uint8_t>(static_cast<int>(y)) + (x + s + t0) * 4,
                            src.ptr<uint8_t>(static_cast<int>(y)) + (x + t0) * 4, bytes);
            }
        }
    } catch (const std::exception&) {
        return Failed;
    }
    return Ok;
}

// --- chromatic aberration ------------------------------------------------------------------------------

VideoEffectGlitchChromaticAberration::VideoEffectGlitchChromaticAberration() {
    DeclareFloat("min_horizontal_shift", &minHorizontal_, 0);
    DeclareFloat("max_horizontal_shift", &maxHorizontal_, 0.02f);
    DeclareFloat("min_vertical_shift", &minVertical_, 0);
    DeclareFloat("max_vertical_shift", &maxVertical_, 0.01f);
}

VideoEffectGlitchChromaticAberration::Draws VideoEffectGlitchChromaticAberration::Draw(int64_t position, int w,
                                                                                        int h) const {
    const uint64_t seed = static_cast<uint64_t>(position);
    const float W = static_cast<float>(w), H = static_cast<float>(h);
    Draws d{};
    GlitchRandom horizontal(seed), vertical(seed), signs(seed), channels(seed);
    d.dx = horizontal.UniformInt(TruncToInt64(W * minHorizontal_ + 1), TruncToInt64(W * maxHorizontal_ + 1));
    d.dy = vertical.UniformInt(TruncToInt64(H * minVertical_ + 1), TruncToInt64(H * maxVertical_ + 1));
    if (signs.UniformInt(0, 1) == 0) d.dx = -d.dx;
    if (signs.UniformInt(0, 1) == 0) d.dy = -d.dy;
    d.mask = static_cast<int>(channels.UniformInt(1, 7));
    return d;
}

namespace {

// out = the input, with the colour channels of the mask taken from the input moved by (dx, dy).
class ParallelBlendImage final : public cv::ParallelLoopBody {
public:
    ParallelBlendImage(const cv::Mat& in, cv::Mat& out, int64_t dx, int64_t dy, int mask)
        : in_(in), out_(out), dx_(dx), dy_(dy), mask_(mask) {}
    void operator()(const cv::Range& rows) const override {
        const int64_t W = in_.cols, H = in_.rows;
        // Columns [x0, x1) have their moved source x - dx inside the frame.
        const int64_t x0 = std::clamp(dx_, int64_t{0}, W), x1 = std::clamp(W + dx_, int64_t{0}, W);
        // The masked channels as byte lanes of one little-endian BGRA word.
        uint32_t take = 0;
        for (int c = 0; c < 3; ++c)
            if (mask_ & (1 << c)) take |= 0xffu << (8 * c);
        for (int y = rows.start; y < rows.end; ++y) {
            const uint8_t* p = in_.ptr<uint8_t>(y);
            uint8_t* d = out_.ptr<uint8_t>(y);
            std::memcpy(d, p, static_cast<size_t>(W) * 4);
            const int64_t sy = y - dy_;
            if (sy < 0 || sy >= H) continue;
            const uint8_t* s = in_.ptr<uint8_t>(static_cast<int>(sy));
            for (int64_t x = x0; x < x1; ++x) {
                uint32_t a, b;
                std::memcpy(&a, p + x * 4, 4);
                std::memcpy(&b, s + (x - dx_) * 4, 4);
                a = (a & ~take) | (b & take);
                std::memcpy(d + x * 4, &a, 4);
            }
        }
    }

private:
    const cv::Mat& in_;
    cv::Mat& out_;
    int64_t dx_, dy_;
    int mask_;
};

}  // namespace

ResultCode VideoEffectGlitchChromaticAberration::ProcessCPU(int64_t position, EffectFrame* input,
                                                            EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    try {
        const cv::Mat in = WrapBGRA(*input);
        cv::Mat out = WrapBGRA(*output);
        const Draws d = Draw(position, in.cols, in.rows);
        const cv::Mat& src = StableInput(in, out, stable_);
        ParallelBlendImage body(src, out, d.dx, d.dy, d.mask);
        ForRowBands(in.cols, in.rows, [&](int y0, int y1) { body(cv::Range(y0, y1)); });
    } catch (const std::exception&) {
        return Failed;
    }
    return Ok;
}

// --- fractal box ----------------------------------------------------------------------------------------

VideoEffectGlitchFractalBox::VideoEffectGlitchFractalBox() : values_(kTableSize), indices_(2 * kTableSize) {
    DeclareInt("num_of_noise_layers", &layers_, 6);
    DeclareFloat("noise_start_frequency", &startFrequency_, 0.01f);
    DeclareFloat("noise_freq_multiplier", &frequencyMultiplier_, 1.5f);
    DeclareFloat("noise_scale_multiplier", &scaleMultiplier_, 0.6f);
    DeclareFloat("horizontal_map_stretch_x", &horizontal_.stretchX, 5);
    DeclareFloat("horizontal_map_stretch_y", &horizontal_.stretchY, 2);
    DeclareFloat("horizontal_cast_scale", &horizontal_.castScale, 90);
    DeclareFloat("horizontal_pos_threshold", &horizontal_.posThreshold, 20);
    DeclareFloat("horizontal_neg_threshold", &horizontal_.negThreshold, -20);
    DeclareFloat("vertical_map_stretch_x", &vertical_.stretchX, 5);
    DeclareFloat("vertical_map_stretch_y", &vertical_.stretchY, 2);
    DeclareFloat("vertical_cast_scale", &vertical_.castScale, 90);
    DeclareFloat("vertical_pos_threshold", &vertical_.posThreshold, 20);
    DeclareFloat("vertical_neg_threshold", &vertical_.negThreshold, -20);

    // The noise is the same in every run: both tables come from engines with a fixed seed.
    GlitchRandom valueEngine(kNoiseSeed);
    for (float& v : values_) v = valueEngine.UniformReal(0, 1);
    GlitchRandom indexEngine(kNoiseSeed);
    for (int i = 0; i < kTableSize; ++i) indices_[i] = static_cast<int32_t>(indexEngine.UniformInt(0, kTableSize - 1));
    // Stored twice so that P[P[X] + Y] with X, Y <= 2047 stays inside.
    std::copy(indices_.begin(), indices_.begin() + kTableSize, indices_.begin() + kTableSize);
    // The 1920 x 1080 map is built when the first frame needs it: an effect that is only
    // created and configured costs nothing.
}

void VideoEffectGlitchFractalBox::OnParamStored(const ParamDecl& p) {
    if (p.target == &layers_ || p.target == &startFrequency_ || p.target == &frequencyMultiplier_ ||
        p.target == &scaleMultiplier_)
        rebuild_ = true;
}

namespace {

// Adds every layer of block noise to its rows of the map, then clears values that overflowed.
class ParallelBlockNoiseMap final : public cv::ParallelLoopBody {
public:
    ParallelBlockNoiseMap(cv::Mat& map, const std::vector<float>& values, const std::vector<int32_t>& indices,
                          const std::vector<int32_t>& columns, const std::vector<double>& frequencies,
                          const std::vector<float>& amplitudes)
        : map_(map), V_(values), P_(indices), columns_(columns), f_(frequencies), a_(amplitudes) {}
    void operator()(const cv::Range& rows) const override {
        const int w = map_.cols;
        for (int y = rows.start; y < rows.end; ++y) {
            float* m = map_.ptr<float>(y);
            std::fill(m, m + w, 0.0f);
            for (size_t l = 0; l < f_.size(); ++l) {
                const int64_t Y = TruncToInt64(y * f_[l] + 0.5) & 0x7ff;
                const int32_t* px = columns_.data() + l * static_cast<size_t>(w);  // P[X] per column
                const float a = a_[l];
                for (int x = 0; x < w; ++x) m[x] += a * V_[P_[px[x] + Y]];
            }
            for (int x = 0; x < w; ++x)
                if (!std::isfinite(m[x])) m[x] = 0;
        }
    }

private:
    cv::Mat& map_;
    const std::vector<float>& V_;
    const std::vector<int32_t>& P_;
    const std::vector<int32_t>& columns_;
    const std::vector<double>& f_;
    const std::vector<float>& a_;
};

}  // namespace

void VideoEffectGlitchFractalBox::BuildMap() {
    map_.create(mapHeight_, mapWidth_, CV_32F);
    const int layers = std::clamp(layers_, 0, kMaxLayers);
    std::vector<double> f(layers);
    std::vector<float> a(layers);
    std::vector<int32_t> columns(static_cast<size_t>(layers) * mapWidth_);
    for (int l = 0; l < layers; ++l) {
        f[l] = startFrequency_ * std::pow(static_cast<double>(frequencyMultiplier_), l);
        a[l] = static_cast<float>(std::pow(static_cast<double>(scaleMultiplier_), l));
        for (int x = 0; x < mapWidth_; ++x)
            columns[static_cast<size_t>(l) * mapWidth_ + x] = indices_[TruncToInt64(x * f[l] + 0.5) & 0x7ff];
    }
    ParallelBlockNoiseMap body(map_, values_, indices_, columns, f, a);
    ForRowBands(mapWidth_, mapHeight_, [&](int y0, int y1) { body(cv::Range(y0, y1)); });
    double largest = 0;
    cv::minMaxLoc(map_, nullptr, &largest);
    // A map without a positive largest value (no layers, or amplitudes that cancel) stays flat
    // rather than becoming a division by zero.
    if (largest > 0) map_ /= largest;
    else map_.setTo(0);
    rebuild_ = false;
}

const cv::Mat& VideoEffectGlitchFractalBox::NoiseMap(int w, int h) {
    if (w > mapWidth_ || h > mapHeight_) {
        mapWidth_ = 2 * w;
        mapHeight_ = 2 * h;
        rebuild_ = true;
    }
    if (rebuild_ || map_.empty()) BuildMap();
    return map_;
}

void VideoEffectGlitchFractalBox::Window(int64_t position, const Axis& axis, int w, int h, cv::Mat& out) {
    const int mw = map_.cols, mh = map_.rows;
    // A stretch below 1, 0 or NaN would ask for a window larger than the map or of no size: the
    // window is held between one pixel and the whole map.
    const int64_t ww = std::clamp<int64_t>(TruncToInt64(mw / static_cast<double>(axis.stretchX)), 1, mw);
    const int64_t wh = std::clamp<int64_t>(TruncToInt64(mh / static_cast<double>(axis.stretchY)), 1, mh);
    GlitchRandom r(static_cast<uint64_t>(position));
    int64_t ox, oy;
    if (axis.stretchX >= 2 && axis.stretchY >= 2) {
        ox = r.UniformInt(0, mw / 2);
        oy = r.UniformInt(0, mh / 2);
    } else {
        ox = r.UniformInt(0, mw - ww);
        oy = r.UniformInt(0, mh - wh);
    }
    ox = std::min(ox, mw - ww);
    oy = std::min(oy, mh - wh);
    const cv::Rect window(static_cast<int>(ox), static_cast<int>(oy), static_cast<int>(ww), static_cast<int>(wh));
    cv::resize(map_(window), out, cv::Size(w, h), 0, 0, cv::INTER_NEAREST);
}

namespace {

// d = (v - 0.5) cast, 0 inside [neg, pos]: a dead zone around the map's middle leaves most of the
// frame in place. Held far outside any frame, so an enormous or undefined displacement samples
// the border.
struct DisplacementLaw {
    float cast, pos, neg;
    float operator()(float v) const {
        float d = (v - 0.5f) * cast;
        if (neg <= d && d <= pos) d = 0;
        return d == d ? std::clamp(d, -1e7f, 1e7f) : 0.0f;
    }
};

// The sampling point of every pixel: (x + dh, y + dv) through each axis' law, written over the
// windows themselves (mapX holds dh; mapY holds dv, or nothing when both axes share dh's window).
class parallelSamplingMap final : public cv::ParallelLoopBody {
public:
    parallelSamplingMap(DisplacementLaw h, DisplacementLaw v, bool shared, cv::Mat& mapX, cv::Mat& mapY)
        : h_(h), v_(v), shared_(shared), mapX_(mapX), mapY_(mapY) {}
    void operator()(const cv::Range& rows) const override {
        for (int y = rows.start; y < rows.end; ++y) {
            float* mx = mapX_.ptr<float>(y);
            float* my = mapY_.ptr<float>(y);
            for (int x = 0; x < mapX_.cols; ++x) {
                const float a = mx[x], b = shared_ ? a : my[x];
                mx[x] = static_cast<float>(x) + h_(a);
                my[x] = static_cast<float>(y) + v_(b);
            }
        }
    }

private:
    DisplacementLaw h_, v_;
    bool shared_;
    cv::Mat& mapX_;
    cv::Mat& mapY_;
};

}  // namespace

ResultCode VideoEffectGlitchFractalBox::ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    try {
        const cv::Mat in = WrapBGRA(*input);
        cv::Mat out = WrapBGRA(*output);
        const int w = in.cols, h = in.rows;
        NoiseMap(w, h);
        Window(position, horizontal_, w, h, mapX_);
        // Both windows come from engines seeded alike: equal stretch values cut the same window.
        const bool sameWindow =
            vertical_.stretchX == horizontal_.stretchX && vertical_.stretchY == horizontal_.stretchY;
        if (sameWindow) mapY_.create(h, w, CV_32F);
        else Window(position, vertical_, w, h, mapY_);
        const DisplacementLaw lawH{horizontal_.castScale, horizontal_.posThreshold, horizontal_.negThreshold};
        const DisplacementLaw lawV{vertical_.castScale, vertical_.posThreshold, vertical_.negThreshold};
        parallelSamplingMap body(lawH, lawV, sameWindow, mapX_, mapY_);
        ForRowBands(w, h, [&](int y0, int y1) { body(cv::Range(y0, y1)); });
        const cv::Mat& src = StableInput(in, out, stable_);
        uint8_t* const target = out.data;
        cv::remap(src, out, mapX_, mapY_, cv::INTER_NEAREST, cv::BORDER_CONSTANT, cv::Scalar::all(0));
        // The output header wraps the caller's frame: remap must have written there.
        if (out.data != target) return Failed;
    } catch (const std::exception&) {
        return Failed;
    }
    return Ok;
}

}  // namespace orvex
