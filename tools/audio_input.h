#pragma once
// Audio for the audio-driven effects: the samples of one video frame from a sound file.
#include <memory>
#include <string>

#include "orvex/EffectFrame.h"

namespace orvexcli {

// The samples of frame `frame` at `fps` frames per second (sample rate / fps per channel, as
// 16-bit integers), zero past the end of the file; null with *error set when the file cannot be
// read.
std::shared_ptr<orvex::EffectAudioFrame> ReadAudioFrame(const std::string& path, int64_t frame, int fps,
                                                        std::string* error);

}  // namespace orvexcli
