#pragma once
// Glitch effects: digital corruption seeded with the frame position, so one position always gives
// one picture and the next position another. Draws as in GlitchRandom.h; every list of a frame
// comes from its own engine seeded with the position. W x H is the frame; fractions are of W
// (widths, horizontal positions, shifts) or of H (heights, vertical positions).
//
// Box shift: n boxes; width = normal(W base_w + 1, W var_w / 3), height = uniform_int(trunc(H min_h
//   + 1), trunc(H max_h + 1)), left = normal(W base_x, W var_x / 3), top = uniform_int(trunc(H
//   min_y), trunc(H max_y)), shift = normal(W base_s, W var_s / 3). The input is copied, then each
//   box of the input is copied `shift` pixels to the side, source and destination clipped together.
// Chromatic aberration: dx = uniform_int(trunc(W min_h + 1), trunc(W max_h + 1)), dy likewise on H,
//   two signs uniform_int(0, 1) (0 = negative), mask m = uniform_int(1, 7). S = the input moved by
//   (dx, dy), the unmoved input where nothing lands; blue, green, red come from S where bit 0, 1, 2
//   of m is set, the rest from the input.
// Fractal box: noise map N = sum over layers l of a^l V[P[P[X] + Y]], X = trunc(x f_l + 0.5) & 2047,
//   Y = trunc(y f_l + 0.5) & 2047, f_l = f0 m^l, then N / max N. V (2048 uniform_real(0, 1)) and
//   P (2048 uniform_int(0, 2047), stored twice) come from engines seeded with 300624. Per frame a
//   window of (map / stretch) is cut at a drawn origin, resized to W x H (nearest), and
//   d = (v - 0.5) cast, 0 inside [neg_threshold, pos_threshold], displaces the sampling point:
//   out(x, y) = in(x + dh, y + dv) (nearest, transparent black outside).
#include <cstdint>
#include <vector>

#include "effects/EffectSurface.h"

namespace orvex {

class VideoEffectGlitchBoxShift : public EffectSurface {
public:
    VideoEffectGlitchBoxShift();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;

    // Above this many boxes the frame is long since covered; the cap keeps a huge count from
    // costing minutes and gigabytes.
    static constexpr int kMaxBoxes = 1024;

    struct Boxes {
        std::vector<int64_t> widths, heights, lefts, tops, shifts;
    };
    // The five lists for a w x h frame at `position` (refilled in the kept lists).
    const Boxes& Draw(int64_t position, int w, int h);

private:
    int32_t count_ = 1;
    float baseWidth_ = 0.75f;
    float variantWidth_ = 0.25f;
    float minHeight_ = 0;
    float maxHeight_ = 0.2f;
    float baseLeft_ = 0.5f;
    float variantLeft_ = 0.5f;
    float minTop_ = 0;
    float maxTop_ = 1;
    float baseShift_ = 0;
    float variantShift_ = 0.2f;
    Boxes boxes_;
    cv::Mat stable_;  // the input when rendering in place
};

class VideoEffectGlitchChromaticAberration : public EffectSurface {
public:
    VideoEffectGlitchChromaticAberration();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;

    struct Draws {
        int64_t dx, dy;
        int mask;
    };
    Draws Draw(int64_t position, int w, int h) const;

private:
    float minHorizontal_ = 0;
    float maxHorizontal_ = 0.02f;
    float minVertical_ = 0;
    float maxVertical_ = 0.01f;
    cv::Mat stable_;
};

class VideoEffectGlitchFractalBox : public EffectSurface {
public:
    VideoEffectGlitchFractalBox();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;

    static constexpr int kTableSize = 2048;
    static constexpr uint64_t kNoiseSeed = 300624;
    // Layers beyond this add nothing a viewer can see (with the default scale the 32nd weighs
    // 0.6^31, below 1e-6); the cap keeps a huge layer count from stalling a frame.
    static constexpr int kMaxLayers = 32;

    const std::vector<float>& ValueTable() const { return values_; }
    const std::vector<int32_t>& IndexTable() const { return indices_; }
    // The normalised noise map, built (or rebuilt) on demand for frames up to w x h.
    const cv::Mat& NoiseMap(int w, int h);

protected:
    void OnParamStored(const ParamDecl& p) override;

private:
    struct Axis {
        float stretchX, stretchY, castScale, posThreshold, negThreshold;
    };
    void BuildMap();
    // The window of the map for one axis, resized to w x h into `out`.
    void Window(int64_t position, const Axis& axis, int w, int h, cv::Mat& out);

    int32_t layers_ = 6;
    float startFrequency_ = 0.01f;
    float frequencyMultiplier_ = 1.5f;
    float scaleMultiplier_ = 0.6f;
    Axis horizontal_{5, 2, 90, 20, -20};
    Axis vertical_{5, 2, 90, 20, -20};

    std::vector<float> values_;     // V
    std::vector<int32_t> indices_;  // P, twice
    cv::Mat map_;                   // CV_32F, kept with the size it was built for
    int mapWidth_ = 1920, mapHeight_ = 1080;
    bool rebuild_ = true;
    cv::Mat mapX_, mapY_, stable_;
};

}  // namespace orvex
