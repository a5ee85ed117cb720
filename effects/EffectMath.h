#pragma once
// Maths shared by the effect families.
//
// Fast inverse square root of d: i = bits of d, y0 = float with bits 1597463174 - (i >> 1), then one
//   Newton step y = y0 (1.5 - 0.5 d y0^2). Relative error below 0.2%; 1/y stands for sqrt(d).
// Three-box Gaussian for a kernel size p: sigma = ((p - 1) 0.5 - 1) 0.3 + 0.8, v = 12 sigma^2,
//   wl = trunc(sqrt(v/3 + 1)) made odd downwards, m = trunc((v - 3 wl^2 - 12 wl - 9) / (-4 wl - 4));
//   pass i (0, 1, 2) is a normalised square box of side 2 (wl + (m <= i ? 2 : 0)) + 1. Three boxes in a
//   row approach a Gaussian at a cost that does not grow with the radius.
// Reflect-101 border: index -1 reads 1, index len reads len - 2 (the edge is not repeated).
#include <cmath>
#include <cstdint>
#include <cstring>
#include <opencv2/core.hpp>
#include <vector>

namespace orvex {

inline float FastInvSqrt(float d) {
    int32_t i;
    std::memcpy(&i, &d, sizeof i);
    i = 1597463174 - (i >> 1);
    float y;
    std::memcpy(&y, &i, sizeof y);
    // Written in the order the kernels evaluate it, so both bodies get the same bits.
    return y * (1.5f - 0.5f * d * y * y);
}

inline int Reflect101(int p, int len) {
    if (len <= 1) return 0;
    while (p < 0 || p >= len) p = p < 0 ? -p : 2 * len - 2 - p;
    return p;
}

struct ThreeBoxSides {
    int side[3];
};

ThreeBoxSides ThreeBoxSizes(double p);

// The three box passes of size p over src into dst (any depth and channel count). `horizontal` and
// `vertical` choose which directions the boxes span (a box of side s becomes s x 1 or 1 x s).
void ThreeBoxBlur(const cv::Mat& src, cv::Mat& dst, double p, int borderType = cv::BORDER_REFLECT_101,
                  bool horizontal = true, bool vertical = true);

// Box filter of a rectangle mask along one axis: how many of the k window positions
// [x - k/2, x - k/2 + k) fall, after reflect-101, inside [lo, hi). The box filter of a rectangle is
// the product of its two axis counts, so a feathered rectangle mask costs O(width + height) counts
// instead of a frame-sized filter pass. Reflect-101 repeats with period 2 (len - 1), so a count
// takes constant time whatever k is.
int64_t BoxCoverageAt(int x, int len, int lo, int hi, int64_t k);
// The counts for every x in [0, len).
void BoxCoverage(int len, int lo, int hi, int64_t k, int64_t* counts);

// One axis of the image library's bit-exact bilinear resize from ssize to dsize samples, for the
// kernels that reproduce it: four ints per output index, the first source index and the weights
// (c0, c1) in 1/256 (then 0). f = (val + 0.5) / (dsize / ssize) - 0.5 in double, i = floor(f),
// c1 = rint((f - i) 256); outside the source the edge sample with weight 256. At least one entry,
// so that an unused table is still a buffer.
std::vector<int32_t> ResizeTaps(int ssize, int dsize);

}  // namespace orvex
