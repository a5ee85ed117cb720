#pragma once
// Decoded and encoder frames as the library sees them: which FFmpeg pixel formats the library's
// Convert takes (one table), YUV planes wrapped as EffectFrames without a copy, and libswscale
// for the formats the library has no conversion for.
#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "colorspace.h"
#include "orvex/EffectFrame.h"

struct SwsContext;

namespace orvexcli {

// One FFmpeg pixel format the library has a frame format for, and which directions of Convert
// serve it on the CPU and on the GPU. Handing a format over to the library is one row here.
struct LibraryFormat {
    AVPixelFormat av;
    uint32_t pixelFmt;
    uint32_t bitDepth;
    bool yvuOrder;  // the frame keeps Cr in plane 1 and Cb in plane 2 (FFmpeg: Cb first)
    bool cpuDecode, gpuDecode, cpuEncode, gpuEncode;
};
const LibraryFormat* FindLibraryFormat(AVPixelFormat av);

// The colour description of a stream: matrix, range, primaries, transfer, as FFmpeg tags them,
// with unknown tags resolved the way players do (BT.709 from 720 lines up, else BT.601; limited).
struct StreamColour {
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
};
StreamColour ResolveColour(StreamColour tags, int height, bool fullRangeFormat);
// False when the library has no conversion mode for the matrix (it knows BT.601, 709, 2020).
bool LibraryTakesMatrix(AVColorSpace matrix);
// The row when Convert serves the format in that direction (decode: from it) on that device with
// the stream's matrix; else null with *why set.
const LibraryFormat* LibraryRow(AVPixelFormat format, bool gpu, bool decode, const StreamColour& colour,
                                const char** why);
// The library's colour description for a matrix and range at a sample depth.
void LibraryColour(const StreamColour& c, int bitDepth, ColorSpace::pl_color_repr* repr,
                   ColorSpace::pl_color_space* space);

// Views an AVFrame's planes as an EffectFrame of the table's format (no copy).
void WrapPlanes(const AVFrame& av, const LibraryFormat& f, orvex::EffectFrame* out);

// An 8-bit BGRA host picture made once and reused for every frame.
struct BgraBuffer {
    std::vector<uint8_t> pixels;
    orvex::EffectFrame frame;
    void Make(int width, int height);
};

// The decode side: a decoded frame as the library's YUV frame, or (for a format the library
// cannot take) as BGRA through libswscale.
class FrameIn {
public:
    ~FrameIn();
    // False with *error when libswscale cannot take the format either.
    bool Open(AVPixelFormat format, int width, int height, bool gpu, const StreamColour& colour, std::string* error);
    bool library() const { return format_ != nullptr; }
    const LibraryFormat* format() const { return format_; }
    // The frame for the render; valid until the next call.
    const orvex::EffectFrame& Take(const AVFrame& av);

private:
    const LibraryFormat* format_ = nullptr;
    SwsContext* sws_ = nullptr;
    BgraBuffer bgra_;
    orvex::EffectFrame yuv_;
};

// The encode side: where the render leaves its picture for an encoder frame, and the
// libswscale step after it when the library cannot write the encoder's format.
class FrameOut {
public:
    ~FrameOut();
    bool Open(AVPixelFormat format, int width, int height, bool gpu, const StreamColour& colour, std::string* error);
    bool library() const { return format_ != nullptr; }
    const LibraryFormat* format() const { return format_; }
    // The frame the render writes for `av` (its planes, or a BGRA buffer).
    orvex::EffectFrame& Target(AVFrame& av);
    // Moves a BGRA render into `av` where libswscale is the path; nothing otherwise.
    void Finish(AVFrame& av);

private:
    const LibraryFormat* format_ = nullptr;
    SwsContext* sws_ = nullptr;
    BgraBuffer bgra_;
    orvex::EffectFrame yuv_;
};

// Says once per run, on stderr, that a format goes through libswscale.
void NoteSwscale(const char* direction, AVPixelFormat format, const char* why);

}  // namespace orvexcli
