// The analysis-driven effects: parameters, hand-computed pixels, the kept
// measurements of the automatic effects, equalisation, threshold, extract and the paint bucket.
#include <climits>
#include <cmath>
#include <limits>
#include <memory>
#include <queue>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "effect_helpers.h"
#include "effects/analysis/AnalysisEffects.h"
#include "frames.h"

using namespace orvex;
using namespace orvextest;

namespace {

template <class T>
std::unique_ptr<EffectSurface> Make() {
    return std::make_unique<T>();
}

struct Info {
    const char* name;
    std::unique_ptr<EffectSurface> (*make)();
};

const Info kEffects[] = {
    {"auto_contrast", &Make<VideoEffectAutoContrast>},
    {"auto_levels", &Make<VideoEffectAutoLevels>},
    {"auto_color", &Make<VideoEffectAutoColor>},
    {"equalizer", &Make<VideoEffectHistogramEqualize>},
    {"threshold", &Make<VideoEffectThreshold>},
    {"extract", &Make<VideoEffectExtract>},
    {"paint_bucket", &Make<VideoEffectPaintBucket>},
};

// A frame of gray pixels (v, v, v, 200) from a list of levels, one per pixel, row by row.
HostFrame GrayLevels(int w, int h, const std::vector<int>& levels) {
    HostFrame f = SolidFrame(w, h, cv::Scalar(0, 0, 0, 200));
    for (int i = 0; i < w * h; ++i) {
        const uint8_t v = static_cast<uint8_t>(levels[i]);
        f.image.at<cv::Vec4b>(i / w, i % w) = cv::Vec4b(v, v, v, 200);
    }
    return f;
}

}  // namespace

TEST(AnalysisEffects, ParameterTables) {
    struct Row {
        const char* effect;
        const char* name;
        EffectParamType type;
        double def;
        double bad;           // NaN: no range
        double substitute;
        ResultCode onBad;
    };
    const double none = std::numeric_limits<double>::quiet_NaN();
    const Row rows[] = {
        {"auto_contrast", "threshold", ParamFloat, 0.5, 30, 0.5, Ok},
        {"auto_contrast", "alpha", ParamInt, 100, none, 0, Ok},
        {"auto_levels", "threshold", ParamFloat, 0.5, none, 0, Ok},
        {"auto_levels", "value", ParamInt, 100, none, 0, Ok},
        {"auto_color", "threshold", ParamFloat, 0.5, none, 0, Ok},
        {"auto_color", "value", ParamInt, 50, none, 0, Ok},
        {"equalizer", "equalize_grain", ParamInt, 50, 101, 50, Ok},
        {"equalizer", "mode", ParamInt, 0, 2, 0, InvalidArgument},
        {"threshold", "threshold", ParamInt, 128, 256, 128, Ok},
        {"extract", "Black_level", ParamInt, 64, none, 0, Ok},
        {"extract", "White_level", ParamInt, 192, none, 0, Ok},
        {"extract", "Softness", ParamInt, 25, none, 0, Ok},
        {"extract", "Reverse", ParamBool, 0, none, 0, Ok},
        {"paint_bucket", "point_x", ParamFloat, 0.5, none, 0, Ok},
        {"paint_bucket", "point_y", ParamFloat, 0.5, none, 0, Ok},
        {"paint_bucket", "tolerance", ParamFloat, 50, none, 0, Ok},
        {"paint_bucket", "fill_color_red", ParamInt, 255, none, 0, Ok},
        {"paint_bucket", "fill_color_green", ParamInt, 0, none, 0, Ok},
        {"paint_bucket", "fill_color_blue", ParamInt, 0, none, 0, Ok},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.effect) + " " + r.name);
        std::unique_ptr<EffectSurface> e;
        for (const Info& i : kEffects)
            if (std::string(i.name) == r.effect) e = i.make();
        ASSERT_TRUE(e);
        EXPECT_EQ(Stored(*e, r.name), r.def);
        const EffectParamType wrong = r.type == ParamInt ? ParamFloat : ParamInt;
        EXPECT_EQ(e->SetParam(r.name, wrong, EffectParamValue::Int(1)), WrongFormat);
        EXPECT_EQ(Stored(*e, r.name), r.def);
        if (!std::isnan(r.bad)) {
            const ResultCode got = r.type == ParamInt ? SetI(*e, r.name, static_cast<int>(r.bad))
                                                      : SetF(*e, r.name, static_cast<float>(r.bad));
            EXPECT_EQ(got, r.onBad);
            EXPECT_EQ(Stored(*e, r.name), r.substitute);
        }
    }
}

// The gray every analysis effect measures is the image library's own, for every colour.
TEST(AnalysisEffects, LibraryGrayIsTheImageLibrarysConversion) {
    // Row r holds red r >> 4 and green (r & 15) * 16 + x / 256 with blue x & 255.
    cv::Mat all(4096, 4096, CV_8UC4);
    for (int r = 0; r < 4096; ++r) {
        uint8_t* p = all.ptr<uint8_t>(r);
        for (int x = 0; x < 4096; ++x, p += 4) {
            const int i = r * 4096 + x;
            p[0] = static_cast<uint8_t>(i & 255);
            p[1] = static_cast<uint8_t>((i >> 8) & 255);
            p[2] = static_cast<uint8_t>(i >> 16);
            p[3] = 0;
        }
    }
    cv::Mat gray;
    cv::cvtColor(all, gray, cv::COLOR_BGRA2GRAY);
    int bad = 0;
    for (int r = 0; r < 4096; ++r) {
        const uint8_t* p = all.ptr<uint8_t>(r);
        const uint8_t* g = gray.ptr<uint8_t>(r);
        for (int x = 0; x < 4096; ++x, p += 4) bad += LibraryGray(p[0], p[1], p[2]) != g[x];
    }
    EXPECT_EQ(bad, 0);
}

// Levels 20, 22, ..., 218 (100 pixels), threshold 5 %: n = 5, so lo is the sixth level from the
// bottom (30) and hi the sixth from the top (208); T[v] = rint((v - 30) 255 / 178).
// Counted in bands on the workers (a frame large enough to be split, rows padded), the
// histograms are the plain count of every pixel, each pixel once.
TEST(AnalysisEffects, HistogramsCountedInBandsAreThePlainCount) {
    cv::Mat padded(301, 251 * 4 + 12, CV_8UC1);
    cv::randu(padded, 0, 256);
    const cv::Mat frame(301, 251, CV_8UC4, padded.data, padded.step[0]);
    uint64_t got[2][256];
    CountHistograms(frame, got, [](const uint8_t* p, uint64_t(&band)[2][256]) {
        ++band[0][p[0]];
        ++band[1][p[3]];
    });
    uint64_t want[2][256] = {};
    for (int y = 0; y < frame.rows; ++y)
        for (int x = 0; x < frame.cols; ++x) {
            ++want[0][frame.ptr<uint8_t>(y)[4 * x]];
            ++want[1][frame.ptr<uint8_t>(y)[4 * x + 3]];
        }
    for (int k = 0; k < 2; ++k)
        for (int v = 0; v < 256; ++v) ASSERT_EQ(got[k][v], want[k][v]) << "histogram " << k << " level " << v;
}

TEST(AutoContrast, StretchesBetweenTheMeasuredLevels) {
    std::vector<int> levels;
    for (int i = 0; i < 100; ++i) levels.push_back(20 + 2 * i);
    HostFrame in = GrayLevels(10, 10, levels);
    HostFrame out = SolidFrame(10, 10, cv::Scalar::all(0));
    VideoEffectAutoContrast e;
    ASSERT_EQ(SetF(e, "threshold", 5), Ok);
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(e.GrayMin(), 30);
    EXPECT_EQ(e.GrayMax(), 208);
    // level -> output: 20 and 30 black, 124 -> 94 * 255 / 178 = 134.66, 208 and up white.
    const std::pair<int, int> expect[] = {{20, 0}, {30, 0}, {124, 135}, {208, 255}, {218, 255}};
    for (auto [level, v] : expect)
        EXPECT_EQ(At(out, (level - 20) / 2 % 10, (level - 20) / 20), cv::Vec4b(v, v, v, 200)) << level;
    // alpha 50: k = 127, out = M[135][127] + M[124][128] = 67 + 62.
    ASSERT_EQ(SetI(e, "alpha", 50), Ok);
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 2, 5), cv::Vec4b(129, 129, 129, 200));
}

TEST(AutoContrast, UniformFrameDoesNotDivideByZero) {
    HostFrame in = SolidFrame(33, 21, cv::Scalar(90, 90, 90, 7));
    HostFrame out = SolidFrame(33, 21, cv::Scalar::all(0));
    VideoEffectAutoContrast e;
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(e.GrayMin(), 90);
    EXPECT_EQ(e.GrayMax(), 90);
    // Every level at or above the measured one becomes white.
    EXPECT_EQ(At(out, 5, 5), cv::Vec4b(255, 255, 255, 7));
    // A coloured uniform frame: levels below its gray become black, those above white.
    HostFrame tinted = SolidFrame(33, 21, cv::Scalar(10, 200, 60, 7));
    VideoEffectAutoContrast f;
    ASSERT_EQ(Render(f, tinted, out), Ok);
    EXPECT_EQ(f.GrayMin(), f.GrayMax());
    EXPECT_EQ(At(out, 0, 0), cv::Vec4b(0, 255, 0, 7));
}

// The measurement is kept until the threshold changes: a different frame reuses it.
TEST(AutoContrast, RemeasuresOnlyAfterAThresholdChange) {
    HostFrame dark = SolidFrame(40, 30, cv::Scalar(40, 40, 40, 255));
    HostFrame bright = SolidFrame(40, 30, cv::Scalar(200, 200, 200, 255));
    HostFrame out = SolidFrame(40, 30, cv::Scalar::all(0));
    VideoEffectAutoContrast e;
    ASSERT_EQ(Render(e, dark, out), Ok);
    EXPECT_EQ(e.GrayMin(), 40);
    ASSERT_EQ(Render(e, bright, out), Ok);
    EXPECT_EQ(e.GrayMin(), 40) << "a new frame alone must not re-measure";
    ASSERT_EQ(SetF(e, "threshold", 0.5f), Ok);  // the same value: still kept
    ASSERT_EQ(Render(e, bright, out), Ok);
    EXPECT_EQ(e.GrayMin(), 40);
    ASSERT_EQ(SetF(e, "threshold", 1), Ok);
    ASSERT_EQ(Render(e, bright, out), Ok);
    EXPECT_EQ(e.GrayMin(), 200);
    EXPECT_EQ(e.GrayMax(), 200);
}

TEST(AutoLevels, MeasuresEachChannelOnItsOwn) {
    // Blue spans 10..109, green 50..149, red is uniform 77; threshold 0: n = 0.
    HostFrame in = SolidFrame(10, 10, cv::Scalar::all(0));
    for (int i = 0; i < 100; ++i) in.image.at<cv::Vec4b>(i / 10, i % 10) = cv::Vec4b(10 + i, 50 + i, 77, 9);
    HostFrame out = SolidFrame(10, 10, cv::Scalar::all(0));
    VideoEffectAutoLevels e;
    ASSERT_EQ(SetF(e, "threshold", 0), Ok);
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(e.Minimum(), (std::array<int, 3>{10, 50, 77}));
    EXPECT_EQ(e.Maximum(), (std::array<int, 3>{109, 149, 77}));
    // Pixel 33: blue 43 -> rint(33 255 / 99) = 85, green 83 -> 85, red 77 (lo = hi) -> 255.
    EXPECT_EQ(At(out, 3, 3), cv::Vec4b(85, 85, 255, 9));
    // value 0 leaves the frame as it was.
    ASSERT_EQ(SetI(e, "value", 0), Ok);
    ASSERT_EQ(Render(e, in, out), Ok);
    ExpectSamePicture(out.image, in.image, "value 0");
}

// A uniform tinted frame: each gamma carries its channel's mean onto the gray mean, so with
// value 100 the frame becomes neutral gray at the gray level of the input.
TEST(AutoColor, NeutralisesAUniformCast) {
    HostFrame in = SolidFrame(30, 20, cv::Scalar(100, 100, 150, 66));
    HostFrame out = SolidFrame(30, 20, cv::Scalar::all(0));
    VideoEffectAutoColor e;
    ASSERT_EQ(SetI(e, "value", 100), Ok);
    ASSERT_EQ(Render(e, in, out), Ok);
    // gray = 115; gamma_B = log(115 0.003922) / log(100 0.003922) = 0.8507, gamma_R = 1.5008.
    EXPECT_NEAR(e.Gammas()[0], 0.8507, 1e-3);
    EXPECT_NEAR(e.Gammas()[2], 1.5008, 1e-3);
    EXPECT_EQ(e.MinVal(), e.MaxVal());
    EXPECT_EQ(At(out, 4, 4), cv::Vec4b(115, 115, 115, 66));
}

TEST(AutoColor, NearlyBlackFrameKeepsNeutralGammas) {
    HostFrame in = SolidFrame(30, 20, cv::Scalar(3, 9, 5, 1));
    HostFrame out = SolidFrame(30, 20, cv::Scalar::all(0));
    VideoEffectAutoColor e;
    ASSERT_EQ(SetI(e, "value", 100), Ok);
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(e.Gammas(), (std::array<float, 3>{1, 1, 1}));
    EXPECT_EQ(e.MinVal(), 0);
    EXPECT_EQ(e.MaxVal(), 0);
    ExpectSamePicture(out.image, in.image, "identity");
}

// One uniform colour: each of its three levels holds a third of the count.
TEST(Equalizer, UniformFrames) {
    VideoEffectHistogramEqualize e;
    HostFrame gray = SolidFrame(41, 23, cv::Scalar(77, 77, 77, 5));
    HostFrame out = SolidFrame(41, 23, cv::Scalar::all(0));
    ASSERT_EQ(SetI(e, "equalize_grain", 0), Ok);
    ASSERT_EQ(Render(e, gray, out), Ok);
    ExpectSamePicture(out.image, gray.image, "grain 0 copies");

    ASSERT_EQ(SetI(e, "equalize_grain", 100), Ok);
    ASSERT_EQ(Render(e, gray, out), Ok);
    EXPECT_EQ(At(out, 7, 7), cv::Vec4b(254, 254, 254, 5)) << "the top level reached maps to 254";
    // grain 50: trunc(77 0.5 + 254 0.5) = 165.
    ASSERT_EQ(SetI(e, "equalize_grain", 50), Ok);
    ASSERT_EQ(Render(e, gray, out), Ok);
    EXPECT_EQ(At(out, 0, 0), cv::Vec4b(165, 165, 165, 5));

    // Three levels, a third each: Q = trunc(85 - 1) = 84, trunc(170 - 1) = 169, 254.
    const auto Q = e.CdfTable(SolidFrame(3, 3, cv::Scalar(40, 90, 200, 0)).image);
    EXPECT_EQ(Q[39], 0);
    EXPECT_EQ(Q[40], 84);
    EXPECT_EQ(Q[90], 169);
    EXPECT_EQ(Q[200], 254);
    EXPECT_EQ(Q[255], 254);

    // Mode 1 on a gray frame: its lightness maps to 254, and gray stays gray.
    ASSERT_EQ(SetI(e, "mode", 1), Ok);
    ASSERT_EQ(SetI(e, "equalize_grain", 100), Ok);
    ASSERT_EQ(Render(e, gray, out), Ok);
    EXPECT_EQ(At(out, 40, 22), cv::Vec4b(254, 254, 254, 5));
}

// Q[255] = 254 for any frame size, though N (255 / N) is not always 255 in float.
TEST(Equalizer, TopLevelIsAlways254) {
    VideoEffectHistogramEqualize e;
    for (int w = 1; w < 300; ++w) {
        const auto Q = e.CdfTable(SolidFrame(w, 7, cv::Scalar(255, 255, 255, 0)).image);
        ASSERT_EQ(Q[255], 254) << w;
    }
}

// Threshold 0 makes every pixel white, 255 every pixel black but those of gray 255 (by the image
// library's own conversion).
TEST(Threshold, Extremes) {
    HostFrame in = RandomFrame(64, 64, 5);
    for (int i = 0; i < 64; ++i) in.image.at<cv::Vec4b>(i, i) = cv::Vec4b(255 - i % 3, 255, 255 - i % 2, 9);
    HostFrame out = SolidFrame(64, 64, cv::Scalar::all(0));
    cv::Mat gray;
    cv::cvtColor(in.image, gray, cv::COLOR_BGRA2GRAY);
    VideoEffectThreshold e;
    for (int t : {0, 255, 128}) {
        ASSERT_EQ(SetI(e, "threshold", t), Ok);
        ASSERT_EQ(Render(e, in, out), Ok);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const uint8_t v = gray.at<uint8_t>(y, x) >= t ? 255 : 0;
                ASSERT_EQ(At(out, x, y), cv::Vec4b(v, v, v, At(in, x, y)[3])) << t << " at " << x << "," << y;
            }
    }
}

TEST(Extract, KeyTables) {
    struct Case {
        int black, white, softness;
        std::vector<std::pair<int, int>> values;  // luma -> key
    };
    const Case cases[] = {
        // Softness 0: a hard key, white from Black_level to White_level inclusive.
        {64, 192, 0, {{63, 0}, {64, 255}, {128, 255}, {192, 255}, {193, 0}}},
        // Defaults: L = 48, a = 80, z = 176, H = 208, slopes 255 / 32; 127.5 rounds to even.
        {64, 192, 25, {{47, 0}, {48, 0}, {64, 128}, {79, 247}, {80, 255}, {176, 255}, {192, 128}, {208, 0}, {209, 0}}},
        // lo = -25 < 1: the ramp from 0 at Y = 0 reaches V = 25 255 / 50 = 127.5 at a = 25.
        {0, 100, 50, {{0, 0}, {10, 51}, {24, 122}, {25, 255}, {75, 255}, {101, 122}, {125, 0}, {126, 0}}},
    };
    for (const Case& c : cases) {
        VideoEffectExtract e;
        SetI(e, "Black_level", c.black);
        SetI(e, "White_level", c.white);
        SetI(e, "Softness", c.softness);
        const auto key = e.KeyTable();
        for (auto [Y, v] : c.values) EXPECT_EQ(key[Y], v) << c.black << "/" << c.white << "/" << c.softness << " Y " << Y;
    }
    // Rendered: the gray (100, 100, 100) has luma 11 + 58 + 29 = 98; Reverse inverts.
    VideoEffectExtract e;
    SetI(e, "Softness", 0);
    HostFrame in = SolidFrame(5, 5, cv::Scalar(100, 100, 100, 33));
    HostFrame out = SolidFrame(5, 5, cv::Scalar::all(0));
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 2, 2), cv::Vec4b(255, 255, 255, 33));
    SetB(e, "Reverse", true);
    ASSERT_EQ(Render(e, in, out), Ok);
    EXPECT_EQ(At(out, 2, 2), cv::Vec4b(0, 0, 0, 33));
}

namespace {

// The 4-connected region of pixels within squared distance < t^2 of the seed's colour, by a
// plain breadth-first search.
cv::Mat ReferenceFill(const cv::Mat& in, int sx, int sy, double t) {
    cv::Mat mask(in.size(), CV_8U, cv::Scalar(0));
    const cv::Vec4b seed = in.at<cv::Vec4b>(sy, sx);
    auto joins = [&](int x, int y) {
        const cv::Vec4b p = in.at<cv::Vec4b>(y, x);
        double d = 0;
        for (int c = 0; c < 4; ++c) d += (p[c] - seed[c]) * (p[c] - seed[c]);
        return d < t * t;
    };
    std::queue<cv::Point> q;
    if (joins(sx, sy)) {
        mask.at<uint8_t>(sy, sx) = 1;
        q.push({sx, sy});
    }
    while (!q.empty()) {
        const cv::Point p = q.front();
        q.pop();
        const cv::Point n[4] = {{p.x - 1, p.y}, {p.x + 1, p.y}, {p.x, p.y - 1}, {p.x, p.y + 1}};
        for (const cv::Point& m : n) {
            if (m.x < 0 || m.y < 0 || m.x >= in.cols || m.y >= in.rows || mask.at<uint8_t>(m)) continue;
            if (!joins(m.x, m.y)) continue;
            mask.at<uint8_t>(m) = 1;
            q.push(m);
        }
    }
    return mask;
}

}  // namespace

// A maze of two colours (deep enough that most of the fill goes through the queue) filled from
// several seeds, against a plain breadth-first search; the seed outside the frame is clamped.
TEST(PaintBucket, FillsTheConnectedRegion) {
    const int w = 301, h = 203;
    HostFrame in = SolidFrame(w, h, cv::Scalar(20, 30, 40, 250));
    cv::RNG rng(4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (rng.uniform(0, 100) < 40) in.image.at<cv::Vec4b>(y, x) = cv::Vec4b(24, 30, 40, 250);  // distance 4
            else if (rng.uniform(0, 100) < 15) in.image.at<cv::Vec4b>(y, x) = cv::Vec4b(200, 30, 40, 250);
    struct Case {
        float px, py, tolerance;
        int sx, sy;
    };
    const Case cases[] = {
        {0.5f, 0.5f, 4.0f, 150, 101},    // only the exact colour: distance 4 is not below 4
        {0.5f, 0.5f, 4.01f, 150, 101},   // both near colours
        {0.1f, 0.9f, 300.0f, 30, 182},   // everything
        {7.0f, -3.0f, 4.01f, 300, 0},    // clamped to the top right pixel
        {0.5f, 0.5f, 0.0f, 150, 101},    // nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.px) + "," + std::to_string(c.py) + " t " + std::to_string(c.tolerance));
        int sx, sy;
        VideoEffectPaintBucket::Seed(c.px, c.py, w, h, &sx, &sy);
        EXPECT_EQ(sx, c.sx);
        EXPECT_EQ(sy, c.sy);
        VideoEffectPaintBucket e;
        SetF(e, "point_x", c.px);
        SetF(e, "point_y", c.py);
        SetF(e, "tolerance", c.tolerance);
        SetI(e, "fill_color_red", 1);
        SetI(e, "fill_color_green", 2);
        SetI(e, "fill_color_blue", 3);
        HostFrame out = SolidFrame(w, h, cv::Scalar::all(0));
        ASSERT_EQ(Render(e, in, out), Ok);
        const cv::Mat mask = ReferenceFill(in.image, sx, sy, c.tolerance);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const cv::Vec4b src = At(in, x, y);
                const cv::Vec4b want = mask.at<uint8_t>(y, x) ? cv::Vec4b(3, 2, 1, src[3]) : src;
                ASSERT_EQ(At(out, x, y), want) << x << "," << y;
            }
    }
}
