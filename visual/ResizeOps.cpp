// Resize, ResizeWithPrefilter and ResizeBlur, on host frames and on OpenCL textures.
#include "visual/ResizeOps.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

#include <opencv2/imgproc.hpp>

#include "corelog.h"
#include "imagecpu/CpuSupport.h"
#include "visual/AffineWarp.h"
#include "visual/FramePlanes.h"
#include "visual/GpuTask.h"
#include "visual/VisualProcess.h"
#include "yuv.h"

namespace orvex {

cv::Rect ResizeWindow(int32_t resizeType, int Win, int Hin, int Wout, int Hout) {
    cv::Rect r(0, 0, Wout, Hout);
    if (Win <= 0 || Hin <= 0 || Wout <= 0 || Hout <= 0) return r;
    const int64_t wi = Win, hi = Hin, wo = Wout, ho = Hout;
    if (resizeType == 1) {
        const int64_t h = (hi * wo + wi - 1) / wi;
        if (h <= ho) {
            r.y = static_cast<int>((ho - h) >> 1);
            r.height = static_cast<int>(h);
        } else {
            const int64_t w = std::min(wo, (wi * ho + hi - 1) / hi);
            r.x = static_cast<int>((wo - w) >> 1);
            r.width = static_cast<int>(w);
        }
    } else if (resizeType == 4) {
        // A picture thinner than one pixel still gets one, so the output is never left empty.
        if (Wout < Hout) {
            const int64_t w = std::max<int64_t>(1, wi * ho / hi);
            r.x = static_cast<int>((wo - w) >> 1);
            r.width = static_cast<int>(w);
        } else {
            const int64_t h = std::max<int64_t>(1, hi * wo / wi);
            r.y = static_cast<int>((ho - h) >> 1);
            r.height = static_cast<int>(h);
        }
    }
    return r;
}

const char* ResizeKernelFor(int32_t quality, int Win, int Hin, int winW, int winH) {
    if (quality != 2 && quality != 3) return "Resize_Mid_Low";
    if (winW < Win && winH < Hin) return Win == 2 * winW && Hin == 2 * winH ? "resizeAREA_FAST" : "resizeAREA";
    return "resize_cubic";
}

int ResizeInterpolationFor(int32_t quality, int Win, int Hin, int winW, int winH) {
    const bool enlarging = winW >= Win || winH >= Hin;
    switch (quality) {
    case 0: return cv::INTER_NEAREST_EXACT;
    case 2: return enlarging ? cv::INTER_CUBIC : cv::INTER_AREA;
    case 3: return enlarging ? cv::INTER_LANCZOS4 : cv::INTER_AREA;
    default: return cv::INTER_LINEAR;
    }
}

int YuvFilterFor(int32_t quality) {
    switch (quality) {
    case 0: return 0;
    case 2:
    case 3: return 3;
    default: return 2;
    }
}

AreaTable MakeAreaTable(int ssize, int dsize) {
    AreaTable t;
    if (ssize <= 0 || dsize <= 0) return t;
    // The scale as the image library forms it, so that its footprints and ours match bit for bit.
    const double scale = 1.0 / (static_cast<double>(dsize) / ssize);
    t.start.reserve(dsize + 1);
    for (int d = 0; d < dsize; ++d) {
        t.start.push_back(static_cast<int32_t>(t.src.size()));
        const double f1 = d * scale, f2 = f1 + scale;
        const double cell = std::min(scale, ssize - f1);
        int s2 = std::min(static_cast<int>(std::floor(f2)), ssize - 1);
        const int s1 = std::min(static_cast<int>(std::ceil(f1)), s2);
        auto add = [&](int s, double w) {
            t.src.push_back(s);
            t.alpha.push_back(static_cast<float>(w));
        };
        if (s1 - f1 > 1e-3) add(s1 - 1, (s1 - f1) / cell);
        for (int s = s1; s < s2; ++s) add(s, 1.0 / cell);
        if (f2 - s2 > 1e-3) add(s2, std::min(std::min(f2 - s2, 1.0), cell) / cell);
    }
    t.start.push_back(static_cast<int32_t>(t.src.size()));
    return t;
}

namespace {

constexpr const char* kResizeTag = "orvex:Resize";

// Margins of the window are transparent: every output pixel outside `keep` becomes zero.
void ClearOutside(cv::Mat& dst, const cv::Rect& keep, const cv::Scalar& value = cv::Scalar::all(0)) {
    const cv::Rect all(0, 0, dst.cols, dst.rows);
    const cv::Rect k = keep & all;
    if (k.empty()) {
        dst.setTo(value);
        return;
    }
    dst.rowRange(0, k.y).setTo(value);
    dst.rowRange(k.y + k.height, dst.rows).setTo(value);
    dst(cv::Rect(0, k.y, k.x, k.height)).setTo(value);
    dst(cv::Rect(k.x + k.width, k.y, dst.cols - k.x - k.width, k.height)).setTo(value);
}

// Scales src onto `window` of dst (which may reach past dst's edges; scratch then holds the whole
// scaled picture before its centre is copied).
void ResizeIntoWindow(const cv::Mat& src, cv::Mat& dst, const cv::Rect& window, int interpolation, cv::Mat& scratch) {
    const cv::Rect visible = window & cv::Rect(0, 0, dst.cols, dst.rows);
    ClearOutside(dst, visible);
    if (visible == window) {
        cv::Mat roi = dst(window);
        cv::resize(src, roi, window.size(), 0, 0, interpolation);
        return;
    }
    scratch.create(window.size(), src.type());
    cv::resize(src, scratch, window.size(), 0, 0, interpolation);
    cv::Mat roi = dst(visible);
    scratch(visible - window.tl()).copyTo(roi);
}

bool HostFrames(const EffectFrame& in, const EffectFrame& out, FrameLayout* li, FrameLayout* lo) {
    return LayoutOf(in, li) && LayoutOf(out, lo) && HostPlanesOk(in, *li) && HostPlanesOk(out, *lo);
}

ResultCode ResizeBGRA_CPU(const EffectFrame& in, EffectFrame& out, int32_t type, int32_t quality, cv::Mat& scratch) {
    FrameLayout li, lo;
    if (!HostFrames(in, out, &li, &lo)) {
        ORVEX_LOG(6, kResizeTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    const cv::Mat src = PlaneMat(in, 0, li, 4);
    cv::Mat dst = PlaneMat(out, 0, lo, 4);
    const cv::Rect window = ResizeWindow(type, src.cols, src.rows, dst.cols, dst.rows);
    ResizeIntoWindow(src, dst, window,
                     ResizeInterpolationFor(quality, src.cols, src.rows, window.width, window.height), scratch);
    return Ok;
}

ResultCode ResizeBGRA_GPU(const EffectFrame& in, EffectFrame& out, int32_t type, int32_t quality) {
    TextureInfo ti, to;
    if (!QueryTexture(in.texture, &ti) || !QueryTexture(out.texture, &to)) {
        ORVEX_LOG(6, "orvex:Resize_GPU", "input gpu frame is nullptr!!");
        return InvalidArgument;
    }
    if (ti.colorSpace != zrp::kColorSpaceBGRA || to.colorSpace != zrp::kColorSpaceBGRA) {
        ORVEX_LOG(6, "orvex:Resize_GPU", "input format is not equal ouput format!");
        return WrongFormat;
    }
    const cv::Rect w = ResizeWindow(type, ti.width, ti.height, to.width, to.height);
    const char* kernel = ResizeKernelFor(quality, ti.width, ti.height, w.width, w.height);
    KernelArgs args;
    AreaTable xt, yt;
    if (std::strncmp(kernel, "resizeAREA", 10) == 0) {
        // The kernel centres the picture itself for types 1 and 4 from the sizes.
        const int32_t centred = type == 1 || type == 4 ? type : 0;
        args.Int("samperType", quality).Int("resize_type", centred).Int("src_rows", ti.height);
        args.Int("src_cols", ti.width).Int("dst_rows", to.height).Int("dst_cols", to.width);
        args.Int("real_dstWidth", w.width).Int("real_dstHeight", w.height);
        if (std::strcmp(kernel, "resizeAREA") == 0) {
            xt = MakeAreaTable(ti.width, w.width);
            yt = MakeAreaTable(ti.height, w.height);
            args.Block("xstart", xt.start.data(), xt.start.size() * sizeof(int32_t));
            args.Block("xsrc", xt.src.data(), xt.src.size() * sizeof(int32_t));
            args.Block("xalpha", xt.alpha.data(), xt.alpha.size() * sizeof(float));
            args.Block("ystart", yt.start.data(), yt.start.size() * sizeof(int32_t));
            args.Block("ysrc", yt.src.data(), yt.src.size() * sizeof(int32_t));
            args.Block("yalpha", yt.alpha.data(), yt.alpha.size() * sizeof(float));
        }
    } else {
        args.Int("roiX", w.x).Int("roiY", w.y).Int("roiWidth", w.width).Int("roiHeight", w.height);
        args.Int("quality", quality == 0 ? 0 : std::strcmp(kernel, "resize_cubic") == 0 ? 2 : 1);
    }
    return RunVisualKernel("orvex:Resize_GPU", kernel, args, to, {in.texture}, {out.texture});
}

// Both frames' textures in colour space cs with 16-bit samples exactly when `sixteen`.
bool PlanarTextures(const EffectFrame& in, const EffectFrame& out, zrp::ImageColorSpace cs, bool sixteen,
                    TextureInfo* ti, TextureInfo* to) {
    return QueryTexture(in.texture, ti) && QueryTexture(out.texture, to) && ti->colorSpace == cs &&
           to->colorSpace == cs && ti->sixteen() == sixteen && to->sixteen() == sixteen;
}

// YV12 and YUVA420 (whose alpha plane is scaled as luma) on their textures.
ResultCode ResizeYV12_GPU(const EffectFrame& in, EffectFrame& out, int32_t quality) {
    const bool alpha = in.pixel_fmt == YUVA420;
    const bool sixteen = !alpha && in.bitDepth != 8;
    TextureInfo ti, to;
    if (!PlanarTextures(in, out, alpha ? zrp::kColorSpaceYUVA : zrp::kColorSpaceYV12, sixteen, &ti, &to)) {
        ORVEX_LOG(6, kResizeTag, "input gpu frame is nullptr!!");
        return InvalidArgument;
    }
    KernelArgs args;
    args.Int("srcWidth", ti.width).Int("srcHeight", ti.height).Int("dstWidth", to.width).Int("dstHeight", to.height);
    args.Int("samperType", quality).Int("srcypitch", ti.pitchSamples()).Int("dstypitch", to.pitchSamples());
    const char* kernel = alpha ? "YUVAResize" : sixteen ? "YV12Resize_UINT16" : "YV12Resize";
    return RunVisualKernel(kResizeTag, kernel, args, to, {in.texture}, {out.texture});
}

// 8-bit planar 4:2:0 (YV12, YUVA420) through the YUV library; the alpha plane when both have one.
ResultCode ResizeYV12_CPU(const EffectFrame& in, EffectFrame& out, int32_t quality) {
    FrameLayout li, lo;
    if (!HostFrames(in, out, &li, &lo)) {
        ORVEX_LOG(6, kResizeTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    const int filter = YuvFilterFor(quality);
    const int Win = static_cast<int>(in.width[0]), Hin = static_cast<int>(in.height[0]);
    const int Wout = static_cast<int>(out.width[0]), Hout = static_cast<int>(out.height[0]);
    int r = imageYV12Resize(in.data[0], in.pitch[0], in.data[2], in.pitch[2], in.data[1], in.pitch[1], Win, Hin,
                            out.data[0], out.pitch[0], out.data[2], out.pitch[2], out.data[1], out.pitch[1], Wout,
                            Hout, filter);
    if (r == 0 && li.planes > 3 && lo.planes > 3)
        r = ResizeOnlyOnePlane(in.data[3], in.pitch[3], Win, Hin, out.data[3], out.pitch[3], Wout, Hout, filter);
    if (r != 0) {
        ORVEX_LOG(4, kResizeTag, "imageYV12Resize failed!!");
        return Failed;
    }
    return Ok;
}

// 16-bit planar (YV12P10, YUVAP10): every plane through the image library, as the BGRA resize.
ResultCode ResizePlanar16_CPU(const EffectFrame& in, EffectFrame& out, int32_t quality) {
    FrameLayout li, lo;
    if (!HostFrames(in, out, &li, &lo)) {
        ORVEX_LOG(6, kResizeTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    const int planes = std::min(li.planes, lo.planes);
    for (int i = 0; i < planes; ++i) {
        const cv::Mat src = PlaneMat(in, i, li);
        cv::Mat dst = PlaneMat(out, i, lo);
        cv::resize(src, dst, dst.size(), 0, 0,
                   ResizeInterpolationFor(quality, src.cols, src.rows, dst.cols, dst.rows));
    }
    return Ok;
}

}  // namespace

// --- NV12 / P010 -----------------------------------------------------------------------------------

namespace {

constexpr const char* kNV12ResizeTag = "orvex:NV12Resize";

// The NV12 window: the BGRA one with its corner moved to even samples, so that each chroma pair
// still covers its 2 x 2 luma block.
cv::Rect NV12Window(int32_t type, int Win, int Hin, int Wout, int Hout) {
    cv::Rect w = ResizeWindow(type, Win, Hin, Wout, Hout);
    w.x &= ~1;
    w.y &= ~1;
    return w;
}

template <typename T>
void FillPlane(uint8_t* data, int pitch, int width, int height, T value, int step = 1) {
    for (int y = 0; y < height; ++y) {
        T* row = reinterpret_cast<T*>(data + static_cast<size_t>(pitch) * y);
        for (int x = 0; x < width; x += step) row[x] = value;
    }
}

// Black luma and neutral chroma over a whole NV12 / P010 frame; limited-range black.
void FillBlack(EffectFrame& f, const FrameLayout& l) {
    if (l.sixteen) {
        FillPlane<uint16_t>(f.data[0], f.pitch[0], l.plane[0].width, l.plane[0].height, 16 << 8);
        FillPlane<uint16_t>(f.data[1], f.pitch[1], l.plane[1].width, l.plane[1].height, 0x8000);
    } else {
        FillPlane<uint8_t>(f.data[0], f.pitch[0], l.plane[0].width, l.plane[0].height, 16);
        FillPlane<uint8_t>(f.data[1], f.pitch[1], l.plane[1].width, l.plane[1].height, 128);
    }
}

ResultCode NV12Resize_CPU(const EffectFrame& in, EffectFrame& out, int32_t type, int32_t quality,
                          std::vector<uint8_t>& scratch) {
    FrameLayout li, lo;
    if (!HostFrames(in, out, &li, &lo)) {
        ORVEX_LOG(6, kNV12ResizeTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    const int b = li.sixteen ? 2 : 1;
    const int Win = static_cast<int>(in.width[0]), Hin = static_cast<int>(in.height[0]);
    const int Wout = static_cast<int>(out.width[0]), Hout = static_cast<int>(out.height[0]);
    const cv::Rect w = NV12Window(type, Win, Hin, Wout, Hout);
    const cv::Rect visible = w & cv::Rect(0, 0, Wout, Hout);
    const int filter = YuvFilterFor(quality);
    auto scale = [&](uint8_t* y, int py, uint8_t* uv, int puv) {
        return imageNV12Resize(in.data[0], in.pitch[0], in.data[1], in.pitch[1], Win, Hin, y, py, uv, puv, w.width,
                               w.height, filter, b);
    };
    if (visible == cv::Rect(0, 0, Wout, Hout) && w == visible) {
        if (scale(out.data[0], out.pitch[0], out.data[1], out.pitch[1]) != 0) {
            ORVEX_LOG(4, kNV12ResizeTag, "imageNV12Resize failed!!");
            return Failed;
        }
        return Ok;
    }
    // The picture goes to scratch planes of its own size first; the window's corner is even, so
    // the visible part starts on a chroma pair.
    const int cw = (w.width + 1) / 2, ch = (w.height + 1) / 2;
    const size_t lumaBytes = static_cast<size_t>(w.width) * w.height * b;
    scratch.resize(lumaBytes + static_cast<size_t>(cw) * 2 * ch * b);
    uint8_t* sy = scratch.data();
    uint8_t* suv = scratch.data() + lumaBytes;
    if (scale(sy, w.width * b, suv, cw * 2 * b) != 0) {
        ORVEX_LOG(4, kNV12ResizeTag, "imageNV12Resize failed!!");
        return Failed;
    }
    FillBlack(out, lo);
    const int ox = visible.x - w.x, oy = visible.y - w.y;
    for (int y = 0; y < visible.height; ++y)
        std::memcpy(out.data[0] + static_cast<size_t>(out.pitch[0]) * (visible.y + y) + static_cast<size_t>(visible.x) * b,
                    sy + (static_cast<size_t>(oy + y) * w.width + ox) * b, static_cast<size_t>(visible.width) * b);
    const int cx = visible.x / 2, cy = visible.y / 2;
    const int vcw = (visible.x + visible.width + 1) / 2 - cx, vch = (visible.y + visible.height + 1) / 2 - cy;
    for (int y = 0; y < vch; ++y)
        std::memcpy(out.data[1] + static_cast<size_t>(out.pitch[1]) * (cy + y) + static_cast<size_t>(cx) * 2 * b,
                    suv + (static_cast<size_t>(oy / 2 + y) * cw + ox / 2) * 2 * b, static_cast<size_t>(vcw) * 2 * b);
    return Ok;
}

ResultCode NV12Resize_GPU(const EffectFrame& in, EffectFrame& out, int32_t type, int32_t quality) {
    const bool sixteen = in.pixel_fmt == P010;
    TextureInfo ti, to;
    if (!PlanarTextures(in, out, zrp::kColorSpaceNV12, sixteen, &ti, &to)) {
        ORVEX_LOG(6, kNV12ResizeTag, "input gpu frame is nullptr!!");
        return InvalidArgument;
    }
    KernelArgs args;
    args.Int("srcWidth", ti.width).Int("srcHeight", ti.height).Int("dstWidth", to.width).Int("dstHeight", to.height);
    args.Int("samperType", quality).Int("resize_type", type == 1 || type == 4 ? type : 0).Int("rangeMode", 0);
    return RunVisualKernel(kNV12ResizeTag, sixteen ? "NV12Resize_16" : "NV12Resize", args, to, {in.texture},
                           {out.texture});
}

ResultCode NV12Resize(const EffectFrame& in, EffectFrame& out, int32_t type, int32_t quality,
                      std::vector<uint8_t>& scratch) {
    if (in.pixel_fmt != out.pixel_fmt) {
        ORVEX_LOG(6, kNV12ResizeTag, "input format is not equal output format !!");
        return WrongFormat;
    }
    return in.texture ? NV12Resize_GPU(in, out, type, quality) : NV12Resize_CPU(in, out, type, quality, scratch);
}

}  // namespace

ResultCode VisualProcess::Resize(const EffectFrame& in, EffectFrame& out, int32_t resizeType, int32_t quality) {
    return GuardImageLibrary(kResizeTag, [&]() -> ResultCode {
        if (IsBGRALike(in.pixel_fmt)) {
            if (in.texture) {
                const ResultCode r = ResizeBGRA_GPU(in, out, resizeType, quality);
                if (r != Ok) ORVEX_LOG(4, "orvex:Resize_GPU", "ret failed!");
                return r;
            }
            if (in.pixel_fmt != out.pixel_fmt) {
                ORVEX_LOG(6, kResizeTag, "input format is not equal ouput format!");
                return WrongFormat;
            }
            return ResizeBGRA_CPU(in, out, resizeType, quality, pictureScratch_);
        }
        if (in.pixel_fmt != out.pixel_fmt) {
            ORVEX_LOG(6, kResizeTag, "input format is not equal ouput format!");
            return WrongFormat;
        }
        switch (in.pixel_fmt) {
        case YV12: return in.texture ? ResizeYV12_GPU(in, out, quality) : ResizeYV12_CPU(in, out, quality);
        case NV12:
        case P010: return NV12Resize(in, out, resizeType, quality, planeScratch_);
        case YUVA420: return in.texture ? ResizeYV12_GPU(in, out, quality) : ResizeYV12_CPU(in, out, quality);
        case YV12P10:
        case YUVAP10: return ResizePlanar16_CPU(in, out, quality);
        default:
            ORVEX_LOG(6, kResizeTag, "format %u is not handled!!", in.pixel_fmt);
            return FormatNotHandled;
        }
    });
}

// --- reductions with a pre-blur ------------------------------------------------------------------

namespace {

// floor(sqrt(inArea / outArea)) >> 1 when the input is at least four times the output, else 0.
int ReductionRadius(double inArea, double outArea) {
    if (!(outArea > 0) || inArea < 4 * outArea) return 0;
    const double root = std::floor(std::sqrt(inArea / outArea));
    return static_cast<int>(std::min(root, 1e6)) >> 1;
}

bool SameSize(const EffectFrame& a, const EffectFrame& b) {
    return a.width[0] == b.width[0] && a.height[0] == b.height[0];
}

}  // namespace

ResultCode VisualProcess::ResizeWithPrefilter(const EffectFrame& in, EffectFrame& out) {
    constexpr const char* kTag = "orvex:ResizeWithPrefilter";
    if (!IsBGRA8(in.pixel_fmt) || !IsBGRA8(out.pixel_fmt)) {
        ORVEX_LOG(6, kTag, "input format is not BGRA32!");
        return WrongFormat;
    }
    FrameLayout li, lo;
    if (!HostFrames(in, out, &li, &lo)) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    return GuardImageLibrary(kTag, [&]() -> ResultCode {
        const cv::Mat src = PlaneMat(in, 0, li, 4);
        cv::Mat dst = PlaneMat(out, 0, lo, 4);
        const int r = std::min(5, ReductionRadius(src.total(), dst.total()));
        const int k = 2 * r + 1;
        if (k == 1) {
            cv::resize(src, dst, dst.size(), 0, 0, cv::INTER_LINEAR);
            return Ok;
        }
        pictureScratch_.create(src.size(), CV_8UC4);
        if (src.total() > 9999) BoxFilterBGRA(src, pictureScratch_, r);
        else cv::blur(src, pictureScratch_, cv::Size(k, k));
        cv::resize(pictureScratch_, dst, dst.size(), 0, 0, cv::INTER_LINEAR);
        return Ok;
    });
}

ResultCode VisualProcess::ResizeBlur(const EffectFrame& in, EffectFrame& out, int32_t targetWidth,
                                     int32_t targetHeight, int32_t blurType, int32_t maxRadius) {
    constexpr const char* kTag = "orvex:ResizeBlur";
    if (!IsBGRALike(in.pixel_fmt) || in.pixel_fmt != out.pixel_fmt) {
        ORVEX_LOG(6, kTag, "input format is not equal output format !!");
        return WrongFormat;
    }
    if (targetWidth <= 0 || targetHeight <= 0) {
        ORVEX_LOG(6, kTag, "target size %dx%d is not positive!!", targetWidth, targetHeight);
        return InvalidArgument;
    }
    const double target = static_cast<double>(targetWidth) * targetHeight;
    if (in.texture) {
        TextureInfo ti, to;
        if (!QueryTexture(in.texture, &ti) || !QueryTexture(out.texture, &to) ||
            ti.colorSpace != zrp::kColorSpaceBGRA || to.colorSpace != zrp::kColorSpaceBGRA) {
            ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
            return InvalidArgument;
        }
        if (ti.width != to.width || ti.height != to.height) {
            ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
            return InvalidArgument;
        }
        const int r = std::min(ReductionRadius(static_cast<double>(ti.width) * ti.height, target), std::max(maxRadius, 0));
        KernelArgs args;
        args.Int("resizeBlurType", blurType).Int("kernelSize", r);
        return RunVisualKernel(kTag, "ResizeBlur", args, to, {in.texture}, {out.texture});
    }
    if (!IsBGRA8(in.pixel_fmt)) {
        ORVEX_LOG(6, kTag, "input format is not BGRA32!");
        return WrongFormat;
    }
    FrameLayout li, lo;
    if (!HostFrames(in, out, &li, &lo)) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    if (!SameSize(in, out)) {
        ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
        return InvalidArgument;
    }
    return GuardImageLibrary(kTag, [&]() -> ResultCode {
        const cv::Mat src = PlaneMat(in, 0, li, 4);
        cv::Mat dst = PlaneMat(out, 0, lo, 4);
        const int r = std::min(ReductionRadius(src.total(), target), std::max(maxRadius, 0));
        // Frames of 100 x 100 and more are above the row-parallel filter's threshold (9,999
        // pixels), so every blurring frame takes it, whatever the blur type.
        if (r == 0 || src.cols < 100 || src.rows < 100) {
            if (src.data != dst.data) src.copyTo(dst);
            return Ok;
        }
        if (src.data == dst.data) {
            src.copyTo(pictureScratch_);
            BoxFilterBGRA(pictureScratch_, dst, r);
        } else {
            BoxFilterBGRA(src, dst, r);
        }
        return Ok;
    });
}

}  // namespace orvex
