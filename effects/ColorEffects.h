#pragma once
// Colour adjustment effects: each output pixel from the same input pixel, through a byte table
// built once per frame.
//
// Brightness and contrast: c = trunc(contrast * 2.55 + 0.5), b = trunc(bright + 0.5);
//   k = c / 255 (k = -1 for c <= -255; k / (1 - k) for 1 <= c <= 254);
//   v = c > 0 ? sat(i + b) : i;
//   w = c >= 255 ? (v >= 127 ? 255 : 0) : sat(rint((v - 127) k + v + 0.5)); c <= 0: w = sat(w + b).
#include <array>
#include <cstdint>

#include "effects/EffectSurface.h"

namespace orvex {

class VideoEffectBrightnessContrast : public EffectSurface {
public:
    VideoEffectBrightnessContrast();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;

    // T[i] for the stored parameters; `identity` is set when the frame is copied unchanged.
    std::array<uint8_t, 256> BuildTable(bool* identity) const;

private:
    float bright_ = 20;
    float contrast_ = 20;
};

}  // namespace orvex
