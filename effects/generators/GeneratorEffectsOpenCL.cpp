// The OpenCL bodies of the generator effects: each passes its kernel arguments, in the order its
// program declares them, and dispatches its program (resources/video/effect/<name>/<name>.cl). The
// mask generators hand their blend table to the kernel, so both bodies read the same bytes.
#include <algorithm>
#include <climits>

#include "effects/generators/GeneratorEffects.h"
#include "imagecpu/BlendTables.h"
#include "gpu/GpuDispatch.h"
#include "imagecpu/SaturatingCasts.h"

namespace orvex {

namespace {


bool TextureSize(const std::shared_ptr<zrp::Texture>& t, int* w, int* h) {
    if (!t || !t->GetContext()) return false;
    *w = t->GetContext()->GetWidth();
    *h = t->GetContext()->GetHeight();
    return *w > 0 && *h > 0;
}

// The table a pattern blend mode reads (3..14); the other modes ignore it, but the argument
// must still hold a table.
const uint8_t* PatternTable(int mode) {
    return GetBlendTables().table(mode >= 3 && mode <= 14 ? mode - 3 : kTableMultiply);
}

void PatternArgs(KernelArgs& args, const uint8_t color[3], int alphaPercent, int mode) {
    args.Byte("color_r", color[2]).Byte("color_g", color[1]).Byte("color_b", color[0]);
    args.Int("alpha_percent", alphaPercent).Int("blend_mode", mode);
    args.Block("blend_table", PatternTable(mode), kBlendTableBytes);
}

}  // namespace

ResultCode VideoEffectGrid::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                          const std::shared_ptr<zrp::Texture>& output) {
    int w, h;
    if (!TextureSize(output, &w, &h)) return Failed;
    const GridLayout g = Layout(w, h);
    const PatternBlend b = Blend();
    KernelArgs args;
    args.Int("anchor_x", g.px).Int("anchor_y", g.py).Int("cell_w", ClampToInt32(g.cellW)).Int("cell_h", ClampToInt32(g.cellH));
    args.Int("thickness", g.thickness).Int("lines_h", ClampToInt32(g.linesH)).Int("lines_v", ClampToInt32(g.linesV));
    args.Int("reverse_value", g.reverse ? 1 : 0).Int("feather_w", g.featherW).Int("feather_h", g.featherH);
    PatternArgs(args, b.color, alpha_, b.mode);
    return RunKernel(args, input, output);
}

ResultCode VideoEffectCheckerboard::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                  const std::shared_ptr<zrp::Texture>& output) {
    int w, h;
    if (!TextureSize(output, &w, &h)) return Failed;
    const CheckerLayout g = Layout(w, h);
    const PatternBlend b = Blend();
    KernelArgs args;
    args.Int("anchor_x", g.px).Int("anchor_y", g.py).Int("cell_w", ClampToInt32(g.cellW)).Int("cell_h", ClampToInt32(g.cellH));
    args.Int("feather_w", g.featherW).Int("feather_h", g.featherH);
    PatternArgs(args, b.color, alpha_, b.mode);
    return RunKernel(args, input, output);
}

ResultCode VideoEffectCircle::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                            const std::shared_ptr<zrp::Texture>& output) {
    const PatternBlend b = Blend();
    KernelArgs args;
    args.Float("center_x", centerX_).Float("center_y", centerY_).Float("radius", radius_);
    args.Int("edge_mode", std::clamp(edgeMode_, 0, 3)).Float("thickness", thickness_);
    args.Float("feather_radius_outer", featherOuter_).Float("feather_radius_inner", featherInner_);
    args.Int("reverse_value", reverse_ ? 1 : 0);
    PatternArgs(args, b.color, alpha_, b.mode);
    return RunKernel(args, input, output);
}

ResultCode VideoEffectRamp::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                          const std::shared_ptr<zrp::Texture>& output) {
    int w, h;
    if (!TextureSize(output, &w, &h)) return Failed;
    const RampLayout r = Layout(w, h);
    const std::vector<int8_t>& offsets = ScatterOffsets(w, h);
    const int8_t none = 0;
    KernelArgs args;
    args.Int("x0", r.x0).Int("y0", r.y0).Int("x1", r.x1).Int("y1", r.y1).Float("ramp_length", r.length);
    args.Int("ramp_mode", r.mode);
    args.Byte("begin_b", r.begin[0]).Byte("begin_g", r.begin[1]).Byte("begin_r", r.begin[2]);
    args.Byte("end_b", r.end[0]).Byte("end_g", r.end[1]).Byte("end_r", r.end[2]);
    args.Int("alpha_percent", alpha_).Int("scatter", offsets.empty() ? 0 : 1);
    args.Block("offsets", offsets.empty() ? &none : offsets.data(), offsets.empty() ? 1 : offsets.size());
    return RunKernel(args, input, output);
}

ResultCode VideoEffect4ColorGradient::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                    const std::shared_ptr<zrp::Texture>& output) {
    static const char* const kColorNames[4][3] = {{"color1_b", "color1_g", "color1_r"},
                                                  {"color2_b", "color2_g", "color2_r"},
                                                  {"color3_b", "color3_g", "color3_r"},
                                                  {"color4_b", "color4_g", "color4_r"}};
    int w, h;
    if (!TextureSize(output, &w, &h)) return Failed;
    // The points and their reaches are the frame's: worked out here once, as for the CPU body, not
    // once per pixel.
    const GradientLayout layout = Layout(w, h);
    int32_t points[4][2];
    float reaches[4][2];
    for (int i = 0; i < 4; ++i) {
        points[i][0] = layout.px[i], points[i][1] = layout.py[i];
        reaches[i][0] = layout.reach[i], reaches[i][1] = std::max(layout.reach[i], 1.0f);
    }
    const int mode = std::clamp(blendMode_, 0, 17);
    const int table = BlendModeTable(LayerMode(mode));
    KernelArgs args;
    for (int i = 0; i < 4; ++i)
        args.Byte(kColorNames[i][0], colors_[i][2]).Byte(kColorNames[i][1], colors_[i][1]).Byte(kColorNames[i][2], colors_[i][0]);
    args.Block("points", points, sizeof points).Block("reaches", reaches, sizeof reaches);
    args.Int("alpha_percent", alpha_).Int("blend_mode", mode);
    args.Block("blend_table", GetBlendTables().table(table >= 0 ? table : kTableMultiply), kBlendTableBytes);
    return RunKernel(args, input, output);
}

ResultCode VideoEffectLensFlare::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                               const std::shared_ptr<zrp::Texture>& output) {
    int w, h;
    if (!TextureSize(output, &w, &h)) return Failed;
    const auto components = Components(w, h);
    // Eight floats a component: x, y, size, type, k_R, k_G, k_B, reach.
    float table[kFlareComponents * 8] = {};
    for (int i = 0; i < kFlareComponents; ++i) {
        const FlareComponent& c = components[i];
        float* t = table + 8 * i;
        t[0] = c.x, t[1] = c.y, t[2] = c.size, t[3] = static_cast<float>(c.type);
        t[4] = c.k[0], t[5] = c.k[1], t[6] = c.k[2], t[7] = FlareReach(c);
    }
    KernelArgs args;
    args.Block("components", table, sizeof table);
    return RunKernel(args, input, output);
}

}  // namespace orvex
