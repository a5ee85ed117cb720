// The host conversions that reproduce the matrix kernels (the 16-bit and 4:2:2 decodes, P010 both
// ways, NV12 encoding, P010 to NV12): every vector level against plain C byte for byte on odd,
// padded sizes; the standards' colours decoded in every mode; and round trips through NV12 and
// P010 within the rounding of the matrices.
#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert_cases.h"
#include "host/yuv/yuv_simd.h"
#include "log_capture.h"
#include "planar_frames.h"
#include "visual/VisualProcess.h"

namespace orvex {
namespace {

using orvextest::PlanarFrame;
using orvextest::ReprFor;

const ColorSpace::pl_color_space kSpace = orvextest::Bt709Space();

std::vector<YuvSimd> Levels() {
    std::vector<YuvSimd> levels;
    for (int l = 0; l <= static_cast<int>(imageYuvHardwareSimd()); ++l) levels.push_back(static_cast<YuvSimd>(l));
    return levels;
}

struct LevelGuard {
    ~LevelGuard() { imageYuvCapSimd(YuvSimd::Avx512); }
};

ResultCode Convert(VisualProcess& vp, int mode, const EffectFrame& in, EffectFrame& out, int quality = 0) {
    EffectFrame none;
    none.pixel_fmt = BGRA32;
    const int depth = in.pixel_fmt == BGRA32 || in.pixel_fmt == BGRA64 ? static_cast<int>(out.bitDepth)
                                                                       : static_cast<int>(in.bitDepth);
    return vp.Convert(ReprFor(mode, depth), kSpace, in, none, out, quality, 1);
}

struct LevelCase {
    const char* name;
    uint32_t in, out;
};

const LevelCase kLevelCases[] = {
    {"yv12p10_bgra", YV12P10, BGRA32},   {"yv12p10_bgra64", YV12P10, BGRA64}, {"yuvap10_bgra", YUVAP10, BGRA32},
    {"yuvap10_bgra64", YUVAP10, BGRA64}, {"p010_bgra", P010, BGRA32},       {"p010_bgra64", P010, BGRA64},
    {"yuv422_bgra", YUV422, BGRA32},     {"yuv422_16_bgra64", YUV422_16, BGRA64}, {"yuva422_bgra", YUVA422, BGRA32},
    {"yuva422_16_bgra", YUVA422_16, BGRA32}, {"bgra_nv12", BGRA32, NV12},   {"bgra_p010", BGRA32, P010},
    {"bgra64_p010", BGRA64, P010},       {"bgra64_nv12", BGRA64, NV12},
};

TEST(ConvertMatrix, EveryVectorLevelWritesThePlainCBytes) {
    LevelGuard guard;
    VisualProcess vp;
    for (const LevelCase& c : kLevelCases) {
        for (int mode : {0, 3, 5}) {
            // Widths around the 8- and 16-pixel steps; odd heights end on a lone row.
            for (int w : {1, 7, 17, 45}) {
                const int h = 5;
                SCOPED_TRACE(std::string(c.name) + " mode " + std::to_string(mode) + " width " + std::to_string(w));
                PlanarFrame in(c.in, w, h);
                in.FillRandom(static_cast<uint32_t>(w * 31 + mode));
                std::vector<std::unique_ptr<PlanarFrame>> outs;
                for (YuvSimd level : Levels()) {
                    imageYuvCapSimd(level);
                    outs.push_back(std::make_unique<PlanarFrame>(c.out, w, h));
                    ASSERT_EQ(Convert(vp, mode, in.frame, outs.back()->frame), Ok);
                    EXPECT_TRUE(outs.back()->GuardsIntact());
                }
                for (size_t i = 1; i < outs.size(); ++i) {
                    std::string where;
                    EXPECT_EQ(outs[0]->MaxDiff(*outs[i], 0, &where), 0) << "level " << i << " " << where;
                }
            }
        }
    }
}

TEST(ConvertMatrix, ConvertTo8BitFromP010RoundsEachWord) {
    LevelGuard guard;
    VisualProcess vp;
    PlanarFrame p010(P010, 37, 5);
    p010.FillRandom(3);
    p010.Put(0, 0, 0, 0xFFC0);  // 1023 at the top of the word
    p010.Put(0, 1, 0, 0x0080);  // 128 / 257 = 0.498: rounds down
    p010.Put(0, 2, 0, 0x0081);  // 129 / 257 = 0.502: rounds up
    std::vector<std::unique_ptr<PlanarFrame>> outs;
    for (YuvSimd level : Levels()) {
        imageYuvCapSimd(level);
        outs.push_back(std::make_unique<PlanarFrame>(NV12, 37, 5));
        ASSERT_EQ(vp.ConvertTo8Bit(p010.frame, outs.back()->frame, 10), Ok);
        EXPECT_TRUE(outs.back()->GuardsIntact());
        EXPECT_EQ(outs.back()->Get(0, 0, 0), 255);
        EXPECT_EQ(outs.back()->Get(0, 1, 0), 0);
        EXPECT_EQ(outs.back()->Get(0, 2, 0), 1);
    }
    for (size_t i = 1; i < outs.size(); ++i) EXPECT_EQ(outs[0]->MaxDiff(*outs[i]), 0) << "level " << i;
}

// A colour written into every sample of a YUV frame at its depth: the 8-bit codes scaled by
// 2^(bits - 8), at the top of the word for P010.
void FillColour(PlanarFrame& f, orvextest::Yuv8 c) {
    const uint32_t fmt = f.frame.pixel_fmt;
    const int scale = fmt == P010 ? 4 << 6 : f.bytes == 2 ? 4 : 1;
    orvextest::FillYuv(f, {c.y * scale, c.cb * scale, c.cr * scale});
    if (f.planeCount > 3) f.Fill([&](int p, int x, int y) { return p == 3 ? f.MaxValue() : f.Get(p, x, y); });
}

TEST(ConvertMatrix, StandardColoursDecodeInEveryModeAndFormat) {
    // The decoders apply the kernels' four-decimal matrices to the standards' codes: black and
    // white within 1, the primaries within 2, plus 1 where 10-bit white lands at 254.25.
    VisualProcess vp;
    struct Colour {
        int r, g, b;
    };
    const Colour colours[] = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {40, 120, 200}};
    for (uint32_t fmt : {YV12P10, YUVAP10, P010, YUV422, YUV422_16, YUVA422, YUVA422_16})
        for (int mode = 0; mode < 6; ++mode)
            for (const Colour& c : colours) {
                PlanarFrame in(fmt, 7, 5), out(BGRA32, 7, 5);
                FillColour(in, orvextest::StandardYuv(mode, c.r, c.g, c.b));
                ASSERT_EQ(Convert(vp, mode, in.frame, out.frame), Ok) << fmt;
                const bool grey = c.r == c.g && c.g == c.b;
                const int tol = (grey ? 1 : 2) + (in.bytes == 2 ? 1 : 0);
                const int want[4] = {c.b, c.g, c.r, 255};
                for (int s = 0; s < 28; ++s)
                    ASSERT_NEAR(out.Get(0, s, 4), want[s % 4], tol) << "format " << fmt << " mode " << mode << " sample " << s;
            }
}

TEST(ConvertMatrix, LimitedRangeLumaIsNotClampedBeforeTheMatrix) {
    // Luma below 16 with strong chroma: clamping Y first would lift blue; only the result clamps.
    VisualProcess vp;
    PlanarFrame in(YUV422, 4, 2), out(BGRA32, 4, 2);
    orvextest::FillYuv(in, {4, 200, 128});
    ASSERT_EQ(Convert(vp, 0, in.frame, out.frame), Ok);
    // The kernels centre chroma on 0.5 (127.5 codes): B = 1.164384 (4 - 16) + 2.112402 (200 - 127.5)
    // = 139.2; with Y held at 16 it would be 153.
    EXPECT_NEAR(out.Get(0, 0, 0), 139, 1);
    EXPECT_EQ(out.Get(0, 2, 0), 0);  // R = 1.164384 (4 - 16) < 0
}

// A picture whose 2x2 blocks are flat, so chroma subsampling loses nothing and a round trip
// measures the matrices and the code rounding alone.
void FillBlocks(PlanarFrame& f, uint32_t seed) {
    std::mt19937 rng(seed);
    const int w = static_cast<int>(f.frame.width[0]), h = static_cast<int>(f.frame.height[0]);
    std::vector<int> colours(static_cast<size_t>((w + 1) / 2) * ((h + 1) / 2) * 3);
    for (int& v : colours) v = static_cast<int>(rng() % 256);
    f.Fill([&](int, int s, int y) {
        const int x = s / 4, c = s % 4;
        if (c == 3) return f.MaxValue();
        const int v = colours[((y / 2) * ((w + 1) / 2) + x / 2) * 3 + c];
        return f.bytes == 2 ? v * 257 : v;
    });
}

TEST(ConvertMatrix, RoundTripsThroughNV12AndP010StayWithinTheMatricesRounding) {
    // Half a luma code is 0.58 of an RGB code and half a chroma code up to 1.2 (the blue
    // coefficient of limited range); the encoder centres chroma on M / 2 and the decoder on
    // (M - 1) / 2, half a code apart, which moves blue by up to 1.07 more: 3 codes, at 8 bits and
    // in 1023ths at 10 bits (3 x 64 of 65535).
    VisualProcess vp;
    for (int mode = 0; mode < 6; ++mode) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        PlanarFrame bgra(BGRA32, 37, 23), nv12(NV12, 37, 23), back(BGRA32, 37, 23);
        FillBlocks(bgra, 11 + mode);
        ASSERT_EQ(Convert(vp, mode, bgra.frame, nv12.frame), Ok);
        ASSERT_EQ(Convert(vp, mode, nv12.frame, back.frame), Ok);
        std::string where;
        EXPECT_LE(bgra.MaxDiff(back, 3, &where), 3) << "NV12: " << where;

        PlanarFrame wide(BGRA64, 37, 23), p010(P010, 37, 23), wideBack(BGRA64, 37, 23);
        FillBlocks(wide, 23 + mode);
        ASSERT_EQ(Convert(vp, mode, wide.frame, p010.frame), Ok);
        ASSERT_EQ(Convert(vp, mode, p010.frame, wideBack.frame), Ok);
        where.clear();
        EXPECT_LE(wide.MaxDiff(wideBack, 192, &where), 192) << "P010: " << where;
    }
}

TEST(ConvertMatrix, ScaledDecodesSampleAsTheKernels) {
    // A 10-bit grey ramp: nearest keeps source codes, bilinear and box stay between them.
    VisualProcess vp;
    PlanarFrame in(YV12P10, 16, 8);
    in.Fill([](int p, int x, int) { return p == 0 ? 64 + 50 * x : 512; });
    for (int quality : {0, 1, 2}) {
        PlanarFrame out(BGRA32, 8, 4);
        ASSERT_EQ(Convert(vp, 1, in.frame, out.frame, quality), Ok);
        EXPECT_TRUE(out.GuardsIntact());
        for (int x = 1; x < 8; ++x) EXPECT_GT(out.Get(0, 4 * x, 1), out.Get(0, 4 * (x - 1), 1)) << quality;
    }
}

TEST(ConvertMatrix, BadFramesAreRefusedWithTheirTagAndLeaveTheOutput) {
    VisualProcess vp;
    struct Bad {
        const char* name;
        uint32_t in, out;
        void (*edit)(EffectFrame& in, EffectFrame& out);
        ResultCode code;
        const char* tag;
        const char* message;
    };
    const Bad cases[] = {
        {"yv12p10 chroma missing", YV12P10, BGRA32, [](EffectFrame& i, EffectFrame&) { i.data[2] = nullptr; },
         InvalidArgument, "orvex:YV12P10ToBGRA", "input or output is nullptr!!"},
        {"yuvap10 depth 20", YUVAP10, BGRA64, [](EffectFrame& i, EffectFrame&) { i.bitDepth = 20; }, InvalidArgument,
         "orvex:YUVAP10ToBGRA", "bitDepth 20 is out of range!!"},
        {"yuva422 without alpha", YUVA422, BGRA32, [](EffectFrame& i, EffectFrame&) { i.planes = 3; },
         InvalidArgument, "orvex:YUVToRGB_CPU", "input or output is nullptr!!"},
        {"yuv422_16 short chroma", YUV422_16, BGRA64, [](EffectFrame& i, EffectFrame&) { i.height[1] = 2; },
         InvalidArgument, "orvex:YUVToRGB_CPU", "input or output is nullptr!!"},
        {"p010 short pitch", P010, BGRA64, [](EffectFrame& i, EffectFrame&) { i.pitch[0] = 4; }, InvalidArgument,
         "orvex:P010ToBGRA64", "input or output is nullptr!!"},
        {"nv12 of another size", BGRA32, NV12, [](EffectFrame&, EffectFrame& o) { o.width[0] = 6; }, Failed,
         "orvex::BGRAToNV12", "frame resolution is not equal!"},
        {"p010 depth 4", BGRA64, P010, [](EffectFrame&, EffectFrame& o) { o.bitDepth = 4; }, InvalidArgument,
         "orvex::BGRAToP010", "bitDepth 4 is out of range!!"},
        {"p010 to nv12 of another size", P010, NV12, [](EffectFrame&, EffectFrame& o) { o.height[0] = 3; },
         InvalidArgument, "orvex:P010_NV12", "input resolution is not equal output!!"},
    };
    for (const Bad& c : cases) {
        SCOPED_TRACE(c.name);
        PlanarFrame in(c.in, 8, 6), out(c.out, 8, 6);
        in.FillRandom(5);
        const std::vector<uint8_t> before = out.storage[0];
        c.edit(in.frame, out.frame);
        orvextest::LogCapture log;
        const ResultCode r = c.in == P010 && c.out == NV12 ? vp.ConvertTo8Bit(in.frame, out.frame, 10)
                                                           : Convert(vp, 0, in.frame, out.frame);
        EXPECT_EQ(r, c.code);
        EXPECT_TRUE(log.Has(c.message, c.tag)) << log.Dump();
        EXPECT_EQ(out.storage[0], before);
    }
}

}  // namespace
}  // namespace orvex
