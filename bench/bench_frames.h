#pragma once
// A picture of the image library seen as a host frame through the kit's wrapper, for the benches
// that time the library on cv::Mat pictures.
#include <opencv2/core.hpp>

#include "host/kit/kit.h"

namespace benchframes {

// BGRA32 for an 8-bit picture, BGRA64 (16 bits deep) for a 16-bit one; no copy.
inline orvex::EffectFramePtr WrapMat(cv::Mat& m) {
    const bool sixteen = m.depth() == CV_16U;
    orvex::EffectFramePtr f = orvexhost::WrapBGRA(m.data, m.cols, m.rows, static_cast<int>(m.step[0]),
                                                  sixteen ? orvex::BGRA64 : orvex::BGRA32);
    if (sixteen) f->bitDepth = 16;
    return f;
}

// The same frame by value, for the frame operations that take an EffectFrame.
inline orvex::EffectFrame FrameOf(cv::Mat& m) { return *WrapMat(m); }

}  // namespace benchframes
