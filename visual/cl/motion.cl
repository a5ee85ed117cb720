// The source region of the input (fractions of the input) scaled onto the result region of the
// output (fractions of the output), bilinear; transparent outside the result region.

typedef struct _FilterParam {
    float origROI[4];
    float resultROI[4];
} FilterParam;

__kernel void Motion(__read_only image2d_t src, __write_only image2d_t dst, FilterParam param) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int Wd = get_image_width(dst), Hd = get_image_height(dst);
    if (x >= Wd || y >= Hd) return;
    const float Ws = get_image_width(src), Hs = get_image_height(src);
    const float rx = param.resultROI[0] * Wd, ry = param.resultROI[1] * Hd;
    const float rw = param.resultROI[2] * Wd, rh = param.resultROI[3] * Hd;
    const float sx = param.origROI[0] * Ws, sy = param.origROI[1] * Hs;
    const float sw = param.origROI[2] * Ws, sh = param.origROI[3] * Hs;
    const float2 p = (float2)(x + 0.5f, y + 0.5f);
    float4 v = (float4)(0.0f);
    if (p.x >= rx && p.y >= ry && p.x < rx + rw && p.y < ry + rh) {
        const float2 q = (float2)((p.x - rx) * sw / rw + sx, (p.y - ry) * sh / rh + sy);
        v = clamp(SampleBilinear(src, q - 0.5f), 0.0f, 1.0f);
    }
    write_imagef(dst, (int2)(x, y), v);
}
