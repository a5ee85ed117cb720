// The BlendAndTransform kernel on 16-bit host frames. Names and order of operations follow
// blend_transform.cl and the transform form of blending.cl, so the two read side by side.
#include "visual/TransformBlend16.h"

#include <algorithm>
#include <cmath>

#include "visual/BlendFormula.h"
#include "visual/PixelMap.h"

namespace orvex {
namespace {

struct F4 {
    float v[4];  // R, G, B, A
};

float Step(float edge, float x) { return x < edge ? 0.0f : 1.0f; }
float Smoothstep(float e0, float e1, float x) {
    const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

F4 Read(const BGRAPlane& p, int i, int j) {
    double d[4];
    p.Read(std::clamp(i, 0, p.width - 1), std::clamp(j, 0, p.height - 1), d);
    return {{static_cast<float>(d[0]), static_cast<float>(d[1]), static_cast<float>(d[2]), static_cast<float>(d[3])}};
}

// The four pixels around pixel-centre position (sx, sy), edge clamped, mixed bilinearly.
F4 SampleBilinear(const BGRAPlane& p, float sx, float sy) {
    const float fx0 = std::floor(sx), fy0 = std::floor(sy);
    const float fx = sx - fx0, fy = sy - fy0;
    // Far outside, all four neighbours are the same edge pixel: the index is held near the picture
    // before it becomes an integer.
    const int i = static_cast<int>(std::clamp(fx0, -2.0f, static_cast<float>(p.width)));
    const int j = static_cast<int>(std::clamp(fy0, -2.0f, static_cast<float>(p.height)));
    const F4 a = Read(p, i, j), b = Read(p, i + 1, j), c = Read(p, i, j + 1), d = Read(p, i + 1, j + 1);
    F4 r;
    for (int k = 0; k < 4; ++k) {
        const float top = a.v[k] + (b.v[k] - a.v[k]) * fx, bottom = c.v[k] + (d.v[k] - c.v[k]) * fx;
        r.v[k] = top + (bottom - top) * fy;
    }
    return r;
}

F4 Clamp01(F4 a) {
    for (float& x : a.v) x = std::clamp(x, 0.0f, 1.0f);
    return a;
}

F4 BlendingTransform(F4 bg, const F4& ovl, float matt, float tempMatt, float exeMatt, int mode, float opacity,
                     int pre) {
    F4 o, out;
    // Modes without a rule of their own (18, 24 and up, negative) are normal, as in the kernels.
    if (mode == 18 || mode < 0 || mode > 23) mode = 0;
    for (int k = 0; k < 4; ++k) o.v[k] = ovl.v[k] * tempMatt;
    const float t = opacity * matt * exeMatt, it = 1.0f - t;
    if (mode == 0) {
        if (pre == 0) {
            out.v[3] = t + it * bg.v[3];
            for (int k = 0; k < 3; ++k) out.v[k] = o.v[k] * t + it * bg.v[k];
            return out;
        }
        if (std::abs(matt) < 1e-9f) return bg;
        out.v[3] = t + it * bg.v[3];
        for (int k = 0; k < 3; ++k) out.v[k] = o.v[k] * (opacity * tempMatt) + it * bg.v[k];
        return out;
    }
    if ((mode >= 1 && mode <= 17) || mode == 23) {
        for (int k = 0; k < 3; ++k) out.v[k] = std::clamp(BlendModeFormula(mode, bg.v[k], o.v[k]), 0.0f, 1.0f);
        out.v[3] = t + it * bg.v[3];
        for (int k = 0; k < 3; ++k) out.v[k] = std::clamp(out.v[k] * t + it * bg.v[k], 0.0f, 1.0f);
        return out;
    }
    if (mode == 19) {
        for (int k = 0; k < 4; ++k) out.v[k] = bg.v[k] * o.v[3];
        return Clamp01(out);
    }
    if (mode == 20) {
        if (bg.v[3] < 0.000001f) return o;
        for (int k = 0; k < 4; ++k) out.v[k] = bg.v[k] * (1.0f - o.v[3]);
        return Clamp01(out);
    }
    if (mode == 21) {
        for (int k = 0; k < 4; ++k) out.v[k] = o.v[k] * bg.v[3];
        return Clamp01(out);
    }
    return tempMatt * exeMatt > 0.0001f ? o : bg;  // 22, replace
}

}  // namespace

void TransformBlend16(const EffectFrame& overlay, const EffectFrame* background, EffectFrame& out,
                      const TransformBlendArgs& a) {
    const BGRAPlane ovl = BGRAPlane::Of(overlay), dst = BGRAPlane::Of(out);
    const BGRAPlane bgp = background ? BGRAPlane::Of(*background) : BGRAPlane{};
    constexpr float kPi = 3.14159265358979323846f;
    const float W = static_cast<float>(dst.width), H = static_cast<float>(dst.height);
    const float Wo = static_cast<float>(ovl.width), Ho = static_cast<float>(ovl.height);
    const float ax = static_cast<float>(a.anchorX), ay = static_cast<float>(a.anchorY);
    const float bx = static_cast<float>(a.centerX), by = static_cast<float>(a.centerY);
    const float theta = static_cast<float>(a.theta), sx = static_cast<float>(a.scaleX),
                sy = static_cast<float>(a.scaleY), kx = static_cast<float>(a.skewX), ky = static_cast<float>(a.skewY);
    const float rad = theta * kPi / 180.0f, s = std::sin(rad), c = std::cos(rad);
    const float opacity = static_cast<float>(a.opacity);
    const bool feather = std::abs(theta) > 1e-5f;
    ForEachPixel(dst.width, dst.height, [&](int x, int y) {
        // transformUV: rotation and shear about the anchor in output pixels, then the scale.
        const float tcx = (x + 0.5f) / W, tcy = (y + 0.5f) / H;
        const float Ax = ax * W, Ay = ay * H;
        float dx = (tcx + (ax - bx)) * W - Ax, dy = (tcy + (ay - by)) * H - Ay;
        float px = Ax + (c * dx - s * dy), py = Ay + (s * dx + c * dy);
        dx = px - Ax, dy = py - Ay;
        px = Ax + (dx + -kx * dy);
        py = Ay + (-ky * dx + dy);
        const float u = (px / W - ax) / sx * (W / Wo) + ax, v = (py / H - ay) / sy * (H / Ho) + ay;
        const float grid = Step(0.0f, u) * Step(u, 1.0f) * Step(0.0f, v) * Step(v, 1.0f);
        F4 o = a.sampler ? SampleBilinear(ovl, u * Wo - 0.5f, v * Ho - 0.5f)
                         : Read(ovl, static_cast<int>(std::clamp(std::floor(u * Wo), -1.0f, Wo)),
                                static_cast<int>(std::clamp(std::floor(v * Ho), -1.0f, Ho)));
        // A mix whose alpha rounds to no byte carries no colour, as in the kernel.
        if (o.v[3] < 0.5f / 255.0f) o = F4{{0, 0, 0, 0}};
        if (feather) {
            const float ex = 1.0f / Wo, ey = 1.0f / Ho;
            const float f = Smoothstep(0.0f, ex, u) * (1.0f - Smoothstep(1.0f - ex, 1.0f, u)) * Smoothstep(0.0f, ey, v) *
                            (1.0f - Smoothstep(1.0f - ey, 1.0f, v));
            for (float& k : o.v) k *= f;
        }
        const F4 b = background ? Read(bgp, x, y) : F4{{0, 0, 0, 0}};
        const F4 r = BlendingTransform(b, o, grid * o.v[3], grid, 1.0f, a.mode, opacity, a.premultiplied);
        const double w[4] = {r.v[0], r.v[1], r.v[2], r.v[3]};
        dst.Write(x, y, w);
    });
}

}  // namespace orvex
