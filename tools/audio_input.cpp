#include "audio_input.h"

#include <sndfile.h>

namespace orvexcli {

std::shared_ptr<orvex::EffectAudioFrame> ReadAudioFrame(const std::string& path, int64_t frame, int fps,
                                                        std::string* error) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        *error = sf_strerror(nullptr);
        return nullptr;
    }
    struct Close {
        SNDFILE* f;
        ~Close() { sf_close(f); }
    } close{file};
    if (info.channels < 1 || info.channels > 64 || info.samplerate < 1 || fps < 1) {
        *error = "no audio channels or sample rate";
        return nullptr;
    }
    auto audio = std::make_shared<orvex::EffectAudioFrame>();
    audio->channels = info.channels;
    audio->sampleCount = info.samplerate / fps > 0 ? info.samplerate / fps : 1;
    audio->samples.assign(static_cast<size_t>(audio->sampleCount) * info.channels, 0);
    const sf_count_t start = static_cast<sf_count_t>(frame < 0 ? 0 : frame) * audio->sampleCount;
    if (start < info.frames && sf_seek(file, start, SEEK_SET) >= 0)
        sf_readf_short(file, audio->samples.data(), audio->sampleCount);
    return audio;
}

}  // namespace orvexcli
