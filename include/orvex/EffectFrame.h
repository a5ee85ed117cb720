#pragma once
// Frames as they cross the boundary: host memory (data/pitch) or a GPU texture.
#include <cstdint>
#include <memory>
#include <vector>

namespace zrp {
class Texture;
}

namespace orvex {

enum PixelFmt : uint32_t {
    YV12 = 0,
    NV12 = 1,
    PIXFMT_2 = 2,
    BGRA32 = 3,
    BGRA32_ALT = 4,
    YUVA420 = 5,
    YV12P10 = 6,
    P010 = 7,
    YUVAP10 = 8,
    BGRA64 = 9,
    PIXFMT_10 = 10,
    YUV422 = 11,
    YUV422_16 = 12,
    YUVA422 = 13,
    YUVA422_16 = 14,
    PIXFMT_COUNT = 15,
};

inline bool IsBGRA8(uint32_t fmt) { return fmt == BGRA32 || fmt == BGRA32_ALT; }

// Matrix and range of a YUV <-> RGB conversion.
enum CLSMode : int32_t {
    BT709_Limited = 0,
    BT709_Full = 1,
    BT601_Limited = 2,
    BT601_Full = 3,
    BT2020_Limited = 4,
    BT2020_Full = 5,
};

struct fxRectf {
    float x;
    float y;
    float width;
    float height;
};

// Audio that travels with a frame: sample i of channel c at samples[i * channels + c].
struct EffectAudioFrame {
    int32_t sampleCount = 0;
    int32_t channels = 0;
    std::vector<int16_t> samples;
};

struct EffectFrame {
    uint32_t planes = 0;
    uint32_t bitDepth = 8;
    uint32_t pixel_fmt = BGRA32;
    uint32_t width[4] = {};
    uint32_t reserved0[4] = {};
    uint32_t height[4] = {};
    uint32_t reserved1[4] = {};
    uint8_t* data[4] = {};
    uint64_t reserved2[4] = {};
    int32_t pitch[4] = {};
    uint32_t reserved3[4] = {};
    std::shared_ptr<zrp::Texture> texture;
    std::shared_ptr<EffectAudioFrame> audio;
};

using EffectFramePtr = std::shared_ptr<EffectFrame>;

}  // namespace orvex
