#pragma once
// Pictures on disk and as host frames, shared by every command.
#include <string>

#include <opencv2/core.hpp>

#include "orvex/EffectFrame.h"

namespace orvexcli {

// Reads a picture as 8-bit BGRA; alpha kept when present, 255 otherwise. False on any failure.
bool ReadBGRA(const std::string& path, cv::Mat* out);
// Writes a BGRA picture (8 or 16 bits); JPEG drops the alpha. False on any failure.
bool WritePicture(const std::string& path, const cv::Mat& bgra);
// A host frame over a four-channel picture: BGRA for 8-bit samples, BGRA64 for 16-bit ones.
orvex::EffectFrame FrameOf(cv::Mat& picture);

}  // namespace orvexcli
