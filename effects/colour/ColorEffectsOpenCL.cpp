// The OpenCL bodies of the colour effects: each passes its kernel arguments, in the order its
// program declares them, and dispatches its program (resources/video/effect/<name>/<name>.cl).
#include <algorithm>

#include "effects/colour/ColorEffects.h"
#include "effects/ColorEffectsShared.h"
#include "gpu/GpuDispatch.h"
#include "imagecpu/SaturatingCasts.h"

namespace orvex {

// The gain and the HLS balance share one program under one key: each passes the other's
// arguments at neutral values and picks its part with "mode".
ResultCode VideoEffectColorBanlance::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                   const std::shared_ptr<zrp::Texture>& output) {
    uint8_t t[3][256];
    GainTables(t);
    KernelArgs args;
    args.Block("m_b", t[0], 256).Block("m_g", t[1], 256).Block("m_r", t[2], 256);
    static const uint8_t kNoHls[2] = {};
    args.Block("ls_table", kNoHls, sizeof kNoHls).Float("hue", 0).Int("mode", 0);
    return RunKernel(args, input, output);
}

ResultCode VideoEffectColorBalanceHLS::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                     const std::shared_ptr<zrp::Texture>& output) {
    KernelArgs args;
    AddDeclaredKernelArgs(args);
    static const uint8_t kUnused[256] = {};
    args.Block("m_b", kUnused, 256).Block("m_g", kUnused, 256).Block("m_r", kUnused, 256).Int("mode", 1);
    const std::vector<uint8_t>& table = KernelTable();
    args.Block("ls_table", table.data(), 2 * 256 * 256);
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

ResultCode VideoEffectBrightnessContrast::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                        const std::shared_ptr<zrp::Texture>& output) {
    bool identity = false;
    const std::array<uint8_t, 256> table = BuildTable(&identity);
    KernelArgs args;
    args.Block("bc_table", table.data(), table.size());
    return RunKernel(args, input, output);
}

ResultCode VideoEffectTint::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                          const std::shared_ptr<zrp::Texture>& output) {
    uint8_t target[3][256];
    BuildTables(target);
    KernelArgs args;
    args.Block("target", target, sizeof target).Block("mix_table", mix_.data(), mix_.size());
    return RunKernel(args, input, output);
}

ResultCode VideoEffectLeaveColor::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                const std::shared_ptr<zrp::Texture>& output) {
    int k = 0, theta = 0;
    Weights(&k, &theta);
    KernelArgs args;
    AddDeclaredKernelArgs(args);
    args.Int("mix_k", k).Int("theta", theta);
    return RunKernel(args, input, output);
}

ResultCode VideoEffectBlackWhiteHitfilm::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                       const std::shared_ptr<zrp::Texture>& output) {
    // The luma terms are small (blue 0..29, green 0..149, red 0..76), so the gray of every triple,
    // summed in double as the CPU body sums it, fits a 346,500-byte table; single precision alone
    // truncates a few sums that land within its rounding of a whole number the other way.
    double w[3];
    Weights(w);
    if (grayTable_.empty() || !std::equal(w, w + 3, grayWeights_)) {
        grayTable_.resize(30 * 150 * 77);
        size_t i = 0;
        for (int b = 0; b < 30; ++b)
            for (int g = 0; g < 150; ++g)
                for (int r = 0; r < 77; ++r)
                    grayTable_[i++] = static_cast<uint8_t>(ClampToByte(b * w[0] + g * w[1] + r * w[2]));
        std::copy(w, w + 3, grayWeights_);
    }
    KernelArgs args;
    args.Block("gray_table", grayTable_.data(), grayTable_.size());
    return RunKernel(args, input, output);
}

ResultCode VideoEffectGammaCorrection::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                     const std::shared_ptr<zrp::Texture>& output) {
    uint8_t table[256];
    BuildTable(table);
    KernelArgs args;
    args.Block("gamma_table", table, sizeof table);
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
    // pow per byte value runs once per frame on the host; the kernel looks the bytes up.
    uint8_t t[3][256];
    FoldLevelsTables(groups, t);
    KernelArgs args;
    args.Block("m_b", t[0], 256).Block("m_g", t[1], 256).Block("m_r", t[2], 256);
    return RunKernel(args, input, output);
}

}  // namespace orvex
