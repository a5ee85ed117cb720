// The four-colour gradient's bytes: its picture against a plain per-pixel renderer, and whole
// outputs of every blend mode pinned as hashes, each on every vector path this processor has.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "effect_helpers.h"
#include "effects/EffectMath.h"
#include "effects/generators/GeneratorEffects.h"
#include "imagecpu/LayerBlend.h"
#include "imagecpu/TableLookup.h"

using namespace orvex;
using namespace orvextest;

namespace {

// Moved points and colours: one point outside the frame, two on one spot, grays and extremes.
struct Points {
    float pos[4][2];
    int rgb[4][3];
};

const Points kSetups[] = {
    {{{0.1f, 0.1f}, {0.9f, 0.1f}, {0.1f, 0.9f}, {0.9f, 0.9f}},
     {{255, 255, 0}, {0, 255, 0}, {255, 0, 255}, {0, 0, 255}}},
    {{{0.37f, 0.61f}, {1.3f, -0.2f}, {0.37f, 0.61f}, {0.02f, 0.97f}},
     {{12, 200, 77}, {128, 128, 128}, {255, 0, 31}, {90, 90, 255}}},
};

void Configure(VideoEffect4ColorGradient& e, const Points& s, int mode, int alpha) {
    static const char* const kChannels[3] = {"red", "green", "blue"};
    for (int i = 0; i < 4; ++i) {
        const std::string p = "position" + std::to_string(i + 1) + "_";
        ASSERT_EQ(SetF(e, (p + "x").c_str(), s.pos[i][0]), Ok);
        ASSERT_EQ(SetF(e, (p + "y").c_str(), s.pos[i][1]), Ok);
        for (int c = 0; c < 3; ++c) ASSERT_EQ(SetI(e, (p + kChannels[c]).c_str(), s.rgb[i][c]), Ok);
    }
    ASSERT_EQ(SetI(e, "blend_mode", mode), Ok);
    ASSERT_EQ(SetI(e, "alpha", alpha), Ok);
}

// The gradient picture's B, G, R straight from the formulas, one pixel at a time.
cv::Mat PlainGradient(const Points& s, int w, int h) {
    auto distance = [](float dx, float dy) { return 1.0f / FastInvSqrt(dx * dx + dy * dy); };
    auto satRint = [](float v) { return !(v > 0.0f) ? 0 : v >= 255.0f ? 255 : static_cast<int>(std::nearbyint(v)); };
    int px[4], py[4];
    float reach[4];
    for (int i = 0; i < 4; ++i) {
        px[i] = static_cast<int>(static_cast<float>(w) * s.pos[i][0]);
        py[i] = static_cast<int>(static_cast<float>(h) * s.pos[i][1]);
        reach[i] = 0;
        for (int cy : {0, h})
            for (int cx : {0, w})
                reach[i] = std::max(reach[i], distance(static_cast<float>(cx) - static_cast<float>(px[i]),
                                                       static_cast<float>(cy) - static_cast<float>(py[i])));
    }
    cv::Mat g(h, w, CV_8UC3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int acc[3] = {0, 0, 0}, weights = 0;
            for (int i = 0; i < 4; ++i) {
                const float d = distance(static_cast<float>(x - px[i]), static_cast<float>(y - py[i]));
                if (!(d < reach[i])) continue;
                const float t = d / std::max(reach[i], 1.0f);
                const int wgt = satRint(255.0f - 255.0f * t);
                weights += wgt;
                for (int c = 0; c < 3; ++c) {
                    const int colour = s.rgb[i][2 - c];  // B, G, R from R, G, B
                    acc[c] += wgt * satRint(static_cast<float>(colour) + static_cast<float>(128 - colour) * t);
                }
            }
            for (int c = 0; c < 3; ++c)
                g.at<cv::Vec3b>(y, x)[c] = static_cast<uint8_t>(
                    satRint(static_cast<float>(acc[c]) / static_cast<float>(std::max(weights, 1))));
        }
    return g;
}

// Restores the lookup path cap when a test ends, failed or not.
struct PathCap {
    ~PathCap() { CapLookupPath(LookupPath::Avx512Vbmi); }
};

// Serial below 10000 pixels and banded above; widths leave remainders after 8 and 16 pixels.
const cv::Size kSizes[] = {{67, 41}, {211, 73}};

}  // namespace

// Blend mode 0 at full opacity writes the picture itself.
TEST(FourColorGradientBytes, PictureMatchesThePlainFormulas) {
    PathCap restore;
    for (LookupPath path : SupportedLookupPaths()) {
        CapLookupPath(path);
        for (const Points& s : kSetups)
            for (const cv::Size size : kSizes) {
                VideoEffect4ColorGradient e;
                Configure(e, s, 0, 100);
                HostFrame in = RandomFrame(size.width, size.height, 5);
                HostFrame out = SolidFrame(size.width, size.height, cv::Scalar::all(0));
                ASSERT_EQ(Render(e, in, out), Ok);
                const cv::Mat want = PlainGradient(s, size.width, size.height);
                for (int y = 0; y < size.height; ++y)
                    for (int x = 0; x < size.width; ++x) {
                        const cv::Vec4b got = At(out, x, y);
                        const cv::Vec3b w = want.at<cv::Vec3b>(y, x);
                        ASSERT_EQ(cv::Vec3b(got[0], got[1], got[2]), w)
                            << LookupPathName(path) << " " << size << " at " << x << "," << y;
                        ASSERT_EQ(got[3], At(in, x, y)[3]);
                    }
            }
    }
}

// The routes into the layer blend: the picture laid over the frame by the blend itself, the frame
// keeping its alpha.
TEST(FourColorGradientBytes, LayerRoutesMatchTheLayerBlendOfThePicture) {
    PathCap restore;
    const Points& s = kSetups[1];
    for (LookupPath path : SupportedLookupPaths()) {
        CapLookupPath(path);
        for (const cv::Size size : kSizes) {
            HostFrame in = RandomFrame(size.width, size.height, 9);
            cv::Mat picture(size, CV_8UC4);
            const cv::Mat plain = PlainGradient(s, size.width, size.height);
            for (int y = 0; y < size.height; ++y)
                for (int x = 0; x < size.width; ++x) {
                    const cv::Vec3b p = plain.at<cv::Vec3b>(y, x);
                    picture.at<cv::Vec4b>(y, x) = cv::Vec4b(p[0], p[1], p[2], At(in, x, y)[3]);
                }
            for (int mode = 1; mode <= 13; ++mode)
                for (int alpha : {100, 41}) {
                    VideoEffect4ColorGradient e;
                    Configure(e, s, mode, alpha);
                    HostFrame out = SolidFrame(size.width, size.height, cv::Scalar::all(0));
                    ASSERT_EQ(Render(e, in, out), Ok);
                    cv::Mat want = in.image.clone();
                    ASSERT_TRUE(BlendLayers(picture, want, VideoEffect4ColorGradient::LayerMode(mode),
                                            static_cast<uint8_t>(alpha * 255 / 100), true, 8));
                    for (int y = 0; y < size.height; ++y)
                        for (int x = 0; x < size.width; ++x) {
                            cv::Vec4b w = want.at<cv::Vec4b>(y, x);
                            w[3] = At(in, x, y)[3];
                            ASSERT_EQ(At(out, x, y), w) << LookupPathName(path) << " mode " << mode << " alpha "
                                                        << alpha << " " << size << " at " << x << "," << y;
                        }
                }
        }
    }
}

// Every mode's whole output, as the plain per-pixel renderer wrote it, at two opacities.
TEST(FourColorGradientBytes, EveryModeKeepsItsPinnedBytes) {
    // [setup][size][mode][opacity 100, 63]
    static const uint64_t kPinned[2][2][18][2] = {
        {
            {
                {0xe8d3361353ad7873ull, 0x94e540215904ff06ull},
                {0xeb2c7aa502113f58ull, 0x8f106a03ea6dc22aull},
                {0x1c5ba79b3ef52466ull, 0xda522fc7b3aad449ull},
                {0x3ca115dd8aa3962eull, 0xa86efdc19426a26full},
                {0x4cf81ba54dddeb9dull, 0xb9e371be80b7631dull},
                {0xf01832df1de0036full, 0x671a46c24c2b1903ull},
                {0x0a80805bbfae2287ull, 0xb8315ac49519d588ull},
                {0x9147cdac70147ab3ull, 0xc267e390cdc7d0a0ull},
                {0xb282b2afdd3cf869ull, 0x2d088b0276a40876ull},
                {0x03e41da36c004daaull, 0x4c688a6d7ef7a73aull},
                {0xa3223f89b3d5d7b0ull, 0x5c0f4e51c6f3ca38ull},
                {0x600bf1e3c97a4890ull, 0x9cc686c0610f7d5cull},
                {0x323b5bf8618623ffull, 0x9dc9f52e127e75b8ull},
                {0x99c50ac0d89eeaa6ull, 0xbe5dbb41d5d586f8ull},
                {0xd71a17e39e8377f4ull, 0xf7ea3f1f4552903cull},
                {0xfc746f80071390b1ull, 0x6fa3ebdbafb99766ull},
                {0xe68cdcd063816edaull, 0x25658bdfde212539ull},
                {0x6f83d9a25bebc22full, 0x60c026d0deac1953ull},
            },
            {
                {0x10a96c698fc27677ull, 0xbfbeb136fd8a4a4bull},
                {0x60ada13e85702960ull, 0xedc1ab0d6dde2b50ull},
                {0xc9106545ae5bf02bull, 0x94507135cb08e39full},
                {0x49aa3df38adb1d7dull, 0x8b59300b8a3918fbull},
                {0x4b8c58f4f8a065e3ull, 0x4af18f1765caeee5ull},
                {0xb7c708e9d265d034ull, 0x2996a6fdf1f38b87ull},
                {0xf7ba7d5802979a09ull, 0xe93ddedfd3efa2f5ull},
                {0x9cf70bcc62552c4cull, 0x3ed0a7fd8147d6b7ull},
                {0xb0c9c06a1ef3c182ull, 0xdcfe6ebbad98af43ull},
                {0x61355240c57350daull, 0xc5995ff0994e2a5dull},
                {0x2648d03a78c37eecull, 0x4c4991a794810f92ull},
                {0x7b343a348422d1d7ull, 0x30a57163ce841f04ull},
                {0x3a4d7be2b19ce397ull, 0xe1daa5381be3d183ull},
                {0xc7500d4d20a4d067ull, 0x98ab09dbfb522f55ull},
                {0xfc3496a142dc48d5ull, 0x1819528ab11fb4dfull},
                {0x74da066031e91207ull, 0x6e56b7979b3a7660ull},
                {0xbf14b85148eadc27ull, 0x535dee2da4eb5164ull},
                {0x57199de0f6843019ull, 0x63cd492dd02d0829ull},
            },
        },
        {
            {
                {0x6a1b72993d940c2eull, 0xbad6a792a4dc0200ull},
                {0xc1efc89557dc8c0full, 0xc737c9e170f456b7ull},
                {0x9442c9e7a7a386d9ull, 0x88bcc33b1f4f22c2ull},
                {0xaeb7e003f80fdd7cull, 0x9bbfa72150e35943ull},
                {0xfa940e309c544c6eull, 0xd8714f3a6f655718ull},
                {0xe0da864113fe52baull, 0x7bc36b54017556dfull},
                {0xfda0b6e19aeb55afull, 0x751a27b5808fe8a5ull},
                {0xb3191336739a6599ull, 0xc367cd8a18aa67caull},
                {0x5f293cd18dd67d08ull, 0x4c1172b872b450e0ull},
                {0x57f5d4ac2b78b948ull, 0xeecc9add4d1e8b61ull},
                {0x29030adc0a676aa8ull, 0xcf7e485f485e8421ull},
                {0x4dd9b85c5da66336ull, 0x83f3c86575306498ull},
                {0x2f89678a47ba0f02ull, 0x51192cc2de42b3a1ull},
                {0xed55feb20305be6full, 0x34917452ae1049a7ull},
                {0x8fb73eb06d532b3dull, 0xdbf1a5d413ed4e2full},
                {0x5c8c3bb3c8a439b5ull, 0x3390dd74ba344560ull},
                {0x5a77b4db26c02435ull, 0x21fef8751809a433ull},
                {0x444db71e8b7aff40ull, 0xcfa50f600849e6c5ull},
            },
            {
                {0xb84e6fa64c9911b8ull, 0xeb7867be18ddb1c5ull},
                {0xbce2e7decfd6cb9full, 0x95bf83ec5bcb834full},
                {0x03ad35404028462bull, 0x3e138c0ad7569d5dull},
                {0x82c7e4ae085bffb1ull, 0x9dd6fe3202b28d2cull},
                {0x57ca71b9912fcbcaull, 0xf5add5303de4aec7ull},
                {0xe203421e5579e194ull, 0x571a58011c7ccae6ull},
                {0x601fc0600f87377bull, 0x752ff11bc2c8340bull},
                {0xbf95ffd50643b657ull, 0x8c2842da6e72c8a1ull},
                {0xd6ef2f1cbd9a3d7dull, 0x0182f6e1f0f63595ull},
                {0x55e81e4a3dd300efull, 0x244b05241c55645dull},
                {0xe3312d11fd4a00e7ull, 0xeadccd8bcc9ea817ull},
                {0xff7058cb1f1a96f9ull, 0x2d21e70444360552ull},
                {0x0dadb140833ae5e3ull, 0x94a1668a1cc969c6ull},
                {0xf91bbaf7419f6e32ull, 0x1ab364ec3662ffa1ull},
                {0xa51dd68240f9db41ull, 0x6b323f1be49c3802ull},
                {0xfbdfd364b4194eeaull, 0xd8b57498046b28e7ull},
                {0x106fd46fe37e333dull, 0x506bb747fc84e3ceull},
                {0x2b297b6e1ff530c2ull, 0xda1a810a53172148ull},
            },
        },
    };
    PathCap restore;
    for (LookupPath path : SupportedLookupPaths()) {
        CapLookupPath(path);
        for (int si = 0; si < 2; ++si)
            for (int zi = 0; zi < 2; ++zi) {
                const cv::Size size = kSizes[zi];
                HostFrame in = RandomFrame(size.width, size.height, 11 + static_cast<uint32_t>(zi));
                for (int mode = 0; mode <= 17; ++mode)
                    for (int ai = 0; ai < 2; ++ai) {
                        VideoEffect4ColorGradient e;
                        Configure(e, kSetups[si], mode, ai == 0 ? 100 : 63);
                        HostFrame out = SolidFrame(size.width, size.height, cv::Scalar::all(0));
                        ASSERT_EQ(Render(e, in, out), Ok);
                        const uint64_t got = orvextest::PictureHash(out.image);
                        EXPECT_EQ(got, kPinned[si][zi][mode][ai]) << LookupPathName(path) << " setup " << si
                                                                   << " " << size << " mode " << mode;
                    }
            }
    }
}
