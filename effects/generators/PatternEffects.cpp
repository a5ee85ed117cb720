// The mask generators (grid, checkerboard, circle), their shared colour compositing, and the ramp.
#include "effects/generators/GeneratorEffects.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <opencv2/imgproc.hpp>

#include "effects/ColorEffectsShared.h"
#include "effects/EffectMath.h"
#include "effects/LumaTable.h"
#include "imagecpu/BlendTables.h"
#include "imagecpu/SaturatingCasts.h"

namespace orvex {


cv::Mat PixelInput(const cv::Mat& in, const cv::Mat& out) {
    if (in.data == out.data && in.step == out.step) return in;
    return ReadableInput(in, out);
}

int ScaledPosition(int size, float fraction) { return TruncToInt(static_cast<float>(size) * fraction); }

namespace {

// The opacity byte of a percentage: trunc(alpha 255 / 100), held to 0..255.
int OpacityByte(int percent) { return std::clamp(percent, 0, 100) * 255 / 100; }

// Box sizes of a feather width: 2 floor(f / 2) + 1 when f exceeds 1, else no blur.
int FeatherBox(int f) { return f > 1 ? 2 * (f / 2) + 1 : 1; }

void Feather(cv::Mat& mask, cv::Mat& scratch, int boxW, int boxH) {
    if (boxW > 1) {
        cv::blur(mask, scratch, cv::Size(boxW, 1), cv::Point(-1, -1), cv::BORDER_REFLECT_101);
        cv::swap(mask, scratch);
    }
    if (boxH > 1) {
        cv::blur(mask, scratch, cv::Size(1, boxH), cv::Point(-1, -1), cv::BORDER_REFLECT_101);
        cv::swap(mask, scratch);
    }
}

int64_t Abs64(int64_t v) { return v < 0 ? -v : v; }
int32_t ToInt32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// --- the compositing bodies ------------------------------------------------------------------------

class parallelPatternBlend final : public RowBandBody {
public:
    parallelPatternBlend(const cv::Mat& in, cv::Mat& out, const cv::Mat& mask, const PatternBlend& b,
                         BandScratchSet& scratch)
        : in_(in), out_(out), mask_(mask), b_(b), scratch_(scratch), M_(MulTable()) {
        gray_ = b.color[0] == b.color[1] && b.color[1] == b.color[2];
        ColorToHLS(b.color, hls_);
    }

    void Rows(int y0, int y1) const override {
        const int mode = b_.mode;
        if (mode >= 15 && mode <= 18 && !(gray_ && mode <= 17)) {
            HlsRows(y0, y1);
            return;
        }
        const uint8_t* M = M_;
        const int k0 = b_.k0;
        const uint8_t* y = b_.color;
        const uint8_t* T = mode >= 3 && mode <= 14 ? GetBlendTables().table(mode - 3) : nullptr;
        const LumaTable& luma = IntegerLuma();
        for (int row = y0; row < y1; ++row) {
            const uint8_t* s = in_.ptr<uint8_t>(row);
            const uint8_t* m = mask_.ptr<uint8_t>(row);
            uint8_t* d = out_.ptr<uint8_t>(row);
            for (int x = 0; x < in_.cols; ++x, s += 4, d += 4) {
                const int mm = m[x];
                const uint8_t alpha = s[3];
                if (mode == 0) {
                    const int a = M[mm * 256 + k0];
                    for (int c = 0; c < 3; ++c) d[c] = M[y[c] * 256 + a];
                } else if (mode == 1 && !b_.twoStepNormal) {
                    const int a = M[mm * 256 + k0];
                    for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(M[s[c] * 256 + 255 - a] + M[y[c] * 256 + a]);
                } else if (mode == 2) {
                    const int a = M[mm * 256 + k0];
                    for (int c = 0; c < 3; ++c) d[c] = M[s[c] * 256 + a];
                } else if (mode <= 14) {
                    for (int c = 0; c < 3; ++c) {
                        const int x0 = s[c];
                        const int bl = T ? T[x0 * 256 + y[c]] : y[c];
                        const int u = M[bl * 256 + mm] + M[x0 * 256 + 255 - mm];
                        d[c] = static_cast<uint8_t>(M[u * 256 + k0] + M[x0 * 256 + 255 - k0]);
                    }
                } else {
                    // A gray colour has no hue or saturation to give: the frame is desaturated
                    // toward its luma instead.
                    const int Y = luma(s[0], s[1], s[2]);
                    for (int c = 0; c < 3; ++c) {
                        const int x0 = s[c];
                        const int g = M[x0 * 256 + 255 - k0] + M[Y * 256 + k0];
                        d[c] = static_cast<uint8_t>(M[g * 256 + mm] + M[x0 * 256 + 255 - mm]);
                    }
                }
                d[3] = alpha;
            }
        }
    }

private:
    void HlsRows(int y0, int y1) const {
        BandScratch& sc = scratch_[colorfx::BandOf(y0, height)];
        const int variant = b_.mode - 15;
        const uint8_t* M = M_;
        const int k0 = b_.k0;
        colorfx::ForStrips(y0, y1, [&](int y, int n) {
            const cv::Mat src = in_.rowRange(y, y + n);
            cv::Mat hls = colorfx::ScratchRows(sc.m[0], n, in_.cols, CV_8UC3);
            cv::cvtColor(src, hls, cv::COLOR_BGR2HLS);
            for (int r = 0; r < n; ++r) {
                uint8_t* h = hls.ptr<uint8_t>(r);
                for (int x = 0; x < in_.cols; ++x, h += 3) {
                    if (variant == 0 || variant == 2) h[0] = hls_[0];
                    if (variant == 1 || variant == 2) h[2] = hls_[2];
                    if (variant == 3) h[1] = hls_[1];
                }
            }
            cv::Mat bgr = colorfx::ScratchRows(sc.m[1], n, in_.cols, CV_8UC3);
            cv::cvtColor(hls, bgr, cv::COLOR_HLS2BGR);
            for (int r = 0; r < n; ++r) {
                const uint8_t* s = in_.ptr<uint8_t>(y + r);
                const uint8_t* p = bgr.ptr<uint8_t>(r);
                const uint8_t* m = mask_.ptr<uint8_t>(y + r);
                uint8_t* d = out_.ptr<uint8_t>(y + r);
                for (int x = 0; x < in_.cols; ++x, s += 4, p += 3, d += 4) {
                    const int mm = m[x];
                    const uint8_t alpha = s[3];
                    for (int c = 0; c < 3; ++c) {
                        const int x0 = s[c];
                        const int u = M[p[c] * 256 + mm] + M[x0 * 256 + 255 - mm];
                        d[c] = static_cast<uint8_t>(M[u * 256 + k0] + M[x0 * 256 + 255 - k0]);
                    }
                    d[3] = alpha;
                }
            }
        });
    }

    const cv::Mat& in_;
    cv::Mat& out_;
    const cv::Mat& mask_;
    const PatternBlend& b_;
    BandScratchSet& scratch_;
    const uint8_t* M_;
    bool gray_ = false;
    uint8_t hls_[3];
};

}  // namespace

void ColorToHLS(const uint8_t bgr[3], uint8_t hls[3]) {
    cv::Mat one(1, 1, CV_8UC3, cv::Scalar(bgr[0], bgr[1], bgr[2]));
    cv::Mat out;
    cv::cvtColor(one, out, cv::COLOR_BGR2HLS);
    std::memcpy(hls, out.ptr<uint8_t>(0), 3);
}

void BlendPatternColor(const cv::Mat& in, cv::Mat& out, const cv::Mat& mask, const PatternBlend& blend,
                       BandScratchSet& scratch) {
    const cv::Mat src = PixelInput(in, out);
    parallelPatternBlend body(src, out, mask, blend, scratch);
    RunRowBands(body, src.cols, src.rows);
}

// --- grid ----------------------------------------------------------------------------------------------

bool GridLayout::RowOnLine(int y) const {
    // Line i covers d when i cell <= d < i cell + T: i runs over ((d - T) / cell, d / cell].
    const int64_t d = Abs64(static_cast<int64_t>(y) - py) + thickness / 2;
    const int64_t last = std::min(linesH - 1, d / cellH);
    const int64_t first = d - thickness < 0 ? 0 : (d - thickness) / cellH + 1;
    return first <= last;
}

bool GridLayout::ColumnOnLine(int x) const {
    const int64_t d = Abs64(static_cast<int64_t>(x) - px) + thickness / 2;
    const int64_t last = std::min(linesV - 1, d / cellW);
    const int64_t first = d - thickness < 0 ? 0 : (d - thickness) / cellW + 1;
    return first <= last;
}

VideoEffectGrid::VideoEffectGrid() {
    DeclareFloat("Position_x", &positionX_, 0.5f);
    DeclareFloat("Position_y", &positionY_, 0.5f);
    DeclareFloat("Corner_x", &cornerX_, 0.6f);
    DeclareFloat("Corner_y", &cornerY_, 0.6f);
    DeclareInt("Mode", &mode_, 0, 0, 2, 0);
    DeclareInt("Cube_width", &cubeWidth_, 32, 4, 200, 32);
    DeclareInt("Cube_height", &cubeHeight_, 24, 4, 200, 24);
    DeclareInt("Thickness", &thickness_, 5, 0, 100, 5);
    DeclareInt("Feather_width", &featherWidth_, 0, 0, 20, 0);
    DeclareInt("Feather_height", &featherHeight_, 0, 0, 20, 0);
    DeclareBool("Reverse", &reverse_, false);
    DeclareByte("Red", &red_, 255);
    DeclareByte("Green", &green_, 255);
    DeclareByte("Blue", &blue_, 255);
    DeclareInt("Alpha", &alpha_, 100, 0, 100, 100);
    DeclareInt("Blend_mode", &blendMode_, 1, 0, 18, 1);
}

GridLayout VideoEffectGrid::Layout(int w, int h) {
    GridLayout g;
    g.px = ScaledPosition(w, positionX_);
    g.py = ScaledPosition(h, positionY_);
    const int cx = ScaledPosition(w, cornerX_), cy = ScaledPosition(h, cornerY_);
    g.thickness = std::clamp(thickness_, 0, 100);
    if (mode_ == 0) {
        g.cellW = Abs64(static_cast<int64_t>(cx) - w / 2 - g.thickness);
        g.cellH = Abs64(static_cast<int64_t>(cy) - h / 2 - g.thickness);
        cubeWidth_ = ToInt32(g.cellW);
        cubeHeight_ = ToInt32(g.cellH);
    } else {
        g.cellW = cubeWidth_;
        g.cellH = mode_ == 1 ? cubeWidth_ : cubeHeight_;
    }
    if (g.cellW < 2) g.cellW = 1;
    if (g.cellH < 2) g.cellH = 1;
    const int64_t spanH = g.py < h / 2 ? static_cast<int64_t>(h) - g.py : g.py;
    const int64_t spanV = g.px < w / 2 ? static_cast<int64_t>(w) - g.px : g.px;
    g.linesH = 2 * spanH / g.cellH;
    g.linesV = 2 * spanV / g.cellW;
    g.reverse = reverse_;
    g.featherW = FeatherBox(featherWidth_);
    g.featherH = FeatherBox(featherHeight_);
    return g;
}

PatternBlend VideoEffectGrid::Blend() const {
    return {{blue_, green_, red_}, OpacityByte(alpha_), std::clamp(blendMode_, 0, 18), false};
}

ResultCode VideoEffectGrid::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    cv::Mat out = WrapBGRA(*output);
    const cv::Mat in = WrapBGRA(*input);
    const GridLayout g = Layout(in.cols, in.rows);
    const uint8_t line = g.reverse ? 0 : 255, ground = g.reverse ? 255 : 0;
    mask_.create(in.rows, in.cols, CV_8UC1);
    std::vector<uint8_t> columns(static_cast<size_t>(in.cols));
    for (int x = 0; x < in.cols; ++x) columns[x] = g.ColumnOnLine(x);
    for (int y = 0; y < in.rows; ++y) {
        uint8_t* m = mask_.ptr<uint8_t>(y);
        if (g.RowOnLine(y)) {
            std::memset(m, line, static_cast<size_t>(in.cols));
        } else {
            for (int x = 0; x < in.cols; ++x) m[x] = columns[x] ? line : ground;
        }
    }
    Feather(mask_, featherScratch_, g.featherW, g.featherH);
    BlendPatternColor(in, out, mask_, Blend(), scratch_);
    return Ok;
}

// --- checkerboard ------------------------------------------------------------------------------------

int CheckerLayout::RowParity(int y) const {
    return static_cast<int>((Abs64(static_cast<int64_t>(y) - py) / cellH + (y > py ? 1 : 0)) & 1);
}

int CheckerLayout::ColumnParity(int x) const {
    return static_cast<int>((Abs64(static_cast<int64_t>(x) - px) / cellW + (x <= px ? 1 : 0)) & 1);
}

VideoEffectCheckerboard::VideoEffectCheckerboard() {
    DeclareFloat("Position_x", &positionX_, 0.5f, 0, 1, 0.5f);
    DeclareFloat("Position_y", &positionY_, 0.5f, 0, 1, 0.5f);
    DeclareFloat("Corner_x", &cornerX_, 0.58f, 0, 1, 0.58f);
    DeclareFloat("Corner_y", &cornerY_, 0.58f, 0, 1, 0.58f);
    DeclareInt("Mode", &mode_, 1);
    DeclareInt("Cube_width", &cubeWidth_, 16, 2, 200, 16);
    DeclareInt("Cube_height", &cubeHeight_, 8, 2, 200, 8);
    DeclareInt("Feather_width", &featherWidth_, 0, 0, 20, 0);
    DeclareInt("Feather_height", &featherHeight_, 0, 0, 20, 0);
    DeclareByte("Red", &red_, 255);
    DeclareByte("Green", &green_, 255);
    DeclareByte("Blue", &blue_, 255);
    DeclareInt("Alpha", &alpha_, 100, 0, 100, 100);
    DeclareInt("Blend_mode", &blendMode_, 1, 0, 18, 1);
}

CheckerLayout VideoEffectCheckerboard::Layout(int w, int h) {
    CheckerLayout g;
    g.px = ScaledPosition(w, positionX_);
    g.py = ScaledPosition(h, positionY_);
    const int cx = ScaledPosition(w, cornerX_), cy = ScaledPosition(h, cornerY_);
    if (mode_ == 0) {
        g.cellW = Abs64(static_cast<int64_t>(cx) - w / 2);
        g.cellH = Abs64(static_cast<int64_t>(cy) - h / 2);
        cubeWidth_ = ToInt32(g.cellW);
        cubeHeight_ = ToInt32(g.cellH);
    } else {
        g.cellW = cubeWidth_;
        g.cellH = mode_ == 1 ? cubeWidth_ : cubeHeight_;
    }
    if (g.cellW < 1) g.cellW = 1;
    if (g.cellH < 1) g.cellH = 1;
    g.featherW = FeatherBox(featherWidth_);
    g.featherH = FeatherBox(featherHeight_);
    return g;
}

PatternBlend VideoEffectCheckerboard::Blend() const {
    return {{blue_, green_, red_}, OpacityByte(alpha_), std::clamp(blendMode_, 0, 18), false};
}

ResultCode VideoEffectCheckerboard::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    cv::Mat out = WrapBGRA(*output);
    const cv::Mat in = WrapBGRA(*input);
    const CheckerLayout g = Layout(in.cols, in.rows);
    // The parity of i + j + [x <= px] + [y > py] splits into a row term and a column term.
    rowParity_.resize(static_cast<size_t>(in.rows));
    columnParity_.resize(static_cast<size_t>(in.cols));
    for (int y = 0; y < in.rows; ++y) rowParity_[y] = static_cast<uint8_t>(g.RowParity(y));
    for (int x = 0; x < in.cols; ++x) columnParity_[x] = static_cast<uint8_t>(g.ColumnParity(x));
    mask_.create(in.rows, in.cols, CV_8UC1);
    for (int y = 0; y < in.rows; ++y) {
        uint8_t* m = mask_.ptr<uint8_t>(y);
        const uint8_t r = rowParity_[y];
        for (int x = 0; x < in.cols; ++x) m[x] = (r ^ columnParity_[x]) ? 255 : 0;
    }
    Feather(mask_, featherScratch_, g.featherW, g.featherH);
    BlendPatternColor(in, out, mask_, Blend(), scratch_);
    return Ok;
}

// --- circle -----------------------------------------------------------------------------------------------

namespace {

// The smooth step: 0 below 1e-6, 1 above 1, (3 - 2u) u^2 between.
float Smooth(float u) {
    if (u < 1e-6f) return 0.0f;
    if (u > 1.0f) return 1.0f;
    return (3.0f - 2.0f * u) * u * u;
}

}  // namespace

float CircleShape::Coverage(float r) const {
    const float R = radius, t = thickness;
    if (edgeMode == 0) {
        const float fo = featherOuter * 0.01f;
        const float Ro = (1.0f + fo) * R, Ri = (1.0f - fo) * R;
        const float a = r - Ro, b = r - Ri;
        float f = 1.0f;
        if (a < 1e-6f && b > 1e-6f) {
            const float s = 1.0f - Smooth(b / (Ro - Ri + 1e-6f));
            f = s * s;
        }
        const float g = Smooth(a / 2.0f + 1.0f);
        return (1.0f - g) * f;
    }
    float Ro, Ri;
    if (edgeMode == 1) {
        Ri = std::min(R, t);
        Ro = std::max(R, t);
    } else if (edgeMode == 2) {
        Ri = R - t / 2.0f;
        Ro = R + t / 2.0f;
    } else {
        Ri = R * (1.0f - t * 0.01f);
        Ro = R;
    }
    const float fo = featherOuter * 0.01f, fi = featherInner;
    const float Ro1 = (1.0f - fo) * Ro, Ro2 = (1.0f + fo) * Ro;
    const float Ri1 = Ri - fi, Ri2 = std::min(Ro2, Ri + fi);
    const float inner = std::max(0.0f, Ri1);
    float Fo = 1.0f, Fi = 1.0f;
    if (r - Ro1 > 1e-6f && Ro2 - r > 1e-6f) {
        const float s = 1.0f - Smooth((r - Ro1) / (Ro2 - Ro1 + 1e-6f));
        Fo = s * s;
    }
    if (r - inner > 1e-6f && Ri2 - r > 1e-6f) {
        const float s = Smooth((r - Ri1) / (2.0f * fi + 1e-6f));
        Fi = s * s;
    }
    const float gi = Smooth((r - inner) / 2.0f);
    const float go = Smooth((r - Ro2) / 2.0f + 1.0f);
    return (1.0f - go) * gi * Fo * Fi;
}

uint8_t CircleShape::MaskByte(int x, int y) const {
    const float dx = static_cast<float>(x) - cx, dy = static_cast<float>(y) - cy;
    const float r = 1.0f / FastInvSqrt(dx * dx + dy * dy);
    float c = Coverage(r);
    if (reverse) c = 1.0f - c;
    return static_cast<uint8_t>(RoundToByte(c * 255.0f));
}

VideoEffectCircle::VideoEffectCircle() {
    DeclareFloat("center_x", &centerX_, 0.5f);
    DeclareFloat("center_y", &centerY_, 0.5f);
    DeclareFloat("radius", &radius_, 75, 0, 600, 75);
    DeclareInt("edge_mode", &edgeMode_, 1, 0, 3, 1);
    DeclareFloat("thickness", &thickness_, 10, 0, 600, 10);
    DeclareFloat("feather_radius_outer", &featherOuter_, 0, 0, 100, 0);
    DeclareFloat("feather_radius_inner", &featherInner_, 0, 0, 100, 0);
    DeclareBool("reverse", &reverse_, false);
    DeclareByte("red", &red_, 255);
    DeclareByte("green", &green_, 255);
    DeclareByte("blue", &blue_, 255);
    DeclareInt("alpha", &alpha_, 100, 0, 100, 100);
    DeclareInt("blend_mode", &blendMode_, 1, 0, 18, 1);
}

CircleShape VideoEffectCircle::Shape(int w, int h) const {
    CircleShape s;
    s.cx = static_cast<float>(ScaledPosition(w, centerX_));
    s.cy = static_cast<float>(ScaledPosition(h, centerY_));
    s.edgeMode = std::clamp(edgeMode_, 0, 3);
    s.radius = radius_;
    s.thickness = thickness_;
    s.featherOuter = featherOuter_;
    s.featherInner = featherInner_;
    s.reverse = reverse_;
    return s;
}

PatternBlend VideoEffectCircle::Blend() const {
    return {{blue_, green_, red_}, OpacityByte(alpha_), std::clamp(blendMode_, 0, 18), true};
}

ResultCode VideoEffectCircle::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    cv::Mat out = WrapBGRA(*output);
    const cv::Mat in = WrapBGRA(*input);
    const CircleShape s = Shape(in.cols, in.rows);
    mask_.create(in.rows, in.cols, CV_8UC1);
    for (int y = 0; y < in.rows; ++y) {
        uint8_t* m = mask_.ptr<uint8_t>(y);
        for (int x = 0; x < in.cols; ++x) m[x] = s.MaskByte(x, y);
    }
    BlendPatternColor(in, out, mask_, Blend(), scratch_);
    return Ok;
}

// --- ramp ----------------------------------------------------------------------------------------------------

void RampLayout::At(int x, int y, uint8_t bgr[3]) const {
    const float L = length;
    if (mode != 0) {
        const float dx = static_cast<float>(x - x0), dy = static_cast<float>(y - y0);
        const float d = 1.0f / FastInvSqrt(dx * dx + dy * dy);
        for (int c = 0; c < 3; ++c) {
            bgr[c] = d - L < 1e-6f ? static_cast<uint8_t>(static_cast<int>(
                                         d * static_cast<float>(end[c] - begin[c]) / L + static_cast<float>(begin[c])))
                                   : end[c];
        }
        return;
    }
    if (y0 == y1) {
        // Along columns: the leftmost point's colour to its left, the other colour past the other.
        const bool forward = x0 <= x1;
        if (x < std::min(x0, x1) || x > std::max(x0, x1)) {
            const bool beforeBegin = forward ? x < x0 : x > x0;
            std::memcpy(bgr, beforeBegin ? begin : end, 3);
            return;
        }
        const float t = static_cast<float>(std::abs(x - x0));
        for (int c = 0; c < 3; ++c)
            bgr[c] = static_cast<uint8_t>(
                static_cast<int>(static_cast<float>(begin[c]) + t * static_cast<float>(end[c] - begin[c]) / L));
        return;
    }
    if (x0 == x1) {
        const bool forward = y0 < y1;
        if (y < std::min(y0, y1) || y > std::max(y0, y1)) {
            const bool beforeBegin = forward ? y < y0 : y > y0;
            std::memcpy(bgr, beforeBegin ? begin : end, 3);
            return;
        }
        const float t = static_cast<float>(std::abs(y - y0));
        const float Ly = static_cast<float>(std::abs(y1 - y0));
        for (int c = 0; c < 3; ++c)
            bgr[c] = static_cast<uint8_t>(begin[c] + static_cast<int>(t * static_cast<float>(end[c] - begin[c]) / Ly));
        return;
    }
    const float s = static_cast<float>(y1 - y0) / (static_cast<float>(x1 - x0) + 1e-6f);
    const float mp = -1.0f / (s + 1e-6f);
    const float q0 = static_cast<float>(y0) - mp * static_cast<float>(x0);
    const float g = mp * static_cast<float>(x) - static_cast<float>(y) + q0;
    const float g1 = mp * static_cast<float>(x1) - static_cast<float>(y1) + q0;
    // Across the perpendicular through P0 from P1: the begin colour.
    if ((g < 0.0f && g1 > 0.0f) || (g > 0.0f && g1 < 0.0f)) {
        std::memcpy(bgr, begin, 3);
        return;
    }
    const float t = std::fabs(g) * FastInvSqrt(mp * mp + 1.0f);
    if (t > L) {
        std::memcpy(bgr, end, 3);
        return;
    }
    for (int c = 0; c < 3; ++c)
        bgr[c] = static_cast<uint8_t>(
            static_cast<int>(static_cast<float>(begin[c]) + t * static_cast<float>(end[c] - begin[c]) / L));
}

VideoEffectRamp::VideoEffectRamp() {
    DeclareByte("Begin_Red", &beginRed_, 0);
    DeclareByte("Begin_Green", &beginGreen_, 0);
    DeclareByte("Begin_Blue", &beginBlue_, 0);
    DeclareByte("End_Red", &endRed_, 255);
    DeclareByte("End_Green", &endGreen_, 255);
    DeclareByte("End_Blue", &endBlue_, 255);
    DeclareFloat("Begin_Position_X", &beginX_, 0.5f);
    DeclareFloat("Begin_Position_Y", &beginY_, 0.0f);
    DeclareFloat("End_Position_X", &endX_, 0.5f);
    DeclareFloat("End_Position_Y", &endY_, 1.0f);
    DeclareInt("Mode", &mode_, 0);
    DeclareInt("Scatter", &scatter_, 0, 0, 50, 0);
    DeclareInt("Alpha", &alpha_, 50, 0, 100, 100);
}

RampLayout VideoEffectRamp::Layout(int w, int h) const {
    RampLayout r;
    r.x0 = ScaledPosition(w, beginX_);
    r.y0 = ScaledPosition(h, beginY_);
    r.x1 = ScaledPosition(w, endX_);
    r.y1 = ScaledPosition(h, endY_);
    const float dx = static_cast<float>(r.x1 - r.x0), dy = static_cast<float>(r.y1 - r.y0);
    r.length = 1.0f / FastInvSqrt(dx * dx + dy * dy);
    if (r.length < 1.1920929e-7f) r.length = 1.0f;
    r.mode = mode_;
    r.begin[0] = beginBlue_, r.begin[1] = beginGreen_, r.begin[2] = beginRed_;
    r.end[0] = endBlue_, r.end[1] = endGreen_, r.end[2] = endRed_;
    return r;
}

const std::vector<int8_t>& VideoEffectRamp::ScatterOffsets(int w, int h) {
    const int half = std::clamp(scatter_, 0, 50) / 2;
    if (half == 0) {
        offsets_.clear();
        offsetsHalf_ = 0;
        return offsets_;
    }
    if (w == offsetsW_ && h == offsetsH_ && half == offsetsHalf_ && !offsets_.empty()) return offsets_;
    offsets_.resize(static_cast<size_t>(w) * h);
    MwcRandom rng;
    const double mid = half * 0.5;
    for (int8_t& d : offsets_) d = static_cast<int8_t>(std::trunc(static_cast<double>(rng.Next() % half) - mid));
    offsetsW_ = w, offsetsH_ = h, offsetsHalf_ = half;
    return offsets_;
}

namespace {

class parallelRampDraw final : public RowBandBody {
public:
    parallelRampDraw(const RampLayout& r, cv::Mat& ramp) : r_(r), ramp_(ramp) {}
    void Rows(int y0, int y1) const override {
        for (int y = y0; y < y1; ++y) {
            uint8_t* p = ramp_.ptr<uint8_t>(y);
            for (int x = 0; x < ramp_.cols; ++x, p += 3) r_.At(x, y, p);
        }
    }

private:
    const RampLayout& r_;
    cv::Mat& ramp_;
};

class parallelRampMix final : public RowBandBody {
public:
    parallelRampMix(const cv::Mat& in, const cv::Mat& ramp, cv::Mat& out, int k)
        : in_(in), ramp_(ramp), out_(out), k_(k) {}
    void Rows(int y0, int y1) const override {
        const uint8_t* Mk = MulTable() + k_ * 256;
        const uint8_t* Mn = MulTable() + (255 - k_) * 256;
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr<uint8_t>(y);
            const uint8_t* r = ramp_.ptr<uint8_t>(y);
            uint8_t* d = out_.ptr<uint8_t>(y);
            for (int x = 0; x < in_.cols; ++x, s += 4, r += 3, d += 4) {
                const uint8_t alpha = s[3];
                for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(Mk[r[c]] + Mn[s[c]]);
                d[3] = alpha;
            }
        }
    }

private:
    const cv::Mat& in_;
    const cv::Mat& ramp_;
    cv::Mat& out_;
    int k_;
};

}  // namespace

ResultCode VideoEffectRamp::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    cv::Mat out = WrapBGRA(*output);
    const cv::Mat in = PixelInput(WrapBGRA(*input), out);
    const int w = in.cols, h = in.rows;
    const RampLayout layout = Layout(w, h);
    ramp_.create(h, w, CV_8UC3);
    parallelRampDraw draw(layout, ramp_);
    RunRowBands(draw, w, h);
    const std::vector<int8_t>& offsets = ScatterOffsets(w, h);
    if (!offsets.empty()) {
        scattered_.create(h, w, CV_8UC3);
        const int8_t* d = offsets.data();
        for (int y = 0; y < h; ++y) {
            uint8_t* p = scattered_.ptr<uint8_t>(y);
            for (int x = 0; x < w; ++x, p += 3, ++d) {
                const int sx = std::clamp(x + *d, 0, w - 1), sy = std::clamp(y + *d, 0, h - 1);
                std::memcpy(p, ramp_.ptr<uint8_t>(sy) + 3 * sx, 3);
            }
        }
        cv::blur(scattered_, ramp_, cv::Size(2, 2), cv::Point(-1, -1), cv::BORDER_REFLECT_101);
    }
    parallelRampMix mix(in, ramp_, out, OpacityByte(alpha_));
    RunRowBands(mix, w, h);
    return Ok;
}

}  // namespace orvex
