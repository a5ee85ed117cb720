// Bicubic resize into a destination region (same region rules as Resize_Mid_Low): the 4 x 4 pixels
// around the source position, weighted by the cubic convolution kernel with A = -0.75, edges
// clamped, the result clamped to 0..1.

__constant sampler_t samplerOVLN = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

#define A (-0.75f)

// Weight of a sample at distance t from the source position.
float interpolationCalculate(float t) {
    t = fabs(t);
    if (t <= 1.0f) return ((A + 2.0f) * t - (A + 3.0f)) * t * t + 1.0f;
    if (t < 2.0f) return ((A * t - 5.0f * A) * t + 8.0f * A) * t - 4.0f * A;
    return 0.0f;
}

__kernel void resize_cubic(__read_only image2d_t src, __write_only image2d_t dst, int roiX, int roiY, int roiWidth,
                           int roiHeight, int quality) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    float4 v = (float4)(0.0f);
    if (x >= roiX && y >= roiY && x < roiX + roiWidth && y < roiY + roiHeight) {
        const int Win = get_image_width(src), Hin = get_image_height(src);
        const float2 s = (float2)((float)Win / roiWidth * (x + 0.5f - roiX) - 0.5f,
                                  (float)Hin / roiHeight * (y + 0.5f - roiY) - 0.5f);
        const float2 f0 = floor(s);
        const float2 f = s - f0;
        const int2 i = convert_int2(f0);
        float wx[4], wy[4];
        for (int k = 0; k < 4; ++k) {
            wx[k] = interpolationCalculate(f.x - (k - 1));
            wy[k] = interpolationCalculate(f.y - (k - 1));
        }
        for (int ky = 0; ky < 4; ++ky) {
            float4 row = (float4)(0.0f);
            for (int kx = 0; kx < 4; ++kx) row += wx[kx] * read_imagef(src, samplerOVLN, i + (int2)(kx - 1, ky - 1));
            v += wy[ky] * row;
        }
        v = clamp(v, 0.0f, 1.0f);
    }
    write_imagef(dst, (int2)(x, y), v);
}
