#include "av_frames.h"

#include <cstdio>
#include <set>

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace orvexcli {

namespace {

// 10-bit planar 4:2:0 decodes on the GPU only until the library has its CPU routine; 4:2:2 has
// no Convert row in either direction yet. Their rows flip to true when the library takes them.
constexpr LibraryFormat kFormats[] = {
    // av                     pixelFmt        depth yvu    cpuDec gpuDec cpuEnc gpuEnc
    {AV_PIX_FMT_YUV420P, orvex::YV12, 8, true, true, true, true, true},
    {AV_PIX_FMT_YUVJ420P, orvex::YV12, 8, true, true, true, true, true},
    {AV_PIX_FMT_NV12, orvex::NV12, 8, false, true, true, true, true},
    {AV_PIX_FMT_P010LE, orvex::P010, 10, false, true, true, true, true},
    {AV_PIX_FMT_YUVA420P, orvex::YUVA420, 8, true, true, true, true, true},
    {AV_PIX_FMT_YUV420P10LE, orvex::YV12P10, 10, true, true, true, true, true},
    {AV_PIX_FMT_YUV422P, orvex::YUV422, 8, true, true, false, false, false},
    {AV_PIX_FMT_YUV422P10LE, orvex::YUV422_16, 10, true, false, false, false, false},
};

int SwsMatrix(AVColorSpace m) {
    switch (m) {
    case AVCOL_SPC_BT709: return SWS_CS_ITU709;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
    case AVCOL_SPC_FCC: return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
    default: return SWS_CS_ITU601;
    }
}

// A libswscale context between a YUV format and BGRA with the stream's matrix and range.
SwsContext* MakeSws(AVPixelFormat from, AVPixelFormat to, int w, int h, const StreamColour& c, std::string* error) {
    SwsContext* s = sws_getContext(w, h, from, w, h, to, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                   nullptr, nullptr, nullptr);
    if (!s) {
        *error = std::string("libswscale cannot convert ") + av_get_pix_fmt_name(from) + " to " +
                 av_get_pix_fmt_name(to);
        return nullptr;
    }
    const int* coefficients = sws_getCoefficients(SwsMatrix(c.matrix));
    const int full = c.range == AVCOL_RANGE_JPEG ? 1 : 0;
    const bool yuvIn = from != AV_PIX_FMT_BGRA;
    // Table, range of the source side, then of the destination side; RGB is always full range.
    sws_setColorspaceDetails(s, coefficients, yuvIn ? full : 1, coefficients, yuvIn ? 1 : full, 0, 1 << 16, 1 << 16);
    return s;
}

}  // namespace

const LibraryFormat* LibraryRow(AVPixelFormat format, bool gpu, bool decode, const StreamColour& colour,
                                const char** why) {
    const LibraryFormat* f = FindLibraryFormat(format);
    const bool served = f && (decode ? (gpu ? f->gpuDecode : f->cpuDecode) : (gpu ? f->gpuEncode : f->cpuEncode));
    if (!f) *why = "the library has no frame format for it";
    else if (!served && decode)
        *why = gpu ? "the library has no GPU conversion from it" : "the library has no CPU conversion from it";
    else if (!served)
        *why = gpu ? "the library has no GPU conversion to it" : "the library has no CPU conversion to it";
    else if (!LibraryTakesMatrix(colour.matrix)) *why = "the library has no conversion for its colour matrix";
    else return f;
    return nullptr;
}

const LibraryFormat* FindLibraryFormat(AVPixelFormat av) {
    for (const LibraryFormat& f : kFormats)
        if (f.av == av) return &f;
    return nullptr;
}

StreamColour ResolveColour(StreamColour c, int height, bool fullRangeFormat) {
    if (c.matrix == AVCOL_SPC_UNSPECIFIED || c.matrix == AVCOL_SPC_RESERVED || c.matrix == AVCOL_SPC_RGB)
        c.matrix = height >= 720 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    if (c.range == AVCOL_RANGE_UNSPECIFIED) c.range = fullRangeFormat ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    return c;
}

bool LibraryTakesMatrix(AVColorSpace m) {
    return m == AVCOL_SPC_BT709 || m == AVCOL_SPC_BT470BG || m == AVCOL_SPC_SMPTE170M || m == AVCOL_SPC_BT2020_NCL;
}

void LibraryColour(const StreamColour& c, int bitDepth, ColorSpace::pl_color_repr* repr,
                   ColorSpace::pl_color_space* space) {
    using namespace ColorSpace;
    const pl_color_system sys = c.matrix == AVCOL_SPC_BT709        ? PL_COLOR_SYSTEM_BT_709
                                : c.matrix == AVCOL_SPC_BT2020_NCL ? PL_COLOR_SYSTEM_BT_2020_NC
                                                                   : PL_COLOR_SYSTEM_BT_601;
    *repr = pl_color_repr{sys, c.range == AVCOL_RANGE_JPEG ? PL_COLOR_LEVELS_FULL : PL_COLOR_LEVELS_LIMITED,
                          PL_ALPHA_INDEPENDENT, {bitDepth > 8 ? 16 : 8, bitDepth, 0}};
    const pl_color_primaries prim = sys == PL_COLOR_SYSTEM_BT_2020_NC ? PL_COLOR_PRIM_BT_2020
                                    : sys == PL_COLOR_SYSTEM_BT_709   ? PL_COLOR_PRIM_BT_709
                                                                      : PL_COLOR_PRIM_BT_601_525;
    *space = pl_color_space{prim, PL_COLOR_TRC_BT_1886, PL_COLOR_LIGHT_UNKNOWN, 0, 0, 0};
}

void WrapPlanes(const AVFrame& av, const LibraryFormat& f, orvex::EffectFrame* out) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(f.av);
    *out = orvex::EffectFrame{};
    out->pixel_fmt = f.pixelFmt;
    out->bitDepth = f.bitDepth;
    out->planes = static_cast<uint32_t>(av_pix_fmt_count_planes(f.av));
    for (uint32_t p = 0; p < out->planes; ++p) {
        // FFmpeg keeps Cb in plane 1; the library's YV12 family keeps Cr there.
        const int src = f.yvuOrder && (p == 1 || p == 2) ? 3 - static_cast<int>(p) : static_cast<int>(p);
        const bool chroma = p == 1 || p == 2;
        const int w = chroma ? AV_CEIL_RSHIFT(av.width, d->log2_chroma_w) : av.width;
        const int h = chroma ? AV_CEIL_RSHIFT(av.height, d->log2_chroma_h) : av.height;
        out->data[p] = av.data[src];
        out->pitch[p] = av.linesize[src];
        // A semi-planar chroma plane holds two samples per position.
        out->width[p] = static_cast<uint32_t>(out->planes == 2 && p == 1 ? 2 * w : w);
        out->height[p] = static_cast<uint32_t>(h);
    }
}

void BgraBuffer::Make(int width, int height) {
    pixels.assign(static_cast<size_t>(width) * height * 4, 0);
    frame = orvex::EffectFrame{};
    frame.planes = 1;
    frame.pixel_fmt = orvex::BGRA32;
    frame.width[0] = static_cast<uint32_t>(width);
    frame.height[0] = static_cast<uint32_t>(height);
    frame.pitch[0] = width * 4;
    frame.data[0] = pixels.data();
}

void NoteSwscale(const char* direction, AVPixelFormat format, const char* why) {
    static std::set<std::string> said;
    const std::string key = std::string(direction) + av_get_pix_fmt_name(format);
    if (!said.insert(key).second) return;
    std::fprintf(stderr, "orvex: %s %s goes through libswscale: %s\n", direction, av_get_pix_fmt_name(format), why);
}

FrameIn::~FrameIn() { sws_freeContext(sws_); }

bool FrameIn::Open(AVPixelFormat format, int width, int height, bool gpu, const StreamColour& colour,
                   std::string* error) {
    const char* why = nullptr;
    if ((format_ = LibraryRow(format, gpu, true, colour, &why))) return true;
    NoteSwscale("decoding", format, why);
    sws_ = MakeSws(format, AV_PIX_FMT_BGRA, width, height, colour, error);
    bgra_.Make(width, height);
    return sws_ != nullptr;
}

const orvex::EffectFrame& FrameIn::Take(const AVFrame& av) {
    if (format_) {
        WrapPlanes(av, *format_, &yuv_);
        return yuv_;
    }
    uint8_t* dst[4] = {bgra_.frame.data[0]};
    const int pitch[4] = {bgra_.frame.pitch[0]};
    sws_scale(sws_, av.data, av.linesize, 0, av.height, dst, pitch);
    return bgra_.frame;
}

FrameOut::~FrameOut() { sws_freeContext(sws_); }

bool FrameOut::Open(AVPixelFormat format, int width, int height, bool gpu, const StreamColour& colour,
                    std::string* error) {
    const char* why = nullptr;
    if ((format_ = LibraryRow(format, gpu, false, colour, &why))) return true;
    NoteSwscale("encoding", format, why);
    sws_ = MakeSws(AV_PIX_FMT_BGRA, format, width, height, colour, error);
    bgra_.Make(width, height);
    return sws_ != nullptr;
}

orvex::EffectFrame& FrameOut::Target(AVFrame& av) {
    if (!format_) return bgra_.frame;
    WrapPlanes(av, *format_, &yuv_);
    return yuv_;
}

void FrameOut::Finish(AVFrame& av) {
    if (format_) return;
    const uint8_t* src[4] = {bgra_.frame.data[0]};
    const int pitch[4] = {bgra_.frame.pitch[0]};
    sws_scale(sws_, src, pitch, 0, av.height, av.data, av.linesize);
}

}  // namespace orvexcli
