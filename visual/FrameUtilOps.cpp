// Deinterlace, FrameInterpolation, Premultiply, FillFrame and channelControl, on host frames and
// on OpenCL textures.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <opencv2/core.hpp>

#include "corelog.h"
#include "imagecpu/CpuSupport.h"
#include "imagecpu/LayerBlend.h"
#include "visual/FramePlanes.h"
#include "visual/GpuTask.h"
#include "visual/MixCpu.h"
#include "visual/Sampling.h"
#include "visual/VisualProcess.h"

namespace orvex {
namespace {

bool Sixteen(uint32_t fmt) {
    return fmt == BGRA64 || fmt == P010 || fmt == YV12P10 || fmt == YUVAP10 || fmt == YUV422_16 || fmt == YUVA422_16;
}

// Host frames of one format, size and plane count.
bool SameHostFrames(std::initializer_list<const EffectFrame*> frames, FrameLayout* layout) {
    const EffectFrame* first = *frames.begin();
    if (!LayoutOf(*first, layout)) return false;
    for (const EffectFrame* f : frames) {
        FrameLayout l;
        if (!LayoutOf(*f, &l) || !HostPlanesOk(*f, l) || f->pixel_fmt != first->pixel_fmt ||
            f->width[0] != first->width[0] || f->height[0] != first->height[0] || l.planes != layout->planes)
            return false;
    }
    return true;
}

// Textures of fmt, all of the first one's size; their infos in order.
bool SameTextures(std::initializer_list<const EffectFrame*> frames, uint32_t fmt, TextureInfo* infos) {
    int i = 0;
    for (const EffectFrame* f : frames) {
        if (!QueryTexture(f->texture, &infos[i]) || !TextureFits(infos[i], fmt) || infos[i].width != infos[0].width ||
            infos[i].height != infos[0].height || infos[i].planes != infos[0].planes)
            return false;
        ++i;
    }
    return true;
}

// Rows y >= 1 become the average of rows y - 1 and y, bottom up so that src may be dst.
template <typename T>
void BlendRows(const uint8_t* src, size_t sp, uint8_t* dst, size_t dp, int samples, int rows) {
    for (int y = rows - 1; y >= 1; --y) {
        const T* a = reinterpret_cast<const T*>(src + (y - 1) * sp);
        const T* b = reinterpret_cast<const T*>(src + y * sp);
        T* d = reinterpret_cast<T*>(dst + y * dp);
        for (int x = 0; x < samples; ++x) d[x] = static_cast<T>((a[x] + b[x]) >> 1);
    }
    if (src != dst) std::memcpy(dst, src, static_cast<size_t>(samples) * sizeof(T));
}

const char* DeinterlaceKernel(uint32_t fmt) {
    switch (fmt) {
    case NV12: return "Deinterlace";
    case P010: return "Deinterlace_16";
    case YV12: return "yv12_frame_deinterlace";
    case YV12P10: return "yv12_frame_deinterlace_UINT16";
    case YUVA420: return "yuva_frame_deinterlace";
    case YUVAP10: return "yuva_frame_deinterlace_UINT16";
    default: return nullptr;
    }
}

const char* InterpolationKernel(uint32_t fmt) {
    switch (fmt) {
    case BGRA32: case BGRA32_ALT: case BGRA64: return "rgba_frame_interpolation";
    case NV12: return "frame_interpolation";
    case P010: return "frame_interpolation_16";
    case YV12: return "yv12_frame_interpolation";
    case YV12P10: return "yv12_frame_interpolation_UINT16";
    case YUVA420: return "yuva_frame_interpolation";
    case YUVAP10: return "yuva_frame_interpolation_UINT16";
    default: return nullptr;
    }
}

int MaxValue(const EffectFrame& f) {
    const int bits = Sixteen(f.pixel_fmt) ? std::clamp<int>(static_cast<int>(f.bitDepth), 9, 16) : 8;
    return (1 << bits) - 1;
}

// Y = clamp((Y - ymin) A / max + ymin, ymin, max), C = (C - mid) A / max + mid at even positions.
template <typename T>
void PremultiplyYUVA(const EffectFrame& in, EffectFrame& out, const FrameLayout& l, int alphaType, int yMin8) {
    const int maxv = MaxValue(in);
    const int bits = Sixteen(in.pixel_fmt) ? std::clamp<int>(static_cast<int>(in.bitDepth), 9, 16) : 8;
    const float fmax = static_cast<float>(maxv), mid = static_cast<float>(1 << (bits - 1));
    const float ymin = static_cast<float>(yMin8 << (bits - 8));
    auto at = [](const EffectFrame& f, int p, int x, int y) -> T& {
        return reinterpret_cast<T*>(f.data[p] + static_cast<size_t>(y) * f.pitch[p])[x];
    };
    const int W = l.plane[0].width, H = l.plane[0].height;
    const int cw = l.plane[1].width, ch = l.plane[1].height;
    // Chroma first: it reads the luma-resolution alpha, which the luma pass may rewrite in place.
    for (int cy = 0; cy < ch; ++cy)
        for (int cx = 0; cx < cw; ++cx) {
            if (alphaType != 1) {
                at(out, 1, cx, cy) = at(in, 1, cx, cy);
                at(out, 2, cx, cy) = at(in, 2, cx, cy);
                continue;
            }
            const float a = at(in, 3, std::min(2 * cx, W - 1), std::min(cy << l.chromaShiftY, H - 1)) /
                            fmax;
            for (int p = 1; p <= 2; ++p)
                at(out, p, cx, cy) = cv::saturate_cast<T>((at(in, p, cx, cy) - mid) * a + mid);
        }
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            if (alphaType != 1) {
                at(out, 0, x, y) = at(in, 0, x, y);
                at(out, 3, x, y) = static_cast<T>(maxv);
                continue;
            }
            const T A = at(in, 3, x, y);
            const float v = std::clamp((at(in, 0, x, y) - ymin) * (A / fmax) + ymin, ymin, fmax);
            at(out, 0, x, y) = cv::saturate_cast<T>(v);
            at(out, 3, x, y) = A;
        }
}

}  // namespace

ResultCode VisualProcess::Deinterlace(const EffectFrame& in, EffectFrame& out, int32_t mode) {
    constexpr const char* kTag = "orvex:Deinterlace";
    if (in.pixel_fmt != out.pixel_fmt) {
        ORVEX_LOG(6, kTag, "input format is not equal output format !!");
        return WrongFormat;
    }
    if (in.texture && out.texture) {
        const char* kernel = DeinterlaceKernel(in.pixel_fmt);
        if (!kernel) {
            ORVEX_LOG(6, kTag, "input format is not supported!!");
            return WrongFormat;
        }
        TextureInfo t[2];
        if (!SameTextures({&in, &out}, in.pixel_fmt, t)) {
            ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
            return InvalidArgument;
        }
        KernelArgs args;
        args.Int("mode", mode).Int("ypitch", t[0].pitchSamples()).Int("height", t[0].height);
        return RunVisualKernel(kTag, kernel, args, t[1], {in.texture}, {out.texture});
    }
    FrameLayout l;
    if (!SameHostFrames({&in, &out}, &l)) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    for (int p = 0; p < l.planes; ++p) {
        const PlaneGeometry& g = l.plane[p];
        const bool alphaPlane = p == 3;
        if (alphaPlane) {  // alpha is not interlaced picture content: copied
            for (int y = 0; y < g.height; ++y)
                std::memmove(out.data[p] + static_cast<size_t>(y) * out.pitch[p],
                             in.data[p] + static_cast<size_t>(y) * in.pitch[p], g.rowBytes());
            continue;
        }
        if (l.sixteen) BlendRows<uint16_t>(in.data[p], in.pitch[p], out.data[p], out.pitch[p], g.width, g.height);
        else BlendRows<uint8_t>(in.data[p], in.pitch[p], out.data[p], out.pitch[p], g.width, g.height);
    }
    return Ok;
}

ResultCode VisualProcess::FrameInterpolation(const EffectFrame& frame0, const EffectFrame& frame1, EffectFrame& out,
                                             float factor) {
    constexpr const char* kTag = "orvex:FrameInterpolation";
    if (frame0.pixel_fmt != out.pixel_fmt || frame1.pixel_fmt != out.pixel_fmt) {
        ORVEX_LOG(6, kTag, "input format is not equal to output format!!");
        return WrongFormat;
    }
    if (frame0.texture && frame1.texture && out.texture) {
        const char* kernel = InterpolationKernel(out.pixel_fmt);
        if (!kernel) {
            ORVEX_LOG(6, kTag, "input format is not equal output format!");
            return WrongFormat;
        }
        TextureInfo t[3];
        if (!SameTextures({&frame0, &frame1, &out}, out.pixel_fmt, t)) {
            ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
            return InvalidArgument;
        }
        KernelArgs args;
        args.Int("ypitch", t[2].pitchSamples()).Int("dst_height", t[2].height).Float("factor", factor);
        return RunVisualKernel(kTag, kernel, args, t[2], {frame0.texture, frame1.texture}, {out.texture});
    }
    FrameLayout l;
    if (!SameHostFrames({&frame0, &frame1, &out}, &l)) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    // Each row exactly to its width: the caller's pitch need not hold anything past it.
    return GuardImageLibrary(kTag, [&]() -> ResultCode {
        for (int p = 0; p < l.planes; ++p) {
            const cv::Mat a = PlaneMat(frame0, p, l), b = PlaneMat(frame1, p, l);
            cv::Mat d = PlaneMat(out, p, l);
            cv::addWeighted(b, factor, a, 1.0 - factor, 0.0, d);
        }
        return Ok;
    });
}

ResultCode VisualProcess::Premultiply(const EffectFrame& in, EffectFrame& out, int32_t alphaType, bool yMinFlag) {
    constexpr const char* kTag = "orvex:Premultiply";
    const uint32_t fmt = in.pixel_fmt;
    const bool bgra = IsBGRALike(fmt), yuva = (fmt == YUVA420 || fmt == YUVAP10) && in.planes > 3;
    if (fmt != out.pixel_fmt || (!bgra && !yuva)) {
        ORVEX_LOG(6, kTag, "input format is not equal output format !!");
        return WrongFormat;
    }
    const int yMin = yMinFlag ? 0 : 16;
    if (in.texture && out.texture) {
        TextureInfo t[2];
        if (!SameTextures({&in, &out}, fmt, t)) {
            ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
            return InvalidArgument;
        }
        KernelArgs args;
        args.Int("alphaType", alphaType);
        if (bgra) return RunVisualKernel(kTag, "Premultiply", args, t[1], {in.texture}, {out.texture});
        const int bits = fmt == YUVAP10 ? std::clamp<int>(static_cast<int>(in.bitDepth), 9, 16) : 8;
        args.Int("y_min", yMin).Int("ypitch", t[0].pitchSamples()).Int("height", t[0].height);
        args.Int("maxvalue_bits", bits);
        return RunVisualKernel(kTag, fmt == YUVAP10 ? "yuva_frame_premultiply_UINT16" : "yuva_frame_premultiply",
                               args, t[1], {in.texture}, {out.texture});
    }
    FrameLayout l;
    if (!SameHostFrames({&in, &out}, &l)) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    if (fmt == BGRA64) {  // at its own 16 bits: the byte tables below would lose the low bits
        PremultiplyCpu(in, alphaType, out);
        return Ok;
    }
    if (bgra) {
        const cv::Mat s = PlaneMat(in, 0, l, 4);
        cv::Mat d = PlaneMat(out, 0, l, 4);
        if (alphaType == 1) PremultiplyAlphaRows(s.data, s.step[0], d.data, d.step[0], s.cols, s.rows);
        else IgnoreAlpha(s, d, 1);
        return Ok;
    }
    if (l.sixteen) PremultiplyYUVA<uint16_t>(in, out, l, alphaType, yMin);
    else PremultiplyYUVA<uint8_t>(in, out, l, alphaType, yMin);
    return Ok;
}

ResultCode VisualProcess::FillFrame(EffectFrame& frame, bool fullRange, uint32_t colour) {
    constexpr const char* kTag = "orvex:FillFrame";
    const uint32_t fmt = frame.pixel_fmt;
    uint8_t v[4] = {static_cast<uint8_t>(colour), static_cast<uint8_t>(colour >> 8),
                    static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 24)};
    const bool bgra = IsBGRA8(fmt);
    if (!bgra && colour == 0) {  // black of the range, opaque
        v[0] = fullRange ? 0 : 16;
        v[1] = v[2] = 128;
        v[3] = 255;
    }
    const uint8_t Y = v[0], U = v[1], V = v[2], A = v[3];
    if (frame.texture) {
        const char* kernel = bgra ? "FillFrame"
                             : fmt == YV12 ? "FillFrame_yuv"
                             : fmt == YUVA420 ? "FillFrame_yuva"
                             : fmt == NV12 ? "FillFrame_nv12"
                                           : nullptr;
        TextureInfo t;
        if (!kernel) {
            ORVEX_LOG(6, kTag, "input format is not supported!!");
            return WrongFormat;
        }
        if (!QueryTexture(frame.texture, &t) || !TextureFits(t, fmt)) {
            ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
            return InvalidArgument;
        }
        KernelArgs args;
        if (bgra) {
            args.Float("blue", v[0] / 255.0f).Float("green", v[1] / 255.0f).Float("red", v[2] / 255.0f);
            args.Float("alpha", v[3] / 255.0f);
        } else {
            args.Int("srcWidth", t.width).Int("srcHeight", t.height).Int("ypitch", t.pitchSamples());
            args.Byte("y_value", Y).Byte("u_value", U).Byte("v_value", V).Byte("a_value", A);
        }
        return RunVisualKernel(kTag, kernel, args, t, {}, {frame.texture});
    }
    FrameLayout l;
    const bool supported = bgra || fmt == YV12 || fmt == YUVA420 || fmt == NV12 || fmt == YUV422 || fmt == YUVA422;
    if (!supported) {
        ORVEX_LOG(6, kTag, "input format is not supported!!");
        return WrongFormat;
    }
    if (!LayoutOf(frame, &l) || !HostPlanesOk(frame, l)) {
        ORVEX_LOG(6, kTag, "input is nullptr!!");
        return InvalidArgument;
    }
    if (bgra) {
        cv::Mat p = PlaneMat(frame, 0, l, 4);
        p.setTo(cv::Scalar(v[0], v[1], v[2], v[3]));
    } else if (fmt == NV12) {
        PlaneMat(frame, 0, l).setTo(Y);
        cv::Mat uv = PlaneMat(frame, 1, l, 2);
        uv.setTo(cv::Scalar(U, V));
    } else {
        // Planes Y, V, U (then A).
        const uint8_t values[4] = {Y, V, U, A};
        for (int p = 0; p < l.planes; ++p) PlaneMat(frame, p, l).setTo(values[p]);
    }
    return Ok;
}

ResultCode VisualProcess::channelControl(const EffectFrame& background, const EffectFrame& overlayFrame,
                                         EffectFrame& out, int32_t channel) {
    constexpr const char* kTag = "orvex:channelControl";
    if (!IsBGRALike(background.pixel_fmt) || !IsBGRALike(overlayFrame.pixel_fmt) || !IsBGRALike(out.pixel_fmt)) {
        ORVEX_LOG(6, kTag, "input format is not rgba!!");
        return WrongFormat;
    }
    if (background.texture && overlayFrame.texture && out.texture) {
        TextureInfo tb, to, td;
        if (!QueryTexture(background.texture, &tb) || !QueryTexture(overlayFrame.texture, &to) ||
            !QueryTexture(out.texture, &td) || tb.colorSpace != zrp::kColorSpaceBGRA ||
            to.colorSpace != zrp::kColorSpaceBGRA || td.colorSpace != zrp::kColorSpaceBGRA) {
            ORVEX_LOG(6, kTag, "input gpu frame is nullptr!!");
            return InvalidArgument;
        }
        if (to.width != td.width || to.height != td.height) {
            ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
            return InvalidArgument;
        }
        KernelArgs args;
        args.Int("width", td.width).Int("height", td.height).Int("channel", channel);
        return RunVisualKernel(kTag, "channelControl", args, td, {background.texture, overlayFrame.texture},
                               {out.texture});
    }
    FrameLayout lb, lo, ld;
    if (!LayoutOf(background, &lb) || !LayoutOf(overlayFrame, &lo) || !LayoutOf(out, &ld) ||
        !HostPlanesOk(background, lb) || !HostPlanesOk(overlayFrame, lo) || !HostPlanesOk(out, ld)) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    if (overlayFrame.width[0] != out.width[0] || overlayFrame.height[0] != out.height[0]) {
        ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
        return InvalidArgument;
    }
    if (!IsBGRA8(background.pixel_fmt) || !IsBGRA8(overlayFrame.pixel_fmt) || !IsBGRA8(out.pixel_fmt)) {
        // 16-bit frames among them: each read and written at its own depth.
        ChannelControlCpu(background, overlayFrame, channel, out);
        return Ok;
    }
    const cv::Mat bg = PlaneMat(background, 0, lb, 4), ov = PlaneMat(overlayFrame, 0, lo, 4);
    cv::Mat dst = PlaneMat(out, 0, ld, 4);
    // Bytes in B, G, R, A order: red is byte 2.
    static const int kByteOf[4] = {2, 1, 0, 3};
    const bool mapped = channel >= 0 && channel <= 3;
    const BilinearAxis ax(bg.cols, dst.cols), ay(bg.rows, dst.rows);
    for (int y = 0; y < dst.rows; ++y) {
        const uint8_t* o = ov.ptr<uint8_t>(y);
        uint8_t* d = dst.ptr<uint8_t>(y);
        for (int x = 0; x < dst.cols; ++x, o += 4, d += 4) {
            uint8_t a = o[3];
            if (mapped) {
                const float b = SampleChannel(bg, ax, ay, x, y, kByteOf[channel]);
                a = cv::saturate_cast<uint8_t>(b * (o[3] / 255.0f));
            }
            d[0] = o[0], d[1] = o[1], d[2] = o[2], d[3] = a;
        }
    }
    return Ok;
}

}  // namespace orvex
