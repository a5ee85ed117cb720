// HDR2SDR, SDR2HDR, PQToHLG, HLGToPQ, ChangeColorSpace and ICCProfileTransform.
#include <algorithm>
#include <string>
#include <vector>

#include "colorspace.h"
#include "corelog.h"
#include "imagecpu/CubeLut.h"
#include "visual/FramePlanes.h"
#include "visual/GpuTask.h"
#include "visual/HdrCurves.h"
#include "visual/HdrTransferCpu.h"
#include "visual/PixelMap.h"
#include "visual/VisualProcess.h"

namespace orvex {
namespace {

constexpr const char* kPQCube = "/resources/tvx_effect/nle_default/PQCube/Data/HDR_PQ.cube";
constexpr const char* kHLGCube = "/resources/tvx_effect/nle_default/HLGCube/Data/HDR_HLG.cube";

// Tone-mapping constants every HDR/SDR call passes; the kernels' results do not depend on them.
constexpr float kK1 = 0.5f, kK3 = 0.93f, kSdrIp = 70.0f, kMaxCll = 1000.0f;

// Row-major nine floats mapping RGB of `from` primaries to `to` (relative colorimetric).
void MappingMatrix(ColorSpace::pl_color_primaries from, ColorSpace::pl_color_primaries to, float out[9]) {
    const ColorSpace::pl_matrix3x3 m = ColorSpace::pl_get_color_mapping_matrix(
        ColorSpace::pl_raw_primaries_get(from), ColorSpace::pl_raw_primaries_get(to),
        ColorSpace::PL_INTENT_RELATIVE_COLORIMETRIC);
    for (int i = 0; i < 9; ++i) out[i] = m.m[i / 3][i % 3];
}

// Both frames on BGRA textures; 3 with the message otherwise.
ResultCode BGRATextures(const char* tag, const EffectFrame& in, const EffectFrame& out, TextureInfo* ti,
                        TextureInfo* to) {
    if (!QueryTexture(in.texture, ti) || !QueryTexture(out.texture, to)) {
        ORVEX_LOG(6, tag, "input gpu frame is nullptr!!");
        return InvalidArgument;
    }
    if (ti->colorSpace != zrp::kColorSpaceBGRA || to->colorSpace != zrp::kColorSpaceBGRA) {
        ORVEX_LOG(6, tag, "input format is not rgba!!");
        return WrongFormat;
    }
    return Ok;
}

// Host BGRA frames of one size; the matching result with its message otherwise.
ResultCode HostPair(const char* tag, const EffectFrame& in, const EffectFrame& out, FrameLayout* li,
                    FrameLayout* lo) {
    if (!LayoutOf(in, li) || !LayoutOf(out, lo) || !HostPlanesOk(in, *li) || !HostPlanesOk(out, *lo)) {
        ORVEX_LOG(6, tag, "input or output is nullptr!!");
        return InvalidArgument;
    }
    if (in.width[0] != out.width[0] || in.height[0] != out.height[0]) {
        ORVEX_LOG(6, tag, "input resolution is not equal output!!");
        return InvalidArgument;
    }
    return Ok;
}

// fn on every pixel (red, green, blue, alpha in 0..1) of in, written to out; frames checked by
// HostPair. Either frame may be 8 or 16 bits.
template <typename Fn>
void MapHostPixels(const EffectFrame& in, EffectFrame& out, const Fn& fn) {
    const BGRAPlane src = BGRAPlane::Of(in), dst = BGRAPlane::Of(out);
    ForEachPixel(src.width, src.height, [&](int x, int y) {
        double px[4];
        src.Read(x, y, px);
        fn(px);
        dst.Write(x, y, px);
    });
}

// PQ <-> HLG: the kernel when both frames are textures, else its arithmetic on the host frames.
ResultCode HdrTransfer(const char* tag, const char* kernel, const EffectFrame& in, EffectFrame& out,
                       hdr64::Transfer op) {
    if (in.texture && out.texture) {
        TextureInfo ti, to;
        if (const ResultCode r = BGRATextures(tag, in, out, &ti, &to); r != Ok) return r;
        KernelArgs args;
        return RunVisualKernel(tag, kernel, args, to, {in.texture}, {out.texture});
    }
    if (!IsBGRALike(in.pixel_fmt) || !IsBGRALike(out.pixel_fmt)) {
        ORVEX_LOG(6, tag, "input format is not rgba!!");
        return WrongFormat;
    }
    FrameLayout li, lo;
    if (const ResultCode r = HostPair(tag, in, out, &li, &lo); r != Ok) return r;
    HdrTransferFrame({op}, in, out);
    return Ok;
}

}  // namespace

ResultCode VisualProcess::HDR2SDR(const EffectFrame& in, EffectFrame& out, int32_t pqMode,
                                  ColorSpace::pl_color_primaries inPrimary, ColorSpace::pl_color_primaries outPrimary) {
    constexpr const char* kTag = "orvex::HDR2SDR";
    if (!IsBGRALike(in.pixel_fmt) || !IsBGRALike(out.pixel_fmt)) {
        ORVEX_LOG(6, kTag, "input format is not rgba!!");
        return Failed;
    }
    if (in.texture && out.texture) {
        TextureInfo ti, to;
        if (const ResultCode r = BGRATextures(kTag, in, out, &ti, &to); r != Ok) return r;
        // 8-bit frames between the primaries the cubes were made for take the CPU's cube, so both
        // paths give one picture; other frames, or no loadable cube, the tone mapping itself.
        const bool cubeFits = !ti.sixteen() && !to.sixteen() && inPrimary == ColorSpace::PL_COLOR_PRIM_BT_2020 &&
                              outPrimary == ColorSpace::PL_COLOR_PRIM_BT_709;
        if (cubeFits && LoadHdrCube(kTag, pqMode, false)) {
            if (const zrp::TexturePtr cube = HdrCubeTexture()) {
                KernelArgs args;
                return RunVisualKernel(kTag, "HDR2SDR_Cube", args, to, {in.texture, cube}, {out.texture});
            }
        }
        float matrix[9];
        MappingMatrix(inPrimary, outPrimary, matrix);
        KernelArgs args;
        args.Block("ColorSpaceTransMatrix", matrix, sizeof matrix).Float("k1", kK1).Float("k3", kK3);
        args.Float("y_sdr_ip", kSdrIp).Int("PqMode", pqMode).Float("MaxCLL", kMaxCll);
        args.Int("inprimary", inPrimary).Int("outprimary", outPrimary);
        return RunVisualKernel(kTag, "HDR2SDR", args, to, {in.texture}, {out.texture});
    }
    FrameLayout li, lo;
    if (!IsBGRA8(in.pixel_fmt) || !IsBGRA8(out.pixel_fmt)) {
        // The cube maps 8-bit codes; 16-bit frames get the kernel's tone mapping in double, so
        // their precision is not cut to the cube's 8 bits.
        if (const ResultCode r = HostPair(kTag, in, out, &li, &lo); r != Ok) return r;
        float matrix[9];
        MappingMatrix(inPrimary, outPrimary, matrix);
        double m[9];
        std::copy(matrix, matrix + 9, m);
        MapHostPixels(in, out, [pqMode, &m](double px[4]) {
            hdr64::Tonemapping(pqMode, m, &px[0], &px[1], &px[2]);
            for (int c = 0; c < 3; ++c) px[c] *= px[3];
        });
        return Ok;
    }
    if (const ResultCode r = HostPair(kTag, in, out, &li, &lo); r != Ok) return r;
    if (!LoadHdrCube(kTag, pqMode, true)) return Failed;
    const int w = static_cast<int>(in.width[0]), h = static_cast<int>(in.height[0]);
    return cubeLut_->Apply(out.data[0], out.pitch[0], in.data[0], w, h, in.pitch[0], 4, 2, 255) == 0 ? Ok : Failed;
}

bool VisualProcess::LoadHdrCube(const char* tag, int32_t pqMode, bool log) {
    if (resourcePath_.empty()) {
        if (log) ORVEX_LOG(6, tag, "resource path is empty!!");
        return false;
    }
    const std::string path = resourcePath_ + (pqMode ? kPQCube : kHLGCube);
    if (path != cubePath_) {
        if (!cubeLut_) cubeLut_ = std::make_shared<CubeLut>();
        cubeLoaded_ = cubeLut_->LoadFile(path);
        cubePath_ = path;
    }
    if (!cubeLoaded_ && log) ORVEX_LOG(4, tag, "load cube file failed!! %s", path.c_str());
    return cubeLoaded_;
}

zrp::TexturePtr VisualProcess::HdrCubeTexture() {
    if (gpuCube_ && gpuCubeFactory_ == g_atlu_factory && gpuCubePath_ == cubePath_) return gpuCube_;
    gpuCube_.reset();
    std::vector<float> texels = cubeLut_->TetraTexels();
    if (texels.empty()) return nullptr;
    // Rows of 1024 texels, the last one padded.
    constexpr int32_t kRow = 1024;
    const size_t count = texels.size() / 4;
    const auto rows = static_cast<int32_t>((count + kRow - 1) / kRow);
    texels.resize(static_cast<size_t>(rows) * kRow * 4, 0.0f);
    zrp::ImageFormat* format = nullptr;
    if (ZRPImageFormatAlloc(zrp::kColorSpaceBGRA, zrp::kBitFormatFloat32, kRow, rows, 0, &format) != 0 || !format)
        return nullptr;
    uint8_t* planes[1] = {reinterpret_cast<uint8_t*>(texels.data())};
    const int32_t pitches[1] = {kRow * 16};
    gpuCube_ = CreatePlatformTexture(format, OpenCL, planes, pitches, 0, 0);
    ZRPObjectFree(format);
    gpuCubeFactory_ = g_atlu_factory;
    gpuCubePath_ = cubePath_;
    return gpuCube_;
}

ResultCode VisualProcess::SDR2HDR(const EffectFrame& in, EffectFrame& out, int32_t pqMode, int32_t sdrMode) {
    constexpr const char* kTag = "orvex::HDR2SDR";
    if (!IsBGRALike(in.pixel_fmt) || !IsBGRALike(out.pixel_fmt)) {
        ORVEX_LOG(6, kTag, "input format is not rgba!!");
        return Failed;
    }
    if (in.texture && out.texture) {
        TextureInfo ti, to;
        if (const ResultCode r = BGRATextures(kTag, in, out, &ti, &to); r != Ok) return r;
        KernelArgs args;
        args.Float("k1", kK1).Float("k3", kK3).Float("sdr_ip", kSdrIp).Int("sdrMode", sdrMode).Int("PqMode", pqMode);
        args.Float("maxcll", kMaxCll);
        return RunVisualKernel(kTag, "SDR2HDR", args, to, {in.texture}, {out.texture});
    }
    FrameLayout li, lo;
    if (const ResultCode r = HostPair(kTag, in, out, &li, &lo); r != Ok) return r;
    HdrTransferFrame({hdr64::Transfer::SDR2HDR, pqMode, sdrMode}, in, out);
    return Ok;
}

ResultCode VisualProcess::PQToHLG(const EffectFrame& in, EffectFrame& out) {
    return HdrTransfer("orvex:PQToHLG", "PQToHLG", in, out, hdr64::Transfer::PQToHLG);
}

ResultCode VisualProcess::HLGToPQ(const EffectFrame& in, EffectFrame& out) {
    return HdrTransfer("orvex:HLGToPQ", "HLGToPQ", in, out, hdr64::Transfer::HLGToPQ);
}

ResultCode VisualProcess::ChangeColorSpace(const EffectFrame& in, EffectFrame& out,
                                           const ColorSpace::pl_color_repr* inRepr,
                                           const ColorSpace::pl_color_space* inSpace,
                                           const ColorSpace::pl_color_repr* outRepr,
                                           const ColorSpace::pl_color_space* outSpace) {
    constexpr const char* kTag = "orvex:ChangeColorSpace";
    if (!inRepr || !inSpace || !outRepr || !outSpace) {
        ORVEX_LOG(6, kTag, "input is nullptr!!");
        return InvalidArgument;
    }
    if (!IsBGRALike(in.pixel_fmt) || !IsBGRALike(out.pixel_fmt)) {
        ORVEX_LOG(6, kTag, "input format is not rgba!!");
        return WrongFormat;
    }
    float matrix[9];
    MappingMatrix(inSpace->primaries, outSpace->primaries, matrix);
    // A depth of 0 stands for the frame's own sample size.
    const int inDepth = inRepr->bits.color_depth > 0 ? inRepr->bits.color_depth : (in.pixel_fmt == BGRA64 ? 16 : 8);
    const int outDepth =
        outRepr->bits.color_depth > 0 ? outRepr->bits.color_depth : (out.pixel_fmt == BGRA64 ? 16 : 8);
    if (out.texture) {
        TextureInfo ti, to;
        if (const ResultCode r = BGRATextures(kTag, in, out, &ti, &to); r != Ok) return r;
        if (!g_atlu_factory) {
            ORVEX_LOG(4, "orvex:CreateOpenclBuffer", "ATLUFactory is nullptr!!");
            return Failed;
        }
        KernelArgs args;
        args.Block("matrix", matrix, sizeof matrix).Int("in_depth", inDepth).Int("out_depth", outDepth);
        return RunVisualKernel(kTag, "change_colorspace", args, to, {in.texture}, {out.texture});
    }
    FrameLayout li, lo;
    if (const ResultCode r = HostPair(kTag, in, out, &li, &lo); r != Ok) return r;
    // The depths choose how samples are read and written: they must match the frames' storage.
    if ((inDepth > 8) != (in.pixel_fmt == BGRA64) || (outDepth > 8) != (out.pixel_fmt == BGRA64) || inDepth > 16 ||
        outDepth > 16) {
        ORVEX_LOG(6, kTag, "colour depth does not match the frame format!!");
        return WrongFormat;
    }
    ColorSpace::pl_matrix3x3 m;
    for (int i = 0; i < 9; ++i) m.m[i / 3][i % 3] = matrix[i];
    const int r = ColorSpace::ColorConvertTool::Process_ChangeColorSpace(
        in.data[0], in.pitch[0], out.data[0], out.pitch[0], static_cast<int>(in.width[0]),
        static_cast<int>(in.height[0]), inDepth, outDepth, m);
    return r == 0 ? Ok : Failed;
}

ResultCode VisualProcess::ICCProfileTransform(const ColorSpace::pl_icc_profile* profile, EffectFrame& frame) {
    constexpr const char* kTag = "orvex:ICCProfileTransform";
    if (!IsBGRA8(frame.pixel_fmt)) {
        ORVEX_LOG(6, kTag, "input format is not BGRA32!!");
        return WrongFormat;
    }
    FrameLayout l;
    if (!profile || !LayoutOf(frame, &l) || !HostPlanesOk(frame, l)) {
        ORVEX_LOG(6, kTag, "input is nullptr!!");
        return InvalidArgument;
    }
    const int w = static_cast<int>(frame.width[0]), h = static_cast<int>(frame.height[0]);
    const int pitch = frame.pitch[0];
    // Whole rows of pitch / 4 pixels where the pitch allows, but the last row only to its width:
    // the caller's plane need not reach past it.
    bool ok = true;
    if (pitch % 4 == 0) {
        if (h > 1) ok = ColorSpace::pl_icc_profile_transform(profile, frame.data[0], h - 1, pitch / 4);
        ok = ok && ColorSpace::pl_icc_profile_transform(profile, frame.data[0] + static_cast<size_t>(h - 1) * pitch,
                                                        1, w);
    } else {
        for (int y = 0; y < h && ok; ++y)
            ok = ColorSpace::pl_icc_profile_transform(profile, frame.data[0] + static_cast<size_t>(y) * pitch, 1, w);
    }
    if (!ok) {
        ORVEX_LOG(4, kTag, "icc profile transform failed!!");
        return Failed;
    }
    return Ok;
}

}  // namespace orvex
