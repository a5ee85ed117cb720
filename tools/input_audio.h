#pragma once
// The video file's own sound for the audio effects: its first audio stream decoded in step with
// the frames, as 16-bit samples, frame after frame.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "orvex/EffectFrame.h"

namespace orvexcli {

class InputAudio {
public:
    InputAudio() = default;
    ~InputAudio();
    InputAudio(const InputAudio&) = delete;
    InputAudio& operator=(const InputAudio&) = delete;

    // Opens the file's best audio stream; false with *error when there is none or it cannot
    // be decoded.
    bool Open(const std::string& path, std::string* error);
    // The samples of frame `frame` at `fps` frames per second (sample rate / fps per channel,
    // as ReadAudioFrame gives them for a sound file); frames must come in increasing order.
    // Zero past the end of the sound.
    std::shared_ptr<orvex::EffectAudioFrame> Frame(int64_t frame, int fps);

private:
    bool DecodeMore();
    void Append(const AVFrame& f);

    AVFormatContext* format_ = nullptr;
    AVCodecContext* decoder_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int stream_ = -1;
    int channels_ = 0;
    bool ended_ = false;
    // Interleaved samples from sample position base_ on.
    std::vector<int16_t> samples_;
    int64_t base_ = 0;
};

}  // namespace orvexcli
