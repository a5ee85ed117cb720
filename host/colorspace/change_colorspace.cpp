// ColorConvertTool::Process_ChangeColorSpace: RGB through a 3x3 matrix between sample depths.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "colorspace.h"

namespace ColorSpace {
namespace {

// Samples of depth bits: one byte up to 8 bits, a 16-bit word above.
int SampleBytes(int depth) { return depth > 8 ? 2 : 1; }

float Read(const uint8_t* p, int bytes) {
    if (bytes == 1) return *p;
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

void Write(uint8_t* p, int bytes, float v, float maxValue) {
    const float c = std::min(std::max(v, 0.0f), maxValue);
    const auto q = static_cast<uint32_t>(std::lrint(c));
    if (bytes == 1) {
        *p = static_cast<uint8_t>(q);
    } else {
        const uint16_t w = static_cast<uint16_t>(q);
        std::memcpy(p, &w, 2);
    }
}

}  // namespace

int ColorConvertTool::Process_ChangeColorSpace(const uint8_t* src, int srcPitch, uint8_t* dst, int dstPitch,
                                               int width, int height, int inDepth, int outDepth,
                                               const pl_matrix3x3& matrix) {
    if (!src || !dst || width <= 0 || height <= 0 || inDepth < 1 || inDepth > 16 || outDepth < 1 || outDepth > 16)
        return 1;
    const int ib = SampleBytes(inDepth), ob = SampleBytes(outDepth);
    if (srcPitch < width * 4 * ib || dstPitch < width * 4 * ob) return 1;
    const float inMax = static_cast<float>((1u << inDepth) - 1), outMax = static_cast<float>((1u << outDepth) - 1);
    const float scale = outMax / inMax;
    const auto& m = matrix.m;
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = src + static_cast<size_t>(y) * srcPitch;
        uint8_t* d = dst + static_cast<size_t>(y) * dstPitch;
        for (int x = 0; x < width; ++x, s += 4 * ib, d += 4 * ob) {
            const float B = Read(s, ib), G = Read(s + ib, ib), R = Read(s + 2 * ib, ib), A = Read(s + 3 * ib, ib);
            const float r = (m[0][0] * R + m[0][1] * G + m[0][2] * B) * scale;
            const float g = (m[1][0] * R + m[1][1] * G + m[1][2] * B) * scale;
            const float b = (m[2][0] * R + m[2][1] * G + m[2][2] * B) * scale;
            Write(d, ob, b, outMax);
            Write(d + ob, ob, g, outMax);
            Write(d + 2 * ob, ob, r, outMax);
            Write(d + 3 * ob, ob, A * scale, outMax);
        }
    }
    return 0;
}

}  // namespace ColorSpace
