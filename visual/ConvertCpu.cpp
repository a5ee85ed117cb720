// The conversions on host frames: YUV to BGRA through the YUV library's matrix conversions (the
// YUV side scaled first when reducing, the BGRA side after when enlarging), the BGRA to YUV
// encoders, the caller-matrix path, and the repacking operations.
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "colorspace.h"
#include "corelog.h"
#include "imagecpu/CpuSupport.h"
#include "visual/ConvertOps.h"
#include "visual/FramePlanes.h"
#include "visual/VisualProcess.h"
#include "yuv.h"

namespace orvex {
namespace {

using PlanarDecode = int (*)(const uint8_t*, int, const uint8_t*, int, const uint8_t*, int, uint8_t*, int, int, int);
using SemiDecode = int (*)(const uint8_t*, int, const uint8_t*, int, uint8_t*, int, int, int);
using Encode = int (*)(const uint8_t*, int, uint8_t*, int, uint8_t*, int, uint8_t*, int, int, int);

PlanarDecode PlanarDecoderFor(int32_t mode) {
    switch (mode) {
    case 0: return imageYV12ToRGBBT709_Limited;
    case 1: return imageYV12ToRGBBT709_FULL;
    case 3: return imageYV12ToRGBBT601_FULL;
    case 4: return imageYV12ToRGBBT2020_Limited;
    case 5: return imageYV12ToRGBBT2020_FULL;
    default: return imageYV12ToRGBBT601_Limited;
    }
}

SemiDecode SemiDecoderFor(int32_t mode) {
    switch (mode) {
    case 0: return imageNV12ToRGBBT709_Limited;
    case 1: return imageNV12ToRGBBT709_FULL;
    case 3: return imageNV12ToRGBBT601_FULL;
    case 4: return imageNV12ToRGBBT2020_Limited;
    case 5: return imageNV12ToRGBBT2020_FULL;
    default: return imageNV12ToRGBBT601_Limited;
    }
}

Encode EncoderFor(int32_t mode) {
    switch (mode) {
    case 0: return imageRGBToYV12BT709_Limited;
    case 1: return imageRGBToYV12BT709_FULL;
    case 3: return imageRGBToYV12BT601_FULL;
    case 4: return imageRGBToYV12BT2020_Limited;
    case 5: return imageRGBToYV12BT2020_FULL;
    default: return imageRGBToYV12BT601_Limited;
    }
}

// The image library's interpolation for a BGRA enlargement at a quality.
int UpscaleInterpolation(int32_t quality) {
    switch (quality) {
    case 0: return cv::INTER_NEAREST_EXACT;
    case 2: return cv::INTER_CUBIC;
    case 3: return cv::INTER_LANCZOS4;
    default: return cv::INTER_LINEAR;
    }
}

// Planes of a YUV picture: pointers and pitches, in storage order Y, V (Cr), U (Cb), A for
// planar frames and Y, UV for semi-planar ones.
struct YuvView {
    const uint8_t* data[4] = {};
    int pitch[4] = {};
    int width = 0, height = 0;
    bool alpha = false;
};

YuvView ViewOf(const EffectFrame& f, const FrameLayout& l) {
    YuvView v;
    for (int i = 0; i < l.planes; ++i) {
        v.data[i] = f.data[i];
        v.pitch[i] = f.pitch[i];
    }
    v.width = static_cast<int>(f.width[0]);
    v.height = static_cast<int>(f.height[0]);
    v.alpha = l.planes > 3;
    return v;
}

// Runs body over row pairs in parallel bands (a hint of 4); each band starts on an even row.
template <typename Body>
void RowPairBands(int height, const Body& body) {
    cv::parallel_for_(cv::Range(0, (height + 1) / 2),
                      [&](const cv::Range& r) { body(2 * r.start, std::min(2 * r.end, height)); }, 4);
}

// Decodes v into dst (8-bit BGRA of v's size) with the mode's matrix; 0 on success.
int Decode(const YuvView& v, bool semi, int32_t mode, cv::Mat& dst) {
    std::atomic<int> failed{0};
    const PlanarDecode planar = PlanarDecoderFor(mode);
    const SemiDecode semiDecode = SemiDecoderFor(mode);
    RowPairBands(v.height, [&](int y0, int y1) {
        uint8_t* d = dst.ptr(y0);
        const int pd = static_cast<int>(dst.step[0]);
        const uint8_t* y = v.data[0] + static_cast<size_t>(v.pitch[0]) * y0;
        int r;
        if (semi) {
            r = semiDecode(y, v.pitch[0], v.data[1] + static_cast<size_t>(v.pitch[1]) * (y0 / 2), v.pitch[1], d, pd,
                           v.width, y1 - y0);
        } else {
            // Cb is plane 2 and Cr plane 1 in YV12 storage order.
            r = planar(y, v.pitch[0], v.data[2] + static_cast<size_t>(v.pitch[2]) * (y0 / 2), v.pitch[2],
                       v.data[1] + static_cast<size_t>(v.pitch[1]) * (y0 / 2), v.pitch[1], d, pd, v.width, y1 - y0);
        }
        if (r != 0) failed = 1;
    });
    return failed.load();
}

// Copies an alpha plane into every fourth byte of a BGRA picture of the same size.
void CopyAlpha(const uint8_t* alpha, int pitch, cv::Mat& bgra) {
    for (int y = 0; y < bgra.rows; ++y) {
        const uint8_t* a = alpha + static_cast<size_t>(pitch) * y;
        uint8_t* d = bgra.ptr(y);
        for (int x = 0; x < bgra.cols; ++x) d[4 * x + 3] = a[x];
    }
}

}  // namespace

ResultCode VisualProcess::YUVToBGRA_CPU(const EffectFrame& in, EffectFrame& out, int32_t mode, int32_t quality,
                                        int32_t alphaMode) {
    const bool semi = in.pixel_fmt == NV12;
    const char* tag = semi ? "orvex:NV12ToBGRA_CPU" : "orvex:YUVAToBGRA";
    FrameLayout li, lo;
    if (!LayoutOf(in, &li) || !LayoutOf(out, &lo) || !HostPlanesOk(in, li) || !HostPlanesOk(out, lo) ||
        !IsBGRALike(out.pixel_fmt)) {
        ORVEX_LOG(6, tag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    if (!semi && li.planes > 3 && (alphaMode == 0 || alphaMode == 2)) {
        // The caller's picture is premultiplied in place before it is converted.
        const ResultCode r = Premultiply(in, const_cast<EffectFrame&>(in), alphaMode == 0 ? 1 : 2,
                                         alphaMode == 0 && IsFullRangeMode(mode));
        if (r != Ok) {
            ORVEX_LOG(4, tag, "Premultiply failed!!");
            return r;
        }
    }
    const int inW = static_cast<int>(in.width[0]), inH = static_cast<int>(in.height[0]);
    const int outW = static_cast<int>(out.width[0]), outH = static_cast<int>(out.height[0]);
    cv::Mat dst;  // the 8-bit result at the output size
    if (lo.sixteen) {
        convertOutput_.create(outH, outW, CV_8UC4);
        dst = convertOutput_;
    } else {
        dst = PlaneMat(out, 0, lo, 4);
    }
    YuvView v = ViewOf(in, li);
    const bool same = inW == outW && inH == outH;
    const bool down = outW <= inW && outH <= inH;
    const int filter = std::clamp(quality, 0, 3);
    if (!same && down) {
        // Reduce on the YUV side, at a quarter of the samples of the BGRA picture.
        const int cw = (outW + 1) / 2, ch = (outH + 1) / 2;
        const size_t luma = static_cast<size_t>(outW) * outH, chroma = static_cast<size_t>(cw) * ch;
        convertPlanes_.resize(luma * (v.alpha ? 2 : 1) + chroma * 2);
        uint8_t* sy = convertPlanes_.data();
        uint8_t* sc = sy + luma;
        YuvView s;
        s.width = outW;
        s.height = outH;
        s.alpha = v.alpha;
        s.data[0] = sy;
        s.pitch[0] = outW;
        int r = 0;
        if (semi) {
            s.data[1] = sc;
            s.pitch[1] = 2 * cw;
            r = filter < 2 ? imageNV12Resize(v.data[0], v.pitch[0], v.data[1], v.pitch[1], inW, inH, sy, outW, sc,
                                             2 * cw, outW, outH, filter, 1)
                           : ResizeOnlyOnePlane(v.data[0], v.pitch[0], inW, inH, sy, outW, outW, outH, filter) |
                                 ResizeUVPlane(v.data[1], v.pitch[1], (inW + 1) / 2, (inH + 1) / 2, sc, 2 * cw, cw, ch,
                                               1);
        } else {
            s.data[1] = sc;
            s.data[2] = sc + chroma;
            s.pitch[1] = s.pitch[2] = cw;
            const int icw = (inW + 1) / 2, ich = (inH + 1) / 2;
            if (filter < 2) {
                r = imageYV12Resize(v.data[0], v.pitch[0], v.data[2], v.pitch[2], v.data[1], v.pitch[1], inW, inH,
                                    sy, outW, sc + chroma, cw, sc, cw, outW, outH, filter);
            } else {
                r = ResizeOnlyOnePlane(v.data[0], v.pitch[0], inW, inH, sy, outW, outW, outH, filter) |
                    ResizeOnlyOnePlane(v.data[1], v.pitch[1], icw, ich, sc, cw, cw, ch, 1) |
                    ResizeOnlyOnePlane(v.data[2], v.pitch[2], icw, ich, sc + chroma, cw, cw, ch, 1);
            }
            if (v.alpha) {
                s.data[3] = sc + 2 * chroma;
                s.pitch[3] = outW;
                r |= ResizeOnlyOnePlane(v.data[3], v.pitch[3], inW, inH, sc + 2 * chroma, outW, outW, outH, filter);
            }
        }
        if (r != 0) {
            ORVEX_LOG(4, tag, "YUV resize failed!!");
            return Failed;
        }
        v = s;
    }
    if (same || down) {
        if (Decode(v, semi, mode, dst) != 0) {
            ORVEX_LOG(4, tag, "YUV to RGB failed!!");
            return Failed;
        }
        if (v.alpha) CopyAlpha(v.data[3], v.pitch[3], dst);
    } else {
        convertPicture_.create(inH, inW, CV_8UC4);
        if (Decode(v, semi, mode, convertPicture_) != 0) {
            ORVEX_LOG(4, tag, "YUV to RGB failed!!");
            return Failed;
        }
        if (v.alpha) CopyAlpha(v.data[3], v.pitch[3], convertPicture_);
        cv::resize(convertPicture_, dst, dst.size(), 0, 0, UpscaleInterpolation(quality));
    }
    if (lo.sixteen) {
        cv::Mat wide = PlaneMat(out, 0, lo, 4);
        dst.convertTo(wide, CV_16U, 257.0);
    }
    return Ok;
}

ResultCode VisualProcess::BGRAToYUV_CPU(const EffectFrame& in, EffectFrame& out, int32_t mode) {
    constexpr const char* kTag = "orvex::BGRAToYV12";
    FrameLayout li, lo;
    if (!LayoutOf(in, &li) || !LayoutOf(out, &lo) || !HostPlanesOk(in, li) || !HostPlanesOk(out, lo)) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    if (in.width[0] != out.width[0] || in.height[0] != out.height[0]) {
        ORVEX_LOG(6, kTag, "frame resolution is not equal!");
        return Failed;
    }
    const int w = static_cast<int>(in.width[0]), h = static_cast<int>(in.height[0]);
    const cv::Mat src = PlaneMat(in, 0, li, 4);
    return GuardImageLibrary("orvex:BGRAToYV12", [&]() -> ResultCode {
        cv::Mat bgra = src;
        if (li.sixteen) {
            src.convertTo(convertPicture_, CV_8U, 1.0 / 257.0);
            bgra = convertPicture_;
        }
        // 16-bit outputs are encoded to 8-bit planes first and widened through a table.
        const int cw = (w + 1) / 2, ch = (h + 1) / 2;
        uint8_t* planes[3];
        int pitches[3];
        if (lo.sixteen) {
            convertPlanes_.resize(static_cast<size_t>(w) * h + static_cast<size_t>(cw) * ch * 2);
            planes[0] = convertPlanes_.data();
            planes[1] = planes[0] + static_cast<size_t>(w) * h;
            planes[2] = planes[1] + static_cast<size_t>(cw) * ch;
            pitches[0] = w;
            pitches[1] = pitches[2] = cw;
        } else {
            for (int i = 0; i < 3; ++i) {
                planes[i] = out.data[i];
                pitches[i] = out.pitch[i];
            }
        }
        const Encode encode = EncoderFor(mode);
        std::atomic<int> failed{0};
        auto run = [&](int y0, int y1) {
            // Cb goes to plane 2 and Cr to plane 1, as YV12 stores them.
            if (encode(bgra.ptr(y0), static_cast<int>(bgra.step[0]), planes[0] + static_cast<size_t>(pitches[0]) * y0,
                       pitches[0], planes[2] + static_cast<size_t>(pitches[2]) * (y0 / 2), pitches[2],
                       planes[1] + static_cast<size_t>(pitches[1]) * (y0 / 2), pitches[1], w, y1 - y0) != 0)
                failed = 1;
        };
        if (w < 1920 || h < 1080) run(0, h);
        else RowPairBands(h, run);
        if (failed) {
            ORVEX_LOG(4, kTag, "RGB to YUV failed!!");
            return Failed;
        }
        const int bits = static_cast<int>(out.bitDepth);
        if (lo.sixteen && (bits < 8 || bits > 16)) {
            ORVEX_LOG(6, kTag, "bitDepth %d is out of range!!", bits);
            return InvalidArgument;
        }
        std::array<uint16_t, 256> widen{};
        const bool full = IsFullRangeMode(mode);
        for (int v = 0; v < 256; ++v) {
            // Limited range keeps its codes' places (16 -> 64 at 10 bits); full range spans 0..M-1.
            const int top = (1 << bits) - 1;
            widen[v] = static_cast<uint16_t>(full ? std::lrint(v * top / 255.0) : v << (bits - 8));
        }
        if (lo.sixteen) {
            for (int p = 0; p < 3; ++p) {
                const PlaneGeometry& g = lo.plane[p];
                for (int y = 0; y < g.height; ++y) {
                    const uint8_t* s = planes[p] + static_cast<size_t>(pitches[p]) * y;
                    uint16_t* d = reinterpret_cast<uint16_t*>(out.data[p] + static_cast<size_t>(out.pitch[p]) * y);
                    for (int x = 0; x < g.width; ++x) d[x] = widen[s[x]];
                }
            }
        }
        if (lo.planes > 3) {
            const int top = (1 << (lo.sixteen ? bits : 8)) - 1;
            for (int y = 0; y < h; ++y) {
                const uint8_t* s = bgra.ptr(y);
                uint8_t* d = out.data[3] + static_cast<size_t>(out.pitch[3]) * y;
                for (int x = 0; x < w; ++x) {
                    if (lo.sixteen)
                        reinterpret_cast<uint16_t*>(d)[x] = static_cast<uint16_t>((s[4 * x + 3] * top + 127) / 255);
                    else
                        d[x] = s[4 * x + 3];
                }
            }
        }
        return Ok;
    });
}

ResultCode VisualProcess::GenericMatrix_CPU(const EffectFrame& in, EffectFrame& out,
                                            const ColorSpace::pl_transform3x3& decode,
                                            const ColorSpace::pl_matrix3x3& mapping) {
    constexpr const char* kTag = "orvex:YUVAToBGRA_Normal";
    FrameLayout li, lo;
    if (!LayoutOf(in, &li) || !LayoutOf(out, &lo) || !HostPlanesOk(in, li) || !HostPlanesOk(out, lo)) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    const int inW = static_cast<int>(in.width[0]), inH = static_cast<int>(in.height[0]);
    cv::Mat dst = PlaneMat(out, 0, lo, 4);
    if (lo.sixteen) {
        convertOutput_.create(dst.rows, dst.cols, CV_8UC4);
        dst = convertOutput_;
    }
    const int pd = static_cast<int>(dst.step[0]);
    const int r = in.pixel_fmt == NV12
                      ? ColorSpace::ColorConvertTool::Process_NV122RGB(in.data[0], in.pitch[0], in.data[1],
                                                                       in.pitch[1], inW, inH, dst.data, pd, dst.cols,
                                                                       dst.rows, decode, mapping)
                      : ColorSpace::ColorConvertTool::Process_YUV2RGB(in.data[0], in.pitch[0], in.data[2], in.pitch[2],
                                                                      in.data[1], in.pitch[1], inW, inH, dst.data, pd,
                                                                      dst.cols, dst.rows, decode, mapping);
    if (r != 0) {
        ORVEX_LOG(4, kTag, "Process_YUV2RGB failed!!");
        return Failed;
    }
    if (lo.sixteen) {
        cv::Mat wide = PlaneMat(out, 0, lo, 4);
        dst.convertTo(wide, CV_16U, 257.0);
    }
    return Ok;
}

// --- repacking -------------------------------------------------------------------------------------------

ResultCode VisualProcess::NV12ToYV12(const EffectFrame& in, EffectFrame& out) {
    constexpr const char* kTag = "orvex:NV12ToYV12";
    if (in.pixel_fmt != NV12 || out.pixel_fmt != YV12) {
        ORVEX_LOG(6, kTag, "input format is not NV12 To YV12!!");
        return WrongFormat;
    }
    FrameLayout li, lo;
    if (!LayoutOf(in, &li) || !LayoutOf(out, &lo) || !HostPlanesOk(in, li) || !HostPlanesOk(out, lo)) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    if (in.width[0] != out.width[0] || in.height[0] != out.height[0]) {
        ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
        return InvalidArgument;
    }
    if (imageNV12ToYV12(in.data[0], in.pitch[0], in.data[1], in.pitch[1], out.data[0], out.pitch[0], out.data[2],
                        out.pitch[2], out.data[1], out.pitch[1], static_cast<int>(in.width[0]),
                        static_cast<int>(in.height[0])) != 0) {
        ORVEX_LOG(4, kTag, "imageNV12ToYV12 failed!!");
        return Failed;
    }
    return Ok;
}

namespace {

// A 3-channel 8-bit frame of the given size in host memory, as the BGR operations take it.
bool BGRPlaneOk(const EffectFrame& f, uint32_t w, uint32_t h) {
    return f.data[0] && f.width[0] == w && f.height[0] == h && f.pitch[0] > 0 &&
           static_cast<size_t>(f.pitch[0]) >= static_cast<size_t>(w) * 3;
}

}  // namespace

ResultCode VisualProcess::BGRAToBGR(const EffectFrame& in, EffectFrame& out) {
    constexpr const char* kTag = "orvex:BGRAToBGR";
    FrameLayout li;
    if (!IsBGRA8(in.pixel_fmt)) {
        ORVEX_LOG(6, kTag, "input format is not BGRA32!!");
        return WrongFormat;
    }
    if (!LayoutOf(in, &li) || !HostPlanesOk(in, li) || !BGRPlaneOk(out, in.width[0], in.height[0])) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    return GuardImageLibrary(kTag, [&]() -> ResultCode {
        const cv::Mat src = PlaneMat(in, 0, li, 4);
        cv::Mat dst(src.rows, src.cols, CV_8UC3, out.data[0], static_cast<size_t>(out.pitch[0]));
        cv::cvtColor(src, dst, cv::COLOR_BGRA2BGR);
        return Ok;
    });
}

ResultCode VisualProcess::BGRToBGRA(const EffectFrame& in, EffectFrame& out) {
    constexpr const char* kTag = "orvex:BGRToBGRA";
    FrameLayout lo;
    if (!IsBGRA8(out.pixel_fmt)) {
        ORVEX_LOG(6, kTag, "output format is not BGRA32!!");
        return WrongFormat;
    }
    if (!LayoutOf(out, &lo) || !HostPlanesOk(out, lo) || !BGRPlaneOk(in, out.width[0], out.height[0])) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    return GuardImageLibrary(kTag, [&]() -> ResultCode {
        cv::Mat dst = PlaneMat(out, 0, lo, 4);
        const cv::Mat src(dst.rows, dst.cols, CV_8UC3, in.data[0], static_cast<size_t>(in.pitch[0]));
        cv::cvtColor(src, dst, cv::COLOR_BGR2BGRA);
        return Ok;
    });
}

}  // namespace orvex
