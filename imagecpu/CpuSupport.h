#pragma once
// Small pieces of CPU support that every body uses: the image library's exception guard (the
// saturating conversions are in SaturatingCasts.h).
#include <cstdint>
#include <exception>

#include <opencv2/core.hpp>

#include "corelog.h"
#include "orvex/ResultCode.h"

namespace orvex {

// Runs a body that calls the image library, which reports misuse by exception, and may need
// scratch memory it cannot get: either becomes Failed, never an exception reaching a host.
template <class F>
ResultCode GuardImageLibrary(F&& body) {
    try {
        return body();
    } catch (const cv::Exception&) {
        return Failed;
    } catch (const std::exception&) {
        return Failed;
    }
}

// The same guard for a frame operation, which also logs the failure under its tag.
template <class F>
ResultCode GuardImageLibrary(const char* tag, F&& body) {
    try {
        return body();
    } catch (const cv::Exception& e) {
        ORVEX_LOG(4, tag, "opencv crash,msg: %s", e.what());
        return Failed;
    } catch (const std::exception& e) {
        ORVEX_LOG(4, tag, "failed,msg: %s", e.what());
        return Failed;
    }
}

}  // namespace orvex
