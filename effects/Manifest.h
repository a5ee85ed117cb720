#pragma once
// The built-in effect table and the self-registry of effect factories.
#include <map>
#include <string>

namespace orvex {

class EffectSurface;
using EffectFactory = EffectSurface* (*)();

struct BuiltinEffect {
    const char* name;         // "video/effect/..."
    EffectFactory create;     // null while the effect's family has not been built
    const char* kernelKey;    // null when the effect has no OpenCL program
    const char* programFile;  // relative to the effect's description folder
};

// The 54 rows in table order.
const BuiltinEffect* BuiltinEffects(size_t* count);
// First row whose name matches ignoring case, or null.
const BuiltinEffect* FindBuiltinEffect(const char* name);

// Name -> factory, filled by the effect modules before first use. Registering a present name
// replaces its function.
void RegisterSelfEffect(const std::string& name, EffectFactory factory);
EffectFactory FindSelfEffect(const std::string& name);
std::map<std::string, EffectFactory> SelfEffects();

}  // namespace orvex
