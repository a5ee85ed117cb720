// The chroma-key LUT generator, its calibration, and the white-balance estimates.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "imagecpu/ChromaKeyLut.h"
#include "imagecpu/CubeLut.h"
#include "imagecpu/WhiteBalance.h"

namespace orvex {
namespace {

TEST(ChromaKey, HueDistanceWrapsAroundZero) {
    EXPECT_NEAR(std::fabs(NLEChromaKeyLut3dGenerator::HueDistance(350, 10)), 20.0 / 360, 1e-6);
    EXPECT_NEAR(std::fabs(NLEChromaKeyLut3dGenerator::HueDistance(10, 350)), 20.0 / 360, 1e-6);
    EXPECT_NEAR(std::fabs(NLEChromaKeyLut3dGenerator::HueDistance(120, 100)), 20.0 / 360, 1e-6);
    // 20 degrees is inside the default tolerance plus softness, 180 is far outside.
    NLEChromaKeyLut3dGenerator gen;
    ChromaKeyParams p;
    p.red = 255, p.green = 0, p.blue = 43;  // hue about 350
    gen.SetParams(p);
    EXPECT_NEAR(gen.keyHue(), 350, 1.0);
    EXPECT_GT(gen.Strength(10, 1, 1), 0.5f);
    EXPECT_EQ(gen.Strength(170, 1, 1), 0.0f);
}

TEST(ChromaKey, GreyKeyKeysOnlyNearbyGreys) {
    NLEChromaKeyLut3dGenerator gen;
    ChromaKeyParams p;
    p.red = p.green = p.blue = 128;
    gen.SetParams(p);
    ASSERT_LT(gen.keySaturation(), 0.1f);
    const float v = 128 / 255.0f;
    EXPECT_FLOAT_EQ(gen.Strength(0, 0, v), 1.0f);
    EXPECT_NEAR(gen.Strength(0, 0.05f, v + 0.03f), 0.97f, 1e-5);
    EXPECT_EQ(gen.Strength(0, 0, v + 0.06f), 0.0f) << "a grey too far in value";
    EXPECT_EQ(gen.Strength(120, 0.5f, v), 0.0f) << "a coloured point";
}

TEST(ChromaKey, GeneratedTableKeysTheKeyAndKeepsOthers) {
    // 65 points per axis: the table's grid is exactly the generator's.
    CubeLut lut;
    lut.BuildIdentity(65);
    NLEChromaKeyLut3dGenerator gen;
    ChromaKeyParams p;
    p.red = 0, p.green = 255, p.blue = 0;
    gen.SetParams(p);
    gen.Generate(lut);
    const uint8_t px[6] = {0, 255, 0, 255, 0, 0};  // green, blue (B, G, R)
    uint8_t out[6];
    ASSERT_EQ(lut.Apply(out, 6, px, 2, 1, 6, 3, 2, 255), 0);
    EXPECT_EQ(out[0], 0) << "green keyed out";
    EXPECT_EQ(out[3], 255) << "blue kept";
}

struct CalibrationCase {
    uint8_t r, g, b;
    int first, second;
};

TEST(ChromaKey, CalibrationFindsTheFirstShiftThatKeys) {
    // The calibration reads the 65-point key grid through a 64-point table, so a full-value key
    // lands on the grid point just below it (strength 63/64) and needs the first shift, t = 2.
    const CalibrationCase cases[] = {
        {0, 255, 0, 50, 2},
        {255, 0, 0, 50, 2},   // red keys red (the key's hue is not mirrored)
        {32, 0, 0, 55, 16},   // too dark to reach full strength: never keyed
    };
    ChromaKeyCalibration cal;
    for (const auto& c : cases) {
        const auto [first, second] = cal.Calibrate(c.r, c.g, c.b);
        EXPECT_EQ(static_cast<int>(first), c.first) << int(c.r) << "," << int(c.g) << "," << int(c.b);
        EXPECT_EQ(static_cast<int>(second), c.second) << int(c.r) << "," << int(c.g) << "," << int(c.b);
    }
}

TEST(WhiteBalance, TemperatureAndTintFromGains) {
    struct {
        WhiteBalanceGains gains;
        float temperature, tint;
    } cases[] = {
        {{1, 1, 1}, 0, 0},
        {{2, 1, 1}, 200, 0},
        {{1, 4, 1}, 500, -500},  // tint clamped from -600; temperature (1 - (1 - 1.5)) * 200 = 300
        {{INFINITY, 1, 1}, 500, 0},
    };
    cases[2].temperature = 300;
    for (const auto& c : cases) {
        float t = -1, n = -1;
        AutoWhiteBalance::ToTemperatureTint(c.gains, &t, &n);
        EXPECT_FLOAT_EQ(t, c.temperature) << c.gains.red << " " << c.gains.green;
        EXPECT_FLOAT_EQ(n, c.tint) << c.gains.red << " " << c.gains.green;
    }
}

TEST(WhiteBalance, GreyPickAndGreyColourAreNeutral) {
    std::vector<uint8_t> pic(8 * 4 * 4);
    for (size_t i = 0; i < pic.size(); ++i) pic[i] = static_cast<uint8_t>(i * 7);
    for (int c = 0; c < 4; ++c) pic[(2 * 8 + 3) * 4 + c] = 90;  // pixel (3, 2) grey
    AutoWhiteBalance awb;
    const WhiteBalanceGains pick = awb.FromPoint(pic.data(), 8, 4, 32, 4, 3, 2);
    EXPECT_DOUBLE_EQ(pick.red, 1.0);
    EXPECT_DOUBLE_EQ(pick.green, 1.0);
    EXPECT_DOUBLE_EQ(pick.blue, 1.0);
    const WhiteBalanceGains colour = awb.FromColor(pic.data(), 8, 4, 32, 4, 0x777777);
    float t = -1, n = -1;
    AutoWhiteBalance::ToTemperatureTint(colour, &t, &n);
    EXPECT_FLOAT_EQ(t, 0);
    EXPECT_FLOAT_EQ(n, 0);
    // A reddish reference: red gain below 1 lowers the temperature.
    AutoWhiteBalance::ToTemperatureTint(awb.FromColor(pic.data(), 8, 4, 32, 4, 0xC08080), &t, &n);
    EXPECT_LT(t, 0);
}

TEST(WhiteBalance, StudioRangeLumaAndChroma) {
    AutoWhiteBalance awb;
    uint8_t y, cb, cr;
    awb.ToYCbCr(0, 0, 0, &y, &cb, &cr);
    EXPECT_EQ(y, 16);
    EXPECT_EQ(cb, 128);
    EXPECT_EQ(cr, 128);
    // The coefficients sum to 0.8588, so white reaches 234.99 and truncates to 234.
    awb.ToYCbCr(255, 255, 255, &y, &cb, &cr);
    EXPECT_EQ(y, 234);
}

TEST(WhiteBalance, PictureEstimateFollowsItsBrightestCandidates) {
    // A grey picture has no pixel above the white threshold: neutral.
    std::vector<uint8_t> grey(16 * 16 * 4, 128);
    AutoWhiteBalance awb;
    WhiteBalanceGains g = awb.FromPicture(grey.data(), 16, 16, 64, 4);
    EXPECT_DOUBLE_EQ(g.red, 1.0);
    // Dark grey with a light reddish 4 x 4 patch: every pixel is a candidate, the brightest tenth
    // reaches into the grey, so the patch alone is the reference. Its luma is 190, L = 190 / 15 = 12,
    // and each gain is L over the channel's patch sum spread over all 256 pixels.
    std::vector<uint8_t> pic(16 * 16 * 4, 40);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            uint8_t* p = &pic[(y * 16 + x) * 4];
            p[0] = 180, p[1] = 200, p[2] = 220;
        }
    g = awb.FromPicture(pic.data(), 16, 16, 64, 4);
    EXPECT_NEAR(g.red, 12 / (16 * 220 / 256.0), 1e-9);
    EXPECT_NEAR(g.green, 12 / (16 * 200 / 256.0), 1e-9);
    EXPECT_NEAR(g.blue, 12 / (16 * 180 / 256.0), 1e-9);
}

}  // namespace
}  // namespace orvex
