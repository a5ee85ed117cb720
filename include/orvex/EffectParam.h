#pragma once
// Typed parameter values of effects.
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string>

namespace orvex {

enum EffectParamType : int32_t {
    ParamBool = 1,
    ParamFloat = 3,
    ParamInt = 5,
    ParamText = 6,
};

// 512 bytes of storage holding the value at offset 0, followed by an owned string. Passed by
// value: the callee owns its copy.
struct EffectParamValue {
    alignas(8) unsigned char storage[512] = {};
    std::string text;

    static EffectParamValue Bool(bool v) {
        EffectParamValue p;
        p.storage[0] = v ? 1 : 0;
        return p;
    }
    static EffectParamValue Float(float v) {
        EffectParamValue p;
        std::memcpy(p.storage, &v, sizeof v);
        return p;
    }
    static EffectParamValue Int(int32_t v) {
        EffectParamValue p;
        std::memcpy(p.storage, &v, sizeof v);
        return p;
    }
    // Text is stored NUL-terminated at the start of the storage, cut to fit.
    static EffectParamValue Text(const char* s) {
        EffectParamValue p;
        if (s) {
            size_t n = std::min(std::strlen(s), sizeof p.storage - 1);
            std::memcpy(p.storage, s, n);
            p.storage[n] = 0;
            p.text = s;
        }
        return p;
    }

    bool AsBool() const { return storage[0] != 0; }
    float AsFloat() const {
        float v;
        std::memcpy(&v, storage, sizeof v);
        return v;
    }
    int32_t AsInt() const {
        int32_t v;
        std::memcpy(&v, storage, sizeof v);
        return v;
    }
    // Bounded read: the storage need not be NUL-terminated.
    std::string AsText() const {
        const void* end = std::memchr(storage, 0, sizeof storage);
        size_t n = end ? static_cast<const unsigned char*>(end) - storage : sizeof storage;
        return std::string(reinterpret_cast<const char*>(storage), n);
    }
};

}  // namespace orvex
