#pragma once
// The spectrum of the audio that travels with a frame, as a one-row image for the shaders.
//
//   mono[i]  = sum_c s[i][c] / channels / 32768,   x[i] = mono[i] * (1 - cos(2 pi i / N)) / 2
//   X        = rfft(x)  (N = samples per frame, N/2 + 1 bins)
//   level[b] = max(20 log10(|X[2b]| / N), -150) dB          (one bin per band, every second bin)
//   byte[b]  = min(255, trunc((level[b] + 150) / 150 * 255)), blurred 20 x 1, grey to BGRA
//   loudness = ((mean of the levels above -150) + 150) / 180 * 100 + 50, or 0 when none is
#include <cstdint>
#include <mutex>
#include <vector>

#include <fftw3.h>
#include <opencv2/core.hpp>

#include "orvex/EffectFrame.h"

namespace orvex {

// FFTW planning is not thread-safe: every plan and FFTW buffer is made and freed under this lock.
std::mutex& FFTPlanMutex();

class AudioVisualProcess {
public:
    virtual ~AudioVisualProcess() = default;
    // Writes the spectrum image and the loudness of one frame's audio.
    virtual void Process(cv::Mat& image, const EffectAudioFrame* audio, float& loudness) = 0;
};

class AudioVisualProcessFFT final : public AudioVisualProcess {
public:
    AudioVisualProcessFFT() = default;
    ~AudioVisualProcessFFT() override;
    AudioVisualProcessFFT(const AudioVisualProcessFFT&) = delete;
    AudioVisualProcessFFT& operator=(const AudioVisualProcessFFT&) = delete;

    // Without audio (or with samples that do not fill sampleCount x channels) the image is
    // emptied and the loudness is 0.
    void Process(cv::Mat& image, const EffectAudioFrame* audio, float& loudness) override;

    int32_t FFTSize() const { return n_; }
    int32_t BinCount() const { return bins_; }
    int32_t BandCount() const { return bands_; }
    const std::vector<float>& BandLevels() const { return levels_; }
    const std::vector<uint8_t>& BandBytes() const { return bytes_; }

private:
    void FreePlan();  // under FFTPlanMutex

    bool planned_ = false;
    int32_t n_ = 1764;
    float* input_ = nullptr;
    fftwf_complex* spectrum_ = nullptr;
    fftwf_plan plan_ = nullptr;
    int32_t bins_ = 0;
    std::vector<float> mono_;
    std::vector<float> window_;
    int32_t bands_ = 0;
    int32_t bandStep_ = 2;
    std::vector<float> levels_;
    std::vector<uint8_t> bytes_;
    cv::Mat blurred_;
};

}  // namespace orvex
