// HDR (PQ or HLG) to SDR of 8-bit BGRA frames through the tone-mapping cube the CPU applies: its
// tetrahedral pass (imagecpu/CubeLut) operation by operation, unfused, so that both give the same
// bytes. `cube` holds per axis (red, green, blue) 256 texels (fraction, lower grid entry, step to
// the upper one as integer bits, 0), then the grid, one texel (blue, green, red, 0) an entry.
#pragma OPENCL FP_CONTRACT OFF

__constant sampler_t kCubeNearest = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

// Axes (0 red, 1 green, 2 blue) from the largest fraction to the smallest, two bits an axis, at
// 2 * ((fr > fg) | (fg > fb) << 1 | (fr > fb) << 2) (3 and 4 cannot occur): the CPU's order, ties
// included. Selected rather than indexed, so that the kernel keeps no per-pixel array.
#define kFirstAxis 0x101Au   // 2, 2, 1, 0, 0, 0, 1, 0
#define kSecondAxis 0x4961u  // 1, 0, 2, 1, 1, 2, 0, 1
#define kThirdAxis 0xA684u   // 0, 1, 0, 2, 2, 1, 2, 2

float AxisFloat(uint axis, float r, float g, float b) { return axis == 0 ? r : axis == 1 ? g : b; }
uint AxisUint(uint axis, uint r, uint g, uint b) { return axis == 0 ? r : axis == 1 ? g : b; }

__kernel void HDR2SDR_Cube(__read_only image2d_t src, __global const float4* cube, __write_only image2d_t dst) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    // Lanes x, y, z, w hold R, G, B, A as byte / 255 (exact both ways); the samples lie in 0..1,
    // so rounding by +0.5 and truncation needs no saturating conversion (costly on CPU devices).
    const int4 p = convert_int4(read_imagef(src, kCubeNearest, (int2)(x, y)) * 255.0f + 0.5f);
    const float4 er = cube[p.x], eg = cube[256 + p.y], eb = cube[512 + p.z];
    const float fr = er.x, fg = eg.x, fb = eb.x;
    const uint sr = as_uint(er.z), sg = as_uint(eg.z), sb = as_uint(eb.z);
    const uint order = 2u * (uint)((fr > fg) | (fg > fb) << 1 | (fr > fb) << 2);
    const uint o0 = (kFirstAxis >> order) & 3u, o1 = (kSecondAxis >> order) & 3u, o2 = (kThirdAxis >> order) & 3u;
    const float f0 = AxisFloat(o0, fr, fg, fb), f1 = AxisFloat(o1, fr, fg, fb), f2 = AxisFloat(o2, fr, fg, fb);
    __global const float4* grid = cube + 3 * 256;
    const uint c000 = as_uint(er.y) + as_uint(eg.y) + as_uint(eb.y);
    const uint ca = c000 + AxisUint(o0, sr, sg, sb), cab = ca + AxisUint(o1, sr, sg, sb), c111 = c000 + sr + sg + sb;
    const float w0 = 1 - f0, wa = f0 - f1, wab = f1 - f2, w1 = f2;
    const float4 v = (w0 * grid[c000] + wa * grid[ca]) + (wab * grid[cab] + w1 * grid[c111]);
    // Nearest even, saturated to bytes; at 2^31 and above (and NaN) the CPU's conversion gives its
    // integer indefinite, which saturates to 0.
    int4 bgr = convert_int4(clamp(rint(v), 0.0f, 255.0f));
    bgr = select(bgr, (int4)(0), isgreaterequal(v, (float4)(2147483648.0f)));
    // Premultiplied by alpha as the byte table M[a][c] = (a c + 127) / 255, the division by 255
    // taken as (t + 1 + (t >> 8)) >> 8, exact for t = a c + 127 <= 65152.
    const int4 t = bgr * p.w + 127;
    const int4 m = (t + 1 + (t >> 8)) >> 8;
    write_imagef(dst, (int2)(x, y), (float4)(m.z, m.y, m.x, p.w) / 255.0f);
}
