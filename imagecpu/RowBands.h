#pragma once
// How every CPU body shares a frame's rows among the image library's worker threads: the bands,
// and when a frame is small enough to stay on the calling thread, are decided here and nowhere
// else.
#include <cstdint>

#include <opencv2/core.hpp>

namespace orvex {

// A frame of at most this many pixels runs as one band on the calling thread: below it, waking
// the workers costs more than the rows.
constexpr int64_t kSerialPixels = 10000;
constexpr int kBandCount = 8;

// Band i of n covers rows [i * floor(rows / n), (i + 1) * floor(rows / n)); the last band also
// takes the remainder. No bands count as one.
cv::Range BandRows(int band, int bands, int rows);
// kBandCount for a frame of more than kSerialPixels pixels, else 1.
int BandsFor(int64_t pixels);
// Runs body over the band indices [0, bands): on the workers, or on this thread for one band.
void RunBands(const cv::ParallelLoopBody& body, int bands);

// rows(y0, y1) over the bands of a width x height frame.
template <typename Rows>
void ForRowBands(int width, int height, const Rows& rows) {
    const int bands = BandsFor(static_cast<int64_t>(width) * height);
    struct Body : cv::ParallelLoopBody {
        const Rows& rows;
        int bands, height;
        Body(const Rows& r, int b, int h) : rows(r), bands(b), height(h) {}
        void operator()(const cv::Range& range) const override {
            for (int b = range.start; b < range.end; ++b) {
                const cv::Range r = BandRows(b, bands, height);
                if (!r.empty()) rows(r.start, r.end);
            }
        }
    } body(rows, bands, height);
    RunBands(body, bands);
}

}  // namespace orvex
