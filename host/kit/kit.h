#pragma once
// What a host program needs around the library: host frames over its own memory, a GPU platform
// factory for the devices present, and moving frames between host memory and textures.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "orvex/EffectFrame.h"
#include "zrp/zrp.h"

namespace orvexhost {

// Views caller-owned BGRA memory as an EffectFrame (no copy).
orvex::EffectFramePtr WrapBGRA(uint8_t* data, int width, int height, int pitch,
                               uint32_t pixelFormat = orvex::BGRA32);

// An owned 8-bit BGRA picture with its frame; rows are `pitch` bytes (at least width * 4).
struct HostImage {
    std::vector<uint8_t> pixels;
    orvex::EffectFramePtr frame;
    int width = 0, height = 0, pitch = 0;
    uint8_t* row(int y) { return pixels.data() + static_cast<size_t>(y) * pitch; }
};
HostImage MakeHostImage(int width, int height, int pitch = 0);

struct KitOptions {
    bool opencl = true;
    bool opengl = true;
    // OpenGL runs on EGL (a surfaceless Mesa display where there is one); without a display the
    // factory has no "opengl" device.
    // Substring of the OpenCL device name to prefer; empty: the first GPU or accelerator.
    std::string openclDevice;
    // Also accept a CPU OpenCL device (PoCL) when there is no GPU or accelerator. Off by default:
    // a CPU device runs the kernels far slower than the CPU bodies, so only a caller that names
    // it (`--device opencl`, the OpenCL tests and benchmarks) gets one.
    bool openclOnCpu = false;
    // Build the OpenCL programs as on a device without double precision (cl_khr_fp64 hidden), so
    // a run on a device that has it shows what one without gives. Also set by the environment
    // variable ORVEX_OPENCL_HIDE_FP64=1, which the second OpenCL test run sets.
    bool hideFp64 = false;
};

// A factory on the devices present, or null when none was asked for or found. With the default
// options this is the "best" choice: OpenCL on a GPU or accelerator when there is one (else the
// CPU bodies), and OpenGL wherever a display exists.
std::unique_ptr<zrp::ATLUFactory> MakeFactory(const KitOptions& options = {});

// The platform colour space and bit format of a host pixel format; false for formats with no
// texture layout (2, 10, 15 and up).
bool TextureFormatFor(uint32_t pixelFormat, uint32_t bitDepth, zrp::ImageColorSpace* cs, zrp::BitFormat* bits);

// A new texture on `platform` ("opencl" or "opengl") holding a copy of a host frame; null on any
// failure.
zrp::TexturePtr UploadFrame(zrp::ATLUFactory& factory, const orvex::EffectFrame& frame,
                            const char* platform = "opencl");
// Copies a host frame into an existing texture of the same shape (a video loop reuses its
// textures); false on failure.
bool UploadInto(zrp::Texture& texture, const orvex::EffectFrame& frame);
// A new, uninitialised texture on `platform` shaped like a host frame.
zrp::TexturePtr CreateTextureLike(zrp::ATLUFactory& factory, const orvex::EffectFrame& frame,
                                  const char* platform = "opencl");
// Copies every plane of a texture into a host frame of the same shape; false on failure.
bool DownloadFrame(zrp::Texture& texture, orvex::EffectFrame& frame);

}  // namespace orvexhost
