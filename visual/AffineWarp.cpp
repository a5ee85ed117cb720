#include "visual/AffineWarp.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include <opencv2/imgproc.hpp>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imagecpu/LayerBlend.h"
#include "imagecpu/RowBands.h"

namespace orvex {
namespace {

// Output tiles of the turned warp.
constexpr int kTileRows = 8, kTileCols = 32;

// Where one output pixel reads: the four neighbours and weights, or nothing (outside).
struct Tap {
    int i0 = 0, i1 = 0;
    float f = 0;
    bool inside = false;
};

// q is a continuous input coordinate; size the input's extent on that axis.
inline Tap TapAt(double q, int size, bool bilinear) {
    Tap t;
    t.inside = q >= 0.0 && q < static_cast<double>(size);  // false for NaN too
    if (!t.inside) return t;
    if (!bilinear) {
        t.i0 = t.i1 = std::min(static_cast<int>(q), size - 1);
        return t;
    }
    const double s = q - 0.5;
    const double fl = std::floor(s);
    t.f = static_cast<float>(s - fl);
    const int i = static_cast<int>(fl);
    t.i0 = std::clamp(i, 0, size - 1);
    t.i1 = std::clamp(i + 1, 0, size - 1);
    return t;
}

template <typename T>
inline T Round(float v) {
    constexpr float kMax = static_cast<float>(std::numeric_limits<T>::max());
#if defined(__SSE2__)
    // The conversion instruction rounds as lrintf does (the current mode), without the call.
    return static_cast<T>(_mm_cvtss_si32(_mm_set_ss(std::clamp(v, 0.0f, kMax))));
#else
    return static_cast<T>(std::lrintf(std::clamp(v, 0.0f, kMax)));
#endif
}

#if defined(__SSE2__)
// The four channels of one 8-bit pixel as floats.
inline __m128 Channels(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    const __m128i zero = _mm_setzero_si128();
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(v)), zero), zero));
}

// The bilinear mix of Put for all four channels at once: the same float operations in the same
// order per channel, then the clamp and the rounding conversion.
inline void MixPixel(const uint8_t* a, const uint8_t* b, const uint8_t* c, const uint8_t* d, float fx, float fy,
                     uint8_t* out) {
    const __m128 A = Channels(a), B = Channels(b), C = Channels(c), D = Channels(d);
    const __m128 vx = _mm_set1_ps(fx), vy = _mm_set1_ps(fy);
    const __m128 top = _mm_add_ps(A, _mm_mul_ps(_mm_sub_ps(B, A), vx));
    const __m128 bottom = _mm_add_ps(C, _mm_mul_ps(_mm_sub_ps(D, C), vx));
    const __m128 v = _mm_add_ps(top, _mm_mul_ps(_mm_sub_ps(bottom, top), vy));
    const __m128i n = _mm_cvtps_epi32(_mm_max_ps(_mm_min_ps(v, _mm_set1_ps(255.0f)), _mm_setzero_ps()));
    const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(n, n), _mm_setzero_si128());
    const uint32_t bytes = static_cast<uint32_t>(_mm_cvtsi128_si32(packed));
    std::memcpy(out, &bytes, 4);
}
#endif

template <typename T>
class WarpBody : public cv::ParallelLoopBody {
public:
    WarpBody(const cv::Mat& src, cv::Mat& dst, const cv::Matx23d& inv, bool bilinear)
        : src_(src), dst_(dst), inv_(inv), bilinear_(bilinear) {
        // Without rotation or shear each column and each row reads one fixed place.
        fast_ = std::abs(inv(0, 1)) < 1e-9 && std::abs(inv(1, 0)) < 1e-9;
        if (fast_) {
            cols_.resize(dst.cols);
            for (int x = 0; x < dst.cols; ++x) cols_[x] = TapAt(inv(0, 0) * (x + 0.5) + inv(0, 2), src.cols, bilinear);
        }
    }

    void operator()(const cv::Range& range) const override {
        for (int s = range.start; s < range.end; ++s) {
            const cv::Range rows = BandRows(s, kBandCount, dst_.rows);
            if (fast_) {
                for (int y = rows.start; y < rows.end; ++y) FastRow(y);
                continue;
            }
            // A turned map reads along slanted lines, a new input row every pixel or so: tiles of
            // a few output rows keep those reads in cache and in the TLB.
            for (int y0 = rows.start; y0 < rows.end; y0 += kTileRows)
                for (int x0 = 0; x0 < dst_.cols; x0 += kTileCols)
                    for (int y = y0; y < std::min(y0 + kTileRows, rows.end); ++y)
                        Row(y, x0, std::min(x0 + kTileCols, dst_.cols));
        }
    }

private:
    void Put(T* out, const Tap& tx, const Tap& ty) const {
        if (!tx.inside || !ty.inside) {
            std::memset(out, 0, 4 * sizeof(T));
            return;
        }
        const T* r0 = src_.ptr<T>(ty.i0);
        const T* r1 = src_.ptr<T>(ty.i1);
        if (!bilinear_) {
            std::memcpy(out, r0 + 4 * tx.i0, 4 * sizeof(T));
            return;
        }
        Mix(r0 + 4 * tx.i0, r0 + 4 * tx.i1, r1 + 4 * tx.i0, r1 + 4 * tx.i1, tx.f, ty.f, out);
    }

    static void Mix(const T* a, const T* b, const T* c, const T* d, float fx, float fy, T* out) {
#if defined(__SSE2__)
        if constexpr (sizeof(T) == 1) {
            MixPixel(a, b, c, d, fx, fy, out);
            return;
        }
#endif
        for (int k = 0; k < 4; ++k) {
            const float top = a[k] + (b[k] - static_cast<float>(a[k])) * fx;
            const float bottom = c[k] + (d[k] - static_cast<float>(c[k])) * fx;
            out[k] = Round<T>(top + (bottom - top) * fy);
        }
    }

    void FastRow(int y) const {
        const Tap ty = TapAt(inv_(1, 1) * (y + 0.5) + inv_(1, 2), src_.rows, bilinear_);
        T* out = dst_.ptr<T>(y);
        for (int x = 0; x < dst_.cols; ++x) Put(out + 4 * x, cols_[x], ty);
    }

    // Pixels [x0, x1) of row y.
    void Row(int y, int x0, int x1) const {
        const double py = y + 0.5;
        // The row's terms of a*px + b*py + c, computed once; each position is still that sum.
        const double bx = inv_(0, 1) * py, by = inv_(1, 1) * py;
        const double ax = inv_(0, 0), ay = inv_(1, 0), cx = inv_(0, 2), cy = inv_(1, 2);
        // Held in locals: the stores to the output may alias the fields.
        const uint8_t* base = src_.data;
        const size_t step = src_.step[0];
        const bool bilinear = bilinear_;
        // Within [1, size - 1] both taps of an axis lie in the input unclamped, and the
        // truncation of the (positive) position is its floor.
        const double hiX = src_.cols - 1, hiY = src_.rows - 1;
        T* out = dst_.ptr<T>(y) + 4 * x0;
        for (int x = x0; x < x1; ++x, out += 4) {
            const double px = x + 0.5;
            const double qx = ax * px + bx + cx;
            const double qy = ay * px + by + cy;
            if (!(qx >= 1.0 && qy >= 1.0 && qx <= hiX && qy <= hiY)) {
                Put(out, TapAt(qx, src_.cols, bilinear), TapAt(qy, src_.rows, bilinear));
                continue;
            }
            if (!bilinear) {
                const T* p = reinterpret_cast<const T*>(base + step * static_cast<size_t>(qy)) + 4 * static_cast<int>(qx);
                std::memcpy(out, p, 4 * sizeof(T));
                continue;
            }
            const double sx = qx - 0.5, sy = qy - 0.5;
            // The slanted reads defeat the hardware prefetcher: ask for the two input rows this
            // row reads one tile (32 pixels) on.
            const double ahX = qx + kTileCols * ax, ahY = qy + kTileCols * ay;
            if (ahX >= 0.0 && ahY >= 0.0 && ahX < hiX && ahY < hiY) {
                const uint8_t* ahead = base + step * static_cast<size_t>(ahY) + 4 * sizeof(T) * static_cast<size_t>(ahX);
                __builtin_prefetch(ahead);
                __builtin_prefetch(ahead + step);
            }
            const int i = static_cast<int>(sx), j = static_cast<int>(sy);
            const T* r0 = reinterpret_cast<const T*>(base + step * static_cast<size_t>(j)) + 4 * i;
            const T* r1 = reinterpret_cast<const T*>(reinterpret_cast<const uint8_t*>(r0) + step);
            Mix(r0, r0 + 4, r1, r1 + 4, static_cast<float>(sx - i), static_cast<float>(sy - j), out);
        }
    }

    const cv::Mat& src_;
    cv::Mat& dst_;
    cv::Matx23d inv_;
    bool bilinear_;
    bool fast_ = false;
    std::vector<Tap> cols_;
};

}  // namespace

bool AffineWarp(const cv::Mat& src, cv::Mat& dst, const cv::Matx23d& M, int sampler) {
    if (src.empty() || dst.empty() || src.type() != dst.type() || (src.type() != CV_8UC4 && src.type() != CV_16UC4))
        return false;
    const double det = M(0, 0) * M(1, 1) - M(0, 1) * M(1, 0);
    if (!std::isfinite(det) || std::abs(det) < 1e-12) return false;
    for (int i = 0; i < 6; ++i)
        if (!std::isfinite(M.val[i])) return false;
    cv::Matx23d inv;
    cv::invertAffineTransform(M, inv);
    const bool bilinear = sampler != 0;
    if (src.depth() == CV_8U) RunBands(WarpBody<uint8_t>(src, dst, inv, bilinear), kBandCount);
    else RunBands(WarpBody<uint16_t>(src, dst, inv, bilinear), kBandCount);
    return true;
}

// --- box filter ------------------------------------------------------------------------------------

namespace {

class BoxBody : public cv::ParallelLoopBody {
public:
    BoxBody(const cv::Mat& src, cv::Mat& dst, int r) : src_(src), dst_(dst), r_(r) {
        const double n = static_cast<double>(2 * r + 1) * (2 * r + 1);
        inv_ = 1.0 / n;
    }

    void operator()(const cv::Range& range) const override {
        const int w = src_.cols, h = src_.rows;
        // Column sums of the window rows, one row of them per stripe.
        std::vector<int64_t> cols(static_cast<size_t>(w) * 4);
        for (int s = range.start; s < range.end; ++s) {
            const cv::Range rows = BandRows(s, kBandCount, h);
            if (rows.empty()) continue;
            std::fill(cols.begin(), cols.end(), 0);
            for (int k = rows.start - r_; k <= rows.start + r_; ++k) AddRow(cols, std::clamp(k, 0, h - 1), +1);
            for (int y = rows.start; y < rows.end; ++y) {
                if (y > rows.start) {
                    AddRow(cols, std::clamp(y + r_, 0, h - 1), +1);
                    AddRow(cols, std::clamp(y - r_ - 1, 0, h - 1), -1);
                }
                Emit(cols, dst_.ptr<uint8_t>(y));
            }
        }
    }

private:
    void AddRow(std::vector<int64_t>& cols, int y, int sign) const {
        const uint8_t* p = src_.ptr<uint8_t>(y);
        for (size_t i = 0; i < cols.size(); ++i) cols[i] += sign * p[i];
    }

    void Emit(const std::vector<int64_t>& cols, uint8_t* out) const {
        const int w = src_.cols;
        int64_t sum[4] = {0, 0, 0, 0};
        auto col = [&](int x, int c) { return cols[static_cast<size_t>(std::clamp(x, 0, w - 1)) * 4 + c]; };
        for (int c = 0; c < 4; ++c)
            for (int k = -r_; k <= r_; ++k) sum[c] += col(k, c);
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 4; ++c) {
                out[4 * x + c] = static_cast<uint8_t>(static_cast<double>(sum[c]) * inv_ + 0.5);
                sum[c] += col(x + r_ + 1, c) - col(x - r_, c);
            }
        }
    }

    const cv::Mat& src_;
    cv::Mat& dst_;
    int r_;
    double inv_;
};

}  // namespace

bool BoxFilterBGRA(const cv::Mat& src, cv::Mat& dst, int radius) {
    if (src.empty() || src.type() != CV_8UC4 || dst.type() != CV_8UC4 || src.size() != dst.size() || radius < 0)
        return false;
    RunBands(BoxBody(src, dst, radius), kBandCount);
    return true;
}

}  // namespace orvex
