// AnalyzeColorReference and the white-balance and chroma-key estimates of the service.
#include <opencv2/imgproc.hpp>

#include "corelog.h"
#include "imagecpu/ChromaKeyLut.h"
#include "imagecpu/CpuSupport.h"
#include "imagecpu/WhiteBalance.h"
#include "visual/FramePlanes.h"
#include "visual/VisualProcess.h"

namespace orvex {
namespace {

// Keeps the logarithm finite on black pixels.
constexpr float kLogFloor = 1e-6f;

}  // namespace

ResultCode VisualProcess::AnalyzeColorReference(const EffectFrame& reference) {
    constexpr const char* kTag = "orvex:AnalyzeColorReference";
    FrameLayout l;
    if (!reference.data[0]) {
        ORVEX_LOG(6, kTag, "input is nullptr!!");
        return Failed;
    }
    if (!IsBGRA8(reference.pixel_fmt)) {
        ORVEX_LOG(6, kTag, "input format is not BGRA32!!");
        return WrongFormat;
    }
    if (!LayoutOf(reference, &l) || !HostPlanesOk(reference, l)) {
        ORVEX_LOG(6, kTag, "input is nullptr!!");
        return Failed;
    }
    return GuardImageLibrary(kTag, [&]() -> ResultCode {
        const cv::Mat picture = PlaneMat(reference, 0, l, 4);
        cv::Mat channels[4];
        cv::split(picture, channels);
        cv::Rect best;
        for (int c = 0; c < 3; ++c) {
            std::vector<cv::Point> points;
            cv::findNonZero(channels[c], points);
            if (points.empty()) continue;
            const cv::Rect r = cv::boundingRect(points);
            if (r.area() > best.area()) best = r;
        }
        if (best.empty()) {
            refEmpty_ = true;
            return Ok;
        }
        refEmpty_ = false;
        cv::Mat bgr, lms;
        cv::cvtColor(picture(best), bgr, cv::COLOR_BGRA2BGR);
        bgr.convertTo(bgr, CV_32FC3, 1.0 / 255.0);
        cv::transform(bgr, lms, rgbToLms_);
        cv::max(lms, cv::Scalar::all(kLogFloor), lms);
        cv::log(lms, lms);
        cv::Mat lab;
        cv::transform(lms, lab, lmsToLab_);
        cv::meanStdDev(lab, refMean_, refStdDev_);
        for (int i = 0; i < 3; ++i) {
            statsCache_[i] = refMean_.at<double>(i);
            statsCache_[3 + i] = refStdDev_.at<double>(i);
        }
        return Ok;
    });
}

ResultCode VisualProcess::EstimateWhiteBalance(const uint8_t* pixels, int32_t width, int32_t height,
                                               float* temperature, float* tint, int32_t pickX, int32_t pickY) {
    if (!pixels || !temperature || !tint || width <= 0 || height <= 0 || static_cast<uint32_t>(width) > kMaxFrameSide ||
        static_cast<uint32_t>(height) > kMaxFrameSide) {
        ORVEX_LOG(6, "orvex:EstimateWhiteBalance", "input is nullptr!!");
        return InvalidArgument;
    }
    AutoWhiteBalance awb;
    const bool picked = pickX != -1 && pickX >= 0 && pickX < width && pickY >= 0 && pickY < height;
    const WhiteBalanceGains gains = picked ? awb.FromPoint(pixels, width, height, width * 4, 4, pickX, pickY)
                                           : awb.FromPicture(pixels, width, height, width * 4, 4);
    AutoWhiteBalance::ToTemperatureTint(gains, temperature, tint);
    return Ok;
}

ResultCode VisualProcess::WhiteBalanceFromColor(const uint8_t* pixels, int32_t width, int32_t height,
                                                uint32_t colour, float* temperature, float* tint) {
    if (!pixels || !temperature || !tint || width <= 0 || height <= 0 || static_cast<uint32_t>(width) > kMaxFrameSide ||
        static_cast<uint32_t>(height) > kMaxFrameSide) {
        ORVEX_LOG(6, "orvex:WhiteBalanceFromColor", "input is nullptr!!");
        return InvalidArgument;
    }
    AutoWhiteBalance awb;
    AutoWhiteBalance::ToTemperatureTint(awb.FromColor(pixels, width, height, width * 4, 4, colour), temperature,
                                        tint);
    return Ok;
}

ResultCode VisualProcess::CalibrateChromaKey(uint32_t keyColour, int32_t* first, int32_t* second) {
    if (!first || !second) {
        ORVEX_LOG(6, "orvex:CalibrateChromaKey", "input is nullptr!!");
        return InvalidArgument;
    }
    // Pure green, the usual screen, has known settings.
    if ((keyColour & 0xFFFFFF) == 0x00FF00) {
        *first = 51;
        *second = 20;
        return Ok;
    }
    if (!chromaKey_) chromaKey_ = std::make_shared<ChromaKeyCalibration>();
    const auto [a, b] = chromaKey_->Calibrate(static_cast<uint8_t>(keyColour >> 16), static_cast<uint8_t>(keyColour >> 8),
                                              static_cast<uint8_t>(keyColour));
    *first = static_cast<int32_t>(a);
    *second = static_cast<int32_t>(b);
    return Ok;
}

}  // namespace orvex
