// Colour effects against pixels computed by hand from their formulas, the identities each effect
// promises, and the boundary rules. Y is the integer luma trunc(.114 B) + trunc(.587 G) +
// trunc(.299 R); M[x][y] = x y / 255 rounded. Pixels are written (B, G, R, A).
#include <algorithm>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "color_support.h"
#include "effects/colour/HlsRows.h"
#include "imagecpu/TableLookup.h"

using namespace colortest;

namespace {

struct PixelCase {
    Params params;
    cv::Vec4b in, out;
    const char* why;  // the arithmetic
};

// Each case on a fresh effect, the pixel rendered alone and again inside a row of other pixels.
void CheckCases(const char* effect, const std::vector<PixelCase>& cases) {
    for (const PixelCase& c : cases) {
        SCOPED_TRACE(std::string(effect) + ": " + c.why);
        auto e = Create(effect);
        ASSERT_TRUE(e);
        Set(*e, c.params);
        EXPECT_EQ(RenderPixel(*e, c.in), c.out) << "in " << c.in;
        std::vector<cv::Vec4b> row(40, cv::Vec4b(17, 99, 201, 3));
        row[23] = c.in;
        EXPECT_EQ(RenderRow(*e, row)[23], c.out) << "in " << c.in << " inside a row";
    }
}

cv::Vec4b Px(int b, int g, int r, int a = 255) {
    return cv::Vec4b(static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r),
                     static_cast<uint8_t>(a));
}

// Renders a random frame (alpha included) and returns input and output.
std::pair<cv::Mat, cv::Mat> RenderRandom(EffectSurface& e, int w = 61, int h = 37, uint32_t seed = 4) {
    HostFrame in = orvextest::RandomFrame(w, h, seed);
    HostFrame out = orvextest::SolidFrame(w, h, cv::Scalar(1, 2, 3, 4));
    EXPECT_EQ(Render(e, in, out), Ok);
    return {in.image.clone(), out.image};
}

int Luma(cv::Vec4b p) {
    return static_cast<int>(p[0] * 0.114) + static_cast<int>(p[1] * 0.587) + static_cast<int>(p[2] * 0.299);
}

}  // namespace

TEST(LumaTable, IsTheTruncatedWeightedSum) {
    // At white the three truncated terms are 29 + 149 + 76 = 254, never 255.
    EXPECT_EQ(Luma(Px(255, 255, 255)), 254);
    EXPECT_EQ(Luma(Px(10, 200, 30)), 126);  // 1 + 117 + 8
}

TEST(GammaCorrection, HandComputedTable) {
    CheckCases("gamma_correction",
               {
                   // T[i] = min(255, trunc(255 (0.003922 i)^g + 0.5)) with g = Gamma / 10.
                   {{{"Gamma", 20}}, Px(64, 128, 200, 77), Px(16, 64, 157, 77),
                    "g 2: 255*.251008^2 = 16.07; 255*.502016^2 = 64.27; 255*.7844^2 = 156.9"},
                   {{{"Gamma", 20}}, Px(255, 0, 1), Px(255, 0, 0), "255*1.00011^2 = 255.06 -> 255; 255*.0000154 -> 0"},
                   {{{"Gamma", 5}}, Px(1, 64, 128), Px(16, 128, 181),
                    "g .5: 255*sqrt(.003922) = 15.97; 255*.50101 = 127.76; 255*.70853 = 180.7"},
                   {{{"Gamma", 28}}, Px(100, 200, 254), Px(19, 129, 252),
                    "g 2.8: 255*.3922^2.8 = 18.9; 255*.7844^2.8 = 129.2; 255*.99619^2.8 = 252.3"},
               });
}

TEST(GammaCorrection, TenIsTheIdentityAndZeroIsWhite) {
    auto e = Create("gamma_correction");
    std::vector<cv::Vec4b> all = AllBytes();
    EXPECT_EQ(RenderRow(*e, all), all);  // Gamma 10 by default
    Set(*e, {{"Gamma", 0}});
    for (const cv::Vec4b& p : RenderRow(*e, all)) ASSERT_EQ(p, Px(255, 255, 255, 200));  // pow(x, 0) = 1, 0 included
}

TEST(Tint, HandComputedPixels) {
    // Pixel (10, 200, 30): Y = 126. Targets: trunc(Y (white - black) / 255 + black).
    const Params warm = {{"black_red", 100}, {"white_red", 200}};
    auto with = [](Params p, double amount) {
        p.push_back({"amount", amount});
        return p;
    };
    CheckCases("tint",
               {
                   {{}, Px(10, 200, 30, 40), Px(126, 126, 126, 40), "amount 100, black 0, white 255: every channel Y"},
                   {with(warm, 50), Px(10, 200, 30), Px(68, 163, 90),
                    "red target trunc(126*100/255 + 100) = 149; (in - t) * .5 + t: blue 68, green 163 (a whole "
                    "163 stays), red 89.5 -> 90"},
                   {with(warm, 25), Px(10, 200, 30), Px(39, 182, 60), "x .75: blue 39, green 181.5 -> 182, red 59.75 -> 60"},
                   {{{"black_green", 50}, {"black_red", 20}, {"white_blue", 200}, {"white_red", 100}, {"amount", 70}},
                    Px(60, 120, 240), Px(99, 154, 119),
                    "Y 147; targets 115, 154, 66; x .3: 98.5 -> 99, 153.6 -> 154, 118.2 -> 119"},
               });
}

TEST(Tint, AmountZeroReturnsTheInputAndHundredThePureTarget) {
    auto e = Create("tint");
    Set(*e, {{"black_red", 30}, {"white_green", 90}, {"amount", 0}});
    auto [in, out] = RenderRandom(*e);
    EXPECT_TRUE(SamePixels(in, out));
    Set(*e, {{"amount", 100}});
    auto [in2, out2] = RenderRandom(*e);
    for (int y = 0; y < in2.rows; ++y)
        for (int x = 0; x < in2.cols; ++x) {
            const cv::Vec4b p = in2.at<cv::Vec4b>(y, x);
            const int Y = Luma(p);
            // blue 0..255, green 0..90, red 30..255 ramps over Y
            const cv::Vec4b want(static_cast<uint8_t>(Y), static_cast<uint8_t>(Y * (90 / 255.0)),
                                 static_cast<uint8_t>(Y * (225 / 255.0) + 30), p[3]);
            ASSERT_EQ(out2.at<cv::Vec4b>(y, x), want) << "at " << x << "," << y;
        }
}

TEST(ChannelMixer, HandComputedPixels) {
    CheckCases("channel_mixer",
               {
                   {{{"red_channel_red", 50}, {"red_channel_green", 30}, {"red_channel_blue", 20}, {"red_channel_const", 10}},
                    Px(40, 100, 200, 9), Px(40, 100, 163, 9), "(200*50 + 100*30 + 40*20 + 10*255) / 100 = 163.5 -> 163"},
                   {{{"green_channel_red", -100}}, Px(40, 100, 200), Px(40, 0, 200), "-20000 + 10000 < 0 -> 0"},
                   {{{"blue_channel_blue", 200}}, Px(127, 0, 0), Px(254, 0, 0), "127 * 2"},
                   {{{"blue_channel_blue", 200}}, Px(200, 0, 0), Px(255, 0, 0), "400 clamps to 255"},
                   {{{"blue_channel_const", -200}}, Px(255, 7, 7), Px(0, 7, 7), "25500 - 51000 -> 0"},
                   {{{"red_channel_red", 50}}, Px(0, 0, 201), Px(0, 0, 100), "100.5 truncates"},
                   {{{"green_channel_const", 37}}, Px(0, 0, 0), Px(0, 94, 0), "37 * 255 / 100 = 94.35"},
                   {{{"red_channel_blue", 100}, {"monochrome", 1}}, Px(30, 99, 40, 5), Px(70, 70, 70, 5),
                    "monochrome: every channel takes red = 40 + 30"},
               });
}

TEST(ChannelMixer, DefaultsReturnTheInputAndMonochromeTheRedChannel) {
    auto e = Create("channel_mixer");
    auto [in, out] = RenderRandom(*e);
    EXPECT_TRUE(SamePixels(in, out));
    Set(*e, {{"monochrome", 1}});
    auto [in2, out2] = RenderRandom(*e);
    for (int y = 0; y < in2.rows; ++y)
        for (int x = 0; x < in2.cols; ++x) {
            const cv::Vec4b p = in2.at<cv::Vec4b>(y, x);
            ASSERT_EQ(out2.at<cv::Vec4b>(y, x), Px(p[2], p[2], p[2], p[3])) << "at " << x << "," << y;
        }
}

TEST(ChannelMixer, RandomTermsMatchTheFormulaInDoubles) {
    // The 16-pixel groups and the remaining pixels of each row against the formula written
    // directly: clamp(trunc((R r + G g + B b + 255 c) * 0.01), 0, 255).
    const char* out[3] = {"red", "green", "blue"};
    const char* term[4] = {"red", "green", "blue", "const"};
    std::mt19937 rng(77);
    for (int trial = 0; trial < 40; ++trial) {
        auto e = Create("channel_mixer");
        int terms[3][4];
        for (int o = 0; o < 3; ++o)
            for (int t = 0; t < 4; ++t) {
                terms[o][t] = static_cast<int>(rng() % 401) - 200;
                const std::string name = std::string(out[o]) + "_channel_" + term[t];
                ASSERT_EQ(e->SetParam(name.c_str(), ParamInt, EffectParamValue::Int(terms[o][t])), Ok);
            }
        const bool mono = trial % 5 == 4;
        Set(*e, {{"monochrome", mono ? 1.0 : 0.0}});
        auto [in, res] = RenderRandom(*e, 37, 5, trial);
        for (int y = 0; y < in.rows; ++y)
            for (int x = 0; x < in.cols; ++x) {
                const cv::Vec4b p = in.at<cv::Vec4b>(y, x);
                int v[3];
                for (int o = 0; o < 3; ++o) {
                    const double sum = p[2] * terms[o][0] + p[1] * terms[o][1] + p[0] * terms[o][2] + terms[o][3] * 255;
                    v[o] = static_cast<int>(std::clamp(std::trunc(sum * 0.01), 0.0, 255.0));
                }
                if (mono) v[1] = v[2] = v[0];
                ASSERT_EQ(res.at<cv::Vec4b>(y, x), Px(v[2], v[1], v[0], p[3])) << "trial " << trial << " at " << x;
            }
    }
}

TEST(ColorBanlance, HandComputedPixels) {
    CheckCases("color_banlance",
               {
                   {{{"Red", 150}, {"Green", 50}, {"Blue", 0}}, Px(100, 101, 255, 33), Px(0, 50, 255, 33),
                    "blue 0; green 50.5 -> 50 (ties to even); red 382.5 -> 255"},
                   {{{"Green", 50}}, Px(9, 103, 9), Px(9, 52, 9), "51.5 -> 52 (ties to even)"},
                   {{{"Blue", 120}}, Px(201, 0, 0), Px(241, 0, 0), "241.2"},
                   {{}, Px(201, 1, 254), Px(201, 1, 254), "100 is the identity"},
               });
}

TEST(BlackWhiteHitfilm, HandComputedPixels) {
    // Pixel (10, 200, 30): luma terms 1, 117, 8. Weights are products of (value / 100)^2.
    CheckCases("black_white_hitfilm",
               {
                   {{}, Px(10, 200, 30, 9), Px(126, 126, 126, 9), "all weights 1: the integer luma"},
                   {{{"Red", 200}}, Px(10, 200, 30), Px(150, 150, 150), "wR = 4: 1 + 117 + 32"},
                   {{{"Green", 150}}, Px(0, 50, 0), Px(65, 65, 65), "wG = 2.25: 29 * 2.25 = 65.25"},
                   {{{"Blue", 50}, {"Yellow", 120}}, Px(200, 100, 50), Px(109, 109, 109),
                    "wB .25, wG = wR = 1.44: 5.5 + 83.52 + 20.16 = 109.18"},
                   {{{"Cyan", 300}}, Px(10, 200, 30), Px(255, 255, 255), "wB = wG = 9: 1070 clamps"},
                   {{{"Red", 0}, {"Green", 0}, {"Blue", 0}}, Px(250, 250, 250), Px(0, 0, 0), "all weights 0"},
               });
}

// Whole weights (the defaults among them) take byte tables and saturating sums: the formula's
// bytes on random frames wide enough for the vector rows and their tails, on every lookup path.
TEST(BlackWhiteHitfilm, WholeWeightsGiveTheFormulaOnEveryPath) {
    struct Case {
        Params params;
        double wB, wG, wR;
    };
    const Case cases[] = {
        {{}, 1, 1, 1},
        {{{"Blue", 200}}, 4, 1, 1},                  // 29 * 4 + 149 + 76 clamps
        {{{"Cyan", 300}, {"Red", 200}}, 9, 9, 4},    // most sums clamp
        {{{"Green", 0}, {"Magenta", 0}}, 0, 0, 0},   // every weight 0
        {{{"Yellow", 200}, {"Blue", 0}}, 0, 4, 4},
    };
    auto plain = [](cv::Vec4b p, double wB, double wG, double wR) {
        const double sum = static_cast<int>(p[0] * 0.114) * wB + static_cast<int>(p[1] * 0.587) * wG +
                           static_cast<int>(p[2] * 0.299) * wR;
        const uint8_t gray = static_cast<uint8_t>(sum >= 255 ? 255 : (sum > 0 ? static_cast<int>(sum) : 0));
        return cv::Vec4b(gray, gray, gray, p[3]);
    };
    struct PathCap {
        ~PathCap() { CapLookupPath(LookupPath::Avx512Vbmi); }
    } restore;
    for (LookupPath path : SupportedLookupPaths()) {
        CapLookupPath(path);
        for (const Case& c : cases) {
            auto e = Create("black_white_hitfilm");
            Set(*e, c.params);
            const auto [in, out] = RenderRandom(*e, 77, 9, 21);
            for (int y = 0; y < in.rows; ++y)
                for (int x = 0; x < in.cols; ++x)
                    ASSERT_EQ(out.at<cv::Vec4b>(y, x), plain(in.at<cv::Vec4b>(y, x), c.wB, c.wG, c.wR))
                        << LookupPathName(path) << " weights " << c.wB << " " << c.wG << " " << c.wR << " at " << x
                        << "," << y;
        }
    }
}

TEST(ColorBalanceHLS, HandComputedPixels) {
    // 8-bit HLS of pure red (0, 0, 255) is (0, 128, 255): L = 127.5 rounds to even.
    CheckCases("color_balance_hls",
               {
                   {{{"lightness", 50}}, Px(100, 100, 100, 60), Px(178, 178, 178, 60),
                    "gray: L' = rint(155 * .5 + 100) = 178 (ties to even), no saturation"},
                   {{{"lightness", -50}}, Px(100, 100, 100), Px(50, 50, 50), "L' = 100 * -.5 + 100"},
                   {{}, Px(0, 0, 255), Px(1, 1, 255),
                    "L' = 128 >= 128, darkening branch: S0 = 32385 / 127 = 255; HLS (0, 128, 255) back is "
                    "p2 = 1, p1 = 1/255"},
                   {{{"hue", 120}}, Px(0, 0, 255), Px(1, 255, 1), "H' = 0 + 60 = 120 degrees"},
                   {{{"hue", 340}}, Px(255, 85, 0), Px(255, 170, 1),
                    "H 110 + 170 = 280, less 180 = 100 (200 degrees); past 255 it does not wrap as a byte"},
                   {{{"saturation", -100}}, Px(0, 0, 255), Px(128, 128, 128), "S' = 255 * 0"},
                   {{{"lightness", 50}}, Px(0, 0, 255), Px(129, 129, 255),
                    "L' = rint(127 * .5 + 128) = 192; S0 = 1 / (2 - 1 - 0) * 255; p1 = 2 * 192/255 - 1"},
                   {{{"lightness", -50}}, Px(0, 0, 255), Px(0, 0, 128), "L' = 64; S0 = 1 / 1 * 255; p2 = 128/255"},
                   {{{"lightness", 10}}, Px(0, 0, 100), Px(20, 20, 120),
                    "L 50 -> rint(70.5) = 70; S0 = (100/255) / 140 * 255 * 255 = 182.1 -> 182"},
                   {{{"saturation", 30}}, Px(60, 120, 200), Px(39, 118, 221),
                    "HLS (13, 130, 143); S0 = (140/255) * 32385 / 125 = 142.2 -> 142 * 1.3 = 184.6 -> 185"},
                   {{{"hue", 90}, {"lightness", -20}}, Px(60, 120, 200), Px(48, 160, 56),
                    "H' = 13 + 45 = 58; L' = rint(130 * .8) = 104; S0 = .549 / .502 * 255 = 137.3 -> 137"},
               });
}

TEST(ColorBalanceHLS, ZeroDenominatorsGiveNoSaturation) {
    // L' = 0 while lightening (lightness 0.1 leaves L = 0 at 0) and L' = 255 while darkening
    // would divide by zero: such pixels are black or white whatever the saturation.
    CheckCases("color_balance_hls",
               {
                   {{{"lightness", 0.1}}, Px(1, 0, 0), Px(0, 0, 0), "L 0 -> 0; delta 1/255 over 2 * 0"},
                   {{{"lightness", 0.1}}, Px(0, 0, 0), Px(0, 0, 0), "black"},
                   {{}, Px(255, 255, 255), Px(255, 255, 255), "white: 255 - L' = 0"},
                   {{{"lightness", 100}}, Px(200, 20, 90), Px(255, 255, 255), "L' = 255 under the lightening branch"},
               });
}

TEST(ColorCorrectionColorBalance, HandComputedPixels) {
    // f(x) = 1.075 - 1 / (x / 16 + 1), g(x) = .667 (1 - ((x - 127) / 127)^2).
    CheckCases("color_correction_color_balance",
               {
                   {{{"shadow_red", 50}}, Px(100, 100, 100, 12), Px(100, 100, 146, 12), "100 + trunc(50 f(100) = 46.85)"},
                   {{{"shadow_red", 50}}, Px(0, 0, 0), Px(0, 0, 3), "50 f(0) = 50 * .075 = 3.75"},
                   {{{"shadow_red", -50}}, Px(100, 100, 100), Px(100, 100, 51),
                    "negative: 100 + trunc(-50 f(155) = -49.07) = 51"},
                   {{{"shadow_red", -50}}, Px(255, 255, 255), Px(255, 255, 252), "-50 f(0) = -3.75"},
                   {{{"midtone_green", 30}}, Px(27, 127, 0), Px(27, 147, 0), "127 + trunc(30 * .667); green only"},
                   {{{"midtone_green", 30}}, Px(0, 27, 0), Px(0, 34, 0), "27 + trunc(30 g(27) = 7.6)"},
                   {{{"highlight_blue", 40}}, Px(200, 0, 255), Px(233, 0, 255), "200 + trunc(40 f(55) = 33.99)"},
                   {{{"highlight_blue", 40}}, Px(0, 0, 0), Px(40, 0, 0), "40 f(255) = 40.04"},
                   {{{"highlight_blue", -40}}, Px(200, 0, 0), Px(160, 0, 0), "200 + trunc(-40 f(200) = -40.04)"},
                   {{{"shadow_red", -50}, {"reserve_luminosity", 1}}, Px(100, 100, 100), Px(133, 133, 67),
                    "mapped (100, 100, 51) is HLS (90, 76, 83); with L 100 back: p2 = .3922 * 1.3255, p1 = .2645"},
               });
}

TEST(ColorCorrectionColorBalance, AllZeroCopiesAndTheTablesFollowChanges) {
    auto e = Create("color_correction_color_balance");
    Set(*e, {{"reserve_luminosity", 1}});
    auto [in, out] = RenderRandom(*e);
    EXPECT_TRUE(SamePixels(in, out));  // alpha included
    // Tables are rebuilt after a change, also one made after a frame.
    Set(*e, {{"shadow_red", 50}, {"reserve_luminosity", 0}});
    EXPECT_EQ(RenderPixel(*e, Px(100, 100, 100)), Px(100, 100, 146));
    Set(*e, {{"shadow_red", -50}});
    EXPECT_EQ(RenderPixel(*e, Px(100, 100, 100)), Px(100, 100, 51));
    Set(*e, {{"reserve_luminosity", 1}});  // the flag alone changes the picture, not the tables
    EXPECT_EQ(RenderPixel(*e, Px(100, 100, 100)), Px(133, 133, 67));
    Set(*e, {{"shadow_red", 0}});
    auto [in2, out2] = RenderRandom(*e);
    EXPECT_TRUE(SamePixels(in2, out2));
}

TEST(ColorCorrectionColorBalance, NonFiniteValuesDoNotBreakTheTables) {
    auto e = Create("color_correction_color_balance");
    const float inf = std::numeric_limits<float>::infinity();
    ASSERT_EQ(e->SetParam("shadow_red", ParamFloat, EffectParamValue::Float(inf)), Ok);
    ASSERT_EQ(e->SetParam("midtone_green", ParamFloat, EffectParamValue::Float(std::nanf(""))), Ok);
    ASSERT_EQ(e->SetParam("highlight_blue", ParamFloat, EffectParamValue::Float(-inf)), Ok);
    // Red saturates up, NaN moves nothing, blue saturates down.
    EXPECT_EQ(RenderPixel(*e, Px(100, 100, 100)), Px(0, 100, 255));
}

TEST(ChannelInvert, HandComputedPixels) {
    // Pixel (10, 200, 30). k = trunc(alpha_blend * 2.55); P' = M[I][k] + M[P][255 - k]; out = M[P'][A].
    CheckCases("channel_invert",
               {
                   {{}, Px(10, 200, 30), Px(245, 55, 225), "0: every colour 255 - x"},
                   {{}, Px(10, 200, 30, 128), Px(123, 28, 113, 128), "M[245][128] = 122.98 -> 123, M[55][128], M[225][128]"},
                   {{{"alpha_blend", 50}}, Px(10, 200, 30), Px(128, 128, 128),
                    "k 127: M[10][127] + M[245][128] = 5 + 123; 100 + 28; 15 + 113"},
                   {{{"alpha_blend", 100}}, Px(10, 200, 30), Px(10, 200, 30), "k 255: the input"},
                   {{{"channel_index", 1}}, Px(10, 200, 30), Px(10, 200, 225), "1: red"},
                   {{{"channel_index", 2}}, Px(10, 200, 30), Px(10, 55, 30), "2: green"},
                   {{{"channel_index", 3}}, Px(10, 200, 30), Px(245, 200, 30), "3: blue"},
                   {{{"channel_index", 4}}, Px(0, 0, 255), Px(127, 127, 127),
                    "HLS (0, 128, 255) -> (90, 127, 0): gray 127"},
                   {{{"channel_index", 5}}, Px(0, 0, 255), Px(255, 255, 1), "hue 0 -> 90 (cyan), L 128"},
                   {{{"channel_index", 5}}, Px(10, 200, 30), Px(10, 200, 181), "hue 57 -> 33"},
                   {{{"channel_index", 6}}, Px(0, 0, 255), Px(0, 0, 254), "L 128 -> 127: p2 = 254/255"},
                   {{{"channel_index", 7}}, Px(0, 0, 255), Px(128, 128, 128), "S 255 -> 0"},
                   {{{"channel_index", 8}}, Px(10, 200, 30), Px(244, 54, 224), "YIQ all: 244.89, 54.97, 224.93"},
                   {{{"channel_index", 9}}, Px(20, 60, 100), Px(140, 180, 220),
                    "Y .2741 -> .7259: 140.29, 180.19, 220.21"},
                   {{{"channel_index", 10}}, Px(10, 200, 30), Px(0, 178, 107), "-I: -79.1 -> 0, 178.09, 107.18"},
                   {{{"channel_index", 11}}, Px(10, 200, 30), Px(255, 76, 147), "-Q: 334.1 -> 255, 76.93, 147.84"},
                   {{{"channel_index", 12}}, Px(10, 200, 30, 200), Px(0, 0, 0, 200), "black, alpha from the input"},
                   {{{"channel_index", 12}, {"alpha_blend", 100}}, Px(10, 200, 30, 200), Px(8, 157, 24, 200),
                    "input times alpha: M[10][200] = 7.8, M[200][200] = 156.9, M[30][200] = 23.5"},
               });
}

TEST(AdjustLevels, HandComputedLevels) {
    // Gray pixels (v, v, v): every group sees v. E[127] ~ 1 so gray 100 leaves the curve straight.
    auto gray = [](int v, int a = 255) { return Px(v, v, v, a); };
    CheckCases("adjust_levels",
               {
                   {{{"rgb_input_black_level", 50}, {"rgb_input_white_level", 200}}, gray(125, 7), gray(128, 7),
                    "rint(75 * 255 / 150 = 127.5) = 128"},
                   {{{"rgb_input_black_level", 50}, {"rgb_input_white_level", 200}}, gray(100), gray(85), "50 * 1.7"},
                   {{{"rgb_input_black_level", 50}, {"rgb_input_white_level", 200}}, gray(50), gray(0), "at black"},
                   {{{"rgb_input_black_level", 50}, {"rgb_input_white_level", 200}}, gray(40), gray(0), "below black"},
                   {{{"rgb_input_black_level", 50}, {"rgb_input_white_level", 200}}, gray(210), gray(255), "above white"},
                   {{{"rgb_output_black_level", 100}, {"rgb_output_white_level", 50}}, gray(51), gray(90),
                    "inverted output: 51 * -50 / 255 + 100"},
                   {{{"rgb_output_black_level", 100}, {"rgb_output_white_level", 50}}, gray(255), gray(50), "white -> 50"},
                   {{{"rgb_gray_level", 50}}, gray(128), gray(7), "E[191] = 5.175: (128/255)^5.175 * 255 = 7.2"},
                   {{{"rgb_gray_level", 50}}, gray(200), gray(73), "(200/255)^5.175 * 255"},
                   {{{"rgb_gray_level", 150}}, gray(128), gray(190), "E[63] = .4296: 189.6"},
                   {{{"rgb_gray_level", 150}}, gray(64), gray(141), "(64/255)^.4296 * 255"},
                   {{{"rgb_input_black_level", 100}, {"rgb_input_white_level", 100}}, gray(100), gray(0),
                    "black = white: factor 1, (100 - 100) * 1"},
                   {{{"rgb_input_black_level", 100}, {"rgb_input_white_level", 100}}, gray(101), gray(255), "above"},
                   {{{"red_input_white_level", 127}, {"rgb_gray_level", 150}}, gray(100), Px(171, 171, 230),
                    "red: rint(100 * 255 / 127) = 201, then the rgb curve: 230; green and blue: 171"},
                   {{{"rgb_input_white_level", 300}}, gray(22), gray(128), "a level is used as its low byte: 44"},
               });
}

TEST(AdjustLevels, DefaultsAreTheIdentityAndBlackEqualsWhiteAt255UsesFactorOne) {
    auto e = Create("adjust_levels");
    std::vector<cv::Vec4b> all = AllBytes();
    EXPECT_EQ(RenderRow(*e, all), all);
    // Red black = white = 255: below 255 is 0, and 255 itself is (255 - 255) * 1 = 0, no division.
    Set(*e, {{"red_input_black_level", 255}, {"red_input_white_level", 255}});
    std::vector<cv::Vec4b> out = RenderRow(*e, all);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(out[i], Px(i, 255 - i, 0, 200)) << i;
    // Gray levels far outside 0..200 pick the ends of the exponent curve instead of reading past it.
    Set(*e, {{"rgb_gray_level", -1000}});
    EXPECT_EQ(RenderPixel(*e, Px(0, 255, 255)), Px(0, 255, 0));
    Set(*e, {{"rgb_gray_level", 100000}});
    EXPECT_EQ(RenderPixel(*e, Px(0, 255, 255)), Px(0, 255, 0));
}

TEST(AdjustLevels, AutoLevelsClipHalfAPercentAtEachEnd) {
    // 100 x 100 gray pixels, n = trunc(10000 * .005) = 50: 30 at 0 and 30 at 10 put low at 10;
    // 30 at 255 and 30 at 240 put high at 240. Every group: black 10 / 2 = 5, white 240 + 15 / 2 = 247.
    cv::Mat img(100, 100, CV_8UC4, cv::Scalar(100, 100, 100, 255));
    auto fill = [&](int from, int count, int v) {
        for (int i = from; i < from + count; ++i) img.at<cv::Vec4b>(i / 100, i % 100) = Px(v, v, v, i % 256);
    };
    fill(0, 30, 0);
    fill(30, 30, 10);
    fill(60, 30, 240);
    fill(90, 30, 255);
    fill(120, 100, 200);
    HostFrame in{img, orvextest::WrapFrame(img)};
    HostFrame out = orvextest::SolidFrame(100, 100, cv::Scalar::all(0));
    auto e = Create("adjust_levels");
    Set(*e, {{"auto_level", 1}, {"rgb_input_black_level", 77}});
    ASSERT_EQ(Render(*e, in, out), Ok);
    // The luma of a gray pixel is rint(1000 v * .001) = v, so the rgb group stretches the same way.
    struct {
        int index, v;
    } cases[] = {
        {0, 0},      // 0 -> 0
        {30, 0},     // 10: rint(5 * 255 / 242) = 5, then 0
        {60, 255},   // 240: 242 -> 255
        {120, 211},  // 200: rint(195 * 255 / 242) = 205, then rint(200 * 255 / 242) = 211
        {5000, 100}, // 100: 100.1 -> 100, twice
    };
    for (const auto& c : cases) {
        const int y = c.index / 100, x = c.index % 100;
        EXPECT_EQ(out.image.at<cv::Vec4b>(y, x), Px(c.v, c.v, c.v, img.at<cv::Vec4b>(y, x)[3])) << c.index;
    }
    // Measured levels are per frame: the stored ones stay as set.
    double black = 0;
    for (const ParamDecl& p : e->Params())
        if (p.name == "rgb_input_black_level") black = EffectSurface::StoredValue(p);
    EXPECT_EQ(black, 77);
}

TEST(ColorPass, HandComputedPixels) {
    // Pass colour red (0, 0, 255); D = 3 dB^2 + 4 dG^2 + 2 dR^2; Similar 8: theta = 36 * 64 = 2304.
    CheckCases("color_pass",
               {
                   {{}, Px(0, 0, 255, 70), Px(0, 0, 255, 70), "D = 0 keeps"},
                   {{}, Px(10, 20, 240), Px(83, 83, 83), "D = 300 + 1600 + 450 = 2350 > 2304: gray Y = 1 + 11 + 71"},
                   {{}, Px(10, 20, 245), Px(10, 20, 245), "D = 2100 keeps"},
                   {{}, Px(0, 24, 255), Px(0, 24, 255), "D = 4 * 576 = theta keeps"},
                   {{{"Reverse", 1}}, Px(0, 24, 255), Px(0, 24, 255), "D = theta keeps under Reverse too"},
                   {{{"Reverse", 1}}, Px(0, 0, 255, 70), Px(76, 76, 76, 70), "D = 0 < theta: gray Y = 76"},
                   {{{"Reverse", 1}}, Px(10, 20, 240), Px(10, 20, 240), "D > theta keeps"},
                   {{{"Pass_Red", 0}, {"Pass_Green", 255}, {"Similar", 20}}, Px(0, 230, 0), Px(0, 230, 0),
                    "green: D = 4 * 625 = 2500 <= 14400"},
               });
}

TEST(ColorPass, SimilarZeroGraysEverythingButTheExactColour) {
    auto e = Create("color_pass");
    Set(*e, {{"Similar", 0}, {"Pass_Red", 17}, {"Pass_Green", 99}, {"Pass_Blue", 201}});
    auto [in, out] = RenderRandom(*e);
    for (int y = 0; y < in.rows; ++y)
        for (int x = 0; x < in.cols; ++x) {
            const cv::Vec4b p = in.at<cv::Vec4b>(y, x);
            const int Y = Luma(p);
            ASSERT_EQ(out.at<cv::Vec4b>(y, x), Px(Y, Y, Y, p[3])) << x << "," << y;
        }
    EXPECT_EQ(RenderPixel(*e, Px(201, 99, 17, 5)), Px(201, 99, 17, 5));
    EXPECT_EQ(RenderPixel(*e, Px(201, 99, 18, 5)), Px(85, 85, 85, 5));  // D = 2; Y = 22 + 58 + 5
}

TEST(ColorReplace, HandComputedPixels) {
    // Target red, Similar 8 (theta 2304); replacement blue (255 in blue), shaded by the luma.
    CheckCases("color_replace",
               {
                   {{}, Px(0, 0, 255, 70), Px(76, 0, 0, 70), "D = 0: M[Y = 76][255] = 76, M[76][0] = 0"},
                   {{{"Solid", 1}}, Px(0, 0, 255, 70), Px(255, 0, 0, 70), "Solid: the replacement itself"},
                   {{}, Px(10, 20, 245), Px(85, 0, 0), "D = 2100: Y = 1 + 11 + 73"},
                   {{{"Replace_Red", 100}, {"Replace_Green", 50}, {"Replace_Blue", 200}}, Px(10, 20, 245), Px(67, 17, 33),
                    "M[85][200] = 66.7, M[85][50] = 16.7, M[85][100] = 33.3"},
                   {{}, Px(0, 24, 255), Px(0, 24, 255), "D = theta is not replaced"},
                   {{}, Px(10, 20, 240), Px(10, 20, 240), "D = 2350 > theta"},
               });
}

TEST(LeaveColor, HandComputedPixels) {
    // Keep red; tolerance 15: theta = trunc((.15 * 442.5)^2 = 4405.6) = 4405; amount 100: k = 0.
    CheckCases("leave_color",
               {
                   {{}, Px(0, 0, 255, 9), Px(0, 0, 255, 9), "the kept colour"},
                   {{}, Px(10, 20, 240), Px(10, 20, 240), "distance 725 is within"},
                   {{}, Px(0, 66, 255), Px(0, 66, 255), "4356 <= 4405"},
                   {{}, Px(7, 66, 255), Px(7, 66, 255), "49 + 4356 = theta: not above it"},
                   {{}, Px(0, 67, 255), Px(115, 115, 115), "4489 > 4405: Y = 39 + 76"},
                   {{}, Px(100, 100, 100, 9), Px(98, 98, 98, 9), "Y = 11 + 58 + 29"},
                   {{{"amount", 50}}, Px(100, 150, 200), Px(129, 154, 179),
                    "k = 127, Y = 158: M[c][127] + M[158][128] = 50 + 79, 75 + 79, 100 + 79"},
                   {{{"tolerance", 100}}, Px(255, 255, 0), Px(255, 255, 0), "theta 195806 exceeds every distance"},
                   {{{"tolerance", 0}}, Px(0, 1, 255), Px(76, 76, 76), "theta 0: distance 1 is outside; Y = 0 + 0 + 76"},
               });
}

TEST(Change2Color, HandComputedPixels) {
    // Defaults: hue window 0 +- 14.61 degrees (and above 345.39), any lightness and saturation,
    // hue set to 0; softness 50: matte = trunc(2 (B + G + R) / 3); out = (changed m + in (255 - m)) div 255.
    CheckCases("change_to_color",
               {
                   {{}, Px(0, 43, 255, 9), Px(0, 9, 255, 9),
                    "hue 10.1 -> 0 gives (0, 0, 255); matte 2 * 298 / 3 = 198: green 43 * 57 / 255 = 9.6"},
                   {{}, Px(43, 0, 255), Px(9, 0, 255), "hue 349.9 is inside above 345.39"},
                   {{}, Px(255, 0, 0), Px(255, 0, 0), "blue, hue 240: outside"},
                   {{{"from_h", 5}, {"to_h", 120}}, Px(30, 0, 255), Px(7, 190, 65),
                    "window -9.6..19.6 crosses 0: hue 352.9 matches -> (0, 255, 0); matte 190"},
                   {{{"from_h", 5}, {"to_h", 120}}, Px(43, 0, 255), Px(43, 0, 255), "hue 349.9 is below 350.39"},
                   {{{"from_h", 355}, {"to_h", 120}}, Px(0, 21, 255), Px(0, 189, 71),
                    "window 340.4..369.6 crosses 360: hue 4.9 matches; matte 184"},
                   {{{"view_correction_matte", 1}}, Px(0, 43, 255, 77), Px(198, 198, 198, 77), "the matte"},
                   {{{"view_correction_matte", 1}}, Px(255, 0, 0, 77), Px(0, 0, 0, 77), "unchanged: matte 0"},
                   {{{"softness", 0}}, Px(0, 43, 255), Px(0, 0, 255), "softness 0: the full change"},
                   {{{"changeModeType", 1}, {"to_h", 20}}, Px(0, 43, 255), Px(0, 109, 255),
                    "shift: hue 30.1 -> (0, 128, 255); (128 * 198 + 43 * 57) / 255 = 109 exactly"},
                   {{{"changeType", 1}, {"to_l", 25}}, Px(0, 43, 255), Px(0, 9, 156),
                    "L .25: (0, 0, 127.5 -> 128); red (128 * 198 + 255 * 57) / 255 = 156.4"},
                   {{{"tolerance_l", 10}}, Px(0, 43, 255), Px(0, 43, 255), "lightness window .75..1.25 misses .5"},
                   {{{"to_h", 400}}, Px(0, 43, 255), Px(0, 141, 255), "400 wraps to 40: (0, 170, 255); matte 198"},
                   {{{"changeType", 4}}, Px(0, 43, 255), Px(0, 43, 255), "unknown change type: nothing"},
                   {{{"changeModeType", 2}}, Px(0, 43, 255), Px(0, 43, 255), "unknown mode: nothing"},
               });
}

TEST(Change2Color, NonFiniteAndHugeValuesRenderSafely) {
    const float nan = std::nanf("");
    struct Case {
        const char* name;
        float value;
        Params others;
        cv::Vec4b out;
    } cases[] = {
        {"to_h", nan, {}, Px(0, 43, 255)},                      // no target hue: nothing moves
        {"to_l", nan, {{"changeType", 1}}, Px(0, 9, 255)},      // the hue moves, the lightness stays
        {"softness", nan, {}, Px(0, 0, 255)},                   // the full matte
        {"from_h", nan, {}, Px(0, 43, 255)},                    // an empty window
    };
    for (const Case& c : cases) {
        auto e = Create("change_to_color");
        Set(*e, c.others);
        ASSERT_EQ(e->SetParam(c.name, ParamFloat, EffectParamValue::Float(c.value)), Ok);
        EXPECT_EQ(RenderPixel(*e, Px(0, 43, 255)), c.out) << c.name;
    }
    // A huge target hue wraps into 0..360 rather than stalling the conversion back.
    auto e = Create("change_to_color");
    ASSERT_EQ(e->SetParam("to_h", ParamFloat, EffectParamValue::Float(1e30f)), Ok);
    HostFrame in = orvextest::RandomFrame(64, 64, 6);
    HostFrame out = orvextest::SolidFrame(64, 64, cv::Scalar::all(0));
    EXPECT_EQ(Render(*e, in, out), Ok);
}

// The HLS balance's output as the plain per-pixel formulas gave it before its saturation became a
// table per frame (the conversions to HLS and back are the image library's), for the darkening
// and the lightening formulas, a picture with odd width and row padding.
TEST(ColorBalanceHLS, OutputKeepsItsPinnedBytes) {
    struct Pin {
        Params params;
        uint64_t hash;
    };
    const std::vector<Pin> pins = {
        {{{"hue", 100}, {"lightness", 30}, {"saturation", -40}}, 15264409224617488866ull},
        {{{"hue", 300}, {"lightness", -30}, {"saturation", 60}}, 8760798962800728796ull},
        {{{"hue", 0}, {"lightness", 0}, {"saturation", 100}}, 15365677928539761425ull},
        {{{"hue", 359}, {"lightness", 100}, {"saturation", -100}}, 5377893431675493716ull},
        {{{"hue", 45}, {"lightness", -100}, {"saturation", 25}}, 899540908549394189ull},
    };
    HostFrame in = orvextest::RandomFrame(333, 67, 29, 20);
    for (const Pin& pin : pins) {
        auto e = Create("color_balance_hls");
        ASSERT_TRUE(e);
        Set(*e, pin.params);
        HostFrame out = orvextest::SolidFrame(333, 67, cv::Scalar::all(0));
        ASSERT_EQ(Render(*e, in, out), Ok);
        EXPECT_EQ(orvextest::PictureHash(out.image), pin.hash) << "hue " << pin.params[0].second;
    }
}

// The HLS balance's vector rows repeat the image library's vector lanes: each conversion on a
// sample (random colours; every hue and lightness byte with a third of the saturations), then the
// balance itself against the library's two conversions, on frames whose width leaves them a tail.
TEST(ColorBalanceHLS, VectorRowsGiveTheLibraryBytes) {
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma")) GTEST_SKIP() << "no AVX2 and FMA";
    ASSERT_TRUE(orvex::hlsrows::Available()) << "the vector rows no longer match the library's lanes";

    HostFrame colours = orvextest::RandomFrame(4096, 64, 8);
    cv::Mat hls;
    cv::cvtColor(colours.image, hls, cv::COLOR_BGR2HLS);
    std::vector<uint8_t> hl(2 * 4096);
    for (int y = 0; y < 64; ++y) {
        orvex::hlsrows::HueLightness(colours.image.ptr<uint8_t>(y), hl.data(), 4096);
        for (int x = 0; x < 4096; ++x) {
            const cv::Vec3b want = hls.at<cv::Vec3b>(y, x);
            ASSERT_TRUE(want[0] == hl[2 * x] && want[1] == hl[2 * x + 1])
                << colours.image.at<cv::Vec4b>(y, x) << ": library " << want << ", rows " << int{hl[2 * x]} << " "
                << int{hl[2 * x + 1]};
        }
    }
    cv::Mat triples(181 * 256, 88, CV_8UC3), bgr;
    for (int h = 0; h <= 180; ++h)
        for (int l = 0; l < 256; ++l)
            for (int k = 0; k < 88; ++k) triples.at<cv::Vec3b>(h * 256 + l, k) = cv::Vec3b(h, l, std::min(3 * k, 255));
    cv::cvtColor(triples, bgr, cv::COLOR_HLS2BGR);
    std::vector<uint8_t> rows(3 * 88);
    for (int y = 0; y < triples.rows; ++y) {
        orvex::hlsrows::BgrOfHls(triples.ptr<uint8_t>(y), rows.data(), 88);
        for (int k = 0; k < 88; ++k)
            ASSERT_EQ(bgr.at<cv::Vec3b>(y, k), cv::Vec3b(rows[3 * k], rows[3 * k + 1], rows[3 * k + 2]))
                << "HLS " << triples.at<cv::Vec3b>(y, k);
    }

    const Params settings[] = {
        {},
        {{"hue", 100}, {"lightness", 30}, {"saturation", -40}},
        {{"hue", 359}, {"lightness", -30}, {"saturation", 60}},
        {{"hue", 45}, {"lightness", 100}, {"saturation", 25}},
        {{"hue", 200}, {"lightness", -100}, {"saturation", 100}},
    };
    struct PathCap {
        ~PathCap() { CapLookupPath(LookupPath::Avx512Vbmi); }
    } restore;
    for (const Params& p : settings)
        for (int width : {1003, 64}) {
            auto e = Create("color_balance_hls");
            Set(*e, p);
            CapLookupPath(LookupPath::Scalar);
            const auto [in, library] = RenderRandom(*e, width, 19, 5);
            CapLookupPath(LookupPath::Avx2);
            const auto [in2, vector] = RenderRandom(*e, width, 19, 5);
            EXPECT_TRUE(SamePixels(library, vector)) << "width " << width;
        }
}

// The HLS balance tabulates its saturation by each pixel's largest and smallest channel, which
// holds because the image library's HLS lightness byte depends on those two alone: every colour.
TEST(ColorBalanceHLS, LibraryLightnessDependsOnMaxAndMinAlone) {
    cv::Mat all(4096, 4096, CV_8UC3), pairs(256, 256, CV_8UC3), hlsAll, hlsPairs;
    for (int i = 0; i < 4096 * 4096; ++i)
        all.at<cv::Vec3b>(i / 4096, i % 4096) = cv::Vec3b(i & 255, (i >> 8) & 255, (i >> 16) & 255);
    for (int mx = 0; mx < 256; ++mx)
        for (int mn = 0; mn < 256; ++mn) pairs.at<cv::Vec3b>(mx, mn) = cv::Vec3b(mn, mn, mx);
    cv::cvtColor(all, hlsAll, cv::COLOR_BGR2HLS);
    cv::cvtColor(pairs, hlsPairs, cv::COLOR_BGR2HLS);
    for (int i = 0; i < 4096 * 4096; ++i) {
        const cv::Vec3b c = all.at<cv::Vec3b>(i / 4096, i % 4096);
        const int mx = std::max({c[0], c[1], c[2]}), mn = std::min({c[0], c[1], c[2]});
        ASSERT_EQ(hlsAll.at<cv::Vec3b>(i / 4096, i % 4096)[1], hlsPairs.at<cv::Vec3b>(mx, mn)[1]) << c;
    }
}
