// The OpenCL bodies of the colour effects: each passes its kernel arguments, in the order its
// program declares them, and dispatches its program (resources/video/effect/<name>/<name>.cl).
#include "effects/ColorEffects.h"
#include "lab/GpuDispatch.h"

namespace orvex {

ResultCode VideoEffectBrightnessContrast::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                        const std::shared_ptr<zrp::Texture>& output) {
    KernelArgs args;
    args.Float("bright", bright_).Float("contrast", contrast_);
    return RunEffectKernel("video_effect_brightness_contrast", args, input, output);
}

ResultCode VideoEffectGammaCorrection::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                     const std::shared_ptr<zrp::Texture>& output) {
    KernelArgs args;
    args.Float("gamma", static_cast<float>(gamma_ * 0.1));
    return RunEffectKernel("video_effect_gamma_correction", args, input, output);
}

ResultCode VideoEffectTint::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                          const std::shared_ptr<zrp::Texture>& output) {
    KernelArgs args;
    args.Int("black_red", blackRed_).Int("black_green", blackGreen_).Int("black_blue", blackBlue_);
    args.Int("white_red", whiteRed_).Int("white_green", whiteGreen_).Int("white_blue", whiteBlue_);
    args.Float("amount", amount_);
    return RunEffectKernel("video_effect_tint", args, input, output);
}

ResultCode VideoEffectChannel_Mixer::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                   const std::shared_ptr<zrp::Texture>& output) {
    static const char* const kNames[3][4] = {
        {"red_channel_red", "red_channel_green", "red_channel_blue", "red_channel_const"},
        {"green_channel_red", "green_channel_green", "green_channel_blue", "green_channel_const"},
        {"blue_channel_red", "blue_channel_green", "blue_channel_blue", "blue_channel_const"},
    };
    KernelArgs args;
    for (int o = 0; o < 3; ++o)
        for (int i = 0; i < 4; ++i) args.Int(kNames[o][i], terms_[o][i]);
    args.Int("monochrome_flag", monochrome_ ? 1 : 0);
    return RunEffectKernel("video_effect_channel_mixer", args, input, output);
}

// The gain and the HLS balance share one program under one key: each passes the other's
// arguments at neutral values and picks its part with "mode".
ResultCode VideoEffectColorBanlance::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                   const std::shared_ptr<zrp::Texture>& output) {
    KernelArgs args;
    args.Float("red_ratio", static_cast<float>(red_ * 0.01))
        .Float("green_ratio", static_cast<float>(green_ * 0.01))
        .Float("blue_ratio", static_cast<float>(blue_ * 0.01));
    args.Float("hue", 0).Float("lightness", 0).Float("saturation", 0).Int("mode", 0);
    return RunEffectKernel("video_effect_color_banlance", args, input, output);
}

ResultCode VideoEffectColorBalanceHLS::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                     const std::shared_ptr<zrp::Texture>& output) {
    KernelArgs args;
    args.Float("red_ratio", 1).Float("green_ratio", 1).Float("blue_ratio", 1);
    args.Float("hue", hue_).Float("lightness", lightness_).Float("saturation", saturation_).Int("mode", 1);
    return RunEffectKernel("video_effect_color_banlance", args, input, output);
}

ResultCode VideoEffectBlackWhiteHitfilm::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                       const std::shared_ptr<zrp::Texture>& output) {
    KernelArgs args;
    args.Float("red_percent", red_).Float("yellow_percent", yellow_).Float("green_percent", green_);
    args.Float("cyan_percent", cyan_).Float("blue_percent", blue_).Float("magenta_percent", magenta_);
    return RunEffectKernel("video_effect_black_white_hitfilm", args, input, output);
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
    return RunEffectKernel("video_effect_color_correction_color_balance", args, input, output);
}

ResultCode VideoEffectChannelInvert::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                   const std::shared_ptr<zrp::Texture>& output) {
    KernelArgs args;
    args.Int("channel_index", channelIndex_).Int("alpha_blend", alphaBlend_);
    return RunEffectKernel("video_effect_channel_invert", args, input, output);
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
    return RunEffectKernel("video_effect_adjust_levels", args, input, output);
}

ResultCode VideoEffectColorPass::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                               const std::shared_ptr<zrp::Texture>& output) {
    KernelArgs args;
    args.Byte("pass_r", passRed_).Byte("pass_g", passGreen_).Byte("pass_b", passBlue_);
    args.Int("reverse", reverse_ ? 1 : 0).Int("similar", similar_);
    return RunEffectKernel("video_effect_color_pass", args, input, output);
}

ResultCode VideoEffectColorReplace::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                  const std::shared_ptr<zrp::Texture>& output) {
    KernelArgs args;
    args.Byte("target_r", targetRed_).Byte("target_g", targetGreen_).Byte("target_b", targetBlue_);
    args.Byte("replace_r", replaceRed_).Byte("replace_g", replaceGreen_).Byte("replace_b", replaceBlue_);
    args.Int("soild_flag", solid_ ? 1 : 0).Int("similar", similar_);
    return RunEffectKernel("video_effect_color_replace", args, input, output);
}

ResultCode VideoEffectLeaveColor::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                const std::shared_ptr<zrp::Texture>& output) {
    KernelArgs args;
    args.Int("red_leave", redLeave_).Int("green_leave", greenLeave_).Int("blue_leave", blueLeave_);
    args.Float("amount", amount_).Float("tolerance", tolerance_);
    return RunEffectKernel("video_effect_leave_color", args, input, output);
}

}  // namespace orvex
