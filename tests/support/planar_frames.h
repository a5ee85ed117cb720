#pragma once
// Host frames of every pixel format for tests: owned planes with padded rows and guard bytes
// after each plane, so a routine that overruns a plane or ignores the pitch fails loudly.
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "orvex/EffectFrame.h"

namespace orvextest {

struct PlanarFrame {
    static constexpr size_t kGuard = 64;
    static constexpr uint8_t kGuardByte = 0xA5;

    orvex::EffectFrame frame;
    int planeCount = 0;
    int samples[4] = {};  // samples per row (an NV12 chroma row counts both of each pair)
    int rows[4] = {};
    int bytes = 1;        // per sample
    std::vector<std::vector<uint8_t>> storage;

    // fmt at w x h; withAlpha adds plane 3 to the planar YUV formats; padBytes extra per row.
    // bitDepth 0 picks 8 for 8-bit formats and 10 for the 16-bit ones.
    PlanarFrame(uint32_t fmt, int w, int h, bool withAlpha = false, uint32_t bitDepth = 0, int padBytes = 6) {
        using namespace orvex;
        const int cw = (w + 1) / 2, ch = (h + 1) / 2;
        const bool sixteen = fmt == BGRA64 || fmt == P010 || fmt == YV12P10 || fmt == YUVAP10 || fmt == YUV422_16 ||
                             fmt == YUVA422_16;
        bytes = sixteen ? 2 : 1;
        const bool is422 = fmt == YUV422 || fmt == YUV422_16 || fmt == YUVA422 || fmt == YUVA422_16;
        switch (fmt) {
        case BGRA32: case BGRA32_ALT: case BGRA64: Set({{w * 4, h}}); break;
        case NV12: case P010: Set({{w, h}, {cw * 2, ch}}); break;
        default: {
            const int chromaRows = is422 ? h : ch;
            const bool alpha = withAlpha || fmt == YUVA420 || fmt == YUVAP10 || fmt == YUVA422 || fmt == YUVA422_16;
            if (alpha) Set({{w, h}, {cw, chromaRows}, {cw, chromaRows}, {w, h}});
            else Set({{w, h}, {cw, chromaRows}, {cw, chromaRows}});
        }
        }
        frame.pixel_fmt = fmt;
        frame.bitDepth = bitDepth ? bitDepth : (sixteen ? 10 : 8);
        frame.planes = static_cast<uint32_t>(planeCount);
        const int pad = (padBytes + 1) / 2 * 2;  // 16-bit rows stay aligned
        storage.resize(planeCount);
        for (int i = 0; i < planeCount; ++i) {
            const int pitch = samples[i] * bytes + pad;
            storage[i].assign(static_cast<size_t>(pitch) * rows[i] + kGuard, kGuardByte);
            frame.data[i] = storage[i].data();
            frame.pitch[i] = pitch;
            frame.width[i] = static_cast<uint32_t>(samples[i]);
            frame.height[i] = static_cast<uint32_t>(rows[i]);
        }
        frame.width[0] = static_cast<uint32_t>(w);
        frame.height[0] = static_cast<uint32_t>(h);
    }

    PlanarFrame(const PlanarFrame&) = delete;  // the frame points into this object's storage
    PlanarFrame& operator=(const PlanarFrame&) = delete;

    uint8_t* row(int plane, int y) { return frame.data[plane] + static_cast<size_t>(frame.pitch[plane]) * y; }
    const uint8_t* row(int plane, int y) const {
        return frame.data[plane] + static_cast<size_t>(frame.pitch[plane]) * y;
    }
    int Get(int plane, int x, int y) const {
        const uint8_t* r = row(plane, y);
        if (bytes == 1) return r[x];
        uint16_t v;
        std::memcpy(&v, r + 2 * x, 2);
        return v;
    }
    void Put(int plane, int x, int y, int v) {
        uint8_t* r = row(plane, y);
        if (bytes == 1) {
            r[x] = static_cast<uint8_t>(v);
        } else {
            const uint16_t s = static_cast<uint16_t>(v);
            std::memcpy(r + 2 * x, &s, 2);
        }
    }
    // Every sample of every plane from f(plane, x, y); the row padding and guards stay as they are.
    void Fill(const std::function<int(int plane, int x, int y)>& f) {
        for (int i = 0; i < planeCount; ++i)
            for (int y = 0; y < rows[i]; ++y)
                for (int x = 0; x < samples[i]; ++x) Put(i, x, y, f(i, x, y));
    }
    // Random samples below `limit` (256, or 1 << bitDepth for the 16-bit planar formats).
    void FillRandom(uint32_t seed, int limit = 0) {
        std::mt19937 rng(seed);
        const int top = limit ? limit : MaxValue() + 1;
        Fill([&](int, int, int) { return static_cast<int>(rng() % static_cast<uint32_t>(top)); });
    }
    int MaxValue() const {
        if (bytes == 1) return 255;
        return frame.pixel_fmt == orvex::P010 || frame.pixel_fmt == orvex::BGRA64 ? 65535 : (1 << frame.bitDepth) - 1;
    }
    // True when nothing was written past any plane's last row.
    bool GuardsIntact() const {
        for (int i = 0; i < planeCount; ++i) {
            const size_t end = static_cast<size_t>(frame.pitch[i]) * rows[i];
            for (size_t k = end; k < storage[i].size(); ++k)
                if (storage[i][k] != kGuardByte) return false;
        }
        return true;
    }
    // Largest sample difference over the used part of every plane; `where` names the first sample
    // that differs by more than tolerance.
    int MaxDiff(const PlanarFrame& o, int tolerance = 0, std::string* where = nullptr) const {
        int worst = 0;
        for (int i = 0; i < planeCount && i < o.planeCount; ++i)
            for (int y = 0; y < rows[i]; ++y)
                for (int x = 0; x < samples[i]; ++x) {
                    const int a = Get(i, x, y), b = o.Get(i, x, y);
                    const int d = a > b ? a - b : b - a;
                    if (d > tolerance && where && where->empty())
                        *where = "plane " + std::to_string(i) + " (" + std::to_string(x) + "," + std::to_string(y) +
                                 "): " + std::to_string(a) + " vs " + std::to_string(b);
                    if (d > worst) worst = d;
                }
        return worst;
    }

private:
    struct Shape {
        int samples, rows;
    };
    void Set(std::initializer_list<Shape> shapes) {
        planeCount = 0;
        for (const Shape& s : shapes) {
            samples[planeCount] = s.samples;
            rows[planeCount] = s.rows;
            ++planeCount;
        }
    }
};

// A 256 x 8 BGRA frame for tone-mapping checks: rows 0..3 grey, red, green and blue ramps over the
// 256 codes (opaque), rows 4..7 random colours and alpha.
inline void FillHdrRamps(PlanarFrame& f, uint32_t seed) {
    f.FillRandom(seed);
    f.Fill([&](int, int s, int y) {
        const int x = s / 4, c = s % 4;
        if (y >= 4) return f.Get(0, s, y);
        if (c == 3) return 255;
        if (y == 0) return x;
        return c == 3 - y ? x : 0;
    });
}

}  // namespace orvextest
