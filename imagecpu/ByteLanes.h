#pragma once
// Byte products in vector lanes, shared by the blend rows and the table lookups. The multiply
// table's rounding M[x][y] = (x*y + 127) div 255 is, with t = x*y + 128 (at most 65153),
// (t + (t >> 8)) >> 8 = (t * 257) >> 16: the high half of one unsigned 16-bit multiply.
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace orvex::lanes {

#define ORVEX_LANES_AVX2 __attribute__((target("avx2")))
#define ORVEX_LANES_AVX512 __attribute__((target("avx512f,avx512bw")))

// M[x][y] on bytes widened to 16-bit lanes.
ORVEX_LANES_AVX2 inline __m256i Mul255(__m256i x16, __m256i y16) {
    const __m256i t = _mm256_add_epi16(_mm256_mullo_epi16(x16, y16), _mm256_set1_epi16(128));
    return _mm256_mulhi_epu16(t, _mm256_set1_epi16(257));
}
ORVEX_LANES_AVX512 inline __m512i Mul255(__m512i x16, __m512i y16) {
    const __m512i t = _mm512_add_epi16(_mm512_mullo_epi16(x16, y16), _mm512_set1_epi16(128));
    return _mm512_mulhi_epu16(t, _mm512_set1_epi16(257));
}

// Premultiplication of interleaved BGRA pixels: d.c = M[s.c][s.a], d.a = s.a. Each 16-bit lane's
// multiplier is its pixel's alpha, or 255 in the alpha lane, which keeps alpha (M[a][255] = a).
// The shuffles and unpacks work per 128-bit lane, so the bytes come back in their order.
ORVEX_LANES_AVX2 inline __m256i PremultipliedPixels(__m256i px) {
    const char z = static_cast<char>(0x80);
    const __m128i lo = _mm_setr_epi8(3, z, 3, z, 3, z, z, z, 7, z, 7, z, 7, z, z, z);
    const __m128i hi = _mm_setr_epi8(11, z, 11, z, 11, z, z, z, 15, z, 15, z, 15, z, z, z);
    const __m256i keep = _mm256_set1_epi64x(static_cast<long long>(0x00ff000000000000ull));
    const __m256i aLo = _mm256_or_si256(_mm256_shuffle_epi8(px, _mm256_broadcastsi128_si256(lo)), keep);
    const __m256i aHi = _mm256_or_si256(_mm256_shuffle_epi8(px, _mm256_broadcastsi128_si256(hi)), keep);
    const __m256i zero = _mm256_setzero_si256();
    return _mm256_packus_epi16(Mul255(_mm256_unpacklo_epi8(px, zero), aLo),
                               Mul255(_mm256_unpackhi_epi8(px, zero), aHi));
}
ORVEX_LANES_AVX512 inline __m512i PremultipliedPixels(__m512i px) {
    const char z = static_cast<char>(0x80);
    // Zero-masked broadcasts: GCC 12 warns about the undefined pass-through of the plain form.
    const __m512i lo = _mm512_maskz_broadcast_i32x4(0xffff, _mm_setr_epi8(3, z, 3, z, 3, z, z, z, 7, z, 7, z, 7, z, z, z));
    const __m512i hi =
        _mm512_maskz_broadcast_i32x4(0xffff, _mm_setr_epi8(11, z, 11, z, 11, z, z, z, 15, z, 15, z, 15, z, z, z));
    const __m512i keep = _mm512_set1_epi64(static_cast<long long>(0x00ff000000000000ull));
    const __m512i aLo = _mm512_or_si512(_mm512_shuffle_epi8(px, lo), keep);
    const __m512i aHi = _mm512_or_si512(_mm512_shuffle_epi8(px, hi), keep);
    const __m512i zero = _mm512_setzero_si512();
    return _mm512_packus_epi16(Mul255(_mm512_unpacklo_epi8(px, zero), aLo),
                               Mul255(_mm512_unpackhi_epi8(px, zero), aHi));
}

#undef ORVEX_LANES_AVX2
#undef ORVEX_LANES_AVX512

}  // namespace orvex::lanes

#endif
