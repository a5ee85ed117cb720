#pragma once
// Distortion effects: each output pixel is fetched from a bent position of the same w x h input;
// positions given as fractions are fractions of the width or height.
//
// Mirror:     pixels on one side of the line through (cx, cy) at ReflectAngle + 90 degrees take their
//             reflection across it.
// Spherize:   within radius R of the centre a pixel at distance r reads distance asin(r/R) R/(pi/2).
// Twirl:      within the radius a pixel at distance r turns by (radius - r)/radius x angle.
// Lens distortion: source = centre + offset (1 + rm) zoom, rm = rho^2 ms + rho^4 mq; cubic sampling,
//             brightness 1 + rm br.
// Magnify:    the square of side 2s around the centre shows the centre's (2s/k)-sided square enlarged.
#include <cstdint>

#include "effects/EffectSurface.h"

namespace orvex {

class VideoEffectMirror : public EffectSurface {
public:
    VideoEffectMirror();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

private:
    float centerX_ = 0.5f, centerY_ = 0.5f;
    float angle_ = 0;
};

class VideoEffectSpherize : public EffectSurface {
public:
    VideoEffectSpherize();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;
    bool IsIdentity() override { return amount_ == 0; }

private:
    float amount_ = 100;
    float positionX_ = 0.5f, positionY_ = 0.5f;
};

class VideoEffectTwirl : public EffectSurface {
public:
    VideoEffectTwirl();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

private:
    float angle_ = 45;
    float radius_ = 30;
    float centerX_ = 0.5f, centerY_ = 0.5f;
};

class VideoEffectLensDistortion : public EffectSurface {
public:
    VideoEffectLensDistortion();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;

private:
    float offsetX_ = 0, offsetY_ = 0;
    float square_ = 0, quad_ = 0, scale_ = 0, brighten_ = 0;
    bool alpha_ = false;
    uint8_t backgroundB_ = 0, backgroundG_ = 0, backgroundR_ = 0;
};

class VideoEffectMagnify : public EffectSurface {
public:
    VideoEffectMagnify();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;

    // The destination square clipped to a w x h frame, and the source rectangle centred in it.
    void Rects(int w, int h, cv::Rect* destination, cv::Rect* source) const;

private:
    int32_t shape_ = 0;
    float centerX_ = 0.5f, centerY_ = 0.5f;
    float magnification_ = 150;
    float size_ = 100;
};

}  // namespace orvex
