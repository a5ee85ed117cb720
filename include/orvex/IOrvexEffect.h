#pragma once
// The effect interface. Slot order is part of the binary contract with hosts.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "orvex/EffectDescription.h"
#include "orvex/EffectFrame.h"
#include "orvex/EffectParam.h"
#include "orvex/ResultCode.h"
#include "zrp/zrp.h"

namespace orvex {

class IVisualProcess;

// Loads a GPU program for an effect: (program file, kernel key, platform, input colour space,
// output colour space).
using ProgramLoader =
    std::function<ResultCode(const char*, const char*, GPUPlatform, zrp::ImageColorSpace, zrp::ImageColorSpace)>;

class IOrvexEffect {
public:
    virtual ~IOrvexEffect() = default;                                             // 0
    virtual ResultCode SetHostFlag(bool flag) = 0;                                 // 1
    virtual ResultCode SetHostValue(int64_t value) = 0;                            // 2
    virtual ResultCode SetParam(const char* name, EffectParamType type, EffectParamValue value) = 0;  // 3
    virtual int32_t QueryStatus() = 0;                                             // 4
    virtual bool IsIdentity() = 0;                                                 // 5
    virtual void SetHostQuad(const int32_t* values) = 0;                           // 6
    virtual ResultCode Render(void* reserved1, int64_t position, void* reserved2,
                              const std::vector<EffectFramePtr>& inputs, EffectFramePtr& output) = 0;  // 7
    virtual void GetSupportedPaths(bool* cpu, bool* opencl, bool* opengl) = 0;     // 8
    virtual void SetFrameRate(int64_t numerator, int64_t denominator) = 0;         // 9
    virtual void GetAuxValueA(uint32_t* out) = 0;                                  // 10
    virtual uint32_t GetAuxValueB() = 0;                                           // 11
    virtual void SetDescription(EffectDescription description) = 0;                // 12
    virtual void ReservedNoOp() = 0;                                               // 13
    virtual void SetHostHandles(void* first, void* second) = 0;                    // 14
    virtual void SetHostHandle(void* third) = 0;                                   // 15
    virtual void SetVisualProcess(IVisualProcess* process) = 0;                    // 16
    virtual void SetAlgorithmUnitFactory(zrp::ATLUFactory* factory) = 0;           // 17
    virtual ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) = 0;  // 18
    virtual ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                                     const std::shared_ptr<zrp::Texture>& output) = 0;  // 19
    virtual ResultCode ProcessOpenGL(int64_t position, const std::vector<std::shared_ptr<zrp::Texture>>& inputs,
                                     const std::shared_ptr<zrp::Texture>& output) = 0;  // 20
    virtual bool GetContentRect(fxRectf* rect) = 0;                                // 21
    virtual void SetGPUAvailability(bool opencl, bool opengl) = 0;                 // 22
    virtual ResultCode SetProgramLoader(ProgramLoader loader) = 0;                 // 23
};

}  // namespace orvex
