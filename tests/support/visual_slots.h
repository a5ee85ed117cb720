#pragma once
// Every IVisualProcess slot, called from one set of frames and values, so that the bad-input table
// and the frame fuzzer reach each slot the same way. A routine that lands later is covered without
// a change here; a slot added to the interface needs one row.
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "orvex/IVisualProcess.h"

namespace orvextest {

struct SlotArgs {
    const orvex::EffectFrame* in[3] = {};  // first input, second input (background, mask...), third
    orvex::EffectFrame* out = nullptr;
    double value = 0.5;   // every floating-point argument: angles, opacities, scales, factors
    int32_t mode = 0;     // every integer argument: types, blend modes, qualities, channels
    bool nullPointers = false;  // pointer arguments (results, descriptions, paths) passed as null
};

struct VisualSlot {
    const char* name;
    // False for the slots that read only values or pointers (the white-balance slots read packed
    // pixels, not a frame, so no frame property makes them fail).
    bool takesFrames;
    std::function<orvex::ResultCode(orvex::IVisualProcess&, SlotArgs&)> call;
};

// The geometric arguments all slots share, derived from the one value so a NaN reaches them too.
inline orvex::fxRectf Rect(const SlotArgs& a) {
    const float v = static_cast<float>(a.value);
    return std::isfinite(v) && v >= 0 && v <= 1 ? orvex::fxRectf{0.1f, 0.1f, v, v} : orvex::fxRectf{v, v, v, v};
}
inline orvex::fxPointd Point(const SlotArgs& a) { return {a.value, a.value}; }
inline int32_t Side(uint32_t n) { return static_cast<int32_t>(n); }
// The white-balance slots take tightly packed BGRA: a plane's memory, where it holds that much.
inline const uint8_t* Packed(const orvex::EffectFrame& f) {
    const uint64_t need = uint64_t(f.width[0]) * 4 * f.height[0];
    const uint64_t have = f.pitch[0] > 0 ? uint64_t(f.pitch[0]) * f.height[0] : 0;
    return have >= need ? f.data[0] : nullptr;
}

inline const std::vector<VisualSlot>& VisualSlots() {
    using namespace orvex;
    using A = SlotArgs;
    using VP = IVisualProcess;
    static const std::vector<VisualSlot> slots = {
        {"Convert", true, [](VP& vp, A& a) {
             ColorSpace::pl_color_repr repr{};
             ColorSpace::pl_color_space space{};
             EffectFrame intermediate;  // no scratch frame: a conversion that needs one must refuse
             return vp.Convert(repr, space, *a.in[0], intermediate, *a.out, a.mode, a.mode, a.mode);
         }},
        {"Convert(short)", true, [](VP& vp, A& a) {
             ColorSpace::pl_color_repr repr{};
             ColorSpace::pl_color_space space{};
             EffectFrame intermediate;
             return vp.Convert(repr, space, *a.in[0], intermediate, *a.out, a.mode, a.mode);
         }},
        {"Resize", true, [](VP& vp, A& a) { return vp.Resize(*a.in[0], *a.out, a.mode, a.mode); }},
        {"Blend", true, [](VP& vp, A& a) {
             return vp.Blend(*a.in[0], Rect(a), *a.in[1], Rect(a), *a.out, a.mode, a.mode, a.value, a.mode);
         }},
        {"CenterPointAlignBlend", true, [](VP& vp, A& a) {
             const float v = static_cast<float>(a.value);
             return vp.CenterPointAlignBlend(*a.in[0], Rect(a), *a.in[1], Rect(a), a.mode & 1, *a.out, a.mode, v,
                                             a.mode, v, v, a.mode & 2);
         }},
        {"BlendAndTransform", true, [](VP& vp, A& a) {
             const double v = a.value;
             return vp.BlendAndTransform(*a.in[0], Point(a), *a.in[1], Point(a), a.mode & 1, *a.out, a.mode, a.mode,
                                         v, a.mode, a.mode, v, v, v, v, v);
         }},
        {"Transform", true, [](VP& vp, A& a) {
             const double v = a.value;
             return vp.Transform(*a.in[0], Point(a), *a.out, Point(a), a.mode, v, v, v, a.mode, a.mode & 1, v, v);
         }},
        {"BlendMask", true, [](VP& vp, A& a) {
             return vp.BlendMask(*a.in[0], Rect(a), *a.in[1], Rect(a), *a.out, a.mode);
         }},
        {"Rotate", true, [](VP& vp, A& a) { return vp.Rotate(*a.in[0], *a.out, a.value, a.mode); }},
        {"Motion", true, [](VP& vp, A& a) { return vp.Motion(*a.in[0], *a.out, Rect(a), Rect(a)); }},
        {"PixelRotate", true, [](VP& vp, A& a) { return vp.PixelRotate(*a.in[0], *a.out, a.mode); }},
        {"Deinterlace", true, [](VP& vp, A& a) { return vp.Deinterlace(*a.in[0], *a.out, a.mode); }},
        {"SetATLUFactory", false, [](VP& vp, A&) { return vp.SetATLUFactory(nullptr); }},
        {"BGRAToBGR", true, [](VP& vp, A& a) { return vp.BGRAToBGR(*a.in[0], *a.out); }},
        {"BGRToBGRA", true, [](VP& vp, A& a) { return vp.BGRToBGRA(*a.in[0], *a.out); }},
        {"FillFrame", true, [](VP& vp, A& a) {
             return vp.FillFrame(*a.out, a.mode & 1, static_cast<uint32_t>(a.mode) * 0x01010101u);
         }},
        {"Premultiply", true, [](VP& vp, A& a) { return vp.Premultiply(*a.in[0], *a.out, a.mode, a.mode & 1); }},
        {"solidColorBlend", true, [](VP& vp, A& a) {
             return vp.solidColorBlend(*a.in[0], *a.out, a.mode, a.mode, a.mode, a.mode, a.mode, a.value, a.mode);
         }},
        {"CropFrame", true, [](VP& vp, A& a) { return vp.CropFrame(*a.in[0], Rect(a), *a.out, a.mode); }},
        {"ResizeWithPrefilter", true, [](VP& vp, A& a) { return vp.ResizeWithPrefilter(*a.in[0], *a.out); }},
        {"ResizeBlur", true, [](VP& vp, A& a) {
             return vp.ResizeBlur(*a.in[0], *a.out, a.mode, a.mode, a.mode, a.mode);
         }},
        {"AnalyzeColorReference", true, [](VP& vp, A& a) { return vp.AnalyzeColorReference(*a.in[0]); }},
        {"GetCapabilityCode", false, [](VP& vp, A& a) {
             int32_t code = 0;
             return vp.GetCapabilityCode(a.nullPointers ? nullptr : &code);
         }},
        {"GetColorReferenceStats", false, [](VP& vp, A& a) {
             double stats[6] = {};
             return vp.GetColorReferenceStats(a.nullPointers ? nullptr : stats);
         }},
        {"ConvertTo8Bit", true, [](VP& vp, A& a) { return vp.ConvertTo8Bit(*a.in[0], *a.out, a.mode); }},
        {"EstimateWhiteBalance", false, [](VP& vp, A& a) {
             float temperature = 0, tint = 0;
             return vp.EstimateWhiteBalance(Packed(*a.in[0]), Side(a.in[0]->width[0]), Side(a.in[0]->height[0]),
                                            a.nullPointers ? nullptr : &temperature, a.nullPointers ? nullptr : &tint,
                                            a.mode, a.mode);
         }},
        {"WhiteBalanceFromColor", false, [](VP& vp, A& a) {
             float temperature = 0, tint = 0;
             return vp.WhiteBalanceFromColor(Packed(*a.in[0]), Side(a.in[0]->width[0]), Side(a.in[0]->height[0]),
                                             static_cast<uint32_t>(a.mode), a.nullPointers ? nullptr : &temperature,
                                             a.nullPointers ? nullptr : &tint);
         }},
        {"ICCProfileTransform", true, [](VP& vp, A& a) {
             ColorSpace::pl_icc_profile profile{};
             return vp.ICCProfileTransform(a.nullPointers ? nullptr : &profile, *a.out);
         }},
        {"NV12ToYV12", true, [](VP& vp, A& a) { return vp.NV12ToYV12(*a.in[0], *a.out); }},
        {"BGRToRGB", true, [](VP& vp, A& a) { return vp.BGRToRGB(*a.in[0], *a.out); }},
        {"PQToHLG", true, [](VP& vp, A& a) { return vp.PQToHLG(*a.in[0], *a.out); }},
        {"YV12ToNV12", true, [](VP& vp, A& a) { return vp.YV12ToNV12(*a.in[0], *a.out); }},
        {"HLGToPQ", true, [](VP& vp, A& a) { return vp.HLGToPQ(*a.in[0], *a.out); }},
        {"BlendMask2", true, [](VP& vp, A& a) {
             return vp.BlendMask2(*a.in[0], *a.in[1], *a.in[2], a.mode, *a.out, a.mode);
         }},
        {"CalibrateChromaKey", false, [](VP& vp, A& a) {
             int32_t first = 0, second = 0;
             return vp.CalibrateChromaKey(static_cast<uint32_t>(a.mode), a.nullPointers ? nullptr : &first,
                                          a.nullPointers ? nullptr : &second);
         }},
        {"TransformPoint", false, [](VP& vp, A& a) {
             // No result code: the slot only has to come back.
             const double v = a.value;
             vp.TransformPoint(Point(a), Rect(a), Point(a), Rect(a), Point(a), v, v, v, v, v);
             return Ok;
         }},
        {"BlendAndTransform_BaseOnBackFrame(resample)", true, [](VP& vp, A& a) {
             return vp.BlendAndTransform_BaseOnBackFrame(*a.in[0], a.mode, a.mode, *a.out, a.mode, a.mode);
         }},
        {"BlendAndTransform_BaseOnBackFrame", true, [](VP& vp, A& a) {
             const double v = a.value;
             return vp.BlendAndTransform_BaseOnBackFrame(*a.in[0], Point(a), *a.in[1], Point(a), a.mode & 1, *a.out,
                                                         a.mode, a.mode, v, a.mode, a.mode, v, v, v, v, v, a.mode,
                                                         a.mode);
         }},
        {"ChangeColorSpace", true, [](VP& vp, A& a) {
             ColorSpace::pl_color_repr repr{};
             ColorSpace::pl_color_space space{};
             auto* r = a.nullPointers ? nullptr : &repr;
             auto* s = a.nullPointers ? nullptr : &space;
             return vp.ChangeColorSpace(*a.in[0], *a.out, r, s, r, s);
         }},
        {"FrameInterpolation", true, [](VP& vp, A& a) {
             return vp.FrameInterpolation(*a.in[0], *a.in[1], *a.out, static_cast<float>(a.value));
         }},
        {"overlay", true, [](VP& vp, A& a) {
             return vp.overlay(*a.in[1], *a.in[0], *a.out, a.mode, static_cast<float>(a.value), 0, a.mode);
         }},
        {"channelControl", true, [](VP& vp, A& a) { return vp.channelControl(*a.in[1], *a.in[0], *a.out, a.mode); }},
        {"HDR2SDR", true, [](VP& vp, A& a) {
             const auto primaries = static_cast<ColorSpace::pl_color_primaries>(a.mode);
             return vp.HDR2SDR(*a.in[0], *a.out, a.mode, primaries, primaries);
         }},
        {"SDR2HDR", true, [](VP& vp, A& a) { return vp.SDR2HDR(*a.in[0], *a.out, a.mode, a.mode); }},
        {"SetResourcePath", false, [](VP& vp, A& a) {
             return vp.SetResourcePath(a.nullPointers ? nullptr : "/nonexistent/orvex-resources");
         }},
        {"HorizontalFlip", true, [](VP& vp, A& a) { return vp.HorizontalFlip(*a.in[0], *a.out); }},
        {"VerticalFlip", true, [](VP& vp, A& a) { return vp.VerticalFlip(*a.in[0], *a.out); }},
        {"viewmaskasresult", true, [](VP& vp, A& a) { return vp.viewmaskasresult(*a.in[0], *a.in[2], *a.out, a.mode); }},
        {"viewmaskasalpha", true, [](VP& vp, A& a) { return vp.viewmaskasalpha(*a.in[0], *a.in[2], *a.out, a.mode); }},
        {"viewmaskassquare", true, [](VP& vp, A& a) { return vp.viewmaskassquare(*a.in[0], *a.in[2], *a.out, a.mode); }},
        {"viewmaskascolormask", true, [](VP& vp, A& a) {
             return vp.viewmaskascolormask(*a.in[0], *a.in[2], static_cast<uint32_t>(a.mode), *a.out, a.mode);
         }},
        {"Motion_Animation", true, [](VP& vp, A& a) {
             const float v = static_cast<float>(a.value);
             const MotionAnimationParam param{v, v, v, {v, v}, {v, v}, v, v, v, v};
             return vp.Motion_Animation(*a.in[0], *a.out, param);
         }},
        {"Do_Gradient", true, [](VP& vp, A& a) {
             GradientData gradient{};
             const float v = static_cast<float>(a.value);
             for (int i = 0; i < 10; ++i) {
                 gradient.colors[i] = 0xFF102030u * static_cast<uint32_t>(i + 1);
                 gradient.precent[i] = v;
             }
             gradient.count = a.mode;
             gradient.posX[0] = gradient.posX[1] = gradient.posY[0] = gradient.posY[1] = gradient.angle = v;
             return vp.Do_Gradient(*a.out, a.mode, gradient);
         }},
        {"Blend_Mask_NoType", true, [](VP& vp, A& a) {
             return vp.Blend_Mask_NoType(*a.in[0], *a.in[1], *a.in[2], *a.out);
         }},
        {"Convert(BT.709 limited, 10 bits)", true, [](VP& vp, A& a) {
             // A description with a fixed mode, so that every format pair reaches its routine.
             const ColorSpace::pl_color_repr repr{ColorSpace::PL_COLOR_SYSTEM_BT_709, ColorSpace::PL_COLOR_LEVELS_LIMITED,
                                                  ColorSpace::PL_ALPHA_INDEPENDENT, {10, 10, 0}};
             ColorSpace::pl_color_space space{};
             EffectFrame intermediate;
             return vp.Convert(repr, space, *a.in[0], intermediate, *a.out, a.mode, a.mode, a.mode);
         }},
    };
    return slots;
}

}  // namespace orvextest
