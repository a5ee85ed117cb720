// CropFrame, PixelRotate, Rotate and the two flips, on host frames and on OpenCL textures.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "corelog.h"
#include "imagecpu/CpuSupport.h"
#include "imagecpu/LayerBlend.h"
#include "imagecpu/RowBands.h"
#include "visual/AffineWarp.h"
#include "visual/FramePlanes.h"
#include "visual/GpuTask.h"
#include "visual/VisualProcess.h"
#include "yuv.h"

namespace orvex {
namespace {

bool HostFrames(const EffectFrame& in, const EffectFrame& out, FrameLayout* li, FrameLayout* lo) {
    return LayoutOf(in, li) && LayoutOf(out, lo) && HostPlanesOk(in, *li) && HostPlanesOk(out, *lo);
}

// --- the crop region -------------------------------------------------------------------------------

// The normalised rectangle in whole pixels of a W x H input: each value * size + 0.5, floored.
// False for values that are not finite or a region under one pixel on either side.
bool CropRegion(fxRectf r, int W, int H, cv::Rect* px) {
    const double v[4] = {r.x, r.y, r.width, r.height};
    for (double d : v)
        if (!std::isfinite(d) || std::abs(d) > 1e6) return false;
    px->x = static_cast<int>(std::floor(W * v[0] + 0.5));
    px->y = static_cast<int>(std::floor(H * v[1] + 0.5));
    px->width = static_cast<int>(std::floor(W * v[2] + 0.5));
    px->height = static_cast<int>(std::floor(H * v[3] + 0.5));
    return px->width >= 1 && px->height >= 1;
}

// --- BGRA crop -------------------------------------------------------------------------------------

ResultCode CropBGRA(const EffectFrame& in, fxRectf rect, EffectFrame& out) {
    constexpr const char* kTag = "orvex:BGRACrop";
    if (in.texture && out.texture) {
        TextureInfo ti, to;
        if (!QueryTexture(in.texture, &ti) || !QueryTexture(out.texture, &to) ||
            ti.colorSpace != zrp::kColorSpaceBGRA || to.colorSpace != zrp::kColorSpaceBGRA) {
            ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
            return InvalidArgument;
        }
        cv::Rect r;
        if (!CropRegion(rect, ti.width, ti.height, &r)) {
            ORVEX_LOG(6, kTag, "crop region is empty!!");
            return InvalidArgument;
        }
        KernelArgs args;
        args.Int("roi_x", r.x).Int("roi_y", r.y);
        args.Float("scale_x", static_cast<float>(r.width) / to.width);
        args.Float("scale_y", static_cast<float>(r.height) / to.height);
        return RunVisualKernel(kTag, "BGRACrop", args, to, {in.texture}, {out.texture});
    }
    if (!in.data[0] || !out.data[0]) {
        ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
        return Failed;
    }
    FrameLayout li, lo;
    if (!HostFrames(in, out, &li, &lo)) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    const cv::Mat src = PlaneMat(in, 0, li, 4);
    cv::Mat dst = PlaneMat(out, 0, lo, 4);
    cv::Rect r;
    if (!CropRegion(rect, src.cols, src.rows, &r)) {
        ORVEX_LOG(6, kTag, "crop region is empty!!");
        return InvalidArgument;
    }
    // Maps the region onto the whole output; the warp reads transparent outside the input, so a
    // region reaching past the input's edges is safe.
    const double sx = static_cast<double>(dst.cols) / r.width, sy = static_cast<double>(dst.rows) / r.height;
    const cv::Matx23d M(sx, 0, dst.cols / 2.0 - (r.width / 2.0 + r.x) * sx,  //
                        0, sy, dst.rows / 2.0 - (r.height / 2.0 + r.y) * sy);
    if (!AffineWarp(src, dst, M, 1)) {
        ORVEX_LOG(4, kTag, "warp failed!!");
        return Failed;
    }
    return Ok;
}

// --- planar and semi-planar YUV crop ---------------------------------------------------------------

// One plane's crop: destination sample x reads source position x * scale + origin.
struct PlaneJob {
    const uint8_t* src;
    int srcPitch, sw, sh;
    uint8_t* dst;
    int dstPitch, dw, dh;
    int comps;  // 1, or 2 for interleaved chroma pairs
    float ox, oy, scaleX, scaleY;
    int pad;  // the value written where the position lies outside the source plane
};

struct Tap {
    int i0, i1;
    float f;
    bool inside;
};

inline Tap TapAt(float s, int size) {
    Tap t;
    t.inside = s >= 0.0f && s < static_cast<float>(size);
    const float fl = std::floor(s);
    t.f = s - fl;
    const int i = t.inside ? static_cast<int>(fl) : 0;
    t.i0 = std::clamp(i, 0, size - 1);
    t.i1 = std::clamp(i + 1, 0, size - 1);
    return t;
}

template <typename T>
class PlaneCropBody : public cv::ParallelLoopBody {
public:
    explicit PlaneCropBody(const PlaneJob& j) : j_(j), cols_(j.dw) {
        // Same float expression as the kernels (x * scale + origin) so both sample one position.
        for (int x = 0; x < j.dw; ++x) cols_[x] = TapAt(static_cast<float>(x) * j.scaleX + j.ox, j.sw);
    }
    void operator()(const cv::Range& range) const override {
        for (int s = range.start; s < range.end; ++s) {
            const cv::Range rows = BandRows(s, kBandCount, j_.dh);
            for (int y = rows.start; y < rows.end; ++y) Row(y);
        }
    }

private:
    void Row(int y) const {
        const Tap ty = TapAt(static_cast<float>(y) * j_.scaleY + j_.oy, j_.sh);
        T* out = reinterpret_cast<T*>(j_.dst + static_cast<size_t>(j_.dstPitch) * y);
        const T* r0 = reinterpret_cast<const T*>(j_.src + static_cast<size_t>(j_.srcPitch) * ty.i0);
        const T* r1 = reinterpret_cast<const T*>(j_.src + static_cast<size_t>(j_.srcPitch) * ty.i1);
        const int n = j_.comps;
        for (int x = 0; x < j_.dw; ++x) {
            const Tap& tx = cols_[x];
            for (int c = 0; c < n; ++c) {
                if (!tx.inside || !ty.inside) {
                    out[x * n + c] = static_cast<T>(j_.pad);
                    continue;
                }
                const float a = r0[tx.i0 * n + c], b = r0[tx.i1 * n + c];
                const float cc = r1[tx.i0 * n + c], d = r1[tx.i1 * n + c];
                const float top = a + (b - a) * tx.f, bottom = cc + (d - cc) * tx.f;
                out[x * n + c] = static_cast<T>(std::lrintf(top + (bottom - top) * ty.f));
            }
        }
    }

    PlaneJob j_;
    std::vector<Tap> cols_;
};

void RunPlaneJob(const PlaneJob& job, bool sixteen) {
    if (sixteen) RunBands(PlaneCropBody<uint16_t>(job), kBandCount);
    else RunBands(PlaneCropBody<uint8_t>(job), kBandCount);
}

// Black luma, neutral chroma for the frame's depth; P010 keeps its samples in the high bits.
struct PadValues {
    int luma, chroma;
};
PadValues PadFor(const EffectFrame& f, const FrameLayout& l, int32_t rangeMode) {
    int shift = 0;
    if (f.pixel_fmt == P010) shift = 8;
    else if (l.sixteen) shift = std::clamp(static_cast<int>(f.bitDepth), 8, 16) - 8;
    return {rangeMode == 1 ? 0 : 16 << shift, 128 << shift};
}

// The CPU crop of every planar or semi-planar layout (tag of the planar routine).
ResultCode CropYUV_CPU(const EffectFrame& in, fxRectf rect, EffectFrame& out, int32_t rangeMode, const char* tag) {
    FrameLayout li, lo;
    if (!HostFrames(in, out, &li, &lo)) {
        ORVEX_LOG(6, tag, "input is nullptr!!");
        return InvalidArgument;
    }
    const int Win = static_cast<int>(in.width[0]), Hin = static_cast<int>(in.height[0]);
    const int Wout = static_cast<int>(out.width[0]), Hout = static_cast<int>(out.height[0]);
    cv::Rect r;
    if (!CropRegion(rect, Win, Hin, &r)) {
        ORVEX_LOG(6, tag, "crop region is empty!!");
        return InvalidArgument;
    }
    const float scaleX = static_cast<float>(r.width) / Wout, scaleY = static_cast<float>(r.height) / Hout;
    const PadValues pad = PadFor(in, li, rangeMode);
    const int planes = std::min(li.planes, lo.planes);
    for (int i = 0; i < planes; ++i) {
        const bool chroma = i == 1 || i == 2;
        const int comps = li.interleaved && i == 1 ? 2 : 1;
        const float ox = chroma ? r.x * 0.5f : static_cast<float>(r.x);
        const float oy = chroma && li.chromaShiftY ? r.y * 0.5f : static_cast<float>(r.y);
        const int padValue = i == 3 ? 0 : chroma ? pad.chroma : pad.luma;
        const PlaneJob job{in.data[i],  in.pitch[i], li.plane[i].width / comps, li.plane[i].height,
                           out.data[i], out.pitch[i], lo.plane[i].width / comps, lo.plane[i].height,
                           comps,       ox,           oy,                         scaleX,
                           scaleY,      padValue};
        RunPlaneJob(job, li.sixteen);
    }
    return Ok;
}

ResultCode CropYUV_GPU(const char* kernel, const EffectFrame& in, fxRectf rect, EffectFrame& out, const char* tag) {
    TextureInfo ti, to;
    if (!QueryTexture(in.texture, &ti) || !QueryTexture(out.texture, &to) || !TextureFits(ti, in.pixel_fmt) ||
        !TextureFits(to, out.pixel_fmt)) {
        ORVEX_LOG(6, tag, "input gpu frame is nullptr!!");
        return InvalidArgument;
    }
    cv::Rect r;
    if (!CropRegion(rect, ti.width, ti.height, &r)) {
        ORVEX_LOG(6, tag, "crop region is empty!!");
        return InvalidArgument;
    }
    const float scaleX = static_cast<float>(r.width) / to.width, scaleY = static_cast<float>(r.height) / to.height;
    KernelArgs args;
    if (ti.colorSpace == zrp::kColorSpaceNV12) {
        args.Int("src_width", ti.width).Int("src_height", ti.height).Int("dst_width", to.width);
        args.Int("dst_height", to.height).Float("roiX", static_cast<float>(r.x)).Float("roiY", static_cast<float>(r.y));
    } else {
        args.Int("srcWidth", ti.width).Int("srcHeight", ti.height).Int("dstWidth", to.width);
        args.Int("dstHeight", to.height).Float("crop_x", static_cast<float>(r.x)).Float("crop_y", static_cast<float>(r.y));
        args.Int("sypitch", ti.pitchSamples()).Int("dypitch", to.pitchSamples());
    }
    args.Float("scale_x", scaleX).Float("scale_y", scaleY);
    return RunVisualKernel(tag, kernel, args, to, {in.texture}, {out.texture});
}

ResultCode NV12Crop(const EffectFrame& in, fxRectf rect, EffectFrame& out, int32_t rangeMode) {
    constexpr const char* kTag = "orvex:NV12Crop";
    if (in.pixel_fmt != NV12 && in.pixel_fmt != P010) {
        ORVEX_LOG(6, kTag, "input format is not NV12 or P010!!");
        return WrongFormat;
    }
    if (in.texture) return CropYUV_GPU(in.pixel_fmt == P010 ? "NV12Crop_16" : "NV12Crop", in, rect, out, kTag);
    return CropYUV_CPU(in, rect, out, rangeMode, kTag);
}

}  // namespace

ResultCode VisualProcess::CropPlanar(const char* kernel, const EffectFrame& in, fxRectf rect, EffectFrame& out,
                                     int32_t rangeMode) {
    constexpr const char* kTag = "orvex:YUVACrop";
    if (in.texture) return CropYUV_GPU(kernel, in, rect, out, kTag);
    return CropYUV_CPU(in, rect, out, rangeMode, kTag);
}

ResultCode VisualProcess::YUVCrop(const char* kernel, const EffectFrame& in, fxRectf rect, EffectFrame& out) {
    return CropPlanar(kernel, in, rect, out, cropRangeMode_);
}

ResultCode VisualProcess::CropFrame(const EffectFrame& in, fxRectf rect, EffectFrame& out, int32_t rangeMode) {
    constexpr const char* kTag = "orvex:CropFrame";
    if (in.pixel_fmt != out.pixel_fmt) {
        ORVEX_LOG(6, kTag, "input format is not equal to output format!!");
        return WrongFormat;
    }
    return GuardImageLibrary(kTag, [&]() -> ResultCode {
        switch (in.pixel_fmt) {
        case BGRA32:
        case BGRA32_ALT:
        case BGRA64: return CropBGRA(in, rect, out);
        case YV12: return CropPlanar("YV12Crop", in, rect, out, rangeMode);
        case YV12P10: return CropPlanar("YV12Crop_UINT16", in, rect, out, rangeMode);
        case NV12:
        case P010: return NV12Crop(in, rect, out, rangeMode);
        case YUVA420: return CropPlanar("YUVACROP", in, rect, out, rangeMode);
        case YUVAP10: return CropPlanar("YUVACROP_UINT16", in, rect, out, rangeMode);
        case YUV422:
        case YUV422_16: {
            const Crop* c = crop(in.pixel_fmt);
            if (!c) break;
            cropRangeMode_ = rangeMode;
            return (*c)(in.pixel_fmt == YUV422 ? "YUV422Crop" : "YUV422Crop_UINT16", in, rect, out);
        }
        default: break;
        }
        ORVEX_LOG(6, kTag, "format %u is not supported!!", in.pixel_fmt);
        return WrongFormat;
    });
}

// --- quarter turns and mirrors ---------------------------------------------------------------------

namespace {

// The output size a rotate type gives: width and height swap for the quarter turns.
bool TurnedSizeOk(uint32_t inW, uint32_t inH, uint32_t outW, uint32_t outH, int type) {
    const bool swap = type == 0 || type == 2;
    return outW == (swap ? inH : inW) && outH == (swap ? inW : inH);
}

// Quarter turn or mirror of one plane of N-byte samples; (w, h) are the source's.
template <size_t N>
void TurnPlane(const uint8_t* src, int srcPitch, uint8_t* dst, int dstPitch, int w, int h, int type) {
    const bool swap = type == 0 || type == 2;
    const int outW = swap ? h : w, outH = swap ? w : h;
    for (int y = 0; y < outH; ++y) {
        uint8_t* row = dst + static_cast<size_t>(dstPitch) * y;
        for (int x = 0; x < outW; ++x) {
            int sx, sy;
            switch (type) {
            case 1: sx = w - 1 - x; sy = h - 1 - y; break;
            case 2: sx = w - 1 - y; sy = x; break;
            case 3: sx = w - 1 - x; sy = y; break;
            case 4: sx = x; sy = h - 1 - y; break;
            default: sx = y; sy = h - 1 - x; break;
            }
            std::memcpy(row + N * x, src + static_cast<size_t>(srcPitch) * sy + N * sx, N);
        }
    }
}

// The image library's turn of a plane (any depth and channel count) into the caller's plane.
void TurnMat(const cv::Mat& src, cv::Mat& dst, int type) {
    switch (type) {
    case 1: cv::rotate(src, dst, cv::ROTATE_180); break;
    case 2: cv::rotate(src, dst, cv::ROTATE_90_COUNTERCLOCKWISE); break;
    case 3: cv::flip(src, dst, 1); break;
    case 4: cv::flip(src, dst, 0); break;
    default: cv::rotate(src, dst, cv::ROTATE_90_CLOCKWISE); break;
    }
}

ResultCode TurnTextures(const char* tag, const char* kernel, const EffectFrame& in, EffectFrame& out, int type,
                        bool planar) {
    TextureInfo ti, to;
    if (!QueryTexture(in.texture, &ti) || !QueryTexture(out.texture, &to) || !TextureFits(ti, in.pixel_fmt) ||
        !TextureFits(to, out.pixel_fmt)) {
        ORVEX_LOG(6, tag, "input gpu frame is nullptr!!");
        return InvalidArgument;
    }
    if (!TurnedSizeOk(ti.width, ti.height, to.width, to.height, type)) {
        ORVEX_LOG(6, tag, "input resolution is not equal output!!");
        return InvalidArgument;
    }
    KernelArgs args;
    if (ti.colorSpace == zrp::kColorSpaceBGRA) {
        args.Int("rotateType", type);
    } else {
        args.Int("srcWidth", ti.width).Int("srcHeight", ti.height).Int("dstWidth", to.width);
        args.Int("dstHeight", to.height).Int("rotateType", type);
        if (planar) args.Int("inypitch", ti.pitchSamples()).Int("outypitch", to.pitchSamples());
    }
    return RunVisualKernel(tag, kernel, args, to, {in.texture}, {out.texture});
}

ResultCode NV12Rotate(const EffectFrame& in, EffectFrame& out, int type) {
    constexpr const char* kTag = "orvex:NV12Rotate";
    if (in.texture) return TurnTextures(kTag, in.pixel_fmt == P010 ? "NV12Rotate_16" : "NV12Rotate", in, out, type, false);
    FrameLayout li, lo;
    if (!HostFrames(in, out, &li, &lo)) {
        ORVEX_LOG(6, kTag, "input is nullptr!!");
        return InvalidArgument;
    }
    const int w = static_cast<int>(in.width[0]), h = static_cast<int>(in.height[0]);
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    if (li.sixteen) {
        TurnPlane<2>(in.data[0], in.pitch[0], out.data[0], out.pitch[0], w, h, type);
        TurnPlane<4>(in.data[1], in.pitch[1], out.data[1], out.pitch[1], cw, ch, type);
    } else {
        TurnPlane<1>(in.data[0], in.pitch[0], out.data[0], out.pitch[0], w, h, type);
        TurnPlane<2>(in.data[1], in.pitch[1], out.data[1], out.pitch[1], cw, ch, type);
    }
    return Ok;
}

ResultCode YV12Rotate(const EffectFrame& in, EffectFrame& out, int type) {
    constexpr const char* kTag = "orvex:YV12Rotate";
    const uint32_t f = in.pixel_fmt;
    if (f != YV12 && f != YUVA420 && f != YV12P10 && f != YUVAP10) {
        ORVEX_LOG(6, kTag, "input format is not YV12!!");
        return WrongFormat;
    }
    const bool sixteen = f == YV12P10 || f == YUVAP10;
    if (in.texture) {
        const bool alpha = f == YUVA420 || f == YUVAP10;
        const char* kernel = alpha ? (sixteen ? "yuva_rotate_UINT16" : "yuva_rotate")
                                   : (sixteen ? "yv12_rotate_UINT16" : "yv12_rotate");
        return TurnTextures(kTag, kernel, in, out, type, true);
    }
    FrameLayout li, lo;
    if (!HostFrames(in, out, &li, &lo)) {
        ORVEX_LOG(6, kTag, "input is nullptr!!");
        return InvalidArgument;
    }
    const int r = imageYV12Rotate(in.data[0], in.pitch[0], in.data[2], in.pitch[2], in.data[1], in.pitch[1],
                                  out.data[0], out.pitch[0], out.data[2], out.pitch[2], out.data[1], out.pitch[1],
                                  static_cast<int>(in.width[0]), static_cast<int>(in.height[0]), type,
                                  sixteen ? 2 : 1);
    if (r != 0) {
        ORVEX_LOG(4, kTag, "imageYV12Rotate failed!!");
        return Failed;
    }
    if (li.planes > 3 && lo.planes > 3) {
        cv::Mat dst = PlaneMat(out, 3, lo);
        TurnMat(PlaneMat(in, 3, li), dst, type);
    }
    return Ok;
}

}  // namespace

ResultCode VisualProcess::PixelRotate(const EffectFrame& in, EffectFrame& out, int32_t rotateType) {
    constexpr const char* kTag = "orvex:PixelRotate";
    if (in.pixel_fmt != out.pixel_fmt) {
        ORVEX_LOG(6, kTag, "input format is not equal output format !!");
        return WrongFormat;
    }
    const int type = rotateType >= 0 && rotateType <= 4 ? rotateType : 0;
    // Every path moves whole samples, so the output must have the turned size exactly.
    if (!TurnedSizeOk(in.width[0], in.height[0], out.width[0], out.height[0], type) && !in.texture) {
        ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
        return InvalidArgument;
    }
    return GuardImageLibrary(kTag, [&]() -> ResultCode {
        switch (in.pixel_fmt) {
        case BGRA32:
        case BGRA32_ALT:
        case BGRA64: {
            if (in.texture) return TurnTextures(kTag, "PixelRotate", in, out, type, false);
            FrameLayout li, lo;
            if (!HostFrames(in, out, &li, &lo)) {
                ORVEX_LOG(6, kTag, "input or output is nullptr!!");
                return InvalidArgument;
            }
            cv::Mat dst = PlaneMat(out, 0, lo, 4);
            TurnMat(PlaneMat(in, 0, li, 4), dst, type);
            return Ok;
        }
        case NV12:
        case P010: return NV12Rotate(in, out, type);
        case YV12:
        case YUVA420:
        case YV12P10:
        case YUVAP10: return YV12Rotate(in, out, type);
        default: break;
        }
        ORVEX_LOG(6, kTag, "format %u is not supported!!", in.pixel_fmt);
        return WrongFormat;
    });
}

// --- free rotation and flips ------------------------------------------------------------------------

ResultCode VisualProcess::Rotate(const EffectFrame& in, EffectFrame& out, double theta, int32_t sampler) {
    constexpr const char* kTag = "orvex:Rotate";
    if (!IsBGRALike(in.pixel_fmt) || in.pixel_fmt != out.pixel_fmt) {
        ORVEX_LOG(6, kTag, "input format is not equal ouput format!");
        return WrongFormat;
    }
    if (!std::isfinite(theta)) {
        ORVEX_LOG(6, kTag, "theta is not a finite number!!");
        return InvalidArgument;
    }
    if (in.texture) {
        TextureInfo ti, to;
        if (!QueryTexture(in.texture, &ti) || !QueryTexture(out.texture, &to) ||
            ti.colorSpace != zrp::kColorSpaceBGRA || to.colorSpace != zrp::kColorSpaceBGRA) {
            ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
            return InvalidArgument;
        }
        KernelArgs args;
        args.Int("sampertype", sampler).Float("theta", static_cast<float>(theta));
        return RunVisualKernel(kTag, "Rotate", args, to, {in.texture}, {out.texture});
    }
    FrameLayout li, lo;
    if (!HostFrames(in, out, &li, &lo)) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    const cv::Mat src = PlaneMat(in, 0, li, 4);
    cv::Mat dst = PlaneMat(out, 0, lo, 4);
    // Forward map of the GPU's sampling rule: p = Cout + R(theta) (q - Cin).
    const double a = theta * 0.0174532925199433, c = std::cos(a), s = std::sin(a);
    const double cix = src.cols / 2.0, ciy = src.rows / 2.0, cox = dst.cols / 2.0, coy = dst.rows / 2.0;
    const cv::Matx23d M(c, -s, cox - (c * cix - s * ciy),  //
                        s, c, coy - (s * cix + c * ciy));
    return GuardImageLibrary(kTag, [&]() -> ResultCode {
        if (!AffineWarp(src, dst, M, sampler)) {
            ORVEX_LOG(4, kTag, "warp failed!!");
            return Failed;
        }
        return Ok;
    });
}

namespace {

ResultCode Flip(const EffectFrame& in, EffectFrame& out, bool horizontal) {
    const char* tag = horizontal ? "orvex:HorizontalFlip" : "orvex:VerticalFlip";
    if (!IsBGRALike(in.pixel_fmt) || !IsBGRALike(out.pixel_fmt)) {
        ORVEX_LOG(6, tag, "input format is not BGRA!!");
        return Failed;
    }
    if (in.texture && out.texture) {
        TextureInfo ti, to;
        if (!QueryTexture(in.texture, &ti) || !QueryTexture(out.texture, &to) ||
            ti.colorSpace != zrp::kColorSpaceBGRA || to.colorSpace != zrp::kColorSpaceBGRA) {
            ORVEX_LOG(6, tag, "input gpu frame is nullptr!!");
            return InvalidArgument;
        }
        if (ti.width != to.width || ti.height != to.height) {
            ORVEX_LOG(6, tag, "input resolution is not equal output!!");
            return InvalidArgument;
        }
        KernelArgs args;
        return RunVisualKernel(tag, horizontal ? "video_effect_horizontal_filp" : "video_effect_vertical_filp", args,
                               to, {in.texture}, {out.texture});
    }
    // Host frames: the image library's flip, the same picture the kernels make.
    FrameLayout li, lo;
    if (in.pixel_fmt != out.pixel_fmt || !HostFrames(in, out, &li, &lo)) {
        ORVEX_LOG(6, tag, "input gpu frame is nullptr!!");
        return InvalidArgument;
    }
    if (in.width[0] != out.width[0] || in.height[0] != out.height[0]) {
        ORVEX_LOG(6, tag, "input resolution is not equal output!!");
        return InvalidArgument;
    }
    return GuardImageLibrary(tag, [&]() -> ResultCode {
        cv::Mat dst = PlaneMat(out, 0, lo, 4);
        cv::flip(PlaneMat(in, 0, li, 4), dst, horizontal ? 1 : 0);
        return Ok;
    });
}

}  // namespace

ResultCode VisualProcess::HorizontalFlip(const EffectFrame& in, EffectFrame& out) { return Flip(in, out, true); }

ResultCode VisualProcess::VerticalFlip(const EffectFrame& in, EffectFrame& out) { return Flip(in, out, false); }

}  // namespace orvex
