// How every CPU body splits its rows: floor(rows / n) rows a band, the rest to the last band, and
// one band on the calling thread for a small frame.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "imagecpu/RowBands.h"

namespace orvex {
namespace {

TEST(RowBands, EachBandHasTheFloorAndTheLastTakesTheRest) {
    struct Case {
        int bands, rows, band, begin, end;
    } cases[] = {
        {8, 7, 0, 0, 0},   {8, 7, 6, 0, 0},      {8, 7, 7, 0, 7},  // fewer rows than bands: all to the last
        {8, 1080, 0, 0, 135}, {8, 1080, 7, 945, 1080},           // 1080 / 8 = 135
        {8, 100, 3, 36, 48},  {8, 100, 7, 84, 100},              // 100 / 8 = 12, the last takes 16
        {4, 10, 0, 0, 2},  {4, 10, 2, 4, 6},     {4, 10, 3, 6, 10},
        {0, 5, 0, 0, 5},                                          // no bands count as one
    };
    for (const Case& c : cases)
        EXPECT_EQ(BandRows(c.band, c.bands, c.rows), cv::Range(c.begin, c.end)) << c.bands << " " << c.rows << " " << c.band;
}

TEST(RowBands, EveryRowOnceWhateverTheSize) {
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {100, 100}, {101, 100}, {1920, 1080}, {3, 9000}}) {
        std::vector<std::atomic<int>> seen(static_cast<size_t>(h));
        ForRowBands(w, h, [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y) seen[static_cast<size_t>(y)]++;
        });
        for (int y = 0; y < h; ++y) ASSERT_EQ(seen[static_cast<size_t>(y)].load(), 1) << w << "x" << h << " row " << y;
    }
    EXPECT_EQ(BandsFor(kSerialPixels), 1) << "a small frame stays on the calling thread";
    EXPECT_EQ(BandsFor(kSerialPixels + 1), kBandCount);
}

}  // namespace
}  // namespace orvex
