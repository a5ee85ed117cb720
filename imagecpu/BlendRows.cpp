#include "imagecpu/BlendRows.h"
#include "imagecpu/ByteLanes.h"
#include "imagecpu/TableLookup.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVEX_BLEND_X86 1
#define ORVEX_TARGET_AVX2 __attribute__((target("avx2")))
#define ORVEX_TARGET_AVX512 __attribute__((target("avx512f,avx512bw")))
#else
#define ORVEX_BLEND_X86 0
#endif

namespace orvex {

namespace {

std::atomic<bool> g_enabled{true};

#if ORVEX_BLEND_X86

// The lookup path's cap holds for the blend rows too: below VBMI no AVX-512 rows, at plain C none.
bool HasAvx512() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0;
    }();
    return has && BestLookupPath() == LookupPath::Avx512Vbmi;
}

bool HasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has && BestLookupPath() != LookupPath::Scalar;
}

// Lanes hold bytes widened to 16 bits, so every product of two bytes fits.
using lanes::Mul255;

ORVEX_TARGET_AVX2 inline __m256i Div255(__m256i s) {
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(s, _mm256_set1_epi16(1)), _mm256_srli_epi16(s, 8)), 8);
}

// Each pixel's alpha (lane 3 of its four) in all four of its lanes.
ORVEX_TARGET_AVX2 inline __m256i Alphas(__m256i px) {
    return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(px, 0xff), 0xff);
}

// Runs rule(o16, d16) on both halves of 8 pixels, widened per 128-bit lane and packed back in
// the same order; the results are at most 510, which the pack saturates to 255.
template <class Rule>
ORVEX_TARGET_AVX2 inline int EightPixels(const uint8_t* o, uint8_t* d, int pixels, const Rule& rule) {
    const __m256i zero = _mm256_setzero_si256();
    int x = 0;
    for (; x + 8 <= pixels; x += 8) {
        const __m256i ov = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(o + 4 * x));
        const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + 4 * x));
        const __m256i lo = rule(_mm256_unpacklo_epi8(ov, zero), _mm256_unpacklo_epi8(dv, zero));
        const __m256i hi = rule(_mm256_unpackhi_epi8(ov, zero), _mm256_unpackhi_epi8(dv, zero));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 4 * x), _mm256_packus_epi16(lo, hi));
    }
    return x;
}

// A transparent overlay pixel gives a' = 0, which leaves the background as the skip would.
struct MultiplyRule {
    int opacity;
    ORVEX_TARGET_AVX2 __m256i operator()(__m256i o16, __m256i d16) const {
        const __m256i a = Mul255(Alphas(o16), _mm256_set1_epi16(static_cast<int16_t>(opacity)));
        const __m256i inv = _mm256_sub_epi16(_mm256_set1_epi16(255), a);
        return _mm256_add_epi16(Mul255(Mul255(d16, o16), a), Mul255(d16, inv));
    }
};

struct NormalPremultipliedRule {
    int opacity;
    ORVEX_TARGET_AVX2 __m256i operator()(__m256i o16, __m256i d16) const {
        const __m256i op = _mm256_set1_epi16(static_cast<int16_t>(opacity));
        const __m256i alpha = Alphas(o16);
        // Alpha follows the colour rule too: M[o.a][op] is a' itself.
        const __m256i inv = _mm256_sub_epi16(_mm256_set1_epi16(255), Mul255(alpha, op));
        const __m256i blended = _mm256_add_epi16(Mul255(d16, inv), Mul255(o16, op));
        // Pixels whose overlay alpha is 0 keep the background.
        return _mm256_blendv_epi8(blended, d16, _mm256_cmpeq_epi16(alpha, _mm256_setzero_si256()));
    }
};

// a' = 0 leaves the pixel and a' = 255 gives the overlay with alpha 255, as the rule's shortcuts do.
struct NormalStraightRule {
    int opacity;
    ORVEX_TARGET_AVX2 __m256i operator()(__m256i o16, __m256i d16) const {
        const __m256i a = Mul255(Alphas(o16), _mm256_set1_epi16(static_cast<int16_t>(opacity)));
        const __m256i na = _mm256_sub_epi16(_mm256_set1_epi16(255), a);
        const __m256i colour = Div255(_mm256_add_epi16(_mm256_mullo_epi16(o16, a), _mm256_mullo_epi16(d16, na)));
        const __m256i alpha = _mm256_add_epi16(a, Div255(_mm256_mullo_epi16(na, d16)));
        return _mm256_blend_epi16(colour, alpha, 0x88);
    }
};

ORVEX_TARGET_AVX2 int PremultiplyAvx2(const uint8_t* s, uint8_t* d, int pixels) {
    int x = 0;
    for (; x + 8 <= pixels; x += 8) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 4 * x));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 4 * x), lanes::PremultipliedPixels(v));
    }
    return x;
}

// --- any mode table: the table entries gathered, the two scalings computed ------------------------

// Pixels sit one to a 32-bit lane. Bytes times bytes fit the low 16 bits of a lane, so the 16-bit
// multiply gives the whole product and leaves the (zero) high halves at zero.
ORVEX_TARGET_AVX2 inline __m256i Mul255Lanes(__m256i x, __m256i y) {
    const __m256i t = _mm256_add_epi32(_mm256_mullo_epi16(x, y), _mm256_set1_epi32(128));
    return _mm256_srli_epi32(_mm256_add_epi32(t, _mm256_srli_epi32(t, 8)), 8);
}

// d.c = M[T[d.c][o.c]][a'] + M[d.c][255 - a'] for one channel (byte C of each lane). The entry is
// read as the aligned 32-bit word that holds it, so no read leaves the table. A transparent
// overlay pixel gives a' = 0 and the sum M[d.c][255] = d.c, as the skip would.
template <int C>
ORVEX_TARGET_AVX2 inline __m256i TableChannel(__m256i ov, __m256i dv, __m256i a, __m256i inv, const int* words) {
    const __m256i byte = _mm256_set1_epi32(255);
    const __m256i oc = _mm256_and_si256(_mm256_srli_epi32(ov, 8 * C), byte);
    const __m256i dc = _mm256_and_si256(_mm256_srli_epi32(dv, 8 * C), byte);
    const __m256i index = _mm256_or_si256(_mm256_slli_epi32(dc, 8), oc);
    const __m256i word = _mm256_i32gather_epi32(words, _mm256_srli_epi32(index, 2), 4);
    const __m256i shift = _mm256_slli_epi32(_mm256_and_si256(index, _mm256_set1_epi32(3)), 3);
    const __m256i t = _mm256_and_si256(_mm256_srlv_epi32(word, shift), byte);
    return _mm256_slli_epi32(_mm256_add_epi32(Mul255Lanes(t, a), Mul255Lanes(dc, inv)), 8 * C);
}

ORVEX_TARGET_AVX2 int TableAvx2(const uint8_t* o, uint8_t* d, int pixels, int opacity, const uint8_t* table) {
    const int* words = reinterpret_cast<const int*>(table);
    const __m256i op = _mm256_set1_epi32(opacity);
    int x = 0;
    for (; x + 8 <= pixels; x += 8) {
        const __m256i ov = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(o + 4 * x));
        const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + 4 * x));
        const __m256i a = Mul255Lanes(_mm256_srli_epi32(ov, 24), op);
        const __m256i inv = _mm256_sub_epi32(_mm256_set1_epi32(255), a);
        const __m256i px = _mm256_or_si256(
            _mm256_or_si256(TableChannel<0>(ov, dv, a, inv, words), TableChannel<1>(ov, dv, a, inv, words)),
            _mm256_or_si256(TableChannel<2>(ov, dv, a, inv, words), TableChannel<3>(ov, dv, a, inv, words)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 4 * x), px);
    }
    return x;
}

ORVEX_TARGET_AVX2 int MultiplyAvx2(const uint8_t* o, uint8_t* d, int pixels, int opacity) {
    return EightPixels(o, d, pixels, MultiplyRule{opacity});
}
ORVEX_TARGET_AVX2 int NormalPremultipliedAvx2(const uint8_t* o, uint8_t* d, int pixels, int opacity) {
    return EightPixels(o, d, pixels, NormalPremultipliedRule{opacity});
}
ORVEX_TARGET_AVX2 int NormalStraightAvx2(const uint8_t* o, uint8_t* d, int pixels, int opacity) {
    return EightPixels(o, d, pixels, NormalStraightRule{opacity});
}

// --- the same rules on 16 pixels with AVX-512BW ------------------------------------------------------

ORVEX_TARGET_AVX512 inline __m512i Div255(__m512i s) {
    return _mm512_srli_epi16(_mm512_add_epi16(_mm512_add_epi16(s, _mm512_set1_epi16(1)), _mm512_srli_epi16(s, 8)), 8);
}

ORVEX_TARGET_AVX512 inline __m512i Alphas(__m512i px) {
    return _mm512_shufflehi_epi16(_mm512_shufflelo_epi16(px, 0xff), 0xff);
}

template <class Rule>
ORVEX_TARGET_AVX512 inline int SixteenPixels(const uint8_t* o, uint8_t* d, int pixels, const Rule& rule) {
    const __m512i zero = _mm512_setzero_si512();
    int x = 0;
    for (; x + 16 <= pixels; x += 16) {
        const __m512i ov = _mm512_loadu_si512(o + 4 * x);
        const __m512i dv = _mm512_loadu_si512(d + 4 * x);
        const __m512i lo = rule(_mm512_unpacklo_epi8(ov, zero), _mm512_unpacklo_epi8(dv, zero));
        const __m512i hi = rule(_mm512_unpackhi_epi8(ov, zero), _mm512_unpackhi_epi8(dv, zero));
        _mm512_storeu_si512(d + 4 * x, _mm512_packus_epi16(lo, hi));
    }
    return x;
}

struct MultiplyRule512 {
    int opacity;
    ORVEX_TARGET_AVX512 __m512i operator()(__m512i o16, __m512i d16) const {
        const __m512i a = Mul255(Alphas(o16), _mm512_set1_epi16(static_cast<int16_t>(opacity)));
        const __m512i inv = _mm512_sub_epi16(_mm512_set1_epi16(255), a);
        return _mm512_add_epi16(Mul255(Mul255(d16, o16), a), Mul255(d16, inv));
    }
};

struct NormalPremultipliedRule512 {
    int opacity;
    ORVEX_TARGET_AVX512 __m512i operator()(__m512i o16, __m512i d16) const {
        const __m512i op = _mm512_set1_epi16(static_cast<int16_t>(opacity));
        const __m512i alpha = Alphas(o16);
        const __m512i inv = _mm512_sub_epi16(_mm512_set1_epi16(255), Mul255(alpha, op));
        const __m512i blended = _mm512_add_epi16(Mul255(d16, inv), Mul255(o16, op));
        return _mm512_mask_blend_epi16(_mm512_cmpeq_epi16_mask(alpha, _mm512_setzero_si512()), blended, d16);
    }
};

struct NormalStraightRule512 {
    int opacity;
    ORVEX_TARGET_AVX512 __m512i operator()(__m512i o16, __m512i d16) const {
        const __m512i a = Mul255(Alphas(o16), _mm512_set1_epi16(static_cast<int16_t>(opacity)));
        const __m512i na = _mm512_sub_epi16(_mm512_set1_epi16(255), a);
        const __m512i colour = Div255(_mm512_add_epi16(_mm512_mullo_epi16(o16, a), _mm512_mullo_epi16(d16, na)));
        const __m512i alpha = _mm512_add_epi16(a, Div255(_mm512_mullo_epi16(na, d16)));
        return _mm512_mask_blend_epi16(0x88888888u, colour, alpha);
    }
};

ORVEX_TARGET_AVX512 int PremultiplyAvx512(const uint8_t* s, uint8_t* d, int pixels) {
    int x = 0;
    for (; x + 16 <= pixels; x += 16)
        _mm512_storeu_si512(d + 4 * x, lanes::PremultipliedPixels(_mm512_loadu_si512(s + 4 * x)));
    return x + PremultiplyAvx2(s + 4 * x, d + 4 * x, pixels - x);
}

// 16 pixels at a time, then 8 with AVX2.
ORVEX_TARGET_AVX512 int MultiplyAvx512(const uint8_t* o, uint8_t* d, int pixels, int opacity) {
    const int x = SixteenPixels(o, d, pixels, MultiplyRule512{opacity});
    return x + MultiplyAvx2(o + 4 * x, d + 4 * x, pixels - x, opacity);
}
ORVEX_TARGET_AVX512 int NormalPremultipliedAvx512(const uint8_t* o, uint8_t* d, int pixels, int opacity) {
    const int x = SixteenPixels(o, d, pixels, NormalPremultipliedRule512{opacity});
    return x + NormalPremultipliedAvx2(o + 4 * x, d + 4 * x, pixels - x, opacity);
}
ORVEX_TARGET_AVX512 int NormalStraightAvx512(const uint8_t* o, uint8_t* d, int pixels, int opacity) {
    const int x = SixteenPixels(o, d, pixels, NormalStraightRule512{opacity});
    return x + NormalStraightAvx2(o + 4 * x, d + 4 * x, pixels - x, opacity);
}

// Zero-masked shifts and a gather into zeros: GCC 12 warns about the undefined pass-through of the
// plain 32-bit forms.
ORVEX_TARGET_AVX512 inline __m512i Srli32(__m512i v, unsigned n) { return _mm512_maskz_srli_epi32(0xffff, v, n); }
ORVEX_TARGET_AVX512 inline __m512i Slli32(__m512i v, unsigned n) { return _mm512_maskz_slli_epi32(0xffff, v, n); }

ORVEX_TARGET_AVX512 inline __m512i Mul255Lanes(__m512i x, __m512i y) {
    const __m512i t = _mm512_add_epi32(_mm512_mullo_epi16(x, y), _mm512_set1_epi32(128));
    return Srli32(_mm512_add_epi32(t, Srli32(t, 8)), 8);
}

template <int C>
ORVEX_TARGET_AVX512 inline __m512i TableChannel(__m512i ov, __m512i dv, __m512i a, __m512i inv, const int* words) {
    const __m512i byte = _mm512_set1_epi32(255);
    const __m512i oc = _mm512_and_si512(Srli32(ov, 8 * C), byte);
    const __m512i dc = _mm512_and_si512(Srli32(dv, 8 * C), byte);
    const __m512i index = _mm512_or_si512(Slli32(dc, 8), oc);
    const __m512i word = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), 0xffff, Srli32(index, 2), words, 4);
    const __m512i shift = Slli32(_mm512_and_si512(index, _mm512_set1_epi32(3)), 3);
    const __m512i t = _mm512_and_si512(_mm512_maskz_srlv_epi32(0xffff, word, shift), byte);
    return Slli32(_mm512_add_epi32(Mul255Lanes(t, a), Mul255Lanes(dc, inv)), 8 * C);
}

ORVEX_TARGET_AVX512 int TableAvx512(const uint8_t* o, uint8_t* d, int pixels, int opacity, const uint8_t* table) {
    const int* words = reinterpret_cast<const int*>(table);
    const __m512i op = _mm512_set1_epi32(opacity);
    int x = 0;
    for (; x + 16 <= pixels; x += 16) {
        const __m512i ov = _mm512_loadu_si512(o + 4 * x);
        const __m512i dv = _mm512_loadu_si512(d + 4 * x);
        const __m512i a = Mul255Lanes(Srli32(ov, 24), op);
        const __m512i inv = _mm512_sub_epi32(_mm512_set1_epi32(255), a);
        const __m512i px = _mm512_or_si512(
            _mm512_or_si512(TableChannel<0>(ov, dv, a, inv, words), TableChannel<1>(ov, dv, a, inv, words)),
            _mm512_or_si512(TableChannel<2>(ov, dv, a, inv, words), TableChannel<3>(ov, dv, a, inv, words)));
        _mm512_storeu_si512(d + 4 * x, px);
    }
    return x + TableAvx2(o + 4 * x, d + 4 * x, pixels - x, opacity, table);
}

#endif  // ORVEX_BLEND_X86

}  // namespace

void EnableBlendVectors(bool enable) { g_enabled.store(enable, std::memory_order_relaxed); }

int PremultiplyRowVector(const uint8_t* source, uint8_t* destination, int pixels) {
#if ORVEX_BLEND_X86
    if (!g_enabled.load(std::memory_order_relaxed)) return 0;
    if (HasAvx512()) return PremultiplyAvx512(source, destination, pixels);
    if (HasAvx2()) return PremultiplyAvx2(source, destination, pixels);
#endif
    (void)source, (void)destination, (void)pixels;
    return 0;
}

int MultiplyRowVector(const uint8_t* overlay, uint8_t* destination, int pixels, int opacity) {
#if ORVEX_BLEND_X86
    if (!g_enabled.load(std::memory_order_relaxed)) return 0;
    if (HasAvx512()) return MultiplyAvx512(overlay, destination, pixels, opacity);
    if (HasAvx2()) return MultiplyAvx2(overlay, destination, pixels, opacity);
#endif
    (void)overlay, (void)destination, (void)pixels, (void)opacity;
    return 0;
}

int TableRowVector(const uint8_t* overlay, uint8_t* destination, int pixels, int opacity, const uint8_t* table) {
#if ORVEX_BLEND_X86
    if (!g_enabled.load(std::memory_order_relaxed)) return 0;
    if (HasAvx512()) return TableAvx512(overlay, destination, pixels, opacity, table);
    if (HasAvx2()) return TableAvx2(overlay, destination, pixels, opacity, table);
#endif
    (void)overlay, (void)destination, (void)pixels, (void)opacity, (void)table;
    return 0;
}

int NormalPremultipliedRowVector(const uint8_t* overlay, uint8_t* destination, int pixels, int opacity) {
#if ORVEX_BLEND_X86
    if (!g_enabled.load(std::memory_order_relaxed)) return 0;
    if (HasAvx512()) return NormalPremultipliedAvx512(overlay, destination, pixels, opacity);
    if (HasAvx2()) return NormalPremultipliedAvx2(overlay, destination, pixels, opacity);
#endif
    (void)overlay, (void)destination, (void)pixels, (void)opacity;
    return 0;
}

int NormalStraightRowVector(const uint8_t* overlay, uint8_t* destination, int pixels, int opacity) {
#if ORVEX_BLEND_X86
    if (!g_enabled.load(std::memory_order_relaxed)) return 0;
    if (HasAvx512()) return NormalStraightAvx512(overlay, destination, pixels, opacity);
    if (HasAvx2()) return NormalStraightAvx2(overlay, destination, pixels, opacity);
#endif
    (void)overlay, (void)destination, (void)pixels, (void)opacity;
    return 0;
}

}  // namespace orvex
