#pragma once
// Shared by the fuzz harnesses: a reader that turns the fuzzer's bytes into values, host frames
// whose planes are separate heap blocks of exactly the size the frame claims (so AddressSanitizer
// reports any access outside the caller's planes), and a silent log.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "host/log/log.h"
#include "orvex/EffectFrame.h"

namespace orvexfuzz {

// Values drawn from the input front to back; an exhausted input reads as zeros.
class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : p_(data), left_(size) {}

    bool empty() const { return left_ == 0; }
    size_t left() const { return left_; }

    template <class T>
    T Take() {
        T v{};
        const size_t n = std::min(sizeof v, left_);
        if (n) std::memcpy(&v, p_, n);
        p_ += n;
        left_ -= n;
        return v;
    }
    uint32_t Below(uint32_t n) { return n ? Take<uint32_t>() % n : 0; }
    bool Flag() { return Take<uint8_t>() & 1; }
    // Mostly ordinary values, often the ones that break arithmetic: NaN, infinities, extremes.
    double Double() {
        switch (Below(12)) {
        case 0: return std::numeric_limits<double>::quiet_NaN();
        case 1: return std::numeric_limits<double>::infinity();
        case 2: return -std::numeric_limits<double>::infinity();
        case 3: return std::numeric_limits<double>::max();
        case 4: return -std::numeric_limits<double>::max();
        case 5: return std::numeric_limits<double>::denorm_min();
        case 6: return 0.0;
        case 7: return Take<double>();
        default: return static_cast<double>(Take<int16_t>()) / 64.0;
        }
    }
    float Float() { return static_cast<float>(Double()); }
    int32_t Int() {
        switch (Below(6)) {
        case 0: return std::numeric_limits<int32_t>::min();
        case 1: return std::numeric_limits<int32_t>::max();
        case 2: return Take<int32_t>();
        default: return static_cast<int32_t>(Take<int8_t>());
        }
    }
    std::string Text(size_t max) {
        const size_t n = std::min<size_t>(Below(static_cast<uint32_t>(max) + 1), left_);
        std::string s(reinterpret_cast<const char*>(p_), n);
        p_ += n;
        left_ -= n;
        return s;
    }

private:
    const uint8_t* p_;
    size_t left_;
};

// Keeps harness output to the fuzzer's own lines.
inline void SilenceLog() {
    orvexhost::SetLogSink([](const orvexhost::LogLine&) {});
}

// Planes of fmt at w x h as (bytes per row, rows), the way hosts lay them out. Formats without a
// layout (2, 10, 15 and up) get one BGRA-like plane so that the library sees memory it must refuse.
inline int NaturalPlanes(uint32_t fmt, uint32_t w, uint32_t h, bool alpha, uint64_t rowBytes[4], uint32_t rows[4]) {
    using namespace orvex;
    const uint64_t cw = (uint64_t(w) + 1) / 2;
    const uint32_t ch = static_cast<uint32_t>((uint64_t(h) + 1) / 2);
    const bool sixteen = fmt == YV12P10 || fmt == YUVAP10 || fmt == YUV422_16 || fmt == YUVA422_16 || fmt == P010;
    const uint64_t b = sixteen ? 2 : 1;
    const bool is422 = fmt == YUV422 || fmt == YUV422_16 || fmt == YUVA422 || fmt == YUVA422_16;
    switch (fmt) {
    case NV12:
    case P010:
        rowBytes[0] = w * b, rows[0] = h;
        rowBytes[1] = cw * 2 * b, rows[1] = ch;
        return 2;
    case YV12: case YUVA420: case YV12P10: case YUVAP10:
    case YUV422: case YUV422_16: case YUVA422: case YUVA422_16: {
        rowBytes[0] = rowBytes[3] = w * b, rows[0] = rows[3] = h;
        rowBytes[1] = rowBytes[2] = cw * b, rows[1] = rows[2] = is422 ? h : ch;
        const bool ownAlpha = fmt == YUVA420 || fmt == YUVAP10 || fmt == YUVA422 || fmt == YUVA422_16;
        return ownAlpha || alpha ? 4 : 3;
    }
    case BGRA64: rowBytes[0] = uint64_t(w) * 8, rows[0] = h; return 1;
    default: rowBytes[0] = uint64_t(w) * 4, rows[0] = h; return 1;
    }
}

// A host frame whose every plane is its own heap block of exactly pitch * height[i] bytes.
struct FuzzFrame {
    static constexpr uint64_t kMaxPlaneBytes = 1u << 20;

    orvex::EffectFrame frame;
    std::vector<std::unique_ptr<uint8_t[]>> blocks;

    // Shapes the frame from the input: mostly a well-formed frame of a random format and a small
    // size, with each field sometimes broken (zero or huge sizes, short, zero or negative pitch,
    // missing planes, wrong plane heights). With `like`, usually the same format and size.
    void Shape(Bytes& in, const FuzzFrame* like = nullptr) {
        orvex::EffectFrame& f = frame;
        const bool same = like && in.Below(4) != 0;
        f.pixel_fmt = same ? like->frame.pixel_fmt : (in.Below(8) ? PickCommonFormat(in) : in.Below(17));
        uint32_t w = same ? like->frame.width[0] : 1 + in.Below(48);
        uint32_t h = same ? like->frame.height[0] : 1 + in.Below(40);
        if (in.Below(16) == 0) w = in.Flag() ? 0 : 1 + in.Take<uint32_t>() % 70000;
        if (in.Below(16) == 0) h = in.Flag() ? 0 : 1 + in.Take<uint32_t>() % 70000;
        const bool sixteen = f.pixel_fmt == orvex::BGRA64 || f.pixel_fmt == orvex::P010 ||
                             f.pixel_fmt == orvex::YV12P10 || f.pixel_fmt == orvex::YUVAP10 ||
                             f.pixel_fmt == orvex::YUV422_16 || f.pixel_fmt == orvex::YUVA422_16;
        f.bitDepth = in.Below(8) ? (sixteen ? 10 : 8) : in.Below(33);
        uint64_t rowBytes[4] = {};
        uint32_t rows[4] = {};
        const int planes = NaturalPlanes(f.pixel_fmt, w, h, in.Below(4) == 0, rowBytes, rows);
        f.planes = in.Below(16) ? static_cast<uint32_t>(planes) : in.Below(6);
        for (int i = 0; i < planes; ++i) {
            int64_t pitch = static_cast<int64_t>(rowBytes[i]) + (in.Flag() ? 2 * in.Below(8) : 0);
            switch (in.Below(24)) {
            case 0: pitch = rowBytes[i] > 0 ? static_cast<int64_t>(rowBytes[i]) - 1 - in.Below(8) : 0; break;
            case 1: pitch = 0; break;
            case 2: pitch = -pitch; break;
            case 3: pitch = in.Take<int32_t>(); break;
            default: break;
            }
            // height[0] is the frame's height too, so only the other planes may claim fewer rows.
            uint32_t planeRows = rows[i];
            if (i > 0 && in.Below(16) == 0) planeRows = in.Below(planeRows + 2);
            f.width[i] = static_cast<uint32_t>(std::min<uint64_t>(rowBytes[i], UINT32_MAX));
            f.height[i] = planeRows;
            f.pitch[i] = static_cast<int32_t>(std::clamp<int64_t>(pitch, INT32_MIN, INT32_MAX));
            const uint64_t bytes = f.pitch[i] > 0 ? uint64_t(f.pitch[i]) * planeRows : 0;
            if (in.Below(24) == 0 || bytes > kMaxPlaneBytes) continue;  // a missing plane
            // Zero-sized planes still get a distinct block, so a pointer is never reused.
            blocks.emplace_back(new uint8_t[bytes ? bytes : 1]);
            std::memset(blocks.back().get(), static_cast<int>(in.Take<uint8_t>()), bytes ? bytes : 1);
            f.data[i] = blocks.back().get();
        }
        f.width[0] = w;
        f.height[0] = h;
    }

private:
    static uint32_t PickCommonFormat(Bytes& in) {
        static const uint32_t kCommon[] = {orvex::BGRA32, orvex::BGRA32_ALT, orvex::NV12, orvex::YV12,
                                           orvex::P010, orvex::YUV422, orvex::YUV422_16, orvex::BGRA64};
        return kCommon[in.Below(sizeof kCommon / sizeof kCommon[0])];
    }
};

}  // namespace orvexfuzz
