// The shader effects shipped in resources/, each rendered on llvmpipe and checked for the
// property that makes it that effect.
#include <opencv2/imgproc.hpp>

#include "effect_helpers.h"
#include "gl_fixture.h"

using namespace orvex;
using namespace orvextest;

namespace {

using ShippedEffects = GLLab;

TEST_F(ShippedEffects, PixelateMakesUniformBlocksOfTheCentrePixel) {
    auto* e = Create("video/effect/pixelate");
    ASSERT_NE(e, nullptr);
    HostFrame in = RandomFrame(100, 70, 7);
    HostFrame out = SolidFrame(100, 70, cv::Scalar::all(0));
    ASSERT_EQ(SetF(*e, "block_size", 16.f), Ok);
    ASSERT_EQ(Render(*e, in, out), Ok);
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 100; ++x) {
            const int cx = std::min(x / 16 * 16 + 8, 99), cy = std::min(y / 16 * 16 + 8, 69);
            ASSERT_EQ(At(out, x, y), At(in, cx, cy)) << "at " << x << "," << y;
        }
}

}  // namespace
