#pragma once
// Small pieces of CPU support that every body uses: the image library's exception guard (the
// saturating conversions are in SaturatingCasts.h).
#include <cstdint>
#include <exception>

#include <opencv2/core.hpp>

#include "corelog.h"
#include "orvex/ResultCode.h"

namespace orvex {

// Runs an effect body that calls the image library, which reports misuse by exception: that
// becomes Failed. Other exceptions (scratch memory a frame cannot get) go on to the effect's
// Render, which fails the frame with its log line.
template <class F>
ResultCode GuardImageLibrary(F&& body) {
    try {
        return body();
    } catch (const cv::Exception&) {
        return Failed;
    }
}

// The guard of a frame operation, which has no outer catch: the image library's exceptions and a
// failed scratch allocation both become Failed, logged under the operation's tag.
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
