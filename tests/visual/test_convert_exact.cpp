// The YUV <-> BGRA conversions written in host/yuv, byte for byte: every vector body the processor
// runs (yuv_simd.h) against plain C, on odd sizes, padded and misaligned rows, and whole frames.
//   encoders: against a reference written here from the standards' Kr and Kb;
//   decoders: against the plain C level over random frames, and plain C against the matrix
//   formula for every (Y, U, V) code triple, sub-black and super-white luma included.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/yuv/yuv_simd.h"
#include "yuv.h"
#include "yuv_matrix.h"

namespace {

// The levels this processor runs, plain C first.
std::vector<YuvSimd> Levels() {
    std::vector<YuvSimd> levels;
    for (int l = 0; l <= static_cast<int>(imageYuvHardwareSimd()); ++l) levels.push_back(static_cast<YuvSimd>(l));
    return levels;
}

const char* Name(YuvSimd l) {
    switch (l) {
    case YuvSimd::Scalar: return "C";
    case YuvSimd::Sse2: return "SSE2";
    case YuvSimd::Avx2: return "AVX2";
    default: return "AVX-512";
    }
}

// Restores the processor's best level when a test ends.
struct LevelGuard {
    ~LevelGuard() { imageYuvCapSimd(YuvSimd::Avx512); }
};

// One plane: `rows` rows of `bytes` bytes at `pitch`, starting `offset` bytes past a 64-byte
// boundary of its storage (the AVX-512 encoder aligns its loads when it can, so the offsets take
// both ways), with guard bytes around it and in the row padding.
struct Plane {
    static constexpr uint8_t kGuard = 0xA5;
    static constexpr int kGuardBytes = 64;
    int bytes, rows, pitch, start;
    std::vector<uint8_t> storage;
    Plane(int bytes, int rows, int pad, int offset = 1)
        : bytes(bytes), rows(rows), pitch(bytes + pad), storage(static_cast<size_t>(pitch) * rows + 256, kGuard) {
        const auto misalign = static_cast<int>(reinterpret_cast<uintptr_t>(storage.data()) % 64);
        start = kGuardBytes + (64 - misalign) % 64 + offset % 64;
    }
    uint8_t* data() { return storage.data() + start; }
    // The rows with their padding and the guard bytes either side: what a conversion may not
    // change beyond the samples.
    std::vector<uint8_t> Image() const {
        return std::vector<uint8_t>(storage.begin() + (start - kGuardBytes),
                                    storage.begin() + start + static_cast<size_t>(pitch) * rows + kGuardBytes);
    }
    uint8_t* row(int y) { return data() + static_cast<size_t>(pitch) * y; }
    void Random(std::mt19937& rng) {
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < bytes; ++x) {
                // Runs of the extremes now and then, so that the clamps are reached.
                const uint32_t r = rng();
                row(y)[x] = r % 11 == 0 ? 0 : r % 11 == 1 ? 255 : static_cast<uint8_t>(r >> 8);
            }
    }
};

// --- BGRA -> YV12 ----------------------------------------------------------------------------------

using Encode = int (*)(const uint8_t*, int, uint8_t*, int, uint8_t*, int, uint8_t*, int, int, int);

// The fixed-point encoder as plain C: coefficients with 15 fractional bits from Kr and Kb, luma
// over 219 and chroma over 224 codes for limited range (255 for full), the chroma of a 2x2 block
// from the sum of its four pixels (an odd last column or row repeats).
struct Reference {
    int yb, yg, yr, ub, ug, ur, vb, vg, vr, yBias;
    static int Fixed(double v) { return static_cast<int>(v * 32768.0 + (v >= 0 ? 0.5 : -0.5)); }
    Reference(double kr, double kb, bool full) {
        const double kg = 1.0 - kr - kb;
        const double ys = (full ? 255.0 : 219.0) / 255.0, cs = (full ? 255.0 : 224.0) / 255.0;
        const double cb = 2.0 * (1.0 - kb), cr = 2.0 * (1.0 - kr);
        yb = Fixed(ys * kb), yg = Fixed(ys * kg), yr = Fixed(ys * kr);
        ub = Fixed(cs * 0.5), ug = Fixed(-cs * kg / cb), ur = Fixed(-cs * kr / cb);
        vb = Fixed(-cs * kb / cr), vg = Fixed(-cs * kg / cr), vr = Fixed(cs * 0.5);
        yBias = (full ? 0 : 16 << 15) + (1 << 14);
    }
    static uint8_t Clamp(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }
    void Run(Plane& src, Plane& y, Plane& u, Plane& v, int w, int h) const {
        for (int r = 0; r < h; ++r)
            for (int x = 0; x < w; ++x) {
                const uint8_t* p = src.row(r) + 4 * x;
                y.row(r)[x] = Clamp((yb * p[0] + yg * p[1] + yr * p[2] + yBias) >> 15);
            }
        for (int cy = 0; cy < (h + 1) / 2; ++cy)
            for (int cx = 0; cx < (w + 1) / 2; ++cx) {
                int sb = 0, sg = 0, sr = 0;
                for (int r : {2 * cy, std::min(2 * cy + 1, h - 1)})
                    for (int x : {2 * cx, std::min(2 * cx + 1, w - 1)}) {
                        const uint8_t* p = src.row(r) + 4 * x;
                        sb += p[0], sg += p[1], sr += p[2];
                    }
                const int bias = (128 << 17) + (1 << 16);
                u.row(cy)[cx] = Clamp((ub * sb + ug * sg + ur * sr + bias) >> 17);
                v.row(cy)[cx] = Clamp((vb * sb + vg * sg + vr * sr + bias) >> 17);
            }
    }
};

struct EncodeCase {
    const char* name;
    Encode encode;
    Reference ref;
};

const EncodeCase kEncoders[] = {
    {"BT.709 limited", imageRGBToYV12BT709_Limited, Reference(0.2126, 0.0722, false)},
    {"BT.709 full", imageRGBToYV12BT709_FULL, Reference(0.2126, 0.0722, true)},
    {"BT.601 full", imageRGBToYV12BT601_FULL, Reference(0.299, 0.114, true)},
    {"BT.2020 limited", imageRGBToYV12BT2020_Limited, Reference(0.2627, 0.0593, false)},
    {"BT.2020 full", imageRGBToYV12BT2020_FULL, Reference(0.2627, 0.0593, true)},
};

// Widths around every vector body's step (16, 32, 64 pixels) and their odd neighbours.
const int kWidths[] = {1, 2, 3, 5, 15, 16, 17, 31, 32, 33, 34, 63, 64, 65, 66, 95, 97, 127, 128, 130, 191, 257};
const int kHeights[] = {1, 2, 3, 4, 7};

TEST(ConvertExact, EncodersMatchThePlainReferenceAtEveryLevel) {
    LevelGuard restore;
    std::mt19937 rng(7);
    for (const EncodeCase& c : kEncoders)
        for (int w : kWidths)
            for (int h : kHeights) {
                const int pad = static_cast<int>(rng() % 40), cw = (w + 1) / 2, ch = (h + 1) / 2;
                // Source rows off a 64-byte boundary by an odd number, a multiple of 8, or nothing.
                const int offset = std::vector<int>{1, 8, 16, 40, 0, 3}[rng() % 6];
                Plane src(w * 4, h, pad, offset), ry(w, h, pad), ru(cw, ch, pad + 1), rv(cw, ch, pad + 3);
                src.Random(rng);
                c.ref.Run(src, ry, ru, rv, w, h);
                for (YuvSimd level : Levels()) {
                    imageYuvCapSimd(level);
                    Plane y(w, h, pad), u(cw, ch, pad + 1), v(cw, ch, pad + 3);
                    ASSERT_EQ(c.encode(src.data(), src.pitch, y.data(), y.pitch, u.data(), u.pitch, v.data(), v.pitch,
                                       w, h),
                              0);
                    const std::string what = std::string(c.name) + " " + Name(level) + " " + std::to_string(w) + "x" +
                                             std::to_string(h) + " pad " + std::to_string(pad) + " offset " +
                                             std::to_string(offset);
                    // The samples, and the padding and guards untouched.
                    EXPECT_TRUE(y.Image() == ry.Image()) << what << " Y";
                    EXPECT_TRUE(u.Image() == ru.Image()) << what << " U";
                    EXPECT_TRUE(v.Image() == rv.Image()) << what << " V";
                }
            }
}

TEST(ConvertExact, EncodersMatchTheReferenceOnAWholeFrameAtEveryLevel) {
    // A 1920x1080 frame with padded rows, as the banded Convert path passes it, row by row.
    LevelGuard restore;
    std::mt19937 rng(9);
    const int w = 1920, h = 1080;
    for (int offset : {0, 16}) {
        Plane src(w * 4, h, 64, offset), ry(w, h, 32), ru(w / 2, h / 2, 16), rv(w / 2, h / 2, 16);
        src.Random(rng);
        const EncodeCase& c = kEncoders[0];
        c.ref.Run(src, ry, ru, rv, w, h);
        for (YuvSimd level : Levels()) {
            imageYuvCapSimd(level);
            Plane y(w, h, 32), u(w / 2, h / 2, 16), v(w / 2, h / 2, 16);
            ASSERT_EQ(c.encode(src.data(), src.pitch, y.data(), y.pitch, u.data(), u.pitch, v.data(), v.pitch, w, h),
                      0);
            EXPECT_TRUE(y.Image() == ry.Image()) << Name(level) << " offset " << offset;
            EXPECT_TRUE(u.Image() == ru.Image()) << Name(level) << " offset " << offset;
            EXPECT_TRUE(v.Image() == rv.Image()) << Name(level) << " offset " << offset;
        }
    }
}

TEST(ConvertExact, NV12EncoderIsTheFixedPointEncoderInPairsAtEveryLevel) {
    // 8-bit BGRA -> NV12 in every mode of the kernels' tables (0-2 limited BT.2020, 709, 601, 3-5
    // full): the reference's Y, and its U and V interleaved, with the padding and guards untouched.
    LevelGuard restore;
    std::mt19937 rng(13);
    const Reference refs[] = {Reference(0.2627, 0.0593, false), Reference(0.2126, 0.0722, false),
                              Reference(0.299, 0.114, false),   Reference(0.2627, 0.0593, true),
                              Reference(0.2126, 0.0722, true),  Reference(0.299, 0.114, true)};
    for (int mode = 0; mode < 6; ++mode)
        for (int w : kWidths)
            for (int h : {1, 2, 5}) {
                const int pad = static_cast<int>(rng() % 40), cw = (w + 1) / 2, ch = (h + 1) / 2;
                const int offset = std::vector<int>{1, 8, 16, 40, 0, 3}[rng() % 6];
                Plane src(w * 4, h, pad, offset), ry(w, h, pad), ru(cw, ch, 0), rv(cw, ch, 0), ruv(2 * cw, ch, pad + 1);
                src.Random(rng);
                refs[mode].Run(src, ry, ru, rv, w, h);
                for (int cy = 0; cy < ch; ++cy)
                    for (int cx = 0; cx < cw; ++cx) {
                        ruv.row(cy)[2 * cx] = ru.row(cy)[cx];
                        ruv.row(cy)[2 * cx + 1] = rv.row(cy)[cx];
                    }
                for (YuvSimd level : Levels()) {
                    imageYuvCapSimd(level);
                    Plane y(w, h, pad), uv(2 * cw, ch, pad + 1);
                    ASSERT_EQ(imageMatrixBGRAToSemiPlanar(src.data(), src.pitch, 1, y.data(), y.pitch, uv.data(),
                                                          uv.pitch, 1, w, h, mode, mode >= 3, 8, 0),
                              0);
                    const std::string what = "mode " + std::to_string(mode) + " " + Name(level) + " " +
                                             std::to_string(w) + "x" + std::to_string(h) + " offset " +
                                             std::to_string(offset);
                    EXPECT_TRUE(y.Image() == ry.Image()) << what << " Y";
                    EXPECT_TRUE(uv.Image() == ruv.Image()) << what << " UV";
                }
            }
}

// --- YUV -> BGRA -------------------------------------------------------------------------------------

using Planar = int (*)(const uint8_t*, int, const uint8_t*, int, const uint8_t*, int, uint8_t*, int, int, int);
using Semi = int (*)(const uint8_t*, int, const uint8_t*, int, uint8_t*, int, int, int);

// The fixed-mode matrices with their four-decimal coefficients, as the GPU kernels apply them.
struct Formula {
    double ky, yOffset, rv, gu, gv, bu;
    int Channel(int c, int y, int u, int v) const {
        const double yy = ky * (y - yOffset), du = u - 128.0, dv = v - 128.0;
        const double value = c == 0 ? yy + bu * du : c == 1 ? yy - gu * du - gv * dv : yy + rv * dv;
        return static_cast<int>(std::clamp(std::floor(value + 0.5), 0.0, 255.0));
    }
};

const struct {
    const char* name;
    Planar planar;
    Semi semi;
    Formula formula;
} kDecoders[] = {
    {"BT.601 limited", imageYV12ToRGBBT601_Limited, imageNV12ToRGBBT601_Limited,
     {1.1644, 16, 1.5960, 0.3917, 0.8129, 2.0172}},
    {"BT.709 limited", imageYV12ToRGBBT709_Limited, imageNV12ToRGBBT709_Limited,
     {1.1644, 16, 1.7927, 0.2132, 0.5329, 2.1123}},
    {"BT.2020 limited", imageYV12ToRGBBT2020_Limited, imageNV12ToRGBBT2020_Limited,
     {1.1644, 16, 1.6787, 0.1873, 0.6504, 2.1418}},
    {"BT.601 full", imageYV12ToRGBBT601_FULL, imageNV12ToRGBBT601_FULL, {1, 0, 1.4020, 0.3441, 0.7141, 1.7720}},
    {"BT.709 full", imageYV12ToRGBBT709_FULL, imageNV12ToRGBBT709_FULL, {1, 0, 1.5748, 0.1873, 0.4681, 1.8556}},
    {"BT.2020 full", imageYV12ToRGBBT2020_FULL, imageNV12ToRGBBT2020_FULL, {1, 0, 1.4746, 0.1646, 0.5714, 1.8814}},
};

// Decodes y, u, v (and the interleaved uv) at every level; each output must equal plain C's.
void DecodeAtEveryLevel(const char* name, Planar planar, Semi semi, Plane& y, Plane& u, Plane& v, Plane& uv, int w,
                        int h, const std::string& what) {
    std::vector<uint8_t> planarC, semiC;
    for (YuvSimd level : Levels()) {
        imageYuvCapSimd(level);
        Plane a(w * 4, h, y.pitch - w + 5), b(w * 4, h, y.pitch - w + 5);
        ASSERT_EQ(planar(y.data(), y.pitch, u.data(), u.pitch, v.data(), v.pitch, a.data(), a.pitch, w, h), 0);
        ASSERT_EQ(semi(y.data(), y.pitch, uv.data(), uv.pitch, b.data(), b.pitch, w, h), 0);
        if (level == YuvSimd::Scalar) {
            planarC = a.Image();
            semiC = b.Image();
            continue;
        }
        EXPECT_TRUE(a.Image() == planarC) << name << " YV12 " << Name(level) << " " << what;
        EXPECT_TRUE(b.Image() == semiC) << name << " NV12 " << Name(level) << " " << what;
    }
}

TEST(ConvertExact, DecodersMatchPlainCAtEveryLevel) {
    LevelGuard restore;
    std::mt19937 rng(13);
    for (const auto& d : kDecoders)
        for (int w : kWidths)
            for (int h : {1, 2, 3, 17, 34}) {
                const int pad = static_cast<int>(rng() % 40), cw = (w + 1) / 2, ch = (h + 1) / 2;
                Plane y(w, h, pad), u(cw, ch, pad + 1), v(cw, ch, pad + 3), uv(2 * cw, ch, pad + 2);
                y.Random(rng), u.Random(rng), v.Random(rng), uv.Random(rng);
                DecodeAtEveryLevel(d.name, d.planar, d.semi, y, u, v, uv, w, h,
                                   std::to_string(w) + "x" + std::to_string(h) + " pad " + std::to_string(pad));
            }
}

TEST(ConvertExact, DecodersMatchPlainCAndTheFormulaForEveryCodeTriple) {
    // Every (U, V) pair in a 256x256 chroma plane, each block's four luma codes stepping through
    // all 256 over 64 frames: every (Y, U, V) triple once, at 512x512 pixels a frame. Plain C is
    // the formula rounded, within 1 (a fixed-point term a few hundredths of a code off a half);
    // luma below 16 or above 235 goes through the matrix like any other code, so the limited
    // modes' excursions keep their colour.
    LevelGuard restore;
    const int w = 512, h = 512;
    for (const auto& d : kDecoders) {
        Plane u(256, 256, 7), v(256, 256, 7), uv(512, 256, 3), y(w, h, 9);
        for (int r = 0; r < 256; ++r)
            for (int c = 0; c < 256; ++c) {
                // (c, r) -> (c, r + c) reaches every pair once and varies both along a row.
                const auto cb = static_cast<uint8_t>(c), cr = static_cast<uint8_t>(r + c);
                u.row(r)[c] = cb, v.row(r)[c] = cr;
                uv.row(r)[2 * c] = cb, uv.row(r)[2 * c + 1] = cr;
            }
        for (int frame = 0; frame < 64; ++frame) {
            for (int r = 0; r < h; ++r)
                for (int x = 0; x < w; ++x)
                    y.row(r)[x] = static_cast<uint8_t>(4 * frame + 2 * (r % 2) + x % 2 + 37 * (x / 2));
            DecodeAtEveryLevel(d.name, d.planar, d.semi, y, u, v, uv, w, h, "frame " + std::to_string(frame));
            imageYuvCapSimd(YuvSimd::Scalar);
            Plane out(w * 4, h, 4);
            ASSERT_EQ(d.planar(y.data(), y.pitch, u.data(), u.pitch, v.data(), v.pitch, out.data(), out.pitch, w, h), 0);
            int worst = 0;
            std::string where;
            for (int r = 0; r < h; ++r)
                for (int x = 0; x < w; ++x) {
                    const int Y = y.row(r)[x], U = u.row(r / 2)[x / 2], V = v.row(r / 2)[x / 2];
                    for (int c = 0; c < 3; ++c) {
                        const int e = std::abs(out.row(r)[4 * x + c] - d.formula.Channel(c, Y, U, V));
                        if (e > worst) {
                            worst = e;
                            where = "Y " + std::to_string(Y) + " U " + std::to_string(U) + " V " + std::to_string(V) +
                                    " channel " + std::to_string(c);
                        }
                    }
                    EXPECT_EQ(out.row(r)[4 * x + 3], 255);
                }
            EXPECT_LE(worst, 1) << d.name << " " << where;
            if (HasFailure()) return;
        }
    }
}

}  // namespace
