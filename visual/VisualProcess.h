#pragma once
// The visual-processing service. Operations whose routines have not landed yet answer Failed with
// one log line ("<Name> is not available in this build"), never Ok.
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "gpu/GpuDispatch.h"
#include "orvex/IVisualProcess.h"

namespace orvex {

class CubeLut;
struct TextureInfo;
class ChromaKeyCalibration;

// GuardedVisualProcess, the form hosts receive, derives from it.
class VisualProcess : public IVisualProcess {
public:
    // A YUV -> RGB conversion bound for one (input, output) pixel-format pair.
    using Conversion = std::function<ResultCode(const char* kernel, const EffectFrame& in, EffectFrame& out, CLSMode)>;
    // A crop bound for one pixel format; the rectangle is normalised to the input.
    using Crop = std::function<ResultCode(const char* kernel, const EffectFrame& in, fxRectf rect, EffectFrame& out)>;

    VisualProcess();
    ~VisualProcess() override;
    VisualProcess(const VisualProcess&) = delete;
    VisualProcess& operator=(const VisualProcess&) = delete;

    ResultCode Convert(ColorSpace::pl_color_repr repr, ColorSpace::pl_color_space space, const EffectFrame& in,
                       EffectFrame& intermediate, EffectFrame& out, int32_t resizeType, int32_t quality,
                       int32_t alphaMode) override;
    ResultCode Convert(ColorSpace::pl_color_repr repr, ColorSpace::pl_color_space space, const EffectFrame& in,
                       EffectFrame& intermediate, EffectFrame& out, int32_t quality, int32_t alphaMode) override;
    ResultCode Resize(const EffectFrame& in, EffectFrame& out, int32_t resizeType, int32_t quality) override;
    ResultCode Blend(const EffectFrame& overlay, fxRectf overlayRoi, const EffectFrame& background,
                     fxRectf backgroundRoi, EffectFrame& out, int32_t sampler, int32_t blendMode, double opacity,
                     int32_t ovlAlphaPreMul) override;
    ResultCode CenterPointAlignBlend(const EffectFrame& overlay, fxRectf overlayRect, const EffectFrame& background,
                                     fxRectf backgroundPos, bool backBlank, EffectFrame& out, int32_t blendMode,
                                     float opacity, int32_t ovlAlphaPreMul, float offsetX, float offsetY,
                                     bool useWarpAffine) override;
    ResultCode BlendAndTransform(const EffectFrame& overlay, fxPointd anchor, const EffectFrame& background,
                                 fxPointd backgroundCenter, bool backBlank, EffectFrame& out, int32_t blendMode,
                                 int32_t rangeMode, double opacity, int32_t ovlAlphaPreMul, int32_t sampleType,
                                 double theta, double scaleX, double scaleY, double skewX, double skewY) override;
    ResultCode Transform(const EffectFrame& in, fxPointd anchor, EffectFrame& out, fxPointd backgroundCenter,
                         int32_t sampleType, double theta, double scaleX, double scaleY, int32_t rangeMode,
                         bool cpuFlag, double skewX, double skewY) override;
    ResultCode BlendMask(const EffectFrame& overlay, fxRectf overlayRoi, const EffectFrame& background,
                         fxRectf backgroundRoi, EffectFrame& out, int32_t blendMode) override;
    ResultCode Rotate(const EffectFrame& in, EffectFrame& out, double theta, int32_t sampler) override;
    ResultCode Motion(const EffectFrame& in, EffectFrame& out, fxRectf sourceRoi, fxRectf resultRoi) override;
    ResultCode PixelRotate(const EffectFrame& in, EffectFrame& out, int32_t rotateType) override;
    ResultCode Deinterlace(const EffectFrame& in, EffectFrame& out, int32_t mode) override;
    ResultCode SetATLUFactory(zrp::ATLUFactory* factory) override;
    ResultCode BGRAToBGR(const EffectFrame& in, EffectFrame& out) override;
    ResultCode BGRToBGRA(const EffectFrame& in, EffectFrame& out) override;
    ResultCode FillFrame(EffectFrame& frame, bool fullRange, uint32_t colour) override;
    ResultCode Premultiply(const EffectFrame& in, EffectFrame& out, int32_t alphaType, bool yMinFlag) override;
    ResultCode solidColorBlend(const EffectFrame& overlay, EffectFrame& out, int32_t blue, int32_t green, int32_t red,
                               int32_t alpha, int32_t blendMode, double opacity, int32_t ovlAlphaPreMul) override;
    ResultCode CropFrame(const EffectFrame& in, fxRectf rect, EffectFrame& out, int32_t rangeMode) override;
    ResultCode ResizeWithPrefilter(const EffectFrame& in, EffectFrame& out) override;
    ResultCode ResizeBlur(const EffectFrame& in, EffectFrame& out, int32_t targetWidth, int32_t targetHeight,
                          int32_t blurType, int32_t maxRadius) override;
    ResultCode AnalyzeColorReference(const EffectFrame& reference) override;
    ResultCode GetCapabilityCode(int32_t* code) override;
    ResultCode GetColorReferenceStats(double* stats) override;
    ResultCode ConvertTo8Bit(const EffectFrame& in, EffectFrame& out, int32_t bitDepth) override;
    ResultCode EstimateWhiteBalance(const uint8_t* pixels, int32_t width, int32_t height, float* temperature,
                                    float* tint, int32_t pickX, int32_t pickY) override;
    ResultCode WhiteBalanceFromColor(const uint8_t* pixels, int32_t width, int32_t height, uint32_t colour,
                                     float* temperature, float* tint) override;
    ResultCode ICCProfileTransform(const ColorSpace::pl_icc_profile* profile, EffectFrame& frame) override;
    ResultCode NV12ToYV12(const EffectFrame& in, EffectFrame& out) override;
    ResultCode BGRToRGB(const EffectFrame& in, EffectFrame& out) override;
    ResultCode PQToHLG(const EffectFrame& in, EffectFrame& out) override;
    ResultCode YV12ToNV12(const EffectFrame& in, EffectFrame& out) override;
    ResultCode HLGToPQ(const EffectFrame& in, EffectFrame& out) override;
    ResultCode BlendMask2(const EffectFrame& first, const EffectFrame& second, const EffectFrame& alphaFrame,
                          int32_t alphaChannel, EffectFrame& out, int32_t constAlpha) override;
    ResultCode CalibrateChromaKey(uint32_t keyColour, int32_t* first, int32_t* second) override;
    fxPointd TransformPoint(fxPointd point, fxRectf overlayRect, fxPointd anchor, fxRectf backgroundRect,
                            fxPointd backgroundCenter, double theta, double scaleX, double scaleY, double skewX,
                            double skewY) override;
    ResultCode BlendAndTransform_BaseOnBackFrame(const EffectFrame& back, int32_t overlayWidth,
                                                 int32_t overlayHeight, EffectFrame& out, int32_t sampler,
                                                 int32_t resizeType) override;
    ResultCode BlendAndTransform_BaseOnBackFrame(const EffectFrame& overlay, fxPointd anchor,
                                                 const EffectFrame& background, fxPointd backgroundCenter,
                                                 bool backBlank, EffectFrame& out, int32_t blendMode,
                                                 int32_t rangeMode, double opacity, int32_t ovlAlphaPreMul,
                                                 int32_t sampleType, double theta, double scaleX, double scaleY,
                                                 double skewX, double skewY, int32_t samperType,
                                                 int32_t resizeType) override;
    ResultCode ChangeColorSpace(const EffectFrame& in, EffectFrame& out, const ColorSpace::pl_color_repr* inRepr,
                                const ColorSpace::pl_color_space* inSpace, const ColorSpace::pl_color_repr* outRepr,
                                const ColorSpace::pl_color_space* outSpace) override;
    ResultCode FrameInterpolation(const EffectFrame& frame0, const EffectFrame& frame1, EffectFrame& out,
                                  float factor) override;
    ResultCode overlay(const EffectFrame& background, const EffectFrame& overlayFrame, EffectFrame& out,
                       int32_t blendingMode, float opacity, int32_t inPlace, int32_t ovlAlphaPreMul) override;
    ResultCode channelControl(const EffectFrame& background, const EffectFrame& overlay, EffectFrame& out,
                              int32_t channel) override;
    ResultCode HDR2SDR(const EffectFrame& in, EffectFrame& out, int32_t pqMode, ColorSpace::pl_color_primaries inPrimary,
                       ColorSpace::pl_color_primaries outPrimary) override;
    ResultCode SDR2HDR(const EffectFrame& in, EffectFrame& out, int32_t pqMode, int32_t sdrMode) override;
    ResultCode SetResourcePath(const char* path) override;
    ResultCode HorizontalFlip(const EffectFrame& in, EffectFrame& out) override;
    ResultCode VerticalFlip(const EffectFrame& in, EffectFrame& out) override;
    ResultCode viewmaskasresult(const EffectFrame& source, const EffectFrame& mask, EffectFrame& out,
                                int32_t backend) override;
    ResultCode viewmaskasalpha(const EffectFrame& source, const EffectFrame& mask, EffectFrame& out,
                               int32_t backend) override;
    ResultCode viewmaskassquare(const EffectFrame& source, const EffectFrame& mask, EffectFrame& out,
                                int32_t backend) override;
    ResultCode viewmaskascolormask(const EffectFrame& source, const EffectFrame& mask, uint32_t colour,
                                   EffectFrame& out, int32_t backend) override;
    ResultCode Motion_Animation(const EffectFrame& in, EffectFrame& out, const MotionAnimationParam& param) override;
    ResultCode Do_Gradient(EffectFrame& out, int32_t type, const GradientData& gradient) override;
    ResultCode Blend_Mask_NoType(const EffectFrame& overlay, const EffectFrame& background, const EffectFrame& mask,
                                 EffectFrame& out) override;

    // Read-only views of the state, for the routines that land later and for tests.
    const cv::Matx33f& rgbToLms() const { return rgbToLms_; }
    const cv::Matx33f& lmsToLab() const { return lmsToLab_; }
    // 1/sqrt(3), 1/sqrt(6), 1/sqrt(2): the row scales of lmsToLab.
    const std::array<float, 3>& lmsToLabScales() const { return lmsToLabScales_; }
    const std::string& resourcePath() const { return resourcePath_; }
    bool gpuLoaded() const { return gpuLoaded_; }
    const std::string& cubePath() const { return cubePath_; }
    // Register the service's GPU programs with the dispatch; each runs once per object. The lab
    // calls them for its own object when it learns of the devices.
    void LoadOpenCLTable();
    void LoadOpenGLTable();
    // The bound conversion for (in, out), or null; out-of-range formats give null.
    const Conversion* conversion(uint32_t inFmt, uint32_t outFmt) const;
    const Crop* crop(uint32_t fmt) const;

private:
    // The generic YUV -> RGB GPU routine behind the 4:2:2 entries of conversions_.
    ResultCode YUVToRGB_GPU(const char* kernel, const EffectFrame& in, EffectFrame& out, CLSMode mode);
    // The planar YUV crop routine behind the 4:2:2 entries of crops_; it pads with the black of
    // cropRangeMode_, which CropFrame sets before calling through the table.
    ResultCode YUVCrop(const char* kernel, const EffectFrame& in, fxRectf rect, EffectFrame& out);
    ResultCode CropPlanar(const char* kernel, const EffectFrame& in, fxRectf rect, EffectFrame& out,
                          int32_t rangeMode);
    // A texture of this object's own shaped like `like`, kept between calls while its shape and
    // the factory stay the same; null when none can be made.
    zrp::TexturePtr ScratchTexture(const TextureInfo& like);
    // Loads the HDR tone-mapping cube of pqMode unless it is the one loaded; false (logged under
    // tag when `log`) without a resource path or when the file does not load.
    bool LoadHdrCube(const char* tag, int32_t pqMode, bool log);
    // The loaded cube's tables on the OpenCL device (made once per cube file and factory); null
    // when they cannot be made.
    zrp::TexturePtr HdrCubeTexture();

    cv::Matx33f rgbToLms_;
    cv::Matx33f lmsToLab_;
    std::array<float, 3> lmsToLabScales_{};
    cv::Mat refMean_;
    cv::Mat refStdDev_;
    std::array<double, 6> statsCache_{};
    bool refEmpty_ = false;
    bool gpuLoaded_ = false;
    bool glLoaded_ = false;
    std::string resourcePath_;
    // Created by the first HDR2SDR of 8-bit frames. Held shared so that this header needs only the forward
    // declaration.
    std::shared_ptr<CubeLut> cubeLut_;
    std::string cubePath_;
    bool cubeLoaded_ = false;
    // The loaded cube's tables on the OpenCL device, for the factory and cube file they were made for.
    zrp::TexturePtr gpuCube_;
    zrp::ATLUFactory* gpuCubeFactory_ = nullptr;
    std::string gpuCubePath_;
    // The chroma-key calibration keeps its LUT and generator from call to call.
    std::shared_ptr<ChromaKeyCalibration> chromaKey_;
    Conversion conversions_[PIXFMT_COUNT][PIXFMT_COUNT];
    Crop crops_[PIXFMT_COUNT];
    // The OpenCL programs by algorithm name, handed to the dispatch when they load.
    AlgorithmMap openclTable_;
    int32_t cropRangeMode_ = 0;
    // Working memory of the geometric operations, reused from frame to frame: a scaled picture
    // before its central crop, or a blurred copy before its reduction.
    cv::Mat pictureScratch_;
    std::vector<uint8_t> planeScratch_;

    // Pixel-format conversions (ConvertOps.cpp on the GPU side, ConvertCpu.cpp on the host side).
    ResultCode ConvertYUVToBGRA(const EffectFrame& in, EffectFrame& intermediate, EffectFrame& out,
                                int32_t resizeType, int32_t mode, int32_t quality, int32_t alphaMode);
    ResultCode DirectYUVToBGRA(const EffectFrame& in, EffectFrame& out, int32_t mode, int32_t quality,
                               int32_t alphaMode);
    ResultCode ConvertGenericMatrix(ColorSpace::pl_color_repr repr, const ColorSpace::pl_color_space& space,
                                    const EffectFrame& in, EffectFrame& intermediate, EffectFrame& out,
                                    int32_t quality);
    ResultCode YUVToBGRA_CPU(const EffectFrame& in, EffectFrame& out, int32_t mode, int32_t quality,
                             int32_t alphaMode);
    ResultCode BGRAToYUV_CPU(const EffectFrame& in, EffectFrame& out, int32_t mode);
    ResultCode GenericMatrix_CPU(const EffectFrame& in, EffectFrame& out, const ColorSpace::pl_transform3x3& decode,
                                 const ColorSpace::pl_matrix3x3& mapping);
    // Working memory of the conversions, reused from frame to frame: an 8-bit picture at the input
    // size before its scaling, one at the output size before its widening to 16 bits, and YUV
    // planes after their scaling.
    cv::Mat convertPicture_;
    cv::Mat convertOutput_;
    std::vector<uint8_t> convertPlanes_;
    // Working memory of the blend and transform operations: a placed overlay before its blend,
    // a pre-filtered source of Motion, and the GPU background of BlendAndTransform_BaseOnBackFrame.
    cv::Mat blendScratch_;
    cv::Mat motionScratch_;
    cv::Mat backScratch_;
    zrp::TexturePtr gpuScratch_;
    zrp::ATLUFactory* gpuScratchFactory_ = nullptr;
};

}  // namespace orvex
