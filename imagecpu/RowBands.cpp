#include "imagecpu/RowBands.h"

#include <algorithm>

namespace orvex {

cv::Range BandRows(int band, int bands, int rows) {
    const int n = std::max(bands, 1);
    const int step = rows / n;
    const int begin = band * step;
    return cv::Range(begin, band == n - 1 ? rows : begin + step);
}

int BandsFor(int64_t pixels) { return pixels <= kSerialPixels ? 1 : kBandCount; }

void RunBands(const cv::ParallelLoopBody& body, int bands) {
    if (bands <= 1) body(cv::Range(0, 1));
    else cv::parallel_for_(cv::Range(0, bands), body);
}

}  // namespace orvex
