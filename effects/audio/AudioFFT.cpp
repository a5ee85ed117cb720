#include "effects/audio/AudioFFT.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace orvex {

std::mutex& FFTPlanMutex() {
    static std::mutex mutex;
    return mutex;
}

AudioVisualProcessFFT::~AudioVisualProcessFFT() {
    std::lock_guard<std::mutex> lock(FFTPlanMutex());
    FreePlan();
}

void AudioVisualProcessFFT::FreePlan() {
    if (plan_) fftwf_destroy_plan(plan_);
    if (input_) fftwf_free(input_);
    if (spectrum_) fftwf_free(spectrum_);
    plan_ = nullptr;
    input_ = nullptr;
    spectrum_ = nullptr;
    planned_ = false;
}

void AudioVisualProcessFFT::Process(cv::Mat& image, const EffectAudioFrame* audio, float& loudness) {
    loudness = 0.f;
    const bool usable = audio && audio->sampleCount > 0 && audio->channels > 0 &&
                        audio->samples.size() >= static_cast<size_t>(audio->sampleCount) * audio->channels;
    if (!usable) {
        image.release();
        return;
    }
    if (audio->sampleCount != n_) {
        std::lock_guard<std::mutex> lock(FFTPlanMutex());
        FreePlan();
        n_ = audio->sampleCount;
    }
    if (!planned_) {
        std::lock_guard<std::mutex> lock(FFTPlanMutex());
        bins_ = n_ / 2 + 1;
        bands_ = bins_ / bandStep_;
        levels_.assign(bands_, -150.f);
        bytes_.assign(bands_, 0);
        mono_.assign(n_, 0.f);
        window_.resize(n_);
        input_ = fftwf_alloc_real(static_cast<size_t>(n_));
        spectrum_ = fftwf_alloc_complex(static_cast<size_t>(bins_));
        if (input_ && spectrum_) plan_ = fftwf_plan_dft_r2c_1d(n_, input_, spectrum_, FFTW_ESTIMATE);
        if (!plan_) {
            FreePlan();
            image.release();
            return;
        }
        for (int32_t i = 0; i < n_; ++i)
            window_[i] = static_cast<float>((1.0 - std::cos(i * 6.28318530718 / n_)) * 0.5);
        planned_ = true;
    }

    const int32_t channels = audio->channels;
    const double share = 1.0 / channels;
    const int16_t* s = audio->samples.data();
    for (int32_t i = 0; i < n_; ++i) {
        float m = 0.f;
        for (int32_t c = 0; c < channels; ++c)
            m = static_cast<float>(m + s[static_cast<size_t>(i) * channels + c] * share * 3.0517578125e-5);
        mono_[i] = m;
        input_[i] = m * window_[i];
    }
    fftwf_execute(plan_);

    float sum = 0.f;
    int32_t count = 0;
    for (int32_t b = 0; b < bands_; ++b) {
        const int32_t k = b * bandStep_;
        const float magnitude = std::hypot(spectrum_[k][0], spectrum_[k][1]);
        const float level = std::max(20.f * std::log10(magnitude / static_cast<float>(n_)), -150.f);
        levels_[b] = level;
        if (level > -150.f) {
            sum += level;
            ++count;
        }
        bytes_[b] = static_cast<uint8_t>(std::min(255.f, std::trunc((level + 150.f) * 0.006666667f * 255.f)));
    }
    loudness = count >= 1 ? ((sum / static_cast<float>(count) + 150.f) / 180.f) * 100.f + 50.f : 0.f;

    if (bands_ < 1) {
        image.release();
        return;
    }
    const cv::Mat row(1, bands_, CV_8UC1, bytes_.data());
    cv::blur(row, blurred_, cv::Size(20, 1), cv::Point(-1, -1), cv::BORDER_REFLECT_101);
    cv::cvtColor(blurred_, image, cv::COLOR_GRAY2BGRA);
}

}  // namespace orvex
