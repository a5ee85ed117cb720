#pragma once
// Helpers the colour bodies share: the three-table body, the row body over a wrapped input and
// output, and the strip walk of the bodies that convert colour spaces.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <opencv2/core.hpp>

#include "effects/colour/ColorEffects.h"
#include "imagecpu/TableLookup.h"

namespace orvex::colorfx {

// Blue, green and red each through its own 256-entry table, then the lookup's finish; alpha
// copied. The row goes through the shared lookup, which takes the processor's vector byte lookups
// where it has them.
class parallelColorTable : public RowBandBody {
public:
    parallelColorTable(const cv::Mat& in, cv::Mat& out, const uint8_t* blue, const uint8_t* green,
                       const uint8_t* red, LookupFinish finish = LookupFinish::None)
        : in_(in), out_(out), tb_(blue), tg_(green), tr_(red), finish_(finish) {
        // Three tables with the same bytes go as one, which lets the lookup take its one-table
        // shortcut.
        if (std::memcmp(green, blue, 256) == 0 && std::memcmp(red, blue, 256) == 0) tg_ = tr_ = blue;
    }
    void Rows(int y0, int y1) const override {
        for (int y = y0; y < y1; ++y)
            LookupBGRA(in_.ptr<uint8_t>(y), out_.ptr<uint8_t>(y), in_.cols, tb_, tg_, tr_, finish_);
    }

private:
    const cv::Mat& in_;
    cv::Mat& out_;
    const uint8_t* tb_;
    const uint8_t* tg_;
    const uint8_t* tr_;
    LookupFinish finish_;
};

// A body over the wrapped input and output; derived bodies add their per-frame tables.
class ColorRows : public RowBandBody {
public:
    ColorRows(const cv::Mat& in, cv::Mat& out) : in_(in), out_(out) {}

protected:
    const cv::Mat& in_;
    cv::Mat& out_;
};

// Rows a conversion body handles at a time: small enough that its scratch stays in cache.
constexpr int kStripRows = 16;

// The band a Rows(y0, y1) call belongs to, so that concurrent bands use separate scratch. Bands
// start at multiples of h / 8; a frame under 8 rows has only the last band; a serial pass is band 0.
inline int BandOf(int y0, int height) {
    const int step = height / kBandCount;
    return step == 0 ? kBandCount - 1 : std::min(y0 / step, kBandCount - 1);
}

// Calls fn(y, n) for consecutive strips of n <= kStripRows rows covering [y0, y1).
template <class Fn>
void ForStrips(int y0, int y1, Fn&& fn) {
    for (int y = y0; y < y1; y += kStripRows) fn(y, std::min(kStripRows, y1 - y));
}

// A scratch image with at least `rows` x `cols` of `type`, reused while the width holds; returns
// the top `rows` rows.
inline cv::Mat ScratchRows(cv::Mat& m, int rows, int cols, int type) {
    if (m.cols != cols || m.rows < kStripRows || m.type() != type) m.create(kStripRows, cols, type);
    return m.rowRange(0, rows);
}

// Byte v as the image library's 8-bit to float conversion with scale 1/255 gives it, so per-pixel
// code can read the float picture without converting the frame.
const float* UnitFloats();

}  // namespace orvex::colorfx
