#include "effects/shader/OpenGLSurface.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <future>
#include <stdexcept>

#include "corelog.h"
#include "effects/Manifest.h"
#include "gpu/GpuDispatch.h"

namespace orvex {
namespace {

constexpr const char* kTag = "orvex::VideoEffectOpenGLSurface";
constexpr const char* kBlendPath = "blend/resample.frag";
// Mask pixels count from this alpha up (exclusive); fainter ones are treated as empty.
constexpr int kMaskThreshold = 5;
// Widest gradient the effects accept: far more stops than any ramp needs, and a texture every
// driver can hold.
constexpr int kMaxGradientStops = 4096;

const char* const kBlendShader = R"(#version 120
#extension GL_EXT_gpu_shader4 : enable
uniform sampler2D background_tex;
uniform sampler2D effect_tex;
uniform vec2 iResolution;
uniform bool blend;
void main() {
    vec2 uv = gl_FragCoord.xy / iResolution;
    vec4 background = texture2D(background_tex, uv);
    vec4 effect = texture2D(effect_tex, uv);
    if (!blend) gl_FragColor = effect;
    else if (effect.a < 1.0) gl_FragColor = mix(background, effect, effect.a);
    else gl_FragColor = background + effect;
}
)";

struct FreeParams {
    zrp::Params* params;
    ~FreeParams() {
        if (params) ZRPObjectFree(params);
    }
};

bool SetFloat2(zrp::Params* p, const char* name, float a, float b) {
    const float v[2] = {a, b};
    return p->SetParamValue(name, zrp::kParamFloat2, v, sizeof v) == 0;
}

bool HostPlaneUsable(const EffectFrame& f) {
    return f.data[0] && f.width[0] > 0 && f.height[0] > 0 && f.width[0] <= 65536 && f.height[0] <= 65536 &&
           f.pitch[0] > 0 && static_cast<uint64_t>(f.pitch[0]) >= static_cast<uint64_t>(f.width[0]) * 4;
}

// A frame the effect can read or write: a texture, or 8-bit BGRA host memory.
bool FrameUsable(const EffectFrame& f) { return f.texture || (IsBGRA8(f.pixel_fmt) && HostPlaneUsable(f)); }

void FrameSize(const EffectFrame& f, int32_t* w, int32_t* h) {
    zrp::TextureContext* ctx = f.texture ? f.texture->GetContext() : nullptr;
    *w = ctx ? ctx->GetWidth() : static_cast<int32_t>(f.width[0]);
    *h = ctx ? ctx->GetHeight() : static_cast<int32_t>(f.height[0]);
}

}  // namespace

// --- program entries and texture slots ------------------------------------------------------------

void GLProgramEntry::SetPath(const std::string& p) {
    path = p;
    key = p;
    std::replace(key.begin(), key.end(), '/', '_');
}

zrp::TexturePtr GLTextureSlot::Sized(int32_t width, int32_t height, zrp::BitFormat bits) {
    if (texture_ && width == width_ && height == height_ && bits == bits_) return texture_;
    texture_.reset();
    zrp::ImageFormat* format = nullptr;
    if (width <= 0 || height <= 0 ||
        ZRPImageFormatAlloc(zrp::kColorSpaceBGRA, bits, width, height, 0, &format) != 0 || !format)
        return nullptr;
    texture_ = CreatePlatformTexture(format, OpenGL, nullptr, nullptr, 0, 0);
    ZRPObjectFree(format);
    width_ = width;
    height_ = height;
    bits_ = bits;
    return texture_;
}

zrp::TexturePtr GLTextureSlot::FromHost(const uint8_t* data, int32_t pitch, int32_t width, int32_t rows,
                                        zrp::BitFormat bits) {
    zrp::TexturePtr t = Sized(width, rows, bits);
    if (!t || !data) return nullptr;
    zrp::MappedBuffer* m = t->Map(1);
    if (!m) return nullptr;
    zrp::MappedPlane p = m->GetPlane(0);
    const size_t rowBytes = static_cast<size_t>(p.pitch);
    bool ok = p.data && p.height == rows && static_cast<size_t>(pitch) >= rowBytes;
    for (int32_t y = 0; ok && y < rows; ++y)
        std::memcpy(p.data + rowBytes * y, data + static_cast<size_t>(pitch) * y, rowBytes);
    ok = t->Unmap(m) == 0 && ok;
    return ok ? t : nullptr;
}

zrp::TexturePtr GLTextureSlot::FromFrame(const EffectFrame& frame) {
    if (frame.texture) {
        if (TexturePlatform(*frame.texture) == OpenGL) return frame.texture;
        zrp::TextureContext* ctx = frame.texture->GetContext();
        zrp::ImageFormat* format = nullptr;
        if (!ctx || ctx->GetImageFormat(&format) != 0 || !format) return nullptr;
        zrp::TexturePtr t =
            format->GetColorSpace() == zrp::kColorSpaceBGRA
                ? Sized(format->GetWidth(), format->GetHeight(), format->GetBitFormat())
                : nullptr;
        ZRPObjectFree(format);
        return t && t->CopyFrom(*frame.texture) == 0 ? t : nullptr;
    }
    if (!IsBGRA8(frame.pixel_fmt) || !HostPlaneUsable(frame)) return nullptr;
    return FromHost(frame.data[0], frame.pitch[0], static_cast<int32_t>(frame.width[0]),
                    static_cast<int32_t>(frame.height[0]), zrp::kBitFormat8);
}

bool FramePixels::Read(const EffectFrame& frame) {
    mapping_.Release();
    image_.release();
    if (!frame.texture) {
        if (!IsBGRA8(frame.pixel_fmt) || !HostPlaneUsable(frame)) return false;
        image_ = WrapBGRA(frame);
        return true;
    }
    if (!mapping_.Map(frame.texture, 0, false) || !IsBGRA8(mapping_.frame().pixel_fmt) ||
        !HostPlaneUsable(mapping_.frame()))
        return false;
    image_ = WrapBGRA(mapping_.frame());
    return true;
}

int64_t IntegerFrameRate(int64_t numerator, int64_t denominator) {
    if (denominator <= 0 || numerator <= 0) return 30;
    const int64_t fps = numerator / denominator;
    return fps < 1 ? 1 : fps;
}

// --- VideoEffectOpenGLSurface ----------------------------------------------------------------------

VideoEffectOpenGLSurface::VideoEffectOpenGLSurface() {
    supportedPaths_.insert(OpenGL);
    auxValueB_ = 1;
}

VideoEffectOpenGLSurface::~VideoEffectOpenGLSurface() = default;

const char* VideoEffectOpenGLSurface::BuiltinBlendShader() { return kBlendShader; }

void VideoEffectOpenGLSurface::SetDescription(EffectDescription description) {
    EffectSurface::SetDescription(std::move(description));
    EffectDescription& d = const_cast<EffectDescription&>(Description());
    const std::string name = d.GetDisplayName();
    passes_.clear();
    for (const std::string& file : d.GetOpenGLFragments()) {
        passes_.push_back(std::make_unique<GLProgramEntry>());
        passes_.back()->SetPath(name + "/" + file);
    }
    const std::string blend = d.GetBlendScript();
    if (!blend.empty()) blend_.SetPath(name + "/" + blend);
    if (d.HasHumanSegmentInput() || d.HasMaskInput()) supportedPaths_.insert(1);
}

ResultCode VideoEffectOpenGLSurface::SetProgramLoader(ProgramLoader loader) {
    try {
        for (const auto& entry : passes_) {
            if (!loader) return Failed;
            ResultCode r = loader(entry->path.c_str(), entry->key.c_str(), OpenGL, zrp::kColorSpaceBGRA,
                                  zrp::kColorSpaceBGRA);
            if (r != Ok) return r;
        }
        if (!blend_.path.empty() && !blend_.key.empty()) {
            if (loader) loader(blend_.path.c_str(), blend_.key.c_str(), OpenGL, zrp::kColorSpaceBGRA, zrp::kColorSpaceBGRA);
            return Ok;
        }
        blend_.SetPath(kBlendPath);
        zrp::ATLUFactory* factory = Factory();
        if (!factory || factory->IsAlgorithmRegistered("opengl", blend_.key.c_str()) == 0) return Ok;
        zrp::PixelFormat* in = nullptr;
        zrp::PixelFormat* out = nullptr;
        ZRPPixelFormatAlloc(zrp::kColorSpaceBGRA, zrp::kBitFormat8, &in);
        ZRPPixelFormatAlloc(zrp::kColorSpaceBGRA, zrp::kBitFormat8, &out);
        factory->RegisterProgram("opengl", blend_.key.c_str(), kBlendShader, std::strlen(kBlendShader), in, out,
                                 {blend_.key});
        if (in) ZRPObjectFree(in);
        if (out) ZRPObjectFree(out);
        return Ok;
    } catch (...) {
        return Failed;
    }
}

ResultCode VideoEffectOpenGLSurface::SetPassParam(GLProgramEntry& entry, const char* name, EffectParamType type,
                                                  const EffectParamValue& value) {
    std::lock_guard<std::mutex> lock(entry.lock);
    entry.pending[name] = {type, value};
    return Ok;
}

ResultCode VideoEffectOpenGLSurface::ParseGradient(const std::string& text) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos) return Failed;
    const char* failing = "stoi";
    try {
        const int count = std::stoi(text.substr(0, comma));
        if (count < 1 || count > kMaxGradientStops) {
            ORVEX_LOG(6, kTag, "gradient_color: %d stops, expected 1 to %d", count, kMaxGradientStops);
            return InvalidArgument;
        }
        cv::Mat image(1, count, CV_8UC4, cv::Scalar::all(0));
        const std::string stops = text.substr(comma + 1);
        size_t start = 0;
        for (int i = 0;; ++i) {
            const size_t end = stops.find(';', start);
            const std::string stop = stops.substr(start, end == std::string::npos ? std::string::npos : end - start);
            const size_t split = stop.find(',');
            failing = "stoi";
            const int colour = std::stoi(stop.substr(0, split));
            failing = "stof";
            const float position = std::stof(split == std::string::npos ? std::string() : stop.substr(split + 1));
            // Stops beyond the count have no texel to go to.
            if (i < count) {
                uint8_t* texel = image.ptr<uint8_t>(0) + 4 * i;
                const uint32_t c = static_cast<uint32_t>(colour);
                texel[0] = static_cast<uint8_t>(c & 0xff);
                texel[1] = static_cast<uint8_t>((c >> 8) & 0xff);
                texel[2] = static_cast<uint8_t>((c >> 16) & 0xff);
                const float scaled = std::trunc(position * 255.f / 100.f);
                texel[3] = scaled >= 255.f ? 255 : scaled > 0.f ? static_cast<uint8_t>(scaled) : 0;
            }
            if (end == std::string::npos) break;
            start = end + 1;
        }
        gradient_ = image;
        gradientDirty_ = true;
        EffectParamValue v = EffectParamValue::Int(count);
        return SetParam("gradient_color_count", ParamInt, v);
    } catch (const std::invalid_argument&) {
        ORVEX_LOG(6, kTag, "gradient_color: invalid %s argument", failing);
    } catch (const std::out_of_range&) {
        ORVEX_LOG(6, kTag, "gradient_color: %s argument out of range", failing);
    }
    return InvalidArgument;
}

ResultCode VideoEffectOpenGLSurface::SetParam(const char* name, EffectParamType type, EffectParamValue value) {
    if (!name) return NotFound;
    try {
        const std::string n = name;
        if (n == "gradient_color" && type == ParamText) return ParseGradient(value.AsText());
        if (n == "start_frame") {
            if (type == ParamInt) startFrame_ = value.AsInt();
            else if (type == ParamFloat && std::isfinite(value.AsFloat()) && std::fabs(value.AsFloat()) < 2e9f)
                startFrame_ = static_cast<int32_t>(value.AsFloat());
        }
        for (const auto& entry : passes_) SetPassParam(*entry, name, type, value);
        SetPassParam(blend_, name, type, value);
        return Ok;
    } catch (...) {
        return Failed;
    }
}

ResultCode VideoEffectOpenGLSurface::ApplyPassUniforms(zrp::Params* params, GLProgramEntry& entry) {
    if (!params) return Failed;
    std::map<std::string, std::pair<EffectParamType, EffectParamValue>> pending;
    {
        std::lock_guard<std::mutex> lock(entry.lock);
        pending = entry.pending;
    }
    for (const auto& [name, typed] : pending) {
        const EffectParamValue& v = typed.second;
        switch (static_cast<int>(typed.first)) {
        case 1: {
            const int32_t b = v.AsBool() ? 1 : 0;
            params->SetParamValue(name.c_str(), zrp::kParamInt32, &b, sizeof b);
            break;
        }
        case 2: params->SetParamValue(name.c_str(), zrp::kParam64, v.storage, 8); break;
        case 3: params->SetParamValue(name.c_str(), zrp::kParamFloat, v.storage, 4); break;
        case 4:
        case 5: params->SetParamValue(name.c_str(), zrp::kParamInt32, v.storage, 4); break;
        default: break;
        }
    }
    return Ok;
}

int32_t VideoEffectOpenGLSurface::RequiredInputCount() {
    EffectDescription& d = const_cast<EffectDescription&>(Description());
    return 1 + (d.HasHumanSegmentInput() ? 1 : 0) + (d.HasMaskInput() ? 1 : 0) + (gradient_.empty() ? 0 : 1);
}

bool VideoEffectOpenGLSurface::FindMaskBox(const cv::Mat& mask) {
    const int W = mask.cols, H = mask.rows;
    auto rowHit = [&](int y) {
        const uint8_t* p = mask.ptr<uint8_t>(y);
        for (int x = 0; x < W; ++x)
            if (p[4 * x + 3] > kMaskThreshold) return true;
        return false;
    };
    auto colHit = [&](int x) {
        for (int y = 0; y < H; ++y)
            if (mask.ptr<uint8_t>(y)[4 * x + 3] > kMaskThreshold) return true;
        return false;
    };
    // Four scans inward, one from each side, run together.
    auto top = std::async(std::launch::async, [&] { for (int y = 0; y < H; ++y) if (rowHit(y)) return y; return -1; });
    auto bottom = std::async(std::launch::async, [&] { for (int y = H - 1; y >= 0; --y) if (rowHit(y)) return y; return -1; });
    auto left = std::async(std::launch::async, [&] { for (int x = 0; x < W; ++x) if (colHit(x)) return x; return -1; });
    auto right = std::async(std::launch::async, [&] { for (int x = W - 1; x >= 0; --x) if (colHit(x)) return x; return -1; });
    const int y0 = top.get(), y1 = bottom.get(), x0 = left.get(), x1 = right.get();
    const int w = x1 - x0 + 1, h = y1 - y0 + 1;
    if (x0 < 0 || y0 < 0 || x1 < 0 || y1 < 0 || w <= 0 || h <= 0) return false;
    maskLeftRight_[0] = static_cast<float>(x0) / W;
    maskLeftRight_[1] = static_cast<float>(x0 + w) / W;
    maskBottomTop_[0] = static_cast<float>(y0) / H;
    maskBottomTop_[1] = static_cast<float>(y0 + h) / H;
    return true;
}

void VideoEffectOpenGLSurface::CollectInputs(NamedTextures& out, int64_t, const std::vector<EffectFramePtr>& inputs) {
    if (inputs.empty() || !inputs[0]) return;
    const EffectFrame& first = *inputs[0];
    zrp::TexturePtr background = backgroundSlot_.FromFrame(first);
    out.emplace_back("background_tex", background);

    EffectDescription& d = const_cast<EffectDescription&>(Description());
    // No person-segmentation component ships: "human_segment" alone leaves the mask missing.
    const bool hasMaskImage = d.HasMaskInput();
    if (hasMaskImage && background) {
        FramePixels pixels;
        if (pixels.Read(first) && FindMaskBox(pixels.image())) out.emplace_back("mask_tex", background);
    }
    if (!gradient_.empty()) {
        zrp::TexturePtr t = gradientSlot_.Sized(gradient_.cols, 1);
        if (t && gradientDirty_) {
            t = gradientSlot_.FromHost(gradient_.data, static_cast<int32_t>(gradient_.step[0]), gradient_.cols, 1,
                                       zrp::kBitFormat8);
            gradientDirty_ = !t;
        }
        out.emplace_back("gradient_color_tex", t);
    }
}

float VideoEffectOpenGLSurface::TimeSecond(int64_t position) const {
    const int64_t fps = IntegerFrameRate(FrameRateNumerator(), FrameRateDenominator());
    return static_cast<float>(position + startFrame_) / static_cast<float>(fps);
}

zrp::Params* VideoEffectOpenGLSurface::PassParams(int64_t position, const zrp::TexturePtr& output) {
    zrp::TextureContext* ctx = output ? output->GetContext() : nullptr;
    zrp::Params* params = nullptr;
    if (!ctx || ZRPAllocParams(&params) != 0 || !params) return nullptr;
    const float t = TimeSecond(position);
    bool ok = SetFloat2(params, "iResolution", static_cast<float>(ctx->GetWidth()), static_cast<float>(ctx->GetHeight()));
    ok = params->SetParamValue("time_second", zrp::kParamFloat, &t, sizeof t) == 0 && ok;
    ok = SetFloat2(params, "mask_bottom_top", maskBottomTop_[0], maskBottomTop_[1]) && ok;
    ok = SetFloat2(params, "mask_left_right", maskLeftRight_[0], maskLeftRight_[1]) && ok;
    if (!ok) {
        ZRPObjectFree(params);
        return nullptr;
    }
    return params;
}

ResultCode VideoEffectOpenGLSurface::DispatchPass(GLProgramEntry& entry, zrp::Params* params,
                                                  const NamedTextures& inputs, const zrp::TexturePtr& output) {
    if (ApplyPassUniforms(params, entry) != Ok) return Failed;
    std::vector<zrp::TexturePtr> textures;
    for (size_t i = 0; i < inputs.size(); ++i) {
        // Each sampler is named after its input and reads the unit of that input.
        const int32_t unit = static_cast<int32_t>(i);
        params->SetParamValue(inputs[i].first.c_str(), zrp::kParamInt32, &unit, sizeof unit);
        textures.push_back(inputs[i].second);
    }
    return DispatchOpenGLProgram(params, entry.key.c_str(), textures, {output}) == 0 ? Ok : Failed;
}

ResultCode VideoEffectOpenGLSurface::RunPasses(int64_t position, NamedTextures& inputs, const zrp::TexturePtr& output) {
    for (size_t i = 0; i < passes_.size(); ++i) {
        GLProgramEntry& entry = *passes_[i];
        if (entry.path.empty() || entry.key.empty()) return Failed;
        zrp::Params* params = PassParams(position, output);
        if (!params) return Failed;
        FreeParams freeParams{params};
        ResultCode r = DispatchPass(entry, params, inputs, output);
        if (r != Ok) return r;
        // The next pass reads this one's result as its first input.
        if (i + 1 < passes_.size() && !inputs.empty()) inputs[0].second = output;
    }
    return Ok;
}

void VideoEffectOpenGLSurface::WorkingSize(int32_t W, int32_t H, int32_t* w, int32_t* h) const {
    static const float kCaps[] = {320.f, 480.f, 720.f};
    const float cap = kCaps[std::clamp(Description().GetQuality(), 0, 2)];
    const int32_t shorter = std::min(W, H);
    const float s = static_cast<float>(shorter) > cap ? cap / static_cast<float>(shorter) : 1.f;
    *w = static_cast<int32_t>(static_cast<float>(W) * s);
    *h = static_cast<int32_t>(static_cast<float>(H) * s);
}

ResultCode VideoEffectOpenGLSurface::Render(void* reserved1, int64_t position, void* reserved2,
                                            const std::vector<EffectFramePtr>& inputs, EffectFramePtr& output) {
    if (inputs.empty() || !inputs[0] || !output || !IsBGRA8(output->pixel_fmt) || !OpenGLEnabled() ||
        !FrameUsable(*inputs[0]) || !FrameUsable(*output))
        return EffectSurface::Render(reserved1, position, reserved2, inputs, output);
    try {
        for (const auto& updater : updaters_)
            if (updater && *updater) (*updater)(position);
        inputNames_.clear();
        CollectInputs(inputNames_, position, inputs);
        if (static_cast<int32_t>(inputNames_.size()) != RequiredInputCount()) return Failed;
        for (const NamedTexture& input : inputNames_)
            if (!input.second) return Failed;

        int32_t W = 0, H = 0;
        FrameSize(*output, &W, &H);
        zrp::TexturePtr target = output->texture ? output->texture : outputSlot_.Sized(W, H);
        if (!target) return Failed;

        ResultCode r;
        EffectDescription& d = const_cast<EffectDescription&>(Description());
        if (d.IsOriginal()) {
            r = RunPasses(position, inputNames_, target);
        } else {
            int32_t w = 0, h = 0;
            WorkingSize(W, H, &w, &h);
            zrp::TexturePtr working = workingSlot_.Sized(w, h);
            if (!working) return Failed;
            workingWidth_ = w;
            workingHeight_ = h;
            const zrp::TexturePtr background = inputNames_[0].second;
            r = RunPasses(position, inputNames_, working);
            if (r == Ok) {
                zrp::Params* params = PassParams(position, target);
                if (!params) return Failed;
                FreeParams freeParams{params};
                const int32_t units[2] = {0, 1};
                const uint8_t blend = d.NeedsBlend() ? 1 : 0;
                params->SetParamValue("background_tex", zrp::kParamInt32, &units[0], 4);
                params->SetParamValue("effect_tex", zrp::kParamInt32, &units[1], 4);
                params->SetParamValue("blend", zrp::kParamBool, &blend, 1);
                if (ApplyPassUniforms(params, blend_) != Ok) return Failed;
                r = DispatchOpenGLProgram(params, blend_.key.c_str(), {background, working}, {target}) == 0 ? Ok
                                                                                                          : Failed;
            }
        }
        if (r != Ok || output->texture) return r;

        // A host output gets the pixels only once everything has succeeded.
        zrp::MappedBuffer* m = target->Map(0);
        if (!m) return Failed;
        zrp::MappedPlane p = m->GetPlane(0);
        const size_t rowBytes = static_cast<size_t>(W) * 4;
        const bool fits = p.data && p.width == W && p.height == H && static_cast<size_t>(p.pitch) >= rowBytes;
        for (int32_t y = 0; fits && y < H; ++y)
            std::memcpy(output->data[0] + static_cast<size_t>(output->pitch[0]) * y,
                        p.data + static_cast<size_t>(p.pitch) * y, rowBytes);
        target->Unmap(m);
        return fits ? Ok : Failed;
    } catch (...) {
        return Failed;
    }
}

// --- VideoEffectWhirlWind ------------------------------------------------------------------------------

ResultCode VideoEffectWhirlWind::SetParam(const char* name, EffectParamType type, EffectParamValue value) {
    if (!name) return NotFound;
    const bool x = std::strcmp(name, "anchor_point_x") == 0;
    if (x || std::strcmp(name, "anchor_point_y") == 0) {
        if (type != ParamFloat) return WrongFormat;
        anchor_[x ? 0 : 1] = value.AsFloat();
        return Ok;
    }
    if (std::strcmp(name, "heat_distortion") == 0) {
        if (PassEntries().size() >= 2) SetPassParam(*PassEntries()[1], name, type, value);
        return Ok;
    }
    return VideoEffectOpenGLSurface::SetParam(name, type, std::move(value));
}

ResultCode VideoEffectWhirlWind::ApplyPassUniforms(zrp::Params* params, GLProgramEntry& entry) {
    if (!params) return Failed;
    const float anchor[2] = {anchor_[0], anchor_[1]};
    params->SetParamValue("anchor_point", zrp::kParamFloat2, anchor, sizeof anchor);
    return VideoEffectOpenGLSurface::ApplyPassUniforms(params, entry);
}

ResultCode VideoEffectWhirlWind::RunPasses(int64_t position, NamedTextures& inputs, const zrp::TexturePtr& output) {
    const auto& passes = PassEntries();
    zrp::TextureContext* ctx = output ? output->GetContext() : nullptr;
    if (passes.size() < 2 || !ctx) return Failed;
    for (const auto& entry : passes)
        if (entry->path.empty() || entry->key.empty()) return Failed;
    zrp::TexturePtr first = firstPass_.Sized(ctx->GetWidth(), ctx->GetHeight());
    if (!first) return Failed;
    for (int pass = 0; pass < 2; ++pass) {
        const zrp::TexturePtr& target = pass == 0 ? first : output;
        zrp::Params* params = PassParams(position, target);
        if (!params) return Failed;
        FreeParams freeParams{params};
        if (ResultCode r = DispatchPass(*passes[pass], params, inputs, target); r != Ok) return r;
        if (pass == 0) inputs.emplace_back("whirlwind_tex", first);
    }
    return Ok;
}

// --- self-registration ---------------------------------------------------------------------------------

namespace {

template <class T>
EffectSurface* MakeSurface() {
    return new T();
}

const bool kRegistered = [] {
    RegisterSelfEffect("opengl_effect", &MakeSurface<VideoEffectOpenGLSurface>);
    RegisterSelfEffect("video/effect/whirlwind", &MakeSurface<VideoEffectWhirlWind>);
    return true;
}();

}  // namespace

}  // namespace orvex
