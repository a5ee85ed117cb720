#include "visual/ProgramTable.h"

#include <string>
#include <vector>

// The program texts, generated at build time from visual/cl/<name>.cl.
namespace orvex::clsrc {
extern const char* const rotate_resize;
extern const char* const pixel_rotate;
extern const char* const nv12_crop;
extern const char* const nv12_rotate;
extern const char* const yv12_resize;
extern const char* const bgra_crop;
extern const char* const planar_crop;
extern const char* const resize_area;
extern const char* const nv12_resize;
extern const char* const resize_blur;
extern const char* const resize_cubic;
extern const char* const yuv_rotate;
extern const char* const flip;
extern const char* const convert_common;
extern const char* const yuv8_to_bgra;
extern const char* const yuv16_to_bgra;
extern const char* const rgb_to_yuv;
extern const char* const convert_normal;
extern const char* const repack;
extern const char* const blending;
extern const char* const back_resize;
extern const char* const center_align_blend;
extern const char* const blend_main1;
extern const char* const motion;
extern const char* const solid_color_blend;
extern const char* const blend_transform;
extern const char* const transform;
extern const char* const blend_mask;
extern const char* const overlay;
}  // namespace orvex::clsrc

namespace orvex {
namespace {

constexpr zrp::BitFormat k8 = zrp::kBitFormat8;
constexpr zrp::BitFormat k16{4, 16, 16};
constexpr zrp::BitFormat kP010{4, 10, 10};

// A kernel that keeps its image layout (in and out of one colour space and depth).
GPUKernelDesc Same(const char* name, zrp::ImageColorSpace cs, zrp::BitFormat bits) {
    return GPUKernelDesc{name, cs, bits, cs, bits};
}

struct Program {
    const char* source;
    std::vector<GPUKernelDesc> kernels;
};

}  // namespace

AlgorithmMap BuildOpenCLProgramTable() {
    using namespace zrp;
    const Program programs[] = {
        {clsrc::rotate_resize, {Same("Rotate", kColorSpaceBGRA, k8), Same("Resize_Mid_Low", kColorSpaceBGRA, k8)}},
        {clsrc::pixel_rotate, {Same("PixelRotate", kColorSpaceBGRA, k8)}},
        {clsrc::nv12_crop, {Same("NV12Crop", kColorSpaceNV12, k8), Same("NV12Crop_16", kColorSpaceNV12, kP010)}},
        {clsrc::nv12_rotate,
         {Same("NV12Rotate", kColorSpaceNV12, k8), Same("NV12Rotate_16", kColorSpaceNV12, kP010)}},
        {clsrc::yv12_resize,
         {Same("YV12Resize", kColorSpaceYV12, k8), Same("YV12Resize_UINT16", kColorSpaceYV12, k16)}},
        {clsrc::bgra_crop, {Same("BGRACrop", kColorSpaceBGRA, k8)}},
        {clsrc::planar_crop,
         {Same("YV12Crop", kColorSpaceYV12, k8), Same("YV12Crop_UINT16", kColorSpaceYV12, k16),
          Same("YUV422Crop", kColorSpaceYUV422, k8), Same("YUV422Crop_UINT16", kColorSpaceYUV422, k16),
          Same("YUVACROP", kColorSpaceYUVA, k8), Same("YUVACROP_UINT16", kColorSpaceYUVA, k16)}},
        {clsrc::resize_area,
         {Same("resizeAREA_FAST", kColorSpaceBGRA, k8), Same("resizeAREA", kColorSpaceBGRA, k8)}},
        {clsrc::nv12_resize,
         {Same("NV12Resize", kColorSpaceNV12, k8), Same("NV12Resize_16", kColorSpaceNV12, kP010)}},
        {clsrc::resize_blur, {Same("ResizeBlur", kColorSpaceBGRA, k8)}},
        {clsrc::resize_cubic, {Same("resize_cubic", kColorSpaceBGRA, k8)}},
        {clsrc::yuv_rotate,
         {Same("yuva_rotate", kColorSpaceYUVA, k8), Same("yv12_rotate", kColorSpaceYV12, k8),
          Same("yuva_rotate_UINT16", kColorSpaceYUVA, k16), Same("yv12_rotate_UINT16", kColorSpaceYV12, k16)}},
        {clsrc::flip,
         {Same("video_effect_horizontal_filp", kColorSpaceBGRA, k8),
          Same("video_effect_vertical_filp", kColorSpaceBGRA, k8)}},
    };
    // The blend and transform programs share one text (samplers, geometry, the blend-mode
    // functions), put in front of each when it is entered.
    const Program blendPrograms[] = {
        {clsrc::back_resize, {Same("MAIN", kColorSpaceBGRA, k8), Same("MAIN_BaseBack", kColorSpaceBGRA, k8)}},
        {clsrc::center_align_blend,
         {Same("CenterAlignBlend", kColorSpaceBGRA, k8), Same("CenterAlignBlend_backBlank", kColorSpaceBGRA, k8)}},
        {clsrc::blend_main1, {Same("MAIN1", kColorSpaceBGRA, k8)}},
        {clsrc::motion, {Same("Motion", kColorSpaceBGRA, k8)}},
        {clsrc::solid_color_blend, {Same("solidColorBlend", kColorSpaceBGRA, k8)}},
        {clsrc::blend_transform,
         {Same("BlendAndTransform", kColorSpaceBGRA, k8), Same("BlendAndTransform_backBlank", kColorSpaceBGRA, k8)}},
        {clsrc::transform, {Same("Transform", kColorSpaceBGRA, k8)}},
        {clsrc::blend_mask, {Same("BlendMask", kColorSpaceBGRA, k8), Same("BlendMask2", kColorSpaceBGRA, k8)}},
        {clsrc::overlay, {Same("overlay", kColorSpaceBGRA, k8)}},
    };
    AlgorithmMap table;
    auto enter = [&table](const std::string& source, const std::vector<GPUKernelDesc>& kernels) {
        auto data = std::make_shared<GPUKernelData>();
        data->source = source;
        data->platform = OpenCL;
        data->kernels = kernels;
        for (const GPUKernelDesc& k : data->kernels) table.emplace(k.name, data);
    };
    for (const Program& p : programs) enter(p.source, p.kernels);
    for (const Program& p : blendPrograms) enter(std::string(clsrc::blending) + "\n" + p.source, p.kernels);
    // The pixel-format conversions; all but the repacking carry the shared colour matrices in
    // front of their own text.
    auto From = [](const char* name, ImageColorSpace in, BitFormat inBits, ImageColorSpace out, BitFormat outBits) {
        return GPUKernelDesc{name, in, inBits, out, outBits};
    };
    const struct {
        bool matrices;
        Program program;
    } conversions[] = {
        {true,
         {clsrc::yuv8_to_bgra,
          {From("YV12ToBGRAN", kColorSpaceYV12, k8, kColorSpaceBGRA, k8),
           From("YV12ToBGRAL", kColorSpaceYV12, k8, kColorSpaceBGRA, k8),
           From("YV12ToBGRA_High", kColorSpaceYV12, k8, kColorSpaceBGRA, k8),
           From("YUVAToBGRAN", kColorSpaceYUVA, k8, kColorSpaceBGRA, k8),
           From("YUVAToBGRAL", kColorSpaceYUVA, k8, kColorSpaceBGRA, k8),
           From("NV12ToRGB", kColorSpaceNV12, k8, kColorSpaceBGRA, k8),
           From("NV12ToRGB_MID", kColorSpaceNV12, k8, kColorSpaceBGRA, k8),
           From("NV12ToRGB_HIGH", kColorSpaceNV12, k8, kColorSpaceBGRA, k8),
           From("RGBToNV12", kColorSpaceBGRA, k8, kColorSpaceNV12, k8)}}},
        {true,
         {clsrc::yuv16_to_bgra,
          {From("p010_to_rgb_low", kColorSpaceNV12, kP010, kColorSpaceBGRA, k8),
           From("p010_to_rgb_mid", kColorSpaceNV12, kP010, kColorSpaceBGRA, k8),
           From("p010_to_rgb_high", kColorSpaceNV12, kP010, kColorSpaceBGRA, k8),
           From("yv12_to_rgb_ushort_low", kColorSpaceYV12, k16, kColorSpaceBGRA, k8),
           From("yv12_to_rgb_ushort_mid", kColorSpaceYV12, k16, kColorSpaceBGRA, k8),
           From("yv12_to_rgb_ushort_high", kColorSpaceYV12, k16, kColorSpaceBGRA, k8),
           From("yuva_to_rgb_ushort_low", kColorSpaceYUVA, k16, kColorSpaceBGRA, k8),
           From("yuva_to_rgb_ushort_mid", kColorSpaceYUVA, k16, kColorSpaceBGRA, k8),
           From("yuva_to_rgb_ushort_high", kColorSpaceYUVA, k16, kColorSpaceBGRA, k8),
           From("yuv422_to_rgb_uchar", kColorSpaceYUV422, k8, kColorSpaceBGRA, k8),
           From("yuv422_to_rgb_ushort", kColorSpaceYUV422, k16, kColorSpaceBGRA, k8),
           From("yuva422_to_rgb_uchar", kColorSpaceYUVA422, k8, kColorSpaceBGRA, k8),
           From("yuva422_to_rgb_ushort", kColorSpaceYUVA422, k16, kColorSpaceBGRA, k8)}}},
        {true,
         {clsrc::rgb_to_yuv,
          {From("rgb_to_yv12", kColorSpaceBGRA, k8, kColorSpaceYV12, k8),
           From("rgb_to_yv12_10", kColorSpaceBGRA, k8, kColorSpaceYV12, k16),
           From("rgb_to_yuva", kColorSpaceBGRA, k8, kColorSpaceYUVA, k8),
           From("rgb_to_yuva_10", kColorSpaceBGRA, k8, kColorSpaceYUVA, k16),
           From("rgb_to_nv12", kColorSpaceBGRA, k8, kColorSpaceNV12, k8),
           From("rgb_to_p010", kColorSpaceBGRA, k8, kColorSpaceNV12, kP010)}}},
        {true,
         {clsrc::convert_normal,
          {From("YV12ToBGRAN_normal", kColorSpaceYV12, k8, kColorSpaceBGRA, k8),
           From("YV12ToBGRAL_normal", kColorSpaceYV12, k8, kColorSpaceBGRA, k8),
           From("NV12ToRGB_Normal", kColorSpaceNV12, k8, kColorSpaceBGRA, k8)}}},
        {false,
         {clsrc::repack,
          {From("P010_NV12", kColorSpaceNV12, kP010, kColorSpaceNV12, k8),
           From("YV12ToNV12", kColorSpaceYV12, k8, kColorSpaceNV12, k8), Same("bgr_to_rgb", kColorSpaceBGRA, k8)}}},
    };
    for (const auto& c : conversions)
        enter(c.matrices ? std::string(clsrc::convert_common) + c.program.source : c.program.source,
              c.program.kernels);
    return table;
}

}  // namespace orvex
