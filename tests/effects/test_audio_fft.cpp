// The audio spectrum, its smoothing over frames and the sampling of shape outlines: the CPU side
// of the audio visualisation effects.
#include <cmath>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "effects/audio/AudioVisualization.h"
#include "frames.h"

using namespace orvex;

namespace {

constexpr double kPi = 3.14159265358979323846;

// n samples per channel of a sine of `amplitude` (full scale 1) at bin `bin` of an n-point FFT.
std::shared_ptr<EffectAudioFrame> Tone(int n, int channels, double bin, double amplitude) {
    auto a = std::make_shared<EffectAudioFrame>();
    a->sampleCount = n;
    a->channels = channels;
    a->samples.resize(static_cast<size_t>(n) * channels);
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < channels; ++c)
            a->samples[static_cast<size_t>(i) * channels + c] =
                static_cast<int16_t>(std::lround(amplitude * 32767 * std::sin(2 * kPi * bin * i / n)));
    return a;
}

TEST(AudioFFT, StereoFrameOf1764SamplesGives883BinsAnd441Bands) {
    AudioVisualProcessFFT fft;
    cv::Mat image;
    float loudness = -1;
    fft.Process(image, Tone(1764, 2, 0, 0).get(), loudness);
    EXPECT_EQ(fft.FFTSize(), 1764);
    EXPECT_EQ(fft.BinCount(), 883);
    EXPECT_EQ(fft.BandCount(), 441);
    EXPECT_EQ(image.cols, 441);
    EXPECT_EQ(image.rows, 1);
    EXPECT_EQ(image.type(), CV_8UC4);

    // A different frame length plans again: 1000 samples, 501 bins, 250 bands.
    fft.Process(image, Tone(1000, 1, 0, 0).get(), loudness);
    EXPECT_EQ(fft.BinCount(), 501);
    EXPECT_EQ(image.cols, 250);
}

TEST(AudioFFT, SilenceIsMinus150DecibelsEverywhereAndLoudnessZero) {
    AudioVisualProcessFFT fft;
    cv::Mat image;
    float loudness = -1;
    fft.Process(image, Tone(1764, 2, 0, 0).get(), loudness);
    EXPECT_EQ(loudness, 0.f);
    for (float level : fft.BandLevels()) ASSERT_EQ(level, -150.f);
    for (uint8_t b : fft.BandBytes()) ASSERT_EQ(b, 0);
    for (int x = 0; x < image.cols; ++x) ASSERT_EQ(image.at<cv::Vec4b>(0, x), cv::Vec4b(0, 0, 0, 255)) << x;
}

TEST(AudioFFT, ToneLightsTheBandOfItsEvenBinOnly) {
    // A Hann-windowed sine centred on bin k has |X[k]| = A N / 4 and nothing beyond k +- 1
    // (the window's coherent gain is 1/2): level 20 log10(A / 4).
    const double A = 0.5;
    const double expected = 20 * std::log10(A / 4);
    AudioVisualProcessFFT fft;
    cv::Mat image;
    float loudness = 0;
    fft.Process(image, Tone(1764, 2, 2 * 100, A).get(), loudness);
    EXPECT_NEAR(fft.BandLevels()[100], expected, 0.05);
    for (int b = 0; b < fft.BandCount(); ++b)
        if (b != 100) {
            ASSERT_LT(fft.BandLevels()[b], -100.f) << "band " << b;
        }
    EXPECT_EQ(fft.BandBytes()[100], static_cast<int>((expected + 150) / 150 * 255));
    // The 16-bit rounding of the samples leaves a noise floor far below the tone, which counts
    // towards the loudness too: above silence (50), below a full-scale band (133.3).
    EXPECT_GT(loudness, 50.f);
    EXPECT_LT(loudness, 133.4f);
    // The 20-wide box blur spreads the band over its neighbours, grey in all three colours.
    const cv::Vec4b peak = image.at<cv::Vec4b>(0, 100);
    EXPECT_EQ(peak[0], peak[2]);
    EXPECT_EQ(peak[3], 255);
    EXPECT_GT(peak[0], image.at<cv::Vec4b>(0, 200)[0] + 5);

    // A tone on the odd bin 201 peaks between two bands, which read only bins 200 and 202: each
    // sees the window's side value, half the peak (-6.02 dB).
    fft.Process(image, Tone(1764, 2, 2 * 100 + 1, A).get(), loudness);
    EXPECT_NEAR(fft.BandLevels()[100], expected - 6.0206, 0.05);
    EXPECT_NEAR(fft.BandLevels()[101], expected - 6.0206, 0.05);
}

TEST(AudioFFT, MissingOrShortAudioEmptiesTheImage) {
    AudioVisualProcessFFT fft;
    cv::Mat image(1, 5, CV_8UC4, cv::Scalar::all(9));
    float loudness = 7;
    fft.Process(image, nullptr, loudness);
    EXPECT_TRUE(image.empty());
    EXPECT_EQ(loudness, 0.f);
    auto shortAudio = Tone(1764, 2, 10, 0.5);
    shortAudio->samples.resize(100);
    image.create(1, 5, CV_8UC4);
    fft.Process(image, shortAudio.get(), loudness);
    EXPECT_TRUE(image.empty());
}

// --- smoothing between frames -------------------------------------------------------------------

struct AudioEffect {
    VideoEffectAudioVisualization effect;
    orvextest::HostFrame picture = orvextest::SolidFrame(8, 8, cv::Scalar::all(0));

    void Frame(int64_t position, const std::shared_ptr<EffectAudioFrame>& audio) {
        auto carrier = std::make_shared<EffectFrame>();
        carrier->audio = audio;
        NamedTextures names;
        effect.CollectInputs(names, position, {picture.frame, carrier});
    }
};

TEST(AudioSmoothing, DurationZeroFollowsTheAudioAtOnce) {
    AudioEffect a;
    a.effect.SetFrameRate(25, 1);
    a.Frame(0, Tone(1764, 2, 200, 0.5));
    const float loud = a.effect.Loudness();
    EXPECT_GT(a.effect.Spectrum().at<cv::Vec4b>(0, 100)[0], 0);
    EXPECT_GT(loud, 50.f);
    a.Frame(1, Tone(1764, 2, 0, 0));
    EXPECT_EQ(cv::countNonZero(a.effect.Spectrum().reshape(1) != cv::Scalar(0)), 441);  // alpha only
    EXPECT_EQ(a.effect.Loudness(), 0.f);
}

TEST(AudioSmoothing, PositiveDurationSmoothsRisingAndFallingWithOneFactor) {
    AudioEffect a;
    a.effect.SetFrameRate(25, 1);
    ASSERT_EQ(a.effect.SetParam("audio_duration", ParamFloat, EffectParamValue::Float(0.5f)), Ok);
    const float k = 0.5f * (1 - 1 / 25.f) + 1 / 25.f;  // 0.52

    AudioVisualProcessFFT reference;
    cv::Mat tone;
    float toneLoudness = 0;
    reference.Process(tone, Tone(1764, 2, 200, 0.5).get(), toneLoudness);
    const int n = tone.at<cv::Vec4b>(0, 100)[0];
    ASSERT_GT(n, 0);

    a.Frame(0, Tone(1764, 2, 0, 0));  // stored: silence
    a.Frame(1, Tone(1764, 2, 200, 0.5));
    const int risen = static_cast<int>(std::trunc(0 + n * k));
    EXPECT_EQ(a.effect.Spectrum().at<cv::Vec4b>(0, 100), cv::Vec4b(risen, risen, risen, 255));
    EXPECT_NEAR(a.effect.Loudness(), toneLoudness * k, 1e-3);

    a.Frame(2, Tone(1764, 2, 0, 0));
    const int fallen = static_cast<int>(std::trunc(risen - risen * k));
    EXPECT_EQ(a.effect.Spectrum().at<cv::Vec4b>(0, 100)[1], fallen);

    // The same position again replaces the stored spectrum, unsmoothed.
    a.Frame(2, Tone(1764, 2, 200, 0.5));
    EXPECT_EQ(a.effect.Spectrum().at<cv::Vec4b>(0, 100)[2], n);
}

TEST(AudioSmoothing, UnsetOrSlowFrameRatesNeverDivideByZero) {
    // Unset or invalid: 30 fps; positive but below 1 fps: 1 fps (k = 1, no smoothing).
    const struct {
        int64_t num, den, fps;
    } cases[] = {{25, 1, 25}, {30000, 1001, 29}, {0, 0, 30}, {30, 0, 30}, {-5, 1, 30}, {1, 2, 1}};
    for (const auto& c : cases) EXPECT_EQ(IntegerFrameRate(c.num, c.den), c.fps) << c.num << "/" << c.den;
    VideoEffectAudioVisualization e;
    e.SetFrameRate(1, 2);
    ASSERT_EQ(e.SetParam("audio_duration", ParamFloat, EffectParamValue::Float(0.9f)), Ok);
    EXPECT_EQ(e.Smooth(200, 100), 200);
    e.SetFrameRate(0, 0);
    EXPECT_TRUE(std::isfinite(e.Smooth(200, 100)));
}

// --- outline sampling ------------------------------------------------------------------------------

TEST(ShapeSampling, OnePointContourIsOnePointPointingAlongX) {
    auto points = ShapeMaskAlgo_Point_Normal::SampleContour({{7, 9}}, 5);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].point, cv::Point2f(7, 9));
    EXPECT_EQ(points[0].normal, cv::Point2f(1, 0));
}

TEST(ShapeSampling, SegmentGetsEvenPointsWithOneNormal) {
    // 0 -> 20 along x every 5 pixels: 0, 5, 10, 15, 20; normal perp = (0, 1).
    auto points = ShapeMaskAlgo_Point_Normal::SampleContour({{0, 0}, {20, 0}}, 5);
    ASSERT_EQ(points.size(), 5u);
    for (size_t i = 0; i < points.size(); ++i) {
        EXPECT_NEAR(points[i].point.x, 5.f * i, 1e-4);
        EXPECT_EQ(points[i].normal, cv::Point2f(0, 1));
    }
}

TEST(ShapeSampling, FilledSquareHasOutwardNormalsAroundItsOutline) {
    cv::Mat mask(100, 100, CV_8UC1, cv::Scalar(0));
    cv::rectangle(mask, cv::Rect(30, 20, 40, 50), cv::Scalar(255), cv::FILLED);
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(mask, contours, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);
    ASSERT_EQ(contours.size(), 1u);
    std::vector<PointNormal> points;
    ShapeMaskAlgo_Point_Normal(6).Sample(contours, points);
    // Perimeter 2 * (39 + 49) = 176 pixels at 6 pixels per point.
    EXPECT_NEAR(static_cast<double>(points.size()), 176.0 / 6, 2);
    const cv::Point2f centre(49.5f, 44.5f);
    for (const PointNormal& p : points) {
        EXPECT_NEAR(std::hypot(p.normal.x, p.normal.y), 1.0, 1e-4);
        EXPECT_GT(p.normal.dot(p.point - centre), 0.f) << p.point << " normal " << p.normal;
    }
}

TEST(ShapeSampling, SmallShapesUseBase30) {
    // A 10 x 10 square: base max(30, 10) = 30, size = 30 * 0.1 * 0.3 = 0.9 pixels of a 100-pixel
    // shorter side.
    VideoEffectAudioVisualizationMaskShape e;
    EffectDescription d;
    d.document = JsonDocument{{"display_name", "shape"}, {"opengl_frag", {"a.frag"}}};
    e.SetDescription(std::move(d));
    orvextest::HostFrame picture = orvextest::SolidFrame(200, 100, cv::Scalar(0, 0, 0, 255));
    cv::rectangle(picture.image, cv::Rect(50, 40, 10, 10), cv::Scalar::all(255), cv::FILLED);
    NamedTextures names;
    e.CollectInputs(names, 0, {picture.frame});
    EXPECT_GT(e.PointsCount(), 0);
    auto& pending = e.PassEntries()[0]->pending;
    ASSERT_TRUE(pending.count("current_point_size"));
    EXPECT_FLOAT_EQ(pending["current_point_size"].second.AsFloat(), 0.9f / 100);
    EXPECT_FLOAT_EQ(pending["available_region_x1"].second.AsFloat(), (50 - 0.9f - 40) / 200);
}

}  // namespace
