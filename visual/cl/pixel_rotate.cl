// Quarter turns and mirrors of a BGRA frame. Each output pixel centre, normalised to the output,
// names the input point it shows; the caller sizes the output (width and height swapped for the
// quarter turns), so every read lands on a pixel centre.

__constant sampler_t samplerBG = CLK_NORMALIZED_COORDS_TRUE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

// rotateType: 0 90 degrees clockwise, 1 180, 2 270 clockwise, 3 mirror left-right, 4 top-bottom.
__kernel void PixelRotate(__read_only image2d_t src, __write_only image2d_t dst, int rotateType) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int Wout = get_image_width(dst), Hout = get_image_height(dst);
    if (x >= Wout || y >= Hout) return;
    const float2 t = (float2)((x + 0.5f) / Wout, (y + 0.5f) / Hout);
    float2 s;
    switch (rotateType) {
    case 1: s = 1.0f - t; break;
    case 2: s = (float2)(1.0f - t.y, t.x); break;
    case 3: s = (float2)(1.0f - t.x, t.y); break;
    case 4: s = (float2)(t.x, 1.0f - t.y); break;
    default: s = (float2)(t.y, 1.0f - t.x); break;
    }
    write_imagef(dst, (int2)(x, y), read_imagef(src, samplerBG, s));
}
