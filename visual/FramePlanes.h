#pragma once
// Plane geometry of the pixel formats and the checks that keep every CPU routine inside the
// caller's planes. Sizes come from the frame size (width[0], height[0]) and the format; a plane
// is usable when its pointer is set, its pitch holds a row and height[i] holds its rows.
#include <cstddef>
#include <cstdint>

#include <opencv2/core.hpp>

#include "orvex/EffectFrame.h"

namespace orvex {

// Frames larger than this on either side are refused, which keeps every size product in range.
inline constexpr uint32_t kMaxFrameSide = 32768;

struct PlaneGeometry {
    int width = 0;   // samples per row (an NV12 chroma row counts both samples of each pair)
    int height = 0;  // rows
    int bytes = 1;   // bytes per sample
    size_t rowBytes() const { return static_cast<size_t>(width) * static_cast<size_t>(bytes); }
};

struct FrameLayout {
    int planes = 0;
    PlaneGeometry plane[4];
    bool sixteen = false;     // 16-bit samples
    bool interleaved = false; // NV12 / P010 chroma pairs
    int chromaShiftY = 1;     // 1 for 4:2:0, 0 for 4:2:2
};

// The planes of fmt at w x h. withAlpha adds plane 3 for the planar YUV formats (the caller passes
// frame.planes > 3). False for formats without a layout (2, 10, 15 and up) or sizes out of range.
bool LayoutOf(uint32_t fmt, uint32_t w, uint32_t h, bool withAlpha, FrameLayout* layout);
// LayoutOf for a frame's own format and size, alpha when the frame says it has one.
bool LayoutOf(const EffectFrame& f, FrameLayout* layout);
// True when every plane of the layout lies in the caller's host memory.
bool HostPlanesOk(const EffectFrame& f, const FrameLayout& layout);

// Plane i of a host frame as a matrix header of `type` over the caller's memory (no copy).
cv::Mat PlaneMat(const EffectFrame& f, int i, const FrameLayout& layout, int channels = 1);

inline bool IsBGRALike(uint32_t fmt) { return fmt == BGRA32 || fmt == BGRA32_ALT || fmt == BGRA64; }

}  // namespace orvex
