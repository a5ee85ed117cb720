// CubeLut: the two file readers with their status codes, and the three passes against
// independent ground truth (an affine colour map, the identity).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "imagecpu/BlendTables.h"
#include "imagecpu/CubeLut.h"
#include "imagecpu/TableLookup.h"

namespace orvex {
namespace {

std::string WriteTemp(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// A ".CUBE" body of n points per axis (red fastest) from f(r, g, b) -> (R, G, B), all in 0..1.
template <typename F>
std::string CubeBody(int n, F f, const char* eol = "\n") {
    std::ostringstream os;
    os.precision(9);
    for (int b = 0; b < n; ++b)
        for (int g = 0; g < n; ++g)
            for (int r = 0; r < n; ++r) {
                float o[3];
                f(r / float(n - 1), g / float(n - 1), b / float(n - 1), o);
                os << o[0] << ' ' << o[1] << ' ' << o[2] << eol;
            }
    return os.str();
}

void Identity(float r, float g, float b, float* o) { o[0] = r, o[1] = g, o[2] = b; }

std::string SizeHeader(int n) { return "TITLE \"t\"\nLUT_3D_SIZE " + std::to_string(n) + "\n"; }

struct FileCase {
    const char* name;
    std::string file;  // name with extension
    std::string text;
    bool loads;
    int status;
    int size;  // expected N when it loads
};

std::ostream& operator<<(std::ostream& os, const FileCase& c) { return os << c.name; }

class CubeLutFiles : public ::testing::TestWithParam<FileCase> {};

TEST_P(CubeLutFiles, LoadGivesStatus) {
    const FileCase& c = GetParam();
    CubeLut lut;
    EXPECT_EQ(lut.LoadFile(WriteTemp(c.file, c.text)), c.loads);
    EXPECT_EQ(lut.status(), c.status);
    if (c.loads) {
        EXPECT_EQ(lut.size(), c.size);
    }
}

// A .3DL mesh line of n values.
std::string MeshLine(int n) {
    std::string s = "0";
    for (int i = 1; i < n; ++i) s += " " + std::to_string(i * 16);
    return s + "\n";
}

const std::string kLongFirstLine = "# " + std::string(260, 'x') + "\nLUT_3D_SIZE 2\n";

INSTANTIATE_TEST_SUITE_P(
    Readers, CubeLutFiles,
    ::testing::Values(
        FileCase{"size_1", "s1.cube", SizeHeader(1) + "0 0 0\n", false, 23, 0},
        FileCase{"size_65", "s65.cube", SizeHeader(65) + CubeBody(65, Identity), true, 0, 65},
        FileCase{"size_66", "s66.cube", SizeHeader(66) + CubeBody(66, Identity), false, 23, 0},
        FileCase{"size_257", "s257.cube", SizeHeader(257), false, 23, 0},
        FileCase{"no_size", "nosize.cube", "TITLE \"x\"\n0 0 0\n", false, 23, 0},
        FileCase{"domain_equal", "dom.cube", "DOMAIN_MIN 0 0.5 0\nDOMAIN_MAX 1 0.5 1\n" + SizeHeader(2) +
                                                 CubeBody(2, Identity), false, 22, 0},
        FileCase{"repeated_size_keeps_first", "rep.cube", SizeHeader(2) + "LUT_3D_SIZE 3\n" + CubeBody(2, Identity),
                 true, 0, 2},
        FileCase{"lower_case_extension", "lower.cube", SizeHeader(2) + CubeBody(2, Identity), true, 0, 2},
        FileCase{"three_letter_extension", "short.cub", SizeHeader(2) + CubeBody(2, Identity), false, 1, 0},
        FileCase{"cr_line_ends", "cr.CUBE", "TITLE \"t\"\rLUT_3D_SIZE 2\r\r" + CubeBody(2, Identity, "\r"), true, 0,
                 2},
        FileCase{"crlf_line_ends", "crlf.cube", "LUT_3D_SIZE 2\r\n\r\n" + CubeBody(2, Identity, "\r\n"), true, 0, 2},
        FileCase{"first_line_too_long", "long.cube", kLongFirstLine, false, 13, 0},
        FileCase{"size_without_value", "novalue.cube", "LUT_3D_SIZE\n0 0 0\n", false, 10, 0},
        FileCase{"truncated_data", "trunc.cube", SizeHeader(2) + "0 0 0\n1 0 0\n", false, 12, 0},
        // A data line longer than any reader keeps: refused rather than held in memory.
        FileCase{"huge_line", "huge.cube", SizeHeader(2) + std::string(100000, '1') + "\n", false, 10, 0},
        FileCase{"3dl_mesh_of_two", "two.3dl", "3DMESH\nMesh 4 12\n0 4095\n0 0 0\n", false, 24, 0},
        FileCase{"3dl_mesh_of_66", "m66.3DL", "3DMESH\n" + MeshLine(66), false, 23, 0},
        FileCase{"3dl_mesh_of_65_short_data", "m65.3dl", "3DMESH\n" + MeshLine(65) + "0 0 0\n", false, 12, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CubeLut, ThreeDlMeshAndValues) {
    // Mesh of 3 points; blue varies fastest, values 12-bit.
    std::ostringstream os;
    os << "3DMESH\nMesh 2 12\n0 2048 4095\n";
    for (int r = 0; r < 3; ++r)
        for (int g = 0; g < 3; ++g)
            for (int b = 0; b < 3; ++b) os << r * 2047 << ' ' << g * 2047 << ' ' << b * 2047 << '\n';
    CubeLut lut;
    ASSERT_TRUE(lut.LoadFile(WriteTemp("mesh3.3dl", os.str()))) << lut.status();
    EXPECT_EQ(lut.size(), 3);
    int n = 0, comps = 0;
    const float* t = lut.GetTable(&n, &n, &n, &comps);
    EXPECT_EQ(comps, 3);
    // Entry (2, 1, 0): red 4094/4095, green 2047/4095, blue 0, on the 0..255 scale.
    const float* e = t + CubeLut::Entry(2, 1, 0);
    EXPECT_NEAR(e[0], 4094 * 255.0 / 4095, 1e-3);
    EXPECT_NEAR(e[1], 2047 * 255.0 / 4095, 1e-3);
    EXPECT_NEAR(e[2], 0, 1e-6);
}

TEST(CubeLut, CubeDataIsRedFastestAndScaledByDomain) {
    // Output red = r, green = g, blue = b of the grid position, domain max 2 on green.
    CubeLut lut;
    const std::string text = "DOMAIN_MAX 1 2 1\n" + SizeHeader(2) + CubeBody(2, Identity);
    ASSERT_TRUE(lut.LoadFile(WriteTemp("order.cube", text)));
    const float* t = lut.GetTable(nullptr, nullptr, nullptr, nullptr);
    const float* e = t + CubeLut::Entry(1, 0, 1);
    EXPECT_FLOAT_EQ(e[0], 255.0f);
    EXPECT_FLOAT_EQ(e[1], 0.0f);
    EXPECT_FLOAT_EQ(e[2], 255.0f);
    EXPECT_FLOAT_EQ((t + CubeLut::Entry(0, 1, 0))[1], 510.0f);  // (max - min) * 255
}

// An affine colour map, chosen to stay inside 0..1 on the whole cube.
void Affine(float r, float g, float b, float* o) {
    o[0] = 0.6f * r + 0.2f * g + 0.1f * b + 0.05f;
    o[1] = 0.1f * r + 0.7f * g + 0.1f * b + 0.02f;
    o[2] = 0.3f * r + 0.1f * g + 0.5f * b + 0.1f;
}

TEST(CubeLut, AffineMapReproducedByTrilinearAndTetrahedral) {
    CubeLut lut;
    ASSERT_TRUE(lut.LoadFile(WriteTemp("affine.cube", SizeHeader(17) + CubeBody(17, Affine))));
    std::mt19937 rng(3);
    const int W = 64, H = 16;
    std::vector<uint8_t> src(W * H * 4);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(rng());
    for (size_t i = 3; i < src.size(); i += 4) src[i] = 255;  // opaque: no premultiplication
    for (int mode : {1, 2}) {
        std::vector<uint8_t> dst = src;
        ASSERT_EQ(lut.Apply(dst.data(), W * 4, src.data(), W, H, W * 4, 4, mode, 255), 0);
        int worst = 0;
        for (int i = 0; i < W * H; ++i) {
            const uint8_t* s = &src[i * 4];
            float o[3];
            Affine(s[2] / 255.0f, s[1] / 255.0f, s[0] / 255.0f, o);
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(dst[i * 4 + 2 - c] - static_cast<int>(std::lround(o[c] * 255))));
            EXPECT_EQ(dst[i * 4 + 3], 255);
        }
        // An affine map is linear inside every cell, so only the final rounding separates them.
        EXPECT_LE(worst, 1) << "mode " << mode;
    }
}

TEST(CubeLut, IdentityKeepsColoursThenPremultiplies) {
    std::mt19937 rng(5);
    const int W = 101, H = 100;  // above the serial limit: the striped pass
    std::vector<uint8_t> src(W * H * 4 + 7);
    for (auto& v : src) v = static_cast<uint8_t>(rng());
    for (const bool fromFile : {false, true}) {
        CubeLut lut;
        if (fromFile) {
            ASSERT_TRUE(lut.LoadFile(WriteTemp("ident.cube", SizeHeader(33) + CubeBody(33, Identity))));
        } else {
            lut.BuildIdentity(33);
        }
        for (int mode : {1, 2}) {
            std::vector<uint8_t> dst = src;
            ASSERT_EQ(lut.Apply(dst.data(), W * 4, src.data(), W, H, W * 4, 4, mode, 255), 0);
            for (int i = 0; i < W * H * 4; ++i) {
                const int a = src[(i / 4) * 4 + 3];
                const int expect = i % 4 == 3 ? a : Mul(src[i], a);
                ASSERT_EQ(dst[i], expect) << "byte " << i << " mode " << mode << " file " << fromFile;
            }
            EXPECT_EQ(dst[W * H * 4], src[W * H * 4]) << "wrote past the picture";
        }
    }
}

TEST(CubeLut, NearestPicksTheClosestGridPoint) {
    CubeLut lut;
    ASSERT_TRUE(lut.LoadFile(WriteTemp("near.cube", SizeHeader(3) + CubeBody(3, Affine))));
    // Byte 100 is at x = 0.784 on a 3-point axis: nearest point 1; byte 200 -> point 2; 50 -> 0.
    uint8_t px[4] = {50, 200, 100, 255};  // B, G, R, A
    ASSERT_EQ(lut.Apply(px, 4, px, 1, 1, 4, 4, 0, 255), 0);
    float o[3];
    Affine(0.5f, 1.0f, 0.0f, o);
    EXPECT_EQ(px[2], std::lround(o[0] * 255));
    EXPECT_EQ(px[1], std::lround(o[1] * 255));
    EXPECT_EQ(px[0], std::lround(o[2] * 255));
}

TEST(CubeLut, SerialAndStripedPassesAgreeAndBgrHasNoAlphaStep) {
    CubeLut lut;
    ASSERT_TRUE(lut.LoadFile(WriteTemp("aff2.cube", SizeHeader(9) + CubeBody(9, Affine))));
    std::mt19937 rng(9);
    const int W = 101, H = 100;
    std::vector<uint8_t> src(W * H * 3);
    for (auto& v : src) v = static_cast<uint8_t>(rng());
    std::vector<uint8_t> wide(W * H * 3), narrow(W * H * 3);
    ASSERT_EQ(lut.Apply(wide.data(), W * 3, src.data(), W, H, W * 3, 3, 2, 255), 0);     // 10,100 px: stripes
    ASSERT_EQ(lut.Apply(narrow.data(), W * 3, src.data(), 100, H, W * 3, 3, 2, 255), 0);  // 10,000 px: serial
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < 100 * 3; ++x) ASSERT_EQ(wide[y * W * 3 + x], narrow[y * W * 3 + x]) << x << "," << y;
}

// The three passes written out plainly from the float grid (red slowest, three floats a point),
// with the table's own float steps: every output byte of the fast bodies must match.
struct Reference {
    const float* grid;
    int n;
    int idx[256];
    float frac[256];
    explicit Reference(CubeLut& lut) : grid(lut.GetTable(nullptr, nullptr, nullptr, nullptr)), n(lut.size()) {
        const float step = 255.0f / static_cast<float>(n - 1);
        for (int v = 0; v < 256; ++v) {
            const float x = static_cast<float>(v) / step, f = std::floor(x);
            idx[v] = std::min(static_cast<int>(f), n - 1);
            frac[v] = x - f;
            if (idx[v] == n - 1 || v == 255) idx[v] = n - 1, frac[v] = 0.0f;
        }
    }
    const float* At(int r, int g, int b) const { return grid + CubeLut::Entry(r, g, b); }
    static uint8_t Byte(float v) { return cv::saturate_cast<uint8_t>(v); }
    // BGR bytes of the pixel (b, g, r) in one mode.
    void Colour(int mode, int B, int G, int R, uint8_t out[3]) const {
        const int i[3] = {idx[R], idx[G], idx[B]};
        const int j[3] = {std::min(i[0] + 1, n - 1), std::min(i[1] + 1, n - 1), std::min(i[2] + 1, n - 1)};
        const float f[3] = {frac[R], frac[G], frac[B]};
        for (int c = 0; c < 3; ++c) {
            float v;
            if (mode == 0) {
                int p[3];
                for (int a = 0; a < 3; ++a)
                    p[a] = std::min(static_cast<int>(std::floor(static_cast<float>(i[a]) + f[a] + 0.5f)), n - 1);
                v = At(p[0], p[1], p[2])[c];
            } else if (mode == 1) {
                auto lerp = [](float a, float b, float t) { return a * (1 - t) + b * t; };
                const float c00 = lerp(At(i[0], i[1], i[2])[c], At(j[0], i[1], i[2])[c], f[0]);
                const float c10 = lerp(At(i[0], j[1], i[2])[c], At(j[0], j[1], i[2])[c], f[0]);
                const float c01 = lerp(At(i[0], i[1], j[2])[c], At(j[0], i[1], j[2])[c], f[0]);
                const float c11 = lerp(At(i[0], j[1], j[2])[c], At(j[0], j[1], j[2])[c], f[0]);
                v = lerp(lerp(c00, c10, f[1]), lerp(c01, c11, f[1]), f[2]);
            } else {
                // Axes by falling fraction; walk from the lower corner one axis at a time.
                int order[3] = {0, 1, 2};
                std::stable_sort(order, order + 3, [&](int a, int b) { return f[a] > f[b]; });
                int p[3] = {i[0], i[1], i[2]};
                const float* c0 = At(p[0], p[1], p[2]);
                p[order[0]] = j[order[0]];
                const float* ca = At(p[0], p[1], p[2]);
                p[order[1]] = j[order[1]];
                const float* cab = At(p[0], p[1], p[2]);
                const float* c1 = At(j[0], j[1], j[2]);
                const float w0 = 1 - f[order[0]], wa = f[order[0]] - f[order[1]];
                const float wab = f[order[1]] - f[order[2]], w1 = f[order[2]];
                v = (w0 * c0[c] + wa * ca[c]) + (wab * cab[c] + w1 * c1[c]);
            }
            out[2 - c] = Byte(v);
        }
    }
};

// A bent, out-of-range cube: values below 0 and above 1 exercise the saturation.
void Bent(float r, float g, float b, float* o) {
    o[0] = std::pow(r, 2.2f) * 1.1f - 0.03f * b;
    o[1] = std::sqrt(g) * 0.9f + 0.2f * r * b;
    o[2] = 1.05f - std::pow(b, 0.7f) + 0.1f * std::sin(6.0f * g);
}

TEST(CubeLut, EveryPassMatchesThePlainFormulasByteForByte) {
    std::mt19937 rng(11);
    const int W = 83, H = 131;  // above the serial limit; rows end between vector blocks
    const int pitch = W * 4 + 12;
    std::vector<uint8_t> src(static_cast<size_t>(pitch) * H);
    for (auto& v : src) v = static_cast<uint8_t>(rng());
    // Greys and pairs of equal channels: the tetrahedral ties.
    for (int x = 0; x < W; ++x) {
        uint8_t* p = &src[x * 4];
        const uint8_t v = static_cast<uint8_t>(x * 3);
        p[0] = p[1] = p[2] = v;
        src[pitch + x * 4 + 1] = src[pitch + x * 4 + 2];
        src[2 * pitch + x * 4 + 0] = src[2 * pitch + x * 4 + 1];
    }
    struct Uncap {
        ~Uncap() { CapLookupPath(LookupPath::Avx512Vbmi); }
    } uncap;
    for (const int n : {2, 17, 33, 65}) {
        CubeLut lut;
        ASSERT_TRUE(lut.LoadFile(WriteTemp("bent.cube", SizeHeader(n) + CubeBody(n, Bent))));
        const Reference ref(lut);
        // Every pass on every level this processor runs (the in-place passes dispatch by the cap).
        for (const LookupPath path : SupportedLookupPaths()) {
            CapLookupPath(path);
            for (const int channels : {3, 4}) {
                const int rowBytes = W * channels;
                std::vector<uint8_t> in(src.size());
                for (int y = 0; y < H; ++y)
                    for (int x = 0; x < W; ++x)
                        std::memcpy(&in[y * pitch + x * channels], &src[y * pitch + x * 4], channels);
                for (const int mode : {0, 1, 2}) {
                    std::vector<uint8_t> out = in;
                    ASSERT_EQ(lut.Apply(out.data(), pitch, in.data(), W, H, pitch, channels, mode, 255), 0);
                    for (int y = 0; y < H; ++y)
                        for (int x = 0; x < W; ++x) {
                            const uint8_t* s = &in[y * pitch + x * channels];
                            uint8_t bgr[3];
                            ref.Colour(mode, s[0], s[1], s[2], bgr);
                            const uint8_t* d = &out[y * pitch + x * channels];
                            for (int c = 0; c < 3; ++c) {
                                const int expect = channels == 4 ? Mul(bgr[c], s[3]) : bgr[c];
                                ASSERT_EQ(d[c], expect) << LookupPathName(path) << " N " << n << " channels "
                                                        << channels << " mode " << mode << " at " << x << "," << y
                                                        << " channel " << c;
                            }
                            if (channels == 4) {
                                ASSERT_EQ(d[3], s[3]);
                            }
                        }
                    for (int y = 0; y < H; ++y)
                        ASSERT_EQ(0,
                                  std::memcmp(&out[y * pitch + rowBytes], &in[y * pitch + rowBytes], pitch - rowBytes))
                            << "row padding written, row " << y;
                }
            }
        }
        CapLookupPath(LookupPath::Avx512Vbmi);
        // Every tetrahedral vector body this processor runs against the plain one, in place too.
        std::vector<uint8_t> plain(src.size()), fast(src.size());
        ASSERT_EQ(lut.Apply(plain.data(), pitch, src.data(), W, H, pitch, 4, 2, 255), 0);
        for (const LookupPath path : SupportedLookupPaths()) {
            lut.TetraRows(fast.data(), pitch, src.data(), pitch, W, 4, 0, H, path);
            EXPECT_EQ(0, std::memcmp(fast.data(), plain.data(), fast.size())) << LookupPathName(path) << " N " << n;
            std::vector<uint8_t> inPlace = src;
            lut.TetraRows(inPlace.data(), pitch, inPlace.data(), pitch, W, 4, 0, H, path);
            for (int y = 0; y < H; ++y)
                ASSERT_EQ(0, std::memcmp(&inPlace[y * pitch], &plain[y * pitch], W * 4))
                    << LookupPathName(path) << " in place, row " << y;
        }
    }
}

TEST(CubeLut, AlphaOutputWritesTheFirstComponentOnly) {
    CubeLut lut;
    ASSERT_TRUE(lut.LoadFile(WriteTemp("alpha.cube", SizeHeader(5) + CubeBody(5, Affine))));
    const uint8_t src[8] = {10, 20, 30, 40, 200, 100, 0, 255};
    uint8_t rgb[8], one[3] = {0, 0, 0x5A};
    ASSERT_EQ(lut.Apply(rgb, 8, src, 2, 1, 8, 4, 2, 255), 0);
    lut.SetAlphaOutput(true);
    ASSERT_EQ(lut.Apply(one, 2, src, 2, 1, 8, 4, 2, 255), 0);
    float o[3];
    Affine(30 / 255.0f, 20 / 255.0f, 10 / 255.0f, o);
    EXPECT_NEAR(one[0], o[0] * 255, 1.0);
    Affine(0, 100 / 255.0f, 200 / 255.0f, o);
    EXPECT_NEAR(one[1], o[0] * 255, 1.0);
    EXPECT_EQ(one[2], 0x5A);
}

TEST(CubeLut, NothingAppliedWithoutATable) {
    CubeLut lut;
    EXPECT_EQ(lut.status(), 1);
    uint8_t px[4] = {1, 2, 3, 4};
    EXPECT_EQ(lut.Apply(px, 4, px, 1, 1, 4, 4, 2, 255), 23);
    EXPECT_EQ(px[0], 1);
    EXPECT_EQ(px[3], 4);
    EXPECT_FALSE(lut.LoadFile("/nonexistent/x.cube"));
    EXPECT_EQ(lut.status(), 23) << "an open failure leaves the status";
    lut.BuildIdentity(4);
    EXPECT_EQ(lut.Apply(nullptr, 4, px, 1, 1, 4, 4, 2, 255), 1) << "null destination";
    EXPECT_EQ(lut.Apply(px, 2, px, 1, 1, 4, 4, 2, 255), 1) << "short stride";
    EXPECT_EQ(lut.Apply(px, 4, px, 1, 1, 4, 5, 2, 255), 1) << "five channels";
}

}  // namespace
}  // namespace orvex
