#include "effects/EffectSurface.h"

#include <cmath>
#include <cstring>
#include <exception>
#include <utility>

#include "corelog.h"
#include "effects/Manifest.h"
#include "gpu/GpuDispatch.h"

namespace orvex {

EffectSurface::EffectSurface() = default;
EffectSurface::~EffectSurface() = default;

ResultCode EffectSurface::SetHostFlag(bool flag) {
    hostFlag_ = flag;
    return Ok;
}

ResultCode EffectSurface::SetHostValue(int64_t value) {
    hostValue_ = value;
    return Ok;
}

void EffectSurface::SetHostQuad(const int32_t* values) {
    if (values) std::memcpy(hostQuad_, values, sizeof hostQuad_);
}

void EffectSurface::GetSupportedPaths(bool* cpu, bool* opencl, bool* opengl) {
    if (const BuiltinEffect* row = FindBuiltinEffect(typeid(*this))) {
        if (cpu) *cpu = (row->paths & kPathCpu) != 0;
        if (opencl) *opencl = (row->paths & kPathOpenCL) != 0;
        if (opengl) *opengl = (row->paths & kPathOpenGL) != 0;
        return;
    }
    if (cpu) *cpu = supportedPaths_.count(1) != 0;
    if (opencl) *opencl = supportedPaths_.count(OpenCL) != 0;
    if (opengl) *opengl = supportedPaths_.count(OpenGL) != 0;
}

ResultCode EffectSurface::RunKernel(KernelArgs& args, const std::shared_ptr<zrp::Texture>& input,
                                    const std::shared_ptr<zrp::Texture>& output) const {
    const BuiltinEffect* row = FindBuiltinEffect(typeid(*this));
    if (!row || !row->kernelKey) return Failed;
    return RunEffectKernel(row->kernelKey, args, input, output);
}

void EffectSurface::SetFrameRate(int64_t numerator, int64_t denominator) {
    frameRateNum_ = numerator;
    frameRateDen_ = denominator;
}

void EffectSurface::GetAuxValueA(uint32_t* out) {
    if (out) *out = auxValueA_;
}

void EffectSurface::SetDescription(EffectDescription description) { description_ = std::move(description); }

void EffectSurface::SetHostHandles(void* first, void* second) {
    if (first) hostHandle1_ = first;
    if (second) hostHandle2_ = second;
}

void EffectSurface::SetHostHandle(void* third) {
    if (third) hostHandle3_ = third;
}

void EffectSurface::SetVisualProcess(IVisualProcess* process) {
    if (process) visualProcess_ = process;
}

void EffectSurface::SetAlgorithmUnitFactory(zrp::ATLUFactory* factory) {
    if (factory) factory_ = factory;
}

ResultCode EffectSurface::ProcessCPU(int64_t, EffectFrame*, EffectFrame*) { return Failed; }

// An effect whose kernel takes just its declared parameters needs no OpenCL body of its own.
ResultCode EffectSurface::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                        const std::shared_ptr<zrp::Texture>& output) {
    const BuiltinEffect* row = FindBuiltinEffect(typeid(*this));
    if (!row || !(row->paths & kPathOpenCL)) return Failed;
    KernelArgs args;
    AddDeclaredKernelArgs(args);
    return RunKernel(args, input, output);
}

ResultCode EffectSurface::ProcessOpenGL(int64_t, const std::vector<std::shared_ptr<zrp::Texture>>&,
                                        const std::shared_ptr<zrp::Texture>&) {
    return Failed;
}

bool EffectSurface::GetContentRect(fxRectf* rect) {
    if (rect) *rect = fxRectf{0.f, 0.f, 1.f, 1.f};
    return true;
}

void EffectSurface::SetGPUAvailability(bool opencl, bool opengl) {
    openclEnabled_ = opencl;
    openglEnabled_ = opengl;
}

ResultCode EffectSurface::SetProgramLoader(ProgramLoader) { return Ok; }

// --- parameters ------------------------------------------------------------------------------------

ParamDecl& EffectSurface::Declare(ParamDecl decl) {
    params_.push_back(std::move(decl));
    ParamDecl& p = params_.back();
    EffectParamValue def;
    if (p.field == ParamDecl::Field::Text) def.text = "";
    Store(p, def, p.defaultValue);
    return p;
}

ParamDecl& EffectSurface::DeclareFloat(const char* name, float* field, float def) {
    return Declare({name, ParamFloat, ParamDecl::Field::Float, field, def});
}

ParamDecl& EffectSurface::DeclareFloat(const char* name, float* field, float def, float lo, float hi,
                                       float substitute) {
    return Declare({name, ParamFloat, ParamDecl::Field::Float, field, def, true, lo, hi, substitute});
}

ParamDecl& EffectSurface::DeclareInt(const char* name, int32_t* field, int32_t def) {
    return Declare({name, ParamInt, ParamDecl::Field::Int, field, static_cast<double>(def)});
}

ParamDecl& EffectSurface::DeclareInt(const char* name, int32_t* field, int32_t def, int32_t lo, int32_t hi,
                                     int32_t substitute) {
    return Declare({name, ParamInt, ParamDecl::Field::Int, field, static_cast<double>(def), true,
                    static_cast<double>(lo), static_cast<double>(hi), static_cast<double>(substitute)});
}

ParamDecl& EffectSurface::DeclareByte(const char* name, uint8_t* field, uint8_t def) {
    return Declare({name, ParamInt, ParamDecl::Field::Byte, field, static_cast<double>(def)});
}

ParamDecl& EffectSurface::DeclareBool(const char* name, bool* field, bool def) {
    return Declare({name, ParamBool, ParamDecl::Field::Bool, field, def ? 1.0 : 0.0});
}

ParamDecl& EffectSurface::DeclareText(const char* name, std::string* field, const char* def) {
    *field = def ? def : "";
    params_.push_back({name, ParamText, ParamDecl::Field::Text, field});
    return params_.back();
}

ParamDecl& EffectSurface::Scaled(ParamDecl& p, double scale) {
    p.scale = scale;
    Store(p, EffectParamValue{}, p.defaultValue);
    return p;
}

ParamDecl& EffectSurface::Kernel(ParamDecl& p, const char* argument, double scale) {
    p.kernelArg = argument;
    p.kernelScale = scale;
    return p;
}

void EffectSurface::AddDeclaredKernelArgs(KernelArgs& args) const {
    for (const ParamDecl& p : params_) {
        if (!p.kernelArg) continue;
        switch (p.field) {
        case ParamDecl::Field::Float:
            args.Float(p.kernelArg, static_cast<float>(*static_cast<const float*>(p.target) * p.kernelScale));
            break;
        case ParamDecl::Field::Int:
            args.Int(p.kernelArg, static_cast<int32_t>(*static_cast<const int32_t*>(p.target) * p.kernelScale));
            break;
        case ParamDecl::Field::Byte:
            args.Byte(p.kernelArg, *static_cast<const uint8_t*>(p.target));
            break;
        case ParamDecl::Field::Bool:
            args.Int(p.kernelArg, *static_cast<const bool*>(p.target) ? 1 : 0);
            break;
        case ParamDecl::Field::Text:
            break;
        }
    }
}

void EffectSurface::Store(const ParamDecl& p, const EffectParamValue& value, double numeric) {
    switch (p.field) {
    case ParamDecl::Field::Float:
        *static_cast<float*>(p.target) = static_cast<float>(numeric * p.scale);
        break;
    case ParamDecl::Field::Int:
        *static_cast<int32_t*>(p.target) = static_cast<int32_t>(numeric * p.scale);
        break;
    case ParamDecl::Field::Byte:
        // The low byte of the value given.
        *static_cast<uint8_t*>(p.target) = static_cast<uint8_t>(static_cast<int64_t>(numeric) & 0xff);
        break;
    case ParamDecl::Field::Bool:
        *static_cast<bool*>(p.target) = numeric != 0;
        break;
    case ParamDecl::Field::Text:
        *static_cast<std::string*>(p.target) = value.AsText();
        break;
    }
}

double EffectSurface::StoredValue(const ParamDecl& p) {
    switch (p.field) {
    case ParamDecl::Field::Float: return *static_cast<const float*>(p.target) / p.scale;
    case ParamDecl::Field::Int: return *static_cast<const int32_t*>(p.target) / p.scale;
    case ParamDecl::Field::Byte: return *static_cast<const uint8_t*>(p.target);
    case ParamDecl::Field::Bool: return *static_cast<const bool*>(p.target) ? 1 : 0;
    case ParamDecl::Field::Text: return 0;
    }
    return 0;
}

std::string EffectSurface::StoredText(const ParamDecl& p) {
    return p.field == ParamDecl::Field::Text ? *static_cast<const std::string*>(p.target) : std::string();
}

ResultCode EffectSurface::SetParam(const char* name, EffectParamType type, EffectParamValue value) {
    if (!name) return NotFound;
    for (const ParamDecl& p : params_) {
        if (p.name != name) continue;
        if (type != p.type) return WrongFormat;
        double numeric = 0;
        switch (type) {
        case ParamFloat: numeric = value.AsFloat(); break;
        case ParamInt: numeric = value.AsInt(); break;
        case ParamBool: numeric = value.AsBool() ? 1 : 0; break;
        default: break;
        }
        ResultCode result = Ok;
        // Written so that NaN counts as out of range.
        if (p.hasRange && !(numeric >= p.minValue && numeric <= p.maxValue)) {
            numeric = p.substitute;
            result = p.onSubstitute;
        }
        Store(p, value, numeric);
        OnParamStored(p);
        return result;
    }
    // The base takes any name when the effect declares nothing.
    return params_.empty() ? Ok : NotFound;
}

// --- rendering ----------------------------------------------------------------------------------------

ResultCode EffectSurface::Render(void* reserved1, int64_t position, void* reserved2,
                                 const std::vector<EffectFramePtr>& inputs, EffectFramePtr& output) {
    // No exception may cross into the host: scratch memory a large frame cannot get, or an image
    // library error a body does not catch itself, fails this frame instead.
    try {
        return RenderFrame(reserved1, position, reserved2, inputs, output);
    } catch (const std::exception& e) {
        ORVEX_LOG(4, "orvex::EffectSurface::Render", "render failed,msg: %s", e.what());
        return Failed;
    }
}

ResultCode EffectSurface::RenderFrame(void*, int64_t position, void*, const std::vector<EffectFramePtr>& inputs,
                                      EffectFramePtr& output) {
    if (inputs.empty() || !inputs.front() || !output) return Failed;
    EffectFrame* in = inputs.front().get();
    EffectFrame* out = output.get();
    std::shared_ptr<zrp::Texture> inTexture = in->texture;
    std::shared_ptr<zrp::Texture> outTexture = out->texture;

    if (!inTexture || !outTexture) {
        if (!CanRenderOnCPU(*in, *out)) return RejectCode();
        return ProcessCPU(position, SeparatedInput(in, out), out);
    }

    if (openclEnabled_ && ProcessOpenCL(position, inTexture, outTexture) == Ok) return Ok;
    if (openglEnabled_) {
        std::vector<std::shared_ptr<zrp::Texture>> glInputs(1, inTexture);
        if (ProcessOpenGL(position, glInputs, outTexture) == Ok) return Ok;
    }

    // Only the CPU body can serve: run it on the textures mapped into host memory. A mapping
    // that fails reports failure rather than running the body on nothing.
    TextureHostMapping inMap;
    TextureHostMapping outMap;
    if (!inMap.Map(inTexture, 0, false) || !outMap.Map(outTexture, 1, false)) return Failed;
    if (!CanRenderOnCPU(inMap.frame(), outMap.frame())) return RejectCode();
    ResultCode result = ProcessCPU(position, &inMap.frame(), &outMap.frame());
    outMap.Release();
    inMap.Release();
    return result;
}

namespace {

// The bytes of a frame's first plane the CPU bodies touch, when its claims are ones a body would
// accept; an empty range otherwise (the body then refuses the frame itself).
std::pair<const uint8_t*, const uint8_t*> PlaneBytes(const EffectFrame& f) {
    if (!f.data[0] || f.width[0] == 0 || f.height[0] == 0 || f.width[0] > (1u << 28) || f.height[0] > (1u << 28) ||
        f.pitch[0] <= 0 || static_cast<uint64_t>(f.pitch[0]) < static_cast<uint64_t>(f.width[0]) * 4)
        return {nullptr, nullptr};
    const uint64_t bytes = static_cast<uint64_t>(f.pitch[0]) * (f.height[0] - 1) + uint64_t{f.width[0]} * 4;
    return {f.data[0], f.data[0] + bytes};
}

}  // namespace

EffectFrame* EffectSurface::SeparatedInput(EffectFrame* in, const EffectFrame* out) {
    const auto [inBegin, inEnd] = PlaneBytes(*in);
    const auto [outBegin, outEnd] = PlaneBytes(*out);
    const bool identical = in->data[0] == out->data[0] && in->pitch[0] == out->pitch[0] &&
                           in->width[0] == out->width[0] && in->height[0] == out->height[0];
    if (!inBegin || !outBegin || identical || !(inBegin < outEnd && outBegin < inEnd)) return in;
    const size_t bytes = static_cast<size_t>(inEnd - inBegin);
    if (inputBytes_.size() < bytes) inputBytes_.resize(bytes);  // kept: only a larger frame allocates
    std::memcpy(inputBytes_.data(), inBegin, bytes);
    inputFrameCopy_ = *in;
    inputFrameCopy_.data[0] = inputBytes_.data();
    return &inputFrameCopy_;
}

ResultCode EffectSurface::RejectCode() const {
    const BuiltinEffect* row = FindBuiltinEffect(typeid(*this));
    return row ? row->reject : UnsupportedFrame;
}

FrameRules EffectSurface::Rules() const {
    const BuiltinEffect* row = FindBuiltinEffect(typeid(*this));
    return {!row || row->outputSize == OutputSize::SameAsInput};
}

bool EffectSurface::CanRenderOnCPU(const EffectFrame& in, const EffectFrame& out) const {
    if (IsBGRA8(in.pixel_fmt) && IsBGRA8(out.pixel_fmt)) return true;
    ORVEX_LOG(6, "orvex::EffectSurface::Render", "%s: unsupported frame format, input %u output %u",
              name_.empty() ? "effect" : name_.c_str(), in.pixel_fmt, out.pixel_fmt);
    return false;
}

// --- OpenCL-body helpers ----------------------------------------------------------------------------

ResultCode RunEffectKernel(const char* key, KernelArgs& args, const std::shared_ptr<zrp::Texture>& input,
                           const std::shared_ptr<zrp::Texture>& output) {
    if (!args.ok() || !input || !output) return Failed;
    std::vector<zrp::TexturePtr> inputs(1, input);
    std::vector<zrp::TexturePtr> outputs(1, output);
    return DispatchEffectKernel(args.params(), key, inputs, outputs) == 0 ? Ok : Failed;
}

// --- CPU-body helpers -------------------------------------------------------------------------------

bool FramesUsable(const EffectFrame* in, const EffectFrame* out, ResultCode* result, FrameRules rules) {
    auto planeOk = [](const EffectFrame& f) {
        return f.data[0] && f.width[0] > 0 && f.height[0] > 0 && f.width[0] <= (1u << 28) &&
               f.height[0] <= (1u << 28) && f.pitch[0] > 0 &&
               static_cast<uint64_t>(f.pitch[0]) >= static_cast<uint64_t>(f.width[0]) * 4;
    };
    *result = InvalidArgument;
    if (!in || !out) return false;
    if (!IsBGRA8(out->pixel_fmt) || !IsBGRA8(in->pixel_fmt)) {
        *result = UnsupportedFrame;
        return false;
    }
    if (!planeOk(*in) || !planeOk(*out)) return false;
    if (rules.sameSize && (in->width[0] != out->width[0] || in->height[0] != out->height[0])) return false;
    *result = Ok;
    return true;
}

void CopyFrame(const cv::Mat& in, cv::Mat& out) {
    if (in.data == out.data && in.step == out.step) return;
    for (int y = 0; y < in.rows; ++y) std::memmove(out.ptr(y), in.ptr(y), static_cast<size_t>(in.cols) * 4);
}

cv::Mat ReadableInput(const cv::Mat& in, const cv::Mat& out) {
    const bool overlap = in.datastart < out.dataend && out.datastart < in.dataend;
    return overlap ? in.clone() : in;
}

cv::Mat EffectSurface::ReadableInput(const cv::Mat& in, const cv::Mat& out) {
    const bool overlap = in.datastart < out.dataend && out.datastart < in.dataend;
    if (!overlap) return in;
    in.copyTo(inputCopy_);
    return inputCopy_;
}

cv::Mat WrapBGRA(const EffectFrame& frame) {
    return cv::Mat(static_cast<int>(frame.height[0]), static_cast<int>(frame.width[0]), CV_8UC4, frame.data[0],
                   static_cast<size_t>(frame.pitch[0]));
}

void RowBandBody::operator()(const cv::Range& range) const {
    for (int b = range.start; b < range.end; ++b) {
        const cv::Range rows = BandRows(b, bands, height);
        if (!rows.empty()) Rows(rows.start, rows.end);
    }
}

void RunRowBands(RowBandBody& body, int width, int height) {
    body.height = height;
    body.bands = BandsFor(static_cast<int64_t>(width) * height);
    RunBands(body, body.bands);
}

}  // namespace orvex
