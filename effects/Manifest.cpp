#include "lab/BuiltinEffects.h"

#include <mutex>
#include <strings.h>

#include "effects/ColorEffects.h"
#include "effects/BlurEffects.h"
#include "effects/GeometryEffects.h"
#include "effects/GeneratorEffects.h"
#include "effects/AnalysisEffects.h"
#include "effects/GlitchEffects.h"

namespace orvex {
namespace {

template <class T>
EffectSurface* Make() {
    return new T();
}

#define VE(n) "video/effect/" n
#define KEY(n) "video_effect_" n
#define CL(n) n "/" n ".cl"

// Rows whose factory is null name effects whose family is not built yet: they are not creatable.
const BuiltinEffect kBuiltins[] = {
    {VE("offset"), &Make<VideoEffectOffset>, KEY("offset"), CL("offset")},
    {VE("transform"), &Make<VideoEffectTransform>, KEY("transform"), CL("transform")},
    {VE("sharpen"), &Make<VideoEffectSharpen>, KEY("sharpen"), CL("sharpen")},
    {VE("horizontal_filp"), &Make<VideoEffectHorizontalFilp>, KEY("horizontal_filp"), CL("horizontal_filp")},
    {VE("vertical_filp"), &Make<VideoEffectVerticalFilp>, KEY("vertical_filp"), CL("vertical_filp")},
    {VE("crop"), &Make<VideoEffectCrop>, KEY("crop"), CL("crop")},
    {VE("edge_feather"), &Make<VideoEffectEdgeFeather>, nullptr, nullptr},
    {VE("gamma_correction"), &Make<VideoEffectGammaCorrection>, KEY("gamma_correction"), CL("gamma_correction")},
    {VE("unsharpen_mask"), &Make<VideoEffectUnsharpenMask>, KEY("unsharpen_mask"), CL("unsharpen_mask")},
    {VE("color_banlance"), &Make<VideoEffectColorBanlance>, KEY("color_banlance"), CL("color_banlance")},
    {VE("color_pass"), &Make<VideoEffectColorPass>, KEY("color_pass"), CL("color_pass")},
    {VE("color_replace"), &Make<VideoEffectColorReplace>, KEY("color_replace"), CL("color_replace")},
    {VE("corner_pin"), &Make<VideoEffectCornerPin>, KEY("corner_pin"), CL("corner_pin")},
    {VE("black_white_hitfilm"), &Make<VideoEffectBlackWhiteHitfilm>, KEY("black_white_hitfilm"), CL("black_white_hitfilm")},
    {VE("color_balance_hls"), &Make<VideoEffectColorBalanceHLS>, KEY("color_banlance"), CL("color_banlance")},
    {VE("color_correction_color_balance"), &Make<VideoEffectColorCorrectionColorBalance>, KEY("color_correction_color_balance"),
     CL("color_correction_color_balance")},
    {VE("channel_mixer"), &Make<VideoEffectChannel_Mixer>, KEY("channel_mixer"), CL("channel_mixer")},
    {VE("tint"), &Make<VideoEffectTint>, KEY("tint"), CL("tint")},
    {VE("equalizer"), &Make<VideoEffectHistogramEqualize>, KEY("equalizer"), CL("equalizer")},
    {VE("brightness_contrast"), &Make<VideoEffectBrightnessContrast>, KEY("brightness_contrast"),
     CL("brightness_contrast")},
    {VE("vignette"), &Make<VideoEffectVignette>, nullptr, nullptr},
    {VE("gaussian_blur"), &Make<VideoEffectGaussianBlur>, KEY("gaussian_blur"), CL("gaussian_blur")},
    {VE("change_to_color"), &Make<VideoEffectChange2Color>, KEY("change_to_color"), CL("change_to_color")},
    {VE("channel_invert"), &Make<VideoEffectChannelInvert>, KEY("channel_invert"), CL("channel_invert")},
    {VE("adjust_levels"), &Make<VideoEffectAdjustLevels>, KEY("adjust_levels"), CL("adjust_levels")},
    {VE("direction_blur"), &Make<VideoEffectDirectionBlur>, KEY("direction_blur"), CL("direction_blur")},
    {VE("camera_blur"), &Make<VideoEffectCameraBlur>, KEY("camera_blur"), CL("camera_blur")},
    {VE("spherize"), &Make<VideoEffectSpherize>, KEY("spherize"), CL("spherize")},
    {VE("lens_distortion"), &Make<VideoEffectLensDistortion>, KEY("lens_distortion"), CL("lens_distortion")},
    {VE("mirror"), &Make<VideoEffectMirror>, KEY("mirror"), CL("mirror")},
    {VE("magnify"), &Make<VideoEffectMagnify>, KEY("magnify"), CL("magnify")},
    {VE("checkerboard"), &Make<VideoEffectCheckerboard>, KEY("checkerboard"), CL("checkerboard")},
    {VE("grid"), &Make<VideoEffectGrid>, KEY("grid"), CL("grid")},
    {VE("ramp"), &Make<VideoEffectRamp>, KEY("ramp"), CL("ramp")},
    {VE("extract"), &Make<VideoEffectExtract>, KEY("extract"), CL("extract")},
    {VE("twirl"), &Make<VideoEffectTwirl>, KEY("twirl"), CL("twirl")},
    {VE("channel_blur"), &Make<VideoEffectChannelBlur>, KEY("channel_blur"), CL("channel_blur")},
    {VE("4_color_gradient"), &Make<VideoEffect4ColorGradient>, KEY("4_color_gradient"), CL("4_color_gradient")},
    {VE("circle"), &Make<VideoEffectCircle>, KEY("circle"), CL("circle")},
    {VE("leave_color"), &Make<VideoEffectLeaveColor>, KEY("leave_color"), CL("leave_color")},
    {VE("lens_flare"), &Make<VideoEffectLensFlare>, KEY("lens_flare"), CL("lens_flare")},
    {VE("paint_bucket"), &Make<VideoEffectPaintBucket>, KEY("paint_bucket"), CL("paint_bucket")},
    {VE("compound_blur"), &Make<VideoEffectCompoundBlur>, KEY("compound_blur"), CL("compound_blur")},
    {VE("auto_color"), &Make<VideoEffectAutoColor>, KEY("auto_color"), CL("auto_color")},
    {VE("auto_contrast"), &Make<VideoEffectAutoContrast>, KEY("auto_contrast"), CL("auto_contrast")},
    {VE("auto_levels"), &Make<VideoEffectAutoLevels>, KEY("auto_levels"), CL("auto_levels")},
    {VE("emboss"), &Make<VideoEffectEmboss>, KEY("emboss"), CL("emboss")},
    {VE("color_emboss"), &Make<VideoEffectColorEmboss>, KEY("color_emboss"), CL("color_emboss")},
    {VE("find_edges"), &Make<VideoEffectFindEdges>, KEY("find_edges"), CL("find_edges")},
    {VE("threshold"), &Make<VideoEffectThreshold>, KEY("threshold"), CL("threshold")},
    {VE("motion"), &Make<VideoEffectMotion>, KEY("transform"), CL("transform")},
    {VE("glitch_box_shift"), &Make<VideoEffectGlitchBoxShift>, nullptr, nullptr},
    {VE("glitch_chromatic_aberration"), &Make<VideoEffectGlitchChromaticAberration>, nullptr, nullptr},
    {VE("glitch_fractal_box"), &Make<VideoEffectGlitchFractalBox>, nullptr, nullptr},
};

#undef VE
#undef KEY
#undef CL

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
    if (count) *count = sizeof kBuiltins / sizeof kBuiltins[0];
    return kBuiltins;
}

const BuiltinEffect* FindBuiltinEffect(const char* name) {
    if (!name) return nullptr;
    for (const BuiltinEffect& e : kBuiltins) {
        if (strcasecmp(e.name, name) == 0) return &e;
    }
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
