// Convert and the GPU conversion routines; the host-memory routines are in ConvertCpu.cpp.
#include "visual/ConvertOps.h"

#include <algorithm>
#include <string>

#include <opencv2/core.hpp>

#include "corelog.h"
#include "imagecpu/CpuSupport.h"
#include "visual/ConvertCpu16.h"
#include "visual/FramePlanes.h"
#include "visual/GpuTask.h"
#include "visual/VisualProcess.h"
#include "yuv.h"

namespace orvex {

using namespace ColorSpace;

int32_t ColorModeOf(const pl_color_repr& repr, const pl_color_space& space) {
    int32_t sys = repr.sys;
    if (sys == PL_COLOR_SYSTEM_DOLBYVISION) {
        if (space.primaries == PL_COLOR_PRIM_BT_709) sys = PL_COLOR_SYSTEM_BT_709;
        else if (space.primaries == PL_COLOR_PRIM_BT_601_525 || space.primaries == PL_COLOR_PRIM_BT_601_625)
            sys = PL_COLOR_SYSTEM_BT_601;
    }
    const bool full = repr.levels == PL_COLOR_LEVELS_FULL, limited = repr.levels == PL_COLOR_LEVELS_LIMITED;
    if (!full && !limited) return -1;
    switch (sys) {
    case PL_COLOR_SYSTEM_BT_709: return full ? BT709_Full : BT709_Limited;
    case PL_COLOR_SYSTEM_BT_601: return full ? BT601_Full : BT601_Limited;
    case PL_COLOR_SYSTEM_BT_2020_NC: return full ? BT2020_Full : BT2020_Limited;
    default: return -1;
    }
}

int32_t ColorMatrixIndex(int32_t mode) {
    if (mode >= 6 && mode < 12) mode -= 6;
    static constexpr int32_t kIndex[6] = {1, 4, 2, 5, 0, 3};
    return mode >= 0 && mode < 6 ? kIndex[mode] : 2;
}

bool IsFullRangeMode(int32_t mode) { return ColorMatrixIndex(mode) >= 3; }

namespace {

// Quality 2 keeps the box only for reductions below half size; otherwise bilinear does as well.
int32_t EffectiveQuality(int32_t quality, int inW, int inH, int outW, int outH) {
    if (quality == 2 && !(2 * outW < inW && 2 * outH < inH)) return 1;
    return quality;
}

}  // namespace

const char* YV12KernelFor(int32_t quality, int inW, int inH, int outW, int outH) {
    switch (EffectiveQuality(quality, inW, inH, outW, outH)) {
    case 1: return "YV12ToBGRAL";
    case 2:
    case 3: return "YV12ToBGRA_High";
    default: return "YV12ToBGRAN";
    }
}

const char* NV12KernelFor(int32_t quality, int inW, int inH, int outW, int outH) {
    switch (EffectiveQuality(quality, inW, inH, outW, outH)) {
    case 1: return "NV12ToRGB_MID";
    case 2:
    case 3: return "NV12ToRGB_HIGH";
    default: return "NV12ToRGB";
    }
}

// Quality 3 ("the best filter") takes the box as 2 does, rather than falling to the nearest sample.
const char* Yuv16KernelSuffix(int32_t quality) {
    switch (quality) {
    case 1: return "_mid";
    case 2:
    case 3: return "_high";
    default: return "_low";
    }
}

namespace {

constexpr const char* kConvertTag = "orvex:Convert";

bool IsYuvToBgraInput(uint32_t fmt) {
    return fmt == YV12 || fmt == NV12 || fmt == P010 || fmt == YUVA420 || fmt == YV12P10 || fmt == YUVAP10;
}

// The output formats each YUV input converts to.
bool YuvToBgraPair(uint32_t in, uint32_t out) {
    if (in == NV12) return out == BGRA32 || out == BGRA64;
    return IsYuvToBgraInput(in) && IsBGRALike(out);
}

bool IsEncoderOutput(uint32_t fmt) {
    return fmt == YV12 || fmt == YV12P10 || fmt == NV12 || fmt == P010 || fmt == YUVA420 || fmt == YUVAP10;
}

bool Is422(uint32_t fmt) { return fmt == YUV422 || fmt == YUV422_16 || fmt == YUVA422 || fmt == YUVA422_16; }

// Sample depth of a frame's format, as the kernels' M = 2^bits takes it.
int BitsOf(const EffectFrame& f) {
    const bool sixteen = f.pixel_fmt == P010 || f.pixel_fmt == YV12P10 || f.pixel_fmt == YUVAP10 ||
                         f.pixel_fmt == YUV422_16 || f.pixel_fmt == YUVA422_16;
    return sixteen ? static_cast<int>(f.bitDepth) : 8;
}
bool BitsOk(int bits) { return bits >= 8 && bits <= 16; }

// The frame's size: its texture's on the GPU, its record's in host memory.
bool FrameSize(const EffectFrame& f, int* w, int* h) {
    if (f.texture) {
        TextureInfo t;
        if (!QueryTexture(f.texture, &t)) return false;
        *w = t.width;
        *h = t.height;
        return true;
    }
    *w = static_cast<int>(f.width[0]);
    *h = static_cast<int>(f.height[0]);
    return *w > 0 && *h > 0;
}

// Both textures, the input in fmt's layout and the output a BGRA image; logs under tag.
bool GpuPair(const EffectFrame& in, const EffectFrame& out, uint32_t inFmt, const char* tag, TextureInfo* ti,
             TextureInfo* to) {
    if (!QueryTexture(in.texture, ti) || !QueryTexture(out.texture, to)) {
        ORVEX_LOG(6, tag, "input gpu frame is nullptr!!");
        return false;
    }
    if (!TextureFits(*ti, inFmt) || to->colorSpace != zrp::kColorSpaceBGRA) {
        ORVEX_LOG(6, tag, "texture layout does not match pixel_fmt %u!!", inFmt);
        return false;
    }
    return true;
}

ResultCode YV12ToBGRA_GPU(const EffectFrame& in, EffectFrame& out, int32_t mode, int32_t quality) {
    constexpr const char* kTag = "orvex:YV12ToBGRA_GPU";
    if (in.pixel_fmt != YV12 || (out.pixel_fmt != BGRA32 && out.pixel_fmt != BGRA64)) {
        ORVEX_LOG(6, kTag, "pixel_fmt is not YV12 To BGRA!!");
        return WrongFormat;
    }
    TextureInfo ti, to;
    if (!GpuPair(in, out, YV12, kTag, &ti, &to)) return InvalidArgument;
    KernelArgs args;
    args.Int("srcWidth", ti.width).Int("srcHeight", ti.height).Int("dstWidth", to.width).Int("dstHeight", to.height);
    args.Int("mode", mode).Int("sypitch", ti.pitchSamples());
    return RunVisualKernel(kTag, YV12KernelFor(quality, ti.width, ti.height, to.width, to.height), args, to,
                           {in.texture}, {out.texture});
}

ResultCode YUVAToBGRA_GPU(const EffectFrame& in, EffectFrame& out, int32_t mode, int32_t quality) {
    constexpr const char* kTag = "orvex:YUVAToBGRA_GPU";
    if (in.pixel_fmt != YUVA420 || (out.pixel_fmt != BGRA32 && out.pixel_fmt != BGRA64)) {
        ORVEX_LOG(6, kTag, "input format is not YUVA420 To BGRA32!!");
        return WrongFormat;
    }
    TextureInfo ti, to;
    if (!GpuPair(in, out, YUVA420, kTag, &ti, &to)) return InvalidArgument;
    const bool scaled = ti.width != to.width && ti.height != to.height;
    KernelArgs args;
    args.Int("srcWidth", ti.width).Int("srcHeight", ti.height).Int("dstWidth", to.width).Int("dstHeight", to.height);
    args.Int("mode", mode).Int("ypitch", ti.pitchSamples());
    return RunVisualKernel(kTag, quality != 0 && scaled ? "YUVAToBGRAL" : "YUVAToBGRAN", args, to, {in.texture},
                           {out.texture});
}

ResultCode NV12ToBGRA_GPU(const EffectFrame& in, EffectFrame& out, int32_t mode, int32_t quality) {
    constexpr const char* kTag = "orvex:NV12ToBGRA_GPU";
    TextureInfo ti, to;
    if (!GpuPair(in, out, NV12, kTag, &ti, &to)) return InvalidArgument;
    KernelArgs args;
    args.Int("width", ti.width).Int("height", ti.height).Int("mode", mode);
    args.Int("rgbWidth", to.width).Int("rgbHeight", to.height);
    return RunVisualKernel(kTag, NV12KernelFor(quality, ti.width, ti.height, to.width, to.height), args, to,
                           {in.texture}, {out.texture});
}

// The matrix kernels of the 16-bit and 4:2:2 formats; `kernel` is the full kernel name.
ResultCode MatrixToBGRA_GPU(const char* tag, const std::string& kernel, const EffectFrame& in, EffectFrame& out,
                            int32_t mode) {
    TextureInfo ti, to;
    if (!GpuPair(in, out, in.pixel_fmt, tag, &ti, &to)) return InvalidArgument;
    const int bits = BitsOf(in);
    if (!BitsOk(bits)) {
        ORVEX_LOG(6, tag, "bitDepth %u is out of range!!", in.bitDepth);
        return InvalidArgument;
    }
    const int M = 1 << bits;
    const float yoffset = IsFullRangeMode(mode) ? 0.0f : static_cast<float>(16 << (bits - 8)) / (M - 1);
    KernelArgs args;
    args.Int("colormatrix", ColorMatrixIndex(mode)).Float("yoffset", yoffset);
    args.Int("yuvwidth", ti.width).Int("yuvheight", ti.height);
    if (in.pixel_fmt == P010) args.Int("bitscale", 1 << (16 - bits));
    else args.Int("ypitch", ti.pitchSamples()).Int("maxvalue_bits", M);
    return RunVisualKernel(tag, kernel.c_str(), args, to, {in.texture}, {out.texture});
}

ResultCode Yuv16ToBGRA_GPU(const EffectFrame& in, EffectFrame& out, int32_t mode, int32_t quality) {
    const char* family = in.pixel_fmt == P010      ? "p010_to_rgb"
                         : in.pixel_fmt == YV12P10 ? "yv12_to_rgb_ushort"
                                                   : "yuva_to_rgb_ushort";
    return MatrixToBGRA_GPU("orvex:P010ToBGRA_GPU", std::string(family) + Yuv16KernelSuffix(quality), in, out, mode);
}

ResultCode BGRAToYUV_GPU(const EffectFrame& in, EffectFrame& out, int32_t mode) {
    constexpr const char* kTag = "orvex:BGRAToYUV_GPU";
    TextureInfo ti, to;
    if (!QueryTexture(in.texture, &ti) || !QueryTexture(out.texture, &to)) {
        ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
        return InvalidArgument;
    }
    if (ti.colorSpace != zrp::kColorSpaceBGRA || !TextureFits(to, out.pixel_fmt)) {
        ORVEX_LOG(6, kTag, "texture layout does not match pixel_fmt %u!!", out.pixel_fmt);
        return WrongFormat;
    }
    if (ti.width != to.width || ti.height != to.height) {
        ORVEX_LOG(6, kTag, "frame resolution is not equal!");
        return InvalidArgument;
    }
    const int bits = BitsOf(out);
    if (!BitsOk(bits)) {
        ORVEX_LOG(6, kTag, "bitDepth %u is out of range!!", out.bitDepth);
        return InvalidArgument;
    }
    const int M = 1 << bits;
    const bool full = IsFullRangeMode(mode);
    KernelArgs args;
    const char* kernel = nullptr;
    if (out.pixel_fmt == NV12 || out.pixel_fmt == P010) {
        // 8-bit NV12 takes the byte form of the P010 encoder.
        kernel = out.pixel_fmt == NV12 ? "rgb_to_nv12" : "rgb_to_p010";
        args.Int("colormatrix", ColorMatrixIndex(mode));
        args.Float("yoffset", full ? 0.0f : static_cast<float>(16 << (bits - 8)) / (M - 1));
        args.Float("uvoffset", 0.5f * M / (M - 1)).Int("maxvalue_bits", M);
    } else {
        const bool alpha = out.pixel_fmt == YUVA420 || out.pixel_fmt == YUVAP10;
        kernel = alpha ? (bits == 8 ? "rgb_to_yuva" : "rgb_to_yuva_10") : (bits == 8 ? "rgb_to_yv12" : "rgb_to_yv12_10");
        args.Int("ypitch", to.pitchSamples()).Int("colormatrix", ColorMatrixIndex(mode));
        args.Int("yoffset", full ? 0 : 16 << (bits - 8)).Int("maxvalue_bits", M);
    }
    // One work item per 2x2 block.
    const int32_t gw = (to.width + 1) / 2, gh = (to.height + 1) / 2;
    return RunVisualKernel(kTag, kernel, args, to, {in.texture}, {out.texture}, &gw, &gh);
}

bool HasStorage(const EffectFrame& f, bool gpu) { return gpu ? f.texture != nullptr : f.data[0] != nullptr; }

const char* HighQualityTag(uint32_t fmt, bool gpu) {
    switch (fmt) {
    case YV12: return gpu ? "orvex:YV12ToBGRA_GPU" : "orvex:YUVAToBGRA";
    case NV12: return gpu ? "orvex:NV12ToBGRA_GPU" : "orvex:NV12ToBGRA_CPU";
    case YUVA420: return gpu ? "orvex:YUVAToBGRA_GPU" : "orvex:YUVAToBGRA";
    default: return gpu ? "orvex:P010ToBGRA_GPU" : "orvex:P010ToBGRA64";
    }
}

}  // namespace

// --- Convert -------------------------------------------------------------------------------------------

ResultCode VisualProcess::Convert(pl_color_repr repr, pl_color_space space, const EffectFrame& in,
                                  EffectFrame& intermediate, EffectFrame& out, int32_t resizeType, int32_t quality,
                                  int32_t alphaMode) {
    return GuardImageLibrary(kConvertTag, [&]() -> ResultCode {
        if (IsBGRALike(in.pixel_fmt) && IsBGRALike(out.pixel_fmt)) return Resize(in, out, resizeType, quality);
        const int32_t mode = ColorModeOf(repr, space);
        if (mode < 0) {
            if (repr.bits.color_depth == 8) return ConvertGenericMatrix(repr, space, in, intermediate, out, quality);
            ORVEX_LOG(6, kConvertTag, "no colour mode for system %d, levels %d, depth %d!!", repr.sys, repr.levels,
                      repr.bits.color_depth);
            return FormatNotHandled;
        }
        const uint32_t fi = in.pixel_fmt, fo = out.pixel_fmt;
        if (YuvToBgraPair(fi, fo)) return ConvertYUVToBGRA(in, intermediate, out, resizeType, mode, quality, alphaMode);
        if ((fi == BGRA32 || fi == BGRA64) && IsEncoderOutput(fo)) {
            if (in.texture) return BGRAToYUV_GPU(in, out, mode);
            return fo == NV12 || fo == P010 ? BgraToSemiPlanarCpu(in, out, mode) : BGRAToYUV_CPU(in, out, mode);
        }
        if (Is422(fi) && IsBGRALike(fo)) {
            static constexpr const char* kKernels[] = {"yuv422_to_rgb_uchar", "yuv422_to_rgb_ushort",
                                                       "yuva422_to_rgb_uchar", "yuva422_to_rgb_ushort"};
            const Conversion* c = conversion(fi, fo);
            if (!c) {
                ORVEX_LOG(6, kConvertTag, "no conversion from %u to %u!!", fi, fo);
                return Failed;
            }
            return (*c)(kKernels[fi - YUV422], in, out, static_cast<CLSMode>(mode));
        }
        ORVEX_LOG(6, kConvertTag, "pixel_fmt %u To %u is not supported!!", fi, fo);
        return WrongFormat;
    });
}

ResultCode VisualProcess::ConvertYUVToBGRA(const EffectFrame& in, EffectFrame& intermediate, EffectFrame& out,
                                           int32_t resizeType, int32_t mode, int32_t quality, int32_t alphaMode) {
    int inW = 0, inH = 0, outW = 0, outH = 0;
    if (!FrameSize(in, &inW, &inH) || !FrameSize(out, &outW, &outH)) {
        ORVEX_LOG(6, kConvertTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    if (inW == outW && inH == outH) return DirectYUVToBGRA(in, out, mode, quality, alphaMode);
    const bool gpu = in.texture != nullptr;
    const bool down = outW <= inW && outH <= inH;
    bool twoStep = (down ? quality >= 3 : quality >= 2) && HasStorage(intermediate, gpu);
    // The host P010 routine scales its 16-bit picture itself when one side keeps its size.
    if (!gpu && in.pixel_fmt == P010 && (inW == outW || inH == outH)) twoStep = false;
    int32_t direct = quality;
    if (twoStep) {
        ResultCode r = DirectYUVToBGRA(in, intermediate, mode, 0, alphaMode);
        if (r == Ok) r = Resize(intermediate, out, resizeType, quality);
        if (r == Ok) return Ok;
        ORVEX_LOG(6, HighQualityTag(in.pixel_fmt, gpu), "High Quality Failed!!");
        if (in.pixel_fmt == YV12P10 || in.pixel_fmt == YUVAP10) direct = down ? 2 : 0;
    }
    return DirectYUVToBGRA(in, out, mode, direct, alphaMode);
}

ResultCode VisualProcess::DirectYUVToBGRA(const EffectFrame& in, EffectFrame& out, int32_t mode, int32_t quality,
                                          int32_t alphaMode) {
    if (in.texture) {
        switch (in.pixel_fmt) {
        case YV12: return YV12ToBGRA_GPU(in, out, mode, quality);
        case YUVA420: return YUVAToBGRA_GPU(in, out, mode, quality);
        case NV12: return NV12ToBGRA_GPU(in, out, mode, quality);
        default: return Yuv16ToBGRA_GPU(in, out, mode, quality);
        }
    }
    switch (in.pixel_fmt) {
    case YV12:
    case YUVA420:
    case NV12: return YUVToBGRA_CPU(in, out, mode, quality, alphaMode);
    default: {
        // The 16-bit formats sample as their kernel families do at this quality.
        const int kind = quality == 1 ? 1 : quality == 2 || quality == 3 ? 2 : 0;
        const char* tag = in.pixel_fmt == P010      ? "orvex:P010ToBGRA64"
                          : in.pixel_fmt == YV12P10 ? "orvex:YV12P10ToBGRA"
                                                    : "orvex:YUVAP10ToBGRA";
        return MatrixYuvToBgraCpu(tag, in, out, mode, kind);
    }
    }
}

// The 4:2:2 entries of the conversion table: the matrix kernels, nearest sample when scaling.
ResultCode VisualProcess::YUVToRGB_GPU(const char* kernel, const EffectFrame& in, EffectFrame& out, CLSMode mode) {
    return MatrixToBGRA_GPU("orvex:YUVToRGB_GPU", kernel, in, out, mode);
}

// --- the generic-matrix path ----------------------------------------------------------------------------

ResultCode VisualProcess::ConvertGenericMatrix(pl_color_repr repr, const pl_color_space& space, const EffectFrame& in,
                                               EffectFrame& intermediate, EffectFrame& out, int32_t quality) {
    const pl_transform3x3 decode = pl_color_repr_decode(&repr, nullptr);
    const pl_matrix3x3 mapping =
        pl_color_space_equal(&space, &pl_color_space_nle)
            ? pl_matrix3x3_identity
            : pl_get_color_mapping_matrix(pl_raw_primaries_get(space.primaries),
                                          pl_raw_primaries_get(PL_COLOR_PRIM_BT_709), PL_INTENT_RELATIVE_COLORIMETRIC);
    const bool gpu = in.texture != nullptr;
    const char* tag = gpu ? "orvex:YUVAToBGRA_GPU" : "orvex:YUVAToBGRA_Normal";
    const bool planar = in.pixel_fmt == YV12 || in.pixel_fmt == YUVA420;
    if ((!planar && in.pixel_fmt != NV12) || !IsBGRALike(out.pixel_fmt)) {
        ORVEX_LOG(6, tag, "pixel_fmt %u To %u is not supported!!", in.pixel_fmt, out.pixel_fmt);
        return WrongFormat;
    }
    auto direct = [&](EffectFrame& dst, int32_t q) -> ResultCode {
        if (!gpu) return GenericMatrix_CPU(in, dst, decode, mapping);
        TextureInfo ti, to;
        if (!GpuPair(in, dst, planar ? YV12 : NV12, tag, &ti, &to)) return InvalidArgument;
        const char* kernel = "NV12ToRGB_Normal";
        if (planar) kernel = q != 0 && ti.width != to.width && ti.height != to.height ? "YV12ToBGRAL_normal"
                                                                                     : "YV12ToBGRAN_normal";
        KernelArgs args;
        args.Block("matrixA", &decode.mat, sizeof decode.mat).Block("matrixB", decode.c, sizeof decode.c);
        args.Block("matrixC", &mapping, sizeof mapping);
        args.Int("srcWidth", ti.width).Int("srcHeight", ti.height).Int("dstWidth", to.width).Int("dstHeight", to.height);
        return RunVisualKernel(tag, kernel, args, to, {in.texture}, {dst.texture});
    };
    int inW = 0, inH = 0, outW = 0, outH = 0;
    if (!FrameSize(in, &inW, &inH) || !FrameSize(out, &outW, &outH)) {
        ORVEX_LOG(6, tag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    const bool down = outW <= inW && outH <= inH && (outW != inW || outH != inH);
    if (down && quality >= 3 && HasStorage(intermediate, gpu)) {
        ResultCode r = direct(intermediate, 0);
        if (r == Ok) r = Resize(intermediate, out, 0, quality);
        if (r == Ok) return Ok;
        ORVEX_LOG(6, tag, "High Quality Failed!!");
    }
    return direct(out, quality);
}

// --- repacking on the GPU ----------------------------------------------------------------------------

ResultCode VisualProcess::BGRToRGB(const EffectFrame& in, EffectFrame& out) {
    constexpr const char* kTag = "orvex:BGRToRGB_opencl";
    if (in.pixel_fmt != BGRA32 && in.pixel_fmt != BGRA64) {
        ORVEX_LOG(6, kTag, "input format is not BGRA32!!");
        return WrongFormat;
    }
    if (!in.texture) {
        // Host frames swap through the image library; the output keeps the input's depth.
        FrameLayout li, lo;
        if (out.pixel_fmt != in.pixel_fmt || !LayoutOf(in, &li) || !LayoutOf(out, &lo) || !HostPlanesOk(in, li) ||
            !HostPlanesOk(out, lo) || in.width[0] != out.width[0] || in.height[0] != out.height[0]) {
            ORVEX_LOG(6, kTag, "input or output is nullptr!!");
            return InvalidArgument;
        }
        return GuardImageLibrary(kTag, [&]() -> ResultCode {
            const cv::Mat src = PlaneMat(in, 0, li, 4);
            cv::Mat dst = PlaneMat(out, 0, lo, 4);
            const int fromTo[] = {0, 2, 1, 1, 2, 0, 3, 3};
            if (src.data == dst.data) {
                src.copyTo(convertPicture_);
                cv::mixChannels(&convertPicture_, 1, &dst, 1, fromTo, 4);
            } else {
                cv::mixChannels(&src, 1, &dst, 1, fromTo, 4);
            }
            return Ok;
        });
    }
    TextureInfo ti, to;
    if (!QueryTexture(in.texture, &ti) || !QueryTexture(out.texture, &to) || ti.colorSpace != zrp::kColorSpaceBGRA ||
        to.colorSpace != zrp::kColorSpaceBGRA) {
        ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
        return InvalidArgument;
    }
    KernelArgs args;
    return RunVisualKernel(kTag, "bgr_to_rgb", args, to, {in.texture}, {out.texture});
}

ResultCode VisualProcess::YV12ToNV12(const EffectFrame& in, EffectFrame& out) {
    if (in.pixel_fmt != YV12 || out.pixel_fmt != NV12) {
        ORVEX_LOG(6, "orvex:YV12ToNV12", "input format is not YV12 To NV12!!");
        return WrongFormat;
    }
    if (in.texture && out.texture) {
        constexpr const char* kTag = "orvex:YV12ToNV12_GPU";
        TextureInfo ti, to;
        if (!QueryTexture(in.texture, &ti) || !QueryTexture(out.texture, &to) || !TextureFits(ti, YV12) ||
            !TextureFits(to, NV12)) {
            ORVEX_LOG(6, kTag, "input is nullptr!!");
            return InvalidArgument;
        }
        if (ti.width != to.width || ti.height != to.height) {
            ORVEX_LOG(6, kTag, "input resolution is not equal output!!!!");
            return InvalidArgument;
        }
        KernelArgs args;
        args.Int("src_width", ti.width).Int("src_height", ti.height).Int("dst_width", to.width);
        args.Int("dst_height", to.height);
        return RunVisualKernel(kTag, "YV12ToNV12", args, to, {in.texture}, {out.texture});
    }
    constexpr const char* kTag = "orvex:YV12ToNV12";
    FrameLayout li, lo;
    if (!LayoutOf(in, &li) || !LayoutOf(out, &lo) || !HostPlanesOk(in, li) || !HostPlanesOk(out, lo)) {
        ORVEX_LOG(6, kTag, "input is nullptr!!");
        return InvalidArgument;
    }
    if (in.width[0] != out.width[0] || in.height[0] != out.height[0]) {
        ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
        return InvalidArgument;
    }
    if (imageYV12ToNV12(in.data[0], in.pitch[0], in.data[1], in.pitch[1], in.data[2], in.pitch[2], out.data[0],
                        out.pitch[0], out.data[1], out.pitch[1], static_cast<int>(in.width[0]),
                        static_cast<int>(in.height[0])) != 0) {
        ORVEX_LOG(4, kTag, "imageYV12ToNV12 failed!!");
        return Failed;
    }
    return Ok;
}

ResultCode VisualProcess::ConvertTo8Bit(const EffectFrame& in, EffectFrame& out, int32_t bitDepth) {
    if (in.pixel_fmt == YV12P10 || in.pixel_fmt == YUVAP10) {
        constexpr const char* kTag = "orvex:ConvertTo8Bit";
        const uint32_t want = in.pixel_fmt == YV12P10 ? YV12 : YUVA420;
        if (out.pixel_fmt != want) {
            ORVEX_LOG(6, kTag, "output format is not %s!!", want == YV12 ? "YV12" : "YUVA420");
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
        const unsigned shift = static_cast<unsigned>(bitDepth - 8) % 32u;
        const int planes = std::min(li.planes, lo.planes);
        for (int p = 0; p < planes; ++p) {
            const PlaneGeometry& g = lo.plane[p];
            for (int y = 0; y < g.height; ++y) {
                const uint16_t* s = reinterpret_cast<const uint16_t*>(in.data[p] + static_cast<size_t>(in.pitch[p]) * y);
                uint8_t* d = out.data[p] + static_cast<size_t>(out.pitch[p]) * y;
                // A sample above the stated depth saturates rather than wrapping round.
                for (int x = 0; x < g.width; ++x) d[x] = static_cast<uint8_t>(std::min<uint32_t>(s[x] >> shift, 255u));
            }
        }
        return Ok;
    }
    constexpr const char* kTag = "orvex:P010_NV12";
    if (in.pixel_fmt != P010 || out.pixel_fmt != NV12) {
        ORVEX_LOG(6, kTag, "input format is not P010 To NV12!!");
        return WrongFormat;
    }
    if (!in.texture && !out.texture) return P010ToNV12Cpu(in, out);
    TextureInfo ti, to;
    if (!QueryTexture(in.texture, &ti) || !QueryTexture(out.texture, &to) || !TextureFits(ti, P010) ||
        !TextureFits(to, NV12)) {
        ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
        return InvalidArgument;
    }
    if (ti.width != to.width || ti.height != to.height) {
        ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
        return InvalidArgument;
    }
    KernelArgs args;
    args.Int("width", ti.width).Int("height", ti.height);
    return RunVisualKernel(kTag, "P010_NV12", args, to, {in.texture}, {out.texture});
}

}  // namespace orvex
