// The cube's three passes, 8 BGRA pixels at a time with AVX2: the AVX-512 body's steps on half
// the lanes. Axes, tetrahedron and weights for all 8 in vector lanes; the interpolation takes
// two pixels to a register (pixel j low, pixel j + 4 high), so that the two packs at the end put
// the 8 results back in order. Built without floating-point contraction, as the plain body is.
#include "imagecpu/CubeLutRows.h"

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

}  // namespace

ORVEX_TARGET_AVX2 int CubeBGRAAvx2(const TetraTables& t, Interpolation mode, const uint8_t* src, uint8_t* dst,
                                   int pixels) {
    const int n = t.size;
    const __m256i byte = _mm256_set1_epi32(0xff);
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 spacing = _mm256_set1_ps(255.0f / static_cast<float>(n - 1));
    const __m256i last = _mm256_set1_epi32(n - 1);
    const __m256i scaleR = _mm256_set1_epi32(n * n * 4), scaleG = _mm256_set1_epi32(n * 4);
    const __m256i scaleB = _mm256_set1_epi32(4);
    const __m256i alphaMask = _mm256_set1_epi32(static_cast<int>(0xff000000u));
    alignas(32) int32_t off[8][8];
    int x = 0;
    for (; x + 8 <= pixels; x += 8) {
        const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 4 * x));
        const __m256i A = _mm256_srli_epi32(px, 24);
        const Axis r = AxisOf(_mm256_and_si256(_mm256_srli_epi32(px, 16), byte), spacing, last, scaleR);
        const Axis g = AxisOf(_mm256_and_si256(_mm256_srli_epi32(px, 8), byte), spacing, last, scaleG);
        const Axis b = AxisOf(_mm256_and_si256(px, byte), spacing, last, scaleB);

        if (mode == Interpolation::Nearest) {
            // Offsets count floats of the packed grid; the byte grid has one byte per float.
            const __m256i o = _mm256_add_epi32(
                _mm256_add_epi32(NearestOffset(r, scaleR, last), NearestOffset(g, scaleG, last)),
                NearestOffset(b, scaleB, last));
            const __m256i bgr0 = _mm256_i32gather_epi32(reinterpret_cast<const int*>(t.bytes), o, 1);
            const __m256i bv = _mm256_and_si256(bgr0, byte);
            const __m256i gv = _mm256_and_si256(_mm256_srli_epi32(bgr0, 8), byte);
            const __m256i rv = _mm256_and_si256(_mm256_srli_epi32(bgr0, 16), byte);
            const __m256i out = _mm256_or_si256(
                _mm256_or_si256(TimesAlpha(bv, A), _mm256_slli_epi32(TimesAlpha(gv, A), 8)),
                _mm256_or_si256(_mm256_slli_epi32(TimesAlpha(rv, A), 16), _mm256_and_si256(px, alphaMask)));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * x), out);
            continue;
        }

        const __m256i o000 = _mm256_add_epi32(_mm256_add_epi32(r.offset, g.offset), b.offset);
        __m256 w[4];
        int corners;
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
            const __m256 mid = _mm256_max_ps(_mm256_min_ps(r.frac, g.frac),
                                             _mm256_min_ps(_mm256_max_ps(r.frac, g.frac), b.frac));
            w[0] = _mm256_sub_ps(one, hi), w[1] = _mm256_sub_ps(hi, mid), w[2] = _mm256_sub_ps(mid, lo);
            w[3] = lo;
            const __m256i o111 =
                _mm256_add_epi32(o000, _mm256_add_epi32(_mm256_add_epi32(r.step, g.step), b.step));
            _mm256_store_si256(reinterpret_cast<__m256i*>(off[0]), o000);
            _mm256_store_si256(reinterpret_cast<__m256i*>(off[1]), _mm256_add_epi32(o000, stepMax));
            _mm256_store_si256(reinterpret_cast<__m256i*>(off[2]), _mm256_sub_epi32(o111, stepMin));
            _mm256_store_si256(reinterpret_cast<__m256i*>(off[3]), o111);
            corners = 4;
        } else {
            // Corner k steps along red for bit 0, green for bit 1, blue for bit 2.
            for (int k = 0; k < 8; ++k) {
                __m256i o = o000;
                if (k & 1) o = _mm256_add_epi32(o, r.step);
                if (k & 2) o = _mm256_add_epi32(o, g.step);
                if (k & 4) o = _mm256_add_epi32(o, b.step);
                _mm256_store_si256(reinterpret_cast<__m256i*>(off[k]), o);
            }
            w[0] = r.frac, w[1] = g.frac, w[2] = b.frac;
            corners = 8;
        }

        __m256i q[4];
        for (int j = 0; j < 4; ++j) {
            const __m256i spread = _mm256_setr_epi32(j, j, j, j, j + 4, j + 4, j + 4, j + 4);
            __m256 v;
            if (corners == 4) {
                v = _mm256_add_ps(
                    _mm256_add_ps(_mm256_mul_ps(_mm256_permutevar8x32_ps(w[0], spread), Vertices(t.grid, off[0], j)),
                                  _mm256_mul_ps(_mm256_permutevar8x32_ps(w[1], spread), Vertices(t.grid, off[1], j))),
                    _mm256_add_ps(_mm256_mul_ps(_mm256_permutevar8x32_ps(w[2], spread), Vertices(t.grid, off[2], j)),
                                  _mm256_mul_ps(_mm256_permutevar8x32_ps(w[3], spread), Vertices(t.grid, off[3], j))));
            } else {
                // Along red, then green, then blue, each a*(1 - f) + b*f.
                const __m256 fr = _mm256_permutevar8x32_ps(w[0], spread);
                const __m256 fg = _mm256_permutevar8x32_ps(w[1], spread);
                const __m256 fb = _mm256_permutevar8x32_ps(w[2], spread);
                __m256 corner[8];
                for (int k = 0; k < 8; ++k) corner[k] = Vertices(t.grid, off[k], j);
                const __m256 c00 = Lerp(corner[0], corner[1], fr), c10 = Lerp(corner[2], corner[3], fr);
                const __m256 c01 = Lerp(corner[4], corner[5], fr), c11 = Lerp(corner[6], corner[7], fr);
                v = Lerp(Lerp(c00, c10, fg), Lerp(c01, c11, fg), fb);
            }
            // Nearest even, saturated to a byte (the plain body's two packs), then premultiplied.
            const __m256i i = _mm256_min_epi32(_mm256_max_epi32(_mm256_cvtps_epi32(v), _mm256_setzero_si256()), byte);
            q[j] = TimesAlpha(i, _mm256_permutevar8x32_epi32(A, spread));
        }
        // Each lane now holds pixels 0..3 (low) and 4..7 (high) in order; the padding lane is 0
        // and takes the source's alpha.
        const __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(q[0], q[1]), _mm256_packus_epi32(q[2], q[3]));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * x), _mm256_or_si256(bytes, _mm256_and_si256(px, alphaMask)));
    }
    return x;
}

#else

int CubeBGRAAvx2(const TetraTables&, Interpolation, const uint8_t*, uint8_t*, int) { return 0; }

#endif

}  // namespace orvex::cuberows
