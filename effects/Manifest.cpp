#include "effects/Manifest.h"

#include <mutex>
#include <strings.h>

#include "effects/colour/ColorEffects.h"
#include "effects/blur/BlurEffects.h"
#include "effects/geometry/DistortionEffects.h"
#include "effects/geometry/GeometryEffects.h"
#include "effects/generators/GeneratorEffects.h"
#include "effects/analysis/AnalysisEffects.h"
#include "effects/glitch/GlitchEffects.h"

namespace orvex {
namespace {

template <class T>
EffectSurface* Make() {
    return new T();
}

constexpr uint32_t kPathNone = 0;
constexpr uint32_t kCpuAndOpenCL = kPathCpu | kPathOpenCL;

// Every built-in effect refuses a frame that is not 8-bit BGRA on either side with UnsupportedFrame,
// so that a host never reads a refusal as a rendered frame.
template <class T>
BuiltinEffect Row(const char* name, const char* kernelKey, const char* programFile, uint32_t paths,
                  ResultCode reject = UnsupportedFrame, OutputSize outputSize = OutputSize::SameAsInput) {
    return {name, &Make<T>, kernelKey, programFile, paths, &typeid(T), reject, outputSize};
}

#define VE(n) "video/effect/" n
#define KEY(n) "video_effect_" n
#define CL(n) n "/" n ".cl"
// The usual row: the kernel and its program are named after the effect.
#define NAMED(n) VE(n), KEY(n), CL(n)

// The built-in effects, in the table order hosts know. The glitch effects tell hosts of no
// path, while Render still serves their CPU bodies.
const BuiltinEffect* Table(size_t* count) {
    static const BuiltinEffect kBuiltins[] = {
        Row<VideoEffectOffset>(NAMED("offset"), kCpuAndOpenCL),
        Row<VideoEffectTransform>(NAMED("transform"), kCpuAndOpenCL, UnsupportedFrame, OutputSize::Any),
        Row<VideoEffectSharpen>(NAMED("sharpen"), kCpuAndOpenCL),
        Row<VideoEffectHorizontalFilp>(NAMED("horizontal_filp"), kCpuAndOpenCL),
        Row<VideoEffectVerticalFilp>(NAMED("vertical_filp"), kCpuAndOpenCL),
        Row<VideoEffectCrop>(NAMED("crop"), kCpuAndOpenCL),
        Row<VideoEffectEdgeFeather>(VE("edge_feather"), nullptr, nullptr, kPathCpu),
        Row<VideoEffectGammaCorrection>(NAMED("gamma_correction"), kCpuAndOpenCL),
        Row<VideoEffectUnsharpenMask>(NAMED("unsharpen_mask"), kPathCpu),
        Row<VideoEffectColorBanlance>(NAMED("color_banlance"), kCpuAndOpenCL),
        Row<VideoEffectColorPass>(NAMED("color_pass"), kCpuAndOpenCL),
        Row<VideoEffectColorReplace>(NAMED("color_replace"), kCpuAndOpenCL),
        Row<VideoEffectCornerPin>(NAMED("corner_pin"), kCpuAndOpenCL),
        Row<VideoEffectBlackWhiteHitfilm>(NAMED("black_white_hitfilm"), kCpuAndOpenCL),
        Row<VideoEffectColorBalanceHLS>(VE("color_balance_hls"), KEY("color_banlance"), CL("color_banlance"),
                                        kCpuAndOpenCL),
        Row<VideoEffectColorCorrectionColorBalance>(NAMED("color_correction_color_balance"), kCpuAndOpenCL),
        Row<VideoEffectChannel_Mixer>(NAMED("channel_mixer"), kCpuAndOpenCL),
        Row<VideoEffectTint>(NAMED("tint"), kCpuAndOpenCL),
        Row<VideoEffectHistogramEqualize>(NAMED("equalizer"), kCpuAndOpenCL),
        Row<VideoEffectBrightnessContrast>(NAMED("brightness_contrast"), kCpuAndOpenCL),
        Row<VideoEffectVignette>(VE("vignette"), nullptr, nullptr, kPathCpu),
        Row<VideoEffectGaussianBlur>(NAMED("gaussian_blur"), kCpuAndOpenCL),
        Row<VideoEffectChange2Color>(NAMED("change_to_color"), kPathCpu),
        Row<VideoEffectChannelInvert>(NAMED("channel_invert"), kCpuAndOpenCL),
        Row<VideoEffectAdjustLevels>(NAMED("adjust_levels"), kCpuAndOpenCL),
        Row<VideoEffectDirectionBlur>(NAMED("direction_blur"), kPathCpu),
        Row<VideoEffectCameraBlur>(NAMED("camera_blur"), kPathCpu),
        Row<VideoEffectSpherize>(NAMED("spherize"), kCpuAndOpenCL),
        Row<VideoEffectLensDistortion>(NAMED("lens_distortion"), kPathCpu),
        Row<VideoEffectMirror>(NAMED("mirror"), kCpuAndOpenCL),
        Row<VideoEffectMagnify>(NAMED("magnify"), kPathCpu),
        Row<VideoEffectCheckerboard>(NAMED("checkerboard"), kCpuAndOpenCL),
        Row<VideoEffectGrid>(NAMED("grid"), kCpuAndOpenCL),
        Row<VideoEffectRamp>(NAMED("ramp"), kCpuAndOpenCL),
        Row<VideoEffectExtract>(NAMED("extract"), kCpuAndOpenCL),
        Row<VideoEffectTwirl>(NAMED("twirl"), kCpuAndOpenCL),
        Row<VideoEffectChannelBlur>(NAMED("channel_blur"), kPathCpu),
        Row<VideoEffect4ColorGradient>(NAMED("4_color_gradient"), kCpuAndOpenCL),
        Row<VideoEffectCircle>(NAMED("circle"), kCpuAndOpenCL),
        Row<VideoEffectLeaveColor>(NAMED("leave_color"), kCpuAndOpenCL),
        Row<VideoEffectLensFlare>(NAMED("lens_flare"), kCpuAndOpenCL),
        Row<VideoEffectPaintBucket>(NAMED("paint_bucket"), kPathCpu),
        Row<VideoEffectCompoundBlur>(NAMED("compound_blur"), kPathCpu),
        Row<VideoEffectAutoColor>(NAMED("auto_color"), kCpuAndOpenCL),
        Row<VideoEffectAutoContrast>(NAMED("auto_contrast"), kCpuAndOpenCL),
        Row<VideoEffectAutoLevels>(NAMED("auto_levels"), kCpuAndOpenCL),
        Row<VideoEffectEmboss>(NAMED("emboss"), kCpuAndOpenCL),
        Row<VideoEffectColorEmboss>(NAMED("color_emboss"), kCpuAndOpenCL),
        Row<VideoEffectFindEdges>(NAMED("find_edges"), kCpuAndOpenCL),
        Row<VideoEffectThreshold>(NAMED("threshold"), kCpuAndOpenCL),
        Row<VideoEffectMotion>(VE("motion"), KEY("transform"), CL("transform"), kCpuAndOpenCL, UnsupportedFrame,
                               OutputSize::Any),
        Row<VideoEffectGlitchBoxShift>(VE("glitch_box_shift"), nullptr, nullptr, kPathNone),
        Row<VideoEffectGlitchChromaticAberration>(VE("glitch_chromatic_aberration"), nullptr, nullptr,
                                                  kPathNone),
        Row<VideoEffectGlitchFractalBox>(VE("glitch_fractal_box"), nullptr, nullptr, kPathNone),
    };
    *count = sizeof kBuiltins / sizeof kBuiltins[0];
    return kBuiltins;
}

#undef VE
#undef KEY
#undef CL
#undef NAMED

struct SelfRegistry {
    std::mutex mutex;
    std::map<std::string, EffectFactory> map;
};

SelfRegistry& Registry() {
    static SelfRegistry registry;
    return registry;
}

}  // namespace

const BuiltinEffect* BuiltinEffects(size_t* count) {
    size_t n = 0;
    const BuiltinEffect* rows = Table(&n);
    if (count) *count = n;
    return rows;
}

const BuiltinEffect* FindBuiltinEffect(const char* name) {
    if (!name) return nullptr;
    size_t n = 0;
    const BuiltinEffect* rows = Table(&n);
    for (size_t i = 0; i < n; ++i)
        if (strcasecmp(rows[i].name, name) == 0) return &rows[i];
    return nullptr;
}

const BuiltinEffect* FindBuiltinEffect(const std::type_info& type) {
    size_t n = 0;
    const BuiltinEffect* rows = Table(&n);
    for (size_t i = 0; i < n; ++i)
        if (rows[i].type && *rows[i].type == type) return &rows[i];
    return nullptr;
}

void RegisterSelfEffect(const std::string& name, EffectFactory factory) {
    SelfRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.map[name] = factory;
}

EffectFactory FindSelfEffect(const std::string& name) {
    SelfRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.map.find(name);
    return it == r.map.end() ? nullptr : it->second;
}

std::map<std::string, EffectFactory> SelfEffects() {
    SelfRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.map;
}

}  // namespace orvex
