#pragma once
// The manifest of built-in effects: one row per effect, the one place that knows its name, its
// class, its kernel key and program file, the paths it renders on, and the result that refuses a
// frame it cannot render. The lab's table, an
// effect's supported paths, the kernel its OpenCL body dispatches, the generated docs, the frei0r
// modules and the test tables all read it. Beside it, the registry of the effects that register
// themselves (the shader and audio effects, found by name or type at creation).
#include <cstdint>
#include <map>
#include <string>
#include <typeinfo>

#include "orvex/ResultCode.h"

namespace orvex {

class EffectSurface;
using EffectFactory = EffectSurface* (*)();

// The paths an effect renders on, as a host is told through GetSupportedPaths.
enum EffectPath : uint32_t { kPathCpu = 1, kPathOpenCL = 2, kPathOpenGL = 4 };

// The output a CPU body takes: most bodies map pixel to pixel and need the input's size; the
// warps place the input in an output of any size.
enum class OutputSize : uint8_t { SameAsInput, Any };

struct BuiltinEffect {
    const char* name;             // "video/effect/..."
    EffectFactory create;         // null while the effect's family has not been built
    const char* kernelKey;        // null when the effect has no OpenCL program
    const char* programFile;      // relative to the effect's description folder
    uint32_t paths;               // EffectPath bits
    const std::type_info* type;   // the class `create` makes
    ResultCode reject;            // what rendering a frame the CPU body cannot take returns
    OutputSize outputSize;        // whether the output may differ in size from the input
};

// The 54 rows in table order.
const BuiltinEffect* BuiltinEffects(size_t* count);
// First row whose name matches ignoring case, or null.
const BuiltinEffect* FindBuiltinEffect(const char* name);
// The row whose class is `type`, or null (an effect that is not built in).
const BuiltinEffect* FindBuiltinEffect(const std::type_info& type);

// Name -> factory, filled by the effect modules before first use. Registering a present name
// replaces its function.
void RegisterSelfEffect(const std::string& name, EffectFactory factory);
EffectFactory FindSelfEffect(const std::string& name);
std::map<std::string, EffectFactory> SelfEffects();

}  // namespace orvex
