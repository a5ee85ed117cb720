#pragma once
// Audio for the audio-driven effects: the samples of one video frame from a sound file.
#include <memory>
#include <string>

#include "orvex/EffectFrame.h"

namespace orvexcli {

// A sound file kept open across the frames of a video.
class SoundFile {
public:
    SoundFile() = default;
    ~SoundFile();
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;

    // False with *error set when the file cannot be read.
    bool Open(const std::string& path, std::string* error);
    // The samples of frame `frame` at `fps` frames per second (sample rate / fps per channel, as
    // 16-bit integers), zero past the end of the file.
    std::shared_ptr<orvex::EffectAudioFrame> Frame(int64_t frame, int fps);

private:
    void* file_ = nullptr;  // SNDFILE
    int channels_ = 0, sampleRate_ = 0;
    int64_t frames_ = 0;
};

// One frame's samples from a sound file (SoundFile for a single frame); null with *error set
// when the file cannot be read.
std::shared_ptr<orvex::EffectAudioFrame> ReadAudioFrame(const std::string& path, int64_t frame, int fps,
                                                        std::string* error);

}  // namespace orvexcli
