// The motion-animation transform (see the OpenGL twin): each output centre maps to an input
// position through the ideal frame (aspect-corrected), the offset from the anchor, rotation by
// -Rotation, skew and the scale. Enlarging or keeping the size samples bilinearly; shrinking
// averages the input over the output pixel's footprint, partial texels at its edges weighted by
// their coverage.

typedef struct _MotionAnimationParam {
    float scale_x;
    float scale_y;
    float Rotation;
    float anchor_center[2];
    float background_center[2];
    float idealwidth;
    float idealheight;
    float skew_x;
    float skew_y;
} MotionAnimationParam;

__constant sampler_t samplerOVL = CLK_NORMALIZED_COORDS_TRUE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_LINEAR;
__constant sampler_t samplerOVLN = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

#define QZ_PI 3.14159265358979323846f

// Coverage of texel k by [a, b).
float coverage(int k, float a, float b) { return fmax(0.0f, fmin(b, k + 1.0f) - fmax(a, (float)k)); }

__kernel void motion_animation_cl(__read_only image2d_t src, __write_only image2d_t dst,
                                  __global const MotionAnimationParam* motion_param) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int W = get_image_width(dst), H = get_image_height(dst);
    if (x >= W || y >= H) return;
    const MotionAnimationParam p = *motion_param;
    if (fabs(p.scale_x * p.scale_y) < 1e-9f) {
        write_imagef(dst, (int2)(x, y), (float4)(0.0f));
        return;
    }
    const int iw = get_image_width(src), ih = get_image_height(src);
    const float2 ideal = (float2)(p.idealwidth, p.idealheight);
    float2 tc = ((float2)((x + 0.5f) / W, (y + 0.5f) / H) - 0.5f) * ((float2)(W, H) / ideal) + 0.5f;
    const float aspect = p.idealwidth / p.idealheight;
    const float2 a = (float2)(p.anchor_center[0] * aspect, p.anchor_center[1]);
    float2 q = (float2)(tc.x * aspect, tc.y) +
               (float2)((p.anchor_center[0] - p.background_center[0]) * aspect,
                        p.anchor_center[1] - p.background_center[1]);
    float2 d = q - a;
    const float r = -p.Rotation * QZ_PI / 180.0f;
    d = (float2)(d.x * cos(r) - d.y * sin(r), d.x * sin(r) + d.y * cos(r));
    d = (float2)(d.x - p.skew_x * d.y, d.y - p.skew_y * d.x);
    const float2 scale = (float2)(p.scale_x, p.scale_y) * ((float2)(iw, ih) / ideal);
    d /= scale;
    q = a + d;
    tc = (float2)(q.x / aspect, q.y);
    if (tc.x < -1.0f / iw || tc.x > 1.0f + 1.0f / iw || tc.y < -1.0f / ih || tc.y > 1.0f + 1.0f / ih) {
        write_imagef(dst, (int2)(x, y), (float4)(0.0f));
        return;
    }
    if (fabs(p.scale_x) >= 1.0f && fabs(p.scale_y) >= 1.0f) {
        write_imagef(dst, (int2)(x, y), read_imagef(src, samplerOVL, tc));
        return;
    }
    // Footprint in input texels: how many an output pixel covers, at most three per axis.
    const float fw = fmax(1.0f, (iw / ideal.x) / fmax(1.0f / 3.0f, fabs(p.scale_x)));
    const float fh = fmax(1.0f, (ih / ideal.y) / fmax(1.0f / 3.0f, fabs(p.scale_y)));
    const float cx = tc.x * iw, cy = tc.y * ih;
    const float x0 = cx - fw * 0.5f, x1 = cx + fw * 0.5f, y0 = cy - fh * 0.5f, y1 = cy + fh * 0.5f;
    float4 sum = (float4)(0.0f);
    float weight = 0.0f;
    for (int ty = (int)floor(y0); ty < (int)ceil(y1); ++ty)
        for (int tx = (int)floor(x0); tx < (int)ceil(x1); ++tx) {
            const float w = coverage(tx, x0, x1) * coverage(ty, y0, y1);
            sum += w * read_imagef(src, samplerOVLN, (int2)(tx, ty));
            weight += w;
        }
    write_imagef(dst, (int2)(x, y), weight > 0.0f ? sum / weight : (float4)(0.0f));
}
