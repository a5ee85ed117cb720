#pragma once
// A video file read with libavformat and libavcodec: the best video stream decoded frame by
// frame, the packets of the other streams handed on untouched, corrupt packets skipped with a
// warning (as FFmpeg does).
#include <cstdint>
#include <deque>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace orvexcli {

// Text of an FFmpeg error code.
std::string AvError(int code);

class VideoInput {
public:
    VideoInput() = default;
    ~VideoInput();
    VideoInput(const VideoInput&) = delete;
    VideoInput& operator=(const VideoInput&) = delete;

    // Opens the file and the decoder of its video stream. An exit code, having printed why
    // (unreadable, no video stream, no decoder).
    int Open(const std::string& path);

    AVFormatContext* format() const { return format_; }
    AVStream* stream() const { return stream_; }
    AVCodecContext* decoder() const { return decoder_; }
    const std::string& path() const { return path_; }
    // The stream's frame rate (25 when the file does not say).
    AVRational frameRate() const { return rate_; }
    // Frames in the stream as the container states them, else estimated from the duration; 0
    // when unknown.
    int64_t EstimatedFrames() const;

    enum Result { kFrame, kPacket, kEnd, kError };
    // The next decoded video frame (into `frame`), or the next packet of another stream (into
    // `packet`, which the caller unreferences), or the end of the file, or a read error (printed).
    Result Read(AVFrame* frame, AVPacket* packet);
    // Decoded frames so far.
    int64_t framesDecoded() const { return decoded_; }

private:
    void ReportCorrupt(int code);

    std::string path_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* decoder_ = nullptr;
    AVStream* stream_ = nullptr;
    AVRational rate_{25, 1};
    bool flushed_ = false;
    int64_t decoded_ = 0;
    int64_t sent_ = 0;  // video packets given to the decoder
    std::deque<int64_t> inFlight_;  // frame numbers of the packets sent and not yet decoded
};

}  // namespace orvexcli
