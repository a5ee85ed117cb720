// The colour effects that key on the distance to one colour: colour pass, colour replace and leave
// colour.
#include "effects/colour/ColorEffects.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <opencv2/core/hal/intrin.hpp>

#include "effects/ColorEffectsShared.h"
#include "effects/LumaTable.h"
#include "imagecpu/BlendTables.h"
#include "imagecpu/SaturatingCasts.h"

namespace orvex {

using colorfx::ColorRows;

namespace {

// --- colour pass, colour replace, leave colour -----------------------------------------------------

// Weighted squared distance of each channel to the chosen colour: 3 dB^2, 4 dG^2, 2 dR^2.
struct DistanceTables {
    int32_t b[256], g[256], r[256];
    DistanceTables(int blue, int green, int red) {
        for (int v = 0; v < 256; ++v) {
            b[v] = 3 * (v - blue) * (v - blue);
            g[v] = 4 * (v - green) * (v - green);
            r[v] = 2 * (v - red) * (v - red);
        }
    }
    int operator()(const uint8_t* p) const { return b[p[0]] + g[p[1]] + r[p[2]]; }
};

class parallelColorPass final : public ColorRows {
public:
    parallelColorPass(const cv::Mat& in, cv::Mat& out, const DistanceTables& dist, int theta, bool reverse)
        : ColorRows(in, out), dist_(dist), theta_(theta), reverse_(reverse) {}
    void Rows(int y0, int y1) const override {
        const LumaTable& luma = IntegerLuma();
        // In locals: the byte stores below could alias the body's fields.
        const DistanceTables& dist = dist_;
        const int theta = theta_, cols = in_.cols;
        const bool reverse = reverse_;
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr<uint8_t>(y);
            uint8_t* d = out_.ptr<uint8_t>(y);
            for (int x = 0; x < cols; ++x, s += 4, d += 4) {
                const int D = dist(s);
                // D = theta keeps its colour either way.
                const bool gray = reverse ? D < theta : D > theta;
                if (gray) {
                    const uint8_t Y = static_cast<uint8_t>(luma(s[0], s[1], s[2]));
                    d[0] = Y;
                    d[1] = Y;
                    d[2] = Y;
                } else {
                    const uint8_t b = s[0], g = s[1], r = s[2];
                    d[0] = b;
                    d[1] = g;
                    d[2] = r;
                }
                d[3] = s[3];
            }
        }
    }

private:
    const DistanceTables& dist_;
    int theta_;
    bool reverse_;
};

class parallelColorReplace final : public ColorRows {
public:
    // shaded[c][Y] is the replacement colour of channel c for a pixel of luma Y.
    parallelColorReplace(const cv::Mat& in, cv::Mat& out, const DistanceTables& dist, int theta,
                         const uint8_t (*shaded)[256])
        : ColorRows(in, out), dist_(dist), theta_(theta), shaded_(shaded) {}
    void Rows(int y0, int y1) const override {
        const LumaTable& luma = IntegerLuma();
        // In locals: the byte stores below could alias the body's fields.
        const DistanceTables& dist = dist_;
        const int theta = theta_, cols = in_.cols;
        const uint8_t (*shaded)[256] = shaded_;
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr<uint8_t>(y);
            uint8_t* d = out_.ptr<uint8_t>(y);
            for (int x = 0; x < cols; ++x, s += 4, d += 4) {
                uint8_t b = s[0], g = s[1], r = s[2];
                if (dist(s) < theta) {
                    const int Y = luma(b, g, r);
                    b = shaded[0][Y];
                    g = shaded[1][Y];
                    r = shaded[2][Y];
                }
                d[0] = b;
                d[1] = g;
                d[2] = r;
                d[3] = s[3];
            }
        }
    }

private:
    const DistanceTables& dist_;
    int theta_;
    const uint8_t (*shaded_)[256];
};

class parallelLeaveColor final : public ColorRows {
public:
    // keep[c] = M[c][k] and gray[Y] = M[Y][255 - k]: the two halves of the mix towards the luma.
    parallelLeaveColor(const cv::Mat& in, cv::Mat& out, int red, int green, int blue, int theta, const uint8_t* keep,
                       const uint8_t* gray)
        : ColorRows(in, out), red_(red), green_(green), blue_(blue), theta_(theta), keep_(keep), gray_(gray) {}
    void Rows(int y0, int y1) const override {
        const LumaTable& luma = IntegerLuma();
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr<uint8_t>(y);
            uint8_t* d = out_.ptr<uint8_t>(y);
            for (int x = 0; x < in_.cols; ++x, s += 4, d += 4) {
                uint8_t b = s[0], g = s[1], r = s[2];
                const int dr = r - red_, dg = g - green_, db = b - blue_;
                // The kept colour itself has distance 0, never above theta >= 0: unchanged.
                if (dr * dr + dg * dg + db * db > theta_) {
                    const int toGray = gray_[luma(b, g, r)];
                    b = static_cast<uint8_t>(ClampToByte(keep_[b] + toGray));
                    g = static_cast<uint8_t>(ClampToByte(keep_[g] + toGray));
                    r = static_cast<uint8_t>(ClampToByte(keep_[r] + toGray));
                }
                d[0] = b;
                d[1] = g;
                d[2] = r;
                d[3] = s[3];
            }
        }
    }

private:
    int red_, green_, blue_, theta_;
    const uint8_t* keep_;
    const uint8_t* gray_;
};

}  // namespace

// --- colour pass -----------------------------------------------------------------------------------------

VideoEffectColorPass::VideoEffectColorPass() {
    IntegerLuma();
    Kernel(DeclareBool("Reverse", &reverse_, false), "reverse");
    Kernel(DeclareInt("Similar", &similar_, 8, 0, 100, 8), "similar");
    Kernel(DeclareByte("Pass_Red", &passRed_, 255), "pass_r");
    Kernel(DeclareByte("Pass_Green", &passGreen_, 0), "pass_g");
    Kernel(DeclareByte("Pass_Blue", &passBlue_, 0), "pass_b");
}

ResultCode VideoEffectColorPass::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    const DistanceTables dist(passBlue_, passGreen_, passRed_);
    cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    parallelColorPass body(in, out, dist, 36 * similar_ * similar_, reverse_);
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

// --- colour replace --------------------------------------------------------------------------------------

VideoEffectColorReplace::VideoEffectColorReplace() {
    IntegerLuma();
    Kernel(DeclareBool("Solid", &solid_, false), "soild_flag");
    Kernel(DeclareInt("Similar", &similar_, 8, 0, 100, 8), "similar");
    Kernel(DeclareByte("Target_Red", &targetRed_, 255), "target_r");
    Kernel(DeclareByte("Target_Green", &targetGreen_, 0), "target_g");
    Kernel(DeclareByte("Target_Blue", &targetBlue_, 0), "target_b");
    Kernel(DeclareByte("Replace_Red", &replaceRed_, 0), "replace_r");
    Kernel(DeclareByte("Replace_Green", &replaceGreen_, 0), "replace_g");
    Kernel(DeclareByte("Replace_Blue", &replaceBlue_, 255), "replace_b");
}

ResultCode VideoEffectColorReplace::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    const DistanceTables dist(targetBlue_, targetGreen_, targetRed_);
    // Solid replaces with the colour itself; otherwise the colour is shaded by the pixel's luma.
    uint8_t shaded[3][256];
    const int replace[3] = {replaceBlue_, replaceGreen_, replaceRed_};
    const uint8_t* M = MulTable();
    for (int c = 0; c < 3; ++c)
        for (int Y = 0; Y < 256; ++Y) shaded[c][Y] = solid_ ? static_cast<uint8_t>(replace[c]) : M[Y * 256 + replace[c]];
    cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    parallelColorReplace body(in, out, dist, 36 * similar_ * similar_, shaded);
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

// --- leave colour ------------------------------------------------------------------------------------------

VideoEffectLeaveColor::VideoEffectLeaveColor() {
    IntegerLuma();
    Kernel(DeclareInt("red_leave", &redLeave_, 255, 0, 255, 255), "red_leave");
    Kernel(DeclareInt("green_leave", &greenLeave_, 0, 0, 255, 255), "green_leave");
    Kernel(DeclareInt("blue_leave", &blueLeave_, 0, 0, 255, 255), "blue_leave");
    DeclareFloat("amount", &amount_, 100, 0, 100, 100);
    DeclareFloat("tolerance", &tolerance_, 15, 0, 100, 15);
}

void VideoEffectLeaveColor::Weights(int* k, int* theta) const {
    *k = static_cast<int>((1 - amount_ * 0.01) * 255);
    // 442.5 is about the largest RGB distance (sqrt(3) * 255 = 441.7), so tolerance is a percentage of it.
    const double radius = tolerance_ * 0.01 * 442.5;
    *theta = static_cast<int>(radius * radius);
}

ResultCode VideoEffectLeaveColor::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result = Ok;
    if (!FramesUsable(input, output, &result)) return result;
    int k = 0, theta = 0;
    Weights(&k, &theta);
    const uint8_t* M = MulTable();
    uint8_t keep[256], gray[256];
    for (int v = 0; v < 256; ++v) {
        keep[v] = M[v * 256 + k];
        gray[v] = M[v * 256 + 255 - k];
    }
    cv::Mat in = WrapBGRA(*input);
    cv::Mat out = WrapBGRA(*output);
    parallelLeaveColor body(in, out, redLeave_, greenLeave_, blueLeave_, theta, keep, gray);
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

}  // namespace orvex
