#pragma once
// Small pieces of CPU support that every body uses: the image library's exception guard (the
// saturating conversions are in SaturatingCasts.h).
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

}  // namespace orvex
