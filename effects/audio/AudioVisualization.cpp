#include "effects/audio/AudioVisualization.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <future>

#include <opencv2/imgproc.hpp>

#include "effects/Manifest.h"

namespace orvex {
namespace {

// A mask shorter side above this is scaled down before its outline is traced.
constexpr int kMaskSide = 480;
// Most points a shape sends: a row texture every driver holds.
constexpr size_t kMaxPoints = 8192;

// The audio of a frame when it has none: 1764 silent stereo samples (one frame at 44.1 kHz, 25 fps).
const EffectAudioFrame& SilentAudio() {
    static const EffectAudioFrame silent{1764, 2, std::vector<int16_t>(1764 * 2, 0)};
    return silent;
}

bool AudioUsable(const EffectAudioFrame& a) {
    return a.sampleCount > 0 && a.channels > 0 &&
           a.samples.size() >= static_cast<size_t>(a.sampleCount) * static_cast<size_t>(a.channels);
}

// A number from a float or int parameter; false for other types.
bool Numeric(EffectParamType type, const EffectParamValue& v, float* out) {
    if (type == ParamFloat && std::isfinite(v.AsFloat())) *out = v.AsFloat();
    else if (type == ParamInt) *out = static_cast<float>(v.AsInt());
    else return false;
    return true;
}

cv::Point2f Perp(cv::Point2f a, cv::Point2f b) {
    const cv::Point2f d = b - a;
    const float len = std::hypot(d.x, d.y);
    return len > 0.f ? cv::Point2f(-d.y / len, d.x / len) : cv::Point2f(0.f, 0.f);
}

// Points along a -> b every s pixels, the first one `s - carry` past a; returns the new carry.
float Segment(cv::Point2f a, cv::Point2f b, float s, float carry, std::vector<cv::Point2f>& out) {
    if (a == b) return carry;
    float L = std::hypot(b.x - a.x, b.y - a.y);
    float t0;
    if (carry == 0.f) {
        out.push_back(a);
        t0 = 0.f;
    } else {
        const float step = s - carry;
        if (L < step) return carry + L;
        t0 = step / L;
        out.push_back(a + (b - a) * t0);
        L -= step;
    }
    if (L == s) return 0.f;
    if (L < s) return L;
    const int k = static_cast<int>(L / s);
    const float f = (s * k) / L - t0;
    for (int j = 1; j <= k; ++j) out.push_back(a + (b - a) * (t0 + f * j / k));
    return L - s * k;
}

}  // namespace

// --- VideoEffectAudioVisualization --------------------------------------------------------------

VideoEffectAudioVisualization::VideoEffectAudioVisualization() : fft_(std::make_shared<AudioVisualProcessFFT>()) {}

ResultCode VideoEffectAudioVisualization::SetParam(const char* name, EffectParamType type, EffectParamValue value) {
    if (name && std::strcmp(name, "audio_duration") == 0) {
        float d = 0.f;
        if (!Numeric(type, value, &d)) return WrongFormat;
        // 0 follows the audio, 1 holds the stored values as long as the rate allows; beyond 1 the
        // factor would turn negative and push the values away from the audio.
        duration_ = std::clamp(d, 0.f, 1.f);
        return Ok;
    }
    return VideoEffectOpenGLSurface::SetParam(name, type, std::move(value));
}

int32_t VideoEffectAudioVisualization::RequiredInputCount() { return VideoEffectOpenGLSurface::RequiredInputCount() + 1; }

float VideoEffectAudioVisualization::Smooth(float n, float o) const {
    const float fps = static_cast<float>(IntegerFrameRate(FrameRateNumerator(), FrameRateDenominator()));
    const float a = 1.f / fps;
    const float k = (1.f - duration_) * (1.f - a) + a;
    if (n > o) return o + (n - o) * k;
    if (n < o) return o - (o - n) * k;
    return n;
}

void VideoEffectAudioVisualization::CollectInputs(NamedTextures& out, int64_t position,
                                                  const std::vector<EffectFramePtr>& inputs) {
    VideoEffectOpenGLSurface::CollectInputs(out, position, inputs);
    const EffectAudioFrame* audio = &SilentAudio();
    if (inputs.size() >= 2 && inputs[1] && inputs[1]->audio && AudioUsable(*inputs[1]->audio))
        audio = inputs[1]->audio.get();
    float loudness = 0.f;
    fft_->Process(fresh_, audio, loudness);

    if (!spectrum_.empty() && duration_ != 0.f && position != lastPosition_ && spectrum_.size() == fresh_.size()) {
        for (int x = 0; x < spectrum_.cols; ++x) {
            uint8_t* o = spectrum_.ptr<uint8_t>(0) + 4 * x;
            const uint8_t* n = fresh_.ptr<uint8_t>(0) + 4 * x;
            for (int c = 0; c < 3; ++c) o[c] = cv::saturate_cast<uint8_t>(std::trunc(Smooth(n[c], o[c])));
        }
    } else {
        fresh_.copyTo(spectrum_);
    }
    lastPosition_ = position;
    if (!spectrum_.empty()) {
        out.emplace_back("audio_tex", audioSlot_.FromHost(spectrum_.data, static_cast<int32_t>(spectrum_.step[0]),
                                                          spectrum_.cols, 1, zrp::kBitFormat8));
    }

    const float smoothed = duration_ != 0.f ? Smooth(loudness, loudness_[0]) : loudness;
    loudness_[0] = loudness_[1] = smoothed;
    VideoEffectOpenGLSurface::SetParam("audio_left_db", ParamFloat, EffectParamValue::Float(loudness_[0]));
    VideoEffectOpenGLSurface::SetParam("audio_right_db", ParamFloat, EffectParamValue::Float(loudness_[1]));
}

// --- ShapeMaskAlgo_Point_Normal --------------------------------------------------------------------

std::vector<PointNormal> ShapeMaskAlgo_Point_Normal::SampleContour(const std::vector<cv::Point>& contour,
                                                                  float spacing) {
    std::vector<PointNormal> result;
    const size_t n = contour.size();
    if (n == 0) return result;
    if (n == 1) {
        result.push_back({cv::Point2f(contour[0]), cv::Point2f(1.f, 0.f)});
        return result;
    }
    std::vector<cv::Point2f> q;
    if (n == 2) {
        const cv::Point2f a(contour[0]), b(contour[1]);
        Segment(a, b, spacing, 0.f, q);
        const cv::Point2f normal = Perp(a, b);
        for (const cv::Point2f& p : q) result.push_back({p, normal});
        return result;
    }
    float carry = 0.f;
    for (size_t i = 0; i < n; ++i)
        carry = Segment(cv::Point2f(contour[i]), cv::Point2f(contour[(i + 1) % n]), spacing, carry, q);
    const size_t m = q.size();
    for (size_t j = 0; j < m; ++j) {
        const cv::Point2f sum = Perp(q[(j + m - 1) % m], q[j]) + Perp(q[j], q[(j + 1) % m]);
        const float len = std::hypot(sum.x, sum.y);
        // A lone point (or two that cancel) has no outline direction: it points along x.
        result.push_back({q[j], len > 0.f ? sum / len : cv::Point2f(1.f, 0.f)});
    }
    return result;
}

void ShapeMaskAlgo_Point_Normal::Sample(const std::vector<std::vector<cv::Point>>& contours,
                                        std::vector<PointNormal>& out) {
    const float s = static_cast<float>(spacing_);
    std::vector<std::future<std::vector<PointNormal>>> tasks;
    tasks.reserve(contours.size());
    for (const auto& contour : contours) {
        try {
            tasks.push_back(std::async(std::launch::async, &SampleContour, std::cref(contour), s));
        } catch (const std::system_error&) {
            // No thread to be had: this contour is sampled when its result is collected.
            tasks.push_back(std::async(std::launch::deferred, &SampleContour, std::cref(contour), s));
        }
    }
    out.clear();
    for (auto& task : tasks) {
        std::vector<PointNormal> points = task.get();
        out.insert(out.end(), points.begin(), points.end());
    }
}

// --- VideoEffectAudioVisualizationMaskShape --------------------------------------------------------

ResultCode VideoEffectAudioVisualizationMaskShape::SetParam(const char* name, EffectParamType type,
                                                            EffectParamValue value) {
    if (name && (std::strcmp(name, "point_gap") == 0 || std::strcmp(name, "point_size") == 0)) {
        float v = 0.f;
        if (!Numeric(type, value, &v)) return WrongFormat;
        (name[6] == 'g' ? pointGap_ : pointSize_) = v;
        return Ok;
    }
    if (name && std::strcmp(name, "max_length") == 0) {
        float v = 0.f;
        if (!Numeric(type, value, &v)) return WrongFormat;
        maxLength_ = v;
    }
    // Not the audio class's SetParam: "audio_duration" reaches the passes as a uniform here.
    return VideoEffectOpenGLSurface::SetParam(name, type, std::move(value));
}

int32_t VideoEffectAudioVisualizationMaskShape::RequiredInputCount() {
    return VideoEffectOpenGLSurface::RequiredInputCount() + 2;
}

ResultCode VideoEffectAudioVisualizationMaskShape::ApplyPassUniforms(zrp::Params* params, GLProgramEntry& entry) {
    if (!params) return Failed;
    params->SetParamValue("points_count", zrp::kParamInt32, &pointsCount_, sizeof pointsCount_);
    return VideoEffectAudioVisualization::ApplyPassUniforms(params, entry);
}

void VideoEffectAudioVisualizationMaskShape::CollectInputs(NamedTextures& out, int64_t position,
                                                           const std::vector<EffectFramePtr>& inputs) {
    VideoEffectAudioVisualization::CollectInputs(out, position, inputs);
    FramePixels pixels;
    if (inputs.empty() || !inputs[0] || !pixels.Read(*inputs[0])) return;
    const cv::Mat& image = pixels.image();
    const int shorter = std::min(image.cols, image.rows);
    if (shorter > kMaskSide) {
        const float s = static_cast<float>(kMaskSide) / static_cast<float>(shorter);
        const cv::Size size(std::max(1, static_cast<int>(image.cols * s)), std::max(1, static_cast<int>(image.rows * s)));
        cv::resize(image, scaled_, size, 0, 0, cv::INTER_LINEAR);
    } else {
        image.copyTo(scaled_);
    }
    const int W = scaled_.cols, H = scaled_.rows;

    // Transparency outlines the shape when the picture has any; otherwise everything not black.
    cv::extractChannel(scaled_, grey_, 3);
    double minAlpha = 255;
    cv::minMaxLoc(grey_, &minAlpha);
    if (minAlpha < 255) {
        cv::threshold(grey_, mask_, 0, 255, cv::THRESH_BINARY);
    } else {
        cv::cvtColor(scaled_, grey_, cv::COLOR_BGRA2GRAY);
        cv::threshold(grey_, mask_, 0, 255, cv::THRESH_BINARY);
    }
    contours_.clear();
    cv::findContours(mask_, contours_, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);

    float m = FLT_MAX, minX = FLT_MAX, minY = FLT_MAX, maxX = 0.f, maxY = 0.f;
    for (const auto& contour : contours_) {
        const cv::Rect r = cv::boundingRect(contour);
        m = std::min(m, static_cast<float>(std::min(r.width, r.height)));
        minX = std::min(minX, static_cast<float>(r.x));
        minY = std::min(minY, static_cast<float>(r.y));
        maxX = std::max(maxX, static_cast<float>(r.x + r.width));
        maxY = std::max(maxY, static_cast<float>(r.y + r.height));
    }
    if (contours_.empty()) {
        // No shape: nothing to measure; the region is the whole picture and no point is sent.
        m = 0.f;
        minX = minY = 0.f;
        maxX = static_cast<float>(W);
        maxY = static_cast<float>(H);
    }
    const float base = std::max(30.f, m);
    const float size = base * pointSize_ * 0.3f;
    const float gap = base * pointGap_ * 0.4f;
    const float spacingF = size * 0.5f + gap;
    // A spacing below one pixel would put points without end on every edge.
    const int spacing = std::isfinite(spacingF) && spacingF >= 1.f ? static_cast<int>(std::min(spacingF, 1e6f)) : 1;

    auto setFloat = [&](const char* name, float v) {
        VideoEffectOpenGLSurface::SetParam(name, ParamFloat, EffectParamValue::Float(v));
    };
    setFloat("current_point_size", size / static_cast<float>(std::min(W, H)));
    setFloat("available_region_x1", (minX - size - maxLength_) / static_cast<float>(W));
    setFloat("available_region_x2", (maxX + size + maxLength_) / static_cast<float>(W));
    setFloat("available_region_y1", (minY - size - maxLength_) / static_cast<float>(H));
    setFloat("available_region_y2", (maxY + size + maxLength_) / static_cast<float>(H));

    ShapeMaskAlgo_Point_Normal algo(spacing);
    algo.Sample(contours_, points_);
    if (points_.size() > kMaxPoints) points_.resize(kMaxPoints);
    pointsCount_ = static_cast<int32_t>(points_.size());
    texels_.clear();
    for (const PointNormal& p : points_)
        texels_.emplace_back(p.point.x / W, p.point.y / H, p.normal.x, p.normal.y);
    // The texture needs a texel even when there is no point; points_count 0 says to draw none.
    if (texels_.empty()) texels_.emplace_back(0.f, 0.f, 0.f, 0.f);
    const int32_t count = static_cast<int32_t>(texels_.size());
    out.emplace_back("mask_point_tex",
                     pointsSlot_.FromHost(reinterpret_cast<const uint8_t*>(texels_.data()),
                                          count * static_cast<int32_t>(sizeof(cv::Vec4f)), count, 1,
                                          zrp::kBitFormatFloat32));
}

// --- self-registration ---------------------------------------------------------------------------------

namespace {

template <class T>
EffectSurface* MakeAudioEffect() {
    return new T();
}

const bool kRegistered = [] {
    RegisterSelfEffect("audio_visualization", &MakeAudioEffect<VideoEffectAudioVisualization>);
    RegisterSelfEffect("video/effect/audio_visualization_mask_shape",
                       &MakeAudioEffect<VideoEffectAudioVisualizationMaskShape>);
    return true;
}();

}  // namespace

}  // namespace orvex
