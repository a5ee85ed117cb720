// SDR (BT.1886) to HDR (PQ or HLG) of a BGRA frame through the inverse of the filmic curve; the
// result is premultiplied by the input alpha. Curves from hdr_curves.cl.

__constant sampler_t samplerOVLN = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;

// BT.709, BT.601 625-line (PAL) and 525-line (NTSC) primaries to BT.2020.
__constant float kToBT2020[3][9] = {
    {0.627401710f, 0.329291970f, 0.0433061570f, 0.0690954551f, 0.919544280f, 0.0113602169f, 0.0163937025f,
     0.0880281180f, 0.895578265f},
    {0.655035615f, 0.302169114f, 0.0427953303f, 0.0721387640f, 0.916634977f, 0.0112262145f, 0.0171157643f,
     0.0978699923f, 0.885014236f},
    {0.595252275f, 0.349324703f, 0.0554230213f, 0.0812415406f, 0.891510427f, 0.0272480603f, 0.0155144883f,
     0.0819257423f, 0.902559757f}};

__kernel void SDR2HDR(__read_only image2d_t src, __write_only image2d_t dst, float k1, float k3, float sdr_ip,
                      int sdrMode, int PqMode, float maxcll) {
    const int x = get_global_id(0), y = get_global_id(1);
    if (x >= get_image_width(dst) || y >= get_image_height(dst)) return;
    const float4 c = read_imagef(src, samplerOVLN, (int2)(x, y));
    const float white = 200.0f / MP_REF_WHITE;
    float r = BT1886_EOTF(c.x) * white, g = BT1886_EOTF(c.y) * white, b = BT1886_EOTF(c.z) * white;
    const int which = sdrMode == 0 ? 1 : sdrMode == 1 ? 2 : 0;
    float m[9];
    for (int i = 0; i < 9; ++i) m[i] = kToBT2020[which][i];
    mat3_apply(m, &r, &g, &b);

    const float mx = fmax(r, fmax(g, b));
    if (mx > 0.0f) {
        const float k = inv_hable(mx * hable(1000.0f / MP_REF_WHITE)) / mx;
        r *= k;
        g *= k;
        b *= k;
    }
    if (PqMode == 0) {
        const float peak = 1000.0f / MP_REF_WHITE;
        const float gamma = fmax(1.0f, 1.2f + 0.42f * log10(peak * MP_REF_WHITE / 1000.0f));
        const float s = pow(12.0f / MP_REF_WHITE_HLG, gamma) / peak;
        r *= s;
        g *= s;
        b *= s;
        const float ys = 0.2627f * r + 0.6780f * g + 0.0593f * b;
        const float d = fmax(1e-6f, pow(fmax(ys, 0.0f), (gamma - 1.0f) / gamma));
        float v[3] = {r / d, g / d, b / d};
        for (int i = 0; i < 3; ++i) {
            const float e = v[i] * MP_REF_WHITE_HLG;
            v[i] = e <= 1.0f ? 0.5f * sqrt(fmax(e, 0.0f)) : HLG_A * log(e - HLG_B) + HLG_C;
        }
        r = v[0];
        g = v[1];
        b = v[2];
    } else {
        r = PQ_INV_EOTF(r * MP_REF_WHITE / 10000.0f);
        g = PQ_INV_EOTF(g * MP_REF_WHITE / 10000.0f);
        b = PQ_INV_EOTF(b * MP_REF_WHITE / 10000.0f);
    }
    write_imagef(dst, (int2)(x, y),
                 (float4)(hdr_clamp01(r) * c.w, hdr_clamp01(g) * c.w, hdr_clamp01(b) * c.w, c.w));
}
