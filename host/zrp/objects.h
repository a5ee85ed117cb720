#pragma once
// The plain platform objects: parameter sets, image/pixel/plane formats and algorithm-unit
// descriptors. The device backends read them through these concrete types.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "zrp/zrp.h"

namespace zrp {

class ParamSet final : public Params {
public:
    struct Value {
        int32_t type = 0;
        std::vector<uint8_t> bytes;
    };
    // A name set twice keeps the last value. Fails (non-zero) for a null name, a null pointer
    // with a non-zero size, or a size that does not fit the type code.
    ResultCode SetParamValue(const char* name, int32_t typeCode, const void* data, size_t byteSize) override;
    const Value* Find(const std::string& name) const;
    const std::map<std::string, Value>& values() const { return values_; }

private:
    std::map<std::string, Value> values_;
};

class BasicImageFormat final : public ImageFormat {
public:
    BasicImageFormat(ImageColorSpace cs, BitFormat bits, int32_t w, int32_t h) : cs_(cs), bits_(bits), w_(w), h_(h) {}
    ImageColorSpace GetColorSpace() const override { return cs_; }
    BitFormat GetBitFormat() const override { return bits_; }
    int32_t GetWidth() const override { return w_; }
    int32_t GetHeight() const override { return h_; }

private:
    ImageColorSpace cs_;
    BitFormat bits_;
    int32_t w_, h_;
};

class BasicPixelFormat final : public PixelFormat {
public:
    BasicPixelFormat(ImageColorSpace cs, BitFormat bits) : cs_(cs), bits_(bits) {}
    ImageColorSpace GetColorSpace() const override { return cs_; }
    BitFormat GetBitFormat() const override { return bits_; }

private:
    ImageColorSpace cs_;
    BitFormat bits_;
};

class BasicPlaneFormat final : public PlaneFormat {
public:
    BasicPlaneFormat(BitFormat bits, const uint32_t v[4]) : bits_(bits) {
        for (int i = 0; i < 4; ++i) v_[i] = v[i];
    }
    BitFormat GetBitFormat() const override { return bits_; }
    void GetValues(uint32_t out[4]) const override {
        for (int i = 0; i < 4; ++i) out[i] = v_[i];
    }

private:
    BitFormat bits_;
    uint32_t v_[4];
};

// What ZRPAlgorithmUnitAlloc makes: the description of one kernel (name and formats) that a
// factory's RegisterAlgorithm reads. It runs nothing; units that run come from ATLUAcquire.
class AlgorithmUnitDesc final : public AlgorithmUnit {
public:
    AlgorithmUnitDesc(ImageColorSpace inCs, BitFormat inBits, ImageColorSpace outCs, BitFormat outBits,
                      std::string kernel)
        : inCs(inCs), inBits(inBits), outCs(outCs), outBits(outBits), kernel(std::move(kernel)) {}
    Task* ScheduleTask(const std::vector<TexturePtr>&, const std::vector<TexturePtr>&, Params*, const Region&,
                       ResultCode* status) override {
        if (status) *status = 1;
        return nullptr;
    }
    ResultCode FinalizeTask(Task*) override { return 1; }

    ImageColorSpace inCs;
    BitFormat inBits;
    ImageColorSpace outCs;
    BitFormat outBits;
    std::string kernel;
};

}  // namespace zrp
