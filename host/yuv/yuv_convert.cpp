// Colour conversions between YUV and BGRA, and the repacking between YV12 and NV12. The YUV ->
// BGRA decoders, the RGB -> YUV encoders other than BT.601 limited and the 16-bit P010 pair are
// written here; the rest is libyuv. The bodies written here come in plain C, SSE2, AVX2 and AVX-512
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
#include "host/yuv/yuv_fixed_encode.h"
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

// --- YUV -> BGRA ---------------------------------------------------------------------------------
//
// One fixed-point decoder for the six matrices, with the four-decimal coefficients the GPU
// kernels use. Luma is taken as it is, sub-black and super-white included: only the final RGB is
// clamped, so excursions keep their colour through the matrix as in the formula.
//
// Per pixel, in 16-bit lanes (mulhrs(a, b) = (a * b + 2^14) >> 15, every term in 1/64 codes):
//   yt = mulhrs((Y - yOffset) << 7, ky),   ky = coefficient * 2^14;
//   ct = mulhrs((C - 128) << 8, kc),       kc = coefficient * 2^13;
//   R = yt + rv(V), G = yt - (gu(U) + gv(V)), B = yt + bu(U);
//   out = clamp((v + 32) >> 6, 0, 255), alpha 255.
// The shifts keep every operand within 16 signed bits; a sum past 32767 (blue of the brightest
// limited-range codes) saturates in the vector lanes, which the final clamp makes the same byte.
// Each term is within half a 1/64 code of the exact product, so a channel is the formula rounded
// half up, off by one only within a few hundredths of a code of a half.

struct DecodeMatrix {
    int16_t yOffset, ky, rv, gu, gv, bu;
};

constexpr int16_t Q14(double v) { return static_cast<int16_t>(v * 16384.0 + 0.5); }
constexpr int16_t Q13(double v) { return static_cast<int16_t>(v * 8192.0 + 0.5); }
constexpr DecodeMatrix MakeDecode(bool limited, double rv, double gu, double gv, double bu) {
    return DecodeMatrix{static_cast<int16_t>(limited ? 16 : 0), Q14(limited ? 1.1644 : 1.0), Q13(rv), Q13(gu),
                        Q13(gv), Q13(bu)};
}

constexpr DecodeMatrix kDecode601L = MakeDecode(true, 1.5960, 0.3917, 0.8129, 2.0172);
constexpr DecodeMatrix kDecode601F = MakeDecode(false, 1.4020, 0.3441, 0.7141, 1.7720);
constexpr DecodeMatrix kDecode709L = MakeDecode(true, 1.7927, 0.2132, 0.5329, 2.1123);
constexpr DecodeMatrix kDecode709F = MakeDecode(false, 1.5748, 0.1873, 0.4681, 1.8556);
constexpr DecodeMatrix kDecode2020L = MakeDecode(true, 1.6787, 0.1873, 0.6504, 2.1418);
constexpr DecodeMatrix kDecode2020F = MakeDecode(false, 1.4746, 0.1646, 0.5714, 1.8814);

inline int Mulhrs(int a, int b) { return (a * b + (1 << 14)) >> 15; }
inline uint8_t Unit8(int v) { return static_cast<uint8_t>(std::clamp((v + 32) >> 6, 0, 255)); }

// Pixels [x, w) of one row in plain C; chroma sample c of U at u[c * step], of V at v[c * step].
void DecodeRowC(const DecodeMatrix& m, const uint8_t* y, const uint8_t* u, const uint8_t* v, int step, uint8_t* dst,
                int x, int w) {
    for (; x < w; ++x) {
        const int c = (x / 2) * step;
        const int du = (u[c] - 128) * 256, dv = (v[c] - 128) * 256;
        const int yt = Mulhrs((y[x] - m.yOffset) * 128, m.ky);
        uint8_t* d = dst + 4 * x;
        d[0] = Unit8(yt + Mulhrs(du, m.bu));
        d[1] = Unit8(yt - (Mulhrs(du, m.gu) + Mulhrs(dv, m.gv)));
        d[2] = Unit8(yt + Mulhrs(dv, m.rv));
        d[3] = 255;
    }
}

#if ORVEX_YUV_X86
// --- the vector bodies ---
//
// Each step of 32 (AVX2) or 64 (AVX-512) pixels keeps luma in two registers A and B, pixels 0-7
// and 8-15 of every 16 (the order the byte unpacks give), and works the chroma terms out once
// per chroma sample, in order; the 16-bit unpack of a term with itself then doubles it into the
// pixel order of A and B.

struct DecodeK256 {
    __m256i yOffset, ky, rv, gu, gv, bu;
};

ORVEX_TARGET_AVX2 inline DecodeK256 LoadK256(const DecodeMatrix& m) {
    return {_mm256_set1_epi16(m.yOffset), _mm256_set1_epi16(m.ky), _mm256_set1_epi16(m.rv),
            _mm256_set1_epi16(m.gu),      _mm256_set1_epi16(m.gv), _mm256_set1_epi16(m.bu)};
}

// (C - 128) << 8 of 16-bit chroma codes.
ORVEX_TARGET_AVX2 inline __m256i ChromaOffset16(__m256i c) {
    return _mm256_slli_epi16(_mm256_sub_epi16(c, _mm256_set1_epi16(128)), 8);
}

// The 8-bit channel of a sum in 1/64 codes: rounded, then clamped by the pack.
ORVEX_TARGET_AVX2 inline __m256i Round16(__m256i v) {
    return _mm256_srai_epi16(_mm256_adds_epi16(v, _mm256_set1_epi16(32)), 6);
}

// The 32 BGRA pixels of B, G, R values (after Round16) in registers A (pixels 0-7, 16-23) and B
// (8-15, 24-31) to dst.
ORVEX_TARGET_AVX2 inline void StoreBgra32(__m256i bA, __m256i gA, __m256i rA, __m256i bB, __m256i gB, __m256i rB,
                                          uint8_t* dst) {
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

// 32 pixels from 32 luma codes and the 16 (U, V) samples beside them as 16-bit codes in order.
ORVEX_TARGET_AVX2 inline void Decode32(const DecodeK256& k, __m256i y8, __m256i cu, __m256i cv, uint8_t* dst) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i yA = _mm256_mulhrs_epi16(
        _mm256_slli_epi16(_mm256_sub_epi16(_mm256_unpacklo_epi8(y8, zero), k.yOffset), 7), k.ky);
    const __m256i yB = _mm256_mulhrs_epi16(
        _mm256_slli_epi16(_mm256_sub_epi16(_mm256_unpackhi_epi8(y8, zero), k.yOffset), 7), k.ky);
    const __m256i du = ChromaOffset16(cu), dv = ChromaOffset16(cv);
    const __m256i r = _mm256_mulhrs_epi16(dv, k.rv), b = _mm256_mulhrs_epi16(du, k.bu);
    const __m256i g = _mm256_add_epi16(_mm256_mulhrs_epi16(du, k.gu), _mm256_mulhrs_epi16(dv, k.gv));
    StoreBgra32(Round16(_mm256_adds_epi16(yA, _mm256_unpacklo_epi16(b, b))),
                Round16(_mm256_subs_epi16(yA, _mm256_unpacklo_epi16(g, g))),
                Round16(_mm256_adds_epi16(yA, _mm256_unpacklo_epi16(r, r))),
                Round16(_mm256_adds_epi16(yB, _mm256_unpackhi_epi16(b, b))),
                Round16(_mm256_subs_epi16(yB, _mm256_unpackhi_epi16(g, g))),
                Round16(_mm256_adds_epi16(yB, _mm256_unpackhi_epi16(r, r))), dst);
}

// One row of planar input; returns the pixels done (a multiple of 32).
ORVEX_TARGET_AVX2 int PlanarRowAvx2(const DecodeK256& k, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                                    uint8_t* dst, int w) {
    int x = 0;
    for (; x + 32 <= w; x += 32)
        Decode32(k, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y + x)),
                 _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u + x / 2))),
                 _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + x / 2))), dst + 4 * x);
    return x;
}

// One row of semi-planar input (U, V pairs); returns the pixels done (a multiple of 32).
ORVEX_TARGET_AVX2 int SemiRowAvx2(const DecodeK256& k, const uint8_t* y, const uint8_t* uv, uint8_t* dst, int w) {
    int x = 0;
    for (; x + 32 <= w; x += 32) {
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(uv + x));
        Decode32(k, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y + x)),
                 _mm256_and_si256(c, _mm256_set1_epi16(0xff)), _mm256_srli_epi16(c, 8), dst + 4 * x);
    }
    return x;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// The same at 64 pixels a step; every 128-bit lane works as in the AVX2 bodies.
struct DecodeK512 {
    __m512i yOffset, ky, rv, gu, gv, bu;
};

ORVEX_TARGET_AVX512 inline DecodeK512 LoadK512(const DecodeMatrix& m) {
    return {_mm512_set1_epi16(m.yOffset), _mm512_set1_epi16(m.ky), _mm512_set1_epi16(m.rv),
            _mm512_set1_epi16(m.gu),      _mm512_set1_epi16(m.gv), _mm512_set1_epi16(m.bu)};
}

ORVEX_TARGET_AVX512 inline __m512i ChromaOffset32(__m512i c) {
    return _mm512_slli_epi16(_mm512_sub_epi16(c, _mm512_set1_epi16(128)), 8);
}

ORVEX_TARGET_AVX512 inline __m512i Round32(__m512i v) {
    return _mm512_srai_epi16(_mm512_adds_epi16(v, _mm512_set1_epi16(32)), 6);
}

// The 64 BGRA pixels of registers A (pixels 0-7 of every 16) and B (8-15 of every 16) to dst.
ORVEX_TARGET_AVX512 inline void StoreBgra64(__m512i bA, __m512i gA, __m512i rA, __m512i bB, __m512i gB, __m512i rB,
                                            uint8_t* dst) {
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

ORVEX_TARGET_AVX512 inline void Decode64(const DecodeK512& k, __m512i y8, __m512i cu, __m512i cv, uint8_t* dst) {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i yA = _mm512_mulhrs_epi16(
        _mm512_slli_epi16(_mm512_sub_epi16(_mm512_unpacklo_epi8(y8, zero), k.yOffset), 7), k.ky);
    const __m512i yB = _mm512_mulhrs_epi16(
        _mm512_slli_epi16(_mm512_sub_epi16(_mm512_unpackhi_epi8(y8, zero), k.yOffset), 7), k.ky);
    const __m512i du = ChromaOffset32(cu), dv = ChromaOffset32(cv);
    const __m512i r = _mm512_mulhrs_epi16(dv, k.rv), b = _mm512_mulhrs_epi16(du, k.bu);
    const __m512i g = _mm512_add_epi16(_mm512_mulhrs_epi16(du, k.gu), _mm512_mulhrs_epi16(dv, k.gv));
    StoreBgra64(Round32(_mm512_adds_epi16(yA, _mm512_unpacklo_epi16(b, b))),
                Round32(_mm512_subs_epi16(yA, _mm512_unpacklo_epi16(g, g))),
                Round32(_mm512_adds_epi16(yA, _mm512_unpacklo_epi16(r, r))),
                Round32(_mm512_adds_epi16(yB, _mm512_unpackhi_epi16(b, b))),
                Round32(_mm512_subs_epi16(yB, _mm512_unpackhi_epi16(g, g))),
                Round32(_mm512_adds_epi16(yB, _mm512_unpackhi_epi16(r, r))), dst);
}

ORVEX_TARGET_AVX512 int PlanarRowAvx512(const DecodeK512& k, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                                        uint8_t* dst, int w) {
    int x = 0;
    for (; x + 64 <= w; x += 64)
        Decode64(k, _mm512_loadu_si512(y + x),
                 _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(u + x / 2))),
                 _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(v + x / 2))), dst + 4 * x);
    return x;
}

ORVEX_TARGET_AVX512 int SemiRowAvx512(const DecodeK512& k, const uint8_t* y, const uint8_t* uv, uint8_t* dst, int w) {
    int x = 0;
    for (; x + 64 <= w; x += 64) {
        const __m512i c = _mm512_loadu_si512(uv + x);
        Decode64(k, _mm512_loadu_si512(y + x), _mm512_and_si512(c, _mm512_set1_epi16(0xff)),
                 _mm512_srli_epi16(c, 8), dst + 4 * x);
    }
    return x;
}

#pragma GCC diagnostic pop

// The vector bodies over every row; returns the columns done (the same in every row).
ORVEX_TARGET_AVX512 int VectorPlanar512(const DecodeMatrix& m, const uint8_t* y, int py, const uint8_t* u, int pu,
                                        const uint8_t* v, int pv, uint8_t* dst, int pd, int w, int h) {
    const DecodeK512 k512 = LoadK512(m);
    const DecodeK256 k256 = LoadK256(m);
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

ORVEX_TARGET_AVX2 int VectorPlanar256(const DecodeMatrix& m, const uint8_t* y, int py, const uint8_t* u, int pu,
                                      const uint8_t* v, int pv, uint8_t* dst, int pd, int w, int h) {
    const DecodeK256 k256 = LoadK256(m);
    int done = 0;
    for (int r = 0; r < h; ++r)
        done = PlanarRowAvx2(k256, y + static_cast<size_t>(py) * r, u + static_cast<size_t>(pu) * (r / 2),
                             v + static_cast<size_t>(pv) * (r / 2), dst + static_cast<size_t>(pd) * r, w);
    return done;
}

ORVEX_TARGET_AVX512 int VectorSemi512(const DecodeMatrix& m, const uint8_t* y, int py, const uint8_t* uv, int puv,
                                      uint8_t* dst, int pd, int w, int h) {
    const DecodeK512 k512 = LoadK512(m);
    const DecodeK256 k256 = LoadK256(m);
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

ORVEX_TARGET_AVX2 int VectorSemi256(const DecodeMatrix& m, const uint8_t* y, int py, const uint8_t* uv, int puv,
                                    uint8_t* dst, int pd, int w, int h) {
    const DecodeK256 k256 = LoadK256(m);
    int done = 0;
    for (int r = 0; r < h; ++r)
        done = SemiRowAvx2(k256, y + static_cast<size_t>(py) * r, uv + static_cast<size_t>(puv) * (r / 2),
                           dst + static_cast<size_t>(pd) * r, w);
    return done;
}
#endif

int Planar(const DecodeMatrix& m, const uint8_t* y, int py, const uint8_t* u, int pu, const uint8_t* v, int pv,
           uint8_t* dst, int pd, int w, int h) {
    if (!SizeOk(w, h) || !PlaneOk(y, py, w) || !PlaneOk(u, pu, Half(w)) || !PlaneOk(v, pv, Half(w)) ||
        !PlaneOk(dst, pd, w * 4))
        return 1;
    int done = 0;  // columns done by the vector bodies, a multiple of 32
#if ORVEX_YUV_X86
    const YuvSimd simd = Level();
    if (simd >= YuvSimd::Avx512) done = VectorPlanar512(m, y, py, u, pu, v, pv, dst, pd, w, h);
    else if (simd >= YuvSimd::Avx2) done = VectorPlanar256(m, y, py, u, pu, v, pv, dst, pd, w, h);
#endif
    for (int r = 0; done < w && r < h; ++r)
        DecodeRowC(m, y + static_cast<size_t>(py) * r, u + static_cast<size_t>(pu) * (r / 2),
                   v + static_cast<size_t>(pv) * (r / 2), 1, dst + static_cast<size_t>(pd) * r, done, w);
    return 0;
}

int SemiPlanar(const DecodeMatrix& m, const uint8_t* y, int py, const uint8_t* uv, int puv, uint8_t* dst, int pd,
               int w, int h) {
    if (!SizeOk(w, h) || !PlaneOk(y, py, w) || !PlaneOk(uv, puv, Half(w) * 2) || !PlaneOk(dst, pd, w * 4)) return 1;
    int done = 0;
#if ORVEX_YUV_X86
    const YuvSimd simd = Level();
    if (simd >= YuvSimd::Avx512) done = VectorSemi512(m, y, py, uv, puv, dst, pd, w, h);
    else if (simd >= YuvSimd::Avx2) done = VectorSemi256(m, y, py, uv, puv, dst, pd, w, h);
#endif
    for (int r = 0; done < w && r < h; ++r) {
        const uint8_t* c = uv + static_cast<size_t>(puv) * (r / 2);
        DecodeRowC(m, y + static_cast<size_t>(py) * r, c, c + 1, 2, dst + static_cast<size_t>(pd) * r, done, w);
    }
    return 0;
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
        // Blocks in order (the U, V pairs NV12 stores), then U0..U7 V0..V7 | U8..U15 V8..V15, then
        // U0..U15 | V0..V15.
        const __m256i pairs = _mm256_permutevar8x32_epi32(Pack4(uv), order);
        if (!v) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(u + x), pairs);
            continue;
        }
        const __m256i c = _mm256_permute4x64_epi64(_mm256_shuffle_epi8(pairs, split), _MM_SHUFFLE(3, 1, 2, 0));
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
        // Blocks in order (the U, V pairs NV12 stores), then U and V apart in each 128-bit lane, then
        // U0..U31 | V0..V31.
        const __m512i pairs = _mm512_permutexvar_epi32(order, Pack4x512(uv));
        if (!v) {
            _mm512_storeu_si512(u + x, pairs);
            continue;
        }
        const __m512i c = _mm512_permutexvar_epi64(halves, _mm512_shuffle_epi8(pairs, split));
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

// Cb to u and Cr to v, step bytes apart (2 with v = u + 1 for NV12's pairs).
void EncodeChroma(YuvSimd simd, const EncodeMatrix& m, const uint8_t* r0, const uint8_t* r1, uint8_t* u, uint8_t* v,
                  int step, int w) {
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
            auto codes = [&](__m128i k) {
                const __m128i q0 = _mm_srai_epi32(_mm_add_epi32(Weigh4(blocks[0], blocks[1], k), bias), 17);
                const __m128i q1 = _mm_srai_epi32(_mm_add_epi32(Weigh4(blocks[2], blocks[3], k), bias), 17);
                const __m128i p = _mm_packs_epi32(q0, q1);
                return _mm_packus_epi16(p, p);
            };
            const __m128i cu = codes(ku), cv = codes(kv);
            if (step == 2) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(u + 2 * c), _mm_unpacklo_epi8(cu, cv));
            } else {
                _mm_storel_epi64(reinterpret_cast<__m128i*>(u + c), cu);
                _mm_storel_epi64(reinterpret_cast<__m128i*>(v + c), cv);
            }
        }
    }
#endif
    for (; c < pairs; ++c) {
        const uint8_t* a = r0 + 8 * c;
        const uint8_t* b = r1 + 8 * c;
        const int32_t sb = a[0] + a[4] + b[0] + b[4];
        const int32_t sg = a[1] + a[5] + b[1] + b[5];
        const int32_t sr = a[2] + a[6] + b[2] + b[6];
        u[step * c] = Clamp255((m.ub * sb + m.ug * sg + m.ur * sr + kChromaBias) >> 17);
        v[step * c] = Clamp255((m.vb * sb + m.vg * sg + m.vr * sr + kChromaBias) >> 17);
    }
    if (w & 1) {  // the last column pairs with itself
        const uint8_t* a = r0 + 4 * (w - 1);
        const uint8_t* b = r1 + 4 * (w - 1);
        const int32_t sb = 2 * (a[0] + b[0]), sg = 2 * (a[1] + b[1]), sr = 2 * (a[2] + b[2]);
        u[step * pairs] = Clamp255((m.ub * sb + m.ug * sg + m.ur * sr + kChromaBias) >> 17);
        v[step * pairs] = Clamp255((m.vb * sb + m.vg * sg + m.vr * sr + kChromaBias) >> 17);
    }
}

// Chroma to planes u and v, or as Cb, Cr pairs to u when v is null (NV12).
int Encode(const EncodeMatrix& m, const uint8_t* src, int ps, uint8_t* y, int py, uint8_t* u, int pu, uint8_t* v,
           int pv, int w, int h) {
    const bool pairs = !v;
    if (!SizeOk(w, h) || !PlaneOk(src, ps, w * 4) || !PlaneOk(y, py, w) ||
        !PlaneOk(u, pu, pairs ? 2 * Half(w) : Half(w)) || (!pairs && !PlaneOk(v, pv, Half(w))))
        return 1;
    const YuvSimd simd = Level();
    // Column x's chroma sits at byte x of an NV12 row and x / 2 of a planar one.
    const auto at = [pairs](uint8_t* row, int x) { return row ? row + (pairs ? x : x / 2) : nullptr; };
    for (int row = 0; row < h; row += 2) {
        const uint8_t* r0 = src + static_cast<size_t>(ps) * row;
        // An odd last row pairs with itself.
        const uint8_t* r1 = row + 1 < h ? r0 + ps : r0;
        uint8_t* y0 = y + static_cast<size_t>(py) * row;
        uint8_t* y1 = row + 1 < h ? y0 + py : nullptr;
        uint8_t* ur = u + static_cast<size_t>(pu) * (row / 2);
        uint8_t* vr = pairs ? nullptr : v + static_cast<size_t>(pv) * (row / 2);
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
                                           at(ur, lead), at(vr, lead), w - lead);
        }
        if (simd >= YuvSimd::Avx2)
            x += EncodeRowPairAvx2(m, r0 + 4 * x, r1 + 4 * x, y0 + x, y1 ? y1 + x : nullptr, at(ur, x), at(vr, x),
                                   w - x);
#endif
        EncodeLuma(simd, m, r0 + 4 * x, y0 + x, w - x);
        if (y1) EncodeLuma(simd, m, r1 + 4 * x, y1 + x, w - x);
        if (pairs) EncodeChroma(simd, m, r0 + 4 * x, r1 + 4 * x, ur + x, ur + x + 1, 2, w - x);
        else EncodeChroma(simd, m, r0 + 4 * x, r1 + 4 * x, ur + x / 2, vr + x / 2, 1, w - x);
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
    return Planar(kDecode601L, y, py, u, pu, v, pv, dst, pd, w, h);
}
int imageYV12ToRGBBT601_FULL(const uint8_t* y, int py, const uint8_t* u, int pu, const uint8_t* v, int pv,
                             uint8_t* dst, int pd, int w, int h) {
    return Planar(kDecode601F, y, py, u, pu, v, pv, dst, pd, w, h);
}
int imageYV12ToRGBBT709_Limited(const uint8_t* y, int py, const uint8_t* u, int pu, const uint8_t* v, int pv,
                                uint8_t* dst, int pd, int w, int h) {
    return Planar(kDecode709L, y, py, u, pu, v, pv, dst, pd, w, h);
}
int imageYV12ToRGBBT709_FULL(const uint8_t* y, int py, const uint8_t* u, int pu, const uint8_t* v, int pv,
                             uint8_t* dst, int pd, int w, int h) {
    return Planar(kDecode709F, y, py, u, pu, v, pv, dst, pd, w, h);
}
int imageYV12ToRGBBT2020_Limited(const uint8_t* y, int py, const uint8_t* u, int pu, const uint8_t* v, int pv,
                                 uint8_t* dst, int pd, int w, int h) {
    return Planar(kDecode2020L, y, py, u, pu, v, pv, dst, pd, w, h);
}
int imageYV12ToRGBBT2020_FULL(const uint8_t* y, int py, const uint8_t* u, int pu, const uint8_t* v, int pv,
                              uint8_t* dst, int pd, int w, int h) {
    return Planar(kDecode2020F, y, py, u, pu, v, pv, dst, pd, w, h);
}

int imageNV12ToRGBBT601_Limited(const uint8_t* y, int py, const uint8_t* uv, int puv, uint8_t* dst, int pd, int w,
                                int h) {
    return SemiPlanar(kDecode601L, y, py, uv, puv, dst, pd, w, h);
}
int imageNV12ToRGBBT601_FULL(const uint8_t* y, int py, const uint8_t* uv, int puv, uint8_t* dst, int pd, int w,
                             int h) {
    return SemiPlanar(kDecode601F, y, py, uv, puv, dst, pd, w, h);
}
int imageNV12ToRGBBT709_Limited(const uint8_t* y, int py, const uint8_t* uv, int puv, uint8_t* dst, int pd, int w,
                                int h) {
    return SemiPlanar(kDecode709L, y, py, uv, puv, dst, pd, w, h);
}
int imageNV12ToRGBBT709_FULL(const uint8_t* y, int py, const uint8_t* uv, int puv, uint8_t* dst, int pd, int w,
                             int h) {
    return SemiPlanar(kDecode709F, y, py, uv, puv, dst, pd, w, h);
}
int imageNV12ToRGBBT2020_Limited(const uint8_t* y, int py, const uint8_t* uv, int puv, uint8_t* dst, int pd, int w,
                                 int h) {
    return SemiPlanar(kDecode2020L, y, py, uv, puv, dst, pd, w, h);
}
int imageNV12ToRGBBT2020_FULL(const uint8_t* y, int py, const uint8_t* uv, int puv, uint8_t* dst, int pd, int w,
                              int h) {
    return SemiPlanar(kDecode2020F, y, py, uv, puv, dst, pd, w, h);
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

int imageEncodeFixed420(const float m[3][3], int yOffset, const uint8_t* src, int srcPitch, uint8_t* y, int pitchY,
                        uint8_t* u, int pitchU, uint8_t* v, int pitchV, int width, int height) {
    if (yOffset < 0 || yOffset > 255) return 1;
    const EncodeMatrix k{Fixed(m[0][2]), Fixed(m[0][1]), Fixed(m[0][0]), Fixed(m[1][2]), Fixed(m[1][1]),
                         Fixed(m[1][0]), Fixed(m[2][2]), Fixed(m[2][1]), Fixed(m[2][0]), (yOffset << 15) + (1 << 14)};
    return Encode(k, src, srcPitch, y, pitchY, u, pitchU, v, pitchV, width, height);
}

int imageP010ToARGB64(const uint8_t* srcY, int pitchY, const uint8_t* srcUV, int pitchUV, uint8_t* dst, int dstPitch,
                      int width, int height, double kr, double kb, bool fullRange) {
    if (!SizeOk(width, height) || !Plane16Ok(srcY, pitchY, width * 2) || !Plane16Ok(srcUV, pitchUV, Half(width) * 4) ||
        !Plane16Ok(dst, dstPitch, width * 8) || !(kr > 0 && kb > 0 && kr + kb < 1))
        return 1;
    // 10-bit codes: limited range luma 64..940 and chroma 64..960 around 512, full range 0..1023.
    const int yOffset = fullRange ? 0 : 64;
    const float ry = fullRange ? 1.0f / 1023.0f : 1.0f / 876.0f, rc = fullRange ? 1.0f / 1023.0f : 1.0f / 896.0f;
    const double kg = 1.0 - kr - kb;
    const float crR = static_cast<float>(2.0 * (1.0 - kr));
    const float cbB = static_cast<float>(2.0 * (1.0 - kb));
    const float cbG = static_cast<float>(-2.0 * (1.0 - kb) * kb / kg);
    const float crG = static_cast<float>(-2.0 * (1.0 - kr) * kr / kg);
    for (int row = 0; row < height; ++row) {
        const uint8_t* yr = srcY + static_cast<size_t>(pitchY) * row;
        const uint8_t* cr = srcUV + static_cast<size_t>(pitchUV) * (row / 2);
        uint8_t* d = dst + static_cast<size_t>(dstPitch) * row;
        for (int x = 0; x < width; ++x) {
            // The ten significant bits sit at the top of each word.
            const float Y = ((Load16(yr, x) >> 6) - yOffset) * ry;
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

int imageP010ToARGB64BT2020_Limited(const uint8_t* srcY, int pitchY, const uint8_t* srcUV, int pitchUV, uint8_t* dst,
                                    int dstPitch, int width, int height) {
    return imageP010ToARGB64(srcY, pitchY, srcUV, pitchUV, dst, dstPitch, width, height, kKr2020, kKb2020, false);
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
