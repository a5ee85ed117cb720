// Transfer curves and tone mapping shared by the HDR programs. This file is also compiled as C++
// (inside a namespace that brings in the float overloads of the maths functions) so that the cube
// files of the CPU path and the tests use exactly these formulas.
//
// Signals are normalised 0..1. Linear light is relative: PQ_EOTF gives 1 for 10000 cd/m2; the
// tone mapper works in units of the 100 cd/m2 SDR white.

// Plain functions in OpenCL C (its C99 inline would need an external definition), inline in C++.
#ifdef __OPENCL_VERSION__
#define HDR_FN
#else
#define HDR_FN inline
#endif

#define EQN_EPS 1e-5f
#define MP_REF_WHITE 203.0f
#define MP_REF_WHITE_HLG 3.17955f
#define sdr_avg 0.25f
#define peakDSLNits 100.0f

// SMPTE ST 2084.
#define PQ_M1 (2610.0f / 16384.0f)
#define PQ_M2 (2523.0f * 128.0f / 4096.0f)
#define PQ_C1 (3424.0f / 4096.0f)
#define PQ_C2 (2413.0f * 32.0f / 4096.0f)
#define PQ_C3 (2392.0f * 32.0f / 4096.0f)

// ARIB STD-B67 / BT.2100 HLG.
#define HLG_A 0.17883277f
#define HLG_B 0.28466892f
#define HLG_C 0.55991073f

HDR_FN float hdr_clamp01(float x) { return fmin(fmax(x, 0.0f), 1.0f); }

HDR_FN float PQ_EOTF(float x) {
    const float p = pow(fmax(x, 0.0f), 1.0f / PQ_M2);
    return pow(fmax(p - PQ_C1, 0.0f) / (PQ_C2 - PQ_C3 * p), 1.0f / PQ_M1);
}

HDR_FN float PQ_INV_EOTF(float y) {
    const float p = pow(fmax(y, 0.0f), PQ_M1);
    return pow((PQ_C1 + PQ_C2 * p) / (1.0f + PQ_C3 * p), PQ_M2);
}

// Scene light 0..1 -> signal.
HDR_FN float HLG_OETF(float e) {
    e = fmax(e, 0.0f);
    return e <= 1.0f / 12.0f ? sqrt(3.0f * e) : HLG_A * log(12.0f * e - HLG_B) + HLG_C;
}

// Signal -> scene light 0..1.
HDR_FN float HLG_INV_OETF(float x) {
    return x <= 0.5f ? x * x / 3.0f : (exp((x - HLG_C) / HLG_A) + HLG_B) / 12.0f;
}

// Scene -> display light of a 1000 cd/m2 HLG display (system gamma 1.2), relative to its peak.
HDR_FN void HLG_OOTF(float* r, float* g, float* b) {
    const float ys = 0.2627f * *r + 0.6780f * *g + 0.0593f * *b;
    const float k = ys > 0.0f ? pow(ys, 0.2f) : 0.0f;
    *r *= k;
    *g *= k;
    *b *= k;
}

HDR_FN void HLG_INV_OOTF(float* r, float* g, float* b) {
    const float yd = 0.2627f * *r + 0.6780f * *g + 0.0593f * *b;
    const float k = yd > 0.0f ? pow(yd, -0.2f / 1.2f) : 0.0f;
    *r *= k;
    *g *= k;
    *b *= k;
}

HDR_FN float BT1886_EOTF(float x) { return pow(hdr_clamp01(x), 2.4f); }
HDR_FN float BT1886_INV_EOTF(float x) { return pow(hdr_clamp01(x), 1.0f / 2.4f); }

HDR_FN float SRGB_INV_EOTF(float x) {
    if (x <= 0.0f) return 0.0f;
    if (x >= 1.0f) return 1.0f;
    return x <= 0.0031308f ? 12.92f * x : 1.055f * pow(x, 1.0f / 2.4f) - 0.055f;
}

// The filmic curve h and the root of its quadratic.
HDR_FN float hable(float x) {
    return (x * (0.15f * x + 0.05f) + 0.004f) / (x * (0.15f * x + 0.5f) + 0.06f) - 0.02f / 0.3f;
}

HDR_FN float inv_hable(float y) {
    const float q2 = 0.15f * (0.3f * y + 0.02f - 0.3f);
    const float q1 = 0.5f * (0.3f * y + 0.02f - 0.03f);
    const float q0 = 0.2f * y * 0.09f;
    return (-sqrt(q1 * q1 - 4.0f * q2 * q0) - q1) / (2.0f * q2);
}

HDR_FN void mat3_apply(const float* m, float* r, float* g, float* b) {
    const float R = *r, G = *g, B = *b;
    *r = m[0] * R + m[1] * G + m[2] * B;
    *g = m[3] * R + m[4] * G + m[5] * B;
    *b = m[6] * R + m[7] * G + m[8] * B;
}

// HDR signal (PQ when pqMode is 1, else HLG) -> SDR signal; m maps the input primaries to the
// output ones.
HDR_FN void Tonemapping(int pqMode, const float* m, float* r, float* g, float* b) {
    if (pqMode == 1) {
        float R = PQ_EOTF(hdr_clamp01(*r)) * 100.0f;
        float G = PQ_EOTF(hdr_clamp01(*g)) * 100.0f;
        float B = PQ_EOTF(hdr_clamp01(*b)) * 100.0f;
        mat3_apply(m, &R, &G, &B);
        const float sig = 0.5f * (0.2126f * R + 0.7152f * G + 0.0722f * B) + 0.5f * fmax(R, fmax(G, B));
        const float k = sig > EQN_EPS ? fmin(hable(sig) / hable(100.0f), 1.0f) / sig : 0.0f;
        *r = BT1886_INV_EOTF(R * k);
        *g = BT1886_INV_EOTF(G * k);
        *b = BT1886_INV_EOTF(B * k);
    } else {
        float R = HLG_INV_OETF(*r), G = HLG_INV_OETF(*g), B = HLG_INV_OETF(*b);
        R = hdr_clamp01(R);
        G = hdr_clamp01(G);
        B = hdr_clamp01(B);
        const float ls = 0.5f * (0.2627f * R + 0.6780f * G + 0.0593f * B) + 0.5f * fmax(R, fmax(G, B));
        const float gamma = 1.2f + 0.42f * log10(peakDSLNits / 1000.0f);
        const float k = ls > 0.0f ? 100.0f * pow(ls, gamma - 1.0f) : 0.0f;
        R = fmin(fmax(k * R, 0.0f), 100.0f);
        G = fmin(fmax(k * G, 0.0f), 100.0f);
        B = fmin(fmax(k * B, 0.0f), 100.0f);
        mat3_apply(m, &R, &G, &B);
        *r = fmax(SRGB_INV_EOTF(R / 100.0f), 0.0f);
        *g = fmax(SRGB_INV_EOTF(G / 100.0f), 0.0f);
        *b = fmax(SRGB_INV_EOTF(B / 100.0f), 0.0f);
    }
}
