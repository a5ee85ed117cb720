// Colour matrices shared by the YUV <-> RGB programs (joined in front of each of them).
//
// rgb2yuvmat / yuv2rgbmat are indexed by colormatrix: 0 BT.2020 limited, 1 BT.709 limited,
// 2 BT.601 limited, 3 BT.2020 full, 4 BT.709 full, 5 BT.601 full. rgb2yuvmat rows are Y, Cb, Cr
// over R, G, B in 0..1; yuv2rgbmat rows are R, G, B over (Y - yoffset, Cb - 0.5, Cr - 0.5).

__constant float rgb2yuvmat[6][3][3] = {
    {{0.225613f, 0.582282f, 0.050928f}, {-0.122655f, -0.316560f, 0.439216f}, {0.439216f, -0.403890f, -0.035325f}},
    {{0.182586f, 0.614231f, 0.062007f}, {-0.100644f, -0.338572f, 0.439216f}, {0.439216f, -0.398942f, -0.040274f}},
    {{0.256788f, 0.504129f, 0.097906f}, {-0.148223f, -0.290993f, 0.439216f}, {0.439216f, -0.367788f, -0.071427f}},
    {{0.262700f, 0.678000f, 0.059300f}, {-0.139630f, -0.360370f, 0.500000f}, {0.500000f, -0.459786f, -0.040214f}},
    {{0.212600f, 0.715200f, 0.072200f}, {-0.114572f, -0.385428f, 0.500000f}, {0.500000f, -0.454153f, -0.045847f}},
    {{0.299000f, 0.587000f, 0.114000f}, {-0.168736f, -0.331264f, 0.500000f}, {0.500000f, -0.418688f, -0.081312f}},
};

__constant float yuv2rgbmat[6][3][3] = {
    {{1.164384f, 0.0f, 1.678674f}, {1.164384f, -0.187326f, -0.650424f}, {1.164384f, 2.141772f, 0.0f}},
    {{1.164384f, 0.0f, 1.792741f}, {1.164384f, -0.213249f, -0.532909f}, {1.164384f, 2.112402f, 0.0f}},
    {{1.164384f, 0.0f, 1.596027f}, {1.164384f, -0.391762f, -0.812968f}, {1.164384f, 2.017232f, 0.0f}},
    {{1.0f, 0.0f, 1.474600f}, {1.0f, -0.164553f, -0.571353f}, {1.0f, 1.881400f, 0.0f}},
    {{1.0f, 0.0f, 1.574800f}, {1.0f, -0.187324f, -0.468124f}, {1.0f, 1.855600f, 0.0f}},
    {{1.0f, 0.0f, 1.402000f}, {1.0f, -0.344136f, -0.714136f}, {1.0f, 1.772000f, 0.0f}},
};

float3 mul_mat(__constant float (*m)[3], float3 v) {
    return (float3)(m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
                    m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z);
}

// CLSMode -> colormatrix index; modes 6..11 act as 0..5, anything else as BT.601 limited.
int choosMode(int mode) {
    if (mode >= 6 && mode < 12) mode -= 6;
    switch (mode) {
    case 0: return 1;
    case 1: return 4;
    case 3: return 5;
    case 4: return 0;
    case 5: return 3;
    default: return 2;
    }
}

// The fixed-mode table of the 8-bit kernels: Y, U (Cb), V (Cr) in codes 0..255 to RGBA in 0..1.
float4 yuvToRgbFixed(float Y, float U, float V, int mode) {
    const float u = U - 128.0f, v = V - 128.0f;
    float y = 1.1644f * (Y - 16.0f), r, g, b;
    switch (choosMode(mode)) {
    case 1: r = y + 1.7927f * v; g = y - 0.5329f * v - 0.2132f * u; b = y + 2.1123f * u; break;
    case 4: y = Y; r = y + 1.5748f * v; g = y - 0.4681f * v - 0.1873f * u; b = y + 1.8556f * u; break;
    case 5: y = Y; r = y + 1.4020f * v; g = y - 0.7141f * v - 0.3441f * u; b = y + 1.7720f * u; break;
    case 0: r = y + 1.6787f * v; g = y - 0.6504f * v - 0.1873f * u; b = y + 2.1418f * u; break;
    case 3: y = Y; r = y + 1.4746f * v; g = y - 0.5714f * v - 0.1646f * u; b = y + 1.8814f * u; break;
    default: r = y + 1.5960f * v; g = y - 0.8129f * v - 0.3917f * u; b = y + 2.0172f * u; break;
    }
    return clamp((float4)(r, g, b, 255.0f) / 255.0f, 0.0f, 1.0f);
}

// Source position of destination pixel (x, y) with pixel centres aligned.
float2 centreMap(int x, int y, int sw, int sh, int dw, int dh) {
    return (float2)((x + 0.5f) * sw / dw - 0.5f, (y + 0.5f) * sh / dh - 0.5f);
}

// Nearest (truncated) source pixel of a destination pixel, clamped to the image.
int2 nearestOf(int x, int y, int sw, int sh, int dw, int dh) {
    const float2 s = floor(centreMap(x, y, sw, sh, dw, dh));
    return clamp(convert_int2(s), (int2)(0, 0), (int2)(sw - 1, sh - 1));
}

// Y, U, V and A of destination pixel (x, y) from planar or semi-planar samples, in sample units.
// kind 0 takes the nearest (truncated) sample with chroma at half its integer position; kind 1
// mixes the 2x2 neighbourhood bilinearly, chroma from the rows and columns at half the luma
// neighbours'; kind 2 averages luma (and alpha) over the pixel's footprint, ceil(sw / dw) by
// ceil(sh / dh) samples from the truncated corner, chroma as kind 1. cstep is 2 for interleaved
// chroma pairs; chromaRows is 1 for 4:2:0 (chroma at half the rows) and 0 for 4:2:2.
#define YUV_SAMPLER(NAME, T)                                                                                    \
    float4 NAME(__global const T* pY, __global const T* pU, __global const T* pV, __global const T* pA,          \
                int hasAlpha, int ypitch, int cpitch, int cstep, int chromaRows, int sw, int sh, int dw, int dh, \
                int x, int y, int kind) {                                                                      \
        const float2 s = centreMap(x, y, sw, sh, dw, dh);                                                      \
        const float2 f0 = floor(s);                                                                            \
        const int x0 = clamp((int)f0.x, 0, sw - 1), y0 = clamp((int)f0.y, 0, sh - 1);                         \
        if (kind == 0) {                                                                                       \
            const int c = (y0 >> chromaRows) * cpitch + (x0 >> 1) * cstep;                                     \
            return (float4)(pY[y0 * ypitch + x0], pU[c], pV[c], hasAlpha ? (float)pA[y0 * ypitch + x0] : 0.0f); \
        }                                                                                                      \
        const int x1 = clamp((int)f0.x + 1, 0, sw - 1), y1 = clamp((int)f0.y + 1, 0, sh - 1);                 \
        const float fx = s.x - f0.x, fy = s.y - f0.y;                                                          \
        const int c00 = (y0 >> chromaRows) * cpitch + (x0 >> 1) * cstep;                                       \
        const int c01 = (y0 >> chromaRows) * cpitch + (x1 >> 1) * cstep;                                       \
        const int c10 = (y1 >> chromaRows) * cpitch + (x0 >> 1) * cstep;                                       \
        const int c11 = (y1 >> chromaRows) * cpitch + (x1 >> 1) * cstep;                                       \
        float4 r;                                                                                              \
        r.y = mix(mix((float)pU[c00], (float)pU[c01], fx), mix((float)pU[c10], (float)pU[c11], fx), fy);       \
        r.z = mix(mix((float)pV[c00], (float)pV[c01], fx), mix((float)pV[c10], (float)pV[c11], fx), fy);       \
        if (kind == 2) {                                                                                       \
            const int bx = min((int)(x * (float)sw / dw), sw - 1), by = min((int)(y * (float)sh / dh), sh - 1); \
            const int bw = (int)ceil((float)sw / dw), bh = (int)ceil((float)sh / dh);                          \
            float sumY = 0.0f, sumA = 0.0f;                                                                    \
            int n = 0;                                                                                         \
            for (int j = by; j < min(by + bh, sh); ++j)                                                        \
                for (int i = bx; i < min(bx + bw, sw); ++i, ++n) {                                             \
                    sumY += pY[j * ypitch + i];                                                                \
                    if (hasAlpha) sumA += pA[j * ypitch + i];                                                  \
                }                                                                                              \
            r.x = sumY / n;                                                                                    \
            r.w = sumA / n;                                                                                    \
            return r;                                                                                          \
        }                                                                                                      \
        const int l00 = y0 * ypitch + x0, l01 = y0 * ypitch + x1, l10 = y1 * ypitch + x0, l11 = y1 * ypitch + x1; \
        r.x = mix(mix((float)pY[l00], (float)pY[l01], fx), mix((float)pY[l10], (float)pY[l11], fx), fy);       \
        r.w = hasAlpha ? mix(mix((float)pA[l00], (float)pA[l01], fx), mix((float)pA[l10], (float)pA[l11], fx), fy) \
                       : 0.0f;                                                                                 \
        return r;                                                                                              \
    }
YUV_SAMPLER(sampleYUVA8, uchar)
YUV_SAMPLER(sampleYUVA16, ushort)

__constant sampler_t samplerOVLN = CLK_NORMALIZED_COORDS_FALSE | CLK_ADDRESS_CLAMP_TO_EDGE | CLK_FILTER_NEAREST;
