#pragma once
// Host frames for tests: an owned BGRA picture and the EffectFrame that views it.
#include <cstdint>
#include <memory>
#include <random>

#include <opencv2/core.hpp>

#include "orvex/EffectFrame.h"

namespace orvextest {

struct HostFrame {
    cv::Mat image;  // CV_8UC4, may be a view with padded rows
    orvex::EffectFramePtr frame;
};

// Views `image` (8-bit four-channel) as a BGRA32 EffectFrame.
inline orvex::EffectFramePtr WrapFrame(cv::Mat& image, uint32_t fmt = orvex::BGRA32) {
    auto f = std::make_shared<orvex::EffectFrame>();
    f->planes = 1;
    f->bitDepth = 8;
    f->pixel_fmt = fmt;
    f->width[0] = static_cast<uint32_t>(image.cols);
    f->height[0] = static_cast<uint32_t>(image.rows);
    f->data[0] = image.data;
    f->pitch[0] = static_cast<int32_t>(image.step[0]);
    return f;
}

// A w x h picture of random bytes (alpha too); `padBytes` extra bytes per row.
inline HostFrame RandomFrame(int w, int h, uint32_t seed = 1, int padBytes = 0) {
    HostFrame hf;
    cv::Mat storage(h, w * 4 + padBytes, CV_8UC1);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < storage.cols; ++x) storage.at<uint8_t>(y, x) = static_cast<uint8_t>(rng());
    hf.image = storage.colRange(0, w * 4).reshape(4);  // shares storage, keeps the row padding
    hf.frame = WrapFrame(hf.image);
    return hf;
}

inline HostFrame SolidFrame(int w, int h, cv::Scalar bgra) {
    HostFrame hf;
    hf.image = cv::Mat(h, w, CV_8UC4, bgra);
    hf.frame = WrapFrame(hf.image);
    return hf;
}

// FNV-1a over a picture's rows (not their padding): pins of whole outputs.
inline uint64_t PictureHash(const cv::Mat& image) {
    uint64_t h = 1469598103934665603ull;
    for (int y = 0; y < image.rows; ++y) {
        const uint8_t* p = image.ptr<uint8_t>(y);
        for (size_t i = 0; i < image.cols * image.elemSize(); ++i) h = (h ^ p[i]) * 1099511628211ull;
    }
    return h;
}

}  // namespace orvextest
