// Assembled from kernels/effects/color_pass.cl and kernels/common/: edit those.
// Pixels are the bytes of BGRA images: the device image is CL_BGRA, so lanes x, y, z, w hold
// R, G, B, A as byte / 255 (exact both ways).
__constant sampler_t kNearest = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

// (B, G, R, A) bytes of one pixel. The samples lie in 0..1: +0.5 and truncation round them with no
// saturating conversion, which costs a CPU device (PoCL) about as much as the copy of the pixel.
int4 load_bgra(__read_only image2d_t img, int x, int y) {
    float4 p = read_imagef(img, kNearest, (int2)(x, y)) * 255.0f + 0.5f;
    return convert_int4((float4)(p.z, p.y, p.x, p.w));
}

void store_bgra(__write_only image2d_t img, int x, int y, int4 bgra) {
    float4 v = convert_float4(clamp(bgra, 0, 255)) / 255.0f;
    write_imagef(img, (int2)(x, y), (float4)(v.z, v.y, v.x, v.w));
}

int sat(int v) { return clamp(v, 0, 255); }
// M[x][y] = x * y / 255 rounded, the byte-scaling table of the CPU bodies.
int mul255(int x, int y) { return (x * y + 127) / 255; }

// Clamped before the conversion, so NaN and huge values never reach it (NaN gives 0).
int sat_trunc(float v) { return v >= 255.0f ? 255 : (v > 0.0f ? (int)v : 0); }
// rint (ties to even), then clamped; NaN gives 0.
int sat_rint(float v) { return sat_trunc(rint(v)); }

// The CPU bodies' integer luma: trunc(b 0.114) + trunc(g 0.587) + trunc(r 0.299), in integers
// (the same bytes for every channel value, since no product is within 1/500 of a whole number).
int luma(int b, int g, int r) { return b * 57 / 500 + g * 587 / 1000 + r * 299 / 1000; }

// D = 3 dB^2 + 4 dG^2 + 2 dR^2 against the pass colour, theta = 36 similar^2: pixels farther than
// theta turn gray (nearer ones with "reverse"); D = theta keeps its colour either way.
__kernel void video_effect_color_pass(__read_only image2d_t src, __write_only image2d_t dst, uchar pass_r,
                                      uchar pass_g, uchar pass_b, int reverse, int similar) {
    int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    int4 p = load_bgra(src, x, y);
    int db = p.x - pass_b, dg = p.y - pass_g, dr = p.z - pass_r;
    int D = 3 * db * db + 4 * dg * dg + 2 * dr * dr;
    int theta = 36 * similar * similar;
    if (reverse ? D < theta : D > theta) {
        int Y = luma(p.x, p.y, p.z);
        p = (int4)(Y, Y, Y, p.w);
    }
    store_bgra(dst, x, y, p);
}
