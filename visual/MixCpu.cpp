// The CPU twins of the masked-mix, gradient and motion-animation kernels, transcribed from their
// .cl files in the same order of operations and in single precision where the kernels mix colours.
#include "visual/MixCpu.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "corelog.h"
#include "visual/FramePlanes.h"
#include "visual/PixelMap.h"
#include "visual/Sampling.h"

namespace orvex {
namespace {

// The GPU's linear sampler with clamp to edge at output pixel (x, y): R, G, B, A in 0..1.
void Bilinear(const BGRAPlane& p, const BilinearAxis& ax, const BilinearAxis& ay, int x, int y, double out[4]) {
    double a[4], b[4], c[4], d[4];
    p.Read(ax.i0[x], ay.i0[y], a);
    p.Read(ax.i1[x], ay.i0[y], b);
    p.Read(ax.i0[x], ay.i1[y], c);
    p.Read(ax.i1[x], ay.i1[y], d);
    const double fx = ax.f[x], fy = ay.f[y];
    for (int k = 0; k < 4; ++k) {
        const double top = a[k] + (b[k] - a[k]) * fx, bottom = c[k] + (d[k] - c[k]) * fx;
        out[k] = top + (bottom - top) * fy;
    }
}

// The linear sampler at a normalised position (clamp to edge).
void BilinearAt(const BGRAPlane& p, float u, float v, double out[4]) {
    const float sx = u * p.width - 0.5f, sy = v * p.height - 0.5f;
    const float fx0 = std::floor(sx), fy0 = std::floor(sy);
    const int i = static_cast<int>(fx0), j = static_cast<int>(fy0);
    const int i0 = std::clamp(i, 0, p.width - 1), i1 = std::clamp(i + 1, 0, p.width - 1);
    const int j0 = std::clamp(j, 0, p.height - 1), j1 = std::clamp(j + 1, 0, p.height - 1);
    const double fx = sx - fx0, fy = sy - fy0;
    double a[4], b[4], c[4], d[4];
    p.Read(i0, j0, a);
    p.Read(i1, j0, b);
    p.Read(i0, j1, c);
    p.Read(i1, j1, d);
    for (int k = 0; k < 4; ++k) {
        const double top = a[k] + (b[k] - a[k]) * fx, bottom = c[k] + (d[k] - c[k]) * fx;
        out[k] = top + (bottom - top) * fy;
    }
}

}  // namespace

ResultCode HostBGRAFrames(const char* tag, const char* formatMessage, std::initializer_list<const EffectFrame*> frames) {
    for (const EffectFrame* f : frames)
        if (!IsBGRALike(f->pixel_fmt)) {
            ORVEX_LOG(6, tag, "%s", formatMessage);
            return WrongFormat;
        }
    for (const EffectFrame* f : frames) {
        FrameLayout l;
        if (!LayoutOf(*f, &l) || !HostPlanesOk(*f, l)) {
            ORVEX_LOG(6, tag, "input or output is nullptr!!");
            return InvalidArgument;
        }
    }
    return Ok;
}

void BlendMask2Cpu(const EffectFrame& first, const EffectFrame& second, const EffectFrame& alphaFrame,
                   int alphaChannel, float constAlpha, EffectFrame& out) {
    const BGRAPlane f = BGRAPlane::Of(first), s = BGRAPlane::Of(second), m = BGRAPlane::Of(alphaFrame),
                    d = BGRAPlane::Of(out);
    const int channel = alphaChannel >= 0 && alphaChannel <= 3 ? alphaChannel : 0;
    ForEachPixel(d.width, d.height, [&](int x, int y) {
        double a[4], b[4], k[4], o[4];
        m.Read(x, y, k);
        f.Read(x, y, a);
        s.Read(x, y, b);
        const float alpha = static_cast<float>(k[channel]) * constAlpha;
        for (int c = 0; c < 4; ++c) o[c] = a[c] * alpha + (1.0f - alpha) * b[c];
        d.Write(x, y, o);
    });
}

void BlendMaskNoTypeCpu(const EffectFrame& overlay, const EffectFrame& background, const EffectFrame& mask,
                        EffectFrame& out) {
    const BGRAPlane o = BGRAPlane::Of(overlay), b = BGRAPlane::Of(background), m = BGRAPlane::Of(mask),
                    d = BGRAPlane::Of(out);
    const BilinearAxis ox(o.width, d.width), oy(o.height, d.height), bx(b.width, d.width), by(b.height, d.height),
        mx(m.width, d.width), my(m.height, d.height);
    ForEachPixel(d.width, d.height, [&](int x, int y) {
        double po[4], pb[4], pm[4], r[4];
        Bilinear(o, ox, oy, x, y, po);
        Bilinear(b, bx, by, x, y, pb);
        Bilinear(m, mx, my, x, y, pm);
        for (int c = 0; c < 4; ++c) r[c] = po[c] + (pb[c] - po[c]) * pm[3];
        d.Write(x, y, r);
    });
}

void PremultiplyCpu(const EffectFrame& in, int alphaType, EffectFrame& out) {
    const BGRAPlane s = BGRAPlane::Of(in), d = BGRAPlane::Of(out);
    ForEachPixel(d.width, d.height, [&](int x, int y) {
        double c[4];
        s.Read(x, y, c);
        if (alphaType == 1) for (int k = 0; k < 3; ++k) c[k] *= c[3];
        else c[3] = 1.0;
        d.Write(x, y, c);
    });
}

void ChannelControlCpu(const EffectFrame& background, const EffectFrame& overlay, int channel, EffectFrame& out) {
    const BGRAPlane b = BGRAPlane::Of(background), o = BGRAPlane::Of(overlay), d = BGRAPlane::Of(out);
    const BilinearAxis ax(b.width, d.width), ay(b.height, d.height);
    const bool mapped = channel >= 0 && channel <= 3;
    ForEachPixel(d.width, d.height, [&](int x, int y) {
        double c[4];
        o.Read(x, y, c);
        if (mapped) {
            double k[4];
            Bilinear(b, ax, ay, x, y, k);
            c[3] *= k[channel];
        }
        d.Write(x, y, c);
    });
}

namespace {

float GradientPosition(int type, float tcx, float tcy, int w, int h, const GradientStops& g) {
    switch (type) {
    case 0: return tcx;
    case 1: return 1.0f - tcx;
    case 2: return tcy;
    case 3: return 1.0f - tcy;
    case 4: {
        const float aspect = static_cast<float>(w) / h;
        const float dx = (tcx - g.posX) * aspect, dy = tcy - g.posY;
        return std::sqrt(dx * dx + dy * dy);
    }
    default: {
        // Portrait outputs swap the axes so the ellipse's long axis follows the long side.
        const float W = static_cast<float>(std::max(w, h)), H = static_cast<float>(std::min(w, h));
        const float a = (H / 2 + std::sqrt((H / 2) * (H / 2) + W * W)) / 2;
        const float b = std::sqrt(a * a - (W / 2) * (W / 2));
        float dx = (tcx - g.posX) * w, dy = (tcy - g.posY) * h;
        if (w < h) std::swap(dx, dy);
        return std::sqrt(dx * dx / (a * a) + dy * dy / (b * b)) * W / std::max(W, H);
    }
    }
}

}  // namespace

void GradientCpu(const GradientStops& g, int type, EffectFrame& out) {
    const BGRAPlane d = BGRAPlane::Of(out);
    const int w = d.width, h = d.height;
    ForEachPixel(w, h, [&](int x, int y) {
        if (type < 0 || type > 5) {
            const double red[4] = {1.0, 0.0, 0.0, 1.0};
            d.Write(x, y, red);
            return;
        }
        const float tcx = (x + 0.5f) / w, tcy = (y + 0.5f) / h;
        const float t = GradientPosition(type, tcx, tcy, w, h, g);
        const int n = std::clamp(g.count, 1, 10);
        int i = 0;
        for (int k = 0; k + 1 < n; ++k)
            if (g.precent[k] <= t && t <= g.precent[k + 1]) {
                i = k;
                break;
            }
        const int j = std::min(i + 1, n - 1);
        const float span = g.precent[j] - g.precent[i];
        const float f = span > 0.0f ? std::clamp((t - g.precent[i]) / span, 0.0f, 1.0f) : 0.0f;
        float c[4];
        for (int k = 0; k < 4; ++k) c[k] = g.colors[i][k] + (g.colors[j][k] - g.colors[i][k]) * f;
        // Colours hold their packed bytes lowest first: B, G, R, A.
        const double rgba[4] = {c[2], c[1], c[0], c[3]};
        d.Write(x, y, rgba);
    });
}

namespace {

// Coverage of texel k by [a, b).
float Coverage(int k, float a, float b) { return std::max(0.0f, std::min(b, k + 1.0f) - std::max(a, static_cast<float>(k))); }

}  // namespace

void MotionAnimationCpu(const EffectFrame& in, const MotionAnimationParam& p, EffectFrame& out) {
    const BGRAPlane s = BGRAPlane::Of(in), d = BGRAPlane::Of(out);
    const int W = d.width, H = d.height, iw = s.width, ih = s.height;
    const double clear[4] = {0, 0, 0, 0};
    if (std::abs(p.scale_x * p.scale_y) < 1e-9f) {
        ForEachPixel(W, H, [&](int x, int y) { d.Write(x, y, clear); });
        return;
    }
    constexpr float kPi = 3.14159265358979323846f;
    const float aspect = p.idealwidth / p.idealheight;
    const float ax = p.anchor_center[0] * aspect, ay = p.anchor_center[1];
    const float offX = (p.anchor_center[0] - p.background_center[0]) * aspect;
    const float offY = p.anchor_center[1] - p.background_center[1];
    const float r = -p.Rotation * kPi / 180.0f, cr = std::cos(r), sr = std::sin(r);
    const float scaleX = p.scale_x * (iw / p.idealwidth), scaleY = p.scale_y * (ih / p.idealheight);
    const bool enlarge = std::abs(p.scale_x) >= 1.0f && std::abs(p.scale_y) >= 1.0f;
    // Footprint in input texels: how many an output pixel covers, at most three per axis.
    const float fw = std::max(1.0f, (iw / p.idealwidth) / std::max(1.0f / 3.0f, std::abs(p.scale_x)));
    const float fh = std::max(1.0f, (ih / p.idealheight) / std::max(1.0f / 3.0f, std::abs(p.scale_y)));
    ForEachPixel(W, H, [&](int x, int y) {
        float tcx = ((x + 0.5f) / W - 0.5f) * (W / p.idealwidth) + 0.5f;
        float tcy = ((y + 0.5f) / H - 0.5f) * (H / p.idealheight) + 0.5f;
        float dx = tcx * aspect + offX - ax, dy = tcy + offY - ay;
        const float rx = dx * cr - dy * sr, ry = dx * sr + dy * cr;
        dx = rx - p.skew_x * ry;
        dy = ry - p.skew_y * rx;
        dx /= scaleX;
        dy /= scaleY;
        tcx = (ax + dx) / aspect;
        tcy = ay + dy;
        if (!std::isfinite(tcx) || !std::isfinite(tcy) || tcx < -1.0f / iw || tcx > 1.0f + 1.0f / iw || tcy < -1.0f / ih || tcy > 1.0f + 1.0f / ih) {
            d.Write(x, y, clear);
            return;
        }
        double px[4];
        if (enlarge) {
            BilinearAt(s, tcx, tcy, px);
            d.Write(x, y, px);
            return;
        }
        const float cx = tcx * iw, cy = tcy * ih;
        const float x0 = cx - fw * 0.5f, x1 = cx + fw * 0.5f, y0 = cy - fh * 0.5f, y1 = cy + fh * 0.5f;
        double sum[4] = {0, 0, 0, 0};
        float weight = 0.0f;
        for (int ty = static_cast<int>(std::floor(y0)); ty < static_cast<int>(std::ceil(y1)); ++ty)
            for (int tx = static_cast<int>(std::floor(x0)); tx < static_cast<int>(std::ceil(x1)); ++tx) {
                const float w = Coverage(tx, x0, x1) * Coverage(ty, y0, y1);
                double t[4];
                s.Read(std::clamp(tx, 0, iw - 1), std::clamp(ty, 0, ih - 1), t);
                for (int c = 0; c < 4; ++c) sum[c] += w * t[c];
                weight += w;
            }
        for (double& v : sum) v = weight > 0.0f ? v / weight : 0.0;
        d.Write(x, y, sum);
    });
}

}  // namespace orvex
