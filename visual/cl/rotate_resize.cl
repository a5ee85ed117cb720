// Free rotation about the frame centres, and the nearest / bilinear resize into a destination
// region. Pixel centres sit at (x + 0.5, y + 0.5); source positions are continuous coordinates.

__constant sampler_t samplerOVLN = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

// The four pixels around pixel-centre position s (edges clamped), mixed bilinearly. Written out
// rather than left to a linear sampler so that every device (and the CPU path) mixes alike.
float4 SampleBilinear(__read_only image2d_t src, float2 s) {
    const float2 f0 = floor(s);
    const float2 f = s - f0;
    const int2 i = convert_int2(f0);
    const float4 a = read_imagef(src, samplerOVLN, i);
    const float4 b = read_imagef(src, samplerOVLN, i + (int2)(1, 0));
    const float4 c = read_imagef(src, samplerOVLN, i + (int2)(0, 1));
    const float4 d = read_imagef(src, samplerOVLN, i + (int2)(1, 1));
    const float4 top = a + (b - a) * f.x, bottom = c + (d - c) * f.x;
    return top + (bottom - top) * f.y;
}

// uv rotated about center by theta radians (y grows downwards).
float2 rotateFunc(float2 uv, float2 center, float theta) {
    const float s = sin(theta), c = cos(theta);
    const float2 d = uv - center;
    return center + (float2)(c * d.x - s * d.y, s * d.x + c * d.y);
}

// The input's centre lands on the output's centre; outside the input the output is transparent.
__kernel void Rotate(__read_only image2d_t src, __write_only image2d_t dst, int sampertype, float theta) {
    const int x = get_global_id(0), y = get_global_id(1);
    const int W = get_image_width(dst), H = get_image_height(dst);
    if (x >= W || y >= H) return;
    const float2 sizeIn = (float2)(get_image_width(src), get_image_height(src));
    const float2 cin = sizeIn * 0.5f;
    const float2 cout = (float2)(W, H) * 0.5f;
    const float2 p = (float2)(x + 0.5f, y + 0.5f);
    const float2 q = rotateFunc(p - (cout - cin), cin, -theta * 0.0174532925199433f);
    float4 v = (float4)(0.0f);
    if (q.x >= 0.0f && q.y >= 0.0f && q.x < sizeIn.x && q.y < sizeIn.y)
        v = sampertype == 0 ? read_imagef(src, samplerOVLN, convert_int2(floor(q))) : SampleBilinear(src, q - 0.5f);
    write_imagef(dst, (int2)(x, y), v);
}

// Nearest source index of output index x for a span of `span` outputs over `size` inputs starting
// at `origin`: the output centre at (x - origin + 0.5) * size / span, stepped in 16.16 fixed point
// exactly as the CPU's nearest resize steps it, so that both pick the same pixel when a centre
// falls on the border between two.
int nearestIndex(int x, int origin, int span, int size) {
    const long step = (((long)size << 16) + span / 2) / span;
    const long p = step / 2 - 1 + (long)(x - origin) * step;
    return clamp((int)(p >> 16), 0, size - 1);
}

// Scales the whole input onto the region (roiX, roiY, roiWidth, roiHeight) of the output, which may
// reach past the output's edges; outside the region the output is transparent. quality 0 reads the
// nearest pixel, anything else mixes the four around the source position.
__kernel void Resize_Mid_Low(__read_only image2d_t src, __write_only image2d_t dst, int roiX, int roiY, int roiWidth,
                             int roiHeight, int quality) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    float4 v = (float4)(0.0f);
    if (x >= roiX && y >= roiY && x < roiX + roiWidth && y < roiY + roiHeight) {
        const int Win = get_image_width(src), Hin = get_image_height(src);
        const float2 s = (float2)((float)Win / roiWidth * (x + 0.5f - roiX) - 0.5f,
                                  (float)Hin / roiHeight * (y + 0.5f - roiY) - 0.5f);
        v = quality == 0 ? read_imagef(src, samplerOVLN, (int2)(nearestIndex(x, roiX, roiWidth, Win),
                                                                nearestIndex(y, roiY, roiHeight, Hin)))
                         : clamp(SampleBilinear(src, s), 0.0f, 1.0f);
    }
    write_imagef(dst, (int2)(x, y), v);
}
