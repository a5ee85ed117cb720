#pragma once
// Host BGRA frames (8 or 16 bits a sample) read and written the way the GPU image functions do:
// samples read as value / max, written as the nearest code to value * max (ties to even), held to
// 0..max. Pixels travel in the kernels' order: red, green, blue, alpha.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include <opencv2/core.hpp>

#include "imagecpu/RowBands.h"
#include "orvex/EffectFrame.h"

namespace orvex {

// A BGRA plane of 8- or 16-bit samples over the caller's memory.
struct BGRAPlane {
    uint8_t* data = nullptr;
    size_t pitch = 0;
    bool sixteen = false;
    int width = 0, height = 0;

    static BGRAPlane Of(const EffectFrame& f) {
        return {f.data[0], static_cast<size_t>(f.pitch[0]), f.pixel_fmt == BGRA64, static_cast<int>(f.width[0]),
                static_cast<int>(f.height[0])};
    }
    double max() const { return sixteen ? 65535.0 : 255.0; }
    // Pixel (x, y) as R, G, B, A in 0..1.
    void Read(int x, int y, double rgba[4]) const {
        const double k = 1.0 / max();
        const uint8_t* row = data + pitch * static_cast<size_t>(y);
        for (int c = 0; c < 4; ++c) {
            const int byteOrder = c < 3 ? 2 - c : 3;
            rgba[c] = (sixteen ? reinterpret_cast<const uint16_t*>(row)[4 * x + byteOrder] : row[4 * x + byteOrder]) * k;
        }
    }
    void Write(int x, int y, const double rgba[4]) const {
        uint8_t* row = data + pitch * static_cast<size_t>(y);
        const double m = max();
        for (int c = 0; c < 4; ++c) {
            const int byteOrder = c < 3 ? 2 - c : 3;
            const double v = std::nearbyint(std::clamp(std::isnan(rgba[c]) ? 0.0 : rgba[c], 0.0, 1.0) * m);
            if (sixteen) reinterpret_cast<uint16_t*>(row)[4 * x + byteOrder] = static_cast<uint16_t>(v);
            else row[4 * x + byteOrder] = static_cast<uint8_t>(v);
        }
    }
};

// fn(x, y) for every pixel of a w x h picture, rows shared among the worker threads.
template <typename Fn>
void ForEachPixel(int w, int h, const Fn& fn) {
    ForRowBands(w, h, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < w; ++x) fn(x, y);
    });
}

}  // namespace orvex
