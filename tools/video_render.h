#pragma once
// `orvex render` on a video: decode, render and encode overlapped on three threads joined by
// small bounded queues, frame order kept, with a progress line and a clean stop on Ctrl-C.
#include <cstdint>
#include <string>

#include "av_output.h"
#include "render_session.h"

namespace orvexcli {

struct VideoJob {
    std::string input, output;
    EncodeOptions encode;
    // Frames first .. end - 1 counted from the start of the source; end < 0: to the last frame.
    int64_t first = 0, end = -1;
    std::string audioFile;        // a sound file for the audio effects
    bool audioFromInput = false;  // the input's own sound for them
    int fps = 0;                  // the effects' frame rate; 0: the video's
};

// An exit code, having printed why on failure.
int RenderVideo(RenderSession& session, const VideoJob& job);

}  // namespace orvexcli
