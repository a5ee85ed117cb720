#pragma once
// Host frames for bad-input tests: every plane sits between guard bytes in a block of its own, so a
// write outside the caller's planes shows as a changed guard, and (under AddressSanitizer) any
// access to a guard is reported where it happens.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "orvex/EffectFrame.h"

#if defined(__SANITIZE_ADDRESS__)
#define ORVEX_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVEX_TEST_ASAN 1
#endif
#endif
#ifdef ORVEX_TEST_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace orvextest {

class GuardedFrame {
public:
    static constexpr size_t kGuard = 64;

    GuardedFrame() = default;  // no planes at all
    // fmt at w x h with `pad` bytes after each row; the planes hold a pattern, the guards 0xA5.
    GuardedFrame(uint32_t fmt, uint32_t w, uint32_t h, int pad = 4) {
        uint64_t rowBytes[4] = {};
        uint32_t rows[4] = {};
        const int planes = orvexfuzz::NaturalPlanes(fmt, w, h, false, rowBytes, rows);
        frame.pixel_fmt = fmt;
        using namespace orvex;
        const bool sixteen = fmt == P010 || fmt == YV12P10 || fmt == YUVAP10 || fmt == YUV422_16 || fmt == YUVA422_16;
        frame.bitDepth = fmt == BGRA64 ? 16 : sixteen ? 10 : 8;
        frame.planes = static_cast<uint32_t>(planes);
        for (int i = 0; i < planes; ++i) {
            const int32_t pitch = static_cast<int32_t>(rowBytes[i]) + pad;
            Allocate(i, static_cast<size_t>(pitch) * rows[i]);
            frame.pitch[i] = pitch;
            frame.width[i] = static_cast<uint32_t>(rowBytes[i]);
            frame.height[i] = rows[i];
        }
        frame.width[0] = w;
        frame.height[0] = h;
    }
    ~GuardedFrame() { Unpoison(); }
    GuardedFrame(const GuardedFrame&) = delete;
    GuardedFrame& operator=(const GuardedFrame&) = delete;

    // The planes' memory keeps its size whatever the test then claims in `frame`.
    orvex::EffectFrame frame;

    // Guards made unreadable to sanitized code until Unpoison (a no-op without AddressSanitizer).
    void Poison() {
#ifdef ORVEX_TEST_ASAN
        for (auto& b : blocks_) {
            ASAN_POISON_MEMORY_REGION(b.data(), kGuard);
            ASAN_POISON_MEMORY_REGION(b.data() + b.size() - kGuard, kGuard);
        }
#endif
    }
    void Unpoison() {
#ifdef ORVEX_TEST_ASAN
        for (auto& b : blocks_) ASAN_UNPOISON_MEMORY_REGION(b.data(), b.size());
#endif
    }
    std::vector<std::vector<uint8_t>> Snapshot() {
        Unpoison();
        return blocks_;
    }
    // True when the guards hold what they held in `before`.
    bool GuardsAsIn(const std::vector<std::vector<uint8_t>>& before) {
        Unpoison();
        for (size_t i = 0; i < blocks_.size(); ++i) {
            const auto& b = blocks_[i];
            if (std::memcmp(b.data(), before[i].data(), kGuard) != 0 ||
                std::memcmp(b.data() + b.size() - kGuard, before[i].data() + b.size() - kGuard, kGuard) != 0)
                return false;
        }
        return true;
    }
    bool SameAs(const std::vector<std::vector<uint8_t>>& before) {
        Unpoison();
        return blocks_ == before;
    }

private:
    void Allocate(int plane, size_t bytes) {
        std::vector<uint8_t> block(bytes + 2 * kGuard, 0xA5);
        // Through iterators: gcc misreads the indexed form as writing past an empty block.
        std::generate(block.begin() + kGuard, block.end() - kGuard,
                      [k = size_t{0}, plane]() mutable { return static_cast<uint8_t>(k++ * 7 + plane * 31 + 1); });
        blocks_.push_back(std::move(block));
        frame.data[plane] = blocks_.back().data() + kGuard;
    }
    std::vector<std::vector<uint8_t>> blocks_;
};

}  // namespace orvextest
