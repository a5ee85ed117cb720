// CubeLut: the ".CUBE" and ".3DL" readers and the three interpolating passes.
#include "imagecpu/CubeLut.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <opencv2/core.hpp>

#include "imagecpu/BlendTables.h"
#include "imagecpu/RowBands.h"
#include "imagecpu/TableLookup.h"

namespace orvex {
namespace {

// The longest line a reader accepts. Longer lines count as failed reads, so a huge or hostile
// file is read in bounded memory: at most N^3 data lines of this length are ever looked at.
constexpr size_t kMaxLine = 4096;
// At most this many characters are scanned for the first line's end.
constexpr int kSeparatorScan = 255;
constexpr int kFirstLineLimit = 250;

// A first token that sorts after "+" and before ":" starts a number: one of , - . / or a digit,
// or "+" followed by more.
bool IsNumericToken(const std::string& t) { return t > "+" && t < ":"; }

std::string FirstToken(const std::string& line) {
    std::istringstream is(line);
    std::string t;
    is >> t;
    return t;
}

inline uint8_t ToByte(float v) { return cv::saturate_cast<uint8_t>(v); }

}  // namespace

// Lines of a LUT file split at the separator its first line uses; blank lines, comments and lone
// '\r' are skipped. Failures are written into the owner's status.
class CubeLut::LineReader {
public:
    LineReader(std::ifstream& in, int32_t& status) : in_(in), status_(status) {}

    // Finds the separator from the first line, then rewinds.
    bool DetectSeparator() {
        int count = 0;
        while (count < kSeparatorScan) {
            const int c = in_.get();
            if (c == EOF) break;
            if (c == '\n') break;
            if (c == '\r') {
                sep_ = in_.peek() == '\n' ? '\n' : '\r';
                break;
            }
            if (++count > kFirstLineLimit) {
                status_ = kFirstLineTooLong;
                return false;
            }
        }
        in_.clear();
        in_.seekg(0);
        return true;
    }

    // The next line that carries content; false with status 12 or 10 when there is none.
    bool Next(std::string& line) {
        for (;;) {
            lineStart_ = in_.tellg();
            if (in_.peek() == EOF) {
                status_ = kUnexpectedEnd;
                return false;
            }
            if (!ReadRaw(line)) {
                status_ = kReadFailed;
                return false;
            }
            if (line.empty() || line[0] == '#' || line == "\r") continue;
            return true;
        }
    }

    // Puts the last line back.
    void Unread() {
        in_.clear();
        in_.seekg(lineStart_);
    }

private:
    bool ReadRaw(std::string& line) {
        line.clear();
        int c;
        while ((c = in_.get()) != EOF && c != sep_) {
            if (line.size() >= kMaxLine) return false;
            line.push_back(static_cast<char>(c));
        }
        return !in_.bad();
    }

    std::ifstream& in_;
    int32_t& status_;
    char sep_ = '\n';
    std::streampos lineStart_ = 0;
};

CubeLut::CubeLut() : grid_(static_cast<size_t>(kGridPoints) * kGridPoints * kGridPoints * 3, 0.0f) {}

CubeLut::~CubeLut() = default;

void CubeLut::Reset() {
    status_ = kOk;
    title_.clear();
    std::fill(grid_.begin(), grid_.end(), 0.0f);
}

void CubeLut::SetSize(int n) {
    size_ = n;
    entryCount_ = n * n * n;
    // In float, as the tables have always been built: the step first, then each byte over it.
    const float step = 255.0f / static_cast<float>(n - 1);
    for (int v = 0; v < 256; ++v) {
        const float x = static_cast<float>(v) / step;
        const float f = std::floor(x);
        idx_[v] = std::min(static_cast<int32_t>(f), n - 1);
        frac_[v] = x - f;
        if (idx_[v] == n - 1 || v == 255) {  // 255 sits exactly on the last point
            idx_[v] = n - 1;
            frac_[v] = 0.0f;
        }
        const int lo = idx_[v], hi = std::min(lo + 1, n - 1);
        lowR_[v] = static_cast<uint32_t>(Entry(lo, 0, 0));
        highR_[v] = static_cast<uint32_t>(Entry(hi, 0, 0));
        lowG_[v] = static_cast<uint32_t>(Entry(0, lo, 0));
        highG_[v] = static_cast<uint32_t>(Entry(0, hi, 0));
        lowB_[v] = static_cast<uint32_t>(Entry(0, 0, lo));
        highB_[v] = static_cast<uint32_t>(Entry(0, 0, hi));
    }
}

bool CubeLut::LoadFile(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos) return false;
    std::string ext = path.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const bool cube = ext == ".CUBE", threeDl = ext == ".3DL";
    if (!cube && !threeDl) return false;
    std::ifstream in(std::filesystem::u8path(path), std::ios::in | std::ios::binary);
    if (!in.is_open()) return false;

    Reset();
    LineReader reader(in, status_);
    if (reader.DetectSeparator()) {
        if (cube) ReadCube(reader);
        else Read3dl(reader);
    }
    return status_ == kOk;
}

void CubeLut::ReadCube(LineReader& reader) {
    float domMin[3] = {0, 0, 0}, domMax[3] = {1, 1, 1};
    bool haveMin = false, haveMax = false, haveSize = false;
    int n = 0;
    std::string line;
    while (reader.Next(line)) {
        std::istringstream is(line);
        std::string key;
        is >> key;
        if (IsNumericToken(key)) {
            reader.Unread();
            break;
        }
        if (key == "DOMAIN_MIN" && !haveMin) {
            haveMin = true;
            is >> domMin[0] >> domMin[1] >> domMin[2];
        } else if (key == "DOMAIN_MAX" && !haveMax) {
            haveMax = true;
            is >> domMax[0] >> domMax[1] >> domMax[2];
        } else if (key == "LUT_3D_SIZE" && !haveSize) {
            haveSize = true;
            is >> n;
            if (!is.fail() && (n < 2 || n > 256)) {
                status_ = kBadSize;
                return;
            }
        }
        if (is.fail()) {
            status_ = kReadFailed;
            return;
        }
    }
    if (status_ != kOk) return;
    if (!haveSize) {
        status_ = kBadSize;
        return;
    }
    for (int c = 0; c < 3; ++c)
        if (!(domMin[c] < domMax[c])) {
            status_ = kBadDomain;
            return;
        }
    if (n > kMaxSize) {
        status_ = kBadSize;
        return;
    }
    byteGrid_.assign(static_cast<size_t>(n) * n * n * 3, 0);
    SetSize(n);

    const float scale[3] = {(domMax[0] - domMin[0]) * 255.0f, (domMax[1] - domMin[1]) * 255.0f,
                            (domMax[2] - domMin[2]) * 255.0f};
    float v[3] = {0, 0, 0};  // a line that does not parse keeps the previous values
    for (int b = 0; b < n; ++b)
        for (int g = 0; g < n; ++g)
            for (int r = 0; r < n; ++r) {
                if (!reader.Next(line)) return;
                std::sscanf(line.c_str(), "%f %f %f", &v[0], &v[1], &v[2]);
                float* e = &grid_[Entry(r, g, b)];
                for (int c = 0; c < 3; ++c) e[c] = v[c] * scale[c];
            }
}

void CubeLut::Read3dl(LineReader& reader) {
    int n = 0;
    std::string line;
    while (reader.Next(line)) {
        const std::string key = FirstToken(line);
        if (key == "3DMESH" || key == "Mesh") continue;
        if (!IsNumericToken(key)) continue;
        // Every single space splits, so adjacent spaces and a trailing one count as pieces.
        const size_t pieces = static_cast<size_t>(std::count(line.begin(), line.end(), ' ')) + 1;
        if (pieces < 3) status_ = kShortMesh;
        else if (pieces > static_cast<size_t>(kMaxSize)) status_ = kBadSize;
        else n = static_cast<int>(pieces);
        break;
    }
    if (n >= 2) {
        byteGrid_.assign(static_cast<size_t>(n) * n * n * 3, 0);
        SetSize(n);
    }
    if (status_ != kOk) return;
    // Values are 12-bit (output maximum 4096).
    const float scale = 255.0f / 4095.0f;
    float v[3] = {0, 0, 0};
    for (int r = 0; r < n; ++r)
        for (int g = 0; g < n; ++g)
            for (int b = 0; b < n; ++b) {
                if (!reader.Next(line)) return;
                std::sscanf(line.c_str(), "%f %f %f", &v[0], &v[1], &v[2]);
                float* e = &grid_[Entry(r, g, b)];
                for (int c = 0; c < 3; ++c) e[c] = v[c] * scale;
            }
}

void CubeLut::BuildIdentity(int n) {
    if (n < 2 || n > kMaxSize) return;
    SetSize(n);
    if (byteGrid_.size() != static_cast<size_t>(n) * n * n * 3) byteGrid_.assign(static_cast<size_t>(n) * n * n * 3, 0);
    const float step = 255.0f / static_cast<float>(n - 1);
    for (int r = 0; r < n; ++r)
        for (int g = 0; g < n; ++g)
            for (int b = 0; b < n; ++b) {
                float* e = &grid_[Entry(r, g, b)];
                e[0] = r * step;
                e[1] = g * step;
                e[2] = b * step;
                uint8_t* p = &byteGrid_[((static_cast<size_t>(r) * n + g) * n + b) * 3];
                p[0] = ToByte(e[0]);
                p[1] = ToByte(e[1]);
                p[2] = ToByte(e[2]);
            }
    status_ = kOk;
}

float* CubeLut::GetTable(int* redSize, int* greenSize, int* blueSize, int* components) {
    if (redSize) *redSize = size_;
    if (greenSize) *greenSize = size_;
    if (blueSize) *blueSize = size_;
    if (components) *components = 3;
    return grid_.data();
}

namespace {

// Tetrahedral interpolation of `comps` components at byte colour (r, g, b).
struct Tetra {
    const float* grid;
    const uint32_t *lowR, *highR, *lowG, *highG, *lowB, *highB;
    const float* frac;

    template <int comps>
    inline void At(int r, int g, int b, float* out) const {
        const float fr = frac[r], fg = frac[g], fb = frac[b];
        const uint32_t r0 = lowR[r], r1 = highR[r], g0 = lowG[g], g1 = highG[g], b0 = lowB[b], b1 = highB[b];
        const float* c000 = grid + r0 + g0 + b0;
        const float* c111 = grid + r1 + g1 + b1;
        const float *ca, *cab;
        float w0, wa, wab, w1;
        if (fr > fg) {
            if (fg > fb) {  // r > g > b
                ca = grid + r1 + g0 + b0; cab = grid + r1 + g1 + b0;
                w0 = 1 - fr; wa = fr - fg; wab = fg - fb; w1 = fb;
            } else if (fr > fb) {  // r > b >= g
                ca = grid + r1 + g0 + b0; cab = grid + r1 + g0 + b1;
                w0 = 1 - fr; wa = fr - fb; wab = fb - fg; w1 = fg;
            } else {  // b >= r > g
                ca = grid + r0 + g0 + b1; cab = grid + r1 + g0 + b1;
                w0 = 1 - fb; wa = fb - fr; wab = fr - fg; w1 = fg;
            }
        } else {
            if (fb > fg) {  // b > g >= r
                ca = grid + r0 + g0 + b1; cab = grid + r0 + g1 + b1;
                w0 = 1 - fb; wa = fb - fg; wab = fg - fr; w1 = fr;
            } else if (fb > fr) {  // g >= b > r
                ca = grid + r0 + g1 + b0; cab = grid + r0 + g1 + b1;
                w0 = 1 - fg; wa = fg - fb; wab = fb - fr; w1 = fr;
            } else {  // g >= r >= b
                ca = grid + r0 + g1 + b0; cab = grid + r1 + g1 + b0;
                w0 = 1 - fg; wa = fg - fr; wab = fr - fb; w1 = fb;
            }
        }
        for (int c = 0; c < comps; ++c) out[c] = w0 * c000[c] + wa * ca[c] + wab * cab[c] + w1 * c111[c];
    }
};

}  // namespace

// Axes (0 red, 1 green, 2 blue) from the largest fraction to the smallest, indexed by
// (fr > fg) | (fg > fb) << 1 | (fr > fb) << 2; indices 3 and 4 cannot occur. Ties pick one of the
// touching tetrahedra, which give the same value.
const uint8_t kTetraOrder[8][3] = {{2, 1, 0}, {2, 0, 1}, {1, 2, 0}, {0, 1, 2},
                                   {0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {0, 1, 2}};

void CubeLut::PackGrid() {
    // Four floats an entry in pixel order (blue, green, red, 0), N per axis: one aligned load
    // fetches a whole vertex, and its three bytes come out where the pixel keeps them.
    const int n = size_;
    packed_.resize(static_cast<size_t>(n) * n * n * 4);
    float* p = packed_.data();
    for (int r = 0; r < n; ++r)
        for (int g = 0; g < n; ++g)
            for (int b = 0; b < n; ++b, p += 4) {
                const float* e = &grid_[Entry(r, g, b)];
                p[0] = e[2], p[1] = e[1], p[2] = e[0], p[3] = 0.0f;
            }
    const int scale[3] = {n * n * 4, n * 4, 4};
    for (int v = 0; v < 256; ++v) {
        const int lo = idx_[v], step = lo + 1 < n ? 1 : 0;
        const int near = std::min(static_cast<int>(std::floor(static_cast<float>(lo) + frac_[v] + 0.5f)), n - 1);
        for (int a = 0; a < 3; ++a) {
            axis_[a][v] = {frac_[v], static_cast<uint32_t>(lo * scale[a]), static_cast<uint32_t>(step * scale[a])};
            nearest_[a][v] = static_cast<uint32_t>(near * scale[a]);
        }
    }
}

std::vector<float> CubeLut::TetraTexels() {
    if (size_ < 2 || size_ > kMaxSize) return {};
    PackGrid();
    std::vector<float> texels(static_cast<size_t>(kTetraAxisTexels) * 4 + packed_.size());
    float* t = texels.data();
    for (const auto& axis : axis_)
        for (const cuberows::AxisEntry& e : axis) {
            const uint32_t entry = e.offset / 4, step = e.step / 4;
            t[0] = e.frac;
            std::memcpy(&t[1], &entry, sizeof entry);
            std::memcpy(&t[2], &step, sizeof step);
            t[3] = 0.0f;
            t += 4;
        }
    std::copy(packed_.begin(), packed_.end(), t);
    return texels;
}

void CubeLut::PackNearestBytes() {
    nearestBytes_.resize(packed_.size());
    for (size_t i = 0; i < packed_.size(); ++i) nearestBytes_[i] = ToByte(packed_[i]);
}

namespace {

// The first three lanes as bytes: nearest even, saturated through the two packs.
inline void StoreBytes(const float* v, uint8_t out[3]) {
#if defined(__SSE2__)
    const __m128i i32 = _mm_cvtps_epi32(_mm_loadu_ps(v));
    const __m128i i16 = _mm_packs_epi32(i32, i32);
    const uint32_t bytes = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(i16, i16)));
    out[0] = static_cast<uint8_t>(bytes), out[1] = static_cast<uint8_t>(bytes >> 8);
    out[2] = static_cast<uint8_t>(bytes >> 16);
#else
    for (int c = 0; c < 3; ++c) out[c] = ToByte(v[c]);
#endif
}

// Writes blue, green, red (premultiplied by the pixel's alpha on four channels).
inline void WritePixel(uint8_t* d, const uint8_t bgr[3], int channels, const uint8_t* M, uint8_t alpha) {
    if (channels == 4) {
        const uint8_t* Ma = M + alpha * 256;
        d[0] = Ma[bgr[0]], d[1] = Ma[bgr[1]], d[2] = Ma[bgr[2]], d[3] = alpha;
    } else {
        d[0] = bgr[0], d[1] = bgr[1], d[2] = bgr[2];
    }
}

// The leading pixels of a BGRA row the vector body of `path` does; the plain body does the rest.
inline int VectorRow(LookupPath path, const cuberows::TetraTables& tables, cuberows::Interpolation kind,
                     const uint8_t* s, uint8_t* d, int width) {
    if (path == LookupPath::Avx512Vbmi) return cuberows::CubeBGRAAvx512(tables, kind, s, d, width);
    if (path == LookupPath::Avx2) return cuberows::CubeBGRAAvx2(tables, kind, s, d, width);
    return 0;
}

}  // namespace

void CubeLut::TetraRows(uint8_t* dst, int dstStride, const uint8_t* src, int srcStride, int width, int channels,
                        int begin, int end, LookupPath vectorPath) const {
    const uint8_t* M = MulTable();
    const float* grid = packed_.data();
    const cuberows::TetraTables tables{grid, nullptr, size_};
    const LookupPath path = channels == 4 ? vectorPath : LookupPath::Scalar;
    for (int y = begin; y < end; ++y) {
        const uint8_t* s = src + static_cast<size_t>(y) * srcStride;
        uint8_t* d = dst + static_cast<size_t>(y) * dstStride;
        const int done = VectorRow(path, tables, cuberows::Interpolation::Tetrahedral, s, d, width);
        s += static_cast<size_t>(done) * channels;
        d += static_cast<size_t>(done) * channels;
        for (int x = done; x < width; ++x, s += channels, d += channels) {
            const cuberows::AxisEntry& er = axis_[0][s[2]];
            const cuberows::AxisEntry& eg = axis_[1][s[1]];
            const cuberows::AxisEntry& eb = axis_[2][s[0]];
            const float f[3] = {er.frac, eg.frac, eb.frac};
            const uint32_t step[3] = {er.step, eg.step, eb.step};
            const uint8_t* o = kTetraOrder[(f[0] > f[1]) | (f[1] > f[2]) << 1 | (f[0] > f[2]) << 2];
            const float* c000 = grid + er.offset + eg.offset + eb.offset;
            const float* ca = c000 + step[o[0]];
            const float* cab = ca + step[o[1]];
            const float* c111 = c000 + step[0] + step[1] + step[2];
            const float w0 = 1 - f[o[0]], wa = f[o[0]] - f[o[1]], wab = f[o[1]] - f[o[2]], w1 = f[o[2]];
            alignas(16) float v[4];
            for (int c = 0; c < 4; ++c) v[c] = (w0 * c000[c] + wa * ca[c]) + (wab * cab[c] + w1 * c111[c]);
            uint8_t bgr[3];
            StoreBytes(v, bgr);
            WritePixel(d, bgr, channels, M, channels == 4 ? s[3] : 255);
        }
    }
}

void CubeLut::AlphaRows(uint8_t* dst, int dstStride, const uint8_t* src, int srcStride, int width, int channels,
                        int begin, int end) const {
    const Tetra t{grid_.data(), lowR_, highR_, lowG_, highG_, lowB_, highB_, frac_};
    for (int y = begin; y < end; ++y) {
        const uint8_t* s = src + static_cast<size_t>(y) * srcStride;
        uint8_t* d = dst + static_cast<size_t>(y) * dstStride;
        for (int x = 0; x < width; ++x, s += channels) {
            float o;
            t.At<1>(s[2], s[1], s[0], &o);
            d[x] = ToByte(o);
        }
    }
}

void CubeLut::InPlaceRows(uint8_t* dst, int dstStride, int width, int channels, bool trilinear, int begin,
                          int end) const {
    const uint8_t* M = MulTable();
    const float* grid = packed_.data();
    const cuberows::TetraTables tables{grid, nearestBytes_.data(), size_};
    const LookupPath path = channels == 4 ? BestLookupPath() : LookupPath::Scalar;
    const auto kind = trilinear ? cuberows::Interpolation::Trilinear : cuberows::Interpolation::Nearest;
    for (int y = begin; y < end; ++y) {
        uint8_t* d = dst + static_cast<size_t>(y) * dstStride;
        const int done = VectorRow(path, tables, kind, d, d, width);
        d += static_cast<size_t>(done) * channels;
        for (int x = done; x < width; ++x, d += channels) {
            const cuberows::AxisEntry& er = axis_[0][d[2]];
            const cuberows::AxisEntry& eg = axis_[1][d[1]];
            const cuberows::AxisEntry& eb = axis_[2][d[0]];
            uint8_t bgr[3];
            if (trilinear) {
                // Along red first, then green, then blue, each a*(1 - f) + b*f.
                const float* c000 = grid + er.offset + eg.offset + eb.offset;
                const uint32_t sr = er.step, sg = eg.step, sb = eb.step;
                const float fr = er.frac, fg = eg.frac, fb = eb.frac;
                alignas(16) float v[4];
                for (int c = 0; c < 4; ++c) {
                    auto at = [&](uint32_t off) { return c000[off + c]; };
                    const float c00 = at(0) * (1 - fr) + at(sr) * fr, c10 = at(sg) * (1 - fr) + at(sr + sg) * fr;
                    const float c01 = at(sb) * (1 - fr) + at(sr + sb) * fr;
                    const float c11 = at(sg + sb) * (1 - fr) + at(sr + sg + sb) * fr;
                    const float c0 = c00 * (1 - fg) + c10 * fg, c1 = c01 * (1 - fg) + c11 * fg;
                    v[c] = c0 * (1 - fb) + c1 * fb;
                }
                StoreBytes(v, bgr);
            } else {
                const uint8_t* e =
                    nearestBytes_.data() + (static_cast<size_t>(nearest_[0][d[2]]) + nearest_[1][d[1]] + nearest_[2][d[0]]);
                bgr[0] = e[0], bgr[1] = e[1], bgr[2] = e[2];
            }
            WritePixel(d, bgr, channels, M, channels == 4 ? d[3] : 255);
        }
    }
}

void CubeLut::Rows(int pass, uint8_t* dst, int dstStride, const uint8_t* src, int srcStride, int width,
                   int channels, int begin, int end) const {
    switch (pass) {
        case kPassAlpha: AlphaRows(dst, dstStride, src, srcStride, width, channels, begin, end); break;
        case kPassTetrahedral: TetraRows(dst, dstStride, src, srcStride, width, channels, begin, end); break;
        default: InPlaceRows(dst, dstStride, width, channels, pass == kPassTrilinear, begin, end); break;
    }
}

int CubeLut::Apply(uint8_t* dst, int dstStride, const uint8_t* src, int width, int height, int srcStride,
                   int channels, int mode, int /*strength*/) {
    if (size_ < 2 || size_ > kMaxSize) {
        status_ = kBadSize;
        return kBadSize;
    }
    const int dstChannels = alphaOutput_ ? 1 : channels;
    // The tetrahedral paths read src; the others rewrite dst in place.
    const bool readsSource = mode == 2 || alphaOutput_;
    if (!dst || width <= 0 || height <= 0 || (channels != 3 && channels != 4) ||
        dstStride < width * dstChannels || (readsSource && (!src || srcStride < width * channels)))
        return kNothingLoaded;
    // The grid may have been written through GetTable since the last pass.
    if (!alphaOutput_) PackGrid();
    if (!alphaOutput_ && mode != 1 && mode != 2) PackNearestBytes();
    const int pass = alphaOutput_ ? kPassAlpha : mode == 2 ? kPassTetrahedral : mode == 1 ? kPassTrilinear
                                                                                          : kPassNearest;
    ForRowBands(width, height,
                [&](int y0, int y1) { Rows(pass, dst, dstStride, src, srcStride, width, channels, y0, y1); });
    status_ = kOk;
    return kOk;
}

}  // namespace orvex
