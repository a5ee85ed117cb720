// The OpenCL bodies of the colour effects: each passes its kernel arguments, in the order its
// program declares them, and dispatches its program (resources/video/effect/<name>/<name>.cl).
#include "effects/ColorEffects.h"
#include "gpu/GpuDispatch.h"

namespace orvex {

// The gain and the HLS balance share one program under one key: each passes the other's
// arguments at neutral values and picks its part with "mode".
ResultCode VideoEffectColorBanlance::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                   const std::shared_ptr<zrp::Texture>& output) {
    KernelArgs args;
    AddDeclaredKernelArgs(args);
    args.Float("hue", 0).Float("lightness", 0).Float("saturation", 0).Int("mode", 0);
    return RunKernel(args, input, output);
}

ResultCode VideoEffectColorBalanceHLS::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                     const std::shared_ptr<zrp::Texture>& output) {
    KernelArgs args;
    AddDeclaredKernelArgs(args);
    args.Float("red_ratio", 1).Float("green_ratio", 1).Float("blue_ratio", 1).Int("mode", 1);
    return RunKernel(args, input, output);
}

ResultCode VideoEffectColorCorrectionColorBalance::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                                 const std::shared_ptr<zrp::Texture>& output) {
    if (stale_) {
        BuildTables();
        stale_ = false;
    }
    bool allZero = true;
    for (int c = 0; c < 3; ++c) allZero = allZero && shadow_[c] == 0 && midtone_[c] == 0 && highlight_[c] == 0;
    // All zero is a copy on the CPU: the identity tables without the HLS round trip give it.
    KernelArgs args;
    args.Block("m_r", tables_[2].data(), 256).Block("m_g", tables_[1].data(), 256).Block("m_b", tables_[0].data(), 256);
    args.Int("reverse", reserveLuminosity_ && !allZero ? 1 : 0);
    return RunKernel(args, input, output);
}

ResultCode VideoEffectAdjustLevels::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                  const std::shared_ptr<zrp::Texture>& output) {
    Levels groups[4] = {groups_[0], groups_[1], groups_[2], groups_[3]};
    if (autoLevel_) {
        // The levels are measured on the host from the mapped input, as on the CPU path.
        TextureHostMapping map;
        if (!map.Map(input, 0, true) || !IsBGRA8(map.frame().pixel_fmt)) return Failed;
        AutoLevels(WrapBGRA(map.frame()), groups);
    }
    static const char* const kNames[4][5] = {
        {"rgb_input_black_level", "rgb_input_white_level", "rgb_output_black_level", "rgb_output_white_level",
         "rgb_gray_level"},
        {"red_input_black_level", "red_input_white_level", "red_output_black_level", "red_output_white_level",
         "red_gray_level"},
        {"green_input_black_level", "green_input_white_level", "green_output_black_level",
         "green_output_white_level", "green_gray_level"},
        {"blue_input_black_level", "blue_input_white_level", "blue_output_black_level", "blue_output_white_level",
         "blue_gray_level"},
    };
    KernelArgs args;
    for (int g = 0; g < 4; ++g) {
        args.Int(kNames[g][0], groups[g].inputBlack).Int(kNames[g][1], groups[g].inputWhite);
        args.Int(kNames[g][2], groups[g].outputBlack).Int(kNames[g][3], groups[g].outputWhite);
        args.Int(kNames[g][4], groups[g].gray);
    }
    return RunKernel(args, input, output);
}

}  // namespace orvex
