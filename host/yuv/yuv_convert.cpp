// Colour conversions between YUV and BGRA, and the repacking between YV12 and NV12, on libyuv
// where it has the conversion; the RGB -> YUV encoders other than BT.601 limited and the 16-bit
// P010 pair are written here. The bodies written here come in plain C, SSE2, AVX2 and AVX-512
// (F and BW), chosen at run time (yuv_simd.h), and all write the same bytes.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include <libyuv.h>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVEX_YUV_X86 1
#define ORVEX_TARGET_AVX2 __attribute__((target("avx2")))
#define ORVEX_TARGET_AVX512 __attribute__((target("avx2,avx512f,avx512bw")))
#else
#define ORVEX_YUV_X86 0
#endif

#include "host/simd/simd_level.h"
#include "host/yuv/yuv_simd.h"
#include "yuv.h"

namespace {

bool PlaneOk(const void* data, int pitch, int rowBytes) { return data && rowBytes > 0 && pitch >= rowBytes; }
bool Plane16Ok(const void* data, int pitch, int rowBytes) {
    return PlaneOk(data, pitch, rowBytes) && pitch % 2 == 0 && reinterpret_cast<uintptr_t>(data) % 2 == 0;
}
int Half(int n) { return (n + 1) / 2; }
bool SizeOk(int w, int h) { return w >= 1 && h >= 1; }

// --- the level of the vector bodies ----------------------------------------------------------------

YuvSimd Hardware() {
#if ORVEX_YUV_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) return YuvSimd::Avx512;
    if (__builtin_cpu_supports("avx2")) return YuvSimd::Avx2;
#endif
#if defined(__SSE2__)
    return YuvSimd::Sse2;
#else
    return YuvSimd::Scalar;
#endif
}

YuvSimd HardwareLevel() {
    static const YuvSimd hardware = Hardware();
    return hardware;
}

std::atomic<int> g_simdCap{static_cast<int>(YuvSimd::Avx512)};

// The level a conversion runs at, read once per call.
YuvSimd Level() {
    return std::min({HardwareLevel(), static_cast<YuvSimd>(g_simdCap.load(std::memory_order_relaxed)),
                     static_cast<YuvSimd>(orvexhost::SimdCap())});
}

// --- YUV -> BGRA through libyuv's matrix conversions ---------------------------------------------
//
// libyuv keeps its chroma coefficients in signed bytes with 6 fractional bits, so the blue
// coefficient of limited-range BT.709 (2.1124) and BT.2020 (2.1418) saturates at 2.0 and blue
// comes out up to 16 codes short. Limited-range input is therefore expanded to full range
// (Y' = (Y - 16) * 255 / 219, C' = 128 + (C - 128) * 255 / 224) a band of rows at a time and
// decoded with the full-range constants of the same standard, whose coefficients all fit.
//
// With AVX2 the two steps are one: the expansion is done in registers and followed by libyuv's
// own arithmetic for its x86 rows (I422ToARGBRow / NV12ToARGBRow: the same instructions on the
// same constants, so the same bytes), without the band in between; columns past the last 32 go
// the two-step way. Should a libyuv release change that arithmetic, the ConvertExact tests, which
// hold the one-step bodies to the two-step way for every code triple, say so.

// Y' = (Y - 16) * 149 / 128 rounded (149 / 128 = 1.1641 for 255 / 219 = 1.1644), saturated.
void ExpandLuma(YuvSimd simd, const uint8_t* src, uint8_t* dst, int n) {
    int i = 0;
#if defined(__SSE2__)
    if (simd >= YuvSimd::Sse2) {
        const __m128i k16 = _mm_set1_epi8(16), zero = _mm_setzero_si128();
        const __m128i mul = _mm_set1_epi16(149), half = _mm_set1_epi16(64);
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_subs_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), k16);
            const __m128i lo =
                _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(v, zero), mul), half), 7);
            const __m128i hi =
                _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(v, zero), mul), half), 7);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
        }
    }
#endif
    for (; i < n; ++i) {
        const int v = src[i] > 16 ? src[i] - 16 : 0;
        dst[i] = static_cast<uint8_t>(std::min(255, (v * 149 + 64) >> 7));
    }
}

// C' = 128 + (C - 128) * 146 / 128 rounded (1.1406 for 255 / 224 = 1.1384), saturated.
void ExpandChroma(YuvSimd simd, const uint8_t* src, uint8_t* dst, int n) {
    int i = 0;
#if defined(__SSE2__)
    if (simd >= YuvSimd::Sse2) {
        const __m128i zero = _mm_setzero_si128(), c128 = _mm_set1_epi16(128);
        const __m128i mul = _mm_set1_epi16(146), half = _mm_set1_epi16(64);
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
            // (C - 128) * 146 + 64 stays within 16 signed bits; the offset goes back after the shift.
            const __m128i lo = _mm_add_epi16(
                _mm_srai_epi16(
                    _mm_add_epi16(_mm_mullo_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(v, zero), c128), mul), half), 7),
                c128);
            const __m128i hi = _mm_add_epi16(
                _mm_srai_epi16(
                    _mm_add_epi16(_mm_mullo_epi16(_mm_sub_epi16(_mm_unpackhi_epi8(v, zero), c128), mul), half), 7),
                c128);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
        }
    }
#endif
    for (; i < n; ++i) {
        const int v = (((src[i] - 128) * 146 + 64) >> 7) + 128;
        dst[i] = static_cast<uint8_t>(std::clamp(v, 0, 255));
    }
}

constexpr int kBandRows = 16;  // even, so that every band starts on a chroma row

// The two-step way: the expansion into a band of rows, then libyuv's call on the band.
int ExpandThenPlanar(const libyuv::YuvConstants* k, YuvSimd simd, const uint8_t* y, int py, const uint8_t* u, int pu,
                     const uint8_t* v, int pv, uint8_t* dst, int pd, int w, int h) {
    const int cw = Half(w);
    thread_local std::vector<uint8_t> band;
    band.resize(static_cast<size_t>(w) * kBandRows + static_cast<size_t>(cw) * kBandRows);
    uint8_t* by = band.data();
    uint8_t* bu = by + static_cast<size_t>(w) * kBandRows;
    uint8_t* bv = bu + static_cast<size_t>(cw) * (kBandRows / 2);
    for (int r0 = 0; r0 < h; r0 += kBandRows) {
        const int rows = std::min(kBandRows, h - r0);
        for (int r = 0; r < rows; ++r)
            ExpandLuma(simd, y + static_cast<size_t>(py) * (r0 + r), by + static_cast<size_t>(w) * r, w);
        for (int r = 0; r < Half(rows); ++r) {
            ExpandChroma(simd, u + static_cast<size_t>(pu) * (r0 / 2 + r), bu + static_cast<size_t>(cw) * r, cw);
            ExpandChroma(simd, v + static_cast<size_t>(pv) * (r0 / 2 + r), bv + static_cast<size_t>(cw) * r, cw);
        }
        if (libyuv::I420ToARGBMatrix(by, w, bu, cw, bv, cw, dst + static_cast<size_t>(pd) * r0, pd, k, w, rows) != 0)
            return 1;
    }
    return 0;
}

int ExpandThenSemiPlanar(const libyuv::YuvConstants* k, YuvSimd simd, const uint8_t* y, int py, const uint8_t* uv,
                         int puv, uint8_t* dst, int pd, int w, int h) {
    const int cw2 = Half(w) * 2;
    thread_local std::vector<uint8_t> band;
    band.resize(static_cast<size_t>(w) * kBandRows + static_cast<size_t>(cw2) * (kBandRows / 2));
    uint8_t* by = band.data();
    uint8_t* buv = by + static_cast<size_t>(w) * kBandRows;
    for (int r0 = 0; r0 < h; r0 += kBandRows) {
        const int rows = std::min(kBandRows, h - r0);
        for (int r = 0; r < rows; ++r)
            ExpandLuma(simd, y + static_cast<size_t>(py) * (r0 + r), by + static_cast<size_t>(w) * r, w);
        for (int r = 0; r < Half(rows); ++r)
            ExpandChroma(simd, uv + static_cast<size_t>(puv) * (r0 / 2 + r), buv + static_cast<size_t>(cw2) * r, cw2);
        if (libyuv::NV12ToARGBMatrix(by, w, buv, cw2, dst + static_cast<size_t>(pd) * r0, pd, k, w, rows) != 0)
            return 1;
    }
    return 0;
}

#if ORVEX_YUV_X86
// --- the one-step bodies ---
//
// Per pixel, as libyuv's x86 rows compute it from the expanded codes Y' and (U', V'):
//   yy = Y' * 257, d = (U' - 128, V' - 128) as signed bytes,
//   y1 = (yy * kYToRgb >> 16) + kYBiasToRgb,
//   B = sat8(sat16(madd(kUVToB, d) + y1) >> 6), G = sat8(sat16(y1 - madd(kUVToG, d)) >> 6),
//   R = sat8(sat16(madd(kUVToR, d) + y1) >> 6), A = 255,
// where madd is pmaddubsw (the coefficient bytes unsigned, d signed). U' - 128 is the expansion's
// offset before its +128, saturated to a signed byte: exactly what libyuv's byte subtraction gives.
//
// Each step of 32 (AVX2) or 64 (AVX-512) pixels: the expanded luma, doubled into 16-bit lanes by
// an unpack, sits in two registers A and B (pixels 0-7 and 8-15 of every 16 in A and B), the
// chroma offsets are laid out beside them, and the packed bytes come back in pixel order.

struct YuvK256 {
    __m256i ub, ug, ur, yg, yb;
};

ORVEX_TARGET_AVX2 inline __m256i Load256(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }

ORVEX_TARGET_AVX2 inline YuvK256 LoadK256(const libyuv::YuvConstants* k) {
    return {Load256(k->kUVToB), Load256(k->kUVToG), Load256(k->kUVToR), Load256(k->kYToRgb), Load256(k->kYBiasToRgb)};
}

// Y' of 32 luma codes, in order.
ORVEX_TARGET_AVX2 inline __m256i ExpandLuma32(__m256i y) {
    const __m256i v = _mm256_subs_epu8(y, _mm256_set1_epi8(16)), zero = _mm256_setzero_si256();
    const __m256i mul = _mm256_set1_epi16(149), half = _mm256_set1_epi16(64);
    const __m256i lo =
        _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(v, zero), mul), half), 7);
    const __m256i hi =
        _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(v, zero), mul), half), 7);
    return _mm256_packus_epi16(lo, hi);
}

// The factor 146 in a register GCC cannot see into: left to itself it turns the multiply into five
// shifts and adds.
ORVEX_TARGET_AVX2 inline __m256i Opaque146x16() {
    __m256i k = _mm256_set1_epi16(146);
    __asm__("" : "+v"(k));
    return k;
}

// ((C - 128) * 146 + 64) >> 7 on 16-bit lanes (k146 from Opaque146x16): C' - 128 before its
// saturation.
ORVEX_TARGET_AVX2 inline __m256i ChromaOffset16(__m256i c, __m256i k146) {
    return _mm256_srai_epi16(
        _mm256_add_epi16(_mm256_mullo_epi16(_mm256_sub_epi16(c, _mm256_set1_epi16(128)), k146), _mm256_set1_epi16(64)),
        7);
}

// B, G, R after the shift, 16 bits each, of the 16 pixels in yy and d.
ORVEX_TARGET_AVX2 inline void Rgb16(const YuvK256& k, __m256i yy, __m256i d, __m256i* b, __m256i* g, __m256i* r) {
    const __m256i y1 = _mm256_add_epi16(_mm256_mulhi_epu16(yy, k.yg), k.yb);
    *b = _mm256_srai_epi16(_mm256_adds_epi16(_mm256_maddubs_epi16(k.ub, d), y1), 6);
    *g = _mm256_srai_epi16(_mm256_subs_epi16(y1, _mm256_maddubs_epi16(k.ug, d)), 6);
    *r = _mm256_srai_epi16(_mm256_adds_epi16(_mm256_maddubs_epi16(k.ur, d), y1), 6);
}

// The 32 BGRA pixels of registers A (pixels 0-7, 16-23) and B (8-15, 24-31) to dst.
ORVEX_TARGET_AVX2 inline void StoreBgra32(const YuvK256& k, __m256i yyA, __m256i dA, __m256i yyB, __m256i dB,
                                          uint8_t* dst) {
    __m256i bA, gA, rA, bB, gB, rB;
    Rgb16(k, yyA, dA, &bA, &gA, &rA);
    Rgb16(k, yyB, dB, &bB, &gB, &rB);
    // Packed, the bytes are in pixel order; groups of four pixels go to 0 2 4 6 | 1 3 5 7 so that
    // the two unpacks below leave eight consecutive pixels in each register.
    const __m256i order = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    const __m256i b = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(bA, bB), order);
    const __m256i g = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(gA, gB), order);
    const __m256i r = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(rA, rB), order);
    const __m256i a = _mm256_set1_epi8(-1);
    const __m256i bg0 = _mm256_unpacklo_epi8(b, g), bg1 = _mm256_unpackhi_epi8(b, g);
    const __m256i ra0 = _mm256_unpacklo_epi8(r, a), ra1 = _mm256_unpackhi_epi8(r, a);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), _mm256_unpacklo_epi16(bg0, ra0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 32), _mm256_unpackhi_epi16(bg0, ra0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 64), _mm256_unpacklo_epi16(bg1, ra1));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 96), _mm256_unpackhi_epi16(bg1, ra1));
}

// One row of planar input; returns the pixels done (a multiple of 32).
ORVEX_TARGET_AVX2 int PlanarRowAvx2(const YuvK256& k, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                                    uint8_t* dst, int w) {
    // The chroma offsets are U0-7 V0-7 | U8-15 V8-15; each pixel pair takes its (U, V) twice.
    const __m256i dupA = _mm256_setr_epi8(0, 8, 0, 8, 1, 9, 1, 9, 2, 10, 2, 10, 3, 11, 3, 11, 0, 8, 0, 8, 1, 9, 1, 9,
                                          2, 10, 2, 10, 3, 11, 3, 11);
    const __m256i dupB = _mm256_setr_epi8(4, 12, 4, 12, 5, 13, 5, 13, 6, 14, 6, 14, 7, 15, 7, 15, 4, 12, 4, 12, 5, 13,
                                          5, 13, 6, 14, 6, 14, 7, 15, 7, 15);
    const __m256i k146 = Opaque146x16();
    int x = 0;
    for (; x + 32 <= w; x += 32) {
        const __m256i y8 = ExpandLuma32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(y + x)));
        const __m256i cu = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u + x / 2)));
        const __m256i cv = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + x / 2)));
        const __m256i d = _mm256_packs_epi16(ChromaOffset16(cu, k146), ChromaOffset16(cv, k146));
        StoreBgra32(k, _mm256_unpacklo_epi8(y8, y8), _mm256_shuffle_epi8(d, dupA), _mm256_unpackhi_epi8(y8, y8),
                    _mm256_shuffle_epi8(d, dupB), dst + 4 * x);
    }
    return x;
}

// One row of semi-planar input (U, V pairs); returns the pixels done (a multiple of 32).
ORVEX_TARGET_AVX2 int SemiRowAvx2(const YuvK256& k, const uint8_t* y, const uint8_t* uv, uint8_t* dst, int w) {
    const __m256i zero = _mm256_setzero_si256(), k146 = Opaque146x16();
    int x = 0;
    for (; x + 32 <= w; x += 32) {
        const __m256i y8 = ExpandLuma32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(y + x)));
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(uv + x));
        // Pairs 0-7 | 8-15 in order, each doubled for its two pixels.
        const __m256i d = _mm256_packs_epi16(ChromaOffset16(_mm256_unpacklo_epi8(c, zero), k146),
                                             ChromaOffset16(_mm256_unpackhi_epi8(c, zero), k146));
        StoreBgra32(k, _mm256_unpacklo_epi8(y8, y8), _mm256_unpacklo_epi16(d, d), _mm256_unpackhi_epi8(y8, y8),
                    _mm256_unpackhi_epi16(d, d), dst + 4 * x);
    }
    return x;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// The same at 64 pixels a step; every 128-bit lane works as in the AVX2 bodies.
struct YuvK512 {
    __m512i ub, ug, ur, yg, yb;
};

// The 32-byte constants in both halves.
ORVEX_TARGET_AVX512 inline __m512i Load512(const void* p) { return _mm512_broadcast_i64x4(Load256(p)); }

ORVEX_TARGET_AVX512 inline YuvK512 LoadK512(const libyuv::YuvConstants* k) {
    return {Load512(k->kUVToB), Load512(k->kUVToG), Load512(k->kUVToR), Load512(k->kYToRgb), Load512(k->kYBiasToRgb)};
}

ORVEX_TARGET_AVX512 inline __m512i ExpandLuma64(__m512i y) {
    const __m512i v = _mm512_subs_epu8(y, _mm512_set1_epi8(16)), zero = _mm512_setzero_si512();
    const __m512i mul = _mm512_set1_epi16(149), half = _mm512_set1_epi16(64);
    const __m512i lo =
        _mm512_srli_epi16(_mm512_add_epi16(_mm512_mullo_epi16(_mm512_unpacklo_epi8(v, zero), mul), half), 7);
    const __m512i hi =
        _mm512_srli_epi16(_mm512_add_epi16(_mm512_mullo_epi16(_mm512_unpackhi_epi8(v, zero), mul), half), 7);
    return _mm512_packus_epi16(lo, hi);
}

ORVEX_TARGET_AVX512 inline __m512i Opaque146x32() {
    __m512i k = _mm512_set1_epi16(146);
    __asm__("" : "+v"(k));
    return k;
}

ORVEX_TARGET_AVX512 inline __m512i ChromaOffset32(__m512i c, __m512i k146) {
    return _mm512_srai_epi16(
        _mm512_add_epi16(_mm512_mullo_epi16(_mm512_sub_epi16(c, _mm512_set1_epi16(128)), k146), _mm512_set1_epi16(64)),
        7);
}

ORVEX_TARGET_AVX512 inline void Rgb32(const YuvK512& k, __m512i yy, __m512i d, __m512i* b, __m512i* g, __m512i* r) {
    const __m512i y1 = _mm512_add_epi16(_mm512_mulhi_epu16(yy, k.yg), k.yb);
    *b = _mm512_srai_epi16(_mm512_adds_epi16(_mm512_maddubs_epi16(k.ub, d), y1), 6);
    *g = _mm512_srai_epi16(_mm512_subs_epi16(y1, _mm512_maddubs_epi16(k.ug, d)), 6);
    *r = _mm512_srai_epi16(_mm512_adds_epi16(_mm512_maddubs_epi16(k.ur, d), y1), 6);
}

// The 64 BGRA pixels of registers A (pixels 0-7 of every 16) and B (8-15 of every 16) to dst.
ORVEX_TARGET_AVX512 inline void StoreBgra64(const YuvK512& k, __m512i yyA, __m512i dA, __m512i yyB, __m512i dB,
                                            uint8_t* dst) {
    __m512i bA, gA, rA, bB, gB, rB;
    Rgb32(k, yyA, dA, &bA, &gA, &rA);
    Rgb32(k, yyB, dB, &bB, &gB, &rB);
    // Group j of four pixels in lane L comes from group 4 j + L, so that the unpacks leave sixteen
    // consecutive pixels in each register.
    const __m512i order = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    const __m512i b = _mm512_permutexvar_epi32(order, _mm512_packus_epi16(bA, bB));
    const __m512i g = _mm512_permutexvar_epi32(order, _mm512_packus_epi16(gA, gB));
    const __m512i r = _mm512_permutexvar_epi32(order, _mm512_packus_epi16(rA, rB));
    const __m512i a = _mm512_set1_epi8(-1);
    const __m512i bg0 = _mm512_unpacklo_epi8(b, g), bg1 = _mm512_unpackhi_epi8(b, g);
    const __m512i ra0 = _mm512_unpacklo_epi8(r, a), ra1 = _mm512_unpackhi_epi8(r, a);
    _mm512_storeu_si512(dst, _mm512_unpacklo_epi16(bg0, ra0));
    _mm512_storeu_si512(dst + 64, _mm512_unpackhi_epi16(bg0, ra0));
    _mm512_storeu_si512(dst + 128, _mm512_unpacklo_epi16(bg1, ra1));
    _mm512_storeu_si512(dst + 192, _mm512_unpackhi_epi16(bg1, ra1));
}

ORVEX_TARGET_AVX512 int PlanarRowAvx512(const YuvK512& k, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                                        uint8_t* dst, int w) {
    const __m512i dupA = _mm512_broadcast_i32x4(_mm_setr_epi8(0, 8, 0, 8, 1, 9, 1, 9, 2, 10, 2, 10, 3, 11, 3, 11));
    const __m512i dupB = _mm512_broadcast_i32x4(_mm_setr_epi8(4, 12, 4, 12, 5, 13, 5, 13, 6, 14, 6, 14, 7, 15, 7, 15));
    const __m512i k146 = Opaque146x32();
    int x = 0;
    for (; x + 64 <= w; x += 64) {
        const __m512i y8 = ExpandLuma64(_mm512_loadu_si512(y + x));
        const __m512i cu = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(u + x / 2)));
        const __m512i cv = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(v + x / 2)));
        const __m512i d = _mm512_packs_epi16(ChromaOffset32(cu, k146), ChromaOffset32(cv, k146));
        StoreBgra64(k, _mm512_unpacklo_epi8(y8, y8), _mm512_shuffle_epi8(d, dupA), _mm512_unpackhi_epi8(y8, y8),
                    _mm512_shuffle_epi8(d, dupB), dst + 4 * x);
    }
    return x;
}

ORVEX_TARGET_AVX512 int SemiRowAvx512(const YuvK512& k, const uint8_t* y, const uint8_t* uv, uint8_t* dst, int w) {
    const __m512i zero = _mm512_setzero_si512(), k146 = Opaque146x32();
    int x = 0;
    for (; x + 64 <= w; x += 64) {
        const __m512i y8 = ExpandLuma64(_mm512_loadu_si512(y + x));
        const __m512i c = _mm512_loadu_si512(uv + x);
        const __m512i d = _mm512_packs_epi16(ChromaOffset32(_mm512_unpacklo_epi8(c, zero), k146),
                                             ChromaOffset32(_mm512_unpackhi_epi8(c, zero), k146));
        StoreBgra64(k, _mm512_unpacklo_epi8(y8, y8), _mm512_unpacklo_epi16(d, d), _mm512_unpackhi_epi8(y8, y8),
                    _mm512_unpackhi_epi16(d, d), dst + 4 * x);
    }
    return x;
}

#pragma GCC diagnostic pop

// The one-step bodies over every row; returns the columns done (the same in every row).
ORVEX_TARGET_AVX512 int OneStepPlanar512(const libyuv::YuvConstants* k, const uint8_t* y, int py, const uint8_t* u,
                                         int pu, const uint8_t* v, int pv, uint8_t* dst, int pd, int w, int h) {
    const YuvK512 k512 = LoadK512(k);
    const YuvK256 k256 = LoadK256(k);
    int done = 0;
    for (int r = 0; r < h; ++r) {
        const uint8_t* yr = y + static_cast<size_t>(py) * r;
        const uint8_t* ur = u + static_cast<size_t>(pu) * (r / 2);
        const uint8_t* vr = v + static_cast<size_t>(pv) * (r / 2);
        uint8_t* d = dst + static_cast<size_t>(pd) * r;
        done = PlanarRowAvx512(k512, yr, ur, vr, d, w);
        done += PlanarRowAvx2(k256, yr + done, ur + done / 2, vr + done / 2, d + 4 * done, w - done);
    }
    return done;
}

ORVEX_TARGET_AVX2 int OneStepPlanar256(const libyuv::YuvConstants* k, const uint8_t* y, int py, const uint8_t* u,
                                       int pu, const uint8_t* v, int pv, uint8_t* dst, int pd, int w, int h) {
    const YuvK256 k256 = LoadK256(k);
    int done = 0;
    for (int r = 0; r < h; ++r)
        done = PlanarRowAvx2(k256, y + static_cast<size_t>(py) * r, u + static_cast<size_t>(pu) * (r / 2),
                             v + static_cast<size_t>(pv) * (r / 2), dst + static_cast<size_t>(pd) * r, w);
    return done;
}

ORVEX_TARGET_AVX512 int OneStepSemi512(const libyuv::YuvConstants* k, const uint8_t* y, int py, const uint8_t* uv,
                                       int puv, uint8_t* dst, int pd, int w, int h) {
    const YuvK512 k512 = LoadK512(k);
    const YuvK256 k256 = LoadK256(k);
    int done = 0;
    for (int r = 0; r < h; ++r) {
        const uint8_t* yr = y + static_cast<size_t>(py) * r;
        const uint8_t* cr = uv + static_cast<size_t>(puv) * (r / 2);
        uint8_t* d = dst + static_cast<size_t>(pd) * r;
        done = SemiRowAvx512(k512, yr, cr, d, w);
        done += SemiRowAvx2(k256, yr + done, cr + done, d + 4 * done, w - done);
    }
    return done;
}

ORVEX_TARGET_AVX2 int OneStepSemi256(const libyuv::YuvConstants* k, const uint8_t* y, int py, const uint8_t* uv,
                                     int puv, uint8_t* dst, int pd, int w, int h) {
    const YuvK256 k256 = LoadK256(k);
    int done = 0;
    for (int r = 0; r < h; ++r)
        done = SemiRowAvx2(k256, y + static_cast<size_t>(py) * r, uv + static_cast<size_t>(puv) * (r / 2),
                           dst + static_cast<size_t>(pd) * r, w);
    return done;
}
#endif

int Planar(const libyuv::YuvConstants* k, bool limited, const uint8_t* y, int py, const uint8_t* u, int pu,
           const uint8_t* v, int pv, uint8_t* dst, int pd, int w, int h) {
    if (!SizeOk(w, h) || !PlaneOk(y, py, w) || !PlaneOk(u, pu, Half(w)) || !PlaneOk(v, pv, Half(w)) ||
        !PlaneOk(dst, pd, w * 4))
        return 1;
    if (!limited) return libyuv::I420ToARGBMatrix(y, py, u, pu, v, pv, dst, pd, k, w, h) == 0 ? 0 : 1;
    const YuvSimd simd = Level();
    int done = 0;  // columns done in one step, a multiple of 32
#if ORVEX_YUV_X86
    if (simd >= YuvSimd::Avx512) done = OneStepPlanar512(k, y, py, u, pu, v, pv, dst, pd, w, h);
    else if (simd >= YuvSimd::Avx2) done = OneStepPlanar256(k, y, py, u, pu, v, pv, dst, pd, w, h);
#endif
    if (done == w) return 0;
    return ExpandThenPlanar(k, simd, y + done, py, u + done / 2, pu, v + done / 2, pv, dst + 4 * done, pd, w - done, h);
}

int SemiPlanar(const libyuv::YuvConstants* k, bool limited, const uint8_t* y, int py, const uint8_t* uv, int puv,
               uint8_t* dst, int pd, int w, int h) {
    if (!SizeOk(w, h) || !PlaneOk(y, py, w) || !PlaneOk(uv, puv, Half(w) * 2) || !PlaneOk(dst, pd, w * 4)) return 1;
    if (!limited) return libyuv::NV12ToARGBMatrix(y, py, uv, puv, dst, pd, k, w, h) == 0 ? 0 : 1;
    const YuvSimd simd = Level();
    int done = 0;
#if ORVEX_YUV_X86
    if (simd >= YuvSimd::Avx512) done = OneStepSemi512(k, y, py, uv, puv, dst, pd, w, h);
    else if (simd >= YuvSimd::Avx2) done = OneStepSemi256(k, y, py, uv, puv, dst, pd, w, h);
#endif
    if (done == w) return 0;
    return ExpandThenSemiPlanar(k, simd, y + done, py, uv + done, puv, dst + 4 * done, pd, w - done, h);
}

// --- BGRA -> YV12 -------------------------------------------------------------------------------------

// Fixed-point encoder with 15 fractional bits (so that every coefficient fits a signed 16-bit
// lane): Y from each pixel, Cb and Cr from the sum of the 2x2 block (so their shift is 17).
// Derived from Kr and Kb of the standard, with luma scaled to 219 and chroma to 224 codes for
// limited range and both to 255 for full range.
struct EncodeMatrix {
    int16_t yb, yg, yr;
    int16_t ub, ug, ur;
    int16_t vb, vg, vr;
    int32_t yBias;
};

constexpr int16_t Fixed(double v) { return static_cast<int16_t>(v * 32768.0 + (v >= 0 ? 0.5 : -0.5)); }

constexpr EncodeMatrix MakeEncode(double kr, double kb, bool full) {
    const double kg = 1.0 - kr - kb;
    const double ys = (full ? 255.0 : 219.0) / 255.0, cs = (full ? 255.0 : 224.0) / 255.0;
    const double cb = 2.0 * (1.0 - kb), cr = 2.0 * (1.0 - kr);
    return EncodeMatrix{Fixed(ys * kb), Fixed(ys * kg), Fixed(ys * kr),
                        Fixed(cs * 0.5), Fixed(-cs * kg / cb), Fixed(-cs * kr / cb),
                        Fixed(-cs * kb / cr), Fixed(-cs * kg / cr), Fixed(cs * 0.5),
                        // offset and half a code for rounding
                        (full ? 0 : 16 << 15) + (1 << 14)};
}

constexpr EncodeMatrix kEncode601F = MakeEncode(0.299, 0.114, true);
constexpr EncodeMatrix kEncode709L = MakeEncode(0.2126, 0.0722, false);
constexpr EncodeMatrix kEncode709F = MakeEncode(0.2126, 0.0722, true);
constexpr EncodeMatrix kEncode2020L = MakeEncode(0.2627, 0.0593, false);
constexpr EncodeMatrix kEncode2020F = MakeEncode(0.2627, 0.0593, true);

constexpr int32_t kChromaBias = (128 << 17) + (1 << 16);

inline uint8_t Clamp255(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

#if ORVEX_YUV_X86
// (p * kp + q * kq + bias) >> shift per 32-bit lane, p and q holding pairs of 16-bit lanes.
ORVEX_TARGET_AVX2 inline __m256i WeighPairs(__m256i p, __m256i kp, __m256i q, __m256i kq, __m256i bias, int shift) {
    return _mm256_srai_epi32(
        _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(p, kp), _mm256_madd_epi16(q, kq)), bias), shift);
}

// Four registers of 32-bit results to bytes, saturated (the groups of four come out out of order).
ORVEX_TARGET_AVX2 inline __m256i Pack4(const __m256i* q) {
    return _mm256_packus_epi16(_mm256_packs_epi32(q[0], q[1]), _mm256_packs_epi32(q[2], q[3]));
}

// AVX2 body of a pair of rows (r1 may be r0 again for an odd last row, with y1 null): 32 pixels
// of each row at a time, every sum the same 32-bit integer as the plain C one. Returns the
// columns it did (a multiple of 32); the SSE2 and C bodies do the rest.
//
// Each pixel's B, G, R, A bytes are split into two pairs of 16-bit lanes, (B, R) by a mask and
// (G, A) by a shift, so that one multiply-add per pair gives a 32-bit partial sum per pixel and
// no lanes need reordering: Y = (yb B + yr R) + (yg G + 0 A) + bias. For the chroma, the two rows'
// pairs are added, each column's pair added to its neighbour's (both columns of a block then hold
// the block's sums), and the multiply-add takes U's coefficients in the block's first column
// and V's in its second, so that the 32-bit results alternate U, V block by block.
ORVEX_TARGET_AVX2 int EncodeRowPairAvx2(const EncodeMatrix& m, const uint8_t* r0, const uint8_t* r1, uint8_t* y0,
                                        uint8_t* y1, uint8_t* u, uint8_t* v, int w) {
    const __m256i lowBytes = _mm256_set1_epi32(0x00ff00ff);
    const __m256i kyBR = _mm256_setr_epi16(m.yb, m.yr, m.yb, m.yr, m.yb, m.yr, m.yb, m.yr, m.yb, m.yr, m.yb, m.yr,
                                           m.yb, m.yr, m.yb, m.yr);
    const __m256i kyGA = _mm256_set1_epi32(static_cast<uint16_t>(m.yg));
    const __m256i kcBR = _mm256_setr_epi16(m.ub, m.ur, m.vb, m.vr, m.ub, m.ur, m.vb, m.vr, m.ub, m.ur, m.vb, m.vr,
                                           m.ub, m.ur, m.vb, m.vr);
    const __m256i kcGA = _mm256_setr_epi16(m.ug, 0, m.vg, 0, m.ug, 0, m.vg, 0, m.ug, 0, m.vg, 0, m.ug, 0, m.vg, 0);
    const __m256i yBias = _mm256_set1_epi32(m.yBias), cBias = _mm256_set1_epi32(kChromaBias);
    // After two packs across four registers the groups of four results come out as 0 2 4 6 | 1 3 5 7.
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    // U (even bytes) to the low half of each 128-bit lane, V (odd bytes) to the high half.
    const __m256i split = _mm256_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15, 0, 2, 4, 6, 8, 10,
                                           12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
    int x = 0;
    for (; x + 32 <= w; x += 32) {
        __m256i ya[4], yb[4], uv[4];
        for (int i = 0; i < 4; ++i) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r0 + 4 * (x + 8 * i)));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r1 + 4 * (x + 8 * i)));
            const __m256i aBR = _mm256_and_si256(a, lowBytes), aGA = _mm256_srli_epi16(a, 8);
            const __m256i bBR = _mm256_and_si256(b, lowBytes), bGA = _mm256_srli_epi16(b, 8);
            ya[i] = WeighPairs(aBR, kyBR, aGA, kyGA, yBias, 15);
            yb[i] = WeighPairs(bBR, kyBR, bGA, kyGA, yBias, 15);
            __m256i sBR = _mm256_add_epi16(aBR, bBR), sGA = _mm256_add_epi16(aGA, bGA);
            sBR = _mm256_add_epi16(sBR, _mm256_shuffle_epi32(sBR, _MM_SHUFFLE(2, 3, 0, 1)));
            sGA = _mm256_add_epi16(sGA, _mm256_shuffle_epi32(sGA, _MM_SHUFFLE(2, 3, 0, 1)));
            uv[i] = WeighPairs(sBR, kcBR, sGA, kcGA, cBias, 17);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(y0 + x), _mm256_permutevar8x32_epi32(Pack4(ya), order));
        if (y1) _mm256_storeu_si256(reinterpret_cast<__m256i*>(y1 + x), _mm256_permutevar8x32_epi32(Pack4(yb), order));
        // Blocks in order, then U0..U7 V0..V7 | U8..U15 V8..V15, then U0..U15 | V0..V15.
        const __m256i c = _mm256_permute4x64_epi64(
            _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(Pack4(uv), order), split), _MM_SHUFFLE(3, 1, 2, 0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(u + x / 2), _mm256_castsi256_si128(c));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(v + x / 2), _mm256_extracti128_si256(c, 1));
    }
    return x;
}

// GCC 12's AVX-512 intrinsics start from an undefined vector that it takes for an uninitialised
// one when they are inlined into a function with a target attribute.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// The AVX2 body at twice the width: 64 pixels of each row at a time, 16 to a register.
ORVEX_TARGET_AVX512 inline __m512i WeighPairs512(__m512i p, __m512i kp, __m512i q, __m512i kq, __m512i bias,
                                                 unsigned shift) {
    return _mm512_srai_epi32(
        _mm512_add_epi32(_mm512_add_epi32(_mm512_madd_epi16(p, kp), _mm512_madd_epi16(q, kq)), bias), shift);
}

ORVEX_TARGET_AVX512 inline __m512i Pack4x512(const __m512i* q) {
    return _mm512_packus_epi16(_mm512_packs_epi32(q[0], q[1]), _mm512_packs_epi32(q[2], q[3]));
}

ORVEX_TARGET_AVX512 int EncodeRowPairAvx512(const EncodeMatrix& m, const uint8_t* r0, const uint8_t* r1, uint8_t* y0,
                                            uint8_t* y1, uint8_t* u, uint8_t* v, int w) {
    const __m512i lowBytes = _mm512_set1_epi32(0x00ff00ff);
    const auto pair = [](int16_t lo, int16_t hi) {
        return static_cast<int32_t>(static_cast<uint16_t>(lo) | static_cast<uint32_t>(static_cast<uint16_t>(hi)) << 16);
    };
    const __m512i kyBR = _mm512_set1_epi32(pair(m.yb, m.yr));
    const __m512i kyGA = _mm512_set1_epi32(static_cast<uint16_t>(m.yg));
    auto quad = [](int16_t a, int16_t b, int16_t c, int16_t d) {
        return static_cast<long long>(static_cast<uint64_t>(static_cast<uint16_t>(a)) |
                                      static_cast<uint64_t>(static_cast<uint16_t>(b)) << 16 |
                                      static_cast<uint64_t>(static_cast<uint16_t>(c)) << 32 |
                                      static_cast<uint64_t>(static_cast<uint16_t>(d)) << 48);
    };
    const __m512i kcBR = _mm512_set1_epi64(quad(m.ub, m.ur, m.vb, m.vr));
    const __m512i kcGA = _mm512_set1_epi64(quad(m.ug, 0, m.vg, 0));
    const __m512i yBias = _mm512_set1_epi32(m.yBias), cBias = _mm512_set1_epi32(kChromaBias);
    // After two packs across four registers the groups of four results come out lane by lane:
    // group i of lane L sits at 4 L + i.
    const __m512i order = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    const __m512i split = _mm512_broadcast_i32x4(_mm_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15));
    const __m512i halves = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
    int x = 0;
    for (; x + 64 <= w; x += 64) {
        __m512i ya[4], yb[4], uv[4];
        for (int i = 0; i < 4; ++i) {
            const __m512i a = _mm512_loadu_si512(r0 + 4 * (x + 16 * i));
            const __m512i b = _mm512_loadu_si512(r1 + 4 * (x + 16 * i));
            const __m512i aBR = _mm512_and_si512(a, lowBytes), aGA = _mm512_srli_epi16(a, 8);
            const __m512i bBR = _mm512_and_si512(b, lowBytes), bGA = _mm512_srli_epi16(b, 8);
            ya[i] = WeighPairs512(aBR, kyBR, aGA, kyGA, yBias, 15);
            yb[i] = WeighPairs512(bBR, kyBR, bGA, kyGA, yBias, 15);
            __m512i sBR = _mm512_add_epi16(aBR, bBR), sGA = _mm512_add_epi16(aGA, bGA);
            sBR = _mm512_add_epi16(sBR, _mm512_shuffle_epi32(sBR, _MM_PERM_CDAB));
            sGA = _mm512_add_epi16(sGA, _mm512_shuffle_epi32(sGA, _MM_PERM_CDAB));
            uv[i] = WeighPairs512(sBR, kcBR, sGA, kcGA, cBias, 17);
        }
        _mm512_storeu_si512(y0 + x, _mm512_permutexvar_epi32(order, Pack4x512(ya)));
        if (y1) _mm512_storeu_si512(y1 + x, _mm512_permutexvar_epi32(order, Pack4x512(yb)));
        // Blocks in order, then U and V apart in each 128-bit lane, then U0..U31 | V0..V31.
        const __m512i c = _mm512_permutexvar_epi64(
            halves, _mm512_shuffle_epi8(_mm512_permutexvar_epi32(order, Pack4x512(uv)), split));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(u + x / 2), _mm512_castsi512_si256(c));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(v + x / 2), _mm512_extracti64x4_epi64(c, 1));
    }
    return x;
}
#pragma GCC diagnostic pop
#endif

#if defined(__SSE2__)
// Sums of the two products of each pixel of lo (pixels 0, 1) and hi (pixels 2, 3), each pixel's
// B, G, R, A widened to 16 bits and weighted by k: four 32-bit results in pixel order.
inline __m128i Weigh4(__m128i lo, __m128i hi, __m128i k) {
    const __m128 a = _mm_castsi128_ps(_mm_madd_epi16(lo, k)), b = _mm_castsi128_ps(_mm_madd_epi16(hi, k));
    return _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))),
                         _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))));
}
inline __m128i Coefficients(int16_t b, int16_t g, int16_t r) { return _mm_setr_epi16(b, g, r, 0, b, g, r, 0); }
#endif

void EncodeLuma(YuvSimd simd, const EncodeMatrix& m, const uint8_t* bgra, uint8_t* y, int w) {
    int x = 0;
#if defined(__SSE2__)
    if (simd >= YuvSimd::Sse2) {
        const __m128i k = Coefficients(m.yb, m.yg, m.yr), zero = _mm_setzero_si128(), bias = _mm_set1_epi32(m.yBias);
        for (; x + 16 <= w; x += 16) {
            __m128i q[4];
            for (int i = 0; i < 4; ++i) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bgra + 4 * (x + 4 * i)));
                q[i] = _mm_srai_epi32(
                    _mm_add_epi32(Weigh4(_mm_unpacklo_epi8(v, zero), _mm_unpackhi_epi8(v, zero), k), bias), 15);
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(y + x),
                             _mm_packus_epi16(_mm_packs_epi32(q[0], q[1]), _mm_packs_epi32(q[2], q[3])));
        }
    }
#endif
    for (; x < w; ++x) {
        const uint8_t* p = bgra + 4 * x;
        y[x] = Clamp255((m.yb * p[0] + m.yg * p[1] + m.yr * p[2] + m.yBias) >> 15);
    }
}

void EncodeChroma(YuvSimd simd, const EncodeMatrix& m, const uint8_t* r0, const uint8_t* r1, uint8_t* u, uint8_t* v,
                  int w) {
    const int pairs = w / 2;
    int c = 0;
#if defined(__SSE2__)
    if (simd >= YuvSimd::Sse2) {
        const __m128i ku = Coefficients(m.ub, m.ug, m.ur), kv = Coefficients(m.vb, m.vg, m.vr);
        const __m128i zero = _mm_setzero_si128(), bias = _mm_set1_epi32(kChromaBias);
        for (; c + 8 <= pairs; c += 8) {
            // Four registers of two 2x2 block sums each (B, G, R, A per block, 16 bits).
            __m128i blocks[4];
            for (int i = 0; i < 4; ++i) {
                const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r0 + 8 * (c + 2 * i)));
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + 8 * (c + 2 * i)));
                const __m128i lo = _mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
                const __m128i hi = _mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
                blocks[i] = _mm_unpacklo_epi64(_mm_add_epi16(lo, _mm_srli_si128(lo, 8)),
                                               _mm_add_epi16(hi, _mm_srli_si128(hi, 8)));
            }
            auto out = [&](__m128i k, uint8_t* dst) {
                const __m128i q0 = _mm_srai_epi32(_mm_add_epi32(Weigh4(blocks[0], blocks[1], k), bias), 17);
                const __m128i q1 = _mm_srai_epi32(_mm_add_epi32(Weigh4(blocks[2], blocks[3], k), bias), 17);
                const __m128i p = _mm_packs_epi32(q0, q1);
                _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + c), _mm_packus_epi16(p, p));
            };
            out(ku, u);
            out(kv, v);
        }
    }
#endif
    for (; c < pairs; ++c) {
        const uint8_t* a = r0 + 8 * c;
        const uint8_t* b = r1 + 8 * c;
        const int32_t sb = a[0] + a[4] + b[0] + b[4];
        const int32_t sg = a[1] + a[5] + b[1] + b[5];
        const int32_t sr = a[2] + a[6] + b[2] + b[6];
        u[c] = Clamp255((m.ub * sb + m.ug * sg + m.ur * sr + kChromaBias) >> 17);
        v[c] = Clamp255((m.vb * sb + m.vg * sg + m.vr * sr + kChromaBias) >> 17);
    }
    if (w & 1) {  // the last column pairs with itself
        const uint8_t* a = r0 + 4 * (w - 1);
        const uint8_t* b = r1 + 4 * (w - 1);
        const int32_t sb = 2 * (a[0] + b[0]), sg = 2 * (a[1] + b[1]), sr = 2 * (a[2] + b[2]);
        u[pairs] = Clamp255((m.ub * sb + m.ug * sg + m.ur * sr + kChromaBias) >> 17);
        v[pairs] = Clamp255((m.vb * sb + m.vg * sg + m.vr * sr + kChromaBias) >> 17);
    }
}

int Encode(const EncodeMatrix& m, const uint8_t* src, int ps, uint8_t* y, int py, uint8_t* u, int pu, uint8_t* v,
           int pv, int w, int h) {
    if (!SizeOk(w, h) || !PlaneOk(src, ps, w * 4) || !PlaneOk(y, py, w) || !PlaneOk(u, pu, Half(w)) ||
        !PlaneOk(v, pv, Half(w)))
        return 1;
    const YuvSimd simd = Level();
    for (int row = 0; row < h; row += 2) {
        const uint8_t* r0 = src + static_cast<size_t>(ps) * row;
        // An odd last row pairs with itself.
        const uint8_t* r1 = row + 1 < h ? r0 + ps : r0;
        uint8_t* y0 = y + static_cast<size_t>(py) * row;
        uint8_t* y1 = row + 1 < h ? y0 + py : nullptr;
        uint8_t* ur = u + static_cast<size_t>(pu) * (row / 2);
        uint8_t* vr = v + static_cast<size_t>(pv) * (row / 2);
        int x = 0;  // columns done by the wider bodies, always even
#if ORVEX_YUV_X86
        if (simd >= YuvSimd::Avx512) {
            // Loads across cache lines cost much here, so the steps go on from where the first row's
            // pixels are 64-byte aligned, when an even number of pixels gets there; one step from
            // the start covers the pixels before (those it shares with the next step come out the
            // same again).
            const int off = static_cast<int>(reinterpret_cast<uintptr_t>(r0) % 64);
            const int lead = off % 8 == 0 && off && w >= 64 + (64 - off) / 4 ? (64 - off) / 4 : 0;
            if (lead) EncodeRowPairAvx512(m, r0, r1, y0, y1, ur, vr, 64);
            x = lead + EncodeRowPairAvx512(m, r0 + 4 * lead, r1 + 4 * lead, y0 + lead, y1 ? y1 + lead : nullptr,
                                           ur + lead / 2, vr + lead / 2, w - lead);
        }
        if (simd >= YuvSimd::Avx2)
            x += EncodeRowPairAvx2(m, r0 + 4 * x, r1 + 4 * x, y0 + x, y1 ? y1 + x : nullptr, ur + x / 2, vr + x / 2,
                                   w - x);
#endif
        EncodeLuma(simd, m, r0 + 4 * x, y0 + x, w - x);
        if (y1) EncodeLuma(simd, m, r1 + 4 * x, y1 + x, w - x);
        EncodeChroma(simd, m, r0 + 4 * x, r1 + 4 * x, ur + x / 2, vr + x / 2, w - x);
    }
    return 0;
}

// --- P010 <-> 16-bit BGRA, BT.2020 limited range ------------------------------------------------------

// BT.2020: Kr 0.2627, Kb 0.0593. 10-bit limited range: luma 64..940, chroma 64..960 around 512.
constexpr double kKr2020 = 0.2627, kKb2020 = 0.0593, kKg2020 = 1.0 - kKr2020 - kKb2020;

inline uint16_t Load16(const uint8_t* row, int i) {
    uint16_t v;
    std::memcpy(&v, row + 2 * i, 2);
    return v;
}
inline void Store16(uint8_t* row, int i, uint16_t v) { std::memcpy(row + 2 * i, &v, 2); }
inline uint16_t Unit16(float v) { return static_cast<uint16_t>(std::lrint(std::clamp(v, 0.0f, 1.0f) * 65535.0f)); }

}  // namespace

YuvSimd imageYuvSimd() { return Level(); }
YuvSimd imageYuvHardwareSimd() { return HardwareLevel(); }
void imageYuvCapSimd(YuvSimd cap) { g_simdCap.store(static_cast<int>(cap), std::memory_order_relaxed); }

int imageYV12ToRGBBT601_Limited(const uint8_t* y, int py, const uint8_t* u, int pu, const uint8_t* v, int pv,
                                uint8_t* dst, int pd, int w, int h) {
    return Planar(&libyuv::kYuvJPEGConstants, true, y, py, u, pu, v, pv, dst, pd, w, h);
}
int imageYV12ToRGBBT601_FULL(const uint8_t* y, int py, const uint8_t* u, int pu, const uint8_t* v, int pv,
                             uint8_t* dst, int pd, int w, int h) {
    return Planar(&libyuv::kYuvJPEGConstants, false, y, py, u, pu, v, pv, dst, pd, w, h);
}
int imageYV12ToRGBBT709_Limited(const uint8_t* y, int py, const uint8_t* u, int pu, const uint8_t* v, int pv,
                                uint8_t* dst, int pd, int w, int h) {
    return Planar(&libyuv::kYuvF709Constants, true, y, py, u, pu, v, pv, dst, pd, w, h);
}
int imageYV12ToRGBBT709_FULL(const uint8_t* y, int py, const uint8_t* u, int pu, const uint8_t* v, int pv,
                             uint8_t* dst, int pd, int w, int h) {
    return Planar(&libyuv::kYuvF709Constants, false, y, py, u, pu, v, pv, dst, pd, w, h);
}
int imageYV12ToRGBBT2020_Limited(const uint8_t* y, int py, const uint8_t* u, int pu, const uint8_t* v, int pv,
                                 uint8_t* dst, int pd, int w, int h) {
    return Planar(&libyuv::kYuvV2020Constants, true, y, py, u, pu, v, pv, dst, pd, w, h);
}
int imageYV12ToRGBBT2020_FULL(const uint8_t* y, int py, const uint8_t* u, int pu, const uint8_t* v, int pv,
                              uint8_t* dst, int pd, int w, int h) {
    return Planar(&libyuv::kYuvV2020Constants, false, y, py, u, pu, v, pv, dst, pd, w, h);
}

int imageNV12ToRGBBT601_Limited(const uint8_t* y, int py, const uint8_t* uv, int puv, uint8_t* dst, int pd, int w,
                                int h) {
    return SemiPlanar(&libyuv::kYuvJPEGConstants, true, y, py, uv, puv, dst, pd, w, h);
}
int imageNV12ToRGBBT601_FULL(const uint8_t* y, int py, const uint8_t* uv, int puv, uint8_t* dst, int pd, int w,
                             int h) {
    return SemiPlanar(&libyuv::kYuvJPEGConstants, false, y, py, uv, puv, dst, pd, w, h);
}
int imageNV12ToRGBBT709_Limited(const uint8_t* y, int py, const uint8_t* uv, int puv, uint8_t* dst, int pd, int w,
                                int h) {
    return SemiPlanar(&libyuv::kYuvF709Constants, true, y, py, uv, puv, dst, pd, w, h);
}
int imageNV12ToRGBBT709_FULL(const uint8_t* y, int py, const uint8_t* uv, int puv, uint8_t* dst, int pd, int w,
                             int h) {
    return SemiPlanar(&libyuv::kYuvF709Constants, false, y, py, uv, puv, dst, pd, w, h);
}
int imageNV12ToRGBBT2020_Limited(const uint8_t* y, int py, const uint8_t* uv, int puv, uint8_t* dst, int pd, int w,
                                 int h) {
    return SemiPlanar(&libyuv::kYuvV2020Constants, true, y, py, uv, puv, dst, pd, w, h);
}
int imageNV12ToRGBBT2020_FULL(const uint8_t* y, int py, const uint8_t* uv, int puv, uint8_t* dst, int pd, int w,
                              int h) {
    return SemiPlanar(&libyuv::kYuvV2020Constants, false, y, py, uv, puv, dst, pd, w, h);
}

// libyuv's own encoder is BT.601 limited range (8-bit coefficients, within a code of the exact
// matrix) and vectorised for the machine at hand.
int imageRGBToYV12BT601_Limited(const uint8_t* s, int ps, uint8_t* y, int py, uint8_t* u, int pu, uint8_t* v, int pv,
                                int w, int h) {
    if (!SizeOk(w, h) || !PlaneOk(s, ps, w * 4) || !PlaneOk(y, py, w) || !PlaneOk(u, pu, Half(w)) ||
        !PlaneOk(v, pv, Half(w)))
        return 1;
    return libyuv::ARGBToI420(s, ps, y, py, u, pu, v, pv, w, h) == 0 ? 0 : 1;
}
int imageRGBToYV12BT601_FULL(const uint8_t* s, int ps, uint8_t* y, int py, uint8_t* u, int pu, uint8_t* v, int pv,
                             int w, int h) {
    return Encode(kEncode601F, s, ps, y, py, u, pu, v, pv, w, h);
}
int imageRGBToYV12BT709_Limited(const uint8_t* s, int ps, uint8_t* y, int py, uint8_t* u, int pu, uint8_t* v, int pv,
                                int w, int h) {
    return Encode(kEncode709L, s, ps, y, py, u, pu, v, pv, w, h);
}
int imageRGBToYV12BT709_FULL(const uint8_t* s, int ps, uint8_t* y, int py, uint8_t* u, int pu, uint8_t* v, int pv,
                             int w, int h) {
    return Encode(kEncode709F, s, ps, y, py, u, pu, v, pv, w, h);
}
int imageRGBToYV12BT2020_Limited(const uint8_t* s, int ps, uint8_t* y, int py, uint8_t* u, int pu, uint8_t* v,
                                 int pv, int w, int h) {
    return Encode(kEncode2020L, s, ps, y, py, u, pu, v, pv, w, h);
}
int imageRGBToYV12BT2020_FULL(const uint8_t* s, int ps, uint8_t* y, int py, uint8_t* u, int pu, uint8_t* v, int pv,
                              int w, int h) {
    return Encode(kEncode2020F, s, ps, y, py, u, pu, v, pv, w, h);
}

int imageP010ToARGB64BT2020_Limited(const uint8_t* srcY, int pitchY, const uint8_t* srcUV, int pitchUV, uint8_t* dst,
                                    int dstPitch, int width, int height) {
    if (!SizeOk(width, height) || !Plane16Ok(srcY, pitchY, width * 2) || !Plane16Ok(srcUV, pitchUV, Half(width) * 4) ||
        !Plane16Ok(dst, dstPitch, width * 8))
        return 1;
    const float ry = 1.0f / 876.0f, rc = 1.0f / 896.0f;
    const float crR = static_cast<float>(2.0 * (1.0 - kKr2020));
    const float cbB = static_cast<float>(2.0 * (1.0 - kKb2020));
    const float cbG = static_cast<float>(-2.0 * (1.0 - kKb2020) * kKb2020 / kKg2020);
    const float crG = static_cast<float>(-2.0 * (1.0 - kKr2020) * kKr2020 / kKg2020);
    for (int row = 0; row < height; ++row) {
        const uint8_t* yr = srcY + static_cast<size_t>(pitchY) * row;
        const uint8_t* cr = srcUV + static_cast<size_t>(pitchUV) * (row / 2);
        uint8_t* d = dst + static_cast<size_t>(dstPitch) * row;
        for (int x = 0; x < width; ++x) {
            // The ten significant bits sit at the top of each word.
            const float Y = ((Load16(yr, x) >> 6) - 64) * ry;
            const float Cb = ((Load16(cr, 2 * (x / 2)) >> 6) - 512) * rc;
            const float Cr = ((Load16(cr, 2 * (x / 2) + 1) >> 6) - 512) * rc;
            Store16(d, 4 * x + 0, Unit16(Y + cbB * Cb));
            Store16(d, 4 * x + 1, Unit16(Y + cbG * Cb + crG * Cr));
            Store16(d, 4 * x + 2, Unit16(Y + crR * Cr));
            Store16(d, 4 * x + 3, 65535);
        }
    }
    return 0;
}

int imageARGB64ToP010BT2020_Limited(const uint8_t* src, int srcPitch, uint8_t* dstY, int pitchY, uint8_t* dstUV,
                                    int pitchUV, int width, int height) {
    if (!SizeOk(width, height) || !Plane16Ok(src, srcPitch, width * 8) || !Plane16Ok(dstY, pitchY, width * 2) ||
        !Plane16Ok(dstUV, pitchUV, Half(width) * 4))
        return 1;
    const float kr = static_cast<float>(kKr2020), kg = static_cast<float>(kKg2020), kb = static_cast<float>(kKb2020);
    const float cb = static_cast<float>(1.0 / (2.0 * (1.0 - kKb2020))), cr = static_cast<float>(1.0 / (2.0 * (1.0 - kKr2020)));
    auto code = [](float v, float offset, float range) {
        const long c = std::lrint(offset + v * range);
        return static_cast<uint16_t>(std::clamp(c, 0L, 1023L) << 6);
    };
    for (int row = 0; row < height; row += 2) {
        const uint8_t* s[2] = {src + static_cast<size_t>(srcPitch) * row,
                               src + static_cast<size_t>(srcPitch) * std::min(row + 1, height - 1)};
        for (int k = 0; k < 2 && row + k < height; ++k) {
            uint8_t* yr = dstY + static_cast<size_t>(pitchY) * (row + k);
            for (int x = 0; x < width; ++x) {
                const float Y = (kr * Load16(s[k], 4 * x + 2) + kg * Load16(s[k], 4 * x + 1) + kb * Load16(s[k], 4 * x)) /
                                65535.0f;
                Store16(yr, x, code(Y, 64.0f, 876.0f));
            }
        }
        uint8_t* cr0 = dstUV + static_cast<size_t>(pitchUV) * (row / 2);
        for (int c = 0; c < Half(width); ++c) {
            const int x0 = 2 * c, x1 = std::min(2 * c + 1, width - 1);
            float R = 0, G = 0, B = 0;
            for (const uint8_t* r : s)
                for (int x : {x0, x1}) {
                    B += Load16(r, 4 * x);
                    G += Load16(r, 4 * x + 1);
                    R += Load16(r, 4 * x + 2);
                }
            R /= 4 * 65535.0f, G /= 4 * 65535.0f, B /= 4 * 65535.0f;
            const float Y = kr * R + kg * G + kb * B;
            Store16(cr0, 2 * c, code((B - Y) * cb, 512.0f, 896.0f));
            Store16(cr0, 2 * c + 1, code((R - Y) * cr, 512.0f, 896.0f));
        }
    }
    return 0;
}

int imageYV12ToNV12(const uint8_t* srcY, int srcPitchY, const uint8_t* srcV, int srcPitchV, const uint8_t* srcU,
                    int srcPitchU, uint8_t* dstY, int dstPitchY, uint8_t* dstUV, int dstPitchUV, int width,
                    int height) {
    if (!SizeOk(width, height) || !PlaneOk(srcY, srcPitchY, width) || !PlaneOk(srcV, srcPitchV, Half(width)) ||
        !PlaneOk(srcU, srcPitchU, Half(width)) || !PlaneOk(dstY, dstPitchY, width) ||
        !PlaneOk(dstUV, dstPitchUV, Half(width) * 2))
        return 1;
    return libyuv::I420ToNV12(srcY, srcPitchY, srcU, srcPitchU, srcV, srcPitchV, dstY, dstPitchY, dstUV, dstPitchUV,
                              width, height) == 0
               ? 0
               : 1;
}

int imageNV12ToYV12(const uint8_t* srcY, int srcPitchY, const uint8_t* srcUV, int srcPitchUV, uint8_t* dstY,
                    int dstPitchY, uint8_t* dstU, int dstPitchU, uint8_t* dstV, int dstPitchV, int width,
                    int height) {
    if (!SizeOk(width, height) || !PlaneOk(srcY, srcPitchY, width) || !PlaneOk(srcUV, srcPitchUV, Half(width) * 2) ||
        !PlaneOk(dstY, dstPitchY, width) || !PlaneOk(dstU, dstPitchU, Half(width)) ||
        !PlaneOk(dstV, dstPitchV, Half(width)))
        return 1;
    return libyuv::NV12ToI420(srcY, srcPitchY, srcUV, srcPitchUV, dstY, dstPitchY, dstU, dstPitchU, dstV, dstPitchV,
                              width, height) == 0
               ? 0
               : 1;
}
