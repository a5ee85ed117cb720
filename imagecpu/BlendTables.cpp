#include "imagecpu/BlendTables.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace orvex {
namespace {

constexpr std::size_t kModeBytes = kBlendTableCount * kBlendTableBytes;
constexpr std::size_t kLerpBytes = 256 * 256 * kLerpRowBytes;

// Fills T[x][y] = f(x, y); every formula below already yields 0..255.
template <typename F>
void Fill(uint8_t* table, F f) {
    for (int x = 0; x < 256; ++x) {
        for (int y = 0; y < 256; ++y) {
            const int v = f(x, y);
            assert(v >= 0 && v <= 255);
            table[x * 256 + y] = static_cast<uint8_t>(v);
        }
    }
}

void BuildModeTables(uint8_t* base) {
    auto t = [base](int id) { return base + static_cast<std::size_t>(id) * kBlendTableBytes; };

    Fill(t(kTableAdd), [](int x, int y) { return std::min(x + y, 255); });
    // x*y/255 never falls on a half (255 is odd), so +127 rounds to nearest without ties.
    Fill(t(kTableMultiply), [](int x, int y) { return (x * y + 127) / 255; });
    // The >> 8 makes screen of two blacks 1, not 0; the bodies depend on these exact bytes.
    Fill(t(kTableScreen), [](int x, int y) { return 255 - (((255 - x) * (255 - y)) >> 8); });
    Fill(t(kTableOverlay), [](int x, int y) {
        return x > 127 ? 255 - 2 * (255 - x) * (255 - y) / 255 : (2 * x * y) >> 8;
    });
    Fill(t(kTableSoftLight), [](int x, int y) {
        const float X = static_cast<float>(x) / 255.0f;
        const float S = static_cast<float>(y) / 255.0f;
        if (y < 128) return static_cast<int>(255.0f * ((1.0f - 2.0f * S) * (X * X) + 2.0f * X * S));
        // The upper branch is bounded by sqrt(X) <= 1, so a float overshoot is at most 255.0x;
        // the table keeps the low byte of the truncated value.
        const float v = 255.0f * ((1.0f - S) * 2.0f * X + (2.0f * S - 1.0f) * std::sqrt(X));
        return static_cast<int>(v) & 0xFF;
    });
    Fill(t(kTableHardLight), [](int x, int y) {
        if (y < 128) return std::clamp(2 * x * y / 255, 0, 255);
        return 255 - 2 * (255 - x) * (255 - y) / 255;
    });
    Fill(t(kTableColorDodge), [](int x, int y) {
        return y == 255 ? 255 : std::min(255, 255 * x / (255 - y));
    });
    Fill(t(kTableColorBurn), [](int x, int y) {
        return y == 0 ? 0 : std::max(0, 255 - 255 * (255 - x) / y);
    });
    Fill(t(kTableDarken), [](int x, int y) { return std::min(x, y); });
    Fill(t(kTableLighten), [](int x, int y) { return std::max(x, y); });
    Fill(t(kTableDifference), [](int x, int y) { return std::abs(x - y); });
    Fill(t(kTableExclusion), [](int x, int y) { return x + y - 2 * x * y / 255; });
    Fill(t(kTableHardMix), [](int x, int y) { return x + y < 254 ? 0 : 255; });
    Fill(t(kTableVividLight), [](int x, int y) {
        if (y == 255) return 255;
        if (y >= 128) return std::min(255, 256 * x / (511 - 2 * y));
        if (y > 0) return std::max(0, 255 - 256 * (255 - x) / (2 * y));
        return 0;
    });
    Fill(t(kTableLinearBurn), [](int x, int y) { return std::max(0, x + y - 255); });
    Fill(t(kTableLinearDodge), [](int x, int y) { return std::min(255, x + y); });
    Fill(t(kTablePinLight), [](int x, int y) { return std::max(2 * y - 255, std::min(2 * y, x)); });
    Fill(t(kTableLinearLight), [](int x, int y) { return std::clamp(x + 2 * y - 255, 0, 255); });
    Fill(t(kTableDivide), [](int x, int y) {
        if (y == 0) return 255;
        const float q = 255.0f * static_cast<float>(x) / (static_cast<float>(y) + 0.5f);
        return static_cast<int>(std::min(255.0f, q));
    });
    Fill(t(kTableAlphaUnion), [](int x, int y) {
        return std::clamp(x + (255 - x) * y / 255, 0, 255);
    });
}

// 17 MB of entries, so no division per entry. Along a row the numerator n = q*255 + k*(p - q)
// steps by p - q and stays within 0..65025: 16-bit wrapping arithmetic tracks it exactly, and there
// n / 255 == (n + 1 + (n >> 8)) >> 8 with no intermediate above 65280. 16-bit lanes vectorise well.
void BuildLerpTable(uint8_t* lerp) {
    for (int p = 0; p < 256; ++p) {
        for (int q = 0; q < 256; ++q) {
            uint8_t* row = lerp + static_cast<std::size_t>(p * 256 + q) * kLerpRowBytes;
            const uint16_t step = static_cast<uint16_t>(p - q);
            uint16_t n = static_cast<uint16_t>(q * 255);
            for (int k = 0; k < 256; ++k) {
                row[k] = static_cast<uint8_t>(static_cast<uint16_t>(n + 1 + (n >> 8)) >> 8);
                n = static_cast<uint16_t>(n + step);
            }
            std::memset(row + 256, 0, kLerpRowBytes - 256);
        }
    }
}

// One block for everything; it lives as long as the process, so there is nothing to free.
// First-touch page faults, not the arithmetic, dominate the build (about 4,600 small pages, slow
// under virtualisation), so the block is 2 MiB aligned and offered to transparent huge pages.
uint8_t* AllocateBlock() {
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    constexpr std::size_t kUsed = kModeBytes + kLerpBytes;
    constexpr std::size_t kBytes = (kUsed + kHugePage - 1) / kHugePage * kHugePage;
    void* block = std::aligned_alloc(kHugePage, kBytes);
    if (block == nullptr) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    madvise(block, kBytes, MADV_HUGEPAGE);  // advice only: a refusal just leaves small pages
#endif
    return static_cast<uint8_t*>(block);
}

}  // namespace

BlendTables::BlendTables() {
    uint8_t* block = AllocateBlock();
    BuildModeTables(block);
    BuildLerpTable(block + kModeBytes);
    modes_ = block;
    lerp_ = block + kModeBytes;
}

int BlendModeTable(int mode) {
    // Index = blend-mode number 0..23; -1 marks the modes with a body of their own
    // (0 and 18 normal, 19..21 hollow, 22 replace).
    static constexpr int kRoute[24] = {
        -1,                 // 0 normal
        kTableDarken,       // 1
        kTableMultiply,     // 2
        kTableColorBurn,    // 3
        kTableLinearBurn,   // 4
        kTableScreen,       // 5
        kTableColorDodge,   // 6
        kTableLinearDodge,  // 7
        kTableOverlay,      // 8
        kTableSoftLight,    // 9
        kTableHardLight,    // 10
        kTableVividLight,   // 11
        kTableLinearLight,  // 12
        kTablePinLight,     // 13
        kTableHardMix,      // 14
        kTableDifference,   // 15
        kTableExclusion,    // 16
        kTableLighten,      // 17
        -1, -1, -1, -1, -1, // 18..22
        kTableAdd,          // 23
    };
    return mode >= 0 && mode < 24 ? kRoute[mode] : -1;
}

}  // namespace orvex
