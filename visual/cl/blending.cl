// Shared text of the blend and transform programs, put in front of each program's own text when
// the program table is built: the samplers, the region record, the transform geometry and the
// three forms of the blend-mode function.
//
// blending (standard form, MAIN1 and solidColorBlend), blendingTransform (BlendAndTransform and
// CenterAlignBlend) and blendingFourChannel (overlay) take
//   bg        background sample, straight alpha
//   ovl       overlay sample as read (straight, or premultiplied when ovlAlphaPreMul != 0)
//   matt      tempMatt * overlay alpha
//   tempMatt  1 where the output pixel lies inside the placed overlay, else 0
//   exeMatt   an extra mask (1 in every kernel)
// and share o = ovl * tempMatt (* exeMatt), t = opacity * matt * exeMatt, it = 1 - t.

typedef struct _fxRectf {
    float x, y, width, height;
} fxRectf;

#define EQN_EPS 1e-9f
#define QZ_PI 3.14159265358979323846f

int isZero(float v) { return fabs(v) < EQN_EPS; }

__constant sampler_t samplerBG = CLK_NORMALIZED_COORDS_TRUE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;
__constant sampler_t samplerOVLN = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;
// Border colour (0, 0, 0, 0) outside the image.
__constant sampler_t samplerOVLZ = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP | CLK_FILTER_NEAREST;

float lerp1(float a, float b, float f) { return a + (b - a) * f; }

// The four pixels around pixel-centre position s (s = position - 0.5), mixed bilinearly with the
// given sampler's addressing. Written out rather than left to a linear sampler so that every
// device and the CPU paths mix alike.
float4 SampleBilinearWith(__read_only image2d_t src, sampler_t smp, float2 s) {
    const float2 f0 = floor(s);
    const float2 f = s - f0;
    const int2 i = convert_int2(f0);
    const float4 a = read_imagef(src, smp, i);
    const float4 b = read_imagef(src, smp, i + (int2)(1, 0));
    const float4 c = read_imagef(src, smp, i + (int2)(0, 1));
    const float4 d = read_imagef(src, smp, i + (int2)(1, 1));
    const float4 top = a + (b - a) * f.x, bottom = c + (d - c) * f.x;
    return top + (bottom - top) * f.y;
}

float4 SampleBilinear(__read_only image2d_t src, float2 s) { return SampleBilinearWith(src, samplerOVLN, s); }

// uv rotated about center by the angle of sine sc.x and cosine sc.y: (c du - s dv, s du + c dv),
// y growing downwards.
float2 rotateBy(float2 uv, float2 center, float2 sc) {
    const float s = sc.x, c = sc.y;
    const float2 d = uv - center;
    return center + (float2)(c * d.x - s * d.y, s * d.x + c * d.y);
}

// The same by theta radians.
float2 rotateFunc(float2 uv, float2 center, float theta) {
    return rotateBy(uv, center, (float2)(sin(theta), cos(theta)));
}

// uv sheared about center: (du + skew_x dv, skew_y du + dv).
float2 skewFunc(float2 uv, float2 center, float skew_x, float skew_y) {
    const float2 d = uv - center;
    return center + (float2)(d.x + skew_x * d.y, skew_y * d.x + d.y);
}

// The normalised overlay position that output pixel (x, y) shows: the output point relative to
// the background centre, turned back by theta (its sine and cosine in `rotation`, from the host once
// a frame rather than per pixel), sheared back and scaled back about the anchor. Rotation and shear
// work in output pixels so that a non-square output does not distort them.
float2 transformUV(int x, int y, float2 outSize, float2 ovlSize, float2 anchor, float2 bgCenter, float2 rotation,
                   float scale_x, float scale_y, float skew_x, float skew_y) {
    const float2 tc = ((float2)(x, y) + 0.5f) / outSize;
    const float2 uv = tc + (anchor - bgCenter);
    const float2 A = anchor * outSize;
    float2 p = rotateBy(uv * outSize, A, rotation);
    p = skewFunc(p, A, -skew_x, -skew_y);
    const float2 n = p / outSize;
    return (float2)((n.x - anchor.x) / scale_x * (outSize.x / ovlSize.x) + anchor.x,
                    (n.y - anchor.y) / scale_y * (outSize.y / ovlSize.y) + anchor.y);
}

// 1 inside the overlay (0 <= u, v <= 1), else 0.
float gridMask(float2 uv) { return step(0.0f, uv.x) * step(uv.x, 1.0f) * step(0.0f, uv.y) * step(uv.y, 1.0f); }

// One-pixel smoothstep fade at the overlay's borders, for rotated overlays.
float edgeFeather(float2 uv, float2 ovlSize) {
    const float2 e = 1.0f / ovlSize;
    return smoothstep(0.0f, e.x, uv.x) * (1.0f - smoothstep(1.0f - e.x, 1.0f, uv.x)) * smoothstep(0.0f, e.y, uv.y) *
           (1.0f - smoothstep(1.0f - e.y, 1.0f, uv.y));
}

// --- per-mode helpers ------------------------------------------------------------------------------

// An overlay channel that is the byte 255 (or 0): tested halfway to the next byte, so that a
// sample of 255 a float step short of 1 (or past 0) counts as the byte it is.
int byteIsWhite(float o) { return o > 254.5f / 255.0f; }
int byteIsBlack(float o) { return o < 0.5f / 255.0f; }

// Vivid light as the 8-bit table scales it: the dodge by 2 o - 1 taken as (2 y - 255) / 256 of the
// overlay byte y, the burn by 2 y / 256, white and black overlays giving white and black.
float vividLight(float bg, float o) {
    if (o > 0.5f) return byteIsWhite(o) ? 1.0f : 256.0f * bg / (511.0f - 510.0f * o);
    return byteIsBlack(o) ? 0.0f : 1.0f - 256.0f * (1.0f - bg) / (510.0f * o);
}

// The per-channel formula of modes 1..17 and 23 (add), one rule per mode in every form and on the
// CPU's 8-bit tables: a white dodge overlay gives white and a black burn overlay black whatever
// the background, and hard mix is 1 where the channels sum to 254/255 or more (0.996 lies between
// 253/255 and 254/255, so float samples of bytes fall as the bytes do).
float modeFormula(int mode, float bg, float o) {
    switch (mode) {
    case 1: return min(o, bg);
    case 2: return bg * o;
    case 3: return byteIsBlack(o) ? 0.0f : 1.0f - (1.0f - bg) / o;
    case 4: return o + bg - 1.0f;
    case 5: return 1.0f - (1.0f - bg) * (1.0f - o);
    case 6: return byteIsWhite(o) ? 1.0f : bg / (1.0f - o);
    case 7: return o + bg;
    case 8: return bg > 0.5f ? 1.0f - (1.0f - 2.0f * (bg - 0.5f)) * (1.0f - o) : 2.0f * bg * o;
    case 9: return o > 0.5f ? 2.0f * bg * (1.0f - o) + sqrt(bg) * (2.0f * o - 1.0f)
                            : 2.0f * bg * o + bg * bg * (1.0f - 2.0f * o);
    case 10: return o > 0.5f ? 1.0f - (1.0f - bg) * (1.0f - 2.0f * (o - 0.5f)) : bg * 2.0f * o;
    case 11: return vividLight(bg, o);
    case 12: return o > 0.5f ? bg + 2.0f * (o - 0.5f) : bg + 2.0f * o - 1.0f;
    case 13: return o > 0.5f ? max(bg, 2.0f * (o - 0.5f)) : min(bg, 2.0f * o);
    case 14: return bg + o >= 0.996f ? 1.0f : 0.0f;
    case 15: return fabs(o - bg);
    case 16: return 0.5f - 2.0f * (o - 0.5f) * (bg - 0.5f);
    case 17: return max(o, bg);
    case 23: return bg + o;
    default: return bg;
    }
}

float3 modeFormula3(int mode, float3 bg, float3 o) {
    return (float3)(modeFormula(mode, bg.x, o.x), modeFormula(mode, bg.y, o.y), modeFormula(mode, bg.z, o.z));
}

// Modes without a rule of their own (18, 24 and up) are normal, mode 0, as the CPU layer blender
// takes them: a straight overlay weighed by its alpha, a premultiplied one by opacity.
int normalisedMode(int mode) { return mode == 18 || mode < 0 || mode > 23 ? 0 : mode; }

// Modes 19, 20, 21: whole-pixel cuts, returned without the opacity step.
float4 hollowModes(int mode, float4 bg, float4 o, int testBgAlpha) {
    if (mode == 19) return clamp(bg * o.w, 0.0f, 1.0f);
    if (mode == 20) {
        if (testBgAlpha && bg.w < 0.000001f) return o;
        return clamp(bg * (1.0f - o.w), 0.0f, 1.0f);
    }
    return clamp(o * bg.w, 0.0f, 1.0f);
}

// --- standard form -------------------------------------------------------------------------------

float4 blending(float4 backGround, float4 ovl, float matt, float tempMatt, float exeMatt, int blendingMode,
                float opacity, int ovlAlphaPreMul) {
    const float4 bg = backGround;
    const float4 o = ovl * tempMatt * exeMatt;
    const float t = opacity * matt * exeMatt, it = 1.0f - t;
    float4 out;
    blendingMode = normalisedMode(blendingMode);
    if (blendingMode == 0) {
        out = clamp(o, 0.0f, 1.0f);
        out.w = t + it * bg.w;
        if (ovlAlphaPreMul == 0) out.xyz = out.xyz * t + it * bg.xyz;
        else out.xyz = out.xyz * (opacity * tempMatt) + it * bg.xyz;
        out.xyz = clamp(out.xyz, 0.0f, 1.0f);
        return out;
    }
    if ((blendingMode >= 1 && blendingMode <= 17) || blendingMode == 23) {
        out.xyz = clamp(modeFormula3(blendingMode, bg.xyz, o.xyz), 0.0f, 1.0f);
        out.w = t + it * bg.w;
        out.xyz = clamp(out.xyz * t + it * bg.xyz, 0.0f, 1.0f);
        return out;
    }
    if (blendingMode >= 19 && blendingMode <= 21) return hollowModes(blendingMode, bg, o, 1);
    return tempMatt * exeMatt > 0.0001f ? o : bg;  // 22, replace
}

// --- transform form ------------------------------------------------------------------------------

float4 blendingTransform(float4 backGround, float4 ovl, float matt, float tempMatt, float exeMatt, int blendingMode,
                         float opacity, int ovlAlphaPreMul) {
    const float4 bg = backGround;
    const float4 o = ovl * tempMatt;
    const float t = opacity * matt * exeMatt, it = 1.0f - t;
    float4 out;
    blendingMode = normalisedMode(blendingMode);
    if (blendingMode == 0) {
        if (ovlAlphaPreMul == 0) {
            out.w = t + it * bg.w;
            out.xyz = o.xyz * t + it * bg.xyz;
            return out;
        }
        if (isZero(matt)) return bg;
        out.w = t + it * bg.w;
        out.xyz = o.xyz * (opacity * tempMatt) + it * bg.xyz;
        return out;
    }
    if ((blendingMode >= 1 && blendingMode <= 17) || blendingMode == 23) {
        out.xyz = clamp(modeFormula3(blendingMode, bg.xyz, o.xyz), 0.0f, 1.0f);
        out.w = t + it * bg.w;
        out.xyz = clamp(out.xyz * t + it * bg.xyz, 0.0f, 1.0f);
        return out;
    }
    if (blendingMode >= 19 && blendingMode <= 21) return hollowModes(blendingMode, bg, o, 1);
    return tempMatt * exeMatt > 0.0001f ? o : bg;  // 22, replace
}

// --- four-channel form ---------------------------------------------------------------------------

float4 blendingFourChannel(float4 backGround, float4 ovl, float matt, float tempMatt, float exeMatt,
                           int blendingMode, float opacity, int ovlAlphaPreMul) {
    float4 bg = backGround;
    const float4 o = ovl * tempMatt * exeMatt;
    const float t = opacity * matt * exeMatt, it = 1.0f - t;
    const float t2 = ovlAlphaPreMul == 0 ? opacity * matt * exeMatt : opacity * tempMatt * exeMatt;
    float4 out;
    if (blendingMode == 0) {
        out = clamp(o, 0.0f, 1.0f);
        out.w = o.w + (1.0f - o.w) * bg.w;
        out.xyz = clamp(out.xyz * t2 + it * bg.xyz, 0.0f, 1.0f);
        return out;
    }
    if (blendingMode >= 1 && blendingMode <= 17) {
        float4 f;
        // Colour-only modes leave alpha to the common step: out.w = t + it * bg.w.
        f.xyz = modeFormula3(blendingMode, bg.xyz, o.xyz);
        f.w = 1.0f;
        switch (blendingMode) {
        case 3:
            if (isZero(matt)) f = bg;
            break;
        case 8: case 9: case 10: case 12: case 13: case 14: f.w = modeFormula(blendingMode, bg.w, o.w); break;
        case 11:
            if (o.w == 0.0f) {
                f = bg;
            } else {
                f.xyz = mix(bg.xyz, f.xyz, t);
                f.w = t + bg.w * it;
            }
            break;
        default: break;
        }
        return f * t + it * bg;
    }
    if (blendingMode == 20) return clamp(bg * (1.0f - o.w), 0.0f, 1.0f);
    if (blendingMode == 19 || blendingMode == 21) return hollowModes(blendingMode, bg, o, 0);
    if (blendingMode == 22) return tempMatt * exeMatt > 0.0001f ? o : bg;
    // Default (18, 23 and up): over a premultiplied background, colour divided back by alpha. A
    // pixel left with no alpha has no colour to divide: it stays transparent black.
    bg.xyz = bg.xyz * bg.w;
    out = clamp(o, 0.0f, 1.0f);
    out.w = o.w + (1.0f - o.w) * bg.w;
    out.xyz = out.w > 0.0f ? clamp((out.xyz * t2 + it * bg.xyz) / out.w, 0.0f, 1.0f) : (float3)(0.0f);
    return out;
}
