// The generator effects: hand-computed masks and pixels, the blend-mode bodies at zero opacity, the
// image library's random generator and parameter substitutes.
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <set>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "effect_helpers.h"
#include "effects/generators/GeneratorEffects.h"
#include "imagecpu/BlendTables.h"

using namespace orvex;
using namespace orvextest;

namespace {

// The mask as mode 0 shows it: with opacity 100 and the colour white, each colour byte is the mask.
cv::Mat MaskOf(EffectSurface& e, int w, int h) {
    HostFrame in = RandomFrame(w, h, 3);
    HostFrame out = SolidFrame(w, h, cv::Scalar::all(7));
    EXPECT_EQ(Render(e, in, out), Ok);
    cv::Mat mask;
    cv::extractChannel(out.image, mask, 1);
    return mask;
}

std::set<int> CoveredRows(const cv::Mat& mask, int x) {
    std::set<int> rows;
    for (int y = 0; y < mask.rows; ++y)
        if (mask.at<uint8_t>(y, x) == 255) rows.insert(y);
    return rows;
}

std::set<int> CoveredColumns(const cv::Mat& mask, int y) {
    std::set<int> cols;
    for (int x = 0; x < mask.cols; ++x)
        if (mask.at<uint8_t>(y, x) == 255) cols.insert(x);
    return cols;
}

}  // namespace

// 40 x 30, anchor (20, 15), cells 8 x 6, thickness 2: a row is on a line when |y - 15| + 1 falls in
// [6i, 6i + 2) for one of the 2 * 15 / 6 = 5 lines, i.e. |y - 15| is 0, 5, 6, 11 or 12; columns
// likewise with |x - 20| in {0, 7, 8, 15, 16} (5 lines: 2 * 20 / 8).
TEST(Grid, LinesWhereTheLineFormulaPutsThem) {
    VideoEffectGrid e;
    ASSERT_EQ(SetI(e, "Mode", 2), Ok);
    ASSERT_EQ(SetI(e, "Cube_width", 8), Ok);
    ASSERT_EQ(SetI(e, "Cube_height", 6), Ok);
    ASSERT_EQ(SetI(e, "Thickness", 2), Ok);
    ASSERT_EQ(SetI(e, "Blend_mode", 0), Ok);
    const cv::Mat mask = MaskOf(e, 40, 30);
    EXPECT_EQ(CoveredRows(mask, 0), (std::set<int>{3, 4, 9, 10, 15, 20, 21, 26, 27}));
    EXPECT_EQ(CoveredColumns(mask, 0), (std::set<int>{4, 5, 12, 13, 20, 27, 28, 35, 36}));
    // Everything else is uncovered.
    EXPECT_EQ(mask.at<uint8_t>(1, 1), 0);
}

TEST(Grid, ThicknessZeroDrawsNothingUnlessReversed) {
    for (bool reverse : {false, true}) {
        VideoEffectGrid e;
        ASSERT_EQ(SetI(e, "Thickness", 0), Ok);
        ASSERT_EQ(SetB(e, "Reverse", reverse), Ok);
        ASSERT_EQ(SetI(e, "Blend_mode", 0), Ok);
        const cv::Mat mask = MaskOf(e, 61, 43);
        EXPECT_EQ(cv::countNonZero(mask != (reverse ? 255 : 0)), 0) << "reverse " << reverse;
    }
}

// At Alpha 0 every body but "no blend" and "alpha" gives the frame back (the gray fast path up to
// the rounding of M[x][m] + M[x][255 - m]); those two give black. Alpha is copied in all.
TEST(Grid, AlphaZeroByMode) {
    HostFrame in = RandomFrame(67, 45, 5);
    for (const cv::Vec3b& color : {cv::Vec3b(255, 255, 255), cv::Vec3b(40, 200, 90)}) {
        const bool gray = color[0] == color[1] && color[1] == color[2];
        for (int mode = 0; mode <= 18; ++mode) {
            VideoEffectGrid e;
            ASSERT_EQ(SetI(e, "Alpha", 0), Ok);
            ASSERT_EQ(SetI(e, "Blend_mode", mode), Ok);
            ASSERT_EQ(SetI(e, "Feather_width", 7), Ok);  // every mask byte from 0 to 255 appears
            ASSERT_EQ(SetI(e, "Blue", color[0]), Ok);
            ASSERT_EQ(SetI(e, "Green", color[1]), Ok);
            ASSERT_EQ(SetI(e, "Red", color[2]), Ok);
            HostFrame out = SolidFrame(67, 45, cv::Scalar::all(1));
            ASSERT_EQ(Render(e, in, out), Ok);
            const int tolerance = gray && mode >= 15 && mode <= 17 ? 1 : 0;
            for (int y = 0; y < 45; ++y)
                for (int x = 0; x < 67; ++x) {
                    const cv::Vec4b s = At(in, x, y), d = At(out, x, y);
                    ASSERT_EQ(d[3], s[3]);
                    for (int c = 0; c < 3; ++c) {
                        const int want = mode == 0 || mode == 2 ? 0 : s[c];
                        ASSERT_LE(std::abs(d[c] - want), tolerance)
                            << "mode " << mode << " colour " << color << " at " << x << "," << y;
                    }
                }
        }
    }
}

// Mode 0 writes |corner - W/2 - T| back into the cell sizes.
TEST(Grid, ModeZeroDerivesTheCellsFromTheCorner) {
    VideoEffectGrid e;
    ASSERT_EQ(SetF(e, "Corner_x", 0.7f), Ok);
    ASSERT_EQ(SetF(e, "Corner_y", 0.2f), Ok);
    MaskOf(e, 100, 80);
    EXPECT_EQ(Stored(e, "Cube_width"), 15);   // |70 - 50 - 5|
    EXPECT_EQ(Stored(e, "Cube_height"), 29);  // |16 - 40 - 5|
}

// A pixel is covered when i + j + [x <= px] + [y > py] is odd; with cells of 5 around (10, 10):
// (10, 10): 0 + 0 + 1 + 0 odd; (11, 10): 0 + 0 + 0 + 0 even; (10, 11): 0 + 0 + 1 + 1 even;
// (16, 10): 0 + 1 + 0 + 0 odd; (4, 4): 1 + 1 + 1 + 0 odd.
TEST(Checkerboard, CellsByParity) {
    VideoEffectCheckerboard e;
    ASSERT_EQ(SetI(e, "Cube_width", 5), Ok);  // mode 1: square cells
    ASSERT_EQ(SetI(e, "Blend_mode", 0), Ok);
    const cv::Mat mask = MaskOf(e, 20, 20);
    EXPECT_EQ(mask.at<uint8_t>(10, 10), 255);
    EXPECT_EQ(mask.at<uint8_t>(10, 11), 0);
    EXPECT_EQ(mask.at<uint8_t>(11, 10), 0);
    EXPECT_EQ(mask.at<uint8_t>(10, 16), 255);
    EXPECT_EQ(mask.at<uint8_t>(4, 4), 255);
    // Half the frame, give or take the anchor's row and column.
    EXPECT_NEAR(cv::countNonZero(mask), 200, 20);
}

TEST(Checkerboard, FeatherIsTheImageLibrarysBoxBlur) {
    VideoEffectCheckerboard sharp, soft;
    for (EffectSurface* e : {static_cast<EffectSurface*>(&sharp), static_cast<EffectSurface*>(&soft)})
        ASSERT_EQ(SetI(*e, "Blend_mode", 0), Ok);
    ASSERT_EQ(SetI(soft, "Feather_width", 6), Ok);
    ASSERT_EQ(SetI(soft, "Feather_height", 3), Ok);
    cv::Mat want;
    cv::blur(MaskOf(sharp, 53, 37), want, cv::Size(7, 1), cv::Point(-1, -1), cv::BORDER_REFLECT_101);
    cv::blur(want, want, cv::Size(1, 3), cv::Point(-1, -1), cv::BORDER_REFLECT_101);
    EXPECT_EQ(cv::countNonZero(MaskOf(soft, 53, 37) != want), 0);
}

// Without feathers the disc is solid to R - 2 and empty from R on (a two-pixel anti-aliased edge);
// the rings likewise between their radii.
TEST(Circle, HardEdgesWithoutFeather) {
    struct Case {
        int edgeMode;
        float radius, thickness;
        float inner, outer;  // coverage 1 for inner + 2 <= r <= outer - 2, 0 for r < inner, r >= outer
    };
    const Case cases[] = {{0, 20, 10, 0, 20}, {1, 20, 30, 20, 30}, {2, 20, 10, 15, 25}, {3, 24, 50, 12, 24}};
    for (const Case& c : cases) {
        for (bool reverse : {false, true}) {
            VideoEffectCircle e;
            ASSERT_EQ(SetI(e, "edge_mode", c.edgeMode), Ok);
            ASSERT_EQ(SetF(e, "radius", c.radius), Ok);
            ASSERT_EQ(SetF(e, "thickness", c.thickness), Ok);
            ASSERT_EQ(SetB(e, "reverse", reverse), Ok);
            ASSERT_EQ(SetI(e, "blend_mode", 0), Ok);
            const cv::Mat mask = MaskOf(e, 81, 71);
            const int on = reverse ? 0 : 255, off = reverse ? 255 : 0;
            for (int y = 0; y < 71; ++y)
                for (int x = 0; x < 81; ++x) {
                    // Centre (40, 35); 0.2 of slack for the fast square root.
                    const double r = std::hypot(x - 40.0, y - 35.0);
                    const int m = mask.at<uint8_t>(y, x);
                    if (r >= c.inner + 2.2 && r <= c.outer - 2.2) {
                        ASSERT_EQ(m, on) << "mode " << c.edgeMode << " r " << r;
                    }
                    if ((c.edgeMode != 0 && r < c.inner - 0.2) || r > c.outer + 0.2) {
                        ASSERT_EQ(m, off) << "mode " << c.edgeMode << " r " << r;
                    }
                }
        }
    }
}

TEST(Circle, OuterFeatherFadesTheEdge) {
    VideoEffectCircle e;
    ASSERT_EQ(SetI(e, "edge_mode", 0), Ok);
    ASSERT_EQ(SetF(e, "radius", 30), Ok);
    ASSERT_EQ(SetF(e, "feather_radius_outer", 50), Ok);  // fades over 15 .. 45
    ASSERT_EQ(SetI(e, "blend_mode", 0), Ok);
    const cv::Mat mask = MaskOf(e, 101, 101);
    int previous = 256;
    for (int x = 50; x < 101; ++x) {
        const int m = mask.at<uint8_t>(50, x);
        EXPECT_LE(m, previous) << x;
        previous = m;
    }
    EXPECT_EQ(mask.at<uint8_t>(50, 64), 255);
    EXPECT_GT(mask.at<uint8_t>(50, 80), 0);
    EXPECT_LT(mask.at<uint8_t>(50, 80), 255);
    EXPECT_EQ(mask.at<uint8_t>(50, 96), 0);
}

// The draws of the image library's own generator started from 2^32 - 1.
TEST(Ramp, RandomGeneratorIsTheImageLibrarys) {
    cv::RNG reference(0xffffffffu);
    MwcRandom ours;
    for (int i = 0; i < 100000; ++i) ASSERT_EQ(ours.Next(), reference.next()) << "draw " << i;
    // state = low32 * 4164903690 + high32 from 2^32 - 1: the first state is (2^32 - 1) * 4164903690.
    EXPECT_EQ(MwcRandom().Next(), static_cast<uint32_t>(uint64_t{0xffffffffu} * 4164903690u));
}

// Default points: (W/2, 0) to (W/2, H), a column: row y takes trunc(y * 255 / H) on every channel;
// at opacity 100 the output is the ramp.
TEST(Ramp, VerticalRampByRow) {
    VideoEffectRamp e;
    ASSERT_EQ(SetI(e, "Alpha", 100), Ok);
    HostFrame in = RandomFrame(31, 101, 2);
    HostFrame out = SolidFrame(31, 101, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    for (int y = 0; y < 101; ++y) {
        const int want = y * 255 / 101;
        const cv::Vec4b p = At(out, 17, y);
        ASSERT_EQ(p, cv::Vec4b(want, want, want, At(in, 17, y)[3])) << "row " << y;
    }
}

// The scattered picture: pixel (x, y) reads the ramp at (x + d, y + d), d from one draw per pixel
// in row order, then a 2 x 2 box; rebuilt here from the image library's generator and box filter.
TEST(Ramp, ScatterMovesPixelsByTheDrawsInRowOrder) {
    const int w = 45, h = 33;
    VideoEffectRamp plain, scattered;
    for (VideoEffectRamp* e : {&plain, &scattered}) {
        ASSERT_EQ(SetI(*e, "Alpha", 100), Ok);
        ASSERT_EQ(SetF(*e, "Begin_Position_X", 0.1f), Ok);
        ASSERT_EQ(SetF(*e, "End_Position_X", 0.8f), Ok);
        ASSERT_EQ(SetI(*e, "End_Green", 40), Ok);
    }
    ASSERT_EQ(SetI(scattered, "Scatter", 13), Ok);  // h = 6
    HostFrame in = RandomFrame(w, h, 4);
    HostFrame ramp = SolidFrame(w, h, cv::Scalar::all(0));
    HostFrame out = SolidFrame(w, h, cv::Scalar::all(0));
    ASSERT_EQ(Render(plain, in, ramp), Ok);
    ASSERT_EQ(Render(scattered, in, out), Ok);
    cv::Mat moved(h, w, CV_8UC3), want;
    cv::RNG rng(0xffffffffu);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int d = static_cast<int>(std::trunc(static_cast<double>(rng.next() % 6) - 3.0));
            const cv::Vec4b p = At(ramp, std::clamp(x + d, 0, w - 1), std::clamp(y + d, 0, h - 1));
            moved.at<cv::Vec3b>(y, x) = cv::Vec3b(p[0], p[1], p[2]);
        }
    cv::blur(moved, want, cv::Size(2, 2), cv::Point(-1, -1), cv::BORDER_REFLECT_101);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const cv::Vec4b p = At(out, x, y);
            ASSERT_EQ(cv::Vec3b(p[0], p[1], p[2]), want.at<cv::Vec3b>(y, x)) << x << "," << y;
        }
}

TEST(Ramp, RadialIsTheBeginColourAtItsCentre) {
    VideoEffectRamp e;
    ASSERT_EQ(SetI(e, "Mode", 1), Ok);
    ASSERT_EQ(SetI(e, "Alpha", 100), Ok);
    ASSERT_EQ(SetF(e, "Begin_Position_Y", 0.5f), Ok);
    ASSERT_EQ(SetI(e, "Begin_Red", 200), Ok);
    HostFrame in = RandomFrame(40, 40, 1);
    HostFrame out = SolidFrame(40, 40, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 20, 20), cv::Vec4b(0, 0, 200, At(in, 20, 20)[3]));
    // Beyond the end point's distance (20 rows): the end colour.
    EXPECT_EQ(At(out, 0, 0), cv::Vec4b(255, 255, 255, At(in, 0, 0)[3]));
}

// All four points on one spot with one colour: there the gradient is that colour. The routes 1 to 13
// at full opacity over an opaque frame give the layer blend table's T[frame][gradient].
TEST(FourColorGradient, RoutesTheLayerBlendModes) {
    const int w = 37, h = 29;
    HostFrame in = RandomFrame(w, h, 8);
    in.image.forEach<cv::Vec4b>([](cv::Vec4b& p, const int*) { p[3] = 255; });
    VideoEffect4ColorGradient base;
    ASSERT_EQ(SetI(base, "blend_mode", 0), Ok);
    HostFrame g = SolidFrame(w, h, cv::Scalar::all(0));
    ASSERT_EQ(Render(base, in, g), Ok);
    for (int mode = 1; mode <= 13; ++mode) {
        VideoEffect4ColorGradient e;
        ASSERT_EQ(SetI(e, "blend_mode", mode), Ok);
        HostFrame out = SolidFrame(w, h, cv::Scalar::all(0));
        ASSERT_EQ(Render(e, in, out), Ok);
        const int table = BlendModeTable(VideoEffect4ColorGradient::LayerMode(mode));
        ASSERT_TRUE(mode == 1 || table >= 0) << mode;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const cv::Vec4b s = At(in, x, y), o = At(g, x, y), d = At(out, x, y);
                for (int c = 0; c < 3; ++c) {
                    const int want = mode == 1 ? o[c] : GetBlendTables().table(table)[s[c] * 256 + o[c]];
                    ASSERT_EQ(d[c], want) << "mode " << mode << " at " << x << "," << y;
                }
                ASSERT_EQ(d[3], 255) << "mode " << mode;
            }
    }
}

TEST(FourColorGradient, OneSpotGivesItsColour) {
    VideoEffect4ColorGradient e;
    ASSERT_EQ(SetI(e, "blend_mode", 0), Ok);
    for (int i = 1; i <= 4; ++i) {
        const std::string p = "position" + std::to_string(i) + "_";
        ASSERT_EQ(SetF(e, (p + "x").c_str(), 0.5f), Ok);
        ASSERT_EQ(SetF(e, (p + "y").c_str(), 0.5f), Ok);
        ASSERT_EQ(SetI(e, (p + "red").c_str(), 30), Ok);
        ASSERT_EQ(SetI(e, (p + "green").c_str(), 220 + 256), Ok);  // the low byte: 220
        ASSERT_EQ(SetI(e, (p + "blue").c_str(), 140), Ok);
    }
    HostFrame in = RandomFrame(40, 30, 2);
    HostFrame out = SolidFrame(40, 30, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 20, 15), cv::Vec4b(140, 220, 30, At(in, 20, 15)[3]));
}

// Light only adds: every byte at least the input's, alpha untouched; the light's own pixel is
// nearly white in red; a far corner gets nothing.
TEST(LensFlare, AddsLightAroundTheLight) {
    VideoEffectLensFlare e;
    HostFrame in = SolidFrame(200, 100, cv::Scalar(0, 0, 0, 77));
    HostFrame out = SolidFrame(200, 100, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_GE(At(out, 100, 50)[2], 239);
    EXPECT_EQ(At(out, 0, 0), cv::Vec4b(0, 0, 0, 77));
    HostFrame random = RandomFrame(120, 90, 6);
    HostFrame lit = SolidFrame(120, 90, cv::Scalar::all(0));
    ASSERT_EQ(SetF(e, "center_x", 0.2f), Ok);
    ASSERT_EQ(Render(e, random, lit), Ok);
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 120; ++x) {
            const cv::Vec4b s = At(random, x, y), d = At(lit, x, y);
            ASSERT_EQ(d[3], s[3]);
            for (int c = 0; c < 3; ++c) ASSERT_GE(d[c], s[c]);
        }
}

TEST(Vignette, CentreKeepsItsColourWithoutTint) {
    VideoEffectVignette e;
    ASSERT_EQ(SetF(e, "ColorStrength", 0), Ok);
    HostFrame in = RandomFrame(64, 48, 9);
    HostFrame out = SolidFrame(64, 48, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 32, 24), At(in, 32, 24));
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            for (int c = 0; c < 4; ++c) ASSERT_LE(At(out, x, y)[c], At(in, x, y)[c]) << x << "," << y;
    // The corner (distance 40 = the half diagonal) is darkened by q^2, q the parabolic sine at
    // t = 40 / (40 * 9 * 0.1) + 1.570796.
    const cv::Vec4b corner = At(out, 0, 0), src = At(in, 0, 0);
    const double t = 1.0 / 0.9 + 1.570796, q = 1.273239 * t - 0.4052847 * t * t;
    for (int c = 0; c < 3; ++c) EXPECT_EQ(corner[c], std::nearbyint(src[c] * q * q));
}

// The maps load bit-reversed: the first map (sepia) runs from (20, 10, 0) to (255, 240, 200).
TEST(Vignette, MapsLoadBitReversed) {
    EXPECT_EQ(ReverseBits(0x01), 0x80);
    EXPECT_EQ(ReverseBits(0x0f), 0xf0);
    EXPECT_EQ(ReverseBits(0xb4), 0x2d);
    for (int v = 0; v < 256; ++v) ASSERT_EQ(ReverseBits(ReverseBits(static_cast<uint8_t>(v))), v);
    VideoEffectVignette e;
    const auto& map = e.Map();
    EXPECT_EQ(map[0][0], 20);
    EXPECT_EQ(map[1][0], 10);
    EXPECT_EQ(map[2][255], 200);
    // Full strength at the centre: the map's colour.
    ASSERT_EQ(SetF(e, "ColorStrength", 100), Ok);
    ASSERT_EQ(SetI(e, "ColorMode", 7), Ok);
    HostFrame in = SolidFrame(10, 10, cv::Scalar(10, 128, 250, 255));
    HostFrame out = SolidFrame(10, 10, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    const auto& cyan = e.Map();
    EXPECT_EQ(At(out, 5, 5), cv::Vec4b(cyan[2][10], cyan[1][128], cyan[0][250], 255));
}

// A small radius puts the falloff's zero inside the frame: beyond it the frame stays black rather
// than brightening again (the squared cosine's next lobe).
TEST(Vignette, DarkensMonotonicallyWithDistance) {
    VideoEffectVignette e;
    ASSERT_EQ(SetF(e, "Radius", 2), Ok);
    ASSERT_EQ(SetF(e, "ColorStrength", 0), Ok);
    HostFrame in = SolidFrame(200, 100, cv::Scalar(200, 200, 200, 255));
    HostFrame out = SolidFrame(200, 100, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    int previous = 256;
    for (int x = 100; x < 200; ++x) {
        const int v = At(out, x, 50)[1];
        ASSERT_LE(v, previous) << x;
        previous = v;
    }
    EXPECT_EQ(At(out, 100, 50)[1], 200);
    EXPECT_EQ(At(out, 199, 99), cv::Vec4b(0, 0, 0, 255));
}

// Radius 0 closes the vignette onto its centre pixel: the rest is black, nothing undefined.
TEST(Vignette, RadiusZeroIsAPoint) {
    VideoEffectVignette e;
    ASSERT_EQ(SetF(e, "Radius", 0), Ok);
    ASSERT_EQ(SetF(e, "ColorStrength", 0), Ok);
    HostFrame in = RandomFrame(21, 15, 4);
    HostFrame out = SolidFrame(21, 15, cv::Scalar::all(9));
    ASSERT_EQ(Render(e, in, out), Ok);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 21; ++x) {
            const cv::Vec4b s = At(in, x, y), d = At(out, x, y);
            const bool centre = x == 10 && y == 7;
            ASSERT_EQ(d, centre ? s : cv::Vec4b(0, 0, 0, s[3])) << x << "," << y;
        }
}

// --- the family ------------------------------------------------------------------------------------

TEST(GeneratorEffects, SubstitutesOutOfRangeValues) {
    VideoEffectGrid grid;
    EXPECT_EQ(SetI(grid, "Blend_mode", 19), InvalidArgument);
    EXPECT_EQ(Stored(grid, "Blend_mode"), 1);
    EXPECT_EQ(SetI(grid, "Cube_width", 3), InvalidArgument);
    EXPECT_EQ(Stored(grid, "Cube_width"), 32);
    VideoEffect4ColorGradient gradient;
    EXPECT_EQ(SetI(gradient, "blend_mode", 18), InvalidArgument);
    EXPECT_EQ(Stored(gradient, "blend_mode"), 5);
    VideoEffectRamp ramp;
    EXPECT_EQ(SetI(ramp, "Alpha", -1), InvalidArgument);
    EXPECT_EQ(Stored(ramp, "Alpha"), 100);
    VideoEffectVignette vignette;
    EXPECT_EQ(SetF(vignette, "Radius", 20.5f), InvalidArgument);
    EXPECT_EQ(Stored(vignette, "Radius"), 6);
    EXPECT_EQ(SetF(vignette, "Radius", 0), Ok);
    VideoEffectCircle circle;
    EXPECT_EQ(SetF(circle, "radius", 601), InvalidArgument);
    EXPECT_EQ(Stored(circle, "radius"), 75);
    EXPECT_EQ(SetI(circle, "radius", 5), WrongFormat);
}

