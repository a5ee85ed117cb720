// The CPU affine warp against a plain per-pixel reference kept here: every output pixel maps back
// on its own, with the library rounding call. Every byte must match for both depths and samplers,
// upright and turned matrices, and maps that reach past the input's edges.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "visual/AffineWarp.h"

namespace orvex {
namespace {

template <typename T>
void ReferenceWarp(const cv::Mat& src, cv::Mat& dst, const cv::Matx23d& M, bool bilinear) {
    cv::Matx23d inv;
    cv::invertAffineTransform(M, inv);
    struct Tap {
        int i0 = 0, i1 = 0;
        float f = 0;
        bool inside = false;
    };
    auto tap = [&](double q, int size) {
        Tap t;
        t.inside = q >= 0.0 && q < static_cast<double>(size);
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
    };
    constexpr float kMax = static_cast<float>(std::numeric_limits<T>::max());
    for (int y = 0; y < dst.rows; ++y) {
        T* out = dst.ptr<T>(y);
        for (int x = 0; x < dst.cols; ++x, out += 4) {
            const double px = x + 0.5, py = y + 0.5;
            const Tap tx = tap(inv(0, 0) * px + inv(0, 1) * py + inv(0, 2), src.cols);
            const Tap ty = tap(inv(1, 0) * px + inv(1, 1) * py + inv(1, 2), src.rows);
            if (!tx.inside || !ty.inside) {
                std::memset(out, 0, 4 * sizeof(T));
                continue;
            }
            const T* r0 = src.ptr<T>(ty.i0);
            const T* r1 = src.ptr<T>(ty.i1);
            if (!bilinear) {
                std::memcpy(out, r0 + 4 * tx.i0, 4 * sizeof(T));
                continue;
            }
            const T *a = r0 + 4 * tx.i0, *b = r0 + 4 * tx.i1, *c = r1 + 4 * tx.i0, *d = r1 + 4 * tx.i1;
            for (int k = 0; k < 4; ++k) {
                const float top = a[k] + (b[k] - static_cast<float>(a[k])) * tx.f;
                const float bottom = c[k] + (d[k] - static_cast<float>(c[k])) * tx.f;
                out[k] = static_cast<T>(std::lrintf(std::clamp(top + (bottom - top) * ty.f, 0.0f, kMax)));
            }
        }
    }
}

cv::Mat Noise(int w, int h, int type, uint32_t seed) {
    cv::Mat m(h, w, type);
    cv::RNG rng(seed);
    rng.fill(m, cv::RNG::UNIFORM, 0, CV_MAT_DEPTH(type) == CV_8U ? 256 : 65536);
    return m;
}

TEST(AffineWarpExact, EveryByteMatchesThePlainPerPixelWarp) {
    struct Map {
        double theta, sx, sy, shear, tx, ty;
    };
    const Map maps[] = {
        {0, 1, 1, 0, 0, 0},      {0, 1.7, 0.6, 0, -5.25, 3.5}, {30, 0.8, 0.8, 0, 20, -10}, {-45, 1.3, 0.7, 0.2, 0, 0},
        {90, 1, 1, 0, 40, 0},    {137.5, 2.2, 1.9, 0, 60, 30}, {200, 0.5, 0.9, -0.3, 50, 40}, {0, -1, 1, 0, 60, 0},
    };
    for (int type : {CV_8UC4, CV_16UC4}) {
        const cv::Mat src = Noise(61, 47, type, 9);
        for (const cv::Size size : {cv::Size(150, 110), cv::Size(33, 21)})
            for (const Map& m : maps)
                for (int sampler : {0, 1}) {
                    const double r = m.theta * CV_PI / 180, c = std::cos(r), s = std::sin(r);
                    const cv::Matx23d M(c * m.sx, -s * m.sy + m.shear, m.tx, s * m.sx, c * m.sy, m.ty);
                    cv::Mat want(size, type, cv::Scalar::all(7)), got(size, type, cv::Scalar::all(7));
                    if (type == CV_8UC4) ReferenceWarp<uint8_t>(src, want, M, sampler != 0);
                    else ReferenceWarp<uint16_t>(src, want, M, sampler != 0);
                    ASSERT_TRUE(AffineWarp(src, got, M, sampler));
                    ASSERT_EQ(cv::norm(want, got, cv::NORM_INF), 0.0)
                        << "type " << type << " size " << size << " theta " << m.theta << " sampler " << sampler;
                }
    }
}

}  // namespace
}  // namespace orvex
