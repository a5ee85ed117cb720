#pragma once
#include <opencv2/core.hpp>

namespace orvexcli {

// A generated BGRA test card: colour bars, grey and colour gradients, skin-like tones, fine
// detail and a translucent strip so alpha handling shows. No text.
cv::Mat MakeTestCard(int width, int height);

}  // namespace orvexcli
