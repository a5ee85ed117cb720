#pragma once
// The process-wide 8-bit tables by which the CPU blend bodies compute every blend mode with byte
// lookups only: twenty 256 x 256 mode tables T[x][y] (x = background byte, y = overlay byte) and
// the straight-alpha interpolation table L[p][q][k] = (p*k + q*(255 - k)) div 255.
// Built once on first use, read-only afterwards, shared by all threads, never freed.
#include <cassert>
#include <cstddef>
#include <cstdint>

namespace orvex {

// Table numbers, named for what each table holds. The blend-mode numbers are routed onto these by
// BlendModeTable; divide and alpha union are reached by table number only.
enum BlendTableId {
    kTableAdd = 0,
    kTableMultiply = 1,
    kTableScreen = 2,
    kTableOverlay = 3,
    kTableSoftLight = 4,
    kTableHardLight = 5,
    kTableColorDodge = 6,
    kTableColorBurn = 7,
    kTableDarken = 8,
    kTableLighten = 9,
    kTableDifference = 10,
    kTableExclusion = 11,
    kTableHardMix = 12,
    kTableVividLight = 13,
    kTableLinearBurn = 14,
    kTableLinearDodge = 15,
    kTablePinLight = 16,
    kTableLinearLight = 17,
    kTableDivide = 18,
    kTableAlphaUnion = 19,
    kBlendTableCount = 20
};

// Bytes in one mode table, indexed [x * 256 + y].
inline constexpr std::size_t kBlendTableBytes = 256 * 256;
// Row length of the interpolation table: 256 used entries, 9 unused (zero) bytes of padding.
inline constexpr std::size_t kLerpRowBytes = 265;

class BlendTables;
inline const BlendTables& GetBlendTables();

class BlendTables {
public:
    // table(id)[x * 256 + y]; x = background byte, y = overlay byte.
    const uint8_t* table(int id) const {
        assert(id >= 0 && id < kBlendTableCount);
        return modes_ + static_cast<std::size_t>(id) * kBlendTableBytes;
    }
    // lerp()[(p * 256 + q) * kLerpRowBytes + k] = (p*k + q*(255 - k)) div 255: p over q, weight k.
    const uint8_t* lerp() const { return lerp_; }

    BlendTables(const BlendTables&) = delete;
    BlendTables& operator=(const BlendTables&) = delete;

private:
    friend const BlendTables& GetBlendTables();
    BlendTables();  // allocates and fills the one block; defined with the builders

    const uint8_t* modes_;
    const uint8_t* lerp_;
};

// The one table set. Inline so the per-call cost is the static's guard test, not a call; the
// object is deliberately leaked so worker threads still running at exit can keep reading it.
inline const BlendTables& GetBlendTables() {
    static const BlendTables* const tables = new BlendTables();
    return *tables;
}

// The byte-scaling table M[x][y] = x*y/255 rounded to nearest. Hoist it out of pixel loops.
inline const uint8_t* MulTable() { return GetBlendTables().table(kTableMultiply); }
inline uint8_t Mul(int x, int y) { return MulTable()[x * 256 + y]; }

// CPU routing of a blend-mode number to its table: modes 1..17 and 23 (add) give a table number;
// every other mode (0, 18 to 22, 24 and up, negatives) has its own body and gives -1.
int BlendModeTable(int mode);

}  // namespace orvex
