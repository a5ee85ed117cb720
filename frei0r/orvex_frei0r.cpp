// A frei0r filter module for one Orvex effect. One module is built from this source and copied
// once per effect as orvex_<effect>.so: a copy finds its effect from its own file name, and the
// generated table gives the effect's frei0r parameters. The module reaches the library only through its exported functions and the lab, renders on the CPU
// path, and never lets a bad value or buffer from the host crash it.
#include <dlfcn.h>
// frei0r.h declares the entry points without C linkage; they are the module's only exports.
#pragma GCC visibility push(default)
extern "C" {
#include <frei0r.h>
}
#pragma GCC visibility pop

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "frei0r_params.h"
#include "orvex/orvex.h"

namespace {

using namespace orvex_frei0r;

// What a module answers when its file name names no effect: no parameters, and f0r_init fails.
constexpr Effect kUnknownEffect = {"", "orvex_unknown", "not an Orvex effect module", nullptr, 0};

// The effect of this copy of the module: the table row whose module name is the file's stem.
const Effect* ModuleEffect() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ModuleEffect), &info) || !info.dli_fname) return &kUnknownEffect;
    const std::string stem = std::filesystem::path(info.dli_fname).stem().string();
    for (const Effect& e : kEffects)
        if (stem == e.module) return &e;
    return &kUnknownEffect;
}

const Effect* const kEffect = ModuleEffect();

// Frames beyond this side would overflow the frame's 32-bit pitch long before memory runs out.
constexpr unsigned kMaxSide = 1u << 15;

// One lab per module, shared by its instances: hosts may construct instances from several
// threads, and the lab is configured once and only touched under the lock.
struct Module {
    std::mutex mutex;
    orvex::IOrvex* lab = nullptr;
    int instances = 0;
};

Module& TheModule() {
    static Module module;
    return module;
}

// The shipped resource tree: beside the installed module (prefix/lib/frei0r-1 ->
// prefix/share/orvex/resources), else the configured install prefix, else the source tree.
std::string FindResources() {
    namespace fs = std::filesystem;
    std::vector<fs::path> candidates;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&FindResources), &info) && info.dli_fname && *info.dli_fname)
        candidates.push_back(fs::path(info.dli_fname).parent_path() / ORVEX_RESOURCES_FROM_MODULE);
    candidates.emplace_back(ORVEX_INSTALL_RESOURCES);
    candidates.emplace_back(ORVEX_SOURCE_RESOURCES);
    std::error_code ec;
    for (const fs::path& dir : candidates) {
        if (fs::is_directory(dir / "video/effect", ec)) return dir.lexically_normal().string();
    }
    return {};
}

// Call with the module's lock held.
orvex::IOrvex* Lab(Module& m) {
    if (m.lab) return m.lab;
    m.lab = CreateOrvex();
    if (!m.lab) return nullptr;
    const std::string root = FindResources();
    if (!root.empty()) {
        m.lab->SetResourcePath(root.c_str(), 0);
        m.lab->SetResourcePath((root + "/video/effect").c_str(), 2);
    }
    return m.lab;
}

// The frei0r-side value of one parameter: v[0] for bool and double, r, g, b for a colour.
struct Value {
    double v[3] = {0, 0, 0};
    std::string text;
};

enum class TimeUnit { Unknown, Seconds, Milliseconds };

struct Instance {
    orvex::IOrvexEffect* effect = nullptr;
    unsigned width = 0;
    unsigned height = 0;
    std::vector<Value> values;
    double frameRate = kDefaultFrameRate;
    TimeUnit timeUnit = TimeUnit::Unknown;
    std::vector<uint32_t> scratch;  // a copy of the input when the host renders in place
};

void SendNumber(orvex::IOrvexEffect* effect, const Param& p, const Target& t, double value) {
    if (p.integer) {
        const double held = std::clamp(std::round(value), static_cast<double>(std::numeric_limits<int32_t>::min()),
                                       static_cast<double>(std::numeric_limits<int32_t>::max()));
        effect->SetParam(t.name, static_cast<orvex::EffectParamType>(t.type),
                         orvex::EffectParamValue::Int(static_cast<int32_t>(held)));
    } else {
        effect->SetParam(t.name, static_cast<orvex::EffectParamType>(t.type),
                         orvex::EffectParamValue::Float(static_cast<float>(value)));
    }
}

// Stores a frei0r value and hands it to the effect. NaN leaves the parameter as it was; other
// values are held in the parameter's span, so the effect never substitutes behind the host's back.
void SetValue(Instance& inst, int index, const void* param) {
    const Param& p = kEffect->params[index];
    Value& stored = inst.values[index];
    switch (p.mapping) {
    case Mapping::Bool: {
        const double v = *static_cast<const double*>(param);
        if (std::isnan(v)) return;
        const bool on = v >= 0.5;
        stored.v[0] = on ? 1 : 0;
        inst.effect->SetParam(p.targets[0].name, static_cast<orvex::EffectParamType>(p.targets[0].type),
                              orvex::EffectParamValue::Bool(on));
        return;
    }
    case Mapping::Linear: {
        const double v = *static_cast<const double*>(param);
        if (std::isnan(v)) return;
        const double x = std::clamp(v, 0.0, 1.0);
        stored.v[0] = x;
        SendNumber(inst.effect, p, p.targets[0], p.lo + x * (p.hi - p.lo));
        return;
    }
    case Mapping::AsGiven: {
        const double v = *static_cast<const double*>(param);
        if (std::isnan(v)) return;
        stored.v[0] = std::clamp(v, p.lo, p.hi);
        SendNumber(inst.effect, p, p.targets[0], stored.v[0]);
        return;
    }
    case Mapping::Color: {
        const auto* c = static_cast<const f0r_param_color_t*>(param);
        const float channels[3] = {c->r, c->g, c->b};
        for (int i = 0; i < 3; ++i) {
            if (std::isnan(channels[i])) continue;
            stored.v[i] = std::clamp(static_cast<double>(channels[i]), 0.0, 1.0);
            SendNumber(inst.effect, p, p.targets[i], stored.v[i] * 255.0);
        }
        return;
    }
    case Mapping::Text: {
        const char* s = *static_cast<const f0r_param_string*>(param);
        if (!s) return;
        stored.text = s;
        inst.effect->SetParam(p.targets[0].name, static_cast<orvex::EffectParamType>(p.targets[0].type),
                              orvex::EffectParamValue::Text(s));
        return;
    }
    case Mapping::FrameRate: {
        const double v = *static_cast<const double*>(param);
        if (!(v > 0) || !std::isfinite(v)) return;
        inst.frameRate = std::min(v, p.hi);
        stored.v[0] = inst.frameRate;
        // The effect keeps the rate as a fraction: per mille keeps 29.97 and 23.976 close.
        inst.effect->SetFrameRate(std::llround(inst.frameRate * 1000), 1000);
        return;
    }
    }
}

// FFmpeg's frei0r filter passes milliseconds (pts x time base x 1000) where the interface says
// seconds; its caller lies in libavfilter (or in a statically linked ffmpeg program).
TimeUnit UnitOfCaller(void* returnAddress) {
    Dl_info info{};
    if (!dladdr(returnAddress, &info) || !info.dli_fname) return TimeUnit::Seconds;
    const std::string base = std::filesystem::path(info.dli_fname).filename().string();
    if (base.rfind("libavfilter", 0) == 0 || base == "ffmpeg" || base == "ffplay") return TimeUnit::Milliseconds;
    return TimeUnit::Seconds;
}

int64_t Position(const Instance& inst, double time) {
    const double seconds = inst.timeUnit == TimeUnit::Milliseconds ? time / 1000.0 : time;
    const double frames = seconds * inst.frameRate;
    // Hosts without a time (FFmpeg with no timestamps passes a huge negative number) get frame 0.
    if (!std::isfinite(frames) || std::fabs(frames) > 9e18) return 0;
    return std::llround(frames);
}

void Update(Instance* inst, double time, const uint32_t* in, uint32_t* out, void* caller) {
    if (!inst || !in || !out) return;
    try {
        if (inst->timeUnit == TimeUnit::Unknown) inst->timeUnit = UnitOfCaller(caller);
        const size_t pixels = static_cast<size_t>(inst->width) * inst->height;
        const uint32_t* src = in;
        if (in == out) {
            inst->scratch.assign(in, in + pixels);
            src = inst->scratch.data();
        } else {
            // Bytes an effect leaves unwritten (the edge feather's alpha) keep the input's values,
            // not whatever the host's buffer held.
            std::memcpy(out, in, pixels * sizeof(uint32_t));
        }
        // The host's buffers, wrapped as they are: frei0r frames are packed rows of 4-byte pixels.
        auto wrap = [inst](const uint32_t* px) {
            auto frame = std::make_shared<orvex::EffectFrame>();
            frame->planes = 1;
            frame->bitDepth = 8;
            frame->pixel_fmt = orvex::BGRA32;
            frame->width[0] = inst->width;
            frame->height[0] = inst->height;
            frame->data[0] = reinterpret_cast<uint8_t*>(const_cast<uint32_t*>(px));
            frame->pitch[0] = static_cast<int32_t>(inst->width * 4);
            return frame;
        };
        std::vector<orvex::EffectFramePtr> inputs{wrap(src)};
        orvex::EffectFramePtr output = wrap(out);
        if (inst->effect->Render(nullptr, Position(*inst, time), nullptr, inputs, output) != orvex::Ok) {
            // frei0r has no way to report a failure: pass the picture through rather than garbage.
            std::memmove(out, src, pixels * sizeof(uint32_t));
        }
    } catch (...) {
        // Nothing may unwind into a C host.
    }
}

}  // namespace

extern "C" {

int f0r_init(void) {
    Module& m = TheModule();
    std::lock_guard<std::mutex> lock(m.mutex);
    if (kEffect == &kUnknownEffect) return 0;
    try {
        return Lab(m) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

void f0r_deinit(void) {
    Module& m = TheModule();
    std::lock_guard<std::mutex> lock(m.mutex);
    // Instances a host forgot keep the lab: a leak is better than their effects dangling.
    if (m.lab && m.instances == 0) {
        ReleaseOrvex(m.lab);
        m.lab = nullptr;
    }
}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    if (!info) return;
    info->name = kEffect->module;
    info->author = "Orvex";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_BGRA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = ORVEX_VERSION_MAJOR;
    info->minor_version = ORVEX_VERSION_MINOR;
    info->num_params = kEffect->paramCount;
    info->explanation = kEffect->explanation;
}

void f0r_get_param_info(f0r_param_info_t* info, int param_index) {
    if (!info || param_index < 0 || param_index >= kEffect->paramCount) return;
    const Param& p = kEffect->params[param_index];
    info->name = p.name;
    info->type = p.f0rType;
    info->explanation = p.explanation;
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return nullptr;
    Module& m = TheModule();
    std::lock_guard<std::mutex> lock(m.mutex);
    orvex::IOrvexEffect* effect = nullptr;
    try {
        orvex::IOrvex* lab = Lab(m);
        if (!lab) return nullptr;
        effect = lab->CreateOrvexEffect(kEffect->name);
        if (!effect) return nullptr;
        auto inst = std::make_unique<Instance>();
        inst->effect = effect;
        inst->width = width;
        inst->height = height;
        // The effect starts at its declared defaults; the table holds their frei0r values.
        inst->values.resize(static_cast<size_t>(kEffect->paramCount));
        for (int i = 0; i < kEffect->paramCount; ++i) {
            const Param& p = kEffect->params[i];
            std::copy(p.initial, p.initial + 3, inst->values[i].v);
            inst->values[i].text = p.initialText;
        }
        effect->SetFrameRate(std::llround(kDefaultFrameRate * 1000), 1000);
        ++m.instances;
        return inst.release();
    } catch (...) {
        if (effect && m.lab) m.lab->ReleaseOrvexEffect(effect);
        return nullptr;
    }
}

void f0r_destruct(f0r_instance_t instance) {
    auto* inst = static_cast<Instance*>(instance);
    if (!inst) return;
    Module& m = TheModule();
    {
        std::lock_guard<std::mutex> lock(m.mutex);
        if (m.lab) m.lab->ReleaseOrvexEffect(inst->effect);
        --m.instances;
    }
    delete inst;
}

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
    auto* inst = static_cast<Instance*>(instance);
    if (!inst || !param || param_index < 0 || param_index >= kEffect->paramCount) return;
    try {
        SetValue(*inst, param_index, param);
    } catch (...) {
    }
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
    auto* inst = static_cast<Instance*>(instance);
    if (!inst || !param || param_index < 0 || param_index >= kEffect->paramCount) return;
    const Value& v = inst->values[param_index];
    switch (kEffect->params[param_index].f0rType) {
    case F0R_PARAM_COLOR: {
        auto* c = static_cast<f0r_param_color_t*>(param);
        c->r = static_cast<float>(v.v[0]);
        c->g = static_cast<float>(v.v[1]);
        c->b = static_cast<float>(v.v[2]);
        break;
    }
    case F0R_PARAM_STRING:
        *static_cast<f0r_param_string*>(param) = const_cast<char*>(v.text.c_str());
        break;
    default:
        *static_cast<double*>(param) = v.v[0];
        break;
    }
}

void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe, uint32_t* outframe) {
    Update(static_cast<Instance*>(instance), time, inframe, outframe, __builtin_return_address(0));
}

void f0r_update2(f0r_instance_t instance, double time, const uint32_t* inframe1, const uint32_t*, const uint32_t*,
                 uint32_t* outframe) {
    Update(static_cast<Instance*>(instance), time, inframe1, outframe, __builtin_return_address(0));
}

}  // extern "C"
