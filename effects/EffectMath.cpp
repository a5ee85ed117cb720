#include "effects/EffectMath.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>

namespace orvex {

ThreeBoxSides ThreeBoxSizes(double p) {
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
    const cv::Mat* from = &src;
    for (int i = 0; i < 3; ++i) {
        const cv::Size box(horizontal ? s.side[i] : 1, vertical ? s.side[i] : 1);
        cv::blur(*from, dst, box, cv::Point(-1, -1), borderType);
        from = &dst;
    }
}

void BoxCoverage(int len, int lo, int hi, int k, int32_t* counts) {
    lo = std::max(lo, 0);
    hi = std::min(hi, len);
    const int anchor = k / 2;
    for (int x = 0; x < len; ++x) {
        int n = 0;
        if (lo < hi) {
            for (int i = 0; i < k; ++i) {
                const int p = Reflect101(x - anchor + i, len);
                n += p >= lo && p < hi;
            }
        }
        counts[x] = n;
    }
}

}  // namespace orvex
