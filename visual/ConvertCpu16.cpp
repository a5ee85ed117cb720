// The conversions on host frames that compute what the matrix kernels compute (yuv16_to_bgra.cl,
// rgb_to_yuv.cl, repack.cl) from the same arguments, through host/yuv's matrix conversions. Frames
// at the same size run in row bands in parallel (a hint of 4); scaled ones in one pass.
#include "visual/ConvertCpu16.h"

#include <algorithm>
#include <atomic>

#include <opencv2/core.hpp>

#include "corelog.h"
#include "visual/ConvertOps.h"
#include "visual/FramePlanes.h"
#include "yuv_matrix.h"

namespace orvex {
namespace {

bool HasAlphaPlane(uint32_t fmt) { return fmt == YUVAP10 || fmt == YUVA422 || fmt == YUVA422_16; }

// Runs body(y0, y1) over bands of rows that start on even rows.
template <typename Body>
void EvenBands(int height, const Body& body) {
    cv::parallel_for_(cv::Range(0, (height + 1) / 2),
                      [&](const cv::Range& r) { body(2 * r.start, std::min(2 * r.end, height)); }, 4);
}

}  // namespace

ResultCode MatrixYuvToBgraCpu(const char* tag, const EffectFrame& in, EffectFrame& out, int32_t mode, int kind) {
    FrameLayout li, lo;
    if (!LayoutOf(in, &li) || !LayoutOf(out, &lo) || !HostPlanesOk(in, li) || !HostPlanesOk(out, lo) ||
        !IsBGRALike(out.pixel_fmt) || (HasAlphaPlane(in.pixel_fmt) && li.planes < 4) || li.planes < 2) {
        ORVEX_LOG(6, tag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    const int bits = li.sixteen ? static_cast<int>(in.bitDepth) : 8;
    if (bits < 8 || bits > 16) {
        ORVEX_LOG(6, tag, "bitDepth %u is out of range!!", in.bitDepth);
        return InvalidArgument;
    }
    const int M = 1 << bits;
    YuvMatrixPicture p;
    p.width = static_cast<int>(in.width[0]);
    p.height = static_cast<int>(in.height[0]);
    p.sampleBytes = li.sixteen ? 2 : 1;
    p.chromaRowShift = li.chromaShiftY;
    p.plane[0] = in.data[0];
    p.pitch[0] = in.pitch[0];
    YuvMatrixScale s;
    s.colormatrix = ColorMatrixIndex(mode);
    s.yoffset = IsFullRangeMode(mode) ? 0.0f : static_cast<float>(16 << (bits - 8)) / (M - 1);
    s.norm = 1.0f / (M - 1);
    if (li.interleaved) {
        // P010 keeps its bits at the top of each word, as the kernel's "bitscale" brings down.
        s.norm /= static_cast<float>(1 << (16 - bits));
        p.chromaStep = 2;
        p.plane[1] = in.data[1];
        p.plane[2] = in.data[1] + p.sampleBytes;
        p.pitch[1] = p.pitch[2] = in.pitch[1];
    } else {
        // YV12 storage order: Cr in plane 1, Cb in plane 2.
        p.plane[1] = in.data[2];
        p.plane[2] = in.data[1];
        p.pitch[1] = in.pitch[2];
        p.pitch[2] = in.pitch[1];
        if (HasAlphaPlane(in.pixel_fmt)) {
            p.plane[3] = in.data[3];
            p.pitch[3] = in.pitch[3];
        }
    }
    const int outBytes = lo.sixteen ? 2 : 1;
    const int outW = static_cast<int>(out.width[0]), outH = static_cast<int>(out.height[0]);
    if (outW != p.width || outH != p.height) {
        if (imageMatrixYuvToBGRA(p, s, out.data[0], out.pitch[0], outBytes, outW, outH, kind) != 0) {
            ORVEX_LOG(4, tag, "YUV to RGB failed!!");
            return Failed;
        }
        return Ok;
    }
    std::atomic<int> failed{0};
    EvenBands(p.height, [&](int y0, int y1) {
        YuvMatrixPicture band = p;
        band.height = y1 - y0;
        for (int i = 0; i < 4; ++i) {
            const int rows = i == 0 || i == 3 ? y0 : y0 >> p.chromaRowShift;
            if (band.plane[i]) band.plane[i] += static_cast<size_t>(band.pitch[i]) * rows;
        }
        if (imageMatrixYuvToBGRA(band, s, out.data[0] + static_cast<size_t>(out.pitch[0]) * y0, out.pitch[0], outBytes,
                                 p.width, band.height, kind) != 0)
            failed = 1;
    });
    if (failed) {
        ORVEX_LOG(4, tag, "YUV to RGB failed!!");
        return Failed;
    }
    return Ok;
}

ResultCode BgraToSemiPlanarCpu(const EffectFrame& in, EffectFrame& out, int32_t mode) {
    const bool p010 = out.pixel_fmt == P010;
    const char* tag = p010 ? "orvex::BGRAToP010" : "orvex::BGRAToNV12";
    FrameLayout li, lo;
    if ((in.pixel_fmt != BGRA32 && in.pixel_fmt != BGRA64) || (out.pixel_fmt != NV12 && !p010) || !LayoutOf(in, &li) ||
        !LayoutOf(out, &lo) || !HostPlanesOk(in, li) || !HostPlanesOk(out, lo)) {
        ORVEX_LOG(6, tag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    if (in.width[0] != out.width[0] || in.height[0] != out.height[0]) {
        ORVEX_LOG(6, tag, "frame resolution is not equal!");
        return Failed;
    }
    const int bits = p010 ? static_cast<int>(out.bitDepth) : 8;
    if (bits < 8 || bits > 16) {
        ORVEX_LOG(6, tag, "bitDepth %u is out of range!!", out.bitDepth);
        return InvalidArgument;
    }
    const int w = static_cast<int>(in.width[0]), h = static_cast<int>(in.height[0]);
    const int inBytes = li.sixteen ? 2 : 1, outBytes = p010 ? 2 : 1;
    std::atomic<int> failed{0};
    EvenBands(h, [&](int y0, int y1) {
        if (imageMatrixBGRAToSemiPlanar(in.data[0] + static_cast<size_t>(in.pitch[0]) * y0, in.pitch[0], inBytes,
                                        out.data[0] + static_cast<size_t>(out.pitch[0]) * y0, out.pitch[0],
                                        out.data[1] + static_cast<size_t>(out.pitch[1]) * (y0 / 2), out.pitch[1],
                                        outBytes, w, y1 - y0, ColorMatrixIndex(mode), IsFullRangeMode(mode), bits,
                                        p010 ? 16 - bits : 0) != 0)
            failed = 1;
    });
    if (failed) {
        ORVEX_LOG(4, tag, "RGB to YUV failed!!");
        return Failed;
    }
    return Ok;
}

ResultCode P010ToNV12Cpu(const EffectFrame& in, EffectFrame& out) {
    constexpr const char* kTag = "orvex:P010_NV12";
    FrameLayout li, lo;
    if (!LayoutOf(in, &li) || !LayoutOf(out, &lo) || !HostPlanesOk(in, li) || !HostPlanesOk(out, lo)) {
        ORVEX_LOG(6, kTag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    if (in.width[0] != out.width[0] || in.height[0] != out.height[0]) {
        ORVEX_LOG(6, kTag, "input resolution is not equal output!!");
        return InvalidArgument;
    }
    if (imageP010ToNV12(in.data[0], in.pitch[0], in.data[1], in.pitch[1], out.data[0], out.pitch[0], out.data[1],
                        out.pitch[1], static_cast<int>(in.width[0]), static_cast<int>(in.height[0])) != 0) {
        ORVEX_LOG(4, kTag, "imageP010ToNV12 failed!!");
        return Failed;
    }
    return Ok;
}

}  // namespace orvex
