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
extern const char* const hdr_curves;
extern const char* const hdr2sdr;
extern const char* const hdr_cube;
extern const char* const sdr2hdr;
extern const char* const pq_hlg;
extern const char* const change_colorspace;
extern const char* const deinterlace;
extern const char* const fill_frame;
extern const char* const premultiply;
extern const char* const frame_interpolation;
extern const char* const channel_control;
extern const char* const mask_views;
extern const char* const motion_animation;
extern const char* const do_gradient;
extern const char* const blend_mask_notype;
extern const char* const glsl_viewmaskascolormask;
extern const char* const glsl_viewmaskasalpha;
extern const char* const glsl_viewmaskasresult;
extern const char* const glsl_viewmaskassquare;
extern const char* const glsl_Motion_Animation;
extern const char* const glsl_Do_Gradient;
extern const char* const glsl_Blend_Mask_NoType;
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
    const char* prefix = nullptr;  // shared helpers joined before the source
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
         {Same("YV12Resize", kColorSpaceYV12, k8), Same("YV12Resize_UINT16", kColorSpaceYV12, k16),
          Same("YUVAResize", kColorSpaceYUVA, k8)}},
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
        {clsrc::pq_hlg, {Same("PQToHLG", kColorSpaceBGRA, k8), Same("HLGToPQ", kColorSpaceBGRA, k8)},
         clsrc::hdr_curves},
        {clsrc::change_colorspace, {Same("change_colorspace", kColorSpaceBGRA, k8)}},
        {clsrc::hdr2sdr, {Same("HDR2SDR", kColorSpaceBGRA, k8)}, clsrc::hdr_curves},
        {clsrc::hdr_cube, {Same("HDR2SDR_Cube", kColorSpaceBGRA, k8)}},
        {clsrc::sdr2hdr, {Same("SDR2HDR", kColorSpaceBGRA, k8)}, clsrc::hdr_curves},
        {clsrc::deinterlace,
         {Same("Deinterlace", kColorSpaceNV12, k8), Same("Deinterlace_16", kColorSpaceNV12, kP010),
          Same("yv12_frame_deinterlace", kColorSpaceYV12, k8), Same("yv12_frame_deinterlace_UINT16", kColorSpaceYV12, k16),
          Same("yuva_frame_deinterlace", kColorSpaceYUVA, k8),
          Same("yuva_frame_deinterlace_UINT16", kColorSpaceYUVA, k16)}},
        {clsrc::fill_frame,
         {GPUKernelDesc{"FillFrame", kColorSpaceNone, k8, kColorSpaceBGRA, k8},
          GPUKernelDesc{"FillFrame_yuv", kColorSpaceNone, k8, kColorSpaceYV12, k8},
          GPUKernelDesc{"FillFrame_yuva", kColorSpaceNone, k8, kColorSpaceYUVA, k8},
          GPUKernelDesc{"FillFrame_nv12", kColorSpaceNone, k8, kColorSpaceNV12, k8}}},
        {clsrc::premultiply,
         {Same("Premultiply", kColorSpaceBGRA, k8), Same("yuva_frame_premultiply", kColorSpaceYUVA, k8),
          Same("yuva_frame_premultiply_UINT16", kColorSpaceYUVA, k16)}},
        {clsrc::frame_interpolation,
         {Same("rgba_frame_interpolation", kColorSpaceBGRA, k8), Same("frame_interpolation", kColorSpaceNV12, k8),
          Same("frame_interpolation_16", kColorSpaceNV12, kP010),
          Same("yv12_frame_interpolation", kColorSpaceYV12, k8),
          Same("yv12_frame_interpolation_UINT16", kColorSpaceYV12, k16),
          Same("yuva_frame_interpolation", kColorSpaceYUVA, k8),
          Same("yuva_frame_interpolation_UINT16", kColorSpaceYUVA, k16)}},
        {clsrc::channel_control, {Same("channelControl", kColorSpaceBGRA, k8)}},
        {clsrc::mask_views,
         {Same("viewmaskasalpha_cl", kColorSpaceBGRA, k8), Same("viewmaskasresult_cl", kColorSpaceBGRA, k8),
          Same("viewmaskascolormask_cl", kColorSpaceBGRA, k8), Same("viewmaskassquare_cl", kColorSpaceBGRA, k8)}},
        {clsrc::motion_animation, {Same("motion_animation_cl", kColorSpaceBGRA, k8)}},
        {clsrc::do_gradient, {GPUKernelDesc{"do_gradient_cl", kColorSpaceNone, k8, kColorSpaceBGRA, k8}}},
        {clsrc::blend_mask_notype, {Same("blend_mask_notype_cl", kColorSpaceBGRA, k8)}},
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
    for (const Program& p : programs) enter(p.prefix ? std::string(p.prefix) + p.source : std::string(p.source), p.kernels);
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

AlgorithmMap BuildOpenGLProgramTable() {
    using namespace zrp;
    const Program programs[] = {
        {clsrc::glsl_viewmaskascolormask, {Same("viewmaskascolormask", kColorSpaceBGRA, k8)}},
        {clsrc::glsl_viewmaskasalpha, {Same("viewmaskasalpha", kColorSpaceBGRA, k8)}},
        {clsrc::glsl_viewmaskasresult, {Same("viewmaskasresult", kColorSpaceBGRA, k8)}},
        {clsrc::glsl_viewmaskassquare, {Same("viewmaskassquare", kColorSpaceBGRA, k8)}},
        {clsrc::glsl_Motion_Animation, {Same("Motion_Animation", kColorSpaceBGRA, k8)}},
        {clsrc::glsl_Do_Gradient, {GPUKernelDesc{"Do_Gradient", kColorSpaceNone, k8, kColorSpaceBGRA, k8}}},
        {clsrc::glsl_Blend_Mask_NoType, {Same("Blend_Mask_NoType", kColorSpaceBGRA, k8)}},
    };
    AlgorithmMap table;
    for (const Program& p : programs) {
        auto data = std::make_shared<GPUKernelData>();
        data->source = p.source;
        data->platform = OpenGL;
        data->kernels = p.kernels;
        for (const GPUKernelDesc& k : data->kernels) table.emplace(k.name, data);
    }
    return table;
}

}  // namespace orvex
