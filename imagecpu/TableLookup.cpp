#include "imagecpu/TableLookup.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "host/simd/simd_level.h"
#include "imagecpu/ByteLanes.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVEX_LOOKUP_X86 1
#define ORVEX_TARGET_AVX2 __attribute__((target("avx2")))
#define ORVEX_TARGET_VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))
#else
#define ORVEX_LOOKUP_X86 0
#endif

namespace orvex {

namespace {

// --- plain C --------------------------------------------------------------------------------------

// Pixels move as one 32-bit word: three table loads and the word's load and store per pixel.
template <LookupFinish F>
void BgraScalar(const uint8_t* src, uint8_t* dst, int pixels, const uint8_t* tb, const uint8_t* tg,
                const uint8_t* tr) {
    for (int x = 0; x < pixels; ++x) {
        uint32_t p;
        std::memcpy(&p, src + 4 * x, 4);
        uint32_t b = tb[p & 0xff], g = tg[(p >> 8) & 0xff], r = tr[(p >> 16) & 0xff];
        const uint32_t a = p >> 24;
        if constexpr (F == LookupFinish::Premultiply) {
            b = (b * a + 127) / 255;
            g = (g * a + 127) / 255;
            r = (r * a + 127) / 255;
        } else if constexpr (F == LookupFinish::GraySum) {
            b = g = r = std::min(255u, b + g + r);
        }
        const uint32_t q = b | g << 8 | r << 16 | a << 24;
        std::memcpy(dst + 4 * x, &q, 4);
    }
}

void BytesScalar(const uint8_t* src, uint8_t* dst, size_t bytes, const uint8_t* t) {
    for (size_t i = 0; i < bytes; ++i) dst[i] = t[src[i]];
}

#if ORVEX_LOOKUP_X86

// --- AVX2 ------------------------------------------------------------------------------------------

// The table as sixteen 16-byte segments, each in both lanes, each but the first of a half stored
// as its exclusive or with the segment before it.
struct Segments {
    __m256i s[16];
};

ORVEX_TARGET_AVX2 inline void LoadSegments(const uint8_t* t, Segments* out) {
    for (int k = 0; k < 16; ++k) {
        __m128i seg = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + 16 * k));
        if (k % 8) seg = _mm_xor_si128(seg, _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + 16 * (k - 1))));
        out->s[k] = _mm256_broadcastsi128_si256(seg);
    }
}

// pshufb gives 0 where an index byte is negative. Index v - 16k (saturating, as signed bytes) is
// non-negative for segments k up to v's own in its half of the table, so the exclusive or of those
// lookups telescopes to v's entry; the other half starts from v with bit 7 flipped, negative for
// every byte of the first half. No blends: the lookups share the shuffle ports with nothing else.
ORVEX_TARGET_AVX2 inline __m256i Lookup256(__m256i v, const Segments& t) {
    const __m256i sixteen = _mm256_set1_epi8(16);
    __m256i lo = v, hi = _mm256_xor_si256(v, _mm256_set1_epi8(static_cast<char>(0x80)));
    __m256i a = _mm256_shuffle_epi8(t.s[0], lo), b = _mm256_shuffle_epi8(t.s[8], hi);
#pragma GCC unroll 7
    for (int k = 1; k < 8; ++k) {
        lo = _mm256_subs_epi8(lo, sixteen);
        hi = _mm256_subs_epi8(hi, sixteen);
        a = _mm256_xor_si256(a, _mm256_shuffle_epi8(t.s[k], lo));
        b = _mm256_xor_si256(b, _mm256_shuffle_epi8(t.s[8 + k], hi));
    }
    return _mm256_xor_si256(a, b);
}

ORVEX_TARGET_AVX2 void BytesAvx2(const uint8_t* src, uint8_t* dst, size_t bytes, const uint8_t* t) {
    Segments seg;
    LoadSegments(t, &seg);
    size_t i = 0;
    for (; i + 32 <= bytes; i += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), Lookup256(v, seg));
    }
    BytesScalar(src + i, dst + i, bytes - i, t);
}

// Four channel registers of 32 pixels from four 8-pixel registers and back: group each lane's
// bytes by channel, then transpose the 4x4 dwords. The byte grouping is its own inverse.
struct Planes {
    __m256i b, g, r, a;
};

ORVEX_TARGET_AVX2 inline __m256i GroupMask() {
    return _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 0, 4, 8, 12, 1, 5, 9, 13, 2, 6,
                            10, 14, 3, 7, 11, 15);
}

ORVEX_TARGET_AVX2 inline Planes Split(const uint8_t* s) {
    const __m256i group = GroupMask();
    const __m256i p0 = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s)), group);
    const __m256i p1 = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 32)), group);
    const __m256i p2 = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 64)), group);
    const __m256i p3 = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 96)), group);
    const __m256i t0 = _mm256_unpacklo_epi32(p0, p1), t1 = _mm256_unpackhi_epi32(p0, p1);
    const __m256i t2 = _mm256_unpacklo_epi32(p2, p3), t3 = _mm256_unpackhi_epi32(p2, p3);
    return {_mm256_unpacklo_epi64(t0, t2), _mm256_unpackhi_epi64(t0, t2), _mm256_unpacklo_epi64(t1, t3),
            _mm256_unpackhi_epi64(t1, t3)};
}

ORVEX_TARGET_AVX2 inline void Join(const Planes& p, uint8_t* d) {
    const __m256i group = GroupMask();
    const __m256i t0 = _mm256_unpacklo_epi64(p.b, p.g), t2 = _mm256_unpackhi_epi64(p.b, p.g);
    const __m256i t1 = _mm256_unpacklo_epi64(p.r, p.a), t3 = _mm256_unpackhi_epi64(p.r, p.a);
    const __m256i u0 = _mm256_unpacklo_epi32(t0, t1), v0 = _mm256_unpackhi_epi32(t0, t1);
    const __m256i u1 = _mm256_unpacklo_epi32(t2, t3), v1 = _mm256_unpackhi_epi32(t2, t3);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), _mm256_shuffle_epi8(_mm256_unpacklo_epi32(u0, v0), group));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 32), _mm256_shuffle_epi8(_mm256_unpackhi_epi32(u0, v0), group));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 64), _mm256_shuffle_epi8(_mm256_unpacklo_epi32(u1, v1), group));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 96), _mm256_shuffle_epi8(_mm256_unpackhi_epi32(u1, v1), group));
}

// A channel plane times the alpha plane widened to 16 bits; unpack and pack keep the byte order.
ORVEX_TARGET_AVX2 inline __m256i PremultiplyPlane(__m256i c, __m256i aLo, __m256i aHi) {
    const __m256i zero = _mm256_setzero_si256();
    return _mm256_packus_epi16(lanes::Mul255(_mm256_unpacklo_epi8(c, zero), aLo),
                               lanes::Mul255(_mm256_unpackhi_epi8(c, zero), aHi));
}

template <LookupFinish F>
ORVEX_TARGET_AVX2 void BgraAvx2(const uint8_t* src, uint8_t* dst, int pixels, const uint8_t* tb, const uint8_t* tg,
                                const uint8_t* tr) {
    int x = 0;
    // Alpha is never looked up: the channels go apart, through their tables and back together.
    Segments sb, sg, sr;
    LoadSegments(tb, &sb);
    LoadSegments(tg, &sg);
    LoadSegments(tr, &sr);
    for (; x + 32 <= pixels; x += 32) {
        Planes p = Split(src + 4 * x);
        p.b = Lookup256(p.b, sb);
        p.g = Lookup256(p.g, sg);
        p.r = Lookup256(p.r, sr);
        if constexpr (F == LookupFinish::Premultiply) {
            const __m256i zero = _mm256_setzero_si256();
            const __m256i aLo = _mm256_unpacklo_epi8(p.a, zero), aHi = _mm256_unpackhi_epi8(p.a, zero);
            p.b = PremultiplyPlane(p.b, aLo, aHi);
            p.g = PremultiplyPlane(p.g, aLo, aHi);
            p.r = PremultiplyPlane(p.r, aLo, aHi);
        } else if constexpr (F == LookupFinish::GraySum) {
            // Saturating byte adds of terms that are never negative give the clamped sum.
            p.b = p.g = p.r = _mm256_adds_epu8(_mm256_adds_epu8(p.b, p.g), p.r);
        }
        Join(p, dst + 4 * x);
    }
    if (F == LookupFinish::None && tb == tg && tg == tr) {
        // One table: the last whole 8 pixels byte by byte, alpha put back.
        const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xff000000u));
        for (; x + 8 <= pixels; x += 8) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * x));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * x),
                                _mm256_blendv_epi8(Lookup256(v, sb), v, alpha));
        }
    }
    // GCC 12 leaves this function by a jump into the plain body without clearing the upper
    // register halves, which slows every later SSE instruction of the thread (the vignette's
    // doubles ran 4x slower after a table effect); clear them here.
    _mm256_zeroupper();
    BgraScalar<F>(src + 4 * x, dst + 4 * x, pixels - x, tb, tg, tr);
}

// --- AVX-512 VBMI -----------------------------------------------------------------------------------

struct Quarters {
    __m512i q[4];
};

ORVEX_TARGET_VBMI inline void LoadQuarters(const uint8_t* t, Quarters* out) {
    for (int k = 0; k < 4; ++k) out->q[k] = _mm512_loadu_si512(t + 64 * k);
}

// vpermi2b takes the low 7 bits of each index into 128 table bytes; bit 7 picks the half.
ORVEX_TARGET_VBMI inline __m512i Lookup256(__m512i v, __mmask64 high, const Quarters& t) {
    const __m512i lo = _mm512_permutex2var_epi8(t.q[0], v, t.q[1]);
    const __m512i hi = _mm512_permutex2var_epi8(t.q[2], v, t.q[3]);
    return _mm512_mask_blend_epi8(high, lo, hi);
}

// The mask of the first n of 64 bytes.
inline uint64_t FirstBytes(size_t n) { return n >= 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1; }

constexpr uint64_t kGreenBytes = 0x2222222222222222ull;
constexpr uint64_t kRedBytes = 0x4444444444444444ull;
constexpr uint64_t kAlphaBytes = 0x8888888888888888ull;

// Zero-masked forms: GCC 12 warns about the undefined pass-through of the plain ones.
ORVEX_TARGET_VBMI inline __m512i Srli32(__m512i v, unsigned n) { return _mm512_maskz_srli_epi32(0xffff, v, n); }
ORVEX_TARGET_VBMI inline __m512i Broadcast128(__m128i v) { return _mm512_maskz_broadcast_i32x4(0xffff, v); }


template <LookupFinish F>
ORVEX_TARGET_VBMI inline __m512i BgraVector(__m512i v, const Quarters& b, const Quarters& g, const Quarters& r,
                                            bool one) {
    const __mmask64 high = _mm512_movepi8_mask(v);
    __m512i out = Lookup256(v, high, b);
    if (!one) {
        out = _mm512_mask_blend_epi8(kGreenBytes, out, Lookup256(v, high, g));
        out = _mm512_mask_blend_epi8(kRedBytes, out, Lookup256(v, high, r));
    }
    if constexpr (F == LookupFinish::GraySum) {
        // Byte 0 of each pixel gathers min(255, b + g + r) through saturating adds of the shifted
        // pixel, then goes to the three colour bytes.
        const __m512i sum = _mm512_adds_epu8(_mm512_adds_epu8(out, Srli32(out, 8)), Srli32(out, 16));
        const char z = static_cast<char>(0x80);
        const __m512i spread = Broadcast128(_mm_setr_epi8(0, 0, 0, z, 4, 4, 4, z, 8, 8, 8, z, 12, 12, 12, z));
        out = _mm512_shuffle_epi8(sum, spread);
    }
    out = _mm512_mask_blend_epi8(kAlphaBytes, out, v);
    if constexpr (F == LookupFinish::Premultiply) out = lanes::PremultipliedPixels(out);
    return out;
}

template <LookupFinish F>
ORVEX_TARGET_VBMI void BgraVbmi(const uint8_t* src, uint8_t* dst, int pixels, const uint8_t* tb, const uint8_t* tg,
                                const uint8_t* tr) {
    Quarters b, g, r;
    LoadQuarters(tb, &b);
    LoadQuarters(tg, &g);
    LoadQuarters(tr, &r);
    const bool one = tb == tg && tg == tr;
    const size_t n = static_cast<size_t>(pixels) * 4;
    size_t i = 0;
    for (; i + 64 <= n; i += 64)
        _mm512_storeu_si512(dst + i, BgraVector<F>(_mm512_loadu_si512(src + i), b, g, r, one));
    if (i < n) {
        // The row's end through masked loads and stores, which touch no byte past it.
        const __mmask64 m = FirstBytes(n - i);
        _mm512_mask_storeu_epi8(dst + i, m, BgraVector<F>(_mm512_maskz_loadu_epi8(m, src + i), b, g, r, one));
    }
}

ORVEX_TARGET_VBMI void BytesVbmi(const uint8_t* src, uint8_t* dst, size_t bytes, const uint8_t* tb) {
    Quarters t;
    LoadQuarters(tb, &t);
    size_t i = 0;
    for (; i + 64 <= bytes; i += 64) {
        const __m512i v = _mm512_loadu_si512(src + i);
        _mm512_storeu_si512(dst + i, Lookup256(v, _mm512_movepi8_mask(v), t));
    }
    if (i < bytes) {
        const __mmask64 m = FirstBytes(bytes - i);
        const __m512i v = _mm512_maskz_loadu_epi8(m, src + i);
        _mm512_mask_storeu_epi8(dst + i, m, Lookup256(v, _mm512_movepi8_mask(v), t));
    }
}

#endif  // ORVEX_LOOKUP_X86

LookupPath Hardware() {
    LookupPath best = LookupPath::Scalar;
#if ORVEX_LOOKUP_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vbmi"))
        best = LookupPath::Avx512Vbmi;
    else if (__builtin_cpu_supports("avx2"))
        best = LookupPath::Avx2;
#endif
    return best;
}

std::atomic<int> g_cap{static_cast<int>(LookupPath::Avx512Vbmi)};

// ORVEX_SIMD's cap in lookup paths: AVX-512 is the VBMI path, below AVX2 only plain C.
LookupPath EnvironmentCap() {
    switch (orvexhost::SimdCap()) {
    case orvexhost::SimdLevel::Avx512: return LookupPath::Avx512Vbmi;
    case orvexhost::SimdLevel::Avx2: return LookupPath::Avx2;
    default: return LookupPath::Scalar;
    }
}

}  // namespace

LookupPath BestLookupPath() {
    static const LookupPath hardware = std::min(Hardware(), EnvironmentCap());
    const auto cap = static_cast<LookupPath>(g_cap.load(std::memory_order_relaxed));
    return hardware < cap ? hardware : cap;
}

void CapLookupPath(LookupPath cap) { g_cap.store(static_cast<int>(cap), std::memory_order_relaxed); }

std::vector<LookupPath> SupportedLookupPaths() {
    std::vector<LookupPath> paths{LookupPath::Scalar};
    static const LookupPath best = Hardware();
    if (best >= LookupPath::Avx2) paths.push_back(LookupPath::Avx2);
    if (best >= LookupPath::Avx512Vbmi) paths.push_back(LookupPath::Avx512Vbmi);
    return paths;
}

const char* LookupPathName(LookupPath path) {
    switch (path) {
    case LookupPath::Avx2: return "avx2";
    case LookupPath::Avx512Vbmi: return "avx512vbmi";
    default: return "scalar";
    }
}

namespace {

template <LookupFinish F>
void BgraOn(LookupPath path, const uint8_t* src, uint8_t* dst, int pixels, const uint8_t* blue, const uint8_t* green,
            const uint8_t* red) {
#if ORVEX_LOOKUP_X86
    if (path == LookupPath::Avx512Vbmi) return BgraVbmi<F>(src, dst, pixels, blue, green, red);
    if (path == LookupPath::Avx2) return BgraAvx2<F>(src, dst, pixels, blue, green, red);
#endif
    (void)path;
    BgraScalar<F>(src, dst, pixels, blue, green, red);
}

}  // namespace

void LookupBGRA(LookupPath path, const uint8_t* src, uint8_t* dst, int pixels, const uint8_t* blue,
                const uint8_t* green, const uint8_t* red, LookupFinish finish) {
    switch (finish) {
    case LookupFinish::Premultiply: return BgraOn<LookupFinish::Premultiply>(path, src, dst, pixels, blue, green, red);
    case LookupFinish::GraySum: return BgraOn<LookupFinish::GraySum>(path, src, dst, pixels, blue, green, red);
    default: return BgraOn<LookupFinish::None>(path, src, dst, pixels, blue, green, red);
    }
}

void LookupBGRA(const uint8_t* src, uint8_t* dst, int pixels, const uint8_t* blue, const uint8_t* green,
                const uint8_t* red, LookupFinish finish) {
    LookupBGRA(BestLookupPath(), src, dst, pixels, blue, green, red, finish);
}

void LookupBytes(LookupPath path, const uint8_t* src, uint8_t* dst, size_t bytes, const uint8_t* table) {
#if ORVEX_LOOKUP_X86
    if (path == LookupPath::Avx512Vbmi) return BytesVbmi(src, dst, bytes, table);
    if (path == LookupPath::Avx2) return BytesAvx2(src, dst, bytes, table);
#endif
    (void)path;
    BytesScalar(src, dst, bytes, table);
}

void LookupBytes(const uint8_t* src, uint8_t* dst, size_t bytes, const uint8_t* table) {
    LookupBytes(BestLookupPath(), src, dst, bytes, table);
}

}  // namespace orvex
