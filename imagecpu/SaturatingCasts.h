#pragma once
// Conversions of computed values to bytes and integers that saturate instead of overflowing: any
// input, infinities and NaN included, gives a defined result, and NaN gives 0. The clamp comes
// before the integer conversion, which is undefined for a value out of range.
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace orvex {

// v held to 0..255.
inline int ClampToByte(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
// v held to 0..255, then toward zero.
inline int ClampToByte(double v) { return v >= 255 ? 255 : (v > 0 ? static_cast<int>(v) : 0); }

// v to the nearest whole number, ties to even (rint in the default rounding mode), held to 0..255.
// Adding and subtracting 1.5 * 2^23 (2^52 for a double) does the rounding for the cost of two adds,
// where rint may be a library call.
inline int RoundToByte(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<int>((v + 12582912.0f) - 12582912.0f);
}
inline int RoundToByte(double v) {
    if (!(v > 0.0)) return 0;
    if (v >= 255.0) return 255;
    return static_cast<int>((v + 6755399441055744.0) - 6755399441055744.0);
}

// v to the nearest whole number, halves away from zero, held to +-2e9.
inline int RoundToInt(double v) {
    if (!(v == v)) return 0;
    return static_cast<int>(std::round(v < -2e9 ? -2e9 : (v > 2e9 ? 2e9 : v)));
}

// v toward zero, held to +-1e9: a position whose differences with pixel coordinates stay in int.
inline int TruncToInt(double v) { return v == v ? static_cast<int>(std::clamp(std::trunc(v), -1e9, 1e9)) : 0; }

// v toward zero, held to +-2^40, so that later sums of coordinates or levels cannot overflow.
inline int64_t TruncToInt64(double v) {
    constexpr double kLimit = 1099511627776.0;  // 2^40
    if (!(v == v)) return 0;
    if (v >= kLimit) return static_cast<int64_t>(kLimit);
    if (v <= -kLimit) return -static_cast<int64_t>(kLimit);
    return static_cast<int64_t>(v);
}

// v held to the int32 range.
inline int32_t ClampToInt32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace orvex
