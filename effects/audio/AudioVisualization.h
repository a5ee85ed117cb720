#pragma once
// Shader effects driven by the soundtrack. The audio of a frame rides on the second input frame.
//
//   "audio_tex"                       the spectrum row of AudioVisualProcessFFT, smoothed over
//                                     frames: o' = o + (n - o) k,  k = (1 - d)(1 - a) + a,
//                                     a = 1 / fps, d = "audio_duration" (0 follows the audio)
//   "audio_left_db", "audio_right_db" the loudness, smoothed the same way
//
// The mask-shape variant also samples points with outward normals along the outline of the
// shape in the first input ("mask_point_tex": x / W, y / H, normal x, normal y per texel).
#include <memory>
#include <vector>

#include <opencv2/core.hpp>

#include "effects/audio/AudioFFT.h"
#include "effects/shader/OpenGLSurface.h"

namespace orvex {

class VideoEffectAudioVisualization : public VideoEffectOpenGLSurface {
public:
    VideoEffectAudioVisualization();

    ResultCode SetParam(const char* name, EffectParamType type, EffectParamValue value) override;
    void CollectInputs(NamedTextures& out, int64_t position, const std::vector<EffectFramePtr>& inputs) override;
    int32_t RequiredInputCount() override;

    const cv::Mat& Spectrum() const { return spectrum_; }
    float Loudness() const { return loudness_[0]; }
    // The smoothing rule between a stored value o and a new value n.
    float Smooth(float n, float o) const;

protected:
    std::shared_ptr<AudioVisualProcessFFT> fft_;

private:
    cv::Mat spectrum_;
    cv::Mat fresh_;
    int64_t lastPosition_ = -1;
    float duration_ = 0.f;
    float loudness_[2] = {0.f, 0.f};
    GLTextureSlot audioSlot_;
};

struct PointNormal {
    cv::Point2f point;
    cv::Point2f normal;
};

class ShapeMaskAlgo {
public:
    virtual ~ShapeMaskAlgo() = default;
    virtual void Sample(const std::vector<std::vector<cv::Point>>& contours, std::vector<PointNormal>& out) = 0;
};

// Points every `spacing` pixels along each contour (one background task per contour), with the
// normal of the outline there: outward for the outer contours that findContours returns.
class ShapeMaskAlgo_Point_Normal final : public ShapeMaskAlgo {
public:
    explicit ShapeMaskAlgo_Point_Normal(int spacing) : spacing_(spacing < 1 ? 1 : spacing) {}
    void Sample(const std::vector<std::vector<cv::Point>>& contours, std::vector<PointNormal>& out) override;
    static std::vector<PointNormal> SampleContour(const std::vector<cv::Point>& contour, float spacing);

private:
    int spacing_;
};

class VideoEffectAudioVisualizationMaskShape final : public VideoEffectAudioVisualization {
public:
    ResultCode SetParam(const char* name, EffectParamType type, EffectParamValue value) override;
    void CollectInputs(NamedTextures& out, int64_t position, const std::vector<EffectFramePtr>& inputs) override;
    ResultCode ApplyPassUniforms(zrp::Params* params, GLProgramEntry& entry) override;
    int32_t RequiredInputCount() override;

    int32_t PointsCount() const { return pointsCount_; }

private:
    int32_t pointsCount_ = 0;
    float pointSize_ = 0.1f;
    float pointGap_ = 0.1f;
    float maxLength_ = 40.f;
    cv::Mat scaled_, mask_, grey_;
    std::vector<std::vector<cv::Point>> contours_;
    std::vector<PointNormal> points_;
    std::vector<cv::Vec4f> texels_;
    GLTextureSlot pointsSlot_;
};

}  // namespace orvex
