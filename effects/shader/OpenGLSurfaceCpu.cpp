// The CPU bodies of shader chains: each transcribes its effect's .frag passes and blend from
// resources/video/effect/<name>/ in the shaders' order of operations, at the same working size,
// through the same 8-bit working picture and the same bilinear upscale, so that a host without
// OpenGL gets the picture the shaders draw.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "effects/shader/OpenGLSurface.h"

namespace orvex {
namespace {

// A pending uniform as the shaders receive it (float uniforms of any parameter type); 0 when the
// host never set it, as an unset uniform reads.
float UniformValue(GLProgramEntry& entry, const char* name) {
    std::lock_guard<std::mutex> lock(entry.lock);
    const auto it = entry.pending.find(name);
    if (it == entry.pending.end()) return 0.0f;
    const EffectParamValue& v = it->second.second;
    switch (static_cast<int>(it->second.first)) {
    case 1: return v.AsBool() ? 1.0f : 0.0f;
    case 2: { int64_t i; std::memcpy(&i, v.storage, 8); return static_cast<float>(i); }
    case 3: { float f; std::memcpy(&f, v.storage, 4); return f; }
    case 4: case 5: { int32_t i; std::memcpy(&i, v.storage, 4); return static_cast<float>(i); }
    default: return 0.0f;
    }
}

float Smoothstep(float e0, float e1, float x) {
    const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

// The GL conversion of a colour written to an 8-bit target: clamped, nearest.
uint8_t Unorm8(float v) { return static_cast<uint8_t>(std::lrint(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

// light_leak.frag at uv: RGB the light to add, A the darkening factor (R, G, B, A order).
void LightLeakPass(float u, float v, const float lo[2], const float hi[2], float time, float vignette, float leak,
                   float out[4]) {
    const float px = (u - lo[0]) / std::max(hi[0] - lo[0], 1e-5f), py = (v - lo[1]) / std::max(hi[1] - lo[1], 1e-5f);
    if (px < 0.0f || py < 0.0f || px > 1.0f || py > 1.0f) {
        out[0] = out[1] = out[2] = 0.0f;
        out[3] = 1.0f;
        return;
    }
    const float strength = vignette > 0.0f ? std::min(vignette, 1.0f) : 0.6f;
    const float ex = px - 0.5f, ey = (py - 0.5f) * 0.85f;
    const float edge = std::sqrt(ex * ex + ey * ey) * 1.41421f;
    const float darken = 1.0f - strength * Smoothstep(0.3f, 1.0f, edge);
    const float sx = 0.1f + 0.08f * std::sin(time * 0.7f), sy = -0.05f;
    const float reach = std::exp(-3.5f * std::sqrt((px - sx) * (px - sx) + (py - sy) * (py - sy)));
    const float amount = (leak > 0.0f ? leak : 0.8f) * reach;
    out[0] = 1.0f * amount;
    out[1] = 0.55f * amount;
    out[2] = 0.18f * amount;
    out[3] = darken;
}

}  // namespace

ResultCode VideoEffectOpenGLSurface::ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) {
    EffectDescription& d = const_cast<EffectDescription&>(Description());
    if (d.GetDisplayName() == "light_leak" && passes_.size() == 1) return LightLeakCPU(position, input, output);
    return EffectSurface::ProcessCPU(position, input, output);
}

ResultCode VideoEffectOpenGLSurface::LightLeakCPU(int64_t position, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    const cv::Mat in = ReadableInput(WrapBGRA(*input), WrapBGRA(*output));
    cv::Mat out = WrapBGRA(*output);
    // The input is its own mask: without visible pixels the chain has no mask input and fails,
    // as the OpenGL path's input count check does.
    if (!FindMaskBox(in)) return Failed;
    EffectDescription& d = const_cast<EffectDescription&>(Description());
    const int W = out.cols, H = out.rows;
    int32_t w = W, h = H;
    if (!d.IsOriginal()) WorkingSize(W, H, &w, &h);
    if (w < 1 || h < 1) return Failed;
    GLProgramEntry& pass = *passes_[0];
    const float time = TimeSecond(position), vignette = UniformValue(pass, "vignette"),
                leak = UniformValue(pass, "leak_intensity");
    const float lo[2] = {maskLeftRight_[0], maskBottomTop_[0]}, hi[2] = {maskLeftRight_[1], maskBottomTop_[1]};

    // The pass into the 8-bit working picture (R, G, B, A), texel centres at (i + 0.5) / size.
    cpuWorking_.create(h, w, CV_8UC4);
    ForRowBands(w, h, [&](int j0, int j1) {
        for (int j = j0; j < j1; ++j) {
            uint8_t* t = cpuWorking_.ptr<uint8_t>(j);
            for (int i = 0; i < w; ++i, t += 4) {
                float e[4];
                LightLeakPass((i + 0.5f) / w, (j + 0.5f) / h, lo, hi, time, vignette, leak, e);
                for (int c = 0; c < 4; ++c) t[c] = Unorm8(e[c]);
            }
        }
    });
    const bool blend = d.NeedsBlend() && !d.IsOriginal();
    // The blend: the working picture sampled bilinearly (clamped at its edges) at each output
    // centre; picture * darkening + light * picture alpha, the picture's alpha kept.
    ForRowBands(W, H, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            const float sy = (y + 0.5f) / H * h - 0.5f;
            const float fy0 = std::floor(sy), fy = sy - fy0;
            const uint8_t* r0 = cpuWorking_.ptr<uint8_t>(std::clamp(static_cast<int>(fy0), 0, h - 1));
            const uint8_t* r1 = cpuWorking_.ptr<uint8_t>(std::clamp(static_cast<int>(fy0) + 1, 0, h - 1));
            const uint8_t* b = in.ptr<uint8_t>(y);
            uint8_t* o = out.ptr<uint8_t>(y);
            for (int x = 0; x < W; ++x, b += 4, o += 4) {
                const float sx = (x + 0.5f) / W * w - 0.5f;
                const float fx0 = std::floor(sx), fx = sx - fx0;
                const int i0 = std::clamp(static_cast<int>(fx0), 0, w - 1) * 4;
                const int i1 = std::clamp(static_cast<int>(fx0) + 1, 0, w - 1) * 4;
                float e[4];
                for (int c = 0; c < 4; ++c) {
                    const float top = r0[i0 + c] + (r0[i1 + c] - r0[i0 + c]) * fx;
                    const float bottom = r1[i0 + c] + (r1[i1 + c] - r1[i0 + c]) * fx;
                    e[c] = (top + (bottom - top) * fy) / 255.0f;
                }
                // Frame bytes are B, G, R, A; e holds R, G, B, A.
                const float a = b[3] / 255.0f;
                if (!blend) {
                    o[0] = Unorm8(e[2]), o[1] = Unorm8(e[1]), o[2] = Unorm8(e[0]), o[3] = Unorm8(e[3]);
                    continue;
                }
                o[0] = Unorm8(b[0] / 255.0f * e[3] + e[2] * a);
                o[1] = Unorm8(b[1] / 255.0f * e[3] + e[1] * a);
                o[2] = Unorm8(b[2] / 255.0f * e[3] + e[0] * a);
                o[3] = b[3];
            }
        }
    });
    return Ok;
}

}  // namespace orvex
