#pragma once
// Blur, sharpen and edge effects: each output pixel from a neighbourhood of the input. Filters use
// the reflect-101 border (the edge pixel is not repeated) unless stated; M[x][y] = (x y + 127) div 255
// is the process-wide byte-scaling table; sat clamps to 0..255; rint rounds halves to even.
//
// Gaussian blur:  G(sigma = 10) over a (2r + 1)^2 square, r = Blurriness, all four channels.
// Direction blur: kernel = k x k diagonal line (k = 2 trunc(len) + 1) rotated by 135 - direction, / k;
//                 the filtered colour is stretched to span 0..255.
// Camera blur:    three-box Gaussian of size percent_blur over all four channels.
// Compound blur:  out = M[B][g] + M[in][255 - g], B the three-box blur of size Maximum_Blur, g the
//                 gray level (inverted by Reverse): bright areas take the blur.
// Channel blur:   each plane its own three-box blur (square, horizontal or vertical boxes).
// Sharpen:        E = sat(4 c - n - s - e - w) (at 686 x 386 or 386 x 686 above 1080 pixels, scaled
//                 back bilinearly); out = min(255, in + M[E][a]), a = trunc(255 Amount/100).
// Unsharp mask:   out = |in - B| < Threshold ? in : sat(rint(in (1 + a) - B a)), a = Amount/100.
// Emboss:         J = in(x, y + o) with o = d rounded, d = sin(135 - angle) concave;
//                 e = sat(rint((I - J) c + 128)) (colour emboss: + I instead of + 128);
//                 out = M[I][255 - k] + M[e][k], c = contrast/100, k = trunc(255 alpha/100).
// Find edges:     E = sat(|Sobel_x| + |Sobel_y|), inverted unless reverse; out = M[E][k] + M[in][255 - k].
#include <cstdint>
#include <vector>

#include "effects/EffectSurface.h"

namespace orvex {

class VideoEffectGaussianBlur : public EffectSurface {
public:
    VideoEffectGaussianBlur();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

    // w(i, j) = exp(-(i^2 + j^2)/200) / sum, i, j = -r..r, row by row; rebuilt only when r changes.
    const std::vector<float>& KernelTable();

private:
    int32_t blurriness_ = 1;
    int32_t tableRadius_ = -1;
    std::vector<float> table_;
};

class VideoEffectDirectionBlur : public EffectSurface {
public:
    VideoEffectDirectionBlur();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    // The k x k float filter for the stored direction and length.
    cv::Mat Kernel() const;

private:
    float direction_ = 45;
    float length_ = 5;
    cv::Mat filtered_;  // scratch, kept so that frames do not allocate
};

class VideoEffectCameraBlur : public EffectSurface {
public:
    VideoEffectCameraBlur();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;

private:
    int32_t percent_ = 25;
};

class VideoEffectCompoundBlur : public EffectSurface {
public:
    VideoEffectCompoundBlur();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;

private:
    float maximum_ = 20;
    bool reverse_ = false;
    cv::Mat map_, blurred_;  // scratch, kept so that frames do not allocate
};

class VideoEffectChannelBlur : public EffectSurface {
public:
    VideoEffectChannelBlur();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;

private:
    int32_t red_ = 0, green_ = 0, blue_ = 0, alpha_ = 0;
    bool repeatEdge_ = false;
    int32_t mode_ = 0;
    std::vector<cv::Mat> planes_;  // scratch, kept so that frames do not allocate
    cv::Mat scratch_;
};

class VideoEffectSharpen : public EffectSurface {
public:
    VideoEffectSharpen();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

    // The size the edge map is computed at for a w x h frame (the frame's own below 1080 pixels).
    static cv::Size EdgeMapSize(int w, int h);

private:
    float amount_ = 100;
    cv::Mat small_, small3_, smallEdges_, edges_;  // scratch for the reduced-size edge map
};

class VideoEffectUnsharpenMask : public EffectSurface {
public:
    VideoEffectUnsharpenMask();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;

private:
    float amount_ = 50;
    float radius_ = 1;
    int32_t threshold_ = 0;
    cv::Mat blurred_;  // scratch, kept so that frames do not allocate
    // T[in][blur] for the amount and threshold it was built with; rebuilt when they change.
    std::vector<uint8_t> table_;
    float tableAmount_ = 0;
    int32_t tableThreshold_ = 0;
};

// Emboss and colour emboss share everything but the base of e and the defaults of concave.
class EmbossEffect : public EffectSurface {
public:
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

    // The row offset o: J is read from row clamp(y + o, 0, h - 1).
    int RowOffset() const;

protected:
    EmbossEffect(bool colour, float concave);

private:
    bool colour_;
    float angle_ = 45;
    float concave_;
    int32_t contrast_ = 100;
    int32_t alpha_ = 100;
};

class VideoEffectEmboss : public EmbossEffect {
public:
    VideoEffectEmboss();
};

class VideoEffectColorEmboss : public EmbossEffect {
public:
    VideoEffectColorEmboss();
};

class VideoEffectFindEdges : public EffectSurface {
public:
    VideoEffectFindEdges();
    ResultCode ProcessCPU(int64_t position, EffectFrame* input, EffectFrame* output) override;
    ResultCode ProcessOpenCL(int64_t position, const std::shared_ptr<zrp::Texture>& input,
                             const std::shared_ptr<zrp::Texture>& output) override;

private:
    bool reverse_ = false;
    int32_t alpha_ = 100;
    BandScratchSet scratch_;      // strips of the Sobel sums per band, kept between frames
    std::vector<uint8_t> table_;  // T[E][in], rebuilt each frame into the same storage
};

}  // namespace orvex
