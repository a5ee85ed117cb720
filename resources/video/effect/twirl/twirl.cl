// Assembled from kernels/effects/twirl.cl and kernels/common/: edit those.
// Twirl: centre (cx, cy) = (w center_x, h center_y). A pixel at distance r = 1/fast_inv_sqrt(dx^2 + dy^2)
// <= radius turns: a = atan2(dy, dx) + (radius - r) angle 0.017453 / radius, and reads the input at
// (cx + cos(a) r, cy + sin(a) r) when that lies in (-1, w) x (-1, h): the bilinear mix of the four
// neighbours (edge pixels standing in for neighbours outside) to the nearest byte, all four bytes.
// Other pixels keep their value. Float throughout, in the CPU body's order of operations.
#pragma OPENCL FP_CONTRACT OFF

// 8-bit BGRA images read as R, G, B, A in x, y, z, w scaled by 1/255; these move whole bytes in
// the image's lane order. Samples lie in 0..1, so +0.5 and truncation round them (a rounding-mode
// conversion costs a CPU device such as PoCL far more).
__constant sampler_t kNearest = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

int4 LoadPixel(read_only image2d_t img, int x, int y) {
    return convert_int4(read_imagef(img, kNearest, (int2)(x, y)) * 255.0f + 0.5f);
}

void StorePixel(write_only image2d_t img, int x, int y, int4 v) {
    write_imagef(img, (int2)(x, y), convert_float4(v) / 255.0f);
}

float4 Bytes(read_only image2d_t img, int x, int y) {
    return convert_float4(LoadPixel(img, x, y));
}

float fast_inv_sqrt(float d) {
    const float y = as_float(1597463174 - (as_int(d) >> 1));
    return y * (1.5f - 0.5f * d * y * y);
}
float distance_to(float dx, float dy) { return 1.0f / fast_inv_sqrt(dx * dx + dy * dy); }

// The sampler clamps to the edge, which is the clamped sample the neighbours outside take.

__kernel void video_effect_twirl(read_only image2d_t src, write_only image2d_t dst, float angle, float radius,
                                 float center_x, float center_y) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int w = get_image_width(dst), h = get_image_height(dst);
    if (x >= w || y >= h) return;
    const float cx = (float)w * center_x, cy = (float)h * center_y;
    const float dx = (float)x - cx, dy = (float)y - cy;
    const float r = 1.0f / fast_inv_sqrt(dx * dx + dy * dy);
    float4 out = read_imagef(src, kNearest, (int2)(x, y));
    if (r <= radius) {
        const float a = atan2(dy, dx) + (radius - r) * angle * 0.017453f / radius;
        const float sx = cos(a) * r + cx, sy = sin(a) * r + cy;
        if (sx > -1.0f && sx < (float)w && sy > -1.0f && sy < (float)h) {
            const int ix = (int)floor(sx), iy = (int)floor(sy);
            const float fx = sx - (float)ix, fy = sy - (float)iy;
            const float4 v = (Bytes(src, ix, iy) * (1.0f - fx) + Bytes(src, ix + 1, iy) * fx) * (1.0f - fy) +
                             (Bytes(src, ix, iy + 1) * (1.0f - fx) + Bytes(src, ix + 1, iy + 1) * fx) * fy;
            out = convert_float4(convert_int4(v + 0.5f)) / 255.0f;
        }
    }
    write_imagef(dst, (int2)(x, y), out);
}
