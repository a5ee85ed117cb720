#include "render_session.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "effects/shader/OpenGLSurface.h"
#include "gpu/GpuDispatch.h"
#include "host/kit/kit.h"
#include "host/zrp/cl_backend.h"
#include "host/zrp/platform_factory.h"

namespace orvexcli {

namespace {

bool ReadsAsInt(const std::string& text, long* v) {
    char* end = nullptr;
    errno = 0;
    *v = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && !*end && errno != ERANGE && *v >= INT32_MIN && *v <= INT32_MAX;
}

bool ReadsAsNumber(const std::string& text, double* v) {
    char* end = nullptr;
    errno = 0;
    *v = std::strtod(text.c_str(), &end);
    return !text.empty() && !*end && errno != ERANGE && std::isfinite(*v);
}

// A shader effect's parameter from text: true/false, an integer (offered again as a number when
// the shader wants one), a number, else text.
orvex::ResultCode SetShaderParam(orvex::IOrvexEffect& effect, const std::string& name, const std::string& text) {
    if (text == "true" || text == "false")
        return effect.SetParam(name.c_str(), orvex::ParamBool, orvex::EffectParamValue::Bool(text == "true"));
    long i = 0;
    double f = 0;
    if (ReadsAsInt(text, &i)) {
        const orvex::ResultCode r =
            effect.SetParam(name.c_str(), orvex::ParamInt, orvex::EffectParamValue::Int(static_cast<int32_t>(i)));
        if (r != orvex::WrongFormat) return r;
    }
    if (ReadsAsNumber(text, &f))
        return effect.SetParam(name.c_str(), orvex::ParamFloat, orvex::EffectParamValue::Float(static_cast<float>(f)));
    return effect.SetParam(name.c_str(), orvex::ParamText, orvex::EffectParamValue::Text(text.c_str()));
}

// Runs the factory's OpenCL device refused so far (0 without one).
int RefusedRuns(zrp::ATLUFactory* factory) {
    auto* cl = dynamic_cast<zrp::OpenCLFactory*>(factory);
    if (auto* both = dynamic_cast<zrp::PlatformFactory*>(factory)) cl = dynamic_cast<zrp::OpenCLFactory*>(both->opencl());
    return cl ? cl->refusedRuns() : 0;
}

}  // namespace

bool AddParamText(const std::string& text, std::vector<ParamTrack>* tracks, std::string* error) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) {
        *error = "--param wants NAME=VALUE or NAME=VALUE@FRAME";
        return false;
    }
    const std::string name = text.substr(0, eq);
    std::string value = text.substr(eq + 1);
    ParamTrack::Key key;
    const size_t at = value.rfind('@');
    bool keyed = false;
    if (at != std::string::npos) {
        const std::string frameText = value.substr(at + 1);
        char* end = nullptr;
        const long long f = std::strtoll(frameText.c_str(), &end, 10);
        if (frameText.empty() || *end || f < 0) {
            *error = "--param " + text + ": the frame after '@' must be a non-negative integer";
            return false;
        }
        key.frame = f;
        value.resize(at);
        keyed = true;
    }
    key.text = value;
    auto it = std::find_if(tracks->begin(), tracks->end(), [&](const ParamTrack& t) { return t.name == name; });
    if (it == tracks->end()) {
        tracks->push_back({name, {}});
        it = tracks->end() - 1;
    } else if (!keyed) {
        // A later plain value replaces the parameter's earlier values.
        it->keys.clear();
    }
    auto pos = std::find_if(it->keys.begin(), it->keys.end(), [&](const ParamTrack::Key& k) { return k.frame >= key.frame; });
    if (pos != it->keys.end() && pos->frame == key.frame) *pos = key;
    else it->keys.insert(pos, key);
    return true;
}

RenderSession::~RenderSession() {
    if (effect_ && lab_.lab) lab_.lab->ReleaseOrvexEffect(effect_);
    // The library keeps the factory it was given process-wide; when this session holds the last
    // reference, the factory is about to go, so a later lab of this process must not find it there.
    if (factory_ && factory_.use_count() == 1 && orvex::g_atlu_factory == factory_.get())
        orvex::g_atlu_factory = nullptr;
}

int RenderSession::Open(const std::string& effect, const std::string& device, const std::string& resources) {
    if (device != "best" && device != "cpu" && device != "opencl" && device != "opengl")
        return Usage("--device is one of cpu, opencl, opengl");
    std::shared_ptr<zrp::ATLUFactory> factory;
    if (device != "cpu") {
        orvexhost::KitOptions options;
        // "best" starts from a GPU or accelerator alone: on a machine without one the effects run
        // on the CPU, not on a CPU OpenCL device or through llvmpipe textures. A shader effect gets
        // OpenGL below, once the effect is known.
        options.opengl = device == "opengl";
        options.openclOnCpu = device == "opencl";
        factory = orvexhost::MakeFactory(options);
        if (device == "best" && factory && !factory->GetDeviceContext("opencl")) factory.reset();
        if (device == "opencl" && (!factory || !factory->GetDeviceContext("opencl"))) {
            Say("orvex: no OpenCL device found; use --device cpu\n");
            return kInput;
        }
        if (device == "opengl" && (!factory || !factory->GetDeviceContext("opengl"))) {
            Say("orvex: no OpenGL device is available; use --device cpu or opencl\n");
            return kInput;
        }
    }
    if (int rc = OpenOn(effect, std::move(factory), resources); rc != kOk) return rc;
    if (device == "best" && shader_ && (!factory_ || !factory_->GetDeviceContext("opengl"))) {
        // A shader effect renders on OpenGL (llvmpipe without a GPU): the effect is made again on
        // a factory that has it.
        orvexhost::KitOptions options;
        std::shared_ptr<zrp::ATLUFactory> withOpenGL = orvexhost::MakeFactory(options);
        if (withOpenGL && withOpenGL->GetDeviceContext("opengl")) return Reopen(std::move(withOpenGL));
    }
    return kOk;
}

int RenderSession::OpenOn(const std::string& effect, std::shared_ptr<zrp::ATLUFactory> factory,
                          const std::string& resources) {
    if (!lab_.lab) {
        Say("orvex: cannot create the lab\n");
        return kRender;
    }
    UseResources(lab_.lab, FindResources(resources));
    effectName_ = effect;
    if (!Create(std::move(factory))) {
        ReportUnknownEffect(effect, lab_.lab);
        return kInput;
    }
    shader_ = dynamic_cast<orvex::VideoEffectOpenGLSurface*>(effect_) != nullptr;
    return kOk;
}

int RenderSession::Reopen(std::shared_ptr<zrp::ATLUFactory> factory) {
    lab_.lab->ReleaseOrvexEffect(effect_);
    inTexture_.reset();
    outTexture_.reset();
    if (!Create(std::move(factory))) {
        Say("orvex: cannot make %s again on the new device\n", effectName_.c_str());
        return kRender;
    }
    return kOk;
}

bool RenderSession::Create(std::shared_ptr<zrp::ATLUFactory> factory) {
    factory_ = std::move(factory);
    if (factory_) {
        lab_.lab->SetATLUFactory(factory_.get());
        lab_.lab->LoadBuiltinPrograms();
    }
    effect_ = lab_.lab->CreateOrvexEffect(effectName_.c_str());
    surface_ = dynamic_cast<orvex::EffectSurface*>(effect_);
    return effect_ != nullptr;
}

const orvex::ParamDecl* RenderSession::FindDecl(const std::string& name) const {
    if (!surface_) return nullptr;
    for (const auto& p : surface_->Params())
        if (p.name == name) return &p;
    return nullptr;
}

int RenderSession::SetTracks(std::vector<ParamTrack> tracks) {
    for (ParamTrack& track : tracks) {
        const orvex::ParamDecl* decl = FindDecl(track.name);
        if (!decl && shader_) continue;
        if (!decl) {
            std::vector<std::string> known;
            if (surface_)
                for (const auto& p : surface_->Params()) known.push_back(p.name);
            std::string list;
            for (const auto& k : known) list += (list.empty() ? "" : ", ") + k;
            const std::string near = Closest(track.name, known);
            Say("orvex: %s has no parameter %s%s (parameters: %s)\n", effectName_.c_str(),
                         track.name.c_str(), near.empty() ? "" : ("; did you mean " + near + "?").c_str(),
                         list.empty() ? "none" : list.c_str());
            return kInput;
        }
        for (ParamTrack::Key& key : track.keys) {
            if (!ParseValue(*decl, key.text, &key.value)) {
                Say("orvex: %s=%s is not a %s value\n", track.name.c_str(), key.text.c_str(),
                             TypeName(decl->type));
                return kInput;
            }
            if (decl->hasRange && (decl->type == orvex::ParamInt || decl->type == orvex::ParamFloat)) {
                const double v = decl->type == orvex::ParamInt ? key.value.AsInt() : key.value.AsFloat();
                if (v < decl->minValue || v > decl->maxValue) {
                    Say("orvex: %s=%s is out of range [%g, %g] (the effect would store %g instead)\n",
                                 track.name.c_str(), key.text.c_str(), decl->minValue, decl->maxValue,
                                 decl->substitute);
                    return kInput;
                }
            }
        }
    }
    tracks_ = std::move(tracks);
    return ApplyTracks(0);
}

int RenderSession::ApplyTracks(int64_t frame) {
    for (const ParamTrack& track : tracks_) {
        if (track.keys.empty()) continue;
        // The last key at or before the frame, and the next one after it.
        size_t i = 0;
        while (i + 1 < track.keys.size() && track.keys[i + 1].frame <= frame) ++i;
        const orvex::ParamDecl* decl = FindDecl(track.name);
        if (!decl) {
            if (!shader_) continue;
            std::string text = track.keys[i].text;
            double a = 0, b = 0;
            long ia = 0, ib = 0;
            if (frame > track.keys[i].frame && i + 1 < track.keys.size() && ReadsAsNumber(text, &a) &&
                ReadsAsNumber(track.keys[i + 1].text, &b)) {
                const auto& ka = track.keys[i];
                const auto& kb = track.keys[i + 1];
                const double t = static_cast<double>(frame - ka.frame) / static_cast<double>(kb.frame - ka.frame);
                const double v = a + (b - a) * t;
                char buf[64];
                if (ReadsAsInt(ka.text, &ia) && ReadsAsInt(kb.text, &ib))
                    std::snprintf(buf, sizeof buf, "%ld", std::lround(v));
                else
                    std::snprintf(buf, sizeof buf, "%.9g", v);
                text = buf;
            }
            if (const orvex::ResultCode r = SetShaderParam(*effect_, track.name, text); r != orvex::Ok) {
                Say("orvex: %s=%s was refused (result %d)\n", track.name.c_str(), text.c_str(), r);
                return kInput;
            }
            continue;
        }
        orvex::EffectParamValue value = track.keys[i].value;
        const bool numeric = decl->type == orvex::ParamInt || decl->type == orvex::ParamFloat;
        if (numeric && frame > track.keys[i].frame && i + 1 < track.keys.size()) {
            const auto& a = track.keys[i];
            const auto& b = track.keys[i + 1];
            const double t = static_cast<double>(frame - a.frame) / static_cast<double>(b.frame - a.frame);
            if (decl->type == orvex::ParamInt) {
                const double v = a.value.AsInt() + (b.value.AsInt() - a.value.AsInt()) * t;
                value = orvex::EffectParamValue::Int(static_cast<int32_t>(std::lround(v)));
            } else {
                const double v = a.value.AsFloat() + (b.value.AsFloat() - a.value.AsFloat()) * t;
                value = orvex::EffectParamValue::Float(static_cast<float>(v));
            }
        }
        const orvex::ResultCode r = effect_->SetParam(track.name.c_str(), decl->type, value);
        if (r != orvex::Ok) {
            Say("orvex: %s was refused at frame %lld (result %d)\n", track.name.c_str(),
                         static_cast<long long>(frame), r);
            return kInput;
        }
    }
    return kOk;
}

void RenderSession::SetFrameRate(int64_t numerator, int64_t denominator) {
    if (effect_) effect_->SetFrameRate(numerator, denominator);
}

namespace {

orvex::EffectFramePtr Wrap(const cv::Mat& m) {
    return orvexhost::WrapBGRA(const_cast<uint8_t*>(m.data), m.cols, m.rows, static_cast<int>(m.step[0]));
}

}  // namespace

int RenderSession::Render(const cv::Mat& in, cv::Mat& out, int64_t frame,
                          const std::shared_ptr<orvex::EffectAudioFrame>& audio) {
    out.create(in.size(), CV_8UC4);
    return RenderHost(*Wrap(in), *Wrap(out), frame, audio);
}

int RenderSession::RenderHost(const orvex::EffectFrame& in, orvex::EffectFrame& out, int64_t frame,
                              const std::shared_ptr<orvex::EffectAudioFrame>& audio) {
    const int w = static_cast<int>(in.width[0]), h = static_cast<int>(in.height[0]);
    const size_t pixelBytes = in.pixel_fmt == orvex::BGRA64 ? 8 : 4;
    lastResult_ = orvex::Failed;
    // The output starts as the input: effects that leave a channel alone (edge feather writes no
    // alpha) then keep the picture's own values there, as in an editor's render.
    if (seedOutput_ && in.data[0] != out.data[0])
        for (int y = 0; y < h; ++y)
            std::memcpy(out.data[0] + static_cast<size_t>(y) * out.pitch[0],
                        in.data[0] + static_cast<size_t>(y) * in.pitch[0], static_cast<size_t>(w) * pixelBytes);
    auto inFrame = std::make_shared<orvex::EffectFrame>(in);
    auto outFrame = std::make_shared<orvex::EffectFrame>(out);
    if (!factory_ || deviceRefused_) return RenderFrames(inFrame, outFrame, frame, audio);
    if (!inTexture_ || textureW_ != w || textureH_ != h) {
        // OpenCL textures where there is OpenCL (shader effects convert them), else OpenGL ones.
        inTexture_ = orvexhost::CreateTextureLike(*factory_, in, texturePlatform());
        outTexture_ = orvexhost::CreateTextureLike(*factory_, out, texturePlatform());
        textureW_ = w;
        textureH_ = h;
    }
    if (!inTexture_ || !outTexture_ || !orvexhost::UploadInto(*inTexture_, in)) {
        Say("orvex: cannot create GPU textures for a %dx%d picture\n", w, h);
        inTexture_.reset();
        return kRender;
    }
    outTexture_->CopyFrom(*inTexture_);
    inFrame->texture = inTexture_;
    outFrame->texture = outTexture_;
    if (int rc = RenderFrames(inFrame, outFrame, frame, audio); rc != kOk) return rc;
    if (!orvexhost::DownloadFrame(*outTexture_, out)) {
        lastResult_ = orvex::Failed;
        Say("orvex: cannot read frame %lld back from the GPU\n", static_cast<long long>(frame));
        return kRender;
    }
    return kOk;
}

int RenderSession::RenderTextures(const orvex::EffectFrame& in, const orvex::EffectFrame& out, int64_t frame,
                                  const std::shared_ptr<orvex::EffectAudioFrame>& audio) {
    out.texture->CopyFrom(*in.texture);
    auto inFrame = std::make_shared<orvex::EffectFrame>(in);
    auto outFrame = std::make_shared<orvex::EffectFrame>(out);
    return RenderFrames(inFrame, outFrame, frame, audio);
}

const char* RenderSession::texturePlatform() const {
    return factory_ && factory_->GetDeviceContext("opencl") ? "opencl" : "opengl";
}

std::string RenderSession::deviceName() const {
    if (!factory_ || deviceRefused_) return "CPU";
    return factory_->GetDeviceContext("opencl") ? "OpenCL" : "OpenGL";
}

int RenderSession::RenderFrames(const orvex::EffectFramePtr& in, orvex::EffectFramePtr out, int64_t frame,
                                const std::shared_ptr<orvex::EffectAudioFrame>& audio) {
    if (int rc = ApplyTracks(frame); rc != kOk) return rc;
    std::vector<orvex::EffectFramePtr> inputs{in};
    if (audio) {
        auto carrier = std::make_shared<orvex::EffectFrame>();
        carrier->audio = audio;
        inputs.push_back(carrier);
    }
    const int refusedBefore = RefusedRuns(factory_.get());
    const orvex::ResultCode r = effect_->Render(nullptr, frame, nullptr, inputs, out);
    lastResult_ = r;
    if (!deviceRefused_ && RefusedRuns(factory_.get()) > refusedBefore) {
        // The library has rendered this frame on the CPU instead: the picture is right, only
        // slower, so the render goes on there and says so once.
        deviceRefused_ = true;
        Say("orvex: warning: the OpenCL device refused %s at frame %lld (its program did not build or "
                     "its kernel could not run); rendering on the CPU\n",
            effectName_.c_str(), static_cast<long long>(frame));
    }
    if (r != orvex::Ok) {
        Say("orvex: %s failed to render frame %lld (result %d)\n", effectName_.c_str(),
                     static_cast<long long>(frame), r);
        return kRender;
    }
    return kOk;
}

}  // namespace orvexcli
