#pragma once
// Geometry effects: each output pixel is fetched from somewhere else in the input. Frames are
// w x h in, W x H out (the same except for the warps); positions given as fractions are fractions
// of the width or height; nearest rounds halves away from zero.
//
// Offset:     dx = (floor(w/2) - nearest(w X)) mod w, dy likewise; out(x, y) = in(x + dx, y + dy)
//             with wrap-around; BlendWithOrigin a mixes colour back: nearest(out (1 - a/100) + in a/100).
// Transform:  forward matrix [c s tx; -s c ty], theta = -Rotation, about the input centre and centred
//             in the output; bilinear warp, constant (0) border; then every byte x opacity, nearest.
// Motion:     the same warp with Tp . Rs . Ta: anchor to the centre, scale and rotate, centre to the
//             position.
// Crop:       kept rectangle [left, right) x [top, bottom); zoomed to the frame, or kept in place with
//             an optional feather: colour x box(mask)/255 where mask is the rectangle grown by e.
// Edge feather: colour x box(mask)/255 for a rectangle inset by m; the output's alpha is not written.
// Flips:      out(x, y) = in(w - 1 - x, y) or in(x, h - 1 - y).
// Corner pin: the perspective transform taking the frame corners to four given points.
//
// The warps sample bilinearly with the image library's fixed-point arithmetic (positions in 1/32
// pixel, weights summing to 1024); their kernels repeat that arithmetic so both bodies agree exactly.
#include <array>
#include <cstdint>

#include "effects/EffectSurface.h"

namespace orvex {

class VideoEffectOffset : public EffectSurface {
public:
    VideoEffectOffset();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

    // The whole-pixel shift (dx, dy) in [0, w) x [0, h): out(x, y) = in(x + dx, y + dy).
    void Shift(int w, int h, int* dx, int* dy) const;

private:
    float shiftX_ = 0.25f;
    float shiftY_ = 0.25f;
    float blend_ = 0;
};

// Transform and motion: one bilinear affine warp and a fade; they differ in the matrix.
class AffineWarpEffect : public EffectSurface {
public:
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

    struct Matrices {
        double forward[6];  // input -> output pixel positions, row-major 2 x 3
        float inverse[6];   // output -> input, rounded to float: the one both bodies sample with
    };
    // The matrices for an input of w x h warped into W x H, rebuilt only when a parameter they
    // depend on or a size changed.
    const Matrices& WarpMatrices(int w, int h, int W, int H);

protected:
    AffineWarpEffect();
    virtual void BuildForward(int w, int h, int W, int H, double m[6]) const = 0;
    virtual void MatricesBuilt(const Matrices&, int, int, int, int) {}

    float anchorX_ = 0.5f, anchorY_ = 0.5f;
    float positionX_ = 0.5f, positionY_ = 0.5f;
    float scaleX_ = 100, scaleY_ = 100;
    float rotation_ = 0;
    float opacity_ = 100;

private:
    struct Key {
        float anchorX, anchorY, positionX, positionY, scaleX, scaleY, rotation;
        int w, h, W, H;
        bool operator==(const Key&) const = default;
    };
    Key CurrentKey(int w, int h, int W, int H) const;

    bool cached_ = false;
    Key key_{};
    Matrices matrices_{};
};

class VideoEffectTransform : public AffineWarpEffect {
public:
    VideoEffectTransform();
    // The part of the output that the warped input covers, normalised to the output size; the
    // whole frame until the first render.
    bool GetContentRect(fxRectf* rect) override;
    int32_t ScaleType() const { return scaleType_; }

protected:
    void OnParamStored(const ParamDecl& p) override;
    void BuildForward(int w, int h, int W, int H, double m[6]) const override;
    void MatricesBuilt(const Matrices& matrices, int w, int h, int W, int H) override;

private:
    int32_t scaleType_ = 4;
    fxRectf content_{0.f, 0.f, 1.f, 1.f};
};

class VideoEffectMotion : public AffineWarpEffect {
public:
    VideoEffectMotion();
    bool IsIdentity() override;

protected:
    void OnParamStored(const ParamDecl& p) override;
    void BuildForward(int w, int h, int W, int H, double m[6]) const override;
};

class VideoEffectCrop : public EffectSurface {
public:
    VideoEffectCrop();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

    // The kept rectangle of a w x h frame, [x0, x1) x [y0, y1); empty when x0 >= x1 or y0 >= y1.
    cv::Rect KeptRect(int w, int h) const;

private:
    float left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
    bool zoom_ = false;
    int32_t feather_ = 0;
};

class VideoEffectEdgeFeather : public EffectSurface {
public:
    VideoEffectEdgeFeather();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    bool IsIdentity() override { return amount_ == 0; }

private:
    int32_t amount_ = 20;
};

// The flips take no parameter at all: every name is unknown.
class VideoEffectHorizontalFilp : public EffectSurface {
public:
    VideoEffectHorizontalFilp();
    ResultCode SetParam(const char* name, EffectParamType type, EffectParamValue value) override;
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;
};

class VideoEffectVerticalFilp : public EffectSurface {
public:
    VideoEffectVerticalFilp();
    ResultCode SetParam(const char* name, EffectParamType type, EffectParamValue value) override;
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;
};

class VideoEffectCornerPin : public EffectSurface {
public:
    VideoEffectCornerPin();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

    // The perspective transform from output (destination corner) positions to input positions,
    // 3 x 3 row-major.
    std::array<double, 9> DestinationToSource(int w, int h) const;

private:
    float ulX_ = 0, ulY_ = 0, urX_ = 1, urY_ = 0, llX_ = 0, llY_ = 1, lrX_ = 1, lrY_ = 1;
};

}  // namespace orvex
