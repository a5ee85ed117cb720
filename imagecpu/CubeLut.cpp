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

namespace orvex {
namespace {

// The longest line a reader accepts. Longer lines count as failed reads, so a huge or hostile
// file is read in bounded memory: at most N^3 data lines of this length are ever looked at.
constexpr size_t kMaxLine = 4096;
// At most this many characters are scanned for the first line's end.
constexpr int kSeparatorScan = 255;
constexpr int kFirstLineLimit = 250;
// Tables larger than this run in stripes.
constexpr int kSerialPixels = 10000;
constexpr int kStripes = 8;

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

class parallelCubeLut : public cv::ParallelLoopBody {
public:
    parallelCubeLut(const CubeLut& lut, uint8_t* dst, int dstStride, const uint8_t* src, int srcStride, int width,
                    int height, int channels, bool alpha)
        : lut_(lut), dst_(dst), dstStride_(dstStride), src_(src), srcStride_(srcStride), width_(width),
          height_(height), channels_(channels), alpha_(alpha) {}
    void operator()(const cv::Range& range) const override {
        for (int s = range.start; s < range.end; ++s) {
            const int rows = height_ / kStripes;
            const int begin = s * rows, end = s == kStripes - 1 ? height_ : begin + rows;
            if (alpha_) lut_.AlphaRows(dst_, dstStride_, src_, srcStride_, width_, channels_, begin, end);
            else lut_.TetraRows(dst_, dstStride_, src_, srcStride_, width_, channels_, begin, end);
        }
    }

private:
    const CubeLut& lut_;
    uint8_t* dst_;
    int dstStride_;
    const uint8_t* src_;
    int srcStride_, width_, height_, channels_;
    bool alpha_;
};

}  // namespace

// Axes (0 red, 1 green, 2 blue) from the largest fraction to the smallest, indexed by
// (fr > fg) | (fg > fb) << 1 | (fr > fb) << 2; indices 3 and 4 cannot occur. Ties pick one of the
// touching tetrahedra, which give the same value.
const uint8_t kTetraOrder[8][3] = {{2, 1, 0}, {2, 0, 1}, {1, 2, 0}, {0, 1, 2},
                                   {0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {0, 1, 2}};

void CubeLut::PackGrid() {
    // Four floats an entry, N per axis: one aligned load fetches a whole vertex.
    const int n = size_;
    packed_.resize(static_cast<size_t>(n) * n * n * 4);
    float* p = packed_.data();
    for (int r = 0; r < n; ++r)
        for (int g = 0; g < n; ++g)
            for (int b = 0; b < n; ++b, p += 4) {
                const float* e = &grid_[Entry(r, g, b)];
                p[0] = e[0], p[1] = e[1], p[2] = e[2], p[3] = 0.0f;
            }
    for (int v = 0; v < 256; ++v) {
        const int lo = idx_[v], step = lo + 1 < n ? 1 : 0;
        const int scale[3] = {n * n * 4, n * 4, 4};
        for (int a = 0; a < 3; ++a)
            axis_[a][v] = {frac_[v], static_cast<uint32_t>(lo * scale[a]), static_cast<uint32_t>(step * scale[a])};
    }
}

void CubeLut::TetraRows(uint8_t* dst, int dstStride, const uint8_t* src, int srcStride, int width, int channels,
                        int begin, int end) const {
    const uint8_t* M = MulTable();
    const float* grid = packed_.data();
    for (int y = begin; y < end; ++y) {
        const uint8_t* s = src + static_cast<size_t>(y) * srcStride;
        uint8_t* d = dst + static_cast<size_t>(y) * dstStride;
        for (int x = 0; x < width; ++x, s += channels, d += channels) {
            const AxisEntry& er = axis_[0][s[2]];
            const AxisEntry& eg = axis_[1][s[1]];
            const AxisEntry& eb = axis_[2][s[0]];
            const float f[3] = {er.frac, eg.frac, eb.frac};
            const uint32_t step[3] = {er.step, eg.step, eb.step};
            const uint8_t* o = kTetraOrder[(f[0] > f[1]) | (f[1] > f[2]) << 1 | (f[0] > f[2]) << 2];
            const float* c000 = grid + er.offset + eg.offset + eb.offset;
            const float* ca = c000 + step[o[0]];
            const float* cab = ca + step[o[1]];
            const float* c111 = c000 + step[0] + step[1] + step[2];
            const float w0 = 1 - f[o[0]], wa = f[o[0]] - f[o[1]], wab = f[o[1]] - f[o[2]], w1 = f[o[2]];
            uint8_t out[3];
#if defined(__SSE2__)
            const __m128 v = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(w0), _mm_load_ps(c000)),
                                                   _mm_mul_ps(_mm_set1_ps(wa), _mm_load_ps(ca))),
                                        _mm_add_ps(_mm_mul_ps(_mm_set1_ps(wab), _mm_load_ps(cab)),
                                                   _mm_mul_ps(_mm_set1_ps(w1), _mm_load_ps(c111))));
            // Round to nearest even, then saturate through the two packs.
            const __m128i i32 = _mm_cvtps_epi32(v);
            const __m128i i16 = _mm_packs_epi32(i32, i32);
            const uint32_t bytes = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(i16, i16)));
            out[0] = static_cast<uint8_t>(bytes), out[1] = static_cast<uint8_t>(bytes >> 8);
            out[2] = static_cast<uint8_t>(bytes >> 16);
#else
            for (int c = 0; c < 3; ++c) out[c] = ToByte(w0 * c000[c] + wa * ca[c] + wab * cab[c] + w1 * c111[c]);
#endif
            if (channels == 4) {
                const uint8_t* Ma = M + s[3] * 256;
                d[3] = s[3];
                d[0] = Ma[out[2]];
                d[1] = Ma[out[1]];
                d[2] = Ma[out[0]];
            } else {
                d[0] = out[2];
                d[1] = out[1];
                d[2] = out[0];
            }
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

void CubeLut::InPlaceRows(uint8_t* dst, int dstStride, int width, int height, int channels, bool trilinear) const {
    const uint8_t* M = MulTable();
    const float* g = grid_.data();
    for (int y = 0; y < height; ++y) {
        uint8_t* d = dst + static_cast<size_t>(y) * dstStride;
        for (int x = 0; x < width; ++x, d += channels) {
            const int B = d[0], G = d[1], R = d[2];
            float o[3];
            if (trilinear) {
                const float fr = frac_[R], fg = frac_[G], fb = frac_[B];
                for (int c = 0; c < 3; ++c) {
                    auto at = [&](uint32_t r, uint32_t gg, uint32_t b) { return g[r + gg + b + c]; };
                    const float c00 = at(lowR_[R], lowG_[G], lowB_[B]) * (1 - fr) + at(highR_[R], lowG_[G], lowB_[B]) * fr;
                    const float c10 = at(lowR_[R], highG_[G], lowB_[B]) * (1 - fr) + at(highR_[R], highG_[G], lowB_[B]) * fr;
                    const float c01 = at(lowR_[R], lowG_[G], highB_[B]) * (1 - fr) + at(highR_[R], lowG_[G], highB_[B]) * fr;
                    const float c11 = at(lowR_[R], highG_[G], highB_[B]) * (1 - fr) + at(highR_[R], highG_[G], highB_[B]) * fr;
                    const float c0 = c00 * (1 - fg) + c10 * fg, c1 = c01 * (1 - fg) + c11 * fg;
                    o[c] = c0 * (1 - fb) + c1 * fb;
                }
            } else {
                auto nearest = [&](int v) {
                    return std::min(static_cast<int>(std::floor(static_cast<float>(idx_[v]) + frac_[v] + 0.5f)),
                                    size_ - 1);
                };
                const float* e = g + Entry(nearest(R), nearest(G), nearest(B));
                o[0] = e[0];
                o[1] = e[1];
                o[2] = e[2];
            }
            uint8_t r = ToByte(o[0]), gg = ToByte(o[1]), b = ToByte(o[2]);
            if (channels == 4) {
                const uint8_t* Ma = M + d[3] * 256;
                r = Ma[r];
                gg = Ma[gg];
                b = Ma[b];
            }
            d[0] = b;
            d[1] = gg;
            d[2] = r;
        }
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
    if (readsSource) {
        // The grid may have been written through GetTable since the last pass.
        if (!alphaOutput_) PackGrid();
        if (static_cast<int64_t>(width) * height <= kSerialPixels) {
            if (alphaOutput_) AlphaRows(dst, dstStride, src, srcStride, width, channels, 0, height);
            else TetraRows(dst, dstStride, src, srcStride, width, channels, 0, height);
        } else {
            cv::parallel_for_(cv::Range(0, kStripes),
                              parallelCubeLut(*this, dst, dstStride, src, srcStride, width, height, channels,
                                              alphaOutput_));
        }
    } else {
        InPlaceRows(dst, dstStride, width, height, channels, mode == 1);
    }
    status_ = kOk;
    return kOk;
}

}  // namespace orvex
