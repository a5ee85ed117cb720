// Conversions with the float colour matrices of the GPU programs (yuv_matrix.h). Each comes as a
// plain C body and vector bodies (AVX2, AVX-512) chosen at run time (yuv_simd.h); the vector
// bodies do the same float operations in the same order, so every level writes the same bytes.
//
// The matrix, the normalisation and the output scale are folded into one set of float constants
// per call: a decoded channel is (ky Y + yb) + (kc C + kb), an encoded sample ((kr R + kg G) + kb B)
// + offset. The fold moves the result from the kernels' own float order by well under a code.
// Every level must round the same products the same way: no multiply-add may be fused where the
// target has FMA (AVX-512 implies it) and the plain C body has not.
#pragma GCC optimize("fp-contract=off")

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVEX_MATRIX_X86 1
#define ORVEX_TARGET_AVX2 __attribute__((target("avx2")))
#define ORVEX_TARGET_AVX512 __attribute__((target("avx2,avx512f,avx512bw")))
#else
#define ORVEX_MATRIX_X86 0
#endif

#include "host/yuv/yuv_fixed_encode.h"
#include "host/yuv/yuv_simd.h"
#include "yuv_matrix.h"

namespace {

// The kernels' tables, value for value (convert_common.cl).
constexpr float kRgbToYuv[6][3][3] = {
    {{0.225613f, 0.582282f, 0.050928f}, {-0.122655f, -0.316560f, 0.439216f}, {0.439216f, -0.403890f, -0.035325f}},
    {{0.182586f, 0.614231f, 0.062007f}, {-0.100644f, -0.338572f, 0.439216f}, {0.439216f, -0.398942f, -0.040274f}},
    {{0.256788f, 0.504129f, 0.097906f}, {-0.148223f, -0.290993f, 0.439216f}, {0.439216f, -0.367788f, -0.071427f}},
    {{0.262700f, 0.678000f, 0.059300f}, {-0.139630f, -0.360370f, 0.500000f}, {0.500000f, -0.459786f, -0.040214f}},
    {{0.212600f, 0.715200f, 0.072200f}, {-0.114572f, -0.385428f, 0.500000f}, {0.500000f, -0.454153f, -0.045847f}},
    {{0.299000f, 0.587000f, 0.114000f}, {-0.168736f, -0.331264f, 0.500000f}, {0.500000f, -0.418688f, -0.081312f}},
};
constexpr float kYuvToRgb[6][3][3] = {
    {{1.164384f, 0.0f, 1.678674f}, {1.164384f, -0.187326f, -0.650424f}, {1.164384f, 2.141772f, 0.0f}},
    {{1.164384f, 0.0f, 1.792741f}, {1.164384f, -0.213249f, -0.532909f}, {1.164384f, 2.112402f, 0.0f}},
    {{1.164384f, 0.0f, 1.596027f}, {1.164384f, -0.391762f, -0.812968f}, {1.164384f, 2.017232f, 0.0f}},
    {{1.0f, 0.0f, 1.474600f}, {1.0f, -0.164553f, -0.571353f}, {1.0f, 1.881400f, 0.0f}},
    {{1.0f, 0.0f, 1.574800f}, {1.0f, -0.187324f, -0.468124f}, {1.0f, 1.855600f, 0.0f}},
    {{1.0f, 0.0f, 1.402000f}, {1.0f, -0.344136f, -0.714136f}, {1.0f, 1.772000f, 0.0f}},
};

int MatrixIndex(int colormatrix) { return std::clamp(colormatrix, 0, 5); }

inline float Clamp(float v, float top) { return v < 0.0f ? 0.0f : (v > top ? top : v); }
// Round to nearest, ties to even, as the vector conversion does in the default mode: adding and
// taking away 1.5 * 2^23 leaves the integer nearest v (|v| < 2^22), without a library call.
inline int Round(float v) { return static_cast<int>((v + 12582912.0f) - 12582912.0f); }

template <typename T>
inline T Sample(const uint8_t* row, int i) {
    T v;
    std::memcpy(&v, row + i * static_cast<int>(sizeof(T)), sizeof(T));
    return v;
}

// --- YUV -> BGRA ------------------------------------------------------------------------------------

// R = (ky Y + yb) + (rv V + rb), G = (ky Y + yb) + ((gu U + gv V) + gb), B = (ky Y + yb) + (bu U + bb),
// A = min(ka A, top); every coefficient of the table's zero entries is left out.
struct DecodeK {
    float ky, yb, rv, rb, gu, gv, gb, bu, bb, ka, top;
};

DecodeK MakeDecode(const YuvMatrixScale& s, int outBytes) {
    const float (*m)[3] = kYuvToRgb[MatrixIndex(s.colormatrix)];
    const float top = outBytes == 2 ? 65535.0f : 255.0f;
    DecodeK k;
    k.ky = m[0][0] * s.norm * top;
    k.yb = -m[0][0] * s.yoffset * top;
    k.rv = m[0][2] * s.norm * top;
    k.rb = -0.5f * m[0][2] * top;
    k.gu = m[1][1] * s.norm * top;
    k.gv = m[1][2] * s.norm * top;
    k.gb = -0.5f * (m[1][1] + m[1][2]) * top;
    k.bu = m[2][1] * s.norm * top;
    k.bb = -0.5f * m[2][1] * top;
    k.ka = s.norm * top;
    k.top = top;
    return k;
}

inline void PutPixel(const DecodeK& k, float Y, float U, float V, const float* A, uint8_t* dst, int outBytes) {
    const float y = k.ky * Y + k.yb;
    const int r = Round(Clamp(y + (k.rv * V + k.rb), k.top));
    const int g = Round(Clamp(y + ((k.gu * U + k.gv * V) + k.gb), k.top));
    const int b = Round(Clamp(y + (k.bu * U + k.bb), k.top));
    const int a = A ? Round(Clamp(k.ka * *A, k.top)) : static_cast<int>(k.top);
    if (outBytes == 1) {
        dst[0] = static_cast<uint8_t>(b), dst[1] = static_cast<uint8_t>(g);
        dst[2] = static_cast<uint8_t>(r), dst[3] = static_cast<uint8_t>(a);
    } else {
        const uint16_t px[4] = {static_cast<uint16_t>(b), static_cast<uint16_t>(g), static_cast<uint16_t>(r),
                                static_cast<uint16_t>(a)};
        std::memcpy(dst, px, sizeof px);
    }
}

// The rows of one output row at the source's own size.
struct DecodeRow {
    const uint8_t *y, *u, *v, *a;
    uint8_t* dst;
};

DecodeRow RowOf(const YuvMatrixPicture& p, uint8_t* dst, int dstPitch, int row) {
    const int cr = row >> p.chromaRowShift;
    DecodeRow r;
    r.y = p.plane[0] + static_cast<size_t>(p.pitch[0]) * row;
    r.u = p.plane[1] + static_cast<size_t>(p.pitch[1]) * cr;
    r.v = p.plane[2] + static_cast<size_t>(p.pitch[2]) * cr;
    r.a = p.plane[3] ? p.plane[3] + static_cast<size_t>(p.pitch[3]) * row : nullptr;
    r.dst = dst + static_cast<size_t>(dstPitch) * row;
    return r;
}

template <typename T>
void DecodeRowC(const DecodeK& k, const DecodeRow& r, int step, int outBytes, int x, int w) {
    for (; x < w; ++x) {
        const int c = (x >> 1) * step;
        const float A = r.a ? static_cast<float>(Sample<T>(r.a, x)) : 0.0f;
        PutPixel(k, static_cast<float>(Sample<T>(r.y, x)), static_cast<float>(Sample<T>(r.u, c)),
                 static_cast<float>(Sample<T>(r.v, c)), r.a ? &A : nullptr, r.dst + 4 * outBytes * x, outBytes);
    }
}

#if ORVEX_MATRIX_X86
// Eight samples from p as floats.
template <typename T>
ORVEX_TARGET_AVX2 inline __m256 Load8f(const uint8_t* p) {
    if constexpr (sizeof(T) == 1)
        return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
    else
        return _mm256_cvtepi32_ps(_mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
}

struct DecodeK256 {
    __m256 ky, yb, rv, rb, gu, gv, gb, bu, bb, ka;
    __m256i opaque;
};

ORVEX_TARGET_AVX2 inline DecodeK256 Broadcast(const DecodeK& k) {
    return {_mm256_set1_ps(k.ky), _mm256_set1_ps(k.yb), _mm256_set1_ps(k.rv), _mm256_set1_ps(k.rb),
            _mm256_set1_ps(k.gu), _mm256_set1_ps(k.gv), _mm256_set1_ps(k.gb), _mm256_set1_ps(k.bu),
            _mm256_set1_ps(k.bb), _mm256_set1_ps(k.ka), _mm256_set1_epi32(static_cast<int>(k.top))};
}

// The chroma terms of R, G and B, each a sum the C body forms the same way.
struct Terms256 {
    __m256 r, g, b;
};

ORVEX_TARGET_AVX2 inline Terms256 ChromaTerms(const DecodeK256& k, __m256 U, __m256 V) {
    return {_mm256_add_ps(_mm256_mul_ps(k.rv, V), k.rb),
            _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(k.gu, U), _mm256_mul_ps(k.gv, V)), k.gb),
            _mm256_add_ps(_mm256_mul_ps(k.bu, U), k.bb)};
}

// Eight pixels from their luma and chroma terms, stored as BGRA bytes or words. Rounding first and
// saturating in the packs gives what clamping first and rounding gives, as the bounds are integers.
ORVEX_TARGET_AVX2 inline void Put8(const DecodeK256& k, __m256 Y, const Terms256& t, const __m256* A, uint8_t* dst,
                                   int outBytes) {
    const __m256 y = _mm256_add_ps(_mm256_mul_ps(k.ky, Y), k.yb);
    const __m256i r = _mm256_cvtps_epi32(_mm256_add_ps(y, t.r));
    const __m256i g = _mm256_cvtps_epi32(_mm256_add_ps(y, t.g));
    const __m256i b = _mm256_cvtps_epi32(_mm256_add_ps(y, t.b));
    const __m256i a = A ? _mm256_cvtps_epi32(_mm256_mul_ps(k.ka, *A)) : k.opaque;
    if (outBytes == 1) {
        // Per 128-bit lane: B0-3 G0-3 R0-3 A0-3 as bytes, then interleaved pixel by pixel.
        const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(b, g), _mm256_packs_epi32(r, a));
        const __m256i order =
            _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), _mm256_shuffle_epi8(bytes, order));
    } else {
        const __m256i bg = _mm256_packus_epi32(b, g), ra = _mm256_packus_epi32(r, a);  // B0-3 G0-3 | R0-3 A0-3
        const __m256i br = _mm256_unpacklo_epi16(bg, ra), ga = _mm256_unpackhi_epi16(bg, ra);
        const __m256i lo = _mm256_unpacklo_epi16(br, ga), hi = _mm256_unpackhi_epi16(br, ga);  // 0 1 | 4 5, 2 3 | 6 7
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), _mm256_permute2x128_si256(lo, hi, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 32), _mm256_permute2x128_si256(lo, hi, 0x31));
    }
}

// Planar chroma: sixteen pixels a step, the terms of their eight chroma samples formed once and
// spread to both pixels of each. Semi-planar chroma: eight pixels a step from one load of four
// Cb, Cr pairs. Returns the pixels done.
template <typename T>
ORVEX_TARGET_AVX2 int DecodeRowAvx2(const DecodeK& kc, const DecodeRow& r, int step, int outBytes, int w) {
    const DecodeK256 k = Broadcast(kc);
    const int sz = static_cast<int>(sizeof(T)), px = 4 * outBytes;
    int x = 0;
    if (step == 2) {
        const __m256i evens = _mm256_setr_epi32(0, 0, 2, 2, 4, 4, 6, 6), odds = _mm256_setr_epi32(1, 1, 3, 3, 5, 5, 7, 7);
        for (; x + 8 <= w; x += 8) {
            const __m256 pairs = Load8f<T>(r.u + x * sz);
            const Terms256 t =
                ChromaTerms(k, _mm256_permutevar8x32_ps(pairs, evens), _mm256_permutevar8x32_ps(pairs, odds));
            Put8(k, Load8f<T>(r.y + x * sz), t, nullptr, r.dst + px * x, outBytes);
        }
        return x;
    }
    const __m256i first = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3), second = _mm256_setr_epi32(4, 4, 5, 5, 6, 6, 7, 7);
    for (; x + 16 <= w; x += 16) {
        const Terms256 t = ChromaTerms(k, Load8f<T>(r.u + (x >> 1) * sz), Load8f<T>(r.v + (x >> 1) * sz));
        const Terms256 t0 = {_mm256_permutevar8x32_ps(t.r, first), _mm256_permutevar8x32_ps(t.g, first),
                             _mm256_permutevar8x32_ps(t.b, first)};
        const Terms256 t1 = {_mm256_permutevar8x32_ps(t.r, second), _mm256_permutevar8x32_ps(t.g, second),
                             _mm256_permutevar8x32_ps(t.b, second)};
        if (r.a) {
            const __m256 a0 = Load8f<T>(r.a + x * sz), a1 = Load8f<T>(r.a + (x + 8) * sz);
            Put8(k, Load8f<T>(r.y + x * sz), t0, &a0, r.dst + px * x, outBytes);
            Put8(k, Load8f<T>(r.y + (x + 8) * sz), t1, &a1, r.dst + px * (x + 8), outBytes);
        } else {
            Put8(k, Load8f<T>(r.y + x * sz), t0, nullptr, r.dst + px * x, outBytes);
            Put8(k, Load8f<T>(r.y + (x + 8) * sz), t1, nullptr, r.dst + px * (x + 8), outBytes);
        }
    }
    return x;
}

// GCC 12's AVX-512 intrinsics start from an undefined vector that it takes for an uninitialised
// one when they are inlined into a function with a target attribute.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// The AVX2 planar body at twice the width: 32 pixels a step, every 128-bit lane as there.
template <typename T>
ORVEX_TARGET_AVX512 inline __m512 Load16f(const uint8_t* p) {
    if constexpr (sizeof(T) == 1)
        return _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
    else
        return _mm512_cvtepi32_ps(_mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))));
}

struct Terms512 {
    __m512 r, g, b;
};

ORVEX_TARGET_AVX512 inline void Put16(const DecodeK& kc, __m512 Y, const Terms512& t, const __m512* A, uint8_t* dst,
                                      int outBytes) {
    const __m512 y = _mm512_add_ps(_mm512_mul_ps(_mm512_set1_ps(kc.ky), Y), _mm512_set1_ps(kc.yb));
    const __m512i r = _mm512_cvtps_epi32(_mm512_add_ps(y, t.r));
    const __m512i g = _mm512_cvtps_epi32(_mm512_add_ps(y, t.g));
    const __m512i b = _mm512_cvtps_epi32(_mm512_add_ps(y, t.b));
    const __m512i a = A ? _mm512_cvtps_epi32(_mm512_mul_ps(_mm512_set1_ps(kc.ka), *A))
                        : _mm512_set1_epi32(static_cast<int>(kc.top));
    if (outBytes == 1) {
        const __m512i bytes = _mm512_packus_epi16(_mm512_packs_epi32(b, g), _mm512_packs_epi32(r, a));
        const __m512i order =
            _mm512_broadcast_i32x4(_mm_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15));
        _mm512_storeu_si512(dst, _mm512_shuffle_epi8(bytes, order));
    } else {
        const __m512i bg = _mm512_packus_epi32(b, g), ra = _mm512_packus_epi32(r, a);
        const __m512i br = _mm512_unpacklo_epi16(bg, ra), ga = _mm512_unpackhi_epi16(bg, ra);
        const __m512i lo = _mm512_unpacklo_epi16(br, ga), hi = _mm512_unpackhi_epi16(br, ga);
        // lo holds pixels 0 1 | 4 5 | 8 9 | 12 13 and hi 2 3 | 6 7 | 10 11 | 14 15, in 64-bit pairs.
        _mm512_storeu_si512(dst, _mm512_permutex2var_epi64(lo, _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11), hi));
        _mm512_storeu_si512(dst + 64, _mm512_permutex2var_epi64(lo, _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15), hi));
    }
}

// Planar chroma only; returns the pixels done.
template <typename T>
ORVEX_TARGET_AVX512 int DecodeRowAvx512(const DecodeK& k, const DecodeRow& r, int outBytes, int w) {
    const int sz = static_cast<int>(sizeof(T)), px = 4 * outBytes;
    const __m512i first = _mm512_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7);
    const __m512i second = _mm512_setr_epi32(8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15);
    const __m512 rv = _mm512_set1_ps(k.rv), rb = _mm512_set1_ps(k.rb), gu = _mm512_set1_ps(k.gu);
    const __m512 gv = _mm512_set1_ps(k.gv), gb = _mm512_set1_ps(k.gb), bu = _mm512_set1_ps(k.bu);
    const __m512 bb = _mm512_set1_ps(k.bb);
    int x = 0;
    for (; x + 32 <= w; x += 32) {
        const __m512 U = Load16f<T>(r.u + (x >> 1) * sz), V = Load16f<T>(r.v + (x >> 1) * sz);
        const __m512 tr = _mm512_add_ps(_mm512_mul_ps(rv, V), rb);
        const __m512 tg = _mm512_add_ps(_mm512_add_ps(_mm512_mul_ps(gu, U), _mm512_mul_ps(gv, V)), gb);
        const __m512 tb = _mm512_add_ps(_mm512_mul_ps(bu, U), bb);
        const Terms512 t0 = {_mm512_permutexvar_ps(first, tr), _mm512_permutexvar_ps(first, tg),
                             _mm512_permutexvar_ps(first, tb)};
        const Terms512 t1 = {_mm512_permutexvar_ps(second, tr), _mm512_permutexvar_ps(second, tg),
                             _mm512_permutexvar_ps(second, tb)};
        if (r.a) {
            const __m512 a0 = Load16f<T>(r.a + x * sz), a1 = Load16f<T>(r.a + (x + 16) * sz);
            Put16(k, Load16f<T>(r.y + x * sz), t0, &a0, r.dst + px * x, outBytes);
            Put16(k, Load16f<T>(r.y + (x + 16) * sz), t1, &a1, r.dst + px * (x + 16), outBytes);
        } else {
            Put16(k, Load16f<T>(r.y + x * sz), t0, nullptr, r.dst + px * x, outBytes);
            Put16(k, Load16f<T>(r.y + (x + 16) * sz), t1, nullptr, r.dst + px * (x + 16), outBytes);
        }
    }
    return x;
}
#pragma GCC diagnostic pop
#endif

// Output rows at the source's size: every sampling kind reads the sample itself there.
void DecodeSameSize(const YuvMatrixPicture& p, const DecodeK& k, uint8_t* dst, int dstPitch, int outBytes) {
    [[maybe_unused]] const YuvSimd simd = imageYuvSimd();
    for (int row = 0; row < p.height; ++row) {
        const DecodeRow r = RowOf(p, dst, dstPitch, row);
        int x = 0;
#if ORVEX_MATRIX_X86
        if (simd >= YuvSimd::Avx512 && p.chromaStep == 1)
            x = p.sampleBytes == 1 ? DecodeRowAvx512<uint8_t>(k, r, outBytes, p.width)
                                   : DecodeRowAvx512<uint16_t>(k, r, outBytes, p.width);
        if (simd >= YuvSimd::Avx2) {
            // The AVX2 body takes the columns the wider one left.
            DecodeRow rest = r;
            const int step = p.chromaStep, sz = p.sampleBytes;
            rest.y += x * sz, rest.a = r.a ? r.a + x * sz : nullptr;
            rest.u += (x >> 1) * step * sz, rest.v += (x >> 1) * step * sz, rest.dst += 4 * outBytes * x;
            x += p.sampleBytes == 1 ? DecodeRowAvx2<uint8_t>(k, rest, step, outBytes, p.width - x)
                                    : DecodeRowAvx2<uint16_t>(k, rest, step, outBytes, p.width - x);
        }
#endif
        if (p.sampleBytes == 1) DecodeRowC<uint8_t>(k, r, p.chromaStep, outBytes, x, p.width);
        else DecodeRowC<uint16_t>(k, r, p.chromaStep, outBytes, x, p.width);
    }
}

// The kernels' sampler (YUV_SAMPLER in convert_common.cl), float for float.
template <typename T>
void DecodeScaled(const YuvMatrixPicture& p, const DecodeK& k, uint8_t* dst, int dstPitch, int outBytes, int dw,
                  int dh, int kind) {
    const int sw = p.width, sh = p.height;
    auto at = [&](int plane, int x, int y) {
        const int row = plane == 0 || plane == 3 ? y : y >> p.chromaRowShift;
        const int col = plane == 0 || plane == 3 ? x : (x >> 1) * p.chromaStep;
        return static_cast<float>(Sample<T>(p.plane[plane] + static_cast<size_t>(p.pitch[plane]) * row, col));
    };
    auto mix = [](float a, float b, float t) { return a + (b - a) * t; };
    const bool alpha = p.plane[3] != nullptr;
    for (int y = 0; y < dh; ++y) {
        uint8_t* out = dst + static_cast<size_t>(dstPitch) * y;
        for (int x = 0; x < dw; ++x) {
            const float sx = (x + 0.5f) * static_cast<float>(sw) / static_cast<float>(dw) - 0.5f;
            const float sy = (y + 0.5f) * static_cast<float>(sh) / static_cast<float>(dh) - 0.5f;
            const float fx0 = std::floor(sx), fy0 = std::floor(sy);
            const int x0 = std::clamp(static_cast<int>(fx0), 0, sw - 1), y0 = std::clamp(static_cast<int>(fy0), 0, sh - 1);
            float Y, U, V, A = 0.0f;
            if (kind == 0) {
                Y = at(0, x0, y0), U = at(1, x0, y0), V = at(2, x0, y0);
                if (alpha) A = at(3, x0, y0);
            } else {
                const int x1 = std::clamp(static_cast<int>(fx0) + 1, 0, sw - 1);
                const int y1 = std::clamp(static_cast<int>(fy0) + 1, 0, sh - 1);
                const float fx = sx - fx0, fy = sy - fy0;
                U = mix(mix(at(1, x0, y0), at(1, x1, y0), fx), mix(at(1, x0, y1), at(1, x1, y1), fx), fy);
                V = mix(mix(at(2, x0, y0), at(2, x1, y0), fx), mix(at(2, x0, y1), at(2, x1, y1), fx), fy);
                if (kind == 2) {
                    const int bx = std::min(static_cast<int>(static_cast<float>(x) * static_cast<float>(sw) / dw), sw - 1);
                    const int by = std::min(static_cast<int>(static_cast<float>(y) * static_cast<float>(sh) / dh), sh - 1);
                    const int bw = static_cast<int>(std::ceil(static_cast<float>(sw) / dw));
                    const int bh = static_cast<int>(std::ceil(static_cast<float>(sh) / dh));
                    float sumY = 0.0f, sumA = 0.0f;
                    int n = 0;
                    for (int j = by; j < std::min(by + bh, sh); ++j)
                        for (int i = bx; i < std::min(bx + bw, sw); ++i, ++n) {
                            sumY += at(0, i, j);
                            if (alpha) sumA += at(3, i, j);
                        }
                    Y = sumY / n;
                    A = sumA / n;
                } else {
                    Y = mix(mix(at(0, x0, y0), at(0, x1, y0), fx), mix(at(0, x0, y1), at(0, x1, y1), fx), fy);
                    if (alpha) A = mix(mix(at(3, x0, y0), at(3, x1, y0), fx), mix(at(3, x0, y1), at(3, x1, y1), fx), fy);
                }
            }
            PutPixel(k, Y, U, V, alpha ? &A : nullptr, out + 4 * outBytes * x, outBytes);
        }
    }
}

bool PictureOk(const YuvMatrixPicture& p) {
    if (p.width < 1 || p.height < 1 || (p.sampleBytes != 1 && p.sampleBytes != 2)) return false;
    if ((p.chromaStep != 1 && p.chromaStep != 2) || (p.chromaRowShift != 0 && p.chromaRowShift != 1)) return false;
    const int cw = (p.width + 1) / 2;
    const int rowBytes[4] = {p.width * p.sampleBytes, cw * p.chromaStep * p.sampleBytes,
                             (cw * p.chromaStep - (p.chromaStep - 1)) * p.sampleBytes, p.width * p.sampleBytes};
    for (int i = 0; i < 4; ++i) {
        if (i == 3 && !p.plane[3]) continue;
        if (!p.plane[i] || p.pitch[i] < rowBytes[i]) return false;
    }
    return true;
}

// --- BGRA -> NV12 / P010 ------------------------------------------------------------------------------

// Y = ((yr R + yg G) + yb B) + yo from one pixel; Cb, Cr the same over the sums of a 2x2 block.
struct EncodeK {
    float yr, yg, yb, yo, ur, ug, ub, vr, vg, vb, mid, top;
    int shift;
};

EncodeK MakeEncode(int colormatrix, bool full, int bits, int shift, int inBytes) {
    const float (*m)[3] = kRgbToYuv[MatrixIndex(colormatrix)];
    const float M = static_cast<float>(1 << bits), top = M - 1.0f;
    const float in = inBytes == 2 ? 65535.0f : 255.0f;
    const float ky = top / in, kc = top / (4.0f * in);
    return {m[0][0] * ky, m[0][1] * ky, m[0][2] * ky, full ? 0.0f : static_cast<float>(16 << (bits - 8)),
            m[1][0] * kc, m[1][1] * kc, m[1][2] * kc, m[2][0] * kc, m[2][1] * kc, m[2][2] * kc, 0.5f * M, top, shift};
}

template <typename In>
inline void Bgr(const uint8_t* row, int x, int* b, int* g, int* r) {
    *b = Sample<In>(row, 4 * x), *g = Sample<In>(row, 4 * x + 1), *r = Sample<In>(row, 4 * x + 2);
}

template <typename Out>
inline void Store(uint8_t* row, int i, int code, int shift) {
    const Out v = static_cast<Out>(code << shift);
    std::memcpy(row + i * static_cast<int>(sizeof(Out)), &v, sizeof v);
}

// Blocks from column x on of a pair of rows (r1 may repeat r0 for an odd last row, y1 null).
template <typename In, typename Out>
void EncodeRowPairC(const EncodeK& k, const uint8_t* r0, const uint8_t* r1, uint8_t* y0, uint8_t* y1, uint8_t* uv,
                    int x, int w) {
    for (; x < w; x += 2) {
        const int xs[2] = {x, std::min(x + 1, w - 1)};
        int sb = 0, sg = 0, sr = 0;
        for (int j = 0; j < 2; ++j) {
            const uint8_t* src = j ? r1 : r0;
            uint8_t* dy = j ? y1 : y0;
            for (int i = 0; i < 2; ++i) {
                int b, g, r;
                Bgr<In>(src, xs[i], &b, &g, &r);
                sb += b, sg += g, sr += r;
                if (dy && x + i < w) {
                    const float yv = ((k.yr * static_cast<float>(r) + k.yg * static_cast<float>(g)) +
                                      k.yb * static_cast<float>(b)) + k.yo;
                    Store<Out>(dy, x + i, Round(Clamp(yv, k.top)), k.shift);
                }
            }
        }
        const float R = static_cast<float>(sr), G = static_cast<float>(sg), B = static_cast<float>(sb);
        const float u = ((k.ur * R + k.ug * G) + k.ub * B) + k.mid;
        const float v = ((k.vr * R + k.vg * G) + k.vb * B) + k.mid;
        Store<Out>(uv, x, Round(Clamp(u, k.top)), k.shift);
        Store<Out>(uv, x + 1, Round(Clamp(v, k.top)), k.shift);
    }
}

#if ORVEX_MATRIX_X86
struct EncodeK256 {
    __m256 yr, yg, yb, yo, ur, ug, ub, vr, vg, vb, mid, top, zero;
};

ORVEX_TARGET_AVX2 inline EncodeK256 Broadcast(const EncodeK& k) {
    return {_mm256_set1_ps(k.yr), _mm256_set1_ps(k.yg), _mm256_set1_ps(k.yb), _mm256_set1_ps(k.yo),
            _mm256_set1_ps(k.ur), _mm256_set1_ps(k.ug), _mm256_set1_ps(k.ub), _mm256_set1_ps(k.vr),
            _mm256_set1_ps(k.vg), _mm256_set1_ps(k.vb), _mm256_set1_ps(k.mid), _mm256_set1_ps(k.top),
            _mm256_setzero_ps()};
}

// B, G, R of eight pixels as 32-bit integers.
template <typename In>
ORVEX_TARGET_AVX2 inline void Load8Bgr(const uint8_t* p, __m256i* b, __m256i* g, __m256i* r) {
    if constexpr (sizeof(In) == 1) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i byte = _mm256_set1_epi32(0xff);
        *b = _mm256_and_si256(v, byte);
        *g = _mm256_and_si256(_mm256_srli_epi32(v, 8), byte);
        *r = _mm256_and_si256(_mm256_srli_epi32(v, 16), byte);
    } else {
        // Each pixel is two 32-bit words, (B, G) and (R, A): gather the first words and the second.
        const __m256i split = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
        const __m256i v0 = _mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), split);
        const __m256i v1 =
            _mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)), split);
        const __m256i bg = _mm256_permute2x128_si256(v0, v1, 0x20), ra = _mm256_permute2x128_si256(v0, v1, 0x31);
        const __m256i word = _mm256_set1_epi32(0xffff);
        *b = _mm256_and_si256(bg, word);
        *g = _mm256_srli_epi32(bg, 16);
        *r = _mm256_and_si256(ra, word);
    }
}

ORVEX_TARGET_AVX2 inline __m256i Weigh(const EncodeK256& k, __m256 kr, __m256 kg, __m256 kb, __m256 off, __m256i r,
                                       __m256i g, __m256i b, __m128i shift) {
    const __m256 v = _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(kr, _mm256_cvtepi32_ps(r)),
                                                               _mm256_mul_ps(kg, _mm256_cvtepi32_ps(g))),
                                                 _mm256_mul_ps(kb, _mm256_cvtepi32_ps(b))),
                                   off);
    return _mm256_sll_epi32(_mm256_cvtps_epi32(_mm256_min_ps(_mm256_max_ps(v, k.zero), k.top)), shift);
}

// Sixteen 32-bit codes (a: 0-7, b: 8-15), each at most 65535, stored in order as Out.
template <typename Out>
ORVEX_TARGET_AVX2 inline void Store16(uint8_t* dst, __m256i a, __m256i b) {
    const __m256i words = _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xD8);
    if constexpr (sizeof(Out) == 2) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), words);
    } else {
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(words, words), 0xD8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm256_castsi256_si128(bytes));
    }
}

// The eight 2x2 block sums of sixteen columns of two rows (p: row 0 pixels 0-7, 8-15, row 1 the
// same): the rows added, then neighbouring columns (hadd works per 128-bit lane).
ORVEX_TARGET_AVX2 inline __m256i BlockSums(const __m256i* p) {
    return _mm256_permute4x64_epi64(
        _mm256_hadd_epi32(_mm256_add_epi32(p[0], p[2]), _mm256_add_epi32(p[1], p[3])), 0xD8);
}

// Sixteen pixels of each row a step; returns the columns done.
template <typename In, typename Out>
ORVEX_TARGET_AVX2 int EncodeRowPairAvx2(const EncodeK& kc, const uint8_t* r0, const uint8_t* r1, uint8_t* y0,
                                        uint8_t* y1, uint8_t* uv, int w) {
    const EncodeK256 k = Broadcast(kc);
    const __m128i shift = _mm_cvtsi32_si128(kc.shift);
    const int px = 4 * static_cast<int>(sizeof(In));
    int x = 0;
    for (; x + 16 <= w; x += 16) {
        __m256i b[4], g[4], r[4];  // row 0 pixels 0-7, 8-15, row 1 pixels 0-7, 8-15
        Load8Bgr<In>(r0 + px * x, &b[0], &g[0], &r[0]);
        Load8Bgr<In>(r0 + px * (x + 8), &b[1], &g[1], &r[1]);
        Load8Bgr<In>(r1 + px * x, &b[2], &g[2], &r[2]);
        Load8Bgr<In>(r1 + px * (x + 8), &b[3], &g[3], &r[3]);
        Store16<Out>(y0 + x * static_cast<int>(sizeof(Out)), Weigh(k, k.yr, k.yg, k.yb, k.yo, r[0], g[0], b[0], shift),
                     Weigh(k, k.yr, k.yg, k.yb, k.yo, r[1], g[1], b[1], shift));
        if (y1)
            Store16<Out>(y1 + x * static_cast<int>(sizeof(Out)),
                         Weigh(k, k.yr, k.yg, k.yb, k.yo, r[2], g[2], b[2], shift),
                         Weigh(k, k.yr, k.yg, k.yb, k.yo, r[3], g[3], b[3], shift));
        const __m256i sb = BlockSums(b), sg = BlockSums(g), sr = BlockSums(r);
        const __m256i u = Weigh(k, k.ur, k.ug, k.ub, k.mid, sr, sg, sb, shift);
        const __m256i v = Weigh(k, k.vr, k.vg, k.vb, k.mid, sr, sg, sb, shift);
        const __m256i lo = _mm256_unpacklo_epi32(u, v), hi = _mm256_unpackhi_epi32(u, v);
        Store16<Out>(uv + x * static_cast<int>(sizeof(Out)), _mm256_permute2x128_si256(lo, hi, 0x20),
                     _mm256_permute2x128_si256(lo, hi, 0x31));
    }
    return x;
}
#endif

#if ORVEX_MATRIX_X86
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// B, G, R of sixteen pixels as 32-bit integers.
template <typename In>
ORVEX_TARGET_AVX512 inline void Load16Bgr(const uint8_t* p, __m512i* b, __m512i* g, __m512i* r) {
    if constexpr (sizeof(In) == 1) {
        const __m512i v = _mm512_loadu_si512(p);
        const __m512i byte = _mm512_set1_epi32(0xff);
        *b = _mm512_and_si512(v, byte);
        *g = _mm512_and_si512(_mm512_srli_epi32(v, 8), byte);
        *r = _mm512_and_si512(_mm512_srli_epi32(v, 16), byte);
    } else {
        // The (B, G) words of the sixteen pixels from two loads, then their (R, A) words.
        const __m512i v0 = _mm512_loadu_si512(p), v1 = _mm512_loadu_si512(p + 64);
        const __m512i even = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
        const __m512i odd = _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
        const __m512i bg = _mm512_permutex2var_epi32(v0, even, v1), ra = _mm512_permutex2var_epi32(v0, odd, v1);
        const __m512i word = _mm512_set1_epi32(0xffff);
        *b = _mm512_and_si512(bg, word);
        *g = _mm512_srli_epi32(bg, 16);
        *r = _mm512_and_si512(ra, word);
    }
}

ORVEX_TARGET_AVX512 inline __m512i Weigh512(float kr, float kg, float kb, float off, float top, __m512i r, __m512i g,
                                            __m512i b, __m128i shift) {
    const __m512 v = _mm512_add_ps(
        _mm512_add_ps(_mm512_add_ps(_mm512_mul_ps(_mm512_set1_ps(kr), _mm512_cvtepi32_ps(r)),
                                    _mm512_mul_ps(_mm512_set1_ps(kg), _mm512_cvtepi32_ps(g))),
                      _mm512_mul_ps(_mm512_set1_ps(kb), _mm512_cvtepi32_ps(b))),
        _mm512_set1_ps(off));
    const __m512 c = _mm512_min_ps(_mm512_max_ps(v, _mm512_setzero_ps()), _mm512_set1_ps(top));
    return _mm512_sll_epi32(_mm512_cvtps_epi32(c), shift);
}

// Thirty-two 32-bit codes (a: 0-15, b: 16-31), each at most 65535, stored in order as Out.
template <typename Out>
ORVEX_TARGET_AVX512 inline void Store32(uint8_t* dst, __m512i a, __m512i b) {
    const __m512i words =
        _mm512_permutexvar_epi64(_mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7), _mm512_packus_epi32(a, b));
    if constexpr (sizeof(Out) == 2) {
        _mm512_storeu_si512(dst, words);
    } else {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), _mm512_cvtepi16_epi8(words));
    }
}

// The sixteen 2x2 block sums of thirty-two columns of two rows (p: row 0 pixels 0-15, 16-31,
// row 1 the same): the rows added, each column added to its neighbour, the even columns kept.
ORVEX_TARGET_AVX512 inline __m512i BlockSums512(const __m512i* p) {
    const __m512i s0 = _mm512_add_epi32(p[0], p[2]), s1 = _mm512_add_epi32(p[1], p[3]);
    const __m512i t0 = _mm512_add_epi32(s0, _mm512_shuffle_epi32(s0, _MM_PERM_CDAB));
    const __m512i t1 = _mm512_add_epi32(s1, _mm512_shuffle_epi32(s1, _MM_PERM_CDAB));
    const __m512i even = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    return _mm512_permutex2var_epi32(t0, even, t1);
}

// The AVX2 body at twice the width: thirty-two pixels of each row a step.
template <typename In, typename Out>
ORVEX_TARGET_AVX512 int EncodeRowPairAvx512(const EncodeK& k, const uint8_t* r0, const uint8_t* r1, uint8_t* y0,
                                            uint8_t* y1, uint8_t* uv, int w) {
    const __m128i shift = _mm_cvtsi32_si128(k.shift);
    const int px = 4 * static_cast<int>(sizeof(In)), ob = static_cast<int>(sizeof(Out));
    int x = 0;
    for (; x + 32 <= w; x += 32) {
        __m512i b[4], g[4], r[4];
        Load16Bgr<In>(r0 + px * x, &b[0], &g[0], &r[0]);
        Load16Bgr<In>(r0 + px * (x + 16), &b[1], &g[1], &r[1]);
        Load16Bgr<In>(r1 + px * x, &b[2], &g[2], &r[2]);
        Load16Bgr<In>(r1 + px * (x + 16), &b[3], &g[3], &r[3]);
        Store32<Out>(y0 + x * ob, Weigh512(k.yr, k.yg, k.yb, k.yo, k.top, r[0], g[0], b[0], shift),
                     Weigh512(k.yr, k.yg, k.yb, k.yo, k.top, r[1], g[1], b[1], shift));
        if (y1)
            Store32<Out>(y1 + x * ob, Weigh512(k.yr, k.yg, k.yb, k.yo, k.top, r[2], g[2], b[2], shift),
                         Weigh512(k.yr, k.yg, k.yb, k.yo, k.top, r[3], g[3], b[3], shift));
        const __m512i sb = BlockSums512(b), sg = BlockSums512(g), sr = BlockSums512(r);
        const __m512i u = Weigh512(k.ur, k.ug, k.ub, k.mid, k.top, sr, sg, sb, shift);
        const __m512i v = Weigh512(k.vr, k.vg, k.vb, k.mid, k.top, sr, sg, sb, shift);
        // U, V pairs in block order: the 128-bit lanes of the unpacks, put back in order.
        const __m512i lo = _mm512_unpacklo_epi32(u, v), hi = _mm512_unpackhi_epi32(u, v);
        Store32<Out>(uv + x * ob,
                     _mm512_permutex2var_epi64(lo, _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11), hi),
                     _mm512_permutex2var_epi64(lo, _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15), hi));
    }
    return x;
}
#pragma GCC diagnostic pop
#endif

template <typename In, typename Out>
void EncodeRows(const EncodeK& k, const uint8_t* src, int srcPitch, uint8_t* dstY, int pitchY, uint8_t* dstUV,
                int pitchUV, int w, int h) {
    [[maybe_unused]] const YuvSimd simd = imageYuvSimd();
    for (int y = 0; y < h; y += 2) {
        const uint8_t* r0 = src + static_cast<size_t>(srcPitch) * y;
        const uint8_t* r1 = y + 1 < h ? r0 + srcPitch : r0;
        uint8_t* y0 = dstY + static_cast<size_t>(pitchY) * y;
        uint8_t* y1 = y + 1 < h ? y0 + pitchY : nullptr;
        uint8_t* uv = dstUV + static_cast<size_t>(pitchUV) * (y / 2);
        int x = 0;
#if ORVEX_MATRIX_X86
        if (simd >= YuvSimd::Avx512) x = EncodeRowPairAvx512<In, Out>(k, r0, r1, y0, y1, uv, w);
        if (simd >= YuvSimd::Avx2) {
            // The AVX2 body takes the columns the wider one left (x is even: whole blocks).
            const int px = 4 * static_cast<int>(sizeof(In)), ob = static_cast<int>(sizeof(Out));
            x += EncodeRowPairAvx2<In, Out>(k, r0 + px * x, r1 + px * x, y0 + ob * x, y1 ? y1 + ob * x : nullptr,
                                            uv + ob * x, w - x);
        }
#endif
        EncodeRowPairC<In, Out>(k, r0, r1, y0, y1, uv, x, w);
    }
}

// --- P010 -> NV12 -------------------------------------------------------------------------------------

constexpr float kWordToByte = 255.0f / 65535.0f;

void NarrowRowC(const uint8_t* src, uint8_t* dst, int x, int n) {
    for (; x < n; ++x) dst[x] = static_cast<uint8_t>(Round(static_cast<float>(Sample<uint16_t>(src, x)) * kWordToByte));
}

#if ORVEX_MATRIX_X86
ORVEX_TARGET_AVX2 int NarrowRowAvx2(const uint8_t* src, uint8_t* dst, int n) {
    const __m256 k = _mm256_set1_ps(kWordToByte);
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        const __m256i a = _mm256_cvtps_epi32(_mm256_mul_ps(Load8f<uint16_t>(src + 2 * x), k));
        const __m256i b = _mm256_cvtps_epi32(_mm256_mul_ps(Load8f<uint16_t>(src + 2 * x + 16), k));
        Store16<uint8_t>(dst + x, a, b);
    }
    return x;
}
#endif

void NarrowPlane(const uint8_t* src, int srcPitch, uint8_t* dst, int dstPitch, int n, int rows) {
    [[maybe_unused]] const YuvSimd simd = imageYuvSimd();
    for (int y = 0; y < rows; ++y) {
        const uint8_t* s = src + static_cast<size_t>(srcPitch) * y;
        uint8_t* d = dst + static_cast<size_t>(dstPitch) * y;
        int x = 0;
#if ORVEX_MATRIX_X86
        if (simd >= YuvSimd::Avx2) x = NarrowRowAvx2(s, d, n);
#endif
        NarrowRowC(s, d, x, n);
    }
}

bool Plane16(const void* p, int pitch, int rowBytes) {
    return p && pitch >= rowBytes && pitch % 2 == 0 && reinterpret_cast<uintptr_t>(p) % 2 == 0;
}

}  // namespace

int imageMatrixYuvToBGRA(const YuvMatrixPicture& src, const YuvMatrixScale& scale, uint8_t* dst, int dstPitch,
                         int dstSampleBytes, int dstWidth, int dstHeight, int kind) {
    if (!PictureOk(src) || !dst || (dstSampleBytes != 1 && dstSampleBytes != 2) || dstWidth < 1 || dstHeight < 1 ||
        dstPitch < 4 * dstSampleBytes * dstWidth)
        return -1;
    const DecodeK k = MakeDecode(scale, dstSampleBytes);
    if (dstWidth == src.width && dstHeight == src.height) {
        DecodeSameSize(src, k, dst, dstPitch, dstSampleBytes);
    } else if (src.sampleBytes == 1) {
        DecodeScaled<uint8_t>(src, k, dst, dstPitch, dstSampleBytes, dstWidth, dstHeight, kind);
    } else {
        DecodeScaled<uint16_t>(src, k, dst, dstPitch, dstSampleBytes, dstWidth, dstHeight, kind);
    }
    return 0;
}

int imageMatrixBGRAToSemiPlanar(const uint8_t* src, int srcPitch, int srcSampleBytes, uint8_t* dstY, int pitchY,
                                uint8_t* dstUV, int pitchUV, int dstSampleBytes, int width, int height,
                                int colormatrix, bool full, int bits, int shift) {
    if (width < 1 || height < 1 || bits < 8 || bits > 16 || shift < 0 || bits + shift > 8 * dstSampleBytes ||
        (srcSampleBytes != 1 && srcSampleBytes != 2) || (dstSampleBytes != 1 && dstSampleBytes != 2))
        return -1;
    const int cw = (width + 1) / 2;
    if (!src || !dstY || !dstUV || srcPitch < 4 * srcSampleBytes * width || pitchY < dstSampleBytes * width ||
        pitchUV < 2 * cw * dstSampleBytes)
        return -1;
    if (srcSampleBytes == 1 && dstSampleBytes == 1 && bits == 8 && shift == 0) {
        // NV12 from bytes: the fixed-point form of the same matrix (that of the YV12 encoders), a
        // third of the float body's work and within one code of it.
        return imageEncodeFixed420(kRgbToYuv[MatrixIndex(colormatrix)], full ? 0 : 16, src, srcPitch, dstY, pitchY,
                                   dstUV, pitchUV, nullptr, 0, width, height);
    }
    const EncodeK k = MakeEncode(colormatrix, full, bits, shift, srcSampleBytes);
    if (srcSampleBytes == 1) {
        EncodeRows<uint8_t, uint16_t>(k, src, srcPitch, dstY, pitchY, dstUV, pitchUV, width, height);
    } else {
        if (dstSampleBytes == 1) EncodeRows<uint16_t, uint8_t>(k, src, srcPitch, dstY, pitchY, dstUV, pitchUV, width, height);
        else EncodeRows<uint16_t, uint16_t>(k, src, srcPitch, dstY, pitchY, dstUV, pitchUV, width, height);
    }
    return 0;
}

int imageP010ToNV12(const uint8_t* srcY, int pitchY, const uint8_t* srcUV, int pitchUV, uint8_t* dstY,
                    int dstPitchY, uint8_t* dstUV, int dstPitchUV, int width, int height) {
    if (width < 1 || height < 1) return -1;
    const int cn = 2 * ((width + 1) / 2), ch = (height + 1) / 2;
    if (!Plane16(srcY, pitchY, 2 * width) || !Plane16(srcUV, pitchUV, 2 * cn) || !dstY || dstPitchY < width ||
        !dstUV || dstPitchUV < cn)
        return -1;
    NarrowPlane(srcY, pitchY, dstY, dstPitchY, width, height);
    NarrowPlane(srcUV, pitchUV, dstUV, dstPitchUV, cn, ch);
    return 0;
}
