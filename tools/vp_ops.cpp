#include "vp_ops.h"

#include <cmath>
#include <cstring>
#include <filesystem>

#include "cli_common.h"
#include "host/kit/kit.h"

namespace orvexcli {

std::string VpProblem(const VpOptions& o) {
    if (o.op == "resize" && o.width == 0) return "resize needs --size WxH";
    if (o.op == "crop" && !o.hasRect) return "crop needs --rect X,Y,W,H";
    if (o.op == "rotate" && (o.quarter < 0) == !o.hasAngle) return "rotate needs one of --quarter or --angle";
    if (o.op == "flip" && o.flip == 0) return "flip needs --horizontal or --vertical";
    return {};
}

void VpOutputSize(const VpOptions& o, int w, int h, int* outW, int* outH) {
    *outW = w;
    *outH = h;
    if (o.width > 0 && (o.op != "rotate" || o.hasAngle)) {
        *outW = o.width;
        *outH = o.height;
    } else if (o.op == "crop") {
        *outW = std::max(1, static_cast<int>(std::floor(w * o.rect.width + 0.5)));
        *outH = std::max(1, static_cast<int>(std::floor(h * o.rect.height + 0.5)));
    } else if (o.op == "rotate" && (o.quarter == 0 || o.quarter == 2)) {
        *outW = h;
        *outH = w;
    }
}

orvex::ResultCode VpApply(orvex::IVisualProcess& vp, const VpOptions& o, const orvex::EffectFrame& in,
                          orvex::EffectFrame& out) {
    if (o.op == "resize") return vp.Resize(in, out, o.type, o.quality);
    if (o.op == "crop") return vp.CropFrame(in, o.rect, out, 1);
    if (o.op == "rotate")
        return o.hasAngle ? vp.Rotate(in, out, o.angle, o.nearest ? 0 : 1) : vp.PixelRotate(in, out, o.quarter);
    return o.flip == 1 ? vp.HorizontalFlip(in, out) : vp.VerticalFlip(in, out);
}

orvex::ResultCode VpCompose(orvex::IVisualProcess& vp, const VpOptions& o, const orvex::EffectFrame& overlay,
                            const orvex::EffectFrame& background, orvex::EffectFrame& out) {
    const int pre = o.premultiplied ? 1 : 0;
    if (o.op == "blend")
        return vp.Blend(overlay, o.overlayRect, background, o.rect, out, o.nearest ? 0 : 1, o.mode, o.opacity, pre);
    return vp.BlendAndTransform(overlay, o.anchor, background, o.centre, false, out, o.mode, 1, o.opacity, pre,
                                o.nearest ? 0 : 1, o.rotation, o.scale.x, o.scale.y, o.skew.x, o.skew.y);
}

orvex::ResultCode RunOnDevice(zrp::ATLUFactory* factory, orvex::IVisualProcess& vp,
                              std::vector<orvex::EffectFrame> inputs, orvex::EffectFrame out, const VpOperation& op) {
    orvex::EffectFrame host = out;
    if (factory) {
        vp.SetATLUFactory(factory);
        for (orvex::EffectFrame& in : inputs) {
            in.texture = orvexhost::UploadFrame(*factory, in);
            if (!in.texture) return orvex::Failed;
        }
        out.texture = orvexhost::CreateTextureLike(*factory, out);
        if (!out.texture) return orvex::Failed;
        // The operation works on the textures.
        for (orvex::EffectFrame& in : inputs)
            for (auto& plane : in.data) plane = nullptr;
        for (auto& plane : out.data) plane = nullptr;
    }
    orvex::ResultCode r = op(inputs, out);
    if (r == orvex::Ok && factory && !orvexhost::DownloadFrame(*out.texture, host)) r = orvex::Failed;
    return r;
}

std::string FindCubeRoot(const std::string& given) {
    const std::string tree = FindResourceTree(given, "tvx_effect/nle_default/PQCube");
    return tree.empty() ? tree : std::filesystem::path(tree).parent_path().string();
}

namespace {

const YuvFormat kYuvFormats[] = {{"yv12", orvex::YV12, 8, false},
                                 {"i420", orvex::YV12, 8, true},
                                 {"nv12", orvex::NV12, 8, false},
                                 {"p010", orvex::P010, 10, false},
                                 {"yuva420", orvex::YUVA420, 8, false},
                                 {"yv12p10", orvex::YV12P10, 10, false},
                                 {"yuv422p", orvex::YUV422, 8, true, true, orvex::YV12},
                                 {"yuv422p16", orvex::YUV422_16, 16, true, true, orvex::YV12P10},
                                 {"yuva422p", orvex::YUVA422, 8, true, true, orvex::YUVA420}};

bool HasAlpha(uint32_t fmt) { return fmt == orvex::YUVA420 || fmt == orvex::YUVA422; }

// Row r of plane p of a frame.
uint8_t* Row(const orvex::EffectFrame& f, int p, int r) { return f.data[p] + static_cast<size_t>(f.pitch[p]) * r; }

// The library encodes to 4:2:0 only. A picture with every row repeated, encoded to 4:2:0, has the
// 4:2:2 chroma of the picture in its chroma rows (each the average of a row pair that is one row
// twice) and the picture's luma and alpha in its even rows: this copies them into the 4:2:2 frame.
void Take422(const orvex::EffectFrame& tall, orvex::EffectFrame& out) {
    const int h = static_cast<int>(out.height[0]);
    for (int p = 0; p < static_cast<int>(out.planes); ++p) {
        const bool chroma = p == 1 || p == 2;
        const size_t bytes = static_cast<size_t>(out.width[p]) * (out.bitDepth > 8 ? 2 : 1);
        for (int r = 0; r < h; ++r) std::memcpy(Row(out, p, r), Row(tall, p, chroma ? r : 2 * r), bytes);
    }
}

}  // namespace

const YuvFormat* FindYuvFormat(const std::string& name) {
    for (const YuvFormat& f : kYuvFormats)
        if (name == f.name) return &f;
    return nullptr;
}

std::string YuvFormatNames() {
    std::string names;
    for (const YuvFormat& f : kYuvFormats) names += (names.empty() ? "" : ", ") + std::string(f.name);
    return names;
}

ColorSpace::pl_color_repr YuvRepr(const std::string& matrix, const std::string& range, int depth) {
    using namespace ColorSpace;
    const pl_color_system sys = matrix == "601"   ? PL_COLOR_SYSTEM_BT_601
                                : matrix == "709" ? PL_COLOR_SYSTEM_BT_709
                                                  : PL_COLOR_SYSTEM_BT_2020_NC;
    return {sys, range == "full" ? PL_COLOR_LEVELS_FULL : PL_COLOR_LEVELS_LIMITED, PL_ALPHA_INDEPENDENT,
            {depth > 8 ? 16 : 8, depth, 0}};
}

ColorSpace::pl_color_space YuvSpace(const std::string& matrix) {
    using namespace ColorSpace;
    return {matrix == "2020" ? PL_COLOR_PRIM_BT_2020 : PL_COLOR_PRIM_BT_709, PL_COLOR_TRC_BT_1886, PL_COLOR_LIGHT_UNKNOWN,
            0, 0, 0};
}

YuvPlanes::YuvPlanes(uint32_t pixelFmt, uint32_t bitDepth, bool swapChroma, int w, int h) {
    const bool is422 = pixelFmt == orvex::YUV422 || pixelFmt == orvex::YUV422_16 || pixelFmt == orvex::YUVA422;
    const int cw = (w + 1) / 2, ch = is422 ? h : (h + 1) / 2, b = bitDepth > 8 ? 2 : 1;
    int samples[4] = {w, cw, cw, w}, rows[4] = {h, ch, ch, h};
    planeCount = pixelFmt == orvex::NV12 || pixelFmt == orvex::P010 ? 2 : HasAlpha(pixelFmt) ? 4 : 3;
    if (planeCount == 2) samples[1] = 2 * cw;
    size_t total = 0;
    for (int i = 0; i < planeCount; ++i) total += planeBytes[i] = static_cast<size_t>(samples[i]) * b * rows[i];
    bytes.assign(total, 0);
    frame.pixel_fmt = pixelFmt;
    frame.bitDepth = bitDepth;
    frame.planes = static_cast<uint32_t>(planeCount);
    size_t offset = 0;
    for (int i = 0; i < planeCount; ++i) {
        // The file's plane k is the frame's plane k, except that i420 swaps the chroma planes.
        const int p = swapChroma && (i == 1 || i == 2) ? 3 - i : i;
        frame.data[p] = bytes.data() + offset;
        frame.pitch[p] = samples[p] * b;
        frame.width[p] = static_cast<uint32_t>(samples[p]);
        frame.height[p] = static_cast<uint32_t>(rows[p]);
        offset += planeBytes[i];
    }
    frame.width[0] = static_cast<uint32_t>(w);
    frame.height[0] = static_cast<uint32_t>(h);
}

orvex::ResultCode ConvertFrame(zrp::ATLUFactory* factory, orvex::IVisualProcess& vp, const YuvFormat& format,
                               const std::string& matrix, const std::string& range, int quality, bool decode,
                               YuvPlanes& yuv, orvex::EffectFrame& bgra) {
    const int depth = static_cast<int>(format.bitDepth);
    const ColorSpace::pl_color_repr repr = YuvRepr(matrix, range, depth);
    const ColorSpace::pl_color_space space = YuvSpace(matrix);
    orvex::EffectFrame none;
    none.pixel_fmt = orvex::BGRA32;
    const auto convert = [&](std::vector<orvex::EffectFrame>& in, orvex::EffectFrame& out) {
        return vp.Convert(repr, space, in[0], none, out, quality, 1);
    };
    if (decode || !format.is422) {
        return decode ? RunOnDevice(factory, vp, {yuv.frame}, bgra, convert)
                      : RunOnDevice(factory, vp, {bgra}, yuv.frame, convert);
    }
    // 4:2:2 output: the picture with its rows repeated, encoded to the 4:2:0 sibling format.
    const int w = static_cast<int>(bgra.width[0]), h = static_cast<int>(bgra.height[0]);
    std::vector<uint8_t> tallPixels(static_cast<size_t>(w) * 4 * 2 * h);
    for (int r = 0; r < 2 * h; ++r)
        std::memcpy(tallPixels.data() + static_cast<size_t>(r) * w * 4, bgra.data[0] + static_cast<size_t>(r / 2) * bgra.pitch[0],
                    static_cast<size_t>(w) * 4);
    orvex::EffectFrame tall = *orvexhost::WrapBGRA(tallPixels.data(), w, 2 * h, w * 4);
    YuvPlanes tallYuv(format.encodeAs, format.bitDepth, false, w, 2 * h);
    const orvex::ResultCode r = RunOnDevice(factory, vp, {tall}, tallYuv.frame, convert);
    if (r == orvex::Ok) Take422(tallYuv.frame, yuv.frame);
    return r;
}

}  // namespace orvexcli
