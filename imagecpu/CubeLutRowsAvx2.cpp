// The cube's three passes, 8 BGRA pixels at a time with AVX2: the AVX-512 body's steps on half
// the lanes. Axes, tetrahedron and weights for all 8 in vector lanes; the interpolation takes
// two pixels to a register (pixel j low, pixel j + 4 high), so that the two packs at the end put
// the 8 results back in order. Built without floating-point contraction, as the plain body is.
#include "imagecpu/CubeLutRows.h"

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVEX_CUBE_X86 1
#define ORVEX_TARGET_AVX2 __attribute__((target("avx2")))
#else
#define ORVEX_CUBE_X86 0
#endif

namespace orvex::cuberows {

#if ORVEX_CUBE_X86

namespace {

// x = v / (255 / (N - 1)), the lower point floor(x), the fraction x - floor(x); the last point
// and byte 255 have fraction 0 and no step (as the tables are built).
struct Axis {
    __m256 frac;
    __m256i index, offset, step;
};

ORVEX_TARGET_AVX2 inline Axis AxisOf(__m256i v, __m256 spacing, __m256i last, __m256i scale) {
    const __m256 x = _mm256_div_ps(_mm256_cvtepi32_ps(v), spacing);
    const __m256 f = _mm256_floor_ps(x);
    const __m256i idx = _mm256_cvttps_epi32(f);
    const __m256i top = _mm256_or_si256(_mm256_cmpgt_epi32(idx, _mm256_sub_epi32(last, _mm256_set1_epi32(1))),
                                        _mm256_cmpeq_epi32(v, _mm256_set1_epi32(255)));
    Axis a;
    a.frac = _mm256_andnot_ps(_mm256_castsi256_ps(top), _mm256_sub_ps(x, f));
    a.index = _mm256_blendv_epi8(idx, last, top);
    a.offset = _mm256_mullo_epi32(a.index, scale);
    a.step = _mm256_andnot_si256(top, scale);
    return a;
}

// (a*v + 127) / 255 for bytes a and v, exactly, as q = (p + 1 + (p >> 8)) >> 8 with p = a*v + 127.
ORVEX_TARGET_AVX2 inline __m256i TimesAlpha(__m256i v, __m256i alpha) {
    const __m256i p = _mm256_add_epi32(_mm256_mullo_epi32(v, alpha), _mm256_set1_epi32(127));
    return _mm256_srli_epi32(_mm256_add_epi32(_mm256_add_epi32(p, _mm256_set1_epi32(1)), _mm256_srli_epi32(p, 8)), 8);
}

// The closest point's offset on one axis: min(floor(lower + fraction + 0.5), N - 1) points.
ORVEX_TARGET_AVX2 inline __m256i NearestOffset(const Axis& a, __m256i scale, __m256i last) {
    const __m256 x = _mm256_add_ps(_mm256_add_ps(_mm256_cvtepi32_ps(a.index), a.frac), _mm256_set1_ps(0.5f));
    return _mm256_mullo_epi32(_mm256_min_epi32(_mm256_cvttps_epi32(_mm256_floor_ps(x)), last), scale);
}

// Pixel j's vertex low, pixel j + 4's high.
ORVEX_TARGET_AVX2 inline __m256 Vertices(const float* grid, const int32_t* o, int j) {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_load_ps(grid + o[j])), _mm_load_ps(grid + o[j + 4]), 1);
}

ORVEX_TARGET_AVX2 inline __m256 Lerp(__m256 a, __m256 b, __m256 t) {
    return _mm256_add_ps(_mm256_mul_ps(a, _mm256_sub_ps(_mm256_set1_ps(1.0f), t)), _mm256_mul_ps(b, t));
}

// Corner offsets and weights of up to kBlocks blocks of 8 pixels, written by the first step and
// read by the second: splitting them keeps the long chain from a pixel to its vertex loads out of
// each block's path, so that the processor overlaps the blocks (the AVX-512 body hides it with
// twice the pixels per block).
constexpr int kBlocks = 8;
struct Corners {
    alignas(32) int32_t off[8][8 * kBlocks];
    alignas(32) float w[4][8 * kBlocks];
    // Trilinear: 1 - f on each axis, and whether every pixel of a block steps on all three axes.
    alignas(32) float rest[3][8 * kBlocks];
    bool full[kBlocks];
};

struct Constants {
    __m256i byte, last, scaleR, scaleG, scaleB, alphaMask;
    __m256 one, spacing;
    int stepR, stepG;  // floats from a grid entry to its red and green neighbours
};

ORVEX_TARGET_AVX2 inline void StoreOffsets(int32_t* to, __m256i o) {
    _mm256_store_si256(reinterpret_cast<__m256i*>(to), o);
}

// The axes of 8 pixels and their corners: 4 (tetrahedral) or 8 (trilinear) offsets and the
// weights (the sorted differences, or the three fractions), stored at pixel i of the block.
ORVEX_TARGET_AVX2 inline void Prepare(const Constants& k, Interpolation mode, __m256i px, Corners* c, int i) {
    const Axis r = AxisOf(_mm256_and_si256(_mm256_srli_epi32(px, 16), k.byte), k.spacing, k.last, k.scaleR);
    const Axis g = AxisOf(_mm256_and_si256(_mm256_srli_epi32(px, 8), k.byte), k.spacing, k.last, k.scaleG);
    const Axis b = AxisOf(_mm256_and_si256(px, k.byte), k.spacing, k.last, k.scaleB);
    const __m256i o000 = _mm256_add_epi32(_mm256_add_epi32(r.offset, g.offset), b.offset);
    if (mode == Interpolation::Tetrahedral) {
        // The largest fraction's axis steps first, the smallest's last, ties broken as the
        // plain body breaks them; the weights are the sorted fractions' differences.
        const __m256i rg = _mm256_castps_si256(_mm256_cmp_ps(r.frac, g.frac, _CMP_GT_OQ));
        const __m256i gb = _mm256_castps_si256(_mm256_cmp_ps(g.frac, b.frac, _CMP_GT_OQ));
        const __m256i rb = _mm256_castps_si256(_mm256_cmp_ps(r.frac, b.frac, _CMP_GT_OQ));
        const __m256i maxR = _mm256_and_si256(rg, rb), maxG = _mm256_andnot_si256(rg, gb);
        const __m256i minR = _mm256_andnot_si256(_mm256_or_si256(rg, rb), _mm256_set1_epi32(-1));
        const __m256i minG = _mm256_andnot_si256(gb, rg);
        const __m256i stepMax = _mm256_blendv_epi8(_mm256_blendv_epi8(b.step, g.step, maxG), r.step, maxR);
        const __m256i stepMin = _mm256_blendv_epi8(_mm256_blendv_epi8(b.step, g.step, minG), r.step, minR);
        const __m256 hi = _mm256_max_ps(r.frac, _mm256_max_ps(g.frac, b.frac));
        const __m256 lo = _mm256_min_ps(r.frac, _mm256_min_ps(g.frac, b.frac));
        const __m256 mid =
            _mm256_max_ps(_mm256_min_ps(r.frac, g.frac), _mm256_min_ps(_mm256_max_ps(r.frac, g.frac), b.frac));
        _mm256_store_ps(c->w[0] + i, _mm256_sub_ps(k.one, hi));
        _mm256_store_ps(c->w[1] + i, _mm256_sub_ps(hi, mid));
        _mm256_store_ps(c->w[2] + i, _mm256_sub_ps(mid, lo));
        _mm256_store_ps(c->w[3] + i, lo);
        const __m256i o111 = _mm256_add_epi32(o000, _mm256_add_epi32(_mm256_add_epi32(r.step, g.step), b.step));
        StoreOffsets(c->off[0] + i, o000);
        StoreOffsets(c->off[1] + i, _mm256_add_epi32(o000, stepMax));
        StoreOffsets(c->off[2] + i, _mm256_sub_epi32(o111, stepMin));
        StoreOffsets(c->off[3] + i, o111);
    } else {
        // Corner n steps along red for bit 0, green for bit 1, blue for bit 2.
        for (int n = 0; n < 8; ++n) {
            __m256i o = o000;
            if (n & 1) o = _mm256_add_epi32(o, r.step);
            if (n & 2) o = _mm256_add_epi32(o, g.step);
            if (n & 4) o = _mm256_add_epi32(o, b.step);
            StoreOffsets(c->off[n] + i, o);
        }
        _mm256_store_ps(c->w[0] + i, r.frac);
        _mm256_store_ps(c->w[1] + i, g.frac);
        _mm256_store_ps(c->w[2] + i, b.frac);
        _mm256_store_ps(c->rest[0] + i, _mm256_sub_ps(k.one, r.frac));
        _mm256_store_ps(c->rest[1] + i, _mm256_sub_ps(k.one, g.frac));
        _mm256_store_ps(c->rest[2] + i, _mm256_sub_ps(k.one, b.frac));
        const __m256i zero = _mm256_setzero_si256();
        const __m256i still = _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi32(r.step, zero), _mm256_cmpeq_epi32(g.step, zero)),
                                              _mm256_cmpeq_epi32(b.step, zero));
        c->full[i / 8] = _mm256_testz_si256(still, still);
    }
}

// One pixel's trilinear colour when it steps on every axis: the two corners along blue are
// neighbours in the grid, so each 32-byte load brings a pair and the red and green steps run on
// both at once; the blue step then weighs the halves. The same products and sums as Colour's.
ORVEX_TARGET_AVX2 inline __m128 TrilinearPairs(const float* grid, const Corners& c, int p, int sr, int sg) {
    const float* base = grid + c.off[0][p];
    const __m256 fr = _mm256_broadcast_ss(c.w[0] + p), fr1 = _mm256_broadcast_ss(c.rest[0] + p);
    const __m256 fg = _mm256_broadcast_ss(c.w[1] + p), fg1 = _mm256_broadcast_ss(c.rest[1] + p);
    const __m256 along0 = _mm256_add_ps(_mm256_mul_ps(_mm256_loadu_ps(base), fr1),
                                        _mm256_mul_ps(_mm256_loadu_ps(base + sr), fr));
    const __m256 along1 = _mm256_add_ps(_mm256_mul_ps(_mm256_loadu_ps(base + sg), fr1),
                                        _mm256_mul_ps(_mm256_loadu_ps(base + sr + sg), fr));
    const __m256 blue = _mm256_add_ps(_mm256_mul_ps(along0, fg1), _mm256_mul_ps(along1, fg));
    return _mm_add_ps(_mm_mul_ps(_mm256_castps256_ps128(blue), _mm_broadcast_ss(c.rest[2] + p)),
                      _mm_mul_ps(_mm256_extractf128_ps(blue, 1), _mm_broadcast_ss(c.w[2] + p)));
}

// (a*v + 127) / 255 in 16-bit lanes (a, v bytes): every sum below stays under 65536.
ORVEX_TARGET_AVX2 inline __m256i TimesAlpha16(__m256i v, __m256i alpha) {
    const __m256i p = _mm256_add_epi16(_mm256_mullo_epi16(v, alpha), _mm256_set1_epi16(127));
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(p, _mm256_set1_epi16(1)), _mm256_srli_epi16(p, 8)), 8);
}

// The colour of pixels j (low lane) and j + 4 (high lane) of the block prepared at i.
template <bool Tetrahedral>
ORVEX_TARGET_AVX2 inline __m256 Colour(const float* grid, const Corners& c, int i, int j, const __m256 w[4]) {
    const __m256i spread = _mm256_setr_epi32(j, j, j, j, j + 4, j + 4, j + 4, j + 4);
    if (Tetrahedral)
        return _mm256_add_ps(
            _mm256_add_ps(_mm256_mul_ps(_mm256_permutevar8x32_ps(w[0], spread), Vertices(grid, c.off[0] + i, j)),
                          _mm256_mul_ps(_mm256_permutevar8x32_ps(w[1], spread), Vertices(grid, c.off[1] + i, j))),
            _mm256_add_ps(_mm256_mul_ps(_mm256_permutevar8x32_ps(w[2], spread), Vertices(grid, c.off[2] + i, j)),
                          _mm256_mul_ps(_mm256_permutevar8x32_ps(w[3], spread), Vertices(grid, c.off[3] + i, j))));
    // Along red, then green, then blue, each a*(1 - f) + b*f.
    const __m256 fr = _mm256_permutevar8x32_ps(w[0], spread);
    const __m256 fg = _mm256_permutevar8x32_ps(w[1], spread);
    const __m256 fb = _mm256_permutevar8x32_ps(w[2], spread);
    __m256 corner[8];
    for (int n = 0; n < 8; ++n) corner[n] = Vertices(grid, c.off[n] + i, j);
    const __m256 c00 = Lerp(corner[0], corner[1], fr), c10 = Lerp(corner[2], corner[3], fr);
    const __m256 c01 = Lerp(corner[4], corner[5], fr), c11 = Lerp(corner[6], corner[7], fr);
    return Lerp(Lerp(c00, c10, fg), Lerp(c01, c11, fg), fb);
}

// The 8 pixels prepared at i, interpolated, premultiplied by their alpha and stored. The packs
// to 16 bits saturate below at 0 and the minimum above at 255, as the plain body's two packs do;
// the padding lane is 0 and takes the source's alpha.
template <bool Tetrahedral>
ORVEX_TARGET_AVX2 inline void Interpolate(const Constants& k, const float* grid, const Corners& c, int i, __m256i px,
                                          uint8_t* d) {
    __m256 w[4];
    for (int n = 0; n < (Tetrahedral ? 4 : 3); ++n) w[n] = _mm256_load_ps(c.w[n] + i);
    __m256i v[4];
    if (!Tetrahedral && c.full[i / 8]) {
#pragma GCC unroll 4
        for (int j = 0; j < 4; ++j)
            v[j] = _mm256_cvtps_epi32(_mm256_insertf128_ps(_mm256_castps128_ps256(TrilinearPairs(grid, c, i + j, k.stepR, k.stepG)),
                                                           TrilinearPairs(grid, c, i + j + 4, k.stepR, k.stepG), 1));
    } else {
#pragma GCC unroll 4
        for (int j = 0; j < 4; ++j) v[j] = _mm256_cvtps_epi32(Colour<Tetrahedral>(grid, c, i, j, w));
    }
    const __m256i byte16 = _mm256_set1_epi16(0xff);
    // Words 0..7 of a lane are pixels j, j + 1 (j + 4, j + 5 in the high lane); each alpha to the
    // four words of its pixel.
    const __m256i alpha01 = _mm256_setr_epi8(3, -1, 3, -1, 3, -1, 3, -1, 7, -1, 7, -1, 7, -1, 7, -1, 3, -1, 3, -1, 3,
                                             -1, 3, -1, 7, -1, 7, -1, 7, -1, 7, -1);
    const __m256i alpha23 = _mm256_setr_epi8(11, -1, 11, -1, 11, -1, 11, -1, 15, -1, 15, -1, 15, -1, 15, -1, 11, -1,
                                             11, -1, 11, -1, 11, -1, 15, -1, 15, -1, 15, -1, 15, -1);
    const __m256i lo = _mm256_min_epu16(_mm256_packus_epi32(v[0], v[1]), byte16);
    const __m256i hi = _mm256_min_epu16(_mm256_packus_epi32(v[2], v[3]), byte16);
    const __m256i bytes = _mm256_packus_epi16(TimesAlpha16(lo, _mm256_shuffle_epi8(px, alpha01)),
                                              TimesAlpha16(hi, _mm256_shuffle_epi8(px, alpha23)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), _mm256_or_si256(bytes, _mm256_and_si256(px, k.alphaMask)));
}

// The closest point's bytes (blue, green, red, 0), whole from the byte grid, premultiplied.
ORVEX_TARGET_AVX2 inline void Nearest(const Constants& k, const uint8_t* bytes, __m256i px, uint8_t* d) {
    const __m256i A = _mm256_srli_epi32(px, 24);
    const Axis r = AxisOf(_mm256_and_si256(_mm256_srli_epi32(px, 16), k.byte), k.spacing, k.last, k.scaleR);
    const Axis g = AxisOf(_mm256_and_si256(_mm256_srli_epi32(px, 8), k.byte), k.spacing, k.last, k.scaleG);
    const Axis b = AxisOf(_mm256_and_si256(px, k.byte), k.spacing, k.last, k.scaleB);
    // Offsets count floats of the packed grid; the byte grid has one byte per float.
    const __m256i o = _mm256_add_epi32(
        _mm256_add_epi32(NearestOffset(r, k.scaleR, k.last), NearestOffset(g, k.scaleG, k.last)),
        NearestOffset(b, k.scaleB, k.last));
    const __m256i bgr0 = _mm256_i32gather_epi32(reinterpret_cast<const int*>(bytes), o, 1);
    const __m256i bv = _mm256_and_si256(bgr0, k.byte);
    const __m256i gv = _mm256_and_si256(_mm256_srli_epi32(bgr0, 8), k.byte);
    const __m256i rv = _mm256_and_si256(_mm256_srli_epi32(bgr0, 16), k.byte);
    const __m256i out =
        _mm256_or_si256(_mm256_or_si256(TimesAlpha(bv, A), _mm256_slli_epi32(TimesAlpha(gv, A), 8)),
                        _mm256_or_si256(_mm256_slli_epi32(TimesAlpha(rv, A), 16), _mm256_and_si256(px, k.alphaMask)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), out);
}

ORVEX_TARGET_AVX2 inline __m256i LoadPixels(const uint8_t* s) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s)); }

}  // namespace

ORVEX_TARGET_AVX2 int CubeBGRAAvx2(const TetraTables& t, Interpolation mode, const uint8_t* src, uint8_t* dst,
                                   int pixels) {
    const int n = t.size;
    Constants k;
    k.byte = _mm256_set1_epi32(0xff);
    k.last = _mm256_set1_epi32(n - 1);
    k.scaleR = _mm256_set1_epi32(n * n * 4), k.scaleG = _mm256_set1_epi32(n * 4), k.scaleB = _mm256_set1_epi32(4);
    k.alphaMask = _mm256_set1_epi32(static_cast<int>(0xff000000u));
    k.one = _mm256_set1_ps(1.0f);
    k.spacing = _mm256_set1_ps(255.0f / static_cast<float>(n - 1));
    k.stepR = n * n * 4, k.stepG = n * 4;
    const int whole = pixels / 8 * 8;
    if (mode == Interpolation::Nearest) {
        for (int x = 0; x < whole; x += 8) Nearest(k, t.bytes, LoadPixels(src + 4 * x), dst + 4 * x);
        return whole;
    }
    Corners c;
    for (int x = 0; x < whole; x += 8 * kBlocks) {
        const int count = std::min(8 * kBlocks, whole - x);
        for (int i = 0; i < count; i += 8) Prepare(k, mode, LoadPixels(src + 4 * (x + i)), &c, i);
        // In place, block i's source is read here before block i is written.
        for (int i = 0; i < count; i += 8) {
            const __m256i px = LoadPixels(src + 4 * (x + i));
            if (mode == Interpolation::Tetrahedral) Interpolate<true>(k, t.grid, c, i, px, dst + 4 * (x + i));
            else Interpolate<false>(k, t.grid, c, i, px, dst + 4 * (x + i));
        }
    }
    return whole;
}

#else

int CubeBGRAAvx2(const TetraTables&, Interpolation, const uint8_t*, uint8_t*, int) { return 0; }

#endif

}  // namespace orvex::cuberows
