#pragma once
// The CPU twins of the masked-mix, gradient and motion-animation kernels (blend_mask.cl's
// BlendMask2, blend_mask_notype.cl, do_gradient.cl, motion_animation.cl, premultiply.cl,
// channel_control.cl): the same arithmetic
// per output pixel, on host BGRA frames of 8 or 16 bits a sample (PixelMap.h). The callers check
// formats, sizes and planes (HostBGRAFrames); the routines only compute.
#include <initializer_list>

#include "orvex/IVisualProcess.h"

namespace orvex {

// Host BGRA frames (8 or 16 bits each) for these forms: WrongFormat with `formatMessage` for
// another format, InvalidArgument for planes the frames do not hold (both logged under tag).
ResultCode HostBGRAFrames(const char* tag, const char* formatMessage, std::initializer_list<const EffectFrame*> frames);

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
// The BGRA premultiplication: alphaType 1 multiplies the colour by alpha, any other value makes
// alpha opaque. in and out of one size; may be one frame.
void PremultiplyCpu(const EffectFrame& in, int alphaType, EffectFrame& out);
// The overlay's colour with alpha = (channel `channel` of the background, 0 red .. 3 alpha,
// sampled bilinearly) x overlay alpha; any other channel copies the overlay. overlay and out of
// one size.
void ChannelControlCpu(const EffectFrame& background, const EffectFrame& overlay, int channel, EffectFrame& out);
// The motion-animation transform of in into out.
void MotionAnimationCpu(const EffectFrame& in, const MotionAnimationParam& p, EffectFrame& out);

}  // namespace orvex
