// The library's HLS conversions, vector lanes, with AVX2 and FMA. Each step is the library's own
// operation on the same floats: the fused multiply-adds are exactly where its lanes fuse, every
// other product and sum is rounded on its own (this file is built without contraction).
#include "effects/colour/HlsRows.h"

#include <algorithm>
#include <cfloat>
#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVEX_HLS_X86 1
#define ORVEX_TARGET_HLS __attribute__((target("avx2,fma")))
#else
#define ORVEX_HLS_X86 0
#endif

namespace orvex::hlsrows {

#if ORVEX_HLS_X86

namespace {

struct Floats {
    __m256 b, g, r;
};

// Channel bytes of 8 BGRA pixels as the library reads them: byte * (1 / 255).
ORVEX_TARGET_HLS inline Floats UnitChannels(__m256i px) {
    const __m256i byte = _mm256_set1_epi32(0xff);
    const __m256 unit = _mm256_set1_ps(1.f / 255.f);
    return {_mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_and_si256(px, byte)), unit),
            _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(px, 8), byte)), unit),
            _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(px, 16), byte)), unit)};
}

// The hue byte (0..180): h = (d * (60 / diff) + part) * 0.5 with one fused multiply-add, d the
// difference of the two channels other than the largest and part its sector's start; 0 for a
// gray (diff not above FLT_EPSILON).
ORVEX_TARGET_HLS inline __m256i HueByte(const Floats& c) {
    const __m256 mx = _mm256_max_ps(_mm256_max_ps(c.r, c.g), c.b);
    const __m256 mn = _mm256_min_ps(_mm256_min_ps(c.r, c.g), c.b);
    const __m256 diff = _mm256_sub_ps(mx, mn);
    const __m256 rMax = _mm256_cmp_ps(mx, c.r, _CMP_EQ_OQ), gMax = _mm256_cmp_ps(mx, c.g, _CMP_EQ_OQ);
    const __m256 d = _mm256_blendv_ps(_mm256_blendv_ps(_mm256_sub_ps(c.r, c.g), _mm256_sub_ps(c.b, c.r), gMax),
                                      _mm256_sub_ps(c.g, c.b), rMax);
    const __m256 wrap = _mm256_and_ps(_mm256_cmp_ps(c.g, c.b, _CMP_LT_OQ), _mm256_set1_ps(360.f));
    const __m256 part = _mm256_blendv_ps(_mm256_blendv_ps(_mm256_set1_ps(240.f), _mm256_set1_ps(120.f), gMax), wrap,
                                         rMax);
    const __m256 inv = _mm256_div_ps(_mm256_set1_ps(60.f), diff);
    const __m256 h = _mm256_mul_ps(_mm256_fmadd_ps(d, inv, part), _mm256_set1_ps(0.5f));
    return _mm256_cvtps_epi32(_mm256_and_ps(_mm256_cmp_ps(diff, _mm256_set1_ps(FLT_EPSILON), _CMP_GT_OQ), h));
}

// The lightness byte: rint((max + min) * 0.5 * 255).
ORVEX_TARGET_HLS inline __m256i LightnessByte(const Floats& c) {
    const __m256 mx = _mm256_max_ps(_mm256_max_ps(c.r, c.g), c.b);
    const __m256 mn = _mm256_min_ps(_mm256_min_ps(c.r, c.g), c.b);
    return _mm256_cvtps_epi32(_mm256_mul_ps(_mm256_mul_ps(_mm256_add_ps(mx, mn), _mm256_set1_ps(0.5f)),
                                            _mm256_set1_ps(255.f)));
}

// A float on the 0..1 scale as a byte: rint(v * 255), saturated as the library's packs do.
ORVEX_TARGET_HLS inline __m256i ToByte(__m256 v) {
    const __m256i i = _mm256_cvtps_epi32(_mm256_mul_ps(v, _mm256_set1_ps(255.f)));
    return _mm256_min_epi32(_mm256_max_epi32(i, _mm256_setzero_si256()), _mm256_set1_epi32(255));
}

ORVEX_TARGET_HLS inline __m256 Lt(__m256 a, __m256 b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
ORVEX_TARGET_HLS inline __m256 Le(__m256 a, __m256 b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }

struct Bytes {
    __m256i b, g, r;
};

// BGR bytes of hue bytes h (0..179), lightness l and saturation s (bytes over 255): the two
// extremes l +- e (e = l s, or s - l s above one half), the middle channel with the hue's
// fraction f in the sector: l + e - 2 e f or l - e + 2 e f, each one fused multiply-add.
ORVEX_TARGET_HLS inline Bytes BgrBytes(__m256 h, __m256 l, __m256 s) {
    const __m256 ls = _mm256_mul_ps(l, s);
    const __m256 e = _mm256_blendv_ps(_mm256_sub_ps(s, ls), ls, _mm256_cmp_ps(l, _mm256_set1_ps(0.5f), _CMP_LE_OQ));
    const __m256 raw = _mm256_mul_ps(h, _mm256_set1_ps(6.f / 180.f));
    const __m256 whole = _mm256_cvtepi32_ps(_mm256_cvttps_epi32(raw));
    const __m256 fraction = _mm256_sub_ps(raw, whole);
    const __m256 sixths = _mm256_cvtepi32_ps(_mm256_cvttps_epi32(_mm256_mul_ps(raw, _mm256_set1_ps(1.f / 6.f))));
    const __m256 sector = _mm256_fnmadd_ps(_mm256_set1_ps(6.f), sixths, whole);
    const __m256 twice = _mm256_add_ps(fraction, fraction);
    const __m256 tab0 = _mm256_add_ps(l, e), tab1 = _mm256_sub_ps(l, e);
    const __m256 tab2 = _mm256_fnmadd_ps(e, twice, tab0), tab3 = _mm256_fmadd_ps(e, twice, tab1);
    const __m256 one = _mm256_set1_ps(1.f), two = _mm256_set1_ps(2.f), four = _mm256_set1_ps(4.f);
    // Sectors 0..5 give (b, g, r) = (1,3,0) (1,0,2) (3,0,1) (0,2,1) (0,1,3) (2,1,0) of tab.
    const __m256 b = _mm256_blendv_ps(_mm256_blendv_ps(_mm256_blendv_ps(tab2, tab0, Le(sector, four)), tab3, Le(sector, two)), tab1,
                                      Lt(sector, two));
    const __m256 g = _mm256_blendv_ps(_mm256_blendv_ps(_mm256_blendv_ps(tab1, tab2, Lt(sector, four)), tab0, Le(sector, two)), tab3,
                                      Lt(sector, one));
    const __m256 r = _mm256_blendv_ps(
        _mm256_blendv_ps(_mm256_blendv_ps(_mm256_blendv_ps(tab0, tab3, Le(sector, four)), tab1, Lt(sector, four)), tab2, Lt(sector, two)),
        tab0, Lt(sector, one));
    return {ToByte(b), ToByte(g), ToByte(r)};
}

ORVEX_TARGET_HLS inline __m256 UnitOf(__m256i bytes) {
    return _mm256_mul_ps(_mm256_cvtepi32_ps(bytes), _mm256_set1_ps(1.f / 255.f));
}

ORVEX_TARGET_HLS inline __m256i Lanes(const int32_t* v) { return _mm256_load_si256(reinterpret_cast<const __m256i*>(v)); }

ORVEX_TARGET_HLS void HueLightnessRow(const uint8_t* bgra, uint8_t* hl, int pixels) {
    alignas(32) int32_t h[8], l[8];
    for (int x = 0; x + 8 <= pixels; x += 8) {
        const Floats c = UnitChannels(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bgra + 4 * x)));
        _mm256_store_si256(reinterpret_cast<__m256i*>(h), HueByte(c));
        _mm256_store_si256(reinterpret_cast<__m256i*>(l), LightnessByte(c));
        for (int k = 0; k < 8; ++k) {
            hl[2 * (x + k)] = static_cast<uint8_t>(std::clamp(h[k], 0, 255));
            hl[2 * (x + k) + 1] = static_cast<uint8_t>(std::clamp(l[k], 0, 255));
        }
    }
}

ORVEX_TARGET_HLS void BgrOfHlsRow(const uint8_t* hls, uint8_t* bgr, int pixels) {
    alignas(32) int32_t in[3][8], out[3][8];
    for (int x = 0; x + 8 <= pixels; x += 8) {
        for (int k = 0; k < 8; ++k)
            for (int c = 0; c < 3; ++c) in[c][k] = hls[3 * (x + k) + c];
        const Bytes o = BgrBytes(_mm256_cvtepi32_ps(Lanes(in[0])), UnitOf(Lanes(in[1])), UnitOf(Lanes(in[2])));
        _mm256_store_si256(reinterpret_cast<__m256i*>(out[0]), o.b);
        _mm256_store_si256(reinterpret_cast<__m256i*>(out[1]), o.g);
        _mm256_store_si256(reinterpret_cast<__m256i*>(out[2]), o.r);
        for (int k = 0; k < 8; ++k)
            for (int c = 0; c < 3; ++c) bgr[3 * (x + k) + c] = static_cast<uint8_t>(out[c][k]);
    }
}

ORVEX_TARGET_HLS int BalanceRow(const uint8_t* ls, int hueShift, const uint8_t* src, uint8_t* dst, int pixels) {
    const __m256i byte = _mm256_set1_epi32(0xff), shift = _mm256_set1_epi32(hueShift);
    const __m256i turn = _mm256_set1_epi32(180), below = _mm256_set1_epi32(179);
    const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xff000000u));
    const int whole = pixels / 8 * 8;
    for (int x = 0; x < whole; x += 8) {
        const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * x));
        __m256i hue = _mm256_add_epi32(HueByte(UnitChannels(px)), shift);
        hue = _mm256_sub_epi32(hue, _mm256_and_si256(_mm256_cmpgt_epi32(hue, below), turn));
        const __m256i b = _mm256_and_si256(px, byte), g = _mm256_and_si256(_mm256_srli_epi32(px, 8), byte);
        const __m256i r = _mm256_and_si256(_mm256_srli_epi32(px, 16), byte);
        const __m256i mx = _mm256_max_epi32(_mm256_max_epi32(b, g), r), mn = _mm256_min_epi32(_mm256_min_epi32(b, g), r);
        const __m256i pair =
            _mm256_i32gather_epi32(reinterpret_cast<const int*>(ls), _mm256_or_si256(_mm256_slli_epi32(mx, 8), mn), 2);
        const Bytes o = BgrBytes(_mm256_cvtepi32_ps(hue), UnitOf(_mm256_and_si256(pair, byte)),
                                 UnitOf(_mm256_and_si256(_mm256_srli_epi32(pair, 8), byte)));
        const __m256i out = _mm256_or_si256(_mm256_or_si256(o.b, _mm256_slli_epi32(o.g, 8)),
                                            _mm256_or_si256(_mm256_slli_epi32(o.r, 16), _mm256_and_si256(px, alpha)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * x), out);
    }
    return whole;
}

// Both conversions of a sample against the library's: 8192 colours (a spread over the cube with
// its grays and corners) and 8192 HLS triples, rows whose width is a multiple of 8.
bool MatchesLibrary() {
    constexpr int kCount = 8192;
    cv::Mat bgra(1, kCount, CV_8UC4), hls(1, kCount, CV_8UC3), libraryHls, libraryBgr;
    uint32_t state = 12345;
    auto next = [&] { return state = state * 1664525u + 1013904223u; };
    for (int i = 0; i < kCount; ++i) {
        const uint32_t v = i < 256 ? 0x010101u * static_cast<uint32_t>(i) : next() >> 8;
        bgra.at<cv::Vec4b>(i) = cv::Vec4b(v & 255, (v >> 8) & 255, (v >> 16) & 255, 255);
        const uint32_t w = next();
        hls.at<cv::Vec3b>(i) = cv::Vec3b(static_cast<uint8_t>((w >> 8) % 180), (w >> 16) & 255, (w >> 24) & 255);
    }
    cv::cvtColor(bgra, libraryHls, cv::COLOR_BGR2HLS);
    cv::cvtColor(hls, libraryBgr, cv::COLOR_HLS2BGR);
    std::vector<uint8_t> hl(2 * kCount), bgr(3 * kCount);
    HueLightnessRow(bgra.ptr<uint8_t>(), hl.data(), kCount);
    BgrOfHlsRow(hls.ptr<uint8_t>(), bgr.data(), kCount);
    for (int i = 0; i < kCount; ++i) {
        const cv::Vec3b h = libraryHls.at<cv::Vec3b>(i);
        if (h[0] != hl[2 * i] || h[1] != hl[2 * i + 1]) return false;
    }
    return std::memcmp(libraryBgr.ptr<uint8_t>(), bgr.data(), bgr.size()) == 0;
}

}  // namespace

bool Available() {
    static const bool available = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") && MatchesLibrary();
    }();
    return available;
}

void HueLightness(const uint8_t* bgra, uint8_t* hl, int pixels) { HueLightnessRow(bgra, hl, pixels); }

void BgrOfHls(const uint8_t* hls, uint8_t* bgr, int pixels) { BgrOfHlsRow(hls, bgr, pixels); }

int BalanceBGRA(const uint8_t* ls, int hueShift, const uint8_t* src, uint8_t* dst, int pixels) {
    return BalanceRow(ls, hueShift, src, dst, pixels);
}

#else

bool Available() { return false; }
void HueLightness(const uint8_t*, uint8_t*, int) {}
void BgrOfHls(const uint8_t*, uint8_t*, int) {}
int BalanceBGRA(const uint8_t*, int, const uint8_t*, uint8_t*, int) { return 0; }

#endif

}  // namespace orvex::hlsrows
