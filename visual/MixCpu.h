#pragma once
// The CPU twins of the masked-mix, gradient and motion-animation kernels (blend_mask.cl's
// BlendMask2, blend_mask_notype.cl, do_gradient.cl, motion_animation.cl): the same arithmetic
// per output pixel, on host BGRA frames of 8 or 16 bits a sample (PixelMap.h). The callers check
// formats, sizes and planes; these only compute.
#include "orvex/IVisualProcess.h"

namespace orvex {

// out = first * a + (1 - a) * second, a = channel `alphaChannel` of alphaFrame (0 red, 1 green,
// 2 blue, 3 alpha, any other red) * constAlpha; all four frames of one size.
void BlendMask2Cpu(const EffectFrame& first, const EffectFrame& second, const EffectFrame& alphaFrame,
                   int alphaChannel, float constAlpha, EffectFrame& out);
// out = mix(overlay, background, mask alpha), each sampled bilinearly at out's normalised centres.
void BlendMaskNoTypeCpu(const EffectFrame& overlay, const EffectFrame& background, const EffectFrame& mask,
                        EffectFrame& out);
// The multi-stop gradient of `type`; colours as the kernel's record holds them (bytes / 255,
// lowest byte first) and count already limited to 0..10.
struct GradientStops {
    float colors[10][4];
    int count;
    float precent[10];
    float posX, posY;
};
void GradientCpu(const GradientStops& g, int type, EffectFrame& out);
// The motion-animation transform of in into out.
void MotionAnimationCpu(const EffectFrame& in, const MotionAnimationParam& p, EffectFrame& out);

}  // namespace orvex
