#include "visual/FramePlanes.h"

namespace orvex {

bool LayoutOf(uint32_t fmt, uint32_t w, uint32_t h, bool withAlpha, FrameLayout* layout) {
    if (!layout || w == 0 || h == 0 || w > kMaxFrameSide || h > kMaxFrameSide) return false;
    FrameLayout l;
    const int W = static_cast<int>(w), H = static_cast<int>(h);
    const int cw = (W + 1) / 2, ch = (H + 1) / 2;
    switch (fmt) {
    case BGRA32:
    case BGRA32_ALT: l.planes = 1; l.plane[0] = {W * 4, H, 1}; break;
    case BGRA64: l.planes = 1; l.plane[0] = {W * 4, H, 2}; l.sixteen = true; break;
    case NV12:
    case P010:
        l.sixteen = fmt == P010;
        l.interleaved = true;
        l.planes = 2;
        l.plane[0] = {W, H, l.sixteen ? 2 : 1};
        l.plane[1] = {cw * 2, ch, l.sixteen ? 2 : 1};
        break;
    case YV12:
    case YUVA420:
    case YV12P10:
    case YUVAP10:
    case YUV422:
    case YUV422_16:
    case YUVA422:
    case YUVA422_16: {
        l.sixteen = fmt == YV12P10 || fmt == YUVAP10 || fmt == YUV422_16 || fmt == YUVA422_16;
        const bool is422 = fmt == YUV422 || fmt == YUV422_16 || fmt == YUVA422 || fmt == YUVA422_16;
        l.chromaShiftY = is422 ? 0 : 1;
        const int b = l.sixteen ? 2 : 1;
        l.planes = withAlpha ? 4 : 3;
        l.plane[0] = {W, H, b};
        l.plane[1] = l.plane[2] = {cw, is422 ? H : ch, b};
        l.plane[3] = {W, H, b};
        break;
    }
    default: return false;
    }
    *layout = l;
    return true;
}

bool LayoutOf(const EffectFrame& f, FrameLayout* layout) {
    return LayoutOf(f.pixel_fmt, f.width[0], f.height[0], f.planes > 3, layout);
}

bool HostPlanesOk(const EffectFrame& f, const FrameLayout& layout) {
    for (int i = 0; i < layout.planes; ++i) {
        const PlaneGeometry& p = layout.plane[i];
        if (!f.data[i] || f.pitch[i] <= 0 || static_cast<size_t>(f.pitch[i]) < p.rowBytes() ||
            f.height[i] < static_cast<uint32_t>(p.height))
            return false;
        // 16-bit samples are read as uint16_t: the plane and its rows must stay 2-byte aligned.
        if (p.bytes == 2 && (reinterpret_cast<uintptr_t>(f.data[i]) % 2 != 0 || f.pitch[i] % 2 != 0)) return false;
    }
    return true;
}

cv::Mat PlaneMat(const EffectFrame& f, int i, const FrameLayout& layout, int channels) {
    const PlaneGeometry& p = layout.plane[i];
    const int depth = p.bytes == 2 ? CV_16U : CV_8U;
    return cv::Mat(p.height, p.width / channels, CV_MAKETYPE(depth, channels), f.data[i],
                   static_cast<size_t>(f.pitch[i]));
}

}  // namespace orvex
