#include "effects/ColorEffects.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvex {
namespace {

inline int Sat(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
inline int Sat(double v) { return v < 0 ? 0 : (v > 255 ? 255 : static_cast<int>(v)); }

// Copies the input rows to the output (alpha included); a no-op when they are the same memory.
void CopyFrame(const EffectFrame& in, EffectFrame& out) {
    if (in.data[0] == out.data[0] && in.pitch[0] == out.pitch[0]) return;
    size_t rowBytes = static_cast<size_t>(in.width[0]) * 4;
    for (uint32_t y = 0; y < in.height[0]; ++y) {
        std::memmove(out.data[0] + static_cast<size_t>(y) * out.pitch[0],
                     in.data[0] + static_cast<size_t>(y) * in.pitch[0], rowBytes);
    }
}

// Blue, green and red through one table; alpha copied.
class parallelColorTable final : public RowBandBody {
public:
    parallelColorTable(const cv::Mat& in, cv::Mat& out, const uint8_t* table) : in_(in), out_(out), t_(table) {}
    void Rows(int y0, int y1) const override {
        const int w = in_.cols;
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr<uint8_t>(y);
            uint8_t* d = out_.ptr<uint8_t>(y);
            for (int x = 0; x < w; ++x, s += 4, d += 4) {
                uint8_t b = t_[s[0]], g = t_[s[1]], r = t_[s[2]], a = s[3];
                d[0] = b;
                d[1] = g;
                d[2] = r;
                d[3] = a;
            }
        }
    }

private:
    const cv::Mat& in_;
    cv::Mat& out_;
    const uint8_t* t_;
};

}  // namespace

VideoEffectBrightnessContrast::VideoEffectBrightnessContrast() {
    supportedPaths_.insert(1);
    DeclareFloat("bright", &bright_, 20, -100, 100, 20);
    DeclareFloat("contrast", &contrast_, 20, -100, 100, 20);
}

std::array<uint8_t, 256> VideoEffectBrightnessContrast::BuildTable(bool* identity) const {
    std::array<uint8_t, 256> t{};
    const int c = static_cast<int>(contrast_ * 2.55 + 0.5);
    const int b = static_cast<int>(bright_ + 0.5);
    *identity = c == 0 && b == 0;
    if (*identity) {
        for (int i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>(i);
        return t;
    }
    double k = c / 255.0;
    if (c <= -255) k = -1;
    if (c >= 1 && c <= 254) k = k / (1 - k);
    for (int i = 0; i < 256; ++i) {
        const int v = c > 0 ? Sat(i + b) : i;
        int w;
        if (c >= 255) {
            w = v >= 127 ? 255 : 0;
        } else {
            w = Sat(std::rint((v - 127) * k + v + 0.5));
        }
        if (c <= 0) w = Sat(w + b);
        t[i] = static_cast<uint8_t>(w);
    }
    return t;
}

ResultCode VideoEffectBrightnessContrast::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode check = CheckBGRAFrames(input, output, UnsupportedFrame);
    if (check != Ok) return check;
    bool identity = false;
    const std::array<uint8_t, 256> table = BuildTable(&identity);
    if (identity) {
        CopyFrame(*input, *output);
        return Ok;
    }
    cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    parallelColorTable body(in, out, table.data());
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

}  // namespace orvex
