#include "effects/EffectMath.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace orvex {

ThreeBoxSides ThreeBoxSizes(double p) {
    // Sizes past a million pixels mean nothing on a frame and would overflow the box sides.
    if (!(p >= -1e6)) p = -1e6;
    if (!(p <= 1e6)) p = 1e6;
    const double sigma = ((p - 1) * 0.5 - 1) * 0.3 + 0.8;
    const double v = 12 * sigma * sigma;
    int wl = static_cast<int>(std::sqrt(v / 3 + 1));
    if (wl % 2 == 0) wl -= 1;
    const int m = static_cast<int>(std::trunc((v - 3.0 * wl * wl - 12.0 * wl - 9) / (-4.0 * wl - 4)));
    ThreeBoxSides s{};
    for (int i = 0; i < 3; ++i) s.side[i] = (wl + (m <= i ? 2 : 0)) * 2 + 1;
    return s;
}

void ThreeBoxBlur(const cv::Mat& src, cv::Mat& dst, double p, int borderType, bool horizontal, bool vertical) {
    const ThreeBoxSides s = ThreeBoxSizes(p);
    // A box wider than twice the frame covers all of it from every position; wider ones only
    // cost memory, so each side is held there. Each direction is held by its own length: the
    // library keeps as many buffered rows as the box is tall, so a tall box on a short, wide
    // frame would otherwise take gigabytes.
    const int widest = 2 * src.cols + 1, tallest = 2 * src.rows + 1;
    const cv::Mat* from = &src;
    for (int i = 0; i < 3; ++i) {
        const cv::Size box(horizontal ? std::min(s.side[i], widest) : 1,
                           vertical ? std::min(s.side[i], tallest) : 1);
        cv::blur(*from, dst, box, cv::Point(-1, -1), borderType);
        from = &dst;
    }
}

namespace {

// |[a, b) n [lo, hi)|
int64_t Overlap(int64_t a, int64_t b, int64_t lo, int64_t hi) {
    return std::max<int64_t>(0, std::min(b, hi) - std::max(a, lo));
}

// How many p in [0, n) have Reflect101(p, len) in [lo, hi) (len > 1). One period [0, 2 len - 2)
// visits 0..len-1 going up and len-2..1 coming down.
int64_t CoveredBelow(int64_t n, int64_t len, int64_t lo, int64_t hi) {
    const int64_t period = 2 * len - 2;
    const int64_t perPeriod = Overlap(0, len, lo, hi) + Overlap(1, len - 1, lo, hi);
    const int64_t r = n % period;
    int64_t count = (n / period) * perPeriod + Overlap(0, std::min(r, len), lo, hi);
    // p in [len, r) reads period - p, which runs over [period - r + 1, len - 2].
    if (r > len) count += Overlap(period - r + 1, len - 1, lo, hi);
    return count;
}

}  // namespace

int64_t BoxCoverageAt(int x, int len, int lo, int hi, int64_t k) {
    lo = std::max(lo, 0);
    hi = std::min(hi, len);
    if (lo >= hi || k <= 0) return 0;
    if (len == 1) return k;  // every position reads the one sample, which is inside
    const int64_t s = static_cast<int64_t>(x) - k / 2, e = s + k;
    // Negative positions read like their mirror: Reflect101(-p) = Reflect101(p).
    if (s >= 0) return CoveredBelow(e, len, lo, hi) - CoveredBelow(s, len, lo, hi);
    if (e <= 0) return CoveredBelow(-s + 1, len, lo, hi) - CoveredBelow(-e + 1, len, lo, hi);
    return CoveredBelow(-s + 1, len, lo, hi) - CoveredBelow(1, len, lo, hi) + CoveredBelow(e, len, lo, hi);
}

void BoxCoverage(int len, int lo, int hi, int64_t k, int64_t* counts) {
    for (int x = 0; x < len; ++x) counts[x] = BoxCoverageAt(x, len, lo, hi, k);
}

std::vector<int32_t> ResizeTaps(int ssize, int dsize) {
    std::vector<int32_t> taps(4 * static_cast<size_t>(std::max(dsize, 1)), 0);
    if (ssize <= 0 || dsize <= 0) return taps;
    const double scale = 1.0 / (static_cast<double>(dsize) / ssize);
    for (int val = 0; val < dsize; ++val) {
        const double f = scale * (val + 0.5) - 0.5;
        const int i = static_cast<int>(std::floor(f));
        int32_t* t = &taps[4 * static_cast<size_t>(val)];
        if (i >= 0 && ssize > 1 && i < ssize - 1) {
            const int c1 = static_cast<int>(std::nearbyint((f - i) * 256));
            t[0] = i, t[1] = 256 - c1, t[2] = c1;
        } else {
            t[0] = i >= 0 && ssize > 1 ? ssize - 1 : 0, t[1] = 256, t[2] = 0;
        }
    }
    return taps;
}

}  // namespace orvex
