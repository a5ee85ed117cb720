#pragma once
// Frame access shared by the geometry and blur families: the frame check with any reject code
// (0 included), whole-frame copies, and an input that stays readable while the output is written.
#include <cstring>
#include <memory>
#include <opencv2/core.hpp>

#include "effects/EffectSurface.h"
#include "zrp/zrp.h"

namespace orvex {

struct FrameRules {
    bool checkFormat = true;  // false for the bodies that do not check the pixel format
    bool sameSize = true;     // false for the warps, whose output size may differ
};

// True when the body may run. Otherwise *result is what ProcessCPU returns: `reject` for a frame
// that is not 8-bit BGRA (when the format is checked), InvalidArgument for frames it cannot read
// or write safely (null, no plane, short pitch, sizes that differ where they must not).
inline bool FramesUsable(const EffectFrame* in, const EffectFrame* out, ResultCode reject, ResultCode* result,
                         FrameRules rules = {}) {
    auto planeOk = [](const EffectFrame& f) {
        return f.data[0] && f.width[0] > 0 && f.height[0] > 0 && f.width[0] <= (1u << 28) && f.pitch[0] > 0 &&
               static_cast<uint64_t>(f.pitch[0]) >= static_cast<uint64_t>(f.width[0]) * 4;
    };
    *result = InvalidArgument;
    if (!in || !out) return false;
    if (rules.checkFormat && (!IsBGRA8(out->pixel_fmt) || !IsBGRA8(in->pixel_fmt))) {
        *result = reject;
        return false;
    }
    if (!planeOk(*in) || !planeOk(*out)) return false;
    if (rules.sameSize && (in->width[0] != out->width[0] || in->height[0] != out->height[0])) return false;
    *result = Ok;
    return true;
}

// Copies the input rows to the output (alpha included); nothing to do when they are one picture.
inline void CopyFrame(const cv::Mat& in, cv::Mat& out) {
    if (in.data == out.data && in.step == out.step) return;
    for (int y = 0; y < in.rows; ++y) std::memmove(out.ptr(y), in.ptr(y), static_cast<size_t>(in.cols) * 4);
}

// The input as the body may read it while writing `out`: the wrapped frame itself, or a copy
// when the two share memory (rendering in place), so that no output row is read back as input.
inline cv::Mat ReadableInput(const cv::Mat& in, const cv::Mat& out) {
    const uint8_t* a0 = in.datastart;
    const uint8_t* a1 = in.dataend;
    const uint8_t* b0 = out.datastart;
    const uint8_t* b1 = out.dataend;
    return (a0 < b1 && b0 < a1) ? in.clone() : in;
}

// Both textures present and of one size (the kernels of same-size effects read the input at the
// output's coordinates).
inline bool SameTextureSize(const std::shared_ptr<zrp::Texture>& a, const std::shared_ptr<zrp::Texture>& b) {
    if (!a || !b || !a->GetContext() || !b->GetContext()) return false;
    return a->GetContext()->GetWidth() == b->GetContext()->GetWidth() &&
           a->GetContext()->GetHeight() == b->GetContext()->GetHeight();
}

}  // namespace orvex
