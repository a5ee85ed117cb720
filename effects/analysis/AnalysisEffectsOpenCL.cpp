// The OpenCL bodies of the analysis effects. Measurements are taken on the host from the mapped
// input, as on the CPU path; the kernels (resources/video/effect/<name>/<name>.cl) do the mapping.
#include <bit>

#include "effects/analysis/AnalysisEffects.h"
#include "gpu/GpuDispatch.h"

namespace orvex {
namespace {

// Runs `measure` on the input texture mapped into host memory; false when it cannot be mapped
// as 8-bit BGRA.
template <class Fn>
bool MeasureMapped(const std::shared_ptr<zrp::Texture>& input, Fn&& measure) {
    if (!input) return false;
    TextureHostMapping map;
    if (!map.Map(input, 0, true) || !IsBGRA8(map.frame().pixel_fmt)) return false;
    measure(WrapBGRA(map.frame()));
    return true;
}

}  // namespace

ResultCode VideoEffectAutoContrast::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                  const std::shared_ptr<zrp::Texture>& output) {
    if (threshold_ != keptThreshold_ && !MeasureMapped(input, [this](const cv::Mat& f) { Measure(f); }))
        return Failed;
    KernelArgs args;
    args.Int("gray_min", grayMin_).Int("gray_max", grayMax_).Int("alpha", alpha_);
    return RunKernel(args, input, output);
}

ResultCode VideoEffectAutoLevels::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                const std::shared_ptr<zrp::Texture>& output) {
    if (threshold_ != keptThreshold_ && !MeasureMapped(input, [this](const cv::Mat& f) { Measure(f); }))
        return Failed;
    KernelArgs args;
    args.Int("red_min", min_[2]).Int("red_max", max_[2]);
    args.Int("green_min", min_[1]).Int("green_max", max_[1]);
    args.Int("blue_min", min_[0]).Int("blue_max", max_[0]);
    args.Int("value", value_);
    return RunKernel(args, input, output);
}

ResultCode VideoEffectAutoColor::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                               const std::shared_ptr<zrp::Texture>& output) {
    if (threshold_ != keptThreshold_ && !MeasureMapped(input, [this](const cv::Mat& f) { Measure(f); }))
        return Failed;
    // The curves' pow per byte value runs once per frame on the host; the kernel looks bytes up.
    uint8_t mix[3][256];
    BuildTables(mix);
    KernelArgs args;
    args.Block("m_b", mix[0], 256).Block("m_g", mix[1], 256).Block("m_r", mix[2], 256);
    return RunKernel(args, input, output);
}

ResultCode VideoEffectExtract::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                             const std::shared_ptr<zrp::Texture>& output) {
    // The soft key of every luma, built for the frame as the CPU body builds it.
    std::array<uint8_t, 256> key = KeyTable();
    if (reverse_)
        for (uint8_t& v : key) v = static_cast<uint8_t>(255 - v);
    KernelArgs args;
    args.Block("key_table", key.data(), key.size());
    return RunKernel(args, input, output);
}

ResultCode VideoEffectHistogramEqualize::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                                       const std::shared_ptr<zrp::Texture>& output) {
    std::array<int32_t, 256> Q{};
    if (grain_ != 0 && !MeasureMapped(input, [&](const cv::Mat& f) { Q = CdfTable(f); })) return Failed;
    KernelArgs args;
    args.Block("cdf_table", Q.data(), sizeof Q);
    // The two integers travel as the bits of float arguments; the kernel reads them back as int.
    args.Float("equalize_grain", std::bit_cast<float>(grain_)).Float("mode", std::bit_cast<float>(mode_));
    return RunKernel(args, input, output);
}

}  // namespace orvex
