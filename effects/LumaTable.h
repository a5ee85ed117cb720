#pragma once
// The integer luma table shared by every effect that needs a pixel's brightness:
// Y = Tb[B] + Tg[G] + Tr[R] with Tb[v] = trunc(0.114 v), Tg[v] = trunc(0.587 v), Tr[v] = trunc(0.299 v).
// Truncating each term keeps Y a byte (at most 254) without a final clamp.
#include <cstdint>

namespace orvex {

struct LumaTable {
    int32_t b[256];
    int32_t g[256];
    int32_t r[256];

    int operator()(int blue, int green, int red) const { return b[blue] + g[green] + r[red]; }
};

// Filled once per process on first use (thread-safe), read-only afterwards.
inline const LumaTable& IntegerLuma() {
    static const LumaTable table = [] {
        LumaTable t{};
        for (int v = 0; v < 256; ++v) {
            t.b[v] = static_cast<int32_t>(v * 0.114);
            t.g[v] = static_cast<int32_t>(v * 0.587);
            t.r[v] = static_cast<int32_t>(v * 0.299);
        }
        return t;
    }();
    return table;
}

}  // namespace orvex
