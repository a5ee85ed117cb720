#pragma once
// BlendAndTransform of 16-bit BGRA host frames: the BlendAndTransform kernel's arithmetic
// (blend_transform.cl with the transform form of blending.cl) per output pixel, in float like the
// kernel, so that a 16-bit frame keeps its 16 bits instead of passing through the 8-bit tables of
// the layer blender.
#include <cstdint>

#include "orvex/EffectFrame.h"

namespace orvex {

struct TransformBlendArgs {
    double anchorX, anchorY, centerX, centerY;  // normalised to the overlay and to the output
    double theta, scaleX, scaleY, skewX, skewY;  // degrees, factors
    int mode;
    double opacity;
    int premultiplied;
    int sampler;  // 0 nearest, any other value bilinear (the kernel always mixes bilinearly)
};

// overlay placed over background (null: transparent black) into out; background and out of one
// size, BGRA64 host frames; background may be out.
void TransformBlend16(const EffectFrame& overlay, const EffectFrame* background, EffectFrame& out,
                      const TransformBlendArgs& a);

}  // namespace orvex
