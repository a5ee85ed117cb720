// Render of every creatable built-in effect after random parameter values (any declared or
// undeclared name, any type, NaN and infinities) on random frames, inputs and outputs.
#include <cstdint>
#include <memory>
#include <vector>

#include "effects/EffectSurface.h"
#include "fuzz/fuzz_support.h"
#include "effects/Manifest.h"

namespace {

std::vector<orvex::EffectFactory> Creatable() {
    std::vector<orvex::EffectFactory> list;
    size_t count = 0;
    const orvex::BuiltinEffect* rows = orvex::BuiltinEffects(&count);
    for (size_t i = 0; i < count; ++i)
        if (rows[i].create) list.push_back(rows[i].create);
    return list;
}

orvex::EffectParamValue Value(orvexfuzz::Bytes& in, orvex::EffectParamType type) {
    using orvex::EffectParamValue;
    switch (type) {
    case orvex::ParamBool: return EffectParamValue::Bool(in.Flag());
    case orvex::ParamFloat: return EffectParamValue::Float(in.Float());
    case orvex::ParamInt: return EffectParamValue::Int(in.Int());
    default: return EffectParamValue::Text(in.Text(40).c_str());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool silenced = (orvexfuzz::SilenceLog(), true);
    (void)silenced;
    static const std::vector<orvex::EffectFactory> factories = Creatable();
    using namespace orvexfuzz;
    Bytes in(data, size);
    std::unique_ptr<orvex::EffectSurface> effect(factories[in.Below(static_cast<uint32_t>(factories.size()))]());
    const auto& params = effect->Params();
    for (uint32_t n = in.Below(8); n > 0 && !params.empty(); --n) {
        const orvex::ParamDecl& p = params[in.Below(static_cast<uint32_t>(params.size()))];
        static const orvex::EffectParamType kTypes[] = {orvex::ParamBool, orvex::ParamFloat, orvex::ParamInt,
                                                        orvex::ParamText, static_cast<orvex::EffectParamType>(0)};
        const orvex::EffectParamType type = in.Below(3) ? p.type : kTypes[in.Below(5)];
        effect->SetParam(in.Below(16) ? p.name.c_str() : "no such parameter", type, Value(in, type));
    }
    auto input = std::make_shared<FuzzFrame>();
    auto output = std::make_shared<FuzzFrame>();
    input->Shape(in);
    output->Shape(in, input.get());
    std::vector<orvex::EffectFramePtr> inputs;
    if (in.Below(16)) inputs.emplace_back(input, &input->frame);
    if (in.Below(16) == 0) inputs.emplace_back(nullptr);
    orvex::EffectFramePtr out;
    if (in.Below(16)) out = orvex::EffectFramePtr(output, &output->frame);
    const orvex::ResultCode result = effect->Render(nullptr, in.Take<int64_t>(), nullptr, inputs, out);
    if (result < orvex::Ok || result > orvex::UnsupportedFrame) __builtin_trap();
    return 0;
}
