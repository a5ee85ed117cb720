#pragma once
// A three-dimensional colour lookup table read from ".CUBE" or ".3DL" text and applied to 8-bit
// BGR / BGRA pictures.
//
// The grid holds output (R, G, B) on the 0..255 scale at entry (r, g, b), red index slowest in
// memory, 65 points per axis whatever the table size N. A byte v of a channel lands on the grid at
// x = v / (255 / (N - 1)): idx[v] = floor(x), frac[v] = x - floor(x), both tabulated per byte so
// the pixel loops never divide.
//   nearest:      entry at round(x) on each axis
//   trilinear:    linear along red, then green, then blue between the eight neighbours
//   tetrahedral:  fractions ordered f1 >= f2 >= f3 on axes a, b, c:
//                 out = (1 - f1) c000 + (f1 - f2) c(a) + (f2 - f3) c(a, b) + f3 c111
// Four-channel results are premultiplied: colour c becomes M[alpha][c].
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "imagecpu/CubeLutRows.h"
#include "imagecpu/TableLookup.h"

namespace orvex {

// 16-byte aligned storage for vector loads.
template <typename T>
struct AlignedAllocator {
    using value_type = T;
    AlignedAllocator() = default;
    template <typename U>
    AlignedAllocator(const AlignedAllocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t(16))); }
    void deallocate(T* p, size_t) { ::operator delete(p, std::align_val_t(16)); }
    bool operator==(const AlignedAllocator&) const { return true; }
};

class CubeLut {
public:
    // Result of the last load or apply.
    enum Status : int32_t {
        kOk = 0,
        kNothingLoaded = 1,
        kReadFailed = 10,      // a line could not be read, or a keyword line lacks its values
        kUnexpectedEnd = 12,   // the file ended where a line was expected
        kFirstLineTooLong = 13,
        kBadDomain = 22,       // a DOMAIN_MIN component is not below its DOMAIN_MAX
        kBadSize = 23,         // size missing or outside what the grid holds
        kShortMesh = 24,       // a .3DL mesh line with fewer than 3 values
    };
    static constexpr int kGridPoints = 65;  // per axis
    static constexpr int kMaxSize = kGridPoints;

    CubeLut();
    virtual ~CubeLut();
    CubeLut(const CubeLut&) = delete;
    CubeLut& operator=(const CubeLut&) = delete;

    // Reads a ".cube" or ".3dl" file (extension compared in upper case). True when it was opened
    // and parsed with status 0.
    bool LoadFile(const std::string& path);

    // Applies the table from src to dst, `channels` 3 (BGR) or 4 (BGRA) bytes per pixel (one byte
    // per destination pixel with the alpha-output flag). mode 0 nearest and 1 trilinear work in
    // place on dst; mode 2 tetrahedral reads src. Returns 0, or 23 (nothing touched) when no table
    // is loaded. Unusable image arguments return 1 and touch nothing. Strength is unused by the
    // interpolating paths; callers pass 255.
    int Apply(uint8_t* dst, int dstStride, const uint8_t* src, int width, int height, int srcStride, int channels,
              int mode, int strength);

    // The tetrahedral pass as a kernel reads it, in texels of four floats: for red, green and blue
    // 256 texels each (fraction, lower grid entry, step to the upper entry, 0, the two entries as
    // the bits of an unsigned integer), then the grid, one texel (blue, green, red, 0) an entry.
    // Empty when no table is loaded.
    std::vector<float> TetraTexels();
    static constexpr int kTetraAxisTexels = 3 * 256;

    // Makes an identity table of n points per axis (2..65) in both grids.
    void BuildIdentity(int n);
    // The float grid; reports N for the three sizes and 3 components.
    float* GetTable(int* redSize, int* greenSize, int* blueSize, int* components);

    int32_t status() const { return status_; }
    int32_t size() const { return size_; }
    const std::string& title() const { return title_; }
    void SetAlphaOutput(bool on) { alphaOutput_ = on; }
    bool alphaOutput() const { return alphaOutput_; }

    // Offset of entry (r, g, b) in the float grid.
    static constexpr size_t Entry(int r, int g, int b) {
        return ((static_cast<size_t>(r) * kGridPoints + static_cast<size_t>(g)) * kGridPoints +
                static_cast<size_t>(b)) * 3;
    }

    enum Pass { kPassNearest, kPassTrilinear, kPassTetrahedral, kPassAlpha };
    // Rows [begin, end) of one pass; public for the stripe bodies.
    void Rows(int pass, uint8_t* dst, int dstStride, const uint8_t* src, int srcStride, int width, int channels,
              int begin, int end) const;
    // The tetrahedral rows; `vectorPath` caps the vector body used for BGRA (the tests compare them).
    // Valid after a tetrahedral Apply has prepared the grid.
    void TetraRows(uint8_t* dst, int dstStride, const uint8_t* src, int srcStride, int width, int channels, int begin,
                   int end, LookupPath vectorPath = BestLookupPath()) const;
    void AlphaRows(uint8_t* dst, int dstStride, const uint8_t* src, int srcStride, int width, int channels, int begin,
                   int end) const;

private:
    class LineReader;
    void Reset();
    void SetSize(int n);
    void ReadCube(LineReader& reader);
    void Read3dl(LineReader& reader);
    // Copies the grid into packed_ (N per axis, four floats an entry) with its byte tables.
    void PackGrid();
    // Byte grid of the packed one, for the nearest pass.
    void PackNearestBytes();
    void InPlaceRows(uint8_t* dst, int dstStride, int width, int channels, bool trilinear, int begin, int end) const;

    int32_t status_ = kNothingLoaded;
    std::string title_;
    int32_t size_ = 0;
    float frac_[256] = {};
    int32_t idx_[256] = {};
    // Grid offsets of a byte's lower and upper neighbour on each axis, in floats.
    uint32_t lowR_[256] = {}, highR_[256] = {}, lowG_[256] = {}, highG_[256] = {}, lowB_[256] = {}, highB_[256] = {};
    std::vector<float> grid_;
    // The tetrahedral pass's copy of the grid, and per byte its lower entry offset and the step to
    // the upper neighbour (0 on the last point) on each axis, in floats.
    std::vector<float, AlignedAllocator<float>> packed_;
    cuberows::AxisEntry axis_[3][256] = {};  // red, green, blue
    // Per byte the offset of the nearest grid point on each axis, in floats of the packed grid.
    uint32_t nearest_[3][256] = {};
    std::vector<uint8_t> nearestBytes_;
    bool alphaOutput_ = false;
    std::vector<uint8_t> byteGrid_;
    int32_t entryCount_ = 0;
};

}  // namespace orvex
