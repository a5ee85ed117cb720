// Mirror, spherize, twirl, lens distortion and magnify (see DistortionEffects.h).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <opencv2/imgproc.hpp>

#include "effects/EffectFrames.h"
#include "effects/EffectMath.h"
#include "effects/geometry/DistortionEffects.h"
#include "imagecpu/CpuSupport.h"
#include "imagecpu/SaturatingCasts.h"

namespace orvex {
namespace {

constexpr double kPi = 3.14159265359;
constexpr float kPiF = 3.14159265f;
constexpr float kFloatMax = std::numeric_limits<float>::max();

// Bilinear mix of the four neighbours of (sx, sy) with weights from the fractional parts, to the
// nearest byte; columns ix and ix1, rows iy and iy1 (the caller clamps them). The kernels of
// spherize and twirl evaluate the same expression in the same order.
inline float Mix(float p00, float p10, float p01, float p11, float fx, float fy) {
    return (p00 * (1.0f - fx) + p10 * fx) * (1.0f - fy) + (p01 * (1.0f - fx) + p11 * fx) * fy;
}

// --- mirror: one side of the line takes its reflection ---------------------------------------------------

// The mirror line's slope m = tan(angle + 90 degrees), worked out once in double and used as a
// float by both bodies.
float MirrorSlope(double angle) { return static_cast<float>(std::tan((angle + 90.0) * kPi / 180.0)); }

// The reflection in single precision, operation by operation as the kernel does it (no fused
// multiply-adds here or there), so both bodies pick the same samples: y - m x - b is taken as
// (y - cy) - m (x - cx) with the offsets in integers first, so nothing large cancels.
class parallelMirror final : public RowBandBody {
public:
    parallelMirror(const cv::Mat& in, cv::Mat& out, int cx, int cy, float m)
        : in_(in), out_(out), cx_(cx), cy_(cy), m_(m) {}
    void Rows(int y0, int y1) const override {
        const int w = in_.cols, h = in_.rows;
        // Pixels move as 4-byte copies: a caller's rows need not be 4-byte aligned.
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr(y);
            uint8_t* d = out_.ptr(y);
            const float dy = static_cast<float>(y - cy_);
            for (int x = 0; x < w; ++x) {
                const float dx = static_cast<float>(x - cx_);
                if (!(dy - m_ * dx > 0.0f)) {
                    std::memcpy(d + 4 * x, s + 4 * x, 4);
                    continue;
                }
                const float t = (m_ * dx - dy) * -2.0f / (m_ * m_ + 1.0f);
                const int sx = RoundToInt(t * m_ + static_cast<float>(x)), sy = RoundToInt(static_cast<float>(y) - t);
                // The last column and row count as outside.
                if (sx >= 0 && sx < w - 1 && sy >= 0 && sy < h - 1)
                    std::memcpy(d + 4 * x, in_.ptr(sy) + 4 * sx, 4);
                else
                    std::memset(d + 4 * x, 0, 4);
            }
        }
    }

private:
    const cv::Mat& in_;
    cv::Mat& out_;
    int cx_, cy_;
    float m_;
};

// --- spherize: inside radius R, distance r reads asin(r/R) R/(pi/2) ------------------------------------

class parallelSpherize final : public RowBandBody {
public:
    parallelSpherize(const cv::Mat& in, cv::Mat& out, int cx, int cy, float radius)
        : in_(in), out_(out), cx_(cx), cy_(cy), radius_(radius) {}
    void Rows(int y0, int y1) const override {
        const int w = in_.cols, h = in_.rows;
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr(y);
            uint8_t* d = out_.ptr(y);
            for (int x = 0; x < w; ++x) {
                uint8_t* o = d + x * 4;
                std::memcpy(o, s + x * 4, 4);
                const float dx = static_cast<float>(x - cx_), dy = static_cast<float>(cy_ - y);
                const float r = 1.0f / FastInvSqrt(dx * dx + dy * dy);
                if (!(r < radius_)) continue;
                float phi = std::atan(dy / (dx + 1e-6f));
                if (dx < 0) phi += kPiF;
                const float rho = std::asin(r / radius_) * radius_ / 1.5707964f;
                float sx = std::cos(phi) * rho + static_cast<float>(cx_);
                float sy = static_cast<float>(cy_) - std::sin(phi) * rho;
                if (sx < 1e-6f)
                    sx = 0;
                else if (sx > static_cast<float>(w - 1) + 1e-6f)
                    sx = static_cast<float>(w - 2);
                if (sy < 1e-6f)
                    sy = 0;
                else if (sy > static_cast<float>(h - 1) + 1e-6f)
                    sy = static_cast<float>(h - 2);
                const int ix = static_cast<int>(sx), iy = static_cast<int>(sy);
                const float fx = sx - static_cast<float>(ix), fy = sy - static_cast<float>(iy);
                const int ix1 = std::min(ix + 1, w - 1), iy1 = std::min(iy + 1, h - 1);
                const uint8_t* r0 = in_.ptr(iy);
                const uint8_t* r1 = in_.ptr(iy1);
                for (int c = 0; c < 3; ++c) {
                    const float v = Mix(r0[ix * 4 + c], r0[ix1 * 4 + c], r1[ix * 4 + c], r1[ix1 * 4 + c], fx, fy);
                    o[c] = static_cast<uint8_t>(v + 0.5f);
                }
            }
        }
    }

private:
    const cv::Mat& in_;
    cv::Mat& out_;
    int cx_, cy_;
    float radius_;
};

// --- twirl: inside the radius, turn by (radius - r)/radius x angle ----------------------------------------

class parallelTwirl final : public cv::ParallelLoopBody {
public:
    parallelTwirl(const cv::Mat& in, cv::Mat& out, float cx, float cy, float radius, float angle)
        : in_(in), out_(out), cx_(cx), cy_(cy), radius_(radius), angle_(angle) {}
    void operator()(const cv::Range& rows) const override {
        const int w = in_.cols, h = in_.rows;
        for (int y = rows.start; y < rows.end; ++y) {
            const uint8_t* s = in_.ptr(y);
            uint8_t* d = out_.ptr(y);
            for (int x = 0; x < w; ++x) {
                uint8_t* o = d + x * 4;
                std::memcpy(o, s + x * 4, 4);
                const float dx = static_cast<float>(x) - cx_, dy = static_cast<float>(y) - cy_;
                const float r = 1.0f / FastInvSqrt(dx * dx + dy * dy);
                if (!(r <= radius_)) continue;
                const float a = std::atan2(dy, dx) + (radius_ - r) * angle_ * 0.017453f / radius_;
                const float sx = std::cos(a) * r + cx_, sy = std::sin(a) * r + cy_;
                if (!(sx > -1.0f && sx < static_cast<float>(w) && sy > -1.0f && sy < static_cast<float>(h))) continue;
                const int ix = static_cast<int>(std::floor(sx)), iy = static_cast<int>(std::floor(sy));
                const float fx = sx - static_cast<float>(ix), fy = sy - static_cast<float>(iy);
                // Neighbours outside the frame read the nearest edge pixel.
                const int x0 = std::clamp(ix, 0, w - 1), x1 = std::clamp(ix + 1, 0, w - 1);
                const uint8_t* r0 = in_.ptr(std::clamp(iy, 0, h - 1));
                const uint8_t* r1 = in_.ptr(std::clamp(iy + 1, 0, h - 1));
                for (int c = 0; c < 4; ++c) {
                    const float v = Mix(r0[x0 * 4 + c], r0[x1 * 4 + c], r1[x0 * 4 + c], r1[x1 * 4 + c], fx, fy);
                    o[c] = static_cast<uint8_t>(v + 0.5f);
                }
            }
        }
    }

private:
    const cv::Mat& in_;
    cv::Mat& out_;
    float cx_, cy_, radius_, angle_;
};

// --- lens distortion: radial remap with cubic sampling and a brightness ramp ------------------------------

struct LensParams {
    double cx, cy, nrm, ms, mq, zoom, br;
    bool background;
    uint8_t bgr[3];
};

class parallelLensDistortion final : public RowBandBody {
public:
    parallelLensDistortion(const cv::Mat& in, cv::Mat& out, const LensParams& p) : in_(in), out_(out), p_(p) {}
    void Rows(int y0, int y1) const override {
        const int w = in_.cols, h = in_.rows;
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr(y);
            uint8_t* d = out_.ptr(y);
            for (int x = 0; x < w; ++x) {
                const double dx = x - p_.cx, dy = y - p_.cy;
                const double rho2 = (dx * dx + dy * dy) * p_.nrm;
                const double rm = rho2 * p_.ms + rho2 * rho2 * p_.mq;
                const double mag = (rm + 1) * p_.zoom;
                const double sx = p_.cx + dx * mag, sy = p_.cy + dy * mag;
                const float bright = static_cast<float>(1 + rm * p_.br);
                // Positions beyond every tap's reach (or not a number) are held just outside the
                // frame on their side, where all sixteen taps read the background or the edge.
                const double fxi = std::isnan(sx) ? -4.0 : std::floor(sx), fyi = std::isnan(sy) ? -4.0 : std::floor(sy);
                const bool inX = fxi > -4 && fxi<w + 3, inY = fyi> - 4 && fyi < h + 3;
                const int xi = static_cast<int>(std::clamp(fxi, -4.0, w + 3.0));
                const int yi = static_cast<int>(std::clamp(fyi, -4.0, h + 3.0));
                const float fx = inX ? static_cast<float>(sx - fxi) : 0.f,
                            fy = inY ? static_cast<float>(sy - fyi) : 0.f;
                // Cubic convolution weights (a = -0.5) for the taps at -1, 0, 1, 2.
                const float wx[4] = {((-0.5f * fx + 1.0f) * fx - 0.5f) * fx, (1.5f * fx - 2.5f) * fx * fx + 1.0f,
                                     ((-1.5f * fx + 2.0f) * fx + 0.5f) * fx, (0.5f * fx - 0.5f) * fx * fx};
                const float wy[4] = {((-0.5f * fy + 1.0f) * fy - 0.5f) * fy, (1.5f * fy - 2.5f) * fy * fy + 1.0f,
                                     ((-1.5f * fy + 2.0f) * fy + 0.5f) * fy, (0.5f * fy - 0.5f) * fy * fy};
                float column[4][3];
                for (int i = 0; i < 4; ++i) {
                    for (int c = 0; c < 3; ++c) column[i][c] = 0;
                    for (int j = 0; j < 4; ++j) {
                        const uint8_t* px = Tap(xi - 1 + i, yi - 1 + j, w, h);
                        for (int c = 0; c < 3; ++c) column[i][c] += wy[j] * px[c];
                    }
                }
                for (int c = 0; c < 3; ++c) {
                    float v = wx[0] * column[0][c] + wx[1] * column[1][c] + wx[2] * column[2][c] + wx[3] * column[3][c];
                    v *= bright;
                    d[x * 4 + c] = static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f));
                }
                d[x * 4 + 3] = s[x * 4 + 3];
            }
        }
    }

private:
    // A tap outside the source reads the background colour when it is enabled, else the edge.
    const uint8_t* Tap(int x, int y, int w, int h) const {
        if (x < 0 || y < 0 || x >= w || y >= h) {
            if (p_.background) return p_.bgr;
            x = std::clamp(x, 0, w - 1);
            y = std::clamp(y, 0, h - 1);
        }
        return in_.ptr(y) + x * 4;
    }

    const cv::Mat& in_;
    cv::Mat& out_;
    LensParams p_;
};

}  // namespace

// --- mirror ----------------------------------------------------------------------------------------------

VideoEffectMirror::VideoEffectMirror() {
    DeclareFloat("ReflectCenterX", &centerX_, 0.5f);
    DeclareFloat("ReflectCenterY", &centerY_, 0.5f);
    DeclareFloat("ReflectAngle", &angle_, 0);
}

ResultCode VideoEffectMirror::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    cv::Mat out = WrapBGRA(*output);
    const cv::Mat in = ReadableInput(WrapBGRA(*input), out);
    const int cx = RoundToInt(in.cols * static_cast<double>(centerX_));
    const int cy = RoundToInt(in.rows * static_cast<double>(centerY_));
    parallelMirror body(in, out, cx, cy, MirrorSlope(angle_));
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

ResultCode VideoEffectMirror::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                            const std::shared_ptr<zrp::Texture>& output) {
    if (!SameTextureSize(input, output)) return Failed;
    KernelArgs args;
    args.Int("reflect_center_x", RoundToInt(input->GetContext()->GetWidth() * static_cast<double>(centerX_)))
        .Int("reflect_center_y", RoundToInt(input->GetContext()->GetHeight() * static_cast<double>(centerY_)))
        .Float("line_slope", MirrorSlope(angle_));
    return RunKernel(args, input, output);
}

// --- spherize ----------------------------------------------------------------------------------------------

VideoEffectSpherize::VideoEffectSpherize() {
    Kernel(DeclareFloat("amount", &amount_, 100), "amount");
    Kernel(DeclareFloat("position_x", &positionX_, 0.5f), "position_x");
    Kernel(DeclareFloat("position_y", &positionY_, 0.5f), "position_y");
}

ResultCode VideoEffectSpherize::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    cv::Mat out = WrapBGRA(*output);
    const cv::Mat in = ReadableInput(WrapBGRA(*input), out);
    // Truncated in float, as the kernel does.
    const float fcx = static_cast<float>(in.cols) * positionX_, fcy = static_cast<float>(in.rows) * positionY_;
    if (in.cols < 2 || in.rows < 2 || !(amount_ > 0) || !(std::fabs(fcx) < 1e9f && std::fabs(fcy) < 1e9f)) {
        CopyFrame(in, out);
        return Ok;
    }
    // An infinite radius would make every source position NaN; the largest float gives the same
    // picture as the limit (asin(r/R) R -> r) with finite arithmetic.
    parallelSpherize body(in, out, static_cast<int>(fcx), static_cast<int>(fcy),
                          std::min(amount_, std::numeric_limits<float>::max()));
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

ResultCode VideoEffectSpherize::ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                                              const std::shared_ptr<zrp::Texture>& output) {
    if (!SameTextureSize(input, output)) return Failed;
    return EffectSurface::ProcessOpenCL(position, input, output);
}

// --- twirl -----------------------------------------------------------------------------------------------

VideoEffectTwirl::VideoEffectTwirl() {
    Kernel(DeclareFloat("angle", &angle_, 45), "angle");
    Kernel(DeclareFloat("radius", &radius_, 30), "radius");
    Kernel(DeclareFloat("center_x", &centerX_, 0.5f), "center_x");
    Kernel(DeclareFloat("center_y", &centerY_, 0.5f), "center_y");
}

ResultCode VideoEffectTwirl::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    cv::Mat out = WrapBGRA(*output);
    const cv::Mat in = ReadableInput(WrapBGRA(*input), out);
    const float cx = static_cast<float>(in.cols) * centerX_, cy = static_cast<float>(in.rows) * centerY_;
    parallelTwirl body(in, out, cx, cy, radius_, angle_);
    ForRowBands(in.cols, in.rows, [&](int y0, int y1) { body(cv::Range(y0, y1)); });
    return Ok;
}

ResultCode VideoEffectTwirl::ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                                           const std::shared_ptr<zrp::Texture>& output) {
    if (!SameTextureSize(input, output)) return Failed;
    return EffectSurface::ProcessOpenCL(position, input, output);
}

// --- lens distortion ----------------------------------------------------------------------------------------

VideoEffectLensDistortion::VideoEffectLensDistortion() {
    // Out-of-range values are replaced by 0 and still reported as accepted.
    DeclareFloat("offset_x", &offsetX_, 0, -100, 100, 0).onSubstitute = Ok;
    DeclareFloat("offset_y", &offsetY_, 0, -100, 100, 0).onSubstitute = Ok;
    DeclareFloat("square_a", &square_, 0, -100, 100, 0).onSubstitute = Ok;
    DeclareFloat("quad_a", &quad_, 0, -100, 100, 0).onSubstitute = Ok;
    DeclareFloat("scale_a", &scale_, 0, -100, 100, 0).onSubstitute = Ok;
    DeclareFloat("brighten", &brighten_, 0, -100, 100, 0).onSubstitute = Ok;
    DeclareBool("alpha", &alpha_, false);
    DeclareByte("background_b", &backgroundB_, 0);
    DeclareByte("background_g", &backgroundG_, 0);
    DeclareByte("background_r", &backgroundR_, 0);
}

ResultCode VideoEffectLensDistortion::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    cv::Mat out = WrapBGRA(*output);
    const cv::Mat in = ReadableInput(WrapBGRA(*input), out);
    if (square_ == 0 && quad_ == 0 && scale_ == 0) {
        // No distortion and no zoom: every pixel reads itself (brightness 1 + 0 br), whatever the
        // centre; copying also keeps the bytes the cubic weights would round off a centre that is
        // not a whole pixel.
        CopyFrame(in, out);
        return Ok;
    }
    const double w = in.cols, h = in.rows;
    LensParams p;
    p.nrm = 4.0 / (w * w + h * h);
    p.cx = (offsetX_ + 100.0) * w / 200.0;
    p.cy = (offsetY_ + 100.0) * h / 200.0;
    p.ms = square_ / 200.0;
    p.mq = quad_ / 200.0;
    p.zoom = std::pow(2.0, -scale_ / 100.0);
    p.br = -brighten_ / 10.0;
    p.background = alpha_;
    p.bgr[0] = backgroundB_, p.bgr[1] = backgroundG_, p.bgr[2] = backgroundR_;
    parallelLensDistortion body(in, out, p);
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

// --- magnify -----------------------------------------------------------------------------------------------

VideoEffectMagnify::VideoEffectMagnify() {
    DeclareInt("Shape", &shape_, 0);
    DeclareFloat("CenterX", &centerX_, 0.5f, 0, 1, 0.5f);
    DeclareFloat("CenterY", &centerY_, 0.5f, 0, 1, 0.5f);
    DeclareFloat("Magnification", &magnification_, 150, 100, kFloatMax, 100);
    DeclareFloat("Size", &size_, 100, 1, kFloatMax, 100);
}

void VideoEffectMagnify::Rects(int w, int h, cv::Rect* destination, cv::Rect* source) const {
    // Sides beyond any frame are cut to a size that cannot overflow; the clip below does the rest.
    const int s = static_cast<int>(std::min(size_, 1e8f));
    const double k = magnification_ * 0.01;
    const int cx = RoundToInt(w * static_cast<double>(centerX_)), cy = RoundToInt(h * static_cast<double>(centerY_));
    cv::Rect d(cx - s, cy - s, 2 * s, 2 * s);
    if (d.x < 0) d.width += d.x, d.x = 0;
    if (d.y < 0) d.height += d.y, d.y = 0;
    if (d.x + d.width > w) d.width = w - d.x;
    if (d.y + d.height > h) d.height = h - d.y;
    d.width = std::max(d.width, 0), d.height = std::max(d.height, 0);
    const int sw = RoundToInt(d.width / k), sh = RoundToInt(d.height / k);
    *destination = d;
    *source = cv::Rect(d.x + (d.width - sw) / 2, d.y + (d.height - sh) / 2, sw, sh);
}

ResultCode VideoEffectMagnify::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    return GuardImageLibrary([&] {
        cv::Mat out = WrapBGRA(*output);
        const cv::Mat in = ReadableInput(WrapBGRA(*input), out);
        CopyFrame(in, out);
        cv::Rect d, s;
        Rects(in.cols, in.rows, &d, &s);
        if (d.width <= 0 || d.height <= 0 || s.width <= 0 || s.height <= 0) return Ok;
        cv::Mat enlarged;
        cv::resize(in(s), enlarged, d.size(), 0, 0, cv::INTER_LINEAR);
        const int radius = static_cast<int>(std::min(size_, 1e8f));
        const cv::Point centre(RoundToInt(in.cols * static_cast<double>(centerX_)) - d.x,
                               RoundToInt(in.rows * static_cast<double>(centerY_)) - d.y);
        // A circle that reaches every corner of D covers it whole.
        const double reach =
            std::hypot(std::max(centre.x, d.width - centre.x), std::max(centre.y, d.height - centre.y));
        if (shape_ != 0 || radius >= reach) {
            enlarged.copyTo(out(d));
        } else {
            cv::Mat mask(d.size(), CV_8UC1, cv::Scalar(0));
            cv::circle(mask, centre, radius, cv::Scalar(255), cv::FILLED);
            enlarged.copyTo(out(d), mask);
        }
        return Ok;
    });
}

}  // namespace orvex
