#include <cstdint>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#include "imagecpu/BlendTables.h"

namespace orvex {
namespace {

int At(int id, int x, int y) { return GetBlendTables().table(id)[x * 256 + y]; }

// One cell of a mode table, x = background byte, y = overlay byte, worked out by hand.
struct Cell {
    int table;
    int x;
    int y;
    int expected;
};

TEST(BlendTables, HandComputedCells) {
    const Cell cells[] = {
        // add / linear dodge: min(x + y, 255)
        {kTableAdd, 100, 100, 200},
        {kTableAdd, 200, 100, 255},
        {kTableLinearDodge, 30, 40, 70},
        {kTableLinearDodge, 255, 1, 255},
        // multiply, rounded to nearest: 255*255/255 = 255, 128*128/255 = 64.25,
        // 1*127/255 = 0.498, 1*128/255 = 0.502, 200*100/255 = 78.43
        {kTableMultiply, 255, 255, 255},
        {kTableMultiply, 128, 128, 64},
        {kTableMultiply, 1, 127, 0},
        {kTableMultiply, 1, 128, 1},
        {kTableMultiply, 200, 100, 78},
        {kTableMultiply, 0, 255, 0},
        // screen: 255 - (155*205 = 31775) >> 8 = 255 - 124; two blacks: 255 - (65025 >> 8 = 254)
        {kTableScreen, 100, 50, 131},
        {kTableScreen, 0, 0, 1},
        {kTableScreen, 255, 0, 255},
        // overlay, x > 127: 255 - 2*55*155/255 = 255 - 66 (66.86); x <= 127: 2*100*200 >> 8 = 156
        {kTableOverlay, 200, 100, 189},
        {kTableOverlay, 100, 200, 156},
        // branch edge: x = 127: 2*127*0 >> 8 = 0; x = 128: 255 - 2*127*255/255 = 1
        {kTableOverlay, 127, 0, 0},
        {kTableOverlay, 128, 0, 1},
        {kTableOverlay, 127, 255, 253},  // 2*127*255 = 64770 >> 8 = 253
        // soft light, y < 128: 255((1 - 2S)X^2 + 2XS)
        //   (128, 64): 127*128^2/255^2 + 2*128*64/255 = 31.9995 + 64.2510 = 96.25
        //   (200, 100): 55*200^2/255^2 + 2*200*100/255 = 33.83 + 156.86 = 190.70
        //   (50, 127): 1*50^2/255^2 + 2*50*127/255 = 0.038 + 49.80 = 49.84
        {kTableSoftLight, 128, 64, 96},
        {kTableSoftLight, 200, 100, 190},
        {kTableSoftLight, 50, 127, 49},
        {kTableSoftLight, 255, 0, 255},  // X = 1, S = 0: 255 * 1
        //   (85, 6): X = 1/3, 255*(243/255)*(1/9) + 255*2*(1/3)*(6/255) = 27 + 4 = 31 exactly; an
        //   evaluation landing a hair below (double does: 30.999...) would truncate to 30
        {kTableSoftLight, 85, 6, 31},
        // soft light, y >= 128: 255((1 - S)2X + (2S - 1)sqrt(X)) = (255-y)2x/255 + (2y-255)sqrt(X)
        //   (64, 192): 63*128/255 + 129*sqrt(64/255) = 31.62 + 64.63 = 96.25
        //   (200, 200): 55*400/255 + 145*sqrt(200/255) = 86.27 + 128.41 = 214.69
        //   (100, 255): 0 + 255*sqrt(100/255) = 159.69
        //   (50, 128): 127*100/255 + 1*sqrt(50/255) = 49.80 + 0.44 = 50.25
        {kTableSoftLight, 64, 192, 96},
        {kTableSoftLight, 200, 200, 214},
        {kTableSoftLight, 100, 255, 159},
        {kTableSoftLight, 50, 128, 50},
        {kTableSoftLight, 0, 255, 0},
        // hard light, y < 128: 2*200*100/255 = 156.86; y >= 128: 255 - 2*55*55/255 (23.7)
        {kTableHardLight, 200, 100, 156},
        {kTableHardLight, 200, 200, 232},
        {kTableHardLight, 0, 128, 1},  // 255 - 2*255*127/255 = 255 - 254
        // colour dodge: 255*100/155 = 164.5; 255*1/1 = 255; 255*0/1 = 0
        {kTableColorDodge, 100, 100, 164},
        {kTableColorDodge, 1, 254, 255},
        {kTableColorDodge, 0, 254, 0},
        // colour burn: 255 - 255*127/200 (161.9) = 94; 255 - 255*255/255 = 0; 255 - 0/1 = 255
        {kTableColorBurn, 128, 200, 94},
        {kTableColorBurn, 0, 255, 0},
        {kTableColorBurn, 255, 1, 255},
        {kTableColorBurn, 100, 50, 0},  // 255 - 255*155/50 = 255 - 790, floored at 0
        {kTableDarken, 100, 200, 100},
        {kTableDarken, 200, 100, 100},
        {kTableLighten, 100, 200, 200},
        {kTableLighten, 200, 100, 200},
        {kTableDifference, 100, 200, 100},
        {kTableDifference, 200, 30, 170},
        // exclusion: 300 - 40000/255 (156) = 144; 510 - 2*65025/255 = 0; 256 - 32768/255 (128)
        {kTableExclusion, 100, 200, 144},
        {kTableExclusion, 255, 255, 0},
        {kTableExclusion, 128, 128, 128},
        {kTableExclusion, 255, 0, 255},
        // vivid light, y >= 128: min(255, 256x / (511 - 2y))
        //   y = 128: 256*255/255 = 256 -> 255; 256*254/255 = 254.996 -> 254
        //   (100, 200): 25600/111 = 230.6
        {kTableVividLight, 255, 128, 255},
        {kTableVividLight, 254, 128, 254},
        {kTableVividLight, 100, 200, 230},
        // vivid light, 0 < y < 128: max(0, 255 - 256(255 - x) / 2y)
        //   y = 127: 255 - 256*255/254 (257) < 0 -> 0; 255 - 256*127/254 (128) = 127
        //   y = 1: 255 - 256*1/2 = 127; 255 - 256*55/2 < 0 -> 0
        {kTableVividLight, 0, 127, 0},
        {kTableVividLight, 128, 127, 127},
        {kTableVividLight, 255, 127, 255},
        {kTableVividLight, 254, 1, 127},
        {kTableVividLight, 200, 1, 0},
        // hard mix: 0 below x + y = 254
        {kTableHardMix, 127, 126, 0},
        {kTableHardMix, 127, 127, 255},
        {kTableHardMix, 0, 0, 0},
        {kTableHardMix, 255, 255, 255},
        // linear burn: max(0, x + y - 255)
        {kTableLinearBurn, 200, 100, 45},
        {kTableLinearBurn, 100, 100, 0},
        // pin light: max(2y - 255, min(2y, x))
        {kTablePinLight, 100, 200, 145},  // max(145, min(400, 100))
        {kTablePinLight, 100, 30, 60},    // max(-195, min(60, 100))
        {kTablePinLight, 100, 100, 100},  // max(-55, min(200, 100))
        // linear light: clamp(x + 2y - 255, 0, 255)
        {kTableLinearLight, 100, 200, 245},
        {kTableLinearLight, 100, 50, 0},
        {kTableLinearLight, 200, 200, 255},
        // divide: 255*255/255.5 = 254.50; 255*100/200.5 = 127.18; 255*100/50.5 = 504.95 -> 255
        {kTableDivide, 255, 255, 254},
        {kTableDivide, 100, 200, 127},
        {kTableDivide, 100, 50, 255},
        {kTableDivide, 0, 0, 255},  // y = 0 gives 255 even for x = 0
        {kTableDivide, 0, 9, 0},
        // alpha union: x + (255 - x)y/255: 100 + 155*128/255 (77.8) = 177
        {kTableAlphaUnion, 100, 128, 177},
        {kTableAlphaUnion, 0, 255, 255},
        {kTableAlphaUnion, 255, 0, 255},
        {kTableAlphaUnion, 0, 0, 0},
        {kTableAlphaUnion, 200, 200, 243},  // 200 + 55*200/255 (43.1)
    };
    for (const Cell& c : cells) {
        EXPECT_EQ(At(c.table, c.x, c.y), c.expected)
            << "table " << c.table << " at x=" << c.x << " y=" << c.y;
    }
}

// Rules that hold along a whole row or diagonal, checked on every cell of it.
TEST(BlendTables, EdgeRulesHoldForEveryByte) {
    for (int v = 0; v < 256; ++v) {
        EXPECT_EQ(At(kTableColorDodge, v, 255), 255) << "colour dodge, overlay 255, x=" << v;
        EXPECT_EQ(At(kTableColorBurn, v, 0), 0) << "colour burn, overlay 0, x=" << v;
        EXPECT_EQ(At(kTableVividLight, v, 255), 255) << "vivid light, overlay 255, x=" << v;
        EXPECT_EQ(At(kTableVividLight, v, 0), 0) << "vivid light, overlay 0, x=" << v;
        EXPECT_EQ(At(kTableDivide, v, 0), 255) << "divide, overlay 0, x=" << v;
        if (v <= 253) {
            EXPECT_EQ(At(kTableHardMix, v, 253 - v), 0) << "hard mix, x+y=253, x=" << v;
        }
        if (v <= 254) {
            EXPECT_EQ(At(kTableHardMix, v, 254 - v), 255) << "hard mix, x+y=254, x=" << v;
        }
    }
}

// M is the byte scaling every body relies on: exactly round-to-nearest of x*y/255, so
// |255*M - x*y| <= 127 (no tie can occur since 255 is odd), and 255 is its identity.
TEST(BlendTables, MultiplyIsRoundedProductEverywhere) {
    const uint8_t* m = MulTable();
    ASSERT_EQ(m, GetBlendTables().table(kTableMultiply));
    for (int x = 0; x < 256; ++x) {
        for (int y = 0; y < 256; ++y) {
            const int err = 255 * m[x * 256 + y] - x * y;
            ASSERT_TRUE(err >= -127 && err <= 127)
                << "M[" << x << "][" << y << "] = " << int(m[x * 256 + y]);
        }
        ASSERT_EQ(Mul(x, 255), x);
        ASSERT_EQ(Mul(255, x), x);
    }
    EXPECT_EQ(Mul(128, 128), 64);
}

TEST(BlendTables, LerpTable) {
    const uint8_t* l = GetBlendTables().lerp();
    auto at = [l](int p, int q, int k) { return int(l[(p * 256 + q) * kLerpRowBytes + k]); };
    EXPECT_EQ(at(200, 100, 0), 100);   // weight 0: q
    EXPECT_EQ(at(200, 100, 255), 200); // weight 255: p
    EXPECT_EQ(at(255, 0, 128), 128);   // 255*128/255
    EXPECT_EQ(at(200, 100, 100), 139); // (20000 + 100*155)/255 = 35500/255 = 139.2
    EXPECT_EQ(at(0, 255, 1), 254);     // 254*255/255
    EXPECT_EQ(at(1, 0, 254), 0);       // 254/255 truncates
    EXPECT_EQ(at(255, 255, 77), 255);  // 255*255/255
    // The table is built without division; every entry must still equal the plain quotient.
    for (int p = 0; p < 256; ++p) {
        for (int q = 0; q < 256; ++q) {
            for (int k = 0; k < 256; ++k) {
                const int want = (p * k + q * (255 - k)) / 255;
                ASSERT_EQ(at(p, q, k), want) << "p=" << p << " q=" << q << " k=" << k;
            }
        }
    }
}

TEST(BlendTables, ModeRouting) {
    // Blend-mode number -> table; every number not listed has a body of its own.
    const std::map<int, int> routes = {
        {1, kTableDarken},      {2, kTableMultiply},    {3, kTableColorBurn},
        {4, kTableLinearBurn},  {5, kTableScreen},      {6, kTableColorDodge},
        {7, kTableLinearDodge}, {8, kTableOverlay},     {9, kTableSoftLight},
        {10, kTableHardLight},  {11, kTableVividLight}, {12, kTableLinearLight},
        {13, kTablePinLight},   {14, kTableHardMix},    {15, kTableDifference},
        {16, kTableExclusion},  {17, kTableLighten},    {23, kTableAdd},
    };
    for (int mode = -300; mode <= 300; ++mode) {
        const auto it = routes.find(mode);
        EXPECT_EQ(BlendModeTable(mode), it == routes.end() ? -1 : it->second) << "mode " << mode;
    }
}

TEST(BlendTables, OneSetSharedAcrossThreads) {
    const BlendTables* seen[2] = {nullptr, nullptr};
    std::thread a([&] { seen[0] = &GetBlendTables(); });
    std::thread b([&] { seen[1] = &GetBlendTables(); });
    a.join();
    b.join();
    ASSERT_NE(seen[0], nullptr);
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_EQ(seen[0], &GetBlendTables());
    EXPECT_EQ(seen[0]->table(kTableScreen), GetBlendTables().table(kTableScreen));
}

}  // namespace
}  // namespace orvex
