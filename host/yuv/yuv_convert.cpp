// Colour conversions between YUV and BGRA, and the repacking between YV12 and NV12, on libyuv
// where it has the conversion; the RGB -> YUV encoders other than BT.601 limited and the 16-bit
// P010 pair are written here.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include <libyuv.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "yuv.h"

namespace {

bool PlaneOk(const void* data, int pitch, int rowBytes) { return data && rowBytes > 0 && pitch >= rowBytes; }
bool Plane16Ok(const void* data, int pitch, int rowBytes) {
    return PlaneOk(data, pitch, rowBytes) && pitch % 2 == 0 && reinterpret_cast<uintptr_t>(data) % 2 == 0;
}
int Half(int n) { return (n + 1) / 2; }
bool SizeOk(int w, int h) { return w >= 1 && h >= 1; }

// --- YUV -> BGRA through libyuv's matrix conversions ---------------------------------------------
//
// libyuv keeps its chroma coefficients in signed bytes with 6 fractional bits, so the blue
// coefficient of limited-range BT.709 (2.1124) and BT.2020 (2.1418) saturates at 2.0 and blue
// comes out up to 16 codes short. Limited-range input is therefore expanded to full range
// (Y' = (Y - 16) * 255 / 219, C' = 128 + (C - 128) * 255 / 224) a band of rows at a time and
// decoded with the full-range constants of the same standard, whose coefficients all fit.

// Y' = (Y - 16) * 149 / 128 rounded (149 / 128 = 1.1641 for 255 / 219 = 1.1644), saturated.
void ExpandLuma(const uint8_t* src, uint8_t* dst, int n) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i k16 = _mm_set1_epi8(16), zero = _mm_setzero_si128();
    const __m128i mul = _mm_set1_epi16(149), half = _mm_set1_epi16(64);
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_subs_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), k16);
        const __m128i lo = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(v, zero), mul), half), 7);
        const __m128i hi = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(v, zero), mul), half), 7);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; i < n; ++i) {
        const int v = src[i] > 16 ? src[i] - 16 : 0;
        dst[i] = static_cast<uint8_t>(std::min(255, (v * 149 + 64) >> 7));
    }
}

// C' = 128 + (C - 128) * 146 / 128 rounded (1.1406 for 255 / 224 = 1.1384), saturated.
void ExpandChroma(const uint8_t* src, uint8_t* dst, int n) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128(), c128 = _mm_set1_epi16(128);
    const __m128i mul = _mm_set1_epi16(146), half = _mm_set1_epi16(64);
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        // (C - 128) * 146 + 64 stays within 16 signed bits; the offset goes back after the shift.
        const __m128i lo = _mm_add_epi16(
            _mm_srai_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(v, zero), c128), mul), half), 7),
            c128);
        const __m128i hi = _mm_add_epi16(
            _mm_srai_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_sub_epi16(_mm_unpackhi_epi8(v, zero), c128), mul), half), 7),
            c128);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; i < n; ++i) {
        const int v = (((src[i] - 128) * 146 + 64) >> 7) + 128;
        dst[i] = static_cast<uint8_t>(std::clamp(v, 0, 255));
    }
}

constexpr int kBandRows = 16;  // even, so that every band starts on a chroma row

int Planar(const libyuv::YuvConstants* k, bool limited, const uint8_t* y, int py, const uint8_t* u, int pu,
           const uint8_t* v, int pv, uint8_t* dst, int pd, int w, int h) {
    if (!SizeOk(w, h) || !PlaneOk(y, py, w) || !PlaneOk(u, pu, Half(w)) || !PlaneOk(v, pv, Half(w)) ||
        !PlaneOk(dst, pd, w * 4))
        return 1;
    if (!limited) return libyuv::I420ToARGBMatrix(y, py, u, pu, v, pv, dst, pd, k, w, h) == 0 ? 0 : 1;
    const int cw = Half(w);
    thread_local std::vector<uint8_t> band;
    band.resize(static_cast<size_t>(w) * kBandRows + static_cast<size_t>(cw) * kBandRows);
    uint8_t* by = band.data();
    uint8_t* bu = by + static_cast<size_t>(w) * kBandRows;
    uint8_t* bv = bu + static_cast<size_t>(cw) * (kBandRows / 2);
    for (int r0 = 0; r0 < h; r0 += kBandRows) {
        const int rows = std::min(kBandRows, h - r0);
        for (int r = 0; r < rows; ++r) ExpandLuma(y + static_cast<size_t>(py) * (r0 + r), by + static_cast<size_t>(w) * r, w);
        for (int r = 0; r < Half(rows); ++r) {
            ExpandChroma(u + static_cast<size_t>(pu) * (r0 / 2 + r), bu + static_cast<size_t>(cw) * r, cw);
            ExpandChroma(v + static_cast<size_t>(pv) * (r0 / 2 + r), bv + static_cast<size_t>(cw) * r, cw);
        }
        if (libyuv::I420ToARGBMatrix(by, w, bu, cw, bv, cw, dst + static_cast<size_t>(pd) * r0, pd, k, w, rows) != 0)
            return 1;
    }
    return 0;
}

int SemiPlanar(const libyuv::YuvConstants* k, bool limited, const uint8_t* y, int py, const uint8_t* uv, int puv,
               uint8_t* dst, int pd, int w, int h) {
    if (!SizeOk(w, h) || !PlaneOk(y, py, w) || !PlaneOk(uv, puv, Half(w) * 2) || !PlaneOk(dst, pd, w * 4)) return 1;
    if (!limited) return libyuv::NV12ToARGBMatrix(y, py, uv, puv, dst, pd, k, w, h) == 0 ? 0 : 1;
    const int cw2 = Half(w) * 2;
    thread_local std::vector<uint8_t> band;
    band.resize(static_cast<size_t>(w) * kBandRows + static_cast<size_t>(cw2) * (kBandRows / 2));
    uint8_t* by = band.data();
    uint8_t* buv = by + static_cast<size_t>(w) * kBandRows;
    for (int r0 = 0; r0 < h; r0 += kBandRows) {
        const int rows = std::min(kBandRows, h - r0);
        for (int r = 0; r < rows; ++r) ExpandLuma(y + static_cast<size_t>(py) * (r0 + r), by + static_cast<size_t>(w) * r, w);
        for (int r = 0; r < Half(rows); ++r)
            ExpandChroma(uv + static_cast<size_t>(puv) * (r0 / 2 + r), buv + static_cast<size_t>(cw2) * r, cw2);
        if (libyuv::NV12ToARGBMatrix(by, w, buv, cw2, dst + static_cast<size_t>(pd) * r0, pd, k, w, rows) != 0) return 1;
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

void EncodeLuma(const EncodeMatrix& m, const uint8_t* bgra, uint8_t* y, int w) {
    int x = 0;
#if defined(__SSE2__)
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
#endif
    for (; x < w; ++x) {
        const uint8_t* p = bgra + 4 * x;
        y[x] = Clamp255((m.yb * p[0] + m.yg * p[1] + m.yr * p[2] + m.yBias) >> 15);
    }
}

void EncodeChroma(const EncodeMatrix& m, const uint8_t* r0, const uint8_t* r1, uint8_t* u, uint8_t* v, int w) {
    const int pairs = w / 2;
    int c = 0;
#if defined(__SSE2__)
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
    for (int row = 0; row < h; row += 2) {
        const uint8_t* r0 = src + static_cast<size_t>(ps) * row;
        // An odd last row pairs with itself.
        const uint8_t* r1 = row + 1 < h ? r0 + ps : r0;
        EncodeLuma(m, r0, y + static_cast<size_t>(py) * row, w);
        if (row + 1 < h) EncodeLuma(m, r1, y + static_cast<size_t>(py) * (row + 1), w);
        EncodeChroma(m, r0, r1, u + static_cast<size_t>(pu) * (row / 2), v + static_cast<size_t>(pv) * (row / 2), w);
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
