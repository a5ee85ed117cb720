#include "host/zrp/objects.h"

#include <cstring>
#include <new>

namespace zrp {

ResultCode ParamSet::SetParamValue(const char* name, int32_t typeCode, const void* data, size_t byteSize) {
    if (!name || (!data && byteSize != 0)) return 1;
    size_t expected = 0;
    switch (typeCode) {
    case kParamByte: case kParamBool: expected = 1; break;
    case kParamInt32: case kParamFloat: expected = 4; break;
    case kParam64: case kParamFloat2: expected = 8; break;
    case kParamBlock: expected = byteSize; break;
    default: return 1;
    }
    if (byteSize != expected) return 1;
    Value& v = values_[name];
    v.type = typeCode;
    v.bytes.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + byteSize);
    return 0;
}

const ParamSet::Value* ParamSet::Find(const std::string& name) const {
    auto it = values_.find(name);
    return it == values_.end() ? nullptr : &it->second;
}

}  // namespace zrp

using namespace zrp;

ResultCode ZRPAllocParams(Params** params) {
    if (!params) return 1;
    *params = new (std::nothrow) ParamSet();
    return *params ? 0 : 1;
}

ResultCode ZRPImageFormatAlloc(ImageColorSpace colorSpace, BitFormat bits, int width, int height, int,
                               ImageFormat** format) {
    if (!format) return 1;
    *format = nullptr;
    if (width < 0 || height < 0) return 1;
    *format = new (std::nothrow) BasicImageFormat(colorSpace, bits, width, height);
    return *format ? 0 : 1;
}

ResultCode ZRPPixelFormatAlloc(ImageColorSpace colorSpace, BitFormat bits, PixelFormat** format) {
    if (!format) return 1;
    *format = new (std::nothrow) BasicPixelFormat(colorSpace, bits);
    return *format ? 0 : 1;
}

ResultCode ZRPPlaneFormatAlloc(BitFormat bits, uint32_t a, uint32_t b, uint32_t c, uint32_t d,
                               PlaneFormat** format) {
    if (!format) return 1;
    const uint32_t v[4] = {a, b, c, d};
    *format = new (std::nothrow) BasicPlaneFormat(bits, v);
    return *format ? 0 : 1;
}

AlgorithmUnit* ZRPAlgorithmUnitAlloc(ImageColorSpace inColorSpace, BitFormat inBits, ImageColorSpace outColorSpace,
                                     BitFormat outBits, const char* kernelName) {
    if (!kernelName) return nullptr;
    return new (std::nothrow) AlgorithmUnitDesc(inColorSpace, inBits, outColorSpace, outBits, kernelName);
}

ResultCode ZRPObjectFree(Object* object) {
    delete object;
    return 0;
}
