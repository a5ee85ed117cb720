// The four mask views (CPU, OpenCL, OpenGL), Do_Gradient, Blend_Mask_NoType and Motion_Animation.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include <opencv2/core.hpp>

#include "corelog.h"
#include "visual/FramePlanes.h"
#include "visual/GpuTask.h"
#include "visual/MixCpu.h"
#include "visual/Sampling.h"
#include "visual/VisualProcess.h"

namespace orvex {
namespace {

enum Backend { kCPU = 1, kOpenCLBackend = 2, kOpenGLBackend = 3 };
enum class View { Alpha, Result, Square, ColorMask };

const char* ViewName(View v) {
    switch (v) {
    case View::Alpha: return "viewmaskasalpha";
    case View::Result: return "viewmaskasresult";
    case View::Square: return "viewmaskassquare";
    default: return "viewmaskascolormask";
    }
}

// Premultiplied t over b, channels 0..1 in any order with alpha last.
void Over(const float t[4], const float b[4], float out[4]) {
    for (int c = 0; c < 3; ++c) out[c] = t[c] + b[c] * (1 - t[3]);
    out[3] = t[3] + (1 - t[3]) * b[3];
}

// The views on the CPU at the frames' own depth (all 8-bit or all 16-bit samples).
template <typename T>
void MaskViewRows(View view, const cv::Mat& s, const cv::Mat& m, uint32_t colour, cv::Mat& d) {
    constexpr float kMax = std::numeric_limits<T>::max();
    const BilinearAxis sx(s.cols, d.cols), sy(s.rows, d.rows), mx(m.cols, d.cols), my(m.rows, d.rows);
    // The colour mask's colour in B, G, R order, opaque, and its mix weight.
    const float key[4] = {((colour >> 8) & 0xFF) / 255.0f, ((colour >> 16) & 0xFF) / 255.0f,
                          ((colour >> 24) & 0xFF) / 255.0f, 1.0f};
    const float keyWeight = (colour & 0xFF) / 255.0f;
    const float aspect = static_cast<float>(d.cols) / d.rows;
    for (int y = 0; y < d.rows; ++y) {
        T* o = d.ptr<T>(y);
        const int cy = static_cast<int>(std::floor((y + 0.5f) / d.rows * 60.0f));
        for (int x = 0; x < d.cols; ++x, o += 4) {
            const float a = SampleChannel<T>(m, mx, my, x, y, 3) / kMax;
            float px[4], result[4];
            if (view != View::Alpha) SamplePixel<T>(s, sx, sy, x, y, px);
            switch (view) {
            case View::Alpha:
                for (float& r : result) r = a;
                break;
            case View::Result:
                for (int c = 0; c < 4; ++c) result[c] = px[c] * a;
                break;
            case View::Square: {
                const int cx = static_cast<int>(std::floor((x + 0.5f) / d.cols * aspect * 60.0f));
                const float v = ((cx + cy) & 1) ? 204.0f / 255.0f : 1.0f;
                const float checker[4] = {v, v, v, 1.0f};
                float t[4];
                for (int c = 0; c < 4; ++c) t[c] = px[c] * a;
                Over(t, checker, result);
                break;
            }
            case View::ColorMask: {
                float t[4];
                for (int c = 0; c < 4; ++c) t[c] = px[c] * a + (key[c] * a - px[c] * a) * keyWeight;
                Over(t, px, result);
                break;
            }
            }
            for (int c = 0; c < 4; ++c) o[c] = cv::saturate_cast<T>(result[c] * kMax);
        }
    }
}

ResultCode MaskViewCPU(View view, const EffectFrame& source, const EffectFrame& mask, uint32_t colour,
                       EffectFrame& out, const char* tag) {
    FrameLayout ls, lm, lo;
    const bool bytes = IsBGRA8(source.pixel_fmt) && IsBGRA8(mask.pixel_fmt) && IsBGRA8(out.pixel_fmt);
    const bool words = source.pixel_fmt == BGRA64 && mask.pixel_fmt == BGRA64 && out.pixel_fmt == BGRA64;
    if (!bytes && !words) {
        ORVEX_LOG(6, tag, "input format is not BGRA32!!");
        return WrongFormat;
    }
    if (!LayoutOf(source, &ls) || !LayoutOf(mask, &lm) || !LayoutOf(out, &lo) || !HostPlanesOk(source, ls) ||
        !HostPlanesOk(mask, lm) || !HostPlanesOk(out, lo)) {
        ORVEX_LOG(6, tag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    const cv::Mat s = PlaneMat(source, 0, ls, 4), m = PlaneMat(mask, 0, lm, 4);
    cv::Mat d = PlaneMat(out, 0, lo, 4);
    if (bytes) MaskViewRows<uint8_t>(view, s, m, colour, d);
    else MaskViewRows<uint16_t>(view, s, m, colour, d);
    return Ok;
}

bool BGRATexture(const EffectFrame& f, TextureInfo* info) {
    return QueryTexture(f.texture, info) && info->colorSpace == zrp::kColorSpaceBGRA;
}

// The output size as the OpenGL programs' two-float resolution uniform.
void SetResolution(KernelArgs& args, const char* name, const TextureInfo& t) {
    const float v[2] = {static_cast<float>(t.width), static_cast<float>(t.height)};
    if (args.get()) args.get()->SetParamValue(name, zrp::kParamFloat2, v, sizeof v);
}

ResultCode RunOpenGL(const char* tag, const char* program, KernelArgs& args,
                     const std::vector<zrp::TexturePtr>& inputs, const zrp::TexturePtr& out) {
    if (!args.ok()) return Failed;
    if (DispatchOpenGLProgram(args.get(), program, inputs, {out}) != 0) {
        ORVEX_LOG(4, tag, "opengl program %s failed!!", program);
        return Failed;
    }
    return Ok;
}

ResultCode MaskView(View view, const EffectFrame& source, const EffectFrame& mask, uint32_t colour, EffectFrame& out,
                    int32_t backend) {
    const std::string tag = std::string("orvex:") + ViewName(view);
    if (backend == kCPU) return MaskViewCPU(view, source, mask, colour, out, tag.c_str());
    if (backend != kOpenCLBackend && backend != kOpenGLBackend) {
        ORVEX_LOG(6, tag.c_str(), "backend %d is not supported!!", backend);
        return WrongFormat;
    }
    TextureInfo ts, tm, to;
    if (!BGRATexture(source, &ts) || !BGRATexture(mask, &tm) || !BGRATexture(out, &to)) {
        ORVEX_LOG(6, tag.c_str(), "input gpu frame is nullptr!!");
        return InvalidArgument;
    }
    KernelArgs args;
    if (view == View::ColorMask) {
        args.Int("mask_color_rgba_r", static_cast<int32_t>((colour >> 24) & 0xFF));
        args.Int("mask_color_rgba_g", static_cast<int32_t>((colour >> 16) & 0xFF));
        args.Int("mask_color_rgba_b", static_cast<int32_t>((colour >> 8) & 0xFF));
        args.Int("mask_color_rgba_a", static_cast<int32_t>(colour & 0xFF));
    }
    if (backend == kOpenCLBackend) {
        const std::string kernel = std::string(ViewName(view)) + "_cl";
        return RunVisualKernel(tag.c_str(), kernel.c_str(), args, to, {source.texture, mask.texture}, {out.texture});
    }
    args.Int("eff0_tex", 0).Int("eff1_tex", 1);
    SetResolution(args, "iResolution", to);
    return RunOpenGL(tag.c_str(), ViewName(view), args, {source.texture, mask.texture}, out.texture);
}

// A BGRA-like output (4); on the GPU path it must be a texture (1).
ResultCode GpuOutput(const char* tag, const EffectFrame& out, TextureInfo* info) {
    if (!IsBGRALike(out.pixel_fmt)) {
        ORVEX_LOG(6, tag, "input format is not rgba!!");
        return WrongFormat;
    }
    if (!BGRATexture(out, info)) {
        ORVEX_LOG(6, tag, "input gpu frame is nullptr!!");
        return Failed;
    }
    return Ok;
}


// A shrinking motion animation averages every input texel under an output pixel: with an input
// many times its ideal size that is a whole picture per pixel, which would stall the caller (and
// the GPU). The footprint per axis, as the kernel sizes it, is held to 256 texels.
bool FootprintFits(const MotionAnimationParam& p, int inputWidth, int inputHeight) {
    if (std::abs(p.scale_x) >= 1.0f && std::abs(p.scale_y) >= 1.0f) return true;
    const float fw = (inputWidth / p.idealwidth) / std::max(1.0f / 3.0f, std::abs(p.scale_x));
    const float fh = (inputHeight / p.idealheight) / std::max(1.0f / 3.0f, std::abs(p.scale_y));
    return fw <= 256.0f && fh <= 256.0f;
}

bool OnOpenCL(const EffectFrame& out) { return TexturePlatform(*out.texture) == OpenCL; }

}  // namespace

ResultCode VisualProcess::viewmaskasresult(const EffectFrame& source, const EffectFrame& mask, EffectFrame& out,
                                           int32_t backend) {
    return MaskView(View::Result, source, mask, 0, out, backend);
}

ResultCode VisualProcess::viewmaskasalpha(const EffectFrame& source, const EffectFrame& mask, EffectFrame& out,
                                          int32_t backend) {
    return MaskView(View::Alpha, source, mask, 0, out, backend);
}

ResultCode VisualProcess::viewmaskassquare(const EffectFrame& source, const EffectFrame& mask, EffectFrame& out,
                                           int32_t backend) {
    return MaskView(View::Square, source, mask, 0, out, backend);
}

ResultCode VisualProcess::viewmaskascolormask(const EffectFrame& source, const EffectFrame& mask, uint32_t colour,
                                              EffectFrame& out, int32_t backend) {
    return MaskView(View::ColorMask, source, mask, colour, out, backend);
}

ResultCode VisualProcess::Blend_Mask_NoType(const EffectFrame& overlayFrame, const EffectFrame& background,
                                            const EffectFrame& mask, EffectFrame& out) {
    constexpr const char* kTag = "orvex:Blend_Mask_NoType";
    if (!out.texture) {
        if (const ResultCode r = HostBGRAFrames(kTag, "input format is not rgba!!", {&overlayFrame, &background, &mask, &out}); r != Ok) return r;
        BlendMaskNoTypeCpu(overlayFrame, background, mask, out);
        return Ok;
    }
    TextureInfo to, t1, t2, t3;
    if (const ResultCode r = GpuOutput(kTag, out, &to); r != Ok) return r;
    if (!BGRATexture(overlayFrame, &t1) || !BGRATexture(background, &t2) || !BGRATexture(mask, &t3)) {
        ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
        return InvalidArgument;
    }
    KernelArgs args;
    const std::vector<zrp::TexturePtr> inputs = {overlayFrame.texture, background.texture, mask.texture};
    if (OnOpenCL(out)) return RunVisualKernel(kTag, "blend_mask_notype_cl", args, to, inputs, {out.texture});
    args.Int("eff0_tex", 0).Int("eff1_tex", 1).Int("eff2_tex", 2);
    SetResolution(args, "eff3_iResolution_dst", to);
    return RunOpenGL(kTag, "Blend_Mask_NoType", args, inputs, out.texture);
}

ResultCode VisualProcess::Do_Gradient(EffectFrame& out, int32_t type, const GradientData& gradient) {
    constexpr const char* kTag = "orvex:Do_Gradient";
    // The kernel's record: colours as four floats, lowest byte first, over 255.
    struct {
        float colors[10][4];
        int32_t count;
        float precent[10];
        float posX[2], posY[2];
        float angle;
    } g{};
    for (int i = 0; i < 10; ++i)
        for (int c = 0; c < 4; ++c) g.colors[i][c] = ((gradient.colors[i] >> (8 * c)) & 0xFF) / 255.0f;
    g.count = std::min(std::max(gradient.count, 0), 10);
    for (int i = 0; i < 10; ++i) g.precent[i] = gradient.precent[i];
    g.posX[0] = gradient.posX[0], g.posX[1] = gradient.posX[1];
    g.posY[0] = gradient.posY[0], g.posY[1] = gradient.posY[1];
    g.angle = gradient.angle;
    if (!out.texture) {
        if (const ResultCode r = HostBGRAFrames(kTag, "input format is not rgba!!", {&out}); r != Ok) return r;
        GradientStops stops{};
        std::memcpy(stops.colors, g.colors, sizeof stops.colors);
        std::memcpy(stops.precent, g.precent, sizeof stops.precent);
        stops.count = g.count;
        stops.posX = g.posX[0];
        stops.posY = g.posY[0];
        GradientCpu(stops, type, out);
        return Ok;
    }
    TextureInfo to;
    if (const ResultCode r = GpuOutput(kTag, out, &to); r != Ok) return r;
    KernelArgs args;
    if (OnOpenCL(out)) {
        args.Int("type", type).Block("gradient", &g, sizeof g);
        return RunVisualKernel(kTag, "do_gradient_cl", args, to, {}, {out.texture});
    }
    for (int i = 0; i < 3; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "color%d", i);
        if (args.get()) args.get()->SetParamValue(name, zrp::kParamBlock, g.colors[i], sizeof g.colors[i]);
        std::snprintf(name, sizeof name, "precent%d", i);
        args.Float(name, g.precent[i]);
    }
    args.Int("colors_count", g.count).Float("centerx", g.posX[0]).Float("centery", g.posY[0]).Int("type", type);
    SetResolution(args, "iResolution", to);
    return RunOpenGL(kTag, "Do_Gradient", args, {}, out.texture);
}

ResultCode VisualProcess::Motion_Animation(const EffectFrame& in, EffectFrame& out, const MotionAnimationParam& param) {
    constexpr const char* kTag = "orvex:Motion_Animation";
    // Finite as well: an infinite ideal size would turn every position into a NaN.
    const bool idealOk = param.idealwidth > 0 && param.idealheight > 0 && std::isfinite(param.idealwidth) &&
                         std::isfinite(param.idealheight);
    if (!out.texture) {
        if (const ResultCode r = HostBGRAFrames(kTag, "input format is not rgba!!", {&in, &out}); r != Ok) return r;
        if (!idealOk) {
            ORVEX_LOG(6, kTag, "ideal size is empty!!");
            return InvalidArgument;
        }
        if (!FootprintFits(param, static_cast<int>(in.width[0]), static_cast<int>(in.height[0]))) {
            ORVEX_LOG(6, kTag, "ideal size is too small for the input!!");
            return InvalidArgument;
        }
        MotionAnimationCpu(in, param, out);
        return Ok;
    }
    TextureInfo to, ti;
    if (const ResultCode r = GpuOutput(kTag, out, &to); r != Ok) return r;
    if (!BGRATexture(in, &ti)) {
        ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
        return InvalidArgument;
    }
    if (!idealOk) {
        ORVEX_LOG(6, kTag, "ideal size is empty!!");
        return InvalidArgument;
    }
    if (!FootprintFits(param, ti.width, ti.height)) {
        ORVEX_LOG(6, kTag, "ideal size is too small for the input!!");
        return InvalidArgument;
    }
    KernelArgs args;
    if (OnOpenCL(out)) {
        args.Block("motion_param", &param, sizeof param);
        return RunVisualKernel(kTag, "motion_animation_cl", args, to, {in.texture}, {out.texture});
    }
    auto pair = [&](const char* name, float a, float b) {
        const float v[2] = {a, b};
        if (args.get()) args.get()->SetParamValue(name, zrp::kParamFloat2, v, sizeof v);
    };
    pair("iResolutionOrig", static_cast<float>(ti.width), static_cast<float>(ti.height));
    pair("iResolution", static_cast<float>(to.width), static_cast<float>(to.height));
    pair("background_center", param.background_center[0], param.background_center[1]);
    pair("anchor_center", param.anchor_center[0], param.anchor_center[1]);
    args.Float("theta", param.Rotation).Float("scale_x", param.scale_x).Float("scale_y", param.scale_y);
    args.Float("idealheight", param.idealheight).Float("idealwidth", param.idealwidth);
    args.Float("skewx", param.skew_x).Float("skewy", param.skew_y).Int("texture1", 0);
    return RunOpenGL(kTag, "Motion_Animation", args, {in.texture}, out.texture);
}

}  // namespace orvex
