// "gradient_color": arbitrary text through a shader effect's parameter parser, which must answer
// with a result code (never an exception or a write past its texels).
#include <cstdint>
#include <string>

#include "effects/shader/OpenGLSurface.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool silenced = (orvexfuzz::SilenceLog(), true);
    (void)silenced;
    using namespace orvex;
    VideoEffectOpenGLSurface effect;
    EffectDescription d;
    d.document = JsonDocument{{"display_name", "g"}, {"opengl_frag", {"a.frag"}}};
    effect.SetDescription(std::move(d));
    const std::string text(reinterpret_cast<const char*>(data), size);
    effect.SetParam("gradient_color", ParamText, EffectParamValue::Text(text.c_str()));
    return 0;
}
