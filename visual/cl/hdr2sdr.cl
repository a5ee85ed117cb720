// HDR (PQ or HLG) to SDR tone mapping of a BGRA frame; alpha kept and the colour premultiplied by
// it, as the CPU path's cube application does, so that both give one picture. The curves are in
// hdr_curves.cl, joined before this program. k1, k3, y_sdr_ip and MaxCLL are part of the call but do not change
// the result.

__constant sampler_t samplerOVLN = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

__kernel void HDR2SDR(__read_only image2d_t src, __write_only image2d_t dst,
                      __global const float* ColorSpaceTransMatrix, float k1, float k3, float y_sdr_ip, int PqMode,
                      float MaxCLL, int inprimary, int outprimary) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    float m[9];
    for (int i = 0; i < 9; ++i) m[i] = ColorSpaceTransMatrix[i];
    const float4 c = read_imagef(src, samplerOVLN, (int2)(x, y));
    float r = c.x, g = c.y, b = c.z;
    Tonemapping(PqMode, m, &r, &g, &b);
    write_imagef(dst, (int2)(x, y), (float4)(r * c.w, g * c.w, b * c.w, c.w));
}
