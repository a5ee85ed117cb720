#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "imagecpu/TableLookup.h"

namespace orvex {
namespace {

constexpr uint8_t kGuard = 0xA5;

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (uint8_t& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

// Rows of `width` pixels at a pitch of `pitch` bytes; the bytes between rows and after the last
// row start as guard bytes and must stay so.
struct Picture {
    int width, height, pitch;
    std::vector<uint8_t> bytes;
    Picture(int w, int h, int p) : width(w), height(h), pitch(p), bytes(static_cast<size_t>(p) * h + 64, kGuard) {}
    uint8_t* Row(int y) { return bytes.data() + static_cast<size_t>(y) * pitch; }
};

// Widths around every vector width (8 and 32 pixels for AVX2, 16 for AVX-512) and a 1080p row,
// pitches with a few odd bytes past the row.
const int kWidths[] = {1, 2, 3, 7, 8, 9, 15, 16, 17, 31, 32, 33, 47, 63, 64, 65, 100, 1921};
const int kPads[] = {0, 3, 61};

const LookupFinish kFinishes[] = {LookupFinish::None, LookupFinish::Premultiply, LookupFinish::GraySum};

// Every path this processor runs gives the plain C bytes, for three different tables and for one
// table shared by all channels (the bodies take a shortcut there), in place and out of place,
// with every finish.
TEST(TableLookup, EveryPathMatchesPlainCOnBGRARows) {
    const std::vector<uint8_t> tables = RandomBytes(3 * 256, 7);
    const uint8_t* b = tables.data();
    const uint8_t* g = b + 256;
    const uint8_t* r = g + 256;
    struct Set {
        const uint8_t *b, *g, *r;
    };
    const Set sets[] = {{b, g, r}, {g, g, g}};
    for (LookupPath path : SupportedLookupPaths()) {
      for (LookupFinish finish : kFinishes) {
        for (const Set& set : sets) {
            for (int w : kWidths) {
                for (int pad : kPads) {
                    const int h = 3, pitch = w * 4 + pad;
                    Picture src(w, h, pitch), expected(w, h, pitch), got(w, h, pitch);
                    const std::vector<uint8_t> noise = RandomBytes(static_cast<size_t>(w) * 4 * h, w * 131u + pad);
                    for (int y = 0; y < h; ++y)
                        std::copy_n(noise.data() + static_cast<size_t>(y) * w * 4, w * 4, src.Row(y));
                    Picture inPlace = src;
                    for (int y = 0; y < h; ++y) {
                        LookupBGRA(LookupPath::Scalar, src.Row(y), expected.Row(y), w, set.b, set.g, set.r, finish);
                        LookupBGRA(path, src.Row(y), got.Row(y), w, set.b, set.g, set.r, finish);
                        LookupBGRA(path, inPlace.Row(y), inPlace.Row(y), w, set.b, set.g, set.r, finish);
                    }
                    SCOPED_TRACE(testing::Message() << LookupPathName(path) << " finish " << static_cast<int>(finish)
                                                    << " width " << w << " pad " << pad
                                                    << (set.b == set.g ? " one table" : " three tables"));
                    ASSERT_EQ(got.bytes, expected.bytes);
                    ASSERT_EQ(inPlace.bytes, expected.bytes) << "in place";
                }
            }
        }
      }
    }
}

// The plain C body against the rule itself on one pixel worked out by hand.
TEST(TableLookup, PlainCFollowsTheRule) {
    uint8_t tb[256], tg[256], tr[256];
    for (int v = 0; v < 256; ++v) {
        tb[v] = static_cast<uint8_t>(255 - v);
        tg[v] = static_cast<uint8_t>(v / 2);
        tr[v] = static_cast<uint8_t>(v ^ 0x0f);
    }
    // Looked up: (245, 100, 0x3f, a 77) and (0, 0, 0xf0, a 0), then (200, 255, 0, a 255).
    const uint8_t in[12] = {10, 200, 0x30, 77, 255, 1, 0xff, 0, 55, 255, 0xf0, 255};
    struct Case {
        LookupFinish finish;
        uint8_t want[12];
    };
    const Case cases[] = {
        {LookupFinish::None, {245, 100, 0x3f, 77, 0, 0, 0xf0, 0, 200, 127, 0xff, 255}},
        // (245 * 77 + 127) / 255 = 74, (100 * 77 + 127) / 255 = 30, (63 * 77 + 127) / 255 = 19.
        {LookupFinish::Premultiply, {74, 30, 19, 77, 0, 0, 0, 0, 200, 127, 0xff, 255}},
        {LookupFinish::GraySum, {255, 255, 255, 77, 240, 240, 240, 0, 255, 255, 255, 255}},
    };
    for (LookupPath path : SupportedLookupPaths()) {
        for (const Case& c : cases) {
            uint8_t out[12];
            LookupBGRA(path, in, out, 3, tb, tg, tr, c.finish);
            for (int i = 0; i < 12; ++i)
                EXPECT_EQ(out[i], c.want[i]) << LookupPathName(path) << " finish " << static_cast<int>(c.finish)
                                             << " byte " << i;
        }
    }
}

TEST(TableLookup, EveryPathMatchesPlainCOnBytes) {
    const std::vector<uint8_t> table = RandomBytes(256, 3);
    const std::vector<uint8_t> src = RandomBytes(4096 + 7, 5);
    for (LookupPath path : SupportedLookupPaths()) {
        // Every length up to 200 and a long one, from an odd start so no load is aligned.
        for (size_t n : std::vector<size_t>{0, 1, 2, 31, 32, 33, 63, 64, 65, 127, 129, 200, 4096}) {
            std::vector<uint8_t> expected(n + 8, kGuard), got(n + 8, kGuard);
            LookupBytes(LookupPath::Scalar, src.data() + 1, expected.data(), n, table.data());
            LookupBytes(path, src.data() + 1, got.data(), n, table.data());
            ASSERT_EQ(got, expected) << LookupPathName(path) << " length " << n;
            std::vector<uint8_t> inPlace(src.begin() + 1, src.begin() + 1 + static_cast<long>(n));
            LookupBytes(path, inPlace.data(), inPlace.data(), n, table.data());
            ASSERT_TRUE(std::equal(inPlace.begin(), inPlace.end(), expected.begin()))
                << LookupPathName(path) << " in place, length " << n;
        }
    }
}

// Every byte value through every path: the bit-7 and nibble selections have no gaps.
TEST(TableLookup, EveryIndexReachesItsEntry) {
    std::vector<uint8_t> table(256), all(256 * 4);
    for (int v = 0; v < 256; ++v) table[v] = static_cast<uint8_t>((v * 37 + 11) & 0xff);
    for (int v = 0; v < 256 * 4; ++v) all[v] = static_cast<uint8_t>(v / 4);
    for (LookupPath path : SupportedLookupPaths()) {
        std::vector<uint8_t> out(all.size());
        LookupBytes(path, all.data(), out.data(), all.size(), table.data());
        for (size_t i = 0; i < all.size(); ++i) ASSERT_EQ(out[i], table[all[i]]) << LookupPathName(path) << " " << i;
        LookupBGRA(path, all.data(), out.data(), 256, table.data(), table.data(), table.data());
        for (size_t i = 0; i < all.size(); ++i)
            ASSERT_EQ(out[i], i % 4 == 3 ? all[i] : table[all[i]]) << LookupPathName(path) << " " << i;
    }
}

}  // namespace
}  // namespace orvex
