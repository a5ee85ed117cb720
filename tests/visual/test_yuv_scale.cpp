// The YUV library's scaling and rotation functions (host/yuv, on libyuv) against hand-made planes.
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "yuv.h"

namespace {

// A plane of `w` x `h` samples of T with `pad` spare samples per row and guard samples after it.
template <typename T>
struct Plane {
    static constexpr T kGuard = static_cast<T>(0xA5A5);
    int w, h, pitch;  // pitch in samples
    std::vector<T> v;
    Plane(int w_, int h_, std::vector<T> values = {}, int pad = 3) : w(w_), h(h_), pitch(w_ + pad) {
        v.assign(static_cast<size_t>(pitch) * h + 16, kGuard);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) at(x, y) = values.empty() ? T(0) : values[static_cast<size_t>(y) * w + x];
    }
    T& at(int x, int y) { return v[static_cast<size_t>(y) * pitch + x]; }
    uint8_t* data() { return reinterpret_cast<uint8_t*>(v.data()); }
    int bytes() const { return pitch * static_cast<int>(sizeof(T)); }
    std::vector<T> values() {
        std::vector<T> out;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) out.push_back(at(x, y));
        return out;
    }
    bool guardIntact() const {
        for (size_t i = static_cast<size_t>(pitch) * h; i < v.size(); ++i)
            if (v[i] != kGuard) return false;
        return true;
    }
};
using P8 = Plane<uint8_t>;
using P16 = Plane<uint16_t>;

// 4 x 4 luma whose 2 x 2 blocks average to whole numbers: 100/4 = 25, 180/4 = 45, 0, 100.
const std::vector<uint8_t> kLuma = {10, 20, 30, 40, 30, 40, 50, 60, 0, 0, 100, 100, 0, 0, 100, 100};

TEST(YuvScale, YV12BoxHalvesEachPlaneByBlockMeans) {
    P8 y(4, 4, kLuma), u(2, 2, {10, 20, 30, 40}), v(2, 2, {200, 200, 100, 100});
    P8 oy(2, 2), ou(1, 1), ov(1, 1);
    ASSERT_EQ(imageYV12Resize(y.data(), y.bytes(), u.data(), u.bytes(), v.data(), v.bytes(), 4, 4, oy.data(),
                              oy.bytes(), ou.data(), ou.bytes(), ov.data(), ov.bytes(), 2, 2, 3),
              0);
    EXPECT_EQ(oy.values(), (std::vector<uint8_t>{25, 45, 0, 100}));
    EXPECT_EQ(ou.at(0, 0), 25);   // (10 + 20 + 30 + 40) / 4
    EXPECT_EQ(ov.at(0, 0), 150);  // (200 + 200 + 100 + 100) / 4
    EXPECT_TRUE(oy.guardIntact() && ou.guardIntact() && ov.guardIntact());
}

TEST(YuvScale, YV12NearestHalvingTakesTheSecondSampleOfEachPair) {
    // Pixel centres aligned: output x reads floor((x + 0.5) * 2) = 2x + 1, likewise rows.
    P8 y(4, 4, kLuma), u(2, 2, {10, 20, 30, 40}), v(2, 2, {1, 2, 3, 4});
    P8 oy(2, 2), ou(1, 1), ov(1, 1);
    ASSERT_EQ(imageYV12Resize(y.data(), y.bytes(), u.data(), u.bytes(), v.data(), v.bytes(), 4, 4, oy.data(),
                              oy.bytes(), ou.data(), ou.bytes(), ov.data(), ov.bytes(), 2, 2, 0),
              0);
    EXPECT_EQ(oy.values(), (std::vector<uint8_t>{40, 60, 0, 100}));
    EXPECT_EQ(ou.at(0, 0), 40);
    EXPECT_EQ(ov.at(0, 0), 4);
}

TEST(YuvScale, BadArgumentsAreRefusedWithoutWriting) {
    P8 y(4, 4, kLuma), u(2, 2), v(2, 2), oy(2, 2, {7, 7, 7, 7}), ou(1, 1, {7}), ov(1, 1, {7});
    auto call = [&](const uint8_t* sy, int pitchY, int sw, int filter) {
        return imageYV12Resize(sy, pitchY, u.data(), u.bytes(), v.data(), v.bytes(), sw, 4, oy.data(), oy.bytes(),
                               ou.data(), ou.bytes(), ov.data(), ov.bytes(), 2, 2, filter);
    };
    EXPECT_NE(call(nullptr, y.bytes(), 4, 1), 0);
    EXPECT_NE(call(y.data(), 3, 4, 1), 0) << "pitch shorter than a row";
    EXPECT_NE(call(y.data(), y.bytes(), 0, 1), 0);
    EXPECT_NE(call(y.data(), y.bytes(), 4, 4), 0) << "filter out of range";
    EXPECT_EQ(oy.values(), (std::vector<uint8_t>{7, 7, 7, 7}));
    EXPECT_NE(ResizeOnlyOnePlane(y.data(), y.bytes(), 4, 4, nullptr, 2, 2, 2, 1), 0);
    EXPECT_NE(ResizeUVPlane(y.data(), 3, 2, 2, oy.data(), oy.bytes(), 1, 1, 1), 0);
    EXPECT_NE(imageNV12Resize(y.data(), y.bytes(), u.data(), u.bytes(), 4, 4, oy.data(), oy.bytes(), ou.data(),
                              ou.bytes(), 2, 2, 1, 3),
              0)
        << "sample size other than 1 or 2";
}

TEST(YuvScale, NV12BoxHalvesLumaAndEachChromaComponent) {
    P8 y(4, 4, kLuma), uv(4, 2, {10, 200, 20, 200, 30, 100, 40, 100});
    P8 oy(2, 2), ouv(2, 1);
    ASSERT_EQ(imageNV12Resize(y.data(), y.bytes(), uv.data(), uv.bytes(), 4, 4, oy.data(), oy.bytes(), ouv.data(),
                              ouv.bytes(), 2, 2, 3, 1),
              0);
    EXPECT_EQ(oy.values(), (std::vector<uint8_t>{25, 45, 0, 100}));
    EXPECT_EQ(ouv.values(), (std::vector<uint8_t>{25, 150}));
}

TEST(YuvScale, P010BoxHalvesSixteenBitSamples) {
    // Luma blocks: (1000 + 2000 + 3000 + 4000) / 4 = 2500, 65472 (white, 1023 << 6) stays;
    // chroma U (1000 + 2000 + 3000 + 4000) / 4 = 2500, V (40000 + 40000 + 20000 + 20000) / 4 = 30000.
    P16 y(4, 2, {1000, 2000, 65472, 65472, 3000, 4000, 65472, 65472});
    P16 uvBoth(4, 2, {1000, 40000, 2000, 40000, 3000, 20000, 4000, 20000});
    P16 oy(2, 1), ouv(2, 1);
    ASSERT_EQ(imageNV12Resize(y.data(), y.bytes(), uvBoth.data(), uvBoth.bytes(), 4, 2, oy.data(), oy.bytes(),
                              ouv.data(), ouv.bytes(), 2, 1, 3, 2),
              0);
    EXPECT_EQ(oy.values(), (std::vector<uint16_t>{2500, 65472}));
    // The 4 x 2 source has 2 x 1 chroma pairs; its 2 x 1 output has one pair from the first row.
    EXPECT_EQ(ouv.at(0, 0), 1500);   // (1000 + 2000) / 2
    EXPECT_EQ(ouv.at(1, 0), 40000);
    EXPECT_TRUE(oy.guardIntact() && ouv.guardIntact());
}

TEST(YuvScale, OnePlaneAndPairsNearestDoubling) {
    P8 p(2, 2, {1, 2, 3, 4}), o(4, 4);
    ASSERT_EQ(ResizeOnlyOnePlane(p.data(), p.bytes(), 2, 2, o.data(), o.bytes(), 4, 4, 0), 0);
    EXPECT_EQ(o.values(), (std::vector<uint8_t>{1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}));
    P8 uv(4, 2, {10, 200, 30, 100, 50, 60, 70, 80}), ouv(2, 1);
    // Two pairs by two rows into one pair: each component's mean, (10 + 30 + 50 + 70) / 4 = 40 and
    // (200 + 100 + 60 + 80) / 4 = 110.
    ASSERT_EQ(ResizeUVPlane(uv.data(), uv.bytes(), 2, 2, ouv.data(), ouv.bytes(), 1, 1, 3), 0);
    EXPECT_EQ(ouv.values(), (std::vector<uint8_t>{40, 110}));
}

TEST(YuvScale, WidePairRowsHalvedWithoutFilteringTakeEverySecondPair) {
    // 32 pairs (U = pair index, V = 100 + pair index) by 2 rows onto 16 pairs by 1 row: pixel
    // centres aligned, output pair i reads pair floor((i + 0.5) * 2) = 2i + 1 of row 1. Rows this
    // wide go through vectorised code, where a pair scaler can go wrong while narrow rows pass.
    std::vector<uint8_t> values;
    for (int y = 0; y < 2; ++y)
        for (int p = 0; p < 32; ++p) values.insert(values.end(), {uint8_t(p + 50 * y), uint8_t(100 + p)});
    P8 uv(64, 2, values), out(32, 1);
    ASSERT_EQ(ResizeUVPlane(uv.data(), uv.bytes(), 32, 2, out.data(), out.bytes(), 16, 1, 0), 0);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(out.at(2 * i, 0), 2 * i + 1 + 50) << "pair " << i;
        EXPECT_EQ(out.at(2 * i + 1, 0), 100 + 2 * i + 1) << "pair " << i;
    }
}

// A 4 x 2 frame: Y = 10 y + x, U = (100, 101), V = (200, 201).
struct RotateCase {
    int type;
    int outW, outH;
    std::vector<int> y, u, v;
};

const RotateCase kRotateCases[] = {
    {0, 2, 4, {10, 0, 11, 1, 12, 2, 13, 3}, {100, 101}, {200, 201}},  // clockwise: bottom-left to top-left
    {1, 4, 2, {13, 12, 11, 10, 3, 2, 1, 0}, {101, 100}, {201, 200}},
    {2, 2, 4, {3, 13, 2, 12, 1, 11, 0, 10}, {101, 100}, {201, 200}},
    {3, 4, 2, {3, 2, 1, 0, 13, 12, 11, 10}, {101, 100}, {201, 200}},
    {4, 4, 2, {10, 11, 12, 13, 0, 1, 2, 3}, {100, 101}, {200, 201}},
    {9, 2, 4, {10, 0, 11, 1, 12, 2, 13, 3}, {100, 101}, {200, 201}},  // unknown types turn as 0
};

template <typename T>
void CheckRotate(const RotateCase& c, int sampleBytes, int scale) {
    std::vector<T> yv, uvals, vvals;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) yv.push_back(static_cast<T>((10 * y + x) * scale));
    Plane<T> y(4, 2, yv), u(2, 1, {T(100 * scale), T(101 * scale)}), v(2, 1, {T(200 * scale), T(201 * scale)});
    Plane<T> oy(c.outW, c.outH), ou((c.outW + 1) / 2, (c.outH + 1) / 2), ov((c.outW + 1) / 2, (c.outH + 1) / 2);
    ASSERT_EQ(imageYV12Rotate(y.data(), y.bytes(), u.data(), u.bytes(), v.data(), v.bytes(), oy.data(), oy.bytes(),
                              ou.data(), ou.bytes(), ov.data(), ov.bytes(), 4, 2, c.type, sampleBytes),
              0);
    auto scaled = [&](const std::vector<int>& in) {
        std::vector<T> out;
        for (int x : in) out.push_back(static_cast<T>(x * scale));
        return out;
    };
    EXPECT_EQ(oy.values(), scaled(c.y)) << "type " << c.type;
    EXPECT_EQ(ou.values(), scaled(c.u)) << "type " << c.type;
    EXPECT_EQ(ov.values(), scaled(c.v)) << "type " << c.type;
    EXPECT_TRUE(oy.guardIntact() && ou.guardIntact() && ov.guardIntact());
}

TEST(YuvRotate, EightBitQuarterTurnsAndMirrors) {
    for (const RotateCase& c : kRotateCases) CheckRotate<uint8_t>(c, 1, 1);
}

TEST(YuvRotate, SixteenBitQuarterTurnsAndMirrors) {
    for (const RotateCase& c : kRotateCases) CheckRotate<uint16_t>(c, 2, 300);  // samples up to 201 * 300
}

TEST(YuvRotate, RefusesAnOutputPlaneTooNarrowForTheTurnedRows) {
    P8 y(4, 2), u(2, 1), v(2, 1), oy(2, 4), ou(1, 2), ov(1, 2);
    // 90 degrees makes 2-sample rows; a 1-byte pitch cannot hold them.
    EXPECT_NE(imageYV12Rotate(y.data(), y.bytes(), u.data(), u.bytes(), v.data(), v.bytes(), oy.data(), 1, ou.data(),
                              ou.bytes(), ov.data(), ov.bytes(), 4, 2, 0, 1),
              0);
    EXPECT_NE(imageYV12Rotate(y.data(), y.bytes(), u.data(), u.bytes(), v.data(), v.bytes(), oy.data(), oy.bytes(),
                              ou.data(), ou.bytes(), ov.data(), ov.bytes(), 4, 2, 0, 3),
              0);
}

}  // namespace
