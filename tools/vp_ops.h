#pragma once
// The frame operations of `orvex vp` on host frames, without files: what the command and the
// Python module share (the options and their defaults, the YUV layouts, running on a device).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "colorspace.h"
#include "orvex/IVisualProcess.h"
#include "zrp/zrp.h"

namespace orvexcli {

// resize, crop, rotate, flip, blend and transform; the defaults are the command's.
struct VpOptions {
    std::string op;
    int width = 0, height = 0;  // 0: chosen by the operation
    int type = 0, quality = 1, quarter = -1, flip = 0;  // flip: 1 horizontal, 2 vertical
    bool hasAngle = false, nearest = false, hasRect = false;
    double angle = 0;
    orvex::fxRectf rect{0, 0, 1, 1};
    // blend and transform
    int mode = 0;
    double opacity = 1;
    bool premultiplied = false;
    orvex::fxRectf overlayRect{0, 0, 1, 1};
    orvex::fxPointd anchor{0.5, 0.5}, centre{0.5, 0.5}, scale{1, 1}, skew{0, 0};
    double rotation = 0;
};

// What is missing or contradictory in the options of a one-picture operation; empty when fine.
std::string VpProblem(const VpOptions& o);
// The output size of resize, crop, rotate or flip on a w x h picture.
void VpOutputSize(const VpOptions& o, int w, int h, int* outW, int* outH);
// resize, crop, rotate or flip of `in` into `out`.
orvex::ResultCode VpApply(orvex::IVisualProcess& vp, const VpOptions& o, const orvex::EffectFrame& in,
                          orvex::EffectFrame& out);
// blend or transform: the overlay composed onto the background, into `out` (the background's size).
orvex::ResultCode VpCompose(orvex::IVisualProcess& vp, const VpOptions& o, const orvex::EffectFrame& overlay,
                            const orvex::EffectFrame& background, orvex::EffectFrame& out);

// Runs op on host frames, or, with a factory, on OpenCL textures of them, reading the output back
// into the host frame after.
using VpOperation = std::function<orvex::ResultCode(std::vector<orvex::EffectFrame>&, orvex::EffectFrame&)>;
orvex::ResultCode RunOnDevice(zrp::ATLUFactory* factory, orvex::IVisualProcess& vp,
                              std::vector<orvex::EffectFrame> inputs, orvex::EffectFrame out, const VpOperation& op);

// The folder above the resource tree that holds the HDR cubes (the service appends
// "/resources/..."); empty when none is found.
std::string FindCubeRoot(const std::string& given);

// The raw YUV layouts `vp convert` reads and writes.
struct YuvFormat {
    const char* name;
    uint32_t pixelFmt;
    uint32_t bitDepth;
    bool swapChroma;  // file order Y, U, V against the frame's Y, V, U
    // The 4:2:0 format of the same planes that encodes a 4:2:2 picture (EncodeFrame below).
    bool is422 = false;
    uint32_t encodeAs = 0;
};
// Null for an unknown name.
const YuvFormat* FindYuvFormat(const std::string& name);
// Every name, separated by ", ".
std::string YuvFormatNames();
// The matrix ("601", "709", "2020") and range ("limited", "full") of a conversion at a bit depth.
ColorSpace::pl_color_repr YuvRepr(const std::string& matrix, const std::string& range, int depth);
ColorSpace::pl_color_space YuvSpace(const std::string& matrix);

// The planes of one YUV frame in file order, tightly packed, over owned memory.
struct YuvPlanes {
    orvex::EffectFrame frame;
    std::vector<uint8_t> bytes;
    size_t planeBytes[4] = {};
    int planeCount = 0;

    YuvPlanes(const YuvFormat& f, int w, int h) : YuvPlanes(f.pixelFmt, f.bitDepth, f.swapChroma, w, h) {}
    YuvPlanes(uint32_t pixelFmt, uint32_t bitDepth, bool swapChroma, int w, int h);
};

// Converts between a BGRA picture and YUV planes of the same size (decode: yuv -> bgra), with a
// factory on OpenCL textures. 4:2:2 output is encoded through the 4:2:0 sibling format.
orvex::ResultCode ConvertFrame(zrp::ATLUFactory* factory, orvex::IVisualProcess& vp, const YuvFormat& format,
                               const std::string& matrix, const std::string& range, int quality, bool decode,
                               YuvPlanes& yuv, orvex::EffectFrame& bgra);

}  // namespace orvexcli
