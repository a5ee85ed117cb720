// Assembled from kernels/effects/color_emboss.cl and kernels/common/: edit those.
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

// Emboss: J = in(x, clamp(y + o, 0, h - 1)), o = d rounded to the nearest row (halves up, with a
// 1e-4 row guard), d = sin(135 - angle degrees) concave, computed by the effect for the frame;
// per colour byte e = sat(rint((I - J) c + base)), c = contrast 0.01, base 128 for the plain
// emboss and I for the colour emboss;
// out = min(255, M[I][255 - k] + M[e][k]), k = trunc(alpha 0.01 255), M[x][y] = (x y + 127) div 255;
// alpha kept. e in float with halves to even, in the CPU body's order of operations.
void emboss_pixel(read_only image2d_t src, write_only image2d_t dst, int o, int contrast, int alpha, int colour) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int w = get_image_width(dst), h = get_image_height(dst);
    if (x >= w || y >= h) return;
    const float c = (float)contrast * 0.01f;
    const int k = clamp(alpha, 0, 100) * 255 / 100;  // in integers: exact for every percentage
    const int4 I = LoadPixel(src, x, y);
    const int4 J = LoadPixel(src, x, clamp(y + o, 0, h - 1));
    const float4 base = colour ? convert_float4(I) : (float4)(128.0f);
    const int4 e = convert_int4(clamp(rint(convert_float4(I - J) * c + base), 0.0f, 255.0f));
    const int4 mixed = min((I * (255 - k) + 127) / 255 + (e * k + 127) / 255, 255);
    StorePixel(dst, x, y, (int4)(mixed.xyz, I.w));
}

__kernel void video_effect_color_emboss(read_only image2d_t src, write_only image2d_t dst, int row_offset,
                                        int contrast, int alpha) {
    emboss_pixel(src, dst, row_offset, contrast, alpha, 1);
}
