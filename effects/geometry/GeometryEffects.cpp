// Offset, transform, motion, crop, edge feather, the flips and corner pin (see GeometryEffects.h).
#include "effects/geometry/GeometryEffects.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "effects/EffectFrames.h"
#include "effects/EffectMath.h"
#include "imagecpu/TableLookup.h"
#include "imagecpu/CpuSupport.h"
#include "imagecpu/SaturatingCasts.h"

namespace orvex {
namespace {

constexpr double kPi = 3.14159265359;

// x mod n in [0, n).
int Wrap(long long x, int n) {
    const long long r = x % n;
    return static_cast<int>(r < 0 ? r + n : r);
}

// nearest(n * f) mod n, for any finite f (huge products are reduced through the fractional part,
// which leaves the result unchanged away from ties).
int NearestMultipleMod(int n, float f) {
    if (!std::isfinite(f)) return 0;
    const double v = static_cast<double>(n) * f;
    if (std::fabs(v) < 1e15) return Wrap(std::llround(v), n);
    const double frac = static_cast<double>(f) - std::floor(static_cast<double>(f));
    return Wrap(std::llround(n * frac), n);
}

// Shifted copy in row runs, then (optionally) the colour mixed back with the unshifted input
// through a per-frame table T[shifted][original].
class parallelOffset final : public RowBandBody {
public:
    parallelOffset(const cv::Mat& in, cv::Mat& out, int dx, int dy, const uint8_t* mix)
        : in_(in), out_(out), dx_(dx), dy_(dy), mix_(mix) {}
    void Rows(int y0, int y1) const override {
        const int w = in_.cols, h = in_.rows;
        const size_t head = static_cast<size_t>(w - dx_) * 4, tail = static_cast<size_t>(dx_) * 4;
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr((y + dy_) % h);
            uint8_t* d = out_.ptr(y);
            std::memcpy(d, s + tail, head);
            std::memcpy(d + head, s, tail);
            if (!mix_) continue;
            const uint8_t* o = in_.ptr(y);
            for (int x = 0; x < w; ++x, d += 4, o += 4) {
                d[0] = mix_[d[0] * 256 + o[0]];
                d[1] = mix_[d[1] * 256 + o[1]];
                d[2] = mix_[d[2] * 256 + o[2]];
            }
        }
    }

private:
    const cv::Mat& in_;
    cv::Mat& out_;
    int dx_, dy_;
    const uint8_t* mix_;
};

// Every byte through one table (the fade of the warps).
class parallelByteTable final : public RowBandBody {
public:
    parallelByteTable(cv::Mat& image, const uint8_t* table) : image_(image), t_(table) {}
    void Rows(int y0, int y1) const override {
        for (int y = y0; y < y1; ++y) {
            uint8_t* p = image_.ptr(y);
            LookupBytes(p, p, static_cast<size_t>(image_.cols) * 4, t_);
        }
    }

private:
    cv::Mat& image_;
    const uint8_t* t_;
};

// Colour x mask/255 (truncated), the mask the mean of a 0/255 rectangle under a k x k box to the
// nearest byte (halves up): (255 cx cy + area/2) div area with the two axis coverages cx, cy and
// area = k^2. Alpha is copied from the input or, for the edge feather, left as the output holds
// it. Up to k = 1024 the mask of each coverage pair comes from a table built once per frame, so the
// pixel loop does no division.
class parallelFeather final : public RowBandBody {
public:
    parallelFeather(const cv::Mat& in, cv::Mat& out, const int64_t* cx, const int64_t* cy, int64_t k, bool writeAlpha)
        : in_(in), out_(out), cx_(cx), cy_(cy), area_(k * k), writeAlpha_(writeAlpha) {
        if (k <= 1024) {
            stride_ = static_cast<size_t>(k) + 1;
            masks_.resize(stride_ * stride_);
            for (size_t a = 0; a < stride_; ++a)
                for (size_t b = 0; b < stride_; ++b)
                    masks_[a * stride_ + b] = Mask(static_cast<int64_t>(a), static_cast<int64_t>(b));
        }
    }
    void Rows(int y0, int y1) const override {
        for (int y = y0; y < y1; ++y) {
            const uint8_t* s = in_.ptr(y);
            uint8_t* d = out_.ptr(y);
            for (int x = 0; x < in_.cols; ++x, s += 4, d += 4) {
                const int mask = masks_.empty()
                                     ? Mask(cx_[x], cy_[y])
                                     : masks_[static_cast<size_t>(cx_[x]) * stride_ + static_cast<size_t>(cy_[y])];
                d[0] = static_cast<uint8_t>(s[0] * mask / 255);
                d[1] = static_cast<uint8_t>(s[1] * mask / 255);
                d[2] = static_cast<uint8_t>(s[2] * mask / 255);
                if (writeAlpha_) d[3] = s[3];
            }
        }
    }

private:
    uint8_t Mask(int64_t a, int64_t b) const {
        // a b <= area, so the product is computed as a fraction of the area first when it is huge.
        const double covered = static_cast<double>(a) * static_cast<double>(b);
        if (area_ > (int64_t{1} << 26)) return static_cast<uint8_t>(std::floor(covered * 255.0 / area_ + 0.5));
        return static_cast<uint8_t>((a * b * 510 + area_) / (2 * area_));
    }

    const cv::Mat& in_;
    cv::Mat& out_;
    const int64_t* cx_;
    const int64_t* cy_;
    int64_t area_;
    bool writeAlpha_;
    size_t stride_ = 0;
    std::vector<uint8_t> masks_;
};

// Feathers `in` into `out` with a k x k box over the rectangle [x0, x1) x [y0, y1) of 255.
void Feather(const cv::Mat& in, cv::Mat& out, int x0, int y0, int x1, int y1, int64_t k, bool writeAlpha) {
    std::vector<int64_t> cx(in.cols), cy(in.rows);
    BoxCoverage(in.cols, x0, x1, k, cx.data());
    BoxCoverage(in.rows, y0, y1, k, cy.data());
    parallelFeather body(in, out, cx.data(), cy.data(), k, writeAlpha);
    RunRowBands(body, in.cols, in.rows);
}

}  // namespace

// --- offset --------------------------------------------------------------------------------------------

VideoEffectOffset::VideoEffectOffset() {
    DeclareFloat("ShiftCenterToX", &shiftX_, 0.25f);
    DeclareFloat("ShiftCenterToY", &shiftY_, 0.25f);
    DeclareFloat("BlendWithOrigin", &blend_, 0, 0, 100, 0);
}

void VideoEffectOffset::Shift(int w, int h, int* dx, int* dy) const {
    *dx = Wrap(w / 2 - NearestMultipleMod(w, shiftX_), w);
    *dy = Wrap(h / 2 - NearestMultipleMod(h, shiftY_), h);
}

ResultCode VideoEffectOffset::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    cv::Mat out = WrapBGRA(*output);
    const cv::Mat in = ReadableInput(WrapBGRA(*input), out);
    int dx, dy;
    Shift(in.cols, in.rows, &dx, &dy);
    // The mix in float, in the kernel's order: nearest(s (1 - k) + i k), k = a * 0.01.
    std::vector<uint8_t> mix;
    if (blend_ > 0) {
        const float k = blend_ * 0.01f;
        mix.resize(256 * 256);
        for (int s = 0; s < 256; ++s)
            for (int i = 0; i < 256; ++i) mix[s * 256 + i] = static_cast<uint8_t>(std::round(s * (1.0f - k) + i * k));
    }
    parallelOffset body(in, out, dx, dy, mix.empty() ? nullptr : mix.data());
    RunRowBands(body, in.cols, in.rows);
    return Ok;
}

ResultCode VideoEffectOffset::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                            const std::shared_ptr<zrp::Texture>& output) {
    if (!SameTextureSize(input, output)) return Failed;
    // u = 0.5 - X wrapped into 0..1: the kernel rebuilds X - k = 0.5 - u for some integer k.
    auto wrapped = [](float v) {
        if (v > 1) return v - std::trunc(v);
        if (v < 0) return v - (std::trunc(v) - 1);
        return v;
    };
    KernelArgs args;
    args.Float("shift_center_to_x", wrapped(0.5f - shiftX_))
        .Float("shift_center_to_y", wrapped(0.5f - shiftY_))
        .Float("blend_alpha", blend_ * 0.01f);
    return RunKernel(args, input, output);
}

// --- transform and motion --------------------------------------------------------------------------

AffineWarpEffect::AffineWarpEffect() {
}

AffineWarpEffect::Key AffineWarpEffect::CurrentKey(int w, int h, int W, int H) const {
    return {anchorX_, anchorY_, positionX_, positionY_, scaleX_, scaleY_, rotation_, w, h, W, H};
}

const AffineWarpEffect::Matrices& AffineWarpEffect::WarpMatrices(int w, int h, int W, int H) {
    const Key key = CurrentKey(w, h, W, H);
    if (cached_ && key == key_) return matrices_;
    BuildForward(w, h, W, H, matrices_.forward);
    cv::Matx23d forward(matrices_.forward), inverse;
    cv::invertAffineTransform(forward, inverse);
    for (int i = 0; i < 6; ++i) matrices_.inverse[i] = static_cast<float>(inverse.val[i]);
    key_ = key;
    cached_ = true;
    MatricesBuilt(matrices_, w, h, W, H);
    return matrices_;
}

ResultCode AffineWarpEffect::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result, Rules())) return result;
    return GuardImageLibrary([&] {
        cv::Mat out = WrapBGRA(*output);
        const cv::Mat in = ReadableInput(WrapBGRA(*input), out);
        const Matrices& m = WarpMatrices(in.cols, in.rows, out.cols, out.rows);
        // The float inverse is what the kernel receives; warping with it (as an inverse map) keeps
        // the two bodies on the same sample positions.
        cv::Matx23d inverse;
        for (int i = 0; i < 6; ++i) inverse.val[i] = m.inverse[i];
        cv::warpAffine(in, out, inverse, out.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT,
                       cv::Scalar::all(0));
        if (opacity_ < 100) {
            // nearest(v * k) in float, as the kernel computes it.
            const float k = opacity_ * 0.01f;
            uint8_t fade[256];
            for (int v = 0; v < 256; ++v) fade[v] = static_cast<uint8_t>(std::round(static_cast<float>(v) * k));
            parallelByteTable body(out, fade);
            RunRowBands(body, out.cols, out.rows);
        }
        return Ok;
    });
}

namespace {

// The image library's fixed-point affine warp splits each position, in 1/1024 pixel, into a term
// of the column and a term of the row, each rounded (halves to even) and held to an int: for
// column x round(a0 x 1024), round(a3 x 1024); for row y round((a1 y + a2) 1024),
// round((a4 y + a5) 1024). Computed here in double, they give the kernel the CPU's positions.
int32_t WarpTerm(double v) {
    const double r = std::nearbyint(v * 1024);
    return r >= 2147483647.0 ? INT32_MAX : (r <= -2147483648.0 ? INT32_MIN : static_cast<int32_t>(r));
}

void AffineWarpTerms(const float a[6], int width, int height, int32_t* cols, int32_t* rows) {
    for (int x = 0; x < width; ++x) {
        cols[2 * x] = WarpTerm(static_cast<double>(a[0]) * x);
        cols[2 * x + 1] = WarpTerm(static_cast<double>(a[3]) * x);
    }
    for (int y = 0; y < height; ++y) {
        rows[2 * y] = WarpTerm(static_cast<double>(a[1]) * y + a[2]);
        rows[2 * y + 1] = WarpTerm(static_cast<double>(a[4]) * y + a[5]);
    }
}

}  // namespace

ResultCode AffineWarpEffect::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                           const std::shared_ptr<zrp::Texture>& output) {
    if (!input || !output || !input->GetContext() || !output->GetContext()) return Failed;
    const Matrices& m = WarpMatrices(input->GetContext()->GetWidth(), input->GetContext()->GetHeight(),
                                     output->GetContext()->GetWidth(), output->GetContext()->GetHeight());
    // One kernel serves transform and motion: it takes the inverse of whichever forward matrix the
    // effect composed.
    const int width = output->GetContext()->GetWidth(), height = output->GetContext()->GetHeight();
    std::vector<int32_t> cols(2 * static_cast<size_t>(width)), rows(2 * static_cast<size_t>(height));
    AffineWarpTerms(m.inverse, width, height, cols.data(), rows.data());
    KernelArgs args;
    args.Block("col_terms", cols.data(), cols.size() * sizeof(int32_t))
        .Block("row_terms", rows.data(), rows.size() * sizeof(int32_t))
        .Float("opacity", opacity_ * 0.01f)
        .Int("border_replicate", 0);
    return RunKernel(args, input, output);
}

VideoEffectTransform::VideoEffectTransform() {
    DeclareFloat("Anchor_x", &anchorX_, 0.5f);
    DeclareFloat("Anchor_y", &anchorY_, 0.5f);
    DeclareFloat("Position_x", &positionX_, 0.5f);
    DeclareFloat("Position_y", &positionY_, 0.5f);
    DeclareFloat("Scale_x", &scaleX_, 100);
    DeclareFloat("Scale_y", &scaleY_, 100);
    DeclareFloat("Rotation", &rotation_, 0);
    DeclareFloat("Opacity", &opacity_, 100, 0, 100, 0);
    // 4 until the host sets it; then 0 -> 3, 1 -> 1, 2 -> 2, anything else -> 0.
    DeclareInt("ScaleType", &scaleType_, 4);
}

void VideoEffectTransform::OnParamStored(const ParamDecl& p) {
    if (p.target == &scaleX_ && std::fabs(scaleX_) <= 1e-9f) scaleX_ = 1;
    if (p.target == &scaleY_ && std::fabs(scaleY_) <= 1e-9f) scaleY_ = 1;
    if (p.target == &scaleType_)
        scaleType_ = scaleType_ == 0 ? 3 : (scaleType_ == 1 || scaleType_ == 2 ? scaleType_ : 0);
}

void VideoEffectTransform::BuildForward(int w, int h, int W, int H, double m[6]) const {
    const double theta = -rotation_ * kPi / 180;
    const double c = std::cos(theta), s = std::sin(theta);
    const double cx = w / 2.0, cy = h / 2.0;
    m[0] = c;
    m[1] = s;
    m[2] = (1 - c) * cx - cy * s + (W - w) / 2.0;
    m[3] = -s;
    m[4] = c;
    m[5] = (1 - c) * cy + cx * s + (H - h) / 2.0;
}

void VideoEffectTransform::MatricesBuilt(const Matrices& matrices, int w, int h, int W, int H) {
    // Bounding box of the warped input frame, clipped to the output and normalised.
    const double* m = matrices.forward;
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
    for (int corner = 0; corner < 4; ++corner) {
        const double x = (corner & 1) ? w : 0, y = (corner & 2) ? h : 0;
        const double u = m[0] * x + m[1] * y + m[2], v = m[3] * x + m[4] * y + m[5];
        x0 = std::min(x0, u), x1 = std::max(x1, u), y0 = std::min(y0, v), y1 = std::max(y1, v);
    }
    x0 = std::clamp(x0, 0.0, static_cast<double>(W)), x1 = std::clamp(x1, 0.0, static_cast<double>(W));
    y0 = std::clamp(y0, 0.0, static_cast<double>(H)), y1 = std::clamp(y1, 0.0, static_cast<double>(H));
    content_ = {static_cast<float>(x0 / W), static_cast<float>(y0 / H), static_cast<float>((x1 - x0) / W),
                static_cast<float>((y1 - y0) / H)};
}

bool VideoEffectTransform::GetContentRect(fxRectf* rect) {
    if (rect) *rect = content_;
    return true;
}

VideoEffectMotion::VideoEffectMotion() {
    DeclareFloat("Anchor_x", &anchorX_, 0.5f);
    DeclareFloat("Anchor_y", &anchorY_, 0.5f);
    DeclareFloat("Position_x", &positionX_, 0.5f);
    DeclareFloat("Position_y", &positionY_, 0.5f);
    DeclareFloat("Scale_x", &scaleX_, 100);
    DeclareFloat("Scale_y", &scaleY_, 100);
    DeclareFloat("Rotation", &rotation_, 0);
    DeclareFloat("Opacity", &opacity_, 100, 0, 100, 0);
}

void VideoEffectMotion::OnParamStored(const ParamDecl& p) {
    // A zero scale would collapse the picture; it stands for "unscaled".
    if (p.target == &scaleX_ && std::fabs(scaleX_) <= 1e-6f) scaleX_ = 100;
    if (p.target == &scaleY_ && std::fabs(scaleY_) <= 1e-6f) scaleY_ = 100;
}

bool VideoEffectMotion::IsIdentity() {
    auto near = [](float v, float def) { return std::fabs(v - def) <= 1e-6f; };
    return near(anchorX_, 0.5f) && near(anchorY_, 0.5f) && near(positionX_, 0.5f) && near(positionY_, 0.5f) &&
           near(scaleX_, 100) && near(scaleY_, 100) && near(rotation_, 0) && near(opacity_, 100);
}

void VideoEffectMotion::BuildForward(int w, int h, int W, int H, double m[6]) const {
    const double ax = RoundToInt(static_cast<double>(W) * anchorX_), ay = RoundToInt(static_cast<double>(H) * anchorY_);
    const double px = RoundToInt(static_cast<double>(W) * positionX_), py = RoundToInt(static_cast<double>(H) * positionY_);
    const double kx = scaleX_ * 0.01, ky = scaleY_ * 0.01;
    const double theta = -rotation_ * kPi / 180;
    const double c = std::cos(theta), s = std::sin(theta);
    const double cx = w / 2.0, cy = h / 2.0;
    const double halfW = w / 2, halfH = h / 2;  // integer halves
    // Ta: anchor to the centre; Rs: scale then rotate about the centre; Tp: centre to the position.
    const cv::Matx33d ta(1, 0, halfW - ax, 0, 1, halfH - ay, 0, 0, 1);
    const cv::Matx33d rs(kx * c, ky * s, (1 - kx * c) * cx - cy * ky * s,   //
                         -kx * s, ky * c, (1 - ky * c) * cy + cx * kx * s,  //
                         0, 0, 1);
    const cv::Matx33d tp(1, 0, px - halfW, 0, 1, py - halfH, 0, 0, 1);
    const cv::Matx33d warp = tp * rs * ta;
    for (int i = 0; i < 6; ++i) m[i] = warp.val[i];
}

// --- crop ------------------------------------------------------------------------------------------------

VideoEffectCrop::VideoEffectCrop() {
    Kernel(DeclareFloat("Left", &left_, 0, 0, 100, 0), "left_percent");
    Kernel(DeclareFloat("Top", &top_, 0, 0, 100, 0), "top_percent");
    Kernel(DeclareFloat("Right", &right_, 0, 0, 100, 0), "right_percent");
    Kernel(DeclareFloat("Bottom", &bottom_, 0, 0, 100, 0), "bottom_percent");
    Kernel(DeclareBool("Zoom", &zoom_, false), "is_zoom");
    Kernel(DeclareInt("EdgeFeather", &feather_, 0), "edge_feather");
}

cv::Rect VideoEffectCrop::KeptRect(int w, int h) const {
    // In float, in the kernel's order of operations, so both bodies keep the same pixels.
    const int x0 = static_cast<int>(left_ * 0.01f * static_cast<float>(w) + 0.5f);
    const int y0 = static_cast<int>(top_ * 0.01f * static_cast<float>(h) + 0.5f);
    const int x1 = w - static_cast<int>(right_ * 0.01f * static_cast<float>(w) + 0.5f);
    const int y1 = h - static_cast<int>(bottom_ * 0.01f * static_cast<float>(h) + 0.5f);
    return {x0, y0, x1 - x0, y1 - y0};
}

ResultCode VideoEffectCrop::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    return GuardImageLibrary([&] {
        cv::Mat out = WrapBGRA(*output);
        const cv::Mat in = ReadableInput(WrapBGRA(*input), out);
        const int w = in.cols, h = in.rows;
        const cv::Rect kept = KeptRect(w, h);
        if (kept.width <= 0 || kept.height <= 0) {
            out.setTo(cv::Scalar::all(0));
        } else if (zoom_) {
            // The library's bit-exact bilinear, which the kernel reproduces.
            cv::resize(in(kept), out, out.size(), 0, 0, cv::INTER_LINEAR_EXACT);
        } else if (feather_ <= 0) {
            out.setTo(cv::Scalar::all(0));
            in(kept).copyTo(out(kept));
        } else {
            // The grown rectangle in 64 bits: e may be any positive int.
            const int64_t e = feather_;
            auto edge = [](int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, -1, 1 << 30)); };
            Feather(in, out, edge(kept.x - e), edge(kept.y - e), edge(kept.x + kept.width + e),
                    edge(kept.y + kept.height + e), e, true);
        }
        return Ok;
    });
}

ResultCode VideoEffectCrop::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                          const std::shared_ptr<zrp::Texture>& output) {
    if (!SameTextureSize(input, output)) return Failed;
    const int w = output->GetContext()->GetWidth(), h = output->GetContext()->GetHeight();
    const cv::Rect kept = KeptRect(w, h);
    // The zoom's bilinear taps for the frame; unused (one entry) without zoom.
    const bool zoom = zoom_ && kept.width > 0 && kept.height > 0;
    const std::vector<int32_t> zx = ResizeTaps(zoom ? kept.width : 0, zoom ? w : 0);
    const std::vector<int32_t> zy = ResizeTaps(zoom ? kept.height : 0, zoom ? h : 0);
    KernelArgs args;
    AddDeclaredKernelArgs(args);
    args.Block("zoom_x", zx.data(), zx.size() * 4).Block("zoom_y", zy.data(), zy.size() * 4);
    return RunKernel(args, input, output);
}

// --- edge feather ----------------------------------------------------------------------------------------

VideoEffectEdgeFeather::VideoEffectEdgeFeather() {
    DeclareInt("Amount", &amount_, 20, 0, 100, 20);
}

ResultCode VideoEffectEdgeFeather::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    cv::Mat out = WrapBGRA(*output);
    const cv::Mat in = ReadableInput(WrapBGRA(*input), out);
    const int w = in.cols, h = in.rows;
    const int f = static_cast<int>(amount_ * 0.01 * std::min(w, h) * 0.2);
    const int m = static_cast<int>(f * 0.5);
    const int k = std::max(f, 1);
    // The mask is 255 on [m, w - m) x [m, h - m), box-filtered k x k with a reflect-101 border.
    // Alpha is copied from the input: left unwritten, the output would keep whatever alpha its
    // buffer held, so a frame rendered in place would differ from one rendered out of place.
    Feather(in, out, m, m, w - m, h - m, k, true);
    return Ok;
}

// --- flips ------------------------------------------------------------------------------------------------

namespace {

// `readable` gives the input as the effect may read it while writing the output.
template <class Readable>
ResultCode FlipCPU(EffectFrame* input, EffectFrame* output, int code, Readable&& readable) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    return GuardImageLibrary([&] {
        cv::Mat out = WrapBGRA(*output);
        cv::flip(readable(WrapBGRA(*input), out), out, code);
        return Ok;
    });
}

}  // namespace

VideoEffectHorizontalFilp::VideoEffectHorizontalFilp() {
}

ResultCode VideoEffectHorizontalFilp::SetParam(const char*, EffectParamType, EffectParamValue) { return NotFound; }

ResultCode VideoEffectHorizontalFilp::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    return FlipCPU(input, output, 1, [this](const cv::Mat& in, const cv::Mat& out) { return ReadableInput(in, out); });
}

ResultCode VideoEffectHorizontalFilp::ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                                                    const std::shared_ptr<zrp::Texture>& output) {
    if (!SameTextureSize(input, output)) return Failed;
    return EffectSurface::ProcessOpenCL(position, input, output);
}

VideoEffectVerticalFilp::VideoEffectVerticalFilp() {
}

ResultCode VideoEffectVerticalFilp::SetParam(const char*, EffectParamType, EffectParamValue) { return NotFound; }

ResultCode VideoEffectVerticalFilp::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    return FlipCPU(input, output, 0, [this](const cv::Mat& in, const cv::Mat& out) { return ReadableInput(in, out); });
}

ResultCode VideoEffectVerticalFilp::ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                                                  const std::shared_ptr<zrp::Texture>& output) {
    if (!SameTextureSize(input, output)) return Failed;
    return EffectSurface::ProcessOpenCL(position, input, output);
}

// --- corner pin ---------------------------------------------------------------------------------------

VideoEffectCornerPin::VideoEffectCornerPin() {
    DeclareFloat("Upper_Left_x", &ulX_, 0);
    DeclareFloat("Upper_Left_y", &ulY_, 0);
    DeclareFloat("Upper_Right_x", &urX_, 1);
    DeclareFloat("Upper_Right_y", &urY_, 0);
    DeclareFloat("Lower_Left_x", &llX_, 0);
    DeclareFloat("Lower_Left_y", &llY_, 1);
    DeclareFloat("Lower_Right_x", &lrX_, 1);
    DeclareFloat("Lower_Right_y", &lrY_, 1);
}

std::array<double, 9> VideoEffectCornerPin::DestinationToSource(int w, int h) const {
    const double xs = w - 1, ys = h - 1;
    auto corner = [&](float fx, float fy) {
        return cv::Point2f(static_cast<float>(RoundToInt(fx * xs)), static_cast<float>(RoundToInt(fy * ys)));
    };
    const cv::Point2f dst[4] = {corner(ulX_, ulY_), corner(urX_, urY_), corner(llX_, llY_), corner(lrX_, lrY_)};
    const cv::Point2f src[4] = {{0.f, 0.f},
                                {static_cast<float>(xs), 0.f},
                                {0.f, static_cast<float>(ys)},
                                {static_cast<float>(xs), static_cast<float>(ys)}};
    std::array<double, 9> m{};
    // Four corners in a line have no perspective solution: the solver then yields zeros, and
    // the warp samples nothing (a transparent frame) rather than failing.
    const cv::Mat t = cv::getPerspectiveTransform(dst, src);
    for (int i = 0; i < 9; ++i) m[i] = t.at<double>(i / 3, i % 3);
    return m;
}

ResultCode VideoEffectCornerPin::ProcessCPU(int64_t, EffectFrame* input, EffectFrame* output) {
    ResultCode result;
    if (!FramesUsable(input, output, &result)) return result;
    return GuardImageLibrary([&] {
        cv::Mat out = WrapBGRA(*output);
        const cv::Mat in = ReadableInput(WrapBGRA(*input), out);
        const std::array<double, 9> m = DestinationToSource(in.cols, in.rows);
        cv::warpPerspective(in, out, cv::Matx33d(m.data()), out.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                            cv::BORDER_CONSTANT, cv::Scalar::all(0));
        return Ok;
    });
}

ResultCode VideoEffectCornerPin::ProcessOpenCL(int64_t, const std::shared_ptr<zrp::Texture>& input,
                                               const std::shared_ptr<zrp::Texture>& output) {
    if (!SameTextureSize(input, output)) return Failed;
    std::array<double, 9> m;
    if (GuardImageLibrary([&] {
            m = DestinationToSource(input->GetContext()->GetWidth(), input->GetContext()->GetHeight());
            return Ok;
        }) != Ok)
        return Failed;
    // Each entry as a float pair: the float nearest it and the float nearest the rest.
    float pairs[18];
    for (size_t i = 0; i < m.size(); ++i) {
        pairs[2 * i] = static_cast<float>(m[i]);
        pairs[2 * i + 1] = static_cast<float>(m[i] - static_cast<double>(pairs[2 * i]));
    }
    KernelArgs args;
    args.Block("trans_mat", pairs, sizeof pairs);
    return RunKernel(args, input, output);
}

}  // namespace orvex
