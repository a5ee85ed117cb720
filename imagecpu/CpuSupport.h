#pragma once
// Small pieces of CPU support that every body uses: the image library's exception guard and the
// conversions that hold a double inside a safe integer range.
#include <cstdint>

#include <opencv2/core.hpp>

#include "orvex/ResultCode.h"

namespace orvex {

// Runs a body that calls the image library, which reports misuse by exception: that becomes
// Failed, never an exception reaching a host.
template <class F>
ResultCode GuardImageLibrary(F&& body) {
    try {
        return body();
    } catch (const cv::Exception&) {
        return Failed;
    }
}

// Converts toward zero, holding the result inside +-2^40 so that later sums of coordinates or
// levels cannot overflow; NaN gives 0.
inline int64_t TruncHeld(double v) {
    constexpr double kLimit = 1099511627776.0;  // 2^40
    if (!(v == v)) return 0;
    if (v >= kLimit) return static_cast<int64_t>(kLimit);
    if (v <= -kLimit) return -static_cast<int64_t>(kLimit);
    return static_cast<int64_t>(v);
}

}  // namespace orvex
