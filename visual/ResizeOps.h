#pragma once
// The choices every resize path shares: where the scaled picture goes and which filter scales it.
//
// Window of the picture in a Wout x Hout output (types 2, 3 and unknown types act as 0):
//   0 stretch:  (0, 0, Wout, Hout)
//   1 fit:      h' = ceil(Hin Wout / Win); h' <= Hout: full width, height h', y = (Hout - h') >> 1;
//               else w' = min(Wout, ceil(Win Hout / Hin)), x = (Wout - w') >> 1, full height
//   4 zoom:     portrait output (Wout < Hout): w' = Win Hout / Hin, x = (Wout - w') >> 1, full
//               height; landscape: h' = Hin Wout / Win, y = (Hout - h') >> 1, full width.
//               A negative x or y crops the picture centrally.
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace orvex {

cv::Rect ResizeWindow(int32_t resizeType, int Win, int Hin, int Wout, int Hout);

// The GPU kernel for a BGRA resize of Win x Hin onto a window of winW x winH: "Resize_Mid_Low" at
// qualities 0 and 1 (and unknown ones), "resize_cubic" at 2 and 3 unless the picture shrinks on
// both sides, which takes "resizeAREA_FAST" at exactly half size and "resizeAREA" otherwise.
const char* ResizeKernelFor(int32_t quality, int Win, int Hin, int winW, int winH);

// The image library's interpolation for the CPU resize: nearest (pixel centres aligned, as the
// GPU's), bilinear, bicubic or Lanczos-4 when enlarging on either side, area when shrinking on both.
int ResizeInterpolationFor(int32_t quality, int Win, int Hin, int winW, int winH);

// The YUV library's filter for a quality: 0 nearest, 1 bilinear, 2 and 3 box (area when
// reducing), anything else bilinear.
int YuvFilterFor(int32_t quality);

// Box-sampling tables of the area reduction along one axis, ssize samples onto dsize: output d
// reads src[k] with weight alpha[k] for k in start[d] .. start[d + 1] - 1. They follow the image
// library's area interpolation, so that the GPU kernel reproduces its CPU result.
struct AreaTable {
    std::vector<int32_t> start;
    std::vector<int32_t> src;
    std::vector<float> alpha;
};
AreaTable MakeAreaTable(int ssize, int dsize);

}  // namespace orvex
