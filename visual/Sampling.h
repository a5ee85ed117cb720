#pragma once
// Bilinear sampling of 8-bit (or, with T = uint16_t, 16-bit) BGRA pictures at the output pixels' normalised centres, as the GPU's
// linear sampler with clamp to edge does it: along an axis of n source samples and m outputs,
// output i reads x = (i + 0.5) n / m - 0.5 between floor(x) and floor(x) + 1, both clamped.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <opencv2/core.hpp>

namespace orvex {

struct BilinearAxis {
    std::vector<int> i0, i1;
    std::vector<float> f;
    BilinearAxis(int source, int outputs) : i0(outputs), i1(outputs), f(outputs) {
        for (int i = 0; i < outputs; ++i) {
            const float x = (i + 0.5f) / outputs * source - 0.5f;
            const float fl = std::floor(x);
            const int k = static_cast<int>(fl);
            i0[i] = std::clamp(k, 0, source - 1);
            i1[i] = std::clamp(k + 1, 0, source - 1);
            f[i] = x - fl;
        }
    }
};

// Sample `c` of the picture at output (x, y), 0..max of T as a float.
template <typename T = uint8_t>
inline float SampleChannel(const cv::Mat& img, const BilinearAxis& ax, const BilinearAxis& ay, int x, int y, int c) {
    const T* r0 = img.ptr<T>(ay.i0[y]);
    const T* r1 = img.ptr<T>(ay.i1[y]);
    const int a = ax.i0[x] * 4 + c, b = ax.i1[x] * 4 + c;
    const float fx = ax.f[x], fy = ay.f[y];
    const float top = r0[a] + (r0[b] - r0[a]) * fx;
    const float bottom = r1[a] + (r1[b] - r1[a]) * fx;
    return top + (bottom - top) * fy;
}

// All four samples at (x, y), scaled to 0..1.
template <typename T = uint8_t>
inline void SamplePixel(const cv::Mat& img, const BilinearAxis& ax, const BilinearAxis& ay, int x, int y, float out[4]) {
    constexpr float kMax = std::numeric_limits<T>::max();
    for (int c = 0; c < 4; ++c) out[c] = SampleChannel<T>(img, ax, ay, x, y, c) / kMax;
}

}  // namespace orvex
