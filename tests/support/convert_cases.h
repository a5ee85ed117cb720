#pragma once
// Ground truth for the YUV <-> RGB conversions: the standard matrices written out from their Kr,
// Kb constants (BT.601 0.299 / 0.114, BT.709 0.2126 / 0.0722, BT.2020 0.2627 / 0.0593) and the
// code ranges of limited (Y 16..235, C 16..240) and full (0..255) range, independent of the code
// under test; plus the colour descriptions that select each CLSMode and frames filled with them.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "colorspace.h"
#include "planar_frames.h"

namespace orvextest {

struct Yuv8 {
    int y, cb, cr;
};

// 8-bit Y, Cb, Cr of an RGB colour (0..255 each) in CLSMode `mode`, rounded to the nearest code.
inline Yuv8 StandardYuv(int mode, int r, int g, int b) {
    const double kr[] = {0.2126, 0.2126, 0.299, 0.299, 0.2627, 0.2627};
    const double kb[] = {0.0722, 0.0722, 0.114, 0.114, 0.0593, 0.0593};
    const bool full = mode % 2 == 1;
    const double R = r / 255.0, G = g / 255.0, B = b / 255.0;
    const double y = kr[mode] * R + (1 - kr[mode] - kb[mode]) * G + kb[mode] * B;
    const double cb = (B - y) / (2 * (1 - kb[mode])), cr = (R - y) / (2 * (1 - kr[mode]));
    auto code = [](double v) { return static_cast<int>(std::clamp(std::lround(v), 0L, 255L)); };
    if (full) return {code(255 * y), code(128 + 255 * cb), code(128 + 255 * cr)};
    return {code(16 + 219 * y), code(128 + 224 * cb), code(128 + 224 * cr)};
}

// A colour description that derives `mode` (BT.709 / BT.601 / BT.2020 with limited or full levels).
inline ColorSpace::pl_color_repr ReprFor(int mode, int depth = 8) {
    using namespace ColorSpace;
    const pl_color_system sys[] = {PL_COLOR_SYSTEM_BT_709, PL_COLOR_SYSTEM_BT_709, PL_COLOR_SYSTEM_BT_601,
                                   PL_COLOR_SYSTEM_BT_601, PL_COLOR_SYSTEM_BT_2020_NC, PL_COLOR_SYSTEM_BT_2020_NC};
    return pl_color_repr{sys[mode], mode % 2 ? PL_COLOR_LEVELS_FULL : PL_COLOR_LEVELS_LIMITED, PL_ALPHA_INDEPENDENT,
                         {depth, depth, 0}};
}
inline ColorSpace::pl_color_space Bt709Space() {
    using namespace ColorSpace;
    return pl_color_space{PL_COLOR_PRIM_BT_709, PL_COLOR_TRC_BT_1886, PL_COLOR_LIGHT_UNKNOWN, 0, 0, 0};
}

// Every sample of an 8-bit YUV frame (YV12, YUVA420, NV12) set to one colour; alpha 255.
inline void FillYuv(PlanarFrame& f, Yuv8 c) {
    const bool semi = f.frame.pixel_fmt == orvex::NV12 || f.frame.pixel_fmt == orvex::P010;
    f.Fill([&](int plane, int x, int) {
        if (plane == 0) return c.y;
        if (plane == 3) return 255;
        if (semi) return x % 2 ? c.cr : c.cb;
        return plane == 1 ? c.cr : c.cb;  // YV12 stores Cr in plane 1
    });
}

// A smooth BGRA picture: ramps of at most one code a pixel in each channel, alpha opaque.
inline void FillSmoothBGRA(PlanarFrame& f) {
    f.Fill([&](int, int s, int y) {
        const int x = s / 4, c = s % 4;
        if (c == 3) return f.MaxValue();
        const int v = std::min(235, c == 0 ? 40 + x : c == 1 ? 60 + y : 80 + (x + y) / 2);
        return f.bytes == 2 ? v * 257 : v;
    });
}

}  // namespace orvextest
