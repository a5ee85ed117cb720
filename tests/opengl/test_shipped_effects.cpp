// The shader effects shipped in resources/, each rendered on llvmpipe and checked for the
// property that makes it that effect.
#include <cmath>
#include <random>

#include <opencv2/imgproc.hpp>

#include "effect_helpers.h"
#include "effects/audio/AudioVisualization.h"
#include "gl_fixture.h"

using namespace orvex;
using namespace orvextest;

namespace {

using ShippedEffects = GLLab;

int MaxDiff(const cv::Mat& a, const cv::Mat& b) { return static_cast<int>(cv::norm(a, b, cv::NORM_INF)); }

TEST_F(ShippedEffects, PixelateMakesUniformBlocksOfTheCentrePixel) {
    auto* e = Create("video/effect/pixelate");
    ASSERT_NE(e, nullptr);
    HostFrame in = RandomFrame(100, 70, 7);
    HostFrame out = SolidFrame(100, 70, cv::Scalar::all(0));
    ASSERT_EQ(SetF(*e, "block_size", 10.f), Ok);
    ASSERT_EQ(Render(*e, in, out), Ok);
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 100; ++x) {
            const int cx = std::min(x / 10 * 10 + 5, 99), cy = std::min(y / 10 * 10 + 5, 69);
            ASSERT_EQ(At(out, x, y), At(in, cx, cy)) << "at " << x << "," << y;
        }
}

TEST_F(ShippedEffects, WhirlwindTurnsThePictureAroundTheAnchor) {
    auto* e = Create<VideoEffectWhirlWind>("video/effect/whirlwind");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->SetParam("anchor_point_x", ParamInt, EffectParamValue::Int(1)), WrongFormat);
    ASSERT_EQ(SetF(*e, "anchor_point_x", 0.5f), Ok);
    ASSERT_EQ(SetF(*e, "anchor_point_y", 0.5f), Ok);
    // 640 x 360 under "high": no scaling, so the frame maps texel for texel.
    const int W = 640, H = 360;
    HostFrame rings = SolidFrame(W, H, cv::Scalar::all(0));
    HostFrame stripes = SolidFrame(W, H, cv::Scalar::all(0));
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const double r = std::hypot(x + 0.5 - W / 2.0, y + 0.5 - H / 2.0);
            const uint8_t v = static_cast<uint8_t>(std::min(255.0, r));
            rings.image.at<cv::Vec4b>(y, x) = {v, v, v, 255};
            const uint8_t s = (x / 20) % 2 ? 255 : 0;
            stripes.image.at<cv::Vec4b>(y, x) = {s, s, s, 255};
        }
    // A picture that only depends on the distance to the anchor looks the same turned.
    HostFrame out = SolidFrame(W, H, cv::Scalar::all(0));
    ASSERT_EQ(Render(*e, rings, out), Ok);
    EXPECT_LE(MaxDiff(out.image(cv::Rect(100, 30, 440, 300)), rings.image(cv::Rect(100, 30, 440, 300))), 3);
    // Stripes are bent near the anchor and left alone beyond the swirl (0.45 of the height).
    ASSERT_EQ(Render(*e, stripes, out), Ok);
    cv::Mat diff;
    cv::absdiff(out.image, stripes.image, diff);
    EXPECT_GT(cv::countNonZero(diff(cv::Rect(260, 120, 120, 120)).reshape(1) > 100), 2000);
    EXPECT_EQ(MaxDiff(out.image(cv::Rect(0, 0, 100, 60)), stripes.image(cv::Rect(0, 0, 100, 60))), 0);

    // The heat shimmer of the second pass moves pixels further.
    HostFrame hot = SolidFrame(W, H, cv::Scalar::all(0));
    ASSERT_EQ(SetF(*e, "heat_distortion", 2.f), Ok);
    ASSERT_EQ(Render(*e, stripes, hot), Ok);
    EXPECT_GT(MaxDiff(hot.image, out.image), 100);
}

TEST_F(ShippedEffects, ChromaticGlowAddsAHaloInTheGradientColour) {
    auto* e = Create("video/effect/chromatic_glow");
    ASSERT_NE(e, nullptr);
    // Pure red at both stops (0xRRGGBB: red is the third byte, byte 2 of the BGRA texel).
    ASSERT_EQ(e->SetParam("gradient_color", ParamText, EffectParamValue::Text("2,16711680,0;16711680,100")), Ok);
    HostFrame in = SolidFrame(320, 240, cv::Scalar(0, 0, 0, 255));
    cv::rectangle(in.image, cv::Rect(140, 100, 40, 40), cv::Scalar::all(255), cv::FILLED);
    HostFrame out = SolidFrame(320, 240, cv::Scalar::all(0));
    ASSERT_EQ(Render(*e, in, out), Ok);
    // Added light: never darker than the input.
    cv::Mat darker;
    cv::compare(out.image, in.image, darker, cv::CMP_LT);
    EXPECT_EQ(cv::countNonZero(darker.reshape(1)), 0);
    // Just outside the square the halo is red; far away the picture is untouched.
    const cv::Vec4b halo = At(out, 186, 120);
    EXPECT_GT(halo[2], 40) << halo;
    EXPECT_LT(halo[1], halo[2] / 4) << halo;
    EXPECT_LT(halo[0], halo[2] / 4) << halo;
    EXPECT_EQ(At(out, 10, 10), cv::Vec4b(0, 0, 0, 255));
    EXPECT_EQ(At(out, 160, 120), cv::Vec4b(255, 255, 255, 255));
}

TEST_F(ShippedEffects, LightLeakDarkensTheEdgesOfTheVisibleBoxAndWarmsItsTopLeft) {
    auto* e = Create("video/effect/light_leak");
    ASSERT_NE(e, nullptr);
    // A grey picture inside a transparent border: the effect fits itself to the opaque box.
    HostFrame in = SolidFrame(640, 360, cv::Scalar(128, 128, 128, 0));
    cv::rectangle(in.image, cv::Rect(120, 60, 400, 240), cv::Scalar(128, 128, 128, 255), cv::FILLED);
    HostFrame out = SolidFrame(640, 360, cv::Scalar::all(0));
    ASSERT_EQ(Render(*e, in, out), Ok);
    std::vector<cv::Mat> inCh, outCh;
    cv::split(in.image, inCh);
    cv::split(out.image, outCh);
    EXPECT_EQ(MaxDiff(inCh[3], outCh[3]), 0);  // alpha kept
    EXPECT_EQ(MaxDiff(out.image(cv::Rect(0, 0, 100, 360)), in.image(cv::Rect(0, 0, 100, 360))), 0);
    const cv::Vec4b centre = At(out, 320, 180), corner = At(out, 515, 295), leak = At(out, 140, 70);
    EXPECT_LT(corner[1], centre[1] - 20) << corner << " vs " << centre;  // vignette
    EXPECT_GT(leak[2] - leak[0], 40) << leak;                            // warm light: red over blue
    EXPECT_LT(std::abs(centre[2] - centre[0]), 40) << centre;
}

TEST_F(ShippedEffects, LightLeakOnTheCpuDrawsWhatTheShadersDraw) {
    // Odd sizes, a box of visible pixels with random colours and alpha around it, parameters of
    // every kind the shaders read, and a frame position that moves the leak.
    for (const cv::Size size : {cv::Size(641, 359), cv::Size(97, 211)}) {
        auto* e = Create("video/effect/light_leak");
        ASSERT_NE(e, nullptr);
        ASSERT_EQ(SetF(*e, "vignette", 0.8f), Ok);
        ASSERT_EQ(e->SetParam("leak_intensity", ParamInt, EffectParamValue::Int(1)), Ok);
        e->SetFrameRate(25, 1);
        HostFrame in = RandomFrame(size.width, size.height, 9);
        cv::Mat alpha(size, CV_8UC1, cv::Scalar(0));
        alpha(cv::Rect(size.width / 5, size.height / 7, size.width / 2, size.height / 2)).setTo(200);
        cv::mixChannels(std::vector<cv::Mat>{alpha}, std::vector<cv::Mat>{in.image}, {0, 3});
        in.image.at<cv::Vec4b>(size.height - 2, size.width - 3)[3] = 90;  // a stray visible pixel widens the box
        HostFrame gl = SolidFrame(size.width, size.height, cv::Scalar::all(0));
        HostFrame cpu = SolidFrame(size.width, size.height, cv::Scalar::all(0));
        ASSERT_EQ(Render(*e, in, gl, 40), Ok);
        e->SetGPUAvailability(false, false);
        ASSERT_EQ(Render(*e, in, cpu, 40), Ok);
        // The same 8-bit working picture on both; the upscale and the blend round once each, and
        // llvmpipe's linear filter weighs texels with 8-bit fractions: 2 codes.
        EXPECT_LE(MaxDiff(cpu.image, gl.image), 2) << size;
    }
}

TEST_F(ShippedEffects, LightLeakOnTheCpuFailsWithoutVisiblePixelsAndOtherChainsHaveNoCpuBody) {
    auto* leak = Create("video/effect/light_leak");
    auto* pixelate = Create("video/effect/pixelate");
    ASSERT_NE(leak, nullptr);
    ASSERT_NE(pixelate, nullptr);
    leak->SetGPUAvailability(false, false);
    pixelate->SetGPUAvailability(false, false);
    HostFrame in = SolidFrame(33, 17, cv::Scalar(10, 20, 30, 5));
    HostFrame out = SolidFrame(33, 17, cv::Scalar(1, 2, 3, 4));
    EXPECT_EQ(Render(*leak, in, out), Failed);
    in.image.setTo(cv::Scalar(10, 20, 30, 255));
    EXPECT_EQ(Render(*pixelate, in, out), Failed);
    EXPECT_EQ(At(out, 3, 3), cv::Vec4b(1, 2, 3, 4));
    bool cpuPath = false, opencl = false, opengl = false;
    leak->GetSupportedPaths(&cpuPath, &opencl, &opengl);
    EXPECT_TRUE(cpuPath) << "the mask input reports a CPU path, which now renders";
}

std::shared_ptr<EffectAudioFrame> ToneAudio(double bin, double amplitude) {
    auto a = std::make_shared<EffectAudioFrame>();
    a->sampleCount = 1764;
    a->channels = 2;
    a->samples.resize(1764 * 2);
    for (int i = 0; i < 1764; ++i)
        a->samples[2 * i] = a->samples[2 * i + 1] =
            static_cast<int16_t>(std::lround(amplitude * 32767 * std::sin(2 * 3.14159265358979 * bin * i / 1764)));
    return a;
}

// Equal sines on every even bin from `first` to `last`: bands first/2 .. last/2 at -46 dB each.
std::shared_ptr<EffectAudioFrame> BandAudio(int first, int last) {
    auto a = ToneAudio(0, 0);
    for (int i = 0; i < 1764; ++i) {
        double v = 0;
        for (int bin = first; bin <= last; bin += 2) v += 0.02 * std::sin(2 * 3.14159265358979 * bin * i / 1764);
        a->samples[2 * i] = a->samples[2 * i + 1] = static_cast<int16_t>(std::lround(v * 32767));
    }
    return a;
}

std::shared_ptr<EffectAudioFrame> NoiseAudio() {
    auto a = std::make_shared<EffectAudioFrame>();
    a->sampleCount = 1764;
    a->channels = 2;
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> d(-20000, 20000);
    for (int i = 0; i < 1764 * 2; ++i) a->samples.push_back(static_cast<int16_t>(d(rng)));
    return a;
}

ResultCode RenderWithAudio(IOrvexEffect& e, HostFrame& in, HostFrame& out, std::shared_ptr<EffectAudioFrame> audio) {
    auto carrier = std::make_shared<EffectFrame>();
    carrier->audio = std::move(audio);
    std::vector<EffectFramePtr> inputs{in.frame, carrier};
    return e.Render(nullptr, 0, nullptr, inputs, out.frame);
}

TEST_F(ShippedEffects, SpectrumBarsRiseWhereTheToneIs) {
    auto* e = Create("video/effect/audio_spectrum");
    ASSERT_NE(e, nullptr);
    HostFrame in = SolidFrame(480, 270, cv::Scalar(40, 40, 40, 255));
    HostFrame out = SolidFrame(480, 270, cv::Scalar::all(0));
    // Silence, or no audio at all: no bars, the picture as it was.
    ASSERT_EQ(RenderWithAudio(*e, in, out, ToneAudio(0, 0)), Ok);
    EXPECT_EQ(MaxDiff(out.image, in.image), 0);
    ASSERT_EQ(Render(*e, in, out), Ok);
    EXPECT_EQ(MaxDiff(out.image, in.image), 0);

    // Bands 50 to 70 are bars 10.9 to 15.2 of 48 (the lower 220.5 bands over the width): bar 13
    // covers x 130 to 140 at 480 wide.
    ASSERT_EQ(RenderWithAudio(*e, in, out, BandAudio(100, 140)), Ok);
    const int barX = 135, farX = 430;
    EXPECT_GT(At(out, barX, 265)[1], 80) << At(out, barX, 265);  // green foot, added
    EXPECT_EQ(At(out, barX, 10), At(in, barX, 10));                // short of the top
    EXPECT_EQ(At(out, farX, 265), At(in, farX, 265));              // no energy there
}

TEST_F(ShippedEffects, ShapeBarsStandOnTheOutlineOfTheShape) {
    auto* e = Create<VideoEffectAudioVisualizationMaskShape>("video/effect/audio_visualization_mask_shape");
    ASSERT_NE(e, nullptr);
    HostFrame in = SolidFrame(640, 360, cv::Scalar(0, 0, 0, 255));
    cv::circle(in.image, cv::Point(320, 180), 60, cv::Scalar::all(255), cv::FILLED);
    HostFrame out = SolidFrame(640, 360, cv::Scalar::all(0));
    ASSERT_EQ(RenderWithAudio(*e, in, out, ToneAudio(0, 0)), Ok);
    EXPECT_EQ(MaxDiff(out.image, in.image), 0);
    EXPECT_GT(e->PointsCount(), 10);

    ASSERT_EQ(RenderWithAudio(*e, in, out, NoiseAudio()), Ok);
    // Light appears in the ring just outside the disc, nowhere far from it, and the disc stays white.
    int lit = 0;
    for (int a = 0; a < 360; a += 5) {
        const double t = a * 3.14159265358979 / 180;
        const int x = static_cast<int>(320 + 68 * std::cos(t)), y = static_cast<int>(180 + 68 * std::sin(t));
        lit += At(out, x, y)[0] + At(out, x, y)[1] + At(out, x, y)[2] > 100;
    }
    EXPECT_GT(lit, 20);
    EXPECT_EQ(MaxDiff(out.image(cv::Rect(0, 0, 150, 360)), in.image(cv::Rect(0, 0, 150, 360))), 0);
    EXPECT_EQ(At(out, 320, 180), cv::Vec4b(255, 255, 255, 255));
}

}  // namespace
