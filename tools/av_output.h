#pragma once
// A video file written with libavformat and libavcodec: the container from the name's
// extension, the encoder and quality the user chose, the source's colour tags, frame rate, time
// base and rotation, and the source's other streams copied unchanged.
#include <cstdint>
#include <string>
#include <vector>

#include "av_frames.h"
#include "av_input.h"

namespace orvexcli {

struct EncodeOptions {
    std::string codec;      // empty: libx264 for mp4/mov/mkv, libvpx-vp9 for webm, else the muxer's
    double crf = -1;        // < 0: the codec's own default quality
    int64_t bitrate = 0;    // bits per second; 0: not set
    std::string pixFmt;     // empty: 4:2:0, 10-bit when the source has more than 8 bits and the codec can
    bool copyStreams = true;
};

class VideoOutput {
public:
    VideoOutput() = default;
    // Unfinished files are removed.
    ~VideoOutput();
    VideoOutput(const VideoOutput&) = delete;
    VideoOutput& operator=(const VideoOutput&) = delete;

    // Creates the file with its streams and header. `colour` is what the frames are encoded
    // with. An exit code, having printed why; nothing is left on disk on failure.
    int Open(const std::string& path, const VideoInput& input, const EncodeOptions& options,
             const StreamColour& colour);

    AVCodecContext* encoder() const { return encoder_; }
    // The time base of the frames given to Encode (the source stream's).
    AVRational frameTimeBase() const { return frameTb_; }
    // The output stream for an input stream, -1 when that stream is not copied.
    int CopiedStream(int inputIndex) const;

    // Encodes one frame (pts in frameTimeBase()) and writes its packets; false when writing
    // failed (printed).
    bool Encode(AVFrame* frame);
    // Writes a packet of a copied stream, its timestamps moved back by `offset` (AV_TIME_BASE
    // units); false when writing failed.
    bool Copy(AVPacket* packet, int64_t offset);
    // Drains the encoder and finishes the container; false when that failed. A file that holds
    // no frame is removed instead.
    bool Finish();
    int64_t framesWritten() const { return written_; }
    const std::string& path() const { return path_; }

private:
    bool OpenEncoder(const AVCodec* codec, const VideoInput& input, const EncodeOptions& options,
                     AVPixelFormat format, const StreamColour& colour, AVRational timeBase);
    // The video stream, the copied streams (when `copy`) and the header; an exit code, or
    // kRetryWithoutCopies when the header failed with copied streams in it.
    static constexpr int kRetryWithoutCopies = -1;
    int WriteHeader(const VideoInput& input, bool copy);
    bool Drain();
    bool WriteFailed(int code);
    void Discard();

    std::string path_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* encoder_ = nullptr;
    AVStream* stream_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVRational frameTb_{1, 25};
    std::vector<int> copied_;              // input stream index -> output stream index, or -1
    std::vector<AVRational> copiedTb_;     // input time bases of the copied streams
    bool created_ = false, finished_ = false, failed_ = false;
    int64_t written_ = 0;
};

}  // namespace orvexcli
