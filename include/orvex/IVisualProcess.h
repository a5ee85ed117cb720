#pragma once
// The visual-processing interface: frame operations on caller-owned frames. Slot order is part
// of the binary contract with hosts. Inputs are read, the output frame is written and never
// allocated here; every operation but the destructor and TransformPoint returns a ResultCode.
#include <cstdint>

#include "colorspace.h"
#include "orvex/EffectFrame.h"
#include "orvex/ResultCode.h"
#include "zrp/zrp.h"

namespace orvex {

// A point of two doubles, normalised to its frame unless stated otherwise.
struct fxPointd {
    double x;
    double y;
};

// Geometry of Motion_Animation; the GPU programs take this record as 44 packed bytes.
struct MotionAnimationParam {
    float scale_x;
    float scale_y;
    float Rotation;  // degrees
    float anchor_center[2];
    float background_center[2];
    float idealwidth;
    float idealheight;
    float skew_x;
    float skew_y;
};
static_assert(sizeof(MotionAnimationParam) == 44, "MotionAnimationParam is a packed 44-byte record");

// A gradient of up to ten stops as the host gives it: colours packed with B (or the first byte)
// in the lowest byte, stop positions 0..1 ascending.
struct GradientData {
    uint32_t colors[10];
    int32_t count;
    float precent[10];
    float posX[2];
    float posY[2];
    float angle;
};

// Overlapping frames: an input that is the output itself (the same planes at the same pitches,
// the same format and size) is rendered in place. An input that only partly overlaps the output
// in memory is read from a copy this object keeps, so the result is what separate frames give.
// Scalar arguments outside their domain (a non-finite number, an opacity outside 0..1) fail the
// call with InvalidArgument and leave the output as it was.
class IVisualProcess {
public:
    // Destroys the object; the host's frames are untouched.
    virtual ~IVisualProcess() = default;  // 0
    // YUV <-> BGRA conversion with matrix and range from repr/space, scaling to out's size.
    virtual ResultCode Convert(ColorSpace::pl_color_repr repr, ColorSpace::pl_color_space space, const EffectFrame& in,
                               EffectFrame& intermediate, EffectFrame& out, int32_t resizeType, int32_t quality,
                               int32_t alphaMode) = 0;  // 1
    // Convert with resize type 0 (stretch to the output).
    virtual ResultCode Convert(ColorSpace::pl_color_repr repr, ColorSpace::pl_color_space space, const EffectFrame& in,
                               EffectFrame& intermediate, EffectFrame& out, int32_t quality,
                               int32_t alphaMode) = 0;  // 2
    // Scales in into out (same pixel format) with a fit mode and a quality 0..3.
    virtual ResultCode Resize(const EffectFrame& in, EffectFrame& out, int32_t resizeType, int32_t quality) = 0;  // 3
    // Blends the overlay region onto the background region (both normalised) into out.
    virtual ResultCode Blend(const EffectFrame& overlay, fxRectf overlayRoi, const EffectFrame& background,
                             fxRectf backgroundRoi, EffectFrame& out, int32_t sampler, int32_t blendMode,
                             double opacity, int32_t ovlAlphaPreMul) = 0;  // 4
    // Places an overlay rectangle (pixels) at a background position (pixels) by translation.
    virtual ResultCode CenterPointAlignBlend(const EffectFrame& overlay, fxRectf overlayRect,
                                             const EffectFrame& background, fxRectf backgroundPos, bool backBlank,
                                             EffectFrame& out, int32_t blendMode, float opacity,
                                             int32_t ovlAlphaPreMul, float offsetX, float offsetY,
                                             bool useWarpAffine) = 0;  // 5
    // Rotates, scales and skews the overlay about its anchor and blends it onto the background.
    virtual ResultCode BlendAndTransform(const EffectFrame& overlay, fxPointd anchor, const EffectFrame& background,
                                         fxPointd backgroundCenter, bool backBlank, EffectFrame& out,
                                         int32_t blendMode, int32_t rangeMode, double opacity,
                                         int32_t ovlAlphaPreMul, int32_t sampleType, double theta, double scaleX,
                                         double scaleY, double skewX, double skewY) = 0;  // 6
    // The transform of BlendAndTransform without blending; rangeMode is read by the YV12 path,
    // cpuFlag only by the BGRA CPU path.
    virtual ResultCode Transform(const EffectFrame& in, fxPointd anchor, EffectFrame& out, fxPointd backgroundCenter,
                                 int32_t sampleType, double theta, double scaleX, double scaleY, int32_t rangeMode,
                                 bool cpuFlag, double skewX, double skewY) = 0;  // 7
    // Background masked by the overlay's alpha over the given regions.
    virtual ResultCode BlendMask(const EffectFrame& overlay, fxRectf overlayRoi, const EffectFrame& background,
                                 fxRectf backgroundRoi, EffectFrame& out, int32_t blendMode) = 0;  // 8
    // Free rotation by theta degrees about the centre.
    virtual ResultCode Rotate(const EffectFrame& in, EffectFrame& out, double theta, int32_t sampler) = 0;  // 9
    // Moves the source region (normalised) of in onto the result region of out.
    virtual ResultCode Motion(const EffectFrame& in, EffectFrame& out, fxRectf sourceRoi, fxRectf resultRoi) = 0;  // 10
    // Quarter turns and mirrors (rotate types 0..4).
    virtual ResultCode PixelRotate(const EffectFrame& in, EffectFrame& out, int32_t rotateType) = 0;  // 11
    // Line-blending deinterlace.
    virtual ResultCode Deinterlace(const EffectFrame& in, EffectFrame& out, int32_t mode) = 0;  // 12
    // Hands over the GPU platform's algorithm-unit factory and loads the GPU program tables.
    virtual ResultCode SetATLUFactory(zrp::ATLUFactory* factory) = 0;  // 13
    // 4-channel BGRA32 to 3-channel BGR.
    virtual ResultCode BGRAToBGR(const EffectFrame& in, EffectFrame& out) = 0;  // 14
    // 3-channel BGR to BGRA32 with opaque alpha.
    virtual ResultCode BGRToBGRA(const EffectFrame& in, EffectFrame& out) = 0;  // 15
    // Fills a frame with a packed colour (B, G, R, A or Y, U, V, A from the lowest byte).
    virtual ResultCode FillFrame(EffectFrame& frame, bool fullRange, uint32_t colour) = 0;  // 16
    // Multiplies colour by alpha (alphaType 1) or makes alpha opaque.
    virtual ResultCode Premultiply(const EffectFrame& in, EffectFrame& out, int32_t alphaType,
                                  bool yMinFlag) = 0;  // 17
    // Blends the overlay over a solid colour (channels 0..255).
    virtual ResultCode solidColorBlend(const EffectFrame& overlay, EffectFrame& out, int32_t blue, int32_t green,
                                       int32_t red, int32_t alpha, int32_t blendMode, double opacity,
                                       int32_t ovlAlphaPreMul) = 0;  // 18
    // Cuts a normalised rectangle out of in and scales it onto out.
    virtual ResultCode CropFrame(const EffectFrame& in, fxRectf rect, EffectFrame& out, int32_t rangeMode) = 0;  // 19
    // BGRA32 resize with a box pre-blur for strong reductions.
    virtual ResultCode ResizeWithPrefilter(const EffectFrame& in, EffectFrame& out) = 0;  // 20
    // Blurs in (same size out) as much as a reduction to the target size would need.
    virtual ResultCode ResizeBlur(const EffectFrame& in, EffectFrame& out, int32_t targetWidth, int32_t targetHeight,
                                  int32_t blurType, int32_t maxRadius) = 0;  // 21
    // Measures the colour statistics of a BGRA32 reference picture.
    virtual ResultCode AnalyzeColorReference(const EffectFrame& reference) = 0;  // 22
    // Writes the service's capability code (6).
    virtual ResultCode GetCapabilityCode(int32_t* code) = 0;  // 23
    // Writes the three means and three standard deviations of the last reference.
    virtual ResultCode GetColorReferenceStats(double* stats) = 0;  // 24
    // 16-bit planar YUV to its 8-bit format, shifting by bitDepth - 8.
    virtual ResultCode ConvertTo8Bit(const EffectFrame& in, EffectFrame& out, int32_t bitDepth) = 0;  // 25
    // Temperature and tint of tightly packed BGRA pixels, whole picture or at a picked point.
    virtual ResultCode EstimateWhiteBalance(const uint8_t* pixels, int32_t width, int32_t height, float* temperature,
                                            float* tint, int32_t pickX, int32_t pickY) = 0;  // 26
    // Temperature and tint that make colour (0xRRGGBB) white.
    virtual ResultCode WhiteBalanceFromColor(const uint8_t* pixels, int32_t width, int32_t height, uint32_t colour,
                                             float* temperature, float* tint) = 0;  // 27
    // Applies an ICC profile to a BGRA32 frame in place.
    virtual ResultCode ICCProfileTransform(const ColorSpace::pl_icc_profile* profile, EffectFrame& frame) = 0;  // 28
    // NV12 to YV12 repacking.
    virtual ResultCode NV12ToYV12(const EffectFrame& in, EffectFrame& out) = 0;  // 29
    // Swaps red and blue.
    virtual ResultCode BGRToRGB(const EffectFrame& in, EffectFrame& out) = 0;  // 30
    // PQ signal to HLG signal.
    virtual ResultCode PQToHLG(const EffectFrame& in, EffectFrame& out) = 0;  // 31
    // YV12 to NV12 repacking.
    virtual ResultCode YV12ToNV12(const EffectFrame& in, EffectFrame& out) = 0;  // 32
    // HLG signal to PQ signal.
    virtual ResultCode HLGToPQ(const EffectFrame& in, EffectFrame& out) = 0;  // 33
    // Mixes first over second by one channel of alphaFrame times constAlpha percent.
    virtual ResultCode BlendMask2(const EffectFrame& first, const EffectFrame& second, const EffectFrame& alphaFrame,
                                  int32_t alphaChannel, EffectFrame& out, int32_t constAlpha) = 0;  // 34
    // The two chroma-key settings for a key colour 0xRRGGBB.
    virtual ResultCode CalibrateChromaKey(uint32_t keyColour, int32_t* first, int32_t* second) = 0;  // 35
    // Where an overlay point lands on the background under the transform of BlendAndTransform.
    virtual fxPointd TransformPoint(fxPointd point, fxRectf overlayRect, fxPointd anchor, fxRectf backgroundRect,
                                    fxPointd backgroundCenter, double theta, double scaleX, double scaleY,
                                    double skewX, double skewY) = 0;  // 36
    // Resamples the back frame into out through a window of the overlay's aspect ratio.
    virtual ResultCode BlendAndTransform_BaseOnBackFrame(const EffectFrame& back, int32_t overlayWidth,
                                                         int32_t overlayHeight, EffectFrame& out, int32_t sampler,
                                                         int32_t resizeType) = 0;  // 37
    // Resizes the background into out, then places the transformed overlay on it.
    virtual ResultCode BlendAndTransform_BaseOnBackFrame(
        const EffectFrame& overlay, fxPointd anchor, const EffectFrame& background, fxPointd backgroundCenter,
        bool backBlank, EffectFrame& out, int32_t blendMode, int32_t rangeMode, double opacity,
        int32_t ovlAlphaPreMul, int32_t sampleType, double theta, double scaleX, double scaleY, double skewX,
        double skewY, int32_t samperType, int32_t resizeType) = 0;  // 38
    // Maps BGRA between the primaries and depths of two colour descriptions.
    virtual ResultCode ChangeColorSpace(const EffectFrame& in, EffectFrame& out,
                                        const ColorSpace::pl_color_repr* inRepr,
                                        const ColorSpace::pl_color_space* inSpace,
                                        const ColorSpace::pl_color_repr* outRepr,
                                        const ColorSpace::pl_color_space* outSpace) = 0;  // 39
    // out = frame0 * (1 - factor) + frame1 * factor.
    virtual ResultCode FrameInterpolation(const EffectFrame& frame0, const EffectFrame& frame1, EffectFrame& out,
                                          float factor) = 0;  // 40
    // Blends a full-frame overlay onto the background (inPlace: out is the background).
    virtual ResultCode overlay(const EffectFrame& background, const EffectFrame& overlayFrame, EffectFrame& out,
                               int32_t blendingMode, float opacity, int32_t inPlace,
                               int32_t ovlAlphaPreMul) = 0;  // 41
    // The overlay with its alpha scaled by one channel of the background.
    virtual ResultCode channelControl(const EffectFrame& background, const EffectFrame& overlay, EffectFrame& out,
                                      int32_t channel) = 0;  // 42
    // Tone-maps PQ (pqMode 1) or HLG BGRA to SDR between two primaries.
    virtual ResultCode HDR2SDR(const EffectFrame& in, EffectFrame& out, int32_t pqMode,
                               ColorSpace::pl_color_primaries inPrimary,
                               ColorSpace::pl_color_primaries outPrimary) = 0;  // 43
    // Expands SDR BGRA (sdrMode primaries) to PQ or HLG BT.2020.
    virtual ResultCode SDR2HDR(const EffectFrame& in, EffectFrame& out, int32_t pqMode, int32_t sdrMode) = 0;  // 44
    // Root of the host's resource tree, where the HDR cube files are found.
    virtual ResultCode SetResourcePath(const char* path) = 0;  // 45
    // Mirror left-right.
    virtual ResultCode HorizontalFlip(const EffectFrame& in, EffectFrame& out) = 0;  // 46
    // Mirror top-bottom.
    virtual ResultCode VerticalFlip(const EffectFrame& in, EffectFrame& out) = 0;  // 47
    // Source times mask alpha.
    virtual ResultCode viewmaskasresult(const EffectFrame& source, const EffectFrame& mask, EffectFrame& out,
                                        int32_t backend) = 0;  // 48
    // The mask alpha as a grey picture.
    virtual ResultCode viewmaskasalpha(const EffectFrame& source, const EffectFrame& mask, EffectFrame& out,
                                       int32_t backend) = 0;  // 49
    // The masked source over a checkerboard.
    virtual ResultCode viewmaskassquare(const EffectFrame& source, const EffectFrame& mask, EffectFrame& out,
                                        int32_t backend) = 0;  // 50
    // The mask tinted with a colour 0xRRGGBBAA over the source.
    virtual ResultCode viewmaskascolormask(const EffectFrame& source, const EffectFrame& mask, uint32_t colour,
                                           EffectFrame& out, int32_t backend) = 0;  // 51
    // Motion-animation transform of in into out.
    virtual ResultCode Motion_Animation(const EffectFrame& in, EffectFrame& out,
                                        const MotionAnimationParam& param) = 0;  // 52
    // Renders a multi-stop gradient of a type 0..5 into out.
    virtual ResultCode Do_Gradient(EffectFrame& out, int32_t type, const GradientData& gradient) = 0;  // 53
    // mix(overlay, background, mask alpha).
    virtual ResultCode Blend_Mask_NoType(const EffectFrame& overlay, const EffectFrame& background,
                                         const EffectFrame& mask, EffectFrame& out) = 0;  // 54
};

}  // namespace orvex
