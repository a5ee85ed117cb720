#include "visual/VisualProcess.h"

#include <cmath>
#include <future>
#include <string>
#include <vector>

#include "corelog.h"
#include "gpu/GpuDispatch.h"
#include "visual/ConvertCpu16.h"
#include "visual/ProgramTable.h"

namespace orvex {
namespace {

// What the host reads from GetCapabilityCode; its meaning belongs to the host.
constexpr int32_t kCapabilityCode = 6;

}  // namespace

VisualProcess::VisualProcess() {
    // Rows in pixel order B, G, R so that BGRA pixels transform without a channel swap.
    rgbToLms_ = cv::Matx33f(0.0402f, 0.5783f, 0.3811f,
                            0.0782f, 0.7244f, 0.1967f,
                            0.8444f, 0.1288f, 0.0241f);

    // Computed in double and rounded once, so each entry is the float nearest the exact value.
    const double r3 = 1.0 / std::sqrt(3.0);
    const double r6 = 1.0 / std::sqrt(6.0);
    const double r2 = 1.0 / std::sqrt(2.0);
    lmsToLab_ = cv::Matx33f(static_cast<float>(r3), static_cast<float>(r3), static_cast<float>(r3),
                            static_cast<float>(r6), static_cast<float>(r6), static_cast<float>(-2.0 * r6),
                            static_cast<float>(r2), static_cast<float>(-r2), 0.0f);
    lmsToLabScales_ = {static_cast<float>(r3), static_cast<float>(r6), static_cast<float>(r2)};

    // The 4:2:2 formats reach RGB and their crops only through these tables; host frames take the
    // kernels' arithmetic on the CPU (nearest sample when scaling, as the kernels).
    const Conversion yuvToRgb = [this](const char* kernel, const EffectFrame& in, EffectFrame& out, CLSMode mode) {
        if (!in.texture) return MatrixYuvToBgraCpu("orvex:YUVToRGB_CPU", in, out, mode, 0);
        return YUVToRGB_GPU(kernel, in, out, mode);
    };
    conversions_[YUV422][BGRA32] = yuvToRgb;
    conversions_[YUV422_16][BGRA32] = yuvToRgb;
    conversions_[YUV422_16][BGRA64] = yuvToRgb;
    conversions_[YUVA422][BGRA32] = yuvToRgb;
    conversions_[YUVA422_16][BGRA32] = yuvToRgb;
    conversions_[YUVA422_16][BGRA64] = yuvToRgb;

    const Crop yuvCrop = [this](const char* kernel, const EffectFrame& in, fxRectf rect, EffectFrame& out) {
        return YUVCrop(kernel, in, rect, out);
    };
    crops_[YUV422] = yuvCrop;
    crops_[YUV422_16] = yuvCrop;
}

// Out of line so that the LUT holder is destroyed where the object code lives.
VisualProcess::~VisualProcess() = default;

const VisualProcess::Conversion* VisualProcess::conversion(uint32_t inFmt, uint32_t outFmt) const {
    if (inFmt >= PIXFMT_COUNT || outFmt >= PIXFMT_COUNT || !conversions_[inFmt][outFmt]) return nullptr;
    return &conversions_[inFmt][outFmt];
}

const VisualProcess::Crop* VisualProcess::crop(uint32_t fmt) const {
    if (fmt >= PIXFMT_COUNT || !crops_[fmt]) return nullptr;
    return &crops_[fmt];
}

// --- state and set-up --------------------------------------------------------------------------

ResultCode VisualProcess::SetATLUFactory(zrp::ATLUFactory* factory) {
    if (!factory) {
        ORVEX_LOG(6, "orvex:SetATLUFactory", "ATLUFactory is nullptr!!");
        return Failed;
    }
    // Shared with the lab: effects and this service dispatch through the same factory.
    g_atlu_factory = factory;
    if (factory->GetDeviceContext("opencl")) LoadOpenCLTable();
    if (factory->GetDeviceContext("opengl")) LoadOpenGLTable();
    return Ok;
}

void VisualProcess::LoadOpenCLTable() {
    if (gpuLoaded_) return;
    ORVEX_LOG(1, "orvex", "LoadAllGPUAlgorithm_OPENCL begin");
    openclTable_ = BuildOpenCLProgramTable();
    AddAlgorithms(openclTable_);
    // Compiling takes a while per program, so the most used ones build side by side now rather
    // than on their first frame. A name whose program is not in this build is not in the table:
    // its registration answers 1 at once, with nothing to log.
    std::vector<std::future<int>> warmUp;
    for (const char* name : {"NV12ToRGB", "MAIN", "resize_cubic", "NV12Resize", "BlendAndTransform"})
        warmUp.push_back(std::async(std::launch::async, [name] { return EnsureAlgorithmRegistered(name); }));
    for (auto& w : warmUp) w.get();
    ORVEX_LOG(1, "orvex", "LoadAllGPUAlgorithm_OPENCL end");
    gpuLoaded_ = true;
}

void VisualProcess::LoadOpenGLTable() {
    if (glLoaded_) return;
    AddAlgorithms(BuildOpenGLProgramTable());
    glLoaded_ = true;
}

ResultCode VisualProcess::SetResourcePath(const char* path) {
    if (!path) {
        // Keep the path already set: a null from the host is a mistake, not a request to clear it.
        ORVEX_LOG(6, "orvex:SetResourcePath", "input is nullptr!!");
        return InvalidArgument;
    }
    resourcePath_ = path;
    return Ok;
}

ResultCode VisualProcess::GetCapabilityCode(int32_t* code) {
    if (!code) {
        ORVEX_LOG(6, "orvex:GetCapabilityCode", "input is nullptr!!");
        return InvalidArgument;
    }
    *code = kCapabilityCode;
    return Ok;
}

ResultCode VisualProcess::GetColorReferenceStats(double* stats) {
    if (!stats) {
        ORVEX_LOG(6, "orvex:GetColorReferenceStats", "input is nullptr!!");
        return Failed;
    }
    for (size_t i = 0; i < statsCache_.size(); ++i) stats[i] = refEmpty_ ? 0.0 : statsCache_[i];
    return Ok;
}

ResultCode VisualProcess::Convert(ColorSpace::pl_color_repr repr, ColorSpace::pl_color_space space,
                                  const EffectFrame& in, EffectFrame& intermediate, EffectFrame& out, int32_t quality,
                                  int32_t alphaMode) {
    // The short form stretches to the output (resize type 0).
    return Convert(repr, space, in, intermediate, out, 0, quality, alphaMode);
}

}  // namespace orvex
