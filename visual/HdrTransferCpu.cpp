// SDR2HDR, PQToHLG and HLGToPQ on host frames through cached tables; see HdrTransferCpu.h.
#include "visual/HdrTransferCpu.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

#include <opencv2/core.hpp>

#include "host/simd/simd_level.h"
#include "visual/PixelMap.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVEX_HDR_X86 1
#define ORVEX_TARGET_AVX2 __attribute__((target("avx2")))
#else
#define ORVEX_HDR_X86 0
#endif

// GCC 12's gather intrinsics start from an undefined vector that it takes for an uninitialised
// one when they are inlined into a function with a target attribute.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace orvex {
namespace {

using hdr64::Transfer;
using hdr64::TransferSteps;

// Mix results above this take the plain Encode: the thresholds are searched below it, where
// every transfer's Encode is finite and rising (no pixel of a 0..1 frame gets near it).
constexpr double kMaxTabled = 1024.0;

uint64_t BitsOf(double x) {
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

double DoubleOf(uint64_t b) {
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

// What BGRAPlane::Write stores for a value.
int Quantized(double v, double max) {
    return static_cast<int>(std::nearbyint(std::clamp(std::isnan(v) ? 0.0 : v, 0.0, 1.0) * max));
}

int PlainCode(const TransferSteps& steps, double max, double x) { return Quantized(steps.Encode(x), max); }

// Decode of every input code as BGRAPlane reads it (code times 1 / max).
std::vector<double> DecodeTable(const TransferSteps& steps, bool sixteen) {
    const int n = sixteen ? 65536 : 256;
    const double k = 1.0 / (n - 1);
    std::vector<double> t(n);
    for (int c = 0; c < n; ++c) t[c] = steps.Decode(c * k);
    return t;
}

// The smallest Mix result in (lo, hi] whose output code is at least j, given
// Code(lo) < j <= Code(hi).
double FirstWithCode(const TransferSteps& steps, double max, int j, double xlo, double xhi) {
    // The bracket as bits of non-negative doubles, ordered as the values are. Illinois steps on
    // the unrounded value (the secant through the bracket, the stale end's value halved when one
    // end stays twice) land near the crossing of j - 1/2 in a few steps; a halving of the bits
    // after any step that did not halve the bracket bounds the search where the curve is flat or
    // steep.
    const double target = j - 0.5;
    uint64_t lo = BitsOf(xlo), hi = BitsOf(xhi);
    double flo = steps.Encode(xlo) * max - target, fhi = steps.Encode(xhi) * max - target;
    bool secant = true;
    int kept = 0;  // +1: hi moved last, -1: lo moved last
    while (hi - lo > 1) {
        uint64_t mid = lo + (hi - lo) / 2;
        if (secant && flo < 0.0 && fhi > 0.0) {
            const double a = DoubleOf(lo), b = DoubleOf(hi);
            mid = std::clamp(BitsOf(std::clamp(a + (-flo / (fhi - flo)) * (b - a), a, b)), lo + 1, hi - 1);
        }
        const uint64_t width = hi - lo;
        const double e = steps.Encode(DoubleOf(mid));
        if (Quantized(e, max) >= j) {
            hi = mid, fhi = e * max - target;
            if (kept == 1) flo /= 2;
            kept = 1;
        } else {
            lo = mid, flo = e * max - target;
            if (kept == -1) fhi /= 2;
            kept = -1;
        }
        secant = !secant || hi - lo <= width / 2;
    }
    return DoubleOf(hi);
}

// t[j0..j1) of EncodeTable below: each from the bracket its predecessor gives, widened from the
// last step until it holds the code.
void Thresholds(const TransferSteps& steps, int max, int j0, int j1, double* t) {
    const double dmax = max;
    const auto code = [&](double x) { return PlainCode(steps, dmax, x); };
    const double inf = std::numeric_limits<double>::infinity();
    const int bottom = code(0.0), top = code(kMaxTabled);
    double prev = 0.0, step = 0.0;
    for (int j = j0; j < j1; ++j) {
        if (bottom >= j) {
            t[j] = 0.0;
            continue;
        }
        if (top < j) {
            t[j] = inf;
            continue;
        }
        double lo = j == j0 ? 0.0 : prev, hi = kMaxTabled;
        if (code(lo) >= j) {
            t[j] = lo;  // two codes begin at one value where the curve is steep
            continue;
        }
        if (step > 0.0) {
            for (double s = step; lo + s < kMaxTabled; s *= 2) {
                if (code(lo + s) >= j) {
                    hi = lo + s;
                    break;
                }
                lo += s;
            }
        }
        t[j] = FirstWithCode(steps, dmax, j, lo, hi);
        if (j > j0 && t[j] > prev) step = t[j] - prev;
        prev = t[j];
    }
}

// An output channel's code as a function of its Mix result x (opaque pixels): the number of
// thresholds t[1..max] at or below x. A bucket per run of leading bits of x holds the count
// below it, so a lookup walks only the few thresholds inside one bucket.
class EncodeTable {
public:
    EncodeTable(const TransferSteps& steps, bool sixteen) {
        const int max = sixteen ? 65535 : 255;
        t_.assign(max + 2, 0.0);
        t_[0] = -std::numeric_limits<double>::infinity();
        t_[max + 1] = std::numeric_limits<double>::infinity();
        cv::parallel_for_(cv::Range(1, max + 1),
                          [&](const cv::Range& r) { Thresholds(steps, max, r.start, r.end, t_.data()); });
        // Buckets over the finite positive thresholds, no more than 2^16 of them.
        double lo = 0.0, hi = 0.0;
        int finite = 0;
        for (int j = 1; j <= max; ++j) {
            if (t_[j] > 0.0 && lo == 0.0) lo = t_[j];
            if (std::isfinite(t_[j])) hi = t_[j], finite = j;
        }
        if (lo == 0.0) lo = hi = 1.0;
        shift_ = 30;
        while (((BitsOf(hi) >> shift_) - (BitsOf(lo) >> shift_)) >= 65536) ++shift_;
        keyLo_ = BitsOf(lo) >> shift_;
        keyHi_ = BitsOf(hi) >> shift_;
        start_.assign(keyHi_ - keyLo_ + 2, 0);
        std::vector<int> inBucket(start_.size(), 0);
        for (int j = 1; j <= finite; ++j)
            if (t_[j] > 0.0) ++inBucket[(BitsOf(t_[j]) >> shift_) - keyLo_];
        int below = finite - std::count_if(t_.begin() + 1, t_.begin() + finite + 1, [](double v) { return v > 0.0; });
        int most = 0;
        for (size_t k = 0; k + 1 < start_.size(); ++k) {
            start_[k] = static_cast<uint16_t>(below);
            below += inBucket[k];
            most = std::max(most, inBucket[k]);
        }
        // A binary search of steps span, span / 2, ..., 1 reaches 2 span - 1 thresholds past a
        // bucket's start; the table runs on past the last with infinities for it.
        span_ = 1;
        while (2 * span_ - 1 < most) span_ *= 2;
        t_.resize(max + 2 + 2 * span_, std::numeric_limits<double>::infinity());
    }

    // x in 0..kMaxTabled.
    int Code(double x) const {
        const uint64_t k = std::clamp(BitsOf(x) >> shift_, keyLo_, keyHi_) - keyLo_;
        int c = start_[k];
        for (int s = span_; s > 0; s >>= 1) c += t_[c + s] <= x ? s : 0;
        return c;
    }

#if ORVEX_HDR_X86
    // Code of four x in 0..kMaxTabled, the same steps in lanes.
    ORVEX_TARGET_AVX2 __m128i Codes(__m256d x) const {
        const __m256i lo = _mm256_set1_epi64x(static_cast<long long>(keyLo_));
        const __m256i hi = _mm256_set1_epi64x(static_cast<long long>(keyHi_));
        __m256i k = _mm256_srl_epi64(_mm256_castpd_si256(x), _mm_cvtsi32_si128(shift_));
        k = _mm256_blendv_epi8(k, lo, _mm256_cmpgt_epi64(lo, k));
        k = _mm256_blendv_epi8(k, hi, _mm256_cmpgt_epi64(k, hi));
        k = _mm256_sub_epi64(k, lo);
        // start_ holds 16-bit counts: a 32-bit gather at twice the index, the high half dropped
        // (the vector keeps a spare entry past the last).
        __m128i c = _mm_and_si128(
            _mm256_i64gather_epi32(reinterpret_cast<const int*>(start_.data()), k, 2), _mm_set1_epi32(0xffff));
        const __m256i pick = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
        for (int s = span_; s > 0; s >>= 1) {
            const __m128i next = _mm_add_epi32(c, _mm_set1_epi32(s));
            const __m256d below = _mm256_cmp_pd(_mm256_i32gather_pd(t_.data(), next, 8), x, _CMP_LE_OQ);
            const __m128i step = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(_mm256_castpd_si256(below), pick));
            c = _mm_add_epi32(c, _mm_and_si128(step, _mm_set1_epi32(s)));
        }
        return c;
    }
#endif

private:
    std::vector<double> t_;
    std::vector<uint16_t> start_;
    int shift_ = 0, span_ = 1;
    uint64_t keyLo_ = 0, keyHi_ = 0;
};

struct Tables {
    std::vector<double> decode;    // by input code
    std::vector<uint16_t> alpha;   // the output alpha code of each input alpha code
    EncodeTable encode;
};

std::vector<uint16_t> AlphaTable(bool sixteenIn, bool sixteenOut) {
    const int n = sixteenIn ? 65536 : 256;
    const double k = 1.0 / (n - 1), outMax = sixteenOut ? 65535.0 : 255.0;
    std::vector<uint16_t> t(n);
    for (int c = 0; c < n; ++c) t[c] = static_cast<uint16_t>(Quantized(c * k, outMax));
    return t;
}

// Built on first use, kept for the process: a table set is a few hundred kilobytes and a frame
// of its transfer would otherwise pay for its build.
std::shared_ptr<const Tables> TablesFor(const TransferSteps& steps, bool sixteenIn, bool sixteenOut) {
    static std::mutex mutex;
    static std::map<std::tuple<int, int, bool, bool>, std::shared_ptr<const Tables>> cache;
    // Decode and Encode depend on the transfer and, for SDR2HDR, on whether it targets PQ.
    const int curve = steps.op == Transfer::SDR2HDR && steps.pqMode != 0 ? 1 : 0;
    const auto key = std::make_tuple(static_cast<int>(steps.op), curve, sixteenIn, sixteenOut);
    std::lock_guard<std::mutex> lock(mutex);
    auto& slot = cache[key];
    if (!slot)
        slot = std::make_shared<const Tables>(
            Tables{DecodeTable(steps, sixteenIn), AlphaTable(sixteenIn, sixteenOut), EncodeTable(steps, sixteenOut)});
    return slot;
}

// One pixel: four samples from s to d.
template <typename In, typename Out>
inline void Pixel(const TransferSteps& steps, const Tables& t, double inK, double outMax, const In* s, Out* d) {
    double rgb[3] = {t.decode[s[2]], t.decode[s[1]], t.decode[s[0]]};
    const double alpha = s[3] * inK;
    steps.Mix(rgb);
    int code[3];
    for (int c = 0; c < 3; ++c) {
        const double v = rgb[c];
        if (steps.op == Transfer::SDR2HDR && alpha != 1.0)
            code[c] = alpha == 0.0 ? 0 : Quantized(steps.Encode(v) * alpha, outMax);
        else if (v >= 0.0 && v <= kMaxTabled) code[c] = t.encode.Code(v);
        else code[c] = Quantized(steps.Encode(v), outMax);
    }
    d[0] = static_cast<Out>(code[2]);
    d[1] = static_cast<Out>(code[1]);
    d[2] = static_cast<Out>(code[0]);
    d[3] = static_cast<Out>(t.alpha[s[3]]);
}

// Whether this processor runs the AVX2 rows, and ORVEX_SIMD allows them.
bool Avx2Rows() {
#if ORVEX_HDR_X86
    static const bool avx2 =
        __builtin_cpu_supports("avx2") && orvexhost::SimdCap() >= orvexhost::SimdLevel::Avx2;
    return avx2;
#else
    return false;
#endif
}

#if ORVEX_HDR_X86
// Four pixels in the lanes of AVX2 doubles. Mix's arithmetic is repeated operation for operation
// (no fused multiply-add: the target has none), so where it has no pow its results are the plain
// ones. Its one pow is replaced by exp(p log y) from series whose error stays below 1e-14; the
// plain result then lies within a relative kWindow of the lanes' one, and a channel whose code is
// the same at both ends of that window has the plain code. Lanes that are not settled so (or are
// out of the tables' range) take the plain pixel.
constexpr double kWindow = 1.0 / (1LL << 36);

ORVEX_TARGET_AVX2 inline __m256d Set(double v) { return _mm256_set1_pd(v); }
// A float constant of the curve file, widened as the double body widens it.
ORVEX_TARGET_AVX2 inline __m256d F(float v) { return _mm256_set1_pd(static_cast<double>(v)); }

// (m0 r + m1 g) + m2 b, as mat3_apply sums.
ORVEX_TARGET_AVX2 inline __m256d Dot3(const double* m, __m256d r, __m256d g, __m256d b) {
    return _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(Set(m[0]), r), _mm256_mul_pd(Set(m[1]), g)),
                         _mm256_mul_pd(Set(m[2]), b));
}

// log v for positive normal v: v = 2^e m with m in [sqrt(1/2), sqrt(2)), log m = 2 atanh(s) with
// s = (m - 1) / (m + 1), |s| < 0.172, as its series to s^17 (the rest is below 1e-16 of it).
ORVEX_TARGET_AVX2 inline __m256d Log4(__m256d v) {
    const __m256i bits = _mm256_castpd_si256(v);
    __m256i e = _mm256_sub_epi64(_mm256_srli_epi64(bits, 52), _mm256_set1_epi64x(1023));
    const __m256i mantissa = _mm256_and_si256(bits, _mm256_set1_epi64x(0xfffffffffffffLL));
    __m256d m = _mm256_castsi256_pd(_mm256_or_si256(mantissa, _mm256_set1_epi64x(0x3ff0000000000000LL)));
    const __m256d big = _mm256_cmp_pd(m, Set(1.4142135623730951), _CMP_GT_OQ);
    m = _mm256_blendv_pd(m, _mm256_mul_pd(m, Set(0.5)), big);
    e = _mm256_sub_epi64(e, _mm256_castpd_si256(big));
    const __m256d ed = _mm256_cvtepi32_pd(
        _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(e, _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6))));
    const __m256d f = _mm256_sub_pd(m, Set(1.0));
    const __m256d sv = _mm256_div_pd(f, _mm256_add_pd(f, Set(2.0))), z = _mm256_mul_pd(sv, sv);
    __m256d p = Set(1.0 / 17);
    for (int k = 15; k >= 3; k -= 2) p = _mm256_add_pd(_mm256_mul_pd(p, z), Set(1.0 / k));
    p = _mm256_add_pd(_mm256_mul_pd(p, z), Set(1.0));
    return _mm256_add_pd(_mm256_mul_pd(ed, Set(0.6931471805599453)), _mm256_mul_pd(_mm256_add_pd(sv, sv), p));
}

// 1 / k! for k = 0..13.
constexpr auto kInverseFactorial = [] {
    std::array<double, 14> c{1.0};
    for (int k = 1; k < 14; ++k) c[k] = c[k - 1] / k;
    return c;
}();

// exp y for |y| < 700: y = n log 2 + r, |r| <= log 2 / 2 (log 2 in two parts), e^r by its series
// to r^13 (the rest below 1e-17).
ORVEX_TARGET_AVX2 inline __m256d Exp4(__m256d y) {
    const __m256d n = _mm256_round_pd(_mm256_mul_pd(y, Set(1.4426950408889634)),
                                      _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    const __m256d r = _mm256_sub_pd(_mm256_sub_pd(y, _mm256_mul_pd(n, Set(6.93147180369123816490e-01))),
                                    _mm256_mul_pd(n, Set(1.90821492927058770002e-10)));
    __m256d p = Set(kInverseFactorial[13]);
    for (int k = 12; k >= 0; --k) p = _mm256_add_pd(_mm256_mul_pd(p, r), Set(kInverseFactorial[k]));
    const __m256i scale = _mm256_slli_epi64(
        _mm256_add_epi64(_mm256_cvtepi32_epi64(_mm256_cvtpd_epi32(n)), _mm256_set1_epi64x(1023)), 52);
    return _mm256_mul_pd(p, _mm256_castsi256_pd(scale));
}

// Mix of four pixels; *windowed tells whether its results carry the error of its pow.
ORVEX_TARGET_AVX2 __attribute__((always_inline)) inline void Mix4(const TransferSteps& steps, __m256d* r, __m256d* g,
                                                                  __m256d* b, bool* windowed) {
    if (steps.op == Transfer::SDR2HDR) {
        const double* m = hdr64::BT2020Matrix(steps.sdrMode);
        const __m256d R = Dot3(m, *r, *g, *b), G = Dot3(m + 3, *r, *g, *b), B = Dot3(m + 6, *r, *g, *b);
        const __m256d mx = _mm256_max_pd(R, _mm256_max_pd(G, B));
        const __m256d y = _mm256_mul_pd(mx, Set(hdr64::hable(1000.0 / MP_REF_WHITE)));
        // inv_hable, operation for operation.
        const __m256d t = _mm256_mul_pd(F(0.3f), y);
        const __m256d q2 = _mm256_mul_pd(F(0.15f), _mm256_sub_pd(_mm256_add_pd(t, F(0.02f)), F(0.3f)));
        const __m256d q1 = _mm256_mul_pd(F(0.5f), _mm256_sub_pd(_mm256_add_pd(t, F(0.02f)), F(0.03f)));
        const __m256d q0 = _mm256_mul_pd(_mm256_mul_pd(F(0.2f), y), F(0.09f));
        const __m256d root =
            _mm256_sqrt_pd(_mm256_sub_pd(_mm256_mul_pd(q1, q1), _mm256_mul_pd(_mm256_mul_pd(F(4.0f), q2), q0)));
        const __m256d minusRoot = _mm256_xor_pd(root, Set(-0.0));
        const __m256d inv = _mm256_div_pd(_mm256_sub_pd(minusRoot, q1), _mm256_mul_pd(F(2.0f), q2));
        const __m256d k = _mm256_div_pd(inv, mx);
        const __m256d lit = _mm256_cmp_pd(mx, _mm256_setzero_pd(), _CMP_GT_OQ);
        *r = _mm256_blendv_pd(R, _mm256_mul_pd(R, k), lit);
        *g = _mm256_blendv_pd(G, _mm256_mul_pd(G, k), lit);
        *b = _mm256_blendv_pd(B, _mm256_mul_pd(B, k), lit);
        *windowed = steps.pqMode == 0;
        if (steps.pqMode != 0) return;
        const hdr64::HlgTarget& h = hdr64::SdrToHlg();
        *r = _mm256_mul_pd(*r, Set(h.scale));
        *g = _mm256_mul_pd(*g, Set(h.scale));
        *b = _mm256_mul_pd(*b, Set(h.scale));
        const double weights[3] = {0.2627, 0.6780, 0.0593};
        const __m256d ys = _mm256_max_pd(Dot3(weights, *r, *g, *b), Set(1e-300));
        const __m256d d = _mm256_max_pd(Set(1e-6), Exp4(_mm256_mul_pd(Set(h.exponent), Log4(ys))));
        *r = _mm256_div_pd(*r, d);
        *g = _mm256_div_pd(*g, d);
        *b = _mm256_div_pd(*b, d);
        return;
    }
    const double weights[3] = {0.2627f, 0.6780f, 0.0593f};
    const __m256d y = Dot3(weights, *r, *g, *b);
    // The exponents as the curve file spells them: float arithmetic, then widened.
    const double p = steps.op == Transfer::PQToHLG ? static_cast<double>(-0.2f / 1.2f) : static_cast<double>(0.2f);
    const __m256d lit = _mm256_cmp_pd(y, _mm256_setzero_pd(), _CMP_GT_OQ);
    const __m256d k = _mm256_and_pd(Exp4(_mm256_mul_pd(Set(p), Log4(_mm256_max_pd(y, Set(1e-300))))), lit);
    *r = _mm256_mul_pd(*r, k);
    *g = _mm256_mul_pd(*g, k);
    *b = _mm256_mul_pd(*b, k);
    *windowed = true;
}

// SDR2HDR's Encode of four Mix results, before its clamp: the same curves as the double body with
// its pows and log by the series above, so within a small relative error of the plain values
// (the translucent lanes below settle that error against a window of kTranslucentWindow).
ORVEX_TARGET_AVX2 inline __m256d EncodeSdrToHdr4(const TransferSteps& steps, __m256d x) {
    const __m256d tiny = Set(1e-300);
    if (steps.pqMode == 0) {
        const __m256d e = _mm256_mul_pd(x, F(MP_REF_WHITE_HLG));
        const __m256d root = _mm256_mul_pd(Set(0.5), _mm256_sqrt_pd(_mm256_max_pd(e, _mm256_setzero_pd())));
        const __m256d logged = _mm256_add_pd(
            _mm256_mul_pd(F(HLG_A), Log4(_mm256_max_pd(_mm256_sub_pd(e, F(HLG_B)), tiny))), F(HLG_C));
        return _mm256_blendv_pd(logged, root, _mm256_cmp_pd(e, Set(1.0), _CMP_LE_OQ));
    }
    const __m256d y = _mm256_div_pd(_mm256_mul_pd(x, F(MP_REF_WHITE)), Set(10000.0));
    const __m256d lit = _mm256_cmp_pd(y, _mm256_setzero_pd(), _CMP_GT_OQ);
    const __m256d p = _mm256_and_pd(Exp4(_mm256_mul_pd(F(PQ_M1), Log4(_mm256_max_pd(y, tiny)))), lit);
    const __m256d ratio = _mm256_div_pd(_mm256_add_pd(F(PQ_C1), _mm256_mul_pd(F(PQ_C2), p)),
                                        _mm256_add_pd(Set(1.0), _mm256_mul_pd(F(PQ_C3), p)));
    return Exp4(_mm256_mul_pd(F(PQ_M2), Log4(ratio)));
}

// The relative error that a translucent lane's Encode may carry: its series and those of Mix
// stay below 1e-13, far inside it.
constexpr double kTranslucentWindow = 1.0 / (1LL << 30);

// nearbyint(clamp(clamp(e) a) max), as Quantized stores Encode's result times alpha.
ORVEX_TARGET_AVX2 inline __m256d Premultiplied(__m256d e, __m256d alpha, __m256d max) {
    const __m256d zero = _mm256_setzero_pd(), one = Set(1.0);
    e = _mm256_min_pd(_mm256_max_pd(e, zero), one);
    const __m256d v = _mm256_min_pd(_mm256_max_pd(_mm256_mul_pd(e, alpha), zero), one);
    return _mm256_round_pd(_mm256_mul_pd(v, max), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
}

// Codes of the three channels of four SDR2HDR pixels, premultiplied by their alphas as the plain
// body does: nearbyint(clamp(Encode(x) a) max), Encode clamped first. Every step after Encode
// rises with it, so a lane whose code is the same at both ends of the window around its Encode
// has the plain code; returns the lanes that are not settled so.
ORVEX_TARGET_AVX2 int TranslucentCodes(const TransferSteps& steps, const __m256d c[3], __m256d alpha, double outMax,
                                       int code[3][4]) {
    const __m256d zero = _mm256_setzero_pd(), max = Set(outMax);
    const __m256d clear = _mm256_cmp_pd(alpha, zero, _CMP_EQ_OQ);
    int unsettled = 0;
    for (int j = 0; j < 3; ++j) {
        const __m256d e = EncodeSdrToHdr4(steps, c[j]);
        const __m256d lo = Premultiplied(_mm256_mul_pd(e, Set(1.0 - kTranslucentWindow)), alpha, max);
        const __m256d hi = Premultiplied(_mm256_mul_pd(e, Set(1.0 + kTranslucentWindow)), alpha, max);
        // NaN anywhere compares unequal and leaves the lane to the plain body.
        const __m256d settled = _mm256_or_pd(_mm256_cmp_pd(lo, hi, _CMP_EQ_OQ), clear);
        unsettled |= ~_mm256_movemask_pd(settled) & 15;
        const __m256d codes = _mm256_andnot_pd(clear, lo);
        _mm_store_si128(reinterpret_cast<__m128i*>(code[j]), _mm256_cvttpd_epi32(_mm256_max_pd(codes, zero)));
    }
    return unsettled;
}

// Codes of the three channels of four opaque pixels through the tables; returns the lanes that
// are not settled (out of the tables' range, or a different code at the two ends of the window).
ORVEX_TARGET_AVX2 int OpaqueCodes(const Tables& t, const __m256d c[3], bool windowed, int code[3][4]) {
    int unsettled = 0;
    for (int j = 0; j < 3; ++j) {
        const __m256d lo = windowed ? _mm256_mul_pd(c[j], Set(1.0 - kWindow)) : c[j];
        const __m256d hi = windowed ? _mm256_mul_pd(c[j], Set(1.0 + kWindow)) : c[j];
        const __m256d inside = _mm256_and_pd(_mm256_cmp_pd(lo, _mm256_setzero_pd(), _CMP_GE_OQ),
                                             _mm256_cmp_pd(hi, Set(kMaxTabled), _CMP_LE_OQ));
        unsettled |= ~_mm256_movemask_pd(inside) & 15;
        // Lanes outside the range look up 0; they are redone by the plain body.
        const __m128i a = t.encode.Codes(_mm256_and_pd(lo, inside));
        const __m128i bq = windowed ? t.encode.Codes(_mm256_and_pd(hi, inside)) : a;
        unsettled |= ~_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(a, bq))) & 15;
        _mm_store_si128(reinterpret_cast<__m128i*>(code[j]), a);
    }
    return unsettled;
}

// The alphas of four pixels as the plain body reads them (code times 1 / max).
template <typename In>
ORVEX_TARGET_AVX2 inline __m256d Alphas4(const In* s, double inK) {
    return _mm256_mul_pd(_mm256_setr_pd(s[3], s[7], s[11], s[15]), Set(inK));
}

// The pixels of one row from x on, four at a time; returns the pixels done.
template <typename In, typename Out>
ORVEX_TARGET_AVX2 int RowAvx2(const TransferSteps& steps, const Tables& t, double inK, double outMax, const In* s,
                              Out* d, int w) {
    const int top = sizeof(In) == 1 ? 255 : 65535;
    int x = 0;
    for (; x + 4 <= w; x += 4, s += 16, d += 16) {
        alignas(16) int idx[3][4];
        bool opaque = true;
        for (int i = 0; i < 4; ++i) {
            idx[0][i] = s[4 * i + 2], idx[1][i] = s[4 * i + 1], idx[2][i] = s[4 * i];
            opaque = opaque && s[4 * i + 3] == top;
        }
        __m256d c[3];
        for (int j = 0; j < 3; ++j)
            c[j] = _mm256_i32gather_pd(t.decode.data(), _mm_load_si128(reinterpret_cast<const __m128i*>(idx[j])), 8);
        bool windowed = false;
        Mix4(steps, &c[0], &c[1], &c[2], &windowed);
        alignas(16) int code[3][4];
        // Translucent SDR2HDR pixels are premultiplied after Encode, which the tables do not hold.
        const int unsettled = steps.op == Transfer::SDR2HDR && !opaque
                                  ? TranslucentCodes(steps, c, Alphas4(s, inK), outMax, code)
                                  : OpaqueCodes(t, c, windowed, code);
        for (int i = 0; i < 4; ++i) {
            if (unsettled >> i & 1) {
                Pixel(steps, t, inK, outMax, s + 4 * i, d + 4 * i);
                continue;
            }
            d[4 * i] = static_cast<Out>(code[2][i]);
            d[4 * i + 1] = static_cast<Out>(code[1][i]);
            d[4 * i + 2] = static_cast<Out>(code[0][i]);
            d[4 * i + 3] = static_cast<Out>(t.alpha[s[4 * i + 3]]);
        }
    }
    return x;
}
#endif

template <typename In, typename Out>
void Rows(const TransferSteps& steps, const Tables& t, const BGRAPlane& src, const BGRAPlane& dst, int y0, int y1,
          bool vectors) {
    const double inK = 1.0 / src.max(), outMax = dst.max();
    [[maybe_unused]] const bool avx2 = vectors && Avx2Rows();
    for (int y = y0; y < y1; ++y) {
        const In* s = reinterpret_cast<const In*>(src.data + src.pitch * static_cast<size_t>(y));
        Out* d = reinterpret_cast<Out*>(dst.data + dst.pitch * static_cast<size_t>(y));
        int x = 0;
#if ORVEX_HDR_X86
        if (avx2) x = RowAvx2(steps, t, inK, outMax, s, d, src.width);
#endif
        for (; x < src.width; ++x) Pixel(steps, t, inK, outMax, s + 4 * x, d + 4 * x);
    }
}

}  // namespace

void HdrTransferFrame(const TransferSteps& steps, const EffectFrame& in, EffectFrame& out, bool vectors) {
    const BGRAPlane src = BGRAPlane::Of(in), dst = BGRAPlane::Of(out);
    const std::shared_ptr<const Tables> t = TablesFor(steps, src.sixteen, dst.sixteen);
    cv::parallel_for_(cv::Range(0, src.height), [&](const cv::Range& r) {
        if (src.sixteen && dst.sixteen) Rows<uint16_t, uint16_t>(steps, *t, src, dst, r.start, r.end, vectors);
        else if (src.sixteen) Rows<uint16_t, uint8_t>(steps, *t, src, dst, r.start, r.end, vectors);
        else if (dst.sixteen) Rows<uint8_t, uint16_t>(steps, *t, src, dst, r.start, r.end, vectors);
        else Rows<uint8_t, uint8_t>(steps, *t, src, dst, r.start, r.end, vectors);
    });
}

int HdrEncodeCodePlain(const TransferSteps& steps, bool sixteenOut, double x) {
    return PlainCode(steps, sixteenOut ? 65535.0 : 255.0, x);
}

int HdrEncodeCodeTabled(const TransferSteps& steps, bool sixteenOut, double x) {
    if (!(x >= 0.0 && x <= kMaxTabled)) return HdrEncodeCodePlain(steps, sixteenOut, x);
    return TablesFor(steps, sixteenOut, sixteenOut)->encode.Code(x);
}

}  // namespace orvex

#pragma GCC diagnostic pop
