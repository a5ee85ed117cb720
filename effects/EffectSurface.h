#pragma once
// The base of every effect: host state, the parameter protocol driven by a per-effect table, and
// the one rendering procedure (OpenCL body, then OpenGL body, then the CPU body on host or mapped
// frames).
#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "gpu/GpuDispatch.h"
#include "imagecpu/RowBands.h"
#include "orvex/IOrvexEffect.h"

namespace orvex {

// One declared parameter. Values are range-checked in the units the host passes; `scale`
// converts to the stored unit (0.01 stores percent as a fraction).
struct ParamDecl {
    enum class Field { Bool, Float, Int, Byte, Text };

    std::string name;
    EffectParamType type = ParamFloat;
    Field field = Field::Float;
    void* target = nullptr;
    double defaultValue = 0;
    bool hasRange = false;
    double minValue = 0;
    double maxValue = 0;
    double substitute = 0;
    double scale = 1;
    ResultCode onSubstitute = InvalidArgument;
    // The kernel argument this parameter feeds, null for none: the stored value times
    // kernelScale, as a float for a float field, an int for an int or a flag, a byte for a byte.
    const char* kernelArg = nullptr;
    double kernelScale = 1;
};

// What a CPU body asks of its frames beyond 8-bit BGRA planes it can read and write.
struct FrameRules {
    bool sameSize = true;  // false for the warps, whose output size may differ
};

class EffectSurface : public IOrvexEffect {
public:
    EffectSurface();
    ~EffectSurface() override;
    EffectSurface(const EffectSurface&) = delete;
    EffectSurface& operator=(const EffectSurface&) = delete;

    ResultCode SetHostFlag(bool flag) override;
    ResultCode SetHostValue(int64_t value) override;
    ResultCode SetParam(const char* name, EffectParamType type, EffectParamValue value) override;
    int32_t QueryStatus() override { return 0; }
    bool IsIdentity() override { return false; }
    void SetHostQuad(const int32_t* values) override;
    ResultCode Render(void* reserved1, int64_t position, void* reserved2, const std::vector<EffectFramePtr>& inputs,
                      EffectFramePtr& output) override;
    void GetSupportedPaths(bool* cpu, bool* opencl, bool* opengl) override;
    void SetFrameRate(int64_t numerator, int64_t denominator) override;
    void GetAuxValueA(uint32_t* out) override;
    uint32_t GetAuxValueB() override { return auxValueB_; }
    void SetDescription(EffectDescription description) override;
    void ReservedNoOp() override {}
    void SetHostHandles(void* first, void* second) override;
    void SetHostHandle(void* third) override;
    void SetVisualProcess(IVisualProcess* process) override;
    void SetAlgorithmUnitFactory(zrp::ATLUFactory* factory) override;
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;
    ResultCode ProcessOpenGL(int64_t position, const std::vector<std::shared_ptr<zrp::Texture>>& inputs,
                             const std::shared_ptr<zrp::Texture>& output) override;
    bool GetContentRect(fxRectf* rect) override;
    void SetGPUAvailability(bool opencl, bool opengl) override;
    ResultCode SetProgramLoader(ProgramLoader loader) override;

    // The declared parameters, in declaration order (the CLI describes effects from it).
    const std::vector<ParamDecl>& Params() const { return params_; }
    // A parameter's stored value in the units the host passes (stored / scale).
    static double StoredValue(const ParamDecl& p);
    static std::string StoredText(const ParamDecl& p);

    const EffectDescription& Description() const { return description_; }
    // The name the lab created the effect under; log lines name the effect by it.
    void SetName(std::string name) { name_ = std::move(name); }
    const std::string& Name() const { return name_; }
    // False, with a log line, when the CPU body could not render these frames: every built-in body
    // reads and writes 8-bit BGRA only. Render asks before any CPU body runs, so that no effect
    // reports a frame it never rendered, or wrote in another layout, as rendered.
    bool CanRenderOnCPU(const EffectFrame& in, const EffectFrame& out) const;
    // What Render returns for frames CanRenderOnCPU refuses: the effect's manifest row says it;
    // UnsupportedFrame for an effect without a row.
    ResultCode RejectCode() const;
    // The rules its CPU body checks frames by: the output size from the manifest row (the
    // input's size for an effect without a row).
    FrameRules Rules() const;
    bool OpenCLEnabled() const { return openclEnabled_; }
    bool OpenGLEnabled() const { return openglEnabled_; }
    IVisualProcess* VisualProcess() const { return visualProcess_; }
    zrp::ATLUFactory* Factory() const { return factory_; }
    int64_t FrameRateNumerator() const { return frameRateNum_; }
    int64_t FrameRateDenominator() const { return frameRateDen_; }

protected:
    // Declarations used by derived constructors; each sets the field to its default.
    ParamDecl& DeclareFloat(const char* name, float* field, float def);
    ParamDecl& DeclareFloat(const char* name, float* field, float def, float lo, float hi, float substitute);
    ParamDecl& DeclareInt(const char* name, int32_t* field, int32_t def);
    ParamDecl& DeclareInt(const char* name, int32_t* field, int32_t def, int32_t lo, int32_t hi, int32_t substitute);
    ParamDecl& DeclareByte(const char* name, uint8_t* field, uint8_t def);
    ParamDecl& DeclareBool(const char* name, bool* field, bool def);
    ParamDecl& DeclareText(const char* name, std::string* field, const char* def);
    // Stores the parameter in another unit (stored = given * scale), its default included.
    ParamDecl& Scaled(ParamDecl& p, double scale);
    // Names the kernel argument the parameter feeds (value = stored * scale).
    ParamDecl& Kernel(ParamDecl& p, const char* argument, double scale = 1);
    // Adds the argument of every declaration that names one, from the stored values.
    void AddDeclaredKernelArgs(KernelArgs& args) const;

    // Called after a declared parameter was stored (accepted or substituted).
    virtual void OnParamStored(const ParamDecl&) {}

    // The input, or, when it shares memory with the output (a frame rendered in place), a copy
    // in this effect's own scratch frame, kept between frames.
    cv::Mat ReadableInput(const cv::Mat& in, const cv::Mat& out);

    // Runs this effect's kernel (its manifest row's key) over the output texture with the input
    // texture; Failed when the effect has no kernel or the dispatch failed.
    ResultCode RunKernel(KernelArgs& args, const std::shared_ptr<zrp::Texture>& input,
                         const std::shared_ptr<zrp::Texture>& output) const;

    // The paths of an effect that is not in the manifest (the shader and audio effects, whose
    // description decides): 1 = CPU body, 2 = OpenCL body, 3 = OpenGL body.
    std::set<int32_t> supportedPaths_;
    uint32_t auxValueA_ = 0;
    uint32_t auxValueB_ = 0;

private:
    ResultCode RenderFrame(void* reserved1, int64_t position, void* reserved2,
                           const std::vector<EffectFramePtr>& inputs, EffectFramePtr& output);
    ParamDecl& Declare(ParamDecl decl);
    static void Store(const ParamDecl& p, const EffectParamValue& value, double numeric);

    // The input as the CPU body may read it: the frame itself, or (when it partly overlaps the
    // output in memory) its copy in inputFrameCopy_, so that no body reads a byte it has written.
    // A frame that is the output itself is rendered in place, which every body handles.
    EffectFrame* SeparatedInput(EffectFrame* in, const EffectFrame* out);

    cv::Mat inputCopy_;
    std::vector<uint8_t> inputBytes_;
    EffectFrame inputFrameCopy_;
    void* hostHandle1_ = nullptr;
    void* hostHandle2_ = nullptr;
    void* hostHandle3_ = nullptr;
    bool hostFlag_ = true;
    int64_t hostValue_ = 1;
    int64_t frameRateNum_ = 30;
    int64_t frameRateDen_ = 1;
    uint32_t reserved_ = 0;
    int32_t hostQuad_[4] = {0, 0, 0, 0};
    IVisualProcess* visualProcess_ = nullptr;
    zrp::ATLUFactory* factory_ = nullptr;
    bool openclEnabled_ = false;
    bool openglEnabled_ = false;
    EffectDescription description_;
    std::string name_;
    std::vector<ParamDecl> params_;
};

// --- OpenCL-body helpers ------------------------------------------------------------------------

// Runs an effect kernel over the output texture with the input texture: Ok, or Failed when the
// dispatch (or setting an argument) failed, so that rendering falls back to the next path.
ResultCode RunEffectKernel(const char* key, KernelArgs& args, const std::shared_ptr<zrp::Texture>& input,
                           const std::shared_ptr<zrp::Texture>& output);

// --- CPU-body helpers shared by the effect families ---------------------------------------------

// True when the body may run. Otherwise *result is what ProcessCPU returns: UnsupportedFrame for
// a frame that is not 8-bit BGRA on either side, InvalidArgument for frames it cannot read or
// write safely (null, no plane, short pitch, sizes that differ where they must not).
bool FramesUsable(const EffectFrame* in, const EffectFrame* out, ResultCode* result, FrameRules rules = {});

// Copies the input rows to the output (alpha included); nothing to do when they are one picture.
void CopyFrame(const cv::Mat& in, cv::Mat& out);

// The input as the body may read it while writing `out`: the wrapped frame itself, or a copy
// when the two share memory (rendering in place), so that no output row is read back as input.
cv::Mat ReadableInput(const cv::Mat& in, const cv::Mat& out);

// Wraps a frame's first plane as an 8-bit four-channel image without copying.
cv::Mat WrapBGRA(const EffectFrame& frame);

// Scratch images of one row band: bodies that go through colour-space conversions work in
// strips of a few rows through these, so only the first frame (or a new width) allocates.
struct BandScratch {
    cv::Mat m[4];
};
using BandScratchSet = std::array<BandScratch, kBandCount>;

// A body over rows [y0, y1). Run it with RunRowBands.
class RowBandBody : public cv::ParallelLoopBody {
public:
    void operator()(const cv::Range& bands) const final;
    virtual void Rows(int y0, int y1) const = 0;
    int height = 0;
    int bands = kBandCount;
};

// The bands of imagecpu/RowBands for a width x height frame: kBandCount of them on the workers,
// or one on this thread for a small frame.
void RunRowBands(RowBandBody& body, int width, int height);

}  // namespace orvex
