// The cube's tetrahedral pass, 16 BGRA pixels at a time with AVX-512: the tetrahedron and its
// weights for all 16 in vector lanes, then four pixels to a register for the interpolation,
// each vertex fetched whole by one 16-byte load. This file is built without floating-point
// contraction: a fused multiply-add would round differently from the plain body.
#include "imagecpu/CubeLutRows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVEX_CUBE_X86 1
#define ORVEX_TARGET_512 __attribute__((target("avx512f,avx512bw")))
#else
#define ORVEX_CUBE_X86 0
#endif

namespace orvex::cuberows {

#if ORVEX_CUBE_X86

namespace {

// One axis for 16 byte values, as the tables are built: x = v / (255 / (N - 1)) in float, the
// lower point floor(x), the fraction x - floor(x); the last point and byte 255 have fraction 0
// and no step.
struct Axis {
    __m512 frac;
    __m512i index, offset, step;
};

ORVEX_TARGET_512 inline Axis AxisOf(__m512i v, __m512 spacing, __m512i last, __m512i scale) {
    const __m512 x = _mm512_div_ps(_mm512_cvtepi32_ps(v), spacing);
    const __m512 f = _mm512_roundscale_ps(x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    const __m512i idx = _mm512_cvttps_epi32(f);
    const __mmask16 top = _mm512_cmpge_epi32_mask(idx, last) | _mm512_cmpeq_epi32_mask(v, _mm512_set1_epi32(255));
    Axis a;
    a.frac = _mm512_maskz_sub_ps(static_cast<__mmask16>(~top), x, f);
    a.index = _mm512_mask_mov_epi32(idx, top, last);
    a.offset = _mm512_mullo_epi32(a.index, scale);
    a.step = _mm512_maskz_mov_epi32(static_cast<__mmask16>(~top), scale);
    return a;
}

// Four vertices (offsets o[0..3] into the grid) in the four 128-bit lanes.
ORVEX_TARGET_512 inline __m512 Vertices(const float* grid, const int32_t* o) {
    __m512 v = _mm512_castps128_ps512(_mm_load_ps(grid + o[0]));
    v = _mm512_insertf32x4(v, _mm_load_ps(grid + o[1]), 1);
    v = _mm512_insertf32x4(v, _mm_load_ps(grid + o[2]), 2);
    return _mm512_insertf32x4(v, _mm_load_ps(grid + o[3]), 3);
}

// (a*v + 127) / 255 for bytes a and v, exactly, as q = (p + 1 + (p >> 8)) >> 8 with p = a*v + 127.
ORVEX_TARGET_512 inline __m512i TimesAlpha(__m512i v, __m512i alpha) {
    const __m512i p = _mm512_add_epi32(_mm512_mullo_epi32(v, alpha), _mm512_set1_epi32(127));
    return _mm512_srli_epi32(_mm512_add_epi32(_mm512_add_epi32(p, _mm512_set1_epi32(1)), _mm512_srli_epi32(p, 8)),
                             8);
}

// Nearest even, saturated to a byte (what the plain body's two packs do), then premultiplied.
ORVEX_TARGET_512 inline __m512i Premultiplied(__m512 v, __m512i alpha) {
    const __m512i i = _mm512_min_epi32(_mm512_max_epi32(_mm512_cvtps_epi32(v), _mm512_setzero_si512()),
                                       _mm512_set1_epi32(0xff));
    return TimesAlpha(i, alpha);
}

// The closest point's offset on one axis: min(floor(lower + fraction + 0.5), N - 1) points.
ORVEX_TARGET_512 inline __m512i NearestOffset(const Axis& a, __m512i scale, __m512i last) {
    const __m512 lower = _mm512_cvtepi32_ps(a.index);
    const __m512 x = _mm512_add_ps(_mm512_add_ps(lower, a.frac), _mm512_set1_ps(0.5f));
    const __m512i i = _mm512_cvttps_epi32(_mm512_roundscale_ps(x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
    return _mm512_mullo_epi32(_mm512_min_epi32(i, last), scale);
}

ORVEX_TARGET_512 inline __m512 Lerp(__m512 a, __m512 b, __m512 t) {
    return _mm512_add_ps(_mm512_mul_ps(a, _mm512_sub_ps(_mm512_set1_ps(1.0f), t)), _mm512_mul_ps(b, t));
}

}  // namespace

ORVEX_TARGET_512 int CubeBGRAAvx512(const TetraTables& t, Interpolation mode, const uint8_t* src, uint8_t* dst,
                                    int pixels) {
    const int n = t.size;
    const __m512i byte = _mm512_set1_epi32(0xff);
    const __m512 one = _mm512_set1_ps(1.0f);
    const __m512 spacing = _mm512_set1_ps(255.0f / static_cast<float>(n - 1));
    const __m512i last = _mm512_set1_epi32(n - 1);
    const __m512i scaleR = _mm512_set1_epi32(n * n * 4), scaleG = _mm512_set1_epi32(n * 4);
    const __m512i scaleB = _mm512_set1_epi32(4);
    const __m128i alphaMask = _mm_set1_epi32(static_cast<int>(0xff000000u));
    const __m512i alphaMask512 = _mm512_set1_epi32(static_cast<int>(0xff000000u));
    // Lanes 4k..4k+3 of group j take pixel 4j + k's value.
    const __m512i spread0 = _mm512_set_epi32(3, 3, 3, 3, 2, 2, 2, 2, 1, 1, 1, 1, 0, 0, 0, 0);
    alignas(64) int32_t off[8][16];
    int x = 0;
    for (; x + 16 <= pixels; x += 16) {
        const __m512i px = _mm512_loadu_si512(src + 4 * x);
        const __m512i A = _mm512_srli_epi32(px, 24);
        const Axis r = AxisOf(_mm512_and_si512(_mm512_srli_epi32(px, 16), byte), spacing, last, scaleR);
        const Axis g = AxisOf(_mm512_and_si512(_mm512_srli_epi32(px, 8), byte), spacing, last, scaleG);
        const Axis b = AxisOf(_mm512_and_si512(px, byte), spacing, last, scaleB);

        if (mode == Interpolation::Nearest) {
            // The closest point: min(floor(lower + fraction + 0.5), N - 1) on each axis; its bytes
            // (blue, green, red, 0) come whole from the byte grid.
            const __m512i o = _mm512_add_epi32(
                _mm512_add_epi32(NearestOffset(r, scaleR, last), NearestOffset(g, scaleG, last)),
                NearestOffset(b, scaleB, last));
            // Offsets count floats of the packed grid; the byte grid has one byte per float.
            const __m512i bgr0 = _mm512_i32gather_epi32(o, t.bytes, 1);
            const __m512i bv = _mm512_and_si512(bgr0, byte);
            const __m512i gv = _mm512_and_si512(_mm512_srli_epi32(bgr0, 8), byte);
            const __m512i rv = _mm512_and_si512(_mm512_srli_epi32(bgr0, 16), byte);
            const __m512i out = _mm512_or_si512(
                _mm512_or_si512(TimesAlpha(bv, A), _mm512_slli_epi32(TimesAlpha(gv, A), 8)),
                _mm512_or_si512(_mm512_slli_epi32(TimesAlpha(rv, A), 16), _mm512_and_si512(px, alphaMask512)));
            _mm512_storeu_si512(dst + 4 * x, out);
            continue;
        }

        const __m512i o000 = _mm512_add_epi32(_mm512_add_epi32(r.offset, g.offset), b.offset);
        __m512 w[4];
        int corners;
        if (mode == Interpolation::Tetrahedral) {
            // The largest fraction's axis steps first, the smallest's last, ties broken as the
            // plain body breaks them; the weights are the sorted fractions' differences.
            const __mmask16 rg = _mm512_cmp_ps_mask(r.frac, g.frac, _CMP_GT_OQ);
            const __mmask16 gb = _mm512_cmp_ps_mask(g.frac, b.frac, _CMP_GT_OQ);
            const __mmask16 rb = _mm512_cmp_ps_mask(r.frac, b.frac, _CMP_GT_OQ);
            const __mmask16 maxR = rg & rb, maxG = gb & static_cast<__mmask16>(~rg);
            const __mmask16 minR = static_cast<__mmask16>(~rg & ~rb), minG = rg & static_cast<__mmask16>(~gb);
            const __m512i stepMax =
                _mm512_mask_blend_epi32(maxR, _mm512_mask_blend_epi32(maxG, b.step, g.step), r.step);
            const __m512i stepMin =
                _mm512_mask_blend_epi32(minR, _mm512_mask_blend_epi32(minG, b.step, g.step), r.step);
            const __m512 hi = _mm512_max_ps(r.frac, _mm512_max_ps(g.frac, b.frac));
            const __m512 lo = _mm512_min_ps(r.frac, _mm512_min_ps(g.frac, b.frac));
            const __m512 mid = _mm512_max_ps(_mm512_min_ps(r.frac, g.frac),
                                             _mm512_min_ps(_mm512_max_ps(r.frac, g.frac), b.frac));
            w[0] = _mm512_sub_ps(one, hi), w[1] = _mm512_sub_ps(hi, mid), w[2] = _mm512_sub_ps(mid, lo);
            w[3] = lo;
            const __m512i o111 = _mm512_add_epi32(o000, _mm512_add_epi32(_mm512_add_epi32(r.step, g.step), b.step));
            _mm512_store_si512(off[0], o000);
            _mm512_store_si512(off[1], _mm512_add_epi32(o000, stepMax));
            _mm512_store_si512(off[2], _mm512_sub_epi32(o111, stepMin));
            _mm512_store_si512(off[3], o111);
            corners = 4;
        } else {
            // Corner k steps along red for bit 0, green for bit 1, blue for bit 2.
            for (int k = 0; k < 8; ++k) {
                __m512i o = o000;
                if (k & 1) o = _mm512_add_epi32(o, r.step);
                if (k & 2) o = _mm512_add_epi32(o, g.step);
                if (k & 4) o = _mm512_add_epi32(o, b.step);
                _mm512_store_si512(off[k], o);
            }
            w[0] = r.frac, w[1] = g.frac, w[2] = b.frac;
            corners = 8;
        }

        for (int j = 0; j < 4; ++j) {
            const __m512i spread = _mm512_add_epi32(_mm512_set1_epi32(4 * j), spread0);
            __m512 v;
            if (corners == 4) {
                v = _mm512_add_ps(
                    _mm512_add_ps(_mm512_mul_ps(_mm512_permutexvar_ps(spread, w[0]), Vertices(t.grid, off[0] + 4 * j)),
                                  _mm512_mul_ps(_mm512_permutexvar_ps(spread, w[1]), Vertices(t.grid, off[1] + 4 * j))),
                    _mm512_add_ps(_mm512_mul_ps(_mm512_permutexvar_ps(spread, w[2]), Vertices(t.grid, off[2] + 4 * j)),
                                  _mm512_mul_ps(_mm512_permutexvar_ps(spread, w[3]), Vertices(t.grid, off[3] + 4 * j))));
            } else {
                // Along red, then green, then blue, each a*(1 - f) + b*f.
                const __m512 fr = _mm512_permutexvar_ps(spread, w[0]);
                const __m512 fg = _mm512_permutexvar_ps(spread, w[1]);
                const __m512 fb = _mm512_permutexvar_ps(spread, w[2]);
                __m512 corner[8];
                for (int k = 0; k < 8; ++k) corner[k] = Vertices(t.grid, off[k] + 4 * j);
                const __m512 c00 = Lerp(corner[0], corner[1], fr), c10 = Lerp(corner[2], corner[3], fr);
                const __m512 c01 = Lerp(corner[4], corner[5], fr), c11 = Lerp(corner[6], corner[7], fr);
                v = Lerp(Lerp(c00, c10, fg), Lerp(c01, c11, fg), fb);
            }
            const __m512i q = Premultiplied(v, _mm512_permutexvar_epi32(spread, A));
            // The padding lane is 0 and gives 0; the source's alpha goes there.
            const __m128i alpha =
                _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * (x + 4 * j))), alphaMask);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * (x + 4 * j)),
                             _mm_or_si128(_mm512_cvtepi32_epi8(q), alpha));
        }
    }
    return x;
}

#else

int CubeBGRAAvx512(const TetraTables&, Interpolation, const uint8_t*, uint8_t*, int) { return 0; }

#endif

}  // namespace orvex::cuberows
