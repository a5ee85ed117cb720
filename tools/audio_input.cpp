#include "audio_input.h"

#include <sndfile.h>

namespace orvexcli {

SoundFile::~SoundFile() {
    if (file_) sf_close(static_cast<SNDFILE*>(file_));
}

bool SoundFile::Open(const std::string& path, std::string* error) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        *error = sf_strerror(nullptr);
        return false;
    }
    file_ = file;
    if (info.channels < 1 || info.channels > 64 || info.samplerate < 1) {
        *error = "no audio channels or sample rate";
        return false;
    }
    channels_ = info.channels;
    sampleRate_ = info.samplerate;
    frames_ = info.frames;
    return true;
}

std::shared_ptr<orvex::EffectAudioFrame> SoundFile::Frame(int64_t frame, int fps) {
    auto audio = std::make_shared<orvex::EffectAudioFrame>();
    audio->channels = channels_;
    audio->sampleCount = fps > 0 && sampleRate_ / fps > 0 ? sampleRate_ / fps : 1;
    audio->samples.assign(static_cast<size_t>(audio->sampleCount) * channels_, 0);
    const sf_count_t start = static_cast<sf_count_t>(frame < 0 ? 0 : frame) * audio->sampleCount;
    SNDFILE* file = static_cast<SNDFILE*>(file_);
    if (start < frames_ && sf_seek(file, start, SEEK_SET) >= 0)
        sf_readf_short(file, audio->samples.data(), audio->sampleCount);
    return audio;
}

std::shared_ptr<orvex::EffectAudioFrame> ReadAudioFrame(const std::string& path, int64_t frame, int fps,
                                                        std::string* error) {
    SoundFile sound;
    if (!sound.Open(path, error)) return nullptr;
    return sound.Frame(frame, fps);
}

}  // namespace orvexcli
