#pragma once
// The per-channel formula of blend modes 1..17 and 23 (add) on values in 0..1, one rule per mode
// on every CPU form and in the kernels: a white dodge overlay gives white, a black burn overlay
// black, vivid light as the 8-bit table scales it, hard mix the byte sum 254.
#include <algorithm>
#include <cmath>

namespace orvex {

inline float BlendModeFormula(int mode, float bg, float o) {
    // Bytes 255 and 0 tested halfway to the next byte, and vivid light as the 8-bit table scales
    // it (the kernels' byteIsWhite, byteIsBlack and vividLight).
    auto white = [](float v) { return v > 254.5f / 255.0f; };
    auto black = [](float v) { return v < 0.5f / 255.0f; };
    auto vivid = [&](float b, float v) {
        if (v > 0.5f) return white(v) ? 1.0f : 256.0f * b / (511.0f - 510.0f * v);
        return black(v) ? 0.0f : 1.0f - 256.0f * (1.0f - b) / (510.0f * v);
    };
    switch (mode) {
    case 1: return std::min(o, bg);
    case 2: return bg * o;
    case 3: return black(o) ? 0.0f : 1.0f - (1.0f - bg) / o;
    case 4: return o + bg - 1.0f;
    case 5: return 1.0f - (1.0f - bg) * (1.0f - o);
    case 6: return white(o) ? 1.0f : bg / (1.0f - o);
    case 7: return o + bg;
    case 8: return bg > 0.5f ? 1.0f - (1.0f - 2.0f * (bg - 0.5f)) * (1.0f - o) : 2.0f * bg * o;
    case 9:
        return o > 0.5f ? 2.0f * bg * (1.0f - o) + std::sqrt(bg) * (2.0f * o - 1.0f)
                        : 2.0f * bg * o + bg * bg * (1.0f - 2.0f * o);
    case 10: return o > 0.5f ? 1.0f - (1.0f - bg) * (1.0f - 2.0f * (o - 0.5f)) : bg * 2.0f * o;
    case 11: return vivid(bg, o);
    case 12: return o > 0.5f ? bg + 2.0f * (o - 0.5f) : bg + 2.0f * o - 1.0f;
    case 13: return o > 0.5f ? std::max(bg, 2.0f * (o - 0.5f)) : std::min(bg, 2.0f * o);
    case 14: return bg + o >= 0.996f ? 1.0f : 0.0f;  // x + y >= 254 in bytes, as the hard-mix table
    case 15: return std::abs(o - bg);
    case 16: return 0.5f - 2.0f * (o - 0.5f) * (bg - 0.5f);
    case 17: return std::max(o, bg);
    case 23: return bg + o;
    default: return bg;
    }
}

}  // namespace orvex
