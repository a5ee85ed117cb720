// Assembled from kernels/effects/spherize.cl and kernels/common/: edit those.
// Spherize: centre (cx, cy) = (trunc(w position_x), trunc(h position_y)), R = amount. A pixel at
// dx = x - cx, dy = cy - y, r = 1/fast_inv_sqrt(dx^2 + dy^2) < R reads the input at
// phi = atan(dy/(dx + 1e-6)) (+ pi for dx < 0), rho = asin(r/R) R/1.5707964,
// (sx, sy) = (cx + cos(phi) rho, cy - sin(phi) rho), clamped to [0, w - 2] beyond the edges, mixing
// the four neighbours' colour bilinearly to the nearest byte; alpha and the pixels outside R are
// the input's. Float throughout, in the CPU body's order of operations.
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

__kernel void video_effect_spherize(read_only image2d_t src, write_only image2d_t dst, float amount,
                                    float position_x, float position_y) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int w = get_image_width(dst), h = get_image_height(dst);
    if (x >= w || y >= h) return;
    const float4 own = read_imagef(src, kNearest, (int2)(x, y));
    const float fcx = (float)w * position_x, fcy = (float)h * position_y;
    if (w < 2 || h < 2 || !(amount > 0.0f) || !(fabs(fcx) < 1e9f && fabs(fcy) < 1e9f)) {
        write_imagef(dst, (int2)(x, y), own);
        return;
    }
    const int cx = (int)fcx, cy = (int)fcy;
    const float R = amount;
    const float dx = (float)(x - cx), dy = (float)(cy - y);
    const float r = 1.0f / fast_inv_sqrt(dx * dx + dy * dy);
    if (!(r < R)) {
        write_imagef(dst, (int2)(x, y), own);
        return;
    }
    float phi = atan(dy / (dx + 1e-6f));
    if (dx < 0) phi += 3.14159265f;
    const float rho = asin(r / R) * R / 1.5707964f;
    float sx = cos(phi) * rho + (float)cx;
    float sy = (float)cy - sin(phi) * rho;
    if (sx < 1e-6f) sx = 0.0f;
    else if (sx > (float)(w - 1) + 1e-6f) sx = (float)(w - 2);
    if (sy < 1e-6f) sy = 0.0f;
    else if (sy > (float)(h - 1) + 1e-6f) sy = (float)(h - 2);
    const int ix = (int)sx, iy = (int)sy;
    const float fx = sx - (float)ix, fy = sy - (float)iy;
    const int ix1 = min(ix + 1, w - 1), iy1 = min(iy + 1, h - 1);
    const float4 v = (Bytes(src, ix, iy) * (1.0f - fx) + Bytes(src, ix1, iy) * fx) * (1.0f - fy) +
                     (Bytes(src, ix, iy1) * (1.0f - fx) + Bytes(src, ix1, iy1) * fx) * fy;
    const int4 c = convert_int4(v + 0.5f);
    const int a = convert_int_rte(own.w * 255.0f);
    write_imagef(dst, (int2)(x, y), convert_float4((int4)(c.xyz, a)) / 255.0f);
}
